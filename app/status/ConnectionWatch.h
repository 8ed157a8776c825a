// Follows the connection for the indicator, and brings a lost device back: after a loss, when
// asked to, it reopens the same port after 1, 2, 4 ... up to 30 s until the device answers. A
// loss is news once, however many attempts fail after it. User-interface thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>

#include "ConnectionClock.h"
#include "ConnectionIndicator.h"

class CConnectionWatch : public QObject {
    Q_OBJECT
public:
    explicit CConnectionWatch(CConnectionIndicator* indicator, QObject* parent = nullptr);
    ~CConnectionWatch() override;

    // Not owned; null puts the steady clock back.
    void SetClock(CConnectionClock* clock);
    // reopen: opens the same port again without asking anyone; empty, or why it failed.
    // abandon: closes an attempt the device never answered; `again` when another attempt
    // follows, else the user's Connect is over.
    void SetReopen(std::function<QString()> reopen, std::function<void(bool again)> abandon);

    // The user's Connect: a pending attempt stops, the counts start again. A device that does
    // not answer within kAnswerWaitMs is given up.
    void Connecting(const QString& port);
    // Any message from the device.
    void Answered();
    // The port's name as shown, once it is known better than when connecting began.
    void Named(const QString& port);
    void PingSent();
    void PingAnswered();
    void PingMissed();
    void SetPingOn(bool on);
    // The connection ended without a goodbye. True when this is news: the device had answered
    // since the last loss (a failed attempt to reconnect is no new loss).
    bool Lost(const QString& reason, bool reconnect);
    // Close, a failed Connect, or the device's goodbye: nothing to reconnect.
    void Ended();
    // The setting changed: a pending attempt stops, or attempts start after a loss.
    void SetReconnect(bool on);
    // The indicator brought up to date (once a second on its own).
    void Refresh();

    bool IsRetrying() const { return m_bRetrying; }
    // A port is open and the device has not answered yet.
    bool IsAwaitingAnswer() const { return m_bAttemptOpen; }
    // The wait before the pending attempt, in milliseconds (0: none pending).
    qint64 RetryDelayMs() const { return m_bRetrying && !m_bAttemptOpen ? m_nRetryWaitMs : 0; }
    static constexpr qint64 kFirstRetryMs = 1000;
    static constexpr qint64 kLongestRetryMs = 30000;
    // A connection whose port opened but which the device does not answer counts as failed.
    static constexpr qint64 kAnswerWaitMs = 10000;

private:
    void ScheduleRetry();
    void Attempt();
    void AwaitAnswer();
    void Unanswered();
    CConnectionClock& Clock() const { return m_pClock ? *m_pClock : m_ownClock; }

    QPointer<CConnectionIndicator> m_pIndicator; // the frame's; it may go first
    mutable CConnectionClock m_ownClock;
    CConnectionClock* m_pClock = nullptr;
    QTimer m_refresh;
    std::function<QString()> m_reopen;
    std::function<void(bool again)> m_abandon;
    ConnectionStatus m_status;
    qint64 m_nLastMessageMs = -1;
    qint64 m_nPingSentMs = -1;
    bool m_bReconnect = false;
    bool m_bRetrying = false;    // after a loss, until the device answers or the user steps in
    bool m_bAttemptOpen = false; // a port is open, the device has not answered
    qint64 m_nNextRetryMs = kFirstRetryMs;
    qint64 m_nRetryWaitMs = 0;
    qint64 m_nRetryAtMs = 0;
};
