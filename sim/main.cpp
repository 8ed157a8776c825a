// talvex-sim: a simulated device serving a panel file on a pseudo-terminal, a serial port or a
// TCP port.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "PanelFile.h"
#include "Replay.h"
#include "SimEngine.h"
#include "SimPorts.h"
#include "TextCodec.h"

namespace {

std::atomic<SimEngine*> g_engine{nullptr};
std::atomic<Replay*> g_replay{nullptr};

void OnSignal(int) {
    if (SimEngine* e = g_engine.load()) e->RequestStop();
    if (Replay* r = g_replay.load()) r->RequestStop();
}

void Usage(FILE* to) {
    std::fputs("usage: talvex-sim PANEL.json [--pty [--link PATH] | --port PATH |\n"
               "                 --tcp [HOST:]PORT] [--verbose]\n"
               "       talvex-sim --replay FILE.pcapng [--speed N | --as-fast-as-possible]\n"
               "                 [--pty [--link PATH] | --port PATH | --tcp [HOST:]PORT]\n"
               "                 [--verbose]\n"
               "  --pty        serve a new pseudo-terminal and print its path (the default)\n"
               "  --link PATH  keep a symbolic link at PATH to the pseudo-terminal while\n"
               "               serving (made at start, removed at the end)\n"
               "  --port PATH  serve a serial device at 115200 8N1\n"
               "  --tcp [HOST:]PORT\n"
               "               serve TCP clients, one at a time, on PORT (0: a free one) of\n"
               "               HOST (127.0.0.1 unless given; 0.0.0.0 for every network)\n"
               "  --verbose    print every frame in both directions\n"
               "  --replay FILE.pcapng\n"
               "               play the device's side of a capture (talvex --capture) and\n"
               "               compare the client's answers with the recorded ones; exit\n"
               "               status 1 at the first that differs\n"
               "  --speed N    play the recorded timing N times as fast\n"
               "  --as-fast-as-possible\n"
               "               wait only for the client's answers\n"
               "The panel file is watched: saving a changed panel reloads the client.\n",
               to);
}

// [HOST:]PORT as given to --tcp; false when PORT is not a number from 0 to 65535.
bool ParseListenAddress(const std::string& text, std::string& host, uint16_t& port) {
    const size_t colon = text.rfind(':');
    host = colon == std::string::npos ? "127.0.0.1" : text.substr(0, colon);
    if (host.size() > 1 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    const std::string digits = colon == std::string::npos ? text : text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos || std::stol(digits) > 65535)
        return false;
    port = uint16_t(std::stol(digits));
    return !host.empty();
}

// Serves TCP clients until SIGINT or SIGTERM.
// The device's end of the line: a serial port, or a new pseudo-terminal (linked from `linkPath`
// when given). Closed with the object.
struct DeviceLine {
    PtyPair pty;
    PtyLink link;
    int fd = -1;
    bool serial = false;
    std::string where; // what a client opens

    bool Open(const std::string& portPath, const std::string& linkPath, std::string& error) {
        if (!portPath.empty()) {
            serial = true;
            fd = OpenSerialPort(portPath, error);
            where = portPath;
        } else if (OpenPty(pty, error)) {
            fd = pty.master;
            where = linkPath.empty() ? pty.slavePath : linkPath;
            if (!linkPath.empty() && !link.Make(linkPath, pty.slavePath, error)) fd = -1;
        }
        return fd >= 0;
    }
    ~DeviceLine() {
        link.Remove();
        if (!serial)
            ClosePty(pty);
        else if (fd >= 0)
            close(fd);
    }
};

int ServeTcp(const Panel& panel, SimOptions options, const std::string& address) {
    std::string host, error;
    uint16_t port = 0;
    if (!ParseListenAddress(address, host, port)) {
        std::fprintf(stderr,
                     "talvex-sim: --tcp %s: give a port from 0 to 65535, as PORT or "
                     "HOST:PORT\n",
                     address.c_str());
        return 2;
    }
    // The signals are taken here, by sigwait, not by the serving threads.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    auto server = SimTcpServer::Start(panel, std::move(options), host, port, error);
    if (!server) {
        std::fprintf(stderr, "talvex-sim: %s\n", error.c_str());
        return 1;
    }
    const std::string where = (host.find(':') != std::string::npos ? "[" + host + "]" : host) +
                              ":" + std::to_string(server->Port());
    std::printf("talvex-sim: serving \"%s\" (%zu controls) on tcp://%s\n",
                Utf16ToUtf8(panel.title).c_str(), panel.controls.size(), where.c_str());
    std::printf("Connect with: talvex --port tcp://%s --connect\nStop with Ctrl+C.\n",
                where.c_str());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stopSignals, &signal);
    return 0;
}

