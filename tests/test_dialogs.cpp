// The settings dialogs as the user meets them, opened from the view against a device played on a
// pseudo-terminal: Com Ports (checked numbers, listed devices, the help page), Pings, Layout
// Controls with Control Layout, and a Password control's dialog.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTreeWidget>
#include <deque>

#include "BluetoothLine.h"
#include "ComPorts.h"
#include "ControlLayout.h"
#include "ControlSelect.h"
#include "Frame.h"
#include "LayoutProps.h"
#include "PasswordFS.h"
#include "PingSettings.h"
#include "ViewHarness.h"

namespace {

void Later(QAbstractButton* button) {
    ASSERT_TRUE(button);
    QTimer::singleShot(0, button, &QAbstractButton::click);
}

// Plays the user at the modal dialogs and boxes as they come up. A step sees the active modal
// widget and returns true once it has acted on it, false while it waits for its widget. Clicks
// go through the event loop (Later), so a box they raise is taken by the next step. After 5 s of
// waiting the test fails and the harness closes what is open.
class UserScript {
public:
    using Step = std::function<bool(QWidget*)>;
    explicit UserScript(BoxAnswerer& boxes) : m_boxes(boxes) {
        m_waiting.start();
        boxes.intercept = [this](QWidget* w) { return Play(w); };
    }
    ~UserScript() { m_boxes.intercept = nullptr; }

    void Then(Step step) { m_steps.push_back(std::move(step)); }
    template <class D> void At(std::function<void(D*)> act) {
        Then([act](QWidget* w) {
            auto* d = qobject_cast<D*>(w);
            if (d) act(d);
            return d != nullptr;
        });
    }
    // A message box: its text goes to `texts`, then `button` is clicked.
    void Box(QMessageBox::StandardButton button = QMessageBox::Ok) {
        At<QMessageBox>([this, button](QMessageBox* box) {
            texts << box->text();
            Later(box->button(button));
        });
    }
    bool Done() const { return m_steps.empty(); }
    QStringList texts;

private:
    bool Play(QWidget* w) {
        if (m_steps.empty()) return false;
        if (m_waiting.hasExpired(5000)) {
            ADD_FAILURE() << "a step waited in vain; " << m_steps.size() << " left";
            m_steps.clear();
            return false;
        }
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        if (step(w))
            m_waiting.start();
        else
            m_steps.push_front(std::move(step));
        return true;
    }

    BoxAnswerer& m_boxes;
    std::deque<Step> m_steps;
    QElapsedTimer m_waiting;
};

// A button or check box by its text.
template <class B = QPushButton> B* Named(QWidget* dialog, const QString& text) {
    for (auto* b : dialog->findChildren<B*>())
        if (b->text() == text) return b;
    ADD_FAILURE() << "no " << text.toStdString();
    return nullptr;
}

// The edit box a label names.
QLineEdit* Field(QWidget* dialog, const QString& label) {
    for (auto* l : dialog->findChildren<QLabel*>())
        if (l->text() == label)
            if (auto* edit = qobject_cast<QLineEdit*>(l->buddy())) return edit;
    ADD_FAILURE() << "no field " << label.toStdString();
    return nullptr;
}

void Type(QLineEdit* edit, const QString& text) {
    edit->clear();
    QTest::keyClicks(edit, text);
}

const QString kSettings = QStringLiteral("Talvex Client 3.0/");

// ---------------------------------------------------------------------------------------------
// Com Ports

class ComPortsDialog : public ViewFixture {
protected:
    void SetUp() override {
        ViewFixture::SetUp();
        ports = {{QStringLiteral("/dev/rfcomm3"), QStringLiteral("Bluetooth serial port"), {}},
                 {QString::fromStdString(peer.SlavePath()), QStringLiteral("Test adapter"),
                  QStringLiteral("Talvex")}};
        view->SetComPortsServices({[this] { return ports; },
                                   [this](const QString& path) {
                                       helpOpened << path;
                                       return helpOpens;
                                   }});
        // No Bluetooth service on this bus: the tests see the same on every machine.
        view->SetBluetoothLine(&noBluetooth);
    }
    void TearDown() override {
        ViewFixture::TearDown();
        QDBusConnection::disconnectFromBus(QStringLiteral("no-bus"));
    }
    static void Choose(CComPorts* d, const QString& path) {
        auto* list = d->findChild<QTreeWidget*>("serialDevices");
        const auto found = list->findItems(path, Qt::MatchExactly, 0);
        ASSERT_EQ(found.size(), 1) << path.toStdString();
        list->setCurrentItem(found.first());
    }

