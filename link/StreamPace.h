// How long the receive thread lets a steady stream gather before it reads again: a few messages'
// time when they come fast and evenly, so it wakes once for several of them instead of once each
// (as a USB serial adapter's latency timer does). A lone message, or a slow stream, is read at
// once.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>

class StreamPace {
public:
    using Clock = std::chrono::steady_clock;
    // Messages a gathering waits for, and the longest a message may wait in it.
    static constexpr int kGatherMessages = 4;
    static constexpr Clock::duration kGatherLimit = std::chrono::milliseconds(13);

    // A message was handled.
    void Handled() { ++m_handled; }
    // The device was answered: it may wait for the answer before it sends more, so the next read
    // does not gather.
    void Answered() { m_answered = true; }
    // The reader is about to wait for bytes between messages: what it handled since it last waited
    // came in one read. Returns how long to gather from `now`: kGatherMessages at the pace of the
    // last reads, at most kGatherLimit; zero unless two messages come within that.
    Clock::duration Gather(Clock::time_point now);
    void Reset();

private:
    static constexpr size_t kReads = 9;    // reads the pace is taken over
    static constexpr unsigned kEnough = 8; // messages needed to tell a pace
    std::array<Clock::time_point, kReads> m_at{};
    std::array<unsigned, kReads> m_messages{};
    size_t m_reads = 0; // reads noted, up to kReads
    size_t m_next = 0;  // where the next read goes
    unsigned m_handled = 0;
    bool m_answered = false;
};
