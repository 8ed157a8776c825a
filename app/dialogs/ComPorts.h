// The Com Ports dialog, one chooser in three groups. Bluetooth: the devices the system knows that
// offer a serial port, followed live, with a timed search; choosing one opens bt://ADDRESS (one
// not paired says how to pair it in the desktop). Serial: the port number (1 to 1000, opening
// /dev/rfcommN) and the serial devices present, refreshed while the dialog is open; choosing
// /dev/rfcommN puts N in the number box, any other device is opened by its path. Network: the
// host and port of a serial bridge, opened as tcp://HOST:PORT. It opens on the port in use.
// While a device or the network is chosen the number box is disabled; "Use Port Number" drops
// the choice. "Help on COM ports" shows the help page and leaves the dialog open.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <optional>

#include "BluetoothDevices.h"
#include "HelpPage.h"
#include "PortDiscovery.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

// What the dialog asks of the system; tests put in their own.
struct ComPortsServices {
    SerialPortLister listPorts = ListSerialPorts;
    HelpOpener openHelp = OpenInBrowser;
    // The Bluetooth devices the system knows (not owned); none: Bluetooth is not available.
    BluetoothDevices* bluetooth = nullptr;
};

class CComPorts : public QDialog {
    Q_OBJECT
public:
    // port: the stored number, 0 when none (the box then shows 5); path: the device path in use
    // (given on the command line, or stored), or empty; name: the Bluetooth device's name
    // remembered with a bt:// path, shown while the system does not list it.
    CComPorts(int port, const QString& path, const QString& name, ComPortsServices services,
              QWidget* parent = nullptr);
    ~CComPorts() override;

    // After OK: the port number, and the chosen device's path, bt://ADDRESS or network address
    // (empty: open the numbered port); for a Bluetooth device its name, else empty.
    int Port() const { return m_nPort; }
    QString Path() const { return m_strPath; }
    QString Name() const { return m_strName; }

    // Reads the devices present again (also done by a timer while the dialog is open).
    void RefreshPorts();

public slots:
    void accept() override;

private:
    void OnDeviceChosen();
    void OnBluetoothChosen();
    // The Bluetooth list and its line again, from the system's devices.
    void RefreshBluetooth();
    // What the Bluetooth group's line says: why no device can be reached, how to pair the
    // chosen one, or where paired devices come from.
    void ShowBluetoothNote();
    // Drops the choice in every group but `keep`.
    void ClearOtherChoices(const QWidget* keep);
    // The number box takes input only while no device and no network address is chosen.
    void ShowChoice();
    // tcp://HOST:PORT from the Network fields; none, after saying what is wrong, when invalid.
    std::optional<QString> NetworkAddress();
    void OnHelp();

    ComPortsServices m_services;
    QPointer<BluetoothDevices> m_pBluetooth;
    QTreeWidget* m_pBtDevices;
    QLabel* m_pBtNote;
    QPushButton* m_pSearch;
    QList<BluetoothDeviceEntry> m_btShown;
    QString m_strBtChosen; // address of the chosen Bluetooth device
    QString m_strBtName;   // its name
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
    QString m_strName;
};
