// Time and the one pending wait of the connection's status and reconnects: a steady clock in
// milliseconds and a single-shot wait that a new wait or Cancel replaces. Tests put a clock of
// their own in its place and move it on by hand.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <functional>

class CConnectionClock {
public:
    CConnectionClock();
    virtual ~CConnectionClock() = default;
    CConnectionClock(const CConnectionClock&) = delete;
    CConnectionClock& operator=(const CConnectionClock&) = delete;

    virtual qint64 NowMs() const;
    // Calls `done` once, `ms` from now (user-interface thread).
    virtual void Wait(qint64 ms, std::function<void()> done);
    virtual void Cancel();

private:
    QElapsedTimer m_elapsed;
    QTimer m_timer;
    std::function<void()> m_done;
};
