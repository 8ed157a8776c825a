// One device message: found by its marker, dispatched on its code, applied to the link's state;
// the outcome goes back to the receive thread (ReceiveThread.cpp), which reports it.
#include <cstdio>
#include <cstring>
#include <mutex>

#include "Alerts.h"
#include "Frame.h"
#include "FrameTrace.h"
#include "LayoutProps.h"
#include "Link.h"
#include "LinkState.h"
#include "Receive.h"
#include "TextCodec.h"

namespace {

constexpr uint32_t kMaxTextBytes = 65535;

// Reads a u32 length and that many bytes; an oversize length raises the alarm and reads nothing.
int ReadSizedText(std::vector<uint8_t>& bytes, long site, bool* refused = nullptr) {
    uint32_t length = 0;
    if (int st = ReadFileBlocking(&length, 4, site)) return st;
    if (refused) *refused = length > kMaxTextBytes;
    if (length > kMaxTextBytes) {
        RaiseSizeAlarm(LinkAlerts(), site);
        length = 0;
    }
    bytes.resize(length);
    return ReadFileBlocking(bytes.data(), length, site);
}

int ReceivePanelInfo(uint16_t flags) {
    LinkState& s = LinkStateInstance();
    {
        std::lock_guard g(s.lock);
        s.title.clear();
        s.aboutText.reset();
    }
    s.pingsAllowed = (flags & HF_NO_PINGS) == 0;
    std::vector<uint8_t> bytes;
    bool refused = false;
    if (int st = ReadSizedText(bytes, __LINE__, &refused)) return st;
    std::u16string title = (flags & HF_TITLE_UTF16) ? DecodeUtf16LE(bytes.data(), bytes.size())
                                                    : WidenAnsi(bytes.data(), bytes.size());
    // The panel keeps a name to store its layout under.
    if (refused) title = kDefaultTitle;
    {
        std::lock_guard g(s.lock);
        s.title = std::move(title);
    }
    s.keepPanel = (flags & HF_KEEP_PANEL) != 0;
    if (int st = ReadSizedText(bytes, __LINE__)) return st;
    std::lock_guard g(s.lock);
    s.aboutText = DecodeUtf16LE(bytes.data(), bytes.size());
    return 0;
}

bool InPanel(uint32_t id) {
    LinkState& s = LinkStateInstance();
    std::lock_guard g(s.lock);
    return LinkFind(id) != nullptr;
}

// Only records the panel can use are stored: a device cannot grow the settings without bound.
int ReceiveLayoutRecords() {
    uint32_t count = 0;
    if (int st = ReadFileBlocking(&count, 4, __LINE__)) return st;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t record[12];
        if (int st = ReadFileBlocking(record, sizeof record, __LINE__)) return st;
        uint32_t id = GetU32LE(record), property = GetU32LE(record + 4);
        if (!IsKnownLayoutProperty(property) || (id != 0 && !InPanel(id))) continue;
        SetLayoutInt(id, property, int32_t(GetU32LE(record + 8)));
        // Marks the control's layout as the device's, so the view loads it.
        if (id != 0) SetLayoutInt(id, CTRL_PROP_AUTO_LAYOUT, 0);
    }
    return 0;
}

bool EndsConnection(int status) {
    return status == LINK_PORT_CLOSED || status == LINK_PORT_LOST;
}

// The outcome of a message whose reading ended the connection.
int EndOf(int status) {
    return status == LINK_PORT_LOST ? LINK_LOST : RECEIVE_QUIET;
}

// What a stalled message applied before it stalled is reported like the whole message; it is
// not acknowledged.
int ApplyResult(int status, uint16_t flags, int outcome) {
    if (EndsConnection(status)) return EndOf(status);
    if (status == LINK_PORT_STALLED) return outcome;
    if (status != 0) {
        RaiseDiagnostic(LinkAlerts(), __LINE__, status);
        return LINK_ERROR;
    }
    FrameTraceFlush(false);
    if (flags & HF_ACK_REQUEST) LinkSendAck();
    return outcome;
}

// The outcome of a message whose status is otherwise ignored.
int Reported(int status, int outcome) {
    return EndsConnection(status) ? EndOf(status) : outcome;
}

