// The one decoder of frames for people, shared by the trace, the protocol monitor and the
// simulator's verbose output: the code's name, the header flags and a short decode of the payload
// (ids and values by the kind of their control, texts, file names). Whatever the payload holds,
// the decode stays within FRAME_DECODE_MAX_CHARS and the work within a few lists' first entries.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr size_t FRAME_DECODE_MAX_CHARS = 480;

// What a control is, by its id: value items are decoded by the kind of their control.
class IControlKinds {
public:
    virtual ~IControlKinds() = default;
    // False for an id that is not in the panel.
    virtual bool Find(uint32_t id, uint16_t& kind, uint32_t& flags) const = 0;
};

struct ControlKind {
    uint32_t id = 0;
    uint16_t kind = 0;
    uint32_t flags = 0;
};

// The kinds of one panel's controls; the first of several entries with one id counts.
class ControlKindTable : public IControlKinds {
public:
    explicit ControlKindTable(std::vector<ControlKind> entries);
    bool Find(uint32_t id, uint16_t& kind, uint32_t& flags) const override;

private:
    std::vector<ControlKind> m_sorted;
};

// One frame as people read it.
struct DecodedFrame {
    std::chrono::system_clock::time_point time;
    bool sent = false; // by the client
    uint16_t code = 0;
    uint16_t flags = 0;
    uint64_t length = 0;        // the whole frame, header included
    std::string decode;         // the payload in short, UTF-8; empty when only a capture wants it
    std::vector<uint8_t> bytes; // the frame's first bytes, kept only while a capture wants them
};

// "MSG_PANEL_INFO"; "unknown" for a code not in the direction's catalogue.
const char* FrameCodeName(uint16_t code, bool sent);
// The payload, or only its first bytes: the decode then ends at the last whole field. `kinds`
// may be null (items are then shown by their size).
std::string DecodeFramePayload(uint16_t code, uint16_t flags, bool sent, const uint8_t* payload,
                               size_t n, const IControlKinds* kinds);
// "MSG_PANEL_INFO (2) flags=0x0010: title "Rig", keep panel".
std::string DescribeFrame(uint16_t code, uint16_t flags, bool sent, const std::string& decode);
std::string DescribeFrame(const DecodedFrame& frame);

// The panel-file name of a kind ("number"); "?" outside 1..14.
const char* ControlKindName(uint16_t kind);
// A device text for people: quoted, control characters shown as '.', long texts cut.
std::string QuoteDeviceText(std::u16string_view text);
// "2026-12-08 14:30:00" from the 8 wire bytes of a date/time.
std::string FormatWireDateTime(const uint8_t* bytes);
