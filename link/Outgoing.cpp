// Everything the client sends: header-only messages, the request, pings, and the value messages
// built from the entries marked send-pending. Each message is written whole under the link lock.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "Alerts.h"
#include "Frame.h"
#include "FrameTrace.h"
#include "Link.h"
#include "LinkState.h"
#include "TextCodec.h"

namespace {

constexpr int kFactor = 5;
constexpr uint32_t kPasswordField = 34;

int SendHeader(uint16_t code, uint16_t flags, int factor = kFactor) {
    LinkState& s = LinkStateInstance();
    std::lock_guard g(s.lock);
    FrameCapture capture(true);
    FrameHeaderBytes h = BuildFrameHeader(code, flags);
    return LinkWrite(h.data(), uint32_t(h.size()), factor);
}

int WriteU32(uint32_t v) {
    uint8_t b[4];
    PutU32LE(b, v);
    return LinkWrite(b, 4, kFactor);
}

uint16_t ValueFlags() {
    return LinkStateInstance().ackOption ? HF_ACK_REQUEST : 0;
}

std::u16string TextUpToZero(const std::u16string& buffer) {
    return buffer.substr(0, TextLength(buffer.data(), buffer.size()));
}

// The text narrowed into a field of `size` bytes: cut to fit with its terminating zero.
std::vector<uint8_t> NarrowField(const std::u16string& text, uint32_t size) {
    std::vector<uint8_t> field(size, 0);
    if (size == 0) return field;
    std::string narrow = NarrowAnsi(TextUpToZero(text));
    size_t n = std::min<size_t>(narrow.size(), size - 1);
    std::memcpy(field.data(), narrow.data(), n);
    return field;
}

// The text in a field of `size` bytes, cut so that a zero character always ends it inside.
std::vector<uint8_t> Utf16Field(const std::u16string& text, uint32_t size) {
    const size_t chars = size / 2 > 0 ? size / 2 - 1 : 0;
    std::vector<uint8_t> field = EncodeUtf16LE(std::u16string_view(text).substr(0, chars));
    field.resize(size, 0);
    return field;
}

std::vector<uint8_t> PasswordField(const CLinkCtrl& e, const std::u16string& text) {
    if (e.m_dwFlags & CTRLF_TEXT16) return Utf16Field(text, kPasswordField);
    return NarrowField(text, kPasswordField);
}

int WriteItem(uint32_t id, const std::vector<uint8_t>& data) {
    if (int st = WriteU32(id)) return st;
    if (int st = WriteU32(uint32_t(data.size()))) return st;
    return data.empty() ? 0 : LinkWrite(data.data(), uint32_t(data.size()), kFactor);
}

// Writes one pending entry's item; returns its status.
int SendItem(CLinkCtrl& e) {
    std::vector<uint8_t> data;
    switch (e.m_nKind) {
    case KIND_TEXT:
        if (e.m_dwFlags & CTRLF_TEXT16)
            data = Utf16Field(e.m_text, e.m_nMaxSize);
        else
            data = NarrowField(e.m_text, e.m_nMaxSize);
        break;
    case KIND_BUTTON: {
        int st = WriteItem(e.m_nId, {e.m_bState});
        e.m_bState = 0; // a press is sent once
        return st;
    }
    case KIND_LATCH:
    case KIND_SECTION:
        data = {e.m_bState};
        break;
    case KIND_DATETIME:
        data.assign(e.m_DateTime, e.m_DateTime + 8);
        break;
    case KIND_NUMBER:
    case KIND_LIST:
        data.resize(4);
        PutU32LE(data.data(), uint32_t(e.m_nValue));
        break;
    case KIND_PASSWORD: {
        data = PasswordField(e, e.m_password[0]);
        std::vector<uint8_t> second = PasswordField(e, e.m_password[1]);
        data.insert(data.end(), second.begin(), second.end());
        break;
    }
    case KIND_MESSAGEBOX:
        data = {e.m_bAnswer};
        break;
    case KIND_BLOB:
        if (IsRawBlob(e.m_dwFlags)) {
            uint32_t n = std::min<uint32_t>(e.m_nDataLen, uint32_t(e.m_data.size()));
            data.assign(e.m_data.begin(), e.m_data.begin() + n);
        } else {
            size_t bytes = std::min<size_t>(e.m_nDataLen, e.m_data.size());
            data = NarrowField(DecodeUtf16LE(e.m_data.data(), bytes, false), e.m_nDataSize / 2);
        }
        break;
    case KIND_FILE:
        break;
    case KIND_IMAGE:
        if (e.m_dwFlags & CTRLF_EDITABLE) break;
        RaiseDiagnostic(LinkAlerts(), __LINE__, 888);
        return 888;
    case KIND_MATRIX:
        RaiseDiagnostic(LinkAlerts(), __LINE__, 7);
        return LINK_E_KIND;
    default:
        RaiseDiagnostic(LinkAlerts(), __LINE__, e.m_nKind);
        return LINK_E_KIND;
    }
    return WriteItem(e.m_nId, data);
}

// Sets both password slots, sends, and empties them again.
int SendPassword(uint32_t id, const std::u16string& first, const std::u16string& second) {
    LinkState& s = LinkStateInstance();
    std::lock_guard g(s.lock);
    CLinkCtrl* e = LinkFind(id);
    if (!e) return 0;
    if (e->m_nKind != KIND_PASSWORD) return LINK_E_KIND;
    size_t cut = (e->m_dwFlags & CTRLF_TEXT16) ? 16 : 33;
    e->m_password[0] = first.substr(0, cut);
    e->m_password[1] = second.substr(0, cut);
    e->m_bSendPending = 1;
    LinkSendChanges();
    e = LinkFind(id); // the send cannot swap the table, but stay safe against a stale pointer
    if (e) {
        e->m_password[0].clear();
        e->m_password[1].clear();
    }
    return 0;
}

} // namespace

