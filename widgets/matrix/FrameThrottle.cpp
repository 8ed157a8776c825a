#include "FrameThrottle.h"

#include <algorithm>
#include <cmath>

#include <QGuiApplication>
#include <QScreen>

FrameThrottle::FrameThrottle(std::function<void()> run, QObject* parent)
    : QObject(parent), m_run(std::move(run)) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const double rate = screen->refreshRate();
        if (rate >= 1) m_interval = std::clamp(int(std::lround(1000.0 / rate)), 1, 100);
    }
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] { Run(); });
}

void FrameThrottle::Request() {
    if (m_timer.isActive()) return;
    const qint64 since = m_sinceRun.isValid() ? m_sinceRun.elapsed() : m_interval;
    m_timer.start(int(std::max<qint64>(0, m_interval - since)));
}

void FrameThrottle::Run() {
    m_sinceRun.start();
    m_run();
}
