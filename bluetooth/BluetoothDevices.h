// The Bluetooth devices the system knows that offer a serial port, as BlueZ lists them on D-Bus,
// kept up to date as devices appear, change and go; and a timed search for new ones.
#pragma once

#include <QDBusConnection>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>

class QDBusMessage;
class QDBusServiceWatcher;

inline constexpr char kSerialPortUuid[] = "00001101-0000-1000-8000-00805f9b34fb";

// What to do about a device that is not paired yet: pair it in the desktop, not here.
QString BluetoothPairAdvice(const QString& address);
// One line for a device (its name and address, or the address) that is not paired.
QString BluetoothNotPairedText(const QString& device, const QString& address);

struct BluetoothDeviceEntry {
    QString name;    // the alias the system shows; the address when the device names none
    QString address; // AA:BB:CC:DD:EE:FF
    bool paired = false;
    bool connected = false;
    bool operator==(const BluetoothDeviceEntry&) const = default;
};

class BluetoothDevices : public QObject {
    Q_OBJECT
public:
    enum class State { Starting, NoBlueZ, NoAdapter, AdapterOff, Ready };

    // The bus is normally QDBusConnection::systemBus(); tests pass a private one.
    explicit BluetoothDevices(QDBusConnection bus, QObject* parent = nullptr);

    // Serial-port devices, paired first, then by name.
    QList<BluetoothDeviceEntry> devices() const;
    State state() const { return state_; }
    // One line saying why no device can be reached; empty when Bluetooth is ready.
    QString stateText() const;
    bool searching() const { return searchTimer_.isActive(); }
    // The object path of the device with this address (any profile); empty when none is known.
    QString devicePath(const QString& address, bool* paired = nullptr) const;
    // The name the system shows for the device with this address (any profile); empty when
    // the device is unknown or names itself by its address only.
    QString deviceName(const QString& address) const;

    static constexpr int kSearchMs = 20000;
    // Asks the adapter to look for devices for a while; those found appear in the list.
    void search(int durationMs = kSearchMs);
    // Ends a search before its time (nothing when none is under way).
    void stopSearch();

signals:
    void changed();
    void searchingChanged(bool searching);

private slots:
    void onInterfacesAdded(const QDBusMessage& message);
    void onInterfacesRemoved(const QDBusMessage& message);
    void onPropertiesChanged(const QDBusMessage& message);

private:
    void reload();
    void forget(State state);
    void addInterfaces(const QString& path, const QMap<QString, QVariantMap>& interfaces);
    void updateState();
    QString poweredAdapter() const;

    QDBusConnection bus_;
    QDBusServiceWatcher* watcher_;
    QMap<QString, QVariantMap> deviceProps_; // by object path
    QMap<QString, bool> adapterPowered_;     // by object path
    State state_ = State::Starting;
    QString searchAdapter_;
    QTimer searchTimer_;
};
