// A POSIX serial port in raw 8N1 at 115200 baud. Close() wakes a blocked reader and closes the
// descriptor only once no reader or writer is inside. Only terminals are ports. A read of end of
// file, a hang-up or an I/O error means the device is gone (LINK_PORT_LOST).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "LinkPort.h"

class SerialPort : public ILinkPort {
public:
    SerialPort();
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // 0 or an errno value; ENOTTY for a path that is not a terminal.
    int Open(const std::string& path);
    // Takes a connected stream socket as the line (closed with the port, or at once when it
    // cannot be taken); 0 or an errno value. A reset or a close by the peer is a lost device, as a
    // hang-up is.
    int Adopt(int socketFd);
    void Close() override;
    bool IsOpen() const override;
    int ReadExact(uint8_t* buffer, size_t n, size_t* immediate, int stallMs) override;
    int Write(const uint8_t* bytes, size_t n, long polls) override;
    void Purge(bool input, bool output) override;
    std::string LostReason() const override;
    size_t Buffered() const override;
    void GatherUntil(std::chrono::steady_clock::time_point until) override;
    void EndGathering() override;

private:
    bool Enter();
    void Leave();
    size_t FillBuffer(int timeoutMs, int* status, bool pollFirst = false);
    // Waits out a gathering time asked for, or until EndGathering; false when the port is closed
    // meanwhile.
    bool Gather();
    int Lost(const std::string& reason);
    int Attach(int fd);

    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    int m_fd = -1;
    int m_wake[2] = {-1, -1};
    bool m_closing = false;
    bool m_socket = false; // written with send(), which can be told not to raise SIGPIPE
    int m_users = 0;
    std::string m_lostReason; // guarded by m_mutex
    // A gathering reader waits on this with m_mutex; a close or EndGathering wakes it.
    std::condition_variable m_gatherWake;
    bool m_gatherEnded = false; // guarded by m_mutex

    // Bytes read from the descriptor but not yet consumed (m_bufferPos up to m_bufferEnd);
    // touched by the reader and by Purge.
    mutable std::mutex m_bufferMutex;
    std::vector<uint8_t> m_buffer;
    size_t m_bufferPos = 0;
    size_t m_bufferEnd = 0;
    std::chrono::steady_clock::time_point m_gatherUntil; // the reader's only
};
