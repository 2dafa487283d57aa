#pragma once

#include <array>
#include <atomic>

/** Hands complete values from one writer to one reader without locks or
    waiting. The writer fills its own slot and swaps it with the middle slot;
    the reader swaps the middle slot with its own when a fresh value is
    there. Neither side ever sees a slot the other is writing.

    "One writer" and "one reader" are roles: several threads may take a role
    in turn, as long as something orders them (an atomic flag with
    acquire/release, a lock, or a thread join). */
template <typename Value>
class TripleBuffer
{
public:
    TripleBuffer() = default;
    explicit TripleBuffer (const Value& initial) { slots.fill (initial); }

    /** The writer's slot: fill it completely, then call publish(). */
    Value& writeSlot() noexcept { return slots[(size_t) back]; }

    void publish() noexcept
    {
        back = middle.exchange (back | freshBit, std::memory_order_acq_rel) & indexMask;
    }

    /** Takes the newest published value, if there is one the reader has not
        taken yet. Returns true when read() changed. */
    bool update() noexcept
    {
        if ((middle.load (std::memory_order_relaxed) & freshBit) == 0)
            return false;

        front = middle.exchange (front, std::memory_order_acq_rel) & indexMask;
        return true;
    }

    /** The reader's current value. */
    const Value& read() const noexcept { return slots[(size_t) front]; }

private:
    static constexpr int indexMask = 3;
    static constexpr int freshBit = 4;

    std::array<Value, 3> slots {};
    int back = 0;
    std::atomic<int> middle { 1 };
    int front = 2;
};
