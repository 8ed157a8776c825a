// Any bytes as a GIF file: the decoder must stay inside its buffers, and its picture must agree
// with its status. The fuzz build (TALVEX_GIF_DIFFERENTIAL) also decodes the file with giflib and
// compares every pixel within the picture's frame: in stream order, a pixel before the first code
// giflib has no string for is the colour of giflib's index (the background for an index past the
// table), and a pixel after it is the background (giflib carries on with made-up strings there;
// this decoder stops).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "GifDecoder.h"

#ifdef TALVEX_GIF_DIFFERENTIAL
#include <algorithm>
#include <array>
#include <cstring>
#include <gif_lib.h>
#include <vector>

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

int ReadInput(GifFileType* gif, GifByteType* out, int n) {
    auto* in = static_cast<Input*>(gif->UserData);
    const size_t count = std::min(size_t(n), in->size - in->pos);
    std::memcpy(out, in->data + in->pos, count);
    in->pos += count;
    return int(count);
}

// giflib at its first picture's descriptor, or null.
GifFileType* OpenPicture(Input& in) {
    int error = 0;
    GifFileType* gif = DGifOpen(&in, ReadInput, &error);
    if (!gif) return nullptr;
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    while (DGifGetRecordType(gif, &type) == GIF_OK && type == EXTENSION_RECORD_TYPE) {
        int code;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) break;
        while (block && DGifGetExtensionNext(gif, &block) == GIF_OK) {
        }
    }
    if (type == IMAGE_DESC_RECORD_TYPE && DGifGetImageDesc(gif) == GIF_OK) return gif;
    DGifCloseFile(gif, &error);
    return nullptr;
}

// How far the picture's codes hold, read by giflib's own rules (its running code decides the
// width): the pixels before the first code without a string, or all of them; `known` is false
// when a cut sub-block ends the data (giflib drops it, the decoder reads what there is of it).
size_t WellFormedPixels(GifFileType* gif, size_t total, bool& known) {
    int minCodeSize = 0;
    GifByteType* block = nullptr;
    std::vector<uint8_t> data;
    known = false;
    if (DGifGetCode(gif, &minCodeSize, &block) == GIF_ERROR) return 0;
    bool whole = true; // up to the terminator
    while (block) {
        data.insert(data.end(), block + 1, block + 1 + block[0]);
        if (DGifGetCodeNext(gif, &block) == GIF_ERROR) whole = false, block = nullptr;
    }
    const int clear = 1 << minCodeSize, eof = clear + 1;
    int running = eof + 1, bits = minCodeSize + 1, max1 = 1 << bits, last = -1;
    std::array<int, 4096> length{}; // 0: no string
    size_t pixels = 0, bit = 0;
    known = true;
    while (pixels < total) {
        if (bit + size_t(bits) > data.size() * 8) {
            known = whole;
            break;
        }
        int code = 0;
        for (int i = 0; i < bits; ++i, ++bit) code |= (data[bit / 8] >> (bit % 8) & 1) << i;
        if (running < 4097 && ++running > max1 && bits < 12) {
            max1 <<= 1;
            ++bits;
        }
        if (code == eof) break;
        if (code == clear) {
            running = eof + 1, bits = minCodeSize + 1, max1 = 1 << bits, last = -1;
            length.fill(0);
            continue;
        }
        int n = code < clear ? 1 : length[size_t(code)];
        if (n == 0 && code == running - 2 && last >= 0)
            n = (last < clear ? 1 : length[size_t(last)]) + 1;
        if (n == 0) break;
        if (last >= 0 && running - 2 < 4096 && length[size_t(running - 2)] == 0)
            length[size_t(running - 2)] = (last < clear ? 1 : length[size_t(last)]) + 1;
        pixels += size_t(n);
        last = code;
    }
    return std::min(pixels, total);
}

// The row of the picture that the stream's row `i` fills.
int RowOf(int i, int height, bool interlaced) {
    if (!interlaced) return i;
    static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        const int rows =
            height > kStart[pass] ? (height - kStart[pass] + kStep[pass] - 1) / kStep[pass] : 0;
        if (i < rows) return kStart[pass] + i * kStep[pass];
        i -= rows;
    }
    return -1;
}

void Mismatch(int x, int y, uint32_t ours, uint32_t expected) {
    std::fprintf(stderr, "pixel (%d, %d): ours %08X, expected %08X\n", x, y, ours, expected);
    std::abort();
}

void CompareWithGiflib(const uint8_t* data, size_t size, const CGifDecoder& d,
                       uint32_t background) {
    const int width = d.Width(), height = d.Height();
    const size_t total = size_t(width) * size_t(height);
    Input codesIn{data, size, 0};
    GifFileType* codes = OpenPicture(codesIn);
    if (!codes) return;
    bool known = false;
    const size_t wellFormed = WellFormedPixels(codes, total, known);
    int error = 0;
    DGifCloseFile(codes, &error);

    Input in{data, size, 0};
    GifFileType* gif = OpenPicture(in);
    if (!gif) return;
    const ColorMapObject* map = gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
    if (map && gif->Image.Width == width && gif->Image.Height == height) {
        std::vector<GifPixelType> line(static_cast<size_t>(width));
        bool lineKnown = true;
        for (int i = 0; i < height; ++i) {
            lineKnown = lineKnown && DGifGetLine(gif, line.data(), width) == GIF_OK;
            const int y = RowOf(i, height, gif->Image.Interlace);
            for (int x = 0; x < width; ++x) {
                const size_t pos = size_t(i) * size_t(width) + size_t(x);
                const uint32_t ours = d.Pixels()[size_t(y) * size_t(width) + size_t(x)];
                if (pos >= wellFormed) {
                    if (known && ours != background) Mismatch(x, y, ours, background);
                    continue;
                }
                if (!lineKnown) continue;
                const int index = line[size_t(x)];
                const GifColorType* c = index < map->ColorCount ? &map->Colors[index] : nullptr;
                const uint32_t expected =
                    c ? 0xFF000000u | uint32_t(c->Red) << 16 | uint32_t(c->Green) << 8 | c->Blue
                      : background;
                if (ours != expected) Mismatch(x, y, ours, expected);
            }
        }
    }
    DGifCloseFile(gif, &error);
}

} // namespace
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Small pictures keep the runs fast; the size limit is the same code at any size. The
    // background is no table colour: those are opaque.
    constexpr uint32_t kBackground = 0x12345678;
    CGifDecoder d(1 << 16);
    GifStatus status = d.Load(data, size, kBackground);
    const bool none = d.Width() == 0 && d.Height() == 0 && d.Pixels().empty();
    if ((status == GifStatus::Refused || status == GifStatus::TooLarge) != none) std::abort();
    if (d.Pixels().size() != size_t(d.Width()) * size_t(d.Height())) std::abort();
#ifdef TALVEX_GIF_DIFFERENTIAL
    if (!none) CompareWithGiflib(data, size, d, kBackground);
#endif
    return 0;
}
