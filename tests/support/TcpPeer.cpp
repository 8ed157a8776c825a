#include "TcpPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace {

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

int BoundSocket(uint16_t& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    socklen_t size = sizeof a;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0)
        throw std::runtime_error("no loopback port");
    port = ntohs(a.sin_port);
    return fd;
}

} // namespace

TcpPeer::TcpPeer(bool listening, int backlog) {
    m_listen = BoundSocket(m_port);
    if (listening && listen(m_listen, backlog) != 0) throw std::runtime_error("cannot listen");
}

TcpPeer::~TcpPeer() {
    if (m_conn >= 0) close(m_conn);
    close(m_listen);
}

bool TcpPeer::Accept(int timeoutMs) {
    pollfd p{m_listen, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return false;
    m_conn = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    const int on = 1;
    setsockopt(m_conn, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return m_conn >= 0;
}

void TcpPeer::Write(const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t w = send(m_conn, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (w <= 0 && errno != EINTR) return;
        if (w > 0) done += size_t(w);
    }
}

bool TcpPeer::Read(Bytes& out, size_t n, int timeoutMs) {
    out.clear();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now())
                              .count();
        pollfd p{m_conn, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, int(left)) <= 0) return false;
        uint8_t buffer[4096];
        const ssize_t r = recv(m_conn, buffer, std::min(sizeof buffer, n - out.size()), 0);
        if (r <= 0) return false;
        out.insert(out.end(), buffer, buffer + r);
    }
    return true;
}

void TcpPeer::Reset() {
    const linger hard{1, 0};
    setsockopt(m_conn, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    close(m_conn);
    m_conn = -1;
}

uint16_t FreeLoopbackPort() {
    uint16_t port = 0;
    close(BoundSocket(port));
    return port;
}

int ConnectLoopback(uint16_t port, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in a = Loopback(port);
        if (connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) return fd;
        close(fd);
        if (std::chrono::steady_clock::now() >= end) return -1;
        poll(nullptr, 0, 20); // the server is still starting
    }
}
