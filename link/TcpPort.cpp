#include "TcpPort.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "Link.h"
#include "SerialPort.h"

namespace {

using Clock = std::chrono::steady_clock;

// What may be written before the connection is made (the connect request, a ping or two).
constexpr size_t kPendingLimit = 64 * 1024;
// A reader gives the connecting thread this long past its time-out to say why it failed.
constexpr auto kReaderGrace = std::chrono::milliseconds(1000);

std::string Duration(int ms) {
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

std::string ConnectFailure(int e, const std::string& where, int timeoutMs) {
    switch (e) {
    case ECONNREFUSED:
        return "connection refused by " + where +
               ": check the port number, and that ser2net or the serial bridge is running there";
    case ETIMEDOUT:
        return where + " did not answer within " + Duration(timeoutMs) +
               ": check the address, and that the device is switched on and on the network";
    case ENETUNREACH:
    case EHOSTUNREACH:
        return where + " cannot be reached: check the network connection and the address";
    default: {
        char text[128];
        return "cannot connect to " + where + ": " + strerror_r(e, text, sizeof text);
    }
    }
}

void SetOptions(int fd) {
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // A peer that vanishes without a reset (cable, power, Wi-Fi) is found within about 25 s.
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    const int idle = 10, interval = 5, count = 3, unacknowledgedMs = 25000;
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
    setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &unacknowledgedMs, sizeof unacknowledgedMs);
}

} // namespace

struct TcpPort::Shared {
    enum class State { Connecting, Connected, Failed, Closed };

    ~Shared() {
        for (int fd : wake)
            if (fd >= 0) ::close(fd);
    }

    // Called with `mutex` held.
    void Fail(const std::string& reason) {
        state = State::Failed;
        failure = reason;
        pending.clear();
        changed.notify_all();
    }

    std::mutex mutex;
    std::condition_variable changed;
    State state = State::Closed;
    std::string failure;
    std::vector<uint8_t> pending;
    SerialPort line;
    int wake[2] = {-1, -1}; // wakes the connecting thread when the port closes
    std::string host, where;
    uint16_t port = 0;
    int timeoutMs = 0;
    Clock::time_point deadline;
};

namespace {

// Tries each address of the host in turn within the time-out; the connected socket, or -1 with
// `error` set (0: the port was closed meanwhile).
int Connect(const addrinfo* list, int wakeFd, Clock::time_point deadline, int& error) {
    error = ETIMEDOUT;
    for (const addrinfo* a = list; a; a = a->ai_next) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        int fd =
            socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            error = errno;
            continue;
        }
        int e = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
        if (e == EINPROGRESS) {
            pollfd fds[2] = {{fd, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
            int p;
            do {
                p = poll(fds, 2, int(left));
            } while (p < 0 && errno == EINTR);
            if (fds[1].revents) {
                ::close(fd);
                error = 0;
                return -1;
            }
            socklen_t size = sizeof e;
            if (p == 0)
                e = ETIMEDOUT;
            else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &e, &size) != 0)
                e = errno;
        }
        if (e == 0) return fd;
        ::close(fd);
        error = e;
    }
    return -1;
}

} // namespace

TcpPort::TcpPort() : m_shared(std::make_shared<Shared>()) {}

TcpPort::~TcpPort() {
    Close();
}

