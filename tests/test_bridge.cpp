// talvex-bridge as a process between a simulated device on a pseudo-terminal and a real
// mosquitto broker started here on a free loopback port; a libmosquitto subscriber watches.
#include <arpa/inet.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "PanelFile.h"
#include "SimPorts.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using namespace std::chrono_literals;

constexpr const char* kMosquitto = "/usr/sbin/mosquitto";
constexpr const char* kPrefix = "talvex/test_bench";

constexpr const char* kPanel = R"({
  "title": "Test bench",
  "controls": [
    { "kind": "number", "id": 1, "name": "Level", "value": 10, "exponent": -1, "decimals": 1,
      "format": "%% bar" },
    { "kind": "number", "id": 2, "name": "Set-point", "value": 200, "min": 50, "max": 400,
      "exponent": -1, "decimals": 1, "flags": ["editable", "clampMin", "clampMax"] },
    { "kind": "latch", "id": 3, "name": "Pump" },
    { "kind": "list", "id": 4, "name": "Mode", "items": ["Auto", "Manual"], "value": "Auto" },
    { "kind": "text", "id": 5, "name": "Label", "flags": ["editable"], "value": "abc",
      "maxSize": 8 },
    { "kind": "datetime", "id": 6, "name": "Clock", "value": "2026-12-08 14:30:00" },
    { "kind": "button", "id": 7, "name": "Go" }
  ],
  "behaviour": [ { "type": "counter", "id": 1, "period": 0.1, "from": 0, "to": 100000 } ]
})";

uint16_t FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    close(s);
    return ntohs(a.sin_port);
}

bool Listening(uint16_t port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    const bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(s);
    return ok;
}

// Polls `ready` until it holds or the time is up.
bool Eventually(const std::function<bool()>& ready, std::chrono::milliseconds limit = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

pid_t Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
}

void End(pid_t& pid, int signal) {
    if (pid <= 0) return;
    kill(pid, signal);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

// A broker of our own on a loopback port, stopped and started again on the same port.
class Broker {
public:
    Broker(const fs::path& dir, std::string extra) : m_dir(dir), m_extra(std::move(extra)) {}
    ~Broker() { Stop(); }
    bool Start() {
        if (!m_port) m_port = FreePort();
        std::ofstream(m_dir / "mosquitto.conf") << "listener " << m_port << " 127.0.0.1\n"
                                                << "persistence false\nlog_dest none\n"
                                                << m_extra;
        m_pid = Spawn({kMosquitto, "-c", (m_dir / "mosquitto.conf").string()});
        return m_pid > 0 && Eventually([this] { return Listening(m_port); });
    }
    void Stop() { End(m_pid, SIGTERM); }
    uint16_t Port() const { return m_port; }
    std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(m_port); }

private:
    fs::path m_dir;
    std::string m_extra;
    uint16_t m_port = 0;
    pid_t m_pid = -1;
};

