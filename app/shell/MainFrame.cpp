#include "MainFrame.h"

#include "ConnectionIndicator.h"
#include "PageKeys.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QToolBar>
#include <QToolButton>

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    QMenu* navigation = menuBar()->addMenu(QStringLiteral("Navigation"));
    AddAction(navigation, ID_PREVIOUS_PAGE, QStringLiteral("&Previous Page"));
    AddAction(navigation, ID_NEXT_PAGE, QStringLiteral("&Next Page"));
    navigation->addSeparator();
    AddAction(navigation, ID_FIRST_PAGE, QStringLiteral("&First Page"));
    AddAction(navigation, ID_LAST_PAGE, QStringLiteral("&Last Page"));
    navigation->addSeparator();
    AddAction(navigation, ID_CONNECT, QStringLiteral("C&onnect"));
    // In Connect's place while a connection waits for the device's first answer.
    AddAction(navigation, ID_CANCEL_CONNECT, QStringLiteral("C&ancel"))->setVisible(false);
    AddAction(navigation, ID_CLOSE, QStringLiteral("&Close"));

    QMenu* settings = menuBar()->addMenu(QStringLiteral("&Settings"));
    AddAction(settings, ID_LAYOUT_CONTROLS, QStringLiteral("&Layout Controls..."));
    AddAction(settings, ID_LOAD_RECOMMENDED, QStringLiteral("Load &Recommended Layout"));
    AddAction(settings, ID_ALWAYS_RELOAD, QStringLiteral("&Always Reload Layout on Connect"))
        ->setCheckable(true);
    AddAction(settings, ID_AUTO_RECONNECT, QStringLiteral("Reconnect A&utomatically"))
        ->setCheckable(true);
    AddAction(settings, ID_DEFAULT_LAYOUT, QStringLiteral("&Default Layout"));
    settings->addSeparator();
    AddAction(settings, ID_PINGS, QStringLiteral("&Pings..."));
    AddAction(settings, ID_COM_PORTS, QStringLiteral("&Com Ports..."));
    AddAction(settings, ID_PROTOCOL_MONITOR, QStringLiteral("Protocol &Monitor..."));
    AddAction(settings, ID_MQTT, QStringLiteral("M&QTT..."));
    AddAction(settings, ID_LOG_VALUES, QStringLiteral("Log &Values..."));
    settings->addSeparator();
    AddAction(settings, ID_APP_ABOUT, QStringLiteral("&About..."));
    const std::pair<int, QKeySequence> pageKeys[] = {
        {ID_PREVIOUS_PAGE, Qt::Key_PageUp},
        {ID_NEXT_PAGE, Qt::Key_PageDown},
        {ID_FIRST_PAGE, QKeySequence(Qt::CTRL | Qt::Key_Home)},
        {ID_LAST_PAGE, QKeySequence(Qt::CTRL | Qt::Key_End)}};
    for (const auto& [id, key] : pageKeys) m_actions.value(id)->setShortcut(key);
    new CPageKeys(this);
    for (QMenu* menu : {navigation, settings})
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommands);

    QToolBar* toolbar = addToolBar(QStringLiteral("Toolbar"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    const std::pair<int, const char*> buttons[] = {
        {ID_CONNECT, "Connect"},  {ID_CANCEL_CONNECT, "Cancel"},  {ID_CLOSE, "Close"},
        {ID_FIRST_PAGE, "First"}, {ID_PREVIOUS_PAGE, "Previous"}, {ID_NEXT_PAGE, "Next"},
        {ID_LAST_PAGE, "Last"}};
    for (auto [id, label] : buttons) {
        QAction* a = m_actions.value(id);
        // The toolbar shows the short label; the action keeps it through every change.
        a->setIconText(QString::fromLatin1(label));
        toolbar->addAction(a);
        if (auto* b = qobject_cast<QToolButton*>(toolbar->widgetForAction(a))) {
            b->setMinimumWidth(48);
            b->setAutoRaise(true);
        }
    }
    m_pIndicator = new CConnectionIndicator(toolbar);
    toolbar->addWidget(m_pIndicator);
    addToolBar(Qt::TopToolBarArea, toolbar);
    setStatusBar(nullptr);
    setAcceptDrops(true);
}

QAction* CMainFrame::AddAction(QMenu* menu, int id, const QString& text) {
    auto* a = new QAction(text, this);
    menu->addAction(a);
    m_actions.insert(id, a);
    connect(a, &QAction::triggered, this, [this, id] { emit Command(id); });
    return a;
}

CConnectionIndicator* CMainFrame::Indicator() const {
    return m_pIndicator;
}

void CMainFrame::SetSizingBorder(bool resizable) {
    if (resizable) {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else {
        setFixedSize(size());
    }
}

void CMainFrame::SetClientSize(int width, int height) {
    // The menu and toolbar heights come from the laid-out frame, also before it is first shown.
    if (layout()) layout()->activate();
    int chrome = height;
    if (QWidget* client = centralWidget()) chrome = size().height() - client->height() + height;
    QSize wanted(width, std::max(chrome, height));
    if (minimumSize() == maximumSize())
        setFixedSize(wanted);
    else
        resize(wanted);
}

void CMainFrame::BringToForeground() {
    raise();
    activateWindow();
}

QString CMainFrame::DroppedDocument(const QMimeData* data) {
    const QList<QUrl> urls = data ? data->urls() : QList<QUrl>();
    if (urls.size() != 1 || !urls.first().isLocalFile()) return {};
    const QString path = urls.first().toLocalFile();
    return QFileInfo(path).suffix().compare(QLatin1String("tvx"), Qt::CaseInsensitive) == 0
               ? path
               : QString();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedDocument(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QString path = DroppedDocument(event->mimeData());
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    emit DocumentDropped(path);
}
