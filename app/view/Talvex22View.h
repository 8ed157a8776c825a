// The panel view: owns the connection, reacts to the link's outcomes on the user-interface
// thread, builds and refreshes the controls, pings the device, and lays the controls out in
// rows and pages. Methods are spread over View*.cpp files by concern.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QScrollArea>
#include <QTimer>
#include <map>
#include <memory>
#include <vector>

#include "AppSettings.h"
#include "ComPorts.h"
#include "ConnectionWatch.h"
#include "CtrlArray.h"
#include "CtrlHost.h"
#include "CtrlWidgets.h"
#include "PanelSource.h"
#include "ValueLogFeed.h"

class BluetoothLine;
class CMainFrame;
class StaleVeil;
class QtLinkAlerts;

class CTalvex22View : public QScrollArea, public ICtrlHost, public IPanelSource {
    Q_OBJECT
public:
    // defaultTitle: the frame's title while no panel names itself (the program's name).
    CTalvex22View(CMainFrame* frame, QtLinkAlerts* alerts, const QString& defaultTitle,
                  QWidget* parent = nullptr);
    ~CTalvex22View() override;

    // Opens this device path instead of the numbered port (--port, --demo), until the user
    // confirms a port in the Com Ports dialog.
    void SetPortPath(const QString& path) { m_strPortPath = path; }
    // The port's name for people: the path, the numbered port's device, or a Bluetooth device by
    // its name and address.
    QString PortName() const;
    void OnInitialUpdate();
    void OnCommand(int id);
    bool IsCommandEnabled(int id) const;
    bool IsCommandChecked(int id) const;
    // The frame's commands enabled and checked by the rules above, at once.
    void UpdateCommandStates();
    // Called when the frame closes: disconnects when needed.
    void OnDestroyView();
    // Close, and the program ends whatever is shown (it was told to end).
    void CloseAndEnd();
    // A port is open and the device has not answered yet.
    bool IsConnecting() const { return m_bConnected && m_watch.IsAwaitingAnswer(); }

    // The records for the MQTT bridge (IPanelSource; ViewControls.cpp).
    void SetObserver(IPanelObserver* observer) override { m_pPanelObserver = observer; }
    const CtrlArray& Ctrls() const override { return m_pCtrls; }
    bool HasPanel() const override;
    void CloseQuestion(uint32_t id) override;

    // Settings, panel and ping.
    void ReadSettings();
    void WriteSettings();
    void ResetPanel();
    void SetPing(bool on, int seconds);
    // One tick of the ping timer (the timer's slot; tests drive it directly).
    void PingTick();
    // The running ping timer's period in milliseconds, 0 when stopped.
    int PingTimerInterval() const { return m_pingTimer.isActive() ? m_pingTimer.interval() : 0; }

    // Pages and layout. Positions may come from the device's layout records: the panel's extent
    // and every control's rectangle are bounded to this many pixels per axis.
    static constexpr int kMaxExtent = 1 << 15;
    bool IsControlVisible(const CCtrl& c) const;
    static int EffectivePage(const CCtrl& c);
    void ShowPage();
    // The panel is at least as large as what the current page shows; a smaller window scrolls.
    void FitPanelToPage();
    void Relayout(bool loadStored, bool resizeFrame);
    // storedPages: the pages a stored layout uses are left to it (it is about to be loaded).
    void AutoLayout(const QRect& rect, bool storedPages = true);
    void LoadLayout();
    void SaveLayout();
    void LoadRecommendedLayout();
    void DefaultLayout();
    void ReleaseLatchGroup(uint32_t group) override;
    void ValueSent(CCtrl& c, const uint8_t* bytes, uint32_t length) override;
    // Places the control's widgets at its effective rectangle, and shows or hides them.
    void PlaceControl(CCtrl& c);
    void ShowControl(CCtrl& c, bool shown);
    // Visible and on the current page (or on every page).
    bool IsControlShown(const CCtrl& c) const;

    // Notifications of the controls' child widgets, given to the control that owns the widget;
    // false when no control owns it.
    enum ChildNotification : int {
        NOTIFY_CLICK = 0,
        NOTIFY_SELECTION = 1,
        NOTIFY_TEXT_CHANGE = 0x300,
        NOTIFY_DATETIME_CHANGE = -759,
        NOTIFY_SCROLL = 0x114,
    };
    bool RouteNotification(QWidget* child, int code);
    CCtrl* FindOwner(const QWidget* child) const;

    // What the control records need from their view; the widget hooks go to the widgets' host.
    int NextWindowId() override { return m_windowIds.Next(); }
    void CreateWidgets(CCtrl& c) override;
    void CreatePicture(CCtrl& c, const uint8_t* data, size_t size) override;
    void DestroyWidgets(CCtrl& c) override;
    void RefreshWidgets(CCtrl& c, CtrlRefresh what) override;
    void ShowMessageBox(CCtrl& c) override;
    void OpenPasswordDialog(CCtrl& c) override;
    void DiagnosticBox(long checkPoint, const char* unit, long value) override;
    void SizeAlarm(long checkPoint, const char* unit) override;
    void QuitRequest() override;

