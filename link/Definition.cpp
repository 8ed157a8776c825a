// One control definition parsed into a CLinkCtrl, plus the small helpers of LinkCtrl.h.
//
// Layout: u16 letter, u32 flags, u32 id, u32 V, V bytes of value, then the attribute block
// (u32 N, N tag bytes, then per attribute u32 length + data). Everything is read through a
// bounded ByteReader: a definition that ends early ends at its last whole field, nothing is read
// past `size`, and nothing is allocated from a size that has not been checked against a limit or
// against the bytes actually present.
#include "Definition.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "Alerts.h"
#include "ByteReader.h"
#include "Frame.h"
#include "TextCodec.h"

// ---------------------------------------------------------------------------------------------
// LinkCtrl.h helpers

uint16_t KindFromLetter(uint16_t letter) {
    switch (letter) {
    case 'T':
        return KIND_TEXT;
    case 'B':
        return KIND_BUTTON;
    case 'G':
        return KIND_LATCH;
    case 'S':
        return KIND_SECTION;
    case 'D':
        return KIND_DATETIME;
    case 'N':
        return KIND_NUMBER;
    case 'M':
        return KIND_MATRIX;
    case 'P':
        return KIND_PASSWORD;
    case 'L':
        return KIND_LIST;
    case 'X':
        return KIND_MESSAGEBOX;
    case 'O':
        return KIND_BLOB;
    case 'F':
        return KIND_FILE;
    case 'I':
        return KIND_IMAGE;
    default:
        return KIND_UNSUPPORTED;
    }
}

int MatrixRowLabelKind(uint32_t flags) {
    return int((flags >> 16) & 3);
}

int MatrixElementWidth(uint32_t code) {
    switch (code & 3) {
    case 0:
        return 4;
    case 1:
        return 2;
    case 2:
        return 1;
    default:
        return 0; // code 3: no element, reads as 0
    }
}

int MatrixCellWidth(uint32_t flags) {
    return MatrixElementWidth(flags >> 20);
}

int MatrixRowLabelWidth(uint32_t flags) {
    switch (MatrixRowLabelKind(flags)) {
    case 1:
        return MatrixElementWidth(flags >> 18);
    case 3:
        return 8;
    default:
        return 0;
    }
}

bool IsRawBlob(uint32_t flags) {
    return (flags & CTRLF_TEXT16) || !(flags & CTRLF_EDITABLE);
}

// ---------------------------------------------------------------------------------------------

namespace {

constexpr uint32_t kColourGrey = 0xC0C0C0;
constexpr uint32_t kColourWhite = 0xFFFFFF;
// Texts, maximum sizes and blob/message-box values: 0xFFFF is the largest accepted.
constexpr uint32_t kMaxText = LINK_MAX_COUNT - 1;

// The attribute block: the last attribute of each tag.
class Attributes {
public:
    void Parse(ByteReader& r) {
        uint32_t n = 0;
        if (!r.U32(n)) return;
        const uint8_t* tags = nullptr;
        if (!r.Bytes(n, tags)) return; // the tag list itself is cut: no whole attribute follows
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t len = 0;
            const uint8_t* data = nullptr;
            if (!r.U32(len) || !r.Bytes(len, data)) return; // ends at the last whole attribute
            m_attr[tags[i]] = Attr{true, data, len};
        }
    }

    bool Has(char tag) const { return m_attr[uint8_t(tag)].present; }

    // Integer attribute: min(length, width) bytes, little-endian, the rest zero.
    template <typename T> bool Int(char tag, T& out) const {
        const Attr& a = m_attr[uint8_t(tag)];
        if (!a.present) return false;
        static_assert(sizeof(T) <= 4);
        uint8_t b[4] = {}; // bytes past the width are cut off by the conversion
        if (a.len) std::memcpy(b, a.data, std::min<size_t>(a.len, 4));
        out = T(GetU32LE(b));
        return true;
    }

