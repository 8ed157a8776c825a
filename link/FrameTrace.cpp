#include "FrameTrace.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "Frame.h"
#include "FrameDecoder.h"
#include "Link.h"

namespace {

// Long frames (files, large panels) are kept, shown and decoded only up to here.
constexpr size_t kMaxLoggedBytes = 4096;

// Received frames held back behind a frame still being written; more go on unheld.
constexpr size_t kMaxHeldBack = 1024;

struct Direction {
    int depth = 0;
    bool active = false; // decided when the outermost capture opens
    size_t keep = 0;     // bytes of the frame kept, decided with `active`
    uint64_t total = 0;  // every byte of the frame, kept or not
    std::vector<uint8_t> bytes;
    bool writing = false; // a sent frame whose first bytes went out; counted in Order
    std::chrono::system_clock::time_point start;
};

thread_local Direction t_sent, t_received;
// When the receive thread last read new bytes, while frames are wanted; unset otherwise.
thread_local std::chrono::system_clock::time_point t_readAt;

Direction& Of(bool sent) {
    return sent ? t_sent : t_received;
}

bool FramesWanted() {
    const LinkServices& s = LinkGetServices();
    return s.trace || (s.monitor && s.monitor->Wanted());
}

// The panel's kinds: replaced whole by the receive thread, shared by every decoding thread.
std::mutex g_kindsMutex;
std::shared_ptr<const ControlKindTable> g_kinds;

std::shared_ptr<const ControlKindTable> Kinds() {
    std::lock_guard g(g_kindsMutex);
    return g_kinds;
}

struct Record {
    DecodedFrame frame;
    std::string line; // empty: no trace wanted it
};

// Frames reach the trace and the monitor in the order they happened. A sent frame is timed when
// its write begins; the device may answer before the write has returned, so a frame received
// meanwhile waits until that frame has gone on, and a reply never comes before its request.
struct Order {
    std::mutex mutex;
    int writing = 0; // sent frames begun and not yet handed on
    std::vector<Record> heldBack;
    std::chrono::system_clock::time_point last; // the latest time handed on
};

Order& TheOrder() {
    static Order order;
    return order;
}

// Called with the order's mutex held: the sinks see one frame at a time, their times never going
// back (a frame read before a send began may be handed on after it). The record is spent: its
// frame moves on to the monitor.
void Deliver(Order& order, Record& r) {
    if (r.frame.time < order.last)
        r.frame.time = order.last;
    else
        order.last = r.frame.time;
    const LinkServices& services = LinkGetServices();
    if (services.trace && !r.line.empty()) services.trace->FrameAt(r.frame.time, r.line);
    if (services.monitor && services.monitor->Wanted()) services.monitor->Frame(std::move(r.frame));
}

void Emit(bool sent, Direction& d, Record* record) {
    Order& order = TheOrder();
    std::lock_guard g(order.mutex);
    if (!sent && record && order.writing > 0 && order.heldBack.size() < kMaxHeldBack) {
        order.heldBack.push_back(std::move(*record));
        return;
    }
    if (record) Deliver(order, *record);
    if (!sent || !d.writing) return;
    d.writing = false;
    if (--order.writing > 0) return;
    for (Record& r : order.heldBack) Deliver(order, r);
    order.heldBack.clear();
}

void HandOn(bool sent, Direction& d) {
    const LinkServices& services = LinkGetServices();
    ILinkFrameMonitor* monitor =
        services.monitor && services.monitor->Wanted() ? services.monitor : nullptr;
    Record record;
    const bool wanted = !d.bytes.empty() && (services.trace || monitor);
    const bool decode = services.trace || (monitor && monitor->DecodeWanted());
    if (wanted) {
        DecodedFrame& frame = record.frame;
        if (sent)
            frame.time = d.start;
        else if (t_readAt != std::chrono::system_clock::time_point{})
            frame.time = t_readAt;
        else // read by a thread that does not note its reads
            frame.time = std::chrono::system_clock::now();
        frame.sent = sent;
        frame.length = d.total;
        if (d.bytes.size() >= FRAME_HEADER_SIZE) {
            const FrameHeader h = ParseFrameHeader(d.bytes.data());
            frame.code = h.code;
            frame.flags = h.flags;
            if (decode)
                frame.decode = DecodeFramePayload(
                    h.code, h.flags, sent, d.bytes.data() + FRAME_HEADER_SIZE,
                    std::min(d.bytes.size(), kMaxLoggedBytes + 1) - FRAME_HEADER_SIZE,
                    Kinds().get());
        }
        if (services.trace) record.line = FrameTraceLine(frame, d.bytes.data(), d.bytes.size());
        if (monitor && monitor->BytesWanted()) {
            // The frame takes the kept bytes themselves; a capture copies them on, and the
            // buffer comes back for the next frame unless somebody kept the frame.
            frame.bytes.swap(d.bytes);
            frame.bytes.resize(std::min(frame.bytes.size(), monitor->BytesWanted()));
        }
    }
    if (wanted || d.writing) Emit(sent, d, wanted ? &record : nullptr);
    if (record.frame.bytes.capacity() > d.bytes.capacity()) d.bytes.swap(record.frame.bytes);
    d.bytes.clear();
    d.total = 0;
}

} // namespace

