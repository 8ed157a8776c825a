#include "ConnectionClock.h"

CConnectionClock::CConnectionClock() {
    m_elapsed.start();
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        // Taken first: `done` may well start the next wait.
        auto done = std::move(m_done);
        m_done = nullptr;
        if (done) done();
    });
}

qint64 CConnectionClock::NowMs() const {
    return m_elapsed.elapsed();
}

void CConnectionClock::Wait(qint64 ms, std::function<void()> done) {
    m_done = std::move(done);
    m_timer.start(std::chrono::milliseconds(std::max<qint64>(ms, 0)));
}

void CConnectionClock::Cancel() {
    m_timer.stop();
    m_done = nullptr;
}
