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

    struct Case
    {
        Change change;
        double limitDb;
    };
    // clang-format off
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
    // clang-format on

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

    struct Case
    {
        const char* name;
        std::function<void (TessaroAudioProcessor&)> setUp;
    };
    const Case cases[] {
        { "set, then prepare", [] (TessaroAudioProcessor& p) { test::set (p, "distance", 90.0f); test::set (p, "lowCut", 0.0f);
                                                                 p.prepareToPlay (rate, 512); } },
        { "prepare, then set", [] (TessaroAudioProcessor& p) { p.prepareToPlay (rate, 512);
                                                                 test::set (p, "distance", 90.0f); test::set (p, "lowCut", 0.0f); } },
        { "prepare, restore", [&] (TessaroAudioProcessor& p) { p.prepareToPlay (rate, 512); test::restore (p, block); } },
        { "played, released, restored", [&] (TessaroAudioProcessor& p) {
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

namespace
{
    /** HF content (as above) of a run of a 1 kHz sine with actions at given
        samples, measured from `from` to the end, relative to the sine's peak
        before the first action. */
    double clickDbOfRun (const std::vector<std::pair<int, std::function<void (TessaroAudioProcessor&, bool&)>>>& actions,
                         int length, int from)
    {
        TessaroAudioProcessor p;
        p.prepareToPlay (rate, 64);
        juce::AudioBuffer<float> buffer (1, 64);
        juce::MidiBuffer midi;
        std::vector<double> output ((size_t) length);
        bool bypassed = false;
        size_t next = 0;

        for (int start = 0; start < length; start += 64)
        {
            while (next < actions.size() && actions[next].first <= start)
                actions[next++].second (p, bypassed);

            for (int i = 0; i < 64; ++i)
                buffer.setSample (0, i, 0.25f * (float) std::sin (juce::MathConstants<double>::twoPi * 1000.0 * (start + i) / rate));

            if (bypassed)
                p.processBlockBypassed (buffer, midi);
            else
                p.processBlock (buffer, midi);

            for (int i = 0; i < 64; ++i)
                output[(size_t) (start + i)] = buffer.getSample (0, i);
        }

        double sinePeak = 0.0;
        for (int i = actions.front().first - 4800; i < actions.front().first; ++i)
            sinePeak = std::max (sinePeak, std::abs (output[(size_t) i]));

        for (auto& section : juce::dsp::FilterDesign<double>::designIIRHighpassHighOrderButterworthMethod (15000.0, rate, 8))
        {
            juce::dsp::IIR::Filter<double> filter (section);
            for (auto& v : output)
                v = filter.processSample (v);
        }

        double peak = 0.0;
        for (int i = from; i < length; ++i)
            peak = std::max (peak, std::abs (output[(size_t) i]));

        return 20.0 * std::log10 (std::max (peak, 1.0e-12) / sinePeak);
    }
}

// Changes that overlap: the host bypasses, a control moves while the bypass
// fades, and the bypass ends later; a release cuts a crossfade short.
TEST (Clicks, OverlappingChangesStayClean)
{
    const auto bypass = [] (bool on) { return [on] (TessaroAudioProcessor&, bool& b) { b = on; }; };
    const auto set = [] (const char* id, float v) { return [id, v] (TessaroAudioProcessor& p, bool&) { test::set (p, id, v); }; };

    // The change lands in the middle of the bypass fade, whose end comes first.
    EXPECT_LE (clickDbOfRun ({ { 24000, bypass (true) }, { 24192, set ("windCover", 1.0f) }, { 48000, bypass (false) } },
                             72000, 20000),
               -80.0);

    // A change while fully bypassed, then the bypass ends.
    EXPECT_LE (clickDbOfRun ({ { 24000, bypass (true) }, { 36000, set ("aimingAccurancy", 100.0f) }, { 48000, bypass (false) } },
                             72000, 20000),
               -80.0);

    // The bypass ends while a design fade runs.
    EXPECT_LE (clickDbOfRun ({ { 24000, bypass (true) }, { 48000, bypass (false) }, { 48128, set ("distance", 0.0f) } },
                             72000, 20000),
               -80.0);
}

TEST (Clicks, AReleaseDuringACrossfadeKeepsTheNewestDesign)
{
    TessaroAudioProcessor reference;
    test::set (reference, "windCover", 2.0f);
    reference.prepareToPlay (rate, 512);
    const auto expected = test::impulseResponse (reference, 512);

    TessaroAudioProcessor p;
    p.prepareToPlay (rate, 512);
    auto noise = test::noise (512, 9);
    juce::MidiBuffer midi;
    p.processBlock (noise, midi);
    test::set (p, "windCover", 2.0f);
    auto more = test::noise (64, 10);
    p.processBlock (more, midi);   // the crossfade to the new design starts
    p.releaseResources();          // and is cut short

    EXPECT_EQ (test::impulseResponse (p, 512), expected);
}

// A host that processes without preparing gets silence, also when it
// switches its bypass or changes parameters meanwhile; nothing hangs.
TEST (Clicks, ProcessingBeforePrepareNeverHangs)
{
    TessaroAudioProcessor p;
    juce::AudioBuffer<float> buffer (1, 256);
    juce::MidiBuffer midi;

    for (int round = 0; round < 4; ++round)
    {
        buffer.clear();
        buffer.setSample (0, 0, 1.0f);
        test::set (p, "distance", (float) (round * 30));

        if (round % 2 == 0)
            p.processBlock (buffer, midi);
        else
            p.processBlockBypassed (buffer, midi);

        if (round % 2 == 0)
        {
            EXPECT_EQ (buffer.getMagnitude (0, 0, 256), 0.0f);
        }
    }
}
