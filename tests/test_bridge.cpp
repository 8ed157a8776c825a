// talvex-bridge as a process between a simulated device on a pseudo-terminal and a real
// mosquitto broker started here on a free loopback port; a libmosquitto subscriber watches.
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PanelFile.h"
#include "SimPorts.h"
#include "support/MqttBroker.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using namespace std::chrono_literals;

constexpr const char* kPrefix = "talvex/test_bench";
const std::vector<std::string> kAll = {"talvex/#", "homeassistant/#"};

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
    { "kind": "button", "id": 7, "name": "Go" },
    { "kind": "messagebox", "id": 8, "name": "Alarm", "flags": ["hidden"], "icon": "question",
      "buttons": "yesNo", "value": "Close the vents?" }
  ],
  "behaviour": [ { "type": "counter", "id": 1, "period": 0.1, "from": 0, "to": 100000 },
                 { "type": "messageBox", "id": 8, "period": 0 } ]
})";

class Bridge : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(kMosquittoProgram, X_OK) != 0)
            GTEST_SKIP() << kMosquittoProgram << " is not installed";
        m_dir = fs::temp_directory_path() / ("talvex-bridge-test-" + std::to_string(getpid()));
        fs::create_directories(m_dir);
        m_broker = std::make_unique<MosquittoBroker>(m_dir, Extra());
        ASSERT_TRUE(m_broker->Start());
        StartDevice();
        StartBridge();
    }
    void TearDown() override {
        EndProgram(m_bridge, SIGTERM);
        m_device.reset();
        m_broker.reset();
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    virtual std::string Extra() { return "allow_anonymous true\n"; }
    virtual std::string BrokerUrl() { return m_broker->Url(); }
    virtual std::vector<std::string> BridgeArgs() { return {}; }

    void StartDevice() {
        // The device takes a new panel when its file changes.
        const fs::path file = m_dir / "panel.json";
        if (!fs::exists(file)) std::ofstream(file) << kPanel;
        PanelFileResult panel = LoadPanelFile(file.string());
        ASSERT_TRUE(panel.panel) << panel.error;
        SimOptions options;
        options.watchPath = file.string();
        std::string error;
        m_device = SimPtyDevice::Start(*panel.panel, options, error, (m_dir / "device").string());
        ASSERT_TRUE(m_device) << error;
    }
    void StartBridge() {
        std::vector<std::string> args = {TALVEX_BRIDGE, "--port", (m_dir / "device").string(),
                                         "--mqtt", BrokerUrl()};
        for (const std::string& a : BridgeArgs()) args.push_back(a);
        m_bridge = SpawnProgram(args);
        ASSERT_GT(m_bridge, 0);
    }
    // The command is answered on the error topic, naming the control and why.
    static bool Refused(MqttWatcher& sub, const std::string& slug, const std::string& command,
                        const std::string& reason) {
        sub.Publish(Topic(slug + "/set"), command);
        return Eventually([&] {
            const std::string e = sub.Latest(Topic("error"));
            if (e == "<none>") return false;
            const json j = json::parse(e);
            return j.value("control", "") == slug && j.value("command", "") == command &&
                   j.value("reason", "").rfind(reason, 0) == 0;
        });
    }
    int32_t DeviceValue(uint32_t id) { return m_device->Engine().Control(id)->number; }
    static std::string Topic(const std::string& leaf) { return std::string(kPrefix) + "/" + leaf; }

    fs::path m_dir;
    std::unique_ptr<MosquittoBroker> m_broker;
    std::unique_ptr<SimPtyDevice> m_device;
    pid_t m_bridge = -1;
};

