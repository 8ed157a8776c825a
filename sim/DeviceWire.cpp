#include "DeviceWire.h"

#include <algorithm>

#include "Frame.h"
#include "TextCodec.h"

WireWriter& WireWriter::U8(uint8_t v) {
    m_b.push_back(v);
    return *this;
}
WireWriter& WireWriter::U16(uint16_t v) {
    uint8_t b[2];
    PutU16LE(b, v);
    return Raw(b, 2);
}
WireWriter& WireWriter::U32(uint32_t v) {
    uint8_t b[4];
    PutU32LE(b, v);
    return Raw(b, 4);
}
WireWriter& WireWriter::Raw(const uint8_t* p, size_t n) {
    if (n) m_b.insert(m_b.end(), p, p + n);
    return *this;
}
WireWriter& WireWriter::Sized(const ByteVec& b) {
    U32(uint32_t(b.size()));
    return Raw(b);
}

bool WireReader::U8(uint8_t& v) {
    if (Left() < 1) return false;
    v = m_p[m_pos++];
    return true;
}
bool WireReader::U16(uint16_t& v) {
    if (Left() < 2) return false;
    v = GetU16LE(m_p + m_pos);
    m_pos += 2;
    return true;
}
bool WireReader::U32(uint32_t& v) {
    if (Left() < 4) return false;
    v = GetU32LE(m_p + m_pos);
    m_pos += 4;
    return true;
}
bool WireReader::Bytes(size_t n, const uint8_t*& out) {
    if (Left() < n) return false;
    out = m_p + m_pos;
    m_pos += n;
    return true;
}

ByteVec DeviceFrame(uint16_t code, uint16_t flags, const ByteVec& payload) {
    FrameHeaderBytes h = BuildFrameHeader(code, flags);
    ByteVec out(h.size() + payload.size());
    std::copy(h.begin(), h.end(), out.begin());
    std::copy(payload.begin(), payload.end(), out.begin() + std::ptrdiff_t(h.size()));
    return out;
}

ByteVec EncodeText(std::u16string_view text, bool utf16) {
    if (utf16) return EncodeUtf16LE(text);
    std::string narrow = NarrowAnsi(text);
    return ByteVec(narrow.begin(), narrow.end());
}

ByteVec TextField(std::u16string_view text, bool utf16, size_t maxBytes) {
    const size_t unit = utf16 ? 2 : 1;
    if (maxBytes < unit) return {};
    ByteVec b = EncodeText(text.substr(0, text.find(u'\0')), utf16);
    b.resize(std::min(b.size(), (maxBytes / unit - 1) * unit));
    b.resize(b.size() + unit, 0);
    return b;
}

std::u16string DecodeText(const uint8_t* p, size_t n, bool utf16) {
    return utf16 ? DecodeUtf16LE(p, n) : WidenAnsi(p, n);
}

uint16_t PanelInfoFlags(const Panel& panel) {
    uint16_t f = 0;
    if (panel.utf16Title) f |= HF_TITLE_UTF16;
    if (panel.noPings) f |= HF_NO_PINGS;
    if (panel.keepPanel) f |= HF_KEEP_PANEL;
    return f;
}

ByteVec PanelInfoPayload(const Panel& panel) {
    WireWriter w;
    w.Sized(EncodeText(panel.title, panel.utf16Title));
    w.Sized(EncodeText(panel.about, true)); // the about text is always UTF-16
    return w.Take();
}

