#include "processor/TessaroParameters.h"

#include <cmath>

const std::array<TessaroParameters::Definition, TessaroParameters::count>& TessaroParameters::table() noexcept
{
    // An interval of 0 keeps microphone continuous: hosts may set values
    // between the capsules, which the design treats like the first capsule.
    // clang-format off
    static const std::array<Definition, count> definitions { {
        { "microphone",      "Microphone",                  "",  0.0f,   2.0f, 0.0f,  0.0f },
        { "windCover",       "Wind Cover",                  "",  0.0f,   2.0f, 1.0f,  0.0f },
        { "lowCut",          "Low Cut",                     "",  0.0f,   1.0f, 1.0f,  1.0f },
        { "distance",        "Distance",                    "%", 0.0f, 100.0f, 0.0f, 50.0f },
        { "aimingAccurancy", "Aim Inaccuracy Compensation", "",  0.0f, 100.0f, 0.0f, 20.0f },
        { "freeField",       "Free Field",                  "",  0.0f, 100.0f, 0.0f, 35.0f },
    } };
    // clang-format on
    return definitions;
}

int TessaroParameters::indexOf (const juce::String& parameterID) noexcept
{
    for (int i = 0; i < count; ++i)
        if (parameterID == idOf (i))
            return i;

    return -1;
}

void TessaroParameters::addTo (juce::AudioProcessorValueTreeState& state)
{
    using Parameter = juce::AudioProcessorValueTreeState::Parameter;

    for (const auto& d : table())
    {
        // Typed text is read as a plain decimal number; text that is not a
        // finite number ("nan", "inf") gives the default instead of reaching
        // the parameter.
        const auto defaultValue = d.defaultValue;
        auto fromText = [defaultValue] (const juce::String& text) {
            const auto value = text.getFloatValue();
            return std::isfinite (value) ? value : defaultValue;
        };

        const auto attributes = juce::AudioProcessorValueTreeStateParameterAttributes()
                                    .withLabel (d.label)
                                    .withValueFromStringFunction (fromText)
                                    .withMeta (false)
                                    .withAutomatable (true)
                                    .withDiscrete (false)
                                    .withCategory (juce::AudioProcessorParameter::genericParameter)
                                    .withBoolean (false);

        state.createAndAddParameter (std::make_unique<Parameter> (juce::ParameterID { d.id },
                                                                  d.name,
                                                                  juce::NormalisableRange<float> (d.start, d.end, d.interval, 1.0f),
                                                                  d.defaultValue,
                                                                  attributes));
    }
}

void TessaroParameters::setAsGesture (juce::AudioProcessorValueTreeState& state, int index, float value)
{
    if (index < 0 || index >= count)
        return;

    auto* parameter = state.getParameter (idOf (index));

    if (parameter == nullptr)
        return;

    const auto normalised = parameter->convertTo0to1 (value);

    if (parameter->getValue() == normalised)
        return;

    parameter->beginChangeGesture();
    parameter->setValueNotifyingHost (normalised);
    parameter->endChangeGesture();
}
