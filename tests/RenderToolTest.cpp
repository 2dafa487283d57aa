#include "helpers/ProcessorHelpers.h"
#include "processor/TessaroPresets.h"
#include "render/Spectrum.h"

#include <juce_audio_formats/juce_audio_formats.h>
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
    struct RunResult
    {
        int status = -1;
        juce::String out, err;
    };

    class RenderTool : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            dir = juce::File::createTempFile ("tessaro-render-test");
            ASSERT_TRUE (dir.createDirectory());
        }

        void TearDown() override { dir.deleteRecursively(); }

        juce::File file (const juce::String& name) const { return dir.getChildFile (name); }

        /** Starts the renderer in the test folder, stdout and stderr to files
            (or stderr to the descriptor given), with the signal dispositions
            a shell gives a program. */
        pid_t start (const juce::StringArray& args, int stderrFd = -1) const
        {
            const auto pid = fork();
            if (pid == 0)
            {
                if (chdir (dir.getFullPathName().toRawUTF8()) != 0)
                    _exit (127);
                for (int s = 1; s < 32; ++s)
                    if (s != SIGKILL && s != SIGSTOP)
                        std::signal (s, SIG_DFL);
                sigset_t all;
                sigfillset (&all);
                sigprocmask (SIG_UNBLOCK, &all, nullptr);
                const auto outFd = open (file (".stdout").getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                const auto errFd = stderrFd >= 0 ? stderrFd
                                                 : open (file (".stderr").getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                dup2 (outFd, 1);
                dup2 (errFd, 2);
                std::vector<std::string> storage { TESSARO_RENDER_PATH };
                for (const auto& a : args)
                    storage.push_back (a.toStdString());
                std::vector<char*> argv;
                for (auto& s : storage)
                    argv.push_back (s.data());
                argv.push_back (nullptr);
                execv (argv[0], argv.data());
                _exit (127);
            }
            return pid;
        }

        /** Waits for the renderer; a run that hangs is killed after a minute
            and reported with status -2 (a crash or other death by signal: -1). */
        RunResult finish (pid_t pid) const
        {
            int status = 0;
            bool hung = true;
            for (int i = 0; i < 6000; ++i)
            {
                if (waitpid (pid, &status, WNOHANG) == pid)
                {
                    hung = false;
                    break;
                }
                juce::Thread::sleep (10);
            }
            if (hung)
            {
                kill (pid, SIGKILL);
                waitpid (pid, &status, 0);
            }
            RunResult result;
            result.status = hung ? -2 : WIFEXITED (status) ? WEXITSTATUS (status)
                                                           : -1;
            result.out = file (".stdout").loadFileAsString();
            result.err = file (".stderr").loadFileAsString();
            return result;
        }

        RunResult run (const juce::StringArray& args) const { return finish (start (args)); }

        /** Noise with a few tones, as floating-point WAV unless told otherwise. */
        juce::File writeAudio (const juce::String& name, int channels, int length, double rate = 48000.0, int bits = 32) const
        {
            juce::AudioBuffer<float> buffer (channels, length);
            juce::Random random (channels * 31 + length);
            for (int c = 0; c < channels; ++c)
                for (int i = 0; i < length; ++i)
                    buffer.setSample (c, i, 0.2f * (random.nextFloat() * 2.0f - 1.0f) + 0.2f * std::sin (0.01f * (float) (i * (c + 1))));

            return writeBuffer (name, buffer, rate, bits);
        }

        /** The buffer in the format the name's extension asks for. */
        juce::File writeBuffer (const juce::String& name, const juce::AudioBuffer<float>& buffer, double rate, int bits) const
        {
            const auto target = file (name);
            juce::AudioFormatManager formats;
            formats.registerBasicFormats();
            auto* format = formats.findFormatForFileExtension (target.getFileExtension());
            auto stream = target.createOutputStream();
            std::unique_ptr<juce::AudioFormatWriter> writer (format->createWriterFor (stream.get(), rate, (unsigned int) buffer.getNumChannels(), bits, {}, 0));
            stream.release();
            writer->writeFromAudioSampleBuffer (buffer, 0, buffer.getNumSamples());
            return target;
        }

        static juce::AudioBuffer<float> readAudio (const juce::File& f, double* rate = nullptr, int* bits = nullptr, bool* isFloat = nullptr)
        {
            juce::AudioFormatManager formats;
            formats.registerBasicFormats();
            std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (f));
            if (reader == nullptr)
                return {};
            juce::AudioBuffer<float> buffer ((int) reader->numChannels, (int) reader->lengthInSamples);
            reader->read (&buffer, 0, buffer.getNumSamples(), 0, true, true);
            if (rate != nullptr)
                *rate = reader->sampleRate;
            if (bits != nullptr)
                *bits = (int) reader->bitsPerSample;
            if (isFloat != nullptr)
                *isFloat = reader->usesFloatingPointData;
            return buffer;
        }

        /** A WAV file written byte by byte (16-bit, or 32-bit floating point
            or integer), for what the framework's writer cannot make: wide
            files, 32-bit integers, headers to damage. */
        juce::File writeRawWav (const juce::String& name, int channels, int frames, int bits = 16, double rate = 48000.0,
                                bool floating = true) const
        {
            const auto bytesPerFrame = channels * bits / 8;
            juce::MemoryOutputStream out;
            out.write ("RIFF", 4);
            out.writeInt (36 + frames * bytesPerFrame);
            out.write ("WAVEfmt ", 8);
            out.writeInt (16);
            out.writeShort (bits == 32 && floating ? 3 : 1);
            out.writeShort ((short) (juce::uint16) channels);
            out.writeInt ((int) rate);
            out.writeInt ((int) (juce::uint32) ((juce::int64) rate * bytesPerFrame));   // wraps for very wide files, as the field does
            out.writeShort ((short) (juce::uint16) bytesPerFrame);
            out.writeShort ((short) bits);
            out.write ("data", 4);
            out.writeInt (frames * bytesPerFrame);
            for (int i = 0; i < frames; ++i)
                for (int c = 0; c < channels; ++c)
                {
                    const auto value = 0.3f * std::sin (0.001f * (float) (i * (c + 1)));
                    if (bits == 32 && floating)
                        out.writeFloat (value);
                    else if (bits == 32)
                        out.writeInt ((int) (value * 2147483647.0f));
                    else
                        out.writeShort ((short) (value * 32767.0f));
                }
            const auto target = file (name);
            target.replaceWithData (out.getData(), out.getDataSize());
            return target;
        }

        /** Overwrites bytes (little-endian) of a file's header, at an
            offset from the start of a chunk's tag. */
        static void patch (const juce::File& f, const char* tag, int offsetFromTag, juce::uint32 value, int bytes = 4)
        {
            juce::MemoryBlock data;
            f.loadFileAsData (data);
            const auto* begin = static_cast<const char*> (data.getData());
            const auto* end = begin + std::min<size_t> (data.getSize(), 256);
            const auto at = (int) (std::search (begin, end, tag, tag + std::strlen (tag)) - begin);
            ASSERT_LT (at, end - begin) << tag;
            for (int i = 0; i < bytes; ++i)
                static_cast<juce::uint8*> (data.getData())[at + offsetFromTag + i] = (juce::uint8) (value >> (8 * i));
            f.replaceWithData (data.getData(), data.getSize());
        }

        /** Files in the test folder other than these and the captured output. */
        juce::StringArray strayFiles (const juce::StringArray& expected) const
        {
            juce::StringArray stray;
            for (const auto& entry : juce::RangedDirectoryIterator (dir, false, "*", juce::File::findFilesAndDirectories | juce::File::ignoreHiddenFiles))
                if (! expected.contains (entry.getFile().getFileName()))
                    stray.add (entry.getFile().getFileName());
            for (const auto& entry : juce::RangedDirectoryIterator (dir, false, ".*", juce::File::findFilesAndDirectories))
                if (! entry.getFile().getFileName().startsWith (".std"))
                    stray.add (entry.getFile().getFileName());
            return stray;
        }

        /** A long recording, for the runs that are stopped while writing. */
        void writeLongAudio (const juce::String& name) const
        {
            if (! file (name).exists())
                writeAudio (name, 1, 48000 * 120);
        }

        /** Waits until the renderer is writing its partial file for out.wav. */
        bool waitForPartialFile (pid_t pid) const
        {
            const auto partial = file ("out.wav.tessaroeq-partial-" + juce::String (pid));
            for (int i = 0; i < 3000; ++i)
            {
                if (partial.getSize() > 100000)
                    return true;
                juce::Thread::sleep (5);
            }
            return false;
        }

        /** What the plug-in gives for a channel with these settings, in host blocks. */
        static std::vector<float> processDirectly (const float* input, int length, int blockSize,
                                                   const std::function<void (TessaroAudioProcessor&)>& configure)
        {
            TessaroAudioProcessor p;
            configure (p);
            p.prepareToPlay (48000.0, blockSize);
            std::vector<float> data (input, input + length);
            juce::MidiBuffer midi;
            for (int start = 0; start < length; start += blockSize)
            {
                float* channels[] { data.data() + start };
                juce::AudioBuffer<float> block (channels, 1, std::min (blockSize, length - start));
                p.processBlock (block, midi);
            }
            return data;
        }

        juce::File dir;
    };
}

