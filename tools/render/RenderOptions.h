#pragma once

#include <juce_core/juce_core.h>

#include <optional>

/** The command line of tessaroeq-render, parsed and checked. Parsing never
    touches a file; it only rejects what cannot be right whatever the files
    hold (unknown options, bad names, values out of range). */
class RenderOptions
{
public:
    static constexpr int usageError = 2;

    struct ParseResult;

    static ParseResult parse (const juce::StringArray& arguments);
    static juce::String usage();

    juce::String inputPath, outputPath;
    juce::String presetName;
    std::optional<int> preset;
    std::optional<float> microphone, windCover, lowCut, distance, aim, freeField;
    juce::String settingsPath, saveSettingsPath, responsePath, plotPath, spectrumPath;
    std::optional<double> sampleRate;
    int blockSize = 512;
    bool listPresets = false;
    bool quiet = false;

    // A batch (--output-dir): every INPUT, the folder its results go under,
    // and the options given to each file's own render, as they were typed.
    juce::StringArray inputs;
    juce::String outputDir, suffix;
    bool recursive = false, overwrite = false;
    std::optional<int> jobs;
    juce::StringArray settingsArguments;

    bool hasAudio() const noexcept { return inputPath.isNotEmpty(); }
    bool isBatch() const noexcept { return outputDir.isNotEmpty(); }
};

struct RenderOptions::ParseResult
{
    std::optional<RenderOptions> options;   // empty on error
    juce::String error;                     // one line, for stderr
    bool helpRequested = false;
};
