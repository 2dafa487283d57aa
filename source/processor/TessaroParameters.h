#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>

/** The six host-visible parameters: their ids, the table they are created
    from, and lookups by id. The host index of a parameter is its position in
    the table. */
class TessaroParameters
{
public:
    enum Index
    {
        microphone = 0,
        windCover,
        lowCut,
        distance,
        aimingAccurancy,
        freeField,
        count
    };

    struct Definition
    {
        const char* id;
        const char* name;
        const char* label;
        float start, end, interval, defaultValue;
    };

    static const std::array<Definition, count>& table() noexcept;

    static const char* idOf (int index) noexcept { return table()[(size_t) index].id; }

    /** The index of the parameter with this id, or -1. Compares without
        allocating, so it may run on the audio thread. */
    static int indexOf (const juce::String& parameterID) noexcept;

    /** Sets a parameter through its parameter object, as one gesture, so
        that the host is told. A parameter already at the value is not
        touched, so the host records no change for it. Not for the audio
        thread. */
    static void setAsGesture (juce::AudioProcessorValueTreeState& state, int index, float value);

    /** Creates the parameters in index order and adds them to the manager. */
    static void addTo (juce::AudioProcessorValueTreeState& state);

    TessaroParameters() = delete;
};
