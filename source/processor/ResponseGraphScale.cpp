#include "processor/ResponseGraphScale.h"

#include <cmath>

float ResponseGraphScale::yForMagnitude (double magnitude, const juce::Rectangle<float>& area) noexcept
{
    const auto y = area.getY();
    const auto h = area.getHeight();

    if (! (magnitude > 0.0) || ! std::isfinite (magnitude))
        return y + h;

    // One decibel is h * 0.027574: the area spans -6.04 dB to +30.22 dB.
    const auto scale = ((double) h * 1.5) / (double) std::pow (10.0f, 0.9f);
    const auto logBase = std::log (2.2);
    const auto zeroLine = (y + h) - ((y + h) - (h * 0.5f + y)) / 3.0f;

    return (float) ((double) zeroLine - std::log (magnitude) * scale / logBase);
}

float ResponseGraphScale::xForGridPoint (int i, int n, const juce::Rectangle<float>& area) noexcept
{
    const auto step = area.getWidth() / (float) n;
    return (float) ((double) i * (double) step + (double) area.getX());
}

int ResponseGraphScale::gridLineY (int j, const juce::Rectangle<float>& area) noexcept
{
    return juce::roundToInt ((double) area.getY() + (double) ((float) j * area.getHeight()) / 6.0);
}

int ResponseGraphScale::zeroLineY (const juce::Rectangle<float>& area) noexcept
{
    return juce::roundToInt (area.getY() + area.getHeight() * 0.83f);
}
