#pragma once

#include <juce_events/juce_events.h>

#include <atomic>

/** Sends a broadcaster's change message after a parameter change, whichever
    thread made it. Posting a message takes the message queue's lock, so it
    is done only on the message thread; any other thread (a host's audio
    thread delivering automation, say) just raises a flag, which a timer on
    the message thread turns into a change message within one tick. */
class ChangeNotifier : private juce::Timer
{
public:
    explicit ChangeNotifier (juce::ChangeBroadcaster& broadcasterToNotify);
    ~ChangeNotifier() override;

    /** Real-time safe: no lock, no allocation off the message thread. */
    void notify() noexcept;

    static constexpr int pollIntervalMs = 30;

private:
    void timerCallback() override;

    juce::ChangeBroadcaster& broadcaster;
    std::atomic<bool> pending { false };
};
