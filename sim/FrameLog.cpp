#include "FrameLog.h"

#include <algorithm>
#include <cstdio>

#include "Frame.h"
#include "SimDateTime.h"
#include "Utf8.h"

namespace {

const char* ClientCodeName(uint16_t code) {
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

const char* DeviceCodeName(uint16_t code) {
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

std::string Hex(uint32_t v, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, unsigned(v));
    return buf;
}

std::string Head(const char* arrow, uint16_t code, const char* name, uint16_t flags) {
    std::string s = std::string(arrow) + " " + name + " (" + std::to_string(code) + ")";
    if (flags) s += " flags=" + Hex(flags, 4);
    if (flags & HF_ACK_REQUEST) s += " [ack requested]";
    return s;
}

int32_t I32(const ByteVec& d) {
    return d.size() >= 4 ? int32_t(GetU32LE(d.data())) : 0;
}

// One value item by the kind of its control; `fromClient` picks the direction's encoding.
std::string DescribeValue(const ValueItem& item, const Panel& panel, bool fromClient) {
    const PanelControl* c = panel.Find(item.id);
    std::string s = "#" + std::to_string(item.id);
    const ByteVec& d = item.data;
    if (!c) return s + " (unknown) " + std::to_string(d.size()) + " bytes";
    s += std::string(" ") + KindName(c->kind) + " ";
    const bool utf16 = c->flags & CTRLF_TEXT16;
    switch (c->kind) {
    case SimKind::Text:
        return s + ConsoleQuote(DecodeText(d.data(), d.size(), utf16));
    case SimKind::Button:
    case SimKind::Latch:
    case SimKind::Section:
        return s + (d.empty() ? "(empty)" : std::to_string(d[0]));
    case SimKind::DateTime:
        if (d.size() < 8) return s + std::to_string(d.size()) + " bytes";
        return s + FormatDateTime({d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]});
    case SimKind::Number:
    case SimKind::List:
        return s + std::to_string(I32(d));
    case SimKind::Password:
        if (fromClient) return s + "request (" + std::to_string(d.size()) + " bytes)";
        return s + (d.empty() || !d[0] ? "logged out" : "logged in");
    case SimKind::MessageBox:
        if (fromClient) return s + "answer " + (d.empty() ? "(empty)" : std::to_string(d[0]));
        return s + ConsoleQuote(DecodeText(d.data(), d.size(), utf16));
    case SimKind::File:
        return s + (d.empty() ? "request" : std::to_string(d.size()) + " bytes");
    case SimKind::Image:
        return s + (d.empty() ? "pressed" : std::to_string(d.size()) + " bytes");
    default:
        return s + std::to_string(d.size()) + " bytes";
    }
}

std::string Items(const std::vector<ValueItem>& items, const Panel& panel, uint16_t code,
                  bool fromClient) {
    std::string s = ": " + std::to_string(items.size()) + (items.size() == 1 ? " item" : " items");
    for (size_t i = 0; i < items.size(); ++i) {
        s += i ? "; " : " ";
        const ValueItem& it = items[i];
        if (code == MSG_ATTRIBUTES) {
            s += "#" + std::to_string(it.id) + " attributes";
            if (it.data.size() >= 4) {
                const uint32_t w = GetU32LE(it.data.data());
                s += " flags=" + Hex(w, 8);
                if ((w & CTRLF_COLOUR_PRESENT) && it.data.size() >= 8)
                    s += " colour=" + Hex(GetU32LE(it.data.data() + 4), 6);
            }
        } else if (code == MSG_MATRIX_ROWS) {
            const ByteVec& d = it.data;
            s += "#" + std::to_string(it.id) + " row";
            if (d.size() >= 8)
                s += " " + std::to_string(GetU32LE(d.data() + d.size() - 4)) + ", rows value " +
                     std::to_string(int32_t(GetU32LE(d.data() + d.size() - 8)));
        } else {
            s += DescribeValue(it, panel, fromClient);
        }
    }
    return s;
}

bool ReadItems(WireReader& r, std::vector<ValueItem>& items) {
    uint32_t n = 0;
    if (!r.U32(n)) return false;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t id = 0, len = 0;
        const uint8_t* p = nullptr;
        if (!r.U32(id) || !r.U32(len) || !r.Bytes(len, p)) return false;
        items.push_back({id, ByteVec(p, p + len)});
    }
    return true;
}

} // namespace

