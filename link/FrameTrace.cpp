#include "FrameTrace.h"

#include <cstdio>
#include <string>
#include <vector>

#include "Frame.h"
#include "Link.h"

namespace {

// Long frames (files) are cut in the log.
constexpr size_t kMaxLoggedBytes = 4096;

struct Direction {
    int depth = 0;
    std::vector<uint8_t> bytes;
};

thread_local Direction t_sent, t_received;

Direction& Of(bool sent) {
    return sent ? t_sent : t_received;
}

void WriteLine(bool sent, const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) return;
    unsigned code = bytes.size() >= FRAME_HEADER_SIZE ? GetU16LE(&bytes[16]) : 0;
    char head[64];
    std::snprintf(head, sizeof head, "%s code=%u bytes=%zu ", sent ? "send" : "recv", code,
                  bytes.size());
    std::string line = head;
    size_t shown = std::min(bytes.size(), kMaxLoggedBytes);
    static const char digits[] = "0123456789ABCDEF";
    for (size_t i = 0; i < shown; ++i) {
        line += digits[bytes[i] >> 4];
        line += digits[bytes[i] & 15];
    }
    if (shown < bytes.size()) line += "...";
    if (ILinkTraceSink* sink = LinkGetServices().trace) sink->Frame(line);
}

} // namespace

FrameCapture::FrameCapture(bool sent) : m_sent(sent), m_active(LinkGetServices().trace != nullptr) {
    if (m_active) ++Of(m_sent).depth;
}

FrameCapture::~FrameCapture() {
    if (!m_active) return;
    Direction& d = Of(m_sent);
    if (--d.depth > 0) return;
    WriteLine(m_sent, d.bytes);
    d.bytes.clear();
}

void FrameTraceFlush(bool sent) {
    Direction& d = Of(sent);
    if (d.depth == 0) return;
    WriteLine(sent, d.bytes);
    d.bytes.clear();
}

void FrameTraceBytes(bool sent, const uint8_t* bytes, size_t n) {
    Direction& d = Of(sent);
    if (d.depth == 0 || !bytes) return;
    size_t room = d.bytes.size() < kMaxLoggedBytes + 1 ? kMaxLoggedBytes + 1 - d.bytes.size() : 0;
    d.bytes.insert(d.bytes.end(), bytes, bytes + std::min(n, room));
}
