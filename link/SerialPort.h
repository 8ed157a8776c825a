// A POSIX serial port in raw 8N1 at 115200 baud. One thread reads while others write; Close()
// wakes a blocked reader (which then sees LINK_PORT_CLOSED) and closes the descriptor only once
// no reader or writer is inside. Only terminals are ports. A read of end of file, a hang-up or an
// I/O error means the device is gone (LINK_PORT_LOST).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class SerialPort {
public:
    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // 0 or an errno value; ENOTTY for a path that is not a terminal.
    int Open(const std::string& path);
    void Close();
    bool IsOpen() const;

    // Reads exactly n bytes: 0, LINK_PORT_CLOSED, LINK_PORT_LOST or an errno value. `immediate`,
    // when asked for, tells how many bytes were already there when the read started.
    int ReadExact(uint8_t* buffer, size_t n, size_t* immediate = nullptr);
    // Writes n bytes, waiting up to `polls` polls of 10 ms while the line is busy (0: no limit).
    // 0, LINK_E_WRITE_TIMEOUT (the output purged), LINK_E_NOT_OPEN or an errno value.
    int Write(const uint8_t* bytes, size_t n, long polls);
    // Discards what is waiting in either direction.
    void Purge(bool input, bool output);
    // Why the device was lost; empty while it is not.
    std::string LostReason() const;

private:
    bool Enter();
    void Leave();
    size_t FillBuffer(int timeoutMs, int* status, bool pollFirst = false);
    int Lost(const std::string& reason);

    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    int m_fd = -1;
    int m_wake[2] = {-1, -1};
    bool m_closing = false;
    int m_users = 0;
    std::string m_lostReason; // guarded by m_mutex

    // Bytes read from the descriptor but not yet consumed (m_bufferPos up to m_bufferEnd);
    // touched by the reader and by Purge.
    std::mutex m_bufferMutex;
    std::vector<uint8_t> m_buffer;
    size_t m_bufferPos = 0;
    size_t m_bufferEnd = 0;
};