    // The settings dialogs (Talvex22ViewDialogs.cpp); the Com Ports dialog's view of the system
    // can be replaced (tests).
    void SetComPortsServices(ComPortsServices services) { m_comPorts = std::move(services); }
    // Bluetooth devices (bt://ADDRESS) are reached through this line (not owned); one on the
    // system bus is made when first needed unless one is set (tests).
    void SetBluetoothLine(BluetoothLine* line) { m_pBluetooth = line; }

    // State, read by dialogs, widgets and tests.
    const CtrlArray& Controls() const { return m_pCtrls; }
    // The connection's status and automatic reconnects (tests give it their own clock).
    CConnectionWatch& Watch() { return m_watch; }
    CCtrlWidgets& Widgets() const { return *m_pWidgets; }
    // The values logged from this view (Settings > Log Values; tests wait on its writer).
    CValueLogFeed& ValueLog() { return m_valueLog; }
    QWidget* Panel() const { return m_pPanel; }
    int m_nCtrls = 0;
    bool m_bConnected = false;
    bool m_bInitialised = false;
    int m_nCurPage = 0;
    int m_nLastPage = 0;
    int m_nMargin = 5;
    AppSettings m_settings;
    bool m_bPingOn = false;
    int m_nPingSeconds = 3;
    int m_nPanelWidth = 640;
    int m_nPanelHeight = 480;
    bool m_bResizable = true;
    bool m_bSwitchA = true;
    bool m_bSwitchB = true;
    // Device message boxes open now; the frame comes forward only when none is.
    int m_nOpenMessageBoxes = 0;

signals:
    // A panel has been built and laid out (outcomes 2 and 11).
    void PanelLaidOut(bool layoutRequested);
    // The program should end (Close, or an oversize value).
    void QuitRequested();

protected:
    void customEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void OnLinkOutcome();
    // One outcome of a batch; false when it ended the connection.
    bool HandleOutcome(int outcome);
    void OnControlAnswer(long wParam, long lParam);
    void OnConnect();
    void OnCancelConnect();
    void OnClose();
    void OnAlwaysReload();
    void OnAutoReconnect();
    // Opens the link on `path`, or on the numbered port when it is empty.
    int OpenPort(const QString& path);
    // An automatic reconnect: the same port opened again, no box on failure; empty or why not.
    QString Reopen();
    // Closes a connection the device has not answered; `unanswered`: the user's Connect is
    // over without an answer, which is said once.
    void AbandonAttempt(bool unanswered);
    // A kept panel is shown greyed while its values may be out of date.
    void ShowStale(bool stale);
    // The settings dialogs (Talvex22ViewDialogs.cpp).
    void AskComPort();
    void OnPings();
    void OnLayoutControls();
    void OnLogValues();
    // The stored value-log settings put to work.
    void StartValueLog();
    // The device path Connect opens: --port, else a device chosen in Com Ports; empty for the
    // numbered port.
    QString PortPathToOpen() const;
    void BringFrameToForeground();
    void BuildControls();
    void UpdateValues();
    void UpdateAttributes();
    void UpdateFiles();
    void AnnounceSavedFiles();
    void DisconnectAndReset(bool notifyDevice);
    void EndConnection(bool lost);
    void DropPendingOutcomes();
    // The line to Bluetooth devices, made on the system bus when first needed.
    BluetoothLine& Bluetooth();
    // A box that does not stop the link (a warning, or information).
    void Notice(const QString& text, bool information = false);
    void ViewDiagnostic(long checkPoint, long value);
    void ViewSizeAlarm(long checkPoint);
    QSize ClientSize() const;

    CMainFrame* m_pFrame;
    QtLinkAlerts* m_pAlerts;
    IPanelObserver* m_pPanelObserver = nullptr;
    // The device message boxes open now, by control id.
    std::map<uint32_t, QPointer<QMessageBox>> m_questionBoxes;
    QWidget* m_pPanel;
    StaleVeil* m_pVeil;
    QTimer m_pingTimer;
    QString m_strPortPath;
    ComPortsServices m_comPorts;
    BluetoothLine* m_pBluetooth = nullptr;
    QString m_strDefaultTitle;
    // Before the records: their destructors hand their widgets back to it.
    std::unique_ptr<CCtrlWidgets> m_pWidgets;
    CtrlArray m_pCtrls;
    CtrlWindowIds m_windowIds;
    bool m_bLayoutRequested = false;
    QSize m_handledClient; // the window's area the last size change laid out
    CConnectionWatch m_watch;
    CValueLogFeed m_valueLog;
};
