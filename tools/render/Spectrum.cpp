#include "render/Spectrum.h"
#include "editor/ResponseGraphPainter.h"
#include "juce_misc/palette.h"

#include <algorithm>
#include <cmath>

LongTermSpectrum::LongTermSpectrum (int numChannels)
    : window ((size_t) frameSize), scratch ((size_t) frameSize * 2),
      pending ((size_t) numChannels, std::vector<float> ((size_t) frameSize)), filled ((size_t) numChannels, 0),
      sum ((size_t) numBins, 0.0)
{
    juce::dsp::WindowingFunction<float>::fillWindowingTables (window.data(), (size_t) frameSize,
                                                              juce::dsp::WindowingFunction<float>::hann, false);
}

void LongTermSpectrum::push (int channel, const float* samples, int numSamples)
{
    auto& frame = pending[(size_t) channel];
    auto& count = filled[(size_t) channel];

    while (numSamples > 0)
    {
        const auto n = std::min (numSamples, frameSize - count);
        std::copy (samples, samples + n, frame.begin() + count);
        count += n;
        samples += n;
        numSamples -= n;

        if (count == frameSize)
        {
            transform (frame);
            // The second half starts the next frame.
            std::copy (frame.begin() + hopSize, frame.end(), frame.begin());
            count = frameSize - hopSize;
        }
    }
}

void LongTermSpectrum::transform (std::vector<float>& frame)
{
    for (int i = 0; i < frameSize; ++i)
        scratch[(size_t) i] = frame[(size_t) i] * window[(size_t) i];
    std::fill (scratch.begin() + frameSize, scratch.end(), 0.0f);

    fft.performFrequencyOnlyForwardTransform (scratch.data(), true);

    for (int k = 0; k < numBins; ++k)
        sum[(size_t) k] += (double) scratch[(size_t) k] * (double) scratch[(size_t) k];
    ++frames;
}

std::vector<double> LongTermSpectrum::averagePower()
{
    if (frames == 0)
    {
        for (size_t c = 0; c < pending.size(); ++c)
        {
            std::fill (pending[c].begin() + filled[c], pending[c].end(), 0.0f);
            transform (pending[c]);
        }
    }

    // A sine of amplitude 1 gives a peak of (sum of the window) / 2.
    double windowSum = 0.0;
    for (auto w : window)
        windowSum += w;
    const auto fullScale = (windowSum / 2.0) * (windowSum / 2.0);

    std::vector<double> power ((size_t) numBins, 0.0);
    if (frames > 0)
        for (int k = 0; k < numBins; ++k)
            power[(size_t) k] = sum[(size_t) k] / (double) frames / fullScale;
    return power;
}

//==============================================================================
namespace
{
    constexpr float lowestHz = 20.0f;
    constexpr float octaves = 10.0f;   // 20 Hz to 20 kHz, as the response graph
    constexpr float rangeDb = 80.0f;

    /** Mean power over a sixth of an octave around f. Where that band is
        narrower than a bin (the lowest octaves), the power is interpolated
        between the two bins around f instead. */
    double smoothedPower (const std::vector<double>& power, double f, double sampleRate)
    {
        const auto binWidth = sampleRate / LongTermSpectrum::frameSize;
        const auto last = (int) power.size() - 1;
        const auto lo = juce::jlimit (0, last, (int) std::ceil (f * std::pow (2.0, -1.0 / 12.0) / binWidth));
        const auto hi = juce::jlimit (0, last, (int) std::floor (f * std::pow (2.0, 1.0 / 12.0) / binWidth));

        if (hi - lo < 2)
        {
            const auto position = juce::jlimit (0.0, (double) last, f / binWidth);
            const auto below = juce::jmin ((int) position, last - 1);
            const auto t = position - below;
            return power[(size_t) below] * (1.0 - t) + power[(size_t) below + 1] * t;
        }

        double total = 0.0;
        for (int k = lo; k <= hi; ++k)
            total += power[(size_t) k];
        return total / (hi - lo + 1);
    }
}

