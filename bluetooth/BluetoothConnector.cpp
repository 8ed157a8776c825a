#include "BluetoothConnector.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <fcntl.h>
#include <unistd.h>

#include "BluetoothDevices.h"

namespace {

const QString kService = QStringLiteral("org.bluez");
const QString kProfileManager = QStringLiteral("org.bluez.ProfileManager1");

// A D-Bus error's text as the middle of a sentence.
QString Reason(const QDBusError& error) {
    QString text = error.message().simplified();
    while (text.endsWith(u'.')) text.chop(1);
    return text.isEmpty() ? error.name() : text;
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
        // A restarted Bluetooth service has forgotten the profile: it is offered again.
        if (registered_ && devices_.state() == BluetoothDevices::State::NoBlueZ) {
            bus_.unregisterObject(QLatin1String(kProfilePath));
            registered_ = false;
        }
        if (!address_.isEmpty() && devicePath_.isEmpty()) proceed();
    });
}

BluetoothConnector::~BluetoothConnector() {
    if (!registered_ && !registering_) return;
    bus_.asyncCall(QDBusMessage::createMethodCall(kService, QStringLiteral("/org/bluez"),
                                                  kProfileManager,
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
                 .arg(address_, BluetoothPairAdvice(address_)));
        return;
    }
    if (!paired) {
        fail(BluetoothNotPairedText(address_, address_));
        return;
    }
    devicePath_ = path;
    if (registered_)
        connectProfile();
    else
        registerProfile(); // connects once BlueZ has taken the profile
}

// Asked without waiting: the window goes on while BlueZ answers.
void BluetoothConnector::registerProfile() {
    if (registering_) return;
    if (!bus_.registerObject(QLatin1String(kProfilePath), &profile_,
                             QDBusConnection::ExportScriptableSlots)) {
        fail(QStringLiteral("The Bluetooth serial port profile could not be offered on D-Bus: "
                            "restart Talvex, then connect again."));
        return;
    }
    registering_ = true;
    const QVariantMap options{{QStringLiteral("Role"), QStringLiteral("client")},
                              {QStringLiteral("Name"), QStringLiteral("Talvex serial port")},
                              {QStringLiteral("AutoConnect"), false}};
    auto* pending = new QDBusPendingCallWatcher(
        bus_.asyncCall(QDBusMessage::createMethodCall(kService, QStringLiteral("/org/bluez"),
                                                      kProfileManager,
                                                      QStringLiteral("RegisterProfile"))
                       << QVariant::fromValue(QDBusObjectPath(QLatin1String(kProfilePath)))
                       << QLatin1String(kSerialPortUuid) << options),
        this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        registering_ = false;
        // An answer from a Bluetooth service that has gone since is no registration.
        const bool gone = devices_.state() == BluetoothDevices::State::NoBlueZ;
        if (gone ||
            (w->isError() && w->error().name() != QLatin1String("org.bluez.Error.AlreadyExists"))) {
            bus_.unregisterObject(QLatin1String(kProfilePath));
            if (address_.isEmpty()) return;
            fail(gone ? devices_.stateText()
                      : QStringLiteral("Bluetooth refused the serial port profile (%1): restart "
                                       "the Bluetooth service (\"sudo systemctl restart "
                                       "bluetooth\"), then connect again.")
                            .arg(Reason(w->error())));
            return;
        }
        registered_ = true;
        if (!address_.isEmpty() && !devicePath_.isEmpty()) connectProfile();
    });
}

void BluetoothConnector::connectProfile() {
    const QString path = devicePath_;
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
                fail(QStringLiteral("Bluetooth device %1 refused the connection (%2): check that "
                                    "it is switched on, in range and not connected elsewhere, "
                                    "then connect again.")
                         .arg(address_, Reason(w->error())));
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
