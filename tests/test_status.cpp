// What the person at the panel sees of the connection, against devices on pseudo-terminals: the
// toolbar's indicator, a kept panel greyed while the device is away, automatic reconnects with
// their back-off (on a clock the test moves), and the page keys.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "ConnectionIndicator.h"
#include "CtrlFlags.h"
#include "Frame.h"
#include "LayoutProps.h"
#include "Link.h"
#include "PanelFile.h"
#include "SimPorts.h"
#include "StaleVeil.h"
#include "ViewHarness.h"

namespace {

// A clock the test moves on by hand; a wait that falls due is called at once.
class ManualClock : public CConnectionClock {
public:
    qint64 NowMs() const override { return m_now; }
    void Wait(qint64 ms, std::function<void()> done) override {
        m_due = m_now + ms;
        m_done = std::move(done);
    }
    void Cancel() override { m_done = nullptr; }
    bool Waiting() const { return bool(m_done); }
    void Advance(qint64 ms) {
        m_now += ms;
        if (!m_done || m_due > m_now) return;
        auto done = std::move(m_done);
        m_done = nullptr;
        done();
    }

private:
    qint64 m_now = 1000000, m_due = 0;
    std::function<void()> m_done;
};

const QString kGap = QStringLiteral("  |  ");

class Status : public ViewFixture {
protected:
    void SetUp() override {
        ViewFixture::SetUp();
        view->Watch().SetClock(&clock);
        notices.SetClock([this] { return clock.NowMs(); }); // repeats counted on it too
        // The client opens a link to the device, as one made by `talvex-sim --link`.
        linkPath = dir.filePath(QStringLiteral("device"));
        Relink(peer.SlavePath());
        view->SetPortPath(linkPath);
    }
    void Relink(const std::string& target) {
        QFile::remove(linkPath);
        ASSERT_TRUE(QFile::link(QString::fromStdString(target), linkPath));
    }
    QString Text() {
        view->Watch().Refresh();
        return frame->Indicator()->Text();
    }
    QString Details() {
        view->Watch().Refresh();
        return frame->Indicator()->Details();
    }
    void ReconnectOn() {
        view->OnCommand(ID_AUTO_RECONNECT);
        ASSERT_TRUE(frame->Action(ID_AUTO_RECONNECT)->isChecked());
        ASSERT_EQ(settings.Raw(QStringLiteral("Talvex Client 3.0/m_AutoReconnect")).toInt(), 1);
    }
    // How many of the panel's widgets take input, and how many there are.
    std::pair<int, int> Enabled() const {
        const auto all = view->Panel()->findChildren<QWidget*>();
        return {
            int(std::count_if(all.begin(), all.end(), [](QWidget* w) { return w->isEnabled(); })),
            int(all.size())};
    }
    int Told() const { // notices, repeats counted
        int n = 0;
        for (const auto& notice : notices.Notices()) n += notice.count;
        return n;
    }

    ManualClock clock;
    QTemporaryDir dir;
    QString linkPath;
};

} // namespace

TEST(StatusIndicator, ShowsPagesAndTransfersBesideTheStateAndKeepsTextsPlain) {
    CConnectionIndicator indicator;
    indicator.SetPage(1, 3);
    indicator.SetTransfer(QStringLiteral("log%1.csv"), 1536, 4096, 512);
    EXPECT_EQ(indicator.Text(), "Not connected" + kGap + "Page 2 of 3" + kGap +
                                    "log%1.csv 1.5 KiB of 4.0 KiB, 512 bytes/s");
    EXPECT_TRUE(indicator.Details().contains(QStringLiteral("log%1.csv: 1536 bytes of 4096")));
    indicator.SetPage(0, 1);
    indicator.ClearTransfer();
    EXPECT_EQ(indicator.Text(), QStringLiteral("Not connected"));
    ConnectionStatus lost;
    lost.state = ConnectionStatus::State::Lost;
    lost.reason = QStringLiteral("<b>gone</b>");
    indicator.SetStatus(lost);
    EXPECT_TRUE(indicator.toolTip().contains(QStringLiteral("&lt;b&gt;gone")));

    // Silence is news only while pings are on; the tooltip always has it.
    ConnectionStatus quiet;
    quiet.state = ConnectionStatus::State::Live;
    quiet.port = QStringLiteral("/dev/rfcomm1");
    quiet.silentMs = 5000;
    indicator.SetStatus(quiet);
    EXPECT_EQ(indicator.Text(), QStringLiteral("Live on /dev/rfcomm1"));
    EXPECT_TRUE(indicator.Details().contains(QStringLiteral("Last message from the device: 5 s")));
    quiet.pingOn = true;
    indicator.SetStatus(quiet);
    EXPECT_TRUE(indicator.Text().contains(QStringLiteral("last message 5 s ago")));
}

