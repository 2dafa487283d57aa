#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <optional>

/** Typical recording situations. A preset sets the low cut, the distance, the
    aim inaccuracy and the free-field share; the capsule and the wind cover
    describe the equipment and are left alone. The editor's menu, the
    command-line tools and the tests all use this one table. */
class TessaroPresets
{
public:
    struct Preset
    {
        int itemId;   // the editor's menu item id, 1 to 9
        const char* name;
        float lowCut, distance, aimingAccurancy, freeField;
    };

    static constexpr int count = 9;

    static const std::array<Preset, count>& table() noexcept;

    /** The preset whose name matches, ignoring letter case. */
    static std::optional<int> findByName (const juce::String& name);

    /** Sets the four parameters of preset `index` through the parameter
        objects, as a gesture each, so that hosts are told. Message thread or
        any non-audio thread. Out-of-range indices do nothing. */
    static void recall (juce::AudioProcessorValueTreeState& state, int index);

    TessaroPresets() = delete;
};