TEST_F (RenderTool, CommandLinesAndTheirExitStatus)
{
    const auto input = writeAudio ("in.wav", 1, 4800);
    file ("notes.txt").replaceWithText ("not audio");
    file ("garbage.bin").replaceWithText ("VC2!garbage that is not a state block");
    ASSERT_TRUE (file ("sub").createDirectory());
    ASSERT_EQ (symlink (input.getFullPathName().toRawUTF8(), file ("link.wav").getFullPathName().toRawUTF8()), 0);
    patch (writeRawWav ("one-channel-1hz.wav", 1, 100), "fmt ", 12, 1);

    struct Case
    {
        juce::StringArray args;
        int status;
        const char* message;
    };
    // clang-format off
    const Case cases[] {
        { {},                                                    2, "nothing to do" },
        { { "--frobnicate" },                                    2, "unknown option '--frobnicate'" },
        { { "--distance" },                                      2, "option --distance needs a value" },
        { { "--preset", "Nightingale", "--response", "-" },      2, "unknown preset 'Nightingale'" },
        { { "--microphone", "D", "--response", "-" },            2, "--microphone: 'D' is not one of" },
        { { "--wind-cover", "sock", "--response", "-" },         2, "--wind-cover: 'sock'" },
        { { "--low-cut", "maybe", "--response", "-" },           2, "--low-cut: 'maybe'" },
        { { "--distance", "150", "--response", "-" },            2, "--distance: '150' is not a percentage from 0 to 100" },
        { { "--aim=-1", "--response", "-" },                     2, "--aim: '-1'" },
        { { "--free-field", "50%", "--response", "-" },          2, "--free-field: '50%'" },
        { { "--distance", "nan", "--response", "-" },            2, "--distance: 'nan'" },
        { { "--block-size", "0", "--response", "-" },            2, "--block-size: '0'" },
        { { "--sample-rate", "-5", "--response", "-" },          2, "--sample-rate: '-5'" },
        { { "--plot", "graph.jpg" },                             2, "must end in .png" },
        { { "--spectrum", "s.jpg", "in.wav", "out.wav" },        2, "--spectrum: 's.jpg' must end in .png" },
        { { "--spectrum", "s.png", "--response", "-" },          2, "--spectrum needs INPUT and OUTPUT" },
        { { "--spectrum", "", "in.wav", "out.wav" },             2, "--spectrum needs a file name" },
        { { "in.wav" },                                          2, "an INPUT needs an OUTPUT" },
        { { "in.wav", "out.wav", "extra" },                      2, "unexpected argument 'extra'" },
        { { "missing.wav", "out.wav" },                          1, "input 'missing.wav' does not exist" },
        { { "sub", "out.wav" },                                  1, "input 'sub' is a folder" },
        { { "in.wav", "sub" },                                   1, "OUTPUT 'sub' is a folder" },
        { { "notes.txt", "out.wav" },                            1, "is not an audio file" },
        { { "in.wav", "out.mp4" },                               1, "cannot tell the output format" },
        { { "in.wav", "nowhere/out.wav" },                       1, "does not exist" },
        { { "in.wav", "in.wav" },                                1, "refusing to overwrite" },
        { { "in.wav", "sub/../in.wav" },                         1, "refusing to overwrite" },
        { { "in.wav", "link.wav" },                              1, "refusing to overwrite" },
        { { "--settings", "garbage.bin", "--response", "-" },    1, "is not a TessaroEQ settings file" },
        { { "--settings", "notes.txt", "in.wav", "out.wav" },    1, "is not a TessaroEQ settings file" },
        { { "--settings", "absent.bin", "--response", "-" },     1, "does not exist" },
        { { "--distance", " 50", "--response", "-" },            2, "--distance: ' 50' is not a percentage" },
        { { "--aim", "0x10", "--response", "-" },                2, "--aim: '0x10' is not a percentage" },
        { { "--block-size", "0x10", "--response", "-" },         2, "--block-size: '0x10'" },
        { { "in.wav", "" },                                      2, "OUTPUT is an empty name" },
        { { "", "out.wav" },                                     2, "INPUT is an empty name" },
        { { "one-channel-1hz.wav", "out.wav" },                  1, "has 1 channel at 1 Hz" },
        { { "bad\x1b[0mname\x7f.wav", "out.wav" },               1, "input 'bad\\x1b[0mname\\x7f.wav' does not exist" },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.args.joinIntoString (" "));
        const auto result = run (c.args);
        EXPECT_EQ (result.status, c.status);
        EXPECT_TRUE (result.err.startsWith ("tessaroeq-render: error: ")) << result.err;
        EXPECT_TRUE (result.err.contains (c.message)) << result.err;
        EXPECT_EQ (result.err.trimEnd().indexOfChar ('\n'), -1) << "one line only: " << result.err;
        EXPECT_FALSE (result.err.containsAnyOf ("\x1b\x7f")) << "control characters reach the terminal";
        EXPECT_FALSE (file ("out.wav").exists());
    }

    EXPECT_EQ (readAudio (input).getNumSamples(), 4800);   // never touched
}

TEST_F (RenderTool, HelpAndPresetList)
{
    const auto help = run ({ "--help" });
    EXPECT_EQ (help.status, 0);
    for (auto* option : { "--preset NAME", "--microphone A|B|C|0|1|2", "--wind-cover none|windjammer|hwc|0|1|2", "--low-cut on|off",
                          "--settings FILE", "--save-settings FILE", "--response FILE|-", "--plot FILE.png",
                          "--sample-rate R", "--block-size N", "--list-presets", "-q, --quiet" })
        EXPECT_TRUE (help.out.contains (option)) << option;

    const auto list = run ({ "--list-presets" });
    EXPECT_EQ (list.status, 0);
    for (const auto& preset : TessaroPresets::table())
        EXPECT_TRUE (list.out.contains (preset.name));
}

TEST_F (RenderTool, ResponseCsvIsTheModelInForce)
{
    const auto result = run ({ "--preset", "animal (close)", "--microphone", "B", "--wind-cover", "windjammer",
                               "--sample-rate", "96000", "--response", "response.csv" });
    ASSERT_EQ (result.status, 0) << result.err;

    juce::StringArray lines;
    lines.addLines (file ("response.csv").loadFileAsString().trimEnd());
    ASSERT_EQ (lines.size(), 301);
    EXPECT_EQ (lines[0], "frequency_hz,gain_db");

    TessaroAudioProcessor p;
    TessaroPresets::recall (p.getValueTreeState(), 4);
    test::set (p, "microphone", 1.0f);
    test::set (p, "windCover", 1.0f);
    p.prepareToPlay (96000.0, 512);
    const auto model = p.getCombinedResponse();

    for (int i = 0; i < 300; ++i)
    {
        const auto fields = juce::StringArray::fromTokens (lines[i + 1], ",", "");
        ASSERT_EQ (fields.size(), 2);
        EXPECT_NEAR (fields[0].getDoubleValue(), p.getFrequencies()[(size_t) i], 1.0e-4);
        EXPECT_NEAR (fields[1].getDoubleValue(), test::toDb (model[(size_t) i]), 1.0e-5);
    }

    const auto toStdout = run ({ "--response", "-" });
    EXPECT_EQ (toStdout.status, 0);
    EXPECT_TRUE (toStdout.out.startsWith ("frequency_hz,gain_db\n20.0000,"));
}

