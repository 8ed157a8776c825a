#include "FaultClient.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QSettings>

#include "Ctrl.h"
#include "Link.h"
#include "MainFrame.h"
#include "Talvex22View.h"

namespace {

constexpr const char* kFilesFolder = "files";
constexpr const char* kSettingsFolder = "settings";
constexpr const char* kTemporaryPrefix = ".talvex-";
constexpr int kConditionEveryMs = 5;

} // namespace

// The receive thread records its outcome before it posts.
void CountingNotifier::PostOutcome(void* window, uint32_t message) {
    ++m_posts;
    const int outcome = LinkGetOutcome(false);
    if (outcome >= kFirst && outcome <= kLast) ++m_byOutcome[size_t(outcome - kFirst)];
    m_inner.PostOutcome(window, message);
}

uint64_t CountingNotifier::Posts(int outcome) const {
    return outcome >= kFirst && outcome <= kLast ? m_byOutcome[size_t(outcome - kFirst)].load() : 0;
}

FaultClient::FaultClient() {
    const QDir root(m_root.path());
    root.mkdir(kFilesFolder);
    root.mkdir(kSettingsFolder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, root.filePath(kSettingsFolder));
    m_previousDirectory = QDir::currentPath();
    QDir::setCurrent(root.path());
    LinkSetFilesDirectory(FilesDirectory());

    m_alerts.SetUnattended(true);
    LinkSetServices(LinkServices{&m_notifier, &m_alerts, &m_store, nullptr});
    LinkInit();
    m_frame = std::make_unique<CMainFrame>();
    m_view = new CTalvex22View(m_frame.get(), &m_alerts, QStringLiteral("Talvex"));
    m_frame->setCentralWidget(m_view);
    QObject::connect(m_view, &CTalvex22View::PanelLaidOut, [this](bool) { ++m_panels; });
    m_boxTimer.setInterval(10);
    QObject::connect(&m_boxTimer, &QTimer::timeout, [this] { RefuseModalBox(); });
    m_boxTimer.start();
    m_view->SetPortPath(QStringLiteral("/dev/null"));
    m_view->OnInitialUpdate();
    m_frame->show();
}

FaultClient::~FaultClient() {
    m_view->OnDestroyView();
    LinkShutdown(); // no receive thread may post to the view once it is gone
    m_frame.reset();
    LinkSetServices(LinkServices{});
    LinkSetFilesDirectory({});
    QDir::setCurrent(m_previousDirectory);
}

void FaultClient::RefuseModalBox() {
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        ++m_modalBoxes;
        dialog->reject();
    }
}

int FaultClient::NoticeCount() {
    return int(m_alerts.Boxes().PostedCount());
}

QStringList FaultClient::NoticeTexts() {
    return m_alerts.Boxes().Texts();
}

bool FaultClient::Connect(const std::string& path, bool waitForPanel, int timeoutMs) {
    const int panels = m_panels;
    m_view->SetPortPath(QString::fromStdString(path));
    m_view->OnCommand(ID_CONNECT);
    if (!waitForPanel) return LinkIsOpen();
    return WaitFor([&] { return m_panels > panels; }, timeoutMs);
}

bool FaultClient::Connected() const {
    return m_view->m_bConnected && LinkIsOpen();
}

// A real event loop, so that the view handles each outcome as soon as it is posted (a loop that
// sleeps between rounds would throttle the link to one message a round).
bool FaultClient::WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    if (condition()) return true;
    QEventLoop loop;
    QTimer check, limit;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (condition()) loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    check.start(kConditionEveryMs);
    limit.setSingleShot(true);
    limit.start(timeoutMs);
    loop.exec();
    return condition();
}

CCtrl* FaultClient::Control(uint32_t id) const {
    for (const auto& c : m_view->Controls())
        if (c->m_nId == id) return c.get();
    return nullptr;
}

std::string FaultClient::FilesDirectory() const {
    return QDir(m_root.path()).filePath(kFilesFolder).toStdString();
}

std::vector<std::string> FaultClient::Strays() const {
    std::vector<std::string> strays;
    const QDir root(m_root.path());
    QDirIterator it(root.path(),
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QString name = QFileInfo(it.next()).fileName();
        if (name != kFilesFolder && name != kSettingsFolder) strays.push_back(name.toStdString());
    }
    QDirIterator files(root.filePath(kFilesFolder),
                       QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (files.hasNext()) {
        const QFileInfo f(files.next());
        if (f.fileName().startsWith(kTemporaryPrefix) || f.isDir())
            strays.push_back(kFilesFolder + std::string("/") + f.fileName().toStdString());
    }
    return strays;
}
