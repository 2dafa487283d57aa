#include "render/RenderJob.h"
#include "editor/ResponseGraphPainter.h"
#include "juce_misc/palette.h"
#include "processor/NonFiniteSamples.h"
#include "processor/TessaroAudioProcessor.h"
#include "processor/TessaroParameters.h"
#include "processor/TessaroPresets.h"

#include "render/AiffChunks.h"
#include "render/ChannelWorkers.h"
#include "render/ChunkPipeline.h"
#include "render/FlacFrames.h"
#include "render/FlacMetadataStream.h"
#include "render/WavChunks.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace
{
    constexpr double progressMinimumSeconds = 5.0;
    // Frames of one channel per chunk (1 MiB), and at most 2 MiB of audio a
    // chunk whatever the channel count. Each hand-over between the threads
    // can wake a sleeping one, which costs far more in a virtual machine
    // than on bare metal: at a quarter of this size, a ten-minute mono file
    // took a third more processor time (270 ms against 205 ms).
    constexpr int samplesPerChunk = 262144;
    constexpr int chunksInFlight = 6;

    juce::File fileFromArgument (const juce::String& path)
    {
        return juce::File::getCurrentWorkingDirectory().getChildFile (path);
    }

    juce::String plural (juce::int64 count, const char* singular, const char* pluralForm)
    {
        return juce::String (count) + " " + (count == 1 ? singular : pluralForm);
    }

    /** As the framework's writers convert floating point for integer
        formats, so that a render is the same whichever way it is written. */
    void floatsToInts (int* dest, const float* source, int numSamples) noexcept
    {
        for (int i = 0; i < numSamples; ++i)
        {
            const double sample = source[i];
            if (sample <= -1.0)
                dest[i] = std::numeric_limits<int>::min();
            else if (sample >= 1.0)
                dest[i] = std::numeric_limits<int>::max();
            else
                dest[i] = juce::roundToInt (std::numeric_limits<int>::max() * sample);
        }
    }

    /** What the framework's writer puts before the audio of an empty file
        with these settings and metadata values; empty if it cannot write them. */
    juce::MemoryBlock writerHeader (juce::AudioFormat& format, double rate, int numChannels, int bitDepth,
                                    const juce::StringPairArray& metadata)
    {
        juce::MemoryBlock header;
        auto stream = std::make_unique<juce::MemoryOutputStream> (header, false);
        std::unique_ptr<juce::AudioFormatWriter> writer (format.createWriterFor (stream.get(), rate, (unsigned int) numChannels,
                                                                                 bitDepth, metadata, 0));
        if (writer == nullptr)
            return {};
        stream.release();
        writer.reset();
        return header;
    }
}

RenderJob::RenderJob (RenderOptions optionsToRun) : options (std::move (optionsToRun))
{
    formats.registerBasicFormats();
}

RenderJob::~RenderJob() = default;

int RenderJob::fail (const juce::String& message, int status)
{
    std::fprintf (stderr, "tessaroeq-render: error: %s\n", SafeFiles::printable (message).toRawUTF8());
    exitStatus = status;
    return status;
}

void RenderJob::note (const juce::String& message) const
{
    if (! options.quiet)
        std::fprintf (stderr, "tessaroeq-render: %s\n", SafeFiles::printable (message).toRawUTF8());
}

int RenderJob::run()
{
    if (! checkTargets())
        return exitStatus;

    if (options.listPresets)
        listPresets();

    if (options.settingsPath.isNotEmpty() && ! loadSettingsFile())
        return exitStatus;

    if (options.hasAudio() && ! openInput())
        return exitStatus;

    TessaroAudioProcessor processor;
    if (! configure (processor))
        return exitStatus;

    const auto rate = reader != nullptr ? reader->sampleRate : options.sampleRate.value_or (44100.0);
    processor.prepareToPlay (rate, options.blockSize);

    if (options.saveSettingsPath.isNotEmpty() && ! writeSettings (processor))
        return exitStatus;
    if (options.responsePath.isNotEmpty() && ! writeResponse (processor))
        return exitStatus;
    if (options.plotPath.isNotEmpty() && ! writePlot (processor))
        return exitStatus;

    if (options.hasAudio() && ! renderAudio())
        return exitStatus;

    return 0;
}

void RenderJob::listPresets() const
{
    std::printf ("%-18s %-8s %-9s %-5s %s\n", "preset", "low cut", "distance", "aim", "free field");
    for (const auto& p : TessaroPresets::table())
        std::printf ("%-18s %-8s %-9g %-5g %g\n", p.name, p.lowCut == 1.0f ? "on" : "off",
                     (double) p.distance, (double) p.aimingAccurancy, (double) p.freeField);
    std::fflush (stdout);
}

