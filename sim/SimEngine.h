// The simulated device: serves one byte stream (a pseudo-terminal master, a serial port) with a
// panel. It answers the client's requests, keeps its own model of every control's value, echoes
// what a device would confirm, runs the panel's timed behaviour and, when watching its panel
// file, announces a changed panel. All waiting is in poll() on the stream and a wake-up pipe,
// with time-outs from the monotonic clock, so Stop() ends Serve() at once.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "SimPanel.h"

struct ClientMessage;

struct SimOptions {
    // Every frame in both directions, decoded, besides the notes on what the device does.
    bool verbose = false;
    // Where the lines go; called on the serving thread. None: silent.
    std::function<void(const std::string&)> log;
    // A panel file to watch: after it changes on disk (and still loads) the device takes the
    // new panel and tells a connected client with MSG_PANEL_CHANGED.
    std::string watchPath;
};

struct SimCounters {
    uint64_t messages = 0; // client messages handled, of any kind
    uint64_t connects = 0;
    uint64_t disconnects = 0;
    uint64_t pings = 0;
    uint64_t acks = 0;
    uint64_t presenceReplies = 0;
    uint64_t malformed = 0;
    uint64_t panelChanges = 0;
    uint64_t sent = 0;      // device messages sent
    uint64_t askedAcks = 0; // of them asking the client to acknowledge
    uint64_t acksGiven = 0; // acknowledgements of client messages that asked for one
    std::vector<std::pair<uint32_t, uint8_t>> answers; // message-box answers (id, answer)
};

class SimEngine {
public:
    explicit SimEngine(const Panel& panel, SimOptions options = {});
    ~SimEngine(); // stops and joins
    SimEngine(const SimEngine&) = delete;
    SimEngine& operator=(const SimEngine&) = delete;

    // Serves `fd` (made non-blocking; not closed) until Stop(). Returns 0 when stopped or when
    // the stream ended, else the errno that broke it. A pseudo-terminal master whose client side
    // is closed is not an end: the device waits for the next client.
    int Serve(int fd);
    // Serve() on a thread of the engine's own.
    bool Start(int fd);
    // Ends Serve() and joins the engine's thread; safe from any thread, more than once.
    void Stop();
    // Only asks Serve() to end; async-signal-safe.
    void RequestStop();
    // Holds the timed behaviour (the device goes quiet while connected), or lets it go on.
    void HoldBehaviours(bool hold);

    // Snapshots of the device's model, for tests and the embedding application.
    std::optional<PanelControl> Control(uint32_t id) const;
    Panel PanelSnapshot() const;
    SimCounters Counters() const;
    bool ClientConnected() const;
    // Waits until at least `count` client messages have been handled.
    bool WaitForMessages(uint64_t count, std::chrono::milliseconds timeout) const;

private:
    struct Loop;
    void Handle(Loop& loop, const ClientMessage& msg);
    void Send(Loop& loop, uint16_t code, std::vector<uint8_t> payload, uint16_t flags = 0);
    void RunTimers(Loop& loop);
    void Wake(); // async-signal-safe
    void CheckPanelFile(Loop& loop);
    void FlushLog(Loop& loop);
    void Log(const std::string& line) const;

    SimOptions m_options;
    mutable std::mutex m_mutex; // guards the model and the counters
    mutable std::condition_variable m_handled;
    Panel m_panel;
    SimCounters m_counters;
    bool m_connected = false;

    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_holdBehaviours{false};
    std::atomic<bool> m_serving{false};
    std::thread m_thread;
};
