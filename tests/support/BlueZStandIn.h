// BlueZ played by python3-dbusmock's bluez5 template on a private bus of its own: adapters and
// devices are added through the mock, and the test hands the registered profile its connections.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QString>
#include <QVariantList>
#include <memory>

class BlueZStandIn {
public:
    ~BlueZStandIn() { End(); }

    // Empty when dbus-daemon and dbusmock are installed; else which is missing.
    static QString Missing();
    // Starts the private bus (BlueZ not yet on it); false when it would not start.
    bool Begin();
    void End();
    QDBusConnection& Bus() { return *m_bus; }

    // BlueZ comes and goes on the bus; Start is true once it is there.
    bool Start();
    void Stop();

    QDBusMessage Call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args);
    void Set(const QString& path, const QString& interface, const QString& name,
             const QVariant& value);
    // hci0, switched on.
    QString AddAdapter();
    // A device on hci0; a serial one offers the serial port profile. Its object path.
    QString AddDevice(const QString& address, const QString& name, bool serial,
                      bool paired = false);
    // A BlueZ method made to fail with this D-Bus error.
    void Refuse(const QString& path, const QString& interface, const QString& method,
                const QString& signature, const QString& error, const QString& message);
    // BlueZ connects the device at `devicePath` to the profile registered on Bus(): the profile
    // gets one end of a socket pair; the other end, the device's, is returned (-1 on failure).
    int HandConnection(const QString& devicePath);

private:
    QString Mock(const QString& method, const QVariantList& args);

    QString m_python;
    QString m_address;
    QProcess m_daemon;
    QProcess m_bluez;
    std::unique_ptr<QDBusConnection> m_bus;
};
