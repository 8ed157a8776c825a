// Merges requests into at most one run per screen frame: a burst of changes costs one repaint,
// and a lone change is shown at once.
#pragma once

#include <functional>

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class FrameThrottle : public QObject {
public:
    FrameThrottle(std::function<void()> run, QObject* parent);

    // Runs within one frame, once for all requests made until then.
    void Request();
    bool Pending() const { return m_timer.isActive(); }
    // Milliseconds between runs: the primary screen's frame time.
    int Interval() const { return m_interval; }

private:
    void Run();

    std::function<void()> m_run;
    QTimer m_timer;
    QElapsedTimer m_sinceRun;
    int m_interval = 16;
};
