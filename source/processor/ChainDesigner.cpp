#include "processor/ChainDesigner.h"

#include <juce_dsp/juce_dsp.h>

#include <cmath>

namespace
{
    using StageCoefficients = ChainDesigner::StageCoefficients;
    using ArrayCoefficients = juce::dsp::IIR::ArrayCoefficients<float>;

    // A design frequency close to half the sample rate gives a filter whose
    // poles sit on or outside the unit circle. Such a stage is left flat;
    // every rate of 22050 Hz and above designs all stages normally.
    constexpr float maxDesignFraction = 0.45f;

    bool canDesign (float frequency, float sampleRate) noexcept
    {
        return frequency < maxDesignFraction * sampleRate;
    }

    StageCoefficients checked (const StageCoefficients& c) noexcept
    {
        return ChainDesigner::isFiniteAndStable (c) ? c : ChainDesign::flat;
    }

    constexpr bool touches (unsigned int stages, int stage) noexcept { return (stages & (1u << (unsigned int) stage)) != 0; }
}

bool ChainDesigner::isFiniteAndStable (const StageCoefficients& c) noexcept
{
    for (auto v : c)
        if (! std::isfinite (v))
            return false;

    if (c[3] == 0.0f)
        return false;

    // Stability triangle of a second-order denominator 1 + p1 z^-1 + p2 z^-2.
    const auto p1 = c[4] / c[3];
    const auto p2 = c[5] / c[3];
    return std::abs (p2) < 1.0f && std::abs (p1) < 1.0f + p2;
}

ChainDesigner::StageCoefficients ChainDesigner::peakStage (float sampleRate, const BandDesign& band, float gain) noexcept
{
    if (! canDesign (band.frequency, sampleRate))
        return ChainDesign::flat;

    return checked (ArrayCoefficients::makePeakFilter ((double) sampleRate, band.frequency, band.q, gain));
}

ChainDesigner::StageCoefficients ChainDesigner::highShelfStage (float sampleRate, const BandDesign& band, float gain) noexcept
{
    if (! canDesign (band.frequency, sampleRate))
        return ChainDesign::flat;

    return checked (ArrayCoefficients::makeHighShelf ((double) sampleRate, band.frequency, band.q, gain));
}

ChainDesigner::RateContext ChainDesigner::makeRateContext (float sampleRate, float outputGain)
{
    RateContext context;
    context.sampleRate = sampleRate;
    context.outputGain = outputGain;

    const auto corner = bandDesigns[0].frequency;

    if (canDesign (corner, sampleRate))
    {
        // Allocates: this runs in prepareToPlay and the constructor, never
        // on the audio thread. Parameter changes only pick the sections.
        const auto sections = juce::dsp::FilterDesign<float>::designIIRHighpassHighOrderButterworthMethod (corner, (double) sampleRate, 4);

        for (int s = 0; s < 2 && s < sections.size(); ++s)
        {
            const auto* c = sections.getObjectPointerUnchecked (s)->getRawCoefficients();
            context.highPass[(size_t) s] = checked ({ c[0], c[1], c[2], 1.0f, c[3], c[4] });
        }
    }

    return context;
}

std::array<ChainDesigner::StageCoefficients, 2> ChainDesigner::lowCutStages (bool on, const RateContext& context) noexcept
{
    if (on)
        return context.highPass;

    return { ChainDesign::flat, ChainDesign::flat };
}

float ChainDesigner::lowBandGain (float microphone, float distanceFraction, float freeFieldShare) noexcept
{
    const auto micFigureDb = microphone == 1.0f ? 30.0f : (microphone == 2.0f ? 18.0f : 33.0f);

    // Close up, the dish's low-frequency hump is a quarter of the capsule's
    // figure; in the free field it grows to three quarters, weighted
    // exponentially by the free-field share.
    const auto closeGain = juce::Decibels::decibelsToGain ((double) micFigureDb * 0.25);
    const auto closeTerm = (float) ((double) (1.0f - distanceFraction) * closeGain);
    const auto freeGain = juce::Decibels::decibelsToGain ((double) micFigureDb * 0.75);
    const auto weight = (float) ((double) (std::exp (freeFieldShare) - 1.0f) / (juce::MathConstants<double>::euler - 1.0));
    const auto freeTerm = weight * (float) ((double) freeFieldShare * freeGain);

    return juce::jmax (1.0f, freeTerm + closeTerm);
}

void ChainDesigner::windCoverStages (float windCover, float sampleRate, StageCoefficients& stage3, StageCoefficients& stage4) noexcept
{
    if (windCover == 1.0f)
    {
        stage3 = peakStage (sampleRate, bandDesigns[3], 1.0f);
    }
    else
    {
        stage3 = peakStage (sampleRate, bandDesigns[3], windCover == 2.0f ? 1.06f : 1.0f);
        stage4 = peakStage (sampleRate, bandDesigns[4], 1.0f);
    }
}

float ChainDesigner::highShelfGain (float aimingAccurancy, float microphone, float distanceFraction, float windCover) noexcept
{
    const auto offset = windCover == 1.0f ? 2.0f : (windCover == 2.0f ? 0.06f : 0.0f);
    const auto microphoneFactor = microphone == 2.0f ? 0.5f : 1.2f;
    const auto aim = aimingAccurancy / 100.0f;

    return ((aim * microphoneFactor + bandDesigns[5].gain) + distanceFraction * 0.5f) + offset;
}

ChainDesign ChainDesigner::redesign (const ChainDesign& previous, unsigned int changedParameters,
                                     const Inputs& inputs, const RateContext& context) noexcept
{
    auto design = previous;
    design.sampleRate = context.sampleRate;
    design.outputGain = context.outputGain;

    unsigned int stages = 0;
    for (int p = 0; p < TessaroParameters::count; ++p)
        if ((changedParameters & (1u << (unsigned int) p)) != 0)
            stages |= stagesTouchedBy[(size_t) p];

    const auto rate = design.sampleRate;

    if (touches (stages, 0))
    {
        design.lowCutOn = inputs.lowCut == 1.0f;
        const auto sections = lowCutStages (design.lowCutOn, context);
        design.stages[0] = sections[0];
        design.stages[1] = sections[1];
    }

    // The low band first: the shelf uses the distance fraction it was
    // designed with.
    if (touches (stages, 2))
    {
        design.distanceFraction = inputs.distance / 100.0f;
        design.lowBandGain = lowBandGain (inputs.microphone, design.distanceFraction, inputs.freeField / 100.0f);
        design.stages[2] = peakStage (rate, bandDesigns[2], design.lowBandGain);
    }

    if (touches (stages, 3))
        windCoverStages (inputs.windCover, rate, design.stages[3], design.stages[4]);

    if (touches (stages, 5))
    {
        design.highShelfGain = highShelfGain (inputs.aimingAccurancy, inputs.microphone, design.distanceFraction, inputs.windCover);
        design.stages[5] = highShelfStage (rate, bandDesigns[5], design.highShelfGain);
    }

    return design;
}
