// Every control of the panel as an MQTT device: the headless panel on one side, the broker on
// the other. States, attributes and questions go out as they change; commands on `<slug>/set`
// come back and are carried out as the panel carries out a person's input, or refused on
// `<prefix>/error` with the reason. Home Assistant finds the controls through retained
// discovery configs, removed again for controls a new panel no longer has.
#pragma once

#include <QObject>
#include <map>
#include <set>
#include <string>

#include "MqttClient.h"
#include "PanelSource.h"

struct BridgeOptions {
    std::string prefix; // empty: talvex/<panel title slug>, fixed by the first panel
    bool discovery = true;
    MqttOptions mqtt;
};

class BridgeService : public QObject, public IPanelObserver {
public:
    // Observes `panel` from Start on, until it is destroyed.
    BridgeService(BridgeOptions options, IPanelSource& panel, QObject* parent = nullptr);
    ~BridgeService() override;

    // Connects to the broker at once when the prefix is given, else with the first panel.
    bool Start(std::string& error);
    // Says "offline" and lets go of the broker.
    void Stop();

    MqttClient& Mqtt() { return m_mqtt; }
    const std::string& Prefix() const { return m_prefix; }

private:
    void PanelBuilt() override;
    void ValueChanged(CCtrl& c) override;
    void AttributesChanged(CCtrl& c) override;
    void Question(CCtrl& c) override;
    void QuestionClosed(uint32_t id) override;
    void DeviceState(bool connected, const QString& reason) override;
    void Notice(const QString& text) override;

    bool StartBroker(std::string& error);
    void PublishAll();
    void PublishState(const CCtrl& c);
    void Retain(const std::string& topic, std::string payload);
    void Forget(const std::string& topic);
    void OnCommand(const QString& topic, const QByteArray& payload, bool retained);
    void Refuse(const std::string& slug, const QByteArray& payload, const std::string& reason);
    std::string Topic(uint32_t id, const char* leaf) const;

    BridgeOptions m_options;
    IPanelSource& m_panel;
    MqttClient m_mqtt;
    bool m_brokerStarted = false;
    std::string m_prefix;
    std::string m_node;
    std::map<uint32_t, std::string> m_slugs;
    std::map<std::string, uint32_t> m_ids;
    std::set<uint32_t> m_openQuestions;
    // Retained topics this bridge has filled for the current panel: what a new panel no longer
    // has is emptied.
    std::set<std::string> m_retained;
    // The state last published per topic (bounded by the panel's controls).
    std::map<std::string, std::string> m_lastState;
};
