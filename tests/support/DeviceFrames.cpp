#include "DeviceFrames.h"

#include "Frame.h"

Bytes U32Bytes(uint32_t v) {
    return Payload().U32(v).bytes();
}

Bytes AnsiZ(std::string_view s) {
    Bytes b(s.begin(), s.end());
    b.push_back(0);
    return b;
}

Bytes Utf16Z(std::u16string_view s) {
    Bytes b = Utf16Bytes(s);
    b.push_back(0);
    b.push_back(0);
    return b;
}

Bytes Definition(char letter, uint32_t flags, uint32_t id, const Bytes& value,
                 const std::vector<Attr>& attrs) {
    Payload p;
    p.U16(uint16_t(letter)).U32(flags).U32(id).Sized(value);
    p.U32(uint32_t(attrs.size()));
    for (const Attr& a : attrs) p.U8(uint8_t(a.tag));
    for (const Attr& a : attrs) p.Sized(a.data);
    return p.bytes();
}

Bytes PanelPayload(const std::vector<Bytes>& definitions) {
    Payload p;
    p.U32(uint32_t(definitions.size()));
    for (const Bytes& d : definitions) p.Sized(d);
    return p.bytes();
}

Bytes ItemList(const std::vector<std::pair<uint32_t, Bytes>>& items) {
    Payload p;
    p.U32(uint32_t(items.size()));
    for (const auto& [id, data] : items) p.U32(id).Sized(data);
    return p.bytes();
}

Bytes DeviceValues(const std::vector<std::pair<uint32_t, Bytes>>& items) {
    Bytes frame = DeviceHeader(MSG_DEVICE_VALUES);
    const Bytes list = ItemList(items);
    frame.insert(frame.end(), list.begin(), list.end());
    return frame;
}
