#include "SimEngine.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "Behaviours.h"
#include "ClientParser.h"
#include "DeviceModel.h"
#include "DeviceWire.h"
#include "Frame.h"
#include "FrameLog.h"
#include "LayoutProps.h"
#include "PanelFile.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kCongested = 64 * 1024;        // timed output waits while this much is queued
constexpr size_t kQueueLimit = 8 * 1024 * 1024; // a client this far behind has gone away
constexpr auto kWatchPeriod = std::chrono::seconds(1);
constexpr auto kNoClientRetry = std::chrono::milliseconds(100);

struct FileStamp {
    bool exists = false;
    int64_t mtimeNs = 0;
    int64_t size = 0;
    uint64_t inode = 0;
    bool operator==(const FileStamp&) const = default;
};

FileStamp Stamp(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return {};
    return {true, int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, int64_t(st.st_size),
            uint64_t(st.st_ino)};
}

bool IsSocket(int fd) {
    struct stat st {};
    return fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode);
}

// The other side went away: the end of the stream, not a fault.
bool PeerClosed(int error) {
    return error == EPIPE || error == ECONNRESET;
}

bool IsPtyMaster(int fd) {
    char name[128];
    return ptsname_r(fd, name, sizeof name) == 0;
}

bool AskAck(uint16_t code) {
    return code == MSG_PANEL_DEFINITION || code == MSG_DEVICE_VALUES || code == MSG_ATTRIBUTES ||
           code == MSG_FILES || code == MSG_MATRIX_ROWS;
}

} // namespace

struct SimEngine::Loop {
    bool pty = false;
    bool socket = false; // written with send(), which can be told not to raise SIGPIPE
    std::vector<uint8_t> out;
    size_t outPos = 0;
    ClientParser parser;
    BehaviourRunner runner;
    FileStamp watched;
    Clock::time_point nextWatch{};
    std::optional<Clock::time_point> noClientUntil;
    std::vector<std::string> lines; // written to the log once the lock is released

    explicit Loop(const Panel& panel) : runner(panel.behaviours) {}
    size_t Pending() const { return out.size() - outPos; }
};

SimEngine::SimEngine(const Panel& panel, SimOptions options)
    : m_options(std::move(options)), m_panel(panel) {
    if (pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) m_wake[0] = m_wake[1] = -1;
}

SimEngine::~SimEngine() {
    Stop();
    for (int fd : m_wake)
        if (fd >= 0) close(fd);
}

void SimEngine::RequestStop() {
    m_stop = true;
    Wake();
}

void SimEngine::Wake() {
    if (m_wake[1] >= 0) {
        const char b = 1;
        [[maybe_unused]] ssize_t n = write(m_wake[1], &b, 1);
    }
}

