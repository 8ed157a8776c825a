#include "FrameDecoder.h"

#include <algorithm>
#include <cstdio>

#include "ByteReader.h"
#include "CtrlFlags.h"
#include "Frame.h"
#include "LinkCtrl.h"
#include "TextCodec.h"

namespace {

// How much of a list is shown: enough to recognise a message, never the whole of a large one.
constexpr uint32_t kItemsListed = 16;
constexpr uint32_t kControlsListed = 32;
constexpr uint32_t kFilesListed = 8;
constexpr uint32_t kRecordsListed = 8;
constexpr size_t kTextShown = 60;

std::string Hex(uint32_t v, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, unsigned(v));
    return buf;
}

std::string Bytes(size_t n) {
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

// A device text from a few more bytes than are shown: bounded work, and a longer text is marked.
std::string Text(const uint8_t* p, size_t n, bool utf16) {
    const size_t take = std::min(n, (kTextShown + 1) * (utf16 ? 2 : 1));
    return QuoteDeviceText(utf16 ? DecodeUtf16LE(p, take) : WidenAnsi(p, take));
}

std::string I32OrSize(const uint8_t* d, size_t n) {
    return n >= 4 ? std::to_string(int32_t(GetU32LE(d))) : Bytes(n);
}

std::string ByteOrEmpty(const uint8_t* d, size_t n) {
    return n ? std::to_string(d[0]) : "(empty)";
}

// One value item by the kind of its control, in the encoding of the direction.
std::string Value(uint32_t id, const uint8_t* d, size_t n, bool sent, const IControlKinds* kinds) {
    std::string s = "#" + std::to_string(id);
    uint16_t kind = 0;
    uint32_t flags = 0;
    if (!kinds || !kinds->Find(id, kind, flags)) return s + " (unknown) " + Bytes(n);
    s += std::string(" ") + ControlKindName(kind) + " ";
    const bool utf16 = flags & CTRLF_TEXT16;
    switch (kind) {
    case KIND_TEXT:
        return s + Text(d, n, utf16);
    case KIND_BUTTON:
    case KIND_LATCH:
    case KIND_SECTION:
        return s + ByteOrEmpty(d, n);
    case KIND_DATETIME:
        return s + (n >= 8 ? FormatWireDateTime(d) : Bytes(n));
    case KIND_NUMBER:
    case KIND_LIST:
        return s + I32OrSize(d, n);
    case KIND_PASSWORD:
        if (sent) return s + "request (" + Bytes(n) + ")";
        return s + (n && d[0] ? "logged in" : "logged out");
    case KIND_MESSAGEBOX:
        return s + (sent ? "answer " + ByteOrEmpty(d, n) : Text(d, n, utf16));
    case KIND_FILE:
        return s + (n ? Bytes(n) : "request");
    case KIND_IMAGE:
        return s + (n ? Bytes(n) : "pressed");
    default:
        return s + Bytes(n);
    }
}

std::string Attribute(uint32_t id, const uint8_t* d, size_t n) {
    std::string s = "#" + std::to_string(id) + " attributes";
    if (n < 4) return s + " " + Bytes(n);
    const uint32_t w = GetU32LE(d);
    s += " flags=" + Hex(w, 8);
    if ((w & CTRLF_COLOUR_PRESENT) && n >= 8) s += " colour=" + Hex(GetU32LE(d + 4), 6);
    return s;
}

std::string MatrixRow(uint32_t id, const uint8_t* d, size_t n) {
    std::string s = "#" + std::to_string(id) + " row";
    if (n < 8) return s + " " + Bytes(n);
    return s + " " + std::to_string(GetU32LE(d + n - 4)) + ", rows value " +
           std::to_string(int32_t(GetU32LE(d + n - 8)));
}

// " 2 items #8 number 500; #9 ..." of messages 7, 9, 16 and 21.
std::string Items(ByteReader& r, uint16_t code, bool sent, const IControlKinds* kinds) {
    uint32_t count = 0;
    if (!r.U32(count)) return {};
    std::string s = std::to_string(count) + (count == 1 ? " item" : " items");
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t id = 0, length = 0;
        const uint8_t* d = nullptr;
        if (i == kItemsListed || !r.U32(id) || !r.U32(length) || !r.Bytes(length, d))
            return s + (i ? "; ..." : " ...");
        s += i ? "; " : " ";
        if (code == MSG_ATTRIBUTES && !sent)
            s += Attribute(id, d, length);
        else if (code == MSG_MATRIX_ROWS && !sent)
            s += MatrixRow(id, d, length);
        else
            s += Value(id, d, length, sent, kinds);
    }
    return s;
}