TEST(StatusIndicator, ChangesOnlyWhenWhatItShowsChanges) {
    CConnectionIndicator indicator;
    ManualClock clock;
    CConnectionWatch watch(&indicator);
    watch.SetClock(&clock);
    watch.Connecting(QStringLiteral("port"));
    watch.Answered();
    struct Count : QObject {
        bool eventFilter(QObject*, QEvent* e) override {
            changes += e->type() == QEvent::ToolTipChange;
            return false;
        }
        int changes = 0;
    } count;
    indicator.installEventFilter(&count);
    for (int i = 0; i < 100; ++i) { // a device answering a hundred times in half a second
        watch.Answered();
        clock.Advance(5);
    }
    watch.Refresh();
    EXPECT_EQ(count.changes, 0);
    clock.Advance(3000);
    watch.Refresh();
    EXPECT_EQ(count.changes, 1);
    watch.Answered();
    EXPECT_EQ(count.changes, 2);
    EXPECT_EQ(indicator.Text(), QStringLiteral("Live on port"));
}

TEST_F(Status, TheIndicatorFollowsConnectSilencePingsAndAMissWithoutMovingThePanel) {
    Start();
    EXPECT_EQ(Text(), QStringLiteral("Not connected"));
    view->OnCommand(ID_CONNECT);
    EXPECT_EQ(Text(), "Connecting to " + linkPath);
    ASSERT_TRUE(device.ReadConnect());
    LoadPanel("Pinger", TextPanel(2));
    view->SetPing(true, 3600); // the test gives the ticks
    const QString live = "Live on " + linkPath;
    EXPECT_EQ(Text(), live + kGap + "ping -");

    device.Sent();
    view->PingTick();
    ASSERT_EQ(device.SentCodes(), std::vector<uint16_t>{MSG_PING});
    clock.Advance(2000);
    EXPECT_EQ(Text(), live + kGap + "ping -") << "two seconds are no silence yet";
    clock.Advance(1500);
    EXPECT_EQ(Text(), live + kGap + "last message 3 s ago" + kGap + "ping -");
    peer.WriteFrame(MSG_PING_REPLY);
    ASSERT_TRUE(WaitFor([&] { return Text() == live + kGap + "ping 3500 ms"; }))
        << Text().toStdString();

    // However long the line gets, the toolbar and the panel below it keep their size.
    frame->layout()->activate();
    const QRect panelArea = view->geometry();
    frame->Indicator()->SetTransfer(QString(400, QLatin1Char('x')), 1 << 20, 1 << 22, 2048);
    frame->layout()->activate();
    EXPECT_EQ(view->geometry(), panelArea);

    view->PingTick();
    view->PingTick(); // the second ping went unanswered
    ASSERT_FALSE(view->m_bConnected);
    EXPECT_TRUE(Text().startsWith(QStringLiteral("Lost: no answer to ping")));
    EXPECT_TRUE(Details().contains(QStringLiteral("Last ping answered in 3500 ms, 1 missed")));
    EXPECT_FALSE(clock.Waiting()) << "reconnecting is off unless asked for";
}

// The simulator stopped and started again on the same link, with its panel kept between.
TEST_F(Status, AKeptPanelIsGreyedUntilTheRestartedDeviceAnswersAgain) {
    const PanelFileResult parsed = ParsePanelText(
        R"({"title": "Rig", "keepPanel": true, "controls": [{"kind": "text", "id": 1}]})",
        "rig.json", DiskReader(dir.path().toStdString()));
    ASSERT_TRUE(parsed.panel) << parsed.error;
    std::string error;
    auto sim = SimPtyDevice::Start(*parsed.panel, {}, error, linkPath.toStdString());
    ASSERT_TRUE(sim) << error;
    Start();
    ReconnectOn();
    notices.SetUnattended(false); // the loss's box stays up through every attempt
    QSignalSpy laidOut(view, &CTalvex22View::PanelLaidOut);
    view->OnCommand(ID_CONNECT);
    ASSERT_TRUE(laidOut.wait(5000));
    EXPECT_EQ(Enabled().first, Enabled().second);

    sim.reset(); // the link goes with it
    ASSERT_TRUE(WaitFor([&] { return view->Watch().IsRetrying(); }));
    EXPECT_EQ(view->Controls().size(), 1u);
    EXPECT_EQ(Enabled().first, 0);
    EXPECT_EQ(Text(), QStringLiteral("Reconnecting in 1 s"));
    ASSERT_TRUE(WaitFor([&] { return notices.Current() != nullptr; }));
    for (qint64 wait : {1000, 2000, 4000, 8000, 16000, 30000, 30000}) {
        ASSERT_EQ(view->Watch().RetryDelayMs(), wait);
        clock.Advance(wait - 1);
        EXPECT_FALSE(LinkIsOpen());
        clock.Advance(1);
    }
    EXPECT_EQ(Text(), QStringLiteral("Reconnecting in 30 s"));
    EXPECT_TRUE(Details().contains(QStringLiteral("No such file or directory")));

    sim = SimPtyDevice::Start(*parsed.panel, {}, error, linkPath.toStdString());
    ASSERT_TRUE(sim) << error;
    laidOut.clear();
    clock.Advance(30000);
    ASSERT_TRUE(laidOut.wait(5000));
    EXPECT_EQ(Text(), "Live on " + linkPath);
    EXPECT_EQ(Enabled().first, Enabled().second);
    EXPECT_FALSE(view->Watch().IsRetrying());
    EXPECT_EQ(Told(), 1) << "one box per loss, not one per attempt";
}

