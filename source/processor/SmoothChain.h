#pragma once

#include "processor/BiquadCascade.h"
#include "processor/ChainDesign.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <array>

/** The seven-stage filter chain as the audio thread runs it, with every
    change made without a click.

    Switching a recursive filter's coefficients under a running signal is a
    step in its output, heard as a click, and a slider dragged through many
    designs as zipper noise. So a new design goes into a second chain, which
    starts from silence, and the output crossfades from the chain in force to
    it over a short, smooth fade. The host's bypass likewise fades between
    the equalised and the dry signal. With nothing changing, one chain runs
    alone, exactly as a single chain would.

    Audio thread only, after prepare: no allocation, no lock. */
class SmoothChain
{
public:
    /** Length of every fade. Long enough that the fade's own modulation and
        the new chain's start lie far below the audible band's top; short
        enough that a change is heard at once. */
    static constexpr double fadeSeconds = 0.01;

    SmoothChain();

    /** Sizes the scratch buffers (not on the audio thread), sets the output
        gain to 1 and clears all filter memory. The next design applies at once. */
    void prepare (double sampleRate, int maximumBlockSize, int numChannels);

    /** Clears all filter memory, ends any fade; the next design applies at once. */
    void reset() noexcept;

    /** False while a design fade is under way: the caller keeps the newest
        design until then. */
    bool canTakeDesign() const noexcept { return ! designFade.active; }

    /** Puts a design in force: at once before playback starts (after prepare
        or reset), through a crossfade once audio has been processed. */
    void setDesign (const ChainDesign& design) noexcept;

    /** Filters the buffer in place; `bypassed` is the host's bypass. */
    void process (juce::AudioBuffer<float>& buffer, bool bypassed) noexcept;

    /** Clears the filter memory of the chain in force (its state went out
        of range). */
    void clearState() noexcept;

private:
    using Chain = BiquadCascade;

    struct Fade
    {
        bool active = false;
        int position = 0;
        float from = 0.0f, to = 1.0f;   // the weight of the new side at start and end

        float weightAt (int sample, int length) const noexcept;
    };

    void processWet (juce::AudioBuffer<float>& buffer, int start, int numSamples) noexcept;

    /** Mixes `other` (from its sample 0) with the buffer (from `start`) along
        the fade, whose weight belongs to the side named. */
    enum class Weighted
    {
        buffer,
        other
    };
    void blend (juce::AudioBuffer<float>& buffer, int start, int length, const juce::AudioBuffer<float>& other,
                int channels, const Fade& fade, Weighted weighted) const noexcept;
    static void processChain (Chain& chain, juce::AudioBuffer<float>& buffer, int start, int numSamples) noexcept;

    std::array<Chain, 2> chains;
    int active = 0;
    int fadeLength = 882;
    bool applyAtOnce = true;

    Fade designFade;

    // Host bypass: the weight of the equalised signal, faded between 0 and 1.
    Fade wetFade { false, 0, 1.0f, 1.0f };
    bool bypassTarget = false;
    bool chainsIdle = false;   // fully bypassed: the chains do not run

    juce::AudioBuffer<float> newChainBuffer, dryBuffer;
};
