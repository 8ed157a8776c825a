#include "PortDiscovery.h"

#include <QCollator>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <algorithm>

namespace {

// Said when the system names no description.
QString KindOf(const QString& name) {
    if (name.startsWith(QLatin1String("rfcomm"))) return QStringLiteral("Bluetooth serial port");
    if (name.startsWith(QLatin1String("ttyUSB"))) return QStringLiteral("USB serial adapter");
    if (name.startsWith(QLatin1String("ttyACM"))) return QStringLiteral("USB serial device");
    if (name.startsWith(QLatin1String("ttyS"))) return QStringLiteral("Serial port");
    return QString();
}

} // namespace

QList<SerialPortEntry> ListSerialPorts() {
    QList<SerialPortEntry> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        QString description = info.description();
        if (description.isEmpty()) description = KindOf(info.portName());
        ports.append({info.systemLocation(), description, info.manufacturer()});
    }
    QCollator natural;
    natural.setNumericMode(true);
    std::sort(ports.begin(), ports.end(), [&](const SerialPortEntry& a, const SerialPortEntry& b) {
        return natural.compare(a.path, b.path) < 0;
    });
    return ports;
}

std::optional<int> RfcommNumber(const QString& path) {
    static const QRegularExpression rfcomm(QStringLiteral("^/dev/rfcomm([0-9]{1,4})$"));
    const QRegularExpressionMatch m = rfcomm.match(path);
    if (!m.hasMatch()) return std::nullopt;
    const int n = m.captured(1).toInt();
    if (n < kComPortMin || n > kComPortMax) return std::nullopt;
    return n;
}
