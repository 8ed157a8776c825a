// The chart window of a Matrix shown in the panel (styles 4 to 6). It paints the control's
// background; the chart of the matrix data is drawn over it by the chart painter.
#pragma once

#include <QWidget>

class CCtrl;

class CChartWnd : public QWidget {
    Q_OBJECT
public:
    CChartWnd(const CCtrl& ctrl, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const CCtrl& m_ctrl;
};