namespace {

// The attribute block: tags first, then each attribute's length and data.
class AttributeBlock {
public:
    void Add(char tag, ByteVec data) { m_attrs.push_back({tag, std::move(data)}); }
    void U32(char tag, uint32_t v) { Add(tag, WireWriter().U32(v).Take()); }
    void U8(char tag, uint8_t v) { Add(tag, ByteVec{v}); }
    void Text(char tag, std::u16string_view text, bool utf16) { Add(tag, EncodeText(text, utf16)); }
    // Texts each ended by a zero character, one after the other.
    void Strings(char tag, const std::vector<std::u16string>& texts, bool utf16) {
        ByteVec all;
        for (const std::u16string& t : texts) {
            ByteVec b = TextField(t, utf16, (t.size() + 1) * (utf16 ? 2 : 1));
            all.insert(all.end(), b.begin(), b.end());
        }
        Add(tag, std::move(all));
    }
    void WriteTo(WireWriter& w) const {
        w.U32(uint32_t(m_attrs.size()));
        for (const auto& a : m_attrs) w.U8(uint8_t(a.first));
        for (const auto& a : m_attrs) w.Sized(a.second);
    }

private:
    std::vector<std::pair<char, ByteVec>> m_attrs;
};

ByteVec U32Bytes(uint32_t v) {
    return WireWriter().U32(v).Take();
}

// Text labels as the definition carries them: one zero-ended text per row.
ByteVec TextLabelArea(const PanelControl& c) {
    const bool utf16 = c.flags & CTRLF_TEXT16;
    ByteVec all;
    for (int32_t r = 0; r < c.matrix.capacity; ++r) {
        std::u16string_view t = size_t(r) < c.matrix.textLabels.size()
                                    ? std::u16string_view(c.matrix.textLabels[size_t(r)])
                                    : std::u16string_view();
        ByteVec b = TextField(t, utf16, (t.size() + 1) * (utf16 ? 2 : 1));
        all.insert(all.end(), b.begin(), b.end());
    }
    return all;
}

ByteVec MatrixValue(const PanelControl& c, bool withTextLabels) {
    WireWriter w;
    w.Raw(c.matrix.cells);
    if (MatrixLabelKind(c.flags) == 2) {
        if (withTextLabels) w.Raw(TextLabelArea(c));
    } else {
        w.Raw(c.matrix.labels);
    }
    w.U32(uint32_t(c.matrix.rows));
    return w.Take();
}

} // namespace

ByteVec DefinitionBytes(const PanelControl& c) {
    const bool utf16 = c.flags & CTRLF_TEXT16;
    ByteVec value;
    AttributeBlock attrs;
    if (!c.name.empty()) attrs.Text('Z', c.name, utf16);
    if (c.colour) attrs.U32('c', *c.colour);

    switch (c.kind) {
    case SimKind::Text:
        value = TextField(c.text, utf16, c.maxSize);
        attrs.U32('m', c.maxSize);
        break;
    case SimKind::Button:
    case SimKind::Section:
    case SimKind::Password:
        value = {c.state};
        break;
    case SimKind::Latch:
        value = {c.state};
        attrs.U32('r', c.group);
        break;
    case SimKind::DateTime:
        value.assign(c.dateTime.begin(), c.dateTime.end());
        attrs.Text('f', c.format.value_or(u""), utf16);
        break;
    case SimKind::Number:
        value = U32Bytes(uint32_t(c.number));
        if (c.format) attrs.Text('f', *c.format, utf16);
        attrs.U32('n', uint32_t(c.min));
        attrs.U32('x', uint32_t(c.max));
        attrs.U8('d', c.decimals);
        attrs.U8('m', uint8_t(c.exponent));
        break;
    case SimKind::Matrix: {
        const MatrixState& m = c.matrix;
        value = MatrixValue(c, true);
        attrs.U32('n', uint32_t(m.capacity));
        attrs.U32('N', uint32_t(m.columns));
        attrs.Text('f', m.labelFormat, utf16);
        attrs.Text('F', m.cellFormat, utf16);
        attrs.Text('a', m.labelHeading, utf16);
        attrs.Strings('A', m.columnNames, utf16);
        attrs.U8('d', m.labelDecimals);
        attrs.U8('m', uint8_t(m.labelExponent));
        attrs.U8('D', m.cellDecimals);
        attrs.U8('M', uint8_t(m.cellExponent));
        break;
    }
    case SimKind::List:
        value = U32Bytes(uint32_t(c.number));
        attrs.U32('n', uint32_t(c.items.size()));
        attrs.Strings('I', c.items, utf16);
        break;
    case SimKind::MessageBox:
        value = TextField(c.text, utf16, size_t(c.maxSize) * (utf16 ? 2 : 1));
        attrs.U32('m', c.maxSize);
        break;
    case SimKind::Blob:
        value = c.data;
        attrs.U32('m', c.maxSize);
        break;
    case SimKind::Image:
        value = c.data;
        break;
    case SimKind::File:
    case SimKind::Unsupported:
        break;
    }

    WireWriter w;
    w.U16(uint16_t(uint8_t(c.letter))).U32(c.flags).U32(c.id).Sized(value);
    attrs.WriteTo(w);
    return w.Take();
}

