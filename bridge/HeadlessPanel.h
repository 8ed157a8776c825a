// The panel without a window: the link to the device on one port, the control records built
// from its table by a host that makes no widgets, the device's outcomes applied on the Qt Core
// event loop, pings, and the device found again with back-off after it is lost. What the window
// would show (values, attributes, a new panel, a device message box) goes to the observer.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <string>

#include "CtrlHost.h"
#include "LinkServices.h"
#include "PanelSource.h"

class BluetoothLine;

class HeadlessPanel : public QObject,
                      public IPanelSource,
                      public ICtrlHost,
                      public ILinkNotifier,
                      public ILinkAlerts {
public:
    // `port`: a serial device path, tcp://HOST:PORT or bt://ADDRESS.
    HeadlessPanel(std::string port, IPanelObserver* observer = nullptr, QObject* parent = nullptr);
    // Says goodbye to the device and closes the link.
    ~HeadlessPanel() override;

    // Installs the link's services and opens the port (again and again while it fails).
    void Start();
    // Says goodbye to the device and closes the link; no reconnecting after it.
    void Stop();
    void SetRetryDelays(int firstMs, int longestMs);
    // The line bt:// ports open through; without one a line on the system bus is made when
    // first needed. Set before Start.
    void SetBluetoothLine(BluetoothLine* line) { m_pBluetooth = line; }

    void SetObserver(IPanelObserver* observer) override { m_observer = observer; }
    const CtrlArray& Ctrls() const override { return m_ctrls; }
    bool HasPanel() const override { return m_hasPanel; }

protected:
    void customEvent(QEvent* event) override;

private:
    // ICtrlHost: no widgets; what a widget would show goes to the observer.
    void RefreshWidgets(CCtrl& c, CtrlRefresh what) override;
    void ShowMessageBox(CCtrl& c) override;
    void ReleaseLatchGroup(uint32_t group) override;
    // ICtrlHost and ILinkAlerts.
    void DiagnosticBox(long checkPoint, const char* unit, long value) override;
    void SizeAlarm(long checkPoint, const char* unit) override;
    void QuitRequest() override {}
    // ILinkNotifier, from any thread.
    void PostOutcome(void* window, uint32_t message) override;
    // ILinkAlerts.
    void MessageBox(const std::u16string& text) override;
    void WaitCursor(bool) override {}

    void Say(const QString& text);
    void Open();
    int OpenPort();
    void OnLinkOutcome();
    bool HandleOutcome(int outcome);
    void Build();
    void UpdateValues();
    void UpdateAttributes();
    void EndConnection(const QString& reason);
    void RetryLater();
    void PingTick();

    std::string m_port;
    BluetoothLine* m_pBluetooth = nullptr;
    std::unique_ptr<BluetoothLine> m_ownBluetooth;
    IPanelObserver* m_observer;
    CtrlArray m_ctrls;
    bool m_building = false;
    bool m_hasPanel = false;
    bool m_stopped = false;
    bool m_lostSaid = false;
    int m_firstRetryMs = 250;
    int m_longestRetryMs = 30000;
    int m_retryMs = 250;
    QTimer m_retry;
    QTimer m_ping;
};