bool RenderJob::checkTargets()
{
    // Every file this run writes must be none of the files it reads and
    // none of the others it writes: one would silently replace the other.
    struct Target
    {
        const char* label;
        juce::String argument;
        std::string resolved;
    };
    std::vector<Target> targets;

    auto add = [&] (const char* label, const juce::String& argument) {
        if (argument.isNotEmpty() && argument != "-")
            targets.push_back ({ label, argument, SafeFiles::resolveTarget (argument) });
    };

    if (options.hasAudio())
        add ("OUTPUT", options.outputPath);
    add ("--save-settings", options.saveSettingsPath);
    add ("--response", options.responsePath);
    add ("--plot", options.plotPath);
    add ("--spectrum", options.spectrumPath);

    const auto input = options.hasAudio() ? SafeFiles::resolveTarget (options.inputPath) : std::string();
    const auto settings = options.settingsPath.isNotEmpty() ? SafeFiles::resolveTarget (options.settingsPath) : std::string();

    for (size_t i = 0; i < targets.size(); ++i)
    {
        const auto& t = targets[i];
        const auto isOutput = juce::String (t.label) == "OUTPUT";

        if (! input.empty() && SafeFiles::sameFile (t.resolved, input))
            return fail (juce::String (t.label) + " '" + t.argument + "' is the INPUT file; refusing to overwrite it",
                         isOutput ? fileError : RenderOptions::usageError)
                == 0;

        // Saving settings over the file they came from is how a settings
        // file is updated: it was read in full before anything is written.
        if (! settings.empty() && juce::String (t.label) != "--save-settings" && SafeFiles::sameFile (t.resolved, settings))
            return fail (juce::String (t.label) + " '" + t.argument + "' is the --settings file; refusing to overwrite it",
                         RenderOptions::usageError)
                == 0;

        for (size_t j = 0; j < i; ++j)
            if (SafeFiles::sameFile (t.resolved, targets[j].resolved))
                return fail (juce::String (targets[j].label) + " '" + targets[j].argument + "' and " + t.label + " '" + t.argument
                                 + "' are the same file; each needs its own",
                             RenderOptions::usageError)
                    == 0;

        // Renaming over a device, FIFO or socket would replace it with a file.
        struct stat info = {};
        if (stat (t.resolved.c_str(), &info) == 0 && ! S_ISREG (info.st_mode) && ! S_ISDIR (info.st_mode))
            return fail (juce::String (t.label) + " '" + t.argument + "' is not a regular file; refusing to replace it") == 0;
    }

    return true;
}

bool RenderJob::loadSettingsFile()
{
    juce::String whyNot;
    juce::int64 size = 0;
    const auto fd = SafeFiles::openRegularFile (options.settingsPath, maxSettingsBytes, whyNot, &size);

    if (fd < 0)
        return fail ("settings file '" + options.settingsPath + "' " + whyNot
                     + (whyNot.startsWith ("is too large") ? " and is not a TessaroEQ settings file" : ""))
            == 0;

    {
        SafeFiles::InputStream stream (fd, size);
        settingsBlock.setSize ((size_t) size);
        if (stream.read (settingsBlock.getData(), (int) size) != (int) size || stream.failed())
            return fail ("cannot read settings file '" + options.settingsPath + "'") == 0;
    }

    if (TessaroAudioProcessor::readStateBlock (settingsBlock.getData(), (int) settingsBlock.getSize()) == nullptr)
        return fail ("'" + options.settingsPath + "' is not a TessaroEQ settings file (state block)") == 0;

    return true;
}

bool RenderJob::configure (TessaroAudioProcessor& processor)
{
    if (! settingsBlock.isEmpty())
        processor.setStateInformation (settingsBlock.getData(), (int) settingsBlock.getSize());

    if (options.preset)
        TessaroPresets::recall (processor.getValueTreeState(), *options.preset);

    using P = TessaroParameters;
    // clang-format off
    const std::pair<int, const std::optional<float>&> singles[] {
        { P::microphone, options.microphone }, { P::windCover, options.windCover }, { P::lowCut, options.lowCut },
        { P::distance, options.distance }, { P::aimingAccurancy, options.aim }, { P::freeField, options.freeField } };
    // clang-format on

    for (const auto& [index, value] : singles)
        if (value)
            TessaroParameters::setAsGesture (processor.getValueTreeState(), index, *value);

    return true;
}