// Everything under the prefix and the discovery topics, the latest payload of each topic.
class Subscriber {
public:
    Subscriber(uint16_t port, const std::string& user = {}, const std::string& password = {}) {
        m_mosq = mosquitto_new(nullptr, true, this);
        if (!user.empty()) mosquitto_username_pw_set(m_mosq, user.c_str(), password.c_str());
        mosquitto_message_callback_set(
            m_mosq, [](mosquitto*, void* self, const mosquitto_message* m) {
                auto* s = static_cast<Subscriber*>(self);
                std::lock_guard g(s->m_mutex);
                s->m_latest[m->topic] =
                    std::string(static_cast<const char*>(m->payload), size_t(m->payloadlen));
                ++s->m_count[m->topic];
            });
        mosquitto_connect_callback_set(m_mosq, [](mosquitto* mosq, void*, int rc) {
            if (rc == 0) {
                mosquitto_subscribe(mosq, nullptr, "talvex/#", 1);
                mosquitto_subscribe(mosq, nullptr, "homeassistant/#", 1);
            }
        });
        mosquitto_connect(m_mosq, "127.0.0.1", port, 30);
        mosquitto_loop_start(m_mosq);
    }
    ~Subscriber() {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, false);
        mosquitto_destroy(m_mosq);
    }
    std::string Latest(const std::string& topic) {
        std::lock_guard g(m_mutex);
        auto it = m_latest.find(topic);
        return it == m_latest.end() ? std::string("<none>") : it->second;
    }
    int Count(const std::string& topic) {
        std::lock_guard g(m_mutex);
        return m_count[topic];
    }
    bool WaitFor(const std::string& topic, const std::string& payload,
                 std::chrono::milliseconds limit = 5000ms) {
        return Eventually([&] { return Latest(topic) == payload; }, limit);
    }
    bool WaitForError(const std::string& reason) {
        return Eventually([&] {
            const std::string e = Latest(std::string(kPrefix) + "/error");
            return e != "<none>" && json::parse(e).value("reason", "").rfind(reason, 0) == 0;
        });
    }
    void Publish(const std::string& topic, const std::string& payload) {
        mosquitto_publish(m_mosq, nullptr, topic.c_str(), int(payload.size()), payload.data(), 1,
                          false);
    }
    std::map<std::string, std::string> Snapshot() {
        std::lock_guard g(m_mutex);
        return m_latest;
    }

private:
    mosquitto* m_mosq = nullptr;
    std::mutex m_mutex;
    std::map<std::string, std::string> m_latest;
    std::map<std::string, int> m_count;
};

class Bridge : public ::testing::Test {
protected:
    static void SetUpTestSuite() { mosquitto_lib_init(); }

