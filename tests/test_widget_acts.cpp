// The user operating the panel's widgets with mouse and keys, against a device on a pty: the
// exact values each kind sends, what the device's own values do, received files, device
// message boxes, keyboard order and the toolbar following the command rules.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimeEdit>
#include <QToolBar>
#include <QToolButton>
#include <functional>

#include "ConnectionIndicator.h"
#include "Frame.h"
#include "LayoutProps.h"
#include "Link.h"
#include "ViewHarness.h"
#include "support/GifWriter.h"

namespace {

using namespace std::string_literals;

const std::string kPanel = "Acts";

Bytes Named(std::string_view name) {
    return AnsiZ(name);
}

// The device's message boxes open now, and the one showing `text`.
std::vector<QMessageBox*> OpenBoxes() {
    std::vector<QMessageBox*> open;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) open.push_back(box);
    return open;
}
QMessageBox* OpenBox(const QString& text) {
    for (QMessageBox* b : OpenBoxes())
        if (b->text() == text) return b;
    return nullptr;
}

// A click as the window system delivers it: a window that a modal one blocks never gets it.
void UserClick(QAbstractButton* button) {
    QWidget* window = button->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                      button->mapTo(window, button->rect().center()));
}

Bytes MessageBoxDef(uint32_t id, uint32_t flags, std::string_view text) {
    return Definition('X', flags, id, AnsiZ(text), {{'m', U32Bytes(16)}});
}

// `text` in a zero-filled field of `size` bytes, as an 8-bit Text goes out.
Bytes Field(std::string_view text, size_t size) {
    Bytes b(text.begin(), text.end());
    b.resize(size, 0);
    return b;
}

class Acts : public ViewFixture {
protected:
    void Load(const std::vector<Bytes>& definitions) {
        Start();
        Connect();
        LoadPanel(kPanel, definitions);
        device.Sent(); // the layout request
    }
    CCtrl& Get(uint32_t id) { return const_cast<CCtrl&>(Ctrl(id)); }
    // The item lists of the value messages sent since the last call.
    std::vector<Bytes> Values() {
        std::vector<Bytes> out;
        for (const ClientFrame& f : device.Sent())
            if (f.code == MSG_CLIENT_VALUES) out.push_back(f.payload);
        return out;
    }
    // The answers the device's boxes posted to the view, as sent.
    std::vector<Bytes> Answers() {
        QCoreApplication::sendPostedEvents(view);
        return Values();
    }
    // A device value, handled once `shown` holds.
    void Push(uint32_t id, const Bytes& value, const std::function<bool()>& shown) {
        peer.WriteFrame(MSG_DEVICE_VALUES, 0, ItemList({{id, value}}));
        ASSERT_TRUE(WaitFor(shown));
    }
};

TEST_F(Acts, AButtonSendsAPressAndATextSendsEveryChangeButNotTheDevicesEcho) {
    StoreLayout(u"Acts", 3, CTRL_PROP_STYLE, 1);
    Load({Definition('B', 0, 1, {0}, {{'Z', Named("Go")}}),
          Definition('T', CTRLF_EDITABLE, 2, AnsiZ(""), {{'m', U32Bytes(8)}}),
          Definition('T', CTRLF_EDITABLE, 3, AnsiZ(""), {{'m', U32Bytes(8)}})});
    QTest::mouseClick(Get(1).m_pButton, Qt::LeftButton);
    EXPECT_EQ(Values(), std::vector<Bytes>{ItemList({{1, {255}}})});

    QTest::keyClicks(Get(2).m_pEdit, "ab");
    EXPECT_EQ(Values(), (std::vector<Bytes>{ItemList({{2, Field("a", 8)}}),
                                            ItemList({{2, Field("ab", 8)}})}));
    Push(2, AnsiZ("xyz"), [&] { return Get(2).m_pEdit->text() == QStringLiteral("xyz"); });
    EXPECT_TRUE(Values().empty());
    QTest::keyClick(Get(2).m_pEdit, Qt::Key_Backspace);
    EXPECT_EQ(Values(), std::vector<Bytes>{ItemList({{2, Field("xy", 8)}})});

    // "Text with OK": nothing while typing; "OK" or Return sends.
    QTest::keyClicks(Get(3).m_pEdit, "hi");
    EXPECT_TRUE(Values().empty());
    QTest::mouseClick(Get(3).m_pButton, Qt::LeftButton);
    QTest::keyClick(Get(3).m_pEdit, Qt::Key_Return);
    EXPECT_EQ(Values(), std::vector<Bytes>(2, ItemList({{3, Field("hi", 8)}})));
}

