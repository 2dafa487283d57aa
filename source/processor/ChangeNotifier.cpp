#include "processor/ChangeNotifier.h"

ChangeNotifier::ChangeNotifier (juce::ChangeBroadcaster& broadcasterToNotify)
    : broadcaster (broadcasterToNotify)
{
    startTimer (pollIntervalMs);
}

ChangeNotifier::~ChangeNotifier()
{
    stopTimer();
}

void ChangeNotifier::notify() noexcept
{
    auto* messageManager = juce::MessageManager::getInstanceWithoutCreating();

    if (messageManager != nullptr && messageManager->isThisTheMessageThread())
        broadcaster.sendChangeMessage();
    else
        pending.store (true, std::memory_order_release);
}

void ChangeNotifier::timerCallback()
{
    if (pending.exchange (false, std::memory_order_acq_rel))
        broadcaster.sendChangeMessage();
}
