// The view's construction, settings, commands and their enabling, and window events.
#include <QAction>
#include <QDialog>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmapCache>

#include "AboutBox.h"
#include "ConnectionIndicator.h"
#include "Ctrl.h"
#include "DesktopLinks.h"
#include "FramePacer.h"
#include "Link.h"
#include "LinkBridge.h"
#include "MainFrame.h"
#include "PanelCanvas.h"
#include "StaleVeil.h"
#include "Talvex22View.h"
#include "ValueLogSettings.h"

CTalvex22View::CTalvex22View(CMainFrame* frame, QtLinkAlerts* alerts, const QString& defaultTitle,
                             QWidget* parent)
    : QScrollArea(parent), m_pFrame(frame), m_pAlerts(alerts), m_pPanel(new PanelCanvas(this)),
      m_pVeil(new StaleVeil(m_pPanel)), m_strDefaultTitle(defaultTitle),
      m_pWidgets(std::make_unique<CCtrlWidgets>(m_pPanel)), m_watch(frame->Indicator()) {
    // The style keeps each button drawn in Qt's pixmap cache under a key made from the widget's
    // own palette, new for every widget and every recolouring; the cache (Qt 6.4) keeps the key
    // of every picture it evicts, for good: every panel built and every colour pushed would add
    // to the program for ever. Buttons are drawn afresh instead.
    QPixmapCache::setCacheLimit(0);
    setWidget(m_pPanel);
    m_pWidgets->MakeWhenShown(true);
    m_watch.SetReopen([this] { return Reopen(); }, [this](bool again) { AbandonAttempt(!again); });
    // Values pushed faster than the screen refreshes are painted once a frame.
    new CFramePacer(m_pFrame);
    connect(m_pWidgets.get(), &CCtrlWidgets::RelayoutRequested, this,
            [this] { Relayout(true, true); });
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    if (m_pAlerts) m_pAlerts->Boxes().SetParentWindow(frame);
    m_pWidgets->notice = [this](const QString& text) { Notice(text, true); };
    if (CConnectionIndicator* indicator = m_pFrame->Indicator())
        connect(
            indicator, &CConnectionIndicator::FolderRequested, this, [this](const QString& folder) {
                OpenOnDesktop(*m_pWidgets->opener, QUrl::fromLocalFile(folder), m_pWidgets->notice);
            });
    connect(&m_pingTimer, &QTimer::timeout, this, &CTalvex22View::PingTick);
    connect(m_pFrame, &CMainFrame::Command, this, &CTalvex22View::OnCommand);
    connect(m_pFrame, &CMainFrame::UpdateCommands, this, &CTalvex22View::UpdateCommandStates);
    // A folder that cannot be written turns logging off, also in the settings, with one notice.
    connect(&m_valueLog.Log(), &CValueLog::Failed, this, [this](const QString& why) {
        ValueLogSettings stored = ReadValueLogSettings();
        stored.on = false;
        WriteValueLogSettings(stored);
        Notice(why);
    });
    const QString panel = QStringLiteral("Talvex"); // the layout store's name before any title
    m_valueLog.SetPanel(panel, ReadValueLogSkipped(panel));
    StartValueLog();
}

void CTalvex22View::StartValueLog() {
    const ValueLogSettings s = ReadValueLogSettings();
    if (s.on)
        m_valueLog.Log().Start(s.folder, s.LimitBytes());
    else
        m_valueLog.Log().Stop();
}

void CTalvex22View::UpdateCommandStates() {
    for (int id :
         {ID_CONNECT, ID_CANCEL_CONNECT, ID_CLOSE, ID_PREVIOUS_PAGE, ID_FIRST_PAGE, ID_NEXT_PAGE,
          ID_LAST_PAGE, ID_LAYOUT_CONTROLS, ID_LOAD_RECOMMENDED, ID_DEFAULT_LAYOUT, ID_PINGS,
          ID_ALWAYS_RELOAD, ID_AUTO_RECONNECT, ID_COM_PORTS}) {
        if (QAction* a = m_pFrame->Action(id)) {
            a->setEnabled(IsCommandEnabled(id));
            if (a->isCheckable()) a->setChecked(IsCommandChecked(id));
        }
    }
    const bool connecting = IsConnecting();
    if (QAction* a = m_pFrame->Action(ID_CONNECT)) a->setVisible(!connecting);
    if (QAction* a = m_pFrame->Action(ID_CANCEL_CONNECT)) a->setVisible(connecting);
    if (CConnectionIndicator* indicator = m_pFrame->Indicator())
        indicator->SetPage(m_nCurPage, m_pCtrls.empty() ? 0 : m_nLastPage + 1);
}

