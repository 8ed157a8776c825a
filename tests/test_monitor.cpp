// The Protocol Monitor and the progress of long transfers, against the simulated device on a
// pseudo-terminal through the real link: decoded rows, the bound of 10,000 frames, pause, clear,
// filter and Save, no records while closed, and a 1 MiB file's progress.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <chrono>
#include <climits>
#include <filesystem>
#include <future>
#include <thread>

#include "Frame.h"
#include "FrameTap.h"
#include "FrameTrace.h"
#include "Link.h"
#include "PanelFile.h"
#include "PcapCapture.h"
#include "Pcapng.h"
#include "ProtocolMonitor.h"
#include "SimPorts.h"
#include "TraceSink.h"
#include "TransferProgress.h"
#include "support/FakeServices.h"
#include "support/LinkHarness.h"

namespace {

using namespace std::chrono_literals;

const char* kPanel = R"({"title": "Rig", "controls": [
    {"kind": "text", "id": 1, "name": "Label", "value": "hello", "maxSize": 16},
    {"kind": "number", "id": 8, "name": "Level", "value": 5, "min": 0, "max": 200,
     "flags": ["editable"]}]})";

Panel ParseOrFail(const std::string& text) {
    PanelFileResult r = ParsePanelText(text, "test.json", {});
    EXPECT_TRUE(r.panel.has_value()) << r.error;
    return r.panel.value_or(Panel{});
}

// The link on a simulated device with the monitor's tap and the progress among its services.
class MonitoredSim {
public:
    explicit MonitoredSim(const Panel& panel) {
        LinkSetServices(LinkServices{&services.notifier, &services.alerts, &services.store, nullptr,
                                     &tap, &progress});
        std::string error;
        device = SimPtyDevice::Start(panel, {}, error);
        if (!device) throw std::runtime_error(error);
    }
    // Connects: the device then sends its panel.
    int Open() { return LinkOpenDevice(device->SlavePath(), &window, kNotifyMessage); }
    ~MonitoredSim() { LinkClose(false); }

    // Skips other outcomes until `wanted`, restarting the receiver after each.
    bool WaitFor(int wanted) {
        for (int i = 0; i < 50; ++i) {
            if (!services.notifier.WaitForPosts(m_seen + 1, 5000)) return false;
            const int outcome = services.notifier.Outcomes()[size_t(m_seen++)];
            LinkStartReceiver(&window, kNotifyMessage);
            if (outcome == wanted) return true;
        }
        return false;
    }
    // A value over the maximum: the device clamps it and sends it back.
    bool ChangeLevel(int32_t value) {
        return LinkSetValue(8, &value, 4) == 0 && LinkSendChanges() == 0 && WaitFor(LINK_VALUES);
    }

    LinkFixtureServices services;
    FrameTap tap;
    TransferProgress progress;
    std::unique_ptr<SimPtyDevice> device;
    int window = 0;

private:
    int m_seen = 0;
};

QString Cell(ProtocolMonitor& m, int row, int column) {
    return FrameTableModel::Text(m.Model().FrameAt(row), column);
}

QStringList Lines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

