// Hand-built device payloads for tests: control definitions and whole panel messages.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "PtyPeer.h"

struct Attr {
    char tag;
    Bytes data;
};
Bytes U32Bytes(uint32_t v);
Bytes AnsiZ(std::string_view s);     // 8-bit text with its zero
Bytes Utf16Z(std::u16string_view s); // UTF-16LE with its zero

// One definition: letter, flags, id, value, attribute block.
Bytes Definition(char letter, uint32_t flags, uint32_t id, const Bytes& value,
                 const std::vector<Attr>& attrs = {});
// The payload of a panel definition message.
Bytes PanelPayload(const std::vector<Bytes>& definitions);
// A value list (messages 7, 9, 16, 21).
Bytes ItemList(const std::vector<std::pair<uint32_t, Bytes>>& items);
// A whole message 7: values the device pushes.
Bytes DeviceValues(const std::vector<std::pair<uint32_t, Bytes>>& items);
