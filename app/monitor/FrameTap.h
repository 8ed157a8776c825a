// The protocol monitor's end of the link: decoded frames queued from whichever thread sent or
// received them, taken in batches by the user-interface thread. While nobody watches, Wanted()
// is false and the link builds no records at all. The queue is bounded, so a user-interface
// thread that falls behind loses the oldest frames instead of memory. A capture to a file takes
// the frames with their bytes from a queue of its own, on its writer's thread; that queue is
// bounded too, and frames beyond it are counted as lost rather than held.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "FrameDecoder.h"
#include "LinkServices.h"

class FrameTap : public ILinkFrameMonitor {
public:
    static constexpr size_t kMaxQueued = 10000;
    static constexpr size_t kMaxCaptureBytes = size_t(64) << 20;
    static constexpr size_t kCaptureBatchBytes = size_t(1) << 20;

    void SetWatching(bool on) { m_watching.store(on, std::memory_order_relaxed); }
    bool Wanted() const override {
        return m_watching.load(std::memory_order_relaxed) ||
               m_captureBytes.load(std::memory_order_relaxed);
    }
    size_t BytesWanted() const override { return m_captureBytes.load(std::memory_order_relaxed); }
    bool DecodeWanted() const override { return m_watching.load(std::memory_order_relaxed); }
    void Frame(const DecodedFrame& frame) override;
    void Frame(DecodedFrame&& frame) override;

    // Everything queued since the last call, oldest first.
    std::deque<DecodedFrame> Take();
    // Records the link has handed over since start-up.
    uint64_t Recorded() const { return m_recorded.load(std::memory_order_relaxed); }

    // Frames from now on carry their first `snapLength` bytes to the capture's queue; 0 stops
    // that and wakes a waiting TakeCaptured.
    void SetCapturing(size_t snapLength);
    // An empty buffer that holds a batch without growing, its memory already touched: the
    // capture's queue and its writer swap two of these, so capturing a frame neither grows nor
    // first touches the memory it is written to (unless the writer falls a batch behind).
    static std::vector<uint8_t> BatchBuffer();
    // Waits up to `timeout`, or until a batch has gathered, and takes the frames to capture, oldest
    // first; `lost` is what was left out since the last call because the queue was full.
    // Swaps `blocks` (emptied first, its memory kept for the next batch) for the packet blocks
    // gathered so far; `frames` says how many. Waits up to `timeout`, or until a batch is full.
    void TakeCaptured(std::chrono::milliseconds timeout, std::vector<uint8_t>& blocks,
                      uint64_t& frames);

private:
    std::atomic<bool> m_watching{false};
    std::atomic<size_t> m_captureBytes{0};
    std::atomic<uint64_t> m_recorded{0};
    std::mutex m_mutex; // held only to push or to swap a queue out
    std::deque<DecodedFrame> m_queue;
    std::condition_variable m_captured;
    std::vector<uint8_t> m_captureBlocks;
    uint64_t m_captureFrames = 0; // in m_captureBlocks
    uint64_t m_captureLost = 0;   // not yet noted
};
