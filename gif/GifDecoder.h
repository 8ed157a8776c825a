// CGifDecoder: turns the bytes of a GIF file into its first picture as width x height colours
// 0xAARRGGBB, row-major from the top (QImage::Format_RGB32 / ARGB32 scan lines). The picture uses
// its local colour table, else the global one; extensions are skipped and transparency is not
// applied. The bytes are untrusted: every read is bounded, the picture is limited to kMaxPixels,
// and decoding stops at the first damaged code. Pixels not decoded, and pixels whose colour index
// is past the colour table (which other decoders leave transparent), get the caller's background.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

enum class GifStatus {
    Ok,       // every pixel decoded
    Partial,  // the picture's size is known; pixels after the damage or the end of data are
              // the background
    Refused,  // no picture: width and height 0, no pixels
    TooLarge, // the same, for a picture of more pixels than the decoder was allowed
};

class CGifDecoder {
public:
    static constexpr uint64_t kMaxPixels = uint64_t(16) << 20;

    // A caller may hold pictures to a smaller size.
    explicit CGifDecoder(uint64_t maxPixels = kMaxPixels)
        : m_maxPixels(maxPixels < kMaxPixels ? maxPixels : kMaxPixels) {}

    // Decodes a whole file; replaces any earlier picture.
    GifStatus Load(const uint8_t* data, size_t size, uint32_t background);

    GifStatus Status() const { return m_status; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    const std::vector<uint32_t>& Pixels() const { return m_pixels; }
    // Moves the pixels out; width and height stay.
    std::vector<uint32_t> TakePixels() { return std::move(m_pixels); }

private:
    uint64_t m_maxPixels;
    GifStatus m_status = GifStatus::Refused;
    int m_width = 0;
    int m_height = 0;
    std::vector<uint32_t> m_pixels;
};
