// The connection's state at the toolbar's right end: not connected, connecting, live, lost or
// reconnecting, with how long the device has been silent, the pings' round trip and misses, the
// page shown and a transfer in progress. One line, cut to the room it has, so that it never
// moves the panel; the tooltip gives the details.
#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

struct ConnectionStatus {
    enum class State { NotConnected, Connecting, Live, Lost, Reconnecting };
    State state = State::NotConnected;
    QString port;
    QString reason;         // why the connection was lost
    QString attemptError;   // why the last attempt to reconnect failed
    int retryInSeconds = 0; // Reconnecting
    qint64 silentMs = -1;   // since the device's last message; -1: nothing to tell
    bool pingOn = false;
    int pingMs = -1; // the last answered ping's round trip; -1: none yet
    int missedPings = 0;
};

class CConnectionIndicator : public QWidget {
    Q_OBJECT
public:
    explicit CConnectionIndicator(QWidget* parent = nullptr);

    void SetStatus(const ConnectionStatus& status);
    const ConnectionStatus& Status() const { return m_status; }
    // "Page 2 of 3" while there is more than one page.
    void SetPage(int page, int count);
    // A transfer from the device: a file name or "Panel", the bytes so far, the total (0 when
    // unknown) and the rate.
    void SetTransfer(const QString& name, qint64 received, qint64 total, double bytesPerSecond);
    void ClearTransfer();
    // A file from the device has been saved: "Saved WHAT in FOLDER" for a few seconds, during
    // which a click asks for the folder to be shown.
    void SetSaved(const QString& what, const QString& folder);
    bool SavedShown() const { return !m_strSaved.isEmpty(); }
    // The MQTT bridge's broker: "MQTT: connected", ...; empty while there is no bridge.
    void SetBroker(const QString& state);

    // The whole line, before it is cut to fit, and the tooltip's lines.
    QString Text() const;
    QString Details() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void FolderRequested(const QString& folder);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Changed();
    QString StateText() const;

    ConnectionStatus m_status;
    int m_nPage = 0;
    int m_nPageCount = 0;
    QString m_strTransfer; // empty: none
    QString m_strTransferDetails;
    QString m_strSaved; // empty: none shown
    QString m_strBroker;
    QString m_strSavedFolder;
    QTimer m_savedTimer;
    // What the line and the tooltip show now.
    QString m_strShown;
    QString m_strShownDetails;
};
