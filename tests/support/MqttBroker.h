// A mosquitto broker of a test's own on a free loopback port (its configuration in the test's
// folder; stopped and started again on the same port), a libmosquitto watcher of its topics, and
// the child processes around them.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;

inline constexpr const char* kMosquittoProgram = "/usr/sbin/mosquitto";

// A loopback port nobody listens on at the moment.
uint16_t FreeLoopbackPort();
// Asks `ready` every 10 ms until it holds or the time is up.
bool Eventually(const std::function<bool()>& ready,
                std::chrono::milliseconds limit = std::chrono::milliseconds(5000));
// The program args[0] started with args; -1 when it cannot be.
pid_t SpawnProgram(const std::vector<std::string>& args);
// Sends the signal and reaps the child; pid becomes -1.
void EndProgram(pid_t& pid, int signal);

class MosquittoBroker {
public:
    // `extra`: further configuration lines.
    MosquittoBroker(std::filesystem::path dir, std::string extra);
    ~MosquittoBroker() { Stop(); }
    // Started and listening.
    bool Start();
    void Stop();
    uint16_t Port() const { return m_port; }
    std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(m_port); }

private:
    std::filesystem::path m_dir;
    std::string m_extra;
    uint16_t m_port = 0;
    pid_t m_pid = -1;
};

// Subscribes to `patterns` and keeps the latest payload of each topic; `onMessage`, when given,
// hears every message on the network thread.
class MqttWatcher {
public:
    using Hook = std::function<void(const std::string& topic, const std::string& payload)>;
    MqttWatcher(uint16_t port, std::vector<std::string> patterns, const std::string& user = {},
                const std::string& password = {}, Hook onMessage = {});
    ~MqttWatcher();
    MqttWatcher(const MqttWatcher&) = delete;
    MqttWatcher& operator=(const MqttWatcher&) = delete;

    // "<none>" before any message on the topic.
    std::string Latest(const std::string& topic);
    bool WaitFor(const std::string& topic, const std::string& payload,
                 std::chrono::milliseconds limit = std::chrono::milliseconds(5000));
    bool WaitForChange(const std::string& topic, const std::string& from);
    void Publish(const std::string& topic, const std::string& payload);

private:
    mosquitto* m_mosq = nullptr;
    std::vector<std::string> m_patterns;
    Hook m_hook;
    std::mutex m_mutex;
    std::map<std::string, std::string> m_latest;
};
