#include "TessaroPluginProcessor.h"
#include "editor/TessaroAudioProcessorEditor.h"

TessaroPluginProcessor::TessaroPluginProcessor()
{
    // Without a design the response model has nothing to show and the
    // graph's curve lies on the field's bottom edge, which reads as broken.
    // Hosts always prepare before they play; the Standalone does so only
    // once an audio device runs, which may be never.
    if (wrapperType == wrapperType_Standalone)
        prepareToPlay (standaloneDefaultRate, standaloneDefaultBlockSize);
}

juce::AudioProcessorEditor* TessaroPluginProcessor::createEditor()
{
    return new TessaroAudioProcessorEditor (*this);
}

bool TessaroPluginProcessor::hasEditor() const { return true; }

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new TessaroPluginProcessor();
}