std::string DescribeClientMessage(const ClientMessage& msg, const Panel& panel) {
    std::string s = Head("<-", msg.code, ClientCodeName(msg.code), msg.flags);
    if (msg.skippedBefore) s += " (after " + std::to_string(msg.skippedBefore) + " stray bytes)";
    if (msg.malformed) return s + ": sizes over the limits, frame dropped";
    if (msg.code == MSG_REQUEST) s += ": argument " + std::to_string(msg.argument);
    if (msg.code == MSG_CLIENT_VALUES) s += Items(msg.items, panel, msg.code, true);
    return s;
}

std::string DescribeDeviceFrame(uint16_t code, uint16_t flags, const ByteVec& payload,
                                const Panel& panel) {
    std::string s = Head("->", code, DeviceCodeName(code), flags);
    WireReader r(payload.data(), payload.size());
    switch (code) {
    case MSG_PANEL_INFO: {
        uint32_t n = 0;
        const uint8_t* p = nullptr;
        if (!r.U32(n) || !r.Bytes(n, p)) break;
        s += ": title " + ConsoleQuote(DecodeText(p, n, flags & HF_TITLE_UTF16));
        if (flags & HF_NO_PINGS) s += ", no pings";
        if (flags & HF_KEEP_PANEL) s += ", keep panel";
        break;
    }
    case MSG_PANEL_DEFINITION: {
        uint32_t n = 0;
        if (!r.U32(n)) break;
        s += ": " + std::to_string(n) + " controls:";
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t size = 0, cflags = 0, id = 0;
            uint16_t letter = 0;
            const uint8_t* p = nullptr;
            if (!r.U32(size) || !r.Bytes(size, p)) break;
            WireReader def(p, size);
            if (!def.U16(letter) || !def.U32(cflags) || !def.U32(id)) break;
            s += " " + std::string(1, char(letter)) + "#" + std::to_string(id);
        }
        break;
    }
    case MSG_DEVICE_VALUES:
    case MSG_ATTRIBUTES:
    case MSG_MATRIX_ROWS: {
        std::vector<ValueItem> items;
        if (ReadItems(r, items)) s += Items(items, panel, code, false);
        break;
    }
    case MSG_FILES: {
        uint32_t id = 0, n = 0, len = 0;
        const uint8_t* p = nullptr;
        if (!r.U32(id) || !r.U32(n)) break;
        s += ": #" + std::to_string(id) + ", " + std::to_string(n) + " file(s)";
        const PanelControl* c = panel.Find(id);
        const bool utf16 = c && (c->flags & CTRLF_TEXT16);
        for (uint32_t i = 0; i < n; ++i) {
            if (!r.U32(len) || !r.Bytes(len, p)) break;
            s += " " + ConsoleQuote(DecodeText(p, len, utf16));
            if (!r.U32(len) || !r.Bytes(len, p)) break;
            s += " (" + std::to_string(len) + " bytes)";
        }
        break;
    }
    case MSG_LAYOUT_RECORDS: {
        uint32_t n = 0;
        if (!r.U32(n)) break;
        s += ": " + std::to_string(n) + " records";
        constexpr uint32_t kListed = 8;
        for (uint32_t i = 0; i < std::min(n, kListed); ++i) {
            uint32_t id = 0, prop = 0, value = 0;
            if (!r.U32(id) || !r.U32(prop) || !r.U32(value)) break;
            s += " (#" + std::to_string(id) + " " + std::to_string(prop) + "=" +
                 std::to_string(int32_t(value)) + ")";
        }
        if (n > kListed) s += " ...";
        break;
    }
    default:
        break;
    }
    return s;
}
