#pragma once

#include "processor/TessaroAudioProcessor.h"

/** The processor as hosts get it: TessaroAudioProcessor with its window.
    The processor library itself knows nothing of the editor, so that the
    renderer and the core tests carry no widget code; this is the one place
    where the two meet, together with the factory the plug-in wrappers call. */
class TessaroPluginProcessor final : public TessaroAudioProcessor
{
public:
    /** In the Standalone application the processor is prepared at once, at
        the rate and block size the application starts with (44100 Hz, 512),
        so the window shows the correction in force even when no audio
        device opens; a device that does start prepares it again at its own
        rate. Plug-in hosts prepare it themselves: for them nothing changes. */
    TessaroPluginProcessor();

    static constexpr double standaloneDefaultRate = 44100.0;
    static constexpr int standaloneDefaultBlockSize = 512;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;
};