TEST_F (RenderTool, SettingsRoundTripAndOrderOfApplication)
{
    // A preset overrides the settings file; single options override the preset.
    ASSERT_EQ (run ({ "--microphone", "C", "--distance", "10", "--aim", "70", "--save-settings", "first.bin" }).status, 0);
    const auto second = run ({ "--settings", "first.bin", "--preset", "Speech (Far)", "--free-field", "65",
                               "--save-settings", "second.bin" });
    ASSERT_EQ (second.status, 0) << second.err;

    juce::MemoryBlock block;
    ASSERT_TRUE (file ("second.bin").loadFileAsData (block));
    TessaroAudioProcessor p;
    test::restore (p, block);
    EXPECT_EQ (test::get (p, "microphone"), 2.0f);   // from the file; presets leave the equipment
    EXPECT_FLOAT_EQ (test::get (p, "distance"), 80.0f);
    EXPECT_EQ (test::get (p, "aimingAccurancy"), 0.0f);
    EXPECT_FLOAT_EQ (test::get (p, "freeField"), 65.0f);
    EXPECT_EQ (test::state (p), block);

    ASSERT_EQ (run ({ "--settings", "second.bin", "--save-settings", "third.bin" }).status, 0);
    EXPECT_TRUE (file ("second.bin").hasIdenticalContentTo (file ("third.bin")));
}

TEST_F (RenderTool, OutputEqualsThePluginForEveryBlockSize)
{
    const auto input = writeAudio ("in.wav", 1, 20000);
    const auto source = readAudio (input);

    for (int blockSize : { 1, 7, 64, 512, 4096 })
    {
        SCOPED_TRACE (blockSize);
        const auto result = run ({ "-q", "--preset", "Sport (Close)", "--wind-cover", "hwc", "--block-size",
                                   juce::String (blockSize), "in.wav", "out.wav" });
        ASSERT_EQ (result.status, 0) << result.err;

        bool isFloat = false;
        const auto rendered = readAudio (file ("out.wav"), nullptr, nullptr, &isFloat);
        EXPECT_TRUE (isFloat);
        const auto expected = processDirectly (source.getReadPointer (0), source.getNumSamples(), blockSize, [] (auto& p) {
            TessaroPresets::recall (p.getValueTreeState(), 8);
            test::set (p, "windCover", 2.0f);
        });

        ASSERT_EQ (rendered.getNumSamples(), source.getNumSamples());
        for (int i = 0; i < rendered.getNumSamples(); ++i)
            ASSERT_EQ (rendered.getSample (0, i), expected[(size_t) i]) << "sample " << i;
        file ("out.wav").deleteFile();
    }
}

// Channels are processed on several threads when there are several cores:
// each still gets its own processor, its blocks in order, over many chunks.
TEST_F (RenderTool, EachChannelGetsItsOwnProcessor)
{
    for (const auto& [channels, frames] : { std::pair { 3, 9000 }, std::pair { 7, 150000 } })
    {
        SCOPED_TRACE (juce::String (channels) + " channels");
        const auto name = "wide" + juce::String (channels);
        writeAudio (name + ".wav", channels, frames);
        const auto source = readAudio (file (name + ".wav"));
        ASSERT_EQ (run ({ "--distance", "5", "--free-field", "90", name + ".wav", name + "-eq.wav" }).status, 0);

        const auto rendered = readAudio (file (name + "-eq.wav"));
        ASSERT_EQ (rendered.getNumChannels(), channels);

        for (int c = 0; c < channels; ++c)
        {
            const auto expected = processDirectly (source.getReadPointer (c), source.getNumSamples(), 512, [] (auto& p) {
                test::set (p, "distance", 5.0f);
                test::set (p, "freeField", 90.0f);
            });
            for (int i = 0; i < source.getNumSamples(); i += 11)
                ASSERT_EQ (rendered.getSample (c, i), expected[(size_t) i]) << "channel " << c << " sample " << i;
        }
    }
}

TEST_F (RenderTool, FormatsKeepRateChannelsAndBitDepth)
{
    struct Case
    {
        const char* in;
        int bits;
        const char* out;
        int expectedBits;
    };
    const Case cases[] {
        { "a.wav", 16, "a.flac", 16 },
        { "b.wav", 24, "b.aiff", 24 },
        { "c.flac", 24, "c.wav", 24 },
        { "d.aiff", 16, "d.ogg", -1 },   // lossy: bit depth does not apply
        { "e.wav", 32, "e.flac", 24 },   // FLAC has no floating point: the deepest it has
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.out);
        writeAudio (c.in, 2, 44100, 44100.0, c.bits);
        const auto result = run ({ c.in, c.out });
        ASSERT_EQ (result.status, 0) << result.err;

        double rate = 0;
        int bits = 0;
        const auto rendered = readAudio (file (c.out), &rate, &bits);
        EXPECT_EQ (rate, 44100.0);
        EXPECT_EQ (rendered.getNumChannels(), 2);
        EXPECT_NEAR (rendered.getNumSamples(), 44100, 2048);
        if (c.expectedBits > 0)
        {
            EXPECT_EQ (bits, c.expectedBits);
        }
        EXPECT_GT (rendered.getRMSLevel (0, 0, rendered.getNumSamples()), 0.01f);
    }
}

// The same recording in every input format comes out as the same audio in
// every output format. Finding an input's metadata reads its first bytes;
// the decoders of compressed formats read on from wherever the file stands,
// so a probe that left the position elsewhere fed them the wrong bytes.
TEST_F (RenderTool, EveryInputFormatGivesTheSameAudioInEveryOutputFormat)
{
    // Long enough for many compressed frames and pages.
    writeAudio ("take.wav", 1, 48000, 48000.0, 16);
    const auto recording = readAudio (file ("take.wav"));
    writeBuffer ("take.flac", recording, 48000.0, 16);
    writeBuffer ("take.aiff", recording, 48000.0, 16);
    writeBuffer ("take.ogg", recording, 48000.0, 16);

    // Lossless inputs are compared with the WAV's result; the lossy one
    // with its own result as WAV.
    ASSERT_EQ (run ({ "take.wav", "reference.wav" }).status, 0);
    ASSERT_EQ (run ({ "take.ogg", "reference-ogg.wav" }).status, 0);
    const auto reference = readAudio (file ("reference.wav"));
    const auto referenceOgg = readAudio (file ("reference-ogg.wav"));
    ASSERT_EQ (reference.getNumSamples(), 48000);

    for (const auto* in : { "take.wav", "take.flac", "take.aiff", "take.ogg" })
    {
        for (const auto* extension : { ".wav", ".aiff", ".flac" })
        {
            const auto out = juce::String ("out-") + juce::File (in).getFileExtension().substring (1) + extension;
            SCOPED_TRACE (out);
            const auto result = run ({ in, out });
            ASSERT_EQ (result.status, 0) << result.err;

            const auto& expected = juce::String (in).endsWith (".ogg") ? referenceOgg : reference;
            const auto rendered = readAudio (file (out));
            ASSERT_EQ (rendered.getNumSamples(), expected.getNumSamples());

            float largest = 0.0f;
            for (int i = 0; i < rendered.getNumSamples(); ++i)
                largest = std::max (largest, std::abs (rendered.getSample (0, i) - expected.getSample (0, i)));
            EXPECT_LE (largest, 1.0f / 32768.0f);   // at most the last bit of a 16-bit result
        }
    }
}

TEST_F (RenderTool, InterruptedRunLeavesNoOutput)
{
    writeAudio ("long.wav", 1, 48000 * 120);
    file ("out.wav").replaceWithText ("previous result");

    const auto pid = start ({ "--block-size", "1", "long.wav", "out.wav" });

    // Wait until the renderer is writing its temporary file, then stop it.
    for (int i = 0; i < 500; ++i)
    {
        juce::Array<juce::File> temporaries;
        dir.findChildFiles (temporaries, juce::File::findFiles, false, "out.wav.tessaroeq-partial-*");
        if (! temporaries.isEmpty())
            break;
        juce::Thread::sleep (10);
    }
    kill (pid, SIGINT);
    const auto result = finish (pid);

    EXPECT_EQ (result.status, 130) << result.err;
    EXPECT_TRUE (result.err.contains ("interrupted")) << result.err;
    EXPECT_EQ (file ("out.wav").loadFileAsString(), "previous result");

    juce::Array<juce::File> left;
    dir.findChildFiles (left, juce::File::findFiles, false, "*");
    for (const auto& f : left)
        EXPECT_TRUE (f.getFileName().startsWith (".std") || f.getFileName() == "long.wav" || f.getFileName() == "out.wav")
            << f.getFileName();
}