TEST_F(Status, AStalePanelGreysEveryKindOfWidgetAlike) {
    const Bytes when = Payload().U8(5).U8(6).U8(7).U8(8).U8(2).U8(9).U16(2026).bytes();
    const std::vector<Bytes> panel = {
        Definition('B', 0, 1, {0}),
        Definition('T', CTRLF_EDITABLE, 2, AnsiZ("ab"), {{'m', U32Bytes(8)}}),
        Definition('G', 0, 3, {255}),
        Definition('G', 0, 4, {255}),
        Definition('S', 0, 5, {0}),
        Definition('N', CTRLF_EDITABLE, 6, U32Bytes(5)),
        Definition('N', CTRLF_EDITABLE, 7, U32Bytes(5)),
        Definition('L', 0, 8, U32Bytes(0), {{'n', U32Bytes(1)}, {'I', Bytes{'a', 0}}}),
        Definition('P', 0, 9, {0}),
        Definition('F', 0, 10, {}),
        Definition('D', CTRLF_EDITABLE | CTRLF_TIME_HOUR | CTRLF_DATE_DAY, 11, when,
                   {{'f', AnsiZ("%HH%")}}),
        Definition('I', 0, 12, {}),
        TextDef(13)};
    // Text with OK, a check box, a number with spin and one with a slider.
    for (auto [id, style] : {std::pair{2, 1}, {4, 1}, {6, 1}, {7, 3}})
        StoreLayout(u"Keeper", uint32_t(id), CTRL_PROP_STYLE, style);
    Start();
    Connect();
    LoadPanel("Keeper", panel, HF_KEEP_PANEL);
    // Each control's place on the panel: its widgets, or the picture painted there.
    auto looks = [&] {
        std::vector<QImage> shown;
        for (const auto& c : view->Controls())
            shown.push_back(view->Panel()
                                ->grab(QRect(c->m_rcCache[0], c->m_rcCache[1], c->m_rcCache[2],
                                             c->m_rcCache[3]))
                                .toImage());
        return shown;
    };
    const std::vector<QImage> live = looks();
    device.Closed();
    ASSERT_TRUE(WaitFor([&] { return !view->m_bConnected; }));
    const std::vector<QImage> stale = looks();
    ASSERT_EQ(stale.size(), panel.size());
    // Each as it was live under the same veil; the style draws a disabled widget's frame a
    // shade lighter, hence the margin.
    for (size_t i = 0; i < live.size(); ++i) {
        int worst = 0;
        for (int y = 0; y < live[i].height(); ++y)
            for (int x = 0; x < live[i].width(); ++x) {
                const QRgb want = StaleVeil::Washed(live[i].pixel(x, y));
                const QRgb got = stale[i].pixel(x, y);
                worst = std::max({worst, std::abs(qRed(want) - qRed(got)),
                                  std::abs(qGreen(want) - qGreen(got)),
                                  std::abs(qBlue(want) - qBlue(got))});
            }
        EXPECT_LE(worst, 12) << "kind " << view->Controls()[i]->m_nType;
    }
}

