#pragma once

#include "processor/TessaroAudioProcessor.h"

/** The processor as hosts get it: TessaroAudioProcessor with its window.
    The processor library itself knows nothing of the editor, so that the
    renderer and the core tests carry no widget code; this is the one place
    where the two meet, together with the factory the plug-in wrappers call. */
class TessaroPluginProcessor final : public TessaroAudioProcessor
{
public:
    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;
};
