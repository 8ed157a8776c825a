// The Com Ports dialog: the Bluetooth port number (1 to 1000, opening /dev/rfcommN) and a list of
// the serial devices present, refreshed while the dialog is open. It opens on the port in use.
// Choosing /dev/rfcommN puts N in the number box; choosing any other device selects that
// device's path, which Path() then returns. While a device is chosen the number box is disabled;
// "Use Port Number" drops the device. The Network group instead opens tcp://HOST:PORT from the
// host and port typed there; a path in that form opens with the group chosen. "Help on COM ports"
// shows the help page and leaves the dialog open.
#pragma once

#include <QDialog>
#include <QTimer>
#include <optional>

#include "HelpPage.h"
#include "PortDiscovery.h"

class QGroupBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

// What the dialog asks of the system; tests put in their own.
struct ComPortsServices {
    SerialPortLister listPorts = ListSerialPorts;
    HelpOpener openHelp = OpenInBrowser;
};

class CComPorts : public QDialog {
    Q_OBJECT
public:
    // port: the stored number, 0 when none (the box then shows 5); path: the device path in use
    // (given on the command line, or stored), or empty.
    CComPorts(int port, const QString& path, ComPortsServices services, QWidget* parent = nullptr);

    // After OK: the port number, and the chosen device's path or network address (empty: open
    // the numbered port).
    int Port() const { return m_nPort; }
    QString Path() const { return m_strPath; }

    // Reads the devices present again (also done by a timer while the dialog is open).
    void RefreshPorts();

public slots:
    void accept() override;

private:
    void OnDeviceChosen();
    // The number box takes input only while no device and no network address is chosen.
    void ShowChoice();
    // tcp://HOST:PORT from the Network fields; none, after saying what is wrong, when invalid.
    std::optional<QString> NetworkAddress();
    void OnHelp();

    ComPortsServices m_services;
    QLineEdit* m_pPortEdit;
    QPushButton* m_pUseNumber;
    QTreeWidget* m_pDevices;
    QGroupBox* m_pNetwork;
    QLineEdit* m_pHostEdit;
    QLineEdit* m_pTcpPortEdit;
    QTimer m_refresh;
    QList<SerialPortEntry> m_shown;
    QString m_strChosen; // path of the selected device, rfcomm included
    int m_nPort = 0;
    QString m_strPath;
};
