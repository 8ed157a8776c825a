// The panel view's connection lifecycle against a device played on a pseudo-terminal: connect,
// the layout request, closing, kept panels, pings, message-box answers and new definitions; the
// settings, the command rules, the application object and the command line.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <csignal>
#include <cstring>
#include <thread>

#include "CommandLine.h"
#include "ConnectionIndicator.h"
#include "FilesDirectory.h"
#include "Frame.h"
#include "LayoutProps.h"
#include "Link.h"
#include "NoticeBoxes.h"
#include "ProtocolMonitor.h"
#include "TalvexApp.h"
#include "ViewHarness.h"

namespace {

const QString kNoControls = QStringLiteral("The control panel has no controls!");

std::vector<Bytes> ButtonPanel(int count) {
    std::vector<Bytes> defs;
    for (int i = 1; i <= count; ++i) defs.push_back(Definition('B', 0, uint32_t(i), {0}));
    return defs;
}

bool IsLayoutRequest(const ClientFrame& f) {
    return f.code == MSG_REQUEST && f.payload == U32Bytes(512);
}

int LayoutRequests(const std::vector<ClientFrame>& frames) {
    return int(std::count_if(frames.begin(), frames.end(), IsLayoutRequest));
}

void PostToView(CTalvex22View* view, uint32_t message, long wParam, long lParam) {
    QCoreApplication::postEvent(view, new LinkMessageEvent(message, wParam, lParam));
    QCoreApplication::sendPostedEvents(view);
}

// ---------------------------------------------------------------------------------------------
// Connecting to a panel

using ViewConnect = ViewFixture;

TEST_F(ViewConnect, APanelBuildsItsControlsTitlesTheWindowAndAsksForTheLayoutOnce) {
    Start();
    Connect();
    EXPECT_TRUE(view->m_bConnected);
    EXPECT_TRUE(view->Controls().empty()); // Connecting: no controls yet
    LoadPanel("Greenhouse", ButtonPanel(3));

    EXPECT_TRUE(view->m_bConnected);
    EXPECT_EQ(view->m_nCtrls, 3);
    ASSERT_EQ(view->Controls().size(), 3u);
    for (uint32_t id = 1; id <= 3; ++id) EXPECT_EQ(view->Controls()[id - 1]->m_nId, id);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Greenhouse"));
    EXPECT_TRUE(lastLayoutRequested);
    auto sent = device.Sent();
    EXPECT_EQ(LayoutRequests(sent), 1);
    EXPECT_EQ(sent.size(), 1u);
    EXPECT_EQ(StoredLayout(u"Greenhouse", 0, PANEL_PROP_LAYOUT_REQUESTED, 0), 1);
    EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join('|').toStdString();
}

TEST_F(ViewConnect, WhileAlwaysReloadIsOnEveryConnectAsksForTheLayout) {
    Start();
    for (int round = 0; round < 2; ++round) {
        Connect();
        LoadPanel("Greenhouse", ButtonPanel(2));
        EXPECT_EQ(LayoutRequests(device.Sent()), 1) << "connect " << round;
        device.Closed();
        ASSERT_TRUE(WaitFor([&] { return !view->m_bConnected; }));
    }
}

TEST_F(ViewConnect, WithAlwaysReloadOffOnlyAPanelNeverAskedBeforeAsks) {
    Start();
    view->OnCommand(ID_ALWAYS_RELOAD);
    ASSERT_FALSE(view->IsCommandChecked(ID_ALWAYS_RELOAD));

    Connect();
    LoadPanel("Greenhouse", ButtonPanel(2));
    EXPECT_EQ(LayoutRequests(device.Sent()), 1);
    device.Closed();
    ASSERT_TRUE(WaitFor([&] { return !view->m_bConnected; }));

    Connect();
    LoadPanel("Greenhouse", ButtonPanel(2));
    EXPECT_FALSE(lastLayoutRequested);
    EXPECT_EQ(LayoutRequests(device.Sent()), 0);
    device.Closed();
    ASSERT_TRUE(WaitFor([&] { return !view->m_bConnected; }));

    Connect();
    LoadPanel("Workshop", ButtonPanel(2));
    EXPECT_EQ(LayoutRequests(device.Sent()), 1);
}

TEST_F(ViewConnect, APanelWithoutControlsSaysSoOnceAndStaysLive) {
    Start();
    Connect();
    LoadPanel("Empty", {});
    EXPECT_EQ(notices.Texts(), QStringList{kNoControls});
    EXPECT_TRUE(view->m_bConnected);
    EXPECT_TRUE(view->Controls().empty());
    EXPECT_FALSE(view->IsCommandEnabled(ID_CONNECT));
    // The receiver runs on: the device's next message is still handled.
    device.Info("Still here");
    EXPECT_TRUE(WaitFor([&] { return frame->windowTitle() == QStringLiteral("Still here"); }));
    EXPECT_EQ(notices.Texts().size(), 1);
    EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join('|').toStdString();
}

TEST_F(ViewConnect, ALinkErrorIsReportedAndTheConnectionGoesOn) {
    Start();
    Connect();
    LoadPanel("Greenhouse", ButtonPanel(1));
    peer.WriteFrame(3); // not a device message
    ASSERT_TRUE(WaitFor([&] { return !notices.Texts().isEmpty(); }));
    EXPECT_EQ(notices.Texts(), QStringList{QStringLiteral("At 933 file Talvex22View, val=-1")});
    EXPECT_TRUE(view->m_bConnected);
    EXPECT_TRUE(SendDefinition(ButtonPanel(4)));
    EXPECT_EQ(view->Controls().size(), 4u);
}

// Shown as a user would see them: real boxes, nobody answering.
TEST_F(ViewConnect, UnknownMessagesCostOneBoxThatStopsNothing) {
    alerts.SetUnattended(false);
    notices.SetClock([] { return qint64(0); }); // however slow the machine, these are repeats
    Start();
    Connect();
    LoadPanel("Greenhouse", ButtonPanel(1));
    peer.WriteFrame(20);
    ASSERT_TRUE(WaitFor([&] { return notices.Current() != nullptr; }));
    QMessageBox* box = notices.Current();
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(box->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // With the box up and unanswered, the next messages are handled.
    peer.WriteFrame(3);
    peer.WriteFrame(7, 0, U32Bytes(1));
    device.Info("Next");
    ASSERT_TRUE(WaitFor([&] { return frame->windowTitle() == QStringLiteral("Next"); }));
    EXPECT_EQ(notices.Current(), box);
    EXPECT_EQ(notices.Notices().size(), 1u);
    // The box counts them at its next turn.
    EXPECT_TRUE(WaitFor([&] {
        return box->text() == QStringLiteral("At 933 file Talvex22View, val=-1\n\n(3 times)");
    })) << box->text().toStdString();
    // Grown by its count, the box is still over the middle of the window.
    EXPECT_LE((box->frameGeometry().center() - frame->frameGeometry().center()).manhattanLength(),
              1);
    EXPECT_TRUE(view->m_bConnected);
    // The pings go on too.
    device.Sent();
    view->PingTick();
    EXPECT_EQ(device.SentCodes(), std::vector<uint16_t>{MSG_PING});
    box->close();
}

TEST_F(ViewConnect, APathThatIsNotATerminalIsRefusedAndLeftAlone) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("panel.txt"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("notes");
    }
    view->SetPortPath(path);
    Start();
    boxes.answer = QMessageBox::No;
    view->OnCommand(ID_CONNECT);
    ASSERT_EQ(boxes.texts.size(), 2) << boxes.texts.join('|').toStdString();
    EXPECT_EQ(boxes.texts[0],
              QStringLiteral("%1 is not a serial port: only a terminal device (such "
                             "as /dev/rfcomm0 or /dev/ttyUSB0) can be opened.")
                  .arg(path));
    EXPECT_FALSE(view->m_bConnected);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("notes"));
}

