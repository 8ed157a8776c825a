// SIGTERM, SIGINT and SIGHUP, caught for the user-interface thread: the handler only writes the
// signal's number to a pipe (about all a handler may safely do), and a notifier on the pipe's
// other end reports it on the thread that owns this object. One per process; the handlers that
// were there before come back when it goes.
#pragma once

#include <QObject>

class QSocketNotifier;

class CQuitSignals : public QObject {
    Q_OBJECT
public:
    explicit CQuitSignals(QObject* parent = nullptr);
    ~CQuitSignals() override;
    CQuitSignals(const CQuitSignals&) = delete;
    CQuitSignals& operator=(const CQuitSignals&) = delete;

    bool IsInstalled() const { return m_pNotifier != nullptr; }

signals:
    void Caught(int signal);

private:
    void Read();
    QSocketNotifier* m_pNotifier = nullptr;
};
