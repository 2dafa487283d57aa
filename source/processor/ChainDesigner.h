#pragma once

#include "processor/ChainDesign.h"
#include "processor/TessaroParameters.h"

#include <array>

/** Turns the six parameter values into filter designs. Pure functions: every
    input is an argument, nothing is remembered between calls, so each
    stage's design can be checked on its own and the processor decides what
    a design is based on.

    A change of one parameter redesigns only the stages that depend on it
    (stagesTouchedBy). The rest of the design carries over from the previous
    one, which is why redesign takes it as an input. */
class ChainDesigner
{
public:
    using StageCoefficients = ChainDesign::StageCoefficients;

    /** The raw (denormalised) values the designs are made from. `lowCut` is
        the value the lowCut change handed over. */
    struct Inputs
    {
        float microphone = 0.0f, windCover = 0.0f, lowCut = 0.0f,
              distance = 0.0f, aimingAccurancy = 0.0f, freeField = 0.0f;
    };

    /** What the designs depend on besides the parameters: the rate, the
        output gain, and the low cut's two sections for that rate (designed
        with allocation, so only in prepareToPlay and construction). */
    struct RateContext
    {
        float sampleRate = 44100.0f;
        float outputGain = 0.0f;
        std::array<StageCoefficients, 2> highPass { ChainDesign::flat, ChainDesign::flat };
    };

    /** Design values of the six bands; band k belongs to stage k. */
    struct BandDesign
    {
        float gain, q, frequency;
    };
    // clang-format off
    static constexpr std::array<BandDesign, ChainDesign::numStages> bandDesigns { {
        { 1.0f,  1.0f,   70.0f },
        { 1.0f,  1.0f,   70.0f },
        { 1.0f,  0.25f,  200.0f },
        { 1.0f,  0.8f,   2500.0f },
        { 1.0f,  1.5f,   2500.0f },
        { 1.25f, 0.6f,   7700.0f },
    } };
    // clang-format on

    /** Bit k set: a change of the parameter redesigns stage k. */
    static constexpr std::array<unsigned int, TessaroParameters::count> stagesTouchedBy { {
        0b100100u,   // microphone: low band, high shelf
        0b111000u,   // windCover: both wind-cover peaks, high shelf
        0b000011u,   // lowCut: both high-pass sections
        0b100100u,   // distance: low band, high shelf
        0b100000u,   // aimingAccurancy: high shelf
        0b000100u,   // freeField: low band
    } };

    /** The design after the parameters whose bits are set in
        `changedParameters` changed: the stages they touch are designed anew
        from `inputs`, the rest are taken from `previous`. Real-time safe. */
    static ChainDesign redesign (const ChainDesign& previous, unsigned int changedParameters,
                                 const Inputs& inputs, const RateContext& context) noexcept;

    static RateContext makeRateContext (float sampleRate, float outputGain);

    // Each stage on its own. A stage that cannot be designed at this rate, or
    // whose design comes out non-finite or unstable, is flat.
    static std::array<StageCoefficients, 2> lowCutStages (bool on, const RateContext& context) noexcept;

    /** The 200 Hz peak's linear gain: the dish's low hump for this capsule,
        distance fraction (0 to 1) and free-field share (0 to 1). */
    static float lowBandGain (float microphone, float distanceFraction, float freeFieldShare) noexcept;

    /** Stage 3, and stage 4 unless the cover is choice 1 (then stage 4 keeps
        the design it had). */
    static void windCoverStages (float windCover, float sampleRate, StageCoefficients& stage3, StageCoefficients& stage4) noexcept;

    /** The 7700 Hz shelf's linear gain. */
    static float highShelfGain (float aimingAccurancy, float microphone, float distanceFraction, float windCover) noexcept;

    static StageCoefficients peakStage (float sampleRate, const BandDesign& band, float gain) noexcept;
    static StageCoefficients highShelfStage (float sampleRate, const BandDesign& band, float gain) noexcept;

    /** True for a finite second-order set whose poles lie inside the unit circle. */
    static bool isFiniteAndStable (const StageCoefficients& c) noexcept;

    ChainDesigner() = delete;
};
