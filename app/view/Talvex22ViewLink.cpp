// The connection: connect, close, pings, and the reactions to the link's outcomes. Boxes raised
// here never stop the link: they are notices (NoticeBoxes), except the questions asked when a
// connect fails, while no link is open.
#include <QCoreApplication>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "BluetoothLine.h"
#include "BoxPlacement.h"
#include "Ctrl.h"
#include "DeviceMessageBox.h"
#include "Frame.h"
#include "Link.h"
#include "LinkBridge.h"
#include "MainFrame.h"
#include "MessageBoxAnswer.h"
#include "NoticeBoxes.h"
#include "PortAddress.h"
#include "StaleVeil.h"
#include "Talvex22View.h"
#include "ValueLogSettings.h"
#include "WindowModal.h"

namespace {

void PlainBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text) {
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    CentreOverWindow(&box, parent);
    ExecWindowModal(box);
}

QString OpenError(int status, const QString& port) {
    if (status == ENOTTY)
        return QStringLiteral("%1 is not a serial port: only a terminal device (such as "
                              "/dev/rfcomm0 or /dev/ttyUSB0) can be opened.")
            .arg(port);
    if (status == LINK_E_ADDRESS)
        return QString::fromStdString(ParsePortAddress(port.toStdString()).error);
    return status > 0 ? QString::fromLocal8Bit(std::strerror(status))
                      : QStringLiteral("Link error %1").arg(status);
}

} // namespace

void CTalvex22View::ViewDiagnostic(long checkPoint, long value) {
    DiagnosticBox(checkPoint, VIEW_UNIT, value);
}

void CTalvex22View::ViewSizeAlarm(long checkPoint) {
    SizeAlarm(checkPoint, VIEW_UNIT);
    QuitRequest();
}

void CTalvex22View::Notice(const QString& text, bool information) {
    if (!m_pAlerts) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return;
    }
    m_pAlerts->Boxes().Post(text, information ? QMessageBox::Information : QMessageBox::Warning);
}

void CTalvex22View::DiagnosticBox(long checkPoint, const char* unit, long value) {
    Notice(DiagnosticText(checkPoint, unit, value));
}

void CTalvex22View::SizeAlarm(long checkPoint, const char* unit) {
    Notice(SizeAlarmText(checkPoint, unit));
}

void CTalvex22View::QuitRequest() {
    DismissDeviceMessageBoxes(); // a question left open must not hold the program
    emit QuitRequested();
}

void CTalvex22View::BringFrameToForeground() {
    if (m_nOpenMessageBoxes == 0) m_pFrame->BringToForeground();
}

void CTalvex22View::customEvent(QEvent* event) {
    if (event->type() != LinkMessageEvent::EventType()) return QScrollArea::customEvent(event);
    auto* e = static_cast<LinkMessageEvent*>(event);
    if (e->Message() == WM_LINK_OUTCOME)
        OnLinkOutcome();
    else if (e->Message() == WM_CONTROL_ANSWER)
        OnControlAnswer(e->WParam(), e->LParam());
}

void CTalvex22View::OnLinkOutcome() {
    // Posted before the connection ended (ping loss, Close): nothing left to act on.
    if (!LinkIsOpen()) return;
    // Inside a section that holds the link lock (only an event loop run there could bring us
    // here): acting now might close the link under the lock. Later, in order.
    if (LinkLockHeldHere()) {
        QCoreApplication::postEvent(this, new LinkMessageEvent(WM_LINK_OUTCOME));
        return;
    }
    // Everything the receive thread reported since the last batch; it has gone on reading unless
    // the last of them needs this answer first.
    const std::vector<int> outcomes = LinkTakeOutcomes();
    if (outcomes.empty()) return;
    if (std::find(outcomes.begin(), outcomes.end(), LINK_LOST) == outcomes.end()) {
        const bool first = IsConnecting();
        m_watch.Answered();
        if (first) {
            m_watch.Named(PortName()); // a Bluetooth device's name is known by now
            UpdateCommandStates();     // Connect in Cancel's place again
        }
    }
    // A new panel replaces the table: what came before it for the old one is of no use.
    const bool newPanel = outcomes.back() == LINK_PANEL;
    for (int outcome : outcomes) {
        if (newPanel && (outcome == LINK_VALUES || outcome == LINK_ATTRIBUTES)) continue;
        if (!HandleOutcome(outcome)) return; // no receiver: the connection has ended
    }
    if (LinkOutcomeAwaitsWindow(outcomes.back())) LinkStartReceiver(this, WM_LINK_OUTCOME);
}

