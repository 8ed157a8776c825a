#include "FaultScenarios.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <chrono>
#include <memory>

#include "Ctrl.h"
#include "DeviceWire.h"
#include "FaultClient.h"
#include "FaultPanels.h"
#include "FaultyLine.h"
#include "Frame.h"
#include "Link.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSettleMs = 5000;       // the longest a client may take to notice a lost device
constexpr int kAnswerWithinMs = 1000; // a clean line is answered within this
constexpr int kStallMs = 300;         // the stall time the fault runs give the link
// Longer than a stall: a swallowed query is followed by one that is read.
constexpr int kQueryEveryMs = 400;
constexpr int kFileRequestEveryMs = 100;

std::string At(const char* what, size_t offset) {
    return std::string(what) + " offset " + std::to_string(offset) + ": ";
}

void CheckStrays(FaultClient& client, const std::string& where, FaultTally& tally) {
    for (const std::string& s : client.Strays())
        tally.failures.push_back(where + "left " + s + " behind");
    if (client.ModalBoxes() > 0)
        tally.failures.push_back(where + "a modal box was raised by the link");
}

// After a vanish: disconnected, with exactly one notice more than before, saying so.
void CheckVanished(FaultClient& client, int noticesBefore, const std::string& where,
                   FaultTally& tally) {
    if (!client.WaitFor([&] { return !client.Connected(); }, kSettleMs)) {
        tally.failures.push_back(where + "still connected after the device vanished");
        return;
    }
    const int notices = client.NoticeCount() - noticesBefore;
    const QStringList texts = client.NoticeTexts();
    if (notices != 1 || texts.isEmpty() || !texts.last().startsWith("Connection lost"))
        tally.failures.push_back(where + std::to_string(notices) + " notices, the last: " +
                                 (texts.isEmpty() ? "none" : texts.last().toStdString()));
    else
        ++tally.recoveries;
    CheckStrays(client, where, tally);
}

// The device goes away at the end of a run, so the next run starts disconnected.
void Unplug(FaultClient& client, std::unique_ptr<FaultyLine>& line) {
    line.reset();
    client.WaitFor([&] { return !client.Connected(); }, kSettleMs);
}

// A clean line from here on, and the device goes quiet, so that a message left waiting for
// bytes that never come is given up: a presence query must be answered within a second.
void AnswerOnACleanLine(FaultClient& client, FaultyLine& line, const std::string& where,
                        FaultTally& tally) {
    line.Mute(true);
    if (!client.Connected()) { // a garbled goodbye: the user connects again
        line.Mute(false);
        if (!client.Connect(line.SlavePath(), true)) {
            tally.failures.push_back(where + "no reconnect after a garbled goodbye");
            return;
        }
        line.Mute(true);
    }
    const uint64_t replies = line.Engine().Counters().presenceReplies;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kAnswerWithinMs);
    bool answered = false;
    while (!answered && Clock::now() < deadline) {
        line.Inject(DeviceFrame(MSG_PRESENCE_QUERY, 0, {}));
        answered = client.WaitFor(
            [&] { return line.Engine().Counters().presenceReplies > replies; }, kQueryEveryMs);
    }
    tally.stalls += LinkGetStallCount(); // counted per connection
    if (answered)
        ++tally.recoveries;
    else
        tally.failures.push_back(where +
                                 "no answer to a presence query within a second of a clean line");
    line.Mute(false);
    if (!client.Connected()) tally.failures.push_back(where + "disconnected on a clean line");
}

bool Stopped(const StopWhen& stop) {
    return stop && stop();
}

} // namespace

void FaultTally::Add(const FaultTally& other) {
    runs += other.runs;
    faults += other.faults;
    recoveries += other.recoveries;
    goodbyes += other.goodbyes;
    stalls += other.stalls;
    failures.insert(failures.end(), other.failures.begin(), other.failures.end());
}

void UseShortStallTimeout() {
    LinkSetStallTimeout(kStallMs);
}

FaultTally VanishDuringPanel(FaultClient& client, const Panel& panel,
                             const std::vector<size_t>& offsets, const StopWhen& stop) {
    FaultTally tally;
    for (size_t offset : offsets) {
        if (Stopped(stop)) break;
        const std::string where = At("panel definition", offset);
        std::string error;
        auto line = FaultyLine::Start(panel, offset, error);
        if (!line) {
            tally.failures.push_back(where + error);
            break;
        }
        line->VanishAt(MSG_PANEL_DEFINITION, offset);
        const int notices = client.NoticeCount();
        client.Connect(line->SlavePath(), false);
        ++tally.runs;
        ++tally.faults;
        CheckVanished(client, notices, where, tally);
    }
    return tally;
}

FaultTally VanishDuringFile(FaultClient& client, const Panel& panel, uint32_t fileId,
                            const std::vector<size_t>& offsets, const StopWhen& stop) {
    FaultTally tally;
    const PanelControl* file = panel.Find(fileId);
    const QString target = QString::fromStdString(client.FilesDirectory()) + "/" +
                           QString::fromStdU16String(file ? file->fileName : u"");
    for (size_t offset : offsets) {
        if (Stopped(stop)) break;
        const std::string where = At("file message", offset);
        std::string error;
        auto line = FaultyLine::Start(panel, offset, error);
        if (!line) {
            tally.failures.push_back(where + error);
            break;
        }
        CCtrl* control = nullptr;
        if (!client.Connect(line->SlavePath(), true) || !(control = client.Control(fileId))) {
            tally.failures.push_back(where + "the panel did not arrive");
            Unplug(client, line);
            continue;
        }
        line->VanishAt(MSG_FILES, offset);
        QFile::remove(target); // whatever an earlier run delivered
        const int notices = client.NoticeCount();
        control->RequestFile();
        ++tally.runs;
        ++tally.faults;
        CheckVanished(client, notices, where, tally);
        if (QFileInfo::exists(target))
            tally.failures.push_back(where + "an incomplete file was written under its name");
    }
    return tally;
}

FaultTally NoisyStretch(FaultClient& client, const Panel& panel, const Noise& noise) {
    FaultTally tally;
    const std::string where = "noise (pattern " + std::to_string(noise.pattern) + "): ";
    std::string error;
    auto line = FaultyLine::Start(panel, noise.pattern, error);
    if (!line || !client.Connect(line->SlavePath(), true)) {
        tally.failures.push_back(where + (line ? "the panel did not arrive" : error));
        if (line) Unplug(client, line);
        return tally;
    }
    ++tally.runs;
    QTimer requests;
    QObject::connect(&requests, &QTimer::timeout, [&] {
        if (CCtrl* file = client.Control(kFileId)) file->RequestFile();
    });
    requests.start(kFileRequestEveryMs);
    const uint64_t until = line->Counts().bytes + noise.bytes;
    line->SetFaults(noise.corrupt, noise.drop);
    // The stretch ends early if a garbled header reads as the device's goodbye.
    const int stretchMs = int(noise.bytes / 5) + kSettleMs; // the stream carries >10 kB/s
    if (!client.WaitFor([&] { return line->Counts().bytes >= until || !client.Connected(); },
                        stretchMs))
        tally.failures.push_back(where + "the stream stalled under the noise");
    requests.stop();
    line->SetFaults(0, 0);
    const FaultCounts counts = line->Counts();
    tally.faults += counts.corrupted + counts.dropped;

    if (!client.Connected()) ++tally.goodbyes;
    AnswerOnACleanLine(client, *line, where, tally);
    CheckStrays(client, where, tally);
    Unplug(client, line);
    return tally;
}
