#include "helpers/ProcessorHelpers.h"
#include "processor/TessaroPresets.h"

#include <gtest/gtest.h>

TEST (Programs, SevenNamesAndAFixedCurrentProgram)
{
    TessaroAudioProcessor p;
    EXPECT_EQ (p.getNumPrograms(), 7);
    EXPECT_EQ (p.getProgramName (0), "Default");
    EXPECT_EQ (p.getProgramName (6), "Speech (Close)");
    EXPECT_EQ (p.getProgramName (7), "");
    EXPECT_EQ (p.getProgramName (-1), "");

    for (int index : { -5, 0, 3, 6, 7, 1000 })
    {
        p.setCurrentProgram (index);
        EXPECT_EQ (p.getCurrentProgram(), 0);
    }

    const auto before = test::state (p);
    p.changeProgramName (2, "Renamed");
    EXPECT_EQ (p.getProgramName (2), "Singbird (Close)");
    EXPECT_EQ (test::state (p), before);
}

TEST (Presets, RecallSetsItsFourParametersAndLeavesTheEquipment)
{
    struct Row { const char* name; float distance, freeField; };
    const Row rows[] {
        { "Default", 50, 35 },         { "Singbird (Far)", 80, 20 }, { "Singbird (Close)", 20, 20 },
        { "Animal (Far)", 80, 35 },    { "Animal (Close)", 20, 40 }, { "Speech (Far)", 80, 50 },
        { "Speech (Close)", 20, 50 },  { "Sport (Far)", 80, 30 },    { "Sport (Close)", 20, 35 },
    };

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
        void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float) override   { changed.add (index); }
        void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
        void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int) override   { ++gestures; }
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
