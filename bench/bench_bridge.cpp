// talvex-bridge between a device played on a pseudo-terminal and a mosquitto broker started here:
// one Number pushed by the device at 1,000 value messages a second for 5 s, each value timed from
// the device's write to its state reaching a subscriber (a value overtaken by a later one before
// it was published is not counted: per topic only the latest waits). Then the broker is stopped
// for 30 s while the device goes on at the same rate: the bridge's resident memory is sampled
// every second and must stay flat; once the broker is back the latest value must be there.
// Prints each figure beside its target.
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Frame.h"
#include "support/DeviceFrames.h"
#include "support/MqttBroker.h"
#include "support/PtyPeer.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr uint32_t kId = 1;
constexpr int kRate = 1000;
constexpr const char* kState = "bench/control_1/state";

Bytes ValueMessage(uint32_t value) {
    return DeviceValues({{kId, U32Bytes(value)}});
}

long ResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// Values first..first+count-1 at kRate a second; `sent[v]` is when value v was written.
void Stream(PtyPeer& peer, uint32_t first, uint32_t count,
            std::vector<std::atomic<int64_t>>& sent) {
    const auto start = Clock::now();
    for (uint32_t i = 0; i < count; ++i) {
        std::this_thread::sleep_until(start + std::chrono::microseconds(1000000 / kRate) * i);
        const uint32_t v = first + i;
        peer.Write(ValueMessage(v));
        if (v < sent.size()) sent[v] = Clock::now().time_since_epoch().count();
    }
}

} // namespace

int main() {
    if (!fs::exists(kMosquittoProgram)) {
        std::printf("bench_bridge: %s is not installed; skipped\n", kMosquittoProgram);
        return 0;
    }
    const fs::path dir =
        fs::temp_directory_path() / ("talvex-bench-bridge-" + std::to_string(getpid()));
    fs::create_directories(dir);
    MosquittoBroker broker(dir, "allow_anonymous true\n");
    if (!broker.Start()) {
        std::fprintf(stderr, "bench_bridge: the broker did not start\n");
        return 1;
    }
    PtyPeer peer;
    pid_t bridge = SpawnProgram({TALVEX_BRIDGE, "--port", peer.SlavePath(), "--mqtt", broker.Url(),
                                 "--prefix", "bench", "--no-discovery"});
    if (!peer.AwaitFrame(MSG_CONNECT)) {
        std::fprintf(stderr, "bench_bridge: the bridge did not connect\n");
        return 1;
    }
    peer.WriteFrame(MSG_PANEL_INFO, HF_NO_PINGS, Payload().Sized(AnsiZ("Bench")).Sized({}));
    peer.WriteFrame(
        MSG_PANEL_DEFINITION, 0,
        PanelPayload({Definition('N', 0, kId, U32Bytes(0), {{'x', U32Bytes(1u << 30)}})}));

    const uint32_t n = 5 * kRate;
    std::vector<std::atomic<int64_t>> sent(n + 1);
    std::vector<double> latencies;
    std::mutex latencyMutex;
    latencies.reserve(n);
    MqttWatcher watcher(broker.Port(), {kState}, {}, {},
                        [&](const std::string&, const std::string& payload) {
                            const auto now = Clock::now().time_since_epoch().count();
                            const long v = std::atol(payload.c_str());
                            if (v <= 0 || size_t(v) >= sent.size() || !sent[size_t(v)]) return;
                            std::lock_guard g(latencyMutex);
                            latencies.push_back(double(now - sent[size_t(v)]) / 1e6);
                        });
    if (!watcher.WaitFor(kState, "0", std::chrono::milliseconds(10000))) {
        std::fprintf(stderr, "bench_bridge: no state from the bridge\n");
        return 1;
    }

    Stream(peer, 1, n, sent);
    watcher.WaitFor(kState, std::to_string(n));
    double p99 = 0;
    size_t seen = 0;
    {
        std::lock_guard g(latencyMutex);
        std::sort(latencies.begin(), latencies.end());
        seen = latencies.size();
        if (seen) p99 = latencies[std::min(seen - 1, size_t(double(seen) * 0.99))];
    }

    // The broker away: the device goes on, the bridge's memory must not follow it.
    broker.Stop();
    std::vector<std::atomic<int64_t>> none(0);
    std::vector<long> rss;
    const int seconds = 30;
    for (int s = 0; s < seconds; ++s) {
        Stream(peer, n + 1 + uint32_t(s * kRate), kRate, none);
        rss.push_back(ResidentKiB(bridge));
    }
    const uint32_t last = n + uint32_t(seconds * kRate);
    broker.Start();
    MqttWatcher after(broker.Port(), {kState});
    const bool latestThere =
        after.WaitFor(kState, std::to_string(last), std::chrono::milliseconds(15000));
    EndProgram(bridge, SIGTERM);
    std::error_code ignored;
    fs::remove_all(dir, ignored);

    const long grown = rss.back() - rss[1];
    std::printf("device to subscriber at %d value messages/s: p99 %.2f ms (target < 50; %zu of %u "
                "values seen, the rest overtaken)\n",
                kRate, p99, seen, n);
    std::printf("broker stopped %d s at %d value messages/s: bridge resident memory %ld KiB to %ld "
                "KiB, %+ld KiB after the first second (target: flat, within 512 KiB)\n",
                seconds, kRate, rss.front(), rss.back(), grown);
    std::printf("broker back: latest value %s\n", latestThere ? "published" : "MISSING");
    return p99 < 50 && grown < 512 && latestThere ? 0 : 1;
}
