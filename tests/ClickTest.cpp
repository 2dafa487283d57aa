// What a listener hears when something changes while audio plays: the
// content a change puts above 15 kHz, where a steady low sine has none, is
// the click. Measured as an engineer would: the output through an
// eighth-order Butterworth high-pass at 15 kHz, its peak relative to the
// sine's peak at the output.

#include "helpers/ProcessorHelpers.h"
#include "processor/TessaroPresets.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

namespace
{
    constexpr double rate = 48000.0;

    struct Change
    {
        const char* name;
        std::function<void (TessaroAudioProcessor&)> before, after;
        bool bypassBefore = false, bypassAfter = false;
    };

    Change jump (const char* id, float from, float to)
    {
        static std::vector<std::string> names;   // keeps the labels alive
        names.push_back (juce::String (id).toStdString() + " " + juce::String (from).toStdString() + " to " + juce::String (to).toStdString());
        return { names.back().c_str(),
                 [id, from] (TessaroAudioProcessor& p) { test::set (p, id, from); },
                 [id, to] (TessaroAudioProcessor& p) { test::set (p, id, to); } };
    }

    /** The click of one change, in dB relative to the sine's output peak. */
    double clickDb (const Change& change, double frequency, int blockSize, int preparedBlockSize)
    {
        TessaroAudioProcessor p;
        change.before (p);
        p.prepareToPlay (rate, preparedBlockSize);

        const auto changeAt = ((int) (0.5 * rate) / blockSize) * blockSize;   // a block boundary
        const auto length = changeAt + (int) (0.5 * rate);
        std::vector<double> output ((size_t) length);

        juce::AudioBuffer<float> buffer (1, blockSize);
        juce::MidiBuffer midi;

        for (int start = 0; start < length; start += blockSize)
        {
            if (start == changeAt)
                change.after (p);

            const auto n = juce::jmin (blockSize, length - start);
            buffer.setSize (1, n, false, false, true);
            for (int i = 0; i < n; ++i)
                buffer.setSample (0, i, 0.25f * (float) std::sin (juce::MathConstants<double>::twoPi * frequency * (start + i) / rate));

            if (start < changeAt ? change.bypassBefore : change.bypassAfter)
                p.processBlockBypassed (buffer, midi);
            else
                p.processBlock (buffer, midi);

            for (int i = 0; i < n; ++i)
                output[(size_t) (start + i)] = buffer.getSample (0, i);
        }

        double sinePeak = 0.0;
        for (int i = changeAt - (int) (0.1 * rate); i < changeAt; ++i)
            sinePeak = std::max (sinePeak, std::abs (output[(size_t) i]));

        const auto sections = juce::dsp::FilterDesign<double>::designIIRHighpassHighOrderButterworthMethod (15000.0, rate, 8);
        for (auto& section : sections)
        {
            juce::dsp::IIR::Filter<double> filter (section);
            for (auto& v : output)
                v = filter.processSample (v);
        }

        double clickPeak = 0.0;
        for (int i = changeAt - (int) (0.1 * rate); i < length; ++i)
            clickPeak = std::max (clickPeak, std::abs (output[(size_t) i]));

        return 20.0 * std::log10 (std::max (clickPeak, 1.0e-12) / sinePeak);
    }
}

