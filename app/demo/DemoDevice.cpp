#include "DemoDevice.h"

#include "DemoPanel.h"
#include "SimPorts.h"

DemoDevice::DemoDevice() = default;
DemoDevice::~DemoDevice() = default;

bool DemoDevice::Start(QString& error) {
    PanelFileResult panel = LoadDemoPanel();
    if (!panel.panel) {
        error = QString::fromStdString(panel.error);
        return false;
    }
    std::string why;
    m_device = SimPtyDevice::Start(*panel.panel, SimOptions{}, why);
    if (!m_device) error = QString::fromStdString(why);
    return m_device != nullptr;
}

QString DemoDevice::PortPath() const {
    return m_device ? QString::fromStdString(m_device->SlavePath()) : QString();
}
