#pragma once

#include <juce_events/juce_events.h>

#include <atomic>
#include <functional>
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
    /** `work` is what runWorkOnMessageThread asks for; it runs on the
        message thread while the broadcaster is alive. */
    ChangeNotifier (juce::ChangeBroadcaster& broadcasterToNotify, std::function<void()> work);
    ~ChangeNotifier();

    /** Real-time safe: no lock, no allocation off the message thread. */
    void notify() noexcept;

    /** Real-time safe: has the work run on the message thread within one
        tick. Requests made before it runs are served by one run. */
    void runWorkOnMessageThread() noexcept;

    static constexpr int pollIntervalMs = 30;

private:
    struct Poller final : juce::Timer
    {
        void timerCallback() override;

        // Never taken on the audio thread. Recursive: the work may change
        // parameters, and their changes notify again.
        std::recursive_mutex broadcasterLock;
        juce::ChangeBroadcaster* broadcaster = nullptr;   // null once the owner is gone
        std::function<void()> work;
        std::atomic<bool> pending { false }, workPending { false };
    };

    std::shared_ptr<Poller> poller;

    JUCE_DECLARE_NON_COPYABLE (ChangeNotifier)
};
