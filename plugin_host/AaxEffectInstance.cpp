#include "AaxEffectInstance.h"

#include <atomic>

namespace tessaro::aax
{
    namespace
    {
        std::atomic<int> instanceCount { 0 };

        juce::RangedAudioParameter* parameterWithId (juce::AudioProcessor& processor, const std::string& identifier)
        {
            for (auto* p : processor.getParameters())
                if (auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (p); ranged != nullptr && ranged->paramID == juce::String (identifier))
                    return ranged;
            return nullptr;
        }
    }

    AaxEffectInstance::AaxEffectInstance()
        : audioProcessor (createPluginFilter())
    {
        ++instanceCount;
    }

    AaxEffectInstance::~AaxEffectInstance()
    {
        for (auto* p : audioProcessor->getParameters())
            p->removeListener (this);
        --instanceCount;
    }

    int AaxEffectInstance::liveInstances() noexcept { return instanceCount; }

    Result AaxEffectInstance::initialise (HostContext& hostContext)
    {
        host = &hostContext;

        const auto blockSize = juce::jmax (1, host->maximumBlockSize());
        audioProcessor->setRateAndBufferSizeDetails (host->sampleRate(), blockSize);
        audioProcessor->prepareToPlay (host->sampleRate(), blockSize);
        buffer.setSize (1, blockSize);
        host->setLatency (audioProcessor->getLatencySamples());

        for (auto* p : audioProcessor->getParameters())
        {
            auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (p);
            if (ranged == nullptr)
                continue;

            ParameterInfo info;
            info.identifier = ranged->paramID.toStdString();
            info.name = ranged->getName (31).toStdString();
            info.shortName = ranged->getName (4).toStdString();
            info.normalisedDefault = ranged->getDefaultValue();
            info.automatable = ranged->isAutomatable();
            info.numberOfSteps = juce::jmin (maximumSteps, ranged->getNumSteps());
            info.discrete = ranged->isDiscrete();
            info.valueToText = [ranged] (double normalised) { return ranged->getText ((float) normalised, 0).toStdString(); };
            info.textToValue = [ranged] (const std::string& text) { return (double) ranged->getValueForText (text); };
            host->addParameter (info);
            ranged->addListener (this);
        }

        ParameterInfo bypass;
        bypass.identifier = bypassIdentifier;
        bypass.name = bypassName;
        bypass.shortName = "Byp";
        bypass.numberOfSteps = 2;
        bypass.discrete = true;
        bypass.valueToText = [] (double v) { return std::string (v >= 0.5 ? "On" : "Off"); };
        bypass.textToValue = [] (const std::string& t) { return t == "On" ? 1.0 : 0.0; };
        host->addParameter (bypass);

        return success;
    }

    std::vector<std::uint32_t> AaxEffectInstance::chunkIds() const { return { controlsChunkId, processorChunkId }; }

    std::string AaxEffectInstance::chunkName (std::uint32_t id) const
    {
        if (id == controlsChunkId)
            return "Complete Controls State";
        if (id == processorChunkId)
            return "juce";
        return {};
    }

    Result AaxEffectInstance::getChunk (std::uint32_t id, juce::MemoryBlock& destination) const
    {
        destination.reset();

        if (id == processorChunkId)
        {
            audioProcessor->getStateInformation (destination);
            return success;
        }

        if (id == controlsChunkId)
        {
            // Every published control with its normalised value, as text.
            juce::MemoryOutputStream out (destination, false);
            for (auto* p : audioProcessor->getParameters())
                if (auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (p))
                    out << ranged->paramID << "=" << juce::String (ranged->getValue(), 9) << "\n";
            out << bypassIdentifier << "=" << (bypassed ? "1" : "0") << "\n";
            return success;
        }

        return errorUnimplemented;
    }

    Result AaxEffectInstance::setChunk (std::uint32_t id, const juce::MemoryBlock& source)
    {
        if (id == processorChunkId)
        {
            audioProcessor->setStateInformation (source.getData(), (int) source.getSize());

            // Bring the host's automation values into line with the processor.
            if (host != nullptr)
                for (auto* p : audioProcessor->getParameters())
                    if (auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (p))
                        host->parameterValueChanged (ranged->paramID.toStdString(), ranged->getValue());
            return success;
        }

        if (id == controlsChunkId)
        {
            juce::StringArray lines;
            lines.addLines (source.toString());
            for (const auto& line : lines)
                if (line.contains ("="))
                    setParameter (line.upToFirstOccurrenceOf ("=", false, false).toStdString(),
                                  line.fromFirstOccurrenceOf ("=", false, false).getDoubleValue());
            return success;
        }

        return errorUnimplemented;
    }

    Result AaxEffectInstance::setParameter (const std::string& identifier, double normalised)
    {
        normalised = juce::jlimit (0.0, 1.0, std::isfinite (normalised) ? normalised : 0.0);

        if (identifier == bypassIdentifier)
        {
            bypassed = normalised >= 0.5;
            return success;
        }

        if (auto* parameter = parameterWithId (*audioProcessor, identifier))
        {
            parameter->setValueNotifyingHost ((float) normalised);
            return success;
        }

        return errorNullObject;
    }

    double AaxEffectInstance::getParameter (const std::string& identifier) const
    {
        if (identifier == bypassIdentifier)
            return bypassed ? 1.0 : 0.0;

        auto* parameter = parameterWithId (*audioProcessor, identifier);
        return parameter != nullptr ? parameter->getValue() : 0.0;
    }

    void AaxEffectInstance::process (float* samples, int numSamples)
    {
        if (samples == nullptr || numSamples <= 0)
            return;

        // Host blocks longer than the prepared size go to the processor in
        // pieces of that size. Before initialise nothing is prepared, and the
        // block goes in one piece (the processor then outputs silence).
        const auto pieceSize = buffer.getNumSamples() > 0 ? buffer.getNumSamples() : numSamples;

        for (int start = 0; start < numSamples; start += pieceSize)
        {
            const auto n = juce::jmin (pieceSize, numSamples - start);
            float* channels[] { samples + start };
            juce::AudioBuffer<float> block (channels, 1, n);

            if (bypassed)
                audioProcessor->processBlockBypassed (block, midi);
            else
                audioProcessor->processBlock (block, midi);
        }
    }

    std::unique_ptr<juce::AudioProcessorEditor> AaxEffectInstance::createEditor()
    {
        return std::unique_ptr<juce::AudioProcessorEditor> (audioProcessor->createEditorIfNeeded());
    }

    void AaxEffectInstance::parameterValueChanged (int parameterIndex, float newValue)
    {
        if (host == nullptr)
            return;

        if (auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (audioProcessor->getParameters()[parameterIndex]))
            host->parameterValueChanged (ranged->paramID.toStdString(), newValue);
    }
}
