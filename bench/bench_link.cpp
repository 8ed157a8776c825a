// Link throughput over a pseudo-terminal: device values received and reported (also over TCP on
// loopback), file data written to disk, and LinkSendChanges of 100 pending numbers. Prints each
// figure beside its target.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>
#include <unistd.h>

#include "Link.h"
#include "support/DeviceFrames.h"
#include "support/FakeServices.h"
#include "support/PtyPeer.h"
#include "support/TcpPeer.h"

namespace {

constexpr uint32_t kMessage = 0x8000;

// The view's loop without the view: restart the receiver as soon as an outcome arrives.
class RestartingNotifier : public ILinkNotifier {
public:
    void PostOutcome(void* window, uint32_t message) override {
        {
            std::lock_guard g(m_mutex);
            ++m_count;
        }
        m_cv.notify_all();
        LinkStartReceiver(window, message);
    }
    void WaitFor(long count) {
        std::unique_lock g(m_mutex);
        m_cv.wait(g, [&] { return m_count >= count; });
    }
    long Count() {
        std::lock_guard g(m_mutex);
        return m_count;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    long m_count = 0;
};

struct Session {
    // overTcp: the device is a TCP peer on loopback instead of a pseudo-terminal.
    explicit Session(bool overTcp = false) : tcp(overTcp) {
        LinkShutdown();
        LinkSetServices(LinkServices{&notifier, &alerts, &store, nullptr});
        LinkInit();
        Bytes request;
        if (tcp) {
            LinkOpenDevice(tcpPeer.Url(), &window, kMessage);
            tcpPeer.Accept();
            tcpPeer.Read(request, 20);
        } else {
            LinkOpenDevice(peer.SlavePath(), &window, kMessage);
            peer.Drain(20);
        }
        std::vector<Bytes> defs;
        defs.push_back(Definition('F', 0, 1, {}));
        for (uint32_t id = 100; id < 200; ++id) defs.push_back(Definition('N', 0, id, U32Bytes(0)));
        Bytes panel = DeviceHeader(6);
        const Bytes payload = PanelPayload(defs);
        panel.insert(panel.end(), payload.begin(), payload.end());
        Write(panel);
        notifier.WaitFor(1);
    }
    void Write(const Bytes& bytes) { tcp ? tcpPeer.Write(bytes) : peer.Write(bytes); }
    ~Session() {
        LinkClose(false);
        LinkShutdown();
        LinkSetServices(LinkServices{});
    }
    RestartingNotifier notifier;
    RecordingAlerts alerts;
    MemoryLayoutStore store;
    PtyPeer peer;
    TcpPeer tcpPeer;
    bool tcp = false;
    int window = 0;
};

double g_valuesPerSecond = 0, g_tcpValuesPerSecond = 0, g_fileMBps = 0, g_sendChangesMicros = 0;

// One-item value messages, written in batches by the device, each reported to the "view".
double DeviceValues(benchmark::State& state, bool overTcp) {
    Session s(overTcp);
    Bytes frame = DeviceHeader(9);
    Bytes items = ItemList({{100, U32Bytes(42)}});
    frame.insert(frame.end(), items.begin(), items.end());
    const long perRound = 2000;
    Bytes batch;
    for (long i = 0; i < perRound; ++i) batch.insert(batch.end(), frame.begin(), frame.end());
    long done = s.notifier.Count();
    double seconds = 0;
    long messages = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        std::thread writer([&] { s.Write(batch); });
        done += perRound;
        s.notifier.WaitFor(done);
        writer.join();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        messages += perRound;
    }
    state.counters["messages/s"] = messages / seconds;
    return messages / seconds;
}

void BM_DeviceValues(benchmark::State& state) {
    g_valuesPerSecond = DeviceValues(state, false);
}
BENCHMARK(BM_DeviceValues)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_DeviceValuesTcp(benchmark::State& state) {
    g_tcpValuesPerSecond = DeviceValues(state, true);
}
BENCHMARK(BM_DeviceValuesTcp)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_FileData(benchmark::State& state) {
    Session s;
    auto dir =
        std::filesystem::temp_directory_path() / ("talvex-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    LinkSetFilesDirectory(dir.string());
    const uint32_t size = 16 << 20;
    Bytes frame = DeviceHeader(17);
    Payload p;
    p.U32(1).U32(1).Sized(AnsiZ("bench.bin")).U32(size);
    frame.insert(frame.end(), p.bytes().begin(), p.bytes().end());
    Bytes data(size, 0x5A);
    long done = s.notifier.Count();
    double seconds = 0, bytes = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        std::thread writer([&] {
            s.peer.Write(frame);
            s.peer.Write(data);
        });
        s.notifier.WaitFor(++done);
        writer.join();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        bytes += size;
    }
    g_fileMBps = bytes / seconds / 1e6;
    state.counters["MB/s"] = g_fileMBps;
    LinkSetFilesDirectory("");
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_FileData)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_SendChanges100(benchmark::State& state) {
    Session s;
    std::atomic<bool> stop{false};
    std::thread drain([&] {
        while (!stop) s.peer.Drain(5);
    });
    double seconds = 0;
    long calls = 0;
    for (auto _ : state) {
        for (uint32_t id = 100; id < 200; ++id) {
            int32_t v = int32_t(id);
            LinkSetValue(id, &v, 4);
        }
        auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(LinkSendChanges());
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++calls;
    }
    stop = true;
    drain.join();
    g_sendChangesMicros = seconds / calls * 1e6;
    state.counters["us/call"] = g_sendChangesMicros;
}
BENCHMARK(BM_SendChanges100)->Iterations(200)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("device values received and reported: %.0f messages/s (target >= 5000)\n",
                g_valuesPerSecond);
    std::printf("device values over TCP on loopback: %.0f messages/s (target >= 10000)\n",
                g_tcpValuesPerSecond);
    std::printf("file data written to disk: %.1f MB/s (target >= 20)\n", g_fileMBps);
    std::printf("LinkSendChanges of 100 pending numbers: %.1f us per call (reported)\n",
                g_sendChangesMicros);
    return 0;
}
