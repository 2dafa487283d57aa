#include "processor/ChangeNotifier.h"

#include <utility>

namespace
{
    bool isMessageThread() noexcept
    {
        auto* messageManager = juce::MessageManager::getInstanceWithoutCreating();
        return messageManager != nullptr && messageManager->isThisTheMessageThread();
    }
}

ChangeNotifier::ChangeNotifier (juce::ChangeBroadcaster& broadcasterToNotify, std::function<void()> work)
    : poller (std::make_shared<Poller>())
{
    poller->broadcaster = &broadcasterToNotify;
    poller->work = std::move (work);
    poller->startTimer (pollIntervalMs);
}

ChangeNotifier::~ChangeNotifier()
{
    // Waits for a callback that is sending right now; later ones send nothing.
    {
        const std::lock_guard<std::recursive_mutex> lock (poller->broadcasterLock);
        poller->broadcaster = nullptr;
    }

    poller->stopTimer();

    // A callback may already be on its way to this timer (off the message
    // thread), or be the very caller of this destructor (the work it runs
    // can lead a host to delete the processor). Deleting the timer later, on
    // the message thread, orders that after any such callback.
    if (auto* messageManager = juce::MessageManager::getInstanceWithoutCreating())
        messageManager->callAsync ([keepAlive = std::move (poller)] {});
}

void ChangeNotifier::notify() noexcept
{
    if (isMessageThread())
    {
        const std::lock_guard<std::recursive_mutex> lock (poller->broadcasterLock);

        if (poller->broadcaster != nullptr)
            poller->broadcaster->sendChangeMessage();
    }
    else
    {
        poller->pending.store (true, std::memory_order_release);
    }
}

void ChangeNotifier::runWorkOnMessageThread() noexcept
{
    poller->workPending.store (true, std::memory_order_release);
}

void ChangeNotifier::Poller::timerCallback()
{
    const auto runWork = workPending.exchange (false, std::memory_order_acq_rel);
    const auto send = pending.exchange (false, std::memory_order_acq_rel);

    if (! runWork && ! send)
        return;

    const std::lock_guard<std::recursive_mutex> lock (broadcasterLock);

    if (broadcaster == nullptr)
        return;

    if (runWork && work != nullptr)
        work();

    // The work may have led to the owner's destruction.
    if (send && broadcaster != nullptr)
        broadcaster->sendChangeMessage();
}