    BluetoothLine noBluetooth{
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent"), "no-bus")};
    QList<SerialPortEntry> ports;
    QStringList helpOpened;
    bool helpOpens = true;
};

TEST_F(ComPortsDialog, NumbersAreCheckedAndAListedDeviceReplacesThePortGivenAtStart) {
    view->SetPortPath(QStringLiteral("/nonexistent/talvex-tty"));
    Start();
    const QString pty = QString::fromStdString(peer.SlavePath());
    const QString port = QStringLiteral("Bluetooth COM: Port Number");
    bool focused = false;
    UserScript user(boxes);
    user.Box();
    user.Box(QMessageBox::Yes); // the failed Connect: configure now?
    for (QString typed : {"0", "1001", "x"}) {
        user.At<CComPorts>([&, typed](CComPorts* d) {
            if (typed == "0") {
                // The device given on the command line is the one in use, and it wins.
                const auto chosen = d->findChild<QTreeWidget*>("serialDevices")->selectedItems();
                ASSERT_EQ(chosen.size(), 1);
                EXPECT_EQ(chosen.first()->text(0), QStringLiteral("/nonexistent/talvex-tty"));
                EXPECT_FALSE(Field(d, port)->isEnabled());
                Named(d, "Use Port Number")->click();
                EXPECT_TRUE(Field(d, port)->isEnabled());
                EXPECT_EQ(Field(d, port)->text(), QStringLiteral("5"));
                QStringList labels;
                for (const QLabel* l : d->findChildren<QLabel*>()) labels << l->text();
                EXPECT_TRUE(labels.join('\n').contains("Port number N opens /dev/rfcommN"));
            }
            Type(Field(d, port), typed);
            Later(Named(d, "OK"));
        });
        user.Box();
    }
    user.At<CComPorts>([&](CComPorts* d) {
        focused = d->focusWidget() == Field(d, port);
        Choose(d, QStringLiteral("/dev/rfcomm3"));
        EXPECT_EQ(Field(d, port)->text(), QStringLiteral("3"));
        Choose(d, pty);
        Later(Named(d, "OK"));
    });
    view->OnCommand(ID_CONNECT);
    EXPECT_TRUE(user.Done());
    EXPECT_EQ(user.texts.mid(2), (QStringList{"Please enter an integer between 1 and 1000.",
                                              "Please enter an integer between 1 and 1000.",
                                              "Please enter an integer."}));
    EXPECT_TRUE(focused);
    EXPECT_EQ(settings.Raw(kSettings + "m_strComPath").toString(), pty);
    EXPECT_EQ(settings.Raw(kSettings + "m_iComOutGoing").toInt(), 3);

    // The device chosen in the dialog is what Connect opens now.
    view->OnCommand(ID_CONNECT);
    EXPECT_TRUE(device.ReadConnect());
    EXPECT_TRUE(view->m_bConnected);
}

TEST_F(ComPortsDialog, AnRfcommDeviceOrATypedNumberIsStoredAsTheNumberAndHelpKeepsItOpen) {
    {
        QSettings s(QSettings::IniFormat, QSettings::UserScope, "Talvex", "Talvex 3.0");
        s.setValue(kSettings + "m_iComOutGoing", 2);
        s.setValue(kSettings + "m_strComPath", QString::fromStdString(peer.SlavePath()));
    }
    view->SetPortPath(QString());
    Start();
    helpOpens = false;
    UserScript user(boxes);
    user.At<CComPorts>([&](CComPorts* d) {
        const auto chosen = d->findChild<QTreeWidget*>("serialDevices")->selectedItems();
        ASSERT_EQ(chosen.size(), 1);
        EXPECT_EQ(chosen.first()->text(0).toStdString(), peer.SlavePath());
        // Unplugged while the dialog is open, the chosen device stays listed and chosen.
        const SerialPortEntry gone = ports.takeLast();
        d->RefreshPorts();
        const auto still = d->findChild<QTreeWidget*>("serialDevices")->selectedItems();
        ASSERT_EQ(still.size(), 1);
        EXPECT_EQ(still.first()->text(0).toStdString(), peer.SlavePath());
        EXPECT_EQ(still.first()->text(1), QStringLiteral("(not present)"));
        ports.append(gone);
        Later(Named(d, "Help on COM ports"));
    });
    user.Box();
    user.At<CComPorts>([&](CComPorts* d) {
        Choose(d, QStringLiteral("/dev/rfcomm3"));
        Later(Named(d, "OK"));
    });
    view->OnCommand(ID_COM_PORTS);
    EXPECT_TRUE(user.Done());
    ASSERT_EQ(helpOpened.size(), 1);
    EXPECT_TRUE(helpOpened[0].endsWith("/com-ports.html") && QFileInfo::exists(helpOpened[0]));
    ASSERT_EQ(user.texts.size(), 1);
    EXPECT_TRUE(user.texts[0].endsWith("\n" + helpOpened[0])) << user.texts[0].toStdString();
    EXPECT_EQ(settings.Raw(kSettings + "m_iComOutGoing").toInt(), 3);
    EXPECT_EQ(settings.Raw(kSettings + "m_strComPath").toString(), QString());

    user.At<CComPorts>([&](CComPorts* d) {
        Choose(d, QString::fromStdString(peer.SlavePath()));
        EXPECT_FALSE(Field(d, "Bluetooth COM: Port Number")->isEnabled());
        Named(d, "Use Port Number")->click();
        Type(Field(d, "Bluetooth COM: Port Number"), "7");
        EXPECT_TRUE(d->findChild<QTreeWidget*>("serialDevices")->selectedItems().isEmpty());
        Later(Named(d, "OK"));
    });
    view->OnCommand(ID_COM_PORTS);
    EXPECT_EQ(settings.Raw(kSettings + "m_iComOutGoing").toInt(), 7);
    EXPECT_EQ(settings.Raw(kSettings + "m_strComPath").toString(), QString());
}

TEST_F(ComPortsDialog, ANetworkAddressIsCheckedAndStoredAsItsUrl) {
    view->SetPortPath(QString());
    Start();
    auto group = [](CComPorts* d, const QString& title) -> QGroupBox* {
        for (auto* g : d->findChildren<QGroupBox*>())
            if (g->title() == title) return g;
        ADD_FAILURE() << "no group " << title.toStdString();
        return nullptr;
    };
    UserScript user(boxes);
    user.At<CComPorts>([&](CComPorts* d) {
        ASSERT_TRUE(group(d, "Serial"));
        // Without Bluetooth its group says why, and the rest of the dialog works.
        QGroupBox* bluetooth = group(d, "Bluetooth");
        ASSERT_TRUE(bluetooth);
        QStringList lines;
        for (const QLabel* l : bluetooth->findChildren<QLabel*>()) lines << l->text();
        EXPECT_TRUE(lines.contains(QStringLiteral(
            "Bluetooth is not available: the Bluetooth service (BlueZ) is not running; start it "
            "with \"sudo systemctl start bluetooth\".")))
            << lines.join('\n').toStdString();
        EXPECT_FALSE(Named(d, "Search")->isEnabled());
        QGroupBox* network = group(d, "Network");
        ASSERT_TRUE(network && !network->isChecked());
        network->setChecked(true);
        EXPECT_FALSE(Field(d, "Bluetooth COM: Port Number")->isEnabled());
        Type(Field(d, "Host"), "bridge.local");
        Type(Field(d, "TCP port"), "70000");
        Later(Named(d, "OK"));
    });
    user.Box();
    user.At<CComPorts>([&](CComPorts* d) {
        Type(Field(d, "TCP port"), "2000");
        Later(Named(d, "OK"));
    });
    view->OnCommand(ID_COM_PORTS);
    EXPECT_TRUE(user.Done());
    EXPECT_EQ(user.texts, QStringList{"tcp://bridge.local:70000: port 70000 is out of range: use a "
                                      "port from 1 to 65535"});
    EXPECT_EQ(settings.Raw(kSettings + "m_strComPath").toString(), "tcp://bridge.local:2000");

    // Opened again, the dialog shows the address in use.
    user.At<CComPorts>([&](CComPorts* d) {
        EXPECT_TRUE(group(d, "Network")->isChecked());
        EXPECT_EQ(Field(d, "Host")->text(), QStringLiteral("bridge.local"));
        EXPECT_TRUE(d->findChild<QTreeWidget*>("serialDevices")->selectedItems().isEmpty());
        Later(Named(d, "Cancel"));
    });
    view->OnCommand(ID_COM_PORTS);
    EXPECT_TRUE(user.Done());
}

// ---------------------------------------------------------------------------------------------
// Pings

using PingsDialog = ViewFixture;

TEST_F(PingsDialog, ThePeriodBoxFollowsTheCheckBoxAndAValidPeriodIsUsedAndStored) {
    Start();
    Connect();
    LoadPanel("Greenhouse", TextPanel(1));
    const QString every = QStringLiteral("Confirm every");
    UserScript user(boxes);
    user.At<PingSettings>([&](PingSettings* d) {
        QCheckBox* on = Named<QCheckBox>(d, "Confirm presence of remote device ");
        EXPECT_FALSE(on->isChecked());
        EXPECT_FALSE(Field(d, every)->isEnabled());
        for (const QLabel* l : d->findChildren<QLabel*>()) // the period applies at once
            EXPECT_FALSE(l->text().contains(QStringLiteral("next started")));
        on->click();
        EXPECT_TRUE(Field(d, every)->isEnabled());
        Type(Field(d, every), "0");
        Later(Named(d, "OK"));
    });
    user.Box();
    user.At<PingSettings>([&](PingSettings* d) {
        Type(Field(d, every), "7");
        Later(Named(d, "OK"));
    });
    view->OnCommand(ID_PINGS);
    EXPECT_TRUE(user.Done());
    EXPECT_EQ(user.texts, QStringList{"Please enter an integer between 1 and 10000000."});
    EXPECT_EQ(view->PingTimerInterval(), 7000);
    EXPECT_EQ(StoredLayout(u"Greenhouse", 0, PANEL_PROP_PING_SECONDS, -1), 7);
}

// ---------------------------------------------------------------------------------------------
// Layout Controls and Control Layout

Bytes Name(std::string_view name) {
    return Bytes(name.begin(), name.end());
}

class LayoutDialogs : public ViewFixture {
protected:
    void SetUp() override {
        ViewFixture::SetUp();
        Start();
        Connect();
        LoadPanel("Greenhouse",
                  {Definition('T', 0, 1, AnsiZ(""), {{'m', U32Bytes(16)}, {'Z', Name("Temp")}}),
                   Definition('T', 0, 2, AnsiZ(""), {{'m', U32Bytes(16)}, {'Z', Name("Air")}}),
                   Definition('T', CTRLF_HIDDEN, 3, AnsiZ(""), {{'m', U32Bytes(16)}}),
                   Definition('X', 0, 4, AnsiZ("Water now?"), {{'m', U32Bytes(20)}}),
                   Definition('P', 0, 5, {0}, {{'Z', Name("Admin")}})});
    }
    CCtrl& Mutable(uint32_t id) { return const_cast<CCtrl&>(Ctrl(id)); }
    static QListWidget* List(CControlSelect* d) { return d->findChild<QListWidget*>(); }
};

TEST_F(LayoutDialogs, TwoControlsChangeTogetherAndCloseStoresTheLayout) {
    ASSERT_TRUE(Ctrl(4).m_dwFlags & CTRLF_BOX_SHOWN);
    auto place = [&](uint32_t id) {
        const CCtrl& c = Ctrl(id);
        return std::tuple{c.m_nX, c.m_nY, c.m_nPage, c.m_nStyle};
    };
    const auto place1 = place(1), place2 = place(2);
    const int passwordWidth = Ctrl(5).m_nWidth;

    UserScript user(boxes);
    user.At<CControlSelect>([&](CControlSelect* d) {
        QStringList lines;
        for (int i = 0; i < List(d)->count(); ++i) lines << List(d)->item(i)->text();
        EXPECT_EQ(lines, (QStringList{"Temp", "Air", "Water now?", "Admin (closed)"}));
        QPushButton* modify = Named(d, "Modify...");
        EXPECT_FALSE(modify->isEnabled());
        List(d)->item(0)->setSelected(true);
        List(d)->item(1)->setSelected(true);
        EXPECT_TRUE(modify->isEnabled());
        Later(modify);
    });
    user.At<CControlLayout>([&](CControlLayout* d) {
        for (const char* label : {"X Position", "Y Position", "Page"})
            EXPECT_FALSE(Field(d, label)->isEnabled()) << label;
        EXPECT_FALSE(d->findChild<QComboBox*>()->isEnabled());
        EXPECT_EQ(Field(d, "Width")->text(), QStringLiteral("117"));
        Type(Field(d, "Width"), "200");
        Type(Field(d, "Height"), "60");
        Type(Field(d, "Font Size"), "14");
        Type(Field(d, "Title Size"), "9");
        d->findChild<QCheckBox*>("fontBold")->setChecked(true);
        d->findChild<QCheckBox*>("titleBold")->setChecked(false);
        Named<QCheckBox>(d, "Show Border")->setChecked(true);
        Named<QCheckBox>(d, "Show Control Title")->setChecked(true);
        Later(Named(d, "OK"));
    });
    user.At<CControlSelect>([&](CControlSelect* d) { Later(Named(d, "Close")); });
    view->OnCommand(ID_LAYOUT_CONTROLS);
    EXPECT_TRUE(user.Done());

    for (uint32_t id : {1u, 2u}) {
        const CCtrl& c = Ctrl(id);
        EXPECT_EQ(place(id), id == 1 ? place1 : place2) << id;
        EXPECT_EQ(c.m_nWidth, 200);
        EXPECT_EQ(c.m_nHeight, 60);
        EXPECT_EQ(c.m_nFontSize, 14);
        EXPECT_TRUE(c.m_bFontBold);
        EXPECT_EQ(c.m_nTitleFontSize, 9);
        EXPECT_FALSE(c.m_bTitleBold);
        EXPECT_TRUE(c.m_bBorder);
        EXPECT_TRUE(c.m_bShowTitle);
        EXPECT_FALSE(c.m_bAutoLayout);
        EXPECT_EQ(StoredLayout(u"Greenhouse", id, CTRL_PROP_WIDTH, -1), 200);
    }
    EXPECT_EQ(Ctrl(5).m_nWidth, passwordWidth);
}

TEST_F(LayoutDialogs, TheXBoxMovesAlongXAndEscapeKeepsTheChangeInMemoryOnly) {
    const int y = Ctrl(2).m_nY;
    const int storedX = StoredLayout(u"Greenhouse", 2, CTRL_PROP_X, -1);
    UserScript user(boxes);
    user.At<CControlSelect>([&](CControlSelect* d) {
        QListWidget* list = List(d);
        // A click, then the second press as the platform reports it.
        QTimer::singleShot(0, list, [list] {
            const QPoint at = list->visualItemRect(list->item(1)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            QMouseEvent twice(QEvent::MouseButtonDblClick, at, list->viewport()->mapToGlobal(at),
                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(list->viewport(), &twice);
        });
    });
    user.At<CControlLayout>([&](CControlLayout* d) {
        EXPECT_EQ(Field(d, "X Position")->text(), QString::number(Ctrl(2).m_nX));
        EXPECT_EQ(Field(d, "Y Position")->text(), QString::number(y));
        Type(Field(d, "X Position"), "30");
        Later(Named(d, "OK"));
    });
    user.At<CControlSelect>([](CControlSelect* d) { QTest::keyClick(d, Qt::Key_Escape); });
    view->OnCommand(ID_LAYOUT_CONTROLS);
    EXPECT_TRUE(user.Done());
    EXPECT_EQ(Ctrl(2).m_nX, 30);
    EXPECT_EQ(Ctrl(2).m_nY, y);
    EXPECT_EQ(StoredLayout(u"Greenhouse", 2, CTRL_PROP_X, -1), storedX);
}

TEST_F(LayoutDialogs, ANewPanelWhileTheDialogsAreOpenIsListedAndChangedByItsIds) {
    UserScript user(boxes);
    user.At<CControlSelect>([&](CControlSelect* d) {
        List(d)->item(0)->setSelected(true);
        Later(Named(d, "Modify..."));
    });
    user.At<CControlLayout>([&](CControlLayout*) { device.Panel(TextPanel(2)); });
    user.Then([&](QWidget* w) { // once the new panel is built
        auto* d = qobject_cast<CControlLayout*>(w);
        if (!d || view->Controls().size() != 2) return false;
        Type(Field(d, "Width"), "250");
        Later(Named(d, "OK"));
        return true;
    });
    user.At<CControlSelect>([&](CControlSelect* d) {
        EXPECT_EQ(List(d)->count(), 2);
        Later(Named(d, "Close"));
    });
    view->OnCommand(ID_LAYOUT_CONTROLS);
    EXPECT_TRUE(user.Done());
    EXPECT_EQ(Ctrl(1).m_nWidth, 250);
    EXPECT_EQ(Ctrl(2).m_nWidth, 117);
}

TEST_F(LayoutDialogs, AControlOfAPageNotShownYetIsListedWithItsValueAndMovedOntoThisOne) {
    std::vector<Bytes> panel = TextPanel(35);
    panel.push_back(Definition('T', CTRLF_EDITABLE, 36, AnsiZ("sown"), {{'m', U32Bytes(16)}}));
    ASSERT_TRUE(SendDefinition(panel));
    ASSERT_EQ(Ctrl(36).m_nPage, 1);
    UserScript user(boxes);
    user.At<CControlSelect>([&](CControlSelect* d) {
        EXPECT_EQ(List(d)->item(35)->text(), QStringLiteral("sown"));
        List(d)->item(35)->setSelected(true);
        Later(Named(d, "Modify..."));
    });
    user.At<CControlLayout>([&](CControlLayout* d) {
        Type(Field(d, "Page"), "0");
        Later(Named(d, "OK"));
    });
    user.At<CControlSelect>([&](CControlSelect* d) { Later(Named(d, "Close")); });
    view->OnCommand(ID_LAYOUT_CONTROLS);
    EXPECT_TRUE(user.Done());
    ASSERT_NE(Ctrl(36).m_pEdit, nullptr);
    EXPECT_TRUE(Ctrl(36).m_pEdit->isVisible());
    EXPECT_EQ(Ctrl(36).m_pEdit->text(), QStringLiteral("sown"));
}

// ---------------------------------------------------------------------------------------------
// Password

using PasswordDialog = LayoutDialogs;

// The 68 bytes of a password item: two zero-padded 34-byte fields.
Bytes PasswordItem(std::string_view first, std::string_view second) {
    Bytes item(68, 0);
    std::copy(first.begin(), first.end(), item.begin());
    std::copy(second.begin(), second.end(), item.begin() + 34);
    return item;
}

bool EndsWith(const Bytes& payload, const Bytes& tail) {
    return payload.size() >= tail.size() &&
           std::equal(tail.begin(), tail.end(), payload.end() - long(tail.size()));
}

TEST_F(PasswordDialog, ChangeChecksBothNewPasswordsAndSendsOldAndNew) {
    device.Sent();
    UserScript user(boxes);
    user.At<CPasswordFS>([&](CPasswordFS* d) {
        EXPECT_EQ(Ctrl(5).m_pPasswordDlg, d);
        Type(Field(d, "Old Password:"), "old");
        Type(Field(d, "New Password:"), "new1");
        Type(Field(d, "New Password Again:"), "new2");
        Later(Named(d, "Change"));
    });
    user.Box();
    user.At<CPasswordFS>([&](CPasswordFS* d) {
        Field(d, "New Password:")->clear();
        Field(d, "New Password Again:")->clear();
        Later(Named(d, "Change"));
    });
    user.Box();
    user.At<CPasswordFS>([&](CPasswordFS* d) {
        EXPECT_TRUE(device.Sent().empty()); // nothing went out for the refused attempts
        Type(Field(d, "New Password:"), "new1");
        Type(Field(d, "New Password Again:"), "new1");
        Later(Named(d, "Change"));
    });
    view->OpenPasswordDialog(Mutable(5));
    EXPECT_TRUE(user.Done());
    EXPECT_EQ(user.texts, (QStringList{"The two versions of the new password are not the same",
                                       "Password is not valid"}));
    EXPECT_EQ(Ctrl(5).m_pPasswordDlg, nullptr);
    auto sent = device.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, MSG_CLIENT_VALUES);
    EXPECT_TRUE(EndsWith(sent[0].payload, PasswordItem("old", "new1")));
}

TEST_F(PasswordDialog, LogOutSendsEmptyPasswordsAndEscapeSendsNothing) {
    device.Sent();
    UserScript user(boxes);
    user.At<CPasswordFS>([](CPasswordFS* d) { Later(Named(d, "Log Out")); });
    view->OpenPasswordDialog(Mutable(5));
    auto sent = device.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(EndsWith(sent[0].payload, PasswordItem("", "")));

    user.At<CPasswordFS>([](CPasswordFS* d) {
        Type(Field(d, "New Password:"), "x");
        Type(Field(d, "New Password Again:"), "x");
        QTest::keyClick(d, Qt::Key_Escape);
    });
    view->OpenPasswordDialog(Mutable(5));
    EXPECT_TRUE(user.Done());
    EXPECT_TRUE(device.Sent().empty());
    EXPECT_EQ(Ctrl(5).m_pPasswordDlg, nullptr);
}

} // namespace
