#include "SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "Link.h"

namespace {

constexpr size_t kReadChunk = 16384;

// errno 6 (ENXIO) would read as "port closed" to the receive side.
int ReadErrno(int e) {
    return e == LINK_PORT_CLOSED ? EIO : e;
}

// A device that has gone away: the line cannot come back on this descriptor.
bool IsGoneErrno(int e) {
    return e == EIO || e == ENXIO || e == ENODEV || e == ECONNRESET || e == EPIPE ||
           e == ETIMEDOUT || e == ECONNABORTED || e == EHOSTUNREACH || e == ENETUNREACH;
}

std::string ErrnoText(int e) {
    char buffer[128];
    return strerror_r(e, buffer, sizeof buffer); // the GNU form returns the text
}

} // namespace

SerialPort::SerialPort() = default;

SerialPort::~SerialPort() {
    Close();
}

int SerialPort::Open(const std::string& path) {
    std::unique_lock g(m_mutex);
    if (m_fd >= 0) return EBUSY;
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno;
    // A regular file or /dev/null would swallow the frames meant for a device.
    if (!isatty(fd)) {
        ::close(fd);
        return ENOTTY;
    }
    ioctl(fd, TIOCEXCL);
    // Line settings that do not apply (a pseudo-terminal) are tolerated.
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        cfsetispeed(&t, B115200);
        cfsetospeed(&t, B115200);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        tcsetattr(fd, TCSANOW, &t);
    }
    tcflush(fd, TCIOFLUSH);
    m_socket = false;
    return Attach(fd);
}

int SerialPort::Adopt(int socketFd) {
    std::unique_lock g(m_mutex);
    // The socket is the port's from here on, also when it cannot be taken.
    if (m_fd >= 0) {
        ::close(socketFd);
        return EBUSY;
    }
    const int fl = fcntl(socketFd, F_GETFL);
    if (fl < 0 || fcntl(socketFd, F_SETFL, fl | O_NONBLOCK) < 0) {
        const int e = errno;
        ::close(socketFd);
        return e;
    }
    m_socket = true;
    return Attach(socketFd);
}

// Called with m_mutex held; the descriptor is the port's from here on, also on failure.
int SerialPort::Attach(int fd) {
    if (pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        int e = errno;
        ::close(fd);
        return e;
    }
    {
        std::lock_guard b(m_bufferMutex);
        m_buffer.resize(kReadChunk);
        m_bufferPos = m_bufferEnd = 0;
    }
    m_fd = fd;
    m_closing = false;
    m_lostReason.clear();
    return 0;
}

bool SerialPort::IsOpen() const {
    std::lock_guard g(m_mutex);
    return m_fd >= 0 && !m_closing;
}

void SerialPort::Close() {
    std::unique_lock g(m_mutex);
    if (m_fd < 0) return;
    if (m_closing) { // another thread is closing: wait for it to finish
        m_idle.wait(g, [&] { return m_fd < 0; });
        return;
    }
    m_closing = true;
    m_gatherWake.notify_all();
    char c = 1;
    [[maybe_unused]] ssize_t w = ::write(m_wake[1], &c, 1);
    m_idle.wait(g, [&] { return m_users == 0; });
    ::close(m_fd);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
    m_fd = -1;
    m_wake[0] = m_wake[1] = -1;
    m_closing = false;
    m_idle.notify_all();
}

bool SerialPort::Enter() {
    std::lock_guard g(m_mutex);
    if (m_fd < 0 || m_closing) return false;
    ++m_users;
    return true;
}

void SerialPort::Leave() {
    std::lock_guard g(m_mutex);
    if (--m_users == 0) m_idle.notify_all();
}

// Refills the empty buffer with what the descriptor has, waiting up to timeoutMs (-1: no
// limit); `pollFirst` when a read has just found nothing. Returns the bytes read; `status`
// becomes non-zero on close or error.
size_t SerialPort::FillBuffer(int timeoutMs, int* status, bool pollFirst) {
    for (;;) {
        if (!pollFirst) {
            ssize_t r = 0;
            int err = 0;
            {
                std::lock_guard b(m_bufferMutex);
                m_bufferPos = m_bufferEnd = 0;
                r = ::read(m_fd, m_buffer.data(), m_buffer.size());
                if (r > 0) {
                    m_bufferEnd = size_t(r);
                    return size_t(r);
                }
                err = errno;
            }
            // The buffer is let go first: Lost takes the port's lock, which Open holds while it
            // resets the buffer.
            if (r == 0) { // end of file: the device side went away
                *status = Lost(m_socket ? "closed by the other end" : "end of file");
                return 0;
            }
            if (err == EINTR) continue;
            if (IsGoneErrno(err)) {
                *status = Lost(ErrnoText(err));
                return 0;
            }
            if (err != EAGAIN && err != EWOULDBLOCK) {
                *status = ReadErrno(err);
                return 0;
            }
        }
        pollFirst = false;
        if (timeoutMs == 0) return 0;
        if (m_gatherUntil != std::chrono::steady_clock::time_point{}) {
            if (!Gather()) {
                *status = LINK_PORT_CLOSED;
                return 0;
            }
            continue; // what gathered is read before any wait
        }
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        int p = poll(fds, 2, timeoutMs);
        if (p < 0 && errno != EINTR) {
            *status = ReadErrno(errno);
            return 0;
        }
        if (fds[1].revents) {
            *status = LINK_PORT_CLOSED;
            return 0;
        }
        // With nothing left to read, a hang-up is the end; otherwise read what is there first.
        if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) && !(fds[0].revents & POLLIN)) {
            *status = Lost(fds[0].revents & POLLHUP ? "hang-up" : "line error");
            return 0;
        }
        if (p == 0) return 0;
    }
}