TEST_F(ViewConnect, APanelTooLargeIsRefusedOnceAndTheShownOneStays) {
    Start();
    Connect();
    LoadPanel("Greenhouse", ButtonPanel(2));
    LinkSetPanelBudget(2 << 20);
    std::vector<Bytes> huge;
    for (uint32_t id = 10; id < 14; ++id)
        huge.push_back(Definition('M', 0, id, {}, {{'n', U32Bytes(262143)}, {'N', U32Bytes(1)}}));
    device.Panel(huge);
    device.Info("After");
    ASSERT_TRUE(WaitFor([&] { return frame->windowTitle() == QStringLiteral("After"); }));
    LinkSetPanelBudget(256 << 20);
    EXPECT_EQ(notices.Texts(),
              QStringList{QStringLiteral("The panel definition was refused: its controls would "
                                         "need more than 2 MiB of memory.")});
    EXPECT_EQ(view->Controls().size(), 2u);
    EXPECT_TRUE(view->m_bConnected);
}

TEST_F(ViewConnect, AFailedConnectExplainsAndOffersThePortSettings) {
    view->SetPortPath(QStringLiteral("/nonexistent/talvex-tty"));
    Start();
    boxes.answer = QMessageBox::No;
    view->OnCommand(ID_CONNECT);
    ASSERT_EQ(boxes.texts.size(), 2) << boxes.texts.join('|').toStdString();
    EXPECT_EQ(boxes.texts[0], QString::fromLocal8Bit(std::strerror(ENOENT)));
    EXPECT_EQ(boxes.texts[1],
              QStringLiteral("Unable to connect to /nonexistent/talvex-tty: (Error %1)\n\n"
                             "Configure COM port now?")
                  .arg(ENOENT));
    EXPECT_FALSE(view->m_bConnected);
    EXPECT_TRUE(view->IsCommandEnabled(ID_CONNECT));
}

// ---------------------------------------------------------------------------------------------
// Closing, and the device disconnecting

using ViewClose = ViewFixture;

TEST_F(ViewClose, CloseWhileLiveSaysGoodbyeToTheDeviceAndAsksToQuit) {
    Start();
    Connect();
    LoadPanel("Greenhouse", ButtonPanel(2));
    device.Sent();
    QSignalSpy quit(view, &CTalvex22View::QuitRequested);
    view->OnCommand(ID_CLOSE);
    EXPECT_EQ(quit.count(), 1);
    EXPECT_FALSE(LinkIsOpen());
    EXPECT_FALSE(view->m_bConnected);
    EXPECT_TRUE(view->Controls().empty());
    auto sent = device.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, MSG_DISCONNECT);
}

TEST_F(ViewClose, CloseWithNothingShownAsksToQuit) {
    Start();
    QSignalSpy quit(view, &CTalvex22View::QuitRequested);
    view->OnCommand(ID_CLOSE);
    EXPECT_EQ(quit.count(), 1);
}

TEST_F(ViewClose, AKeptPanelOutlivesTheDeviceAndCloseOnlyClearsIt) {
    Start();
    Connect();
    LoadPanel("Keeper", ButtonPanel(3), HF_KEEP_PANEL);
    device.Sent();
    device.Closed();
    ASSERT_TRUE(WaitFor([&] { return !view->m_bConnected; }));
    EXPECT_FALSE(LinkIsOpen());
    EXPECT_EQ(view->Controls().size(), 3u);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Keeper"));
    EXPECT_TRUE(view->IsCommandEnabled(ID_CONNECT));
    EXPECT_TRUE(device.Sent().empty()); // no goodbye to a device that left

    QSignalSpy quit(view, &CTalvex22View::QuitRequested);
    view->OnCommand(ID_CLOSE);
    EXPECT_EQ(quit.count(), 0);
    EXPECT_TRUE(view->Controls().empty());
    view->OnCommand(ID_CLOSE);
    EXPECT_EQ(quit.count(), 1);
}

