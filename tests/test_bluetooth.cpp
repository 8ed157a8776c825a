// Bluetooth devices as a BlueZ stand-in (python3-dbusmock's bluez5 template) lists them on a
// private bus, and a connection through the serial-port profile with the test in BlueZ's part.
#include "BluetoothDevices.h"
#include "BluetoothLine.h"

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <climits>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

#include "DemoPanel.h"
#include "Frame.h"
#include "HeadlessPanel.h"
#include "Link.h"
#include "SimEngine.h"
#include "support/BlueZStandIn.h"
#include "support/FakeServices.h"
#include "support/LinkHarness.h"

namespace {

class BluetoothTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString missing = BlueZStandIn::Missing();
        if (!missing.isEmpty()) GTEST_SKIP() << missing.toStdString();
        ASSERT_TRUE(bluez.Begin());
    }
    void TearDown() override {
        model_.reset();
        if (demoDevice) demoDevice->Stop();
        if (demoEnd >= 0) ::close(demoEnd);
        bluez.End();
    }

    void StartBlueZ() { ASSERT_TRUE(bluez.Start()); }
    void MakeModel() {
        model_ = std::make_unique<BluetoothDevices>(bluez.Bus());
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return model_->state() != BluetoothDevices::State::Starting; }));
    }
    QString AddAdapter() { return bluez.AddAdapter(); }
    QString AddDevice(const QString& address, const QString& name, bool serial,
                      bool paired = false) {
        return bluez.AddDevice(address, name, serial, paired);
    }
    void Set(const QString& path, const QString& interface, const QString& name,
             const QVariant& value) {
        bluez.Set(path, interface, name, value);
    }
    QDBusMessage Call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args) {
        return bluez.Call(path, interface, method, args);
    }
    bool Lists(const QList<BluetoothDeviceEntry>& expected) {
        return QTest::qWaitFor([&] { return model_->devices() == expected; });
    }

    // The paired serial device "Rig" on a switched-on adapter; its object path.
    QString AddRig() {
        StartBlueZ();
        AddAdapter();
        return AddDevice(kRig, QStringLiteral("Rig"), true, true);
    }
    // Once the client has registered its profile, BlueZ hands it the connection to the device at
    // `path`, with the demo device on the other end.
    void HandToDemo(const QString& path) {
        ASSERT_TRUE(QTest::qWaitFor([&] {
            return bluez.Bus().objectRegisteredAt(QLatin1String(BluetoothConnector::kProfilePath));
        }));
        demo = LoadDemoPanel();
        ASSERT_TRUE(demo.panel);
        demoDevice = std::make_unique<SimEngine>(*demo.panel);
        demoEnd = bluez.HandConnection(path);
        ASSERT_TRUE(demoDevice->Start(demoEnd));
    }

    static inline const QString kRig = QStringLiteral("00:11:22:33:44:01");
    BlueZStandIn bluez;
    std::unique_ptr<BluetoothDevices> model_;
    PanelFileResult demo;
    std::unique_ptr<SimEngine> demoDevice;
    int demoEnd = -1;
};

TEST_F(BluetoothTest, ListsSerialDevicesPairedFirst) {
    StartBlueZ();
    AddAdapter();
    AddDevice(QStringLiteral("00:11:22:33:44:01"), QStringLiteral("Alpha"), true);
    const QString zulu =
        AddDevice(QStringLiteral("00:11:22:33:44:02"), QStringLiteral("Zulu"), true, true);
    Set(zulu, QStringLiteral("org.bluez.Device1"), QStringLiteral("Connected"), true);
    AddDevice(QStringLiteral("00:11:22:33:44:03"), QStringLiteral("Headset"), false, true);
    AddDevice(QStringLiteral("00:11:22:33:44:04"), QStringLiteral("Line\nbreak"), true);
    MakeModel();
    EXPECT_EQ(model_->state(), BluetoothDevices::State::Ready);
    EXPECT_TRUE(model_->stateText().isEmpty());
    EXPECT_EQ(model_->devices(),
              (QList<BluetoothDeviceEntry>{{"Zulu", "00:11:22:33:44:02", true, true},
                                           {"Alpha", "00:11:22:33:44:01", false, false},
                                           {"Line break", "00:11:22:33:44:04", false, false}}));
}

TEST_F(BluetoothTest, FollowsDevicesAppearingChangingAndGoing) {
    StartBlueZ();
    const QString adapter = AddAdapter();
    MakeModel();
    QSignalSpy changed(model_.get(), &BluetoothDevices::changed);
    const QString path =
        AddDevice(QStringLiteral("00:11:22:33:44:01"), QStringLiteral("Alpha"), true);
    EXPECT_TRUE(Lists({{"Alpha", "00:11:22:33:44:01", false, false}}));
    Set(path, QStringLiteral("org.bluez.Device1"), QStringLiteral("Paired"), true);
    EXPECT_TRUE(Lists({{"Alpha", "00:11:22:33:44:01", true, false}}));
    Call(adapter, QStringLiteral("org.bluez.Adapter1"), QStringLiteral("RemoveDevice"),
         {QVariant::fromValue(QDBusObjectPath(path))});
    EXPECT_TRUE(Lists({}));
    EXPECT_GE(changed.count(), 3);
}

