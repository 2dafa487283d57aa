#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace velmoor::juce_misc
{
    /** A slider that jumps back to a reset value on a Ctrl-click: the
        minimum, or reset_value when has_reset_value is set. Everything else
        is the framework slider's. */
    struct custom_slider : public juce::Slider
    {
        explicit custom_slider (const juce::String& componentName);
        ~custom_slider() override;

        void mouseDown (const juce::MouseEvent& e) override;

        bool has_reset_value = false;
        float reset_value {};
    };
}
