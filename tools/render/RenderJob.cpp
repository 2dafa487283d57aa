#include "render/RenderJob.h"
#include "editor/ResponseGraphPainter.h"
#include "processor/TessaroAudioProcessor.h"
#include "processor/TessaroPresets.h"

#include "render/ChunkPipeline.h"

#include <cstdio>
#include <filesystem>
#include <thread>
#include <unistd.h>

std::atomic<bool> RenderJob::stopRequested { false };

namespace
{
    constexpr double progressMinimumSeconds = 5.0;
    constexpr int samplesPerChunk = 16384;
    constexpr int chunksInFlight = 6;

    juce::File fileFromArgument (const juce::String& path)
    {
        return juce::File::getCurrentWorkingDirectory().getChildFile (path);
    }

    /** Writes bytes to a temporary file beside the target and renames it. */
    bool writeFileAtomically (const juce::File& target, const void* data, size_t size)
    {
        juce::TemporaryFile temporary (target, juce::TemporaryFile::useHiddenFile);

        {
            juce::FileOutputStream out (temporary.getFile());
            if (out.failedToOpen() || ! out.write (data, size))
                return false;
            out.flush();
            if (out.getStatus().failed())
                return false;
        }

        return temporary.overwriteTargetFileWithTemporary();
    }

    bool sameFile (const juce::File& a, const juce::File& b)
    {
        std::error_code error;
        return std::filesystem::equivalent (a.getFullPathName().toStdString(), b.getFullPathName().toStdString(), error) && ! error;
    }
}

RenderJob::RenderJob (RenderOptions optionsToRun) : options (std::move (optionsToRun))
{
    formats.registerBasicFormats();
}

RenderJob::~RenderJob() = default;

void RenderJob::requestStop() noexcept   { stopRequested = true; }

int RenderJob::fail (const juce::String& message, int status)
{
    std::fprintf (stderr, "tessaroeq-render: error: %s\n", message.toRawUTF8());
    exitStatus = status;
    return status;
}

void RenderJob::note (const juce::String& message) const
{
    if (! options.quiet)
        std::fprintf (stderr, "tessaroeq-render: %s\n", message.toRawUTF8());
}

