#pragma once

#include "juce_misc/palette.h"

#include <juce_gui_basics/juce_gui_basics.h>

class TessaroAudioProcessor;

/** Draws the response graph: the black field with its frequency and decibel
    grid and labels, and the processor's combined response as a crimson
    curve clipped to the field. The editor draws its graph with it, and the
    command-line renderer draws its plots with it, so both look the same. */
class ResponseGraphPainter
{
public:
    static constexpr float graphInset = 20.0f;
    static constexpr float margin = 24.0f;
    static constexpr juce::uint32 curveColour = velmoor::juce_misc::palette::crimson;

    /** Field, grid, labels and curve. The frequency labels go below the
        field (20 pixels), in black: the area around it should be light. */
    static void paint (juce::Graphics& g, const TessaroAudioProcessor& processor,
                       const juce::Rectangle<float>& area, juce::Path& responsePath);

    static void paintField (juce::Graphics& g, const juce::Rectangle<float>& area);
    static void paintGrid (juce::Graphics& g, const juce::Rectangle<float>& area);
    static void paintCurve (juce::Graphics& g, const juce::Rectangle<float>& area, const juce::Path& responsePath);

    /** The x position of a grid frequency inside the area. */
    static int frequencyToX (float frequency, const juce::Rectangle<float>& area, float inset = graphInset);

    /** "20Hz", "500Hz", "1kHz", "20kHz". */
    static juce::String frequencyLabel (int frequency);

    ResponseGraphPainter() = delete;
};