TEST_F(Bridge, PublishesThePanelItsStatesAndDiscoveryRetained) {
    {
        MqttWatcher live(m_broker->Port(), kAll);
        ASSERT_TRUE(live.WaitFor(Topic("status"), "online"));
        // The device's counter pushes new values: they arrive as state.
        ASSERT_TRUE(live.WaitForChange(Topic("level/state"), live.Latest(Topic("level/state"))));
    }
    // A subscriber coming later finds everything retained.
    MqttWatcher late(m_broker->Port(), kAll);
    ASSERT_TRUE(late.WaitFor(Topic("set_point/state"), "20"));
    EXPECT_TRUE(late.WaitFor(Topic("status"), "online"));
    EXPECT_TRUE(late.WaitFor(Topic("pump/state"), "OFF"));
    EXPECT_TRUE(late.WaitFor(Topic("mode/state"), "Auto"));
    EXPECT_TRUE(late.WaitFor(Topic("label/state"), "abc"));
    EXPECT_EQ(late.Latest(Topic("clock/state")).substr(0, 19), "2026-12-08T14:30:00");
    EXPECT_EQ(json::parse(late.Latest(Topic("pump/attributes"))).value("hidden", true), false);

    const json panel = json::parse(late.Latest(Topic("panel")));
    EXPECT_EQ(panel["title"], "Test bench");
    ASSERT_EQ(panel["controls"].size(), 8u);
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
    MqttWatcher sub(m_broker->Port(), kAll);
    ASSERT_TRUE(sub.WaitFor(Topic("status"), "online"));

    sub.Publish(Topic("set_point/set"), "25.5");
    ASSERT_TRUE(Eventually([&] { return DeviceValue(2) == 255; }));
    EXPECT_TRUE(sub.WaitFor(Topic("set_point/state"), "25.5"));
    sub.Publish(Topic("pump/set"), "ON");
    EXPECT_TRUE(sub.WaitFor(Topic("pump/state"), "ON"));
    EXPECT_TRUE(Eventually([&] { return m_device->Engine().Control(3)->state; }));
    sub.Publish(Topic("mode/set"), "Manual");
    EXPECT_TRUE(Eventually([&] { return DeviceValue(4) == 1; }));
    // A flood of commands: per control the latest wins, and it reaches the device.
    for (int tenths = 100; tenths <= 300; ++tenths)
        sub.Publish(Topic("set_point/set"),
                    std::to_string(tenths / 10) + "." + std::to_string(tenths % 10));
    EXPECT_TRUE(Eventually([&] { return DeviceValue(2) == 300; }));
    EXPECT_TRUE(sub.WaitFor(Topic("set_point/state"), "30"));
    sub.Publish(Topic("set_point/set"), "25.5");
    ASSERT_TRUE(Eventually([&] { return DeviceValue(2) == 255; }));
    sub.Publish(Topic("label/set"), "xyz");
    EXPECT_TRUE(Eventually([&] { return m_device->Engine().Control(5)->text == u"xyz"; }));
    EXPECT_TRUE(sub.WaitFor(Topic("label/state"), "xyz"));

    // Refused, with the reason, and nothing reaches the device.
    EXPECT_TRUE(Refused(sub, "set_point", "99", "out of range"));
    EXPECT_TRUE(Refused(sub, "set_point", "warm", "malformed"));
    EXPECT_TRUE(Refused(sub, "level", "3", "not editable"));
    EXPECT_TRUE(Refused(sub, "label", "far too long", "out of range"));
    EXPECT_TRUE(Refused(sub, "mode", "Holiday", "malformed"));
    EXPECT_TRUE(Refused(sub, "nothing_here", "1", "unknown control"));
    EXPECT_EQ(DeviceValue(2), 255);
    EXPECT_EQ(DeviceValue(4), 1);
    EXPECT_EQ(m_device->Engine().Control(5)->text, u"xyz");
    EXPECT_EQ(sub.Latest(Topic("set_point/state")), "25.5");

    // A device message box is a question, answered with one of its buttons.
    ASSERT_TRUE(Eventually([&] { return sub.Latest(Topic("alarm/question")) != "<none>"; }));
    const json question = json::parse(sub.Latest(Topic("alarm/question")));
    EXPECT_EQ(question["text"], "Close the vents?");
    EXPECT_EQ(question["buttons"], json::array({"Yes", "No"}));
    EXPECT_TRUE(Refused(sub, "alarm", "Maybe", "malformed"));
    sub.Publish(Topic("alarm/set"), "Yes");
    EXPECT_TRUE(Eventually([&] { return !m_device->Engine().Counters().answers.empty(); }));
    EXPECT_TRUE(sub.WaitFor(Topic("alarm/question"), ""));
    EXPECT_TRUE(Refused(sub, "alarm", "No", "not editable"));
}

