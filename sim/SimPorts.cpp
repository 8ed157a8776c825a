#include "SimPorts.h"

#include <fcntl.h>
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