std::string PanelInfo(ByteReader& r, uint16_t flags) {
    uint32_t n = 0;
    const uint8_t* p = nullptr;
    if (!r.U32(n) || !r.Bytes(n, p)) return {};
    std::string s = "title " + Text(p, n, flags & HF_TITLE_UTF16);
    if (flags & HF_NO_PINGS) s += ", no pings";
    if (flags & HF_KEEP_PANEL) s += ", keep panel";
    return s;
}

char Printable(uint16_t letter) {
    return letter >= 0x21 && letter < 0x7F ? char(letter) : '?';
}

std::string Definitions(ByteReader& r) {
    uint32_t count = 0;
    if (!r.U32(count)) return {};
    std::string s = std::to_string(count) + (count == 1 ? " control:" : " controls:");
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t size = 0, flags = 0, id = 0;
        uint16_t letter = 0;
        const uint8_t* p = nullptr;
        if (i == kControlsListed || !r.U32(size) || !r.Bytes(size, p)) return s + " ...";
        ByteReader def(p, size);
        if (!def.U16(letter) || !def.U32(flags) || !def.U32(id)) {
            s += " (" + Bytes(size) + ")";
            continue;
        }
        s += " " + std::string(1, Printable(letter)) + "#" + std::to_string(id);
    }
    return s;
}

std::string Files(ByteReader& r, const IControlKinds* kinds) {
    uint32_t id = 0, count = 0;
    if (!r.U32(id) || !r.U32(count)) return {};
    std::string s =
        "#" + std::to_string(id) + ", " + std::to_string(count) + (count == 1 ? " file" : " files");
    uint16_t kind = 0;
    uint32_t flags = 0;
    const bool utf16 = kinds && kinds->Find(id, kind, flags) && (flags & CTRLF_TEXT16);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t length = 0;
        const uint8_t* p = nullptr;
        if (i == kFilesListed || !r.U32(length) || !r.Bytes(length, p)) return s + " ...";
        s += " " + Text(p, length, utf16);
        if (!r.U32(length)) return s + " ...";
        s += " (" + Bytes(length) + ")";
        if (!r.Bytes(length, p)) return s; // the content is not all here: nothing after it is
    }
    return s;
}

std::string LayoutRecords(ByteReader& r) {
    uint32_t count = 0;
    if (!r.U32(count)) return {};
    std::string s = std::to_string(count) + (count == 1 ? " record" : " records");
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t id = 0, property = 0, value = 0;
        if (i == kRecordsListed || !r.U32(id) || !r.U32(property) || !r.U32(value))
            return s + " ...";
        s += " (#" + std::to_string(id) + " " + std::to_string(property) + "=" +
             std::to_string(int32_t(value)) + ")";
    }
    return s;
}

// Cut to the limit without splitting a UTF-8 sequence.
void Bound(std::string& s) {
    if (s.size() <= FRAME_DECODE_MAX_CHARS) return;
    size_t cut = FRAME_DECODE_MAX_CHARS - 3;
    while (cut > 0 && (uint8_t(s[cut]) & 0xC0) == 0x80) --cut;
    s.resize(cut);
    s += "...";
}

} // namespace

ControlKindTable::ControlKindTable(std::vector<ControlKind> entries)
    : m_sorted(std::move(entries)) {
    std::stable_sort(m_sorted.begin(), m_sorted.end(),
                     [](const ControlKind& a, const ControlKind& b) { return a.id < b.id; });
}

bool ControlKindTable::Find(uint32_t id, uint16_t& kind, uint32_t& flags) const {
    auto it = std::lower_bound(m_sorted.begin(), m_sorted.end(), id,
                               [](const ControlKind& e, uint32_t v) { return e.id < v; });
    if (it == m_sorted.end() || it->id != id) return false;
    kind = it->kind;
    flags = it->flags;
    return true;
}