TEST_F(Acts, ALatchInAGroupSwitchesTheOthersOffAndAMomentaryOneSendsPressAndRelease) {
    Load({Definition('G', 0, 1, {255}, {{'r', U32Bytes(3)}}),
          Definition('G', 0, 2, {0}, {{'r', U32Bytes(3)}}),
          Definition('G', CTRLF_LATCH_MOMENTARY, 3, {0}, {{'r', U32Bytes(3)}}),
          Definition('G', CTRLF_LATCH_MOMENTARY, 4, {0})});
    QTest::mouseClick(Get(2).m_pButton, Qt::LeftButton);
    EXPECT_EQ(Values(), std::vector<Bytes>{ItemList({{1, {0}}, {2, {255}}})});
    EXPECT_EQ(Get(1).m_bValue, 0);
    EXPECT_EQ(Get(2).m_bValue, 255);
    uint8_t state = 1;
    uint32_t size = 1;
    LinkGetValue(1, &state, &size);
    EXPECT_EQ(state, 0);
    // Clicked again while on: still on, and the group is switched off again.
    QTest::mouseClick(Get(2).m_pButton, Qt::LeftButton);
    EXPECT_EQ(Values(), std::vector<Bytes>{ItemList({{1, {0}}, {2, {255}}})});

    CCtrl& momentary = Get(4);
    ASSERT_FALSE(momentary.m_pMomentary->isHidden());
    QTest::mousePress(momentary.m_pMomentary, Qt::LeftButton);
    EXPECT_EQ(momentary.m_bValue, 255);
    QTest::mouseRelease(momentary.m_pMomentary, Qt::LeftButton);
    QTest::keyPress(momentary.m_pMomentary, Qt::Key_Space);
    QTest::keyRelease(momentary.m_pMomentary, Qt::Key_Space);
    EXPECT_EQ(Values(), (std::vector<Bytes>{ItemList({{4, {255}}}), ItemList({{4, {0}}}),
                                            ItemList({{4, {255}}}), ItemList({{4, {0}}})}));
    momentary.m_pButton->click(); // the latch button of a momentary latch sends 0
    EXPECT_EQ(Values(), std::vector<Bytes>{ItemList({{4, {0}}})});
}

TEST_F(Acts, NumbersSendTheirScaledAndClampedValues) {
    StoreLayout(u"Acts", 2, CTRL_PROP_STYLE, 1);
    StoreLayout(u"Acts", 3, CTRL_PROP_STYLE, 1);
    StoreLayout(u"Acts", 4, CTRL_PROP_STYLE, 3);
    const std::vector<Attr> zeroToTwo{{'n', U32Bytes(0)}, {'x', U32Bytes(2)}};
    Load({Definition('N', CTRLF_EDITABLE, 1, U32Bytes(0), {{'m', {0xFE}}, {'d', {2}}}),
          Definition('N', CTRLF_EDITABLE | CTRLF_CLAMP_MIN | CTRLF_CLAMP_MAX, 2, U32Bytes(2),
                     zeroToTwo),
          Definition('N', CTRLF_EDITABLE, 3, U32Bytes(2), zeroToTwo),
          Definition('N', CTRLF_EDITABLE, 4, U32Bytes(5),
                     {{'n', U32Bytes(0)}, {'x', U32Bytes(10)}})});
    CCtrl& ok = Get(1);
    ok.m_pEdit->clear();
    QTest::keyClicks(ok.m_pEdit, "1.239");
    QTest::mouseClick(ok.m_pMinus, Qt::LeftButton);
    EXPECT_EQ(Values(), std::vector<Bytes>{ItemList({{1, U32Bytes(123)}})});
    EXPECT_EQ(ok.m_pEdit->text(), QStringLiteral("1.23"));

    QTest::mouseClick(Get(2).m_pPlus, Qt::LeftButton);
    QTest::mouseClick(Get(3).m_pPlus, Qt::LeftButton);
    EXPECT_EQ(Values(),
              (std::vector<Bytes>{ItemList({{2, U32Bytes(2)}}), ItemList({{3, U32Bytes(3)}})}));
    EXPECT_EQ(Get(3).m_pValueText->text(), QStringLiteral("3"));

    QTest::keyClick(Get(4).m_pSlider, Qt::Key_Right);
    EXPECT_EQ(Values(), std::vector<Bytes>{ItemList({{4, U32Bytes(6)}})});
}