TEST_F(ViewClose, AKeptPanelCanConnectAgain) {
    Start();
    Connect();
    LoadPanel("Keeper", ButtonPanel(3), HF_KEEP_PANEL);
    device.Closed();
    ASSERT_TRUE(WaitFor([&] { return !view->m_bConnected; }));
    Connect();
    EXPECT_TRUE(view->m_bConnected);
    EXPECT_TRUE(view->Controls().empty());
    LoadPanel("Keeper", ButtonPanel(5), HF_KEEP_PANEL);
    EXPECT_EQ(view->Controls().size(), 5u);
}

TEST_F(ViewClose, TheDeviceLeavingWithoutTheKeepFlagClearsThePanel) {
    Start();
    Connect();
    LoadPanel("Greenhouse", TextPanel(20));
    view->OnCommand(ID_LAST_PAGE);
    device.Closed();
    ASSERT_TRUE(WaitFor([&] { return !view->m_bConnected; }));
    EXPECT_FALSE(LinkIsOpen());
    EXPECT_TRUE(view->Controls().empty());
    EXPECT_EQ(view->m_nCurPage, 0);
    EXPECT_EQ(view->m_nLastPage, 0);
}

// What the screen shows where the first control was drawn, and where nothing ever was.
// The panel's widgets still shown.
int ShownWidgets(CTalvex22View* view) {
    int shown = 0;
    for (QWidget* w : view->widget()->findChildren<QWidget*>())
        if (w->isVisible()) ++shown;
    return shown;
}

TEST_F(ViewClose, AClearedPanelLeavesTheScreenAtOnce) {
    Start();
    auto showPanel = [&](uint16_t infoFlags) {
        Connect();
        LoadPanel("Greenhouse", ButtonPanel(3), infoFlags);
        ASSERT_TRUE(WaitFor([&] { return ShownWidgets(view) > 0; })) << "the panel was never shown";
    };
    auto expectBlank = [&](const char* when) { EXPECT_EQ(ShownWidgets(view), 0) << when; };
    showPanel(0);
    device.Closed();
    ASSERT_TRUE(WaitFor([&] { return !view->m_bConnected; }));
    expectBlank("after the device left");

    showPanel(HF_KEEP_PANEL);
    device.Closed();
    ASSERT_TRUE(WaitFor([&] { return !view->m_bConnected; }));
    view->OnCommand(ID_CLOSE);
    expectBlank("after Close cleared a kept panel");

    showPanel(0);
    ASSERT_TRUE(SendDefinition({}));
    expectBlank("after a definition without controls");
}

TEST_F(ViewClose, ALostDeviceEndsTheConnectionOnceAndSaysSo) {
    Start();
    Connect();
    LoadPanel("Greenhouse", ButtonPanel(2));
    peer.HangUp();
    ASSERT_TRUE(WaitFor([&] { return !view->m_bConnected; }));
    EXPECT_FALSE(LinkIsOpen());
    EXPECT_TRUE(view->Controls().empty());
    EXPECT_TRUE(view->IsCommandEnabled(ID_CONNECT));
    ASSERT_EQ(notices.Notices().size(), 1u);
    EXPECT_TRUE(notices.Texts()[0].startsWith(
        QStringLiteral("Connection lost: %1: ").arg(QString::fromStdString(peer.SlavePath()))))
        << notices.Texts()[0].toStdString();
    EXPECT_EQ(notices.Notices()[0].count, 1);
    // Close is within reach and ends the program.
    QSignalSpy quit(view, &CTalvex22View::QuitRequested);
    view->OnCommand(ID_CLOSE);
    EXPECT_EQ(quit.count(), 1);
    EXPECT_EQ(notices.Notices().size(), 1u);
}

TEST_F(ViewClose, ALostDeviceThatAskedToKeepItsPanelLeavesItShown) {
    Start();
    Connect();
    LoadPanel("Keeper", ButtonPanel(3), HF_KEEP_PANEL);
    peer.HangUp();
    ASSERT_TRUE(WaitFor([&] { return !view->m_bConnected; }));
    EXPECT_EQ(view->Controls().size(), 3u);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Keeper"));
    EXPECT_EQ(notices.Notices().size(), 1u);
}

TEST_F(ViewClose, AnOutcomeArrivingAfterTheConnectionEndedChangesNothing) {
    Start();
    Connect();
    LoadPanel("Greenhouse", ButtonPanel(2));
    view->PingTick();
    view->PingTick(); // unanswered: the connection ends
    ASSERT_FALSE(view->m_bConnected);
    // A notification the receive thread posted just before the port closed.
    PostToView(view, WM_LINK_OUTCOME, 0, 0);
    EXPECT_FALSE(view->m_bConnected);
    EXPECT_TRUE(view->IsCommandEnabled(ID_CONNECT));
    EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join('|').toStdString();
}

// ---------------------------------------------------------------------------------------------
// Pings

using ViewPing = ViewFixture;

TEST_F(ViewPing, AStoredPeriodStartsThePingTimer) {
    StoreLayout(u"Pinger", 0, PANEL_PROP_PING_SECONDS, 3);
    Start();
    EXPECT_EQ(view->PingTimerInterval(), 0); // off until a panel asks for it
    Connect();
    LoadPanel("Pinger", ButtonPanel(1));
    EXPECT_TRUE(view->m_bPingOn);
    EXPECT_EQ(view->m_nPingSeconds, 3);
    EXPECT_EQ(view->PingTimerInterval(), 3000);

    // Periods whose milliseconds would not fit the timer run once a day; the stored value stays.
    for (int seconds : {4294968, 536870912}) {
        view->SetPing(true, seconds);
        EXPECT_EQ(view->PingTimerInterval(), 24 * 60 * 60 * 1000);
        EXPECT_EQ(view->m_nPingSeconds, seconds);
    }
}

