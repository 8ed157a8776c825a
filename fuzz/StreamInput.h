// The input of fuzz_stream: one options byte (bits 0-1: how many pauses follow, each a u16 LE
// offset into the device's bytes where the device falls silent; bit 2: the client asks for
// acknowledgements; bits 3-7: 1 turns the frame trace on, so most runs go without its cost),
// then the device's bytes. Decode reads any bytes; Encode writes inputs that Decode reads back
// unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct StreamInput {
    std::vector<size_t> pauses; // at most 3
    bool trace = false;
    bool ackValues = false;
    std::vector<uint8_t> device;
};

inline StreamInput DecodeStreamInput(const uint8_t* data, size_t size) {
    StreamInput in;
    if (size == 0) return in;
    const uint8_t options = data[0];
    size_t pos = 1;
    for (int i = 0; i < (options & 3) && pos + 2 <= size; ++i, pos += 2)
        in.pauses.push_back(size_t(data[pos] | (data[pos + 1] << 8)));
    in.ackValues = options & 4;
    in.trace = (options >> 3) == 1;
    in.device.assign(data + pos, data + size);
    return in;
}

inline std::vector<uint8_t> EncodeStreamInput(const StreamInput& in) {
    const size_t pauses = in.pauses.size() < 3 ? in.pauses.size() : 3;
    std::vector<uint8_t> out{uint8_t(pauses | (in.ackValues ? 4 : 0) | (in.trace ? 8 : 0))};
    for (size_t i = 0; i < pauses; ++i) {
        out.push_back(uint8_t(in.pauses[i]));
        out.push_back(uint8_t(in.pauses[i] >> 8));
    }
    out.insert(out.end(), in.device.begin(), in.device.end());
    return out;
}
