#include "FramePacer.h"

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
    window->installEventFilter(this);
}

bool CFramePacer::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_pWindow || event->type() != QEvent::UpdateRequest || m_bDelivering)
        return false;
    if (m_lastPaint.isValid() && m_lastPaint.elapsed() < m_nFrameMs) {
        // The window still counts this request as pending: it asks for no other until it is
        // served, so every change until then is painted together.
        if (!m_timer.isActive()) m_timer.start(int(m_nFrameMs - m_lastPaint.elapsed()));
        return true;
    }
    m_lastPaint.start();
    ++m_nPaints;
    return false;
}

void CFramePacer::Deliver() {
    m_lastPaint.start();
    ++m_nPaints;
    m_bDelivering = true;
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(m_pWindow, &request);
    m_bDelivering = false;
}
