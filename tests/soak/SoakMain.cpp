// talvex-soak [--minutes N] [--part stream|faults]: the long run of the client against the
// simulated device. Without --part both parts run at once, each in a process of its own (the
// link is one per process), and the soak passes when both do.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FaultSoak.h"
#include "StreamSoak.h"

extern char** environ;

namespace {

int RunPart(const std::string& part, double minutes, int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (part == "stream") return RunStreamSoak(minutes).Print();
    if (part == "faults") return RunFaultSoak(minutes).Print();
    std::fprintf(stderr, "talvex-soak: unknown part '%s' (stream, faults)\n", part.c_str());
    return 2;
}

// A part in a process of its own; what it says on standard error (a notice per vanished
// device) goes to `log`.
pid_t Spawn(const std::string& part, const std::string& minutes, const std::string& log) {
    const char* args[] = {"talvex-soak", "--minutes",  minutes.c_str(),
                          "--part",      part.c_str(), nullptr};
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawn(&pid, "/proc/self/exe", &files, nullptr, const_cast<char**>(args), environ) !=
        0)
        pid = -1;
    posix_spawn_file_actions_destroy(&files);
    return pid;
}

std::string ProgramDirectory() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string full(path, n > 0 ? size_t(n) : 0);
    const size_t cut = full.find_last_of('/');
    return cut == std::string::npos ? "." : full.substr(0, cut);
}

bool Passed(pid_t pid) {
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string minutes = "1", part;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--minutes")
            minutes = argv[i + 1];
        else if (option == "--part")
            part = argv[i + 1];
    }
    const double m = std::atof(minutes.c_str());
    if (m <= 0) {
        std::fprintf(stderr, "usage: talvex-soak [--minutes N] [--part stream|faults]\n");
        return 2;
    }
    if (!part.empty()) return RunPart(part, m, argc, argv);

    const std::string logs = ProgramDirectory() + "/soak-";
    std::printf("soak: %s minutes of streaming and of fault runs, side by side (their messages: "
                "%sstream.log, %sfaults.log)\n",
                minutes.c_str(), logs.c_str(), logs.c_str());
    std::fflush(stdout);
    const pid_t stream = Spawn("stream", minutes, logs + "stream.log");
    const pid_t faults = Spawn("faults", minutes, logs + "faults.log");
    const bool ok = Passed(stream) & Passed(faults);
    std::printf("soak: %s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
