// The application object: start-up in its order, the link's services, the one document, frame
// and view, and the default window title.
#pragma once

#include <QString>
#include <memory>

#include "CommandLine.h"
#include "Document.h"
#include "FrameTap.h"
#include "LinkBridge.h"
#include "PcapCapture.h"
#include "QuitSignals.h"
#include "SettingsLayoutStore.h"
#include "TraceSink.h"
#include "TransferProgress.h"

class CMainFrame;
class CTalvex22View;
class DemoDevice;
class ProtocolMonitor;
class WindowBridge;

class CTalvex22App {
public:
    explicit CTalvex22App(const AppOptions& options);
    ~CTalvex22App();

    // The executable's file name without its directory and its extension.
    static QString TitleFromExecutable(const QString& path);

    // False ends the process at once.
    bool InitInstance();

    QString m_strTitle;
    CTalvex22View* m_pView = nullptr;
    CMainFrame* Frame() const { return m_pFrame.get(); }
    QtLinkAlerts& Alerts() { return m_alerts; }
    // Progress of long transfers from the device, on the user-interface thread.
    TransferProgress& Progress() { return m_progress; }
    // The Protocol Monitor window, made when first opened.
    ProtocolMonitor* Monitor() const { return m_monitor; }
    // The capture of --capture and of the monitor's Save Capture...
    PcapCapture& Capture() { return m_capture; }
    void OpenMonitor();
    // The MQTT bridge over the view's records.
    WindowBridge* Bridge() const { return m_bridge.get(); }
    const CTalvex22Doc& Document() const { return m_doc; }
    // A document opened while running, as one named on the command line opens.
    void OpenDocument(const QString& path);

private:
    void TakeScreenshot();
    CaptureSource DescribeCapture() const;

    AppOptions m_options;
    QtLinkNotifier m_notifier;
    QtLinkAlerts m_alerts;
    SettingsLayoutStore m_layoutStore;
    std::unique_ptr<FileTraceSink> m_trace;
    FrameTap m_frameTap;
    PcapCapture m_capture{m_frameTap};
    TransferProgress m_progress;
    ProtocolMonitor* m_monitor = nullptr; // owned by the frame
    std::unique_ptr<CMainFrame> m_pFrame;
    CTalvex22Doc m_doc;
    std::unique_ptr<DemoDevice> m_demo;
    std::unique_ptr<CQuitSignals> m_quitSignals;
    std::unique_ptr<WindowBridge> m_bridge;
};
