#include "TalvexApp.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTimer>
#include <cstdio>

#include "ConnectionIndicator.h"
#include "DemoDevice.h"
#include "FilesDirectory.h"
#include "Link.h"
#include "MainFrame.h"
#include "ProtocolMonitor.h"
#include "Talvex22View.h"
#include "TextCodec.h"
#include "WindowBridge.h"

CTalvex22App::CTalvex22App(const AppOptions& options) : m_options(options) {}

CTalvex22App::~CTalvex22App() {
    m_bridge.reset(); // says "offline" while the view's records are still there
    if (m_pView) m_pView->OnDestroyView();
    m_capture.Stop(); // the goodbye sent as the view went is in it
    // The link goes first: no receive thread may post to a view that is gone.
    m_doc.OnCloseDocument();
    m_pFrame.reset();
    m_demo.reset();
    LinkSetServices(LinkServices{});
    LinkSetFilesDirectory("");
}

QString CTalvex22App::TitleFromExecutable(const QString& path) {
    QString name = QFileInfo(path).fileName();
    // Only an extension is dropped: on this platform programs seldom have one.
    int dot = name.lastIndexOf(u'.');
    if (dot > 0 && name.size() - dot == 4) name.truncate(dot);
    return name;
}

bool CTalvex22App::InitInstance() {
    if (!m_options.codepage.isEmpty() && !LinkSetCodePage(qPrintable(m_options.codepage))) {
        std::fprintf(stderr, "Unknown code page: %s\n", qPrintable(m_options.codepage));
        return false;
    }
    const FilesDirectoryChoice files = ChooseFilesDirectory(
        m_options.filesDir, QStandardPaths::writableLocation(QStandardPaths::DownloadLocation));
    if (!files.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(files.error));
        return false;
    }
    if (!files.note.isEmpty()) std::fprintf(stderr, "%s\n", qPrintable(files.note));
    LinkSetFilesDirectory(QFile::encodeName(files.directory).toStdString());
    if (!m_options.trace.isEmpty()) {
        m_trace = std::make_unique<FileTraceSink>(m_options.trace);
        if (!m_trace->IsOpen()) {
            std::fprintf(stderr, "Cannot write the trace file %s\n", qPrintable(m_options.trace));
            return false;
        }
    }
    if (!m_options.screenshot.isEmpty()) m_alerts.SetUnattended(true);
    LinkSetServices(LinkServices{&m_notifier, &m_alerts, &m_layoutStore, m_trace.get(), &m_frameTap,
                                 &m_progress});

    if (m_options.demo) {
        m_demo = std::make_unique<DemoDevice>();
        QString error;
        if (!m_demo->Start(error)) {
            QMessageBox::critical(nullptr, QStringLiteral("Talvex 3.0"), error);
            return false;
        }
        m_options.portPath = m_demo->PortPath();
        m_options.connect = true;
    }

    // The document first: it initialises the link the view will open.
    bool documentOk = m_options.document.isEmpty() ? m_doc.OnNewDocument()
                                                   : m_doc.OnOpenDocument(m_options.document);
    if (!documentOk) return false;

    m_strTitle = TitleFromExecutable(QCoreApplication::applicationFilePath());
    m_pFrame = std::make_unique<CMainFrame>();
    auto* view = new CTalvex22View(m_pFrame.get(), &m_alerts, m_strTitle);
    m_pView = view;
    m_pFrame->setCentralWidget(view);
    if (!m_options.portPath.isEmpty()) view->SetPortPath(m_options.portPath);
    QObject::connect(view, &CTalvex22View::QuitRequested, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    // Told to end (a logout, kill, Ctrl+C): as Close does, the device told and the port closed.
    m_quitSignals = std::make_unique<CQuitSignals>();
    QObject::connect(
        m_quitSignals.get(), &CQuitSignals::Caught, view, [view] { view->CloseAndEnd(); },
        Qt::SingleShotConnection);
    QObject::connect(m_pFrame->Action(ID_PROTOCOL_MONITOR), &QAction::triggered, m_pFrame.get(),
                     [this] { OpenMonitor(); });
    QObject::connect(m_pFrame.get(), &CMainFrame::DocumentDropped, m_pFrame.get(),
                     [this](const QString& path) { OpenDocument(path); });
    m_bridge = std::make_unique<WindowBridge>(*view);
    QObject::connect(m_pFrame->Action(ID_MQTT), &QAction::triggered, m_pFrame.get(),
                     [this] { m_bridge->Configure(m_pFrame.get()); });
    if (CConnectionIndicator* indicator = m_pFrame->Indicator())
        QObject::connect(m_bridge.get(), &WindowBridge::StateChanged, indicator,
                         &CConnectionIndicator::SetBroker);
    m_bridge->Restart();
    if (CConnectionIndicator* indicator = m_pFrame->Indicator()) {
        QObject::connect(&m_progress, &TransferProgress::Progress, indicator,
                         &CConnectionIndicator::SetTransfer);
        QObject::connect(&m_progress, &TransferProgress::Finished, indicator,
                         &CConnectionIndicator::ClearTransfer);
    }
    if (!m_options.screenshot.isEmpty()) {
        QObject::connect(view, &CTalvex22View::PanelLaidOut, m_pFrame.get(),
                         [this](bool layoutRequested) {
                             // With a layout on its way, wait for it (but not for ever).
                             QTimer::singleShot(layoutRequested ? 1500 : 200, m_pFrame.get(),
                                                [this] { TakeScreenshot(); });
                         });
        QTimer::singleShot(15000, m_pFrame.get(), [this] { TakeScreenshot(); });
    }
    QObject::connect(&m_capture, &PcapCapture::Failed, m_pFrame.get(),
                     [this](const QString& message) { m_alerts.Boxes().Post(message); });
    if (!m_options.capture.isEmpty()) {
        QString error;
        if (!m_capture.Start(m_options.capture, DescribeCapture(), &error)) {
            std::fprintf(stderr, "Cannot write the capture file %s: %s\n",
                         qPrintable(m_options.capture), qPrintable(error));
            return false;
        }
    }
    view->OnInitialUpdate();

    m_pFrame->show();
    if (m_options.connect) QTimer::singleShot(0, view, [view] { view->OnCommand(ID_CONNECT); });
    return true;
}

void CTalvex22App::OpenDocument(const QString& path) {
    if (!m_doc.OnOpenDocument(path))
        m_alerts.Boxes().Post(QStringLiteral("The document %1 cannot be opened.").arg(path));
}

void CTalvex22App::OpenMonitor() {
    if (!m_monitor) {
        m_monitor = new ProtocolMonitor(m_frameTap, m_pFrame.get());
        m_monitor->SetCapture(&m_capture, [this] { return DescribeCapture(); });
    }
    m_monitor->show();
    m_monitor->raise();
    m_monitor->activateWindow();
}

CaptureSource CTalvex22App::DescribeCapture() const {
    CaptureSource source;
    if (m_pView) source.port = m_pView->PortName();
    // Before any panel the link's title is its placeholder: the frame that brings one says it.
    if (m_pView && LinkIsOpen() && !m_pView->Controls().empty())
        source.title = QString::fromStdU16String(LinkGetTitle());
    return source;
}

void CTalvex22App::TakeScreenshot() {
    static bool taken = false;
    if (taken || !m_pFrame) return;
    taken = true;
    bool ok = m_pFrame->grab().save(m_options.screenshot, "PNG");
    std::printf("%s %s\n", ok ? "Screenshot saved to" : "Could not save the screenshot to",
                qPrintable(m_options.screenshot));
    QCoreApplication::exit(ok ? 0 : 1);
}
