// Settings > MQTT...: the broker, user, password, topic prefix, Home Assistant discovery and CA
// file of the window's MQTT bridge.
#pragma once

#include <QDialog>

#include "MqttSettings.h"

class QCheckBox;
class QLineEdit;

class MqttDialog : public QDialog {
    Q_OBJECT
public:
    MqttDialog(const MqttSettings& settings, const QString& password, QWidget* parent = nullptr);

    MqttSettings Settings() const;
    QString Password() const;

private:
    void Check();

    QLineEdit* m_pBroker;
    QLineEdit* m_pUser;
    QLineEdit* m_pPassword;
    QLineEdit* m_pPrefix;
    QCheckBox* m_pDiscovery;
    QLineEdit* m_pCaFile;
};
