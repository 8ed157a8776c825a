// What the person at the panel sees of the connection, against devices on pseudo-terminals: the
// toolbar's indicator, a kept panel greyed while the device is away, automatic reconnects with
// their back-off (on a clock the test moves), and the page keys.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
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
    qint64 m_now = 1000000;
    qint64 m_due = 0;
    std::function<void()> m_done;
};

class Status : public ViewFixture {
protected:
    void SetUp() override {
        ViewFixture::SetUp();
        view->Watch().SetClock(&clock);
        // Repeats of a notice are counted on the same clock.
        notices.SetClock([this] { return clock.NowMs(); });
        // The client opens a link to the device's pseudo-terminal, as with `talvex-sim --link`.
        linkPath = dir.filePath(QStringLiteral("device"));
        Relink(QString::fromStdString(peer.SlavePath()));
        view->SetPortPath(linkPath);
    }
    void Relink(const QString& target) {
        QFile::remove(linkPath);
        ASSERT_TRUE(QFile::link(target, linkPath));
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
    // Widgets of the panel that take input.
    int EnabledWidgets() const {
        int n = 0;
        for (QWidget* w : view->Panel()->findChildren<QWidget*>()) n += w->isEnabled();
        return n;
    }
    // Notices so far, repeats counted.
    int Told() const {
        int n = 0;
        for (const auto& notice : notices.Notices()) n += notice.count;
        return n;
    }
    int Widgets() const { return int(view->Panel()->findChildren<QWidget*>().size()); }
    // A device of its own on a new pseudo-terminal, which the link now names.
    struct Peer {
        PtyPeer pty;
        Device device{pty};
    };
    std::unique_ptr<Peer> NewPeer() {
        auto p = std::make_unique<Peer>();
        Relink(QString::fromStdString(p->pty.SlavePath()));
        return p;
    }
    bool LoadOn(Device& d, const std::string& title, const std::vector<Bytes>& defs,
                uint16_t flags) {
        QSignalSpy laidOut(view, &CTalvex22View::PanelLaidOut);
        d.Info(title, flags);
        d.Panel(defs);
        return laidOut.wait(5000);
    }

    ManualClock clock;
    QTemporaryDir dir;
    QString linkPath;
};

const QString kGap = QStringLiteral("  |  ");

} // namespace

// ---------------------------------------------------------------------------------------------
// The indicator

TEST_F(Status, TheIndicatorFollowsConnectSilenceAndAHangUpWithoutMovingThePanel) {
    Start();
    EXPECT_EQ(Text(), QStringLiteral("Not connected"));
    view->OnCommand(ID_CONNECT);
    EXPECT_EQ(Text(), "Connecting to " + linkPath);
    ASSERT_TRUE(device.ReadConnect());
    LoadPanel("Greenhouse", TextPanel(2));
    EXPECT_EQ(Text(), "Live on " + linkPath);

    clock.Advance(2000);
    EXPECT_EQ(Text(), "Live on " + linkPath) << "two seconds are no silence yet";
    clock.Advance(1500);
    EXPECT_EQ(Text(), "Live on " + linkPath + kGap + "last message 3 s ago");
    EXPECT_TRUE(Details().contains(QStringLiteral("Last message from the device: 3 s ago")));
    peer.WriteFrame(MSG_PRESENCE_QUERY);
    ASSERT_TRUE(WaitFor([&] { return !Text().contains(QStringLiteral("last message")); }));

    // However long the line gets, the toolbar and the panel below it keep their size.
    frame->layout()->activate();
    const QRect panelArea = view->geometry();
    frame->Indicator()->SetTransfer(QString(400, QLatin1Char('x')), 1 << 20, 1 << 22, 2048);
    frame->layout()->activate();
    EXPECT_EQ(view->geometry(), panelArea);
    frame->Indicator()->ClearTransfer();

    peer.HangUp();
    ASSERT_TRUE(WaitFor([&] { return !view->m_bConnected; }));
    EXPECT_TRUE(Text().startsWith(QStringLiteral("Lost: "))) << Text().toStdString();
    EXPECT_FALSE(view->Watch().IsRetrying()) << "reconnecting is off unless asked for";
    EXPECT_FALSE(clock.Waiting());
    EXPECT_EQ(notices.Notices().size(), 1u);
}

