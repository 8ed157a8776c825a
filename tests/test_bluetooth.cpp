// Bluetooth devices as a BlueZ stand-in (python3-dbusmock's bluez5 template) lists them on a
// private bus, and a connection through the serial-port profile with the test in BlueZ's part.
#include "BluetoothDevices.h"
#include "BluetoothLine.h"

#include <gtest/gtest.h>

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
#include "Link.h"
#include "SimEngine.h"
#include "support/FakeServices.h"
#include "support/LinkHarness.h"

namespace {

const QString kBlueZ = QStringLiteral("org.bluez");

// A python that has dbusmock; empty when none has.
QString DbusmockPython() {
    for (const QString& python : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")})
        if (QProcess::execute(python, {QStringLiteral("-c"), QStringLiteral("import dbusmock")}) ==
            0)
            return python;
    return QString();
}

class BluetoothTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) GTEST_SKIP() << "dbus-daemon is not installed";
        python_ = DbusmockPython();
        if (python_.isEmpty()) GTEST_SKIP() << "python3-dbusmock is not installed";
        daemon_.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                               QStringLiteral("--print-address=1")});
        ASSERT_TRUE(daemon_.waitForReadyRead(5000));
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        bus_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address_, address_));
        ASSERT_TRUE(bus_->isConnected());
    }
    void TearDown() override {
        model_.reset();
        StopBlueZ();
        bus_.reset();
        QDBusConnection::disconnectFromBus(address_);
        daemon_.kill();
        daemon_.waitForFinished();
    }

    void StartBlueZ() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
        bluez_.setProcessEnvironment(env);
        bluez_.start(python_,
                     {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--session"),
                      QStringLiteral("--template"), QStringLiteral("bluez5")});
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return bus_->interface()->isServiceRegistered(kBlueZ).value(); }, 10000));
    }
    void StopBlueZ() {
        bluez_.kill();
        bluez_.waitForFinished();
    }
    void MakeModel() {
        model_ = std::make_unique<BluetoothDevices>(*bus_);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return model_->state() != BluetoothDevices::State::Starting; }));
    }

    QDBusMessage Call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args) {
        QDBusMessage call = QDBusMessage::createMethodCall(kBlueZ, path, interface, method);
        call.setArguments(args);
        const QDBusMessage reply = bus_->call(call);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return reply;
    }
    QString Mock(const QString& method, const QVariantList& args) {
        const QDBusMessage reply =
            Call(QStringLiteral("/"), QStringLiteral("org.bluez.Mock"), method, args);
        return reply.arguments().isEmpty() ? QString() : reply.arguments().at(0).toString();
    }
    void Set(const QString& path, const QString& interface, const QString& name,
             const QVariant& value) {
        Call(path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
             {interface, name, QVariant::fromValue(QDBusVariant(value))});
    }
    QString AddAdapter() {
        return Mock(QStringLiteral("AddAdapter"), {QStringLiteral("hci0"), QStringLiteral("desk")});
    }
    // A device on hci0; a serial one offers the serial port profile.
    QString AddDevice(const QString& address, const QString& name, bool serial,
                      bool paired = false) {
        const QString path =
            Mock(QStringLiteral("AddDevice"), {QStringLiteral("hci0"), address, name});
        const QString device = QStringLiteral("org.bluez.Device1");
        if (serial)
            Set(path, device, QStringLiteral("UUIDs"), QStringList{QLatin1String(kSerialPortUuid)});
        if (paired) Set(path, device, QStringLiteral("Paired"), true);
        return path;
    }
    bool Lists(const QList<BluetoothDeviceEntry>& expected) {
        return QTest::qWaitFor([&] { return model_->devices() == expected; });
    }

    QString python_;
    QString address_;
    QProcess daemon_;
    QProcess bluez_;
    std::unique_ptr<QDBusConnection> bus_;
    std::unique_ptr<BluetoothDevices> model_;
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
    EXPECT_EQ(model_->stateText(),
              QStringLiteral(
                  "Bluetooth is not available: the Bluetooth service (BlueZ) is not running."));
    StartBlueZ();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return model_->state() == BluetoothDevices::State::NoAdapter; }));
    EXPECT_EQ(model_->stateText(), QStringLiteral("No Bluetooth adapter was found."));
    const QString adapter = AddAdapter();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model_->state() == BluetoothDevices::State::Ready; }));
    Set(adapter, QStringLiteral("org.bluez.Adapter1"), QStringLiteral("Powered"), false);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return model_->state() == BluetoothDevices::State::AdapterOff; }));
    EXPECT_EQ(model_->stateText(), QStringLiteral("The Bluetooth adapter is switched off."));
    AddDevice(QStringLiteral("00:11:22:33:44:01"), QStringLiteral("Alpha"), true);
    ASSERT_TRUE(Lists({{"Alpha", "00:11:22:33:44:01", false, false}}));
    StopBlueZ();
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
    StartBlueZ();
    AddAdapter();
    const QString path =
        AddDevice(QStringLiteral("00:11:22:33:44:01"), QStringLiteral("Rig"), true, true);
    BluetoothLink link(*bus_, QStringLiteral("00:11:22:33:44:01"));
    ASSERT_EQ(link.openStatus, 0); // connected in the background
    const QString profile = QLatin1String(BluetoothConnector::kProfilePath);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bus_->objectRegisteredAt(profile) != nullptr; }));

    // BlueZ's part: one end of the connection to the profile, the device on the other.
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    const PanelFileResult demo = LoadDemoPanel();
    ASSERT_TRUE(demo.panel);
    SimEngine device(*demo.panel);
    ASSERT_TRUE(device.Start(ends[0]));
    QDBusConnection bluez = QDBusConnection::connectToBus(address_, QStringLiteral("bluez-side"));
    bluez.asyncCall(QDBusMessage::createMethodCall(bus_->baseService(), profile,
                                                   QStringLiteral("org.bluez.Profile1"),
                                                   QStringLiteral("NewConnection"))
                    << QVariant::fromValue(QDBusObjectPath(path))
                    << QVariant::fromValue(QDBusUnixFileDescriptor(ends[1])) << QVariantMap());
    ::close(ends[1]);
    int outcome = 0;
    while (outcome != LINK_PANEL && outcome != INT_MIN) outcome = link.NextOutcome();
    EXPECT_EQ(outcome, LINK_PANEL);
    LinkClose(false);
    device.Stop();
    ::close(ends[0]);
    QDBusConnection::disconnectFromBus(QStringLiteral("bluez-side"));
}

