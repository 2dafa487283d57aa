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
#if TESSARO_CASCADE_SSE2
    if (lowCutOn)
        runWavefront<0> (samples, numSamples);
    else
        runWavefront<2> (samples, numSamples);
#else
    processPerSample (samples, numSamples);
#endif
}

void BiquadCascade::processPerSample (float* samples, int numSamples) noexcept
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

#if TESSARO_CASCADE_SSE2
namespace
{
    // Lanes move up by one: lane i + 1 gets lane i, lane 0 gets `first`.
    inline __m128 shiftIn (__m128 lanes, __m128 first) noexcept
    {
        return _mm_move_ss (_mm_castsi128_ps (_mm_slli_si128 (_mm_castps_si128 (lanes), 4)), first);
    }

    inline __m128 select (__m128 mask, __m128 ifSet, __m128 otherwise) noexcept
    {
        return _mm_or_ps (_mm_and_ps (mask, ifSet), _mm_andnot_ps (mask, otherwise));
    }
}

template <size_t firstStage>
void BiquadCascade::runWavefront (float* samples, int numSamples) noexcept
{
    // Stage k works on sample t - k at step t, so at every step all stages
    // work at once, one per vector lane, and stage k + 1 takes the output
    // stage k gave at the step before. Each lane does the framework filter's
    // operations in its order, on single floats, exactly as the scalar loop
    // does: the samples are the same to the bit. What is gained is that the
    // stages no longer queue for the arithmetic units one after another;
    // what remains is each stage's own recursion.
    constexpr size_t count = (size_t) numStages - firstStage;
    constexpr size_t vectors = (count + 3) / 4;

    alignas (16) float coefficients[5][vectors * 4] {};
    alignas (16) float state[2][vectors * 4] {};

    for (size_t k = 0; k < count; ++k)
    {
        const auto* c = stages[firstStage + k].getRawCoefficients();
        for (size_t i = 0; i < 5; ++i)
            coefficients[i][k] = c[i];
        state[0][k] = memory[firstStage + k].lv1;
        state[1][k] = memory[firstStage + k].lv2;
    }

    __m128 b0[vectors], b1[vectors], b2[vectors], a1[vectors], a2[vectors], lv1[vectors], lv2[vectors], out[vectors];
    __m128i lane[vectors];

    for (size_t v = 0; v < vectors; ++v)
    {
        b0[v] = _mm_load_ps (coefficients[0] + 4 * v);
        b1[v] = _mm_load_ps (coefficients[1] + 4 * v);
        b2[v] = _mm_load_ps (coefficients[2] + 4 * v);
        a1[v] = _mm_load_ps (coefficients[3] + 4 * v);
        a2[v] = _mm_load_ps (coefficients[4] + 4 * v);
        lv1[v] = _mm_load_ps (state[0] + 4 * v);
        lv2[v] = _mm_load_ps (state[1] + 4 * v);
        out[v] = _mm_setzero_ps();
        const auto first = (int) (4 * v);
        lane[v] = _mm_setr_epi32 (first, first + 1, first + 2, first + 3);
    }

    const auto outputGain = gain;
    constexpr auto last = (int) count - 1;   // the lane whose output leaves the chain

    // One step of the wavefront. Where `masked`, lanes with no sample of
    // this block at this step (the first and last steps) keep their memory.
    auto step = [&] (int t, bool masked) {
        __m128 in[vectors];
        in[0] = shiftIn (out[0], _mm_set_ss (t < numSamples ? samples[t] : 0.0f));
        for (size_t v = 1; v < vectors; ++v)
            in[v] = shiftIn (out[v], _mm_shuffle_ps (out[v - 1], out[v - 1], _MM_SHUFFLE (3, 3, 3, 3)));

        for (size_t v = 0; v < vectors; ++v)
        {
            // The framework filter's expressions, in its order of evaluation.
            const auto output = _mm_add_ps (_mm_mul_ps (in[v], b0[v]), lv1[v]);
            const auto next1 = _mm_add_ps (_mm_sub_ps (_mm_mul_ps (in[v], b1[v]), _mm_mul_ps (output, a1[v])), lv2[v]);
            const auto next2 = _mm_sub_ps (_mm_mul_ps (in[v], b2[v]), _mm_mul_ps (output, a2[v]));

            if (masked)
            {
                // Lane k has a sample when 0 <= t - k < numSamples.
                const auto position = _mm_sub_epi32 (_mm_set1_epi32 (t), lane[v]);
                const auto active = _mm_castsi128_ps (_mm_and_si128 (_mm_cmpgt_epi32 (position, _mm_set1_epi32 (-1)),
                                                                     _mm_cmplt_epi32 (position, _mm_set1_epi32 (numSamples))));
                lv1[v] = select (active, next1, lv1[v]);
                lv2[v] = select (active, next2, lv2[v]);
            }
            else
            {
                lv1[v] = next1;
                lv2[v] = next2;
            }

            out[v] = output;
        }

        const auto sample = t - last;
        if (sample >= 0 && sample < numSamples)
        {
            alignas (16) float lanes[4];
            _mm_store_ps (lanes, out[(size_t) last / 4]);
            samples[sample] = lanes[last % 4] * outputGain;
        }
    };

    // Every stage has a sample from step `last` to step numSamples - 1.
    const auto steps = numSamples + last;
    const auto fullFrom = juce::jmin (last, steps), fullTo = juce::jmax (fullFrom, numSamples);

    for (int t = 0; t < fullFrom; ++t)
        step (t, true);
    for (int t = fullFrom; t < fullTo; ++t)
        step (t, false);
    for (int t = fullTo; t < steps; ++t)
        step (t, true);

    for (size_t v = 0; v < vectors; ++v)
    {
        _mm_store_ps (state[0] + 4 * v, lv1[v]);
        _mm_store_ps (state[1] + 4 * v, lv2[v]);
    }

    for (size_t k = 0; k < count; ++k)
    {
        auto s1 = state[0][k], s2 = state[1][k];
        juce::dsp::util::snapToZero (s1);
        juce::dsp::util::snapToZero (s2);
        memory[firstStage + k] = { s1, s2 };
    }
}
#endif
