#pragma once

#include <juce_dsp/juce_dsp.h>
#include <juce_graphics/juce_graphics.h>

#include <vector>

/** The long-term average spectrum of a stream, by Welch's method: Hann
    windowed frames of 8192 samples, overlapping by half, their power
    averaged over the whole stream and over its channels. Samples arrive in
    blocks of any size; memory stays at one frame per channel. */
class LongTermSpectrum
{
public:
    static constexpr int fftOrder = 13;
    static constexpr int frameSize = 1 << fftOrder;
    static constexpr int hopSize = frameSize / 2;
    static constexpr int numBins = frameSize / 2 + 1;

    explicit LongTermSpectrum (int numChannels);

    void push (int channel, const float* samples, int numSamples);

    /** Mean power per bin, scaled so that a full-scale sine in a bin reads
        1 (0 dB). A stream shorter than one frame is taken as one frame
        padded with silence. */
    std::vector<double> averagePower();

    /** Frequency of bin k at the rate. */
    static double binFrequency (int k, double sampleRate) noexcept { return k * sampleRate / frameSize; }

private:
    void transform (std::vector<float>& frame);

    juce::dsp::FFT fft { fftOrder };
    std::vector<float> window, scratch;
    std::vector<std::vector<float>> pending;   // per channel, the frame being filled
    std::vector<int> filled;
    std::vector<double> sum;
    long long frames = 0;
};

/** Draws two long-term spectra (before and after) as curves in dB over a
    logarithmic frequency axis from 20 Hz, smoothed to a sixth of an octave,
    in the response graph's look: black field, white grid, labels outside. */
juce::Image drawSpectra (const std::vector<double>& before, const std::vector<double>& after, double sampleRate,
                         const juce::String& beforeName, const juce::String& afterName);