TEST_F(ViewPing, ASilentDeviceIsDroppedAtTheSecondTick) {
    Start();
    Connect();
    LoadPanel("Pinger", ButtonPanel(2));
    device.Sent();
    view->PingTick();
    EXPECT_TRUE(view->m_bConnected);
    auto sent = device.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, MSG_PING);

    view->PingTick();
    EXPECT_FALSE(view->m_bConnected);
    EXPECT_FALSE(LinkIsOpen());
    EXPECT_TRUE(view->Controls().empty());
    EXPECT_TRUE(view->IsCommandEnabled(ID_CONNECT));
    EXPECT_TRUE(device.Sent().empty()); // no goodbye
}

TEST_F(ViewPing, AnAnsweringDeviceStaysConnected) {
    Start();
    Connect();
    LoadPanel("Pinger", ButtonPanel(2));
    device.Sent();
    for (int i = 0; i < 3; ++i) {
        view->PingTick();
        ASSERT_EQ(device.SentCodes(), std::vector<uint16_t>{MSG_PING}) << i;
        peer.WriteFrame(MSG_PING_REPLY);
        // Answered in order: once the query is, the reply has been taken.
        peer.WriteFrame(MSG_PRESENCE_QUERY);
        ASSERT_TRUE(WaitFor([&] { return device.Saw(MSG_PRESENCE_REPLY); }));
    }
    EXPECT_TRUE(view->m_bConnected);
    EXPECT_EQ(view->Controls().size(), 2u);
}

TEST_F(ViewPing, ADeviceRefusingPingsGetsNone) {
    Start();
    Connect();
    LoadPanel("Quiet", ButtonPanel(2), HF_NO_PINGS);
    device.Sent();
    for (int i = 0; i < 3; ++i) view->PingTick();
    EXPECT_TRUE(view->m_bConnected);
    EXPECT_TRUE(device.Sent().empty());
}

TEST_F(ViewPing, TheTimerDropsASilentDevice) {
    Start();
    Connect();
    LoadPanel("Pinger", ButtonPanel(1));
    device.Sent();
    view->SetPing(true, 1);
    EXPECT_EQ(view->PingTimerInterval(), 1000);
    ASSERT_TRUE(WaitFor([&] { return !view->m_bConnected; }, 5000));
    EXPECT_EQ(device.SentCodes(), std::vector<uint16_t>{MSG_PING});
}

// ---------------------------------------------------------------------------------------------
// Answers of device message boxes (0x8001)

using ViewAnswer = ViewFixture;

TEST_F(ViewAnswer, OnlyAnswersOneToThreeAreSent) {
    Start();
    Connect();
    LoadPanel("Boxes", {Definition('X', 0, 8, AnsiZ("Go?"), {{'m', U32Bytes(8)}})});
    device.Sent();
    PostToView(view, WM_CONTROL_ANSWER, 10000, 8);
    PostToView(view, WM_CONTROL_ANSWER, 10004, 8);
    EXPECT_TRUE(device.Sent().empty());

    for (uint8_t answer = 1; answer <= 3; ++answer) {
        PostToView(view, WM_CONTROL_ANSWER, 10000 + answer, 8);
        auto sent = device.Sent();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].code, MSG_CLIENT_VALUES);
        EXPECT_EQ(sent[0].payload, ItemList({{8, {answer}}}));
    }
}

TEST_F(ViewAnswer, AnAnsweredBoxStaysAnsweredWhenTheControlsAreBuiltAgain) {
    Start();
    Connect();
    const uint32_t yesNo = 4u << 20;
    LoadPanel("Boxes", {Definition('X', yesNo, 8, AnsiZ("Go?"), {{'m', U32Bytes(8)}}),
                        Definition('B', 0, 9, {0})});
    ASSERT_EQ(view->m_nOpenMessageBoxes, 1);
    device.Sent();
    // The device's layout records, and Load Recommended Layout answered by more of them: the
    // controls are built again each time.
    QSignalSpy laidOut(view, &CTalvex22View::PanelLaidOut);
    peer.WriteFrame(MSG_LAYOUT_RECORDS, 0, Payload().U32(1).U32(9).U32(CTRL_PROP_X).U32(40));
    ASSERT_TRUE(laidOut.wait(5000));
    view->OnCommand(ID_LOAD_RECOMMENDED);
    peer.WriteFrame(MSG_LAYOUT_RECORDS, 0, Payload().U32(1).U32(9).U32(CTRL_PROP_X).U32(50));
    ASSERT_TRUE(laidOut.wait(5000));
    EXPECT_EQ(view->m_nOpenMessageBoxes, 1);
    // The one box is answered once.
    QMessageBox* box = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible() && b->text() == "Go?")
            box = b;
    ASSERT_NE(box, nullptr);
    box->button(QMessageBox::Yes)->click();
    ASSERT_TRUE(WaitFor([&] { return view->m_nOpenMessageBoxes == 0; }));
    QCoreApplication::sendPostedEvents(view);
    std::vector<Bytes> answers;
    for (const ClientFrame& f : device.Sent())
        if (f.code == MSG_CLIENT_VALUES) answers.push_back(f.payload);
    EXPECT_EQ(answers, std::vector<Bytes>{ItemList({{8, {1}}})});
}

// ---------------------------------------------------------------------------------------------
// A new definition while Live

using ViewRedefine = ViewFixture;