// --replay: one client on the chosen transport, then the result.
int ServeReplay(const std::string& capturePath, const ReplayOptions& options, int fd,
                const std::string& where, int listening) {
    Replay replay;
    std::string error;
    if (!replay.Load(ReadPcapngFile(capturePath), error)) {
        std::fprintf(stderr, "talvex-sim: %s\n", error.c_str());
        return 2;
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    g_replay = &replay;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::printf("talvex-sim: replaying %s on %s\nConnect with: talvex --port %s --connect\n",
                capturePath.c_str(), where.c_str(), where.c_str());
    std::fflush(stdout);
    if (listening >= 0) {
        fd = -1;
        while (fd < 0) {
            fd = accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0 && errno != EINTR) break;
            if (fd < 0 && g_replay.load() && errno == EINTR) {
                g_replay = nullptr;
                return 1;
            }
        }
        if (fd < 0) {
            std::fprintf(stderr, "talvex-sim: %s: %s\n", where.c_str(), std::strerror(errno));
            return 2;
        }
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    const ReplayResult result = replay.Play(fd, options);
    g_replay = nullptr;
    if (listening >= 0) close(fd);
    std::printf("%s\n", result.report.c_str());
    std::fflush(stdout);
    return result.same ? 0 : 1;
}

void PrintLine(const std::string& line) {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    const int ms = int(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::printf("%02d:%02d:%02d.%03d %s\n", local.tm_hour, local.tm_min, local.tm_sec, ms,
                line.c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    std::string panelPath, portPath, linkPath, tcpAddress, replayPath;
    bool verbose = false, pty = false, speedGiven = false;
    ReplayOptions replayOptions;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--replay" && i + 1 < argc) {
            replayPath = argv[++i];
        } else if (a == "--speed" && i + 1 < argc && !speedGiven) {
            char* end = nullptr;
            replayOptions.speed = std::strtod(argv[++i], &end);
            speedGiven = true;
            if (*end || !(replayOptions.speed > 0) || replayOptions.speed > 1e6) {
                std::fprintf(stderr, "talvex-sim: --speed %s: give a number above 0\n", argv[i]);
                return 2;
            }
        } else if (a == "--as-fast-as-possible" && !speedGiven) {
            replayOptions.speed = 0;
            speedGiven = true;
        } else if (a == "--verbose") {
            verbose = true;
        } else if (a == "--pty") {
            pty = true;
        } else if (a == "--port" && i + 1 < argc) {
            portPath = argv[++i];
        } else if (a == "--tcp" && i + 1 < argc) {
            tcpAddress = argv[++i];
        } else if (a == "--link" && i + 1 < argc && argv[i + 1][0] != '\0') {
            linkPath = argv[++i];
        } else if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else if (!a.empty() && a[0] != '-' && panelPath.empty()) {
            panelPath = a;
        } else {
            Usage(stderr);
            return 2;
        }
    }
    if (panelPath.empty() == replayPath.empty() || (speedGiven && replayPath.empty()) ||
        (!portPath.empty() && (pty || !linkPath.empty())) ||
        (!tcpAddress.empty() && (pty || !linkPath.empty() || !portPath.empty()))) {
        Usage(stderr);
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    if (!replayPath.empty()) {
        if (verbose) replayOptions.log = PrintLine;
        std::string error;
        if (!tcpAddress.empty()) {
            std::string host;
            uint16_t port = 0, bound = 0;
            const int listening = ParseListenAddress(tcpAddress, host, port)
                                      ? ListenTcp(host, port, bound, error)
                                      : (error = "--tcp " + tcpAddress + ": give a port", -1);
            if (listening < 0) {
                std::fprintf(stderr, "talvex-sim: %s\n", error.c_str());
                return 2;
            }
            const std::string where =
                "tcp://" + (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
                std::to_string(bound);
            const int status = ServeReplay(replayPath, replayOptions, -1, where, listening);
            close(listening);
            return status;
        }
        DeviceLine line;
        if (!line.Open(portPath, linkPath, error)) {
            std::fprintf(stderr, "talvex-sim: %s\n", error.c_str());
            return 2;
        }
        return ServeReplay(replayPath, replayOptions, line.fd, line.where, -1);
    }

    PanelFileResult loaded = LoadPanelFile(panelPath);
    if (!loaded.panel) {
        std::fprintf(stderr, "talvex-sim: %s\n", loaded.error.c_str());
        return 1;
    }
    const Panel& panel = *loaded.panel;
    SimOptions options;
    options.verbose = verbose;
    options.log = PrintLine;
    options.watchPath = panelPath;
    if (!tcpAddress.empty()) return ServeTcp(panel, options, tcpAddress);

    std::string error;
    DeviceLine line;
    if (!line.Open(portPath, linkPath, error)) {
        std::fprintf(stderr, "talvex-sim: %s\n", error.c_str());
        return 1;
    }

    SimEngine engine(panel, options);

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    g_engine = &engine;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    const std::string where = portPath.empty() ? line.pty.slavePath : portPath;
    std::printf("talvex-sim: serving \"%s\" (%zu controls) on %s", Utf16ToUtf8(panel.title).c_str(),
                panel.controls.size(), where.c_str());
    if (!linkPath.empty()) std::printf(" (linked from %s)", linkPath.c_str());
    std::printf("\n");
    if (portPath.empty())
        std::printf("Connect with: talvex --port %s --connect\n",
                    (linkPath.empty() ? where : linkPath).c_str());
    std::printf("Stop with Ctrl+C.\n");
    std::fflush(stdout);

    const int status = engine.Serve(line.fd);
    g_engine = nullptr;
    if (status != 0) {
        std::fprintf(stderr, "talvex-sim: %s: %s\n", where.c_str(), std::strerror(status));
        return 1;
    }
    return 0;
}
