// What a soak part reports: the process's memory, its trend, and a line-per-figure printout.
#pragma once

#include <QTimer>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// The process's resident set in kB (VmRSS), 0 when unknown.
long ResidentKb();
// One line on memory: resident (anonymous and file-backed parts) and the heap in use, in kB.
std::string MemoryLine();

// A memory line a minute on standard error (the part's log), to show the trend of a long run.
class MemoryTrend {
public:
    explicit MemoryTrend(std::string part);

private:
    QTimer m_timer;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

struct SoakReport {
    std::string part;
    std::vector<std::pair<std::string, std::string>> figures;
    std::vector<std::string> failures;
    void Figure(const std::string& name, const std::string& value);
    void Figure(const std::string& name, uint64_t value);
    // Prints the figures and at most a few failures; returns the exit status (0: pass).
    int Print() const;
};
