// What a soak part reports: resident memory of the process and a line-per-figure printout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The process's resident set in kB (VmRSS), 0 when unknown.
long ResidentKb();

struct SoakReport {
    std::string part;
    std::vector<std::pair<std::string, std::string>> figures;
    std::vector<std::string> failures;
    void Figure(const std::string& name, const std::string& value);
    void Figure(const std::string& name, uint64_t value);
    // Prints the figures and at most a few failures; returns the exit status (0: pass).
    int Print() const;
};
