#include "FaultyLine.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "Frame.h"

namespace {

constexpr size_t kBacklog = 64 * 1024; // a direction this far behind stops reading its source
constexpr size_t kCodeAt = 16;         // where a header holds its message code
constexpr int kHeldMs = 20;            // a possible split header waits this long for its end
constexpr int kDrainLimitMs = 2000;    // how long a hang-up waits for the client to read

// Whether `n` bytes at p can begin a header with `code` (all of it when n is large enough).
bool MayStartHeader(const uint8_t* p, size_t n, uint16_t code) {
    for (size_t i = 0; i < n && i < kCodeAt + 2; ++i) {
        if (i < FRAME_MARKER.size() && p[i] != FRAME_MARKER[i]) return false;
        if (i == kCodeAt && p[i] != uint8_t(code)) return false;
        if (i == kCodeAt + 1 && p[i] != uint8_t(code >> 8)) return false;
    }
    return true;
}

// Writes what it can of [pos, end) to a non-blocking descriptor; false when the other side is
// gone.
bool WriteSome(int fd, const std::vector<uint8_t>& out, size_t& pos) {
    while (pos < out.size()) {
        ssize_t w = ::write(fd, out.data() + pos, out.size() - pos);
        if (w > 0) {
            pos += size_t(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        return w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
}

void Compact(std::vector<uint8_t>& out, size_t& pos) {
    if (pos == out.size()) {
        out.clear();
        pos = 0;
    }
}

void SetNonBlocking(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

} // namespace

std::unique_ptr<FaultyLine> FaultyLine::Start(const Panel& panel, uint64_t pattern,
                                              std::string& error, SimOptions options) {
    std::unique_ptr<FaultyLine> line(new FaultyLine);
    line->m_random = std::mt19937_64(pattern);
    if (!OpenPty(line->m_pty, error)) return nullptr;
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0 ||
        pipe2(line->m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = "cannot make the relay's descriptors";
        return nullptr;
    }
    line->m_deviceEnd = pair[0];
    line->m_engineEnd = pair[1];
    SetNonBlocking(line->m_deviceEnd);
    SetNonBlocking(line->m_pty.master);
    line->m_engine = std::make_unique<SimEngine>(panel, std::move(options));
    if (!line->m_engine->Start(line->m_engineEnd)) {
        error = "cannot start the simulator";
        return nullptr;
    }
    line->m_thread = std::thread([l = line.get()] { l->Relay(); });
    return line;
}

FaultyLine::~FaultyLine() {
    m_stop = true;
    if (m_wake[1] >= 0) {
        const char b = 1;
        [[maybe_unused]] ssize_t n = ::write(m_wake[1], &b, 1);
    }
    if (m_thread.joinable()) m_thread.join();
    if (m_engine) m_engine->Stop();
    for (int fd : {m_deviceEnd, m_engineEnd, m_wake[0], m_wake[1]})
        if (fd >= 0) ::close(fd);
    ClosePty(m_pty);
}

void FaultyLine::SetFaults(double corruptShare, double dropShare) {
    std::lock_guard g(m_mutex);
    m_corrupt = corruptShare;
    m_drop = dropShare;
}

void FaultyLine::VanishAt(uint16_t code, size_t offset) {
    std::lock_guard g(m_mutex);
    m_vanishRequest = Search{code, offset};
}

void FaultyLine::Mute(bool on) {
    std::lock_guard g(m_mutex);
    m_muted = on;
}

void FaultyLine::Inject(std::vector<uint8_t> bytes) {
    {
        std::lock_guard g(m_mutex);
        m_inject.insert(m_inject.end(), bytes.begin(), bytes.end());
    }
    const char b = 1;
    [[maybe_unused]] ssize_t n = ::write(m_wake[1], &b, 1);
}

FaultCounts FaultyLine::Counts() const {
    std::lock_guard g(m_mutex);
    return m_counts;
}

void FaultyLine::FromDevice(const uint8_t* p, size_t n) {
    std::vector<uint8_t> passed;
    passed.reserve(n);
    {
        std::lock_guard g(m_mutex);
        m_counts.bytes += n;
        if (m_muted) {
            m_counts.muted += n;
            return;
        }
        const bool faulty = m_corrupt > 0 || m_drop > 0;
        std::uniform_real_distribution<double> share(0.0, 1.0);
        for (size_t i = 0; i < n; ++i) {
            uint8_t b = p[i];
            if (faulty) {
                const double u = share(m_random);
                if (u < m_corrupt) {
                    b ^= uint8_t(1 + m_random() % 255);
                    ++m_counts.corrupted;
                } else if (u < m_corrupt + m_drop) {
                    ++m_counts.dropped;
                    continue;
                }
            }
            passed.push_back(b);
        }
    }
    HoldOrVanish(passed.data(), passed.size());
}

void FaultyLine::HoldOrVanish(const uint8_t* p, size_t n) {
    if (m_hangUpPending) return; // the device is gone: nothing more reaches the client
    if (m_countdown) {
        if (n < *m_countdown) {
            *m_countdown -= n;
            return Deliver(p, n);
        }
        Deliver(p, *m_countdown);
        m_countdown.reset();
        m_hangUpPending = true;
        return;
    }
    if (!m_search) return Deliver(p, n);
    m_held.insert(m_held.end(), p, p + n);
    const size_t size = m_held.size();
    size_t keepFrom = size;
    for (size_t i = 0; i < size; ++i) {
        if (!MayStartHeader(&m_held[i], size - i, m_search->code)) continue;
        if (size - i < kCodeAt + 2) { // a header that may be split: wait for its end
            keepFrom = i;
            break;
        }
        // The frame is found: from here on the bytes are counted down to the vanishing point.
        std::vector<uint8_t> rest(m_held.begin() + long(i), m_held.end());
        Deliver(m_held.data(), i);
        m_held.clear();
        m_countdown = m_search->offset;
        m_search.reset();
        return HoldOrVanish(rest.data(), rest.size());
    }
    Deliver(m_held.data(), keepFrom);
    m_held.erase(m_held.begin(), m_held.begin() + long(keepFrom));
}

void FaultyLine::Deliver(const uint8_t* p, size_t n) {
    m_toClient.insert(m_toClient.end(), p, p + n);
}

// The device side closes: the client's end of the line hangs up, and the engine sees its stream
// end. A hang-up discards what the client has not read yet, so first the client reads what it
// was given and the cut is where it was asked for. poll() on the line's own slave descriptor
// first hands on bytes still on their way into the terminal's input, so it sees them all.
void FaultyLine::HangUp() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDrainLimitMs);
    while (std::chrono::steady_clock::now() < until && !m_stop) {
        pollfd unread{m_pty.slaveKeeper, POLLIN, 0};
        if (poll(&unread, 1, 0) < 0 || !(unread.revents & POLLIN)) break;
        poll(nullptr, 0, 1);
    }
    {
        std::lock_guard g(m_mutex);
        m_counts.vanished = true;
    }
    ClosePty(m_pty);
    ::close(m_deviceEnd);
    m_deviceEnd = -1;
    m_hungUp = true;
}

void FaultyLine::Relay() {
    std::vector<uint8_t> buf(16 * 1024);
    while (!m_stop) {
        {
            std::lock_guard g(m_mutex);
            if (m_vanishRequest) {
                m_search = m_vanishRequest;
                m_vanishRequest.reset();
            }
            if (!m_hungUp && !m_inject.empty() && m_held.empty()) {
                m_toClient.insert(m_toClient.end(), m_inject.begin(), m_inject.end());
                m_inject.clear();
            }
        }
        const size_t toClient = m_toClient.size() - m_toClientPos;
        const size_t toDevice = m_toDevice.size() - m_toDevicePos;
        if (m_hangUpPending && toClient == 0 && !m_hungUp) HangUp();

        pollfd fds[3] = {{m_wake[0], POLLIN, 0}, {-1, 0, 0}, {-1, 0, 0}};
        if (!m_hungUp) {
            fds[1] = {m_pty.master,
                      short((toDevice < kBacklog ? POLLIN : 0) | (toClient ? POLLOUT : 0)), 0};
            fds[2] = {m_engineGone ? -1 : m_deviceEnd,
                      short((toClient < kBacklog && !m_hangUpPending ? POLLIN : 0) |
                            (toDevice ? POLLOUT : 0)),
                      0};
        }
        const int timeout = m_held.empty() ? -1 : kHeldMs;
        const int ready = poll(fds, 3, timeout);
        if (ready < 0 && errno != EINTR) return;
        if (ready == 0 && !m_held.empty()) { // not a header after all
            Deliver(m_held.data(), m_held.size());
            m_held.clear();
        }
        if (ready <= 0) continue;
        if (fds[0].revents) {
            char b[64];
            while (::read(m_wake[0], b, sizeof b) > 0) {
            }
        }
        if (m_hungUp) continue;
        if (fds[1].revents & POLLOUT) WriteSome(m_pty.master, m_toClient, m_toClientPos);
        if (fds[2].revents & POLLOUT) WriteSome(m_deviceEnd, m_toDevice, m_toDevicePos);
        Compact(m_toClient, m_toClientPos);
        Compact(m_toDevice, m_toDevicePos);
        if (fds[1].revents & POLLIN) {
            ssize_t r = ::read(m_pty.master, buf.data(), buf.size());
            if (r > 0) m_toDevice.insert(m_toDevice.end(), buf.data(), buf.data() + r);
        }
        if (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) {
            ssize_t r = ::read(m_deviceEnd, buf.data(), buf.size());
            if (r > 0)
                FromDevice(buf.data(), size_t(r));
            else if (r == 0 || (errno != EAGAIN && errno != EINTR))
                m_engineGone = true; // the engine stopped serving
        }
    }
}