TEST_F(Bridge, ForgetsTheControlsANewPanelNoLongerHas) {
    MqttWatcher sub(m_broker->Port(), kAll);
    const std::string go = "homeassistant/button/talvex_test_bench/go/config";
    ASSERT_TRUE(Eventually([&] { return sub.Latest(go).size() > 2; }));
    std::string changed = kPanel;
    changed.replace(changed.find(R"("name": "Go")"), 12, R"("name": "Run")");
    std::ofstream(m_dir / "panel.json") << changed;
    // The simulator looks at its file once a second and the client then loads the whole panel
    // again: on a busy machine that takes longer than a value's round trip.
    EXPECT_TRUE(sub.WaitFor(go, "", 15000ms));
    EXPECT_TRUE(sub.WaitFor(Topic("go/attributes"), ""));
    EXPECT_TRUE(Eventually([&] {
        return sub.Latest("homeassistant/button/talvex_test_bench/run/config").size() > 2;
    }));
}

TEST_F(Bridge, LastWillSaysOfflineWhenTheBridgeIsKilled) {
    MqttWatcher sub(m_broker->Port(), kAll);
    ASSERT_TRUE(sub.WaitFor(Topic("status"), "online"));
    EndProgram(m_bridge, SIGKILL);
    EXPECT_TRUE(sub.WaitFor(Topic("status"), "offline"));
}

TEST_F(Bridge, SaysOfflineOnSigtermAndComesBackAfterTheDeviceAndTheBrokerReturn) {
    {
        MqttWatcher sub(m_broker->Port(), kAll);
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
    MqttWatcher sub(m_broker->Port(), kAll);
    EXPECT_TRUE(sub.WaitFor(Topic("status"), "online", 10000ms));
    EXPECT_TRUE(sub.WaitFor(Topic("set_point/state"), "20")); // the new device's own value
    EXPECT_TRUE(sub.WaitFor(Topic("mode/state"), "Auto"));
    // The discovery configs follow the states.
    EXPECT_TRUE(Eventually([&] {
        return sub.Latest("homeassistant/number/talvex_test_bench/set_point/config") != "<none>";
    }));

    EndProgram(m_bridge, SIGTERM);
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
    MqttWatcher sub(m_broker->Port(), kAll, "bench", "secret");
    EXPECT_TRUE(sub.WaitFor(Topic("status"), "online"));
}

// The broker's TLS listener, its certificate signed by a CA the bridge is given.
class BridgeOverTls : public Bridge {
protected:
    void SetUp() override {
        if (access("/usr/bin/openssl", X_OK) != 0) GTEST_SKIP() << "openssl is not installed";
        Bridge::SetUp();
    }
    std::string Extra() override {
        const std::string d = m_dir.string();
        const std::string ssl = "/usr/bin/openssl ";
        const std::string quiet = " 2>/dev/null";
        (void)!std::system((ssl +
                            "req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=TestCA -keyout " +
                            d + "/ca.key -out " + d + "/ca.crt" + quiet)
                               .c_str());
        (void)!std::system((ssl + "req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout " + d +
                            "/server.key -out " + d + "/server.csr" + quiet)
                               .c_str());
        std::ofstream(m_dir / "san.ext") << "subjectAltName=IP:127.0.0.1\n";
        (void)!std::system((ssl + "x509 -req -days 1 -in " + d + "/server.csr -CA " + d +
                            "/ca.crt -CAkey " + d + "/ca.key -CAcreateserial -extfile " + d +
                            "/san.ext -out " + d + "/server.crt" + quiet)
                               .c_str());
        // A broker started as root reads its files as the user it changes to.
        fs::permissions(m_dir / "server.key",
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        m_tlsPort = FreeLoopbackPort();
        return "allow_anonymous true\nlistener " + std::to_string(m_tlsPort) +
               " 127.0.0.1\ncafile " + d + "/ca.crt\ncertfile " + d + "/server.crt\nkeyfile " + d +
               "/server.key\n";
    }
    std::string BrokerUrl() override { return "mqtts://127.0.0.1:" + std::to_string(m_tlsPort); }
    std::vector<std::string> BridgeArgs() override {
        return {"--ca-file", (m_dir / "ca.crt").string()};
    }
    uint16_t m_tlsPort = 0;
};

TEST_F(BridgeOverTls, PublishesOverTlsWithTheGivenCa) {
    MqttWatcher sub(m_broker->Port(), kAll);
    EXPECT_TRUE(sub.WaitFor(Topic("status"), "online"));
}

} // namespace