TEST_F (RenderTool, NoWrittenFileReplacesAnotherFileOfTheRun)
{
    writeAudio ("in.wav", 1, 4800);
    ASSERT_EQ (run ({ "--save-settings", "s.bin" }).status, 0);
    ASSERT_EQ (symlink ("in.wav", file ("take.png").getFullPathName().toRawUTF8()), 0);
    ASSERT_EQ (link (file ("in.wav").getFullPathName().toRawUTF8(), file ("hard.csv").getFullPathName().toRawUTF8()), 0);
    ASSERT_EQ (mkfifo (file ("pipe.wav").getFullPathName().toRawUTF8(), 0644), 0);

    juce::MemoryBlock inputBytes, settingsBytes;
    file ("in.wav").loadFileAsData (inputBytes);
    file ("s.bin").loadFileAsData (settingsBytes);

    struct Case
    {
        juce::StringArray args;
        int status;
        const char* message;
    };
    // clang-format off
    const Case cases[] {
        { { "--response", "in.wav", "in.wav", "out.wav" },               2, "--response 'in.wav' is the INPUT file" },
        { { "--save-settings", "in.wav", "in.wav", "out.wav" },          2, "--save-settings 'in.wav' is the INPUT file" },
        { { "--plot", "take.png", "in.wav", "out.wav" },                 2, "--plot 'take.png' is the INPUT file" },
        { { "--spectrum", "take.png", "in.wav", "out.wav" },             2, "--spectrum 'take.png' is the INPUT file" },
        { { "--plot", "p.png", "--spectrum", "./p.png", "in.wav", "out.wav" }, 2, "--plot 'p.png' and --spectrum './p.png' are the same file" },
        { { "--response", "hard.csv", "in.wav", "out.wav" },             2, "--response 'hard.csv' is the INPUT file" },
        { { "--response", "out.wav", "in.wav", "out.wav" },              2, "OUTPUT 'out.wav' and --response 'out.wav' are the same file" },
        { { "--save-settings", "./x.png", "--plot", "x.png" },           2, "are the same file" },
        { { "--settings", "s.bin", "--response", "s.bin" },              2, "--response 's.bin' is the --settings file" },
        { { "--settings", "s.bin", "in.wav", "s.bin" },                  2, "OUTPUT 's.bin' is the --settings file" },
        { { "in.wav", "pipe.wav" },                                      1, "OUTPUT 'pipe.wav' is not a regular file" },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.args.joinIntoString (" "));
        const auto result = run (c.args);
        EXPECT_EQ (result.status, c.status) << result.err;
        EXPECT_TRUE (result.err.startsWith ("tessaroeq-render: error: ")) << result.err;
        EXPECT_TRUE (result.err.contains (c.message)) << result.err;
        EXPECT_EQ (result.err.trimEnd().indexOfChar ('\n'), -1) << "one line only: " << result.err;
        juce::MemoryBlock nowInput, nowSettings;
        file ("in.wav").loadFileAsData (nowInput);
        file ("s.bin").loadFileAsData (nowSettings);
        EXPECT_EQ (nowInput, inputBytes);
        EXPECT_EQ (nowSettings, settingsBytes);
        EXPECT_EQ (strayFiles ({ "in.wav", "s.bin", "take.png", "hard.csv", "pipe.wav" }), juce::StringArray());
        struct stat info = {};
        EXPECT_TRUE (lstat (file ("take.png").getFullPathName().toRawUTF8(), &info) == 0 && S_ISLNK (info.st_mode));
        EXPECT_TRUE (lstat (file ("pipe.wav").getFullPathName().toRawUTF8(), &info) == 0 && S_ISFIFO (info.st_mode));
    }

    // Saving settings over the file they were loaded from updates it.
    const auto update = run ({ "--settings", "s.bin", "--distance", "33", "--save-settings", "s.bin" });
    EXPECT_EQ (update.status, 0) << update.err;
    juce::MemoryBlock updated;
    file ("s.bin").loadFileAsData (updated);
    TessaroAudioProcessor p;
    test::restore (p, updated);
    EXPECT_FLOAT_EQ (test::get (p, "distance"), 33.0f);
}

TEST_F (RenderTool, AnyChannelCountIsRenderedOrRefusedCleanly)
{
    struct Case
    {
        int channels;
        int status;
    };
    const Case cases[] { { 2, 0 }, { 255, 0 }, { 256, 0 }, { 257, 1 }, { 300, 1 }, { 1441, 1 }, { 65535, 1 } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.channels);
        writeRawWav ("wide.wav", c.channels, c.channels > 1000 ? 8 : 3000);
        const auto result = run ({ "-q", "wide.wav", "out.wav" });
        EXPECT_EQ (result.status, c.status) << result.err;

        if (c.status == 0)
        {
            int bits = 0;
            const auto rendered = readAudio (file ("out.wav"), nullptr, &bits);
            EXPECT_EQ (rendered.getNumChannels(), c.channels);
            EXPECT_EQ (rendered.getNumSamples(), 3000);
            EXPECT_EQ (bits, 16);
            EXPECT_GT (rendered.getRMSLevel (c.channels - 1, 0, 3000), 0.01f);
        }
        else
        {
            EXPECT_TRUE (result.err.contains ("has " + juce::String (c.channels) + " channels")) << result.err;
            EXPECT_TRUE (result.err.contains ("1 to 256 channels")) << result.err;
            EXPECT_EQ (result.err.trimEnd().indexOfChar ('\n'), -1) << result.err;
        }

        EXPECT_EQ (strayFiles ({ "wide.wav", "out.wav" }), juce::StringArray());
        file ("out.wav").deleteFile();
    }
}

TEST_F (RenderTool, OnlyAudioReallyInTheFileIsWritten)
{
    // 1000 frames of 16-bit mono: 44 bytes of header, the data chunk's size at 40.
    enum Damage
    {
        none,
        claims2GB,
        claimsFFFFFFFF,
        cutInData,
        declaresNothing
    };
    struct Case
    {
        const char* name;
        Damage damage;
        int expectedFrames;
        const char* warning;
    };
    // clang-format off
    const Case cases[] {
        { "honest.wav",   none,           1000, nullptr },
        { "2gb.wav",      claims2GB,      1000, "read 1000 frames of 1073741824" },
        { "ffff.wav",     claimsFFFFFFFF, 1000, "read 1000 frames of 2147483647" },
        { "cut.wav",      cutInData,      600,  "read 600 frames of 1000" },
        { "cut.aiff",     cutInData,      600,  "read 600 frames of 1000" },
        { "unfinished.wav", declaresNothing, 0, "declares no audio, yet 2000 bytes follow" },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto input = juce::String (c.name).endsWith (".aiff") ? writeAudio (c.name, 1, 1000, 48000.0, 16)
                                                                    : writeRawWav (c.name, 1, 1000);
        const auto headerBytes = input.getSize() - 2000;

        if (c.damage == claims2GB)
            patch (input, "data", 4, 0x80000000u);
        if (c.damage == claimsFFFFFFFF)
            patch (input, "data", 4, 0xffffffffu);
        if (c.damage == declaresNothing)
            patch (input, "data", 4, 0);
        if (c.damage == cutInData)
        {
            ASSERT_EQ (truncate (input.getFullPathName().toRawUTF8(), headerBytes + 1200), 0);
        }

        const auto result = run ({ c.name, "out.wav" });
        EXPECT_EQ (result.status, 0) << result.err;
        const auto size = file ("out.wav").getSize();
        EXPECT_LT (size, 10000);
        if (size < 10000)
        {
            EXPECT_EQ (readAudio (file ("out.wav")).getNumSamples(), c.expectedFrames);
        }

        if (c.warning != nullptr)
            EXPECT_TRUE (result.err.contains (c.warning)) << result.err;
        else
            EXPECT_FALSE (result.err.contains ("warning")) << result.err;

        file ("out.wav").deleteFile();
    }
}

