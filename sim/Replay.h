// Plays the device's side of a capture (talvex --capture) to a client: the frames the device sent,
// with the recorded time between them scaled by a speed, waiting for each answer of the client
// where the recording has one, and comparing the client's answers with the recorded ones. Pings
// follow the client's own timer, not the device: they are answered as they come and are left
// out of the comparison, as are the recorded ping replies.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Pcapng.h"

struct ReplayOptions {
    double speed = 1.0; // 0: as fast as possible
    // How long an answer may take beyond the recorded time, once the client has said anything.
    std::chrono::milliseconds answerTime{10000};
    std::function<void(const std::string&)> log; // progress lines; none: silent
};

struct ReplayResult {
    bool same = false;
    std::string report; // the first difference decoded, or what was played
};

class Replay {
public:
    // Checks the whole capture before anything is played; false with `error` naming the frame
    // and its byte offset.
    bool Load(const PcapngFile& file, std::string& error);
    // Plays to `fd` (made non-blocking; not closed). The first answer is waited for without a
    // limit: someone has to start the client.
    ReplayResult Play(int fd, const ReplayOptions& options);
    // Ends Play() soon; async-signal-safe.
    void RequestStop();
    Replay();
    ~Replay();
    Replay(const Replay&) = delete;
    Replay& operator=(const Replay&) = delete;

private:
    std::vector<PcapngPacket> m_packets;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_stop{false};
};