int TcpPort::Open(const std::string& host, uint16_t port, int timeoutMs) {
    Shared& s = *m_shared;
    std::lock_guard g(s.mutex);
    if (s.wake[0] >= 0) return EBUSY; // a port is opened once
    if (pipe2(s.wake, O_CLOEXEC | O_NONBLOCK) != 0) return errno;
    s.host = host;
    s.port = port;
    s.where = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
              std::to_string(port);
    s.timeoutMs = timeoutMs;
    s.deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    s.state = Shared::State::Connecting;
    try {
        // Detached: a look-up cannot be interrupted, and closing the port must not wait for it.
        std::thread([shared = m_shared] {
            Shared& s = *shared;
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            hints.ai_flags = AI_NUMERICSERV;
            addrinfo* list = nullptr;
            const int found =
                getaddrinfo(s.host.c_str(), std::to_string(s.port).c_str(), &hints, &list);
            int error = 0, fd = -1;
            if (found == 0) {
                fd = Connect(list, s.wake[0], s.deadline, error);
                freeaddrinfo(list);
            }
            std::lock_guard g(s.mutex);
            if (s.state != Shared::State::Connecting) {
                if (fd >= 0) ::close(fd);
                return;
            }
            if (found == EAI_AGAIN) {
                s.Fail("could not look up " + s.host +
                       " now: check the network connection, or give its IP address");
            } else if (found != 0) {
                s.Fail("host " + s.host + " not found: check the name, or give its IP address");
            } else if (fd < 0) {
                s.Fail(ConnectFailure(error, s.where, s.timeoutMs));
            } else {
                SetOptions(fd);
                if (int e = s.line.Adopt(fd)) {
                    s.Fail(ConnectFailure(e, s.where, s.timeoutMs));
                    return;
                }
                if (!s.pending.empty() && s.line.Write(s.pending.data(), s.pending.size(), 0)) {
                    s.line.Close();
                    s.Fail("the connection to " + s.where + " failed at once");
                    return;
                }
                s.pending.clear();
                s.state = Shared::State::Connected;
                s.changed.notify_all();
            }
        }).detach();
    } catch (const std::system_error&) {
        s.state = Shared::State::Closed;
        return EAGAIN;
    }
    return 0;
}

void TcpPort::Close() {
    Shared& s = *m_shared;
    {
        std::lock_guard g(s.mutex);
        if (s.state == Shared::State::Closed) return;
        s.state = Shared::State::Closed;
        char c = 1;
        [[maybe_unused]] ssize_t w = ::write(s.wake[1], &c, 1);
        s.changed.notify_all();
    }
    s.line.Close();
}

bool TcpPort::IsOpen() const {
    std::lock_guard g(m_shared->mutex);
    return m_shared->state != Shared::State::Closed;
}

int TcpPort::ReadExact(uint8_t* buffer, size_t n, size_t* immediate, int stallMs) {
    Shared& s = *m_shared;
    {
        std::unique_lock g(s.mutex);
        if (s.state == Shared::State::Connecting) {
            if (immediate) *immediate = 0;
            // A look-up that hangs is not waited for beyond the time-out either.
            if (!s.changed.wait_until(g, s.deadline + kReaderGrace,
                                      [&] { return s.state != Shared::State::Connecting; }))
                s.Fail("looking up " + s.host +
                       " took too long: check the network connection, or give its IP address");
        }
        if (s.state == Shared::State::Closed) return LINK_PORT_CLOSED;
        if (s.state == Shared::State::Failed) return LINK_PORT_LOST;
    }
    return s.line.ReadExact(buffer, n, immediate, stallMs);
}

int TcpPort::Write(const uint8_t* bytes, size_t n, long polls) {
    Shared& s = *m_shared;
    {
        std::lock_guard g(s.mutex);
        switch (s.state) {
        case Shared::State::Closed:
            return LINK_E_NOT_OPEN;
        case Shared::State::Failed:
            // Said once, by the reader, as the lost device: a connect request that comes after
            // a quick refusal must not turn the loss into an error of the open.
            return 0;
        case Shared::State::Connecting:
            if (s.pending.size() + n > kPendingLimit) return LINK_E_WRITE_TIMEOUT;
            s.pending.insert(s.pending.end(), bytes, bytes + n);
            return 0;
        case Shared::State::Connected:
            break;
        }
    }
    return s.line.Write(bytes, n, polls);
}

void TcpPort::Purge(bool input, bool output) {
    Shared& s = *m_shared;
    {
        std::lock_guard g(s.mutex);
        if (s.state == Shared::State::Connecting && output) s.pending.clear();
        if (s.state != Shared::State::Connected) return;
    }
    s.line.Purge(input, output);
}

std::string TcpPort::LostReason() const {
    Shared& s = *m_shared;
    {
        std::lock_guard g(s.mutex);
        if (s.state == Shared::State::Failed) return s.failure;
        if (s.state != Shared::State::Connected) return {};
    }
    return s.line.LostReason();
}
