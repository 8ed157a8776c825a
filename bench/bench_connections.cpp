// Connections through the real program: the panel view, offscreen, connects to a device on a
// fresh pseudo-terminal, which sends a small panel and vanishes; again and again in one process.
// Prints the memory the process holds more per connection after a warm-up (resident set and heap in
// use) beside the target: 100,000 connections may add less than 1 MB. Fails when the heap grows
// past it.
//
//     bench_connections [CYCLES]      (20,000 by default: fewer leave the figure to chance)
#include <malloc.h>

#include <QApplication>
#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "Frame.h"
#include "Link.h"
#include "LinkBridge.h"
#include "MainFrame.h"
#include "SettingsLayoutStore.h"
#include "Talvex22View.h"
#include "support/DeviceFrames.h"
#include "support/PtyPeer.h"

namespace {

constexpr long kWarmUp = 1000;
constexpr double kTargetBytesPerConnection = 1024.0 * 1024.0 / 100000.0;

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        status.ignore(4096, '\n');
    }
    return 0;
}

long HeapBytes() {
    const struct mallinfo2 heap = mallinfo2();
    return long(heap.uordblks + heap.hblkhd);
}

bool Wait(const std::function<bool()>& condition) {
    if (condition()) return true;
    QEventLoop loop;
    QTimer check, limit;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (condition()) loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    check.start(1);
    limit.setSingleShot(true);
    limit.start(5000);
    loop.exec();
    return condition();
}

// A small panel of several kinds.
Bytes PanelMessage() {
    Bytes matrix(10 * 2 * 2, 0);
    const Bytes rows = U32Bytes(3);
    matrix.insert(matrix.end(), rows.begin(), rows.end());
    Bytes frame = DeviceHeader(MSG_PANEL_DEFINITION);
    const Bytes payload = PanelPayload(
        {Definition('N', 0x10000, 1, U32Bytes(5), {{'Z', AnsiZ("Flow")}}),
         Definition('T', 0x10000, 2, AnsiZ("text"), {{'Z', AnsiZ("Note")}, {'m', U32Bytes(16)}}),
         Definition('B', 0, 3, {0}, {{'Z', AnsiZ("Go")}}),
         Definition('G', 0, 4, {0}, {{'Z', AnsiZ("Pump")}}),
         Definition('M', 0x100000, 5, matrix, {{'n', U32Bytes(10)}, {'N', U32Bytes(2)}})});
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}

// One connection: the client opens the pty and asks for the panel, which the device sends; once
// it is shown the device is gone.
bool Cycle(CTalvex22View& view, const Bytes& panel, int& laidOut) {
    PtyPeer device;
    view.SetPortPath(QString::fromStdString(device.SlavePath()));
    view.OnCommand(ID_CONNECT);
    uint16_t code = 0, flags = 0;
    if (!device.ReadHeader(code, flags) || code != MSG_CONNECT) return false;
    const int before = laidOut;
    device.WriteFrame(MSG_PANEL_INFO, HF_NO_PINGS, Payload().Sized(AnsiZ("Bench")).Sized({}));
    device.Write(panel);
    const bool shown = Wait([&] { return laidOut > before; });
    device.HangUp();
    return Wait([&] { return !view.m_bConnected; }) && shown;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long cycles = argc > 1 ? std::atol(argv[1]) : 20000;
    if (cycles <= 0) {
        std::fprintf(stderr, "usage: bench_connections [CYCLES]\n");
        return 2;
    }
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    QtLinkNotifier notifier;
    QtLinkAlerts alerts;
    alerts.SetUnattended(true);
    SettingsLayoutStore store;
    LinkSetServices(LinkServices{&notifier, &alerts, &store, nullptr});
    LinkInit();
    long rssStart = 0, heapStart = 0, rssEnd = 0, heapEnd = 0, failed = 0;
    {
        CMainFrame frame;
        auto* view = new CTalvex22View(&frame, &alerts, QStringLiteral("bench"));
        frame.setCentralWidget(view);
        view->SetPortPath(QStringLiteral("/dev/null")); // a port is known: no Com Ports dialog
        view->OnInitialUpdate();
        frame.show();
        int laidOut = 0;
        QObject::connect(view, &CTalvex22View::PanelLaidOut, [&laidOut] { ++laidOut; });
        const Bytes panel = PanelMessage();
        for (long i = 0; i < kWarmUp + cycles; ++i) {
            if (i == kWarmUp) {
                rssStart = ResidentKb();
                heapStart = HeapBytes();
            }
            if (!Cycle(*view, panel, laidOut)) ++failed;
        }
        rssEnd = ResidentKb();
        heapEnd = HeapBytes();
        view->OnDestroyView();
        LinkShutdown();
    }
    LinkSetServices(LinkServices{});

    const double heapPer = double(heapEnd - heapStart) / double(cycles);
    const double rssPer = double(rssEnd - rssStart) * 1024.0 / double(cycles);
    std::printf("memory per connect and vanish, over %ld connections after %ld: heap in use %.1f "
                "bytes, resident %.1f bytes (target < %.1f, under 1 MB per 100,000); "
                "%ld connections failed\n",
                cycles, kWarmUp, heapPer, rssPer, kTargetBytesPerConnection, failed);
    return heapPer < kTargetBytesPerConnection && failed == 0 ? 0 : 1;
}
