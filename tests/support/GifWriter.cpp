#include "GifWriter.h"

#include <algorithm>
#include <unordered_map>

namespace {

class BitPacker {
public:
    void Put(int code, int width) {
        m_acc |= uint32_t(code) << m_bits;
        for (m_bits += width; m_bits >= 8; m_bits -= 8, m_acc >>= 8)
            m_out.push_back(uint8_t(m_acc));
    }
    GifBytes Finish() {
        if (m_bits > 0) m_out.push_back(uint8_t(m_acc));
        return std::move(m_out);
    }

private:
    GifBytes m_out;
    uint32_t m_acc = 0;
    int m_bits = 0;
};

int TableBits(size_t size) {
    int bits = 1;
    while ((size_t(1) << bits) < size) ++bits;
    return bits;
}

void PutU16(GifBytes& out, int v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void PutTable(GifBytes& out, const std::vector<uint32_t>& table) {
    for (size_t i = 0; i < (size_t(1) << TableBits(table.size())); ++i) {
        uint32_t c = i < table.size() ? table[i] : 0;
        out.insert(out.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    }
}

// Table flag and size bits of a screen or image descriptor's packed byte.
uint8_t TableFlags(const std::vector<uint32_t>& table) {
    return table.empty() ? 0 : uint8_t(0x80 | (TableBits(table.size()) - 1));
}

} // namespace

int GifMinCodeSize(size_t tableSize) {
    return std::max(2, TableBits(tableSize));
}

GifBytes LzwCompress(const std::vector<uint8_t>& indices, int minCodeSize, bool clearWhenFull) {
    const int clear = 1 << minCodeSize;
    BitPacker out;
    std::unordered_map<uint32_t, int> dict; // (prefix code << 8 | index) -> code
    int width = minCodeSize + 1;
    int next = clear + 2;
    out.Put(clear, width);
    int current = -1;
    for (uint8_t k : indices) {
        if (current < 0) {
            current = k;
            continue;
        }
        uint32_t key = uint32_t(current) << 8 | k;
        if (auto it = dict.find(key); it != dict.end()) {
            current = it->second;
            continue;
        }
        out.Put(current, width);
        if (next < 4096) {
            dict[key] = next++;
            // The decoder defines this code one code later, so it widens one code later too.
            if (next > (1 << width) && width < 12) ++width;
        } else if (clearWhenFull) {
            out.Put(clear, width);
            dict.clear();
            width = minCodeSize + 1;
            next = clear + 2;
        }
        current = k;
    }
    if (current >= 0) out.Put(current, width);
    out.Put(clear + 1, width);
    return out.Finish();
}

GifBytes PackCodes(const std::vector<std::pair<int, int>>& codes) {
    BitPacker out;
    for (auto [code, width] : codes) out.Put(code, width);
    return out.Finish();
}

GifBytes GifImageData(int minCodeSize, const GifBytes& packed, size_t blockSize) {
    GifBytes out{uint8_t(minCodeSize)};
    for (size_t i = 0; i < packed.size(); i += blockSize) {
        size_t n = std::min(blockSize, packed.size() - i);
        out.push_back(uint8_t(n));
        out.insert(out.end(), packed.begin() + long(i), packed.begin() + long(i + n));
    }
    out.push_back(0);
    return out;
}

GifBytes GifExtension(uint8_t label, const std::vector<GifBytes>& blocks) {
    GifBytes out{0x21, label};
    for (const GifBytes& b : blocks) {
        out.push_back(uint8_t(b.size()));
        out.insert(out.end(), b.begin(), b.end());
    }
    out.push_back(0);
    return out;
}

GifBytes GraphicControlExtension(int transparentIndex) {
    uint8_t flags = transparentIndex >= 0 ? 1 : 0;
    return GifExtension(0xF9, {{flags, 10, 0, uint8_t(std::max(transparentIndex, 0))}});
}

GifBytes EncodeGif(const GifSpec& gifSpec, const GifBytes& imageData) {
    GifBytes out{'G', 'I', 'F', '8', '9', 'a'};
    PutU16(out, gifSpec.width);
    PutU16(out, gifSpec.height);
    const uint8_t global = TableFlags(gifSpec.globalTable);
    out.insert(out.end(), {uint8_t(global | (global & 7) << 4), 0, 0});
    if (global) PutTable(out, gifSpec.globalTable);
    for (const GifBytes& e : gifSpec.extensions) out.insert(out.end(), e.begin(), e.end());
    out.push_back(0x2C);
    PutU16(out, 0);
    PutU16(out, 0);
    PutU16(out, gifSpec.width);
    PutU16(out, gifSpec.height);
    out.push_back(uint8_t(TableFlags(gifSpec.localTable) | (gifSpec.interlaced ? 0x40 : 0)));
    if (!gifSpec.localTable.empty()) PutTable(out, gifSpec.localTable);
    out.insert(out.end(), imageData.begin(), imageData.end());
    out.push_back(0x3B);
    return out;
}

GifBytes EncodeGif(const GifSpec& gifSpec) {
    std::vector<uint8_t> stream;
    if (!gifSpec.interlaced) {
        stream = gifSpec.pixels;
    } else {
        const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = start[pass]; y < gifSpec.height; y += step[pass]) {
                auto row = gifSpec.pixels.begin() + long(y) * gifSpec.width;
                stream.insert(stream.end(), row, row + gifSpec.width);
            }
    }
    const auto& table = gifSpec.localTable.empty() ? gifSpec.globalTable : gifSpec.localTable;
    const int minCodeSize = GifMinCodeSize(table.size());
    return EncodeGif(gifSpec, GifImageData(minCodeSize, LzwCompress(stream, minCodeSize,
                                                                    gifSpec.clearWhenFull)));
}
