#pragma once

#include "processor/ChainDesign.h"

#include <juce_dsp/juce_dsp.h>

#include <array>

/** The chain's six second-order stages and its output gain, as one filter.

    Each stage keeps its design in a framework coefficient object (which
    normalises the design by a0), and its recursion is the framework's own
    transposed direct form II, operation for operation, with the filter
    memory snapped to zero at the end of every block as the framework's
    filter does. What differs is the order of work: each sample runs through
    all six stages before the next sample starts, with the filter memory in
    registers for the whole block. The six recursions then overlap in the
    processor's pipeline instead of each waiting for the one before to
    finish the block, which more than halves the cost of the chain, and every
    stage still gives exactly the samples the framework's filter gives.

    The two low-cut stages do not run at all while the low cut is off; they
    start from silence when it comes back on.

    Audio thread only, apart from construction: no allocation, no lock. */
class BiquadCascade
{
public:
    static constexpr int numStages = ChainDesign::numStages;

    /** Flat stages, a gain of 0 (silent until it is set) and cleared memory. */
    BiquadCascade();

    /** Copies the design's stages in and switches the low cut. The low cut
        stages start from cleared memory when it comes on; the other stages
        keep their memory. */
    void setDesign (const ChainDesign& design) noexcept;

    void setGain (float linearGain) noexcept { gain = linearGain; }

    /** Clears the memory of every stage. */
    void reset() noexcept;

    /** Filters the samples in place. */
    void process (float* samples, int numSamples) noexcept;

private:
    template <size_t firstStage>
    void run (float* samples, int numSamples) noexcept;

    struct Memory
    {
        float lv1 = 0.0f, lv2 = 0.0f;
    };

    std::array<juce::dsp::IIR::Coefficients<float>, numStages> stages;
    std::array<Memory, numStages> memory {};
    bool lowCutOn = false;
    float gain = 0.0f;
};
