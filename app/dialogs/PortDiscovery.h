// The serial devices present on this computer (Bluetooth rfcomm bindings, USB and ACM adapters,
// other serial ports), for the Com Ports dialog, and how a device path maps to a port number.
#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <optional>

struct SerialPortEntry {
    QString path;         // e.g. /dev/ttyUSB0
    QString description;  // what the system says the device is; may be empty
    QString manufacturer; // may be empty
    bool operator==(const SerialPortEntry&) const = default;
};

// Port numbers N open /dev/rfcommN.
inline constexpr int kComPortMin = 1;
inline constexpr int kComPortMax = 1000;

using SerialPortLister = std::function<QList<SerialPortEntry>()>;

// The devices QSerialPortInfo finds, in natural order of their paths.
QList<SerialPortEntry> ListSerialPorts();

// N for /dev/rfcommN when N is a valid port number (1 to 1000); none for any other path, which
// is then opened by its path.
std::optional<int> RfcommNumber(const QString& path);