bool RenderJob::openInput()
{
    const auto output = fileFromArgument (options.outputPath);

    juce::String whyNot;
    const auto fd = SafeFiles::openRegularFile (options.inputPath, -1, whyNot, &inputSize);

    if (fd < 0)
    {
        if (whyNot == "is a folder")
            return fail ("input '" + options.inputPath + "' is a folder, not an audio file") == 0;
        if (whyNot.startsWith ("cannot be read"))
            return fail ("cannot read input '" + options.inputPath + "'") == 0;
        return fail ("input '" + options.inputPath + "' " + whyNot) == 0;
    }

    auto stream = std::make_unique<SafeFiles::InputStream> (fd, inputSize);

    if (output.isDirectory())
        return fail ("OUTPUT '" + options.outputPath + "' is a folder; give a file name") == 0;

    inputStream = stream.get();
    reader.reset (formats.createReaderFor (std::move (stream)));

    if (reader == nullptr)
    {
        inputStream = nullptr;
        return fail ("input '" + options.inputPath + "' is not an audio file this program reads (WAV, AIFF, FLAC, Ogg Vorbis)") == 0;
    }

    // WAV's 16-bit channel field is read as a signed number: show what the
    // header says, not its sign-extension.
    const auto channelsInHeader = (juce::int64) (reader->numChannels > 0xffffu ? reader->numChannels & 0xffffu : reader->numChannels);

    if (reader->numChannels < 1 || reader->numChannels > (unsigned int) maxChannels
        || reader->sampleRate < 1000.0 || reader->sampleRate > 768000.0)
        return fail ("input '" + options.inputPath + "' has " + plural (channelsInHeader, "channel", "channels") + " at "
                     + juce::String (reader->sampleRate) + " Hz, which cannot be processed (1 to " + juce::String (maxChannels)
                     + " channels, 1000 to 768000 Hz)")
            == 0;

    outputFormat = formats.findFormatForFileExtension (output.getFileExtension());

    if (outputFormat == nullptr)
        return fail ("cannot tell the output format from '" + options.outputPath + "': use .wav, .aiff, .flac or .ogg") == 0;

    if (! output.getParentDirectory().isDirectory())
        return fail ("output folder '" + output.getParentDirectory().getFullPathName() + "' does not exist") == 0;

    measureAudioReallyThere();
    return true;
}

void RenderJob::measureAudioReallyThere()
{
    // An uncompressed file's header gives the length of its audio, and a
    // reader trusts it: past the end of the file it hands out silence. A cut
    // recording or a lying header would then be padded with invented audio,
    // so the length is limited to the frames the file really holds.
    const auto formatName = reader->getFormatName();
    const auto declared = reader->lengthInSamples;

    auto limitTo = [&] (juce::int64 framesThere) {
        reader->lengthInSamples = framesThere;
        lengthWarning = "warning: '" + options.inputPath + "' holds less audio than its header claims: read "
            + plural (framesThere, "frame", "frames") + " of " + juce::String (declared);
    };

    // A FLAC decoder that runs out of frames is handed silence the same way.
    // Its frames say where the audio ends; the decoder goes on from where
    // the stream stands, so the position is put back.
    if (formatName == juce::FlacAudioFormat().getFormatName())
    {
        const auto position = inputStream->getPosition();
        const auto there = FlacFrames::samplesThere (*inputStream, inputSize, (int) reader->numChannels);
        inputStream->setPosition (position);
        inputStream->rearm();

        if (there >= 0 && there < declared)
            limitTo (there);
        return;
    }

    if (formatName != juce::WavAudioFormat().getFormatName() && formatName != juce::AiffAudioFormat().getFormatName())
        return;

    const auto numChannels = (int) reader->numChannels;
    bytesPerFrame = numChannels * (int) reader->bitsPerSample / 8;
    if (bytesPerFrame <= 0)
        return;

    // Reading the first frame makes the reader seek to it: that is where
    // the audio starts.
    std::vector<int> frame ((size_t) numChannels);
    std::vector<int*> channels ((size_t) numChannels + 1, nullptr);
    for (int c = 0; c < numChannels; ++c)
        channels[(size_t) c] = frame.data() + c;

    reader->lengthInSamples = juce::jmax (declared, (juce::int64) 1);
    reader->read (channels.data(), numChannels, 0, 1, false);
    reader->lengthInSamples = declared;
    dataStart = inputStream->lastSeek();
    inputStream->rearm();

    const auto available = juce::jmax ((juce::int64) 0, inputSize - dataStart);
    const auto framesThere = available / bytesPerFrame;

    if (declared > framesThere)
        limitTo (framesThere);
    else if (declared == 0 && framesThere > 0)
    {
        // Bytes after an empty data chunk can be another chunk (fine) or
        // the audio of a recording whose header was never finished.
        char header[8] {};
        inputStream->setPosition (dataStart);
        const auto isChunk = inputStream->read (header, 8) == 8
            && std::all_of (header, header + 4, [] (char c) { return c >= 0x20 && c < 0x7f; });
        inputStream->rearm();
        if (! isChunk)
            lengthWarning = "warning: '" + options.inputPath + "' declares no audio, yet " + juce::String (available)
                + " bytes follow its header (an unfinished recording?); read 0 frames";
    }
}