    // Text attribute: UTF-16 (length/2 characters) or widened 8-bit text. A single text ends at
    // its first zero character; a multi-string text keeps its zeros.
    bool Text(char tag, bool utf16, bool multi, std::u16string& out) const {
        const Attr& a = m_attr[uint8_t(tag)];
        if (!a.present) return false;
        out = DecodeText(a.data, a.len, utf16, !multi);
        if (multi && (out.empty() || out.back() != 0)) out.push_back(0);
        return true;
    }

    static std::u16string DecodeText(const uint8_t* p, size_t n, bool utf16, bool stopAtZero) {
        return utf16 ? DecodeUtf16LE(p, n, stopAtZero) : WidenAnsi(p, n, stopAtZero);
    }

private:
    struct Attr {
        bool present = false;
        const uint8_t* data = nullptr;
        uint32_t len = 0;
    };
    std::array<Attr, 256> m_attr{};
};

// A zero-filled text buffer of exactly `chars` characters holding `text` (cut to fit) up to its
// first zero: the text is "up to the first zero or the end".
void SetTextBuffer(std::u16string& buffer, std::u16string text, size_t chars) {
    size_t n = std::min(TextLength(text.data(), text.size()), chars);
    buffer.assign(chars, u'\0');
    std::copy_n(text.begin(), n, buffer.begin());
}

// memcpy that accepts empty ranges with null pointers.
void CopyBytes(void* dst, const void* src, size_t n) {
    if (n) std::memcpy(dst, src, n);
}

// Default of a multi-string attribute: max(count, 1) zero characters, never more than the
// link's count limit (the count itself is kept as the device gave it).
std::u16string DefaultStrings(int32_t count) {
    int64_t n = std::clamp<int64_t>(count, 1, LINK_MAX_COUNT);
    return std::u16string(size_t(n), u'\0');
}

void ParseMatrix(CLinkCtrl& c, const uint8_t* value, uint32_t V, const Attributes& attrs,
                 ILinkAlerts* alerts) {
    const bool utf16 = c.m_dwFlags & CTRLF_TEXT16;
    attrs.Int('n', c.m_nMaxRows);
    attrs.Int('N', c.m_nCols);
    if (!attrs.Text('f', utf16, false, c.m_strRowLabelFormat)) c.m_strRowLabelFormat = u" ";
    if (!attrs.Text('F', utf16, false, c.m_strCellFormat)) c.m_strCellFormat = u" ";
    attrs.Text('a', utf16, false, c.m_strRowLabelHeading);
    if (!attrs.Text('A', utf16, true, c.m_columnNames)) c.m_columnNames = DefaultStrings(c.m_nCols);
    attrs.Int('d', c.m_nRowLabelDecimals);
    attrs.Int('m', c.m_nRowLabelExponent);
    attrs.Int('D', c.m_nCellDecimals);
    attrs.Int('M', c.m_nCellExponent);

    // S = M x w x C, in 64 bits; a negative dimension or 0x100000 and above is oversize.
    const int w = MatrixCellWidth(c.m_dwFlags);
    uint64_t s = 0;
    if (w != 0) {
        // Both dimensions below 2^31: the product stays below 2^64.
        bool bad = c.m_nMaxRows < 0 || c.m_nCols < 0;
        if (!bad) s = uint64_t(c.m_nMaxRows) * uint64_t(w) * uint64_t(c.m_nCols);
        if (bad || s >= LINK_MAX_MATRIX_BYTES) {
            RaiseSizeAlarm(alerts, __LINE__);
            s = 0;
        }
    }
    const uint32_t S = uint32_t(s);
    c.m_nCellBytes = S;
    c.m_cells.assign(S, 0);

    if (uint64_t(V) < uint64_t(S) + 4) {
        // Too short for cells and rows value: what there is of the cells, no labels, rows 0.
        CopyBytes(c.m_cells.data(), value, std::min(V, S));
        c.m_nRowLabelBytes = 0;
        c.m_rowLabels.clear();
        c.m_nRows = 0;
        return;
    }
    const uint32_t R = V - S - 4;
    CopyBytes(c.m_cells.data(), value, S);
    c.m_nRowLabelBytes = R;
    const uint8_t* labels = value + S;
    if (MatrixRowLabelKind(c.m_dwFlags) == 2 && !utf16)
        c.m_rowLabels = EncodeUtf16LE(WidenAnsi(labels, R, false));
    else
        c.m_rowLabels.assign(labels, labels + R);
    c.m_nRows = GetU32LE(value + V - 4);
}

} // namespace

