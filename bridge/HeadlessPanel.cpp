#include "HeadlessPanel.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QEvent>
#include <algorithm>
#include <cstring>
#include <new>

#include "BluetoothLine.h"
#include "DeviceChanges.h"
#include "Frame.h"
#include "Link.h"
#include "PortAddress.h"

namespace {

constexpr uint32_t kOutcomeMessage = 0x8000;
constexpr int kPingMs = 5000;

QEvent::Type OutcomeEventType() {
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

QString OpenError(int status, const std::string& port) {
    if (status == LINK_E_ADDRESS) return QString::fromStdString(ParsePortAddress(port).error);
    return status > 0 ? QString::fromLocal8Bit(std::strerror(status))
                      : QStringLiteral("link error %1").arg(status);
}

} // namespace

HeadlessPanel::HeadlessPanel(std::string port, IPanelObserver* observer, QObject* parent)
    : QObject(parent), m_port(std::move(port)), m_observer(observer) {
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] { Open(); });
    connect(&m_ping, &QTimer::timeout, this, [this] { PingTick(); });
}

HeadlessPanel::~HeadlessPanel() {
    Stop();
    m_ctrls.clear(); // the records call this host as they go
    LinkSetServices(LinkServices{});
}

void HeadlessPanel::SetRetryDelays(int firstMs, int longestMs) {
    m_firstRetryMs = m_retryMs = std::max(1, firstMs);
    m_longestRetryMs = std::max(m_firstRetryMs, longestMs);
}

void HeadlessPanel::Start() {
    LinkServices services;
    services.notifier = this;
    services.alerts = this;
    LinkSetServices(services);
    LinkInit();
    m_stopped = false;
    Open();
}

void HeadlessPanel::Stop() {
    m_stopped = true;
    m_retry.stop();
    m_ping.stop();
    if (LinkIsOpen() && LinkClose(true) != 0) LinkClose(false);
    QCoreApplication::removePostedEvents(this, OutcomeEventType());
    m_hasPanel = false;
}

void HeadlessPanel::Open() {
    if (m_stopped || LinkIsOpen()) return;
    LinkSetBatchedOutcomes(true);
    const int status = OpenPort();
    if (status == 0) {
        m_ping.start(kPingMs);
        return;
    }
    EndConnection(OpenError(status, m_port));
}

int HeadlessPanel::OpenPort() {
    const PortAddress address = ParsePortAddress(m_port);
    if (address.kind != PortAddress::Kind::Bluetooth)
        return LinkOpenDevice(m_port, this, kOutcomeMessage);
    // BlueZ connects in the background; a failure comes as the lost device, saying why.
    if (!m_pBluetooth) {
        m_ownBluetooth = std::make_unique<BluetoothLine>(QDBusConnection::systemBus());
        m_pBluetooth = m_ownBluetooth.get();
    }
    return LinkOpenPort(m_pBluetooth->Open(QString::fromStdString(address.bluetooth)), this,
                        kOutcomeMessage);
}

void HeadlessPanel::RetryLater() {
    if (m_stopped) return;
    m_retry.start(m_retryMs);
    m_retryMs = std::min(m_retryMs * 2, m_longestRetryMs);
}

void HeadlessPanel::EndConnection(const QString& reason) {
    m_ping.stop();
    if (LinkIsOpen()) LinkClose(false);
    QCoreApplication::removePostedEvents(this, OutcomeEventType());
    const bool had = m_hasPanel;
    m_hasPanel = false;
    // Once per loss, not once per failed attempt to find the device again.
    if ((had || !m_lostSaid) && m_observer) m_observer->DeviceState(false, reason);
    m_lostSaid = true;
    RetryLater();
}

void HeadlessPanel::PingTick() {
    if (!LinkIsOpen() || !LinkPingsAllowed() || LinkLockHeldHere()) return;
    const int status = LinkPing();
    if (status == LINK_E_PING_LOST)
        EndConnection(QStringLiteral("no answer to ping"));
    else if (status != 0)
        EndConnection(
            QStringLiteral("a ping could not be sent: %1").arg(OpenError(status, m_port)));
}

void HeadlessPanel::PostOutcome(void* window, uint32_t) {
    if (window)
        QCoreApplication::postEvent(static_cast<QObject*>(window), new QEvent(OutcomeEventType()));
}

