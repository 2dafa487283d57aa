#include "helpers/ProcessorHelpers.h"

#include <gtest/gtest.h>

namespace
{
    using Coefficients = juce::dsp::IIR::Coefficients<float>;

    double stageMagnitude (const ChainDesign& d, int stage, double frequency)
    {
        return Coefficients (d.stages[(size_t) stage]).getMagnitudeForFrequency (frequency, d.sampleRate);
    }

    bool isFlat (const ChainDesign::StageCoefficients& c)
    {
        // Flat means b == a (up to a common factor), so |H| == 1 everywhere.
        for (size_t i = 0; i < 3; ++i)
            if (std::abs (c[i] * c[3] - c[i + 3] * c[0]) > 1.0e-6f)
                return false;
        return true;
    }

    struct ParameterSet
    {
        float microphone = 0, windCover = 0, lowCut = 1, distance = 50, aim = 20, freeField = 35;
    };

    void apply (TessaroAudioProcessor& p, const ParameterSet& s)
    {
        test::set (p, "microphone", s.microphone);
        test::set (p, "windCover", s.windCover);
        test::set (p, "lowCut", s.lowCut);
        test::set (p, "distance", s.distance);
        test::set (p, "aimingAccurancy", s.aim);
        test::set (p, "freeField", s.freeField);
    }
}

TEST (Design, GainFiguresForKnownSettings)
{
    struct Case
    {
        const char* name;
        ParameterSet settings;
        float gLow, gHigh;
    };
    // clang-format off
    const Case cases[] {
        { "defaults",                   {},                                   2.7675f, 1.74f },
        { "far, diffuse, capsule A",    { 0, 0, 1, 100, 20, 0 },              1.0f,    1.99f },
        { "far, diffuse, capsule B",    { 1, 0, 1, 100, 20, 0 },              1.0f,    1.99f },
        { "far, diffuse, capsule C",    { 2, 0, 1, 100, 20, 0 },              1.0f,    1.85f },
        { "close, free, capsule A",     { 0, 0, 1, 0, 20, 100 },              19.863f, 1.49f },
        { "close, free, capsule B",     { 1, 0, 1, 0, 20, 100 },              15.707f, 1.49f },
        { "close, free, capsule C",     { 2, 0, 1, 0, 20, 100 },              6.4103f, 1.35f },
        { "windjammer",                 { 0, 1, 1, 50, 20, 35 },              2.7675f, 3.74f },
        { "hard wind cover",            { 0, 2, 1, 50, 20, 35 },              2.7675f, 1.80f },
        { "capsule C on axis, close",   { 2, 0, 1, 0, 0, 35 },                0,       1.25f },
        { "between capsules: like A",   { 1.5f, 0, 1, 50, 20, 35 },           2.7675f, 1.74f },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        TessaroAudioProcessor p;
        p.prepareToPlay (48000.0, 512);
        apply (p, c.settings);
        const auto d = p.getDesign();

        if (c.gLow > 0)
        {
            EXPECT_NEAR (d.lowBandGain, c.gLow, 5.0e-4f);
            // The 200 Hz peak reaches exactly its gain factor at its centre.
            EXPECT_NEAR (stageMagnitude (d, 2, 200.0), c.gLow, 1.0e-3);
        }
        EXPECT_NEAR (d.highShelfGain, c.gHigh, 1.0e-5f);
    }
}

TEST (Design, FarDiffuseSettingMakesTheLowBandExactlyFlat)
{
    for (float mic : { 0.0f, 1.0f, 2.0f })
    {
        TessaroAudioProcessor p;
        p.prepareToPlay (44100.0, 512);
        apply (p, { mic, 0, 1, 100, 20, 0 });
        EXPECT_EQ (p.getDesign().lowBandGain, 1.0f);
        EXPECT_TRUE (isFlat (p.getDesign().stages[2]));
    }
}

