// The device side of a pseudo-terminal, for tests: the link opens SlavePath() as its serial port
// and the test reads and writes raw bytes here. Frames are built by hand, independently of the
// link's own encoder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Little-endian payload builder.
class Payload {
public:
    Payload& U8(uint8_t v);
    Payload& U16(uint16_t v);
    Payload& U32(uint32_t v);
    Payload& Raw(const Bytes& b);
    Payload& Raw(std::string_view s);      // bytes as they stand, no terminator
    Payload& Utf16(std::u16string_view s); // UTF-16LE, no terminator
    // u32 length then the bytes.
    Payload& Sized(const Bytes& b);
    const Bytes& bytes() const { return m_b; }
    operator const Bytes&() const { return m_b; }

private:
    Bytes m_b;
};

Bytes Utf16Bytes(std::u16string_view s);
// A 20-byte header with the given code and flags.
Bytes DeviceHeader(uint16_t code, uint16_t flags = 0);

class PtyPeer {
public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& SlavePath() const { return m_slavePath; }
    int MasterFd() const { return m_master; }

    void Write(const Bytes& bytes);
    void WriteFrame(uint16_t code, uint16_t flags = 0, const Bytes& payload = {});
    // Reads exactly n bytes within timeoutMs; false on time-out (what arrived is in out).
    bool Read(Bytes& out, size_t n, int timeoutMs = 3000);
    // Reads one header; false on time-out or a header without the marker.
    bool ReadHeader(uint16_t& code, uint16_t& flags, int timeoutMs = 3000);
    uint32_t ReadU32(int timeoutMs = 3000);
    // Reads the client's bytes until a frame header with `code` has come; false when none comes
    // within timeoutMs of the last byte.
    bool AwaitFrame(uint16_t code, int timeoutMs = 10000);
    // Whatever arrives within timeoutMs.
    Bytes Drain(int timeoutMs);
    // The device goes away: the device side of the line closes, and the client's end hangs up.
    void HangUp();

private:
    int m_master = -1;
    int m_slaveKeeper = -1; // keeps the slave side alive while the link closes and reopens
    std::string m_slavePath;
};