CLinkCtrl ParseDefinition(const uint8_t* bytes, size_t size, ILinkAlerts* alerts) {
    CLinkCtrl c;
    ByteReader r(bytes, size);

    uint16_t letter = 0;
    if (!r.U16(letter)) return c; // not even a letter: an entry never filled (kind 0)
    c.m_nKind = KindFromLetter(letter);
    if (!r.U32(c.m_dwFlags)) return c;
    if (!r.U32(c.m_nId)) return c;
    if (c.m_nKind == KIND_UNSUPPORTED) return c; // only id, flags and kind
    uint32_t V = 0;
    if (!r.U32(V)) return c;

    const uint16_t kind = c.m_nKind;
    const bool utf16 = c.m_dwFlags & CTRLF_TEXT16;

    // "V must be": any other length shows the box and ends the parse (List goes on).
    uint32_t mustBe = 0;
    switch (kind) {
    case KIND_BUTTON:
    case KIND_LATCH:
    case KIND_SECTION:
    case KIND_PASSWORD:
        mustBe = 1;
        break;
    case KIND_DATETIME:
        mustBe = 8;
        break;
    case KIND_NUMBER:
    case KIND_LIST:
        mustBe = 4;
        break;
    default:
        break;
    }
    if (mustBe && V != mustBe) {
        RaiseDiagnostic(alerts, __LINE__, long(V));
        if (kind != KIND_LIST) return c;
    }

    // Value lengths over their limits: the size alarm, then an empty value. The announced bytes
    // still belong to the definition: the attribute block follows them.
    bool valueTooBig = false;
    if ((kind == KIND_MESSAGEBOX || kind == KIND_BLOB) && V > kMaxText) valueTooBig = true;
    if (kind == KIND_IMAGE && V > LINK_MAX_IMAGE_BYTES) valueTooBig = true;
    if (valueTooBig) RaiseSizeAlarm(alerts, __LINE__);

    const uint8_t* value = nullptr;
    if (!r.Bytes(V, value)) return c; // the value is cut: the definition ends here
    if (valueTooBig) V = 0;

    Attributes attrs;
    attrs.Parse(r);

    attrs.Text('Z', utf16, false, c.m_pszName);
    auto colour = [&](uint32_t def) {
        c.m_crColour = def;
        attrs.Int('c', c.m_crColour);
    };
    const uint32_t editableColour = (c.m_dwFlags & CTRLF_EDITABLE) ? kColourGrey : kColourWhite;

    switch (kind) {
    case KIND_TEXT: {
        // The initial text in a buffer of V bytes (UTF-16) or V characters (8-bit).
        std::u16string text = Attributes::DecodeText(value, V, utf16, true);
        SetTextBuffer(c.m_text, text, utf16 ? V / 2 : V);
        uint32_t m = 0;
        if (!attrs.Int('m', m)) {
            RaiseDiagnostic(alerts, __LINE__, 0); // buffer left as the value gave it
        } else {
            if (m > kMaxText) {
                RaiseSizeAlarm(alerts, __LINE__);
                m = 0;
            }
            c.m_nMaxSize = m;
            SetTextBuffer(c.m_text, c.m_text, utf16 ? m / 2 : m);
        }
        colour(kColourWhite);
        break;
    }
    case KIND_BUTTON:
    case KIND_SECTION:
    case KIND_PASSWORD:
        c.m_bState = value[0];
        colour(kind == KIND_PASSWORD ? kColourWhite : kColourGrey);
        break;
    case KIND_LATCH:
        c.m_bState = value[0];
        attrs.Int('r', c.m_nGroup);
        colour(kColourGrey);
        break;
    case KIND_DATETIME:
        std::memcpy(c.m_DateTime, value, 8);
        c.m_bHasFormat = attrs.Text('f', utf16, false, c.m_strFormat);
        if (!c.m_bHasFormat) RaiseDiagnostic(alerts, __LINE__, 0);
        colour(editableColour);
        break;
    case KIND_NUMBER: {
        uint32_t v = GetU32LE(value);
        c.m_nValue = int32_t(v);
        c.m_bHasFormat = attrs.Text('f', utf16, false, c.m_strFormat);
        if (!c.m_bHasFormat) c.m_strFormat = u"%%";
        attrs.Int('n', c.m_nMin);
        attrs.Int('x', c.m_nMax);
        attrs.Int('d', c.m_nDecimals);
        attrs.Int('m', c.m_nExponent);
        colour(editableColour);
        break;
    }
    case KIND_MATRIX:
        ParseMatrix(c, value, V, attrs, alerts);
        colour(kColourGrey);
        break;
    case KIND_LIST: {
        // The selected index: min(V, 4) bytes, the rest zero (V may be wrong, the parse goes on).
        uint8_t b[4] = {};
        CopyBytes(b, value, std::min<uint32_t>(V, 4));
        c.m_nValue = int32_t(GetU32LE(b));
        attrs.Int('n', c.m_nItems);
        if (!attrs.Text('I', utf16, true, c.m_items)) c.m_items = DefaultStrings(c.m_nItems);
        colour(kColourWhite);
        break;
    }
    case KIND_MESSAGEBOX: {
        c.m_text = Attributes::DecodeText(value, V, utf16, true);
        uint32_t m = 0;
        if (!attrs.Int('m', m)) {
            RaiseDiagnostic(alerts, __LINE__, 0);
        } else {
            if (m > kMaxText) { // the link's text limit, checked before allocating
                RaiseSizeAlarm(alerts, __LINE__);
                m = 0;
            }
            c.m_nMaxSize = m;
            SetTextBuffer(c.m_text, c.m_text, m);
        }
        c.m_bAnswer = 0;
        c.m_crColour = 0; // no colour is read
        break;
    }
    case KIND_BLOB: {
        const bool raw = IsRawBlob(c.m_dwFlags);
        if (raw) {
            c.m_data.assign(value, value + V);
            c.m_nDataLen = V;
        } else {
            c.m_data = EncodeUtf16LE(WidenAnsi(value, V, false));
            c.m_nDataLen = 2 * V;
        }
        uint32_t m = 0;
        if (!attrs.Int('m', m)) {
            RaiseDiagnostic(alerts, __LINE__, 0); // data left as the value gave it
            c.m_nDataSize = uint32_t(c.m_data.size());
        } else {
            uint64_t capacity = raw ? uint64_t(m) : 2 * uint64_t(m);
            if (capacity >= LINK_MAX_MATRIX_BYTES) { // the link's buffer limit
                RaiseSizeAlarm(alerts, __LINE__);
                capacity = 0;
            }
            c.m_nDataSize = uint32_t(capacity);
            c.m_data.resize(size_t(capacity), 0);
        }
        uint32_t n = 0;
        uint64_t len = c.m_nDataLen;
        if (attrs.Int('n', n)) len = raw ? uint64_t(n) : 2 * uint64_t(n);
        // The held length never exceeds the bytes held, so readers of m_data stay inside it.
        c.m_nDataLen = uint32_t(std::min<uint64_t>(len, c.m_data.size()));
        colour(kColourGrey);
        break;
    }
    case KIND_FILE:
        colour(kColourGrey);
        break;
    case KIND_IMAGE:
        c.m_data.assign(value, value + V);
        c.m_nDataLen = V;
        c.m_nDataSize = V;
        colour(kColourGrey);
        break;
    default:
        break;
    }
    return c;
}
