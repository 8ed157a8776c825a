#include "StreamPace.h"

StreamPace::Clock::duration StreamPace::Gather(Clock::time_point now) {
    m_at[m_next] = now;
    m_messages[m_next] = m_handled;
    m_handled = 0;
    m_next = (m_next + 1) % kReads;
    if (m_reads < kReads) ++m_reads;
    if (m_answered.exchange(false, std::memory_order_relaxed) || m_reads < kReads) return {};
    // The messages of every read but the oldest came after it.
    const Clock::time_point oldest = m_at[m_next];
    unsigned messages = 0;
    for (size_t i = 1; i < kReads; ++i) messages += m_messages[(m_next + i) % kReads];
    if (messages < kEnough) return {};
    const Clock::duration pace = (now - oldest) / messages;
    // A gathering that would mostly find one message saves no wake-up; nor one that is shorter
    // than a wake-up.
    if (pace * 2 > kGatherLimit || pace * kGatherMessages < std::chrono::microseconds(200))
        return {};
    return pace <= kFastPace ? pace * kGatherMessages : kGatherLimit;
}

void StreamPace::Reset() {
    m_reads = m_next = 0;
    m_handled = 0;
    m_answered.store(false, std::memory_order_relaxed);
}
