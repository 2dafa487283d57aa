#include "helpers/ProcessorHelpers.h"
#include "processor/BiquadCascade.h"
#include "processor/ChainDesigner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace
{
    void process (TessaroAudioProcessor& p, juce::AudioBuffer<float>& buffer)
    {
        juce::MidiBuffer midi;
        p.processBlock (buffer, midi);
    }

    using test::noise;
}

TEST (Chain, Identity)
{
    TessaroAudioProcessor p;
    EXPECT_EQ (p.getName(), "Velmoor TessaroEQ");
    EXPECT_EQ (p.getTailLengthSeconds(), 0.0);
    EXPECT_FALSE (p.acceptsMidi());
    EXPECT_FALSE (p.producesMidi());
    EXPECT_FALSE (p.isMidiEffect());
    EXPECT_EQ (p.getLatencySamples(), 0);
    EXPECT_FALSE (p.supportsDoublePrecisionProcessing());
}

TEST (Chain, SilentBeforeTheFirstPrepare)
{
    TessaroAudioProcessor p;
    test::set (p, "distance", 20.0f);
    auto buffer = noise (1024, 1);
    process (p, buffer);
    EXPECT_EQ (buffer.getMagnitude (0, 0, 1024), 0.0f);
}

TEST (Chain, ImpulseResponseMatchesTheModelAtCommonRates)
{
    struct Setting
    {
        const char* name;
        std::vector<std::pair<const char*, float>> values;
    };
    const Setting settings[] {
        { "defaults", {} },
        { "close capsule B with windjammer", { { "microphone", 1 }, { "windCover", 1 }, { "distance", 10 }, { "freeField", 80 } } },
        { "hard cover, low cut off", { { "windCover", 2 }, { "lowCut", 0 }, { "aimingAccurancy", 100 } } },
    };

    for (double rate : { 44100.0, 48000.0, 96000.0 })
    {
        for (const auto& setting : settings)
        {
            SCOPED_TRACE (juce::String (rate) + " Hz, " + setting.name);
            TessaroAudioProcessor p;
            p.prepareToPlay (rate, 512);
            for (const auto& [id, value] : setting.values)
                test::set (p, id, value);

            const auto h = test::impulseResponse (p, (int) rate);   // one second: every stage has decayed
            const auto model = p.getCombinedResponse();
            const auto& grid = p.getFrequencies();

            for (size_t i = 0; i < grid.size(); i += 7)
            {
                if (grid[i] >= rate * 0.5)
                    break;
                // Single-precision filters with poles close to z = 1 (the 70 Hz
                // high-pass at high rates) deviate slightly from the exact
                // response of their coefficients: 1 % or -56 dB, whichever is larger.
                EXPECT_NEAR (test::magnitudeAt (h, grid[i], rate), model[i], 0.01 * model[i] + 1.5e-3)
                    << grid[i] << " Hz";
            }
        }
    }
}

TEST (Chain, LowCutSwitchesAtTheNextBlock)
{
    TessaroAudioProcessor p;
    p.prepareToPlay (48000.0, 4800);

    auto dcBlock = [&p] {
        juce::AudioBuffer<float> dc (1, 4800);
        for (int block = 0; block < 10; ++block)   // one second of DC
        {
            for (int i = 0; i < dc.getNumSamples(); ++i)
                dc.setSample (0, i, 1.0f);
            process (p, dc);
        }
        return dc.getSample (0, dc.getNumSamples() - 1);
    };

    // On, the high-pass removes DC; off, DC passes with the gain of the
    // other stages at 0 Hz (the 200 Hz peak is still a little above 1 there).
    EXPECT_NEAR (dcBlock(), 0.0f, 1.0e-4f);
    test::set (p, "lowCut", 0.0f);
    EXPECT_GT (dcBlock(), 0.99f);
    test::set (p, "lowCut", 1.0f);
    EXPECT_NEAR (dcBlock(), 0.0f, 1.0e-4f);
}

TEST (Chain, LowCutComesBackWithClearedSections)
{
    TessaroAudioProcessor fresh;
    fresh.prepareToPlay (48000.0, 512);
    const auto expected = test::impulseResponse (fresh, 2048);

    TessaroAudioProcessor p;
    p.prepareToPlay (48000.0, 512);
    auto buffer = noise (4096, 7);
    process (p, buffer);
    test::set (p, "lowCut", 0.0f);
    juce::AudioBuffer<float> one (1, 1);
    one.clear();
    process (p, one);
    test::set (p, "lowCut", 1.0f);

    // A change waits for a crossfade under way to end: the first block
    // finishes the fade to the low cut off, the next fades to it on again.
    // Both let the other stages ring out.
    juce::AudioBuffer<float> silence (1, 48000);
    for (int block = 0; block < 2; ++block)
    {
        silence.clear();
        process (p, silence);
    }

    const auto response = test::impulseResponse (p, 2048);
    for (size_t i = 0; i < response.size(); ++i)
        ASSERT_NEAR (response[i], expected[i], 1.0e-6f) << i;
}

