// Link state, start-up and shut-down, opening and closing the port, and the two primitive
// transfers every message rests on.
#include <algorithm>
#include <charconv>
#include <string>

#include "Frame.h"
#include "FrameTrace.h"
#include "Link.h"
#include "LinkState.h"
#include "PortAddress.h"
#include "SerialPort.h"
#include "TcpPort.h"

namespace {

LinkServices g_services;
thread_local ILinkPort* t_readerPort = nullptr;

} // namespace

LinkState& LinkStateInstance() {
    static LinkState state;
    return state;
}

std::shared_ptr<ILinkPort> LinkPort() {
    LinkState& s = LinkStateInstance();
    std::lock_guard g(s.portMutex);
    return s.port;
}

namespace {

bool PortIsOpen() {
    std::shared_ptr<ILinkPort> port = LinkPort();
    return port && port->IsOpen();
}

void ClosePort() {
    if (std::shared_ptr<ILinkPort> port = LinkPort()) port->Close();
}

} // namespace

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
        s.title = kDefaultTitle;
        s.aboutText.reset();
    }
    s.initialised = true;
    return 0;
}

int LinkShutdown() {
    LinkState& s = LinkStateInstance();
    ClosePort();
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
    if (PortIsOpen()) return LINK_E_BUSY;
    if (!LinkStateInstance().initialised) return LINK_E_NOT_INITIALISED;
    const PortAddress address = ParsePortAddress(path);
    if (address.kind == PortAddress::Kind::Tcp) {
        auto port = std::make_unique<TcpPort>();
        if (int status = port->Open(address.host, address.port)) return status;
        return LinkOpenPort(std::move(port), window, notifyMessage);
    }
    if (address.kind != PortAddress::Kind::Device) return LINK_E_ADDRESS;
    // Open also sets the line to raw 115200 baud and purges both directions.
    auto port = std::make_unique<SerialPort>();
    if (int status = port->Open(path)) return status;
    return LinkOpenPort(std::move(port), window, notifyMessage);
}

int LinkOpenPort(std::unique_ptr<ILinkPort> port, void* window, uint32_t notifyMessage) {
    LinkState& s = LinkStateInstance();
    if (PortIsOpen()) return LINK_E_BUSY;
    if (!s.initialised) return LINK_E_NOT_INITIALISED;
    if (!port || !port->IsOpen()) return LINK_E_NOT_OPEN;
    {
        std::lock_guard g(s.portMutex);
        s.port = std::move(port);
    }
    s.pingOutstanding = false;
    s.stallCount = 0;
    LinkStartReceiver(window, notifyMessage);
    // A connection whose request cannot be written is not left open behind the caller's back.
    if (int status = LinkSendConnect()) {
        ClosePort();
        LinkStopReceiver();
        return status;
    }
    return 0;
}

int LinkClose(bool notifyDevice) {
    LinkState& s = LinkStateInstance();
    if (!PortIsOpen()) return LINK_E_NOT_OPEN;
    if (notifyDevice) {
        if (int status = LinkSendDisconnect()) return status;
    }
    // Wakes a reader blocked in the port; it ends quietly and is waited for.
    ClosePort();
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
    return PortIsOpen();
}

std::string LinkLostReason() {
    std::shared_ptr<ILinkPort> port = LinkPort();
    return port ? port->LostReason() : std::string();
}

int LinkWrite(const void* bytes, uint32_t n, int factor) {
    long polls = factor ? long(n) * factor + 10 : 0;
    std::shared_ptr<ILinkPort> port = LinkPort();
    if (!port) return LINK_E_NOT_OPEN;
    FrameTraceBytes(true, static_cast<const uint8_t*>(bytes), n);
    const int status = port->Write(static_cast<const uint8_t*>(bytes), n, polls);
    // The device may answer at once: its answer is not left to gather.
    LinkStateInstance().rxPace.Answered();
    port->EndGathering();
    return status;
}

void LinkBindReader(ILinkPort* port) {
    t_readerPort = port;
}

namespace {

void AppendNumber(std::string& line, long value) {
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    line.append(digits, end);
}

// One line per read; the bytes only when they were all there at once.
void TraceRead(long site, uint32_t count, const uint8_t* received) {
    static const char hex[] = "0123456789ABCDEF";
    thread_local std::string line; // kept: a marker hunt writes many lines
    line.assign("ReadFileBlocking Lin=");
    AppendNumber(line, site);
    line += " Req=";
    AppendNumber(line, long(count));
    line += ", Rec=";
    AppendNumber(line, received ? long(count) : 0);
    line += ", Data=";
    if (received) {
        const size_t at = line.size();
        line.resize(at + 2 * size_t(count));
        char* out = line.data() + at;
        for (uint32_t i = 0; i < count; ++i) {
            *out++ = hex[received[i] >> 4];
            *out++ = hex[received[i] & 15];
        }
    }
    LinkTrace(line);
}

} // namespace

int ReadFileBlocking(void* buffer, uint32_t count, long site) {
    return LinkRead(buffer, count, site, true);
}

int LinkRead(void* buffer, uint32_t count, long site, bool inMessage) {
    if (count == 0) return 0;
    LinkState& s = LinkStateInstance();
    // The rest of a stalled message is not waited for again.
    if (inMessage && s.rxStalled) return LINK_PORT_STALLED;
    std::shared_ptr<ILinkPort> held;
    ILinkPort* port = t_readerPort;
    if (!port) {
        held = LinkPort();
        port = held.get();
    }
    if (!port) return LINK_PORT_CLOSED;
    const bool fresh = t_readerPort && port->Buffered() < count;
    if (fresh) {
        // About to wait for bytes: the window hears first of what came before them, and between
        // messages a steady stream gathers a little (not while a ping's reply is awaited: its
        // round trip is what the person is shown).
        LinkTellWindow();
        if (!inMessage && !s.pingOutstanding) {
            const auto now = StreamPace::Clock::now();
            if (const auto gather = s.rxPace.Gather(now); gather.count() > 0)
                port->GatherUntil(now + gather);
        }
    }
    size_t immediate = 0;
    auto* bytes = static_cast<uint8_t*>(buffer);
    const int stallMs = inMessage ? s.stallTimeoutMs.load() : 0;
    int status = port->ReadExact(bytes, count, g_services.trace ? &immediate : nullptr, stallMs);
    if (fresh && status == 0) FrameTraceRead();
    if (status == 0) FrameTraceBytes(false, bytes, count);
    if (status == LINK_PORT_STALLED) s.rxStalled = true;
    if (g_services.trace) TraceRead(site, count, immediate >= count ? bytes : nullptr);
    return status;
}

int LinkReadField(std::vector<uint8_t>& bytes, uint32_t length, long site) {
    constexpr uint32_t kPiece = 64 << 10;
    bytes.clear();
    while (bytes.size() < length) {
        const size_t at = bytes.size();
        const uint32_t piece = std::min<uint32_t>(kPiece, length - uint32_t(at));
        bytes.resize(at + piece);
        if (int st = ReadFileBlocking(bytes.data() + at, piece, site)) return st;
    }
    return 0;
}

void LinkSetStallTimeout(int ms) {
    LinkStateInstance().stallTimeoutMs = ms > 0 ? ms : 0;
}

unsigned LinkGetStallCount() {
    return LinkStateInstance().stallCount;
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
