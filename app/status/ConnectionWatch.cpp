#include "ConnectionWatch.h"

#include <algorithm>
#include <climits>

using State = ConnectionStatus::State;

CConnectionWatch::CConnectionWatch(CConnectionIndicator* indicator, QObject* parent)
    : QObject(parent), m_pIndicator(indicator) {
    // Ages and the countdown move on by themselves.
    connect(&m_refresh, &QTimer::timeout, this, &CConnectionWatch::Refresh);
    m_refresh.start(1000);
    Refresh();
}

CConnectionWatch::~CConnectionWatch() {
    Clock().Cancel();
}

void CConnectionWatch::SetClock(CConnectionClock* clock) {
    Clock().Cancel();
    m_pClock = clock;
    Refresh();
}

void CConnectionWatch::SetReopen(std::function<QString()> reopen,
                                 std::function<void(bool again)> abandon) {
    m_reopen = std::move(reopen);
    m_abandon = std::move(abandon);
}

void CConnectionWatch::Connecting(const QString& port) {
    Clock().Cancel();
    m_bRetrying = m_bAttemptOpen = false;
    m_nNextRetryMs = kFirstRetryMs;
    m_nLastMessageMs = m_nPingSentMs = -1;
    const bool pingOn = m_status.pingOn;
    m_status = ConnectionStatus{};
    m_status.state = State::Connecting;
    m_status.port = port;
    m_status.pingOn = pingOn;
    AwaitAnswer();
    Refresh();
}

void CConnectionWatch::Answered() {
    m_nLastMessageMs = Clock().NowMs();
    // Already live and heard from within the second shown: nothing to show anew. The age moves
    // on with the refresh timer.
    if (m_status.state == State::Live && !m_bAttemptOpen && !m_bRetrying &&
        m_status.silentMs >= 0 && m_status.silentMs < 1000)
        return;
    if (m_bAttemptOpen) Clock().Cancel(); // the wait for an answer
    m_bRetrying = m_bAttemptOpen = false;
    m_nNextRetryMs = kFirstRetryMs;
    m_status.state = State::Live;
    m_status.reason.clear();
    m_status.attemptError.clear();
    Refresh();
}

void CConnectionWatch::Named(const QString& port) {
    if (port == m_status.port) return;
    m_status.port = port;
    Refresh();
}

void CConnectionWatch::PingSent() {
    m_nPingSentMs = Clock().NowMs();
}

void CConnectionWatch::PingAnswered() {
    if (m_nPingSentMs < 0) return;
    m_status.pingMs = int(std::min<qint64>(Clock().NowMs() - m_nPingSentMs, INT_MAX));
    m_nPingSentMs = -1;
    Refresh();
}

void CConnectionWatch::PingMissed() {
    ++m_status.missedPings;
    m_nPingSentMs = -1;
    Refresh();
}

void CConnectionWatch::SetPingOn(bool on) {
    m_status.pingOn = on;
    Refresh();
}

bool CConnectionWatch::Lost(const QString& reason, bool reconnect) {
    const bool news = !m_bRetrying;
    if (m_bAttemptOpen) Clock().Cancel();
    m_bAttemptOpen = false;
    m_nPingSentMs = -1;
    if (news) m_status.reason = reason.isEmpty() ? QStringLiteral("the device is gone") : reason;
    m_bReconnect = reconnect;
    if (reconnect) {
        ScheduleRetry();
    } else {
        m_bRetrying = false;
        m_status.state = State::Lost;
        Refresh();
    }
    return news;
}

void CConnectionWatch::Ended() {
    Clock().Cancel();
    m_bRetrying = m_bAttemptOpen = false;
    m_nLastMessageMs = m_nPingSentMs = -1;
    m_status.state = State::NotConnected;
    m_status.reason.clear();
    m_status.attemptError.clear();
    Refresh();
}

void CConnectionWatch::SetReconnect(bool on) {
    m_bReconnect = on;
    if (!on && m_bRetrying) {
        m_bRetrying = false;
        // An attempt already open goes on as a plain connect, with its wait for an answer.
        if (!m_bAttemptOpen) {
            Clock().Cancel();
            m_status.state = State::Lost;
        }
        Refresh();
    } else if (on && m_status.state == State::Lost) {
        m_nNextRetryMs = kFirstRetryMs;
        ScheduleRetry();
    }
}

void CConnectionWatch::ScheduleRetry() {
    m_bRetrying = true;
    m_nRetryWaitMs = m_nNextRetryMs;
    m_nNextRetryMs = std::min(m_nNextRetryMs * 2, kLongestRetryMs);
    m_nRetryAtMs = Clock().NowMs() + m_nRetryWaitMs;
    m_status.state = State::Reconnecting;
    Clock().Wait(m_nRetryWaitMs, [this] { Attempt(); });
    Refresh();
}

void CConnectionWatch::Attempt() {
    const QString error = m_reopen ? m_reopen() : QStringLiteral("nothing to open");
    if (!error.isEmpty()) {
        m_status.attemptError = error;
        ScheduleRetry();
        return;
    }
    m_nLastMessageMs = -1;
    m_status.state = State::Connecting;
    AwaitAnswer();
    Refresh();
}

void CConnectionWatch::AwaitAnswer() {
    m_bAttemptOpen = true;
    Clock().Wait(kAnswerWaitMs, [this] { Unanswered(); });
}

void CConnectionWatch::Unanswered() {
    m_bAttemptOpen = false;
    if (m_bRetrying) {
        m_status.attemptError = QStringLiteral("no answer");
        if (m_abandon) m_abandon(true);
        ScheduleRetry();
        return;
    }
    m_status.state = State::NotConnected;
    Refresh();
    if (m_abandon) m_abandon(false);
}

void CConnectionWatch::Refresh() {
    const qint64 now = Clock().NowMs();
    m_status.silentMs = m_nLastMessageMs >= 0 ? now - m_nLastMessageMs : -1;
    m_status.retryInSeconds = int((std::max<qint64>(m_nRetryAtMs - now, 0) + 999) / 1000);
    if (m_pIndicator) m_pIndicator->SetStatus(m_status);
}
