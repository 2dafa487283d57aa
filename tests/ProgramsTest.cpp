#include "helpers/ProcessorHelpers.h"
#include "processor/TessaroPresets.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

TEST (Programs, SevenNamesFromThePresetTable)
{
    TessaroAudioProcessor p;
    EXPECT_EQ (p.getNumPrograms(), 7);
    EXPECT_EQ (p.getCurrentProgram(), 0);
    EXPECT_EQ (p.getProgramName (0), "Default");
    EXPECT_EQ (p.getProgramName (6), "Speech (Close)");
    EXPECT_EQ (p.getProgramName (7), "");
    EXPECT_EQ (p.getProgramName (-1), "");

    for (int i = 0; i < p.getNumPrograms(); ++i)
        EXPECT_EQ (p.getProgramName (i), TessaroPresets::table()[(size_t) i].name);

    const auto before = test::state (p);
    p.changeProgramName (2, "Renamed");
    EXPECT_EQ (p.getProgramName (2), "Singbird (Close)");
    EXPECT_EQ (test::state (p), before);
}

namespace
{
    /** Counts what a host wrapper hears of parameter changes and gestures. */
    struct HostListener : juce::AudioProcessorListener
    {
        void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float) override { changed.insert (index); }
        void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
        void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int) override { ++gestures; }
        std::set<int> changed;
        int gestures = 0;
    };
}

// Choosing a program in the host recalls the preset of the same name through
// the parameter objects, so the host hears of every parameter that moved.
TEST (Programs, ChoosingAProgramRecallsItsPreset)
{
    for (int i = 0; i < TessaroAudioProcessor::numPrograms; ++i)
    {
        const auto& preset = TessaroPresets::table()[(size_t) i];
        SCOPED_TRACE (preset.name);

        TessaroAudioProcessor p;
        p.prepareToPlay (48000.0, 256);
        test::set (p, "microphone", 2.0f);
        test::set (p, "lowCut", 0.0f);
        test::set (p, "distance", 55.0f);
        HostListener host;
        p.addListener (&host);

        p.setCurrentProgram (i);

        EXPECT_EQ (p.getCurrentProgram(), i);
        EXPECT_EQ (test::get (p, "microphone"), 2.0f);
        EXPECT_EQ (test::get (p, "lowCut"), preset.lowCut);
        EXPECT_FLOAT_EQ (test::get (p, "distance"), preset.distance);
        EXPECT_FLOAT_EQ (test::get (p, "aimingAccurancy"), preset.aimingAccurancy);
        EXPECT_FLOAT_EQ (test::get (p, "freeField"), preset.freeField);
        EXPECT_TRUE (host.changed.count (TessaroParameters::distance) == 1);
        EXPECT_TRUE (host.changed.count (TessaroParameters::lowCut) == 1);
        EXPECT_EQ (host.gestures, (int) host.changed.size());

        // And the design follows.
        TessaroAudioProcessor reference;
        test::set (reference, "microphone", 2.0f);
        TessaroPresets::recall (reference.getValueTreeState(), i);
        reference.prepareToPlay (48000.0, 256);
        EXPECT_EQ (p.getDesign().stages, reference.getDesign().stages);

        p.removeListener (&host);
    }

    TessaroAudioProcessor p;
    for (int index : { -5, 7, 1000 })
    {
        p.setCurrentProgram (index);
        EXPECT_EQ (p.getCurrentProgram(), 0);
        EXPECT_FLOAT_EQ (test::get (p, "aimingAccurancy"), 20.0f);   // nothing recalled
    }
}

