// A link opened on a pseudo-terminal whose other end the test plays as the device, with the
// view's loop reduced to "wait for the outcome, then restart the receiver".
#pragma once

#include <cstdint>
#include <vector>

#include "DeviceFrames.h"
#include "FakeServices.h"
#include "PtyPeer.h"

inline constexpr uint32_t kNotifyMessage = 0x8000;

class LinkHarness {
public:
    LinkHarness();
    ~LinkHarness();

    // Waits for the next outcome (INT32_MIN on time-out) and restarts the receiver.
    int NextOutcome(int timeoutMs = 3000);
    // Sends a panel definition message and waits for it to be applied.
    int LoadPanel(const std::vector<Bytes>& definitions);
    // Reads the next frame's header from the client; returns its code (-1 on time-out).
    int NextClientCode(uint16_t* flags = nullptr, int timeoutMs = 3000);

    LinkFixtureServices services;
    PtyPeer peer;
    int openStatus = 0;
    int window = 0;

private:
    int m_seen = 0;
};
