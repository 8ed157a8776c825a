// A port that plays the device from memory, with no descriptor and no waiting: the bytes given
// are everything the device sends, and their end is the device going away (LINK_PORT_LOST). At
// each pause (an offset into those bytes) the device falls silent for longer than any stall
// time: a read that reaches it with a stall time set returns LINK_PORT_STALLED, a read without
// one waits it out. What the client writes is kept (up to a limit) or, after FailWrites, refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "LinkPort.h"

class MemoryPort : public ILinkPort {
public:
    explicit MemoryPort(std::vector<uint8_t> deviceBytes, std::vector<size_t> pauses = {});

    void Close() override;
    bool IsOpen() const override;
    int ReadExact(uint8_t* buffer, size_t n, size_t* immediate, int stallMs) override;
    int Write(const uint8_t* bytes, size_t n, long polls) override;
    // The device's bytes have not arrived yet: nothing waits to be discarded.
    void Purge(bool input, bool output) override;
    std::string LostReason() const override;

    // Writes after the first `okBytes` more bytes fail with `status`.
    void FailWrites(size_t okBytes, int status);
    // What the client has written so far (the first kMaxKept bytes).
    std::vector<uint8_t> Written() const;
    static constexpr size_t kMaxKept = 1 << 20;

private:
    mutable std::mutex m_mutex;
    const std::vector<uint8_t> m_device;
    std::vector<size_t> m_pauses; // still ahead, in order
    size_t m_next = 0;            // pauses passed
    size_t m_pos = 0;
    bool m_open = true;
    bool m_lost = false;
    std::vector<uint8_t> m_written;
    size_t m_writeBudget = SIZE_MAX;
    int m_writeFailure = 0;
};