bool CTalvex22View::HandleOutcome(int outcome) {
    if (outcome == LINK_PING_REPLY) m_watch.PingAnswered();
    switch (outcome) {
    case LINK_TITLE: {
        std::u16string title = LinkGetTitle();
        if (!title.empty()) m_pFrame->setWindowTitle(QString::fromStdU16String(title));
        const QString panel = QString::fromStdU16String(title.empty() ? u"Talvex" : title);
        m_valueLog.SetPanel(panel, ReadValueLogSkipped(panel));
        BringFrameToForeground();
        break;
    }
    case LINK_PANEL: {
        m_bLayoutRequested = false;
        if (GetLayoutInt(0, 0, 0) == 0 || m_settings.m_AlwaysReload) LoadRecommendedLayout();
        ShowStale(false);
        BuildControls();
        if (m_nCtrls == 0) Notice(QStringLiteral("The control panel has no controls!"), true);
        m_bConnected = true;
        Relayout(true, true);
        emit PanelLaidOut(m_bLayoutRequested);
        break;
    }
    case LINK_CLOSED:
    case LINK_LOST:
        EndConnection(outcome == LINK_LOST);
        return false;
    case LINK_PRESENCE:
    case LINK_PING_REPLY:
    case LINK_ACK:
    case LINK_PANEL_REFUSED: // the link has said why; the panel shown stays
        break;
    case LINK_VALUES:
        m_bConnected = true;
        UpdateValues();
        break;
    case LINK_RELOAD:
        LinkReload();
        break;
    case LINK_ATTRIBUTES:
        m_bConnected = true;
        UpdateAttributes();
        break;
    case LINK_FILES:
        m_bConnected = true;
        UpdateFiles();
        break;
    case LINK_LAYOUT:
        ShowStale(false);
        BuildControls();
        Relayout(true, true);
        emit PanelLaidOut(false);
        break;
    default:
        ViewDiagnostic(933, outcome);
        break;
    }
    return true;
}

QString CTalvex22View::PortName() const {
    const QString path = PortPathToOpen();
    if (path.isEmpty()) return QStringLiteral("/dev/rfcomm%1").arg(m_settings.m_iComOutGoing);
    const PortAddress address = ParsePortAddress(path.toStdString());
    if (address.kind != PortAddress::Kind::Bluetooth) return path;
    // The system's name for it now, else the one remembered when it was chosen.
    const QString bt = QString::fromStdString(address.bluetooth);
    QString name = m_pBluetooth ? m_pBluetooth->Devices().deviceName(bt) : QString();
    if (name.isEmpty() && path == m_settings.m_strComPath) name = m_settings.m_strComName;
    return name.isEmpty() ? path : QStringLiteral("%1 (%2)").arg(name, bt);
}

BluetoothLine& CTalvex22View::Bluetooth() {
    if (!m_pBluetooth) m_pBluetooth = new BluetoothLine(QDBusConnection::systemBus(), this);
    return *m_pBluetooth;
}

void CTalvex22View::ShowStale(bool stale) {
    m_pPanel->setEnabled(!stale);
    m_pVeil->Cover(stale);
}

// The device said goodbye, or is gone: disconnected, the panel kept only when it asked for it.
void CTalvex22View::EndConnection(bool lost) {
    const QString reason = QString::fromStdString(LinkLostReason());
    const QString said = QStringLiteral("Connection lost: %1: %2").arg(PortName(), reason);
    LinkClose(false);
    DropPendingOutcomes();
    m_bConnected = false;
    if (m_pPanelObserver) m_pPanelObserver->DeviceState(false, reason);
    if (!LinkKeepPanel()) {
        ReadSettings();
        ResetPanel();
    } else {
        ShowStale(true);
        // A file asked for in this connection is not opened when it comes in the next.
        for (auto& c : m_pCtrls)
            if (c->m_bFileRequested) c->FileDelivered();
    }
    UpdateCommandStates();
    if (!lost)
        m_watch.Ended();
    else if (m_watch.Lost(reason, m_settings.m_AutoReconnect != 0))
        Notice(said); // once per loss, not once per failed attempt to reconnect
}

// Outcomes and answers of a connection that has ended are of no use to the next one.
void CTalvex22View::DropPendingOutcomes() {
    QCoreApplication::removePostedEvents(this, LinkMessageEvent::EventType());
}

void CTalvex22View::OnControlAnswer(long wParam, long lParam) {
    SendControlAnswer(wParam, uint32_t(lParam));
}

