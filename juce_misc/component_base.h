#pragma once

#include "juce_misc/corvane/component_base.h"

namespace velmoor::juce_misc
{
    /** The maker's layer over the contractor's component base; adds nothing. */
    struct component_base : public corvane::juce_misc::component_base
    {
        using corvane::juce_misc::component_base::component_base;
        ~component_base() override = default;
    };
}