FrameCapture::FrameCapture(bool sent) : m_sent(sent) {
    Direction& d = Of(m_sent);
    if (d.depth++ != 0) return;
    d.active = FramesWanted();
    const LinkServices& s = LinkGetServices();
    const bool people = s.trace || (s.monitor && s.monitor->DecodeWanted());
    d.keep = std::max(people ? kMaxLoggedBytes + 1 : 0, s.monitor ? s.monitor->BytesWanted() : 0);
}

FrameCapture::~FrameCapture() {
    Direction& d = Of(m_sent);
    if (--d.depth > 0) return;
    if (d.active) HandOn(m_sent, d);
    d.active = false;
}

void FrameTraceFlush(bool sent) {
    Direction& d = Of(sent);
    if (d.depth > 0 && d.active) HandOn(sent, d);
}

void FrameTraceRead() {
    t_readAt =
        FramesWanted() ? std::chrono::system_clock::now() : std::chrono::system_clock::time_point{};
}

void FrameTraceBytes(bool sent, const uint8_t* bytes, size_t n) {
    Direction& d = Of(sent);
    if (!d.active || !bytes) return;
    if (sent && !d.writing) {
        d.start = std::chrono::system_clock::now();
        d.writing = true;
        Order& order = TheOrder();
        std::lock_guard g(order.mutex);
        ++order.writing;
    }
    d.total += n;
    const size_t room = d.bytes.size() < d.keep ? d.keep - d.bytes.size() : 0;
    d.bytes.insert(d.bytes.end(), bytes, bytes + std::min(n, room));
}

void FrameTraceSetPanel(const std::vector<CLinkCtrl>& table) {
    const LinkServices& s = LinkGetServices();
    std::shared_ptr<const ControlKindTable> kinds;
    if (s.trace || s.monitor) {
        try {
            std::vector<ControlKind> entries;
            entries.reserve(table.size());
            for (const CLinkCtrl& e : table) entries.push_back({e.m_nId, e.m_nKind, e.m_dwFlags});
            kinds = std::make_shared<const ControlKindTable>(std::move(entries));
        } catch (const std::bad_alloc&) {
            // Items are then shown by their sizes; the panel itself is not at stake.
        }
    }
    std::lock_guard g(g_kindsMutex);
    g_kinds = std::move(kinds);
}

std::string FrameTraceLine(const DecodedFrame& frame, const uint8_t* bytes, size_t n) {
    std::string line = (frame.sent ? "send " : "recv ") +
                       DescribeFrame(frame.code, frame.flags, frame.sent, {}) +
                       " bytes=" + std::to_string(frame.length);
    if (!frame.decode.empty()) line += ": " + frame.decode;
    line += " | ";
    const size_t shown = std::min(n, kMaxLoggedBytes);
    static const char digits[] = "0123456789ABCDEF";
    line.reserve(line.size() + shown * 2 + 3);
    for (size_t i = 0; i < shown; ++i) {
        line += digits[bytes[i] >> 4];
        line += digits[bytes[i] & 15];
    }
    if (shown < frame.length) line += "...";
    return line;
}