TEST_F(Acts, TypedNumbersAreReadInTheUsersLocaleOrWithAPointAndOtherTextIsRefused) {
    struct Locale {
        Locale() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
        ~Locale() { QLocale::setDefault(before); }
        QLocale before;
    } german;
    Load({Definition('N', CTRLF_EDITABLE, 1, U32Bytes(0), {{'m', {0xFE}}, {'d', {2}}})});
    QStringList notices;
    view->Widgets().notice = [&](const QString& text) { notices << text; };
    CCtrl& ok = Get(1);
    for (const char* typed : {"3,5", "1.234,5", "2.25", "3,5 V", "drei"}) {
        ok.m_pEdit->setText(QString::fromLatin1(typed));
        QTest::keyClick(ok.m_pEdit, Qt::Key_Return);
    }
    EXPECT_EQ(Values(),
              (std::vector<Bytes>{ItemList({{1, U32Bytes(350)}}), ItemList({{1, U32Bytes(123450)}}),
                                  ItemList({{1, U32Bytes(225)}})}));
    EXPECT_EQ(notices, QStringList(2, QStringLiteral("Please type a number, such as 12,5.")));
}

TEST_F(Acts, DatesTimesAndWeekdaysSendOnlyTheirEditableParts) {
    const Bytes value = Payload().U8(5).U8(6).U8(7).U8(8).U8(2).U8(9).U16(2026).bytes();
    const Attr format{'f', AnsiZ("%HH%")};
    Load({Definition('D', CTRLF_EDITABLE | CTRLF_TIME_HOUR | CTRLF_DATE_DAY, 1, value, {format}),
          Definition('D', CTRLF_EDITABLE | CTRLF_WEEKDAY, 2, value, {format})});
    CCtrl& dt = Get(1);
    dt.m_pDatePicker->setDate(QDate(2030, 10, 31)); // September, which the device keeps, has 30
    dt.m_pTimePicker->setTime(QTime(13, 45, 50));
    const Bytes day30 = Payload().U8(5).U8(6).U8(7).U8(30).U8(2).U8(9).U16(2026).bytes();
    const Bytes hour13 = Payload().U8(5).U8(6).U8(13).U8(30).U8(2).U8(9).U16(2026).bytes();
    EXPECT_EQ(Values(), (std::vector<Bytes>{ItemList({{1, day30}}), ItemList({{1, hour13}})}));
    // The pickers show what was sent, and their arrows leave the device's parts alone.
    EXPECT_EQ(dt.m_pDatePicker->date(), QDate(2026, 9, 30));
    EXPECT_EQ(dt.m_pTimePicker->time(), QTime(13, 6, 5));
    dt.m_pTimePicker->setCurrentSection(QDateTimeEdit::MinuteSection);
    QTest::keyClick(dt.m_pTimePicker, Qt::Key_Up);
    EXPECT_EQ(dt.m_pTimePicker->time(), QTime(13, 6, 5));
    EXPECT_TRUE(Values().empty());

    QTest::keyClick(Get(2).m_pDropList, Qt::Key_Down);
    const Bytes wednesday = Payload().U8(5).U8(6).U8(7).U8(8).U8(3).U8(9).U16(2026).bytes();
    EXPECT_EQ(Values(), std::vector<Bytes>{ItemList({{2, wednesday}})});
}