TEST_F(BluetoothTest, SaysWhyNoDeviceCanBeReached) {
    MakeModel();
    EXPECT_EQ(model_->state(), BluetoothDevices::State::NoBlueZ);
    EXPECT_TRUE(model_->stateText().startsWith(QStringLiteral(
        "Bluetooth is not available: the Bluetooth service (BlueZ) is not running")));
    StartBlueZ();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return model_->state() == BluetoothDevices::State::NoAdapter; }));
    EXPECT_TRUE(model_->stateText().startsWith(QStringLiteral("No Bluetooth adapter was found")));
    const QString adapter = AddAdapter();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model_->state() == BluetoothDevices::State::Ready; }));
    Set(adapter, QStringLiteral("org.bluez.Adapter1"), QStringLiteral("Powered"), false);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return model_->state() == BluetoothDevices::State::AdapterOff; }));
    EXPECT_TRUE(
        model_->stateText().startsWith(QStringLiteral("The Bluetooth adapter is switched off")));
    AddDevice(QStringLiteral("00:11:22:33:44:01"), QStringLiteral("Alpha"), true);
    ASSERT_TRUE(Lists({{"Alpha", "00:11:22:33:44:01", false, false}}));
    bluez.Stop();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return model_->state() == BluetoothDevices::State::NoBlueZ; }));
    EXPECT_TRUE(model_->devices().isEmpty());
}

TEST_F(BluetoothTest, SearchDiscoversForAWhileThenStops) {
    StartBlueZ();
    const QString adapter = AddAdapter();
    MakeModel();
    const auto discovering = [&] {
        const QDBusMessage reply =
            Call(adapter, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                 {QStringLiteral("org.bluez.Adapter1"), QStringLiteral("Discovering")});
        return reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
    };
    QSignalSpy searching(model_.get(), &BluetoothDevices::searchingChanged);
    model_->search(200);
    EXPECT_TRUE(model_->searching());
    EXPECT_TRUE(QTest::qWaitFor(discovering));
    ASSERT_TRUE(searching.wait());
    EXPECT_EQ(searching.count(), 2);
    EXPECT_FALSE(model_->searching());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !discovering(); }));
}

// The link opened on a Bluetooth line, as `--port bt://ADDRESS` opens it.
struct BluetoothLink {
    BluetoothLink(const QDBusConnection& bus, const QString& address) : line(bus) {
        openStatus = LinkOpenPort(line.Open(address), &window, kNotifyMessage);
    }
    ~BluetoothLink() { LinkClose(false); }
    // The next outcome, while D-Bus is served; INT_MIN on time-out.
    int NextOutcome() {
        if (!QTest::qWaitFor([&] { return services.notifier.WaitForPosts(seen + 1, 0); }))
            return INT_MIN;
        const int outcome = services.notifier.Outcomes()[size_t(seen++)];
        LinkStartReceiver(&window, kNotifyMessage);
        return outcome;
    }
    LinkFixtureServices services;
    BluetoothLine line;
    int window = 0;
    int openStatus = -1;
    int seen = 0;
};

TEST_F(BluetoothTest, APairedDeviceConnectsThroughTheProfileAndItsPanelLoads) {
    const QString path = AddRig();
    BluetoothLink link(bluez.Bus(), kRig);
    ASSERT_EQ(link.openStatus, 0); // connected in the background
    HandToDemo(path);
    int outcome = 0;
    while (outcome != LINK_PANEL && outcome != INT_MIN) outcome = link.NextOutcome();
    EXPECT_EQ(outcome, LINK_PANEL);
    LinkClose(false);
}

TEST_F(BluetoothTest, TheHeadlessPanelReachesADeviceByItsAddress) {
    const QString path = AddRig();
    BluetoothLine line(bluez.Bus());
    HeadlessPanel panel("bt://" + kRig.toStdString());
    panel.SetBluetoothLine(&line);
    panel.Start();
    HandToDemo(path);
    EXPECT_TRUE(QTest::qWaitFor([&] { return panel.HasPanel(); }, 10000));
    EXPECT_EQ(panel.Ctrls().size(), demo.panel->controls.size());
    panel.Stop();
}

