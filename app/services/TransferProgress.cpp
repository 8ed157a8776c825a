#include "TransferProgress.h"

TransferProgress::TransferProgress(QObject* parent, Clock clock)
    : QObject(parent), m_clock(std::move(clock)) {}

std::chrono::steady_clock::time_point TransferProgress::Now() const {
    return m_clock ? m_clock() : std::chrono::steady_clock::now();
}

void TransferProgress::Transfer(const std::u16string& name, uint64_t received, uint64_t total) {
    const auto now = Now();
    // A new file of the same message, or the same name again, starts a new transfer.
    const bool fresh = !m_running || name != m_name || received < m_last;
    m_last = received;
    const bool last = received >= total;
    if (fresh) {
        m_running = true;
        m_name = name;
        m_start = now;
        m_startBytes = received;
    } else if (!last && now - m_lastEmitted < kMinInterval) {
        return;
    }
    m_lastEmitted = now;
    const double seconds = std::chrono::duration<double>(now - m_start).count();
    const double rate = seconds > 0 ? double(received - m_startBytes) / seconds : 0.0;
    const QString shown = name.empty() ? QStringLiteral("Panel") : QString::fromStdU16String(name);
    QMetaObject::invokeMethod(
        this,
        [this, shown, received, total, rate] {
            emit Progress(shown, qint64(received), qint64(total), rate);
        },
        Qt::QueuedConnection);
}

void TransferProgress::TransferDone() {
    m_running = false;
    m_last = 0;
    QMetaObject::invokeMethod(
        this, [this] { emit Finished(); }, Qt::QueuedConnection);
}