TEST_F (RenderTool, OnlyFramesReallyInAFlacFileAreWritten)
{
    // The reference decoder says where each frame starts. The encoder writes
    // frames of 4096 samples: 48000 make twelve, the last one short, and
    // 600000 make 147, numbered past 127 (where a frame number takes two
    // bytes).
    enum Damage
    {
        none,
        cut,
        claimsTwice,
        appended
    };
    struct Case
    {
        const char* name;
        int channels, length;
        Damage damage;
        int frame, bytesIntoFrame;   // where a cut falls
        const char* bytesAppended;
        int expectedFrames;
        bool warns;
    };
    // clang-format off
    const Case cases[] {
        { "honest",                   1, 48000,  none,        0,   0,   nullptr,     48000,  false },
        { "honest stereo",            2, 48000,  none,        0,   0,   nullptr,     48000,  false },
        { "honest, 147 frames",       1, 600000, none,        0,   0,   nullptr,     600000, false },
        { "ID3v1 tag at the end",     1, 48000,  appended,    0,   0,   "id3v1",     48000,  false },
        { "APEv2 tag at the end",     1, 48000,  appended,    0,   0,   "ape",       48000,  false },
        { "a stray line feed",        1, 48000,  appended,    0,   0,   "\n",        48000,  false },
        { "stream info claims twice", 1, 48000,  claimsTwice, 0,   0,   nullptr,     48000,  true },
        { "cut between frames",       1, 48000,  cut,         5,   0,   nullptr,     20480,  true },
        { "cut in a header",          1, 48000,  cut,         5,   3,   nullptr,     20480,  true },
        { "cut in a frame",           1, 48000,  cut,         5,   100, nullptr,     20480,  true },
        { "cut in the last frame",    1, 48000,  cut,         11,  100, nullptr,     45056,  true },
        { "cut in a frame, stereo",   2, 48000,  cut,         5,   100, nullptr,     20480,  true },
        { "cut in frame 140",         1, 600000, cut,         140, 100, nullptr,     573440, true },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto stem = "take-" + juce::String (c.channels) + "-" + juce::String (c.length);
        const auto name = stem + ".flac", plain = stem + "-eq.wav";
        if (! file (name).existsAsFile())
        {
            writeAudio (stem + ".wav", c.channels, c.length, 48000.0, 16);
            writeBuffer (name, readAudio (file (stem + ".wav")), 48000.0, 16);
            ASSERT_EQ (run ({ name, plain }).status, 0);
        }

        juce::MemoryBlock bytes;
        ASSERT_TRUE (file (name).loadFileAsData (bytes));
        auto* data = static_cast<juce::uint8*> (bytes.getData());

        if (c.damage == cut)
        {
            juce::ChildProcess analyse;
            ASSERT_TRUE (analyse.start (juce::StringArray { "/usr/bin/flac", "--analyze", "--silent", "--stdout", file (name).getFullPathName() }))
                << "the reference decoder 'flac' is missing: scripts/install-deps.sh test installs it";
            const auto analysis = analyse.readAllProcessOutput();
            const auto line = analysis.fromFirstOccurrenceOf ("frame=" + juce::String (c.frame) + "\t", false, false);
            ASSERT_TRUE (line.startsWith ("offset=")) << analysis.substring (0, 200);
            bytes.setSize ((size_t) line.fromFirstOccurrenceOf ("offset=", false, false).getLargeIntValue() + (size_t) c.bytesIntoFrame);
        }
        if (c.damage == claimsTwice)
        {
            // The 36-bit sample count of the stream information block.
            const auto total = (juce::uint64) c.length * 2;
            data[21] = (juce::uint8) ((data[21] & 0xf0) | (total >> 32));
            for (int i = 0; i < 4; ++i)
                data[22 + i] = (juce::uint8) (total >> (24 - 8 * i));
        }
        if (c.damage == appended)
        {
            const juce::String what (c.bytesAppended);
            std::string tail;
            if (what == "id3v1")
            {
                tail.assign (128, '\0');
                tail.replace (0, 14, "TAGMarsh, dawn");
            }
            else if (what == "ape")
            {
                // One item, then the footer: version 2000, size of items and
                // footer, one item, no header.
                const std::string item = std::string ("\x05\0\0\0\0\0\0\0", 8) + "Title" + '\0' + "Marsh";
                auto le32 = [] (juce::uint32 v) { return std::string { (char) v, (char) (v >> 8), (char) (v >> 16), (char) (v >> 24) }; };
                tail = item + "APETAGEX" + le32 (2000) + le32 ((juce::uint32) item.size() + 32) + le32 (1) + le32 (0) + std::string (8, '\0');
            }
            else
                tail = what.toStdString();
            bytes.append (tail.data(), tail.size());
        }
        ASSERT_TRUE (file ("damaged.flac").replaceWithData (bytes.getData(), bytes.getSize()));

        const auto result = run ({ "damaged.flac", "out.wav" });
        ASSERT_EQ (result.status, 0) << result.err;
        EXPECT_EQ (result.err.contains ("holds less audio than its header claims: read " + juce::String (c.expectedFrames) + " frames"), c.warns)
            << result.err;

        // What is written is the audio of the whole file, up to where it ends.
        const auto rendered = readAudio (file ("out.wav"));
        const auto whole = readAudio (file (plain));
        EXPECT_EQ (rendered.getNumSamples(), c.expectedFrames);
        if (rendered.getNumSamples() != c.expectedFrames)
            continue;
        float largest = 0.0f;
        for (int ch = 0; ch < c.channels; ++ch)
            for (int i = 0; i < c.expectedFrames; ++i)
                largest = std::max (largest, std::abs (rendered.getSample (ch, i) - whole.getSample (ch, i)));
        EXPECT_EQ (largest, 0.0f);
    }
}

TEST_F (RenderTool, NonFiniteInputNeverReachesTheOutput)
{
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    struct Case
    {
        const char* name;
        std::vector<std::pair<int, float>> samples;
        int nonFinite;
    };
    // clang-format off
    const Case cases[] {
        { "nan.wav",   { { 100, nan } },                                       1 },
        { "inf.wav",   { { 10, inf }, { 4000, -inf } },                        2 },
        { "mixed.wav", { { 0, nan }, { 1, inf }, { 2, -inf }, { 4799, nan } }, 4 },
        { "huge.wav",  { { 50, 3.0e38f }, { 51, -3.0e38f }, { 52, 3.0e38f } }, 0 },   // finite, but overflows filters
    };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        juce::AudioBuffer<float> buffer (1, 4800);
        for (int i = 0; i < 4800; ++i)
            buffer.setSample (0, i, 0.2f * std::sin (0.05f * (float) i));
        for (const auto& [index, value] : c.samples)
            buffer.setSample (0, index, value);
        {
            auto stream = file (c.name).createOutputStream();
            std::unique_ptr<juce::AudioFormatWriter> writer (juce::WavAudioFormat().createWriterFor (stream.get(), 48000.0, 1, 32, {}, 0));
            stream.release();
            writer->writeFromAudioSampleBuffer (buffer, 0, 4800);
        }

        const auto result = run ({ c.name, "out.wav" });
        ASSERT_EQ (result.status, 0) << result.err;

        const auto rendered = readAudio (file ("out.wav"));
        ASSERT_EQ (rendered.getNumSamples(), 4800);
        int nonFiniteOut = 0;
        for (int i = 0; i < 4800; ++i)
            nonFiniteOut += std::isfinite (rendered.getSample (0, i)) ? 0 : 1;
        EXPECT_EQ (nonFiniteOut, 0);

        if (c.nonFinite > 0)
            EXPECT_TRUE (result.err.contains (juce::String (c.nonFinite) + (c.nonFinite == 1 ? " input sample was not finite" : " input samples were not finite")))
                << result.err;
        else
            EXPECT_FALSE (result.err.contains ("not finite")) << result.err;

        // Finite input that overflows the filters is said too.
        EXPECT_EQ (result.err.contains ("overflowed and were written as silence"), juce::String (c.name) == "huge.wav") << result.err;
    }
}

