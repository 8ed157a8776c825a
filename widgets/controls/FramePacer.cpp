#include "FramePacer.h"

#include "FrameThrottle.h"

#include <QCoreApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <algorithm>

CFramePacer::CFramePacer(QWidget* window) : QObject(window), m_pWindow(window) {
    if (const QScreen* screen = window->screen(); screen && screen->refreshRate() >= 1)
        m_nFrameMs = std::max(1, int(1000 / screen->refreshRate()));
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CFramePacer::Deliver);
    m_clock.start();
    window->installEventFilter(this);
}

void CFramePacer::Painted(qint64 now) {
    const qint64 frame = qint64(m_nFrameMs) * 1000000;
    m_nextSlotNs = now - m_nextSlotNs < frame ? m_nextSlotNs + frame : now + frame;
    ++m_nPaints;
}

bool CFramePacer::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_pWindow || event->type() != QEvent::UpdateRequest || m_bDelivering)
        return false;
    const qint64 now = m_clock.nsecsElapsed();
    // Early by as much as the value frames may be, and the little their paint comes after them:
    // it is not held for a wake of its own. Each slot still takes one paint at most.
    if (now < m_nextSlotNs - FrameThrottle::EarlyNs(m_nFrameMs) - 1000000) {
        // The window still counts this request as pending: it asks for no other until it is
        // served, so every change until then is painted together.
        if (!m_timer.isActive()) m_timer.start(int((m_nextSlotNs - now + 999999) / 1000000));
        return true;
    }
    Painted(now);
    return false;
}

void CFramePacer::Deliver() {
    Painted(m_clock.nsecsElapsed());
    m_bDelivering = true;
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(m_pWindow, &request);
    m_bDelivering = false;
}
