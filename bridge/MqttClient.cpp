#include "MqttClient.h"

#include <mosquitto.h>

#include <QMetaObject>
#include <chrono>

namespace {

// libmosquitto is set up once per process.
struct MosquittoLibrary {
    MosquittoLibrary() { mosquitto_lib_init(); }
    ~MosquittoLibrary() { mosquitto_lib_cleanup(); }
};

void EnsureLibrary() {
    static MosquittoLibrary library;
}

} // namespace

bool ParseMqttUrl(const std::string& url, MqttOptions& options, std::string& error) {
    std::string rest;
    if (url.rfind("mqtt://", 0) == 0) {
        options.tls = false;
        options.port = 1883;
        rest = url.substr(7);
    } else if (url.rfind("mqtts://", 0) == 0) {
        options.tls = true;
        options.port = 8883;
        rest = url.substr(8);
    } else {
        error = "the broker must be written mqtt://HOST[:PORT] or mqtts://HOST[:PORT]";
        return false;
    }
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    std::string host = rest;
    const size_t colon = rest.rfind(':');
    const size_t bracket = rest.rfind(']');
    if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
        host = rest.substr(0, colon);
        const std::string port = rest.substr(colon + 1);
        if (port.empty() || port.size() > 5 ||
            port.find_first_not_of("0123456789") != std::string::npos || std::stoi(port) < 1 ||
            std::stoi(port) > 65535) {
            error = "the broker's port must be a number from 1 to 65535";
            return false;
        }
        options.port = std::stoi(port);
    }
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty() || host.find_first_of("/?#@ ") != std::string::npos) {
        error = "the broker URL names no host";
        return false;
    }
    options.host = host;
    return true;
}

MqttClient::MqttClient(QObject* parent) : QObject(parent) {
    EnsureLibrary();
}

MqttClient::~MqttClient() {
    if (m_mosq) {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, true);
        mosquitto_destroy(m_mosq);
    }
}

bool MqttClient::Start(const MqttOptions& options, std::string& error) {
    if (m_started) return true;
    m_options = options;
    m_mosq =
        mosquitto_new(options.clientId.empty() ? nullptr : options.clientId.c_str(), true, this);
    if (!m_mosq) {
        error = "out of memory for the broker connection";
        return false;
    }
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_mosq, &MqttClient::OnConnect);
    mosquitto_disconnect_callback_set(m_mosq, &MqttClient::OnDisconnect);
    mosquitto_publish_callback_set(m_mosq, &MqttClient::OnPublish);
    mosquitto_message_callback_set(m_mosq, &MqttClient::OnMessage);
    mosquitto_reconnect_delay_set(m_mosq, unsigned(options.firstRetrySeconds),
                                  unsigned(options.longestRetrySeconds), true);
    int rc = MOSQ_ERR_SUCCESS;
    if (!options.user.empty())
        rc = mosquitto_username_pw_set(m_mosq, options.user.c_str(),
                                       options.password.empty() ? nullptr
                                                                : options.password.c_str());
    if (rc == MOSQ_ERR_SUCCESS && options.tls)
        rc = mosquitto_tls_set(m_mosq, options.caFile.empty() ? nullptr : options.caFile.c_str(),
                               options.caFile.empty() ? "/etc/ssl/certs" : nullptr, nullptr,
                               nullptr, nullptr);
    if (rc == MOSQ_ERR_SUCCESS && !options.willTopic.empty())
        rc = mosquitto_will_set(m_mosq, options.willTopic.c_str(), 7, "offline", 1, true);
    if (rc != MOSQ_ERR_SUCCESS) {
        error = mosquitto_strerror(rc);
        return false;
    }
    // A broker not there yet is no error: the network thread goes on trying.
    mosquitto_connect_async(m_mosq, options.host.c_str(), options.port, options.keepAliveSeconds);
    rc = mosquitto_loop_start(m_mosq);
    if (rc != MOSQ_ERR_SUCCESS) {
        error = mosquitto_strerror(rc);
        return false;
    }
    m_started = true;
    return true;
}

void MqttClient::Stop(int waitMs) {
    if (!m_mosq || !m_started) return;
    m_started = false;
    if (m_connected && !m_options.willTopic.empty()) {
        std::unique_lock lock(m_stopMutex);
        int mid = 0;
        m_stopDone = false;
        if (mosquitto_publish(m_mosq, &mid, m_options.willTopic.c_str(), 7, "offline", 1, true) ==
            MOSQ_ERR_SUCCESS) {
            m_stopMid = mid;
            m_stopCv.wait_for(lock, std::chrono::milliseconds(waitMs),
                              [this] { return m_stopDone; });
        }
    }
    mosquitto_disconnect(m_mosq);
    mosquitto_loop_stop(m_mosq, false);
    m_connected = false;
}