CTalvex22View::~CTalvex22View() {
    LinkSetBatchedOutcomes(false);
}

void CTalvex22View::ReadSettings() {
    m_nCurPage = 0;
    m_nLastPage = 0;
    m_nMargin = 5;
    m_settings.m_iComOutGoing = 0;
    m_settings.m_strComPath.clear();
    m_settings.m_strComName.clear();
    SetPing(false, 3);
    m_settings.m_AlwaysReload = 1;
    m_settings.m_AutoReconnect = 0;
    ReadAppSettings(m_settings);
}

void CTalvex22View::WriteSettings() {
    WriteAppSettings(m_settings);
}

void CTalvex22View::SetPing(bool on, int seconds) {
    m_pingTimer.stop();
    m_bPingOn = on;
    m_nPingSeconds = seconds; // kept as stored; only the timer is held to a sane period
    m_watch.SetPingOn(on && seconds > 0);
    constexpr int kLongestPing = 24 * 60 * 60;
    if (on && seconds > 0)
        m_pingTimer.start(
            std::chrono::milliseconds(qint64(std::min(seconds, kLongestPing)) * 1000));
}

void CTalvex22View::ResetPanel() {
    for (auto& c : m_pCtrls) {
        if (c->m_pMatrixDlg)
            QMetaObject::invokeMethod(c->m_pMatrixDlg, "close", Qt::QueuedConnection);
        if (c->m_pPasswordDlg)
            QMetaObject::invokeMethod(c->m_pPasswordDlg, "close", Qt::QueuedConnection);
    }
    m_pCtrls.clear();
    m_nCtrls = 0;
    m_pFrame->setWindowTitle(m_strDefaultTitle);
    m_nCurPage = 0;
    m_nLastPage = 0;
    Relayout(true, true);
    m_windowIds.Reset();
    ShowStale(false);
}

void CTalvex22View::OnInitialUpdate() {
    m_bInitialised = true;
    ReadSettings();
    m_bSwitchA = m_bSwitchB = m_bResizable = true;
    m_nPanelWidth = 640;
    m_nPanelHeight = 480;
    if (m_settings.m_iComOutGoing == 0 && PortPathToOpen().isEmpty()) AskComPort();
    LinkSetAckOption(false);
    m_bConnected = false;
    m_pCtrls.clear();
    m_nCtrls = 0;
    ResetPanel();
}

bool CTalvex22View::IsCommandEnabled(int id) const {
    switch (id) {
    case ID_CONNECT:
        return !m_bConnected;
    case ID_CANCEL_CONNECT:
        return IsConnecting();
    case ID_PREVIOUS_PAGE:
    case ID_FIRST_PAGE:
        return m_bConnected && m_nCurPage > 0;
    case ID_NEXT_PAGE:
    case ID_LAST_PAGE:
        return m_bConnected && m_nCurPage < m_nLastPage;
    case ID_LAYOUT_CONTROLS:
    case ID_LOAD_RECOMMENDED:
    case ID_DEFAULT_LAYOUT:
    case ID_PINGS:
        return m_bConnected;
    default:
        return true;
    }
}

bool CTalvex22View::IsCommandChecked(int id) const {
    if (id == ID_AUTO_RECONNECT) return m_settings.m_AutoReconnect != 0;
    return id == ID_ALWAYS_RELOAD && m_settings.m_AlwaysReload != 0;
}