TEST_F(ViewRedefine, ReplacesEveryControlAndKeepsThePageWhileItExists) {
    Start();
    Connect();
    LoadPanel("Big", TextPanel(80));
    ASSERT_GE(view->m_nLastPage, 2);
    view->OnCommand(ID_NEXT_PAGE);
    ASSERT_EQ(view->m_nCurPage, 1);
    const CCtrl* oldFirst = view->Controls().front().get();

    ASSERT_TRUE(SendDefinition(TextPanel(80, 101)));
    ASSERT_EQ(view->Controls().size(), 80u);
    for (const auto& c : view->Controls()) EXPECT_GT(c->m_nId, 100u);
    EXPECT_NE(view->Controls().front().get(), oldFirst);
    EXPECT_EQ(view->m_nCurPage, 1);

    view->OnCommand(ID_LAST_PAGE);
    ASSERT_TRUE(SendDefinition(TextPanel(3, 201)));
    EXPECT_EQ(view->m_nLastPage, 0);
    EXPECT_EQ(view->m_nCurPage, 0);
    EXPECT_EQ(view->Controls().size(), 3u);
}

// ---------------------------------------------------------------------------------------------
// Settings

using ViewSettings = ViewFixture;

TEST_F(ViewSettings, AFirstRunHasNoPortAndReloadsTheLayout) {
    view->SetPortPath(QString());
    Start();
    EXPECT_EQ(view->m_settings.m_iComOutGoing, 0);
    EXPECT_TRUE(view->IsCommandChecked(ID_ALWAYS_RELOAD));
    emit frame->UpdateCommands();
    EXPECT_TRUE(frame->Action(ID_ALWAYS_RELOAD)->isChecked());
    // With no port known the user is asked for one.
    EXPECT_EQ(boxes.texts, QStringList{QStringLiteral("Com Ports")});
}

TEST_F(ViewSettings, StoredSettingsAreRead) {
    {
        QSettings s(QSettings::IniFormat, QSettings::UserScope, "Talvex", "Talvex 3.0");
        s.setValue("Talvex Client 3.0/m_iComOutGoing", 4);
        s.setValue("Talvex Client 3.0/m_AlwaysReload", 0);
    }
    view->SetPortPath(QString());
    Start();
    EXPECT_TRUE(boxes.texts.isEmpty()); // a port is known: no question
    EXPECT_EQ(view->m_settings.m_iComOutGoing, 4);
    EXPECT_FALSE(view->IsCommandChecked(ID_ALWAYS_RELOAD));
}

TEST_F(ViewSettings, TogglingAlwaysReloadIsStoredAndReloadsAtOnce) {
    Start();
    Connect();
    LoadPanel("Greenhouse", ButtonPanel(1));
    device.Sent();
    view->OnCommand(ID_ALWAYS_RELOAD);
    EXPECT_EQ(settings.Raw("Talvex Client 3.0/m_AlwaysReload").toInt(), 0);
    EXPECT_TRUE(device.Sent().empty());
    view->OnCommand(ID_ALWAYS_RELOAD);
    EXPECT_EQ(settings.Raw("Talvex Client 3.0/m_AlwaysReload").toInt(), 1);
    EXPECT_EQ(LayoutRequests(device.Sent()), 1);
}

// ---------------------------------------------------------------------------------------------
// Command enabling and paging

using ViewCommands = ViewFixture;

TEST_F(ViewCommands, IdleOffersOnlyConnectionAndSettings) {
    Start();
    for (int id : {ID_CONNECT, ID_CLOSE, ID_ALWAYS_RELOAD, ID_COM_PORTS})
        EXPECT_TRUE(view->IsCommandEnabled(id)) << id;
    for (int id : {ID_PREVIOUS_PAGE, ID_FIRST_PAGE, ID_NEXT_PAGE, ID_LAST_PAGE, ID_LAYOUT_CONTROLS,
                   ID_LOAD_RECOMMENDED, ID_DEFAULT_LAYOUT, ID_PINGS})
        EXPECT_FALSE(view->IsCommandEnabled(id)) << id;
    emit frame->UpdateCommands();
    EXPECT_TRUE(frame->Action(ID_CONNECT)->isEnabled());
    EXPECT_FALSE(frame->Action(ID_NEXT_PAGE)->isEnabled());
    EXPECT_FALSE(frame->Action(ID_PINGS)->isEnabled());
}

TEST_F(ViewCommands, PagesMoveWithinTheFirstAndLastPage) {
    Start();
    Connect();
    LoadPanel("Big", TextPanel(80));
    const int last = view->m_nLastPage;
    ASSERT_GE(last, 2);
    for (int id : {ID_LAYOUT_CONTROLS, ID_LOAD_RECOMMENDED, ID_DEFAULT_LAYOUT, ID_PINGS, ID_CLOSE})
        EXPECT_TRUE(view->IsCommandEnabled(id)) << id;
    EXPECT_FALSE(view->IsCommandEnabled(ID_CONNECT));

    EXPECT_FALSE(view->IsCommandEnabled(ID_PREVIOUS_PAGE));
    EXPECT_FALSE(view->IsCommandEnabled(ID_FIRST_PAGE));
    EXPECT_TRUE(view->IsCommandEnabled(ID_NEXT_PAGE));
    EXPECT_TRUE(view->IsCommandEnabled(ID_LAST_PAGE));
    view->OnCommand(ID_PREVIOUS_PAGE); // disabled: nothing happens
    EXPECT_EQ(view->m_nCurPage, 0);

    view->OnCommand(ID_NEXT_PAGE);
    EXPECT_EQ(view->m_nCurPage, 1);
    EXPECT_TRUE(view->IsCommandEnabled(ID_PREVIOUS_PAGE));
    view->OnCommand(ID_LAST_PAGE);
    EXPECT_EQ(view->m_nCurPage, last);
    EXPECT_FALSE(view->IsCommandEnabled(ID_NEXT_PAGE));
    EXPECT_FALSE(view->IsCommandEnabled(ID_LAST_PAGE));
    view->OnCommand(ID_NEXT_PAGE);
    EXPECT_EQ(view->m_nCurPage, last);
    view->OnCommand(ID_PREVIOUS_PAGE);
    EXPECT_EQ(view->m_nCurPage, last - 1);
    view->OnCommand(ID_FIRST_PAGE);
    EXPECT_EQ(view->m_nCurPage, 0);

    emit frame->UpdateCommands();
    EXPECT_FALSE(frame->Action(ID_CONNECT)->isEnabled());
    EXPECT_TRUE(frame->Action(ID_NEXT_PAGE)->isEnabled());
    EXPECT_FALSE(frame->Action(ID_FIRST_PAGE)->isEnabled());
}

