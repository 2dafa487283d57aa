#include "editor/ResponseGraphPainter.h"
#include "processor/ResponseGraphScale.h"
#include "processor/TessaroAudioProcessor.h"

namespace
{
    constexpr int gridFrequencies[] { 20, 30, 40, 50, 60, 70, 80, 90, 100, 200, 300, 400, 500, 600, 700, 800, 900,
                                      1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000, 20000 };
    constexpr int labelFrequencies[] { 20, 50, 100, 500, 1000, 2000, 5000, 10000, 20000 };

    const juce::Colour gridColour = juce::Colours::white.withAlpha (0.3f);
    const juce::Colour zeroLineColour = juce::Colours::white.withAlpha (0.8f);
}

int ResponseGraphPainter::frequencyToX (float frequency, const juce::Rectangle<float>& area, float inset)
{
    // Ten octaves from 20 Hz over the inner width.
    const auto t = (double) std::log (frequency / 20.0f) / std::log (2.0) / 10.0;
    return (int) ((double) (area.getWidth() - 2.0f * inset) * t + (double) (area.getX() + inset));
}

juce::String ResponseGraphPainter::frequencyLabel (int frequency)
{
    return frequency < 1000 ? juce::String (frequency) + "Hz" : juce::String (frequency / 1000) + "kHz";
}

void ResponseGraphPainter::paint (juce::Graphics& g, const TessaroAudioProcessor& processor,
                                  const juce::Rectangle<float>& area, juce::Path& responsePath)
{
    paintField (g, area);
    paintGrid (g, area);

    responsePath.clear();
    processor.buildResponsePath (responsePath, area);
    paintCurve (g, area, responsePath);
}

void ResponseGraphPainter::paintField (juce::Graphics& g, const juce::Rectangle<float>& area)
{
    g.setColour (juce::Colours::black);
    g.fillRect (area);
    g.drawRoundedRectangle (area, 5.0f, 4.0f);
}

void ResponseGraphPainter::paintGrid (juce::Graphics& g, const juce::Rectangle<float>& area)
{
    const auto x = area.getX(), y = area.getY(), w = area.getWidth(), h = area.getHeight();

    for (auto f : gridFrequencies)
    {
        g.setColour (gridColour);
        g.drawVerticalLine (frequencyToX ((float) f, area), y, y + h);
    }

    for (auto f : labelFrequencies)
    {
        g.setColour (juce::Colours::black);
        g.drawFittedText (frequencyLabel (f), frequencyToX ((float) f, area, 20.0f) - 22, (int) (y + h + 5.0f),
                          40, 15, juce::Justification::right, 1, 0.0f);
    }

    for (int j = 1; j <= ResponseGraphScale::gridLineSixths; ++j)
    {
        g.setColour (gridColour);
        g.drawHorizontalLine (ResponseGraphScale::gridLineY (j, area), x, x + w);
    }

    g.setColour (zeroLineColour);
    g.drawHorizontalLine (ResponseGraphScale::zeroLineY (area), x, x + w);

    g.setColour (juce::Colours::white);
    for (const auto& label : ResponseGraphScale::decibelLabels)
        g.drawFittedText (label.text, (int) (w - margin - 4.0f), (int) ((double) (y + 2.0f) + (double) h * label.offsetInHeights),
                          50, 14, juce::Justification::right, 1, 0.0f);
}

void ResponseGraphPainter::paintCurve (juce::Graphics& g, const juce::Rectangle<float>& area, const juce::Path& responsePath)
{
    g.setColour (juce::Colour (curveColour));
    g.saveState();
    g.reduceClipRegion ((int) area.getX(), (int) area.getY(), (int) area.getWidth(), (int) area.getHeight());
    g.strokePath (responsePath, juce::PathStrokeType (2.0f));
    g.restoreState();
}
