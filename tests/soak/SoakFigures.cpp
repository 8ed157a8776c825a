#include "SoakFigures.h"

#include <cstdio>
#include <fstream>
#include <malloc.h>

namespace {

long StatusKb(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == field) {
            long kb = 0;
            status >> kb;
            return kb;
        }
        status.ignore(4096, '\n');
    }
    return 0;
}

} // namespace

long ResidentKb() {
    return StatusKb("VmRSS:");
}

std::string MemoryLine() {
    const struct mallinfo2 heap = mallinfo2();
    return "rss " + std::to_string(ResidentKb()) + " kB (anonymous " +
           std::to_string(StatusKb("RssAnon:")) + ", files " +
           std::to_string(StatusKb("RssFile:")) + "), heap in use " +
           std::to_string((heap.uordblks + heap.hblkhd) / 1024) + " kB";
}

MemoryTrend::MemoryTrend(std::string part) {
    constexpr int kEveryMs = 60000;
    QObject::connect(&m_timer, &QTimer::timeout, [this, part] {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::steady_clock::now() - m_start)
                                 .count();
        std::fprintf(stderr, "%s: %lld s: %s\n", part.c_str(), static_cast<long long>(seconds),
                     MemoryLine().c_str());
    });
    m_timer.start(kEveryMs);
}

void SoakReport::Figure(const std::string& name, const std::string& value) {
    figures.emplace_back(name, value);
}

void SoakReport::Figure(const std::string& name, uint64_t value) {
    Figure(name, std::to_string(value));
}

int SoakReport::Print() const {
    constexpr size_t kShown = 20;
    for (const auto& [name, value] : figures)
        std::printf("%s: %-28s %s\n", part.c_str(), name.c_str(), value.c_str());
    for (size_t i = 0; i < failures.size() && i < kShown; ++i)
        std::printf("%s: FAILED: %s\n", part.c_str(), failures[i].c_str());
    if (failures.size() > kShown)
        std::printf("%s: ... and %zu more failures\n", part.c_str(), failures.size() - kShown);
    std::printf("%s: %s\n", part.c_str(), failures.empty() ? "PASS" : "FAIL");
    std::fflush(stdout);
    return failures.empty() ? 0 : 1;
}
