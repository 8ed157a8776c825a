#include "StreamSoak.h"

#include <QFile>
#include <QPixmapCache>
#include <QTimer>
#include <chrono>
#include <cstdio>

#include "Ctrl.h"
#include "FaultClient.h"
#include "FaultScenarios.h"
#include "Frame.h"
#include "Link.h"
#include "SimPorts.h"

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr long kGrowthLimitKb = 5 * 1024;
constexpr int kFileRequestEveryMs = 500;
constexpr int kDrainMs = 10000;

std::vector<uint8_t> LinkValue(uint32_t id) {
    uint32_t n = 0;
    LinkGetValue(id, nullptr, &n);
    std::vector<uint8_t> b(n);
    LinkGetValue(id, b.data(), &n);
    b.resize(n);
    return b;
}

std::u16string TextFrom(const std::vector<uint8_t>& b) {
    std::u16string s;
    for (size_t i = 0; i + 1 < b.size() && (b[i] | b[i + 1]); i += 2)
        s.push_back(char16_t(b[i] | (b[i + 1] << 8)));
    return s;
}

// The last value the device sent of each control is the one the client holds and shows.
std::vector<std::string> CompareValues(FaultClient& client, SimEngine& engine) {
    std::vector<std::string> failures;
    for (uint32_t id = 1; id <= 5; ++id) {
        const auto device = engine.Control(id);
        const CCtrl* shown = client.Control(id);
        const std::vector<uint8_t> held = LinkValue(id);
        if (!device || !shown) {
            failures.push_back("control " + std::to_string(id) + " missing");
            continue;
        }
        bool same = false, showsIt = false;
        if (device->kind == SimKind::Number) {
            same = held.size() >= 4 && int32_t(GetU32LE(held.data())) == device->number;
            showsIt = shown->m_nValue == device->number;
        } else {
            same = TextFrom(held) == device->text;
            showsIt = shown->m_strText.toStdU16String() == device->text;
        }
        if (!same || !showsIt)
            failures.push_back("control " + std::to_string(id) +
                               ": the last value sent is not the one " + (same ? "shown" : "held"));
    }
    const auto matrix = engine.Control(6);
    LinkLock();
    LinkMatrixData held;
    const bool sameRows =
        matrix && LinkGetMatrix(6, held) == 0 && int32_t(held.nRows) == matrix->matrix.rows &&
        held.nCellBytes == matrix->matrix.cells.size() &&
        std::equal(matrix->matrix.cells.begin(), matrix->matrix.cells.end(), held.pCells) &&
        held.nRowLabelBytes == matrix->matrix.labels.size() &&
        std::equal(matrix->matrix.labels.begin(), matrix->matrix.labels.end(), held.pRowLabels);
    LinkUnlock();
    if (!sameRows) failures.push_back("the matrix rows held differ from the device's ring");
    return failures;
}

} // namespace

SoakReport RunStreamSoak(double minutes) {
    SoakReport report;
    report.part = "stream";
    FaultClient client;
    Panel panel = StreamingPanel();
    panel.ackRequests = true;
    std::string error;
    auto device = SimPtyDevice::Start(panel, {}, error);
    if (!device || !client.Connect(device->SlavePath(), true)) {
        report.failures.push_back("no connection: " + error);
        return report;
    }
    SimEngine& engine = device->Engine();
    LinkSetAckOption(true); // the client's requests ask the device to acknowledge too

    uint64_t requests = 0;
    QTimer fileRequests;
    QObject::connect(&fileRequests, &QTimer::timeout, [&] {
        if (CCtrl* file = client.Control(kFileId)) {
            file->RequestFile();
            ++requests;
        }
    });
    fileRequests.start(kFileRequestEveryMs);

    const auto start = Clock::now();
    const auto end = start + Seconds(minutes * 60);
    // After a minute, or half-way through a shorter run.
    const auto mark = start + std::min(Seconds(60), Seconds(minutes * 30));
    const long rssStart = ResidentKb();
    const std::string memoryStart = MemoryLine();
    MemoryTrend trend(report.part);
    long rssMark = 0;
    const uint64_t sentBefore = engine.Counters().sent;
    client.WaitFor([&] { return Clock::now() >= mark || !client.Connected(); }, 24 * 3600 * 1000);
    rssMark = ResidentKb();
    const std::string memoryMark = MemoryLine();
    client.WaitFor([&] { return Clock::now() >= end || !client.Connected(); }, 24 * 3600 * 1000);
    fileRequests.stop();

    // The device goes quiet; every message it asked about must be acknowledged.
    engine.HoldBehaviours(true);
    const double seconds = Seconds(Clock::now() - start).count();
    if (!client.Connected()) report.failures.push_back("the connection ended during the stream");
    const bool drained = client.WaitFor(
        [&] {
            const SimCounters c = engine.Counters();
            return c.acks == c.askedAcks && c.acksGiven >= requests &&
                   client.Outcomes(LINK_FILES) >= requests;
        },
        kDrainMs);
    const SimCounters c = engine.Counters();
    if (!drained)
        report.failures.push_back(std::to_string(c.askedAcks - c.acks) +
                                  " messages were never acknowledged");
    if (client.Outcomes(LINK_FILES) != requests)
        report.failures.push_back(std::to_string(requests) + " files requested, " +
                                  std::to_string(client.Outcomes(LINK_FILES)) + " delivered");
    // The view catches up with the link's last outcomes.
    client.WaitFor([&] { return CompareValues(client, engine).empty(); }, kDrainMs);
    for (const std::string& f : CompareValues(client, engine)) report.failures.push_back(f);
    QFile file(QString::fromStdString(client.FilesDirectory()) + "/report.csv");
    const auto content = engine.Control(kFileId);
    if (!file.open(QIODevice::ReadOnly) || !content ||
        file.readAll() != QByteArray(reinterpret_cast<const char*>(content->data.data()),
                                     qsizetype(content->data.size())))
        report.failures.push_back("the delivered file differs from the device's");
    for (const std::string& s : client.Strays()) report.failures.push_back("left " + s);
    const long rssEnd = ResidentKb();
    if (rssEnd - rssMark > kGrowthLimitKb)
        report.failures.push_back("resident memory grew by " + std::to_string(rssEnd - rssMark) +
                                  " kB after the first minute");

    const uint64_t messages = c.sent - sentBefore;
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.0f", double(messages) / seconds);
    report.Figure("seconds", std::to_string(int(seconds)));
    report.Figure("messages", messages);
    report.Figure("messages per second", rate);
    report.Figure("acknowledged", c.acks);
    report.Figure("asked to acknowledge", c.askedAcks);
    report.Figure("files requested", requests);
    report.Figure("files delivered", client.Outcomes(LINK_FILES));
    report.Figure("client requests acknowledged", c.acksGiven);
    report.Figure("pixmap cache limit (kB)", uint64_t(QPixmapCache::cacheLimit()));
    report.Figure("rss at start (kB)", uint64_t(rssStart));
    report.Figure(minutes >= 2 ? "rss after 1 minute (kB)" : "rss half-way (kB)",
                  uint64_t(rssMark));
    report.Figure("rss at end (kB)", uint64_t(rssEnd));
    report.Figure("memory at start", memoryStart);
    report.Figure("memory at the mark", memoryMark);
    report.Figure("memory at end", MemoryLine());
    return report;
}
