#include "processor/TessaroPresets.h"
#include "processor/TessaroParameters.h"

const std::array<TessaroPresets::Preset, TessaroPresets::count>& TessaroPresets::table() noexcept
{
    // clang-format off
    static const std::array<Preset, count> presets { {
        { 1, "Default",          1.0f, 50.0f, 0.0f, 35.0f },
        { 2, "Singbird (Far)",   1.0f, 80.0f, 0.0f, 20.0f },
        { 3, "Singbird (Close)", 1.0f, 20.0f, 0.0f, 20.0f },
        { 4, "Animal (Far)",     1.0f, 80.0f, 0.0f, 35.0f },
        { 5, "Animal (Close)",   1.0f, 20.0f, 0.0f, 40.0f },
        { 6, "Speech (Far)",     1.0f, 80.0f, 0.0f, 50.0f },
        { 7, "Speech (Close)",   1.0f, 20.0f, 0.0f, 50.0f },
        { 8, "Sport (Far)",      1.0f, 80.0f, 0.0f, 30.0f },
        { 9, "Sport (Close)",    1.0f, 20.0f, 0.0f, 35.0f },
    } };
    // clang-format on
    return presets;
}

std::optional<int> TessaroPresets::findByName (const juce::String& name)
{
    const auto wanted = name.trim();

    for (int i = 0; i < count; ++i)
        if (wanted.equalsIgnoreCase (table()[(size_t) i].name))
            return i;

    return std::nullopt;
}

void TessaroPresets::recall (juce::AudioProcessorValueTreeState& state, int index)
{
    if (index < 0 || index >= count)
        return;

    const auto& preset = table()[(size_t) index];
    // clang-format off
    const std::pair<int, float> values[] { { TessaroParameters::lowCut,          preset.lowCut },
                                           { TessaroParameters::distance,        preset.distance },
                                           { TessaroParameters::aimingAccurancy, preset.aimingAccurancy },
                                           { TessaroParameters::freeField,       preset.freeField } };
    // clang-format on

    for (const auto& [parameterIndex, value] : values)
        TessaroParameters::setAsGesture (state, parameterIndex, value);
}