TEST_F (RenderTool, OnlyRegularFilesOfSensibleSizeAreRead)
{
    writeAudio ("in.wav", 1, 4800);
    ASSERT_TRUE (file ("folder").createDirectory());
    ASSERT_EQ (mkfifo (file ("fifo").getFullPathName().toRawUTF8(), 0644), 0);
    {
        // 64 GB that take no room on the disk.
        const auto fd = open (file ("sparse.bin").getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT, 0644);
        ASSERT_EQ (ftruncate (fd, (off_t) 64 << 30), 0);
        close (fd);
    }

    struct Case
    {
        juce::StringArray args;
        const char* message;
    };
    // clang-format off
    const Case cases[] {
        { { "--settings", "/dev/zero", "--response", "-" },     "settings file '/dev/zero' is not a regular file" },
        { { "--settings", "fifo", "--response", "-" },          "settings file 'fifo' is not a regular file" },
        { { "--settings", "sparse.bin", "--response", "-" },    "settings file 'sparse.bin' is too large" },
        { { "--settings", "folder", "--response", "-" },        "settings file 'folder' is a folder" },
        { { "fifo", "out.wav" },                                "input 'fifo' is not a regular file" },
        { { "/dev/zero", "out.wav" },                           "input '/dev/zero' is not a regular file" },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.args.joinIntoString (" "));
        const auto result = run (c.args);
        EXPECT_EQ (result.status, 1) << result.err;
        EXPECT_TRUE (result.err.startsWith ("tessaroeq-render: error: ")) << result.err;
        EXPECT_TRUE (result.err.contains (c.message)) << result.err;
        EXPECT_EQ (result.err.trimEnd().indexOfChar ('\n'), -1) << result.err;
        EXPECT_TRUE (result.out.isEmpty());
        EXPECT_FALSE (file ("out.wav").exists());
    }
}

TEST_F (RenderTool, EveryCatchableSignalRemovesThePartialFile)
{
    writeLongAudio ("long.wav");

    struct Case
    {
        int signo;
        const char* name;
    };
    // clang-format off
    const Case cases[] { { SIGTERM, "SIGTERM" }, { SIGHUP, "SIGHUP" }, { SIGQUIT, "SIGQUIT" }, { SIGPIPE, "SIGPIPE" },
                         { SIGUSR1, "SIGUSR1" }, { SIGALRM, "SIGALRM" } };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        file ("out.wav").replaceWithText ("previous result");
        const auto pid = start ({ "--block-size", "1", "long.wav", "out.wav" });
        ASSERT_TRUE (waitForPartialFile (pid));
        kill (pid, c.signo);
        const auto result = finish (pid);

        EXPECT_EQ (result.status, 128 + c.signo) << result.err;
        EXPECT_TRUE (result.err.contains (juce::String ("interrupted by ") + c.name)) << result.err;
        EXPECT_EQ (result.err.trimEnd().indexOfChar ('\n'), -1) << result.err;
        EXPECT_EQ (file ("out.wav").loadFileAsString(), "previous result");
        EXPECT_EQ (strayFiles ({ "long.wav", "out.wav" }), juce::StringArray());
    }

    // stderr a pipe nobody reads: the note on the 32-bit conversion comes
    // once the partial file exists, and raises SIGPIPE.
    writeRawWav ("int32.wav", 1, 4800, 32, 48000.0, false);
    file ("out.wav").replaceWithText ("previous result");
    int pipeEnds[2];
    ASSERT_EQ (pipe (pipeEnds), 0);
    close (pipeEnds[0]);
    const auto pid = start ({ "int32.wav", "out.wav" }, pipeEnds[1]);
    close (pipeEnds[1]);
    EXPECT_EQ (finish (pid).status, 128 + SIGPIPE);
    EXPECT_EQ (file ("out.wav").loadFileAsString(), "previous result");
    EXPECT_EQ (strayFiles ({ "long.wav", "out.wav", "int32.wav" }), juce::StringArray());
}

TEST_F (RenderTool, ARunThatCannotCleanUpLeavesANamedFileTheNextRunRemoves)
{
    writeLongAudio ("long.wav");
    file ("out.wav").replaceWithText ("previous result");

    const auto killed = start ({ "--block-size", "1", "long.wav", "out.wav" });
    ASSERT_TRUE (waitForPartialFile (killed));
    kill (killed, SIGKILL);
    EXPECT_EQ (finish (killed).status, -1);
    const auto leftover = "out.wav.tessaroeq-partial-" + juce::String (killed);
    EXPECT_TRUE (file (leftover).existsAsFile());
    EXPECT_EQ (file ("out.wav").loadFileAsString(), "previous result");

    // A partial file of a process that is still running is not touched.
    const auto running = "out.wav.tessaroeq-partial-" + juce::String (getpid());
    file (running).replaceWithText ("still being written");

    writeAudio ("short.wav", 1, 4800);
    const auto next = run ({ "short.wav", "out.wav" });
    ASSERT_EQ (next.status, 0) << next.err;
    EXPECT_TRUE (next.err.contains ("removed 1 unfinished file of 'out.wav' left by a run that was stopped")) << next.err;
    EXPECT_FALSE (file (leftover).exists());
    EXPECT_TRUE (file (running).existsAsFile());
    EXPECT_EQ (readAudio (file ("out.wav")).getNumSamples(), 4800);
}

TEST_F (RenderTool, ReplacingAFileKeepsItsModeOwnerAndLinks)
{
    writeAudio ("in.wav", 1, 4800);
    ASSERT_TRUE (file ("takes").createDirectory());

    struct Case
    {
        const char* name;
        bool viaLink;
        mode_t mode;
    };
    const Case cases[] { { "out.wav", false, 0640 }, { "shared.wav", false, 0664 }, { "link.wav", true, 0600 } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        // A link points at the real file in another folder, as a library
        // of takes often does.
        const auto real = c.viaLink ? file ("takes/real.wav") : file (c.name);
        real.replaceWithText ("old");
        if (c.viaLink)
        {
            ASSERT_EQ (symlink ("takes/real.wav", file (c.name).getFullPathName().toRawUTF8()), 0);
        }
        ASSERT_EQ (chmod (real.getFullPathName().toRawUTF8(), c.mode), 0);
        const bool root = geteuid() == 0;
        if (root)
        {
            ASSERT_EQ (chown (real.getFullPathName().toRawUTF8(), 4321, 4321), 0);
        }

        const auto result = run ({ "in.wav", c.name });
        ASSERT_EQ (result.status, 0) << result.err;

        struct stat info = {};
        ASSERT_EQ (stat (real.getFullPathName().toRawUTF8(), &info), 0);
        EXPECT_EQ (info.st_mode & 07777, c.mode);
        if (root)
        {
            EXPECT_EQ (info.st_uid, 4321u);
            EXPECT_EQ (info.st_gid, 4321u);
        }
        EXPECT_EQ (readAudio (real).getNumSamples(), 4800);

        struct stat linkInfo = {};
        ASSERT_EQ (lstat (file (c.name).getFullPathName().toRawUTF8(), &linkInfo), 0);
        EXPECT_EQ (S_ISLNK (linkInfo.st_mode), c.viaLink);
        EXPECT_EQ (strayFiles ({ "in.wav", "takes", c.name, "out.wav", "shared.wav", "link.wav" }), juce::StringArray());
    }
}

