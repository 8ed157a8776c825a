// The line the link talks to the device over. One thread reads while others write; Close()
// wakes a reader (which then sees LINK_PORT_CLOSED). The real one is SerialPort; MemoryPort plays
// a device from memory for tests and fuzzing.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

class ILinkPort {
public:
    virtual ~ILinkPort() = default;

    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Reads exactly n bytes: 0, LINK_PORT_CLOSED, LINK_PORT_LOST, LINK_PORT_STALLED (no byte came
    // for stallMs; 0 waits without limit) or an errno value. `immediate`, when asked for, tells
    // how many bytes were already there when the read started.
    virtual int ReadExact(uint8_t* buffer, size_t n, size_t* immediate, int stallMs) = 0;
    // Writes n bytes, waiting up to `polls` polls of 10 ms while the line is busy (0: no limit).
    // 0, LINK_E_WRITE_TIMEOUT (the output purged), LINK_E_NOT_OPEN or an errno value.
    virtual int Write(const uint8_t* bytes, size_t n, long polls) = 0;
    // Discards what is waiting in either direction.
    virtual void Purge(bool input, bool output) = 0;
    // Why the device was lost; empty while it is not.
    virtual std::string LostReason() const = 0;
    // Bytes read from the line and not yet taken: a read of no more than that does not wait.
    virtual size_t Buffered() const { return 0; }
    // The reader's next wait for bytes first lets them gather until `until`, so a steady stream is
    // taken in fewer, larger reads; Close() still ends the wait at once. Reader thread only.
    virtual void GatherUntil(std::chrono::steady_clock::time_point until) { (void)until; }
    // Ends a gathering under way, or the reader's next one, at once (any thread): what came
    // meanwhile is read now.
    virtual void EndGathering() {}
};
