#include "ComPorts.h"

#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "DialogMessages.h"
#include "PortAddress.h"

namespace {

constexpr int kRefreshMs = 2000;
constexpr int kPortWhenNone = 5;

} // namespace

CComPorts::CComPorts(int port, const QString& path, const QString& name, ComPortsServices services,
                     QWidget* parent)
    : QDialog(parent), m_services(std::move(services)), m_pBluetooth(m_services.bluetooth),
      m_pBtDevices(new QTreeWidget(this)), m_pBtNote(new QLabel(this)),
      m_pSearch(new QPushButton(QStringLiteral("Search"), this)), m_pPortEdit(new QLineEdit(this)),
      m_pUseNumber(new QPushButton(QStringLiteral("Use Port Number"), this)),
      m_pDevices(new QTreeWidget(this)), m_pNetwork(new QGroupBox(QStringLiteral("Network"), this)),
      m_pHostEdit(new QLineEdit(m_pNetwork)), m_pTcpPortEdit(new QLineEdit(m_pNetwork)),
      m_strChosen(path) {
    setWindowTitle(QStringLiteral("Com Ports"));
    auto* bluetooth = new QGroupBox(QStringLiteral("Bluetooth"), this);
    auto* serial = new QGroupBox(QStringLiteral("Serial"), this);
    const PortAddress address = ParsePortAddress(path.toStdString());

    // Devices offering a serial port, as the system lists them; opened as bt://ADDRESS.
    auto* btLabel = new QLabel(QStringLiteral("Devices with a serial port:"), this);
    btLabel->setBuddy(m_pBtDevices);
    m_pBtDevices->setObjectName(QStringLiteral("bluetoothDevices"));
    m_pBtDevices->setColumnCount(3);
    m_pBtDevices->setHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Address"), QStringLiteral("Status")});
    m_pBtDevices->setRootIsDecorated(false);
    m_pBtDevices->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pBtDevices->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(m_pBtDevices, &QTreeWidget::itemSelectionChanged, this, &CComPorts::OnBluetoothChosen);
    // Device names are the devices' own texts: never markup.
    m_pBtNote->setTextFormat(Qt::PlainText);
    m_pBtNote->setWordWrap(true);
    m_pSearch->setAutoDefault(false);
    connect(m_pSearch, &QPushButton::clicked, this, [this] {
        if (m_pBluetooth) m_pBluetooth->search();
    });
    if (address.kind == PortAddress::Kind::Bluetooth) {
        m_strBtChosen = QString::fromStdString(address.bluetooth);
        m_strBtName = name;
        m_strChosen.clear();
    }
    if (m_pBluetooth) {
        connect(m_pBluetooth, &BluetoothDevices::changed, this, &CComPorts::RefreshBluetooth);
        connect(m_pBluetooth, &BluetoothDevices::searchingChanged, this,
                &CComPorts::ShowBluetoothNote);
    }
    // A search is for this dialog only.
    connect(this, &QDialog::finished, this, [this] {
        if (m_pBluetooth) m_pBluetooth->stopSearch();
    });

    auto* what = new QLabel(QStringLiteral("WHAT TO DO:  Find out from the Bluetooth setup which "
                                           "COM port is used as an outbound serial port.  Enter "
                                           "the port number in the box."),
                            this);
    what->setWordWrap(true);
    auto* portLabel = new QLabel(QStringLiteral("Bluetooth COM: Port Number"), this);
    portLabel->setBuddy(m_pPortEdit);
    const std::optional<int> rfcomm = RfcommNumber(path);
    m_pPortEdit->setText(QString::number(rfcomm ? *rfcomm : port != 0 ? port : kPortWhenNone));
    m_pPortEdit->setMaximumWidth(100);
    auto* rfcommNote = new QLabel(QStringLiteral("Port number N opens /dev/rfcommN (bind the "
                                                 "device with: rfcomm bind N ADDRESS)."),
                                  this);
    rfcommNote->setWordWrap(true);
    // While a listed device is chosen it is what opens; this gives the number back.
    connect(m_pUseNumber, &QPushButton::clicked, this, [this] {
        ClearOtherChoices(nullptr);
        m_pPortEdit->setFocus();
    });
    m_pUseNumber->setAutoDefault(false);

    auto* listLabel = new QLabel(QStringLiteral("Serial devices present:"), this);
    listLabel->setBuddy(m_pDevices);
    m_pDevices->setObjectName(QStringLiteral("serialDevices"));
    m_pDevices->setColumnCount(3);
    m_pDevices->setHeaderLabels(
        {QStringLiteral("Device"), QStringLiteral("Description"), QStringLiteral("Maker")});
    m_pDevices->setRootIsDecorated(false);
    m_pDevices->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pDevices->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(m_pDevices, &QTreeWidget::itemSelectionChanged, this, &CComPorts::OnDeviceChosen);

    // A serial-to-network bridge, opened as tcp://HOST:PORT.
    m_pNetwork->setCheckable(true);
    const bool tcp = address.kind == PortAddress::Kind::Tcp;
    m_pNetwork->setChecked(tcp);
    if (tcp) {
        m_strChosen.clear();
        m_pHostEdit->setText(QString::fromStdString(address.host));
        m_pTcpPortEdit->setText(QString::number(address.port));
    }
    m_pHostEdit->setPlaceholderText(QStringLiteral("bridge.local or 192.168.1.20"));
    m_pTcpPortEdit->setPlaceholderText(QStringLiteral("2000"));
    m_pTcpPortEdit->setMaximumWidth(100);
    connect(m_pNetwork, &QGroupBox::toggled, this, [this](bool on) {
        if (on) ClearOtherChoices(m_pNetwork);
        ShowChoice();
    });

    auto* help = new QPushButton(QStringLiteral("Help on COM ports"), this);
    help->setAutoDefault(false);
    connect(help, &QPushButton::clicked, this, &CComPorts::OnHelp);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CComPorts::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &CComPorts::reject);

    auto* btRow = new QHBoxLayout;
    btRow->addWidget(btLabel);
    btRow->addStretch();
    btRow->addWidget(m_pSearch);
    auto* bluetoothLayout = new QVBoxLayout(bluetooth);
    bluetoothLayout->addLayout(btRow);
    bluetoothLayout->addWidget(m_pBtDevices);
    bluetoothLayout->addWidget(m_pBtNote);
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(portLabel);
    portRow->addWidget(m_pPortEdit);
    portRow->addWidget(m_pUseNumber);
    portRow->addStretch();
    auto* serialLayout = new QVBoxLayout(serial);
    serialLayout->addWidget(what);
    serialLayout->addLayout(portRow);
    serialLayout->addWidget(rfcommNote);
    serialLayout->addWidget(listLabel);
    serialLayout->addWidget(m_pDevices);
    auto* networkLayout = new QFormLayout(m_pNetwork);
    networkLayout->addRow(QStringLiteral("Host"), m_pHostEdit);
    networkLayout->addRow(QStringLiteral("TCP port"), m_pTcpPortEdit);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(help);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bluetooth);
    layout->addWidget(serial);
    layout->addWidget(m_pNetwork);
    layout->addLayout(buttons);
    resize(600, 640);

    RefreshBluetooth();
    RefreshPorts();
    ShowChoice();
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &CComPorts::RefreshPorts);
    m_refresh.start();
}

