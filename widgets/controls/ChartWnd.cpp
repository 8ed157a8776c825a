#include "ChartWnd.h"

#include <QPaintEvent>
#include <QPainter>

#include "Ctrl.h"
#include "CtrlColours.h"

CChartWnd::CChartWnd(const CCtrl& ctrl, QWidget* parent) : QWidget(parent), m_ctrl(ctrl) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CChartWnd::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), ColourOf(m_ctrl.m_crColour));
}
