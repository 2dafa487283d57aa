#include "processor/ResponseModel.h"
#include "processor/ChainDesigner.h"

#include <juce_dsp/juce_dsp.h>

#include <algorithm>
#include <cmath>

ResponseModel::ResponseModel()
{
    frequencies.resize ((size_t) numGridPoints);
    for (int i = 0; i < numGridPoints; ++i)
        frequencies[(size_t) i] = std::pow (2.0, i / 30.0) * 20.0;

    combinedResponse.assign ((size_t) numGridPoints, 0.0);

    for (const auto& design : ChainDesigner::bandDesigns)
        bands.push_back ({ design.gain, design.q, design.frequency, std::vector<double> ((size_t) numGridPoints, 1.0) });
}

void ResponseModel::update (const ChainDesign& design)
{
    for (int k = 0; k < numBands; ++k)
    {
        if (evaluated && design.stages[(size_t) k] == shownDesign.stages[(size_t) k] && design.sampleRate == shownDesign.sampleRate)
            continue;

        updateBandResponse (k, design);
    }

    updateCombinedResponse (design.outputGain);
    shownDesign = design;
    evaluated = true;
}

void ResponseModel::updateBandResponse (int band, const ChainDesign& design)
{
    const juce::dsp::IIR::Coefficients<float> coefficients (design.stages[(size_t) band]);
    coefficients.getMagnitudeForFrequencyArray (frequencies.data(), bands[(size_t) band].magnitudes.data(),
                                                (size_t) numGridPoints, (double) design.sampleRate);
}

void ResponseModel::updateCombinedResponse (float outputGain)
{
    std::fill (combinedResponse.begin(), combinedResponse.end(), (double) outputGain);

    for (const auto& band : bands)
        juce::FloatVectorOperations::multiply (combinedResponse.data(), band.magnitudes.data(), numGridPoints);
}
