// The connection: connect, close, pings, and the reactions to the link's outcomes.
#include <QCoreApplication>
#include <QMessageBox>
#include <cstring>

#include "Ctrl.h"
#include "Frame.h"
#include "Link.h"
#include "LinkBridge.h"
#include "MainFrame.h"
#include "MessageBoxAnswer.h"
#include "Talvex22View.h"

namespace {

void PlainBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text) {
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

void CTalvex22View::ViewDiagnostic(long checkPoint, long value) {
    DiagnosticBox(checkPoint, VIEW_UNIT, value);
}

void CTalvex22View::ViewSizeAlarm(long checkPoint) {
    SizeAlarm(checkPoint, VIEW_UNIT);
    QuitRequest();
}

void CTalvex22View::DiagnosticBox(long checkPoint, const char* unit, long value) {
    PlainBox(window(), QMessageBox::Warning, QCoreApplication::applicationName(),
             DiagnosticText(checkPoint, unit, value));
}

void CTalvex22View::SizeAlarm(long checkPoint, const char* unit) {
    PlainBox(window(), QMessageBox::Warning, QCoreApplication::applicationName(),
             SizeAlarmText(checkPoint, unit));
}

void CTalvex22View::QuitRequest() {
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
    const int outcome = LinkGetOutcome(false);
    switch (outcome) {
    case LINK_TITLE: {
        std::u16string title = LinkGetTitle();
        if (!title.empty()) m_pFrame->setWindowTitle(QString::fromStdU16String(title));
        BringFrameToForeground();
        break;
    }
    case LINK_PANEL: {
        m_bLayoutRequested = false;
        if (GetLayoutInt(0, 0, 0) == 0 || m_settings.m_AlwaysReload) LoadRecommendedLayout();
        BuildControls();
        if (m_nCtrls == 0)
            PlainBox(window(), QMessageBox::Information, QCoreApplication::applicationName(),
                     QStringLiteral("The control panel has no controls!"));
        m_bConnected = true;
        Relayout(true, true);
        emit PanelLaidOut(m_bLayoutRequested);
        break;
    }
    case LINK_CLOSED:
        LinkClose(false);
        m_bConnected = false;
        if (!LinkKeepPanel()) {
            ReadSettings();
            ResetPanel();
        }
        UpdateCommandStates();
        return; // no receiver: the port is closed
    case LINK_PRESENCE:
    case LINK_PING_REPLY:
    case LINK_ACK:
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
        BuildControls();
        Relayout(true, true);
        emit PanelLaidOut(false);
        break;
    default:
        ViewDiagnostic(933, outcome);
        break;
    }
    LinkStartReceiver(this, WM_LINK_OUTCOME);
}

void CTalvex22View::OnControlAnswer(long wParam, long lParam) {
    SendControlAnswer(wParam, uint32_t(lParam));
}

void CTalvex22View::OnConnect() {
    if (m_bConnected) return;
    m_bConnected = true;
    m_pCtrls.clear();
    m_nCtrls = 0;
    Relayout(true, true);
    int status = m_strPortPath.isEmpty()
                     ? LinkOpen(m_settings.m_iComOutGoing, this, WM_LINK_OUTCOME)
                     : LinkOpenDevice(m_strPortPath.toStdString(), this, WM_LINK_OUTCOME);
    if (status == 0) return;
    QString reason = status > 0 ? QString::fromLocal8Bit(std::strerror(status))
                                : QStringLiteral("Link error %1").arg(status);
    PlainBox(window(), QMessageBox::Information, QStringLiteral("Error"), reason);
    QMessageBox ask(QMessageBox::Critical, QCoreApplication::applicationName(),
                    m_strPortPath.isEmpty()
                        ? QString::asprintf("Unable to connect to COM%d: (Error %ld)\n\nConfigure "
                                            "COM port now?",
                                            m_settings.m_iComOutGoing, long(status))
                        : QStringLiteral("Unable to connect to %1: (Error %2)\n\nConfigure COM "
                                         "port now?")
                              .arg(m_strPortPath)
                              .arg(status),
                    QMessageBox::Yes | QMessageBox::No, window());
    ask.setTextFormat(Qt::PlainText);
    int answer = ask.exec();
    m_bConnected = false;
    Relayout(true, true);
    if (answer == QMessageBox::Yes) AskComPort();
}

// Closing the port waits for the receive thread; a box it may be waiting on is let go first.
void CTalvex22View::DisconnectAndReset(bool notifyDevice) {
    ReadSettings();
    // A goodbye that cannot be written leaves the port open; the user asked to end anyway.
    if (LinkClose(notifyDevice) != 0) LinkClose(false);
    m_bConnected = false;
    ResetPanel();
}

void CTalvex22View::OnClose() {
    if (m_bConnected) {
        DisconnectAndReset(true);
        LinkShutdown();
        emit QuitRequested();
    } else if (m_pCtrls.empty()) {
        LinkShutdown();
        emit QuitRequested();
    } else {
        ReadSettings();
        ResetPanel();
    }
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
    if (!m_bConnected || !LinkPingsAllowed() || LinkPing() == 0) return;
    DisconnectAndReset(false);
    m_pFrame->setWindowTitle(m_strDefaultTitle);
}
