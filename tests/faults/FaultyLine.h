// A simulated device behind a faulty line: the engine serves one end of a socket pair and a
// relay thread carries its bytes to a pseudo-terminal the client opens. On the way to the client
// the relay corrupts or drops a given share of bytes (decided by a generator started from a given
// pattern number, so a run reproduces), or the device vanishes (the line hangs up) at a given byte
// of the next frame with a given code. What the client sends reaches the device unchanged.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "SimEngine.h"
#include "SimPorts.h"

struct FaultCounts {
    uint64_t bytes = 0;     // device bytes that reached the line
    uint64_t corrupted = 0; // of them changed
    uint64_t dropped = 0;   // of them never delivered
    uint64_t muted = 0;     // discarded while the device was muted
    bool vanished = false;
};

class FaultyLine {
public:
    // A device for `panel` on a new line; null with `error` set.
    static std::unique_ptr<FaultyLine> Start(const Panel& panel, uint64_t pattern,
                                             std::string& error, SimOptions options = {});
    ~FaultyLine(); // stops the relay and the engine, then closes the line
    FaultyLine(const FaultyLine&) = delete;
    FaultyLine& operator=(const FaultyLine&) = delete;

    const std::string& SlavePath() const { return m_pty.slavePath; }
    SimEngine& Engine() { return *m_engine; }

    // Shares (0..1) of the device's bytes from now on: changed to another value, or left out.
    void SetFaults(double corruptShare, double dropShare);
    // The device vanishes just before byte `offset` of the next frame it sends with `code`
    // (the header's first byte is offset 0): what came before has been read by the client, then
    // the line hangs up.
    void VanishAt(uint16_t code, size_t offset);
    // While muted the device's bytes are discarded (a device that has gone quiet).
    void Mute(bool on);
    // Bytes for the client, sent whole between the device's chunks (a frame the test makes).
    void Inject(std::vector<uint8_t> bytes);
    FaultCounts Counts() const;

private:
    FaultyLine() = default;
    void Relay();
    // Applies the faults to bytes from the device and queues what the client gets.
    void FromDevice(const uint8_t* p, size_t n);
    // Finds the vanishing frame (holding back a header that may be split over two chunks) and
    // counts down to the vanishing point; the rest goes to the client.
    void HoldOrVanish(const uint8_t* p, size_t n);
    void Deliver(const uint8_t* p, size_t n);
    void HangUp();

    PtyPair m_pty;
    int m_deviceEnd = -1; // the relay's end of the socket pair
    int m_engineEnd = -1; // served by the engine
    int m_wake[2] = {-1, -1};
    std::unique_ptr<SimEngine> m_engine;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};

    mutable std::mutex m_mutex; // guards what the test sets and the counts
    std::mt19937_64 m_random;
    double m_corrupt = 0, m_drop = 0;
    bool m_muted = false;
    struct Search {
        uint16_t code = 0;
        size_t offset = 0;
    };
    std::optional<Search> m_vanishRequest; // taken over by the relay
    std::vector<uint8_t> m_inject;
    FaultCounts m_counts;

    // Relay thread only.
    std::optional<Search> m_search;    // the vanishing frame, not seen yet
    std::optional<size_t> m_countdown; // bytes still delivered before the line hangs up
    std::vector<uint8_t> m_held;       // a possible header start, awaiting its code
    std::vector<uint8_t> m_toClient;   // after the faults
    size_t m_toClientPos = 0;
    std::vector<uint8_t> m_toDevice;
    size_t m_toDevicePos = 0;
    bool m_hangUpPending = false; // once m_toClient is out, the line hangs up
    bool m_hungUp = false;
    bool m_engineGone = false;
};
