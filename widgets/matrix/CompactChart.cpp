#include "CompactChart.h"

#include <QEvent>
#include <QPainter>
#include <QWidget>

#include "ChartPainter.h"
#include "Ctrl.h"
#include "FrameThrottle.h"

CompactChart::CompactChart(const CCtrl& ctrl, QWidget* window)
    : QObject(window), m_ctrl(&ctrl), m_lifetime(ctrl.Lifetime()), m_window(window),
      m_throttle(new FrameThrottle([this] { m_window->update(); }, this)) {
    window->installEventFilter(this);
    window->update();
}

CompactChart* CompactChart::Attach(const CCtrl& ctrl, QWidget* window) {
    if (!window) return nullptr;
    delete Of(window);
    return new CompactChart(ctrl, window);
}

CompactChart* CompactChart::Of(QWidget* window) {
    if (!window) return nullptr;
    return window->findChild<CompactChart*>(QString(), Qt::FindDirectChildrenOnly);
}

void CompactChart::MatrixChanged() {
    m_throttle->Request();
}

bool CompactChart::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_window || event->type() != QEvent::Paint || m_lifetime.expired())
        return QObject::eventFilter(watched, event);
    QPainter p(m_window);
    DrawMatrixChart(p, m_window->rect(), *m_ctrl, false);
    return true;
}
