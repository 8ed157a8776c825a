// A small GIF encoder for tests, benchmarks and fuzz seeds: global and local colour tables,
// interlaced row order, extension blocks before the picture, and LZW with growing code width.
// The lower-level pieces (code packing, sub-blocks) let tests build damaged streams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

using GifBytes = std::vector<uint8_t>;

struct GifSpec {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;       // palette indices, row-major from the top
    std::vector<uint32_t> globalTable; // 0xRRGGBB; padded to a power of two; empty: none
    std::vector<uint32_t> localTable;  // the same for the picture's own table
    bool interlaced = false;
    std::vector<GifBytes> extensions; // whole extension blocks placed before the picture
    bool clearWhenFull = true;        // false: go on coding with a full code table
};

// The whole file, its picture compressed from gifSpec.pixels.
GifBytes EncodeGif(const GifSpec& gifSpec);
// The file with `imageData` (see GifImageData) as the picture's data; gifSpec.pixels is not used.
GifBytes EncodeGif(const GifSpec& gifSpec, const GifBytes& imageData);

// LZW codes for `indices`, a clear code first and the end code last, packed without sub-blocks.
GifBytes LzwCompress(const std::vector<uint8_t>& indices, int minCodeSize,
                     bool clearWhenFull = true);
// Codes of the given widths (code, width) packed least significant bit first.
GifBytes PackCodes(const std::vector<std::pair<int, int>>& codes);
// The minimum code size byte, `packed` in sub-blocks of up to blockSize bytes, the terminator.
GifBytes GifImageData(int minCodeSize, const GifBytes& packed, size_t blockSize = 255);
// The minimum code size the encoder uses for a colour table of `tableSize` entries.
int GifMinCodeSize(size_t tableSize);

// An extension block: introducer, label, the sub-blocks, terminator.
GifBytes GifExtension(uint8_t label, const std::vector<GifBytes>& blocks);
// A graphic control extension; transparentIndex < 0 for none.
GifBytes GraphicControlExtension(int transparentIndex);