bool RenderJob::writeFileAtomically (const juce::String& argument, const void* data, size_t size, const juce::String& what)
{
    SafeFiles::AtomicFile file;
    juce::String error;

    if (! file.open (argument, error) || ! file.writeAll (data, size, error))
        return fail ("cannot write " + what + " '" + argument + "': " + error) == 0;

    if (file.stalePartialsRemoved() > 0)
        note ("removed " + plural (file.stalePartialsRemoved(), "unfinished file", "unfinished files")
              + " of '" + argument + "' left by a run that was stopped");
    return true;
}

bool RenderJob::writeSettings (TessaroAudioProcessor& processor)
{
    juce::MemoryBlock block;
    processor.getStateInformation (block);

    return writeFileAtomically (options.saveSettingsPath, block.getData(), block.getSize(), "settings file");
}

bool RenderJob::writeResponse (TessaroAudioProcessor& processor)
{
    const auto response = processor.getCombinedResponse();
    const auto& frequencies = processor.getFrequencies();

    juce::String csv ("frequency_hz,gain_db\n");
    for (size_t i = 0; i < response.size(); ++i)
    {
        char row[64];
        std::snprintf (row, sizeof (row), "%.4f,%.6f\n", frequencies[i], 20.0 * std::log10 (response[i]));
        csv += row;
    }

    if (options.responsePath == "-")
    {
        std::fputs (csv.toRawUTF8(), stdout);
        std::fflush (stdout);
        return true;
    }

    const auto utf8 = csv.toStdString();
    return writeFileAtomically (options.responsePath, utf8.data(), utf8.size(), "response file");
}

bool RenderJob::writePlot (TessaroAudioProcessor& processor)
{
    // The editor's graph field (952 x 250) with its labels, on the window's
    // light grey so that the black frequency labels show.
    constexpr float margin = ResponseGraphPainter::margin;
    const juce::Rectangle<float> field { margin, margin, 952.0f, 250.0f };
    juce::Image image (juce::Image::ARGB, (int) (field.getWidth() + 2 * margin), (int) (field.getBottom() + 20.0f + margin), true);

    {
        juce::Graphics g (image);
        g.fillAll (juce::Colour (velmoor::juce_misc::palette::lightGrey));
        g.setFont (juce::Font (14.0f));
        juce::Path path;
        ResponseGraphPainter::paint (g, processor, field, path);
    }

    juce::MemoryOutputStream png;
    if (! juce::PNGImageFormat().writeImageToStream (image, png))
        return fail ("cannot encode the plot") == 0;

    return writeFileAtomically (options.plotPath, png.getData(), png.getDataSize(), "plot");
}

bool RenderJob::writeSpectrum (const std::vector<double>& before, const std::vector<double>& after)
{
    const auto image = drawSpectra (before, after, reader->sampleRate,
                                    "before: " + juce::File (fileFromArgument (options.inputPath)).getFileName(),
                                    "after: " + juce::File (fileFromArgument (options.outputPath)).getFileName());

    juce::MemoryOutputStream png;
    if (! juce::PNGImageFormat().writeImageToStream (image, png))
        return fail ("cannot encode the spectrum") == 0;

    return writeFileAtomically (options.spectrumPath, png.getData(), png.getDataSize(), "spectrum");
}

