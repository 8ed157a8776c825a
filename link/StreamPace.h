// How long the receive thread lets a steady stream gather before it reads again, so it wakes once
// for several messages instead of once each (as a USB serial adapter's latency timer does). A
// fast stream gathers a few messages' time, so each value still reaches the window within a few
// milliseconds; a stream at a serial line's pace gathers for as long as the window takes between
// two showings of values, since nobody sees a value sooner. A lone message, bytes that come back
// to back, or a stream slower than two messages a gathering is read at once.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>

class StreamPace {
public:
    using Clock = std::chrono::steady_clock;
    // A stream at least this fast is faster than a 115,200-baud line carries (USB, network): a
    // gathering waits for kGatherMessages of it.
    static constexpr Clock::duration kFastPace = std::chrono::milliseconds(2);
    static constexpr int kGatherMessages = 4;
    // The longest a message may wait in a gathering: the window shows values every third screen
    // frame (50 ms at 60 Hz).
    static constexpr Clock::duration kGatherLimit = std::chrono::milliseconds(50);

    // A message was handled.
    void Handled() { ++m_handled; }
    // Something was sent to the device (any thread): it may answer, or wait for the answer before
    // it sends more, so the next read does not gather.
    void Answered() { m_answered.store(true, std::memory_order_relaxed); }
    // The reader is about to wait for bytes between messages: what it handled since it last waited
    // came in one read. Returns how long to gather from `now`, at the pace of the last reads:
    // kGatherMessages of a fast stream, kGatherLimit of a slower one; zero unless two messages
    // come within that.
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
    std::atomic<bool> m_answered{false};
};
