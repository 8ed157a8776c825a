#include "WindowBridge.h"

#include <unistd.h>


#include "BridgeService.h"
#include "MqttDialog.h"
#include "PanelSource.h"
#include "WindowModal.h"

WindowBridge::WindowBridge(IPanelSource& panel, QObject* parent)
    : QObject(parent), m_panel(panel) {}

WindowBridge::~WindowBridge() {
    Stop();
}

void WindowBridge::Stop() {
    ++m_generation;
    m_bridge.reset(); // says "offline" first
    SetState(QString());
}

void WindowBridge::Restart() {
    Stop();
    const MqttSettings settings = ReadMqttSettings();
    if (settings.broker.isEmpty()) return;
    SetState(QStringLiteral("MQTT: starting"));
    const unsigned generation = m_generation;
    ReadMqttPassword(this, [this, settings, generation](QString password, QString error) {
        if (generation != m_generation) return;
        if (!error.isEmpty())
            SetState(QStringLiteral("MQTT: no password from the keychain (%1)").arg(error));
        StartWith(settings, password);
    });
}

void WindowBridge::StartWith(const MqttSettings& s, const QString& password) {
    BridgeOptions options;
    options.prefix = s.prefix.toStdString();
    options.discovery = s.discovery;
    std::string error;
    if (!ParseMqttUrl(s.broker.toStdString(), options.mqtt, error)) {
        SetState(QStringLiteral("MQTT: %1").arg(QString::fromStdString(error)));
        return;
    }
    options.mqtt.user = s.user.toStdString();
    options.mqtt.password = password.toStdString();
    options.mqtt.caFile = s.caFile.toStdString();
    options.mqtt.clientId = "talvex-" + std::to_string(getpid());
    m_bridge = std::make_unique<BridgeService>(options, m_panel);
    connect(&m_bridge->Mqtt(), &MqttClient::Connected, this,
            [this] { SetState(QStringLiteral("MQTT: connected")); });
    connect(&m_bridge->Mqtt(), &MqttClient::Disconnected, this,
            [this](const QString& why) { SetState(QStringLiteral("MQTT: away (%1)").arg(why)); });
    if (!m_bridge->Start(error)) {
        m_bridge.reset();
        SetState(QStringLiteral("MQTT: %1").arg(QString::fromStdString(error)));
        return;
    }
    // Without a prefix the first panel's title names the topics: the broker waits for it.
    if (m_state.isEmpty() || m_state == QStringLiteral("MQTT: starting"))
        SetState(s.prefix.isEmpty() && !m_panel.HasPanel()
                     ? QStringLiteral("MQTT: waiting for a panel")
                     : QStringLiteral("MQTT: connecting"));
}

void WindowBridge::SetState(const QString& state) {
    if (state == m_state) return;
    m_state = state;
    emit StateChanged(state);
}

void WindowBridge::Configure(QWidget* parent) {
    MqttDialog dialog(ReadMqttSettings(), QString(), parent);
    if (ExecWindowModal(dialog) != QDialog::Accepted) return;
    WriteMqttSettings(dialog.Settings());
    const QString password = dialog.Password();
    if (password.isEmpty()) return Restart(); // the stored password stays
    WriteMqttPassword(password, this, [this](QString error) {
        if (!error.isEmpty())
            SetState(
                QStringLiteral("MQTT: the keychain did not keep the password (%1)").arg(error));
        Restart();
    });
}