TEST(StatusIndicator, TransfersAndPagesAreShownBesideTheState) {
    CConnectionIndicator indicator;
    indicator.SetPage(1, 3);
    EXPECT_EQ(indicator.Text(), "Not connected" + kGap + "Page 2 of 3");
    indicator.SetPage(0, 1);
    indicator.SetTransfer(QStringLiteral("log%1.csv"), 1536, 4096, 512);
    EXPECT_EQ(indicator.Text(),
              "Not connected" + kGap + "log%1.csv 1.5 KiB of 4.0 KiB, 512 bytes/s");
    EXPECT_TRUE(
        indicator.Details().contains(QStringLiteral("Receiving log%1.csv: 1536 bytes of 4096")));
    indicator.SetTransfer(QStringLiteral("Panel"), 100, 0, 0);
    EXPECT_EQ(indicator.Text(), "Not connected" + kGap + "Panel 100 bytes");
    indicator.ClearTransfer();
    EXPECT_EQ(indicator.Text(), QStringLiteral("Not connected"));
    // A device's text in the tooltip stays text.
    ConnectionStatus lost;
    lost.state = ConnectionStatus::State::Lost;
    lost.reason = QStringLiteral("<b>gone</b>");
    indicator.SetStatus(lost);
    EXPECT_TRUE(indicator.toolTip().contains(QStringLiteral("&lt;b&gt;gone")));
}

TEST_F(Status, PingsShowTheirRoundTripAndAMissedOneStartsAReconnect) {
    Start();
    ReconnectOn();
    Connect();
    LoadPanel("Pinger", TextPanel(1));
    view->SetPing(true, 3600); // the test gives the ticks
    EXPECT_TRUE(Text().endsWith(QStringLiteral("ping -"))) << Text().toStdString();
    device.Sent();
    view->PingTick();
    ASSERT_EQ(device.SentCodes(), std::vector<uint16_t>{MSG_PING});
    clock.Advance(15);
    peer.WriteFrame(MSG_PING_REPLY);
    ASSERT_TRUE(WaitFor([&] { return Text().endsWith(QStringLiteral("ping 15 ms")); }))
        << Text().toStdString();

    view->PingTick();
    view->PingTick(); // the second ping went unanswered
    ASSERT_FALSE(view->m_bConnected);
    EXPECT_EQ(Text(), QStringLiteral("Reconnecting in 1 s"));
    EXPECT_TRUE(Details().contains(QStringLiteral("Lost: no answer to ping")));
    EXPECT_TRUE(Details().contains(QStringLiteral("Last ping answered in 15 ms, 1 missed")))
        << Details().toStdString();
    // The same port is opened again.
    clock.Advance(1000);
    EXPECT_TRUE(LinkIsOpen());
    EXPECT_TRUE(device.ReadConnect());
}

// ---------------------------------------------------------------------------------------------
// Reconnecting, and a kept panel while the device is away

