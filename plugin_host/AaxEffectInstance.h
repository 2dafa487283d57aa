#pragma once

#include "AaxHostInterface.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <map>
#include <memory>

namespace tessaro::aax
{
    /** One instance of the effect as an AAX host drives it: the processor is
        prepared before any parameter is published, every processor parameter
        is published by its string id (plus the wrapper's own bypass), and the
        state travels in two chunks. */
    class AaxEffectInstance : private juce::AudioProcessorParameter::Listener
    {
    public:
        static constexpr const char* bypassIdentifier = "MasterBypassID";
        static constexpr const char* bypassName = "Master Bypass";
        static constexpr std::uint32_t controlsChunkId = fourCC ("elck");
        static constexpr std::uint32_t processorChunkId = fourCC ("juce");
        static constexpr int maximumSteps = 2048;

        AaxEffectInstance();
        ~AaxEffectInstance() override;

        /** Prepares the processor at the host's rate, reports the latency,
            then publishes the parameters. */
        Result initialise (HostContext& host);

        std::vector<std::uint32_t> chunkIds() const;
        std::string chunkName (std::uint32_t id) const;
        Result getChunk (std::uint32_t id, juce::MemoryBlock& destination) const;
        Result setChunk (std::uint32_t id, const juce::MemoryBlock& source);

        /** Host automation of a published parameter, normalised 0 to 1. */
        Result setParameter (const std::string& identifier, double normalised);
        double getParameter (const std::string& identifier) const;

        /** The host's render call for one mono channel, in place. */
        void process (float* samples, int numSamples);

        /** The view the host embeds. */
        std::unique_ptr<juce::AudioProcessorEditor> createEditor();

        juce::AudioProcessor& processor() noexcept { return *audioProcessor; }

        /** Live instances, for ACFCanUnloadNow. */
        static int liveInstances() noexcept;

    private:
        void parameterValueChanged (int parameterIndex, float newValue) override;
        void parameterGestureChanged (int, bool) override {}

        std::unique_ptr<juce::AudioProcessor> audioProcessor;
        HostContext* host = nullptr;
        bool bypassed = false;
        juce::AudioBuffer<float> buffer;
        juce::MidiBuffer midi;
    };
}
