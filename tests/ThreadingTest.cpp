#include "helpers/ProcessorHelpers.h"
#include "TessaroPluginProcessor.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
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

    std::thread audio ([&] {
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

    std::thread automation ([&] {
        juce::Random random (2);
        const auto& params = p.getParameters();
        while (running)
            params[random.nextInt (params.size())]->setValueNotifyingHost (random.nextFloat());
    });

    std::thread state ([&] {
        while (running)
        {
            const auto block = test::state (p);
            test::restore (p, block);
            ++restores;
        }
    });

    std::thread drawing ([&] {
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
        void changeListenerCallback (juce::ChangeBroadcaster*) override { ++count; }
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
        void changeListenerCallback (juce::ChangeBroadcaster*) override { ++count; }
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
    TessaroPluginProcessor p;
    p.prepareToPlay (48000.0, 256);
    std::atomic<bool> running { true };

    std::thread host ([&] {
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

namespace
{
    bool sameDesign (const ChainDesign& a, const ChainDesign& b)
    {
        return a.stages == b.stages && a.lowCutOn == b.lowCutOn && a.sampleRate == b.sampleRate
            && a.outputGain == b.outputGain;
    }

    /** What a fresh processor makes of a set of final values: its design and
        the first samples of its impulse response. */
    struct Expected
    {
        ChainDesign design;
        std::vector<float> impulse;
    };

    constexpr int impulseLength = 32;
}

// Several threads change different parameters at the same moment, one of them
// by restoring a state block, as a host's automation, an editor and a session
// load can. After they have all finished, the design in force on the audio
// side and on the model side must be the one a fresh processor makes from the
// final values: a change that nobody designed would leave the audio, the
// curve and the host's value disagreeing until some other parameter moves.
// The loss needs an unlucky interleaving, hence many short contended rounds.
TEST (Threading, NoChangeIsLostWhenThreadsChangeParametersAtOnce)
{
#if defined(__SANITIZE_THREAD__)
    constexpr int rounds = 3000;
#else
    constexpr int rounds = 100000;
#endif
    constexpr int numWorkers = 4;

    TessaroAudioProcessor p;
    p.prepareToPlay (48000.0, 256);

    // Each worker owns one parameter; the values are few so that the
    // expected results can be cached.
    const std::array<std::vector<float>, numWorkers> values { {
        { 0.0f, 1.0f, 2.0f },             // microphone
        { 0.0f, 30.0f, 70.0f, 100.0f },   // distance
        { 0.0f, 35.0f, 100.0f },          // freeField
        { 0.0f, 45.0f, 100.0f },          // aimingAccurancy, by state restore
    } };
    const char* ids[] { "microphone", "distance", "freeField", "aimingAccurancy" };

    std::map<std::array<float, numWorkers>, Expected> cache;
    auto expectedFor = [&] (const std::array<float, numWorkers>& finalValues) -> const Expected& {
        auto found = cache.find (finalValues);
        if (found != cache.end())
            return found->second;

        TessaroAudioProcessor fresh;
        for (int w = 0; w < numWorkers; ++w)
            test::set (fresh, ids[w], finalValues[(size_t) w]);
        fresh.prepareToPlay (48000.0, 256);
        return cache[finalValues] = { fresh.getDesign(), test::impulseResponse (fresh, impulseLength) };
    };

    std::vector<juce::MemoryBlock> blocks;
    for (auto value : values[3])
        blocks.push_back (test::blockWithXml ("<TessaroEQ><PARAM id=\"aimingAccurancy\" value=\""
                                              + juce::String (value) + "\"/></TessaroEQ>"));

    std::atomic<int> round { 0 }, finished { 0 };

    auto worker = [&] (int w) {
        juce::Random random (100 + w);
        const auto& choices = values[(size_t) w];

        for (int r = 1; r <= rounds; ++r)
        {
            while (round.load() < r)
                std::this_thread::yield();

            // One change per round and thread: a change left undesigned is
            // picked up by any later one, so only the last of a round shows.
            const auto value = choices[(size_t) random.nextInt ((int) choices.size())];

            if (w == 3)
                test::restore (p, blocks[(size_t) random.nextInt ((int) choices.size())]);
            else
                test::set (p, ids[w], value);

            ++finished;
        }
    };

    std::vector<std::thread> workers;
    for (int w = 0; w < numWorkers; ++w)
        workers.emplace_back (worker, w);

    int lostRounds = 0;
    juce::String firstLoss;

    for (int r = 1; r <= rounds; ++r)
    {
        round = r;
        while (finished.load() < r * numWorkers)
            std::this_thread::yield();

        // A restore rewrites every parameter, so a value set at the same
        // moment by another thread may or may not survive it; what must hold
        // is that the design matches the values the parameters end up with.
        std::array<float, numWorkers> finalValues {};
        for (int w = 0; w < numWorkers; ++w)
            finalValues[(size_t) w] = test::get (p, ids[w]);

        const auto& expected = expectedFor (finalValues);

        // The audio side: the block after the changes runs the design in force.
        p.releaseResources();
        const auto impulse = test::impulseResponse (p, impulseLength);
        const auto modelDesign = p.getDesign();

        if (impulse != expected.impulse || ! sameDesign (modelDesign, expected.design))
        {
            if (lostRounds++ == 0)
                firstLoss << "round " << r << ": audio side " << (impulse == expected.impulse ? "right" : "stale")
                          << ", model side " << (sameDesign (modelDesign, expected.design) ? "right" : "stale");
        }
    }

    for (auto& t : workers)
        t.join();

    EXPECT_EQ (lostRounds, 0) << "changes lost in " << lostRounds << " of " << rounds << " rounds; first: " << firstLoss;
}

// A host may destroy the processor on a thread of its own while the message
// thread is about to deliver a change it made from its audio thread.
TEST (Threading, ProcessorDestroyedOffTheMessageThreadWhileAChangeIsDelivered)
{
    std::atomic<bool> done { false };

    std::thread host ([&] {
        for (int i = 0; i < 40; ++i)
        {
            auto p = std::make_unique<TessaroAudioProcessor>();
            test::set (*p, "distance", (float) (i % 100));
            // Straddle the notifier's tick, so some destructions meet a
            // callback on the message thread.
            std::this_thread::sleep_for (std::chrono::milliseconds (ChangeNotifier::pollIntervalMs - 2 + i % 5));
            p.reset();
        }
        done = true;
    });

    while (! done)
        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);

    host.join();
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ChangeNotifier::pollIntervalMs * 2);
}
