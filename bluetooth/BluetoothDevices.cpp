#include "BluetoothDevices.h"

#include <QCollator>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QRegularExpression>
#include <algorithm>

namespace {

const QString kService = QStringLiteral("org.bluez");
const QString kAdapter = QStringLiteral("org.bluez.Adapter1");
const QString kDevice = QStringLiteral("org.bluez.Device1");
const QString kObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

using InterfaceMap = QMap<QString, QVariantMap>;

// Device names come from the devices themselves: plain, single-line and of bounded length.
QString PlainName(const QString& name) {
    constexpr int kMaxName = 248; // what Bluetooth allows a device to call itself
    QString plain;
    for (const QChar c : name.left(kMaxName)) plain.append(c.isPrint() ? c : QChar(u' '));
    return plain.simplified();
}

// The alias the system shows, else the name the device gives; may be empty.
QString ShownName(const QVariantMap& props) {
    const QString alias = PlainName(props.value(QStringLiteral("Alias")).toString());
    return alias.isEmpty() ? PlainName(props.value(QStringLiteral("Name")).toString()) : alias;
}

bool IsAddress(const QString& address) {
    static const QRegularExpression pattern(QStringLiteral("^([0-9A-Fa-f]{2}:){5}[0-9A-Fa-f]{2}$"));
    return pattern.match(address).hasMatch();
}

} // namespace

QString BluetoothPairAdvice(const QString& address) {
    return QStringLiteral("pair it first in the desktop's Bluetooth settings, or with bluetoothctl "
                          "(\"pair %1\", then \"trust %1\"), then connect again.")
        .arg(address);
}

QString BluetoothNotPairedText(const QString& device, const QString& address) {
    return QStringLiteral("Bluetooth device %1 is not paired with this computer: %2")
        .arg(device, BluetoothPairAdvice(address));
}

BluetoothDevices::BluetoothDevices(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)),
      watcher_(
          new QDBusServiceWatcher(kService, bus_, QDBusServiceWatcher::WatchForOwnerChange, this)) {
    searchTimer_.setSingleShot(true);
    connect(&searchTimer_, &QTimer::timeout, this, &BluetoothDevices::stopSearch);
    connect(watcher_, &QDBusServiceWatcher::serviceRegistered, this, &BluetoothDevices::reload);
    connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this,
            [this] { forget(State::NoBlueZ); });
    bus_.connect(kService, QStringLiteral("/"), kObjectManager, QStringLiteral("InterfacesAdded"),
                 this, SLOT(onInterfacesAdded(QDBusMessage)));
    bus_.connect(kService, QStringLiteral("/"), kObjectManager, QStringLiteral("InterfacesRemoved"),
                 this, SLOT(onInterfacesRemoved(QDBusMessage)));
    bus_.connect(kService, QString(), kProperties, QStringLiteral("PropertiesChanged"), this,
                 SLOT(onPropertiesChanged(QDBusMessage)));
    reload();
}

