// The Com Ports dialog: the Bluetooth port number (1 to 1000) and a list of the serial devices
// present, refreshed while the dialog is open. Choosing /dev/rfcommN puts N in the number box;
// choosing any other device selects that device's path, which Path() then returns; typing a
// number drops the chosen device. "Help on COM ports" shows the help page and leaves the dialog
// open.
#pragma once

#include <QDialog>
#include <QTimer>

#include "HelpPage.h"
#include "PortDiscovery.h"

class QLineEdit;
class QTreeWidget;

// What the dialog asks of the system; tests put in their own.
struct ComPortsServices {
    SerialPortLister listPorts = ListSerialPorts;
    HelpOpener openHelp = OpenInBrowser;
};

class CComPorts : public QDialog {
    Q_OBJECT
public:
    // port: the stored number, 0 when none (the box then shows 5); path: the stored device path,
    // or empty.
    CComPorts(int port, const QString& path, ComPortsServices services, QWidget* parent = nullptr);

    // After OK: the port number, and the chosen device's path (empty: open the numbered port).
    int Port() const { return m_nPort; }
    QString Path() const { return m_strPath; }

    // Reads the devices present again (also done by a timer while the dialog is open).
    void RefreshPorts();

public slots:
    void accept() override;

private:
    void OnDeviceChosen();
    void OnHelp();

    ComPortsServices m_services;
    QLineEdit* m_pPortEdit;
    QTreeWidget* m_pDevices;
    QTimer m_refresh;
    QList<SerialPortEntry> m_shown;
    QString m_strChosen; // path of the selected device, rfcomm included
    int m_nPort = 0;
    QString m_strPath;
};
