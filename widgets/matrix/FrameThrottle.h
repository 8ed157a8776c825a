// Merges requests into at most one run per screen frame: a burst of changes costs one repaint,
// and a lone change is shown at once.
#pragma once

#include <functional>
#include <limits>

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class FrameThrottle : public QObject {
public:
    // Runs at most once every `frames` screen frames.
    FrameThrottle(std::function<void()> run, QObject* parent, int frames = 1);

    // Runs within one interval, once for all requests made until then.
    void Request();
    bool Pending() const { return m_timer.isActive(); }
    // Milliseconds between runs: the primary screen's frame time, times `frames`.
    int Interval() const { return m_interval; }
    // How long before its frame a request may run: one that comes while the thread is awake
    // anyway spares the timer's own wake-up. The timer itself waits as long again past the frame
    // for such a request. On average runs stay at most one an interval.
    static qint64 EarlyNs(int intervalMs) { return qint64(intervalMs) * 1000000 / 4; }

private:
    void Run();

    std::function<void()> m_run;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_nextNs = std::numeric_limits<qint64>::min() / 2; // the next frame on m_clock: none yet
    int m_interval = 16;
};
