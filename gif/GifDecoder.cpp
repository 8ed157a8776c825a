#include "GifDecoder.h"

#include <algorithm>
#include <array>

#include "ByteReader.h"
#include "Frame.h"
#include "GifLzw.h"

namespace {

constexpr uint32_t kBlack = 0xFF000000;
constexpr uint8_t kExtension = 0x21;
constexpr uint8_t kImageSeparator = 0x2C;
constexpr uint8_t kTablePresent = 0x80;
constexpr uint8_t kInterlaced = 0x40;

using Palette = std::array<uint32_t, 256>;

// A table of 2^((flags & 7) + 1) RGB triples.
bool ReadColourTable(ByteReader& r, uint8_t flags, Palette& palette, int& size) {
    size = 2 << (flags & 7);
    const uint8_t* p;
    if (!r.Bytes(size_t(size) * 3, p)) return false;
    for (int i = 0; i < size; ++i, p += 3) palette[i] = kBlack | p[0] << 16 | p[1] << 8 | p[2];
    return true;
}

// Walks a chain of sub-blocks to its zero terminator.
bool SkipSubBlocks(ByteReader& r) {
    const uint8_t* p;
    while (r.Bytes(1, p)) {
        if (*p == 0) return true;
        if (!r.Bytes(*p, p)) return false;
    }
    return false;
}

// The picture's data without the sub-block lengths, up to the terminator or the end of input.
std::vector<uint8_t> JoinSubBlocks(ByteReader& r) {
    std::vector<uint8_t> out;
    out.reserve(r.Remaining());
    const uint8_t* p;
    while (r.Bytes(1, p) && *p != 0) {
        size_t n = std::min<size_t>(*p, r.Remaining());
        r.Bytes(n, p);
        out.insert(out.end(), p, p + n);
    }
    return out;
}

} // namespace

GifStatus CGifDecoder::Load(const uint8_t* data, size_t size, uint32_t background) {
    m_status = GifStatus::Refused;
    m_width = m_height = 0;
    m_pixels = {};

    // Signature (not checked), then the logical screen, of which only the flags count.
    ByteReader r(data, size);
    const uint8_t* p;
    if (!r.Bytes(13, p)) return m_status;
    Palette palette;
    int tableSize = 0;
    if ((p[10] & kTablePresent) && !ReadColourTable(r, p[10], palette, tableSize)) return m_status;

    // Extensions before the picture: a label and a chain of sub-blocks each.
    for (;;) {
        if (!r.Bytes(1, p)) return m_status;
        if (*p == kImageSeparator) break;
        if (*p != kExtension || !r.Bytes(1, p) || !SkipSubBlocks(r)) return m_status;
    }

    // Image descriptor; the picture starts at its own origin.
    if (!r.Bytes(9, p)) return m_status;
    const int width = GetU16LE(p + 4);
    const int height = GetU16LE(p + 6);
    const uint8_t flags = p[8];
    if (width == 0 || height == 0) return m_status;
    if (uint64_t(width) * uint64_t(height) > m_maxPixels) return m_status = GifStatus::TooLarge;
    if (flags & kTablePresent) {
        if (!ReadColourTable(r, flags, palette, tableSize)) return m_status;
    } else if (tableSize == 0) {
        return m_status;
    }

    m_width = width;
    m_height = height;
    m_pixels.assign(size_t(width) * size_t(height), background);
    m_status = GifStatus::Partial;
    if (!r.Bytes(1, p) || *p > 11) return m_status;
    const int minCodeSize = *p;
    std::vector<uint8_t> codes = JoinSubBlocks(r);
    const GifPicture picture{m_pixels.data(), width,     height,    (flags & kInterlaced) != 0,
                             palette.data(),  tableSize, background};
    if (DecodeGifLzw(codes.data(), codes.size(), minCodeSize, picture)) m_status = GifStatus::Ok;
    return m_status;
}