TEST (Design, DefaultsShapeEveryStageAsDesigned)
{
    TessaroAudioProcessor p;
    p.prepareToPlay (44100.0, 512);
    const auto d = p.getDesign();

    EXPECT_TRUE (d.lowCutOn);
    EXPECT_NEAR (test::toDb (stageMagnitude (d, 0, 70.0) * stageMagnitude (d, 1, 70.0)), -3.0103, 0.01);
    EXPECT_TRUE (isFlat (d.stages[3]));
    EXPECT_TRUE (isFlat (d.stages[4]));
    EXPECT_NEAR (stageMagnitude (d, 5, 20000.0), 1.74, 0.02);   // the shelf has reached its gain
    EXPECT_EQ (d.outputGain, 1.0f);
}

TEST (Design, WindCoverChoicesShapeTheTwoPeaks)
{
    TessaroAudioProcessor p;
    p.prepareToPlay (48000.0, 512);

    test::set (p, "windCover", 2.0f);
    EXPECT_NEAR (test::toDb (stageMagnitude (p.getDesign(), 3, 2500.0)), test::toDb (1.06), 1.0e-3);
    EXPECT_TRUE (isFlat (p.getDesign().stages[4]));

    test::set (p, "windCover", 1.0f);
    EXPECT_TRUE (isFlat (p.getDesign().stages[3]));
    EXPECT_NEAR (p.getDesign().highShelfGain, 3.74f, 1.0e-5f);
}

TEST (Design, LowCutSwitchesBypassAndFlattensItsBands)
{
    TessaroAudioProcessor p;
    p.prepareToPlay (44100.0, 512);

    test::set (p, "lowCut", 0.0f);
    EXPECT_FALSE (p.getDesign().lowCutOn);
    for (int band : { 0, 1 })
        for (auto m : p.getBandMagnitudes (band))
            ASSERT_EQ (m, 1.0);

    test::set (p, "lowCut", 1.0f);
    EXPECT_TRUE (p.getDesign().lowCutOn);
    EXPECT_LT (p.getBandMagnitudes (0)[0], 0.5);
}

TEST (Design, EachParameterRedesignsOnlyItsStages)
{
    struct Case
    {
        const char* id;
        float value;
        std::vector<int> changed;
    };
    // clang-format off
    const Case cases[] {
        { "microphone",      2.0f,  { 2, 5 } },
        { "windCover",       2.0f,  { 3, 5 } },    // stage 4 is redesigned too, but stays flat
        { "lowCut",          0.0f,  { 0, 1 } },
        { "distance",        10.0f, { 2, 5 } },
        { "aimingAccurancy", 90.0f, { 5 } },
        { "freeField",       90.0f, { 2 } },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.id);
        TessaroAudioProcessor p;
        p.prepareToPlay (48000.0, 512);
        const auto before = p.getDesign();
        test::set (p, c.id, c.value);
        const auto after = p.getDesign();

        std::vector<int> changed;
        for (int k = 0; k < ChainDesign::numStages; ++k)
            if (before.stages[(size_t) k] != after.stages[(size_t) k])
                changed.push_back (k);

        EXPECT_EQ (changed, c.changed);
    }
}

TEST (Design, PrepareToPlayRunsTheFiveHandlersInOrder)
{
    test::RecordingProcessor p;
    test::set (p, "distance", 70.0f);
    p.callsWithValues.clear();
    p.prepareToPlay (96000.0, 256);

    EXPECT_EQ (p.callsWithValues.joinIntoString (","), "windCover=0,lowCut=1,distance=70,aimingAccurancy=20,freeField=35");
    EXPECT_EQ (p.getDesign().sampleRate, 96000.0f);
}

TEST (Design, UnusableSampleRatesKeepTheLastGoodDesigns)
{
    for (double rate : { 0.0, -48000.0, std::nan (""), std::numeric_limits<double>::infinity() })
    {
        SCOPED_TRACE (rate);
        TessaroAudioProcessor p;
        p.prepareToPlay (48000.0, 512);
        const auto good = p.getDesign();

        p.prepareToPlay (rate, 512);
        EXPECT_EQ (p.getDesign().stages, good.stages);
        EXPECT_EQ (p.getDesign().sampleRate, 48000.0f);

        for (auto v : test::impulseResponse (p, 4096))
            ASSERT_TRUE (std::isfinite (v));
    }
}

