// Paints a window at most once per screen frame. Widgets ask for a paint with every change; when
// changes come faster than the screen refreshes (values pushed by the device), the requests of a
// frame are held and served by one paint at the next frame.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <limits>

class QWidget;

class CFramePacer : public QObject {
    Q_OBJECT
public:
    // Watches `window`'s update requests; the pacer belongs to the window.
    explicit CFramePacer(QWidget* window);
    // Paints let through so far.
    long Paints() const { return m_nPaints; }
    int FrameMs() const { return m_nFrameMs; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Deliver();
    // Takes the frame slot a paint at `now` falls in.
    void Painted(qint64 now);
    QWidget* m_pWindow;
    // Frame slots on a fixed grid: a paint that comes a little after its slot (the value frame's
    // timer fires late) does not push the next slot back, so it is not held for a second wake.
    QElapsedTimer m_clock;
    qint64 m_nextSlotNs = std::numeric_limits<qint64>::min() / 2; // none yet
    QTimer m_timer;
    int m_nFrameMs = 16;
    bool m_bDelivering = false;
    long m_nPaints = 0;
};
