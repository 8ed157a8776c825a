#include "SimPorts.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

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

std::unique_ptr<SimPtyDevice> SimPtyDevice::Start(const Panel& panel, SimOptions options,
                                                  std::string& error) {
    std::unique_ptr<SimPtyDevice> d(new SimPtyDevice);
    if (!OpenPty(d->m_pty, error)) return nullptr;
    d->m_engine = std::make_unique<SimEngine>(panel, std::move(options));
    if (!d->m_engine->Start(d->m_pty.master)) {
        error = "cannot start the simulator";
        return nullptr;
    }
    return d;
}

SimPtyDevice::~SimPtyDevice() {
    if (m_engine) m_engine->Stop();
    ClosePty(m_pty);
}
