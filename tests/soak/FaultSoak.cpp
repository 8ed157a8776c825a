#include "FaultSoak.h"

#include <chrono>

#include "DemoPanel.h"
#include "FaultClient.h"
#include "FaultScenarios.h"

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr size_t kOffsetsPerBatch = 50;
constexpr size_t kFileBytes = 3000;

// The small panel with a file of some size.
Panel BigFilePanel() {
    Panel p = SmallPanel();
    if (PanelControl* file = p.Find(kFileId)) {
        file->data.resize(kFileBytes);
        for (size_t i = 0; i < kFileBytes; ++i) file->data[i] = uint8_t('a' + i % 26);
    }
    return p;
}

} // namespace

SoakReport RunFaultSoak(double minutes) {
    SoakReport report;
    report.part = "faults";
    FaultClient client;
    MemoryTrend trend(report.part);
    const auto start = Clock::now();
    const auto end = start + Seconds(minutes * 60);
    const auto over = [&] { return Clock::now() >= end; };
    // Each batch is followed by as long a rest, which halves the load on a shared machine.
    const auto rest = [&](Clock::time_point since) {
        const auto until = Clock::now() + (Clock::now() - since);
        client.WaitFor([&] { return Clock::now() >= until || over(); }, 60000);
    };
    const long rssStart = ResidentKb();
    UseShortStallTimeout();
    const Panel demo = LoadDemoPanel().panel.value_or(SmallPanel());
    const Panel files = BigFilePanel();
    FaultTally all;
    uint64_t rounds = 0, pattern = 1;

    while (!over()) {
        ++rounds;
        {
            const auto t = Clock::now();
            all.Add(NoisyStretch(client, StreamingPanel(),
                                 {.bytes = 512 * 1024, .pattern = pattern++}));
            rest(t);
        }
        const std::vector<size_t> panelOffsets = Offsets(PanelFrameBytes(demo));
        const std::vector<size_t> fileOffsets = Offsets(FileFrameBytes(files, kFileId));
        for (size_t at = 0; at < panelOffsets.size() && !over(); at += kOffsetsPerBatch) {
            const auto t = Clock::now();
            const auto first = panelOffsets.begin() + long(at);
            all.Add(VanishDuringPanel(
                client, demo,
                {first, first + long(std::min(kOffsetsPerBatch, panelOffsets.size() - at))}, over));
            rest(t);
        }
        for (size_t at = 0; at < fileOffsets.size() && !over(); at += kOffsetsPerBatch) {
            const auto t = Clock::now();
            const auto first = fileOffsets.begin() + long(at);
            all.Add(VanishDuringFile(
                client, files, kFileId,
                {first, first + long(std::min(kOffsetsPerBatch, fileOffsets.size() - at))}, over));
            rest(t);
        }
    }
    report.failures = all.failures;
    report.Figure("seconds", std::to_string(int(Seconds(Clock::now() - start).count())));
    report.Figure("rounds", rounds);
    report.Figure("runs", all.runs);
    report.Figure("faults injected", all.faults);
    report.Figure("recoveries", all.recoveries);
    report.Figure("goodbyes read from noise", all.goodbyes);
    report.Figure("stalled messages given up", all.stalls);
    report.Figure("demo panel frame bytes", PanelFrameBytes(demo));
    report.Figure("file frame bytes", FileFrameBytes(files, kFileId));
    report.Figure("rss at start (kB)", uint64_t(rssStart));
    report.Figure("rss at end (kB)", uint64_t(ResidentKb()));
    return report;
}