// ---------------------------------------------------------------------------------------------
// The application object

class App : public ::testing::Test {
protected:
    void SetUp() override {
        options.portPath = QString::fromStdString(peer.SlavePath());
        app = std::make_unique<CTalvex22App>(options);
        ASSERT_TRUE(app->InitInstance());
        view = app->m_pView;
        ASSERT_NE(view, nullptr);
    }
    void TearDown() override { app.reset(); }

    TempSettings settings;
    PtyPeer peer;
    Device device{peer};
    BoxAnswerer boxes;
    AppOptions options;
    std::unique_ptr<CTalvex22App> app;
    CTalvex22View* view = nullptr;
};

TEST_F(App, TheDefaultTitleIsTheProgramsName) {
    EXPECT_EQ(app->m_strTitle, QStringLiteral("test_view"));
    EXPECT_EQ(app->Frame()->windowTitle(), QStringLiteral("test_view"));
}

TEST_F(App, AboutOpensOneBoxNamingThisPlatform) {
    QString shown;
    boxes.intercept = [&](QWidget* box) {
        for (const QLabel* l : box ? box->findChildren<QLabel*>() : QList<QLabel*>())
            shown += l->text() + '\n';
        return false;
    };
    app->Frame()->Action(ID_APP_ABOUT)->trigger();
    boxes.intercept = nullptr;
    EXPECT_EQ(boxes.texts, QStringList{QStringLiteral("About Talvex 3.0")});
    EXPECT_TRUE(shown.contains("Talvex Client for Linux " + ProgramVersion() + '\n'))
        << shown.toStdString();
    EXPECT_FALSE(shown.contains(QStringLiteral("Windows")));
    EXPECT_FALSE(app->Frame()->windowTitle().contains(QStringLiteral("Windows")));
}

TEST_F(App, ADroppedTvxDocumentOpensAndAnythingElseIsIgnored) {
    QTemporaryDir dir;
    const QString document = dir.filePath(QStringLiteral("rig.Tvx"));
    const QString other = dir.filePath(QStringLiteral("notes.txt"));
    for (const QString& path : {document, other}) QFile(path).open(QIODevice::WriteOnly);
    auto drop = [&](const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(app->Frame(), &enter);
        QDropEvent dropped(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(app->Frame(), &dropped);
        return enter.isAccepted();
    };
    EXPECT_FALSE(drop(other));
    EXPECT_TRUE(app->Document().PathName().isEmpty());
    EXPECT_TRUE(drop(document));
    EXPECT_EQ(app->Document().PathName(), document);
}

TEST_F(App, TheIndicatorShowsATransferUntilItEnds) {
    CConnectionIndicator* indicator = app->Frame()->Indicator();
    ASSERT_NE(indicator, nullptr);
    emit app->Progress().Progress(QStringLiteral("log.csv"), 512 * 1024, 1024 * 1024, 65536.0);
    EXPECT_TRUE(indicator->Text().contains(QStringLiteral("log.csv")));
    emit app->Progress().Finished();
    EXPECT_FALSE(indicator->Text().contains(QStringLiteral("log.csv")));
}

TEST_F(App, TheTitleComesBackWhenThePanelGoes) {
    view->OnCommand(ID_CONNECT);
    ASSERT_TRUE(device.ReadConnect());
    device.Info("Greenhouse");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return app->Frame()->windowTitle() == QStringLiteral("Greenhouse"); }, 5000));
    device.Closed();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return app->Frame()->windowTitle() == QStringLiteral("test_view"); }, 5000));
    EXPECT_FALSE(view->m_bConnected);
}

TEST_F(App, TheTitleComesBackWhenAKeptPanelIsClosed) {
    view->OnCommand(ID_CONNECT);
    ASSERT_TRUE(device.ReadConnect());
    device.Info("Keeper", HF_KEEP_PANEL);
    QSignalSpy laidOut(view, &CTalvex22View::PanelLaidOut);
    device.Panel({Definition('B', 0, 1, {0})});
    ASSERT_TRUE(laidOut.wait(5000));
    device.Closed();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->m_bConnected; }, 5000));
    EXPECT_EQ(app->Frame()->windowTitle(), QStringLiteral("Keeper"));
    view->OnCommand(ID_CLOSE);
    EXPECT_EQ(app->Frame()->windowTitle(), QStringLiteral("test_view"));
}