// A device behind a network bridge: the window is free while the connection is made, the
// indicator names the address, and a closed or refused connection is one notice that says why.
TEST_F(Status, ADeviceOverTcpIsLiveByItsAddressAndARefusalSaysWhatToCheck) {
    const PanelFileResult parsed =
        ParsePanelText(R"({"title": "Rig", "controls": [{"kind": "text", "id": 1}]})", "rig.json",
                       DiskReader(dir.path().toStdString()));
    ASSERT_TRUE(parsed.panel) << parsed.error;
    std::string error;
    auto sim = SimTcpServer::Start(*parsed.panel, {}, "127.0.0.1", 0, error);
    ASSERT_TRUE(sim) << error;
    const QString url = QStringLiteral("tcp://127.0.0.1:%1").arg(sim->Port());
    view->SetPortPath(url);
    Start();
    QSignalSpy laidOut(view, &CTalvex22View::PanelLaidOut);
    view->OnCommand(ID_CONNECT);
    EXPECT_EQ(Text(), "Connecting to " + url);
    ASSERT_TRUE(laidOut.wait(5000));
    EXPECT_EQ(Text(), "Live on " + url);

    sim.reset(); // the bridge goes: nothing listens on the port any more
    ASSERT_TRUE(WaitFor([&] { return !view->m_bConnected && Told() == 1; }));
    // A peer that closes with our last words unread resets the connection instead.
    const QString lost = notices.Notices().back().text;
    EXPECT_TRUE(lost == "Connection lost: " + url + ": closed by the other end" ||
                lost == "Connection lost: " + url + ": Connection reset by peer")
        << lost.toStdString();
    view->OnCommand(ID_CONNECT);
    ASSERT_TRUE(WaitFor([&] { return !view->m_bConnected && Told() == 2; }));
    EXPECT_TRUE(notices.Notices().back().text.contains(
        QStringLiteral(": check the port number, and that ser2net or the serial bridge is "
                       "running there")))
        << notices.Notices().back().text.toStdString();
}

TEST_F(Status, ReconnectingStopsOnConnectAndCloseAndNeverFollowsAGoodbye) {
    Start();
    ReconnectOn();
    Connect();
    LoadPanel("Keeper", TextPanel(2), HF_KEEP_PANEL);
    device.Closed();
    ASSERT_TRUE(WaitFor([&] { return !view->m_bConnected; }));
    EXPECT_FALSE(clock.Waiting());
    EXPECT_EQ(Text(), QStringLiteral("Not connected"));
    EXPECT_EQ(Enabled().first, 0) << "a kept panel is stale all the same";

    Connect();
    LoadPanel("Keeper", TextPanel(2), HF_KEEP_PANEL);
    peer.HangUp();
    ASSERT_TRUE(WaitFor([&] { return view->Watch().IsRetrying(); }));
    PtyPeer second;
    Device secondDevice(second);
    Relink(second.SlavePath());
    view->OnCommand(ID_CONNECT);
    EXPECT_FALSE(view->Watch().IsRetrying());
    EXPECT_EQ(view->Watch().RetryDelayMs(), 0);
    ASSERT_TRUE(secondDevice.ReadConnect());

    // The device vanishes before it answers; an attempt it never answers is given up.
    second.HangUp();
    ASSERT_TRUE(WaitFor([&] { return view->Watch().RetryDelayMs() == 1000; }));
    PtyPeer third;
    Device thirdDevice(third);
    Relink(third.SlavePath());
    clock.Advance(1000);
    ASSERT_TRUE(thirdDevice.ReadConnect());
    clock.Advance(CConnectionWatch::kAnswerWaitMs);
    EXPECT_FALSE(LinkIsOpen());
    EXPECT_EQ(view->Watch().RetryDelayMs(), 2000);
    EXPECT_TRUE(Details().contains(QStringLiteral("Last attempt: no answer")));

    view->OnCommand(ID_CLOSE);
    EXPECT_FALSE(clock.Waiting());
    EXPECT_EQ(Text(), QStringLiteral("Not connected"));
    EXPECT_EQ(Told(), 2);
}

TEST_F(Status, APageFirstShownWhileTheKeptPanelWaitsForAnAnswerIsGreyedAlike) {
    std::vector<Bytes> panel = TextPanel(35);
    panel.push_back(Definition('B', 0, 36, {0}));
    Start();
    ReconnectOn();
    Connect();
    LoadPanel("Keeper", panel, HF_KEEP_PANEL);
    peer.HangUp();
    ASSERT_TRUE(WaitFor([&] { return view->Watch().IsRetrying(); }));
    PtyPeer second;
    Device secondDevice(second);
    Relink(second.SlavePath());
    clock.Advance(1000);
    ASSERT_TRUE(secondDevice.ReadConnect()); // and no answer yet: the panel stays stale
    ASSERT_TRUE(view->IsCommandEnabled(ID_NEXT_PAGE));
    view->OnCommand(ID_NEXT_PAGE);
    QPushButton* button = Ctrl(36).m_pButton;
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->isEnabled());
    const QPalette p = button->palette();
    EXPECT_EQ(p.color(QPalette::Disabled, QPalette::ButtonText),
              p.color(QPalette::Active, QPalette::ButtonText));
    EXPECT_EQ(p.color(QPalette::Disabled, QPalette::Button),
              p.color(QPalette::Active, QPalette::Button));
}

