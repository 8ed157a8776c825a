// Fault runs of the real client against a device on a faulty line, each ending with the checks
// that matter to a user: the client is still there and answers again once the line is clean (or,
// after the device vanished, it is disconnected and said so once), it has written nothing outside
// its files directory and has left no half-written file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "FaultPanels.h"

class FaultClient;

struct FaultTally {
    uint64_t runs = 0;       // vanishes and noisy stretches
    uint64_t faults = 0;     // bytes corrupted or dropped, and vanishes
    uint64_t recoveries = 0; // the client answered again, or ended the connection cleanly
    uint64_t goodbyes = 0;   // garbled headers the client read as the device closing
    uint64_t stalls = 0;     // messages the link gave up when the device went quiet
    std::vector<std::string> failures;
    void Add(const FaultTally& other);
};

// A short stall limit for the link (a message that makes no progress is given up), so that
// recovery from a garbled length is quick enough to be checked.
void UseShortStallTimeout();

// Runs are cut short when `stop` says so (the soak's deadline).
using StopWhen = std::function<bool()>;

// The device vanishes at each offset of its panel definition frame.
FaultTally VanishDuringPanel(FaultClient& client, const Panel& panel,
                             const std::vector<size_t>& offsets, const StopWhen& stop = {});
// The device vanishes at each offset of the file message answering a file request.
FaultTally VanishDuringFile(FaultClient& client, const Panel& panel, uint32_t fileId,
                            const std::vector<size_t>& offsets, const StopWhen& stop = {});

struct Noise {
    double corrupt = 0.02;
    double drop = 0.01;
    uint64_t bytes = 64 * 1024; // device bytes carried while the faults last
    uint64_t pattern = 1;       // which garbled and lost bytes: the same number, the same faults
};
// A stretch of streaming (values, matrix rows and requested files) through the noise, then a
// clean line: a presence query must be answered within a second.
FaultTally NoisyStretch(FaultClient& client, const Panel& panel, const Noise& noise);
