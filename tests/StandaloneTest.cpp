// The processor each wrapper creates, before any audio device or host has
// prepared it: the Standalone shows a designed curve from the start, while
// plug-in hosts get the processor exactly as before.

#include "TessaroPluginProcessor.h"

#include <gtest/gtest.h>

namespace
{
    /** What a wrapper does to create its processor (juce::createPluginFilterOfType). */
    std::unique_ptr<juce::AudioProcessor> createAs (juce::AudioProcessor::WrapperType type)
    {
        const auto previous = juce::PluginHostType::jucePlugInClientCurrentWrapperType;
        juce::PluginHostType::jucePlugInClientCurrentWrapperType = type;
        juce::AudioProcessor::setTypeOfNextNewPlugin (type);
        std::unique_ptr<juce::AudioProcessor> created (createPluginFilter());
        juce::AudioProcessor::setTypeOfNextNewPlugin (juce::AudioProcessor::wrapperType_Undefined);
        juce::PluginHostType::jucePlugInClientCurrentWrapperType = previous;
        return created;
    }

    const juce::Rectangle<float> field { 24.0f, 320.0f, 952.0f, 250.0f };

    juce::Rectangle<float> curveBounds (const TessaroAudioProcessor& p)
    {
        juce::Path path;
        p.buildResponsePath (path, field);
        return path.getBounds();
    }

    std::vector<double> responseAt (double rate)
    {
        TessaroAudioProcessor reference;
        reference.prepareToPlay (rate, 512);
        return reference.getCombinedResponse();
    }

    void expectSameResponse (const std::vector<double>& actual, const std::vector<double>& expected)
    {
        ASSERT_EQ (actual.size(), expected.size());
        for (size_t i = 0; i < actual.size(); ++i)
            ASSERT_NEAR (actual[i], expected[i], 1.0e-9 * expected[i]) << "grid point " << i;
    }
}

TEST (WrapperStart, OnlyTheStandaloneIsDesignedBeforeAnyDevice)
{
    using W = juce::AudioProcessor;
    struct Case
    {
        W::WrapperType type;
        const char* name;
        bool designed;
    };
    const Case cases[] {
        { W::wrapperType_Standalone, "Standalone", true },
        { W::wrapperType_VST3, "VST3", false },
        { W::wrapperType_LV2, "LV2", false },
        { W::wrapperType_AAX, "AAX", false },
        { W::wrapperType_Undefined, "no wrapper", false },
    };

    const auto atDefaultRate = responseAt (TessaroPluginProcessor::standaloneDefaultRate);

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto created = createAs (c.type);
        auto* p = dynamic_cast<TessaroPluginProcessor*> (created.get());
        ASSERT_NE (p, nullptr);
        ASSERT_EQ (p->wrapperType, c.type);

        const auto curve = curveBounds (*p);
        if (c.designed)
        {
            // The default settings lift the lows and highs: a curve with height.
            EXPECT_GT (curve.getHeight(), 20.0f);
            expectSameResponse (p->getCombinedResponse(), atDefaultRate);
        }
        else
        {
            // Untouched until the host prepares it: the curve on the bottom edge.
            EXPECT_FLOAT_EQ (curve.getY(), field.getBottom());
            EXPECT_FLOAT_EQ (curve.getBottom(), field.getBottom());
        }
    }
}

TEST (WrapperStart, TheStandaloneFollowsTheDeviceThatStartsLater)
{
    const auto created = createAs (juce::AudioProcessor::wrapperType_Standalone);
    auto& p = dynamic_cast<TessaroPluginProcessor&> (*created);

    // A device at another rate prepares it again; the design follows.
    p.prepareToPlay (96000.0, 256);
    const auto at96k = responseAt (96000.0);
    expectSameResponse (p.getCombinedResponse(), at96k);
    EXPECT_NE (at96k.back(), responseAt (TessaroPluginProcessor::standaloneDefaultRate).back());

    // And it plays: a block through the chain comes out finite and not silent.
    juce::AudioBuffer<float> buffer (1, 256);
    for (int i = 0; i < buffer.getNumSamples(); ++i)
        buffer.setSample (0, i, std::sin (0.05f * (float) i));
    juce::MidiBuffer midi;
    p.processBlock (buffer, midi);
    EXPECT_GT (buffer.getMagnitude (0, 0, buffer.getNumSamples()), 0.1f);
}
