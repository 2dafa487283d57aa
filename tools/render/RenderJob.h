#pragma once

#include "render/RenderOptions.h"
#include "render/SafeFiles.h"
#include "render/Spectrum.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <atomic>
#include <memory>
#include <vector>

class TessaroAudioProcessor;

/** Runs one command line: applies the settings to processors exactly as a
    host would, writes the side outputs, and streams INPUT through one
    processor per channel into OUTPUT. Every file is written beside its
    destination first (see SafeFiles::AtomicFile) and renamed into place
    only when it is complete and on disk. */
class RenderJob
{
public:
    static constexpr int fileError = 1;

    /** More channels than any recorder makes; above this the memory for
        one processor and one chunk per channel stops being small. */
    static constexpr int maxChannels = 256;

    /** A state block is a few hundred bytes; anything far larger is not one. */
    static constexpr juce::int64 maxSettingsBytes = 65536;

    explicit RenderJob (RenderOptions options);
    ~RenderJob();

    /** Returns the process exit status; errors are reported on stderr. */
    int run();

private:
    int fail (const juce::String& message, int status = fileError);
    void note (const juce::String& message) const;

    bool checkTargets();
    bool loadSettingsFile();
    bool configure (TessaroAudioProcessor& processor);
    bool openInput();
    void measureAudioReallyThere();
    bool writeFileAtomically (const juce::String& argument, const void* data, size_t size, const juce::String& what);
    bool writeSettings (TessaroAudioProcessor& processor);
    bool writeResponse (TessaroAudioProcessor& processor);
    bool writePlot (TessaroAudioProcessor& processor);
    bool writeSpectrum (const std::vector<double>& before, const std::vector<double>& after);
    bool renderAudio();
    void listPresets() const;

    RenderOptions options;
    juce::MemoryBlock settingsBlock;
    juce::AudioFormatManager formats;
    std::unique_ptr<juce::AudioFormatReader> reader;
    SafeFiles::InputStream* inputStream = nullptr;   // owned by the reader
    juce::int64 inputSize = 0;
    juce::int64 dataStart = -1;   // byte offset of the first frame, uncompressed formats only
    int bytesPerFrame = 0;        // ditto
    juce::String lengthWarning;
    juce::AudioFormat* outputFormat = nullptr;
    int exitStatus = 0;
};
