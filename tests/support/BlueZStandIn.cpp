#include "BlueZStandIn.h"

#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QStandardPaths>
#include <QTest>
#include <sys/socket.h>
#include <unistd.h>

#include "BluetoothConnector.h"
#include "BluetoothDevices.h"

namespace {

const QString kBlueZ = QStringLiteral("org.bluez");
const QString kBlueZSide = QStringLiteral("bluez-side");

// A python that has dbusmock; empty when none has.
QString DbusmockPython() {
    for (const QString& python : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")})
        if (QProcess::execute(python, {QStringLiteral("-c"), QStringLiteral("import dbusmock")}) ==
            0)
            return python;
    return QString();
}

} // namespace

QString BlueZStandIn::Missing() {
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        return QStringLiteral("dbus-daemon is not installed");
    if (DbusmockPython().isEmpty()) return QStringLiteral("python3-dbusmock is not installed");
    return QString();
}

bool BlueZStandIn::Begin() {
    m_python = DbusmockPython();
    m_daemon.start(QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--print-address=1")});
    if (!m_daemon.waitForReadyRead(5000)) return false;
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    m_bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(m_address, m_address));
    return m_bus->isConnected();
}

void BlueZStandIn::End() {
    Stop();
    if (m_bus) {
        m_bus.reset();
        QDBusConnection::disconnectFromBus(m_address);
        QDBusConnection::disconnectFromBus(kBlueZSide);
    }
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.kill();
        m_daemon.waitForFinished();
    }
}

bool BlueZStandIn::Start() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    m_bluez.setProcessEnvironment(env);
    m_bluez.start(m_python,
                  {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--session"),
                   QStringLiteral("--template"), QStringLiteral("bluez5")});
    return QTest::qWaitFor([&] { return m_bus->interface()->isServiceRegistered(kBlueZ).value(); },
                           10000);
}

void BlueZStandIn::Stop() {
    if (m_bluez.state() == QProcess::NotRunning) return;
    m_bluez.kill();
    m_bluez.waitForFinished();
}

QDBusMessage BlueZStandIn::Call(const QString& path, const QString& interface,
                                const QString& method, const QVariantList& args) {
    QDBusMessage call = QDBusMessage::createMethodCall(kBlueZ, path, interface, method);
    call.setArguments(args);
    const QDBusMessage reply = m_bus->call(call);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    return reply;
}

QString BlueZStandIn::Mock(const QString& method, const QVariantList& args) {
    const QDBusMessage reply =
        Call(QStringLiteral("/"), QStringLiteral("org.bluez.Mock"), method, args);
    return reply.arguments().isEmpty() ? QString() : reply.arguments().at(0).toString();
}

void BlueZStandIn::Set(const QString& path, const QString& interface, const QString& name,
                       const QVariant& value) {
    Call(path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
         {interface, name, QVariant::fromValue(QDBusVariant(value))});
}

QString BlueZStandIn::AddAdapter() {
    return Mock(QStringLiteral("AddAdapter"), {QStringLiteral("hci0"), QStringLiteral("desk")});
}

QString BlueZStandIn::AddDevice(const QString& address, const QString& name, bool serial,
                                bool paired) {
    const QString path = Mock(QStringLiteral("AddDevice"), {QStringLiteral("hci0"), address, name});
    const QString device = QStringLiteral("org.bluez.Device1");
    if (serial)
        Set(path, device, QStringLiteral("UUIDs"), QStringList{QLatin1String(kSerialPortUuid)});
    if (paired) Set(path, device, QStringLiteral("Paired"), true);
    return path;
}

void BlueZStandIn::Refuse(const QString& path, const QString& interface, const QString& method,
                          const QString& signature, const QString& error, const QString& message) {
    Call(path, QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("AddMethod"),
         {interface, method, signature, QString(),
          QStringLiteral("raise dbus.exceptions.DBusException('%1', name='%2')")
              .arg(message, error)});
}

int BlueZStandIn::HandConnection(const QString& devicePath) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return -1;
    QDBusConnection bluez = QDBusConnection::connectToBus(m_address, kBlueZSide);
    bluez.asyncCall(QDBusMessage::createMethodCall(
                        m_bus->baseService(), QLatin1String(BluetoothConnector::kProfilePath),
                        QStringLiteral("org.bluez.Profile1"), QStringLiteral("NewConnection"))
                    << QVariant::fromValue(QDBusObjectPath(devicePath))
                    << QVariant::fromValue(QDBusUnixFileDescriptor(ends[1])) << QVariantMap());
    ::close(ends[1]); // the message holds a copy
    return ends[0];
}
