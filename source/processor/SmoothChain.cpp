#include "processor/SmoothChain.h"

#include <cmath>
#include <utility>

namespace
{
    // A raised cosine from 0 to 1: smooth at both ends, so the fade adds no
    // content of its own far from the signal's frequencies.
    float fadeCurve (int sample, int length) noexcept
    {
        if (sample <= 0)
            return 0.0f;

        if (sample >= length)
            return 1.0f;

        return 0.5f - 0.5f * std::cos (juce::MathConstants<float>::pi * (float) sample / (float) length);
    }
}

float SmoothChain::Fade::weightAt (int sample, int length) const noexcept
{
    return from + (to - from) * fadeCurve (sample, length);
}

SmoothChain::SmoothChain() = default;   // silent until the first prepare

void SmoothChain::prepare (double sampleRate, int maximumBlockSize, int numChannels)
{
    const auto blockSize = juce::jmax (1, maximumBlockSize);
    const auto channels = juce::jmax (1, numChannels);

    newChainBuffer.setSize (channels, blockSize, false, false, true);
    dryBuffer.setSize (channels, blockSize, false, false, true);
    fadeLength = juce::jmax (1, juce::roundToInt (sampleRate * fadeSeconds));

    for (auto& chain : chains)
        chain.setGain (1.0f);

    reset();
}

void SmoothChain::reset() noexcept
{
    for (auto& chain : chains)
        chain.reset();

    // A design fade cut short: its new chain, which holds the newest design,
    // is the one in force from now on.
    if (designFade.active)
        active = 1 - active;

    designFade = {};
    const auto wet = bypassTarget ? 0.0f : 1.0f;
    wetFade = { false, 0, wet, wet };
    chainsIdle = bypassTarget;
    applyAtOnce = true;
}

void SmoothChain::clearState() noexcept
{
    for (auto& chain : chains)
        chain.reset();
}

void SmoothChain::setDesign (const ChainDesign& design) noexcept
{
    // Before playback, or while the chains rest under the host's bypass,
    // nothing is heard of the switch.
    if (applyAtOnce || chainsIdle)
    {
        chains[(size_t) active].setDesign (design);
        return;
    }

    auto& next = chains[(size_t) (1 - active)];
    next.setDesign (design);
    next.reset();
    designFade = { true, 0, 0.0f, 1.0f };
}

void SmoothChain::processChain (Chain& chain, juce::AudioBuffer<float>& buffer, int start, int numSamples) noexcept
{
    // The chain is mono: the plug-in's only bus has one channel.
    chain.process (buffer.getWritePointer (0, start), numSamples);
}

void SmoothChain::blend (juce::AudioBuffer<float>& buffer, int start, int length, const juce::AudioBuffer<float>& other,
                         int channels, const Fade& fade, Weighted weighted) const noexcept
{
    for (int ch = 0; ch < channels; ++ch)
    {
        auto* out = buffer.getWritePointer (ch, start);
        const auto* in = other.getReadPointer (ch);

        for (int i = 0; i < length; ++i)
        {
            // The weight reaches the fade's end value on the fade's last sample.
            const auto weight = fade.weightAt (fade.position + i + 1, fadeLength);
            out[i] = weighted == Weighted::other ? out[i] + (in[i] - out[i]) * weight
                                                 : in[i] + (out[i] - in[i]) * weight;
        }
    }
}

void SmoothChain::process (juce::AudioBuffer<float>& buffer, bool bypassed) noexcept
{
    const auto numSamples = buffer.getNumSamples();

    if (bypassed != bypassTarget)
    {
        bypassTarget = bypassed;

        if (applyAtOnce)
        {
            const auto wet = bypassed ? 0.0f : 1.0f;
            wetFade = { false, 0, wet, wet };
            chainsIdle = bypassed;
        }
        else
        {
            const auto current = wetFade.active ? wetFade.weightAt (wetFade.position, fadeLength) : wetFade.to;
            wetFade = { true, 0, current, bypassed ? 0.0f : 1.0f };

            // Back from a full bypass: the chain starts from silence, faded in.
            if (chainsIdle)
            {
                chains[(size_t) active].reset();
                chainsIdle = false;
            }
        }
    }

    // Fades need the scratch buffers: before the first prepare (a host that
    // processes without preparing) every change still applies at once.
    applyAtOnce = dryBuffer.getNumSamples() == 0;

    if (chainsIdle)
        return;   // the dry signal passes unchanged

    if (! wetFade.active)
    {
        processWet (buffer, 0, numSamples);
        return;
    }

    // Between the dry and the equalised signal, in pieces the scratch buffer holds.
    const auto channels = juce::jmin (buffer.getNumChannels(), dryBuffer.getNumChannels());

    for (int start = 0; start < numSamples;)
    {
        const auto length = juce::jmin (numSamples - start, dryBuffer.getNumSamples(), fadeLength - wetFade.position);

        for (int ch = 0; ch < channels; ++ch)
            dryBuffer.copyFrom (ch, 0, buffer, ch, start, length);

        processWet (buffer, start, length);

        blend (buffer, start, length, dryBuffer, channels, wetFade, Weighted::buffer);

        wetFade.position += length;
        start += length;

        if (wetFade.position >= fadeLength)
        {
            wetFade.active = false;

            if (wetFade.to == 0.0f)
            {
                // The rest of the block stays dry. A design fade under way
                // ends here too: its new chain is the one in force, so it is
                // the chain that is cleared when the bypass ends, and designs
                // that come meanwhile go straight into it.
                if (designFade.active)
                {
                    designFade.active = false;
                    active = 1 - active;
                }

                chainsIdle = true;
            }
            else if (start < numSamples)
                processWet (buffer, start, numSamples - start);

            return;
        }
    }
}

void SmoothChain::processWet (juce::AudioBuffer<float>& buffer, int start, int numSamples) noexcept
{
    if (! designFade.active)
    {
        processChain (chains[(size_t) active], buffer, start, numSamples);
        return;
    }

    auto& current = chains[(size_t) active];
    auto& next = chains[(size_t) (1 - active)];
    const auto channels = juce::jmin (buffer.getNumChannels(), newChainBuffer.getNumChannels());

    for (int offset = 0; offset < numSamples;)
    {
        const auto length = juce::jmin (numSamples - offset, newChainBuffer.getNumSamples(), fadeLength - designFade.position);
        const auto at = start + offset;

        for (int ch = 0; ch < channels; ++ch)
            newChainBuffer.copyFrom (ch, 0, buffer, ch, at, length);

        processChain (current, buffer, at, length);
        processChain (next, newChainBuffer, 0, length);

        blend (buffer, at, length, newChainBuffer, channels, designFade, Weighted::other);

        designFade.position += length;
        offset += length;

        if (designFade.position >= fadeLength)
        {
            designFade.active = false;
            active = 1 - active;

            if (offset < numSamples)
                processChain (chains[(size_t) active], buffer, start + offset, numSamples - offset);

            return;
        }
    }
}
