#include "MqttSettings.h"

#include <qt6keychain/keychain.h>

#include <QSettings>

namespace {

const QString kService = QStringLiteral("Talvex");
const QString kKey = QStringLiteral("mqtt-broker-password");

} // namespace

MqttSettings ReadMqttSettings() {
    QSettings s(QSettings::IniFormat, QSettings::UserScope, "Talvex", "Talvex 3.0");
    s.beginGroup(QStringLiteral("MQTT"));
    MqttSettings m;
    m.broker = s.value(QStringLiteral("Broker")).toString();
    m.user = s.value(QStringLiteral("User")).toString();
    m.prefix = s.value(QStringLiteral("Prefix")).toString();
    m.discovery = s.value(QStringLiteral("Discovery"), true).toBool();
    m.caFile = s.value(QStringLiteral("CaFile")).toString();
    return m;
}

void WriteMqttSettings(const MqttSettings& m) {
    QSettings s(QSettings::IniFormat, QSettings::UserScope, "Talvex", "Talvex 3.0");
    s.beginGroup(QStringLiteral("MQTT"));
    s.setValue(QStringLiteral("Broker"), m.broker);
    s.setValue(QStringLiteral("User"), m.user);
    s.setValue(QStringLiteral("Prefix"), m.prefix);
    s.setValue(QStringLiteral("Discovery"), m.discovery);
    s.setValue(QStringLiteral("CaFile"), m.caFile);
}

void ReadMqttPassword(QObject* context, std::function<void(QString, QString)> done) {
    auto* job = new QKeychain::ReadPasswordJob(kService);
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(kKey);
    QObject::connect(job, &QKeychain::Job::finished, context, [done](QKeychain::Job* j) {
        auto* read = static_cast<QKeychain::ReadPasswordJob*>(j);
        if (read->error() == QKeychain::NoError)
            done(read->textData(), QString());
        else if (read->error() == QKeychain::EntryNotFound)
            done(QString(), QString());
        else
            done(QString(), read->errorString());
    });
    job->start();
}

void WriteMqttPassword(const QString& password, QObject* context,
                       std::function<void(QString)> done) {
    QKeychain::Job* job = nullptr;
    if (password.isEmpty()) {
        auto* remove = new QKeychain::DeletePasswordJob(kService);
        remove->setKey(kKey);
        job = remove;
    } else {
        auto* write = new QKeychain::WritePasswordJob(kService);
        write->setKey(kKey);
        write->setTextData(password);
        job = write;
    }
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    QObject::connect(job, &QKeychain::Job::finished, context, [done](QKeychain::Job* j) {
        const bool ok = j->error() == QKeychain::NoError || j->error() == QKeychain::EntryNotFound;
        done(ok ? QString() : j->errorString());
    });
    job->start();
}
