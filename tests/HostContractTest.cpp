// The checks a plug-in validator makes, against the processor as hosts drive it.

#include "helpers/ProcessorHelpers.h"
#include "TessaroPluginProcessor.h"
#include "editor/TessaroAudioProcessorEditor.h"

#include <gtest/gtest.h>

#include <thread>

namespace
{
    void randomise (TessaroAudioProcessor& p, juce::Random& random)
    {
        for (auto* param : p.getParameters())
            param->setValueNotifyingHost (random.nextFloat());
    }

    /** Finite, and either zero or a normal number. */
    bool isClean (float v) { return std::isfinite (v) && (v == 0.0f || std::abs (v) >= std::numeric_limits<float>::min()); }

    bool allClean (const juce::AudioBuffer<float>& b, int channel = 0)
    {
        for (int i = 0; i < b.getNumSamples(); ++i)
            if (! isClean (b.getSample (channel, i)))
                return false;
        return true;
    }

    void fillNoise (juce::AudioBuffer<float>& b, juce::Random& random, float level = 1.0f)
    {
        for (int c = 0; c < b.getNumChannels(); ++c)
            for (int i = 0; i < b.getNumSamples(); ++i)
                b.setSample (c, i, level * (random.nextFloat() * 2.0f - 1.0f));
    }
}

TEST (HostContract, StateRoundTripIsByteIdentical)
{
    juce::Random random (11);
    for (int round = 0; round < 50; ++round)
    {
        TessaroAudioProcessor a, b;
        randomise (a, random);
        const auto first = test::state (a);
        test::restore (b, first);
        const auto second = test::state (b);
        ASSERT_EQ (first, second) << round;
        test::restore (b, second);
        ASSERT_EQ (test::state (b), first) << round;
    }
}

TEST (HostContract, ParameterTextsConvertBackToTheirValues)
{
    TessaroAudioProcessor p;
    juce::Random random (12);

    for (auto* param : p.getParameters())
    {
        auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (param);
        ASSERT_NE (ranged, nullptr);
        SCOPED_TRACE (ranged->paramID);

        for (int i = 0; i < 200; ++i)
        {
            const auto normalised = i < 2 ? (float) i : random.nextFloat();
            const auto text = ranged->getText (normalised, 0);
            const auto back = ranged->getValueForText (text);
            // The text is exact to its shown precision; stepped parameters snap.
            EXPECT_NEAR (ranged->convertFrom0to1 (back), ranged->convertFrom0to1 (normalised),
                         ranged->getNormalisableRange().interval > 0 ? 1.0e-6 : 1.0e-5)
                << text;
        }

        // Whatever a user types ends up inside the range.
        for (auto* typed : { "", "abc", "-1e9", "1e9", "nan", "50%", " 12 " })
        {
            const auto v = ranged->getValueForText (typed);
            EXPECT_TRUE (v >= 0.0f && v <= 1.0f) << "\"" << typed << "\" gives " << v;
        }
    }
}

TEST (HostContract, AutomationInSmallSubBlocksStaysClean)
{
    TessaroAudioProcessor p;
    p.prepareToPlay (48000.0, 512);
    juce::Random random (13);
    juce::AudioBuffer<float> buffer (1, 32);
    juce::MidiBuffer midi;

    for (int block = 0; block < 20000; ++block)
    {
        if (block % 3 == 0)
            p.getParameters()[random.nextInt (6)]->setValueNotifyingHost (random.nextFloat());

        fillNoise (buffer, random, block % 100 < 50 ? 1.0f : 1.0e-30f);   // loud, then nearly silent
        p.processBlock (buffer, midi);
        ASSERT_TRUE (allClean (buffer)) << block;
    }
}

TEST (HostContract, EveryRateAndBlockSize)
{
    juce::Random random (14);
    juce::MidiBuffer midi;

    for (double rate : { 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0 })
    {
        TessaroAudioProcessor p;
        p.prepareToPlay (rate, 512);
        randomise (p, random);

        for (int size : { 1, 2, 3, 16, 64, 511, 512, 513, 1024, 4096 })   // also larger than prepared
        {
            juce::AudioBuffer<float> buffer (1, size);
            for (int repeat = 0; repeat < 4; ++repeat)
            {
                fillNoise (buffer, random);
                p.processBlock (buffer, midi);
                ASSERT_TRUE (allClean (buffer)) << rate << " Hz, " << size;
            }
        }
    }
}

TEST (HostContract, SampleRateChangeWithoutRelease)
{
    TessaroAudioProcessor p;
    juce::Random random (15);
    juce::MidiBuffer midi;
    juce::AudioBuffer<float> buffer (1, 512);

    for (double rate : { 44100.0, 96000.0, 22050.0, 192000.0, 48000.0 })
    {
        p.prepareToPlay (rate, 512);
        EXPECT_EQ (p.getDesign().sampleRate, (float) rate);
        for (int i = 0; i < 20; ++i)
        {
            fillNoise (buffer, random);
            p.processBlock (buffer, midi);
            ASSERT_TRUE (allClean (buffer)) << rate;
        }
    }

    // Designed for the last rate: matches a processor prepared there once.
    TessaroAudioProcessor fresh;
    fresh.prepareToPlay (48000.0, 512);
    EXPECT_EQ (p.getDesign().stages, fresh.getDesign().stages);
}

