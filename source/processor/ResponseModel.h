#pragma once

#include "processor/ChainDesign.h"
#include "processor/FilterBand.h"

#include <vector>

/** The frequency response of a design, as the editor draws it: the 300-point
    grid, each stage's linear magnitude on it (band k belongs to stage k),
    and their product with the output gain. Not thread-aware: its owner
    serialises the calls. */
class ResponseModel
{
public:
    static constexpr int numGridPoints = 300;
    static constexpr int numBands = ChainDesign::numStages;

    ResponseModel();

    /** Brings the model up to this design; bands whose stage and rate are
        unchanged are not evaluated again. */
    void update (const ChainDesign& design);

    /** Stage k of the design, evaluated at the grid frequencies at the rate
        the stage was designed for. */
    void updateBandResponse (int band, const ChainDesign& design);

    /** The output gain times the six bands' magnitudes. */
    void updateCombinedResponse (float outputGain);

    const std::vector<double>& getFrequencies() const noexcept { return frequencies; }
    const std::vector<double>& getCombinedResponse() const noexcept { return combinedResponse; }
    const std::vector<FilterBand>& getBands() const noexcept { return bands; }

    /** The design the model shows (flat, with no gain, until the first update). */
    const ChainDesign& getDesign() const noexcept { return shownDesign; }
    bool hasDesign() const noexcept { return evaluated; }

private:
    std::vector<double> frequencies;   // 20 x 2^(i/30) Hz
    std::vector<FilterBand> bands;
    std::vector<double> combinedResponse;
    ChainDesign shownDesign;
    bool evaluated = false;
};