void HeadlessPanel::customEvent(QEvent* event) {
    if (event->type() == OutcomeEventType()) OnLinkOutcome();
}

// As the window does it: everything reported since the last batch, the link reading on unless
// the last outcome needs an answer first.
void HeadlessPanel::OnLinkOutcome() {
    if (!LinkIsOpen()) return;
    if (LinkLockHeldHere()) {
        QCoreApplication::postEvent(this, new QEvent(OutcomeEventType()));
        return;
    }
    const std::vector<int> outcomes = LinkTakeOutcomes();
    if (outcomes.empty()) return;
    const bool newPanel = outcomes.back() == LINK_PANEL;
    for (int outcome : outcomes) {
        if (newPanel && (outcome == LINK_VALUES || outcome == LINK_ATTRIBUTES)) continue;
        if (!HandleOutcome(outcome)) return;
    }
    if (LinkOutcomeAwaitsWindow(outcomes.back())) LinkStartReceiver(this, kOutcomeMessage);
}

bool HeadlessPanel::HandleOutcome(int outcome) {
    switch (outcome) {
    case LINK_PANEL:
    case LINK_LAYOUT:
        Build();
        break;
    case LINK_CLOSED:
    case LINK_LOST: {
        const std::string why = LinkLostReason();
        EndConnection(outcome == LINK_CLOSED ? QStringLiteral("the device said goodbye")
                                             : QString::fromStdString(why.empty() ? "lost" : why));
        return false;
    }
    case LINK_VALUES:
        UpdateValues();
        break;
    case LINK_ATTRIBUTES:
        UpdateAttributes();
        break;
    case LINK_FILES:
        for (auto& [c, name] : TakeDeliveredFiles(m_ctrls)) {
            c->m_strText = QString::fromStdU16String(name);
            c->FileDelivered();
        }
        LinkTakeSavedFiles();
        break;
    case LINK_RELOAD:
        LinkReload();
        break;
    default: // title, presence, pings and acknowledgements: the link has answered them
        break;
    }
    return true;
}

void HeadlessPanel::Build() {
    m_building = true;
    try {
        CtrlArray next = BuildCtrlArray(this);
        m_ctrls.clear();
        m_ctrls = std::move(next);
    } catch (const std::bad_alloc&) {
        m_ctrls.clear();
        DiagnosticBox(0, "HeadlessPanel", 0);
    }
    m_building = false;
    const bool first = !m_hasPanel;
    m_hasPanel = true;
    m_lostSaid = false;
    m_retryMs = m_firstRetryMs;
    if (m_observer) {
        if (first) m_observer->DeviceState(true, QString());
        m_observer->PanelBuilt();
    }
    ShowPendingMessageBoxes(m_ctrls);
}

void HeadlessPanel::UpdateValues() {
    for (DeviceChange& change : TakeValueChanges(m_ctrls)) {
        if (change.oversize) SizeAlarm(1534, VIEW_UNIT);
        ApplyValueChange(change);
    }
}

void HeadlessPanel::UpdateAttributes() {
    for (const AttributeChange& change : TakeAttributeChanges(m_ctrls))
        change.ctrl->SetFlagsAndColour(change.flags, change.colour);
    ShowPendingMessageBoxes(m_ctrls);
}

void HeadlessPanel::RefreshWidgets(CCtrl& c, CtrlRefresh what) {
    if (!m_building && m_observer) m_observer->Refreshed(c, what);
}

void HeadlessPanel::ShowMessageBox(CCtrl& c) {
    if (m_observer) m_observer->Question(c);
}

void HeadlessPanel::ReleaseLatchGroup(uint32_t group) {
    ::ReleaseLatchGroup(m_ctrls, group);
}

// The link raises its boxes from any thread: the observer hears them on the event loop's.
void HeadlessPanel::Say(const QString& text) {
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            if (m_observer) m_observer->Notice(text);
        },
        Qt::QueuedConnection);
}

void HeadlessPanel::DiagnosticBox(long checkPoint, const char* unit, long value) {
    Say(DiagnosticText(checkPoint, unit, value));
}

void HeadlessPanel::SizeAlarm(long checkPoint, const char* unit) {
    Say(SizeAlarmText(checkPoint, unit));
}

void HeadlessPanel::MessageBox(const std::u16string& text) {
    Say(QString::fromStdU16String(text));
}
