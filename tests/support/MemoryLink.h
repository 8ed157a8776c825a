// The link on a MemoryPort that plays a whole device stream built by the test, with the view's
// loop reduced to "record the outcome, give the go-ahead" until the device is gone or says
// goodbye. No pseudo-terminal and no waiting: the stream's end is the device leaving.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "FakeServices.h"
#include "MemoryPort.h"
#include "PtyPeer.h"

class MemoryLink {
public:
    MemoryLink();
    ~MemoryLink();

    MemoryLink& Frame(uint16_t code, uint16_t flags = 0, const Bytes& payload = {});
    MemoryLink& Raw(const Bytes& bytes);
    // The device falls silent here for longer than the stall time.
    MemoryLink& Pause();

    // Opens the link on the stream and answers every outcome until the connection ends (the
    // link stays open to be looked at); returns the outcomes in order.
    std::vector<int> Run();
    // The codes of the frames the client wrote.
    std::vector<uint16_t> ClientCodes() const;

    LinkFixtureServices services;
    std::shared_ptr<MemoryPort> port; // set by Run
    int openStatus = 0;

private:
    Bytes m_device;
    std::vector<size_t> m_pauses;
    int m_window = 0;
};