TEST(ProtocolMonitor, ListsAnExchangeDecodedFiltersItAndSavesIt) {
    MonitoredSim sim(ParseOrFail(kPanel));
    ProtocolMonitor monitor(sim.tap);
    monitor.show();
    ASSERT_EQ(sim.Open(), 0);
    ASSERT_TRUE(sim.WaitFor(LINK_PANEL));
    ASSERT_TRUE(sim.ChangeLevel(500));
    monitor.Flush();

    const QStringList expected[] = {
        {"sent", "MSG_CONNECT (1)", "20", ""},
        {"received", "MSG_PANEL_INFO (2)", "", "title \"Rig\""},
        {"received", "MSG_PANEL_DEFINITION (6)", "", "2 controls: T#1 N#8"},
        {"sent", "MSG_CLIENT_VALUES (7)", "36", "1 item #8 number 500"},
        {"received", "MSG_DEVICE_VALUES (9)", "36", "1 item #8 number 200"},
    };
    ASSERT_EQ(monitor.Model().rowCount(), 5);
    for (int row = 0; row < 5; ++row) {
        const QStringList& e = expected[row];
        EXPECT_EQ(Cell(monitor, row, FrameTableModel::Direction), e[0]) << row;
        EXPECT_EQ(Cell(monitor, row, FrameTableModel::Code), e[1]) << row;
        if (!e[2].isEmpty()) {
            EXPECT_EQ(Cell(monitor, row, FrameTableModel::Length), e[2]) << row;
        }
        EXPECT_EQ(Cell(monitor, row, FrameTableModel::Decode), e[3]) << row;
        EXPECT_EQ(Cell(monitor, row, FrameTableModel::Flags), QStringLiteral("0x0000")) << row;
    }

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("frames.txt"));
    monitor.SetCodeFilter(FrameCodeFilter::Key(MSG_PANEL_INFO, false));
    EXPECT_EQ(monitor.Filter().rowCount(), 1);
    ASSERT_TRUE(monitor.SaveTo(path));
    QStringList lines = Lines(path);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("\treceived\tMSG_PANEL_INFO (2)\t0x0000\t") +
                                  Cell(monitor, 1, FrameTableModel::Length) +
                                  QStringLiteral("\ttitle \"Rig\"")))
        << lines[0].toStdString();
    monitor.SetCodeFilter(FrameCodeFilter::kAll);
    ASSERT_TRUE(monitor.SaveTo(path));
    EXPECT_EQ(Lines(path).size(), 5);
    EXPECT_FALSE(monitor.SaveTo(dir.filePath(QStringLiteral("no/such/folder/f.txt"))));
}

TEST(ProtocolMonitor, PausedOrClosedItBuildsNoRecordsAndClearEmptiesIt) {
    MonitoredSim sim(ParseOrFail(kPanel));
    ProtocolMonitor monitor(sim.tap);
    EXPECT_FALSE(sim.tap.Wanted());
    monitor.show();
    ASSERT_EQ(sim.Open(), 0);
    ASSERT_TRUE(sim.WaitFor(LINK_PANEL));
    monitor.Flush();
    ASSERT_EQ(monitor.Model().rowCount(), 3);

    monitor.SetPaused(true);
    EXPECT_FALSE(sim.tap.Wanted());
    uint64_t recorded = sim.tap.Recorded();
    ASSERT_TRUE(sim.ChangeLevel(300));
    monitor.Flush();
    EXPECT_EQ(sim.tap.Recorded(), recorded);
    EXPECT_EQ(monitor.Model().rowCount(), 3);

    monitor.SetPaused(false);
    monitor.Clear();
    EXPECT_EQ(monitor.Model().rowCount(), 0);
    ASSERT_TRUE(sim.ChangeLevel(400));
    monitor.Flush();
    EXPECT_EQ(monitor.Model().rowCount(), 2);

    monitor.close();
    EXPECT_FALSE(sim.tap.Wanted());
    recorded = sim.tap.Recorded();
    ASSERT_TRUE(sim.ChangeLevel(600));
    EXPECT_EQ(sim.tap.Recorded(), recorded);
}