TEST_F (RenderTool, EveryFileIsOnDiskBeforeItTakesTheNameAndTheFolderAfter)
{
    if (system ("command -v strace > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace is not installed";

    writeAudio ("in.wav", 1, 4800);
    file ("out.wav").replaceWithText ("old");

    // The renderer under strace, each of its files in turn. (A sanitizer
    // build's leak check cannot run under a tracer; it is switched off here.)
    for (const auto* args : { "in.wav out.wav", "--response r.csv", "--save-settings s.bin", "--plot p.png" })
    {
        SCOPED_TRACE (args);
        const auto command = "cd '" + dir.getFullPathName() + "' && ASAN_OPTIONS=detect_leaks=0 strace -f -qq -e trace=openat,fsync,fdatasync,rename,renameat,renameat2,close -o trace.txt "
            + juce::String (TESSARO_RENDER_PATH) + " -q " + args + " > /dev/null 2>&1";
        ASSERT_EQ (system (command.toRawUTF8()), 0);

        juce::StringArray lines;
        lines.addLines (file ("trace.txt").loadFileAsString());
        int renameLine = -1, fileSync = -1, folderSync = -1;
        juce::String partialFd, folderFd;
        for (int i = 0; i < lines.size(); ++i)
        {
            const auto& line = lines[i];
            const auto result = line.fromLastOccurrenceOf ("= ", false, false).upToFirstOccurrenceOf (" ", false, false);
            if (line.contains ("openat(") && line.contains (".tessaroeq-partial-") && ! line.contains ("= -1"))
                partialFd = result;
            else if (line.contains ("openat(") && line.contains ("O_DIRECTORY") && renameLine >= 0 && ! line.contains ("= -1"))
                folderFd = result;
            else if (line.contains ("rename") && line.contains (".tessaroeq-partial-"))
                renameLine = i;
            else if (partialFd.isNotEmpty() && line.contains ("fsync(" + partialFd + ")") && renameLine < 0)
                fileSync = i;
            else if (folderFd.isNotEmpty() && line.contains ("fsync(" + folderFd + ")"))
                folderSync = i;
        }
        EXPECT_GE (renameLine, 0);
        EXPECT_GE (fileSync, 0) << "the file is synced before the rename";
        EXPECT_GT (folderSync, renameLine) << "the folder is synced after it";
        file ("trace.txt").deleteFile();
    }
}

TEST_F (RenderTool, ConversionsAreAnnounced)
{
    writeRawWav ("int32.wav", 1, 4800, 32, 48000.0, false);
    writeAudio ("float.wav", 1, 4800, 48000.0, 32);

    struct Case
    {
        const char* in;
        const char* out;
        const char* note;
    };
    const Case cases[] {
        { "int32.wav", "a.wav", "stores 32-bit samples as floating point; writing 32-bit float" },
        { "int32.wav", "b.aiff", "AIFF file cannot store 32-bit samples; writing 24-bit" },
        { "float.wav", "c.flac", "cannot store 32-bit samples; writing 24-bit" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.out);
        const auto result = run ({ c.in, c.out });
        ASSERT_EQ (result.status, 0) << result.err;
        EXPECT_TRUE (result.err.contains (c.note)) << result.err;
        EXPECT_EQ (readAudio (file (c.out)).getNumSamples(), 4800);
    }
}

TEST_F (RenderTool, SpectrumDrawsInputAndOutputOnceTheAudioIsInPlace)
{
    writeAudio ("in.wav", 2, 48000);

    const auto result = run ({ "--preset", "Singbird (Far)", "--spectrum", "s.png", "in.wav", "out.wav" });
    ASSERT_EQ (result.status, 0) << result.err;
    EXPECT_TRUE (file ("out.wav").existsAsFile());

    juce::FileInputStream png (file ("s.png"));
    ASSERT_TRUE (png.openedOk());
    EXPECT_TRUE (juce::PNGImageFormat().canUnderstand (png));
    png.setPosition (0);
    const auto image = juce::PNGImageFormat().decodeImage (png);
    EXPECT_EQ (image.getWidth(), 1000);
    EXPECT_EQ (image.getHeight(), 318);
    EXPECT_EQ (strayFiles ({ "in.wav", "out.wav", "s.png" }), juce::StringArray());
}

TEST (LongTermSpectrum, LevelsAndIndependenceFromBlockSizes)
{
    constexpr double rate = 48000.0;
    constexpr int length = 40000;
    const auto sineBin = 100;   // exactly on a bin: its whole power in one
    std::vector<float> signal ((size_t) length);
    for (int i = 0; i < length; ++i)
        signal[(size_t) i] = 0.5f * (float) std::sin (juce::MathConstants<double>::twoPi * LongTermSpectrum::binFrequency (sineBin, rate) * i / rate);

    struct Case
    {
        const char* name;
        int blockSize;
    };
    const Case cases[] { { "one block", length }, { "host blocks", 512 }, { "odd blocks", 7 }, { "single samples", 1 } };

    std::vector<double> first;
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        LongTermSpectrum spectrum (1);
        for (int start = 0; start < length; start += c.blockSize)
            spectrum.push (0, signal.data() + start, std::min (c.blockSize, length - start));
        const auto power = spectrum.averagePower();

        ASSERT_EQ ((int) power.size(), LongTermSpectrum::numBins);
        EXPECT_NEAR (10.0 * std::log10 (power[(size_t) sineBin]), -6.02, 0.05);   // amplitude 0.5
        EXPECT_LT (power[(size_t) sineBin * 2], 1.0e-8);                          // nothing far from it

        if (first.empty())
            first = power;
        for (size_t k = 0; k < power.size(); ++k)
            ASSERT_NEAR (power[k], first[k], 1.0e-9 + 1.0e-6 * first[k]) << "bin " << k;
    }

    // Shorter than one frame: padded with silence, still a spectrum; two
    // channels are averaged.
    LongTermSpectrum shortStream (2);
    shortStream.push (0, signal.data(), 1000);
    shortStream.push (1, signal.data(), 1000);
    const auto power = shortStream.averagePower();
    const auto loudest = std::max_element (power.begin(), power.end()) - power.begin();
    EXPECT_NEAR ((double) loudest, (double) sineBin, 2.0);
    EXPECT_GT (power[(size_t) loudest], 0.0);
    EXPECT_TRUE (std::all_of (power.begin(), power.end(), [] (double p) { return std::isfinite (p); }));

    LongTermSpectrum silent (1);
    const auto nothing = silent.averagePower();
    EXPECT_TRUE (std::all_of (nothing.begin(), nothing.end(), [] (double p) { return p == 0.0; }));
}

namespace
{
    /** A small archive made by the test: nested folders, a note, a Mac
        resource fork named as audio, a corrupt WAV and a loose file. */
    class RenderBatch : public RenderTool
    {
    protected:
        void SetUp() override
        {
            RenderTool::SetUp();
            ASSERT_TRUE (file ("takes/day2/deeper").createDirectory());
            writeAudio ("takes/a.wav", 1, 9000);
            writeAudio ("takes/day2/b.wav", 2, 7000);
            writeAudio ("takes/day2/deeper/c.flac", 1, 5000, 44100.0, 24);
            writeAudio ("loose.wav", 1, 3000);
            file ("takes/notes.txt").replaceWithText ("wind from the north");
            file ("takes/._a.wav").replaceWithText ("resource fork");
            file ("takes/day2/bad.wav").replaceWithText ("RIFF, then junk where the format chunk belongs");
        }

        /** Every file under the test folder, by relative path, with its bytes. */
        std::map<juce::String, juce::MemoryBlock> tree (const juce::String& under = {}) const
        {
            std::map<juce::String, juce::MemoryBlock> files;
            const auto root = under.isEmpty() ? dir : file (under);
            for (const auto& entry : juce::RangedDirectoryIterator (root, true, "*", juce::File::findFiles))
            {
                const auto name = entry.getFile().getRelativePathFrom (root);
                if (! name.startsWith (".std"))
                    entry.getFile().loadFileAsData (files[name]);
            }
            return files;
        }

        juce::StringArray partialFiles() const
        {
            juce::StringArray found;
            for (const auto& entry : juce::RangedDirectoryIterator (dir, true, "*.tessaroeq-partial-*", juce::File::findFiles))
                found.add (entry.getFile().getRelativePathFrom (dir));
            return found;
        }

        static int errorLines (const juce::String& err)
        {
            juce::StringArray lines;
            lines.addLines (err);
            int count = 0;
            for (const auto& line : lines)
                count += line.startsWith ("tessaroeq-render: error: ") ? 1 : 0;
            return count;
        }
    };
}

TEST_F (RenderBatch, EachFileIsItsSingleRenderUnderItsRelativePath)
{
    const auto inputsBefore = tree();

    const auto result = run ({ "--preset", "singbird (far)", "--aim", "40", "--output-dir", "eq/archive", "--recursive",
                               "-j", "2", "takes", "loose.wav" });

    // The corrupt file fails with one line naming it; the others are written.
    EXPECT_EQ (result.status, 1) << result.err;
    EXPECT_EQ (errorLines (result.err), 1) << result.err;
    EXPECT_TRUE (result.err.contains ("tessaroeq-render: error: takes/day2/bad.wav: input 'takes/day2/bad.wav' is not an audio file"))
        << result.err;
    EXPECT_TRUE (result.err.contains ("skipped 2 files in 'takes' that are not audio by name (.txt, hidden)")) << result.err;
    EXPECT_TRUE (result.err.contains ("rendered 4 of 5 files")) << result.err;
    EXPECT_TRUE (result.err.contains ("; 1 failed")) << result.err;

    const std::map<juce::String, juce::String> expected {
        { "takes/a.wav", "eq/archive/takes/a.wav" },
        { "takes/day2/b.wav", "eq/archive/takes/day2/b.wav" },
        { "takes/day2/deeper/c.flac", "eq/archive/takes/day2/deeper/c.flac" },
        { "loose.wav", "eq/archive/loose.wav" },
    };
    juce::StringArray written;
    for (const auto& [name, data] : tree ("eq"))
        written.add (name);
    written.sort (false);
    EXPECT_EQ (written.joinIntoString (" "), "archive/loose.wav archive/takes/a.wav archive/takes/day2/b.wav archive/takes/day2/deeper/c.flac");

    // Byte for byte what a single render of the same file gives.
    for (const auto& [input, output] : expected)
    {
        SCOPED_TRACE (input);
        const auto single = run ({ "--preset", "singbird (far)", "--aim", "40", input, "single" + file (input).getFileExtension() });
        ASSERT_EQ (single.status, 0) << single.err;
        EXPECT_TRUE (file (output).hasIdenticalContentTo (file ("single" + file (input).getFileExtension())));
        file ("single" + file (input).getFileExtension()).deleteFile();
    }

    for (const auto& [name, data] : inputsBefore)
        EXPECT_EQ (tree()[name], data) << name << " was touched";
    EXPECT_EQ (partialFiles(), juce::StringArray());

    // Quiet: the failure and the summary only.
    ASSERT_TRUE (file ("eq").deleteRecursively());
    const auto quiet = run ({ "-q", "--output-dir", "eq", "--recursive", "takes" });
    EXPECT_EQ (quiet.status, 1);
    juce::StringArray lines;
    lines.addLines (quiet.err.trimEnd());
    ASSERT_EQ (lines.size(), 2) << quiet.err;
    EXPECT_TRUE (lines[0].startsWith ("tessaroeq-render: error: takes/day2/bad.wav: "));
    EXPECT_TRUE (lines[1].startsWith ("tessaroeq-render: rendered 3 of 4 files"));
}

TEST_F (RenderBatch, ExistingResultsAreSkippedUnlessOverwriteIsGiven)
{
    file ("takes/day2/bad.wav").deleteFile();
    ASSERT_EQ (run ({ "--output-dir", "eq", "--suffix", "-eq", "--recursive", "takes" }).status, 0);
    const auto rendered = tree ("eq");
    ASSERT_EQ (rendered.size(), 3u);
    EXPECT_EQ (rendered.count ("takes/day2/deeper/c-eq.flac"), 1u);

    file ("eq/takes/a-eq.wav").replaceWithText ("earlier result");
    file ("eq/takes/day2/b-eq.wav").deleteFile();

    const auto again = run ({ "--output-dir", "eq", "--suffix", "-eq", "--recursive", "takes" });
    EXPECT_EQ (again.status, 0) << again.err;
    EXPECT_TRUE (again.err.contains ("skipped 'takes/a.wav': 'eq/takes/a-eq.wav' exists (--overwrite replaces it)")) << again.err;
    EXPECT_TRUE (again.err.contains ("rendered 1 of 3 files")) << again.err;
    EXPECT_TRUE (again.err.contains ("2 skipped (result exists)")) << again.err;
    EXPECT_EQ (file ("eq/takes/a-eq.wav").loadFileAsString(), "earlier result");
    EXPECT_EQ (tree ("eq")["takes/day2/b-eq.wav"], rendered.at ("takes/day2/b-eq.wav"));

    const auto overwritten = run ({ "--overwrite", "--output-dir", "eq", "--suffix", "-eq", "--recursive", "takes" });
    EXPECT_EQ (overwritten.status, 0) << overwritten.err;
    EXPECT_FALSE (overwritten.err.contains ("skipped 'takes")) << overwritten.err;
    EXPECT_EQ (tree ("eq"), rendered);
}

TEST_F (RenderBatch, CommandLinesThatCannotWorkAreRefusedBeforeAnyWork)
{
    ASSERT_TRUE (file ("other").createDirectory());
    writeAudio ("other/a.wav", 1, 1000);
    file ("plain-file").replaceWithText ("x");

    struct Case
    {
        juce::StringArray args;
        const char* message;
    };
    // clang-format off
    const Case cases[] {
        { { "loose.wav", "takes/a.wav", "out.wav" },                                   "several inputs need --output-dir" },
        { { "--output-dir", "eq", "takes" },                                           "'takes' is a folder; add --recursive" },
        { { "--output-dir", "eq", "takes/a.wav", "other/a.wav" },                      "would both be written to 'eq/a.wav'" },
        { { "--output-dir", "eq", "loose.wav", "loose.wav" },                          "would both be written to 'eq/loose.wav'" },
        { { "--output-dir", "eq", "--recursive", "takes", "other/../takes" },          "would both be written to" },
        { { "--output-dir", "takes", "--recursive", "takes" },                         "is inside INPUT folder 'takes'" },
        { { "--output-dir", "takes/day2/new", "--recursive", "takes" },                "is inside INPUT folder 'takes'" },
        { { "--output-dir", ".", "loose.wav" },                                        "would be written over an input, 'loose.wav'" },
        { { "--output-dir", "..", "--recursive", "../" + dir.getFileName() },          "would be written over an input" },
        { { "--output-dir", "plain-file", "loose.wav" },                               "is not a folder" },
        { { "--output-dir", "eq" },                                                    "needs at least one INPUT" },
        { { "--output-dir", "" , "loose.wav" },                                        "--output-dir needs a folder name" },
        { { "--output-dir", "eq", "--response", "r.csv", "loose.wav" },                "--response writes one file" },
        { { "--output-dir", "eq", "--plot", "p.png", "loose.wav" },                    "--plot writes one file" },
        { { "--output-dir", "eq", "--spectrum", "s.png", "loose.wav" },                "--spectrum writes one file" },
        { { "--output-dir", "eq", "--save-settings", "s.bin", "loose.wav" },           "--save-settings writes one file" },
        { { "--output-dir", "eq", "--sample-rate", "48000", "loose.wav" },             "--sample-rate applies only without INPUT" },
        { { "--recursive", "loose.wav", "out.wav" },                                   "--recursive applies only to a batch" },
        { { "--overwrite", "loose.wav", "out.wav" },                                   "--overwrite applies only to a batch" },
        { { "-j4", "loose.wav", "out.wav" },                                           "--jobs applies only to a batch" },
        { { "--output-dir", "eq", "-j", "0", "loose.wav" },                            "-j: '0' is not a whole number" },
        { { "--output-dir", "eq", "--jobs=many", "loose.wav" },                        "--jobs: 'many'" },
        { { "--output-dir", "eq", "--suffix", "a/b", "loose.wav" },                    "--suffix: 'a/b' must not contain '/'" },
    };
    // clang-format on

    const auto before = tree();
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.args.joinIntoString (" "));
        const auto result = run (c.args);
        EXPECT_EQ (result.status, 2) << result.err;
        EXPECT_TRUE (result.err.startsWith ("tessaroeq-render: error: ")) << result.err;
        EXPECT_TRUE (result.err.contains (c.message)) << result.err;
        EXPECT_EQ (result.err.trimEnd().indexOfChar ('\n'), -1) << "one line only: " << result.err;
        EXPECT_EQ (tree(), before) << "something was written";
        EXPECT_FALSE (file ("eq").exists());
    }
}

