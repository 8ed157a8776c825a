#include "Frame.h"

#include <cstring>

FrameHeaderBytes BuildFrameHeader(uint16_t code, uint16_t flags) {
    FrameHeaderBytes h{};
    std::memcpy(h.data(), FRAME_MARKER.data(), FRAME_MARKER.size());
    PutU16LE(&h[8], 0x0200);
    PutU16LE(&h[10], 0x0000);
    PutU16LE(&h[12], 0x0002);
    PutU16LE(&h[14], 0x0001);
    PutU16LE(&h[16], code);
    PutU16LE(&h[18], flags);
    return h;
}

FrameHeader ParseFrameHeader(const uint8_t* header) {
    return FrameHeader{GetU16LE(header + 16), GetU16LE(header + 18)};
}

bool HasFrameMarker(const uint8_t* window) {
    return std::memcmp(window, FRAME_MARKER.data(), FRAME_MARKER.size()) == 0;
}