const char* FrameCodeName(uint16_t code, bool sent) {
    if (sent) {
        switch (code) {
        case MSG_CONNECT:
            return "MSG_CONNECT";
        case MSG_DISCONNECT:
            return "MSG_DISCONNECT";
        case MSG_CLIENT_VALUES:
            return "MSG_CLIENT_VALUES";
        case MSG_PING:
            return "MSG_PING";
        case MSG_PRESENCE_REPLY:
            return "MSG_PRESENCE_REPLY";
        case MSG_ACK:
            return "MSG_ACK";
        case MSG_REQUEST:
            return "MSG_REQUEST";
        default:
            return "unknown";
        }
    }
    switch (code) {
    case MSG_DEVICE_CLOSED:
    case MSG_DEVICE_CLOSED_ALT:
        return "MSG_DEVICE_CLOSED";
    case MSG_PANEL_INFO:
        return "MSG_PANEL_INFO";
    case MSG_PANEL_DEFINITION:
        return "MSG_PANEL_DEFINITION";
    case MSG_PRESENCE_QUERY:
        return "MSG_PRESENCE_QUERY";
    case MSG_DEVICE_VALUES:
        return "MSG_DEVICE_VALUES";
    case MSG_PING_REPLY:
        return "MSG_PING_REPLY";
    case MSG_DEVICE_ACK:
        return "MSG_DEVICE_ACK";
    case MSG_PANEL_CHANGED:
        return "MSG_PANEL_CHANGED";
    case MSG_ATTRIBUTES:
        return "MSG_ATTRIBUTES";
    case MSG_FILES:
        return "MSG_FILES";
    case MSG_LAYOUT_RECORDS:
        return "MSG_LAYOUT_RECORDS";
    case MSG_MATRIX_ROWS:
        return "MSG_MATRIX_ROWS";
    default:
        return "unknown";
    }
}

std::string DecodeFramePayload(uint16_t code, uint16_t flags, bool sent, const uint8_t* payload,
                               size_t n, const IControlKinds* kinds) {
    ByteReader r(payload, n);
    std::string s;
    if (sent) {
        if (code == MSG_REQUEST) {
            uint32_t argument = 0;
            if (r.U32(argument)) s = "argument " + std::to_string(argument);
        } else if (code == MSG_CLIENT_VALUES) {
            s = Items(r, code, sent, kinds);
        }
    } else {
        switch (code) {
        case MSG_PANEL_INFO:
            s = PanelInfo(r, flags);
            break;
        case MSG_PANEL_DEFINITION:
            s = Definitions(r);
            break;
        case MSG_DEVICE_VALUES:
        case MSG_ATTRIBUTES:
        case MSG_MATRIX_ROWS:
            s = Items(r, code, sent, kinds);
            break;
        case MSG_FILES:
            s = Files(r, kinds);
            break;
        case MSG_LAYOUT_RECORDS:
            s = LayoutRecords(r);
            break;
        default:
            break;
        }
    }
    Bound(s);
    return s;
}

std::string DescribeFrame(uint16_t code, uint16_t flags, bool sent, const std::string& decode) {
    std::string s = std::string(FrameCodeName(code, sent)) + " (" + std::to_string(code) + ")";
    if (flags) s += " flags=" + Hex(flags, 4);
    if (flags & HF_ACK_REQUEST) s += " [ack requested]";
    if (!decode.empty()) s += ": " + decode;
    return s;
}

std::string DescribeFrame(const DecodedFrame& frame) {
    return DescribeFrame(frame.code, frame.flags, frame.sent, frame.decode);
}

const char* ControlKindName(uint16_t kind) {
    static const char* const names[] = {"text",   "button", "latch",       "section", "datetime",
                                        "number", "matrix", "password",    "list",    "messagebox",
                                        "blob",   "file",   "unsupported", "image"};
    return kind >= KIND_TEXT && kind <= KIND_IMAGE ? names[kind - KIND_TEXT] : "?";
}

std::string QuoteDeviceText(std::u16string_view text) {
    std::string out = "\"";
    for (char c : Utf16ToUtf8(text.substr(0, kTextShown)))
        out += uint8_t(c) < 0x20 || c == 0x7F ? '.' : c;
    return out + (text.size() > kTextShown ? "...\"" : "\"");
}

std::string FormatWireDateTime(const uint8_t* v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", unsigned(GetU16LE(v + 6)),
                  unsigned(v[5]), unsigned(v[3]), unsigned(v[2]), unsigned(v[1]), unsigned(v[0]));
    return buf;
}
