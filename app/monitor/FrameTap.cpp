#include "FrameTap.h"

void FrameTap::Frame(const DecodedFrame& frame) {
    m_recorded.fetch_add(1, std::memory_order_relaxed);
    std::lock_guard g(m_mutex);
    if (m_queue.size() >= kMaxQueued) m_queue.pop_front();
    m_queue.push_back(frame);
}

std::deque<DecodedFrame> FrameTap::Take() {
    std::deque<DecodedFrame> batch;
    std::lock_guard g(m_mutex);
    batch.swap(m_queue);
    return batch;
}
