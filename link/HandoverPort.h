// A line whose connection is made by someone else (the Bluetooth socket BlueZ hands over, say):
// open at once, so the window does not wait; bytes written meanwhile go out once the socket is
// handed over, and a reader waits for it. A connection that cannot be made is a lost device whose
// reason says why.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "LinkPort.h"

class HandoverPort : public ILinkPort {
    struct Shared;

public:
    // What the one making the connection holds; it may outlive the port.
    class Handle {
    public:
        // Takes the connected stream socket (closed at once when the port is no longer waiting).
        void Hand(int fd) const;
        void Fail(const std::string& reason) const;

    private:
        friend class HandoverPort;
        std::shared_ptr<Shared> m_shared;
    };

    HandoverPort() : HandoverPort(true) {}
    ~HandoverPort() override;
    HandoverPort(const HandoverPort&) = delete;
    HandoverPort& operator=(const HandoverPort&) = delete;

    Handle GetHandle() const;
    void Close() override;
    bool IsOpen() const override;
    int ReadExact(uint8_t* buffer, size_t n, size_t* immediate, int stallMs) override;
    int Write(const uint8_t* bytes, size_t n, long polls) override;
    void Purge(bool input, bool output) override;
    std::string LostReason() const override;
    size_t Buffered() const override;
    void GatherUntil(std::chrono::steady_clock::time_point until) override;
    void EndGathering() override;

protected:
    // Closed until Wait() when not waiting from the start.
    explicit HandoverPort(bool waiting);
    // Starts waiting: `peer` names the other end in the loss reasons, and a reader still waiting
    // at `giveUp` takes `giveUpReason` as the loss.
    void Wait(std::string peer, std::chrono::steady_clock::time_point giveUp,
              std::string giveUpReason);

private:
    std::shared_ptr<Shared> m_shared;
};