TEST_F(Status, AKeptPanelIsGreyedWhileTheDeviceIsAwayAndLiveAgainOnceItAnswers) {
    Start();
    ReconnectOn();
    notices.SetUnattended(false); // the loss's box stays up through every attempt
    Connect();
    LoadPanel("Keeper", TextPanel(3), HF_KEEP_PANEL);
    ASSERT_GT(Widgets(), 0);
    EXPECT_EQ(EnabledWidgets(), Widgets());
    peer.HangUp();
    ASSERT_TRUE(WaitFor([&] { return !view->m_bConnected; }));
    EXPECT_EQ(view->Controls().size(), 3u);
    EXPECT_EQ(EnabledWidgets(), 0);
    EXPECT_EQ(Text(), QStringLiteral("Reconnecting in 1 s"));
    ASSERT_TRUE(WaitFor([&] { return notices.Current() != nullptr; }));

    // The device is gone and the link dangles: attempts fail quietly, further and further apart.
    Relink(dir.filePath(QStringLiteral("gone")));
    for (qint64 wait : {1000, 2000, 4000, 8000, 16000, 30000, 30000}) {
        ASSERT_EQ(view->Watch().RetryDelayMs(), wait);
        clock.Advance(wait - 1);
        EXPECT_FALSE(LinkIsOpen());
        clock.Advance(1);
    }
    EXPECT_EQ(Text(), QStringLiteral("Reconnecting in 30 s"));
    EXPECT_TRUE(Details().contains(QStringLiteral("No such file or directory")))
        << Details().toStdString();
    EXPECT_EQ(EnabledWidgets(), 0);

    // A device that vanishes before it answers is no new loss.
    auto second = NewPeer();
    clock.Advance(30000);
    EXPECT_EQ(Text(), "Connecting to " + linkPath);
    ASSERT_TRUE(second->device.ReadConnect());
    second->pty.HangUp();
    ASSERT_TRUE(WaitFor([&] { return view->Watch().RetryDelayMs() == 30000; }));

    // Back: the panel loads as on any connect, and takes input again.
    auto third = NewPeer();
    clock.Advance(30000);
    ASSERT_TRUE(third->device.ReadConnect());
    ASSERT_TRUE(LoadOn(third->device, "Keeper", TextPanel(4), HF_KEEP_PANEL));
    EXPECT_EQ(view->Controls().size(), 4u);
    EXPECT_EQ(EnabledWidgets(), Widgets());
    EXPECT_EQ(Text(), "Live on " + linkPath);
    EXPECT_FALSE(view->Watch().IsRetrying());
    EXPECT_EQ(Told(), 1) << "one box per loss, not one per attempt";
    EXPECT_EQ(notices.Waiting(), 0);
}

TEST_F(Status, ReconnectingStopsOnCloseAndConnectAndNeverFollowsAGoodbye) {
    Start();
    ReconnectOn();
    Connect();
    LoadPanel("Keeper", TextPanel(2), HF_KEEP_PANEL);
    device.Closed();
    ASSERT_TRUE(WaitFor([&] { return !view->m_bConnected; }));
    EXPECT_FALSE(view->Watch().IsRetrying());
    EXPECT_FALSE(clock.Waiting());
    EXPECT_EQ(Text(), QStringLiteral("Not connected"));
    EXPECT_EQ(EnabledWidgets(), 0) << "a kept panel is stale too";

    // Connect stops a pending attempt.
    Connect();
    LoadPanel("Keeper", TextPanel(2), HF_KEEP_PANEL);
    peer.HangUp();
    ASSERT_TRUE(WaitFor([&] { return view->Watch().IsRetrying(); }));
    auto second = NewPeer();
    view->OnCommand(ID_CONNECT);
    EXPECT_FALSE(view->Watch().IsRetrying());
    EXPECT_FALSE(clock.Waiting());
    ASSERT_TRUE(second->device.ReadConnect());
    ASSERT_TRUE(LoadOn(second->device, "Keeper", TextPanel(2), HF_KEEP_PANEL));

    // An attempt the device never answers is given up and tried again later.
    second->pty.HangUp();
    ASSERT_TRUE(WaitFor([&] { return view->Watch().RetryDelayMs() == 1000; }));
    auto third = NewPeer();
    clock.Advance(1000);
    ASSERT_TRUE(third->device.ReadConnect());
    clock.Advance(CConnectionWatch::kAnswerWaitMs);
    EXPECT_FALSE(LinkIsOpen());
    EXPECT_FALSE(view->m_bConnected);
    EXPECT_EQ(view->Watch().RetryDelayMs(), 2000);
    EXPECT_TRUE(Details().contains(QStringLiteral("Last attempt: no answer")));

    // Close stops it and clears the kept panel; the program goes on.
    QSignalSpy quit(view, &CTalvex22View::QuitRequested);
    view->OnCommand(ID_CLOSE);
    EXPECT_FALSE(view->Watch().IsRetrying());
    EXPECT_FALSE(clock.Waiting());
    EXPECT_TRUE(view->Controls().empty());
    EXPECT_EQ(quit.count(), 0);
    EXPECT_EQ(Text(), QStringLiteral("Not connected"));
    EXPECT_EQ(Told(), 2);
}