TEST_F(BluetoothTest, ARestartedBlueZIsOfferedTheProfileAgain) {
    const QString address = QStringLiteral("00:11:22:33:44:01");
    const auto startWithDevice = [&] {
        StartBlueZ();
        AddAdapter();
        AddDevice(address, QStringLiteral("Rig"), true, true);
    };
    const auto registrations = [&] {
        const QDBusMessage reply =
            Call(QStringLiteral("/org/bluez"), QStringLiteral("org.freedesktop.DBus.Mock"),
                 QStringLiteral("GetMethodCalls"), {QStringLiteral("RegisterProfile")});
        const QDBusArgument calls = reply.arguments().value(0).value<QDBusArgument>();
        int count = 0;
        calls.beginArray();
        for (; !calls.atEnd(); ++count) {
            quint64 time;
            QString method;
            QVariantList args;
            calls.beginStructure();
            calls >> time >> method >> args;
            calls.endStructure();
        }
        calls.endArray();
        return count;
    };
    startWithDevice();
    BluetoothLine line(bluez.Bus());
    LinkFixtureServices services;
    int window = 0;
    ASSERT_EQ(LinkOpenPort(line.Open(address), &window, kNotifyMessage), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return registrations() == 1; }));
    LinkClose(false);
    bluez.Stop(); // systemctl restart bluetooth
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return line.Devices().state() == BluetoothDevices::State::NoBlueZ; }));
    startWithDevice();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !line.Devices().devicePath(address).isEmpty(); }));
    ASSERT_EQ(LinkOpenPort(line.Open(address), &window, kNotifyMessage), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return registrations() == 1; }));
    LinkClose(false);
}

// Each way BlueZ can stand in the way is a lost device with one line saying what to do.
TEST_F(BluetoothTest, EachObstacleIsALossThatSaysWhatToDo) {
    const QString address = QStringLiteral("00:11:22:33:44:01");
    const auto lossOn = [&](const QDBusConnection& bus) {
        BluetoothLink link(bus, address);
        return link.NextOutcome() == LINK_LOST ? LinkLostReason() : std::string("no loss");
    };
    const auto lossOpening = [&] { return lossOn(bluez.Bus()); };
    const std::string notRunning = "Bluetooth is not available: the Bluetooth service (BlueZ) is "
                                   "not running; start it with \"sudo systemctl start bluetooth\".";
    EXPECT_EQ(lossOpening(), notRunning);
    // No bus at all (no system bus in a container, say) is said as soon.
    EXPECT_EQ(lossOn(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent"),
                                                   QStringLiteral("no-bus"))),
              notRunning);
    QDBusConnection::disconnectFromBus(QStringLiteral("no-bus"));
    StartBlueZ();
    EXPECT_EQ(lossOpening(), "No Bluetooth adapter was found: plug one in, or unblock it with "
                             "\"rfkill unblock bluetooth\".");
    const QString adapter = AddAdapter();
    Set(adapter, QStringLiteral("org.bluez.Adapter1"), QStringLiteral("Powered"), false);
    EXPECT_EQ(lossOpening(), "The Bluetooth adapter is switched off: switch Bluetooth on in the "
                             "desktop's settings or with \"bluetoothctl power on\".");
    Set(adapter, QStringLiteral("org.bluez.Adapter1"), QStringLiteral("Powered"), true);
    EXPECT_EQ(lossOpening(),
              "Bluetooth device 00:11:22:33:44:01 is not known to this computer: pair it first in "
              "the desktop's Bluetooth settings, or with bluetoothctl (\"pair 00:11:22:33:44:01\", "
              "then \"trust 00:11:22:33:44:01\"), then connect again.");
    const QString device = AddDevice(address, QStringLiteral("Rig"), true);
    EXPECT_EQ(lossOpening(),
              "Bluetooth device 00:11:22:33:44:01 is not paired with this computer: pair it "
              "first in the desktop's Bluetooth settings, or with bluetoothctl (\"pair "
              "00:11:22:33:44:01\", then \"trust 00:11:22:33:44:01\"), then connect again.");
    Set(device, QStringLiteral("org.bluez.Device1"), QStringLiteral("Paired"), true);
    bluez.Refuse(device, QStringLiteral("org.bluez.Device1"), QStringLiteral("ConnectProfile"),
                 QStringLiteral("s"), QStringLiteral("org.bluez.Error.Failed"),
                 QStringLiteral("br-connection-refused"));
    EXPECT_EQ(lossOpening(), "Bluetooth device 00:11:22:33:44:01 refused the connection "
                             "(br-connection-refused): check that it is switched on, in range "
                             "and not connected elsewhere, then connect again.");
    bluez.Refuse(QStringLiteral("/org/bluez"), QStringLiteral("org.bluez.ProfileManager1"),
                 QStringLiteral("RegisterProfile"), QStringLiteral("osa{sv}"),
                 QStringLiteral("org.bluez.Error.NotPermitted"), QStringLiteral("Not permitted."));
    EXPECT_EQ(lossOpening(), "Bluetooth refused the serial port profile (Not permitted): "
                             "restart the Bluetooth service (\"sudo systemctl restart "
                             "bluetooth\"), then connect again.");
}

TEST_F(BluetoothTest, AConnectionBlueZHasNotMadeYetClosesAtOnce) {
    StartBlueZ();
    AddAdapter();
    AddDevice(QStringLiteral("00:11:22:33:44:01"), QStringLiteral("Rig"), true, true);
    BluetoothLink link(bluez.Bus(), QStringLiteral("00:11:22:33:44:01"));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return bluez.Bus().objectRegisteredAt(QLatin1String(BluetoothConnector::kProfilePath)) !=
               nullptr;
    }));
    EXPECT_EQ(LinkClose(false), 0); // wakes the reader waiting for the socket
    EXPECT_FALSE(LinkIsOpen());
}

} // namespace