CComPorts::~CComPorts() {
    if (m_pBluetooth) m_pBluetooth->stopSearch();
}

void CComPorts::RefreshBluetooth() {
    QList<BluetoothDeviceEntry> devices =
        m_pBluetooth ? m_pBluetooth->devices() : QList<BluetoothDeviceEntry>{};
    const auto chosen = std::find_if(devices.cbegin(), devices.cend(),
                                     [&](const auto& d) { return d.address == m_strBtChosen; });
    const bool present = chosen != devices.cend();
    if (present)
        m_strBtName = chosen->name == chosen->address ? QString() : chosen->name;
    else if (!m_strBtChosen.isEmpty()) // as with a serial device, it stays choosable
        devices.append({m_strBtName.isEmpty() ? m_strBtChosen : m_strBtName, m_strBtChosen});
    if (devices != m_btShown) {
        m_btShown = devices;
        const QSignalBlocker quiet(m_pBtDevices);
        m_pBtDevices->clear();
        for (const BluetoothDeviceEntry& d : devices) {
            QString status = d.paired ? QStringLiteral("Paired") : QStringLiteral("Not paired");
            if (d.connected) status += QStringLiteral(", connected");
            if (!present && d.address == m_strBtChosen) status = QStringLiteral("(not present)");
            auto* item = new QTreeWidgetItem(m_pBtDevices, {d.name, d.address, status});
            if (d.address == m_strBtChosen) item->setSelected(true);
        }
    }
    ShowBluetoothNote();
}

void CComPorts::ShowBluetoothNote() {
    const bool ready = m_pBluetooth && m_pBluetooth->state() == BluetoothDevices::State::Ready;
    const bool searching = m_pBluetooth && m_pBluetooth->searching();
    m_pSearch->setText(searching ? QStringLiteral("Searching...") : QStringLiteral("Search"));
    m_pSearch->setEnabled(ready && !searching);
    QString note;
    // Only a device the system knows can be unpaired; one it does not list says nothing here.
    bool paired = true;
    if (ready && !m_strBtChosen.isEmpty()) m_pBluetooth->devicePath(m_strBtChosen, &paired);
    if (!m_pBluetooth)
        note = QStringLiteral("Bluetooth is not available.");
    else if (!ready)
        note = m_pBluetooth->stateText();
    else if (!paired)
        note = BluetoothNotPairedText(
            m_strBtName.isEmpty() ? m_strBtChosen
                                  : QStringLiteral("%1 (%2)").arg(m_strBtName, m_strBtChosen),
            m_strBtChosen);
    else if (m_btShown.isEmpty())
        note = QStringLiteral("No Bluetooth device with a serial port is known yet: pair one in "
                              "the desktop's Bluetooth settings, or press Search.");
    else
        note = QStringLiteral("Paired devices come first; pair a new one in the desktop's "
                              "Bluetooth settings.");
    m_pBtNote->setText(note);
}