TEST_F(Acts, ListsSendTheSelectionAndKeepBothListsInStep) {
    StoreLayout(u"Acts", 2, CTRL_PROP_STYLE, 1);
    const std::vector<Attr> items{{'n', U32Bytes(5)},
                                  {'I', Bytes{'a', 0, 'b', 0, 'c', 0, 'd', 0, 'e', 0}}};
    Load({Definition('L', 0, 1, U32Bytes(0), items), Definition('L', 0, 2, U32Bytes(0), items)});
    QTest::keyClick(Get(1).m_pDropList, Qt::Key_Down);
    CCtrl& box = Get(2);
    QListWidget* list = box.m_pListBox;
    const QPoint second = list->visualItemRect(list->item(1)).center();
    ASSERT_TRUE(list->viewport()->rect().contains(second));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
    EXPECT_EQ(Values(),
              (std::vector<Bytes>{ItemList({{1, U32Bytes(1)}}), ItemList({{2, U32Bytes(1)}})}));
    // The list stays under the pointer and marks the row sent.
    EXPECT_EQ(list->itemAt(second), list->item(1));
    EXPECT_EQ(list->selectedItems(), QList<QListWidgetItem*>{list->item(1)});
    EXPECT_EQ(box.m_pDropList->currentIndex(), 1);
    // The device's value is marked and scrolled to the top.
    Push(2, U32Bytes(2), [&] { return list->currentRow() == 2; });
    EXPECT_EQ(list->selectedItems(), QList<QListWidgetItem*>{list->item(2)});
    EXPECT_EQ(list->itemAt(QPoint(1, 1)), list->item(2));
    EXPECT_EQ(box.m_pDropList->currentIndex(), 2);
    EXPECT_TRUE(Values().empty());
}

