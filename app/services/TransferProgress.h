// Progress of the link's long transfers (a received file, a large panel definition) as a signal
// on the user-interface thread: at most ten updates a second, plus the last one held back when
// the message ends, with the name ("Panel" for the panel definition), the bytes so far, the
// total and the rate of the transfer so far.
#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>

#include "LinkServices.h"

class TransferProgress : public QObject, public ILinkProgress {
    Q_OBJECT
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::milliseconds kMinInterval{100};

    // `clock` stands in for the steady clock in tests.
    explicit TransferProgress(QObject* parent = nullptr, Clock clock = {});

    // From the receive thread.
    void Transfer(const std::u16string& name, uint64_t received, uint64_t total) override;
    void TransferDone() override;

signals:
    void Progress(const QString& name, qint64 received, qint64 total, double bytesPerSecond);
    void Finished();

private:
    std::chrono::steady_clock::time_point Now() const;
    void EmitHeld();

    Clock m_clock;
    // The transfer under way and the update held back; touched by the receive thread only.
    bool m_running = false;
    std::u16string m_name;
    uint64_t m_last = 0;
    uint64_t m_startBytes = 0;
    std::chrono::steady_clock::time_point m_start;
    std::optional<std::chrono::steady_clock::time_point> m_lastEmitted;
    struct Update {
        QString name;
        qint64 received = 0, total = 0;
        double rate = 0;
    };
    std::optional<Update> m_held;
};
