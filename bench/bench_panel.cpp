// Panels through the real view, offscreen: a definition of 1,000 and of 4,000 controls of every
// kind but the Message box, from its last byte written to the pty until the panel is shown
// (laid out and painted); a page turn on the 4,000; the largest panel a device may send (65,535
// controls) with a presence query right behind it, the time until the reply and the resident
// memory once it is shown; and a storm of device values, counting paints per screen frame and
// paints of widgets that do not belong to the changed control. Prints each figure beside its
// target.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <thread>

#include "Frame.h"
#include "FramePacer.h"
#include "Link.h"
#include "LinkBridge.h"
#include "MainFrame.h"
#include "SettingsLayoutStore.h"
#include "Talvex22View.h"
#include "support/DeviceFrames.h"
#include "support/PtyPeer.h"

namespace {

Bytes Name(uint32_t id) {
    return AnsiZ("Control " + std::to_string(id));
}

// One control of each kind but the Message box, by index 0..12.
Bytes MixedDefinition(int kind, uint32_t id) {
    const Attr name{'Z', Name(id)};
    switch (kind) {
    case 0:
        return Definition('T', 0x10000, id, AnsiZ("text"), {name, {'m', U32Bytes(32)}});
    case 1:
        return Definition('B', 0, id, {0}, {name});
    case 2:
        return Definition('G', 0, id, {0}, {name});
    case 3:
        return Definition('S', 0, id, {0}, {name});
    case 4:
        return Definition('D', 0x10000 | 0xE0000 | 0xE00000, id,
                          Payload().U8(0).U8(30).U8(12).U8(8).U8(2).U8(12).U16(2026).bytes(),
                          {name, {'f', AnsiZ("%dd%.%MM%.%yyyy% %HH%:%mm%")}});
    case 5:
        return Definition('N', 0x10000, id, U32Bytes(50),
                          {name, {'n', U32Bytes(0)}, {'x', U32Bytes(5000)}});
    case 6: {
        Bytes value(10 * 2 * 2, 0); // 10 rows of 2 16-bit cells
        Bytes rows = U32Bytes(3);
        value.insert(value.end(), rows.begin(), rows.end());
        return Definition('M', 0x100000, id, value,
                          {name, {'n', U32Bytes(10)}, {'N', U32Bytes(2)}});
    }
    case 7:
        return Definition('P', 0, id, {0}, {name});
    case 8:
        return Definition('L', 0, id, U32Bytes(1),
                          {name, {'n', U32Bytes(3)}, {'I', Bytes{'a', 0, 'b', 0, 'c', 0}}});
    case 9:
        return Definition('O', 0, id, {}, {name, {'m', U32Bytes(64)}});
    case 10:
        return Definition('F', 0, id, {}, {name});
    case 11:
        return Definition('I', 0, id, {}, {name});
    default:
        return Definition('W', 0, id, {}, {name});
    }
}

std::vector<Bytes> MixedPanel(int count, uint32_t firstId) {
    std::vector<Bytes> defs;
    for (int i = 0; i < count; ++i) defs.push_back(MixedDefinition(i % 13, firstId + uint32_t(i)));
    return defs;
}

// A connected view in a shown frame, with its settings in a temporary folder.
struct Client {
    Client() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
        alerts.SetUnattended(true);
        LinkSetServices(LinkServices{&notifier, &alerts, &store, nullptr});
        LinkInit();
        frame = std::make_unique<CMainFrame>();
        view = new CTalvex22View(frame.get(), &alerts, QStringLiteral("bench"));
        frame->setCentralWidget(view);
        view->SetPortPath(QString::fromStdString(peer.SlavePath()));
        view->OnInitialUpdate();
        frame->show();
        pacer = frame->findChild<CFramePacer*>();
        view->OnCommand(ID_CONNECT);
        peer.Drain(50);
        const std::string title = "Bench";
        peer.WriteFrame(MSG_PANEL_INFO, 0,
                        Payload().Sized(Bytes(title.begin(), title.end())).Sized({}));
        Until([&] { return frame->windowTitle() == QStringLiteral("Bench"); });
    }
    ~Client() {
        view->OnDestroyView();
        LinkShutdown();
        frame.reset();
        LinkSetServices(LinkServices{});
    }