bool RenderJob::renderAudio()
{
    const auto numChannels = (int) reader->numChannels;
    const auto blockSize = options.blockSize;
    const auto rate = reader->sampleRate;

    // A host runs one instance of a mono effect per channel of a wider track.
    std::vector<std::unique_ptr<TessaroAudioProcessor>> processors;
    for (int c = 0; c < numChannels; ++c)
    {
        processors.push_back (std::make_unique<TessaroAudioProcessor>());
        configure (*processors.back());
        processors.back()->prepareToPlay (rate, blockSize);
    }

    auto bitDepth = (int) reader->bitsPerSample;
    const auto possible = outputFormat->getPossibleBitDepths();
    bool depthChanged = false;
    if (! possible.isEmpty() && ! possible.contains (bitDepth))
    {
        const auto chosen = possible[possible.size() - 1];
        note (outputFormat->getFormatName() + " cannot store " + juce::String (bitDepth) + "-bit samples; writing "
              + juce::String (chosen) + "-bit");
        bitDepth = chosen;
        depthChanged = true;
    }

    SafeFiles::AtomicFile output;
    juce::String error;
    if (! output.open (options.outputPath, error))
        return fail (error) == 0;

    if (output.stalePartialsRemoved() > 0)
        note ("removed " + plural (output.stalePartialsRemoved(), "unfinished file", "unfinished files")
              + " of '" + options.outputPath + "' left by a run that was stopped");

    // A WAV output keeps the chunks of the recording, written around the
    // audio by WavChunks; the framework's writer writes only the samples
    // (and a header of its own, which ours covers). For an input that is not
    // WAV, the chunks are those the framework makes of its metadata.
    //
    // Finding the metadata moves the input's position, while the readers of
    // compressed formats go on reading from wherever the stream stands: the
    // position is put back once every format has been probed.
    const auto readerPosition = inputStream->getPosition();
    const auto wavOutput = dynamic_cast<juce::WavAudioFormat*> (outputFormat) != nullptr;
    WavChunks::ChunkList chunkList;
    juce::MemoryBlock fmtBody;
    juce::int64 audioOffset = 0;
    juce::int64 writerHeaderBytes = 0;

    if (wavOutput)
    {
        const auto plain = writerHeader (*outputFormat, rate, numChannels, bitDepth, {});
        juce::MemoryInputStream plainStream (plain, false);
        const auto plainList = WavChunks::read (plainStream, (juce::int64) plain.getSize());
        for (const auto& chunk : plainList.chunks)
            if (chunk.is ("fmt "))
                fmtBody = chunk.body;

        if (WavChunks::isWave (*inputStream))
        {
            chunkList = WavChunks::read (*inputStream, inputSize);
            if (WavChunks::forgetLoudness (chunkList))
                note ("the recording's loudness figures (bext) describe it before equalising; they are left out of '"
                      + options.outputPath + "'");
        }
        else
        {
            const auto converted = writerHeader (*outputFormat, rate, numChannels, bitDepth, reader->metadataValues);
            juce::MemoryInputStream convertedStream (converted, false);
            chunkList = WavChunks::read (convertedStream, (juce::int64) converted.getSize());
        }

        writerHeaderBytes = (juce::int64) plain.getSize();
        audioOffset = (juce::int64) WavChunks::headerBytes (chunkList, fmtBody.getSize());
    }

    // An AIFF output of an AIFF recording keeps its chunks, appended once
    // the sound is written; the framework's writer then writes none of its own.
    // A damaged chunk list is not copied: the framework then writes what it
    // read of the markers, comments and instrument data, as for any input.
    AiffChunks::ChunkList aiffChunks;
    bool aiffCopied = false, aiffChunksDropped = false;
    if (dynamic_cast<juce::AiffAudioFormat*> (outputFormat) != nullptr && AiffChunks::isAiff (*inputStream))
    {
        aiffChunks = AiffChunks::read (*inputStream, inputSize);
        aiffCopied = aiffChunks.damage.isEmpty();
    }

    // A FLAC output of a FLAC recording keeps its comments, pictures and
    // the like, which the framework's encoder would leave out.
    FlacMetadataStream::KeptBlocks flacBlocks;
    if (dynamic_cast<juce::FlacAudioFormat*> (outputFormat) != nullptr)
        flacBlocks = FlacMetadataStream::readKeptBlocks (*inputStream, inputSize);

    inputStream->setPosition (readerPosition);
    inputStream->rearm();

    const auto writerMetadata = wavOutput || aiffCopied ? juce::StringPairArray() : reader->metadataValues;
    std::unique_ptr<juce::AudioFormatWriter> writer;
    std::shared_ptr<std::atomic<bool>> streamFailed;

    {
        auto fileStream = std::make_unique<SafeFiles::OutputStream> (output.descriptor());
        streamFailed = fileStream->failure;

        // The framework's header ends where ours does, so its samples land
        // where the data chunk wants them.
        if (wavOutput && ! fmtBody.isEmpty() && audioOffset >= writerHeaderBytes)
            fileStream->setPosition (audioOffset - writerHeaderBytes);

        std::unique_ptr<juce::OutputStream> stream;
        if (flacBlocks.blocks.empty())
            stream = std::move (fileStream);
        else
            stream = std::make_unique<FlacMetadataStream> (std::move (fileStream), std::move (flacBlocks.blocks));

        const auto qualities = outputFormat->getQualityOptions();
        writer.reset (outputFormat->createWriterFor (stream.get(), rate, (unsigned int) numChannels, bitDepth,
                                                     writerMetadata,
                                                     juce::jmax (0, qualities.size() - 1)));
        if (writer == nullptr)
            return fail (outputFormat->getFormatName() + " cannot store " + plural (numChannels, "channel", "channels") + " at "
                         + juce::String (rate) + " Hz")
                == 0;
        stream.release();   // the writer owns it now

        if (wavOutput && (fmtBody.isEmpty() || audioOffset < writerHeaderBytes))
            return fail ("cannot lay out the chunks of '" + options.outputPath + "'") == 0;
    }

    // Same depth, other kind of number: say so, as for any other conversion.
    if (! depthChanged && ! outputFormat->isCompressed() && writer->isFloatingPoint() != reader->usesFloatingPointData)
        note (outputFormat->getFormatName() + " stores " + juce::String (bitDepth) + "-bit samples as "
              + (writer->isFloatingPoint() ? "floating point; writing 32-bit float" : "integers; writing " + juce::String (bitDepth) + "-bit integer"));

    const auto length = reader->lengthInSamples;
    const auto showProgress = ! options.quiet && isatty (STDERR_FILENO) != 0
        && (double) length / rate > progressMinimumSeconds;

    // Decoding, processing and encoding each run on a thread of their own.
    // Chunks hold whole host blocks, so the block boundaries are those of a
    // host playing the file from its start. Wide files get shorter chunks,
    // so memory stays small whatever the channel count.
    const auto samplesWanted = juce::jlimit (1024, samplesPerChunk, samplesPerChunk * 2 / numChannels);
    const auto chunkSamples = juce::jmax (1, samplesWanted / blockSize) * blockSize;
    ChunkPipeline pipeline (chunksInFlight, numChannels, chunkSamples);
    std::atomic<bool> readFailed { false }, writeFailed { false };
    std::atomic<juce::int64> failedAt { 0 }, framesRead { 0 }, framesWritten { 0 };
    std::atomic<bool> endedEarly { false };

    // The long-term spectra, before and after, when asked for. Each is fed
    // by one thread: the input's by the reader, the output's by the writer.
    std::unique_ptr<LongTermSpectrum> spectrumIn, spectrumOut;
    if (options.spectrumPath.isNotEmpty())
    {
        spectrumIn = std::make_unique<LongTermSpectrum> (numChannels);
        spectrumOut = std::make_unique<LongTermSpectrum> (numChannels);
    }

    // Written by the reader and the writer, read once both have joined.
    juce::int64 nonFiniteIn = 0;
    float peak = 0.0f;
    const auto clippingPossible = bitDepth < 32;

    // The bookkeeping around the audio runs on the reading and writing
    // threads, so that the processing thread, the slowest of the three, does
    // nothing but process.
    std::thread reading ([&] {
        for (juce::int64 position = 0; position < length;)
        {
            auto* chunk = pipeline.take (ChunkPipeline::freeChunks);
            if (chunk == nullptr)
                return;

            chunk->position = position;
            chunk->numSamples = (int) juce::jmin ((juce::int64) chunk->audio.getNumSamples(), length - position);

            if (! reader->read (&chunk->audio, 0, chunk->numSamples, position, true, true) || inputStream->failed())
            {
                failedAt = position;
                readFailed = true;
                break;
            }

            // The file ended before the frames it was measured to hold (it
            // was cut while being read): keep only what was really read.
            const auto end = inputStream->endReachedAt();
            if (dataStart >= 0 && end >= 0)
            {
                const auto there = juce::jlimit ((juce::int64) 0, (juce::int64) chunk->numSamples, (end - dataStart) / bytesPerFrame - position);
                chunk->numSamples = (int) there;
                endedEarly = true;
            }

            // The processor is never handed a sample that is not a number: a
            // NaN would spread through its filters and on into every later one.
            for (int c = 0; c < numChannels; ++c)
                nonFiniteIn += zeroNonFiniteSamples (chunk->audio.getWritePointer (c), chunk->numSamples);

            if (spectrumIn != nullptr)
                for (int c = 0; c < numChannels; ++c)
                    spectrumIn->push (c, chunk->audio.getReadPointer (c), chunk->numSamples);

            position += chunk->numSamples;
            framesRead = position;

            if (chunk->numSamples > 0)
                pipeline.put (*chunk, ChunkPipeline::filled);
            else
                pipeline.put (*chunk, ChunkPipeline::freeChunks);

            if (endedEarly)
                break;
        }
        pipeline.finish (ChunkPipeline::filled);
    });

    std::thread writing ([&] {
        // The float-to-integer conversion is done here rather than by the
        // writer's own helper, which only has room for a fixed number of
        // channels.
        const auto floating = writer->isFloatingPoint();
        std::vector<int> scratch (floating ? 0 : (size_t) numChannels * (size_t) chunkSamples);
        std::vector<const int*> channels ((size_t) numChannels + 1, nullptr);

        while (auto* chunk = pipeline.take (ChunkPipeline::processed))
        {
            if (clippingPossible)
                for (int c = 0; c < numChannels; ++c)
                    peak = juce::jmax (peak, chunk->audio.getMagnitude (c, 0, chunk->numSamples));

            if (spectrumOut != nullptr)
                for (int c = 0; c < numChannels; ++c)
                    spectrumOut->push (c, chunk->audio.getReadPointer (c), chunk->numSamples);

            for (int c = 0; c < numChannels; ++c)
            {
                const auto* source = chunk->audio.getReadPointer (c);
                if (floating)
                {
                    channels[(size_t) c] = reinterpret_cast<const int*> (source);
                }
                else
                {
                    auto* dest = scratch.data() + (size_t) c * (size_t) chunkSamples;
                    floatsToInts (dest, source, chunk->numSamples);
                    channels[(size_t) c] = dest;
                }
            }

            if (! writeFailed && (! writer->write (channels.data(), chunk->numSamples) || streamFailed->load()))
                writeFailed = true;
            else
                framesWritten += chunk->numSamples;
            pipeline.put (*chunk, ChunkPipeline::freeChunks);
        }
    });

    int lastPercent = -1;
    juce::int64 nonFiniteOut = 0;

    // Each channel's blocks in order, the channels spread over the cores.
    ChunkPipeline::Chunk* processing = nullptr;
    std::vector<juce::int64> nonFiniteOutPerWorker ((size_t) ChannelWorkers::countFor (numChannels), 0);
    ChannelWorkers workers (ChannelWorkers::countFor (numChannels), [&] (int worker, int numWorkers) {
        juce::MidiBuffer noMidi;
        const auto count = processing->numSamples;

        for (int c = worker; c < numChannels; c += numWorkers)
        {
            for (int start = 0; start < count; start += blockSize)
            {
                const auto n = juce::jmin (blockSize, count - start);
                juce::AudioBuffer<float> block (processing->audio.getArrayOfWritePointers() + c, 1, start, n);
                auto& processor = *processors[(size_t) c];
                const auto overflowedBefore = processor.getOverflowedSampleCount();
                processor.processBlock (block, noMidi);

                // Finite input can still overflow the filters (samples near
                // the float limit). The processor writes such samples as
                // silence and starts its filters afresh; they are counted
                // for the warning.
                nonFiniteOutPerWorker[(size_t) worker] += processor.getOverflowedSampleCount() - overflowedBefore;
            }
        }
    });

    while (auto* chunk = pipeline.take (ChunkPipeline::filled))
    {
        if (writeFailed)
            break;

        processing = chunk;
        workers.run();

        const auto done = chunk->position + chunk->numSamples;
        pipeline.put (*chunk, ChunkPipeline::processed);

        if (showProgress)
        {
            const auto percent = (int) (100 * done / length);
            if (percent != lastPercent)
            {
                lastPercent = percent;
                std::fprintf (stderr, "\r[%-50s] %3d%%", juce::String::repeatedString ("#", percent / 2).toRawUTF8(), percent);
                std::fflush (stderr);
            }
        }
    }

    if (writeFailed)
        pipeline.cancel();   // stop reading; what is queued is dropped
    pipeline.finish (ChunkPipeline::processed);
    reading.join();
    writing.join();

    if (showProgress)
        std::fputc ('\n', stderr);

    if (readFailed)
        return fail ("reading '" + options.inputPath + "' failed at sample " + juce::String (failedAt.load())) == 0;
    if (writeFailed)
        return fail ("writing '" + options.outputPath + "' failed (disk full?)") == 0;

    writer.reset();   // finishes the file (headers, last frames)

    if (wavOutput)
    {
        // Now that the size of the audio is known: the chunks after it, then
        // the header with every size right (RF64 once the file reaches 4 GiB).
        const auto dataBytes = (juce::uint64) framesWritten.load() * (juce::uint64) numChannels * (juce::uint64) (bitDepth / 8);
        const auto tail = WavChunks::trailer (chunkList, dataBytes);
        const auto head = WavChunks::header (chunkList, fmtBody, dataBytes, tail.getSize());

        SafeFiles::OutputStream stream (output.descriptor());
        stream.setPosition (audioOffset + (juce::int64) dataBytes);
        stream.write (tail.getData(), tail.getSize());
        stream.setPosition (0);
        stream.write (head.getData(), head.getSize());
        stream.flush();
        if (stream.failure->load())
            streamFailed->store (true);
    }

    // The framework's AIFF writer counts the pad byte after an odd number
    // of sound bytes in the sound chunk's size; readers that go by that size
    // then find one frame more (8-bit mono) than was written. The size
    // without the pad is what the format asks for.
    const auto aiffOutput = dynamic_cast<juce::AiffAudioFormat*> (outputFormat) != nullptr;
    const auto soundBytes = (juce::uint64) framesWritten.load() * (juce::uint64) numChannels * (juce::uint64) (bitDepth / 8);
    if (aiffOutput && (soundBytes & 1) != 0 && ! streamFailed->load())
    {
        const auto headerBytes = (juce::int64) writerHeader (*outputFormat, rate, numChannels, bitDepth, writerMetadata).getSize();
        if (headerBytes >= 16)
        {
            SafeFiles::OutputStream stream (output.descriptor());
            stream.setPosition (headerBytes - 12);   // the sound chunk's size, before its offset and block size
            stream.writeIntBigEndian ((int) (juce::uint32) (soundBytes + 8));
            stream.flush();
            if (stream.failure->load())
                streamFailed->store (true);
        }
    }

    if (aiffCopied && aiffChunks.count > 0 && ! streamFailed->load())
    {
        SafeFiles::OutputStream stream (output.descriptor());
        struct stat written = {};
        if (fstat (output.descriptor(), &written) != 0)
            streamFailed->store (true);
        else if (! AiffChunks::append (stream, (juce::int64) written.st_size, aiffChunks))
            aiffChunksDropped = true;
        stream.flush();
        if (stream.failure->load())
            streamFailed->store (true);
    }

    if (streamFailed->load())
        return fail ("writing '" + options.outputPath + "' failed (disk full?)") == 0;

    if (! output.commit (error))
        return fail ("cannot move the result into '" + options.outputPath + "': " + error) == 0;

    // Drawn once the audio is in place: the spectrum describes that file.
    if (spectrumIn != nullptr && ! writeSpectrum (spectrumIn->averagePower(), spectrumOut->averagePower()))
        return false;

    if (lengthWarning.isNotEmpty())
        note (lengthWarning);
    if (endedEarly)
        note ("warning: '" + options.inputPath + "' ended early while it was read: read " + plural (framesRead.load(), "frame", "frames")
              + " of " + juce::String (length));
    if (chunkList.damage.isNotEmpty())
        note ("warning: '" + options.inputPath + "' is damaged: " + chunkList.damage + "; the chunks from there on were not copied");
    if (aiffChunks.damage.isNotEmpty())
        note ("warning: '" + options.inputPath + "' is damaged: " + aiffChunks.damage
              + "; its chunks were not copied as they are (markers, comments and instrument data are kept as the framework reads them)");
    for (const auto& skipped : aiffChunks.skipped)
        note ("warning: " + skipped + " of '" + options.inputPath + "' was not copied: it is larger than any metadata");
    if (aiffChunksDropped)
        note ("warning: the chunks of '" + options.inputPath + "' were not copied: they would take the result past the 4 GiB an AIFF file can hold");
    if (flacBlocks.damage.isNotEmpty())
        note ("warning: '" + options.inputPath + "' is damaged: " + flacBlocks.damage + "; the metadata from there on was not copied");
    if (nonFiniteIn > 0)
        note ("warning: " + plural (nonFiniteIn, "input sample was", "input samples were")
              + " not finite (NaN or infinite) and processed as silence");
    for (auto count : nonFiniteOutPerWorker)
        nonFiniteOut += count;
    if (nonFiniteOut > 0)
        note ("warning: " + plural (nonFiniteOut, "output sample", "output samples")
              + " overflowed and were written as silence");

    if (peak > 1.0f && bitDepth < 32)
        note ("warning: the result peaks at " + juce::String (juce::Decibels::gainToDecibels (peak), 1)
              + " dBFS and was clipped; write a 32-bit WAV to keep the peaks");

    note ("wrote '" + options.outputPath + "'");
    return true;
}