TEST_F (RenderBatch, ASignalStopsEveryRenderInFlightAndLeavesNoPartialFile)
{
    ASSERT_TRUE (file ("long").createDirectory());
    for (auto* name : { "long/one.wav", "long/two.wav", "long/three.wav" })
        writeLongAudio (name);
    file ("eq/long/one.wav").create();
    file ("eq/long/one.wav").replaceWithText ("earlier result");
    const auto before = tree();

    const auto pid = start ({ "--overwrite", "--block-size", "1", "--output-dir", "eq", "--recursive", "-j", "2", "long" });

    // Wait until both renders are writing, then stop the batch alone: it
    // must pass the signal on.
    for (int i = 0; i < 3000 && partialFiles().size() < 2; ++i)
        juce::Thread::sleep (5);
    ASSERT_EQ (partialFiles().size(), 2) << "the renders never got going";
    kill (pid, SIGTERM);
    const auto result = finish (pid);

    EXPECT_EQ (result.status, 128 + SIGTERM) << result.err;
    EXPECT_TRUE (result.err.trimEnd().fromLastOccurrenceOf ("\n", false, false).contains ("interrupted by SIGTERM")) << result.err;
    EXPECT_EQ (partialFiles(), juce::StringArray());
    EXPECT_EQ (tree(), before);   // results as they were; no folder or file left over
}