int RenderJob::run()
{
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

    if (options.saveSettingsPath.isNotEmpty() && ! writeSettings (processor))  return exitStatus;
    if (options.responsePath.isNotEmpty() && ! writeResponse (processor))      return exitStatus;
    if (options.plotPath.isNotEmpty() && ! writePlot (processor))              return exitStatus;

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

bool RenderJob::loadSettingsFile()
{
    const auto file = fileFromArgument (options.settingsPath);

    if (! file.existsAsFile())
        return fail ("settings file '" + options.settingsPath + "' does not exist") == 0;

    if (! file.loadFileAsData (settingsBlock))
        return fail ("cannot read settings file '" + options.settingsPath + "'") == 0;

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

    const std::pair<const char*, const std::optional<float>&> singles[] {
        { "microphone", options.microphone }, { "windCover", options.windCover }, { "lowCut", options.lowCut },
        { "distance", options.distance }, { "aimingAccurancy", options.aim }, { "freeField", options.freeField } };

    for (const auto& [id, value] : singles)
    {
        if (! value)
            continue;

        auto* parameter = processor.getValueTreeState().getParameter (id);
        parameter->beginChangeGesture();
        parameter->setValueNotifyingHost (parameter->convertTo0to1 (*value));
        parameter->endChangeGesture();
    }

    return true;
}

bool RenderJob::openInput()
{
    const auto input = fileFromArgument (options.inputPath);
    const auto output = fileFromArgument (options.outputPath);

    if (input.isDirectory())
        return fail ("input '" + options.inputPath + "' is a folder, not an audio file") == 0;

    if (! input.existsAsFile())
        return fail ("input '" + options.inputPath + "' does not exist") == 0;

    if (output.isDirectory())
        return fail ("OUTPUT '" + options.outputPath + "' is a folder; give a file name") == 0;

    if (input == output || sameFile (input, output))
        return fail ("OUTPUT '" + options.outputPath + "' is the INPUT file; refusing to overwrite it") == 0;

    if (! input.hasReadAccess())
        return fail ("cannot read input '" + options.inputPath + "'") == 0;

    reader.reset (formats.createReaderFor (input));

    if (reader == nullptr)
        return fail ("input '" + options.inputPath + "' is not an audio file this program reads (WAV, AIFF, FLAC, Ogg Vorbis)") == 0;

    if (reader->numChannels < 1 || reader->sampleRate < 1000.0 || reader->sampleRate > 768000.0)
        return fail ("input '" + options.inputPath + "' has " + juce::String (reader->numChannels) + " channels at "
                     + juce::String (reader->sampleRate) + " Hz, which cannot be processed") == 0;

    outputFormat = formats.findFormatForFileExtension (output.getFileExtension());

    if (outputFormat == nullptr)
        return fail ("cannot tell the output format from '" + options.outputPath + "': use .wav, .aiff, .flac or .ogg") == 0;

    if (! output.getParentDirectory().isDirectory())
        return fail ("output folder '" + output.getParentDirectory().getFullPathName() + "' does not exist") == 0;

    return true;
}

bool RenderJob::writeSettings (TessaroAudioProcessor& processor)
{
    juce::MemoryBlock block;
    processor.getStateInformation (block);

    if (! writeFileAtomically (fileFromArgument (options.saveSettingsPath), block.getData(), block.getSize()))
        return fail ("cannot write settings file '" + options.saveSettingsPath + "'") == 0;

    return true;
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
    if (! writeFileAtomically (fileFromArgument (options.responsePath), utf8.data(), utf8.size()))
        return fail ("cannot write response file '" + options.responsePath + "'") == 0;

    return true;
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
        g.fillAll (juce::Colour (0xffc5c5c8));
        g.setFont (juce::Font (14.0f));
        juce::Path path;
        ResponseGraphPainter::paint (g, processor, field, path);
    }

    juce::MemoryOutputStream png;
    if (! juce::PNGImageFormat().writeImageToStream (image, png))
        return fail ("cannot encode the plot") == 0;

    if (! writeFileAtomically (fileFromArgument (options.plotPath), png.getData(), png.getDataSize()))
        return fail ("cannot write plot '" + options.plotPath + "'") == 0;

    return true;
}

