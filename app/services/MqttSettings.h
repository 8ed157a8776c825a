// The window's MQTT bridge settings: broker, user, prefix, discovery and CA file in the settings
// file (group "MQTT"); the password only in the desktop's keychain, never in the file or a log.
#pragma once

#include <QString>
#include <functional>

class QObject;

struct MqttSettings {
    QString broker; // mqtt://HOST[:PORT] or mqtts://...; empty: no bridge
    QString user;
    QString prefix; // empty: talvex/<panel title>
    bool discovery = true;
    QString caFile;
};

MqttSettings ReadMqttSettings();
void WriteMqttSettings(const MqttSettings& settings);

// The keychain's answer comes later on the calling thread, to `context` while it lives;
// `error` is empty on success. A password never stored reads as empty, without an error.
void ReadMqttPassword(QObject* context, std::function<void(QString password, QString error)> done);
// An empty password removes the stored one.
void WriteMqttPassword(const QString& password, QObject* context,
                       std::function<void(QString error)> done);
