#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace test
{
    /** A mouse event on a component, as the main mouse source would send it. */
    inline juce::MouseEvent mouseEvent (juce::Component& target, juce::Point<float> pos,
                                        juce::ModifierKeys mods = juce::ModifierKeys::leftButtonModifier)
    {
        auto source = juce::Desktop::getInstance().getMainMouseSource();
        return { source, pos, mods, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, &target, &target, juce::Time::getCurrentTime(),
                 pos, juce::Time::getCurrentTime(), 1, false };
    }
}