void MqttClient::Publish(const std::string& topic, std::string payload, bool retain) {
    auto [it, added] = m_waiting.try_emplace(topic);
    it->second = Outgoing{std::move(payload), retain};
    if (added) m_order.push_back(topic);
    SendWaiting();
}

void MqttClient::SendWaiting() {
    while (m_connected && m_started && !m_holding && m_inFlight.size() < kInFlight &&
           !m_order.empty()) {
        const std::string topic = std::move(m_order.front());
        m_order.pop_front();
        auto it = m_waiting.find(topic);
        if (it == m_waiting.end()) continue;
        const Outgoing out = std::move(it->second);
        m_waiting.erase(it);
        int mid = 0;
        const int rc = mosquitto_publish(m_mosq, &mid, topic.c_str(), int(out.payload.size()),
                                         out.payload.data(), 1, out.retain);
        if (rc != MOSQ_ERR_SUCCESS) {
            // Not taken (the connection is going): it waits for the next connection.
            m_waiting.try_emplace(topic, out);
            m_order.push_front(topic);
            return;
        }
        m_inFlight.insert(mid);
    }
}

void MqttClient::Subscribe(const std::string& pattern) {
    m_subscriptions.push_back(pattern);
    if (m_connected) mosquitto_subscribe(m_mosq, nullptr, pattern.c_str(), 1);
}

uint64_t MqttClient::DroppedIncoming() const {
    std::lock_guard g(m_inMutex);
    return m_dropped;
}

void MqttClient::OnConnect(mosquitto*, void* self, int rc) {
    QMetaObject::invokeMethod(
        static_cast<MqttClient*>(self),
        [c = static_cast<MqttClient*>(self), rc] { c->HandleConnect(rc); }, Qt::QueuedConnection);
}

void MqttClient::OnDisconnect(mosquitto*, void* self, int rc) {
    QMetaObject::invokeMethod(
        static_cast<MqttClient*>(self),
        [c = static_cast<MqttClient*>(self), rc] { c->HandleDisconnect(rc); },
        Qt::QueuedConnection);
}

void MqttClient::OnPublish(mosquitto*, void* self, int mid) {
    auto* c = static_cast<MqttClient*>(self);
    {
        std::lock_guard g(c->m_stopMutex);
        if (mid == c->m_stopMid) {
            c->m_stopDone = true;
            c->m_stopCv.notify_all();
            return;
        }
    }
    QMetaObject::invokeMethod(
        c, [c, mid] { c->HandlePublished(mid); }, Qt::QueuedConnection);
}

void MqttClient::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* c = static_cast<MqttClient*>(self);
    if (!message || !message->topic) return;
    bool post = false;
    {
        std::lock_guard g(c->m_inMutex);
        const std::string topic = message->topic;
        auto it = c->m_incoming.find(topic);
        if (it == c->m_incoming.end()) {
            if (c->m_incoming.size() >= kMaxIncomingTopics) {
                ++c->m_dropped;
                return;
            }
            it = c->m_incoming.emplace(topic, Incoming{}).first;
            c->m_inOrder.push_back(topic);
        }
        const auto* bytes = static_cast<const char*>(message->payload);
        it->second.payload.assign(bytes ? bytes : "", bytes ? size_t(message->payloadlen) : 0);
        it->second.retained = message->retain;
        post = !c->m_drainPosted;
        c->m_drainPosted = true;
    }
    if (post)
        QMetaObject::invokeMethod(
            c, [c] { c->DrainIncoming(); }, Qt::QueuedConnection);
}

void MqttClient::DrainIncoming() {
    std::map<std::string, Incoming> incoming;
    std::deque<std::string> order;
    {
        std::lock_guard g(m_inMutex);
        incoming.swap(m_incoming);
        order.swap(m_inOrder);
        m_drainPosted = false;
    }
    for (const std::string& topic : order) {
        const Incoming& in = incoming[topic];
        emit Received(QString::fromStdString(topic),
                      QByteArray(in.payload.data(), qsizetype(in.payload.size())), in.retained);
    }
}

void MqttClient::HandleConnect(int rc) {
    if (rc != 0) {
        emit Disconnected(QString::fromUtf8(mosquitto_connack_string(rc)));
        return;
    }
    m_connected = true;
    for (const std::string& pattern : m_subscriptions)
        mosquitto_subscribe(m_mosq, nullptr, pattern.c_str(), 1);
    // What the handlers publish joins what waits, each topic once, before anything goes.
    m_holding = true;
    emit Connected();
    m_holding = false;
    SendWaiting();
}

void MqttClient::HandleDisconnect(int rc) {
    const bool was = m_connected;
    m_connected = false;
    // What is in flight stays counted: the library sends it again itself after reconnecting and
    // reports it then.
    if (was) emit Disconnected(QString::fromUtf8(mosquitto_strerror(rc)));
}

void MqttClient::HandlePublished(int mid) {
    m_inFlight.erase(mid);
    SendWaiting();
}
