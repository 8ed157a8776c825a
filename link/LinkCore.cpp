// Link state, start-up and shut-down, opening and closing the port, and the two primitive
// transfers every message rests on.
#include <cstdio>
#include <string>

#include "Frame.h"
#include "FrameTrace.h"
#include "Link.h"
#include "LinkState.h"

namespace {

LinkServices g_services;

} // namespace

LinkState& LinkStateInstance() {
    static LinkState state;
    return state;
}

void LinkSetServices(const LinkServices& services) {
    g_services = services;
}
const LinkServices& LinkGetServices() {
    return g_services;
}
ILinkAlerts* LinkAlerts() {
    return g_services.alerts;
}

int LinkInit() {
    LinkState& s = LinkStateInstance();
    if (s.initialised) return 0;
    {
        std::lock_guard g(s.lock);
        s.title = u"Talvex";
        s.aboutText.reset();
    }
    s.initialised = true;
    return 0;
}

int LinkShutdown() {
    LinkState& s = LinkStateInstance();
    s.port.Close();
    LinkStopReceiver();
    {
        std::lock_guard g(s.lock);
        if (!s.live.empty()) LinkReleaseTable(s.live);
        s.live.clear();
        s.download.clear();
        s.title.clear();
        s.aboutText.reset();
    }
    s.pingOutstanding = false;
    s.pingsAllowed = false;
    s.keepPanel = false;
    s.lastOutcome = 0;
    s.initialised = false;
    return 0;
}

int LinkOpen(int nPort, void* window, uint32_t notifyMessage) {
    return LinkOpenDevice("/dev/rfcomm" + std::to_string(nPort), window, notifyMessage);
}

int LinkOpenDevice(const std::string& path, void* window, uint32_t notifyMessage) {
    LinkState& s = LinkStateInstance();
    if (s.port.IsOpen()) return LINK_E_BUSY;
    if (!s.initialised) return LINK_E_NOT_INITIALISED;
    // Open also sets the line to raw 115200 baud and purges both directions.
    if (int status = s.port.Open(path)) return status;
    s.pingOutstanding = false;
    LinkStartReceiver(window, notifyMessage);
    return LinkSendConnect();
}

int LinkClose(bool notifyDevice) {
    LinkState& s = LinkStateInstance();
    if (!s.port.IsOpen()) return LINK_E_NOT_OPEN;
    if (notifyDevice) {
        if (int status = LinkSendDisconnect()) return status;
    }
    // Wakes a reader blocked in the port; it ends quietly and is waited for.
    s.port.Close();
    LinkStopReceiver();
    {
        std::lock_guard g(s.lock);
        if (!s.live.empty()) LinkReleaseTable(s.live);
    }
    s.pingOutstanding = false;
    s.pingsAllowed = false;
    return 0;
}

bool LinkIsOpen() {
    return LinkStateInstance().port.IsOpen();
}

std::string LinkLostReason() {
    return LinkStateInstance().port.LostReason();
}

int LinkWrite(const void* bytes, uint32_t n, int factor) {
    long polls = factor ? long(n) * factor + 10 : 0;
    FrameTraceBytes(true, static_cast<const uint8_t*>(bytes), n);
    return LinkStateInstance().port.Write(static_cast<const uint8_t*>(bytes), n, polls);
}

int ReadFileBlocking(void* buffer, uint32_t count, long site) {
    if (count == 0) return 0;
    size_t immediate = 0;
    auto* bytes = static_cast<uint8_t*>(buffer);
    int status =
        LinkStateInstance().port.ReadExact(bytes, count, g_services.trace ? &immediate : nullptr);
    if (status == 0) FrameTraceBytes(false, bytes, count);
    if (g_services.trace) {
        long received = immediate >= count ? long(count) : 0;
        char head[96];
        std::snprintf(head, sizeof head, "ReadFileBlocking Lin=%ld Req=%ld, Rec=%ld, Data=", site,
                      long(count), received);
        std::string line = head;
        for (long i = 0; i < received; ++i) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02lX", static_cast<unsigned long>(bytes[i]));
            line += hex;
        }
        LinkTrace(line);
    }
    return status;
}

void LinkLock() {
    LinkStateInstance().lock.lock();
}
void LinkUnlock() {
    LinkStateInstance().lock.unlock();
}
bool LinkLockHeldHere() {
    return LinkMutex::HeldHere();
}

std::u16string LinkGetTitle() {
    LinkState& s = LinkStateInstance();
    std::lock_guard g(s.lock);
    return s.title;
}

std::optional<std::u16string> LinkGetAboutText() {
    LinkState& s = LinkStateInstance();
    std::lock_guard g(s.lock);
    return s.aboutText;
}

bool LinkPingsAllowed() {
    return LinkStateInstance().pingsAllowed;
}
bool LinkKeepPanel() {
    return LinkStateInstance().keepPanel;
}

int LinkGetOutcome(bool clear) {
    LinkState& s = LinkStateInstance();
    return clear ? s.lastOutcome.exchange(0) : s.lastOutcome.load();
}

void LinkTrace(const std::string& text) {
    if (g_services.trace) g_services.trace->Trace(text);
}
