// Cost of the audio path and of a parameter change. Run with `make bench`.
//
// BM_ProcessBlock is the plug-in's processBlock with default parameters at
// 48 kHz. BM_PlainBiquads runs the same six designed stages as a plain
// hand-written transposed-direct-form-II loop, stage by stage over the
// block; BM_PlainBiquadsPerSample runs them sample by sample through all six
// stages, which lets the recursions overlap: the floor of a scalar loop.
// processBlock goes below it by running the six stages side by side in
// vector lanes (with the same samples to the bit).

#include "processor/TessaroAudioProcessor.h"

#include <benchmark/benchmark.h>

namespace
{
    constexpr double sampleRate = 48000.0;

    juce::AudioBuffer<float> noiseBlock (int size)
    {
        juce::Random random (1);
        juce::AudioBuffer<float> buffer (1, size);
        for (int i = 0; i < size; ++i)
            buffer.setSample (0, i, random.nextFloat() * 2.0f - 1.0f);
        return buffer;
    }

    /** Samples per second, and the cost of one sample as ns_per_sample. */
    void reportPerSample (benchmark::State& state, int blockSize)
    {
        state.SetItemsProcessed (state.iterations() * blockSize);
        state.counters["ns_per_sample"] = benchmark::Counter ((double) blockSize, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    }

    void BM_ProcessBlock (benchmark::State& state)
    {
        const auto size = (int) state.range (0);
        TessaroAudioProcessor processor;
        processor.prepareToPlay (sampleRate, size);
        auto buffer = noiseBlock (size);
        juce::MidiBuffer midi;

        for (auto _ : state)
        {
            processor.processBlock (buffer, midi);
            benchmark::DoNotOptimize (buffer.getWritePointer (0));
            benchmark::ClobberMemory();
        }

        reportPerSample (state, size);
    }

    // A parameter changes at every block, so the chain is always crossfading
    // from one design to the next: the cost while a slider is dragged.
    void BM_ProcessBlockWhileChanging (benchmark::State& state)
    {
        const auto size = (int) state.range (0);
        TessaroAudioProcessor processor;
        processor.prepareToPlay (sampleRate, size);
        auto buffer = noiseBlock (size);
        juce::MidiBuffer midi;
        auto* distance = processor.getValueTreeState().getParameter ("distance");
        int n = 0;

        for (auto _ : state)
        {
            distance->setValueNotifyingHost ((n++ & 1) != 0 ? 0.2f : 0.8f);
            processor.processBlock (buffer, midi);
            benchmark::DoNotOptimize (buffer.getWritePointer (0));
            benchmark::ClobberMemory();
        }

        reportPerSample (state, size);
    }

    struct Biquad
    {
        float b0, b1, b2, a1, a2, s1 = 0, s2 = 0;
    };

    /** The six stages of the default design at 48 kHz, normalised as the
        framework's coefficient objects store them. */
    std::array<Biquad, 6> designedStages()
    {
        TessaroAudioProcessor processor;
        processor.prepareToPlay (sampleRate, 512);
        const auto design = processor.getDesign();

        std::array<Biquad, 6> stages;
        for (size_t k = 0; k < 6; ++k)
        {
            const auto& c = design.stages[k];
            const auto inv = 1.0f / c[3];
            stages[k] = { c[0] * inv, c[1] * inv, c[2] * inv, c[4] * inv, c[5] * inv };
        }
        return stages;
    }

    void BM_PlainBiquads (benchmark::State& state)
    {
        const auto size = (int) state.range (0);
        auto stages = designedStages();
        auto buffer = noiseBlock (size);
        auto* data = buffer.getWritePointer (0);

        for (auto _ : state)
        {
            for (auto& s : stages)
            {
                auto s1 = s.s1, s2 = s.s2;
                for (int i = 0; i < size; ++i)
                {
                    const auto in = data[i];
                    const auto out = in * s.b0 + s1;
                    s1 = in * s.b1 - out * s.a1 + s2;
                    s2 = in * s.b2 - out * s.a2;
                    data[i] = out;
                }
                s.s1 = s1;
                s.s2 = s2;
            }
            benchmark::DoNotOptimize (data);
            benchmark::ClobberMemory();
        }

        reportPerSample (state, size);
    }

    // The same six recursions, but each sample runs through all six stages
    // before the next: the stages' recursions overlap in the processor's
    // pipeline instead of waiting on each other stage by stage.
    void BM_PlainBiquadsPerSample (benchmark::State& state)
    {
        const auto size = (int) state.range (0);
        auto stages = designedStages();
        auto buffer = noiseBlock (size);
        auto* data = buffer.getWritePointer (0);

        for (auto _ : state)
        {
            auto s = stages;   // the states in registers for the block
            for (int i = 0; i < size; ++i)
            {
                auto x = data[i];
                for (auto& st : s)
                {
                    const auto out = x * st.b0 + st.s1;
                    st.s1 = x * st.b1 - out * st.a1 + st.s2;
                    st.s2 = x * st.b2 - out * st.a2;
                    x = out;
                }
                data[i] = x;
            }
            stages = s;
            benchmark::DoNotOptimize (data);
            benchmark::ClobberMemory();
        }

        reportPerSample (state, size);
    }

    void BM_ParameterChanged (benchmark::State& state)
    {
        const auto index = (int) state.range (0);
        const auto& definition = TessaroParameters::table()[(size_t) index];
        TessaroAudioProcessor processor;
        processor.prepareToPlay (sampleRate, 512);
        state.SetLabel (definition.id);

        // Alternate between two values so that every call designs anew; this
        // is the call a host's audio thread makes when it delivers automation.
        const juce::String id (definition.id);
        const float values[] { definition.start, definition.end };
        int n = 0;

        for (auto _ : state)
            processor.parameterChanged (id, values[(n++) & 1]);
    }
}

BENCHMARK (BM_ProcessBlock)->Arg (32)->Arg (512)->Arg (4096);
BENCHMARK (BM_PlainBiquadsPerSample)->Arg (32)->Arg (512)->Arg (4096);
BENCHMARK (BM_ProcessBlockWhileChanging)->Arg (32)->Arg (512)->Arg (4096);
BENCHMARK (BM_PlainBiquads)->Arg (32)->Arg (512)->Arg (4096);
BENCHMARK (BM_ParameterChanged)->DenseRange (0, 5);

BENCHMARK_MAIN();
