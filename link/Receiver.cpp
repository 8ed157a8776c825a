// The receive thread: one message per thread, found by its marker, dispatched on its code and
// reported to the view as one outcome.
#include <cstring>
#include <system_error>
#include <thread>

#include "Alerts.h"
#include "Frame.h"
#include "FrameTrace.h"
#include "Link.h"
#include "LinkState.h"
#include "Receive.h"
#include "TextCodec.h"

namespace {

// Keeps the count of running receive threads, so close and shutdown can wait for them.
class ThreadCount {
public:
    ThreadCount() = default;
    ~ThreadCount() {
        LinkState& s = LinkStateInstance();
        std::lock_guard g(s.threadsMutex);
        if (--s.threadsRunning == 0) s.threadsIdle.notify_all();
    }
};

void Report(void* window, int outcome) {
    FrameTraceFlush(false);
    LinkState& s = LinkStateInstance();
    s.lastOutcome = outcome;
    uint32_t message = s.notifyMessage;
    if (message != 0) {
        if (ILinkNotifier* notifier = LinkGetServices().notifier)
            notifier->PostOutcome(window, message);
    } else if (outcome >= 0) {
        LinkStartReceiver(window, 0);
    }
}

constexpr uint32_t kMaxTextBytes = 65535;

// Reads a u32 length and that many bytes; an oversize length raises the alarm and reads nothing.
int ReadSizedText(std::vector<uint8_t>& bytes, long site) {
    uint32_t length = 0;
    if (int st = ReadFileBlocking(&length, 4, site)) return st;
    if (length > kMaxTextBytes) {
        RaiseSizeAlarm(LinkAlerts(), site);
        length = 0;
    }
    bytes.resize(length);
    return ReadFileBlocking(bytes.data(), length, site);
}

void ReceivePanelInfo(uint16_t flags) {
    LinkState& s = LinkStateInstance();
    {
        std::lock_guard g(s.lock);
        s.title.clear();
        s.aboutText.reset();
    }
    s.pingsAllowed = (flags & HF_NO_PINGS) == 0;
    std::vector<uint8_t> bytes;
    if (ReadSizedText(bytes, __LINE__)) return;
    std::u16string title = (flags & HF_TITLE_UTF16) ? DecodeUtf16LE(bytes.data(), bytes.size())
                                                    : WidenAnsi(bytes.data(), bytes.size());
    {
        std::lock_guard g(s.lock);
        s.title = std::move(title);
    }
    s.keepPanel = (flags & HF_KEEP_PANEL) != 0;
    if (ReadSizedText(bytes, __LINE__)) return;
    std::lock_guard g(s.lock);
    s.aboutText = DecodeUtf16LE(bytes.data(), bytes.size());
}

void ReceiveLayoutRecords() {
    uint32_t count = 0;
    if (ReadFileBlocking(&count, 4, __LINE__)) return;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t record[12];
        if (ReadFileBlocking(record, sizeof record, __LINE__)) return;
        uint32_t id = GetU32LE(record), property = GetU32LE(record + 4);
        SetLayoutInt(id, property, int32_t(GetU32LE(record + 8)));
        // Marks the control's layout as the device's, so the view loads it.
        if (id != 0) SetLayoutInt(id, 0, 0);
    }
}

void ApplyResult(void* window, int status, uint16_t flags, int outcome) {
    if (status == LINK_PORT_CLOSED) return;
    if (status != 0) {
        RaiseDiagnostic(LinkAlerts(), __LINE__, status);
        Report(window, LINK_ERROR);
        return;
    }
    FrameTraceFlush(false);
    if (flags & HF_ACK_REQUEST) LinkSendAck();
    Report(window, outcome);
}

void Dispatch(void* window, uint16_t code, uint16_t flags) {
    LinkState& s = LinkStateInstance();
    switch (code) {
    case MSG_DEVICE_CLOSED:
    case MSG_DEVICE_CLOSED_ALT:
        Report(window, LINK_CLOSED);
        return;
    case MSG_PANEL_INFO:
        ReceivePanelInfo(flags);
        Report(window, LINK_TITLE);
        return;
    case MSG_PANEL_DEFINITION: {
        ILinkAlerts* alerts = LinkAlerts();
        if (alerts) alerts->WaitCursor(true);
        int status = LinkDownloadPanel();
        if (alerts) alerts->WaitCursor(false);
        ApplyResult(window, status, flags, LINK_PANEL);
        return;
    }
    case MSG_PRESENCE_QUERY:
        FrameTraceFlush(false);
        LinkSendPresenceReply();
        Report(window, LINK_PRESENCE);
        return;
    case MSG_DEVICE_VALUES:
        ApplyResult(window, ReceiveDeviceValues(), flags, LINK_VALUES);
        return;
    case MSG_PING_REPLY:
        s.pingOutstanding = false;
        Report(window, LINK_PING_REPLY);
        return;
    case MSG_DEVICE_ACK:
        Report(window, LINK_ACK);
        return;
    case MSG_PANEL_CHANGED:
        Report(window, LINK_RELOAD);
        return;
    case MSG_ATTRIBUTES:
        ApplyResult(window, ReceiveAttributes(), flags, LINK_ATTRIBUTES);
        return;
    case MSG_FILES: {
        int status = ReceiveFiles();
        if (status == LINK_PORT_CLOSED) {
            RaiseDiagnostic(LinkAlerts(), __LINE__, status);
            return;
        }
        ApplyResult(window, status, flags, LINK_FILES);
        return;
    }
    case MSG_LAYOUT_RECORDS:
        ReceiveLayoutRecords();
        Report(window, LINK_LAYOUT);
        return;
    case MSG_MATRIX_ROWS:
        ApplyResult(window, ReceiveMatrixRows(), flags, LINK_VALUES);
        return;
    default:
        s.lastOutcome = LINK_ERROR;
        Report(window, LINK_ERROR);
        return;
    }
}

void ReceiveOneMessage(void* window) {
    ThreadCount counted;
    uint8_t header[FRAME_HEADER_SIZE] = {};
    while (!HasFrameMarker(header)) {
        std::memmove(header, header + 1, 7);
        int status = ReadFileBlocking(header + 7, 1, __LINE__);
        if (status == LINK_PORT_CLOSED) return;
        if (status != 0) {
            Report(window, LINK_ERROR);
            return;
        }
    }
    int status = ReadFileBlocking(header + 8, FRAME_HEADER_SIZE - 8, __LINE__);
    if (status == LINK_PORT_CLOSED) return;
    if (status != 0) {
        Report(window, LINK_ERROR);
        return;
    }
    FrameHeader h = ParseFrameHeader(header);
    FrameCapture capture(false);
    FrameTraceBytes(false, header, FRAME_HEADER_SIZE);
    Dispatch(window, h.code, h.flags);
}

} // namespace

int LinkStartReceiver(void* window, uint32_t notifyMessage) {
    LinkState& s = LinkStateInstance();
    if (!s.port.IsOpen()) return LINK_E_NOT_OPEN;
    s.notifyMessage = notifyMessage;
    {
        std::lock_guard g(s.threadsMutex);
        ++s.threadsRunning;
    }
    try {
        std::thread(ReceiveOneMessage, window).detach();
    } catch (const std::system_error& e) {
        std::lock_guard g(s.threadsMutex);
        if (--s.threadsRunning == 0) s.threadsIdle.notify_all();
        return e.code().value();
    }
    return 0;
}
