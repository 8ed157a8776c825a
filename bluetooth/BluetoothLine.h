// Bluetooth devices as lines for the link: bt://ADDRESS is opened through BlueZ. The port opens
// at once and connects once BlueZ hands over the socket; a failure comes as the port's loss.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

#include "BluetoothConnector.h"
#include "BluetoothDevices.h"
#include "HandoverPort.h"

class BluetoothLine : public QObject {
    Q_OBJECT
public:
    // The bus is normally QDBusConnection::systemBus(); tests pass a private one.
    explicit BluetoothLine(QDBusConnection bus, QObject* parent = nullptr);

    // The devices the system knows, for lists of ports.
    BluetoothDevices& Devices() { return devices_; }
    // Connects to the device with this address (AA:BB:CC:DD:EE:FF); replaces an attempt under way.
    std::unique_ptr<ILinkPort> Open(const QString& address);

private:
    BluetoothDevices devices_;
    BluetoothConnector connector_;
    std::optional<HandoverPort::Handle> waiting_;
};
