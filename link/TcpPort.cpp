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
#include <cstring>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

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

// Wakes the connecting thread when the port closes.
struct TcpPort::Wake {
    ~Wake() {
        for (int fd : fds)
            if (fd >= 0) ::close(fd);
    }
    int fds[2] = {-1, -1};
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

TcpPort::TcpPort() : HandoverPort(false) {}

TcpPort::~TcpPort() {
    Close();
}

int TcpPort::Open(const std::string& host, uint16_t port, int timeoutMs) {
    if (m_wake) return EBUSY; // a port is opened once
    auto wake = std::make_shared<Wake>();
    if (pipe2(wake->fds, O_CLOEXEC | O_NONBLOCK) != 0) return errno;
    const std::string where = (host.find(':') != std::string::npos ? "[" + host + "]" : host) +
                              ":" + std::to_string(port);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // A look-up that hangs is not waited for beyond the time-out either.
    Wait(where, deadline + kReaderGrace,
         "looking up " + host +
             " took too long: check the network connection, or give its IP address");
    try {
        // Detached: a look-up cannot be interrupted, and closing the port must not wait for it.
        std::thread([wake, handle = GetHandle(), host, port, where, timeoutMs, deadline] {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            hints.ai_flags = AI_NUMERICSERV;
            addrinfo* list = nullptr;
            const int found =
                getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
            int error = 0, fd = -1;
            if (found == 0) {
                fd = Connect(list, wake->fds[0], deadline, error);
                freeaddrinfo(list);
            }
            if (found == EAI_AGAIN) {
                handle.Fail("could not look up " + host +
                            " now: check the network connection, or give its IP address");
            } else if (found != 0) {
                handle.Fail("host " + host + " not found: check the name, or give its IP address");
            } else if (fd >= 0) {
                SetOptions(fd);
                handle.Hand(fd);
            } else if (error != 0) { // 0: closed meanwhile
                handle.Fail(ConnectFailure(error, where, timeoutMs));
            }
        }).detach();
    } catch (const std::system_error&) {
        HandoverPort::Close();
        return EAGAIN;
    }
    m_wake = std::move(wake);
    return 0;
}

void TcpPort::Close() {
    // Closed first, so the woken thread finds nothing left to fail.
    HandoverPort::Close();
    if (!m_wake) return;
    char c = 1;
    [[maybe_unused]] ssize_t w = ::write(m_wake->fds[1], &c, 1);
}