TEST (Chain, ReleaseResourcesClearsAllFilterMemory)
{
    TessaroAudioProcessor p;
    p.prepareToPlay (44100.0, 512);
    const auto designed = p.getDesign();

    auto buffer = noise (4096, 3);
    process (p, buffer);
    p.releaseResources();

    juce::AudioBuffer<float> zeros (1, 4096);
    zeros.clear();
    process (p, zeros);
    EXPECT_EQ (zeros.getMagnitude (0, 0, 4096), 0.0f);

    process (p, buffer);
    p.releaseResources();
    p.prepareToPlay (44100.0, 512);
    EXPECT_EQ (p.getDesign().stages, designed.stages);
    zeros.clear();
    process (p, zeros);
    EXPECT_EQ (zeros.getMagnitude (0, 0, 4096), 0.0f);
}

TEST (Chain, ProcessingInPiecesEqualsOneBlock)
{
    TessaroAudioProcessor whole, pieces;
    whole.prepareToPlay (48000.0, 4096);
    pieces.prepareToPlay (48000.0, 4096);

    auto a = noise (4096, 9);
    auto b = a;
    process (whole, a);

    for (int start = 0, size = 1; start < 4096; start += size, size = size * 2 + 1)
    {
        const auto n = std::min (size, 4096 - start);
        juce::AudioBuffer<float> part (b.getArrayOfWritePointers(), 1, start, n);
        process (pieces, part);
    }

    for (int i = 0; i < 4096; ++i)
        ASSERT_EQ (a.getSample (0, i), b.getSample (0, i)) << i;
}

TEST (Chain, EmptyBuffersAreHarmless)
{
    TessaroAudioProcessor p;
    p.prepareToPlay (48000.0, 512);
    juce::AudioBuffer<float> noChannels (0, 64), noSamples (1, 0);
    process (p, noChannels);
    process (p, noSamples);
    SUCCEED();
}

// A broken source upstream can put NaN or infinities on the bus. Such a
// sample is silence to the equaliser: the block comes out as it would with a
// zero there, and the filters carry nothing non-finite into later blocks.
TEST (Chain, NonFiniteInputSamplesAreSilence)
{
    constexpr auto nan = std::numeric_limits<float>::quiet_NaN();
    constexpr auto inf = std::numeric_limits<float>::infinity();

    struct Case
    {
        const char* name;
        std::vector<std::pair<int, float>> poison;
    };
    // clang-format off
    const Case cases[] {
        { "NaN first",            { { 0, nan } } },
        { "infinity in the middle", { { 200, inf } } },
        { "minus infinity last",  { { 511, -inf } } },
        { "several",              { { 3, nan }, { 4, inf }, { 300, -inf }, { 301, nan } } },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        TessaroAudioProcessor poisoned, clean;
        poisoned.prepareToPlay (48000.0, 512);
        clean.prepareToPlay (48000.0, 512);

        for (int block = 0; block < 3; ++block)
        {
            auto a = noise (512, 10 + block), b = noise (512, 10 + block);
            for (const auto& [index, value] : c.poison)
            {
                if (block == 1)
                {
                    a.setSample (0, index, value);
                    b.setSample (0, index, 0.0f);
                }
            }

            process (poisoned, a);
            process (clean, b);

            for (int i = 0; i < 512; ++i)
                ASSERT_EQ (a.getSample (0, i), b.getSample (0, i)) << "block " << block << ", sample " << i;
        }
    }
}

TEST (Chain, InputBeyondTheFloatRangeNeverGivesNonFiniteOutput)
{
    TessaroAudioProcessor p;
    test::set (p, "freeField", 100.0f);   // the strongest boost
    p.prepareToPlay (48000.0, 256);

    juce::AudioBuffer<float> loud (1, 256);
    for (int i = 0; i < 256; ++i)
        loud.setSample (0, i, (i % 2 == 0 ? 1.0f : -1.0f) * std::numeric_limits<float>::max());
    process (p, loud);

    auto after = noise (256, 3);
    process (p, after);

    for (const auto* buffer : { &loud, &after })
        for (int i = 0; i < 256; ++i)
            ASSERT_TRUE (std::isfinite (buffer->getSample (0, i))) << "sample " << i;
}