TEST_F(App, TheProtocolMonitorOpensFromSettingsAndListsFramesOnlyWhileOpen) {
    app->Frame()->Action(ID_PROTOCOL_MONITOR)->trigger();
    ProtocolMonitor* monitor = app->Monitor();
    ASSERT_NE(monitor, nullptr);
    EXPECT_TRUE(monitor->isVisible());
    view->OnCommand(ID_CONNECT);
    ASSERT_TRUE(device.ReadConnect());
    device.Info("Greenhouse");
    ASSERT_TRUE(QTest::qWaitFor([&] { return monitor->Model().rowCount() == 2; }, 5000));
    EXPECT_EQ(monitor->Model().FrameAt(1).decode, "title \"Greenhouse\"");

    monitor->close();
    device.Info("Shed");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return app->Frame()->windowTitle() == QStringLiteral("Shed"); }, 5000));
    app->Frame()->Action(ID_PROTOCOL_MONITOR)->trigger();
    EXPECT_EQ(app->Monitor(), monitor);
    monitor->Flush();
    EXPECT_EQ(monitor->Model().rowCount(), 2);
}

TEST(AppFilesDirectory, AFilesDirThatCannotBeUsedStopsTheStart) {
    TempSettings settings;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("plain"));
    QFile(file).open(QIODevice::WriteOnly);
    for (const QString& bad : {file, dir.filePath(QStringLiteral("missing"))}) {
        AppOptions options;
        options.filesDir = bad;
        CTalvex22App app(options);
        EXPECT_FALSE(app.InitInstance()) << bad.toStdString();
    }
}

TEST(AppFilesDirectory, IsTheOptionOrAFolderOfItsOwnInTheDownloads) {
    QTemporaryDir dir;
    const QString downloads = dir.filePath(QStringLiteral("Downloads"));
    const QString own = downloads + QStringLiteral("/Talvex");
    auto all = [](const QString&) { return true; };
    auto none = [](const QString&) { return false; };

    FilesDirectoryChoice given = ChooseFilesDirectory(dir.path(), downloads, all);
    EXPECT_EQ(given.directory, dir.path());
    EXPECT_TRUE(given.error.isEmpty());
    FilesDirectoryChoice readOnly = ChooseFilesDirectory(dir.path(), downloads, none);
    EXPECT_TRUE(readOnly.directory.isEmpty());
    EXPECT_EQ(readOnly.error,
              QStringLiteral("--files-dir %1: the directory cannot be written").arg(dir.path()));

    FilesDirectoryChoice usual = ChooseFilesDirectory({}, downloads, all);
    EXPECT_EQ(usual.directory, own);
    EXPECT_TRUE(QFileInfo(own).isDir());
    EXPECT_TRUE(usual.note.isEmpty());
    EXPECT_TRUE(ChooseFilesDirectory({}, downloads, none)
                    .note.startsWith(
                        QStringLiteral("Files sent by the device cannot be saved: %1").arg(own)));
}

// The program, offscreen, live with a device on a pty, is told to end.
TEST(Program, EndsOnTermIntAndHupAsCloseDoes) {
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        PtyPeer peer;
        Device device(peer);
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(TALVEX_PROGRAM),
                      {QStringLiteral("--port"), QString::fromStdString(peer.SlavePath()),
                       QStringLiteral("--connect"), QStringLiteral("--files-dir"), home.path()});
        ASSERT_TRUE(device.ReadConnect()) << signal;
        device.Info("Signalled");
        device.Panel({TextDef(1)});
        ASSERT_TRUE(QTest::qWaitFor([&] { return device.Saw(MSG_REQUEST); }, 5000)) << signal;
        ::kill(pid_t(program.processId()), signal);
        ASSERT_TRUE(program.waitForFinished(5000)) << signal;
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(program.exitCode(), 0) << signal;
        EXPECT_TRUE(device.Saw(MSG_DISCONNECT)) << "the device was told, " << signal;
    }
}

TEST(AppTitle, IsTheExecutablesNameWithoutItsExtension) {
    EXPECT_EQ(CTalvex22App::TitleFromExecutable("panel.exe"), QStringLiteral("panel"));
    EXPECT_EQ(CTalvex22App::TitleFromExecutable("/opt/any/dir/panel.exe"), QStringLiteral("panel"));
    EXPECT_EQ(CTalvex22App::TitleFromExecutable("/usr/bin/talvex"), QStringLiteral("talvex"));
    EXPECT_EQ(CTalvex22App::TitleFromExecutable("/usr/bin/talvex-3.0"),
              QStringLiteral("talvex-3.0"));
}

// ---------------------------------------------------------------------------------------------
// The command line

struct Parsed {
    bool ok;
    int exitCode;
    AppOptions options;
};

Parsed Parse(QStringList args) {
    args.prepend(QStringLiteral("talvex"));
    Parsed p{false, -1, {}};
    p.ok = ParseCommandLine(args, p.options, p.exitCode);
    return p;
}

TEST(CommandLine, NoArgumentsGiveTheDefaults) {
    Parsed p = Parse({});
    ASSERT_TRUE(p.ok);
    EXPECT_TRUE(p.options.portPath.isEmpty());
    EXPECT_FALSE(p.options.connect);
    EXPECT_FALSE(p.options.demo);
    EXPECT_TRUE(p.options.screenshot.isEmpty());
    EXPECT_TRUE(p.options.document.isEmpty());
}