// VST3 hosts may deliver a program change inside their process call. The
// recall then happens on the message thread, and nothing is lost: the last
// program chosen is the one in force.
TEST (Programs, AProgramChosenOnTheAudioThreadIsRecalledOnTheMessageThread)
{
    TessaroAudioProcessor p;
    p.prepareToPlay (48000.0, 64);

    std::thread audio ([&] {
        juce::AudioBuffer<float> buffer (1, 64);
        juce::MidiBuffer midi;
        buffer.clear();
        p.processBlock (buffer, midi);
        p.setCurrentProgram (3);
        p.setCurrentProgram (5);
        p.processBlock (buffer, midi);
    });
    audio.join();

    EXPECT_EQ (p.getCurrentProgram(), 5);
    EXPECT_FLOAT_EQ (test::get (p, "distance"), 50.0f);   // not yet: the audio thread only asked

    juce::MessageManager::getInstance()->runDispatchLoopUntil (ChangeNotifier::pollIntervalMs * 4);
    EXPECT_FLOAT_EQ (test::get (p, "distance"), TessaroPresets::table()[5].distance);
    EXPECT_FLOAT_EQ (test::get (p, "freeField"), TessaroPresets::table()[5].freeField);
}

// A session saved after choosing a program and then moving a slider comes
// back with the slider where it was, also in a host that chooses the stored
// program again after restoring the state.
TEST (Programs, ARestoredSessionKeepsChangesMadeAfterItsProgram)
{
    TessaroAudioProcessor saved;
    saved.setCurrentProgram (1);            // "Singbird (Far)": distance 80
    test::set (saved, "distance", 65.0f);   // the user's own touch
    const auto block = test::state (saved);

    TessaroAudioProcessor loaded;
    test::restore (loaded, block);
    EXPECT_EQ (loaded.getCurrentProgram(), 1);
    loaded.setCurrentProgram (1);   // the host re-applies its stored program
    EXPECT_FLOAT_EQ (test::get (loaded, "distance"), 65.0f);
    EXPECT_EQ (test::state (loaded), block);

    // A host may also choose the stored program first, off the message
    // thread, and restore the state after it: the state wins.
    TessaroAudioProcessor other;
    std::thread ([&] { other.setCurrentProgram (1); }).join();
    test::restore (other, block);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ChangeNotifier::pollIntervalMs * 4);
    EXPECT_FLOAT_EQ (test::get (other, "distance"), 65.0f);
    EXPECT_EQ (test::state (other), block);

    // Once a control has been touched after the restore, choosing the
    // restored program is the user's choice and recalls it.
    TessaroAudioProcessor touched;
    test::restore (touched, block);
    TessaroParameters::setAsGesture (touched.getValueTreeState(), TessaroParameters::freeField, 33.0f);
    touched.setCurrentProgram (1);
    EXPECT_FLOAT_EQ (test::get (touched, "distance"), 80.0f);

    // A program chosen off the message thread and not yet recalled is not
    // saved as the one the parameters came from.
    TessaroAudioProcessor waiting;
    std::thread ([&] { waiting.setCurrentProgram (4); }).join();
    const auto savedWhileWaiting = test::state (waiting);
    const auto waitingXml = TessaroAudioProcessor::getXmlFromBinary (savedWhileWaiting.getData(), (int) savedWhileWaiting.getSize());
    ASSERT_NE (waitingXml, nullptr);
    EXPECT_FALSE (waitingXml->hasAttribute (TessaroAudioProcessor::programProperty));
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ChangeNotifier::pollIntervalMs * 4);
    const auto savedAfter = test::state (waiting);
    EXPECT_EQ (TessaroAudioProcessor::getXmlFromBinary (savedAfter.getData(), (int) savedAfter.getSize())
                   ->getIntAttribute (TessaroAudioProcessor::programProperty),
               4);

    // Only that first re-application is taken for the host's: choosing a
    // program after it recalls as usual.
    loaded.setCurrentProgram (1);
    EXPECT_FLOAT_EQ (test::get (loaded, "distance"), 80.0f);
    loaded.setCurrentProgram (2);
    EXPECT_FLOAT_EQ (test::get (loaded, "distance"), 20.0f);

    // The default program adds nothing to a block, so fresh blocks are as
    // they always were; blocks from before programs were kept read as it.
    TessaroAudioProcessor fresh;
    fresh.setCurrentProgram (0);
    const auto xml = TessaroAudioProcessor::getXmlFromBinary (test::state (fresh).getData(), (int) test::state (fresh).getSize());
    ASSERT_NE (xml, nullptr);
    EXPECT_FALSE (xml->hasAttribute (TessaroAudioProcessor::programProperty));
}

