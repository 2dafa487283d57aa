// No heap allocation on the audio thread: the global allocator is replaced
// in this executable and counts what the calling thread allocates while it
// is marked as the audio thread.

#include "helpers/ProcessorHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

namespace
{
    thread_local bool onAudioThread = false;
    std::atomic<long> audioThreadAllocations { 0 };

    void* allocate (std::size_t size)
    {
        if (onAudioThread)
            audioThreadAllocations.fetch_add (1, std::memory_order_relaxed);

        if (void* p = std::malloc (size == 0 ? 1 : size))
            return p;
        throw std::bad_alloc();
    }
}

void* operator new (std::size_t size) { return allocate (size); }
void* operator new[] (std::size_t size) { return allocate (size); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept
{
    try
    {
        return allocate (size);
    }
    catch (...)
    {
        return nullptr;
    }
}
void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept
{
    try
    {
        return allocate (size);
    }
    catch (...)
    {
        return nullptr;
    }
}
void operator delete (void* p) noexcept { std::free (p); }
void operator delete[] (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t) noexcept { std::free (p); }

namespace
{
    /** Runs the body on a thread of its own marked as the audio thread, as a
        host's audio callback would, and returns what it allocated. */
    template <typename Body>
    long allocationsOnAudioThread (Body&& body)
    {
        audioThreadAllocations = 0;
        std::thread audio ([&] {
            onAudioThread = true;
            body();
            onAudioThread = false;
        });
        audio.join();
        return audioThreadAllocations.load();
    }
}

TEST (RealTime, ProcessBlockAndAutomationNeverAllocate)
{
    TessaroAudioProcessor p;
    p.prepareToPlay (48000.0, 512);

    juce::AudioBuffer<float> buffer (1, 512);
    juce::MidiBuffer midi;
    juce::Random random (21);
    const auto& params = p.getParameters();

    const auto allocations = allocationsOnAudioThread ([&] {
        for (int block = 0; block < 2000; ++block)
        {
            // Hosts deliver automation inside their process call, then process.
            for (int n = 0; n < 3; ++n)
                params[random.nextInt (params.size())]->setValueNotifyingHost (random.nextFloat());

            // The low cut goes on and off: its sections change between flat and designed.
            params[TessaroParameters::lowCut]->setValueNotifyingHost ((block & 1) != 0 ? 1.0f : 0.0f);

            for (int i = 0; i < buffer.getNumSamples(); ++i)
                buffer.setSample (0, i, random.nextFloat() * 2.0f - 1.0f);
            p.processBlock (buffer, midi);
        }
    });

    EXPECT_EQ (allocations, 0);
}

// A program change delivered inside the host's process call, as VST3 hosts
// may deliver it: nothing is allocated there (the recall follows on the
// message thread).
TEST (RealTime, AProgramChangeOnTheAudioThreadNeverAllocates)
{
    TessaroAudioProcessor p;
    p.prepareToPlay (48000.0, 512);
    juce::AudioBuffer<float> buffer (1, 512);
    juce::MidiBuffer midi;

    const auto allocations = allocationsOnAudioThread ([&] {
        for (int block = 0; block < 100; ++block)
        {
            buffer.clear();
            p.processBlock (buffer, midi);
            p.setCurrentProgram (block % TessaroAudioProcessor::numPrograms);
        }
    });

    EXPECT_EQ (allocations, 0);
}

// The host's bypass fades in and out, and designs crossfade meanwhile.
TEST (RealTime, BypassFadesAndCrossfadesNeverAllocate)
{
    TessaroAudioProcessor p;
    p.prepareToPlay (48000.0, 256);
    juce::AudioBuffer<float> buffer (1, 256);
    juce::MidiBuffer midi;
    juce::Random random (22);
    auto* distance = p.getParameters()[TessaroParameters::distance];

    const auto allocations = allocationsOnAudioThread ([&] {
        for (int block = 0; block < 1000; ++block)
        {
            if (block % 3 == 0)
                distance->setValueNotifyingHost (random.nextFloat());

            for (int i = 0; i < buffer.getNumSamples(); ++i)
                buffer.setSample (0, i, random.nextFloat() * 2.0f - 1.0f);

            if ((block / 7) % 2 == 0)
                p.processBlock (buffer, midi);
            else
                p.processBlockBypassed (buffer, midi);
        }
    });

    EXPECT_EQ (allocations, 0);
}

TEST (RealTime, TheCounterSeesAllocations)
{
    // Makes sure the test above would notice.
    const auto allocations = allocationsOnAudioThread ([] {
        auto* p = new int (3);
        delete p;
        std::vector<float> v (100);
        (void) v;
    });
    EXPECT_EQ (allocations, 2);
}
