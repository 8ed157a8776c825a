#include "BluetoothLine.h"

#include <unistd.h>

BluetoothLine::BluetoothLine(QDBusConnection bus, QObject* parent)
    : QObject(parent), devices_(bus), connector_(bus, devices_) {
    connect(&connector_, &BluetoothConnector::connected, this, [this](int fd) {
        if (!waiting_) {
            ::close(fd);
            return;
        }
        waiting_->Hand(fd);
        waiting_.reset();
    });
    connect(&connector_, &BluetoothConnector::failed, this, [this](const QString& reason) {
        if (waiting_) waiting_->Fail(reason.toStdString());
        waiting_.reset();
    });
}

std::unique_ptr<ILinkPort> BluetoothLine::Open(const QString& address) {
    auto port = std::make_unique<HandoverPort>();
    if (waiting_) waiting_->Fail("replaced by a new connection");
    waiting_ = port->GetHandle();
    connector_.connectTo(address);
    return port;
}