TEST(CommandLine, EveryOptionIsTaken) {
    Parsed p =
        Parse({"--port", "/dev/ttyUSB0", "--connect", "--demo", "--screenshot", "s.png",
               "--files-dir", "/tmp/f", "--trace", "t.log", "--codepage", "CP1250", "panel.Tvx"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.portPath, QStringLiteral("/dev/ttyUSB0"));
    EXPECT_TRUE(p.options.connect);
    EXPECT_TRUE(p.options.demo);
    EXPECT_EQ(p.options.screenshot, QStringLiteral("s.png"));
    EXPECT_EQ(p.options.filesDir, QStringLiteral("/tmp/f"));
    EXPECT_EQ(p.options.trace, QStringLiteral("t.log"));
    EXPECT_EQ(p.options.codepage, QStringLiteral("CP1250"));
    EXPECT_EQ(p.options.document, QStringLiteral("panel.Tvx"));
}

TEST(CommandLine, MistakesEndWithStatusTwo) {
    for (const QStringList& args :
         {QStringList{"--bogus"}, QStringList{"--port"}, QStringList{"a.Tvx", "b.Tvx"},
          QStringList{"--port", "tcp://bridge"}, QStringList{"--port", "bt://00:11:22"},
          QStringList{"--port", "serial://ttyS0"}}) {
        Parsed p = Parse(args);
        EXPECT_FALSE(p.ok) << args.join(' ').toStdString();
        EXPECT_EQ(p.exitCode, 2) << args.join(' ').toStdString();
    }
}

TEST(CommandLine, APortIsADevicePathANetworkAddressOrABluetoothDevice) {
    for (const char* port : {"/dev/rfcomm0", "tcp://lab-pi:4001", "bt://98:D3:31:F5:1A:2C"}) {
        Parsed p = Parse({"--port", port});
        EXPECT_TRUE(p.ok) << port;
        EXPECT_EQ(p.options.portPath, QLatin1String(port));
    }
}

TEST(CommandLine, HelpAndVersionEndWithStatusZero) {
    for (const char* arg : {"--help", "--version"}) {
        Parsed p = Parse({arg});
        EXPECT_FALSE(p.ok) << arg;
        EXPECT_EQ(p.exitCode, 0) << arg;
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The link's boxes and the view's own: notices nobody waits for

TEST(LinkBoxes, RaisedOnAnyThreadReturnAtOnceAndComeUpOneAtATime) {
    QtLinkAlerts alerts;
    NoticeBoxes& notices = alerts.Boxes();
    std::thread receiver([&] {
        alerts.DiagnosticBox(42, "TvxBthPPCVComClt", 7);
        alerts.SizeAlarm(7, "TvxBthPPCVComClt");
    });
    receiver.join(); // nobody has answered anything
    ASSERT_TRUE(QTest::qWaitFor([&] { return notices.Current() != nullptr; }, 5000));
    QMessageBox* first = notices.Current();
    EXPECT_EQ(first->text(), QStringLiteral("At 42 file TvxBthPPCVComClt, val=7"));
    EXPECT_FALSE(first->isModal());
    EXPECT_EQ(first->textFormat(), Qt::PlainText);
    EXPECT_EQ(notices.Waiting(), 1);
    first->close();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return notices.Current() && notices.Current()->text().startsWith("Bluetooth"); },
        5000));
    EXPECT_EQ(notices.Current()->text(),
              QStringLiteral("Bluetooth driver error 7 TvxBthPPCVComClt"));
    notices.Current()->close();
}

TEST(LinkBoxes, TheSameBoxWithinASecondIsCountedNotRepeated) {
    NoticeBoxes notices;
    qint64 now = 0;
    notices.SetClock([&] { return now; });
    notices.Post(QStringLiteral("Lost"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return notices.Current() != nullptr; }, 5000));
    for (int i = 0; i < 4; ++i) {
        now += 900; // each within a second of the one before
        notices.Post(QStringLiteral("Lost"));
    }
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return notices.Current()->text() == QStringLiteral("Lost\n\n(5 times)"); }, 5000));
    now += 1000;
    notices.Post(QStringLiteral("Lost")); // a second later: a box of its own, after this one
    EXPECT_EQ(notices.Waiting(), 1);
    ASSERT_EQ(notices.Notices().size(), 2u);
    EXPECT_EQ(notices.Notices()[0].count, 5);
    EXPECT_EQ(notices.Notices()[1].count, 1);
}

TEST(LinkBoxes, TheHistoryIsBoundedAndTheCountOfAllGoesOn) {
    NoticeBoxes notices;
    notices.SetUnattended(true);
    for (int i = 0; i < 1005; ++i) notices.Post(QString::number(i));
    EXPECT_EQ(notices.Notices().size(), 1000u);
    EXPECT_EQ(notices.Notices().back().text, QStringLiteral("1004"));
    EXPECT_EQ(notices.PostedCount(), 1005u);
}

// ---------------------------------------------------------------------------------------------
// Child-widget notifications

using ViewNotifications = ViewFixture;

TEST_F(ViewNotifications, GoToTheControlThatOwnsTheWidget) {
    Start();
    Connect();
    LoadPanel("Greenhouse", {Definition('B', 0, 1, {0}),
                             Definition('L', 0, 2, U32Bytes(0),
                                        {{'n', U32Bytes(2)}, {'I', Bytes{'a', 0, 'b', 0}}})});
    device.Sent();
    QPushButton button;
    QComboBox list;
    list.addItems({QStringLiteral("a"), QStringLiteral("b")});
    view->Controls()[0]->m_pButton = &button;
    view->Controls()[1]->m_pDropList = &list;

    QPushButton stranger;
    EXPECT_FALSE(view->RouteNotification(&stranger, CTalvex22View::NOTIFY_CLICK));
    EXPECT_TRUE(device.Sent().empty());

    EXPECT_EQ(view->FindOwner(&button), view->Controls()[0].get());
    EXPECT_TRUE(view->RouteNotification(&button, CTalvex22View::NOTIFY_CLICK));
    list.setCurrentIndex(1);
    EXPECT_TRUE(view->RouteNotification(&list, CTalvex22View::NOTIFY_SELECTION));
    auto sent = device.Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].code, MSG_CLIENT_VALUES);
    EXPECT_EQ(sent[0].payload, (Payload().U32(1).U32(1).U32(1).U8(255).bytes()));
    EXPECT_EQ(sent[1].payload, (Payload().U32(1).U32(2).U32(4).U32(1).bytes()));

    // The records must not keep widgets the test owns.
    view->Controls()[0]->m_pButton = nullptr;
    view->Controls()[1]->m_pDropList = nullptr;
}
