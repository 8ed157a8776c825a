#include "TransferProgress.h"

TransferProgress::TransferProgress(QObject* parent, Clock clock)
    : QObject(parent), m_clock(std::move(clock)) {}

std::chrono::steady_clock::time_point TransferProgress::Now() const {
    return m_clock ? m_clock() : std::chrono::steady_clock::now();
}

void TransferProgress::Transfer(const std::u16string& name, uint64_t received, uint64_t total) {
    const auto now = Now();
    // A new file of the same message, or the same name again, starts a new transfer.
    if (!m_running || name != m_name || received < m_last) {
        m_running = true;
        m_name = name;
        m_start = now;
        m_startBytes = received;
    }
    m_last = received;
    const double seconds = std::chrono::duration<double>(now - m_start).count();
    m_held = Update{name.empty() ? QStringLiteral("Panel") : QString::fromStdU16String(name),
                    qint64(received), qint64(total),
                    seconds > 0 ? double(received - m_startBytes) / seconds : 0.0};
    // Across transfers too: a message of many files is still ten updates a second.
    if (m_lastEmitted && now - *m_lastEmitted < kMinInterval) return;
    m_lastEmitted = now;
    EmitHeld();
}

void TransferProgress::TransferDone() {
    EmitHeld(); // the last step, whenever it came
    m_running = false;
    m_last = 0;
    QMetaObject::invokeMethod(
        this, [this] { emit Finished(); }, Qt::QueuedConnection);
}

void TransferProgress::EmitHeld() {
    if (!m_held) return;
    QMetaObject::invokeMethod(
        this, [this, u = *m_held] { emit Progress(u.name, u.received, u.total, u.rate); },
        Qt::QueuedConnection);
    m_held.reset();
}
