#include "ProcessorHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

// Runs under ThreadSanitizer in the test suite: one thread processes audio,
// one automates all six parameters as a host does from its audio thread, one
// saves and restores state, one draws the response; the message thread keeps
// delivering change messages.
TEST (Threading, ConcurrentProcessingAutomationStateAndDrawing)
{
    TessaroAudioProcessor p;
    p.prepareToPlay (48000.0, 256);

    std::atomic<bool> running { true };
    std::atomic<bool> allFinite { true };
    std::atomic<int> blocks { 0 }, paths { 0 }, restores { 0 }, changes { 0 };

    std::thread audio ([&]
    {
        juce::Random random (1);
        juce::AudioBuffer<float> buffer (1, 256);
        juce::MidiBuffer midi;
        while (running)
        {
            for (int i = 0; i < 256; ++i)
                buffer.setSample (0, i, random.nextFloat() * 2.0f - 1.0f);
            p.processBlock (buffer, midi);
            for (int i = 0; i < 256; ++i)
                if (! std::isfinite (buffer.getSample (0, i)))
                    allFinite = false;
            ++blocks;
        }
    });

    std::thread automation ([&]
    {
        juce::Random random (2);
        const auto& params = p.getParameters();
        while (running)
            params[random.nextInt (params.size())]->setValueNotifyingHost (random.nextFloat());
    });

    std::thread state ([&]
    {
        while (running)
        {
            const auto block = test::state (p);
            test::restore (p, block);
            ++restores;
        }
    });

    std::thread drawing ([&]
    {
        while (running)
        {
            juce::Path path;
            p.buildResponsePath (path, { 24.0f, 342.0f, 952.0f, 270.0f });
            for (auto v : p.getCombinedResponse())
                if (! std::isfinite (v) || v <= 0.0)
                    allFinite = false;
            ++paths;
        }
    });

    struct Counter : juce::ChangeListener
    {
        explicit Counter (std::atomic<int>& n) : count (n) {}
        void changeListenerCallback (juce::ChangeBroadcaster*) override   { ++count; }
        std::atomic<int>& count;
    } counter (changes);
    p.addChangeListener (&counter);

    const auto end = juce::Time::getMillisecondCounter() + 3000;
    while (juce::Time::getMillisecondCounter() < end)
        juce::MessageManager::getInstance()->runDispatchLoopUntil (50);

    running = false;
    for (auto* t : { &audio, &automation, &state, &drawing })
        t->join();

    p.removeChangeListener (&counter);

    EXPECT_TRUE (allFinite);
    EXPECT_GT (blocks.load(), 10);
    EXPECT_GT (paths.load(), 10);
    EXPECT_GT (restores.load(), 10);
    EXPECT_GT (changes.load(), 0);   // changes from other threads reach the message thread
}

TEST (Threading, ChangesFromTheMessageThreadAreAnnouncedAtOnce)
{
    TessaroAudioProcessor p;
    p.prepareToPlay (48000.0, 256);

    struct Counter : juce::ChangeListener
    {
        void changeListenerCallback (juce::ChangeBroadcaster*) override   { ++count; }
        int count = 0;
    } counter;
    p.addChangeListener (&counter);

    test::set (p, "distance", 12.0f);
    EXPECT_EQ (counter.count, 0);   // delivered asynchronously
    juce::MessageManager::getInstance()->runDispatchLoopUntil (10);
    EXPECT_EQ (counter.count, 1);

    std::thread other ([&] { test::set (p, "distance", 13.0f); });
    other.join();
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ChangeNotifier::pollIntervalMs * 4);
    EXPECT_EQ (counter.count, 2);
    p.removeChangeListener (&counter);
}

// The host closes and reopens the window while its audio thread keeps
// processing and automating: no listener may outlive its editor.
TEST (Threading, EditorsComeAndGoWhileTheHostAutomates)
{
    TessaroAudioProcessor p;
    p.prepareToPlay (48000.0, 256);
    std::atomic<bool> running { true };

    std::thread host ([&]
    {
        juce::Random random (3);
        juce::AudioBuffer<float> buffer (1, 256);
        juce::MidiBuffer midi;
        const auto& params = p.getParameters();
        while (running)
        {
            params[random.nextInt (params.size())]->setValueNotifyingHost (random.nextFloat());
            buffer.clear();
            p.processBlock (buffer, midi);
        }
    });

    for (int i = 0; i < 20; ++i)
    {
        // As a host does: the processor makes the editor and keeps track of it.
        std::unique_ptr<juce::AudioProcessorEditor> editor (p.createEditorIfNeeded());
        ASSERT_NE (editor, nullptr);
        juce::MessageManager::getInstance()->runDispatchLoopUntil (40);
        const auto image = editor->createComponentSnapshot (editor->getLocalBounds(), false, 0.25f);
        EXPECT_FALSE (image.isNull());
        editor.reset();
        juce::MessageManager::getInstance()->runDispatchLoopUntil (10);
    }

    running = false;
    host.join();
}