void CComPorts::OnBluetoothChosen() {
    const QList<QTreeWidgetItem*> selected = m_pBtDevices->selectedItems();
    m_strBtChosen = selected.isEmpty() ? QString() : selected.first()->text(1);
    m_strBtName = selected.isEmpty() || selected.first()->text(0) == m_strBtChosen
                      ? QString()
                      : selected.first()->text(0);
    if (!m_strBtChosen.isEmpty()) ClearOtherChoices(m_pBtDevices);
    ShowBluetoothNote();
    ShowChoice();
}

void CComPorts::ClearOtherChoices(const QWidget* keep) {
    if (keep != m_pBtDevices) m_pBtDevices->clearSelection();
    if (keep != m_pDevices) m_pDevices->clearSelection();
    if (keep != m_pNetwork) m_pNetwork->setChecked(false);
}

void CComPorts::RefreshPorts() {
    QList<SerialPortEntry> ports =
        m_services.listPorts ? m_services.listPorts() : QList<SerialPortEntry>{};
    const bool listed = std::any_of(ports.begin(), ports.end(), [&](const SerialPortEntry& p) {
        return p.path == m_strChosen;
    });
    // A chosen device that went away stays choosable, so that OK does not silently forget it.
    if (!m_strChosen.isEmpty() && !listed && !RfcommNumber(m_strChosen))
        ports.append({m_strChosen, QStringLiteral("(not present)"), QString()});
    // Unchanged, the list keeps its scroll position and current line.
    if (ports == m_shown) return;
    m_shown = ports;

    const QSignalBlocker quiet(m_pDevices);
    m_pDevices->clear();
    for (const SerialPortEntry& p : ports) {
        auto* item = new QTreeWidgetItem(m_pDevices, {p.path, p.description, p.manufacturer});
        if (p.path == m_strChosen) item->setSelected(true);
    }
    if (m_pDevices->selectedItems().isEmpty()) m_strChosen.clear();
    ShowChoice();
}

void CComPorts::ShowChoice() {
    const bool other =
        !m_strChosen.isEmpty() || !m_strBtChosen.isEmpty() || m_pNetwork->isChecked();
    m_pPortEdit->setEnabled(!other);
    m_pUseNumber->setEnabled(other);
}

void CComPorts::OnDeviceChosen() {
    const QList<QTreeWidgetItem*> selected = m_pDevices->selectedItems();
    m_strChosen = selected.isEmpty() ? QString() : selected.first()->text(0);
    if (std::optional<int> n = RfcommNumber(m_strChosen)) m_pPortEdit->setText(QString::number(*n));
    if (!m_strChosen.isEmpty()) ClearOtherChoices(m_pDevices);
    ShowChoice();
}

void CComPorts::OnHelp() {
    const QString page = ComPortsHelpPath();
    if (!QFileInfo::exists(page)) {
        DialogMessage(this, QStringLiteral("The help page on COM ports is not installed. It "
                                           "belongs here:\n%1")
                                .arg(page));
        return;
    }
    if (m_services.openHelp && m_services.openHelp(page)) return;
    DialogMessage(this, QStringLiteral("No web browser could be started. The help page on COM "
                                       "ports is here:\n%1")
                            .arg(page));
}

void CComPorts::accept() {
    const std::optional<int> port = ReadIntField(m_pPortEdit, IntRange{kComPortMin, kComPortMax});
    if (!port) return;
    QString path = RfcommNumber(m_strChosen) ? QString() : m_strChosen;
    QString name;
    if (!m_strBtChosen.isEmpty()) {
        path = QStringLiteral("bt://") + m_strBtChosen;
        name = m_strBtName;
    }
    if (m_pNetwork->isChecked()) {
        const std::optional<QString> address = NetworkAddress();
        if (!address) return;
        path = *address;
    }
    m_nPort = *port;
    m_strPath = path;
    m_strName = name;
    QDialog::accept();
}

std::optional<QString> CComPorts::NetworkAddress() {
    QString host = m_pHostEdit->text().trimmed();
    if (host.contains(':') && !host.startsWith('[')) host = '[' + host + ']'; // IPv6
    const QString url = QStringLiteral("tcp://%1:%2").arg(host, m_pTcpPortEdit->text().trimmed());
    const PortAddress address = ParsePortAddress(url.toStdString());
    if (address.kind == PortAddress::Kind::Tcp) return url;
    DialogMessage(this, QString::fromStdString(address.error));
    m_pHostEdit->setFocus();
    return std::nullopt;
}
