// Paints a window at most once per screen frame. Widgets ask for a paint with every change; when
// changes come faster than the screen refreshes (values pushed by the device), the requests of a
// frame are held and served by one paint at the next frame.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

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
    QWidget* m_pWindow;
    QElapsedTimer m_lastPaint;
    QTimer m_timer;
    int m_nFrameMs = 16;
    bool m_bDelivering = false;
    long m_nPaints = 0;
};
