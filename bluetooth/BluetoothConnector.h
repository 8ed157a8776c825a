// Connects to a paired Bluetooth device's serial port through BlueZ, with no root and no rfcomm
// binding: a serial-port profile is registered with BlueZ, the device is asked to connect it,
// and the RFCOMM socket BlueZ hands to the profile becomes the line.
#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>
#include <QVariantMap>

class BluetoothDevices;

// What BlueZ calls on the registered profile.
class BluetoothProfile : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.bluez.Profile1")
public:
    using QObject::QObject;
public slots:
    Q_SCRIPTABLE void NewConnection(const QDBusObjectPath& device,
                                    const QDBusUnixFileDescriptor& fd,
                                    const QVariantMap& properties);
    Q_SCRIPTABLE void RequestDisconnection(const QDBusObjectPath& device);
    Q_SCRIPTABLE void Release();
signals:
    void connectionReceived(const QString& device, int fd);
};

class BluetoothConnector : public QObject {
    Q_OBJECT
public:
    static constexpr char kProfilePath[] = "/org/talvex/serial_port";

    // `devices` tells which devices the system knows and whether they are paired.
    BluetoothConnector(QDBusConnection bus, const BluetoothDevices& devices,
                       QObject* parent = nullptr);
    ~BluetoothConnector() override;

    // Starts connecting to the device with this address; the outcome comes as connected() or
    // failed(). A new call replaces one still under way.
    void connectTo(const QString& address);

signals:
    // The connected socket; the receiver owns it.
    void connected(int fd);
    // One line saying what went wrong and what to do.
    void failed(const QString& reason);

private:
    void proceed();
    void registerProfile();
    void connectProfile();
    void fail(const QString& reason);
    void onConnection(const QString& device, int fd);

    QDBusConnection bus_;
    const BluetoothDevices& devices_;
    BluetoothProfile profile_;
    bool registered_ = false;
    bool registering_ = false; // RegisterProfile asked, BlueZ has not answered yet
    QString address_;          // the device being connected; empty when none is
    QString devicePath_;
};