int Dispatch(uint16_t code, uint16_t flags) {
    LinkState& s = LinkStateInstance();
    switch (code) {
    case MSG_DEVICE_CLOSED:
    case MSG_DEVICE_CLOSED_ALT:
        return LINK_CLOSED;
    case MSG_PANEL_INFO:
        return Reported(ReceivePanelInfo(flags), LINK_TITLE);
    case MSG_PANEL_DEFINITION: {
        ILinkAlerts* alerts = LinkAlerts();
        if (alerts) alerts->WaitCursor(true);
        int status = LinkDownloadPanel();
        if (alerts) alerts->WaitCursor(false);
        if (status == LINK_E_PANEL_TOO_LARGE) return LINK_PANEL_REFUSED; // already explained
        if (status == LINK_PORT_STALLED) return RECEIVE_ABANDONED;       // the panel stays
        return ApplyResult(status, flags, LINK_PANEL);
    }
    case MSG_PRESENCE_QUERY:
        FrameTraceFlush(false);
        LinkSendPresenceReply();
        return LINK_PRESENCE;
    case MSG_DEVICE_VALUES:
        return ApplyResult(ReceiveDeviceValues(), flags, LINK_VALUES);
    case MSG_PING_REPLY:
        s.pingOutstanding = false;
        return LINK_PING_REPLY;
    case MSG_DEVICE_ACK:
        return LINK_ACK;
    case MSG_PANEL_CHANGED:
        return LINK_RELOAD;
    case MSG_ATTRIBUTES:
        return ApplyResult(ReceiveAttributes(), flags, LINK_ATTRIBUTES);
    case MSG_FILES: {
        // Files not saved have been said one by one; the message is not acknowledged.
        const int status = ReceiveFiles();
        return status == RECEIVE_FILES_NOT_SAVED ? LINK_FILES
                                                 : ApplyResult(status, flags, LINK_FILES);
    }
    case MSG_LAYOUT_RECORDS:
        return Reported(ReceiveLayoutRecords(), LINK_LAYOUT);
    case MSG_MATRIX_ROWS:
        return ApplyResult(ReceiveMatrixRows(), flags, LINK_VALUES);
    default:
        return LINK_ERROR;
    }
}

// How many more bytes the window needs before it can hold a marker: the marker's length less
// the longest tail of the window that begins one. Reading that many at once never reads past
// the end of a marker, and spares a read per byte of what comes between frames.
size_t BytesToMarker(const uint8_t* window) {
    const size_t n = FRAME_MARKER.size();
    for (size_t keep = n - 1; keep > 0; --keep)
        if (std::memcmp(window + n - keep, FRAME_MARKER.data(), keep) == 0) return n - keep;
    return n;
}

// The rest of a stalled message is left to the marker hunt; the stall is counted and traced.
void NoteStall(const char* what) {
    LinkState& s = LinkStateInstance();
    const unsigned count = ++s.stallCount;
    char line[128];
    std::snprintf(line, sizeof line, "%s abandoned: no byte for %d ms (stall %u)", what,
                  s.stallTimeoutMs.load(), count);
    LinkTrace(line);
}

} // namespace

int ReceiveMessage() {
    LinkState& s = LinkStateInstance();
    s.rxStalled = false;
    uint8_t header[FRAME_HEADER_SIZE] = {};
    while (!HasFrameMarker(header)) {
        const size_t need = BytesToMarker(header);
        std::memmove(header, header + need, FRAME_MARKER.size() - need);
        int status = LinkRead(header + FRAME_MARKER.size() - need, uint32_t(need), __LINE__, false);
        if (EndsConnection(status)) return EndOf(status);
        if (status != 0) return LINK_ERROR;
    }
    int status = ReadFileBlocking(header + 8, FRAME_HEADER_SIZE - 8, __LINE__);
    if (EndsConnection(status)) return EndOf(status);
    if (status == LINK_PORT_STALLED) {
        NoteStall("A frame header");
        return RECEIVE_ABANDONED;
    }
    if (status != 0) return LINK_ERROR;
    FrameHeader h = ParseFrameHeader(header);
    FrameCapture capture(false);
    FrameTraceBytes(false, header, FRAME_HEADER_SIZE);
    int outcome = Dispatch(h.code, h.flags);
    FrameTraceFlush(false);
    if (s.rxStalled) {
        char what[32];
        std::snprintf(what, sizeof what, "Message %u", unsigned(h.code));
        NoteStall(what);
    }
    return outcome;
}
