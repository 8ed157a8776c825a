#include "FrameTap.h"

#include <utility>

void FrameTap::Frame(const DecodedFrame& frame) {
    m_recorded.fetch_add(1, std::memory_order_relaxed);
    const bool capturing = m_captureBytes.load(std::memory_order_relaxed) != 0;
    const bool watching = m_watching.load(std::memory_order_relaxed);
    bool wake = false;
    {
        std::lock_guard g(m_mutex);
        if (capturing) {
            if (m_captureQueued + frame.bytes.size() > kMaxCaptureBytes) {
                ++m_captureLost;
            } else {
                m_captureQueued += frame.bytes.size();
                m_captureQueue.push_back(frame);
                wake = m_captureQueue.size() == 1;
            }
        }
        if (watching) {
            if (m_queue.size() >= kMaxQueued) m_queue.pop_front();
            m_queue.push_back(frame);
            // The window shows the decode; the bytes would only hold memory.
            std::vector<uint8_t>().swap(m_queue.back().bytes);
        }
    }
    if (wake) m_captured.notify_one();
}

std::deque<DecodedFrame> FrameTap::Take() {
    std::deque<DecodedFrame> batch;
    std::lock_guard g(m_mutex);
    batch.swap(m_queue);
    return batch;
}

void FrameTap::SetCapturing(size_t snapLength) {
    {
        std::lock_guard g(m_mutex);
        if (snapLength && !m_captureBytes.load(std::memory_order_relaxed)) {
            m_captureQueue.clear(); // what a capture that failed left behind
            m_captureQueued = 0;
            m_captureLost = 0;
        }
        m_captureBytes.store(snapLength, std::memory_order_relaxed);
    }
    if (!snapLength) m_captured.notify_all();
}

std::deque<DecodedFrame> FrameTap::TakeCaptured(std::chrono::milliseconds timeout, uint64_t& lost) {
    std::deque<DecodedFrame> batch;
    std::unique_lock g(m_mutex);
    m_captured.wait_for(g, timeout, [this] {
        return !m_captureQueue.empty() || m_captureLost ||
               !m_captureBytes.load(std::memory_order_relaxed);
    });
    batch.swap(m_captureQueue);
    m_captureQueued = 0;
    lost = std::exchange(m_captureLost, 0);
    return batch;
}
