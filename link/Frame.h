// Wire format shared by client and device: the 20-byte frame header, message codes, header flags,
// outcome codes and little-endian field helpers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr std::array<uint8_t, 8> FRAME_MARKER = {0x48, 0xEF, 0xF0, 0x74,
                                                        0x72, 0xEF, 0xE6, 0x66};
inline constexpr size_t FRAME_HEADER_SIZE = 20;
using FrameHeaderBytes = std::array<uint8_t, FRAME_HEADER_SIZE>;

// Client to device.
enum : uint16_t {
    MSG_CONNECT = 1,
    MSG_DISCONNECT = 4,
    MSG_CLIENT_VALUES = 7,
    MSG_PING = 10,
    MSG_PRESENCE_REPLY = 12,
    MSG_ACK = 14,
    MSG_REQUEST = 18,
};

// Device to client.
enum : uint16_t {
    MSG_DEVICE_CLOSED = 1,
    MSG_PANEL_INFO = 2,
    MSG_DEVICE_CLOSED_ALT = 5,
    MSG_PANEL_DEFINITION = 6,
    MSG_PRESENCE_QUERY = 8,
    MSG_DEVICE_VALUES = 9,
    MSG_PING_REPLY = 11,
    MSG_DEVICE_ACK = 13,
    MSG_PANEL_CHANGED = 15,
    MSG_ATTRIBUTES = 16,
    MSG_FILES = 17,
    MSG_LAYOUT_RECORDS = 19,
    MSG_MATRIX_ROWS = 21,
};

// Header flags.
enum : uint16_t {
    HF_TITLE_UTF16 = 0x0001, // message 2 only
    HF_NO_PINGS = 0x0002,    // message 2 only
    HF_RESERVED_4 = 0x0004,  // message 2 only, no effect
    HF_ACK_REQUEST = 0x0008,
    HF_KEEP_PANEL = 0x0010, // message 2 only
};

// Outcomes reported to the view after each device message.
enum : int {
    LINK_ERROR = -1,
    LINK_TITLE = 1,
    LINK_PANEL = 2,
    LINK_CLOSED = 3,
    LINK_PRESENCE = 4,
    LINK_PING_REPLY = 5,
    LINK_ACK = 6,
    LINK_VALUES = 7,
    LINK_RELOAD = 8,
    LINK_ATTRIBUTES = 9,
    LINK_FILES = 10,
    LINK_LAYOUT = 11,
    LINK_LOST = 12,          // the device is gone: the connection has ended, no receiver follows
    LINK_PANEL_REFUSED = 13, // a panel definition too large to hold; the previous panel stays
};

inline uint16_t GetU16LE(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t GetU32LE(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void PutU16LE(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void PutU32LE(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// A header with the fixed words the client always sends.
FrameHeaderBytes BuildFrameHeader(uint16_t code, uint16_t flags);

struct FrameHeader {
    uint16_t code = 0;
    uint16_t flags = 0;
};
// Only the code and the flags count; the fixed words are not checked.
FrameHeader ParseFrameHeader(const uint8_t* header);
bool HasFrameMarker(const uint8_t* window);
