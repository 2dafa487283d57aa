#include "processor/BiquadCascade.h"

BiquadCascade::BiquadCascade()
{
    // Every stage starts as a second-order flat set, so a stage's memory has
    // the same two values whether it is flat or designed.
    for (auto& stage : stages)
        stage = ChainDesign::flat;
}

void BiquadCascade::setDesign (const ChainDesign& design) noexcept
{
    // Assigning an array into an existing coefficient object reuses its
    // storage: no allocation on the audio thread.
    for (size_t stage = 0; stage < stages.size(); ++stage)
        stages[stage] = design.stages[stage];

    if (design.lowCutOn && ! lowCutOn)
        memory[0] = memory[1] = {};

    lowCutOn = design.lowCutOn;
}

void BiquadCascade::reset() noexcept
{
    memory.fill ({});
}

void BiquadCascade::process (float* samples, int numSamples) noexcept
{
    if (lowCutOn)
        run<0> (samples, numSamples);
    else
        run<2> (samples, numSamples);
}

template <size_t firstStage>
void BiquadCascade::run (float* samples, int numSamples) noexcept
{
    constexpr auto count = (size_t) (numStages - firstStage);

    // A local copy, so that the compiler can keep the memory in registers:
    // nothing the loop writes through `samples` can alias it.
    struct Section
    {
        float b0, b1, b2, a1, a2, lv1, lv2;
    };

    std::array<Section, count> sections;

    for (size_t k = 0; k < count; ++k)
    {
        // b0, b1, b2, a1, a2, already divided by a0.
        const auto* c = stages[firstStage + k].getRawCoefficients();
        sections[k] = { c[0], c[1], c[2], c[3], c[4], memory[firstStage + k].lv1, memory[firstStage + k].lv2 };
    }

    const auto outputGain = gain;

    for (int i = 0; i < numSamples; ++i)
    {
        auto input = samples[i];

        for (auto& s : sections)
        {
            // The framework filter's expressions, in its order of evaluation.
            const auto output = (input * s.b0) + s.lv1;
            s.lv1 = (input * s.b1) - (output * s.a1) + s.lv2;
            s.lv2 = (input * s.b2) - (output * s.a2);
            input = output;
        }

        samples[i] = input * outputGain;
    }

    for (size_t k = 0; k < count; ++k)
    {
        auto& s = sections[k];
        juce::dsp::util::snapToZero (s.lv1);
        juce::dsp::util::snapToZero (s.lv2);
        memory[firstStage + k] = { s.lv1, s.lv2 };
    }
}
