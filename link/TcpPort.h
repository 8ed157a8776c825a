// A TCP connection as the line to the device: raw bytes both ways, as ser2net and Wi-Fi serial
// bridges serve them. Open() returns at once: the host is looked up and the connection made on a
// thread of its own, so neither the window nor the link waits on the network. Bytes written
// meanwhile go out once connected; a reader waits for the connection. A connection that cannot
// be made, or that the peer resets or closes, is a lost device whose reason says what to do.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "HandoverPort.h"

class TcpPort : public HandoverPort {
public:
    static constexpr int kConnectTimeoutMs = 5000;

    TcpPort();
    ~TcpPort() override;

    // Starts connecting; 0 or an errno value (the connection's own failure comes later, as a loss).
    int Open(const std::string& host, uint16_t port, int timeoutMs = kConnectTimeoutMs);
    void Close() override;

private:
    struct Wake; // outlives the port while a look-up is still under way
    std::shared_ptr<Wake> m_wake;
};
