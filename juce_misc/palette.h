#pragma once

#include <juce_core/juce_core.h>

/** The house colours, as ARGB values. Header-only, so that code which draws
    in the house colours without the widgets (the renderer's plots) can use
    them too. */
namespace velmoor::juce_misc::palette
{
    // clang-format off
    inline constexpr juce::uint32 lightGrey      = 0xffc5c5c8;   // panels, menus, value boxes
    inline constexpr juce::uint32 crimson        = 0xff9a243e;   // the response curve
    inline constexpr juce::uint32 crimsonOverlay = 0x329a243e;   // highlights
    // clang-format on
}
