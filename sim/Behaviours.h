// The device's timed behaviour while a client is connected: clocks, counters, matrix rows
// streamed into a ring, attribute changes, message boxes and presence queries, each due at its
// own period on the monotonic clock. Running a behaviour changes the device's model and yields
// the messages that tell the client.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "DeviceWire.h"
#include "SimPanel.h"

struct OutMessage {
    uint16_t code = 0;
    ByteVec payload;
};

class BehaviourRunner {
public:
    using Clock = std::chrono::steady_clock;

    explicit BehaviourRunner(const std::vector<Behaviour>& behaviours);
    // (Re)starts every schedule, as when a client connects.
    void Start(const Panel& panel, Clock::time_point now);
    void StopAll() { m_running = false; }
    // Runs what is due by `now`. When `congested` (the client is not reading), due runs are
    // skipped rather than queued.
    std::vector<OutMessage> RunDue(Panel& panel, Clock::time_point now, bool congested,
                                   std::vector<std::string>& notes);
    std::optional<Clock::time_point> NextDue() const;
    // The client set a date/time: a clock on that control goes on from the new time.
    void DateTimeSet(const Panel& panel, uint32_t id);

private:
    struct Slot {
        Behaviour b;
        Clock::time_point due{};
        bool done = false;
        size_t step = 0;
        int64_t counter = 0;     // Counter: the last value shown
        int64_t clockOffset = 0; // seconds the device clock runs ahead of the local time
    };
    void Run(Slot& s, Panel& panel, Clock::time_point now, std::vector<OutMessage>& out,
             std::vector<std::string>& notes);

    std::vector<Slot> m_slots;
    Clock::time_point m_started{};
    bool m_running = false;
};
