// The device side of a TCP connection on loopback, for tests and benchmarks: a socket on a port
// the system picks (so parallel tests never clash); the link connects to Url().
#pragma once

#include <cstdint>
#include <string>

#include "PtyPeer.h"

class TcpPeer {
public:
    // listening: false keeps the port bound but refusing, as a host with nothing running there.
    // backlog 0 with one connection waiting leaves the next connect unanswered.
    explicit TcpPeer(bool listening = true, int backlog = 4);
    ~TcpPeer();
    TcpPeer(const TcpPeer&) = delete;
    TcpPeer& operator=(const TcpPeer&) = delete;

    uint16_t Port() const { return m_port; }
    std::string Url() const { return "tcp://127.0.0.1:" + std::to_string(m_port); }

    // Takes the waiting connection; false on time-out.
    bool Accept(int timeoutMs = 3000);
    void Write(const Bytes& bytes);
    // Reads exactly n bytes within timeoutMs; false on time-out or end of stream.
    bool Read(Bytes& out, size_t n, int timeoutMs = 3000);
    // Ends the connection with a reset, as a bridge that crashes or reboots.
    void Reset();

private:
    int m_listen = -1;
    int m_conn = -1;
    uint16_t m_port = 0;
};

// A loopback port that nothing listens on at the moment (for a server the test starts).
uint16_t FreeLoopbackPort();
// Connects to 127.0.0.1:port, retrying while it is refused, until timeoutMs; -1 on failure.
int ConnectLoopback(uint16_t port, int timeoutMs = 0);
