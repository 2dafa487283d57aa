#pragma once

#include "render/RenderOptions.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <atomic>
#include <memory>
#include <vector>

class TessaroAudioProcessor;

/** Runs one command line: applies the settings to processors exactly as a
    host would, writes the side outputs, and streams INPUT through one
    processor per channel into OUTPUT. Every file is written beside its
    destination first and renamed into place only when it is complete. */
class RenderJob
{
public:
    static constexpr int fileError = 1;

    explicit RenderJob (RenderOptions options);
    ~RenderJob();

    /** Returns the process exit status; errors are reported on stderr. */
    int run();

    /** Asks a running job to stop (from a signal handler): it then fails
        without leaving OUTPUT behind. */
    static void requestStop() noexcept;

private:
    int fail (const juce::String& message, int status = fileError);
    void note (const juce::String& message) const;

    bool loadSettingsFile();
    bool configure (TessaroAudioProcessor& processor);
    bool openInput();
    bool writeSettings (TessaroAudioProcessor& processor);
    bool writeResponse (TessaroAudioProcessor& processor);
    bool writePlot (TessaroAudioProcessor& processor);
    bool renderAudio();
    void listPresets() const;

    RenderOptions options;
    juce::MemoryBlock settingsBlock;
    juce::AudioFormatManager formats;
    std::unique_ptr<juce::AudioFormatReader> reader;
    juce::AudioFormat* outputFormat = nullptr;
    int exitStatus = 0;

    static std::atomic<bool> stopRequested;
};
