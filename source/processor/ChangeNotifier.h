#pragma once

#include <juce_events/juce_events.h>

#include <atomic>
#include <memory>
#include <mutex>

/** Sends a broadcaster's change message after a parameter change, whichever
    thread made it. Posting a message takes the message queue's lock, so it
    is done only on the message thread; any other thread (a host's audio
    thread delivering automation, say) just raises a flag, which a timer on
    the message thread turns into a change message within one tick.

    Hosts may destroy a processor on a thread of their own while the timer's
    callback runs on the message thread. The timer therefore lives in a
    shared object that the notifier lets go of safely: the destructor waits
    for a callback in progress, and the timer object itself is deleted on
    the message thread, after any callback that was already due. */
class ChangeNotifier
{
public:
    explicit ChangeNotifier (juce::ChangeBroadcaster& broadcasterToNotify);
    ~ChangeNotifier();

    /** Real-time safe: no lock, no allocation off the message thread. */
    void notify() noexcept;

    static constexpr int pollIntervalMs = 30;

private:
    struct Poller final : juce::Timer
    {
        void timerCallback() override;

        std::mutex broadcasterLock;                      // never taken on the audio thread
        juce::ChangeBroadcaster* broadcaster = nullptr;  // null once the owner is gone
        std::atomic<bool> pending { false };
    };

    std::shared_ptr<Poller> poller;

    JUCE_DECLARE_NON_COPYABLE (ChangeNotifier)
};
