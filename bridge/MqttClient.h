// The broker connection over libmosquitto. Its network thread (mosquitto_loop_start) reaches the
// Qt side only through queued calls. Publishing never waits for the broker: per topic only the
// latest unsent payload waits (an older one is replaced, keeping its place in line), and at most
// kInFlight messages are handed to the library at a time, so a slow or absent broker costs a
// bounded outbox, never the caller's time. Incoming messages are bounded the same way: per topic
// the latest waits for the event loop.
#pragma once

#include <QObject>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

struct MqttOptions {
    std::string host;
    int port = 1883;
    bool tls = false;
    std::string caFile; // mqtts: the CA certificate; the system's CAs when empty
    std::string user;
    std::string password;
    std::string clientId;
    std::string willTopic; // "offline", retained, when the connection dies
    int keepAliveSeconds = 30;
    int firstRetrySeconds = 1;
    int longestRetrySeconds = 30;
};

// mqtt://HOST[:PORT] or mqtts://HOST[:PORT] (1883, 8883 unless given) into `options`; false
// with `error` saying what is wrong.
bool ParseMqttUrl(const std::string& url, MqttOptions& options, std::string& error);

class MqttClient : public QObject {
    Q_OBJECT
public:
    static constexpr size_t kInFlight = 32;
    static constexpr size_t kMaxIncomingTopics = 256;

    explicit MqttClient(QObject* parent = nullptr);
    ~MqttClient() override;
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    // Starts connecting in the background (again with back-off whenever the connection is
    // lost); false with `error` when the options cannot be used at all.
    bool Start(const MqttOptions& options, std::string& error);
    // Publishes "offline" on the will topic and waits up to `waitMs` for the broker to take it,
    // then disconnects.
    void Stop(int waitMs = 2000);
    bool IsConnected() const { return m_connected; }

    // QoS 1. Sent at once while the broker keeps up, else waits as the latest of its topic.
    void Publish(const std::string& topic, std::string payload, bool retain);
    // Subscribed again after every reconnect.
    void Subscribe(const std::string& pattern);
    // Unsent payloads waiting, for tests and the bench.
    size_t Waiting() const { return m_order.size(); }
    // Incoming messages dropped because too many topics were waiting.
    uint64_t DroppedIncoming() const;

signals:
    void Connected();
    void Disconnected(const QString& reason);
    // Not for a retained message on a subscription (a command left on the broker).
    void Received(const QString& topic, const QByteArray& payload, bool retained);

private:
    struct Outgoing {
        std::string payload;
        bool retain = false;
    };
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnPublish(mosquitto*, void* self, int mid);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);

    void HandleConnect(int rc);
    void HandleDisconnect(int rc);
    void HandlePublished(int mid);
    void DrainIncoming();
    void SendWaiting();

    mosquitto* m_mosq = nullptr;
    MqttOptions m_options;
    bool m_connected = false;
    bool m_started = false;
    bool m_holding = false;
    std::vector<std::string> m_subscriptions;
    // Outbox (event-loop thread only): latest payload per topic, topics in the order they came.
    std::map<std::string, Outgoing> m_waiting;
    std::deque<std::string> m_order;
    std::set<int> m_inFlight;

    // Incoming, filled on the network thread.
    struct Incoming {
        std::string payload;
        bool retained = false;
    };
    mutable std::mutex m_inMutex;
    std::map<std::string, Incoming> m_incoming;
    std::deque<std::string> m_inOrder;
    bool m_drainPosted = false;
    uint64_t m_dropped = 0;

    // Stop: the last message taken by the broker.
    std::mutex m_stopMutex;
    std::condition_variable m_stopCv;
    int m_stopMid = -1;
    bool m_stopDone = false;
};