int LinkSendConnect() {
    return SendHeader(MSG_CONNECT, 0);
}
int LinkSendDisconnect() {
    return SendHeader(MSG_DISCONNECT, 0, 6);
}
int LinkSendPresenceReply() {
    return SendHeader(MSG_PRESENCE_REPLY, 0);
}
int LinkSendAck() {
    return SendHeader(MSG_ACK, 0);
}

int LinkSendRequest(uint32_t argument) {
    LinkState& s = LinkStateInstance();
    std::lock_guard g(s.lock);
    FrameCapture capture(true);
    if (int st = SendHeader(MSG_REQUEST, 0)) return st;
    return WriteU32(argument);
}

int LinkReload() {
    LinkState& s = LinkStateInstance();
    if (std::shared_ptr<ILinkPort> port = LinkPort()) port->Purge(true, true);
    s.pingOutstanding = false;
    return LinkSendConnect();
}

int LinkPing() {
    LinkState& s = LinkStateInstance();
    if (s.pingOutstanding.exchange(false)) return LINK_E_PING_LOST;
    s.pingOutstanding = true;
    return SendHeader(MSG_PING, 0);
}

void LinkSetAckOption(bool on) {
    LinkStateInstance().ackOption = on;
}

int LinkSetValue(uint32_t id, const void* bytes, uint32_t length) {
    LinkState& s = LinkStateInstance();
    std::lock_guard g(s.lock);
    CLinkCtrl* e = LinkFind(id);
    if (!e) return 0;
    const auto* p = static_cast<const uint8_t*>(bytes);
    if (!p) length = 0;
    e->m_bDeviceChanged = 0;
    switch (e->m_nKind) {
    case KIND_TEXT: {
        // The buffer holds 16-bit characters whatever the wire form.
        std::u16string text =
            DecodeUtf16LE(p, std::min<size_t>(length, 2 * e->m_text.size()), false);
        std::copy(text.begin(), text.end(), e->m_text.begin());
        break;
    }
    case KIND_BUTTON:
    case KIND_LATCH:
    case KIND_SECTION:
        if (length > 0) e->m_bState = p[0];
        break;
    case KIND_DATETIME:
        if (length) std::memcpy(e->m_DateTime, p, std::min<uint32_t>(length, 8));
        break;
    case KIND_NUMBER:
    case KIND_LIST: {
        uint8_t v[4];
        PutU32LE(v, uint32_t(e->m_nValue));
        if (length) std::memcpy(v, p, std::min<uint32_t>(length, 4));
        e->m_nValue = int32_t(GetU32LE(v));
        break;
    }
    case KIND_MATRIX:
    case KIND_PASSWORD:
        return LINK_E_KIND;
    case KIND_MESSAGEBOX:
        if (length > 0) e->m_bAnswer = p[0];
        break;
    case KIND_BLOB: {
        uint32_t n = std::min<uint32_t>({length, e->m_nDataSize, uint32_t(e->m_data.size())});
        if (n) std::memcpy(e->m_data.data(), p, n);
        e->m_nDataLen = n;
        break;
    }
    case KIND_FILE:
        break;
    case KIND_IMAGE:
        if (!(e->m_dwFlags & CTRLF_EDITABLE)) {
            uint32_t n = std::min<uint32_t>({length, e->m_nDataSize, uint32_t(e->m_data.size())});
            if (n) std::memcpy(e->m_data.data(), p, n);
            e->m_nDataLen = n;
        }
        break;
    default:
        return 0;
    }
    e->m_bSendPending = 1;
    return 0;
}

