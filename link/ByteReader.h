// Bounded little-endian reader over received bytes: every read says whether the field was whole,
// so parsers stop at the last whole field instead of reading past the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Frame.h"

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : m_p(data), m_n(data ? size : 0) {}

    size_t Remaining() const { return m_n - m_pos; }
    size_t Position() const { return m_pos; }
    const uint8_t* Current() const { return m_p + m_pos; }

    bool U16(uint16_t& v) {
        if (Remaining() < 2) return false;
        v = GetU16LE(m_p + m_pos);
        m_pos += 2;
        return true;
    }
    bool U32(uint32_t& v) {
        if (Remaining() < 4) return false;
        v = GetU32LE(m_p + m_pos);
        m_pos += 4;
        return true;
    }
    // Points `out` at the next n bytes and skips them.
    bool Bytes(size_t n, const uint8_t*& out) {
        if (Remaining() < n) return false;
        out = m_p + m_pos;
        m_pos += n;
        return true;
    }

private:
    const uint8_t* m_p;
    size_t m_n;
    size_t m_pos = 0;
};