// The chain runs all six stages side by side (or each sample through all six
// before the next, where there is no vector unit). Either way it must give
// exactly the samples of the framework's own filters run stage by stage over
// each block, the low cut stages bypassed while it is off and
// cleared when it comes back: through design changes, at every block size,
// and into near-silence, where the framework snaps tiny filter memory to zero
// at the end of each block.
namespace
{
    using Filter = juce::dsp::IIR::Filter<float>;
    using Reference = juce::dsp::ProcessorChain<Filter, Filter, Filter, Filter, Filter, Filter, juce::dsp::Gain<float>>;

    template <size_t... stage>
    void copyStages (Reference& reference, const ChainDesign& design, std::index_sequence<stage...>)
    {
        ((*reference.get<stage>().coefficients = design.stages[stage]), ...);
    }
}

TEST (Chain, CascadeGivesTheFrameworkFiltersSamplesBitForBit)
{
    struct Case
    {
        float sampleRate;
        std::vector<int> blockSizes;   // repeated until the signal ends
    };

    // clang-format off
    const Case cases[] {
        { 48000.0f,  { 512 } },
        { 44100.0f,  { 1, 7, 64, 3, 1000 } },
        { 96000.0f,  { 4096, 13 } },
        { 8000.0f,   { 31 } },
        { 192000.0f, { 256, 1 } },
        { 48000.0f,  { 0, 1, 2, 3, 4, 5, 6, 7, 64 } },   // every short block, and none at all
    };
    // clang-format on

    // Each design holds for one part of the signal: low cut on, off and on
    // again, with every other control moved in between.
    // clang-format off
    const ChainDesigner::Inputs settings[] {
        { 0.0f, 0.0f, 1.0f, 50.0f,  0.0f,  35.0f },
        { 2.0f, 2.0f, 0.0f, 100.0f, 60.0f, 0.0f },
        { 1.0f, 1.0f, 1.0f, 0.0f,   100.0f, 100.0f },
        { 0.0f, 2.0f, 1.0f, 80.0f,  20.0f, 20.0f },
    };
    // clang-format on
    constexpr int partLength = 9000;

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.sampleRate);
        const auto context = ChainDesigner::makeRateContext (c.sampleRate, 1.0f);

        // Noise, then silence into which the filters ring out, then a sine
        // far below the snapping threshold.
        auto signal = noise (partLength * (int) std::size (settings), 5);
        auto* samples = signal.getWritePointer (0);
        for (int i = signal.getNumSamples() / 2; i < signal.getNumSamples(); ++i)
            samples[i] = i < signal.getNumSamples() * 3 / 4 ? 0.0f : 1.0e-9f * std::sin (0.05f * (float) i);

        auto expected = signal;
        Reference reference;
        reference.prepare ({ (double) c.sampleRate, 4096, 1 });
        reference.get<6>().setRampDurationSeconds (0.0);
        reference.get<6>().setGainLinear (0.7f);
        reference.reset();

        // Both ways of running the cascade, side by side.
        BiquadCascade cascade, perSample;
        cascade.setGain (0.7f);
        perSample.setGain (0.7f);
        auto perSampleSignal = signal;

        ChainDesign design;
        bool lowCutWasOn = false;
        size_t nextBlock = 0;

        for (int start = 0; start < signal.getNumSamples();)
        {
            if (start % partLength == 0)
            {
                design = ChainDesigner::redesign (design, ~0u, settings[(size_t) (start / partLength)], context);
                cascade.setDesign (design);
                perSample.setDesign (design);

                copyStages (reference, design, std::make_index_sequence<ChainDesign::numStages> {});
                reference.setBypassed<0> (! design.lowCutOn);
                reference.setBypassed<1> (! design.lowCutOn);
                if (design.lowCutOn && ! lowCutWasOn)
                {
                    reference.get<0>().reset();
                    reference.get<1>().reset();
                }
                lowCutWasOn = design.lowCutOn;
            }

            const auto nextPart = (start / partLength + 1) * partLength;
            const auto length = juce::jmin (c.blockSizes[nextBlock++ % c.blockSizes.size()], nextPart - start);

            juce::dsp::AudioBlock<float> block (expected);
            auto part = block.getSubBlock ((size_t) start, (size_t) length);
            reference.process (juce::dsp::ProcessContextReplacing<float> (part));
            cascade.process (samples + start, length);
            perSample.processPerSample (perSampleSignal.getWritePointer (0) + start, length);
            start += length;
        }

        const auto bytes = sizeof (float) * (size_t) signal.getNumSamples();
        ASSERT_EQ (std::memcmp (expected.getReadPointer (0), samples, bytes), 0);
        ASSERT_EQ (std::memcmp (expected.getReadPointer (0), perSampleSignal.getReadPointer (0), bytes), 0);
    }
}