TEST_F(BluetoothTest, AnUnpairedDeviceIsALossThatSaysHowToPairIt) {
    StartBlueZ();
    AddAdapter();
    AddDevice(QStringLiteral("00:11:22:33:44:01"), QStringLiteral("Rig"), true);
    BluetoothLink link(*bus_, QStringLiteral("00:11:22:33:44:01"));
    EXPECT_EQ(link.NextOutcome(), LINK_LOST);
    EXPECT_EQ(LinkLostReason(),
              "Bluetooth device 00:11:22:33:44:01 is not paired with this computer: pair it "
              "first in the desktop's Bluetooth settings, or with bluetoothctl (\"pair "
              "00:11:22:33:44:01\", then \"trust 00:11:22:33:44:01\"), then connect again.");
}

TEST_F(BluetoothTest, AConnectionBlueZHasNotMadeYetClosesAtOnce) {
    StartBlueZ();
    AddAdapter();
    AddDevice(QStringLiteral("00:11:22:33:44:01"), QStringLiteral("Rig"), true, true);
    BluetoothLink link(*bus_, QStringLiteral("00:11:22:33:44:01"));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return bus_->objectRegisteredAt(QLatin1String(BluetoothConnector::kProfilePath)) != nullptr;
    }));
    EXPECT_EQ(LinkClose(false), 0); // wakes the reader waiting for the socket
    EXPECT_FALSE(LinkIsOpen());
}

} // namespace
