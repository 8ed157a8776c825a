// The protocol monitor's end of the link: decoded frames queued from whichever thread sent or
// received them, taken in batches by the user-interface thread. While nobody watches, Wanted()
// is false and the link builds no records at all. The queue is bounded, so a user-interface
// thread that falls behind loses the oldest frames instead of memory.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

#include "FrameDecoder.h"
#include "LinkServices.h"

class FrameTap : public ILinkFrameMonitor {
public:
    static constexpr size_t kMaxQueued = 10000;

    void SetWatching(bool on) { m_watching.store(on, std::memory_order_relaxed); }
    bool Wanted() const override { return m_watching.load(std::memory_order_relaxed); }
    void Frame(const DecodedFrame& frame) override;

    // Everything queued since the last call, oldest first.
    std::deque<DecodedFrame> Take();
    // Records the link has handed over since start-up.
    uint64_t Recorded() const { return m_recorded.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> m_watching{false};
    std::atomic<uint64_t> m_recorded{0};
    std::mutex m_mutex; // held only to push or to swap the queue out
    std::deque<DecodedFrame> m_queue;
};