// Every full-range jump of every parameter, either way, the low cut and the
// host's bypass, during steady sines, at small and large host blocks.
TEST (Clicks, NoChangeWhileAudioPlaysClicks)
{
    const auto setLowCut = [] (float v) { return [v] (TessaroAudioProcessor& p) { test::set (p, "lowCut", v); }; };
    const auto nothing = [] (TessaroAudioProcessor&) {};

    struct Case { Change change; double limitDb; };
    const std::vector<Case> cases {
        { jump ("microphone", 0, 1), -50 },      { jump ("microphone", 1, 0), -50 },
        { jump ("microphone", 0, 2), -50 },      { jump ("microphone", 2, 0), -50 },
        { jump ("microphone", 1, 2), -50 },      { jump ("microphone", 2, 1), -50 },
        { jump ("windCover", 0, 1), -50 },       { jump ("windCover", 1, 0), -50 },
        { jump ("windCover", 0, 2), -50 },       { jump ("windCover", 2, 0), -50 },
        { jump ("windCover", 1, 2), -50 },       { jump ("windCover", 2, 1), -50 },
        { jump ("distance", 0, 100), -50 },      { jump ("distance", 100, 0), -50 },
        { jump ("aimingAccurancy", 0, 100), -50 }, { jump ("aimingAccurancy", 100, 0), -50 },
        { jump ("freeField", 0, 100), -50 },     { jump ("freeField", 100, 0), -50 },
        { { "low cut off", setLowCut (1), setLowCut (0) }, -80 },
        { { "low cut on", setLowCut (0), setLowCut (1) }, -80 },
        { { "preset recall", nothing, [] (TessaroAudioProcessor& p) { TessaroPresets::recall (p.getValueTreeState(), 1); } }, -50 },
        { { "bypass on", nothing, nothing, false, true }, -80 },
        { { "bypass off", nothing, nothing, true, false }, -80 },
    };

    for (const auto& c : cases)
    {
        double worst = -400.0;
        juce::String detail;

        for (auto frequency : { 200.0, 1000.0 })
        {
            for (auto blockSize : { 32, 256, 2048 })
            {
                const auto db = clickDb (c.change, frequency, blockSize, blockSize);
                EXPECT_LE (db, c.limitDb) << c.change.name << " at " << frequency << " Hz, blocks of " << blockSize;
                worst = std::max (worst, db);
                detail << juce::String (db, 1) << " ";
            }
        }

        // A host may send longer blocks than it announced.
        const auto longer = clickDb (c.change, 1000.0, 2048, 64);
        EXPECT_LE (longer, c.limitDb) << c.change.name << " in blocks longer than announced";
        worst = std::max (worst, longer);

        std::printf ("click %-28s worst %7.1f dB  (200 Hz: 32/256/2048, 1 kHz: 32/256/2048: %s)\n",
                     c.change.name, worst, detail.toRawUTF8());
    }
}

// Before playback there is nothing to fade from: after prepareToPlay, after
// releaseResources, and for a state restored before the first block, the
// first block already runs the new design, sample for sample as a processor
// set up that way from the start.
TEST (Clicks, ChangesBeforePlaybackApplyAtOnce)
{
    TessaroAudioProcessor reference;
    test::set (reference, "distance", 90.0f);
    test::set (reference, "lowCut", 0.0f);
    reference.prepareToPlay (rate, 512);
    const auto expected = test::impulseResponse (reference, 512);

    const auto block = test::state (reference);

    struct Case { const char* name; std::function<void (TessaroAudioProcessor&)> setUp; };
    const Case cases[] {
        { "set, then prepare",   [] (TessaroAudioProcessor& p) { test::set (p, "distance", 90.0f); test::set (p, "lowCut", 0.0f);
                                                                 p.prepareToPlay (rate, 512); } },
        { "prepare, then set",   [] (TessaroAudioProcessor& p) { p.prepareToPlay (rate, 512);
                                                                 test::set (p, "distance", 90.0f); test::set (p, "lowCut", 0.0f); } },
        { "prepare, restore",    [&] (TessaroAudioProcessor& p) { p.prepareToPlay (rate, 512); test::restore (p, block); } },
        { "played, released, restored", [&] (TessaroAudioProcessor& p)
          {
              p.prepareToPlay (rate, 512);
              auto noise = test::noise (512, 5);
              juce::MidiBuffer midi;
              p.processBlock (noise, midi);
              p.releaseResources();
              test::restore (p, block);
          } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        TessaroAudioProcessor p;
        c.setUp (p);
        EXPECT_EQ (test::impulseResponse (p, 512), expected);
    }
}
