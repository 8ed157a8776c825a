// Where the simulated device is reached: a new pseudo-terminal (the client opens its slave
// path, or a symbolic link to it that keeps its name across runs), a real serial device or a
// TCP port (one client at a time), and
// a device served on its own pseudo-terminal in-process (what `talvex --demo` and the
// end-to-end tests embed).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "SimEngine.h"

struct PtyPair {
    int master = -1;
    // An open slave descriptor of our own, so the master survives the client closing its side.
    int slaveKeeper = -1;
    std::string slavePath;
};

// A raw (no echo, no line editing) pseudo-terminal; false with `error` set on failure.
bool OpenPty(PtyPair& pty, std::string& error);
void ClosePty(PtyPair& pty);
// A serial device in raw 115200 8N1, no flow control; -1 with `error` set on failure.
int OpenSerialPort(const std::string& path, std::string& error);

// A listening TCP socket on host:port (port 0: a free one, `bound` says which); -1 with `error`.
int ListenTcp(const std::string& host, uint16_t port, uint16_t& bound, std::string& error);

// A symbolic link at a fixed path to the pseudo-terminal being served, so that a client keeps
// one name for the device across restarts. A symbolic link already there (left by a run that
// was killed) is replaced at once; anything else at the path is refused. Removed at the end,
// unless by then it points elsewhere (another run has taken the name).
class PtyLink {
public:
    PtyLink() = default;
    ~PtyLink() { Remove(); }
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;

    bool Make(const std::string& path, const std::string& target, std::string& error);
    void Remove();

private:
    std::string m_path;
    std::string m_target;
};

class SimPtyDevice {
public:
    // A pseudo-terminal served by a new engine on its own thread, with a symbolic link to it at
    // `linkPath` when one is given; null with `error` set.
    static std::unique_ptr<SimPtyDevice> Start(const Panel& panel, SimOptions options,
                                               std::string& error,
                                               const std::string& linkPath = {});
    ~SimPtyDevice(); // stops the engine, removes the link, then closes the pseudo-terminal
    SimPtyDevice(const SimPtyDevice&) = delete;
    SimPtyDevice& operator=(const SimPtyDevice&) = delete;

    const std::string& SlavePath() const { return m_pty.slavePath; }
    SimEngine& Engine() { return *m_engine; }

private:
    SimPtyDevice() = default;
    PtyPair m_pty;
    PtyLink m_link;
    std::unique_ptr<SimEngine> m_engine;
};

// The device served on a TCP port to one client at a time, on a thread of its own; the next
// client is taken once the last has gone.
class SimTcpServer {
public:
    // Listens on host:port (port 0: a free one, see Port()); null with `error` set.
    static std::unique_ptr<SimTcpServer> Start(const Panel& panel, SimOptions options,
                                               const std::string& host, uint16_t port,
                                               std::string& error);
    ~SimTcpServer(); // stops serving and closes the listening socket
    SimTcpServer(const SimTcpServer&) = delete;
    SimTcpServer& operator=(const SimTcpServer&) = delete;

    uint16_t Port() const { return m_port; }
    SimEngine& Engine() { return *m_engine; }

private:
    SimTcpServer() = default;
    void Run();

    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::unique_ptr<SimEngine> m_engine;
    std::thread m_thread;
};