bool SerialPort::Gather() {
    const auto until = std::exchange(m_gatherUntil, {});
    std::unique_lock g(m_mutex);
    m_gatherWake.wait_until(g, until, [&] { return m_closing || m_gatherEnded; });
    m_gatherEnded = false;
    return !m_closing;
}

void SerialPort::GatherUntil(std::chrono::steady_clock::time_point until) {
    m_gatherUntil = until;
}

void SerialPort::EndGathering() {
    // Kept until a gathering takes it: the reader may be just about to begin one.
    std::lock_guard g(m_mutex);
    m_gatherEnded = true;
    m_gatherWake.notify_all();
}

size_t SerialPort::Buffered() const {
    std::lock_guard b(m_bufferMutex);
    return m_bufferEnd - m_bufferPos;
}

int SerialPort::Lost(const std::string& reason) {
    std::lock_guard g(m_mutex);
    if (m_lostReason.empty()) m_lostReason = reason;
    return LINK_PORT_LOST;
}

std::string SerialPort::LostReason() const {
    std::lock_guard g(m_mutex);
    return m_lostReason;
}

int SerialPort::ReadExact(uint8_t* buffer, size_t n, size_t* immediate, int stallMs) {
    if (immediate) *immediate = 0;
    if (n == 0) return 0;
    if (!Enter()) return LINK_PORT_CLOSED;
    size_t got = 0;
    int status = 0;
    bool triedAtOnce = false, nothingThere = false;
    bool waited = false;
    size_t beforeWait = 0;
    while (got < n && status == 0) {
        {
            std::lock_guard b(m_bufferMutex);
            size_t take = std::min(m_bufferEnd - m_bufferPos, n - got);
            if (take) std::memcpy(buffer + got, m_buffer.data() + m_bufferPos, take);
            m_bufferPos += take;
            got += take;
        }
        if (got == n) break;
        // What is already there, without waiting: only when the caller asks (the trace); otherwise
        // the wait comes first, which spares a read that finds nothing.
        if (!triedAtOnce && immediate) {
            triedAtOnce = true;
            nothingThere = FillBuffer(0, &status) == 0;
            continue;
        }
        if (!waited) {
            waited = true;
            beforeWait = got;
        }
        // Nothing within the stall time (with no error) is a stall.
        if (FillBuffer(stallMs > 0 ? stallMs : -1, &status, nothingThere || !immediate) == 0 &&
            status == 0)
            status = LINK_PORT_STALLED;
        nothingThere = false;
    }
    if (immediate) *immediate = waited ? beforeWait : got;
    Leave();
    return got == n ? 0 : status;
}

int SerialPort::Write(const uint8_t* bytes, size_t n, long polls) {
    if (!Enter()) return LINK_E_NOT_OPEN;
    size_t done = 0;
    long countdown = polls;
    int status = 0;
    while (done < n) {
        ssize_t w = m_socket ? ::send(m_fd, bytes + done, n - done, MSG_NOSIGNAL)
                             : ::write(m_fd, bytes + done, n - done);
        if (w > 0) {
            done += size_t(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            status = errno;
            break;
        }
        if (polls > 0 && --countdown <= 0) {
            tcflush(m_fd, TCOFLUSH);
            status = LINK_E_WRITE_TIMEOUT;
            break;
        }
        pollfd fds[2] = {{m_fd, POLLOUT, 0}, {m_wake[0], POLLIN, 0}};
        if (poll(fds, 2, 10) > 0 && fds[1].revents) {
            status = LINK_E_NOT_OPEN;
            break;
        }
    }
    Leave();
    return status;
}

void SerialPort::Purge(bool input, bool output) {
    if (!Enter()) return;
    if (input) {
        std::lock_guard b(m_bufferMutex);
        m_bufferPos = m_bufferEnd = 0;
    }
    int what = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    if (input || output) tcflush(m_fd, what);
    Leave();
}