TEST_F(Status, AConnectNobodyAnswersIsGivenUpAfterTenSecondsOrCancelled) {
    Start();
    QAction* connect = frame->Action(ID_CONNECT);
    QAction* cancel = frame->Action(ID_CANCEL_CONNECT);
    auto offered = [&](QAction* a) { return a->isVisible() && a->isEnabled(); };
    view->OnCommand(ID_CONNECT);
    ASSERT_TRUE(device.ReadConnect()); // and nothing more comes
    EXPECT_TRUE(offered(cancel));
    EXPECT_FALSE(connect->isVisible());
    clock.Advance(CConnectionWatch::kAnswerWaitMs - 1);
    EXPECT_TRUE(LinkIsOpen());
    clock.Advance(1);
    EXPECT_FALSE(LinkIsOpen());
    EXPECT_FALSE(view->m_bConnected);
    EXPECT_TRUE(offered(connect));
    EXPECT_FALSE(cancel->isVisible());
    EXPECT_EQ(notices.Texts(), QStringList{"No answer from the device on " + linkPath});
    EXPECT_EQ(Text(), QStringLiteral("Not connected"));

    QSignalSpy quit(view, &CTalvex22View::QuitRequested);
    view->OnCommand(ID_CONNECT);
    ASSERT_TRUE(device.ReadConnect());
    cancel->trigger();
    EXPECT_FALSE(LinkIsOpen());
    EXPECT_TRUE(offered(connect));
    EXPECT_FALSE(clock.Waiting());
    EXPECT_EQ(quit.count(), 0);

    // A first message in time, and the connection stays.
    view->OnCommand(ID_CONNECT);
    ASSERT_TRUE(device.ReadConnect());
    device.Info("Late");
    ASSERT_TRUE(WaitFor([&] { return connect->isVisible(); }));
    clock.Advance(CConnectionWatch::kAnswerWaitMs);
    EXPECT_TRUE(LinkIsOpen());
    EXPECT_TRUE(view->m_bConnected);
    EXPECT_EQ(Told(), 1);
}

TEST_F(Status, PageKeysMoveThroughThePagesExceptWhereAListNeedsThem) {
    StoreLayout(u"Pages", 2, CTRL_PROP_STYLE, 1); // a list box
    Bytes items;
    for (int i = 0; i < 30; ++i) items.insert(items.end(), {uint8_t('a' + i % 26), 0});
    std::vector<Bytes> defs{
        Definition('T', CTRLF_EDITABLE, 1, AnsiZ(""), {{'m', U32Bytes(8)}}),
        Definition('L', 0, 2, U32Bytes(0), {{'n', U32Bytes(30)}, {'I', items}})};
    for (const Bytes& d : TextPanel(100, 10)) defs.push_back(d);
    Start();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    Connect();
    LoadPanel("Pages", defs);
    const int count = view->m_nLastPage + 1;
    ASSERT_GE(count, 3);
    EXPECT_TRUE(Text().endsWith(QStringLiteral("Page 1 of %1").arg(count)));

    auto press = [&](QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        w->setFocus();
        QTest::keyClick(w, key, mods);
        return view->m_nCurPage;
    };
    QLineEdit* edit = Ctrl(1).m_pEdit;
    QListWidget* list = Ctrl(2).m_pListBox;
    ASSERT_TRUE(edit && list);
    EXPECT_EQ(press(edit, Qt::Key_End, Qt::ControlModifier), count - 1) << "not the edit's";
    EXPECT_TRUE(Text().endsWith(QStringLiteral("Page %1 of %1").arg(count)));
    EXPECT_EQ(press(view, Qt::Key_PageUp), count - 2);
    EXPECT_EQ(press(view, Qt::Key_Home, Qt::ControlModifier), 0);
    EXPECT_EQ(press(edit, Qt::Key_PageDown), 1);
    EXPECT_EQ(press(view, Qt::Key_PageUp), 0);
    EXPECT_EQ(press(view, Qt::Key_PageUp), 0);

    // A list moves through its own items with them.
    list->setCurrentRow(0);
    EXPECT_EQ(press(list, Qt::Key_PageDown), 0);
    EXPECT_GT(list->currentRow(), 0);
    EXPECT_EQ(press(list, Qt::Key_End, Qt::ControlModifier), 0);
}
