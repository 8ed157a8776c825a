#include "SimPorts.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

} // namespace

bool OpenPty(PtyPair& pty, std::string& error) {
    pty = PtyPair{};
    pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.master < 0) {
        error = ErrnoText("cannot create a pseudo-terminal");
        return false;
    }
    char name[128];
    if (grantpt(pty.master) != 0 || unlockpt(pty.master) != 0 ||
        ptsname_r(pty.master, name, sizeof name) != 0) {
        error = ErrnoText("cannot prepare the pseudo-terminal");
        ClosePty(pty);
        return false;
    }
    pty.slavePath = name;
    pty.slaveKeeper = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (pty.slaveKeeper < 0 || tcgetattr(pty.slaveKeeper, &t) != 0) {
        error = ErrnoText("cannot open " + pty.slavePath);
        ClosePty(pty);
        return false;
    }
    // Raw bytes both ways: no echo, no newline translation, no signals from control bytes.
    cfmakeraw(&t);
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    tcsetattr(pty.slaveKeeper, TCSANOW, &t);
    return true;
}

void ClosePty(PtyPair& pty) {
    if (pty.slaveKeeper >= 0) close(pty.slaveKeeper);
    if (pty.master >= 0) close(pty.master);
    pty.slaveKeeper = pty.master = -1;
}

int OpenSerialPort(const std::string& path, std::string& error) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = ErrnoText("cannot open " + path);
        return -1;
    }
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        error = ErrnoText(path + " is not a serial device");
        close(fd);
        return -1;
    }
    cfmakeraw(&t);
    t.c_cflag &= ~tcflag_t(CSTOPB | PARENB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        error = ErrnoText("cannot set 115200 8N1 on " + path);
        close(fd);
        return -1;
    }
    tcflush(fd, TCIOFLUSH);
    return fd;
}

namespace {

// What a symbolic link at `path` points to; empty when there is none.
std::string LinkTarget(const std::string& path) {
    char target[4096];
    const ssize_t n = readlink(path.c_str(), target, sizeof target);
    return n > 0 && size_t(n) < sizeof target ? std::string(target, size_t(n)) : std::string();
}

} // namespace

bool PtyLink::Make(const std::string& path, const std::string& target, std::string& error) {
    Remove();
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = path + " exists and is not a symbolic link";
        return false;
    }
    // Made beside it and renamed over it: a client never finds the name missing or half made.
    static std::atomic<unsigned> serial{0};
    const std::string temporary =
        path + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(serial++);
    if (symlink(target.c_str(), temporary.c_str()) != 0) {
        error = ErrnoText("cannot make the link " + path);
        return false;
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        error = ErrnoText("cannot make the link " + path);
        unlink(temporary.c_str());
        return false;
    }
    m_path = path;
    m_target = target;
    return true;
}

void PtyLink::Remove() {
    if (m_path.empty()) return;
    if (LinkTarget(m_path) == m_target) unlink(m_path.c_str());
    m_path.clear();
    m_target.clear();
}

std::unique_ptr<SimPtyDevice> SimPtyDevice::Start(const Panel& panel, SimOptions options,
                                                  std::string& error, const std::string& linkPath) {
    std::unique_ptr<SimPtyDevice> d(new SimPtyDevice);
    if (!OpenPty(d->m_pty, error)) return nullptr;
    if (!linkPath.empty() && !d->m_link.Make(linkPath, d->m_pty.slavePath, error)) return nullptr;
    d->m_engine = std::make_unique<SimEngine>(panel, std::move(options));
    if (!d->m_engine->Start(d->m_pty.master)) {
        error = "cannot start the simulator";
        return nullptr;
    }
    return d;
}

SimPtyDevice::~SimPtyDevice() {
    if (m_engine) m_engine->Stop();
    m_link.Remove();
    ClosePty(m_pty);
}

int ListenTcp(const std::string& host, uint16_t port, uint16_t& bound, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* list = nullptr;
    if (const int e = getaddrinfo(host.empty() ? nullptr : host.c_str(),
                                  std::to_string(port).c_str(), &hints, &list)) {
        error = "cannot listen on " + host + ": " + gai_strerror(e);
        return -1;
    }
    error = "cannot listen on " + host + ":" + std::to_string(port);
    int listening = -1;
    for (addrinfo* a = list; a && listening < 0; a = a->ai_next) {
        const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (bind(fd, a->ai_addr, a->ai_addrlen) == 0 && listen(fd, 1) == 0) {
            listening = fd;
        } else {
            error = ErrnoText("cannot listen on " + host + ":" + std::to_string(port));
            close(fd);
        }
    }
    freeaddrinfo(list);
    if (listening < 0) return -1;
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    getsockname(listening, reinterpret_cast<sockaddr*>(&address), &size);
    bound =
        ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                            : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    error.clear();
    return listening;
}

std::unique_ptr<SimTcpServer> SimTcpServer::Start(const Panel& panel, SimOptions options,
                                                  const std::string& host, uint16_t port,
                                                  std::string& error) {
    std::unique_ptr<SimTcpServer> d(new SimTcpServer);
    d->m_listen = ListenTcp(host, port, d->m_port, error);
    if (d->m_listen < 0) return nullptr;
    if (pipe2(d->m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = ErrnoText("cannot serve TCP");
        return nullptr;
    }
    error.clear();
    d->m_engine = std::make_unique<SimEngine>(panel, std::move(options));
    d->m_thread = std::thread([server = d.get()] { server->Run(); });
    return d;
}

void SimTcpServer::Run() {
    while (!m_stop) {
        pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[1].revents || m_stop) return;
        if (!fds[0].revents) continue;
        const int client = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        const int on = 1;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        m_engine->Serve(client); // until the client goes, or Stop
        close(client);
    }
}

SimTcpServer::~SimTcpServer() {
    m_stop = true;
    if (m_wake[1] >= 0) {
        char c = 1;
        [[maybe_unused]] ssize_t w = write(m_wake[1], &c, 1);
    }
    if (m_engine) m_engine->RequestStop();
    if (m_thread.joinable()) m_thread.join();
    for (int fd : {m_listen, m_wake[0], m_wake[1]})
        if (fd >= 0) close(fd);
}