void CTalvex22View::OnCommand(int id) {
    if (!IsCommandEnabled(id)) return;
    switch (id) {
    case ID_CONNECT:
        OnConnect();
        return;
    case ID_CANCEL_CONNECT:
        OnCancelConnect();
        return;
    case ID_CLOSE:
        OnClose();
        return;
    case ID_PREVIOUS_PAGE:
        --m_nCurPage;
        break;
    case ID_NEXT_PAGE:
        ++m_nCurPage;
        break;
    case ID_FIRST_PAGE:
        m_nCurPage = 0;
        break;
    case ID_LAST_PAGE:
        m_nCurPage = m_nLastPage;
        break;
    case ID_LOAD_RECOMMENDED:
        LoadRecommendedLayout();
        return;
    case ID_DEFAULT_LAYOUT:
        DefaultLayout();
        return;
    case ID_ALWAYS_RELOAD:
        OnAlwaysReload();
        return;
    case ID_AUTO_RECONNECT:
        OnAutoReconnect();
        return;
    case ID_COM_PORTS:
        AskComPort();
        return;
    case ID_PINGS:
        OnPings();
        return;
    case ID_LAYOUT_CONTROLS:
        OnLayoutControls();
        return;
    case ID_LOG_VALUES:
        OnLogValues();
        return;
    case ID_APP_ABOUT:
        ShowAboutBox(window());
        return;
    default:
        return;
    }
    ShowPage();
}

void CTalvex22View::OnAlwaysReload() {
    m_settings.m_AlwaysReload = m_settings.m_AlwaysReload ? 0 : 1;
    if (m_settings.m_AlwaysReload && m_bConnected) LoadRecommendedLayout();
    AppSettings stored = m_settings;
    WriteAppSettings(stored);
}

void CTalvex22View::OnAutoReconnect() {
    m_settings.m_AutoReconnect = m_settings.m_AutoReconnect ? 0 : 1;
    WriteAppSettings(m_settings);
    m_watch.SetReconnect(m_settings.m_AutoReconnect != 0);
    UpdateCommandStates();
}

void CTalvex22View::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    const QSize client = ClientSize();
    // The viewport's resize when a scroll bar comes or goes arrives here too: the window's area
    // is the same, so there is nothing to lay out or store (it would undo a layout just made).
    if (client == m_handledClient) return;
    m_handledClient = client;
    m_nPanelWidth = client.width();
    m_nPanelHeight = client.height();
    if (!m_bInitialised) return;
    Relayout(true, false);
    // Loading the stored layout read the old panel size back; the new one is what to keep.
    m_nPanelWidth = client.width();
    m_nPanelHeight = client.height();
    // Only a live panel has loaded its stored values; before that, saving would write the
    // defaults (pings off, ...) over them.
    if (m_bConnected && !m_pCtrls.empty()) SaveLayout();
}

namespace {

bool Contains(const CCtrl& c, const QPoint& p) {
    return p.x() >= c.m_rcCache[0] && p.y() >= c.m_rcCache[1] &&
           p.x() <= c.m_rcCache[0] + c.m_rcCache[2] && p.y() <= c.m_rcCache[1] + c.m_rcCache[3];
}

} // namespace

QSize CTalvex22View::ClientSize() const {
    // The window's area without scroll bars: whether they show must not change the layout.
    return maximumViewportSize();
}

void CTalvex22View::mousePressEvent(QMouseEvent* event) {
    if (!m_pPanel->isEnabled()) return;            // a stale panel takes no input
    if (event->button() != Qt::LeftButton) return; // the other buttons press no picture
    const QPoint p = m_pPanel->mapFrom(viewport(), event->position().toPoint());
    auto onPage = [&](const CCtrl& c) { return IsControlShown(c); };
    for (auto& c : m_pCtrls)
        if (c->m_nType != TYPE_IMAGE && onPage(*c) && Contains(*c, p)) return;
    for (auto& c : m_pCtrls) {
        if (c->m_nType != TYPE_IMAGE || !onPage(*c) || !Contains(*c, p)) continue;
        if (!(c->m_dwFlags & CTRLF_EDITABLE) || (c->m_dwFlags & CTRLF_DISABLED)) continue;
        c->m_bImagePressed = true;
        viewport()->repaint();
    }
}

void CTalvex22View::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
}

void CTalvex22View::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint p = m_pPanel->mapFrom(viewport(), event->position().toPoint());
    for (auto& c : m_pCtrls) {
        if (c->m_nType != TYPE_IMAGE || !c->m_bImagePressed) continue;
        c->m_bImagePressed = false;
        viewport()->repaint();
        if (Contains(*c, p) && (c->m_dwFlags & CTRLF_EDITABLE)) {
            LinkSetValue(c->m_nId, nullptr, 0);
            LinkSendChanges();
        }
    }
}
