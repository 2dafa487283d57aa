#pragma once

#include <array>

/** One complete set of designs for the six filter stages, in force together.
    Stage arrays hold the unnormalised biquad coefficients
    { b0, b1, b2, a0, a1, a2 }; a flat stage is { 1, 0, 0, 1, 0, 0 }. */
struct ChainDesign
{
    using StageCoefficients = std::array<float, 6>;
    static constexpr StageCoefficients flat { 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f };
    static constexpr int numStages = 6;

    std::array<StageCoefficients, numStages> stages { flat, flat, flat, flat, flat, flat };
    bool lowCutOn = false;         // stages 0 and 1 bypassed while false
    float sampleRate = 44100.0f;   // the rate the stages were designed for
    float outputGain = 0.0f;       // stage 6, linear

    // The design values behind stages 2 and 5, kept for display and checks.
    float lowBandGain = 1.0f;
    float highShelfGain = 1.25f;
    float distanceFraction = 0.0f;
};