    void SetUp() override {
        if (access(kMosquitto, X_OK) != 0) GTEST_SKIP() << kMosquitto << " is not installed";
        m_dir = fs::temp_directory_path() / ("talvex-bridge-test-" + std::to_string(getpid()));
        fs::create_directories(m_dir);
        m_broker = std::make_unique<Broker>(m_dir, Extra());
        ASSERT_TRUE(m_broker->Start());
        StartDevice();
        StartBridge();
    }
    void TearDown() override {
        End(m_bridge, SIGTERM);
        m_device.reset();
        m_broker.reset();
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    virtual std::string Extra() { return "allow_anonymous true\n"; }
    virtual std::vector<std::string> BridgeArgs() { return {}; }

    void StartDevice() {
        PanelFileResult panel = ParsePanelText(kPanel, "bench.json", DiskReader("."));
        ASSERT_TRUE(panel.panel) << panel.error;
        std::string error;
        m_device = SimPtyDevice::Start(*panel.panel, {}, error, (m_dir / "device").string());
        ASSERT_TRUE(m_device) << error;
    }
    void StartBridge() {
        std::vector<std::string> args = {TALVEX_BRIDGE, "--port", (m_dir / "device").string(),
                                         "--mqtt", m_broker->Url()};
        for (const std::string& a : BridgeArgs()) args.push_back(a);
        m_bridge = Spawn(args);
        ASSERT_GT(m_bridge, 0);
    }
    int32_t DeviceValue(uint32_t id) { return m_device->Engine().Control(id)->number; }
    static std::string Topic(const std::string& leaf) { return std::string(kPrefix) + "/" + leaf; }

    fs::path m_dir;
    std::unique_ptr<Broker> m_broker;
    std::unique_ptr<SimPtyDevice> m_device;
    pid_t m_bridge = -1;
};

TEST_F(Bridge, PublishesThePanelItsStatesAndDiscoveryRetained) {
    {
        Subscriber live(m_broker->Port());
        ASSERT_TRUE(live.WaitFor(Topic("status"), "online"));
        // The device's counter pushes new values: they arrive as state.
        const std::string first = live.Latest(Topic("level/state"));
        ASSERT_TRUE(Eventually([&] {
            const std::string now = live.Latest(Topic("level/state"));
            return now != "<none>" && now != first;
        }));
    }
    // A subscriber coming later finds everything retained.
    Subscriber late(m_broker->Port());
    ASSERT_TRUE(late.WaitFor(Topic("set_point/state"), "20"));
    EXPECT_TRUE(late.WaitFor(Topic("status"), "online"));
    EXPECT_TRUE(late.WaitFor(Topic("pump/state"), "OFF"));
    EXPECT_TRUE(late.WaitFor(Topic("mode/state"), "Auto"));
    EXPECT_TRUE(late.WaitFor(Topic("label/state"), "abc"));
    EXPECT_EQ(late.Latest(Topic("clock/state")).substr(0, 19), "2026-12-08T14:30:00");
    EXPECT_EQ(json::parse(late.Latest(Topic("pump/attributes"))).value("hidden", true), false);

    const json panel = json::parse(late.Latest(Topic("panel")));
    EXPECT_EQ(panel["title"], "Test bench");
    ASSERT_EQ(panel["controls"].size(), 7u);
    const json& setPoint = panel["controls"][1];
    EXPECT_EQ(setPoint["slug"], "set_point");
    EXPECT_EQ(setPoint["min"], 5);
    EXPECT_EQ(setPoint["max"], 40);
    EXPECT_EQ(panel["controls"][3]["items"], json::array({"Auto", "Manual"}));
    EXPECT_EQ(panel["controls"][4]["maxLength"], 7);

    // Home Assistant: one device, a config per control with the fields each component needs.
    const auto config = [&](const std::string& component, const std::string& slug) {
        const std::string topic =
            "homeassistant/" + component + "/talvex_test_bench/" + slug + "/config";
        EXPECT_TRUE(Eventually([&] { return late.Latest(topic) != "<none>"; })) << topic;
        const json j = json::parse(late.Latest(topic));
        EXPECT_EQ(j["availability_topic"], Topic("status"));
        EXPECT_EQ(j["device"]["identifiers"][0], "talvex_test_bench");
        EXPECT_TRUE(j.contains("unique_id") && j.contains("name"));
        return j;
    };
    const json level = config("sensor", "level");
    EXPECT_EQ(level["unit_of_measurement"], "bar");
    EXPECT_EQ(level["state_topic"], Topic("level/state"));
    const json number = config("number", "set_point");
    EXPECT_EQ(number["command_topic"], Topic("set_point/set"));
    EXPECT_EQ(number["min"], 5);
    EXPECT_EQ(number["max"], 40);
    EXPECT_DOUBLE_EQ(number["step"].get<double>(), 0.1);
    EXPECT_EQ(config("switch", "pump")["command_topic"], Topic("pump/set"));
    EXPECT_EQ(config("select", "mode")["options"], json::array({"Auto", "Manual"}));
    EXPECT_EQ(config("text", "label")["max"], 7);
    EXPECT_EQ(config("sensor", "clock")["device_class"], "timestamp");
    EXPECT_EQ(config("button", "go")["payload_press"], "PRESS");
}

TEST_F(Bridge, CarriesOutCommandsAsThePanelDoesAndRefusesTheRest) {
    Subscriber sub(m_broker->Port());
    ASSERT_TRUE(sub.WaitFor(Topic("status"), "online"));

    sub.Publish(Topic("set_point/set"), "25.5");
    ASSERT_TRUE(Eventually([&] { return DeviceValue(2) == 255; }));
    EXPECT_TRUE(sub.WaitFor(Topic("set_point/state"), "25.5"));
    sub.Publish(Topic("pump/set"), "ON");
    EXPECT_TRUE(sub.WaitFor(Topic("pump/state"), "ON"));
    EXPECT_TRUE(Eventually([&] { return m_device->Engine().Control(3)->state; }));
    sub.Publish(Topic("mode/set"), "Manual");
    EXPECT_TRUE(Eventually([&] { return DeviceValue(4) == 1; }));

    // Refused, with the reason, and nothing reaches the device.
    sub.Publish(Topic("set_point/set"), "99");
    EXPECT_TRUE(sub.WaitForError("out of range"));
    sub.Publish(Topic("set_point/set"), "warm");
    EXPECT_TRUE(sub.WaitForError("malformed"));
    sub.Publish(Topic("level/set"), "3");
    EXPECT_TRUE(sub.WaitForError("not editable"));
    sub.Publish(Topic("label/set"), "far too long");
    EXPECT_TRUE(sub.WaitForError("out of range"));
    sub.Publish(Topic("mode/set"), "Holiday");
    EXPECT_TRUE(sub.WaitForError("malformed"));
    sub.Publish(Topic("nothing_here/set"), "1");
    EXPECT_TRUE(sub.WaitForError("unknown control"));
    EXPECT_EQ(DeviceValue(2), 255);
    EXPECT_EQ(DeviceValue(4), 1);
    EXPECT_EQ(m_device->Engine().Control(5)->text, u"abc");
    EXPECT_EQ(sub.Latest(Topic("set_point/state")), "25.5");
}

TEST_F(Bridge, LastWillSaysOfflineWhenTheBridgeIsKilled) {
    Subscriber sub(m_broker->Port());
    ASSERT_TRUE(sub.WaitFor(Topic("status"), "online"));
    End(m_bridge, SIGKILL);
    EXPECT_TRUE(sub.WaitFor(Topic("status"), "offline"));
}

TEST_F(Bridge, SaysOfflineOnSigtermAndComesBackAfterTheDeviceAndTheBrokerReturn) {
    {
        Subscriber sub(m_broker->Port());
        ASSERT_TRUE(sub.WaitFor(Topic("status"), "online"));
        sub.Publish(Topic("set_point/set"), "30");
        ASSERT_TRUE(sub.WaitFor(Topic("set_point/state"), "30"));
        // The device goes away, and comes back under the same name.
        m_device.reset();
        ASSERT_TRUE(sub.WaitFor(Topic("status"), "offline"));
        StartDevice();
        ASSERT_TRUE(sub.WaitFor(Topic("status"), "online"));
    }
    // The broker restarts with nothing retained: the bridge fills it again, every control's latest.
    m_broker->Stop();
    ASSERT_TRUE(m_broker->Start());
    Subscriber sub(m_broker->Port());
    EXPECT_TRUE(sub.WaitFor(Topic("status"), "online", 10000ms));
    EXPECT_TRUE(sub.WaitFor(Topic("set_point/state"), "20")); // the new device's own value
    EXPECT_TRUE(sub.WaitFor(Topic("mode/state"), "Auto"));
    EXPECT_NE(sub.Latest("homeassistant/number/talvex_test_bench/set_point/config"), "<none>");

    End(m_bridge, SIGTERM);
    EXPECT_TRUE(sub.WaitFor(Topic("status"), "offline"));
}

// A broker that wants a password: the bridge reads it from its file.
class BridgeWithPassword : public Bridge {
protected:
    std::string Extra() override {
        const fs::path passwords = m_dir / "passwords";
        std::ofstream(passwords) << "bench:secret\n";
        (void)!std::system(("mosquitto_passwd -U " + passwords.string()).c_str());
        std::ofstream(m_dir / "bridge-password") << "secret\n";
        return "allow_anonymous false\npassword_file " + passwords.string() + "\n";
    }
    std::vector<std::string> BridgeArgs() override {
        return {"--user", "bench", "--password-file", (m_dir / "bridge-password").string()};
    }
};

TEST_F(BridgeWithPassword, LogsInWithThePasswordFromItsFile) {
    Subscriber sub(m_broker->Port(), "bench", "secret");
    EXPECT_TRUE(sub.WaitFor(Topic("status"), "online"));
}

} // namespace