    // Runs the event loop until `done`, sleeping between events as the program does (a busy loop
    // would take the processor from the link's thread).
    template <class F> static void Until(F done, int limitMs = 30000) {
        QElapsedTimer limit;
        limit.start();
        QTimer tick;
        tick.start(50);
        while (!done() && limit.elapsed() < limitMs)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

    // Milliseconds from the definition's last byte to the panel painted.
    double Build(const std::vector<Bytes>& definitions) {
        bool laidOut = false;
        long paints = 0; // before the panel's first paint
        auto connection = QObject::connect(view, &CTalvex22View::PanelLaidOut, [&] {
            laidOut = true;
            paints = pacer->Paints();
        });
        const Bytes payload = PanelPayload(definitions);
        // The link reads the frame on its own thread while this one waits for the write.
        peer.WriteFrame(MSG_PANEL_DEFINITION, 0, payload);
        const auto start = std::chrono::steady_clock::now();
        Until([&] { return laidOut && pacer->Paints() > paints; });
        const auto end = std::chrono::steady_clock::now();
        QObject::disconnect(connection);
        peer.Drain(0); // the layout request
        return std::chrono::duration<double, std::milli>(end - start).count();
    }

    // Back to a one-control panel, the old widgets gone.
    void Clear() {
        Build({MixedDefinition(1, 1)});
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QTemporaryDir settingsDir;
    QtLinkNotifier notifier;
    QtLinkAlerts alerts;
    SettingsLayoutStore store;
    PtyPeer peer;
    std::unique_ptr<CMainFrame> frame;
    CTalvex22View* view = nullptr;
    CFramePacer* pacer = nullptr;
};

Client* g_client = nullptr;
struct Figure {
    double mean = 0, slowest = 0;
};
Figure g_build1000, g_build4000, g_pageTurn;
double g_largestShown = 0, g_largestAnswered = 0, g_largestMiB = 0;
double g_paintsPerFrame = 0;
long g_foreignPaints = -1;

void BuildPanel(benchmark::State& state, Figure& result) {
    const int count = int(state.range(0));
    double total = 0;
    int runs = 0;
    result = Figure{};
    for (auto _ : state) {
        g_client->Clear();
        const double ms = g_client->Build(MixedPanel(count, 100));
        state.SetIterationTime(ms / 1000);
        total += ms;
        ++runs;
        result.slowest = std::max(result.slowest, ms);
    }
    result.mean = runs ? total / runs : 0;
    state.counters["slowest ms"] = result.slowest;
}

void BM_Panel1000(benchmark::State& state) {
    BuildPanel(state, g_build1000);
}
BENCHMARK(BM_Panel1000)->Arg(1000)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_Panel4000(benchmark::State& state) {
    BuildPanel(state, g_build4000);
}
BENCHMARK(BM_Panel4000)->Arg(4000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// Milliseconds from the command until the page is painted.
double TurnPage(int command) {
    const long paints = g_client->pacer->Paints();
    QElapsedTimer elapsed;
    elapsed.start();
    g_client->view->OnCommand(command);
    Client::Until([&] { return g_client->pacer->Paints() > paints; });
    return double(elapsed.nsecsElapsed()) / 1e6;
}

// Forth to the second page and back, on the 4,000 controls the last benchmark left.
void BM_PageTurn4000(benchmark::State& state) {
    g_pageTurn = Figure{};
    double total = 0;
    int runs = 0;
    for (auto _ : state) {
        for (int command : {ID_NEXT_PAGE, ID_PREVIOUS_PAGE}) {
            const double ms = TurnPage(command);
            total += ms;
            ++runs;
            g_pageTurn.slowest = std::max(g_pageTurn.slowest, ms);
        }
        state.SetIterationTime(total / runs / 1000);
    }
    g_pageTurn.mean = runs ? total / runs : 0;
}
BENCHMARK(BM_PageTurn4000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

double ResidentMiB() {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmRSS: %ld kB", &kb) == 1) break;
    std::fclose(f);
    return double(kb) / 1024;
}

// The protocol's largest panel, a presence query right behind it: the link must answer it
// within the time the panel takes to show.
void BM_Panel65535(benchmark::State& state) {
    for (auto _ : state) {
        g_client->Clear();
        const Bytes payload = PanelPayload(MixedPanel(65535, 100));
        bool laidOut = false;
        auto connection =
            QObject::connect(g_client->view, &CTalvex22View::PanelLaidOut, [&] { laidOut = true; });
        using Clock = std::chrono::steady_clock;
        std::atomic<Clock::time_point> lastByte{Clock::time_point{}};
        std::atomic<double> answered{0};
        auto since = [&] {
            return std::chrono::duration<double, std::milli>(Clock::now() - lastByte.load())
                .count();
        };
        std::thread device([&] {
            g_client->peer.WriteFrame(MSG_PANEL_DEFINITION, 0, payload);
            lastByte = Clock::now();
            g_client->peer.WriteFrame(MSG_PRESENCE_QUERY);
            if (g_client->peer.AwaitFrame(MSG_PRESENCE_REPLY, 60000)) answered = since();
        });
        const long paints = g_client->pacer->Paints();
        Client::Until([&] { return laidOut && g_client->pacer->Paints() > paints; }, 120000);
        g_largestShown = since();
        device.join();
        QObject::disconnect(connection);
        g_largestAnswered = answered;
        g_largestMiB = ResidentMiB();
        state.SetIterationTime(g_largestShown / 1000);
        state.counters["resident MiB"] = g_largestMiB;
    }
    g_client->Clear();
}
BENCHMARK(BM_Panel65535)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// Counts paint events per widget.
class PaintCounter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted.insert(watched);
        return false;
    }
    std::set<QObject*> painted;
};

// A Number on the first page takes 2,000 values as fast as the link delivers them.
void BM_ValueStorm(benchmark::State& state) {
    g_client->Clear();
    g_client->Build(MixedPanel(40, 100));
    const uint32_t number = 105; // kind 5: the editable Number, shown as "Number with OK"
    const CCtrl* target = nullptr;
    for (const auto& c : g_client->view->Controls())
        if (c->m_nId == number) target = c.get();
    const int values = 2000;
    for (auto _ : state) {
        PaintCounter counter;
        qApp->installEventFilter(&counter);
        Bytes batch;
        for (int i = 0; i < values; ++i) {
            const Bytes frame = DeviceValues({{number, U32Bytes(uint32_t(i))}});
            batch.insert(batch.end(), frame.begin(), frame.end());
        }
        const long paintsBefore = g_client->pacer->Paints();
        QElapsedTimer elapsed;
        elapsed.start();
        // The view handles one message at a time: the batch goes in while it works.
        std::thread writer([&] { g_client->peer.Write(batch); });
        Client::Until([&] { return target && target->m_nValue == values - 1; });
        writer.join();
        Client::Until([&] { return !counter.painted.empty() && elapsed.elapsed() > 50; });
        const double frames = std::max(1.0, double(elapsed.elapsed()) / g_client->pacer->FrameMs());
        g_paintsPerFrame = double(g_client->pacer->Paints() - paintsBefore) / frames;
        qApp->removeEventFilter(&counter);
        long foreign = 0;
        QWidget* panel = g_client->view->Panel();
        for (QObject* o : counter.painted) {
            // The control widget the painted widget is (or is part of).
            auto* w = qobject_cast<QWidget*>(o);
            while (w && w->parentWidget() && w->parentWidget() != panel) w = w->parentWidget();
            if (w && w->parentWidget() == panel && !CCtrlWidgets::OwnsWindow(*target, w)) ++foreign;
        }
        g_foreignPaints = foreign;
        state.counters["paints/frame"] = g_paintsPerFrame;
    }
}
BENCHMARK(BM_ValueStorm)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    {
        Client client;
        g_client = &client;
        benchmark::RunSpecifiedBenchmarks();
        g_client = nullptr;
    }
    benchmark::Shutdown();
    std::printf("panel of 1000 controls, last byte to shown: %.0f ms, slowest %.0f ms "
                "(target <= 40)\n",
                g_build1000.mean, g_build1000.slowest);
    std::printf("panel of 4000 controls, last byte to shown: %.0f ms, slowest %.0f ms "
                "(target <= 100)\n",
                g_build4000.mean, g_build4000.slowest);
    std::printf("page turn on 4000 controls: %.0f ms, slowest %.0f ms (target <= 50)\n",
                g_pageTurn.mean, g_pageTurn.slowest);
    std::printf("panel of 65535 controls, last byte to shown: %.0f ms (target <= 1500); presence "
                "query behind it answered after %.0f ms (target <= 1500); resident memory %.0f MiB "
                "(target <= 250)\n",
                g_largestShown, g_largestAnswered, g_largestMiB);
    std::printf("2000 pushed values: %.2f paints per screen frame (target <= 1)\n",
                g_paintsPerFrame);
    std::printf("2000 pushed values: %ld paints of other controls' widgets (target 0)\n",
                g_foreignPaints);
    return 0;
}
