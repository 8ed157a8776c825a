#include "BridgeService.h"

#include <QStringDecoder>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "PanelTopics.h"

namespace {

constexpr int kQuotedCommandBytes = 200;

} // namespace

BridgeService::BridgeService(BridgeOptions options, IPanelSource& panel, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_panel(panel) {
    connect(&m_mqtt, &MqttClient::Connected, this, [this] {
        std::fprintf(stderr, "talvex-bridge: connected to the broker %s:%d\n",
                     m_options.mqtt.host.c_str(), m_options.mqtt.port);
        m_lastState.clear(); // a broker come back gets every state again
        PublishAll();
    });
    connect(&m_mqtt, &MqttClient::Disconnected, this, [](const QString& reason) {
        std::fprintf(stderr, "talvex-bridge: broker: %s\n", qPrintable(reason));
    });
    connect(&m_mqtt, &MqttClient::Received, this, &BridgeService::OnCommand);
}

BridgeService::~BridgeService() {
    Stop();
    m_panel.SetObserver(nullptr);
}

bool BridgeService::Start(std::string& error) {
    if (!m_options.prefix.empty()) {
        m_prefix = m_options.prefix;
        if (!StartBroker(error)) return false;
    }
    m_panel.SetObserver(this);
    if (m_panel.HasPanel()) PanelBuilt(); // a panel already there is published at once
    return true;
}

void BridgeService::Stop() {
    m_mqtt.Stop();
}

bool BridgeService::StartBroker(std::string& error) {
    if (m_brokerStarted) return true;
    while (!m_prefix.empty() && m_prefix.back() == '/') m_prefix.pop_back();
    m_node = TopicSlug(QString::fromStdString(m_prefix));
    MqttOptions mqtt = m_options.mqtt;
    mqtt.willTopic = m_prefix + "/status";
    if (!m_mqtt.Start(mqtt, error)) return false;
    m_mqtt.Subscribe(m_prefix + "/+/set");
    m_brokerStarted = true;
    return true;
}

std::string BridgeService::Topic(uint32_t id, const char* leaf) const {
    const auto slug = m_slugs.find(id);
    return slug == m_slugs.end() ? std::string() : m_prefix + "/" + slug->second + "/" + leaf;
}

void BridgeService::Retain(const std::string& topic, std::string payload) {
    if (topic.empty() || !m_brokerStarted) return;
    m_retained.insert(topic);
    m_mqtt.Publish(topic, std::move(payload), true);
}

void BridgeService::Forget(const std::string& topic) {
    m_retained.erase(topic);
    m_mqtt.Publish(topic, std::string(), true); // an empty retained message removes it
}

void BridgeService::PanelBuilt() {
    if (!m_brokerStarted) {
        // The prefix comes from the first panel's title and stays: topics must not wander.
        std::string slug = TopicSlug(m_panel.Title());
        m_prefix = "talvex/" + (slug.empty() ? std::string("panel") : slug);
        std::string error;
        if (!StartBroker(error)) {
            std::fprintf(stderr, "talvex-bridge: %s\n", error.c_str());
            return;
        }
    }
    m_slugs = ControlSlugs(m_panel.Ctrls());
    m_ids.clear();
    for (const auto& [id, slug] : m_slugs) m_ids[slug] = id;
    // A question the records asked while they were built (or one still open from before a new
    // layout) stays open while its message box does.
    for (auto id = m_openQuestions.begin(); id != m_openQuestions.end();) {
        const CCtrl* c = FindCtrl(m_panel.Ctrls(), *id);
        const bool asked = c && c->m_nType == TYPE_MESSAGEBOX && (c->m_dwFlags & CTRLF_BOX_SHOWN);
        id = asked ? std::next(id) : m_openQuestions.erase(id);
    }
    m_lastState.clear();
    const std::set<std::string> before = std::move(m_retained);
    m_retained.clear();
    PublishAll();
    for (const std::string& topic : before)
        if (!m_retained.count(topic)) Forget(topic);
}

void BridgeService::PublishAll() {
    if (!m_brokerStarted) return;
    const bool online = m_panel.HasPanel();
    m_mqtt.Publish(m_prefix + "/status", online ? "online" : "offline", true);
    if (!online) return;
    const QString title = m_panel.Title();
    Retain(m_prefix + "/panel",
           PanelDescription(m_panel.Ctrls(), m_slugs, title, m_panel.AboutText()));
    for (const auto& c : m_panel.Ctrls()) {
        if (!c || !m_slugs.count(c->m_nId)) continue;
        Retain(Topic(c->m_nId, "attributes"), AttributesText(*c));
        PublishState(*c);
        if (m_openQuestions.count(c->m_nId)) Retain(Topic(c->m_nId, "question"), QuestionText(*c));
    }
    if (m_options.discovery)
        for (RetainedConfig& config :
             DiscoveryConfigs(m_panel.Ctrls(), m_slugs, m_prefix, m_node, title))
            Retain(config.topic, std::move(config.payload));
}

void BridgeService::PublishState(const CCtrl& c) {
    std::optional<std::string> state = StateText(c);
    if (!state) return;
    // A value told twice (the record's refresh, then the command's own word) goes out once.
    const std::string topic = Topic(c.m_nId, "state");
    std::string& last = m_lastState[topic];
    if (last == *state && m_retained.count(topic)) return;
    last = *state;
    Retain(topic, std::move(*state));
}

void BridgeService::ValueChanged(CCtrl& c) {
    PublishState(c);
}

void BridgeService::AttributesChanged(CCtrl& c) {
    Retain(Topic(c.m_nId, "attributes"), AttributesText(c));
}

void BridgeService::Question(CCtrl& c) {
    m_openQuestions.insert(c.m_nId);
    Retain(Topic(c.m_nId, "question"), QuestionText(c));
}

void BridgeService::DeviceState(bool connected, const QString& reason) {
    if (!connected) {
        std::fprintf(stderr, "talvex-bridge: device: %s\n", qPrintable(reason));
        for (uint32_t id : m_openQuestions) Forget(Topic(id, "question"));
        m_openQuestions.clear();
    }
    if (m_brokerStarted)
        m_mqtt.Publish(m_prefix + "/status", connected ? "online" : "offline", true);
}

void BridgeService::Notice(const QString& text) {
    std::fprintf(stderr, "talvex-bridge: %s\n", qPrintable(text));
}

void BridgeService::OnCommand(const QString& topic, const QByteArray& payload, bool retained) {
    const std::string t = topic.toStdString();
    const std::string head = m_prefix + "/";
    const std::string tail = "/set";
    if (t.size() <= head.size() + tail.size() || t.compare(0, head.size(), head) != 0 ||
        t.compare(t.size() - tail.size(), tail.size(), tail) != 0)
        return;
    const std::string slug = t.substr(head.size(), t.size() - head.size() - tail.size());
    if (retained) return Refuse(slug, payload, "malformed: a retained command is not carried out");
    if (!m_panel.HasPanel()) return Refuse(slug, payload, "the device is not connected");
    const auto id = m_ids.find(slug);
    CCtrl* c = id == m_ids.end() ? nullptr : FindCtrl(m_panel.Ctrls(), id->second);
    if (!c) return Refuse(slug, payload, "unknown control");
    const uint32_t ctrlId = c->m_nId;
    // Taken before the answer goes: whatever runs meanwhile finds the question closed, so one
    // question gets one answer.
    const bool question = m_openQuestions.erase(ctrlId) != 0;
    const std::string reason = ApplyCommand(*c, payload, question);
    if (!reason.empty()) {
        if (question) m_openQuestions.insert(ctrlId);
        return Refuse(slug, payload, reason);
    }
    // A value told twice (the record's refresh, then this) goes out once.
    PublishState(*c);
    if (question) {
        Forget(Topic(ctrlId, "question"));
        m_panel.CloseQuestion(ctrlId);
    }
}

void BridgeService::QuestionClosed(uint32_t id) {
    if (m_openQuestions.erase(id)) Forget(Topic(id, "question"));
}

void BridgeService::Refuse(const std::string& slug, const QByteArray& payload,
                           const std::string& reason) {
    QStringDecoder decode(QStringDecoder::Utf8);
    const QString quoted = decode(payload.left(kQuotedCommandBytes));
    const nlohmann::json j = {{"control", slug},
                              {"command", decode.hasError() ? std::string() : quoted.toStdString()},
                              {"reason", reason}};
    m_mqtt.Publish(m_prefix + "/error",
                   j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), false);
}
