#include "FrameThrottle.h"

#include <algorithm>
#include <cmath>

#include <QGuiApplication>
#include <QScreen>

FrameThrottle::FrameThrottle(std::function<void()> run, QObject* parent, int frames)
    : QObject(parent), m_run(std::move(run)) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const double rate = screen->refreshRate();
        if (rate >= 1) m_interval = std::clamp(int(std::lround(1000.0 / rate)), 1, 100);
    }
    m_interval *= std::max(1, frames);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] { Run(); });
    m_clock.start();
}

void FrameThrottle::Request() {
    const qint64 wait = m_nextNs - EarlyNs(m_interval) - m_clock.nsecsElapsed();
    if (wait <= 0) {
        // Due: run once back in the event loop, on this wake-up.
        if (!m_timer.isActive() || m_timer.interval() > 0) m_timer.start(0);
        return;
    }
    // The timer waits a little past the frame: a request then coming while the thread is awake
    // anyway (the next batch of a stream) carries the run, and the grid moves to it.
    if (!m_timer.isActive())
        m_timer.start(int((wait + 2 * EarlyNs(m_interval) + 999999) / 1000000));
}

void FrameThrottle::Run() {
    const qint64 now = m_clock.nsecsElapsed();
    const qint64 frame = qint64(m_interval) * 1000000;
    // An early run keeps the grid, a late one moves it: on average never more than one run an
    // interval.
    m_nextNs = now <= m_nextNs ? m_nextNs + frame : now + frame;
    m_run();
}