void SimEngine::Stop() {
    RequestStop();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

bool SimEngine::Start(int fd) {
    if (m_thread.joinable() || m_serving) return false;
    m_thread = std::thread([this, fd] {
        if (int st = Serve(fd)) Log(std::string("serving stopped: ") + std::strerror(st));
    });
    return true;
}

std::optional<PanelControl> SimEngine::Control(uint32_t id) const {
    std::lock_guard g(m_mutex);
    const PanelControl* c = m_panel.Find(id);
    return c ? std::optional<PanelControl>(*c) : std::nullopt;
}

Panel SimEngine::PanelSnapshot() const {
    std::lock_guard g(m_mutex);
    return m_panel;
}

SimCounters SimEngine::Counters() const {
    std::lock_guard g(m_mutex);
    return m_counters;
}

bool SimEngine::ClientConnected() const {
    std::lock_guard g(m_mutex);
    return m_connected;
}

bool SimEngine::WaitForMessages(uint64_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock g(m_mutex);
    return m_handled.wait_for(g, timeout, [&] { return m_counters.messages >= count; });
}

void SimEngine::Log(const std::string& line) const {
    if (m_options.log) m_options.log(line);
}

// Called with the lock held.
void SimEngine::Send(Loop& loop, uint16_t code, std::vector<uint8_t> payload, uint16_t flags) {
    if (m_panel.ackRequests && AskAck(code)) flags |= HF_ACK_REQUEST;
    ++m_counters.sent;
    if (flags & HF_ACK_REQUEST) ++m_counters.askedAcks;
    if (m_options.verbose) loop.lines.push_back(DescribeDeviceFrame(code, flags, payload, m_panel));
    ByteVec frame = DeviceFrame(code, flags, payload);
    if (loop.Pending() + frame.size() > kQueueLimit) {
        loop.lines.push_back("the client is not reading: " + std::to_string(loop.Pending()) +
                             " queued bytes dropped");
        loop.out.clear();
        loop.outPos = 0;
    }
    loop.out.insert(loop.out.end(), frame.begin(), frame.end());
}

// Called with the lock held.
void SimEngine::Handle(Loop& loop, const ClientMessage& msg) {
    if (m_options.verbose) loop.lines.push_back(DescribeClientMessage(msg, m_panel));
    ++m_counters.messages;
    if (msg.malformed) {
        ++m_counters.malformed;
        if (!m_options.verbose)
            loop.lines.push_back("a client frame announced sizes over the limits; dropped");
        return;
    }
    if (msg.flags & HF_ACK_REQUEST) {
        ++m_counters.acksGiven;
        Send(loop, MSG_DEVICE_ACK, {});
    }
    switch (msg.code) {
    case MSG_CONNECT:
        ++m_counters.connects;
        m_connected = true;
        // The client purged its input before asking: what was still queued is stale.
        loop.out.clear();
        loop.outPos = 0;
        loop.lines.push_back("client connected");
        Send(loop, MSG_PANEL_INFO, PanelInfoPayload(m_panel), PanelInfoFlags(m_panel));
        Send(loop, MSG_PANEL_DEFINITION, PanelDefinitionPayload(m_panel));
        loop.runner.Start(m_panel, Clock::now());
        break;
    case MSG_DISCONNECT:
        ++m_counters.disconnects;
        m_connected = false;
        ForgetClient(m_panel);
        loop.runner.StopAll();
        loop.lines.push_back("client disconnected");
        break;
    case MSG_CLIENT_VALUES: {
        Reaction r = ApplyClientValues(m_panel, msg.items);
        loop.lines.insert(loop.lines.end(), r.notes.begin(), r.notes.end());
        for (uint32_t id : r.dateTimesSet) loop.runner.DateTimeSet(m_panel, id);
        if (!r.values.empty()) Send(loop, MSG_DEVICE_VALUES, ItemListPayload(r.values));
        for (uint32_t id : r.fileRequests)
            if (const PanelControl* c = m_panel.Find(id)) Send(loop, MSG_FILES, FilesPayload(*c));
        m_counters.answers.insert(m_counters.answers.end(), r.answers.begin(), r.answers.end());
        break;
    }
    case MSG_PING:
        ++m_counters.pings;
        Send(loop, MSG_PING_REPLY, {});
        break;
    case MSG_PRESENCE_REPLY:
        ++m_counters.presenceReplies;
        break;
    case MSG_ACK:
        ++m_counters.acks;
        break;
    case MSG_REQUEST:
        if (msg.argument == REQUEST_LAYOUT)
            Send(loop, MSG_LAYOUT_RECORDS, LayoutPayload(m_panel.layout));
        else
            loop.lines.push_back("request " + std::to_string(msg.argument) +
                                 " is not known; ignored");
        break;
    default:
        loop.lines.push_back("client message code " + std::to_string(msg.code) +
                             " is not known; ignored");
        break;
    }
}

void SimEngine::HoldBehaviours(bool hold) {
    m_holdBehaviours = hold;
    Wake();
}

void SimEngine::RunTimers(Loop& loop) {
    std::lock_guard g(m_mutex);
    if (!m_connected || m_holdBehaviours) return;
    for (OutMessage& m :
         loop.runner.RunDue(m_panel, Clock::now(), loop.Pending() > kCongested, loop.lines))
        Send(loop, m.code, std::move(m.payload));
}

void SimEngine::FlushLog(Loop& loop) {
    std::vector<std::string> lines;
    lines.swap(loop.lines);
    for (const std::string& line : lines) Log(line);
}

void SimEngine::CheckPanelFile(Loop& loop) {
    const auto now = Clock::now();
    if (m_options.watchPath.empty() || now < loop.nextWatch) return;
    loop.nextWatch = now + kWatchPeriod;
    const FileStamp stamp = Stamp(m_options.watchPath);
    if (stamp == loop.watched) return;
    loop.watched = stamp;
    if (!stamp.exists) return; // an editor replacing the file; wait for the new one
    PanelFileResult r = LoadPanelFile(m_options.watchPath);
    if (!r.panel) {
        Log("panel file changed but does not load, keeping the old panel: " + r.error);
        return;
    }
    std::lock_guard g(m_mutex);
    m_panel = std::move(*r.panel);
    loop.runner = BehaviourRunner(m_panel.behaviours);
    ++m_counters.panelChanges;
    loop.lines.push_back("panel file changed: new panel loaded");
    if (m_connected) Send(loop, MSG_PANEL_CHANGED, {});
}

int SimEngine::Serve(int fd) {
    if (m_serving.exchange(true)) return EBUSY;
    struct Done {
        std::atomic<bool>& flag;
        ~Done() { flag = false; }
    } done{m_serving};
    if (m_wake[0] < 0) return EMFILE;
    const int fl = fcntl(fd, F_GETFL);
    if (fl < 0 || fcntl(fd, F_SETFL, fl | O_NONBLOCK) < 0) return errno;

    std::unique_ptr<Loop> loopPtr;
    {
        std::lock_guard g(m_mutex);
        loopPtr = std::make_unique<Loop>(m_panel);
    }
    Loop& loop = *loopPtr;
    loop.pty = IsPtyMaster(fd);
    loop.socket = IsSocket(fd);
    if (!m_options.watchPath.empty()) {
        loop.watched = Stamp(m_options.watchPath);
        loop.nextWatch = Clock::now() + kWatchPeriod;
    }

    while (!m_stop) {
        RunTimers(loop);
        CheckPanelFile(loop);
        FlushLog(loop);

        auto now = Clock::now();
        if (loop.noClientUntil && now >= *loop.noClientUntil) loop.noClientUntil.reset();
        std::optional<Clock::time_point> wake;
        auto sooner = [&](Clock::time_point t) {
            if (!wake || t < *wake) wake = t;
        };
        {
            std::lock_guard g(m_mutex);
            if (m_connected && !m_holdBehaviours)
                if (auto due = loop.runner.NextDue()) sooner(*due);
        }
        if (!m_options.watchPath.empty()) sooner(loop.nextWatch);
        if (loop.noClientUntil) sooner(*loop.noClientUntil);
        int timeout = -1;
        if (wake) {
            auto ms = std::chrono::ceil<std::chrono::milliseconds>(*wake - now).count();
            timeout = int(std::clamp<int64_t>(ms, 0, 60000));
        }

        pollfd fds[2] = {{m_wake[0], POLLIN, 0}, {fd, 0, 0}};
        nfds_t n = 1;
        if (!loop.noClientUntil) {
            fds[1].events = short(POLLIN | (loop.Pending() ? POLLOUT : 0));
            n = 2;
        }
        if (poll(fds, n, timeout) < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (fds[0].revents) {
            char buf[64];
            while (read(m_wake[0], buf, sizeof buf) > 0) {
            }
            continue;
        }
        if (n < 2 || !fds[1].revents) continue;

        bool clientGone = false;
        if (fds[1].revents & POLLOUT) {
            while (loop.Pending()) {
                const uint8_t* p = loop.out.data() + loop.outPos;
                ssize_t w = loop.socket ? send(fd, p, loop.Pending(), MSG_NOSIGNAL)
                                        : write(fd, p, loop.Pending());
                if (w > 0) {
                    loop.outPos += size_t(w);
                    continue;
                }
                if (w < 0 && errno == EINTR) continue;
                if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
                if (w < 0 && ((loop.pty && errno == EIO) || (loop.socket && PeerClosed(errno)))) {
                    clientGone = true;
                    break;
                }
                if (w < 0 && PeerClosed(errno)) return 0;
                return w < 0 ? errno : EIO;
            }
            if (!loop.Pending()) {
                loop.out.clear();
                loop.outPos = 0;
            }
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            uint8_t buf[4096];
            for (;;) {
                ssize_t r = read(fd, buf, sizeof buf);
                if (r > 0) {
                    loop.parser.Feed(buf, size_t(r));
                    continue;
                }
                if (r < 0 && errno == EINTR) continue;
                if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
                // End of stream: on a pseudo-terminal only the client side closing.
                if ((loop.pty && (r == 0 || errno == EIO)) ||
                    (loop.socket && (r == 0 || PeerClosed(errno)))) {
                    clientGone = true;
                    break;
                }
                return r == 0 || PeerClosed(errno) ? 0 : errno;
            }
            while (auto msg = loop.parser.Next()) {
                {
                    std::lock_guard g(m_mutex);
                    Handle(loop, *msg);
                }
                m_handled.notify_all();
                FlushLog(loop);
            }
        }
        if (clientGone) {
            // Nobody holds the other side: poll() would report it at once, so wait a little.
            loop.noClientUntil = Clock::now() + kNoClientRetry;
            loop.parser = ClientParser();
            std::lock_guard g(m_mutex);
            loop.out.clear();
            loop.outPos = 0;
            if (m_connected) {
                m_connected = false;
                ForgetClient(m_panel);
                loop.runner.StopAll();
                loop.lines.push_back("the client closed the port");
            }
        }
        if (clientGone && loop.socket) { // a network client does not come back on its socket
            FlushLog(loop);
            return 0;
        }
        FlushLog(loop);
    }
    return 0;
}
