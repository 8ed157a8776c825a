// The module-wide link state, shared by the link's own units only.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "LinkCtrl.h"
#include "LinkServices.h"
#include "SerialPort.h"

struct LinkState {
    std::atomic<bool> initialised{false};
    std::recursive_mutex lock;
    SerialPort port;
    std::atomic<uint32_t> notifyMessage{0};
    std::atomic<int> lastOutcome{0};
    std::atomic<bool> pingOutstanding{false};
    std::atomic<bool> pingsAllowed{false};
    std::atomic<bool> keepPanel{false};
    std::atomic<bool> ackOption{false};
    // Title and about text are guarded by `lock`.
    std::u16string title = u"Talvex";
    std::optional<std::u16string> aboutText;
    std::vector<CLinkCtrl> live;     // guarded by `lock`
    std::vector<CLinkCtrl> download; // receive thread only
    bool downloadLeftOver = false;

    // Receive threads still running; close and shutdown wait for none.
    std::mutex threadsMutex;
    std::condition_variable threadsIdle;
    int threadsRunning = 0;
};

LinkState& LinkStateInstance();
ILinkAlerts* LinkAlerts();

// Releases a table: "Data transmission error." at the first entry a broken download never filled.
void LinkReleaseTable(std::vector<CLinkCtrl>& table);
// Waits until no receive thread runs.
void LinkWaitForReceivers();
