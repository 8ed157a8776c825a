// The window's MQTT bridge: the same bridge as talvex-bridge, over the view's own records, set up
// from the settings and the keychain's password, restarted when they change.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "MqttSettings.h"

class BridgeService;
class IPanelSource;

class WindowBridge : public QObject {
    Q_OBJECT
public:
    WindowBridge(IPanelSource& panel, QObject* parent = nullptr);
    ~WindowBridge() override;

    // Reads the settings and the password, then starts the bridge anew (none without a broker).
    void Restart();
    // Says "offline" and lets go of the broker.
    void Stop();
    // Settings > MQTT...: the dialog, and on OK the settings stored and the bridge restarted.
    void Configure(QWidget* parent);
    // What the indicator shows: empty while there is no bridge.
    QString State() const { return m_state; }

signals:
    void StateChanged(const QString& state);

private:
    void StartWith(const MqttSettings& settings, const QString& password);
    void SetState(const QString& state);

    IPanelSource& m_panel;
    std::unique_ptr<BridgeService> m_bridge;
    QString m_state;
    unsigned m_generation = 0; // a keychain answer for an earlier Restart is dropped
};
