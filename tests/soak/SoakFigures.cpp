#include "SoakFigures.h"

#include <cstdio>
#include <fstream>

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        status.ignore(4096, '\n');
    }
    return 0;
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