void CTalvex22View::OnConnect() {
    if (m_bConnected) return;
    m_bConnected = true;
    m_pCtrls.clear();
    m_nCtrls = 0;
    ShowStale(false);
    m_watch.Connecting(PortName());
    Relayout(true, true);
    const QString path = PortPathToOpen();
    const int status = OpenPort(path);
    if (status == 0) return;
    m_watch.Ended();
    PlainBox(window(), QMessageBox::Information, QStringLiteral("Error"),
             OpenError(status, PortName()));
    QMessageBox ask(QMessageBox::Critical, QCoreApplication::applicationName(),
                    path.isEmpty()
                        ? QString::asprintf("Unable to connect to COM%d: (Error %ld)\n\nConfigure "
                                            "COM port now?",
                                            m_settings.m_iComOutGoing, long(status))
                        : QStringLiteral("Unable to connect to %1: (Error %2)\n\nConfigure COM "
                                         "port now?")
                              .arg(path)
                              .arg(status),
                    QMessageBox::Yes | QMessageBox::No, window());
    ask.setTextFormat(Qt::PlainText);
    CentreOverWindow(&ask, window());
    int answer = ExecWindowModal(ask);
    m_bConnected = false;
    Relayout(true, true);
    if (answer == QMessageBox::Yes) AskComPort();
}

// Closing the port waits for the receive thread, which never waits for a box.
void CTalvex22View::DisconnectAndReset(bool notifyDevice) {
    ReadSettings();
    // A goodbye that cannot be written leaves the port open; the user asked to end anyway.
    if (LinkClose(notifyDevice) != 0) LinkClose(false);
    DropPendingOutcomes();
    m_bConnected = false;
    if (m_pPanelObserver) m_pPanelObserver->DeviceState(false, QStringLiteral("closed"));
    ResetPanel();
}

// The path is opened as given each time: a symbolic link to the port is followed anew.
int CTalvex22View::OpenPort(const QString& path) {
    LinkSetBatchedOutcomes(true);
    if (path.isEmpty()) return LinkOpen(m_settings.m_iComOutGoing, this, WM_LINK_OUTCOME);
    const PortAddress address = ParsePortAddress(path.toStdString());
    if (address.kind != PortAddress::Kind::Bluetooth)
        return LinkOpenDevice(path.toStdString(), this, WM_LINK_OUTCOME);
    // BlueZ connects in the background; a failure comes as the lost device, saying why.
    return LinkOpenPort(Bluetooth().Open(QString::fromStdString(address.bluetooth)), this,
                        WM_LINK_OUTCOME);
}

QString CTalvex22View::Reopen() {
    // Never under the link lock, nor over a port still open; the next attempt comes soon.
    if (LinkLockHeldHere() || LinkIsOpen()) return QStringLiteral("the port is busy");
    m_bConnected = true;
    const int status = OpenPort(PortPathToOpen());
    if (status != 0) m_bConnected = false;
    UpdateCommandStates();
    return status == 0 ? QString() : OpenError(status, PortName());
}

void CTalvex22View::AbandonAttempt(bool unanswered) {
    if (LinkLockHeldHere()) {
        QTimer::singleShot(0, this, [this, unanswered] { AbandonAttempt(unanswered); });
        return;
    }
    LinkClose(false);
    DropPendingOutcomes();
    m_bConnected = false;
    UpdateCommandStates();
    if (unanswered) Notice(QStringLiteral("No answer from the device on %1").arg(PortName()));
}

void CTalvex22View::OnCancelConnect() {
    m_watch.Ended();
    AbandonAttempt(false);
}

void CTalvex22View::OnClose() {
    if (!m_bConnected && !m_pCtrls.empty()) {
        // A panel kept after a disconnect: only cleared.
        m_watch.Ended();
        ReadSettings();
        ResetPanel();
        return;
    }
    CloseAndEnd();
}

void CTalvex22View::CloseAndEnd() {
    m_watch.Ended();
    if (m_bConnected) DisconnectAndReset(true);
    LinkShutdown();
    QuitRequest();
}

void CTalvex22View::OnDestroyView() {
    if (m_bConnected)
        DisconnectAndReset(true);
    else if (!m_pCtrls.empty()) {
        ReadSettings();
        ResetPanel();
    }
}

void CTalvex22View::PingTick() {
    if (!m_bConnected || !LinkPingsAllowed()) return;
    // Never close the link under its own lock (a tick from an event loop run while it is held).
    if (LinkLockHeldHere()) {
        QTimer::singleShot(0, this, &CTalvex22View::PingTick);
        return;
    }
    const int status = LinkPing();
    if (status == 0) {
        m_watch.PingSent();
        return;
    }
    if (status == LINK_E_PING_LOST) m_watch.PingMissed();
    DisconnectAndReset(false);
    m_pFrame->setWindowTitle(m_strDefaultTitle);
    m_watch.Lost(
        status == LINK_E_PING_LOST
            ? QStringLiteral("no answer to ping")
            : QStringLiteral("a ping could not be sent: %1").arg(OpenError(status, PortName())),
        m_settings.m_AutoReconnect != 0);
}
