// LZW decoding of one GIF picture straight into its rows, in plain or interlaced row order
// (GifLzw.cpp). Internal to the decoder.
#pragma once

#include <cstddef>
#include <cstdint>

struct GifPicture {
    uint32_t* pixels = nullptr; // width x height colours, row-major
    int width = 0;
    int height = 0;
    bool interlaced = false;
    const uint32_t* palette = nullptr; // the colour table
    int paletteSize = 0;
    uint32_t background = 0; // what an index past the colour table shows, wherever it stands
};

// `codes` is the picture's data with the sub-block lengths removed; 0 <= minCodeSize <= 11.
// Returns true when every pixel was written; on a damaged or short stream the pixels written so
// far stay and the rest are left untouched.
bool DecodeGifLzw(const uint8_t* codes, size_t size, int minCodeSize, const GifPicture& picture);