TEST_F(Status, ASimulatorRestartedOnTheSameLinkIsFoundAgain) {
    const PanelFileResult parsed =
        ParsePanelText(R"({"title": "Rig", "controls": [{"kind": "text", "id": 1, "value": "a"}]})",
                       "rig.json", DiskReader(dir.path().toStdString()));
    ASSERT_TRUE(parsed.panel) << parsed.error;
    const std::string simLink = dir.filePath(QStringLiteral("sim")).toStdString();
    std::string error;
    auto sim = SimPtyDevice::Start(*parsed.panel, {}, error, simLink);
    ASSERT_TRUE(sim) << error;
    view->SetPortPath(QString::fromStdString(simLink));
    Start();
    ReconnectOn();
    QSignalSpy laidOut(view, &CTalvex22View::PanelLaidOut);
    view->OnCommand(ID_CONNECT);
    ASSERT_TRUE(laidOut.wait(5000));

    sim.reset();
    ASSERT_TRUE(WaitFor([&] { return view->Watch().IsRetrying(); }));
    clock.Advance(1000);
    EXPECT_TRUE(Details().contains(QStringLiteral("No such file or directory")))
        << Details().toStdString();

    sim = SimPtyDevice::Start(*parsed.panel, {}, error, simLink);
    ASSERT_TRUE(sim) << error;
    laidOut.clear();
    clock.Advance(2000);
    ASSERT_TRUE(laidOut.wait(5000));
    EXPECT_EQ(Text(), "Live on " + QString::fromStdString(simLink));
    EXPECT_EQ(view->Controls().size(), 1u);
}

// ---------------------------------------------------------------------------------------------
// Page keys

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
    const QString last = QStringLiteral("Page %1 of %2").arg(count).arg(count);
    EXPECT_TRUE(Text().endsWith(QStringLiteral("Page 1 of %1").arg(count)));

    auto press = [&](QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        w->setFocus();
        QTest::keyClick(w, key, mods);
    };
    QLineEdit* edit = Ctrl(1).m_pEdit;
    QListWidget* list = Ctrl(2).m_pListBox;
    ASSERT_TRUE(edit && list);
    // In a line edit, which would take Ctrl+End for itself.
    press(edit, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(view->m_nCurPage, count - 1);
    EXPECT_TRUE(Text().endsWith(last)) << Text().toStdString();
    press(view, Qt::Key_PageUp);
    EXPECT_EQ(view->m_nCurPage, count - 2);
    press(view, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(view->m_nCurPage, 0);
    press(edit, Qt::Key_PageDown);
    EXPECT_EQ(view->m_nCurPage, 1);
    press(view, Qt::Key_PageUp);
    press(view, Qt::Key_PageUp); // at the first page: nothing
    EXPECT_EQ(view->m_nCurPage, 0);

    // A list scrolls by them itself.
    list->setCurrentRow(0);
    press(list, Qt::Key_PageDown);
    EXPECT_EQ(view->m_nCurPage, 0);
    EXPECT_GT(list->currentRow(), 0);
    press(list, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(view->m_nCurPage, 0);
}