QList<BluetoothDeviceEntry> BluetoothDevices::devices() const {
    QList<BluetoothDeviceEntry> list;
    for (const QVariantMap& props : deviceProps_) {
        if (!props.value(QStringLiteral("UUIDs"))
                 .toStringList()
                 .contains(QLatin1String(kSerialPortUuid), Qt::CaseInsensitive))
            continue;
        const QString address = props.value(QStringLiteral("Address")).toString();
        if (!IsAddress(address)) continue;
        QString name = ShownName(props);
        if (name.isEmpty()) name = address;
        list.append({name, address.toUpper(), props.value(QStringLiteral("Paired")).toBool(),
                     props.value(QStringLiteral("Connected")).toBool()});
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(list.begin(), list.end(),
                     [&](const BluetoothDeviceEntry& a, const BluetoothDeviceEntry& b) {
                         if (a.paired != b.paired) return a.paired;
                         const int byName = collator.compare(a.name, b.name);
                         return byName != 0 ? byName < 0 : a.address < b.address;
                     });
    return list;
}

QString BluetoothDevices::devicePath(const QString& address, bool* paired) const {
    for (auto it = deviceProps_.cbegin(); it != deviceProps_.cend(); ++it) {
        if (it->value(QStringLiteral("Address")).toString().compare(address, Qt::CaseInsensitive) !=
            0)
            continue;
        if (paired) *paired = it->value(QStringLiteral("Paired")).toBool();
        return it.key();
    }
    return QString();
}

QString BluetoothDevices::deviceName(const QString& address) const {
    const QString path = devicePath(address);
    if (path.isEmpty()) return QString();
    const QString name = ShownName(deviceProps_.value(path));
    // BlueZ makes the address the alias of a device that names none.
    return name.compare(address, Qt::CaseInsensitive) == 0 ||
                   name.compare(QString(address).replace(u':', u'-'), Qt::CaseInsensitive) == 0
               ? QString()
               : name;
}

QString BluetoothDevices::stateText() const {
    switch (state_) {
    case State::Starting:
        return tr("Asking the system for Bluetooth devices...");
    case State::NoBlueZ:
        return tr("Bluetooth is not available: the Bluetooth service (BlueZ) is not running; start "
                  "it with \"sudo systemctl start bluetooth\".");
    case State::NoAdapter:
        return tr("No Bluetooth adapter was found: plug one in, or unblock it with \"rfkill "
                  "unblock bluetooth\".");
    case State::AdapterOff:
        return tr("The Bluetooth adapter is switched off: switch Bluetooth on in the desktop's "
                  "settings or with \"bluetoothctl power on\".");
    case State::Ready:
        break;
    }
    return QString();
}

void BluetoothDevices::search(int durationMs) {
    const QString adapter = poweredAdapter();
    if (adapter.isEmpty()) return;
    const bool started = !searchTimer_.isActive();
    if (started) {
        bus_.asyncCall(QDBusMessage::createMethodCall(kService, adapter, kAdapter,
                                                      QStringLiteral("StartDiscovery")));
        searchAdapter_ = adapter;
    }
    searchTimer_.start(durationMs);
    if (started) emit searchingChanged(true); // searching() says so by now
}

void BluetoothDevices::stopSearch() {
    const bool was = !searchAdapter_.isEmpty();
    searchTimer_.stop();
    if (was && adapterPowered_.contains(searchAdapter_))
        bus_.asyncCall(QDBusMessage::createMethodCall(kService, searchAdapter_, kAdapter,
                                                      QStringLiteral("StopDiscovery")));
    searchAdapter_.clear();
    if (was) emit searchingChanged(false);
}

void BluetoothDevices::reload() {
    // Without a bus no answer ever comes (a watcher on a call that failed at once stays silent).
    if (!bus_.isConnected()) {
        forget(State::NoBlueZ);
        return;
    }
    const QDBusMessage call = QDBusMessage::createMethodCall(
        kService, QStringLiteral("/"), kObjectManager, QStringLiteral("GetManagedObjects"));
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            forget(State::NoBlueZ);
            return;
        }
        // Signals handled before this answer tell as much or more: what they told is kept.
        const QDBusArgument objects = reply.arguments().at(0).value<QDBusArgument>();
        if (objects.currentSignature() == QLatin1String("a{oa{sa{sv}}}")) {
            objects.beginMap();
            while (!objects.atEnd()) {
                QDBusObjectPath path;
                InterfaceMap interfaces;
                objects.beginMapEntry();
                objects >> path >> interfaces;
                objects.endMapEntry();
                if (deviceProps_.contains(path.path())) interfaces.remove(kDevice);
                if (adapterPowered_.contains(path.path())) interfaces.remove(kAdapter);
                addInterfaces(path.path(), interfaces);
            }
            objects.endMap();
        }
        state_ = State::Starting; // left by updateState
        updateState();
        emit changed();
    });
}

void BluetoothDevices::forget(State state) {
    deviceProps_.clear();
    adapterPowered_.clear();
    state_ = state;
    stopSearch();
    emit changed();
}

void BluetoothDevices::addInterfaces(const QString& path, const InterfaceMap& interfaces) {
    if (interfaces.contains(kDevice)) deviceProps_[path].insert(interfaces.value(kDevice));
    if (interfaces.contains(kAdapter))
        adapterPowered_[path] =
            interfaces.value(kAdapter).value(QStringLiteral("Powered")).toBool();
}

void BluetoothDevices::updateState() {
    if (adapterPowered_.isEmpty())
        state_ = State::NoAdapter;
    else
        state_ = poweredAdapter().isEmpty() ? State::AdapterOff : State::Ready;
    if (!searchAdapter_.isEmpty() && !adapterPowered_.value(searchAdapter_)) stopSearch();
}

QString BluetoothDevices::poweredAdapter() const {
    for (auto it = adapterPowered_.cbegin(); it != adapterPowered_.cend(); ++it)
        if (it.value()) return it.key();
    return QString();
}

void BluetoothDevices::onInterfacesAdded(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    // Also before the answer to the first question: BlueZ is there, whatever the order.
    if (args.size() < 2) return;
    addInterfaces(args.at(0).value<QDBusObjectPath>().path(), qdbus_cast<InterfaceMap>(args.at(1)));
    updateState();
    emit changed();
}

void BluetoothDevices::onInterfacesRemoved(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2) return;
    const QString path = args.at(0).value<QDBusObjectPath>().path();
    const QStringList interfaces = args.at(1).toStringList();
    if (interfaces.contains(kDevice)) deviceProps_.remove(path);
    if (interfaces.contains(kAdapter)) adapterPowered_.remove(path);
    updateState();
    emit changed();
}

void BluetoothDevices::onPropertiesChanged(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (args.size() < 3) return;
    const QString interface = args.at(0).toString();
    const QVariantMap changedProps = qdbus_cast<QVariantMap>(args.at(1));
    const QStringList invalidated = args.at(2).toStringList();
    if (interface == kDevice) {
        auto it = deviceProps_.find(message.path());
        if (it == deviceProps_.end()) return;
        it->insert(changedProps);
        for (const QString& name : invalidated) it->remove(name);
    } else if (interface == kAdapter) {
        if (!adapterPowered_.contains(message.path())) return;
        if (changedProps.contains(QStringLiteral("Powered")))
            adapterPowered_[message.path()] =
                changedProps.value(QStringLiteral("Powered")).toBool();
        updateState();
    } else {
        return;
    }
    emit changed();
}