juce::Image drawSpectra (const std::vector<double>& before, const std::vector<double>& after, double sampleRate,
                         const juce::String& beforeName, const juce::String& afterName)
{
    constexpr float margin = ResponseGraphPainter::margin, inset = ResponseGraphPainter::graphInset;
    const juce::Rectangle<float> field { margin, margin, 952.0f, 250.0f };
    juce::Image image (juce::Image::ARGB, (int) (field.getWidth() + 2 * margin), (int) (field.getBottom() + 20.0f + margin), true);

    const auto top = field.getY() + 8.0f, bottom = field.getBottom() - 8.0f;
    const auto xOf = [&] (double f) {
        return field.getX() + inset + (field.getWidth() - 2.0f * inset) * (float) (std::log2 (f / lowestHz) / octaves);
    };

    // The top of the scale: the loudest band of either curve, rounded up to 10 dB.
    const auto highestHz = std::min (20000.0, sampleRate / 2.0);
    std::vector<double> frequencies;
    for (double f = lowestHz; f <= highestHz; f *= std::pow (2.0, 1.0 / 48.0))
        frequencies.push_back (f);

    double loudest = -300.0;
    for (const auto* power : { &before, &after })
        for (auto f : frequencies)
            loudest = std::max (loudest, 10.0 * std::log10 (std::max (smoothedPower (*power, f, sampleRate), 1.0e-30)));
    const auto topDb = (float) (10.0 * std::ceil (loudest / 10.0));
    const auto yOf = [&] (double db) {
        return juce::jlimit (top, bottom, top + (bottom - top) * (float) ((topDb - db) / rangeDb));
    };

    juce::Graphics g (image);
    g.fillAll (juce::Colour (velmoor::juce_misc::palette::lightGrey));
    ResponseGraphPainter::paintField (g, field);
    g.setFont (juce::Font (14.0f));

    const auto gridColour = juce::Colours::white.withAlpha (0.3f);
    for (int f : { 20, 30, 40, 50, 60, 70, 80, 90, 100, 200, 300, 400, 500, 600, 700, 800, 900,
                   1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000, 20000 })
    {
        g.setColour (gridColour);
        g.drawVerticalLine ((int) xOf (f), field.getY(), field.getBottom());
    }
    for (int f : { 20, 50, 100, 500, 1000, 2000, 5000, 10000, 20000 })
    {
        g.setColour (juce::Colours::black);
        g.drawFittedText (ResponseGraphPainter::frequencyLabel (f), (int) xOf (f) - 22, (int) field.getBottom() + 5,
                          40, 15, juce::Justification::right, 1, 0.0f);
    }
    for (float db = topDb; db >= topDb - rangeDb; db -= 10.0f)
    {
        const auto y = yOf (db);
        g.setColour (gridColour);
        g.drawHorizontalLine ((int) y, field.getX(), field.getRight());
        g.setColour (juce::Colours::white);
        g.drawFittedText (juce::String ((int) db) + " dB", (int) (field.getRight() - 58.0f), (int) y - 14, 50, 14,
                          juce::Justification::right, 1, 0.0f);
    }

    struct Curve
    {
        const std::vector<double>& power;
        juce::Colour colour;
        juce::String name;
    };
    const Curve curves[] { { before, juce::Colours::lightgrey, beforeName },
                           { after, juce::Colour (ResponseGraphPainter::curveColour).brighter (0.4f), afterName } };

    g.saveState();
    g.reduceClipRegion (field.toNearestInt());
    for (const auto& curve : curves)
    {
        juce::Path path;
        for (auto f : frequencies)
        {
            const auto db = 10.0 * std::log10 (std::max (smoothedPower (curve.power, f, sampleRate), 1.0e-30));
            const juce::Point<float> p { xOf (f), yOf (db) };
            if (f == frequencies.front())
                path.startNewSubPath (p);
            else
                path.lineTo (p);
        }
        g.setColour (curve.colour);
        g.strokePath (path, juce::PathStrokeType (2.0f));
    }
    g.restoreState();

    // The key, at the top near 400 Hz, where a dish recording rarely peaks.
    auto y = field.getY() + 10.0f;
    for (const auto& curve : curves)
    {
        g.setColour (curve.colour);
        g.fillRect (xOf (400.0), y + 6.0f, 24.0f, 3.0f);
        g.setColour (juce::Colours::white);
        g.drawText (curve.name, (int) xOf (400.0) + 32, (int) y, 400, 15, juce::Justification::left, true);
        y += 18.0f;
    }
    return image;
}
