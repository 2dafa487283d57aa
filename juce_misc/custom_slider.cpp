#include "juce_misc/custom_slider.h"

namespace velmoor::juce_misc
{
    custom_slider::custom_slider (const juce::String& componentName)
        : juce::Slider (componentName)
    {
    }

    custom_slider::~custom_slider() = default;

    void custom_slider::mouseDown (const juce::MouseEvent& e)
    {
        if (e.mods.isCtrlDown())
        {
            // A reset, not the start of a drag: the framework never sees this click.
            const auto target = has_reset_value ? reset_value : (float) getMinimum();
            setValue ((double) target, juce::sendNotification);
            return;
        }

        juce::Slider::mouseDown (e);
    }
}
