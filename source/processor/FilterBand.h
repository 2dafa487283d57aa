#pragma once

#include <vector>

/** One band of the response model: the design values of one filter stage
    and that stage's linear magnitude at each grid frequency. */
struct FilterBand
{
    float gain;
    float q;
    float frequency;
    std::vector<double> magnitudes;
};
