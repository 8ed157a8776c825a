#include "BluetoothConnector.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <fcntl.h>
#include <unistd.h>

#include "BluetoothDevices.h"

namespace {

const QString kService = QStringLiteral("org.bluez");

QString PairAdvice(const QString& address) {
    return QStringLiteral("pair it first in the desktop's Bluetooth settings, or with bluetoothctl "
                          "(\"pair %1\", then \"trust %1\"), then connect again.")
        .arg(address);
}

} // namespace

void BluetoothProfile::NewConnection(const QDBusObjectPath& device,
                                     const QDBusUnixFileDescriptor& fd, const QVariantMap&) {
    // The descriptor in `fd` is closed with it; the link gets a copy of its own.
    const int own = fd.isValid() ? fcntl(fd.fileDescriptor(), F_DUPFD_CLOEXEC, 0) : -1;
    if (own >= 0) emit connectionReceived(device.path(), own);
}

void BluetoothProfile::RequestDisconnection(const QDBusObjectPath&) {
    // The link notices the closed socket as a lost device.
}

void BluetoothProfile::Release() {}

BluetoothConnector::BluetoothConnector(QDBusConnection bus, const BluetoothDevices& devices,
                                       QObject* parent)
    : QObject(parent), bus_(std::move(bus)), devices_(devices) {
    connect(&profile_, &BluetoothProfile::connectionReceived, this,
            &BluetoothConnector::onConnection);
    connect(&devices_, &BluetoothDevices::changed, this, [this] {
        if (!address_.isEmpty() && devicePath_.isEmpty()) proceed();
    });
}

BluetoothConnector::~BluetoothConnector() {
    if (!registered_) return;
    bus_.asyncCall(QDBusMessage::createMethodCall(kService, QStringLiteral("/org/bluez"),
                                                  QStringLiteral("org.bluez.ProfileManager1"),
                                                  QStringLiteral("UnregisterProfile"))
                   << QVariant::fromValue(QDBusObjectPath(QLatin1String(kProfilePath))));
    bus_.unregisterObject(QLatin1String(kProfilePath));
}

void BluetoothConnector::connectTo(const QString& address) {
    address_ = address.toUpper();
    devicePath_.clear();
    proceed();
}

void BluetoothConnector::fail(const QString& reason) {
    address_.clear();
    devicePath_.clear();
    emit failed(reason);
}

// Runs once the device list is known: checks the device, registers the profile, connects it.
void BluetoothConnector::proceed() {
    if (devices_.state() == BluetoothDevices::State::Starting) return; // again on changed()
    if (devices_.state() != BluetoothDevices::State::Ready) {
        fail(devices_.stateText());
        return;
    }
    bool paired = false;
    const QString path = devices_.devicePath(address_, &paired);
    if (path.isEmpty()) {
        fail(QStringLiteral("Bluetooth device %1 is not known to this computer: %2")
                 .arg(address_, PairAdvice(address_)));
        return;
    }
    if (!paired) {
        fail(QStringLiteral("Bluetooth device %1 is not paired with this computer: %2")
                 .arg(address_, PairAdvice(address_)));
        return;
    }
    devicePath_ = path;
    if (!registered_) {
        if (!bus_.registerObject(QLatin1String(kProfilePath), &profile_,
                                 QDBusConnection::ExportScriptableSlots)) {
            fail(
                QStringLiteral("The Bluetooth serial port profile could not be offered on D-Bus."));
            return;
        }
        QVariantMap options{{QStringLiteral("Role"), QStringLiteral("client")},
                            {QStringLiteral("Name"), QStringLiteral("Talvex serial port")},
                            {QStringLiteral("AutoConnect"), false}};
        const QDBusMessage reply =
            bus_.call(QDBusMessage::createMethodCall(kService, QStringLiteral("/org/bluez"),
                                                     QStringLiteral("org.bluez.ProfileManager1"),
                                                     QStringLiteral("RegisterProfile"))
                      << QVariant::fromValue(QDBusObjectPath(QLatin1String(kProfilePath)))
                      << QLatin1String(kSerialPortUuid) << options);
        if (reply.type() == QDBusMessage::ErrorMessage &&
            reply.errorName() != QLatin1String("org.bluez.Error.AlreadyExists")) {
            bus_.unregisterObject(QLatin1String(kProfilePath));
            fail(QStringLiteral("Bluetooth refused the serial port profile: %1")
                     .arg(reply.errorMessage()));
            return;
        }
        registered_ = true;
    }
    // BlueZ answers once the socket has been handed to the profile, or with what went wrong.
    auto* pending = new QDBusPendingCallWatcher(
        bus_.asyncCall(QDBusMessage::createMethodCall(kService, path,
                                                      QStringLiteral("org.bluez.Device1"),
                                                      QStringLiteral("ConnectProfile"))
                       << QLatin1String(kSerialPortUuid)),
        this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, path](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                if (!w->isError() || path != devicePath_) return;
                fail(QStringLiteral("Could not connect to Bluetooth device %1: %2 Check that it is "
                                    "switched on and in range.")
                         .arg(address_, w->error().message()));
            });
}

void BluetoothConnector::onConnection(const QString& device, int fd) {
    if (device != devicePath_ || address_.isEmpty()) {
        ::close(fd); // not asked for
        return;
    }
    address_.clear();
    devicePath_.clear();
    emit connected(fd);
}