bool RenderJob::renderAudio()
{
    const auto output = fileFromArgument (options.outputPath);
    const auto numChannels = (int) reader->numChannels;
    const auto blockSize = options.blockSize;

    // A host runs one instance of a mono effect per channel of a wider track.
    std::vector<std::unique_ptr<TessaroAudioProcessor>> processors;
    for (int c = 0; c < numChannels; ++c)
    {
        processors.push_back (std::make_unique<TessaroAudioProcessor>());
        configure (*processors.back());
        processors.back()->prepareToPlay (reader->sampleRate, blockSize);
    }

    auto bitDepth = (int) reader->bitsPerSample;
    const auto possible = outputFormat->getPossibleBitDepths();
    if (! possible.isEmpty() && ! possible.contains (bitDepth))
    {
        const auto chosen = possible[possible.size() - 1];
        note (outputFormat->getFormatName() + " cannot store " + juce::String (bitDepth) + "-bit samples; writing "
              + juce::String (chosen) + "-bit");
        bitDepth = chosen;
    }

    juce::TemporaryFile temporary (output, juce::TemporaryFile::useHiddenFile);
    std::unique_ptr<juce::AudioFormatWriter> writer;

    {
        auto stream = temporary.getFile().createOutputStream();
        if (stream == nullptr || stream->failedToOpen())
            return fail ("cannot create a file in '" + output.getParentDirectory().getFullPathName() + "'") == 0;

        const auto qualities = outputFormat->getQualityOptions();
        writer.reset (outputFormat->createWriterFor (stream.get(), reader->sampleRate, (unsigned int) numChannels, bitDepth,
                                                     reader->metadataValues, juce::jmax (0, qualities.size() - 1)));
        if (writer == nullptr)
            return fail (outputFormat->getFormatName() + " cannot store " + juce::String (numChannels) + " channels at "
                         + juce::String (reader->sampleRate) + " Hz") == 0;
        stream.release();   // the writer owns it now
    }

    const auto length = reader->lengthInSamples;
    const auto showProgress = ! options.quiet && isatty (STDERR_FILENO) != 0
                              && (double) length / reader->sampleRate > progressMinimumSeconds;

    // Decoding, processing and encoding each run on a thread of their own.
    // Chunks hold whole host blocks, so the block boundaries are those of a
    // host playing the file from its start.
    const auto blocksPerChunk = juce::jmax (1, samplesPerChunk / blockSize);
    ChunkPipeline pipeline (chunksInFlight, numChannels, blocksPerChunk * blockSize);
    std::atomic<bool> readFailed { false }, writeFailed { false };
    std::atomic<juce::int64> failedAt { 0 };

    std::thread reading ([&]
    {
        for (juce::int64 position = 0; position < length;)
        {
            auto* chunk = pipeline.take (ChunkPipeline::freeChunks);
            if (chunk == nullptr)
                return;

            chunk->position = position;
            chunk->numSamples = (int) juce::jmin ((juce::int64) chunk->audio.getNumSamples(), length - position);

            if (! reader->read (&chunk->audio, 0, chunk->numSamples, position, true, true))
            {
                failedAt = position;
                readFailed = true;
                break;
            }

            pipeline.put (*chunk, ChunkPipeline::filled);
            position += chunk->numSamples;
        }
        pipeline.finish (ChunkPipeline::filled);
    });

    std::thread writing ([&]
    {
        while (auto* chunk = pipeline.take (ChunkPipeline::processed))
        {
            if (! writeFailed && ! writer->writeFromAudioSampleBuffer (chunk->audio, 0, chunk->numSamples))
                writeFailed = true;
            pipeline.put (*chunk, ChunkPipeline::freeChunks);
        }
    });

    juce::String error;
    int status = fileError;
    juce::MidiBuffer midi;
    float peak = 0.0f;
    int lastPercent = -1;

    while (auto* chunk = pipeline.take (ChunkPipeline::filled))
    {
        if (stopRequested)
        {
            error = "interrupted; '" + options.outputPath + "' was not written";
            status = 130;
            break;
        }

        if (writeFailed)
            break;

        const auto count = chunk->numSamples;

        for (int start = 0; start < count; start += blockSize)
        {
            const auto n = juce::jmin (blockSize, count - start);
            for (int c = 0; c < numChannels; ++c)
            {
                juce::AudioBuffer<float> block (chunk->audio.getArrayOfWritePointers() + c, 1, start, n);
                processors[(size_t) c]->processBlock (block, midi);
            }
        }

        for (int c = 0; c < numChannels; ++c)
            peak = juce::jmax (peak, chunk->audio.getMagnitude (c, 0, count));

        const auto done = chunk->position + count;
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

    if (error.isNotEmpty() || writeFailed)
        pipeline.cancel();           // stop reading; what is queued is dropped
    pipeline.finish (ChunkPipeline::processed);
    reading.join();
    writing.join();

    if (showProgress)
        std::fputc ('\n', stderr);

    if (error.isEmpty() && readFailed)
        error = "reading '" + options.inputPath + "' failed at sample " + juce::String (failedAt.load());
    if (error.isEmpty() && writeFailed)
        error = "writing '" + options.outputPath + "' failed (disk full?)";

    if (error.isNotEmpty())
        return fail (error, status) == 0;

    writer.reset();   // finishes the file (headers, last frames)

    if (temporary.getFile().getSize() == 0)
        return fail ("writing '" + options.outputPath + "' failed") == 0;

    if (! temporary.overwriteTargetFileWithTemporary())
        return fail ("cannot move the result into '" + options.outputPath + "'") == 0;

    if (peak > 1.0f && bitDepth < 32)
        note ("warning: the result peaks at " + juce::String (juce::Decibels::gainToDecibels (peak), 1)
              + " dBFS and was clipped; write a 32-bit WAV to keep the peaks");

    note ("wrote '" + options.outputPath + "'");
    return true;
}
