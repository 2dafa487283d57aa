#pragma once

#include "processor/ChainDesign.h"
#include "processor/ChainDesigner.h"
#include "processor/TripleBuffer.h"

#include <atomic>
#include <functional>

/** Carries parameter changes to complete designs, and the designs to their
    two readers: processBlock (the audio thread) and the response model.

    Any thread may report a change; none of them waits or allocates. One
    thread at a time designs: the one that took the designer role. A change
    reported while another thread holds the role is left for that thread,
    which designs it before letting go (see requestRedesign for why no change
    can be stranded). Each finished design is published whole through a
    triple buffer per reader, so a reader only ever sees complete designs. */
class DesignHandOver
{
public:
    /** Reads the parameters' current values; called by whichever thread
        designs, so it must be real-time safe. */
    using InputSource = std::function<ChainDesigner::Inputs()>;

    explicit DesignHandOver (InputSource source);

    /** A new rate and output gain, from prepareToPlay or construction (not
        the audio thread). Takes effect with the next design. */
    void setRateContext (const ChainDesigner::RateContext& context);

    /** Reports that the parameters with these bits (1 << parameter index)
        changed, and designs them now unless another thread is designing,
        which then does it. Real-time safe. */
    void requestRedesign (unsigned int changedParameters) noexcept;

    /** The audio thread's side: takes the newest design if there is a new
        one (returns true), after which audioDesign() is it. */
    bool takeAudioDesign() noexcept { return audioDesigns.update(); }
    const ChainDesign& audioDesign() const noexcept { return audioDesigns.read(); }

    /** The model's side, likewise. One reader at a time (the model's lock). */
    bool takeModelDesign() noexcept { return modelDesigns.update(); }
    const ChainDesign& modelDesign() const noexcept { return modelDesigns.read(); }

private:
    void designWhileHoldingTheRole() noexcept;

    InputSource inputs;

    // The role and the changes left for its holder share one word.
    static constexpr unsigned int designerBusyBit = 1u << 31;
    std::atomic<unsigned int> designerState { 0 };

    ChainDesign workingDesign;                               // owned by the role's holder
    TripleBuffer<ChainDesigner::RateContext> rateContexts;   // prepareToPlay -> designer
    TripleBuffer<ChainDesign> audioDesigns;                  // designer -> processBlock
    TripleBuffer<ChainDesign> modelDesigns;                  // designer -> response model
};
