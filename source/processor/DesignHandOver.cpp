#include "processor/DesignHandOver.h"

#include <utility>

DesignHandOver::DesignHandOver (InputSource source)
    : inputs (std::move (source))
{
}

void DesignHandOver::setRateContext (const ChainDesigner::RateContext& context)
{
    rateContexts.writeSlot() = context;
    rateContexts.publish();
}

void DesignHandOver::requestRedesign (unsigned int changedParameters) noexcept
{
    // Taking the designer role and leaving a change for its holder are one
    // operation on one word: the change is either designed by this thread or
    // seen by the thread that holds the role.
    const auto before = designerState.fetch_or (changedParameters | designerBusyBit, std::memory_order_acq_rel);

    if ((before & designerBusyBit) == 0)
        designWhileHoldingTheRole();
}

void DesignHandOver::designWhileHoldingTheRole() noexcept
{
    // Why no change is ever stranded: every operation here and in
    // requestRedesign is a read-modify-write or compare-exchange on the one
    // word designerState, and all of them fall into that word's single
    // modification order.
    //  - A change reported while the busy bit is set is ORed in before or
    //    after the holder's exchange below. Before: the exchange takes it.
    //    After: the holder's compare-exchange expects the word to hold the
    //    busy bit alone, fails, and the holder goes round again.
    //  - A change reported after the compare-exchange released the word
    //    finds the busy bit clear, and its own thread becomes the designer.
    // Two flags in two words (release the role, then look for changes)
    // would not do: each thread's store can sit unseen in its store buffer
    // while it reads the other's word, and both miss the change.
    // Acquire/release on the word also carries the parameter values written
    // before a report, and the working design, from one holder to the next.
    for (;;)
    {
        const auto changed = designerState.exchange (designerBusyBit, std::memory_order_acq_rel) & ~designerBusyBit;

        rateContexts.update();
        workingDesign = ChainDesigner::redesign (workingDesign, changed, inputs(), rateContexts.read());

        audioDesigns.writeSlot() = workingDesign;
        audioDesigns.publish();
        modelDesigns.writeSlot() = workingDesign;
        modelDesigns.publish();

        auto expected = designerBusyBit;

        if (designerState.compare_exchange_strong (expected, 0u, std::memory_order_acq_rel, std::memory_order_acquire))
            return;
    }
}
