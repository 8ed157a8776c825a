// The compact chart of a Matrix control painted into the panel's chart window: attached to any
// widget, it paints the whole widget on each paint event and repaints at most once per screen
// frame after the matrix changes.
#pragma once

#include <memory>

#include <QObject>

class CCtrl;
class FrameThrottle;
class QWidget;

class CompactChart : public QObject {
    Q_OBJECT
public:
    // Paints `window` from now on; owned by it.
    static CompactChart* Attach(const CCtrl& ctrl, QWidget* window);
    // The chart attached to the window, if any.
    static CompactChart* Of(QWidget* window);

    void MatrixChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CompactChart(const CCtrl& ctrl, QWidget* window);

    const CCtrl* m_ctrl;
    std::weak_ptr<const void> m_lifetime;
    QWidget* m_window;
    FrameThrottle* m_throttle;
};