TEST(Capture, SaveCaptureWritesEveryFrameWholeToAFileThatReadsBack) {
    MonitoredSim sim(ParseOrFail(kPanel));
    PcapCapture capture(sim.tap);
    ProtocolMonitor monitor(sim.tap);
    monitor.SetCapture(&capture, [] { return CaptureSource{QStringLiteral("/dev/pts/9"), {}}; });
    auto captureButton = [&]() -> QString {
        for (QPushButton* b : monitor.findChildren<QPushButton*>())
            if (b->text().contains(QStringLiteral("&Capture"))) return b->text();
        return {};
    };
    EXPECT_EQ(captureButton(), QStringLiteral("Save &Capture..."));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("rig.pcapng"));
    ASSERT_TRUE(monitor.StartCapture(path));
    EXPECT_EQ(captureButton(), QStringLiteral("Stop &Capture"));
    EXPECT_TRUE(sim.tap.Wanted()); // the window is closed: the capture alone wants frames
    ASSERT_EQ(sim.Open(), 0);
    ASSERT_TRUE(sim.WaitFor(LINK_PANEL));
    ASSERT_TRUE(sim.ChangeLevel(500));
    LinkClose(true);
    capture.Stop();
    EXPECT_FALSE(sim.tap.Wanted());
    EXPECT_EQ(captureButton(), QStringLiteral("Save &Capture..."));

    const PcapngFile file = ReadPcapngFile(QFile::encodeName(path).toStdString());
    ASSERT_EQ(file.error, "");
    EXPECT_EQ(file.comment, "Talvex capture of /dev/pts/9");
    const std::pair<bool, uint16_t> expected[] = {
        {false, MSG_CONNECT},       {true, MSG_PANEL_INFO},    {true, MSG_PANEL_DEFINITION},
        {false, MSG_CLIENT_VALUES}, {true, MSG_DEVICE_VALUES}, {false, MSG_DISCONNECT}};
    ASSERT_EQ(file.packets.size(), std::size(expected));
    uint64_t time = 0;
    for (size_t i = 0; i < file.packets.size(); ++i) {
        const PcapngPacket& p = file.packets[i];
        ASSERT_GE(p.bytes.size(), FRAME_HEADER_SIZE) << i;
        EXPECT_TRUE(HasFrameMarker(p.bytes.data())) << i;
        EXPECT_EQ(p.inbound, expected[i].first) << i;
        EXPECT_EQ(ParseFrameHeader(p.bytes.data()).code, expected[i].second) << i;
        EXPECT_EQ(p.originalLength, p.bytes.size()) << i;
        EXPECT_GE(p.timeUs, time) << i;
        time = p.timeUs;
    }
    EXPECT_EQ(file.packets[1].comment, "panel title \"Rig\"");
    EXPECT_EQ(file.packets[3].bytes.size(), 36u); // one Number item, whole
}

TEST(Capture, AFullDiskEndsTheCaptureWithOneNoticeAndTheConnectionGoesOn) {
    MonitoredSim sim(ParseOrFail(kPanel));
    PcapCapture capture(sim.tap);
    QSignalSpy failed(&capture, &PcapCapture::Failed);
    ASSERT_TRUE(capture.Start(QStringLiteral("/dev/full"), {QStringLiteral("/dev/pts/9"), {}}));
    ASSERT_EQ(sim.Open(), 0);
    ASSERT_TRUE(failed.wait(5000));
    EXPECT_TRUE(failed[0][0].toString().startsWith(
        QStringLiteral("The capture to /dev/full has stopped: No space left on device.")))
        << failed[0][0].toString().toStdString();
    EXPECT_FALSE(capture.IsCapturing());
    EXPECT_FALSE(sim.tap.Wanted());
    ASSERT_TRUE(sim.WaitFor(LINK_PANEL));
    ASSERT_TRUE(sim.ChangeLevel(300)); // the link never waited for the file
    QCoreApplication::processEvents();
    EXPECT_EQ(failed.count(), 1);
}

TEST(ProtocolMonitor, KeepsTheNewestTenThousandFramesInOneInsertionPerBatch) {
    FrameTap tap;
    ProtocolMonitor monitor(tap);
    monitor.show();
    QSignalSpy inserted(&monitor.Model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&monitor.Model(), &QAbstractItemModel::rowsRemoved);
    auto feed = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            DecodedFrame f;
            f.decode = "#" + std::to_string(i);
            tap.Frame(f);
        }
    };
    feed(0, 10500); // the queue alone already keeps only the newest
    monitor.Flush();
    feed(10500, 12500);
    monitor.Flush();
    ASSERT_EQ(monitor.Model().rowCount(), FrameTableModel::kMaxRows);
    EXPECT_EQ(monitor.Model().FrameAt(0).decode, "#2500");
    EXPECT_EQ(monitor.Model().FrameAt(FrameTableModel::kMaxRows - 1).decode, "#12499");
    EXPECT_EQ(inserted.count(), 2);
    EXPECT_EQ(removed.count(), 1);
}