int LinkSendChanges() {
    LinkState& s = LinkStateInstance();
    std::lock_guard g(s.lock);
    FrameCapture capture(true);
    FrameHeaderBytes h = BuildFrameHeader(MSG_CLIENT_VALUES, ValueFlags());
    if (int st = LinkWrite(h.data(), uint32_t(h.size()), kFactor)) return st;
    uint32_t pending = 0;
    for (const CLinkCtrl& e : s.live) pending += e.m_bSendPending ? 1 : 0;
    if (int st = WriteU32(pending)) return st;
    int status = 0;
    for (CLinkCtrl& e : s.live) {
        if (!e.m_bSendPending) continue;
        status = SendItem(e);
        e.m_bSendPending = 0;
        if (status) break; // later entries stay pending
    }
    return status;
}

int LinkSendByte(uint32_t id, uint8_t byte) {
    LinkState& s = LinkStateInstance();
    std::lock_guard g(s.lock);
    FrameCapture capture(true);
    if (!LinkFind(id)) return 0;
    FrameHeaderBytes h = BuildFrameHeader(MSG_CLIENT_VALUES, ValueFlags());
    if (int st = LinkWrite(h.data(), uint32_t(h.size()), kFactor)) return st;
    if (int st = WriteU32(1)) return st;
    return WriteItem(id, {byte});
}

int LinkClearGroup(uint32_t group) {
    LinkState& s = LinkStateInstance();
    std::lock_guard g(s.lock);
    for (CLinkCtrl& e : s.live) {
        if (e.m_nKind != KIND_LATCH || e.m_nGroup != group || (e.m_dwFlags & CTRLF_EDITABLE))
            continue;
        e.m_bState = 0;
        e.m_bSendPending = 1;
    }
    return 0;
}

int LinkLogIn(uint32_t id, const std::u16string& password) {
    return SendPassword(id, password, u"");
}

int LinkChangePassword(uint32_t id, const std::u16string& oldPassword,
                       const std::u16string& newPassword) {
    if (newPassword.empty()) return LINK_E_KIND;
    return SendPassword(id, oldPassword, newPassword);
}

int LinkLogOut(uint32_t id) {
    return SendPassword(id, u"", u"");
}
