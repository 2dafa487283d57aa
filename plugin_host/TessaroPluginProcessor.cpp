#include "TessaroPluginProcessor.h"
#include "editor/TessaroAudioProcessorEditor.h"

juce::AudioProcessorEditor* TessaroPluginProcessor::createEditor()
{
    return new TessaroAudioProcessorEditor (*this);
}

bool TessaroPluginProcessor::hasEditor() const   { return true; }

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new TessaroPluginProcessor();
}
