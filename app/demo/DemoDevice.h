// The built-in demo device (--demo): the simulator's demo panel served in-process on a new
// pseudo-terminal that the client then opens.
#pragma once

#include <QString>
#include <memory>

class SimPtyDevice;

class DemoDevice {
public:
    DemoDevice();
    ~DemoDevice();
    bool Start(QString& error);
    QString PortPath() const;

private:
    std::unique_ptr<SimPtyDevice> m_device;
};
