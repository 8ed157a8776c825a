#include "PtyPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

Payload& Payload::U8(uint8_t v) {
    m_b.push_back(v);
    return *this;
}
Payload& Payload::U16(uint16_t v) {
    m_b.push_back(uint8_t(v));
    m_b.push_back(uint8_t(v >> 8));
    return *this;
}
Payload& Payload::U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) m_b.push_back(uint8_t(v >> (8 * i)));
    return *this;
}
Payload& Payload::Raw(const Bytes& b) {
    m_b.insert(m_b.end(), b.begin(), b.end());
    return *this;
}
Payload& Payload::Raw(std::string_view s) {
    m_b.insert(m_b.end(), s.begin(), s.end());
    return *this;
}
Payload& Payload::Utf16(std::u16string_view s) {
    return Raw(Utf16Bytes(s));
}
Payload& Payload::Sized(const Bytes& b) {
    U32(uint32_t(b.size()));
    return Raw(b);
}

Bytes Utf16Bytes(std::u16string_view s) {
    Bytes b;
    for (char16_t c : s) {
        b.push_back(uint8_t(c));
        b.push_back(uint8_t(c >> 8));
    }
    return b;
}

Bytes DeviceHeader(uint16_t code, uint16_t flags) {
    Payload p;
    p.Raw(Bytes{0x48, 0xEF, 0xF0, 0x74, 0x72, 0xEF, 0xE6, 0x66});
    p.U16(0x0200).U16(0).U16(2).U16(1).U16(code).U16(flags);
    return p.bytes();
}

PtyPeer::PtyPeer() {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    char name[128];
    if (ptsname_r(m_master, name, sizeof name) != 0) throw std::runtime_error("no pty name");
    m_slavePath = name;
    m_slaveKeeper = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (m_slaveKeeper >= 0 && tcgetattr(m_slaveKeeper, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(m_slaveKeeper, TCSANOW, &t);
    }
    int fl = fcntl(m_master, F_GETFL);
    fcntl(m_master, F_SETFL, fl | O_NONBLOCK);
}

PtyPeer::~PtyPeer() {
    if (m_slaveKeeper >= 0) close(m_slaveKeeper);
    if (m_master >= 0) close(m_master);
}

void PtyPeer::HangUp() {
    if (m_master >= 0) close(m_master);
    m_master = -1;
}

void PtyPeer::Write(const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t w = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (w > 0) {
            done += size_t(w);
            continue;
        }
        pollfd p{m_master, POLLOUT, 0};
        poll(&p, 1, 100);
    }
}

void PtyPeer::WriteFrame(uint16_t code, uint16_t flags, const Bytes& payload) {
    Bytes all = DeviceHeader(code, flags);
    all.insert(all.end(), payload.begin(), payload.end());
    Write(all);
}

// Reads until `n` bytes are in `out` or the time is up; true when all arrived.
static bool ReadFor(int fd, Bytes& out, size_t n, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < n) {
        uint8_t buf[4096];
        ssize_t r = ::read(fd, buf, std::min(sizeof buf, n - out.size()));
        if (r > 0) {
            out.insert(out.end(), buf, buf + r);
            continue;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, int(std::min<long long>(left, 50)));
    }
    return true;
}

bool PtyPeer::Read(Bytes& out, size_t n, int timeoutMs) {
    out.clear();
    return ReadFor(m_master, out, n, timeoutMs);
}

bool PtyPeer::ReadHeader(uint16_t& code, uint16_t& flags, int timeoutMs) {
    Bytes h;
    if (!Read(h, 20, timeoutMs)) return false;
    static const Bytes marker{0x48, 0xEF, 0xF0, 0x74, 0x72, 0xEF, 0xE6, 0x66};
    if (!std::equal(marker.begin(), marker.end(), h.begin())) return false;
    code = uint16_t(h[16] | (h[17] << 8));
    flags = uint16_t(h[18] | (h[19] << 8));
    return true;
}

uint32_t PtyPeer::ReadU32(int timeoutMs) {
    Bytes b;
    if (!Read(b, 4, timeoutMs)) return 0xFFFFFFFF;
    return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}

bool PtyPeer::AwaitFrame(uint16_t code, int timeoutMs) {
    static const Bytes marker{0x48, 0xEF, 0xF0, 0x74, 0x72, 0xEF, 0xE6, 0x66};
    Bytes window;
    for (;;) {
        Bytes one;
        if (!Read(one, 1, timeoutMs)) return false;
        window.push_back(one[0]);
        if (window.size() > 20) window.erase(window.begin());
        if (window.size() == 20 && std::equal(marker.begin(), marker.end(), window.begin()) &&
            uint16_t(window[16] | (window[17] << 8)) == code)
            return true;
    }
}

Bytes PtyPeer::Drain(int timeoutMs) {
    Bytes out;
    ReadFor(m_master, out, SIZE_MAX, timeoutMs);
    return out;
}
