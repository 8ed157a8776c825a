// Matrix display at full size: repainting the full chart of 65,535 rows x 6 series in the matrix
// dialog, opening the dialog on 65,535 rows in table view, and exporting 65,535 x 6 as CSV.
// Prints each figure beside its target.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "MatrixCsv.h"
#include "MatrixDlg.h"
#include "MatrixFixture.h"

namespace {

constexpr int kRows = 65535;
constexpr int kSeries = 6;

double g_repaintMs = 0, g_openMs = 0, g_csvMs = 0;

// Six noisy waves in 16-bit cells (65,535 x 6 x 4 bytes would not fit a device's buffer).
MatrixSpec BigMatrix(int style) {
    MatrixSpec s;
    s.flags = 0x100000 | (1u << 16); // 16-bit cells, 32-bit numeric row labels
    s.style = style;
    s.cellFormat = QStringLiteral("%% V");
    s.cellExponent = -2;
    s.heading = QStringLiteral("Sample");
    std::mt19937 random(42);
    std::normal_distribution<double> noise(0, 300);
    for (int c = 0; c < kSeries; ++c) {
        s.names.push_back(u"Channel " + std::u16string(1, char16_t(u'A' + c)));
        std::vector<int32_t> cells(kRows);
        for (int r = 0; r < kRows; ++r)
            cells[size_t(r)] =
                int32_t(std::lround(8000 * std::sin(r * 0.001 * (c + 1)) + noise(random)));
        s.columns.push_back(std::move(cells));
    }
    for (int r = 0; r < kRows; ++r) s.numberLabels.push_back(r);
    return s;
}

double Milliseconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Shown, exposed and painted once, as the user first sees it.
void ShowAndPaint(QWidget& window) {
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) std::fprintf(stderr, "window not exposed\n");
    window.repaint();
}

void BM_FullChartRepaint(benchmark::State& state) {
    auto ctrl = MakeMatrix(BigMatrix(0));
    CMatrixDlg dialog(*ctrl);
    ShowAndPaint(dialog);
    double total = 0;
    long count = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        dialog.repaint();
        total += Milliseconds(std::chrono::steady_clock::now() - start);
        ++count;
    }
    g_repaintMs = total / count;
    state.counters["ms"] = g_repaintMs;
    state.SetLabel(QStringLiteral("%1x%2").arg(dialog.width()).arg(dialog.height()).toStdString());
}
BENCHMARK(BM_FullChartRepaint)->Iterations(100)->Unit(benchmark::kMillisecond);

void BM_OpenTableView(benchmark::State& state) {
    auto ctrl = MakeMatrix(BigMatrix(3));
    double total = 0;
    long count = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        {
            CMatrixDlg dialog(*ctrl);
            ShowAndPaint(dialog);
            total += Milliseconds(std::chrono::steady_clock::now() - start);
        }
        ++count;
    }
    g_openMs = total / count;
    state.counters["ms"] = g_openMs;
}
BENCHMARK(BM_OpenTableView)->Iterations(10)->Unit(benchmark::kMillisecond);

void BM_CsvExport(benchmark::State& state) {
    auto ctrl = MakeMatrix(BigMatrix(3));
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("export.CSV"));
    double total = 0;
    long count = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(WriteWholeFile(path, MatrixCsv(*ctrl, QLatin1Char(','))));
        total += Milliseconds(std::chrono::steady_clock::now() - start);
        ++count;
    }
    g_csvMs = total / count;
    state.counters["ms"] = g_csvMs;
}
BENCHMARK(BM_CsvExport)->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("full chart repaint, 65535 rows x 6 series: %.1f ms (target <= 16)\n", g_repaintMs);
    std::printf("matrix dialog opened in table view on 65535 rows: %.1f ms (target <= 100)\n",
                g_openMs);
    std::printf("CSV export of 65535 x 6: %.1f ms (target <= 300)\n", g_csvMs);
    return 0;
}