TEST (HostContract, StateRestoredFromAnotherThreadWhileTheEditorIsOpen)
{
    TessaroAudioProcessor p;
    p.prepareToPlay (48000.0, 512);
    auto editor = std::make_unique<TessaroAudioProcessorEditor> (p);

    TessaroAudioProcessor source;
    test::set (source, "distance", 12.0f);
    test::set (source, "windCover", 2.0f);
    const auto block = test::state (source);

    std::thread host ([&] { test::restore (p, block); });
    host.join();
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ChangeNotifier::pollIntervalMs * 4);

    EXPECT_EQ (test::state (p), block);
    juce::Slider* distance = nullptr;
    for (auto* child : editor->getChildren())
        if (child->getName() == "SliderDistance")
            distance = dynamic_cast<juce::Slider*> (child);
    ASSERT_NE (distance, nullptr);
    EXPECT_EQ (distance->getValue(), 12.0);
    editor.reset();
}

// The wrappers offer a layout when the processor's own test accepts it and
// it is in the plug-in's channel-configuration list; so the host is offered
// mono in and mono out, and nothing else.
TEST (HostContract, MonoInMonoOutIsTheOnlyConfiguration)
{
    constexpr short configurations[][2] { JucePlugin_PreferredChannelConfigurations };
    TessaroAudioProcessor p;

    const auto layout = [] (juce::AudioChannelSet in, juce::AudioChannelSet out) {
        juce::AudioProcessor::BusesLayout l;
        l.inputBuses.add (in);
        l.outputBuses.add (out);
        return l;
    };
    const auto offered = [&] (const juce::AudioProcessor::BusesLayout& l) {
        return p.checkBusesLayoutSupported (l) && juce::AudioProcessor::containsLayout (l, configurations);
    };

    const auto mono = juce::AudioChannelSet::mono(), stereo = juce::AudioChannelSet::stereo();
    EXPECT_TRUE (offered (layout (mono, mono)));
    EXPECT_FALSE (offered (layout (stereo, stereo)));
    EXPECT_FALSE (offered (layout (mono, stereo)));
    EXPECT_FALSE (offered (layout (stereo, mono)));
    EXPECT_FALSE (offered (layout (juce::AudioChannelSet::create5point1(), juce::AudioChannelSet::create5point1())));

    // The layout test itself accepts every layout; the list restricts.
    EXPECT_TRUE (p.checkBusesLayoutSupported (layout (stereo, stereo)));
    EXPECT_EQ (p.getBusCount (true), 1);
    EXPECT_EQ (p.getBusCount (false), 1);
}

TEST (HostContract, ThePluginHostsCreateHasItsWindow)
{
    const std::unique_ptr<juce::AudioProcessor> p (createPluginFilter());
    ASSERT_NE (dynamic_cast<TessaroAudioProcessor*> (p.get()), nullptr);
    EXPECT_TRUE (p->hasEditor());
    const std::unique_ptr<juce::AudioProcessorEditor> editor (p->createEditorIfNeeded());
    ASSERT_NE (dynamic_cast<TessaroAudioProcessorEditor*> (editor.get()), nullptr);
}

// A program the host chooses shows in an open window's preset menu.
TEST (HostContract, AnOpenEditorShowsTheProgramTheHostChose)
{
    TessaroPluginProcessor p;
    p.prepareToPlay (48000.0, 512);
    const std::unique_ptr<juce::AudioProcessorEditor> editor (p.createEditorIfNeeded());
    ASSERT_NE (editor, nullptr);

    juce::ComboBox* menu = nullptr;
    for (auto* child : editor->getChildren())
        if (auto* box = dynamic_cast<juce::ComboBox*> (child); box != nullptr && box->getTextWhenNothingSelected() == "Presets")
            menu = box;
    ASSERT_NE (menu, nullptr);
    EXPECT_EQ (menu->getText(), "");

    p.setCurrentProgram (4);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ChangeNotifier::pollIntervalMs * 2);
    EXPECT_EQ (menu->getText(), "Animal (Close)");

    // From a host thread, too.
    std::thread ([&] { p.setCurrentProgram (6); }).join();
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ChangeNotifier::pollIntervalMs * 4);
    EXPECT_EQ (menu->getText(), "Speech (Close)");
    EXPECT_FLOAT_EQ (test::get (p, "distance"), 20.0f);
}

TEST (HostContract, MainBusesAreMonoAndEnabledFromTheStart)
{
    TessaroAudioProcessor p;

    for (const auto isInput : { true, false })
    {
        SCOPED_TRACE (isInput ? "input" : "output");
        auto* bus = p.getBus (isInput, 0);
        ASSERT_NE (bus, nullptr);
        EXPECT_TRUE (bus->isEnabledByDefault());
        EXPECT_TRUE (bus->isEnabled());
        EXPECT_EQ (bus->getDefaultLayout(), juce::AudioChannelSet::mono());
    }

    EXPECT_EQ (p.getTotalNumInputChannels(), 1);
    EXPECT_EQ (p.getTotalNumOutputChannels(), 1);

    juce::AudioProcessor::BusesLayout mono;
    mono.inputBuses.add (juce::AudioChannelSet::mono());
    mono.outputBuses.add (juce::AudioChannelSet::mono());
    EXPECT_TRUE (p.setBusesLayout (mono));
    EXPECT_EQ (p.getMainBusNumInputChannels(), 1);
    EXPECT_EQ (p.getMainBusNumOutputChannels(), 1);
}
