// Cuts the client's byte stream into messages: hunts the frame marker, reads the header and the
// payload the message code implies (a u32 argument for a request, a value list for values).
// Sizes are checked before anything is kept: a frame announcing more than the limits is dropped
// and the hunt for the next marker resumes one byte after the bad frame's marker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "DeviceWire.h"

struct ClientMessage {
    uint16_t code = 0;
    uint16_t flags = 0;
    uint32_t argument = 0;        // MSG_REQUEST
    std::vector<ValueItem> items; // MSG_CLIENT_VALUES
    bool malformed = false;       // announced sizes over the limits; nothing of it was applied
    size_t skippedBefore = 0;     // bytes before the marker that were not part of any frame
    ByteVec frame;                // the whole frame as sent, when the parser keeps frames
};

class ClientParser {
public:
    static constexpr uint32_t kMaxItems = 65536;
    static constexpr uint32_t kMaxItemBytes = 0x100000;
    static constexpr size_t kMaxMessageBytes = 4 * 0x100000;

    void Feed(const uint8_t* bytes, size_t n);
    // The next complete message, or nullopt until more bytes arrive.
    std::optional<ClientMessage> Next();
    size_t Buffered() const { return m_buf.size() - m_start; }
    // Each message then carries its frame's bytes (the replay compares them).
    void KeepFrames(bool on) { m_keepFrames = on; }

private:
    enum class Parse { Done, NeedMore, Bad };
    Parse ParseAt(size_t at, ClientMessage& msg, size_t& end, bool collect) const;
    void Compact();

    std::vector<uint8_t> m_buf;
    size_t m_start = 0;
    size_t m_need = 0; // bytes buffered before a parse is worth trying again
    size_t m_skipped = 0;
    bool m_keepFrames = false;
};
