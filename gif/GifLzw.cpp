#include "GifLzw.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

namespace {

constexpr int kMaxCodes = 4096;
constexpr int kMaxWidth = 12;

// The code table holds colours rather than palette indices, so writing a string needs no lookup.
struct CodeTable {
    uint16_t prefix[kMaxCodes]; // code of the string without its last colour
    uint16_t length[kMaxCodes];
    uint32_t last[kMaxCodes];
    uint32_t first[kMaxCodes];
    uint32_t spill[kMaxCodes]; // a string that does not fit in the rest of its row
};

// Codes packed least significant bit first.
class BitReader {
public:
    BitReader(const uint8_t* p, size_t n) : m_p(p), m_n(n) {}

    // False once the data holds fewer than `width` bits.
    bool Read(int width, int& code) {
        if (m_bits < width) {
            Refill();
            if (m_bits < width) return false;
        }
        code = int(m_acc & ((1u << width) - 1));
        m_acc >>= width;
        m_bits -= width;
        return true;
    }

private:
    void Refill() {
        if constexpr (std::endian::native == std::endian::little) {
            if (m_n - m_pos >= 8) {
                uint64_t v;
                std::memcpy(&v, m_p + m_pos, 8);
                m_acc |= v << m_bits;
                m_pos += (63 - m_bits) >> 3;
                m_bits |= 56;
                return;
            }
        }
        while (m_bits <= 56 && m_pos < m_n) {
            m_acc |= uint64_t(m_p[m_pos++]) << m_bits;
            m_bits += 8;
        }
    }

    const uint8_t* m_p;
    size_t m_n;
    size_t m_pos = 0;
    uint64_t m_acc = 0;
    int m_bits = 0;
};

// Where the next pixel goes: rows top to bottom, or the four interlace passes.
class RowCursor {
public:
    explicit RowCursor(const GifPicture& p) : m_p(p) { Enter(0); }

    uint32_t* out;
    uint32_t* rowEnd;

    // Moves to the next row; false when the picture is complete.
    bool NextRow() {
        static constexpr int kStart[4] = {0, 4, 2, 1};
        static constexpr int kStep[4] = {8, 8, 4, 2};
        if (!m_p.interlaced) {
            if (++m_y == m_p.height) return Finish();
        } else {
            m_y += kStep[m_pass];
            while (m_y >= m_p.height) {
                if (++m_pass == 4) return Finish();
                m_y = kStart[m_pass];
            }
        }
        Enter(m_y);
        return true;
    }
    bool Complete() const { return m_complete; }

private:
    void Enter(int y) {
        out = m_p.pixels + size_t(y) * size_t(m_p.width);
        rowEnd = out + m_p.width;
    }
    bool Finish() {
        m_complete = true;
        return false;
    }

    const GifPicture& m_p;
    int m_y = 0;
    int m_pass = 0;
    bool m_complete = false;
};

} // namespace

bool DecodeGifLzw(const uint8_t* codes, size_t size, int minCodeSize, const GifPicture& picture) {
    std::unique_ptr<CodeTable> table(new CodeTable);
    CodeTable& t = *table;
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    for (int c = 0; c < clear; ++c) {
        t.prefix[c] = 0;
        t.length[c] = 1;
        t.last[c] = t.first[c] = c < picture.paletteSize ? picture.palette[c] : picture.background;
    }
    BitReader bits(codes, size);
    RowCursor cursor(picture);
    // A stream that does not begin with a clear code decodes as if it did. The width grows once
    // the next free code no longer fits, checked after every code as giflib does: for minimum
    // code sizes 0 and 1 that is already after the first code.
    int width = minCodeSize + 1;
    int next = clear + 2;
    int prev = -1;
    int code;
    while (bits.Read(width, code)) {
        if (code == clear) {
            width = minCodeSize + 1;
            next = clear + 2;
            prev = -1;
            continue;
        }
        if (code == end) break;
        if (prev < 0) {
            // Only a single colour can follow a clear code: there is no string to build on.
            if (code > end) break;
            *cursor.out++ = t.first[code];
            if (next >= (1 << width) && width < kMaxWidth) ++width;
            if (cursor.out == cursor.rowEnd && !cursor.NextRow()) break;
            prev = code;
            continue;
        }
        if (code > next) break;
        if (next < kMaxCodes) {
            // code == next is the string being defined: the previous one plus its own first colour.
            t.prefix[next] = uint16_t(prev);
            t.length[next] = uint16_t(t.length[prev] + 1);
            t.first[next] = t.first[prev];
            t.last[next] = code == next ? t.first[prev] : t.first[code];
            if (++next >= (1 << width) && width < kMaxWidth) ++width;
        }
        prev = code;

        int length = t.length[code];
        if (cursor.rowEnd - cursor.out >= length) {
            uint32_t* p = cursor.out + length;
            do {
                *--p = t.last[code];
                code = t.prefix[code];
            } while (p != cursor.out);
            cursor.out += length;
            if (cursor.out == cursor.rowEnd && !cursor.NextRow()) break;
            continue;
        }
        // The string runs over the row's end: unpack it first, then copy it row by row.
        uint32_t* p = t.spill + length;
        do {
            *--p = t.last[code];
            code = t.prefix[code];
        } while (p != t.spill);
        bool more = true;
        while (more && length > 0) {
            int n = int(std::min<ptrdiff_t>(length, cursor.rowEnd - cursor.out));
            std::memcpy(cursor.out, p, size_t(n) * sizeof(uint32_t));
            cursor.out += n;
            p += n;
            length -= n;
            if (cursor.out == cursor.rowEnd) more = cursor.NextRow();
        }
        if (!more) break;
    }
    return cursor.Complete();
}
