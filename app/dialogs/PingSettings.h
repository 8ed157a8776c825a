// The Ping Settings dialog: whether the client confirms the device's presence, and every how
// many seconds (1 to 10000000). The period box is enabled exactly while the check box is ticked.
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;

class PingSettings : public QDialog {
    Q_OBJECT
public:
    PingSettings(bool on, int seconds, QWidget* parent = nullptr);

    // After OK.
    bool PingOn() const { return m_bPingOn; }
    int Seconds() const { return m_nSeconds; }

public slots:
    void accept() override;

private:
    QCheckBox* m_pOn;
    QLineEdit* m_pSeconds;
    bool m_bPingOn;
    int m_nSeconds;
};
