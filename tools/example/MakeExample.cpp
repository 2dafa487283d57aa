// Writes examples/dish-recording.wav: four seconds of synthetic bird song as
// a parabolic dish hears it far from the bird, for the demo and the README.
//
// The song is a series of frequency-swept syllables (2 to 6 kHz, with a
// weaker second harmonic) over a faint hiss; under it, gusts of wind rumble
// almost entirely below 70 Hz. The recording is coloured the way the demo's
// preset, "Singbird (Far)", expects to find it: the highs lost at a
// distance, as the exact inverse of that preset's 7700 Hz shelf (-4.35 dB,
// about -1 dB at 5 kHz and -4 dB from 12 kHz up). The preset's low cut takes
// out the rumble and its shelf gives back the highs; its low band is flat at
// that distance, so the example has no low-frequency colouring. The peak
// stays at -12 dBFS so that a correction has headroom.
//
// Usage: tessaroeq-make-example OUTPUT.wav

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_dsp/juce_dsp.h>

#include <cstdio>

namespace
{
    constexpr double sampleRate = 48000.0;
    constexpr int length = (int) (4.0 * sampleRate);
    constexpr double rumbleLevel = 12.0, hissLevel = 0.03;

    struct Syllable
    {
        double start, duration, fromHz, toHz, level;
    };

    const Syllable song[] {
        { 0.30, 0.12, 3200, 5200, 0.9 },
        { 0.46, 0.10, 5000, 3000, 0.8 },
        { 0.60, 0.09, 3400, 5600, 0.9 },
        { 0.75, 0.16, 4800, 2600, 1.0 },
        { 1.30, 0.05, 6000, 5400, 0.6 },
        { 1.37, 0.05, 6000, 5400, 0.6 },
        { 1.44, 0.05, 6000, 5400, 0.6 },
        { 1.51, 0.05, 6000, 5400, 0.6 },
        { 1.70, 0.25, 2200, 4200, 1.0 },
        { 2.40, 0.12, 3200, 5200, 0.9 },
        { 2.56, 0.10, 5000, 3000, 0.8 },
        { 2.70, 0.09, 3400, 5600, 0.9 },
        { 2.85, 0.16, 4800, 2600, 1.0 },
        { 3.30, 0.30, 4400, 2000, 0.8 },
    };

    void addSyllable (std::vector<float>& out, const Syllable& s)
    {
        const auto first = (int) (s.start * sampleRate);
        const auto count = (int) (s.duration * sampleRate);
        double phase = 0.0;

        for (int i = 0; i < count && first + i < length; ++i)
        {
            const auto t = i / (double) count;
            const auto frequency = s.fromHz + (s.toHz - s.fromHz) * t;
            phase += juce::MathConstants<double>::twoPi * frequency / sampleRate;
            const auto envelope = std::pow (std::sin (juce::MathConstants<double>::pi * t), 2.0);
            out[(size_t) (first + i)] += (float) (s.level * envelope * (std::sin (phase) + 0.25 * std::sin (2.0 * phase)));
        }
    }

    void addWind (std::vector<float>& out)
    {
        juce::Random random (20261210);
        double low = 0.0, lower = 0.0, gust = 0.0;

        for (int i = 0; i < length; ++i)
        {
            // Rumble: white noise through two one-pole low-passes at about
            // 25 Hz, down some 20 dB at 100 Hz.
            low = 0.9967 * low + 0.0033 * (random.nextDouble() * 2.0 - 1.0);
            lower = 0.9967 * lower + 0.0033 * low;
            const auto t = i / sampleRate;
            gust = 0.6 + 0.4 * std::sin (juce::MathConstants<double>::twoPi * 0.35 * t) * std::sin (juce::MathConstants<double>::twoPi * 0.11 * t + 1.0);
            out[(size_t) i] += (float) (rumbleLevel * gust * lower + hissLevel * (random.nextDouble() * 2.0 - 1.0));
        }
    }

    void colourLikeADish (std::vector<float>& out)
    {
        // The preset's shelf: 7700 Hz, Q 0.6, a gain of 1.25 + 0.5 x 0.8
        // (the distance) = 1.65. A shelf with the reciprocal gain at the same
        // frequency and Q undoes it exactly.
        using Coefficients = juce::dsp::IIR::Coefficients<float>;
        juce::dsp::IIR::Filter<float> loss (Coefficients::makeHighShelf (sampleRate, 7700.0f, 0.6f, 1.0f / 1.65f));

        for (auto& v : out)
            v = loss.processSample (v);
    }
}

int main (int argc, char* argv[])
{
    if (argc != 2)
    {
        std::fprintf (stderr, "usage: tessaroeq-make-example OUTPUT.wav\n");
        return 2;
    }

    std::vector<float> samples ((size_t) length, 0.0f);
    for (const auto& s : song)
        addSyllable (samples, s);
    addWind (samples);
    colourLikeADish (samples);

    float peak = 0.0f;
    for (auto v : samples)
        peak = std::max (peak, std::abs (v));
    const auto scale = juce::Decibels::decibelsToGain (-12.0f) / peak;
    for (auto& v : samples)
        v *= scale;

    const juce::File target = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);
    juce::TemporaryFile temporary (target);
    {
        auto stream = temporary.getFile().createOutputStream();
        if (stream == nullptr)
        {
            std::fprintf (stderr, "tessaroeq-make-example: cannot write beside '%s'\n", argv[1]);
            return 1;
        }
        std::unique_ptr<juce::AudioFormatWriter> writer (juce::WavAudioFormat().createWriterFor (stream.get(), sampleRate, 1, 16, {}, 0));
        if (writer == nullptr)
            return 1;
        stream.release();
        const float* channels[] { samples.data() };
        if (! writer->writeFromFloatArrays (channels, 1, length))
            return 1;
    }

    if (! temporary.overwriteTargetFileWithTemporary())
    {
        std::fprintf (stderr, "tessaroeq-make-example: cannot write '%s'\n", argv[1]);
        return 1;
    }
    return 0;
}
