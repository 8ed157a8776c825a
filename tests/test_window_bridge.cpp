// The window runs the same MQTT bridge over its own records: the demo device through the real
// view, a mosquitto broker of the test's own, a subscriber watching.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <unistd.h>

#include "BridgeService.h"
#include "ConnectionIndicator.h"
#include "DemoPanel.h"
#include "SimPorts.h"
#include "ViewHarness.h"
#include "WindowBridge.h"
#include "support/MqttBroker.h"

namespace {

class WindowMqtt : public ViewFixture {
protected:
    void SetUp() override {
        if (access(kMosquittoProgram, X_OK) != 0) GTEST_SKIP() << "mosquitto is not installed";
        ViewFixture::SetUp();
        broker =
            std::make_unique<MosquittoBroker>(dir.path().toStdString(), "allow_anonymous true\n");
        ASSERT_TRUE(broker->Start());
        PanelFileResult demo = LoadDemoPanel();
        ASSERT_TRUE(demo.panel) << demo.error;
        std::string error;
        sim = SimPtyDevice::Start(*demo.panel, {}, error);
        ASSERT_TRUE(sim) << error;
        view->SetPortPath(QString::fromStdString(sim->SlavePath()));
        Start();
    }
    void TearDown() override {
        ViewFixture::TearDown();
        sim.reset();
        broker.reset();
    }
    bool Sees(MqttWatcher& w, const std::string& topic, const std::string& payload) {
        return WaitFor([&] { return w.Latest(topic) == payload; });
    }

    QTemporaryDir dir;
    std::unique_ptr<MosquittoBroker> broker;
    std::unique_ptr<SimPtyDevice> sim;
};

TEST_F(WindowMqtt, PublishesTheViewsRecordsAndCarriesOutCommandsOnThem) {
    BridgeOptions options;
    options.prefix = "window";
    std::string error;
    ASSERT_TRUE(ParseMqttUrl(broker->Url(), options.mqtt, error));
    BridgeService bridge(options, *view);
    ASSERT_TRUE(bridge.Start(error)) << error;
    MqttWatcher sub(broker->Port(), {"window/#"});
    view->OnCommand(ID_CONNECT);

    ASSERT_TRUE(Sees(sub, "window/status", "online"));
    EXPECT_TRUE(Sees(sub, "window/heating_set_point/state", "18"));
    EXPECT_TRUE(Sees(sub, "window/mode/state", "Automatic"));
    // A command moves the window's own control and reaches the device.
    sub.Publish("window/heating_set_point/set", "21.5");
    EXPECT_TRUE(WaitFor([&] { return Ctrl(4).m_nValue == 215; }));
    EXPECT_TRUE(WaitFor([&] { return sim->Engine().Control(4)->number == 215; }));
    EXPECT_TRUE(Sees(sub, "window/heating_set_point/state", "21.5"));
    // Closing the connection says so.
    view->OnCommand(ID_CLOSE);
    EXPECT_TRUE(Sees(sub, "window/status", "offline"));
}

TEST_F(WindowMqtt, SettingsKeepNoPasswordAndTheIndicatorShowsTheBroker) {
    MqttSettings stored;
    stored.broker = QString::fromStdString(broker->Url());
    stored.prefix = QStringLiteral("window");
    WriteMqttSettings(stored);
    EXPECT_EQ(ReadMqttSettings().broker, stored.broker);
    for (const QString& key : {QStringLiteral("MQTT/Password"), QStringLiteral("MQTT/password")})
        EXPECT_FALSE(settings.Raw(key).isValid());

    WindowBridge bridge(*view);
    CConnectionIndicator indicator;
    QObject::connect(&bridge, &WindowBridge::StateChanged, &indicator,
                     &CConnectionIndicator::SetBroker);
    bridge.Restart(); // no keychain here: it goes on without a password
    EXPECT_TRUE(WaitFor(
        [&] { return indicator.Text().contains(QStringLiteral("MQTT: connected")); }, 15000))
        << bridge.State().toStdString();
    bridge.Stop();
    EXPECT_FALSE(indicator.Text().contains(QStringLiteral("MQTT")));
}

} // namespace
