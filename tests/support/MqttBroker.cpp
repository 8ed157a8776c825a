#include "MqttBroker.h"

#include <arpa/inet.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <thread>

extern char** environ;

namespace {

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

} // namespace

uint16_t FreeLoopbackPort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    socklen_t n = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    close(s);
    return ntohs(a.sin_port);
}

namespace {

bool Listening(uint16_t port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in a = Loopback(port);
    const bool ok = connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    close(s);
    return ok;
}

struct Library {
    Library() { mosquitto_lib_init(); }
};

} // namespace

bool Eventually(const std::function<bool()>& ready, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

pid_t SpawnProgram(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
}

void EndProgram(pid_t& pid, int signal) {
    if (pid <= 0) return;
    kill(pid, signal);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

MosquittoBroker::MosquittoBroker(std::filesystem::path dir, std::string extra)
    : m_dir(std::move(dir)), m_extra(std::move(extra)) {}

bool MosquittoBroker::Start() {
    if (!m_port) m_port = FreeLoopbackPort();
    const std::filesystem::path conf = m_dir / "mosquitto.conf";
    std::ofstream(conf) << "listener " << m_port << " 127.0.0.1\n"
                        << "persistence false\nlog_dest none\n"
                        << m_extra;
    m_pid = SpawnProgram({kMosquittoProgram, "-c", conf.string()});
    return m_pid > 0 && Eventually([this] { return Listening(m_port); });
}

void MosquittoBroker::Stop() {
    EndProgram(m_pid, SIGTERM);
}

MqttWatcher::MqttWatcher(uint16_t port, std::vector<std::string> patterns, const std::string& user,
                         const std::string& password, Hook onMessage)
    : m_patterns(std::move(patterns)), m_hook(std::move(onMessage)) {
    static Library library;
    m_mosq = mosquitto_new(nullptr, true, this);
    if (!user.empty()) mosquitto_username_pw_set(m_mosq, user.c_str(), password.c_str());
    mosquitto_message_callback_set(m_mosq, [](mosquitto*, void* self, const mosquitto_message* m) {
        auto* w = static_cast<MqttWatcher*>(self);
        std::string payload(static_cast<const char*>(m->payload), size_t(m->payloadlen));
        if (w->m_hook) w->m_hook(m->topic, payload);
        std::lock_guard g(w->m_mutex);
        w->m_latest[m->topic] = std::move(payload);
    });
    mosquitto_connect_callback_set(m_mosq, [](mosquitto* mosq, void* self, int rc) {
        if (rc != 0) return;
        for (const std::string& p : static_cast<MqttWatcher*>(self)->m_patterns)
            mosquitto_subscribe(mosq, nullptr, p.c_str(), 1);
    });
    mosquitto_connect(m_mosq, "127.0.0.1", port, 30);
    mosquitto_loop_start(m_mosq);
}

MqttWatcher::~MqttWatcher() {
    mosquitto_disconnect(m_mosq);
    mosquitto_loop_stop(m_mosq, false);
    mosquitto_destroy(m_mosq);
}

std::string MqttWatcher::Latest(const std::string& topic) {
    std::lock_guard g(m_mutex);
    auto it = m_latest.find(topic);
    return it == m_latest.end() ? std::string("<none>") : it->second;
}

bool MqttWatcher::WaitFor(const std::string& topic, const std::string& payload,
                          std::chrono::milliseconds limit) {
    return Eventually([&] { return Latest(topic) == payload; }, limit);
}

bool MqttWatcher::WaitForChange(const std::string& topic, const std::string& from) {
    return Eventually([&] {
        const std::string now = Latest(topic);
        return now != "<none>" && now != from;
    });
}

void MqttWatcher::Publish(const std::string& topic, const std::string& payload) {
    mosquitto_publish(m_mosq, nullptr, topic.c_str(), int(payload.size()), payload.data(), 1,
                      false);
}
