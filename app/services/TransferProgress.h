// Progress of the link's long transfers (a received file, a large panel definition) as a signal
// on the user-interface thread: at most ten updates a second, and always the last one, with the
// name ("Panel" for the panel definition), the bytes so far, the total and the rate.
#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <functional>

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

    Clock m_clock;
    // The transfer under way; touched by the receive thread only.
    bool m_running = false;
    std::u16string m_name;
    uint64_t m_last = 0;
    uint64_t m_startBytes = 0;
    std::chrono::steady_clock::time_point m_start, m_lastEmitted;
};