TEST(FrameOrder, AReplyHandedOnWhileItsRequestIsWrittenFollowsItAndTimesNeverGoBack) {
    LinkFixtureServices services;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("trace.txt"));
    FrameTap tap;
    tap.SetWatching(true);
    {
        FileTraceSink trace(path);
        LinkSetServices(
            LinkServices{&services.notifier, &services.alerts, &services.store, &trace, &tap});
        // The receiving thread read its bytes (and took the time) before the request began;
        // it is handed on behind the request all the same.
        std::promise<void> read, begun;
        std::thread device([&] {
            FrameTraceRead();
            read.set_value();
            begun.get_future().wait();
            FrameCapture reply(false);
            const FrameHeaderBytes pong = BuildFrameHeader(MSG_PING_REPLY, 0);
            FrameTraceBytes(false, pong.data(), pong.size());
        });
        read.get_future().wait();
        for (const auto t = std::chrono::system_clock::now();
             std::chrono::system_clock::now() <= t;) {
        }
        {
            FrameCapture request(true);
            const FrameHeaderBytes ping = BuildFrameHeader(MSG_PING, 0);
            FrameTraceBytes(true, ping.data(), ping.size());
            begun.set_value();
            device.join(); // the device answers before the write has returned
        }
        LinkSetServices(LinkServices{&services.notifier, &services.alerts, &services.store});
    }
    const std::deque<DecodedFrame> frames = tap.Take();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_TRUE(frames[0].sent && !frames[1].sent);
    EXPECT_LE(frames[0].time, frames[1].time);
    const QStringList lines = Lines(path);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains(QStringLiteral(" send MSG_PING ")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral(" recv MSG_PING_REPLY ")));
    EXPECT_LE(lines[0].section(u' ', 0, 0), lines[1].section(u' ', 0, 0));
}

TEST(TransferProgress, ReportsTenTimesASecondAtMostAndAlwaysTheEnd) {
    auto now = std::chrono::steady_clock::time_point{};
    TransferProgress progress(nullptr, [&] { return now; });
    QSignalSpy updates(&progress, &TransferProgress::Progress);
    QSignalSpy finished(&progress, &TransferProgress::Finished);
    const std::pair<int, uint64_t> calls[] = {{0, 10},   {50, 20},  {99, 30},
                                              {100, 40}, {150, 50}, {160, 100}};
    for (auto [ms, received] : calls) {
        now = std::chrono::steady_clock::time_point{} + std::chrono::milliseconds(ms);
        progress.Transfer(u"", received, 100);
    }
    progress.TransferDone();
    QCoreApplication::processEvents();
    ASSERT_EQ(updates.count(), 3);
    EXPECT_EQ(updates[0][1].toLongLong(), 10);
    EXPECT_EQ(updates[1][1].toLongLong(), 40);
    EXPECT_EQ(updates[2][0].toString(), QStringLiteral("Panel"));
    EXPECT_EQ(updates[2][1].toLongLong(), 100);
    EXPECT_DOUBLE_EQ(updates[2][3].toDouble(), 90 / 0.16);
    EXPECT_EQ(finished.count(), 1);
}

TEST(TransferProgress, AMebibyteFileFromTheDeviceCountsUpToItsSize) {
    const std::string content(1 << 20, 'x');
    MonitoredSim sim(ParseOrFail(R"({"title": "Files", "controls": [{"kind": "file", "id": 14,
        "fileName": "big.bin", "content": ")" +
                                 content + R"("}]})"));
    QTemporaryDir dir;
    LinkSetFilesDirectory(QFile::encodeName(dir.path()).toStdString());
    QSignalSpy updates(&sim.progress, &TransferProgress::Progress);
    QSignalSpy finished(&sim.progress, &TransferProgress::Finished);
    ASSERT_EQ(sim.Open(), 0);
    ASSERT_TRUE(sim.WaitFor(LINK_PANEL));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(LinkSetValue(14, nullptr, 0), 0);
    ASSERT_EQ(LinkSendChanges(), 0);
    ASSERT_TRUE(sim.WaitFor(LINK_FILES));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    LinkSetFilesDirectory("");
    QCoreApplication::processEvents();

    ASSERT_GE(updates.count(), 1);
    EXPECT_LE(updates.count(), int(seconds * 10) + 2) << "over " << seconds << " s";
    for (const QList<QVariant>& u : updates) EXPECT_EQ(u[0].toString(), QStringLiteral("big.bin"));
    EXPECT_EQ(updates.last()[1].toLongLong(), 1 << 20);
    EXPECT_EQ(updates.last()[2].toLongLong(), 1 << 20);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(std::filesystem::file_size(dir.filePath(QStringLiteral("big.bin")).toStdString()),
              1u << 20);
}

} // namespace