TEST (Design, EveryStageStaysStableFromOneKilohertzUp)
{
    // Design frequencies near or above half the rate leave their stage flat;
    // from 22050 Hz up every stage is designed.
    for (double rate : { 1000.0, 4000.0, 5000.0, 8000.0, 11025.0, 15400.0, 16000.0, 22050.0, 32000.0,
                         44100.0, 88200.0, 176400.0, 192000.0, 384000.0, 768000.0 })
    {
        SCOPED_TRACE (rate);
        TessaroAudioProcessor p;
        p.prepareToPlay (rate, 512);
        apply (p, { 0, 1, 1, 0, 100, 100 });   // the strongest boosts
        test::set (p, "windCover", 2.0f);

        const auto d = p.getDesign();
        if (rate >= 22050.0)
        {
            for (int k = 0; k < ChainDesign::numStages; ++k)
                EXPECT_NE (d.stages[(size_t) k], ChainDesign::flat) << "stage " << k;
        }

        juce::Random random (42);
        juce::AudioBuffer<float> buffer (1, 4096);
        juce::MidiBuffer midi;
        float peak = 0.0f;

        for (int block = 0; block < 40; ++block)
        {
            for (int i = 0; i < buffer.getNumSamples(); ++i)
                buffer.setSample (0, i, random.nextFloat() * 2.0f - 1.0f);
            p.processBlock (buffer, midi);
            peak = std::max (peak, buffer.getMagnitude (0, 0, buffer.getNumSamples()));
        }

        EXPECT_TRUE (std::isfinite (peak));
        EXPECT_LT (peak, 200.0f);
    }
}

// A change of one parameter redesigns only the stages its table entry names
// and carries the others over. That is right only if the table names every
// stage that depends on the parameter: the design after the change must be
// the one made from scratch for the new values.
TEST (Design, RedesigningOneParameterEqualsDesigningFromScratch)
{
    const auto context = ChainDesigner::makeRateContext (48000.0f, 1.0f);
    constexpr unsigned int everything = (1u << TessaroParameters::count) - 1;

    ChainDesigner::Inputs before;
    before.microphone = 0.0f;
    before.windCover = 2.0f;
    before.lowCut = 1.0f;
    before.distance = 30.0f;
    before.aimingAccurancy = 60.0f;
    before.freeField = 80.0f;

    struct Case
    {
        int parameter;
        float ChainDesigner::Inputs::*field;
        float newValue;
    };
    // clang-format off
    const Case cases[] {
        { TessaroParameters::microphone,      &ChainDesigner::Inputs::microphone,      2.0f },
        { TessaroParameters::windCover,       &ChainDesigner::Inputs::windCover,       0.0f },
        { TessaroParameters::lowCut,          &ChainDesigner::Inputs::lowCut,          0.0f },
        { TessaroParameters::distance,        &ChainDesigner::Inputs::distance,        90.0f },
        { TessaroParameters::aimingAccurancy, &ChainDesigner::Inputs::aimingAccurancy, 10.0f },
        { TessaroParameters::freeField,       &ChainDesigner::Inputs::freeField,       20.0f },
    };
    // clang-format on

    const auto start = ChainDesigner::redesign ({}, everything, before, context);

    for (const auto& c : cases)
    {
        SCOPED_TRACE (TessaroParameters::idOf (c.parameter));
        auto after = before;
        after.*c.field = c.newValue;

        const auto changed = ChainDesigner::redesign (start, 1u << (unsigned int) c.parameter, after, context);
        const auto scratch = ChainDesigner::redesign ({}, everything, after, context);

        for (int stage = 0; stage < ChainDesign::numStages; ++stage)
            EXPECT_EQ (changed.stages[(size_t) stage], scratch.stages[(size_t) stage]) << "stage " << stage;

        EXPECT_EQ (changed.lowCutOn, scratch.lowCutOn);
        EXPECT_EQ (changed.lowBandGain, scratch.lowBandGain);
        EXPECT_EQ (changed.highShelfGain, scratch.highShelfGain);

        // And the change did show: some stage differs from before it.
        EXPECT_NE (changed.stages, start.stages);
    }
}
