// The value log against a steady stream: 1,000 values a second for a few seconds, appended as
// the view appends them, then as fast as the writer takes them. Prints beside their targets the
// values dropped at 1,000 a second (none), the time one append takes on the appending thread,
// how soon after the last value everything is on disk, and the writer's own rate. Fails when a
// value was dropped at 1,000 a second.
//
//     bench_value_log [SECONDS]      (5 by default)
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "ValueLog.h"

namespace {

using Clock = std::chrono::steady_clock;

// Lines of every log file in the folder, headers left out.
long LoggedLines(const QString& folder) {
    long lines = 0;
    for (const QString& name : QDir(folder).entryList({QStringLiteral("*.csv")}, QDir::Files)) {
        QFile file(QDir(folder).filePath(name));
        if (!file.open(QIODevice::ReadOnly)) continue;
        lines += file.readAll().count("\r\n") - 1;
    }
    return lines;
}

double Micros(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int rate = 1000;
    QTemporaryDir paced, flat;
    CValueLog log;
    log.Start(paced.path(), CValueLog::kDefaultLimit);
    log.SetPanel(QStringLiteral("Bench"));

    // One value a millisecond, on time however long the last append took.
    const long count = long(seconds) * rate;
    std::vector<double> appendUs;
    appendUs.reserve(size_t(count));
    const Clock::time_point start = Clock::now();
    for (long i = 0; i < count; ++i) {
        std::this_thread::sleep_until(start + std::chrono::microseconds(i * 1000000 / rate));
        const QString value = QString::number(i);
        const Clock::time_point before = Clock::now();
        log.Append(QStringLiteral("Temperature"), value + QStringLiteral(" C"), value);
        appendUs.push_back(Micros(Clock::now() - before));
    }
    const Clock::time_point last = Clock::now();
    log.Flush();
    const double flushMs = Micros(Clock::now() - last) / 1000;
    log.Stop();
    const long dropped = count - LoggedLines(paced.path());
    std::sort(appendUs.begin(), appendUs.end());
    const double p50 = appendUs[appendUs.size() / 2];
    const double p99 = appendUs[size_t(double(appendUs.size() - 1) * 0.99)];

    // The writer's own rate: as many as the queue holds, again and again.
    CValueLog fast;
    fast.Start(flat.path(), CValueLog::kDefaultLimit);
    const long burst = 200000;
    const Clock::time_point burstStart = Clock::now();
    for (long i = 0; i < burst; ++i) {
        if (i % long(fast.QueueLimit() / 2) == 0) fast.Flush();
        fast.Append(QStringLiteral("Temperature"), QStringLiteral("21.5 C"), QStringLiteral("215"));
    }
    fast.Flush();
    const double perSecond = burst / (Micros(Clock::now() - burstStart) / 1e6);

    std::printf("value log at %d values/s for %d s: %ld dropped (target 0; queue bound %zu)\n",
                rate, seconds, dropped, log.QueueLimit());
    std::printf("value log append on the appending thread: median %.1f us, p99 %.1f us (target "
                "p99 < 20 us)\n",
                p50, p99);
    std::printf("value log on disk after the last value: %.2f ms (target < 100 ms)\n", flushMs);
    std::printf("value log writer: %.0f values/s (target >= 10000, ten times the stream)\n",
                perSecond);
    return dropped == 0 ? 0 : 1;
}
