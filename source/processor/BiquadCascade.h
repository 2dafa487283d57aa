#pragma once

#include "processor/ChainDesign.h"

#include <juce_dsp/juce_dsp.h>

#include <array>

#if JUCE_USE_SIMD && defined(__SSE2__)
 #define TESSARO_CASCADE_SSE2 1
 #include <emmintrin.h>
#else
 #define TESSARO_CASCADE_SSE2 0
#endif

/** The chain's six second-order stages and its output gain, as one filter.

    Each stage keeps its design in a framework coefficient object (which
    normalises the design by a0), and its recursion is the framework's own
    transposed direct form II, operation for operation, with the filter
    memory snapped to zero at the end of every block as the framework's
    filter does. What differs is the order of work. Stage by stage over the
    block, each stage's recursion waits for its own previous sample and the
    stages wait for each other. Here the stages run side by side instead:
    where the processor has a vector unit, stage k works on sample t - k at
    step t, one stage per vector lane, the filter memory in registers for the
    whole block; elsewhere each sample runs through all six stages before the
    next. The cost of the chain drops to about a fifth (vector lanes) or a
    third (one sample at a time), and every stage still gives exactly the
    samples the framework's filter gives: each lane does the same single-float
    operations in the same order.

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

    /** The same filtering, one sample through all stages at a time: what
        process() does where there is no vector unit to run the stages side
        by side. It gives the same samples, to the bit. */
    void processPerSample (float* samples, int numSamples) noexcept;

private:
    template <size_t firstStage>
    void run (float* samples, int numSamples) noexcept;

#if TESSARO_CASCADE_SSE2
    template <size_t firstStage>
    void runWavefront (float* samples, int numSamples) noexcept;
#endif

    struct Memory
    {
        float lv1 = 0.0f, lv2 = 0.0f;
    };

    std::array<juce::dsp::IIR::Coefficients<float>, numStages> stages;
    std::array<Memory, numStages> memory {};
    bool lowCutOn = false;
    float gain = 0.0f;
};
