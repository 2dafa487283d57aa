#pragma once

#include <juce_graphics/juce_graphics.h>

/** Where decibels and frequencies sit in the response graph's area: the
    one place that the curve (TessaroAudioProcessor::buildResponsePath) and
    the grid and its labels (ResponseGraphPainter) take their positions from.

    The curve's scale puts 0 dB five sixths of the height below the top and
    spans -6.04 dB to +30.22 dB; the grid and its labels sit at the nominal
    6 dB steps of sixths of the height. */
class ResponseGraphScale
{
public:
    /** The y of a linear magnitude on the curve. Zero, negative and
        non-finite magnitudes (nothing is designed before the first
        prepareToPlay) sit on the bottom edge rather than at infinity. */
    static float yForMagnitude (double magnitude, const juce::Rectangle<float>& area) noexcept;

    /** The x of the grid point i of n across the area's width. */
    static float xForGridPoint (int i, int n, const juce::Rectangle<float>& area) noexcept;

    struct DecibelLabel
    {
        const char* text;
        double offsetInHeights;
    };
    // clang-format off
    static constexpr DecibelLabel decibelLabels[] { { "30 dB", 0.0 },        { "24 dB", 1.0 / 6.0 }, { "18 dB", 1.0 / 3.0 },
                                                    { "12 dB", 0.5 },        { "6 dB", 4.0 / 6.0 },  { "0 dB", 5.0 / 6.0 },
                                                    { "-6 dB", 0.95 } };
    // clang-format on

    /** Horizontal grid lines at j sixths of the height, j = 1 to 5. */
    static constexpr int gridLineSixths = 5;
    static int gridLineY (int j, const juce::Rectangle<float>& area) noexcept;

    /** The brighter 0 dB line of the grid. */
    static int zeroLineY (const juce::Rectangle<float>& area) noexcept;

    ResponseGraphScale() = delete;
};
