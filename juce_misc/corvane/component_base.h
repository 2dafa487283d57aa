#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace corvane::juce_misc
{
    /** The common base of the library's components. It adds nothing to
        juce::Component yet; deriving from it keeps a place for behaviour
        all of the library's panels should share. */
    struct component_base : public juce::Component
    {
        using juce::Component::Component;
        ~component_base() override = default;
    };
}
