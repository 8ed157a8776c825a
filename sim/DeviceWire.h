// The simulated device's side of the wire format: byte builders and a bounded reader, and the
// payloads the device sends (panel info, definitions, values, attribute changes, matrix rows,
// files, layout records), each built from the device's own model of its controls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "SimPanel.h"

using ByteVec = std::vector<uint8_t>;

// Little-endian builder.
class WireWriter {
public:
    WireWriter& U8(uint8_t v);
    WireWriter& U16(uint16_t v);
    WireWriter& U32(uint32_t v);
    WireWriter& Raw(const uint8_t* p, size_t n);
    WireWriter& Raw(const ByteVec& b) { return Raw(b.data(), b.size()); }
    WireWriter& Sized(const ByteVec& b); // u32 length, then the bytes
    const ByteVec& Bytes() const { return m_b; }
    ByteVec Take() { return std::move(m_b); }

private:
    ByteVec m_b;
};

// Reads fields off a byte range; every read fails once the range would be overrun.
class WireReader {
public:
    WireReader(const uint8_t* p, size_t n) : m_p(p), m_n(n) {}
    bool U8(uint8_t& v);
    bool U16(uint16_t& v);
    bool U32(uint32_t& v);
    bool Bytes(size_t n, const uint8_t*& out);
    size_t Left() const { return m_n - m_pos; }

private:
    const uint8_t* m_p;
    size_t m_n;
    size_t m_pos = 0;
};

struct ValueItem {
    uint32_t id = 0;
    ByteVec data;
};

ByteVec DeviceFrame(uint16_t code, uint16_t flags, const ByteVec& payload);

// UTF-16LE or 8-bit text in the code page; no terminator.
ByteVec EncodeText(std::u16string_view text, bool utf16);
// Text and its zero, cut to fit in maxBytes.
ByteVec TextField(std::u16string_view text, bool utf16, size_t maxBytes);
// Text from a fixed field, up to its first zero (UTF-16LE or 8-bit).
std::u16string DecodeText(const uint8_t* p, size_t n, bool utf16);

uint16_t PanelInfoFlags(const Panel& panel);
ByteVec PanelInfoPayload(const Panel& panel);
ByteVec DefinitionBytes(const PanelControl& control);
ByteVec PanelDefinitionPayload(const Panel& panel);
// Item data of a device value (message 9); nullopt for the kinds a device never pushes.
std::optional<ByteVec> DeviceValue(const PanelControl& control);
ByteVec ItemListPayload(const std::vector<ValueItem>& items);
ByteVec AttributeChange(uint32_t flags, std::optional<uint32_t> colour);
// Item data of one matrix row (message 21) from the control's model.
ByteVec MatrixRowItem(const PanelControl& matrix, int32_t row);
// Message 17 carrying the File control's content.
ByteVec FilesPayload(const PanelControl& file);
ByteVec LayoutPayload(const std::vector<LayoutRecord>& records);