ByteVec PanelDefinitionPayload(const Panel& panel) {
    WireWriter w;
    w.U32(uint32_t(panel.controls.size()));
    for (const PanelControl& c : panel.controls) w.Sized(DefinitionBytes(c));
    return w.Take();
}

std::optional<ByteVec> DeviceValue(const PanelControl& c) {
    const bool utf16 = c.flags & CTRLF_TEXT16;
    switch (c.kind) {
    case SimKind::Text:
        return TextField(c.text, utf16, c.maxSize);
    case SimKind::Button:
    case SimKind::Latch:
    case SimKind::Section:
    case SimKind::Password:
        return ByteVec{c.state};
    case SimKind::DateTime:
        return ByteVec(c.dateTime.begin(), c.dateTime.end());
    case SimKind::Number:
    case SimKind::List:
        return U32Bytes(uint32_t(c.number));
    case SimKind::Matrix:
        return MatrixValue(c, false);
    case SimKind::MessageBox:
        return TextField(c.text, utf16, size_t(c.maxSize) * (utf16 ? 2 : 1));
    case SimKind::Blob:
        return c.data;
    case SimKind::File:
    case SimKind::Unsupported:
    case SimKind::Image:
        break;
    }
    return std::nullopt;
}

ByteVec ItemListPayload(const std::vector<ValueItem>& items) {
    WireWriter w;
    w.U32(uint32_t(items.size()));
    for (const ValueItem& it : items) w.U32(it.id).Sized(it.data);
    return w.Take();
}

ByteVec AttributeChange(uint32_t flags, std::optional<uint32_t> colour) {
    WireWriter w;
    w.U32(colour ? flags | CTRLF_COLOUR_PRESENT : flags & ~CTRLF_COLOUR_PRESENT);
    if (colour) w.U32(*colour);
    return w.Take();
}

ByteVec MatrixRowItem(const PanelControl& c, int32_t row) {
    const MatrixState& m = c.matrix;
    const size_t w = size_t(MatrixCellBytes(c.flags));
    const size_t e = size_t(MatrixLabelBytes(c.flags));
    WireWriter out;
    for (int32_t col = 0; col < m.columns; ++col) {
        const size_t at = (size_t(row) + size_t(col) * size_t(m.capacity)) * w;
        if (at + w <= m.cells.size()) out.Raw(m.cells.data() + at, w);
    }
    if (e && (size_t(row) + 1) * e <= m.labels.size())
        out.Raw(m.labels.data() + size_t(row) * e, e);
    out.U32(uint32_t(m.rows)).U32(uint32_t(row));
    return out.Take();
}

ByteVec FilesPayload(const PanelControl& c) {
    WireWriter w;
    w.U32(c.id);
    if (c.fileName.empty()) return w.U32(0).Take();
    const bool utf16 = c.flags & CTRLF_TEXT16;
    w.U32(1);
    w.Sized(TextField(c.fileName, utf16, (c.fileName.size() + 1) * (utf16 ? 2 : 1)));
    w.Sized(c.data);
    return w.Take();
}

ByteVec LayoutPayload(const std::vector<LayoutRecord>& records) {
    WireWriter w;
    w.U32(uint32_t(records.size()));
    for (const LayoutRecord& r : records) w.U32(r.id).U32(r.property).U32(r.value);
    return w.Take();
}