TEST (Presets, RecallSetsItsFourParametersAndLeavesTheEquipment)
{
    struct Row
    {
        const char* name;
        float distance, freeField;
    };
    // clang-format off
    const Row rows[] {
        { "Default", 50, 35 },         { "Singbird (Far)", 80, 20 }, { "Singbird (Close)", 20, 20 },
        { "Animal (Far)", 80, 35 },    { "Animal (Close)", 20, 40 }, { "Speech (Far)", 80, 50 },
        { "Speech (Close)", 20, 50 },  { "Sport (Far)", 80, 30 },    { "Sport (Close)", 20, 35 },
    };
    // clang-format on

    ASSERT_EQ (TessaroPresets::count, 9);

    for (int i = 0; i < TessaroPresets::count; ++i)
    {
        SCOPED_TRACE (rows[i].name);
        EXPECT_EQ (juce::String (TessaroPresets::table()[(size_t) i].name), rows[i].name);
        EXPECT_EQ (TessaroPresets::table()[(size_t) i].itemId, i + 1);
        EXPECT_EQ (TessaroPresets::findByName (juce::String (rows[i].name).toLowerCase()), i);

        TessaroAudioProcessor p;
        test::set (p, "microphone", 2.0f);
        test::set (p, "windCover", 1.0f);
        test::set (p, "lowCut", 0.0f);
        TessaroPresets::recall (p.getValueTreeState(), i);

        EXPECT_EQ (test::get (p, "microphone"), 2.0f);
        EXPECT_EQ (test::get (p, "windCover"), 1.0f);
        EXPECT_EQ (test::get (p, "lowCut"), 1.0f);
        EXPECT_FLOAT_EQ (test::get (p, "distance"), rows[i].distance);
        EXPECT_EQ (test::get (p, "aimingAccurancy"), 0.0f);
        EXPECT_FLOAT_EQ (test::get (p, "freeField"), rows[i].freeField);
    }

    EXPECT_FALSE (TessaroPresets::findByName ("Sport").has_value());
}

TEST (Presets, RecallTellsTheHostAboutChangedParametersOnly)
{
    struct HostListener : juce::AudioProcessorListener
    {
        void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float) override { changed.add (index); }
        void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
        void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int) override { ++gestures; }
        juce::Array<int> changed;
        int gestures = 0;
    };

    TessaroAudioProcessor p;
    HostListener host;
    p.addListener (&host);

    TessaroPresets::recall (p.getValueTreeState(), 0);   // "Default" differs from the defaults in the aim only
    EXPECT_EQ (host.changed, juce::Array<int> (TessaroParameters::aimingAccurancy));
    EXPECT_EQ (host.gestures, 1);

    host.changed.clear();
    TessaroPresets::recall (p.getValueTreeState(), 0);
    EXPECT_TRUE (host.changed.isEmpty());

    TessaroPresets::recall (p.getValueTreeState(), 9);
    TessaroPresets::recall (p.getValueTreeState(), -1);
    EXPECT_TRUE (host.changed.isEmpty());

    const auto xml = juce::AudioProcessor::getXmlFromBinary (test::state (p).getData(), (int) test::state (p).getSize());
    EXPECT_EQ (xml->getChildByAttribute ("id", "aimingAccurancy")->getStringAttribute ("value"), "0.0");
    EXPECT_FALSE (xml->toString().contains ("Default"));
    p.removeListener (&host);
}
