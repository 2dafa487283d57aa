#include "ProcessorHelpers.h"
#include "processor/TessaroPresets.h"

#include <juce_audio_formats/juce_audio_formats.h>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
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

        void TearDown() override   { dir.deleteRecursively(); }

        juce::File file (const juce::String& name) const   { return dir.getChildFile (name); }

        /** Starts the renderer in the test folder, stdout and stderr to files. */
        pid_t start (const juce::StringArray& args) const
        {
            const auto pid = fork();
            if (pid == 0)
            {
                if (chdir (dir.getFullPathName().toRawUTF8()) != 0)
                    _exit (127);
                const auto outFd = open (file (".stdout").getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                const auto errFd = open (file (".stderr").getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
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

        RunResult finish (pid_t pid) const
        {
            int status = 0;
            waitpid (pid, &status, 0);
            RunResult result;
            result.status = WIFEXITED (status) ? WEXITSTATUS (status) : -1;
            result.out = file (".stdout").loadFileAsString();
            result.err = file (".stderr").loadFileAsString();
            return result;
        }

        RunResult run (const juce::StringArray& args) const   { return finish (start (args)); }

        /** Noise with a few tones, as floating-point WAV unless told otherwise. */
        juce::File writeAudio (const juce::String& name, int channels, int length, double rate = 48000.0, int bits = 32) const
        {
            juce::AudioBuffer<float> buffer (channels, length);
            juce::Random random (channels * 31 + length);
            for (int c = 0; c < channels; ++c)
                for (int i = 0; i < length; ++i)
                    buffer.setSample (c, i, 0.2f * (random.nextFloat() * 2.0f - 1.0f)
                                            + 0.2f * std::sin (0.01f * (float) (i * (c + 1))));

            const auto target = file (name);
            juce::AudioFormatManager formats;
            formats.registerBasicFormats();
            auto* format = formats.findFormatForFileExtension (target.getFileExtension());
            auto stream = target.createOutputStream();
            std::unique_ptr<juce::AudioFormatWriter> writer (format->createWriterFor (stream.get(), rate, (unsigned int) channels, bits, {}, 0));
            stream.release();
            writer->writeFromAudioSampleBuffer (buffer, 0, length);
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
            if (rate != nullptr)     *rate = reader->sampleRate;
            if (bits != nullptr)     *bits = (int) reader->bitsPerSample;
            if (isFloat != nullptr)  *isFloat = reader->usesFloatingPointData;
            return buffer;
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

    struct Case { juce::StringArray args; int status; const char* message; };
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
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.args.joinIntoString (" "));
        const auto result = run (c.args);
        EXPECT_EQ (result.status, c.status);
        EXPECT_TRUE (result.err.startsWith ("tessaroeq-render: error: ")) << result.err;
        EXPECT_TRUE (result.err.contains (c.message)) << result.err;
        EXPECT_EQ (result.err.trimEnd().indexOfChar ('\n'), -1) << "one line only: " << result.err;
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
        const auto expected = processDirectly (source.getReadPointer (0), source.getNumSamples(), blockSize, [] (auto& p)
        {
            TessaroPresets::recall (p.getValueTreeState(), 8);
            test::set (p, "windCover", 2.0f);
        });

        ASSERT_EQ (rendered.getNumSamples(), source.getNumSamples());
        for (int i = 0; i < rendered.getNumSamples(); ++i)
            ASSERT_EQ (rendered.getSample (0, i), expected[(size_t) i]) << "sample " << i;
        file ("out.wav").deleteFile();
    }
}

TEST_F (RenderTool, EachChannelGetsItsOwnProcessor)
{
    writeAudio ("three.wav", 3, 9000);
    const auto source = readAudio (file ("three.wav"));
    ASSERT_EQ (run ({ "--distance", "5", "--free-field", "90", "three.wav", "three-eq.wav" }).status, 0);

    const auto rendered = readAudio (file ("three-eq.wav"));
    ASSERT_EQ (rendered.getNumChannels(), 3);

    for (int c = 0; c < 3; ++c)
    {
        const auto expected = processDirectly (source.getReadPointer (c), source.getNumSamples(), 512, [] (auto& p)
        {
            test::set (p, "distance", 5.0f);
            test::set (p, "freeField", 90.0f);
        });
        for (int i = 0; i < source.getNumSamples(); i += 11)
            ASSERT_EQ (rendered.getSample (c, i), expected[(size_t) i]) << "channel " << c << " sample " << i;
    }
}

TEST_F (RenderTool, FormatsKeepRateChannelsAndBitDepth)
{
    struct Case { const char* in; int bits; const char* out; int expectedBits; };
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
