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

CComPorts::CComPorts(int port, const QString& path, ComPortsServices services, QWidget* parent)
    : QDialog(parent), m_services(std::move(services)), m_pPortEdit(new QLineEdit(this)),
      m_pUseNumber(new QPushButton(QStringLiteral("Use Port Number"), this)),
      m_pDevices(new QTreeWidget(this)), m_pNetwork(new QGroupBox(QStringLiteral("Network"), this)),
      m_pHostEdit(new QLineEdit(m_pNetwork)), m_pTcpPortEdit(new QLineEdit(m_pNetwork)),
      m_strChosen(path) {
    setWindowTitle(QStringLiteral("Com Ports"));
    auto* serial = new QGroupBox(QStringLiteral("Serial devices"), this);

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
        m_pDevices->clearSelection();
        m_pNetwork->setChecked(false);
        m_pPortEdit->setFocus();
    });
    m_pUseNumber->setAutoDefault(false);

    auto* listLabel = new QLabel(QStringLiteral("Serial devices present:"), this);
    listLabel->setBuddy(m_pDevices);
    m_pDevices->setColumnCount(3);
    m_pDevices->setHeaderLabels(
        {QStringLiteral("Device"), QStringLiteral("Description"), QStringLiteral("Maker")});
    m_pDevices->setRootIsDecorated(false);
    m_pDevices->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pDevices->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(m_pDevices, &QTreeWidget::itemSelectionChanged, this, &CComPorts::OnDeviceChosen);

    // A serial-to-network bridge, opened as tcp://HOST:PORT.
    m_pNetwork->setCheckable(true);
    const PortAddress address = ParsePortAddress(path.toStdString());
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
        if (on) m_pDevices->clearSelection();
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
    layout->addWidget(serial);
    layout->addWidget(m_pNetwork);
    layout->addLayout(buttons);
    resize(520, 440);

    RefreshPorts();
    ShowChoice();
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &CComPorts::RefreshPorts);
    m_refresh.start();
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
    const bool other = !m_strChosen.isEmpty() || m_pNetwork->isChecked();
    m_pPortEdit->setEnabled(!other);
    m_pUseNumber->setEnabled(other);
}

void CComPorts::OnDeviceChosen() {
    const QList<QTreeWidgetItem*> selected = m_pDevices->selectedItems();
    m_strChosen = selected.isEmpty() ? QString() : selected.first()->text(0);
    if (std::optional<int> n = RfcommNumber(m_strChosen)) m_pPortEdit->setText(QString::number(*n));
    if (!m_strChosen.isEmpty()) m_pNetwork->setChecked(false);
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
    if (m_pNetwork->isChecked()) {
        const std::optional<QString> address = NetworkAddress();
        if (!address) return;
        path = *address;
    }
    m_nPort = *port;
    m_strPath = path;
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
