#include "helpers/ProcessorHelpers.h"

#include <gtest/gtest.h>

namespace
{
    struct PathPoints
    {
        std::vector<juce::Point<float>> points;
        int subPathStarts = 0, lines = 0, other = 0;
    };

    PathPoints pointsOf (const juce::Path& path)
    {
        PathPoints result;
        for (juce::Path::Iterator it (path); it.next();)
        {
            if (it.elementType == juce::Path::Iterator::startNewSubPath)
                ++result.subPathStarts;
            else if (it.elementType == juce::Path::Iterator::lineTo)
                ++result.lines;
            else
            {
                ++result.other;
                continue;
            }
            result.points.push_back ({ it.x1, it.y1 });
        }
        return result;
    }
}

TEST (ResponseModel, GridIsThirtyPointsPerOctaveFromTwentyHertz)
{
    TessaroAudioProcessor p;
    const auto& f = p.getFrequencies();
    ASSERT_EQ (f.size(), 300u);
    EXPECT_DOUBLE_EQ (f[0], 20.0);
    EXPECT_DOUBLE_EQ (f[30], 40.0);
    EXPECT_DOUBLE_EQ (f[150], 640.0);
    EXPECT_NEAR (f[299], 20012.24, 0.005);
}

TEST (ResponseModel, IsZeroUntilPreparedAndAlwaysDrawsFinitePoints)
{
    TessaroAudioProcessor p;
    test::set (p, "distance", 10.0f);

    for (auto v : p.getCombinedResponse())
        ASSERT_EQ (v, 0.0);

    juce::Path path;
    p.buildResponsePath (path, { 24.0f, 342.0f, 952.0f, 270.0f });
    const auto drawn = pointsOf (path);
    ASSERT_EQ (drawn.points.size(), 300u);
    for (auto pt : drawn.points)
    {
        ASSERT_TRUE (std::isfinite (pt.x) && std::isfinite (pt.y));
        EXPECT_FLOAT_EQ (pt.y, 342.0f + 270.0f);
    }
}

TEST (ResponseModel, HighShelfAloneReachesItsGainAtTheTop)
{
    TessaroAudioProcessor p;
    p.prepareToPlay (44100.0, 512);
    test::set (p, "lowCut", 0.0f);
    test::set (p, "distance", 100.0f);
    test::set (p, "freeField", 0.0f);
    test::set (p, "aimingAccurancy", 0.0f);

    EXPECT_NEAR (p.getDesign().highShelfGain, 1.75f, 1.0e-6f);
    const auto response = p.getCombinedResponse();
    EXPECT_NEAR (test::toDb (response[0]), 0.0, 0.01);
    EXPECT_NEAR (test::toDb (response[299]), 4.85, 0.01);
}

TEST (ResponseModel, LowCutFigures)
{
    TessaroAudioProcessor p;
    p.prepareToPlay (44100.0, 512);
    const auto b0 = p.getBandMagnitudes (0);
    const auto b1 = p.getBandMagnitudes (1);
    EXPECT_NEAR (test::toDb (b0[0] * b1[0]), -43.5, 0.1);
}

TEST (ResponseModel, CombinedIsTheProductOfTheBands)
{
    TessaroAudioProcessor p;
    p.prepareToPlay (48000.0, 512);
    test::set (p, "windCover", 2.0f);
    test::set (p, "microphone", 1.0f);

    const auto combined = p.getCombinedResponse();
    for (size_t i = 0; i < 300; i += 13)
    {
        double product = 1.0;
        for (int k = 0; k < 6; ++k)
            product *= p.getBandMagnitudes (k)[i];
        EXPECT_DOUBLE_EQ (combined[i], product);
    }
}

TEST (ResponseModel, PathMapsDecibelsLinearlyAndSpansTheGrid)
{
    TessaroAudioProcessor p;
    p.prepareToPlay (44100.0, 512);

    const juce::Rectangle<float> area { 10.0f, 20.0f, 600.0f, 300.0f };
    juce::Path path;
    path.startNewSubPath (0, 0);   // an existing path is appended to, not cleared
    p.buildResponsePath (path, area);
    const auto drawn = pointsOf (path);

    ASSERT_EQ (drawn.subPathStarts, 2);
    ASSERT_EQ (drawn.lines, 299);
    ASSERT_EQ (drawn.other, 0);

    const auto response = p.getCombinedResponse();
    const auto zeroLine = 20.0f + 300.0f * 5.0f / 6.0f;

    for (size_t i = 0; i < 300; ++i)
    {
        const auto pt = drawn.points[i + 1];
        EXPECT_NEAR (pt.x, 10.0f + (float) i * 2.0f, 1.0e-3f);
        EXPECT_NEAR (pt.y, zeroLine - test::toDb (response[i]) * 300.0 * 0.027574, 0.01);
    }

    EXPECT_FLOAT_EQ (drawn.points[1].x, area.getX());
    EXPECT_NEAR (drawn.points[300].x, 10.0f + 299.0f * 600.0f / 300.0f, 1.0e-3f);
}
