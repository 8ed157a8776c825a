// GIF decoding speed: CGifDecoder against Qt's QImageReader on the same files, 640 x 480 and
// 64 x 64, plain and interlaced. Prints Qt's time over ours beside the target for each picture.
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "GifDecoder.h"
#include "support/GifWriter.h"

namespace {

struct Case {
    std::string name;
    QByteArray file;
    double oursSeconds = 0, qtSeconds = 0;
    long oursRuns = 0, qtRuns = 0;
};
std::vector<Case> g_cases;

// Gradients, checks and rings in 256 colours: long runs and busy parts, code widths 9 to 12.
GifBytes MakePicture(int w, int h, bool interlaced) {
    GifSpec s;
    s.width = w;
    s.height = h;
    s.interlaced = interlaced;
    for (uint32_t i = 0; i < 256; ++i) s.globalTable.push_back(i * 0x010204 & 0xFFFFFF);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            s.pixels.push_back(
                uint8_t(x * 128 / w + ((x / 32 + y / 32) & 1) * 64 + ((x * x + y * y) >> 11)));
    return EncodeGif(s);
}

QImage DecodeQt(QByteArray& file) {
    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "gif");
    return reader.read();
}

// Both decoders must agree before their times mean anything.
void CheckSame(Case& c) {
    CGifDecoder d;
    GifStatus s = d.Load(reinterpret_cast<const uint8_t*>(c.file.constData()),
                         size_t(c.file.size()), 0xFF000000);
    QImage q = DecodeQt(c.file).convertToFormat(QImage::Format_RGB32);
    bool same = s == GifStatus::Ok && q.width() == d.Width() && q.height() == d.Height();
    for (int y = 0; same && y < q.height(); ++y)
        same = std::memcmp(q.constScanLine(y), d.Pixels().data() + size_t(y) * d.Width(),
                           size_t(d.Width()) * 4) == 0;
    if (!same) {
        std::fprintf(stderr, "%s: CGifDecoder and QImageReader disagree\n", c.name.c_str());
        std::exit(1);
    }
}

void BM_Ours(benchmark::State& state, Case* c) {
    const auto* data = reinterpret_cast<const uint8_t*>(c->file.constData());
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        CGifDecoder d;
        d.Load(data, size_t(c->file.size()), 0xFF000000);
        benchmark::DoNotOptimize(d.Pixels().data());
        c->oursSeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++c->oursRuns;
    }
}

void BM_Qt(benchmark::State& state, Case* c) {
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        QImage image = DecodeQt(c->file);
        benchmark::DoNotOptimize(image.constBits());
        c->qtSeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++c->qtRuns;
    }
}

} // namespace

int main(int argc, char** argv) {
    for (auto [w, h] : {std::pair{640, 480}, {64, 64}})
        for (bool interlaced : {false, true}) {
            GifBytes file = MakePicture(w, h, interlaced);
            g_cases.push_back(
                {std::to_string(w) + "x" + std::to_string(h) +
                     (interlaced ? " interlaced" : " plain"),
                 QByteArray(reinterpret_cast<const char*>(file.data()), qsizetype(file.size()))});
        }
    for (Case& c : g_cases) {
        CheckSame(c);
        benchmark::RegisterBenchmark(("Ours " + c.name).c_str(), BM_Ours, &c)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("Qt " + c.name).c_str(), BM_Qt, &c)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const Case& c : g_cases) {
        double ours = c.oursSeconds / double(c.oursRuns), qt = c.qtSeconds / double(c.qtRuns);
        std::printf("GIF %s (%lld bytes): ours %.1f us, Qt %.1f us, Qt / ours %.2f "
                    "(target at least 1.0)\n",
                    c.name.c_str(), static_cast<long long>(c.file.size()), ours * 1e6, qt * 1e6,
                    qt / ours);
    }
    return 0;
}