TEST_F(Acts, ColoursFollowAStoredStyle) {
    StoreLayout(u"Acts", 1, CTRL_PROP_STYLE, 1); // a check box
    StoreLayout(u"Acts", 2, CTRL_PROP_STYLE, 2); // a bar
    StoreLayout(u"Acts", 3, CTRL_PROP_STYLE, 1); // "Text with OK"
    const Attr darkRed{'c', U32Bytes(0x80)};
    Load({Definition('G', 0, 1, {0}, {darkRed}),
          Definition('N', 0, 2, U32Bytes(10), {darkRed, {'x', U32Bytes(100)}}),
          Definition('T', CTRLF_EDITABLE, 3, AnsiZ(""), {darkRed, {'m', U32Bytes(8)}})});
    EXPECT_EQ(Get(1).m_pCheck->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(Get(2).m_pValueText->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(Get(2).m_pBar->palette().color(QPalette::Window), QColor(0x80, 0, 0));
    EXPECT_EQ(Get(3).m_pButton->palette().color(QPalette::Button), QColor(192, 192, 192));
}

TEST_F(Acts, AChartInThePanelDrawsTheRowsOfItsDefinitionAtOnce) {
    StoreLayout(u"Acts", 1, CTRL_PROP_STYLE, 4);
    Load({Definition('M', 0, 1, Payload().U32(10).U32(40).U32(20).U32(3).bytes(),
                     {{'n', U32Bytes(3)}, {'N', U32Bytes(1)}})});
    const QImage shown = Get(1).m_pChart->grab().toImage();
    const QRgb background = shown.pixel(0, 0);
    bool drawn = false;
    for (int y = 0; y < shown.height() && !drawn; ++y)
        for (int x = 0; x < shown.width() && !drawn; ++x) drawn = shown.pixel(x, y) != background;
    EXPECT_TRUE(drawn);
}

TEST_F(Acts, OnlyTheLeftButtonPressesAPicture) {
    Load({Definition('I', CTRLF_EDITABLE, 1, {})});
    const CCtrl& image = Get(1);
    const QPoint centre(image.m_rcCache[0] + image.m_rcCache[2] / 2,
                        image.m_rcCache[1] + image.m_rcCache[3] / 2);
    QTest::mouseClick(view->Widgets().Panel(), Qt::RightButton, {}, centre);
    QTest::mouseClick(view->Widgets().Panel(), Qt::MiddleButton, {}, centre);
    EXPECT_TRUE(Values().empty());
    QTest::mouseClick(view->Widgets().Panel(), Qt::LeftButton, {}, centre);
    EXPECT_EQ(Values(), std::vector<Bytes>{ItemList({{1, {}}})});
}

TEST_F(Acts, APasswordLogsInAndOut) {
    Load({Definition('P', 0, 1, {0})});
    CCtrl& password = Get(1);
    QTest::keyClicks(password.m_pEdit, "1234");
    QTest::keyClick(password.m_pEdit, Qt::Key_Return);
    Bytes login = Field("1234", 34);
    const Bytes empty = Field("", 34);
    login.insert(login.end(), empty.begin(), empty.end());
    EXPECT_EQ(Values(), std::vector<Bytes>{ItemList({{1, login}})});
    EXPECT_TRUE(password.m_pEdit->text().isEmpty());

    Push(1, {255}, [&] { return password.m_bValue == 255; }); // logged in
    EXPECT_EQ(password.m_pButton->text(), QStringLiteral("Log Out"));
    EXPECT_TRUE(password.m_pEdit->isHidden());
    QTest::mouseClick(password.m_pButton, Qt::LeftButton);
    Bytes logout = empty;
    logout.insert(logout.end(), empty.begin(), empty.end());
    EXPECT_EQ(Values(), std::vector<Bytes>{ItemList({{1, logout}})});
}

// Files the device sends into a folder of the test's own, for a web-type File control 1.
class Files : public Acts {
protected:
    void SetUp() override {
        Acts::SetUp();
        LinkSetFilesDirectory(QFile::encodeName(folder.path()).toStdString());
        Load({Definition('F', DATA_TYPE_WEB << 20, 1, {}), Definition('F', 0, 2, {})});
    }
    void TearDown() override {
        Acts::TearDown();
        LinkSetFilesDirectory("");
    }
    void Deliver(uint32_t id, const char* name, const Bytes& data = {'x'}) {
        peer.WriteFrame(MSG_FILES, 0,
                        Payload().U32(id).U32(1).Sized(AnsiZ(name)).Sized(data).bytes());
    }
    // A click on the File control, then the device's answer.
    bool Ask(uint32_t id, const char* name) {
        QTest::mouseClick(Get(id).m_pButton, Qt::LeftButton);
        if (!Get(id).m_bFileRequested) return false;
        Deliver(id, name);
        return WaitFor([&] { return !Get(id).m_bFileRequested; });
    }
    QString In(const char* name) const { return folder.filePath(QString::fromUtf8(name)); }
    QTemporaryDir folder;
};

TEST_F(Files, AreOpenedOnlyWhenAskedForAndActiveContentOnlyShowsItsFolder) {
    Deliver(1, "pushed.csv");
    ASSERT_TRUE(WaitFor([&] { return Get(1).m_strText == QStringLiteral("pushed.csv"); }));
    EXPECT_TRUE(QFileInfo::exists(In("pushed.csv")));
    ASSERT_TRUE(Ask(1, "report.csv"));
    EXPECT_EQ(Values(), (std::vector<Bytes>{ItemList({{1, {}}})}));
    ASSERT_TRUE(Ask(1, "page.html"));
    ASSERT_TRUE(Ask(1, "run.sh"));
    ASSERT_TRUE(Ask(2, "other.csv")); // not a web address: never opened
    ASSERT_TRUE(WaitFor([&] { return opener.opened.size() >= 3; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(opener.opened, (QStringList{In("report.csv"), folder.path(), folder.path()}));
}

TEST_F(Files, SavedOnesShowOnTheToolbarWithTheirFolderAndFailuresAreSaid) {
    CConnectionIndicator* indicator = frame->Indicator();
    Deliver(1, "season.csv");
    ASSERT_TRUE(WaitFor([&] { return indicator->SavedShown(); }));
    EXPECT_TRUE(
        indicator->Text().endsWith(QStringLiteral("Saved season.csv in %1").arg(folder.path())));
    QTest::mouseClick(indicator, Qt::LeftButton);
    EXPECT_EQ(opener.opened, QStringList{folder.path()});

    opener.works = false;
    ASSERT_TRUE(Ask(1, "report.csv"));
    ASSERT_TRUE(WaitFor([&] { return opener.opened.size() == 2; }));
    QTest::mouseClick(indicator, Qt::LeftButton);
    Deliver(1, ".bashrc");
    ASSERT_TRUE(WaitFor([&] { return notices.Texts().size() == 3; }));
    EXPECT_EQ(notices.Texts(),
              (QStringList{QStringLiteral("No program could open %1").arg(In("report.csv")),
                           QStringLiteral("No program could show the folder %1").arg(folder.path()),
                           QStringLiteral("The device sent a file named .bashrc; hidden file "
                                          "names are not accepted")}));
}

TEST_F(Files, AFileCutShortByCloseLeavesNoTemporaryFile) {
    peer.WriteFrame(
        MSG_FILES, 0,
        Payload().U32(1).U32(1).Sized(AnsiZ("big.csv")).U32(100000).Raw(Bytes(5000, 'x')).bytes());
    const QDir dir(folder.path());
    auto entries = [&] { return dir.entryList(QDir::Files | QDir::Hidden | QDir::System); };
    ASSERT_TRUE(WaitFor([&] { return !entries().isEmpty(); }));
    view->OnCommand(ID_CLOSE);
    EXPECT_TRUE(entries().isEmpty()) << entries().join(u' ').toStdString();
}

TEST_F(Acts, DeviceMessageBoxesAnswerWithoutBlockingAndSeveralMayBeOpen) {
    const uint32_t yesNo = 4 << 20;
    Load({MessageBoxDef(1, yesNo, "First?"), MessageBoxDef(2, yesNo, "<b>Second?</b>")});
    ASSERT_EQ(OpenBoxes().size(), 2u);
    EXPECT_EQ(view->m_nOpenMessageBoxes, 2);
    ASSERT_NE(OpenBox(QStringLiteral("<b>Second?</b>")), nullptr);
    EXPECT_EQ(OpenBox(QStringLiteral("<b>Second?</b>"))->textFormat(), Qt::PlainText);
    OpenBox(QStringLiteral("<b>Second?</b>"))->button(QMessageBox::No)->click();
    EXPECT_EQ(view->m_nOpenMessageBoxes, 1);
    OpenBox(QStringLiteral("First?"))->button(QMessageBox::Yes)->click();
    EXPECT_EQ(view->m_nOpenMessageBoxes, 0);
    EXPECT_EQ(Answers(), (std::vector<Bytes>{ItemList({{2, {2}}}), ItemList({{1, {1}}})}));
}

TEST_F(Acts, ADeviceQuestionCanBeAnsweredWhileAMatrixDialogIsOpen) {
    const uint32_t yesNo = 4 << 20;
    Bytes matrix(10 * 2 * 2, 0); // 10 rows of 2 16-bit cells, 3 of them used
    const Bytes rows = U32Bytes(3);
    matrix.insert(matrix.end(), rows.begin(), rows.end());
    Load({Definition('M', 0x100000, 1, matrix, {{'n', U32Bytes(10)}, {'N', U32Bytes(2)}}),
          MessageBoxDef(2, yesNo | CTRLF_BOX_SHOWN, "Pump on?")});
    boxes.intercept = [](QWidget* w) { return w != nullptr; }; // the dialog stays up
    QTest::mouseClick(Get(1).m_pButton, Qt::LeftButton);
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    peer.WriteFrame(MSG_ATTRIBUTES, 0, ItemList({{2, Payload().U32(yesNo).U32(0).bytes()}}));
    ASSERT_TRUE(WaitFor([&] { return OpenBox(QStringLiteral("Pump on?")) != nullptr; }));
    UserClick(OpenBox(QStringLiteral("Pump on?"))->button(QMessageBox::Yes));
    EXPECT_EQ(Answers(), std::vector<Bytes>{ItemList({{2, {1}}})});
    dialog->close();
}

TEST_F(Acts, ClosingADeviceBoxAnswersOnlyWhereItHasCancelOrOKAlone) {
    Load({MessageBoxDef(1, 4 << 20, "Yes or no?"), MessageBoxDef(2, 6 << 20, "Abort?"),
          MessageBoxDef(3, 5 << 20, "Or cancel?"), MessageBoxDef(4, 1 << 20, "Noted?")});
    for (const QString& text : {QStringLiteral("Yes or no?"), QStringLiteral("Abort?")}) {
        if (QMessageBox* b = OpenBox(text)) QTest::keyClick(b, Qt::Key_Escape);
        if (QMessageBox* b = OpenBox(text)) b->close();
        EXPECT_NE(OpenBox(text), nullptr) << text.toStdString();
    }
    QTest::keyClick(OpenBox(QStringLiteral("Noted?")), Qt::Key_Escape);
    OpenBox(QStringLiteral("Or cancel?"))->close();
    EXPECT_EQ(view->m_nOpenMessageBoxes, 2);
    EXPECT_EQ(Answers(), (std::vector<Bytes>{ItemList({{4, {1}}}), ItemList({{3, {3}}})}));
}

TEST_F(Acts, TabFollowsTheControlsOfThePageInOrder) {
    Load({Definition('B', 0, 1, {0}),
          Definition('T', CTRLF_EDITABLE, 2, AnsiZ(""), {{'m', U32Bytes(8)}}),
          Definition('G', 0, 3, {0}),
          Definition('L', 0, 4, U32Bytes(0), {{'n', U32Bytes(1)}, {'I', Bytes{'a', 0}}})});
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    Get(1).m_pButton->setFocus();
    std::vector<QWidget*> order{QApplication::focusWidget()};
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.push_back(QApplication::focusWidget());
    }
    EXPECT_EQ(order, (std::vector<QWidget*>{Get(1).m_pButton, Get(2).m_pEdit, Get(3).m_pButton,
                                            Get(4).m_pDropList}));
    QTest::keyClick(Get(3).m_pButton, Qt::Key_Space);
    EXPECT_EQ(Values(), std::vector<Bytes>{ItemList({{3, {255}}})});
}

TEST_F(Acts, TheToolbarFollowsTheCommandRulesAtOnceAndKeepsItsLabels) {
    Load(TextPanel(80));
    QAction* previous = frame->Action(ID_PREVIOUS_PAGE);
    QAction* connect = frame->Action(ID_CONNECT);
    EXPECT_FALSE(previous->isEnabled());
    view->OnCommand(ID_NEXT_PAGE);
    EXPECT_TRUE(previous->isEnabled());
    EXPECT_FALSE(connect->isEnabled());

    auto* toolbar = frame->findChild<QToolBar*>();
    auto label = [&](QAction* a) {
        return qobject_cast<QToolButton*>(toolbar->widgetForAction(a))->text();
    };
    emit frame->UpdateCommands(); // as when a menu opens
    EXPECT_EQ(label(previous), QStringLiteral("Previous"));
    EXPECT_EQ(label(connect), QStringLiteral("Connect"));

    device.Closed(); // the device goes: Connect is offered again, paging is not
    ASSERT_TRUE(WaitFor([&] { return !view->m_bConnected; }));
    EXPECT_TRUE(connect->isEnabled());
    EXPECT_FALSE(previous->isEnabled());
    EXPECT_EQ(label(previous), QStringLiteral("Previous"));
}

} // namespace

TEST_F(Acts, APictureFromTheDeviceIsShownAtOnceAndABrokenOneLeavesItEmpty) {
    auto picture = [](int w, int h) {
        GifSpec gifSpec;
        gifSpec.width = w;
        gifSpec.height = h;
        gifSpec.globalTable = {0x00FF00, 0x0000FF};
        gifSpec.pixels.assign(size_t(w) * size_t(h), 1);
        return EncodeGif(gifSpec);
    };
    const GifBytes first = picture(4, 3);
    Load({Definition('I', 0, 1, Bytes(first.begin(), first.end()))});
    EXPECT_EQ(Get(1).m_nImageWidth, 4);
    const GifBytes second = picture(20, 10);
    Push(1, Bytes(second.begin(), second.end()), [&] { return Get(1).m_nImageWidth == 20; });
    ASSERT_NE(Get(1).m_pBitmap, nullptr);
    EXPECT_EQ(Get(1).m_pBitmap->pixel(19, 9), 0xFF0000FFu);
    Push(1, Bytes{'G', 'I', 'F'}, [&] { return Get(1).m_nImageWidth == 0; });
}
