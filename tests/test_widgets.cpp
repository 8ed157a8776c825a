// The control widgets without a device: window ids, geometry rules, the visibility table, values
// shown per kind, colours, the disabled state, plain device texts and what the desktop may open.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDialog>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QTableView>
#include <QTest>
#include <QTimeEdit>
#include <cmath>
#include <functional>

#include "CellFont.h"
#include "CtrlArray.h"
#include "CtrlColours.h"
#include "CtrlWidgetList.h"
#include "CtrlWidgets.h"
#include "DigitLabel.h"
#include "DropList.h"
#include "Frame.h"
#include "Link.h"
#include "ViewHarness.h"
#include "support/GifWriter.h"

namespace {

using namespace std::string_literals;

// The records' host as the view is, without the view: widget hooks go to the widgets' host.
class PanelHost : public ICtrlHost {
public:
    PanelHost() : widgets(&panel) {
        panel.resize(640, 480);
        widgets.opener = &desktop;
        widgets.notice = [this](const QString& text) { notices << text; };
    }
    int NextWindowId() override { return ids.Next(); }
    void CreateWidgets(CCtrl& c) override { widgets.CreateWidgets(c); }
    void RefreshWidgets(CCtrl& c, CtrlRefresh what) override { widgets.RefreshWidgets(c, what); }
    void DestroyWidgets(CCtrl& c) override { widgets.DestroyWidgets(c); }
    void CreatePicture(CCtrl& c, const uint8_t* data, size_t size) override {
        widgets.CreatePicture(c, data, size);
    }
    void OpenPasswordDialog(CCtrl& c) override { passwordDialogs.push_back(c.m_nId); }
    void DiagnosticBox(long checkPoint, const char*, long) override {
        faults.push_back(checkPoint);
    }

    QWidget panel;
    CtrlWindowIds ids;
    RecordingOpener desktop;
    QStringList& opened = desktop.opened;
    CCtrlWidgets widgets;
    QStringList notices;
    std::vector<uint32_t> passwordDialogs;
    std::vector<long> faults;
};

class Widgets : public ::testing::Test {
protected:
    // A record of the device kind, created by `create`, placed at (10, 20) 200 x 60 without a
    // title and shown.
    CCtrl& Make(uint16_t kind, uint32_t flags, const std::function<void(CCtrl&)>& create,
                uint32_t colour = CTRL_DEFAULT_COLOUR, const QString& name = "Name") {
        auto c = std::make_unique<CCtrl>();
        c->Init(LinkSummary{uint32_t(ctrls.size() + 1), kind, flags, colour, name.toStdU16String()},
                &host);
        create(*c);
        c->m_nX = 10;
        c->m_nY = 20;
        c->m_nWidth = 200;
        c->m_nHeight = 60;
        ctrls.push_back(std::move(c));
        Lay(*ctrls.back());
        return *ctrls.back();
    }
    void Lay(CCtrl& c, bool visible = true) {
        host.widgets.PlaceWidgets(c);
        host.widgets.ShowControl(c, visible);
    }
    void Style(CCtrl& c, int style) {
        c.m_nStyle = style;
        Lay(c);
    }
    static bool Shown(const QWidget* w) { return w && !w->isHidden(); }

    PanelHost host;
    CtrlArray ctrls; // destroyed before the host
};

const uint8_t kDate[8] = {5, 6, 7, 8, 2, 9, 0xEA, 0x07}; // 2026-09-08 07:06:05, Tuesday

TEST_F(Widgets, TakeWindowIdsFromTheCounterInCreationOrder) {
    CCtrl& button = Make(KIND_BUTTON, 0, [](CCtrl& c) { c.CreateButton(); });
    CCtrl& list = Make(KIND_LIST, 0, [](CCtrl& c) { c.CreateList(2, u"a\0b\0"s, 0); });
    CCtrl& text = Make(KIND_TEXT, 0, [](CCtrl& c) { c.CreateText(8, "t"); });
    EXPECT_EQ(WindowIdOf(button.m_pButton), 10001);
    EXPECT_EQ(WindowIdOf(button.m_pTitle), 10002);
    // The list box keeps its place in the order until it is first shown.
    EXPECT_EQ(list.m_pListBox, nullptr);
    EXPECT_EQ(WindowIdOf(list.m_pDropList), 10004);
    EXPECT_EQ(WindowIdOf(list.m_pTitle), 10005);
    EXPECT_EQ(WindowIdOf(text.m_pValueText), 10006);
    Style(list, 1);
    EXPECT_EQ(WindowIdOf(list.m_pListBox), 10003);
    EXPECT_EQ(list.m_pListBox->accessibleName(), QStringLiteral("Name"));
    EXPECT_EQ(list.m_pListBox->currentRow(), 0);
}

TEST_F(Widgets, MadeWhenShownTheyTakeTheIdsKeptAtCreationWithoutGapOrOverlap) {
    host.widgets.MakeWhenShown(true);
    const uint32_t editable = CTRLF_EDITABLE | CTRLF_DATE_ANY | CTRLF_TIME_ANY;
    const std::vector<std::pair<uint16_t, std::function<void(CCtrl&)>>> kinds = {
        {KIND_BUTTON, [](CCtrl& c) { c.CreateButton(); }},
        {KIND_SECTION, [](CCtrl& c) { c.CreateSection(0); }},
        {KIND_BLOB, [](CCtrl& c) { c.CreateBlob(0, nullptr, 0); }},
        {KIND_FILE, [](CCtrl& c) { c.CreateFile(); }},
        {KIND_IMAGE, [](CCtrl& c) { c.CreateImage(nullptr, 0); }},
        {KIND_UNSUPPORTED, [](CCtrl& c) { c.CreateUnsupported(); }},
        {KIND_LATCH, [](CCtrl& c) { c.CreateLatch(0, 0); }},
        {KIND_TEXT, [](CCtrl& c) { c.CreateText(8, ""); }},
        {KIND_PASSWORD, [](CCtrl& c) { c.CreatePassword(0); }},
        {KIND_NUMBER,
         [](CCtrl& c) {
             c.CreateNumber({100, 0, 0, 0, {}}, 5);
         }},
        {KIND_DATETIME, [](CCtrl& c) { c.CreateDateTime("%HH%", kDate); }},
        {KIND_LIST, [](CCtrl& c) { c.CreateList(2, u"a\0b\0"s, 0); }},
        {KIND_MATRIX, [](CCtrl& c) { c.CreateMatrix({}, {}); }}};
    for (uint32_t flags : {0u, editable}) {
        for (const auto& [kind, create] : kinds) {
            CCtrl& c = Make(kind, flags, create);
            const int last = host.ids.Last();
            EXPECT_EQ(c.m_pTitle, nullptr);
            host.widgets.MakeWidgets(c, nullptr);
            int highest = 0;
            ForEachWidget(c, [&](QWidget* w) { highest = std::max(highest, WindowIdOf(w)); });
            EXPECT_EQ(highest, last) << kind << " " << flags;
        }
    }
}

TEST_F(Widgets, OkVariantsKeepASquareButtonBesideTheEdit) {
    CCtrl& text = Make(KIND_TEXT, CTRLF_EDITABLE, [](CCtrl& c) { c.CreateText(8, ""); });
    Style(text, 1);
    EXPECT_EQ(text.m_pEdit->geometry(), QRect(10, 20, 200 - 60 + 1 - 4, 60));
    EXPECT_EQ(text.m_pButton->geometry(), QRect(10 + 200 - 60 - 4, 20, 64, 60));
    EXPECT_EQ(text.m_pButton->text(), QStringLiteral("OK"));

    CCtrl& number = Make(KIND_NUMBER, CTRLF_EDITABLE, [](CCtrl& c) {
        c.CreateNumber({100, 0, 0, 0, {}}, 5);
    });
    number.m_bShowTitle = 1; // a 12-pixel title band above a body of 48
    Lay(number);
    EXPECT_EQ(number.m_pTitle->geometry(), QRect(10, 20, 200, 12));
    EXPECT_EQ(number.m_pEdit->geometry(), QRect(10, 32, 200 - 48 + 1 - 4, 48));
    EXPECT_EQ(number.m_pMinus->geometry(), QRect(10 + 200 - 48 - 4, 32, 52, 48));
    EXPECT_EQ(number.m_pMinus->text(), QStringLiteral("OK"));
    number.m_nAlign = 2; // a stored alignment does not move the value between the buttons
    Style(number, 1);
    EXPECT_EQ(number.m_pValueText->alignment(), Qt::AlignCenter);
    EXPECT_EQ(number.m_pValueText->geometry(), QRect(10, 32, 200 - 96 + 2, 48));
    EXPECT_EQ(number.m_pPlus->geometry(), QRect(10 + 200 - 48, 32, 48, 48));
    EXPECT_EQ(number.m_pMinus->geometry(), QRect(10 + 200 - 96 + 1, 32, 48, 48));
    EXPECT_EQ(number.m_pMinus->text(), QStringLiteral("-"));

    // Narrower than its height: the edit has no room, the button keeps B + 4.
    number.m_nWidth = 30;
    Style(number, 0);
    EXPECT_EQ(number.m_pEdit->width(), 0);
    EXPECT_EQ(number.m_pMinus->width(), 52);
}

TEST_F(Widgets, ABarIsDividedByTheValueAndCarriesTheTextPastTheMiddle) {
    CCtrl& bar = Make(KIND_NUMBER, 0, [](CCtrl& c) { c.CreateNumber({100, 0, 0, 0, {}}, 0); });
    Style(bar, 2);
    EXPECT_EQ(bar.m_pBar->geometry(), QRect(10, 20, 1, 60));
    EXPECT_EQ(bar.m_pValueText->geometry(), QRect(10, 20, 200, 60));
    EXPECT_EQ(bar.m_pValueText->text(), QStringLiteral("0"));
    EXPECT_TRUE(bar.m_pBar->text().isEmpty());

    const uint8_t seventyFive[4] = {75, 0, 0, 0};
    bar.ShowValue(seventyFive, 4);
    EXPECT_EQ(bar.m_pBar->geometry(), QRect(10, 20, 151, 60));
    EXPECT_EQ(bar.m_pValueText->geometry(), QRect(160, 20, 50, 60));
    EXPECT_EQ(bar.m_pBar->text(), QStringLiteral("75"));
    EXPECT_TRUE(bar.m_pValueText->text().isEmpty());

    // Beyond the range, or an empty range, the bar stays inside the control.
    const uint8_t huge[4] = {0xFF, 0xFF, 0, 0};
    bar.ShowValue(huge, 4);
    EXPECT_EQ(bar.m_pBar->width(), 200);
    bar.m_nMax = 0;
    Lay(bar);
    EXPECT_EQ(bar.m_pBar->width(), 1);
}

TEST_F(Widgets, DateAndTimeRowsShareTheBody) {
    const uint32_t both = CTRLF_EDITABLE | CTRLF_TIME_HOUR | CTRLF_DATE_DAY;
    CCtrl& dt = Make(KIND_DATETIME, both, [](CCtrl& c) { c.CreateDateTime("%HH%", kDate); });
    EXPECT_EQ(dt.m_pTimePicker->geometry(), QRect(10, 20, 200, 31));
    EXPECT_EQ(dt.m_pDatePicker->geometry(), QRect(10, 50, 200, 31));
    EXPECT_EQ(dt.m_pDropList, nullptr); // the weekday list is never shown

    CCtrl& time = Make(KIND_DATETIME, CTRLF_EDITABLE | CTRLF_TIME_MINUTE,
                       [](CCtrl& c) { c.CreateDateTime("%HH%", kDate); });
    EXPECT_EQ(time.m_pTimePicker->geometry(), QRect(10, 20, 200, 61));
    EXPECT_EQ(time.m_pDatePicker, nullptr);

    CCtrl& weekday = Make(KIND_DATETIME, CTRLF_EDITABLE | CTRLF_TIME_HOUR | CTRLF_WEEKDAY,
                          [](CCtrl& c) { c.CreateDateTime("%HH%", kDate); });
    EXPECT_EQ(weekday.m_pDropList->geometry(), QRect(10, 50, 200, 31));
    auto* list = qobject_cast<CDropList*>(weekday.m_pDropList);
    ASSERT_NE(list, nullptr);
    const int moves = list->Moves();
    Lay(weekday); // the same place: not moved again
    EXPECT_EQ(list->Moves(), moves);
}

TEST_F(Widgets, SectionAndPasswordUseTheirSecondRectangleWhileOn) {
    CCtrl& section = Make(KIND_SECTION, 0, [](CCtrl& c) { c.CreateSection(0); });
    section.m_nX2 = 300;
    section.m_nY2 = 100;
    section.m_nWidth2 = 80;
    section.m_nHeight2 = 30;
    EXPECT_EQ(section.m_pButton->geometry(), QRect(10, 20, 200, 60));
    section.ShowValue(std::array<uint8_t, 1>{255}.data(), 1);
    Lay(section);
    EXPECT_EQ(section.m_pButton->geometry(), QRect(300, 100, 80, 30));
    EXPECT_TRUE(section.m_pButton->font().bold()); // open

    CCtrl& password =
        Make(KIND_PASSWORD, CTRLF_PASSWORD_CHANGE, [](CCtrl& c) { c.CreatePassword(0); });
    EXPECT_EQ(password.m_pEdit->geometry(), QRect(10, 20, 200 - 60 - 3, 60));
    EXPECT_EQ(password.m_pButton->geometry(), QRect(10 + 200 - 64, 20, 64, 60));
    EXPECT_TRUE(Shown(password.m_pEdit));
    password.m_nX2 = 5;
    password.m_nY2 = 6;
    password.m_nWidth2 = 70;
    password.m_nHeight2 = 25;
    password.ShowValue(std::array<uint8_t, 1>{255}.data(), 1);
    Lay(password);
    EXPECT_EQ(password.m_pButton->geometry(), QRect(5, 6, 70, 25));
    EXPECT_EQ(password.m_pButton->text(), QStringLiteral("Password..."));
    EXPECT_FALSE(Shown(password.m_pEdit));
    password.m_pButton->click();
    EXPECT_EQ(host.passwordDialogs, std::vector<uint32_t>{password.m_nId});
    password.m_dwFlags = 0;
    Lay(password);
    EXPECT_EQ(password.m_pButton->text(), QStringLiteral("Log Out"));
}

TEST_F(Widgets, ShowWhatTheKindAndStyleCallFor) {
    CCtrl& latch = Make(KIND_LATCH, 0, [](CCtrl& c) { c.CreateLatch(0, 0); });
    EXPECT_TRUE(Shown(latch.m_pButton));
    EXPECT_FALSE(Shown(latch.m_pMomentary) || Shown(latch.m_pCheck) || Shown(latch.m_pTitle));
    Style(latch, 1);
    EXPECT_TRUE(Shown(latch.m_pCheck));
    EXPECT_FALSE(Shown(latch.m_pButton));
    CCtrl& momentary =
        Make(KIND_LATCH, CTRLF_LATCH_MOMENTARY, [](CCtrl& c) { c.CreateLatch(0, 0); });
    EXPECT_TRUE(Shown(momentary.m_pMomentary));
    EXPECT_FALSE(Shown(momentary.m_pButton));

    CCtrl& text = Make(KIND_TEXT, CTRLF_EDITABLE, [](CCtrl& c) { c.CreateText(8, ""); });
    EXPECT_TRUE(Shown(text.m_pEdit));
    EXPECT_FALSE(Shown(text.m_pButton));
    Style(text, 1);
    EXPECT_TRUE(Shown(text.m_pButton));

    CCtrl& number = Make(KIND_NUMBER, CTRLF_EDITABLE, [](CCtrl& c) {
        c.CreateNumber({100, 0, 0, 0, {}}, 5);
    });
    auto shownNumber = [&] {
        return std::vector<bool>{Shown(number.m_pEdit),   Shown(number.m_pMinus),
                                 Shown(number.m_pPlus),   Shown(number.m_pValueText),
                                 Shown(number.m_pSlider), Shown(number.m_pBar)};
    };
    EXPECT_EQ(shownNumber(), (std::vector<bool>{true, true, false, false, false, false}));
    Style(number, 1);
    EXPECT_EQ(shownNumber(), (std::vector<bool>{false, true, true, true, false, false}));
    Style(number, 3);
    EXPECT_EQ(shownNumber(), (std::vector<bool>{false, false, false, false, true, false}));
    Style(number, 2);
    EXPECT_EQ(shownNumber(), (std::vector<bool>{false, false, false, true, false, true}));

    CCtrl& matrix = Make(KIND_MATRIX, 0, [](CCtrl& c) { c.CreateMatrix({}, {}); });
    for (int style = 0; style <= 7; ++style) {
        Style(matrix, style);
        EXPECT_EQ(Shown(matrix.m_pButton), style <= 3) << style;
        EXPECT_EQ(Shown(matrix.m_pChart), style >= 4 && style <= 6) << style;
        EXPECT_EQ(Shown(matrix.m_pTable), style == 7) << style;
    }
    EXPECT_EQ(WindowIdOf(matrix.m_pTable), matrix.m_nWndId + 2);

    // Another page: nothing; a title only while it is to be shown.
    number.m_bShowTitle = 1;
    Lay(number, false);
    EXPECT_FALSE(Shown(number.m_pTitle) || Shown(number.m_pBar) || Shown(number.m_pValueText));
    Lay(number, true);
    EXPECT_TRUE(Shown(number.m_pTitle));

    CCtrl& image = Make(KIND_IMAGE, 0, [](CCtrl& c) { c.CreateImage(nullptr, 0); });
    EXPECT_TRUE(image.m_bImageShown);
    Lay(image, false);
    EXPECT_FALSE(image.m_bImageShown);
}

TEST_F(Widgets, PicturesShareThePanelBudgetAndGoWithThePanel) {
    // Room for two 64 x 64 pictures of 16 KiB, without a panel in the link.
    GifSpec gifSpec;
    gifSpec.width = gifSpec.height = 64;
    gifSpec.globalTable = {0x00FF00};
    gifSpec.pixels.assign(64 * 64, 0);
    const GifBytes file = EncodeGif(gifSpec);
    ASSERT_EQ(LinkGetPanelBytes(), 0u);
    const size_t before = LinkGetPanelBudget();
    LinkSetPanelBudget(40 << 10);
    auto picture = [&](const QString& name) -> CCtrl& {
        return Make(
            KIND_IMAGE, 0, [&](CCtrl& c) { c.CreateImage(file.data(), uint32_t(file.size())); },
            CTRL_DEFAULT_COLOUR, name);
    };
    for (const char* name : {"One", "Two", "Three", ""}) picture(name);
    EXPECT_EQ(ctrls[1]->m_nImageWidth, 64);
    EXPECT_EQ(ctrls[2]->m_nImageWidth, 0);
    EXPECT_EQ(ctrls[3]->m_nImageWidth, 0);
    // One notice for the panel, naming the controls left without their picture.
    QCoreApplication::processEvents();
    EXPECT_EQ(host.notices,
              QStringList{QStringLiteral("The pictures of 2 Image controls, the first \"Three\", "
                                         "are not shown: the panel's controls and pictures "
                                         "would need more than 40 KiB of memory.")});
    // The next panel has the whole budget again.
    ctrls.clear();
    picture("Four");
    picture("Five");
    EXPECT_EQ(ctrls[1]->m_nImageWidth, 64);
    LinkSetPanelBudget(before);
}

TEST_F(Widgets, ShowTheDevicesValues) {
    CCtrl& text = Make(KIND_TEXT, CTRLF_EDITABLE, [](CCtrl& c) { c.CreateText(16, "old"); });
    const Bytes news = Utf16Z(u"news");
    text.ShowValue(news.data(), uint32_t(news.size()));
    EXPECT_EQ(text.m_pEdit->text(), QStringLiteral("news"));
    EXPECT_EQ(text.m_nTextEcho, 0); // the replacement reported nothing to send

    CCtrl& latch = Make(KIND_LATCH, 0, [](CCtrl& c) { c.CreateLatch(0, 0); });
    latch.ShowValue(std::array<uint8_t, 1>{255}.data(), 1);
    EXPECT_TRUE(latch.m_pCheck->isChecked());
    EXPECT_TRUE(latch.m_pButton->font().bold());
    // On: the control's colour as text on black.
    EXPECT_EQ(latch.m_pButton->palette().color(QPalette::Button), QColor(Qt::black));
    EXPECT_EQ(latch.m_pButton->palette().color(QPalette::ButtonText), QColor(192, 192, 192));

    CCtrl& number = Make(KIND_NUMBER, CTRLF_EDITABLE, [](CCtrl& c) {
        c.CreateNumber({1000, 0, 1, -1, {}}, 5);
    });
    number.ShowValue(Payload().U32(123).bytes().data(), 4);
    EXPECT_EQ(number.m_pEdit->text(), QStringLiteral("12.3"));
    EXPECT_EQ(number.m_pValueText->text(), QStringLiteral("12.3"));
    EXPECT_EQ(number.m_pSlider->value(), 123);

    CCtrl& dt = Make(KIND_DATETIME, CTRLF_EDITABLE | CTRLF_TIME_HOUR | CTRLF_DATE_DAY,
                     [](CCtrl& c) { c.CreateDateTime("%HH%", kDate); });
    EXPECT_EQ(dt.m_pDatePicker->date(), QDate(2026, 9, 8));
    EXPECT_EQ(dt.m_pTimePicker->time(), QTime(7, 6, 5));
    CCtrl& shown = Make(KIND_DATETIME, 0, [](CCtrl& c) { c.CreateDateTime("%HH%:%mm%", kDate); });
    EXPECT_EQ(shown.m_pValueText->text(), QStringLiteral("07:06"));
    CCtrl& weekday = Make(KIND_DATETIME, CTRLF_EDITABLE | CTRLF_WEEKDAY,
                          [](CCtrl& c) { c.CreateDateTime("%HH%", kDate); });
    EXPECT_EQ(weekday.m_pDropList->currentIndex(), 2);

    CCtrl& list = Make(KIND_LIST, 0, [](CCtrl& c) { c.CreateList(3, u"a\0b\0c\0"s, 0); });
    Style(list, 1);
    list.ShowValue(Payload().U32(2).bytes().data(), 4);
    EXPECT_EQ(list.m_pDropList->currentIndex(), 2);
    EXPECT_EQ(list.m_pListBox->currentRow(), 2);
    list.ShowValue(Payload().U32(7).bytes().data(), 4); // no such item: no selection
    EXPECT_EQ(list.m_pDropList->currentIndex(), -1);

    CCtrl& unknown = Make(KIND_UNSUPPORTED, 0, [](CCtrl& c) { c.CreateUnsupported(); });
    EXPECT_EQ(unknown.m_pValueText->text(), QStringLiteral("???"));
    EXPECT_EQ(unknown.m_pTitle, nullptr);
}

TEST_F(Widgets, PacedValuesReachTheWidgetsAtTheNextFrameTheLastOneWins) {
    CCtrl& number = Make(KIND_NUMBER, 0, [](CCtrl& c) { c.CreateNumber({1000, 0, 0, 0, {}}, 0); });
    CCtrl& gone = Make(KIND_NUMBER, 0, [](CCtrl& c) { c.CreateNumber({1000, 0, 0, 0, {}}, 0); });
    host.widgets.PaceValues(true);
    for (uint32_t v : {7u, 8u, 9u}) {
        number.ShowValue(Payload().U32(v).bytes().data(), 4);
        gone.ShowValue(Payload().U32(v).bytes().data(), 4);
    }
    host.widgets.PaceValues(false);
    EXPECT_EQ(number.m_nValue, 9); // the record has it at once
    EXPECT_EQ(number.m_pValueText->text(), QStringLiteral("0"));
    ctrls.pop_back(); // a control that goes meanwhile is left out
    QTRY_COMPARE(number.m_pValueText->text(), QStringLiteral("9"));
}

// The frame's timer would wake the thread once more: a value that comes near the frame takes it.
TEST_F(Widgets, APacedValueNearItsFrameIsShownOnTheWakeItCameIn) {
    CCtrl& number = Make(KIND_NUMBER, 0, [](CCtrl& c) { c.CreateNumber({1000, 0, 0, 0, {}}, 0); });
    host.widgets.PaceValues(true);
    number.ShowValue(Payload().U32(1).bytes().data(), 4);
    QElapsedTimer shown;
    shown.start();
    while (number.m_pValueText->text() != QStringLiteral("1") && shown.elapsed() < 5000)
        QCoreApplication::processEvents();
    ASSERT_EQ(number.m_pValueText->text(), QStringLiteral("1")); // a lone value: at once
    shown.start();
    number.ShowValue(Payload().U32(2).bytes().data(), 4); // held for the next showing (50 ms)
    while (shown.elapsed() < 44) {
    } // near the frame, no event served meanwhile
    number.ShowValue(Payload().U32(3).bytes().data(), 4);
    QCoreApplication::processEvents();
    host.widgets.PaceValues(false);
    EXPECT_EQ(number.m_pValueText->text(), QStringLiteral("3"));
}

TEST_F(Widgets, TakeTheColourRules) {
    CCtrl& dark = Make(
        KIND_BUTTON, 0, [](CCtrl& c) { c.CreateButton(); }, 0x400000);
    EXPECT_EQ(dark.m_pButton->palette().color(QPalette::Button), QColor(0, 0, 0x40));
    EXPECT_EQ(dark.m_pButton->palette().color(QPalette::ButtonText), QColor(Qt::white));
    dark.SetFlagsAndColour(0, 0xFFFFFF);
    EXPECT_EQ(dark.m_pButton->palette().color(QPalette::Button), QColor(Qt::white));
    EXPECT_EQ(dark.m_pButton->palette().color(QPalette::ButtonText), QColor(Qt::black));
    EXPECT_TRUE(IsLightColour(0x0000FF) && !IsLightColour(0x0000FE) && IsLightColour(0x7F7F01));

    CCtrl& file = Make(KIND_FILE, 0, [](CCtrl& c) { c.CreateFile(); });
    file.m_bFileRequested = 1; // awaited: inverted
    host.widgets.RefreshWidgets(file, CtrlRefresh::Value);
    EXPECT_EQ(file.m_pButton->palette().color(QPalette::ButtonText), QColor(192, 192, 192));
}

TEST(DigitLabel, DrawsWhatALabelDrawsPixelForPixel) {
    const Qt::Alignment aligns[] = {Qt::AlignLeft | Qt::AlignVCenter,
                                    Qt::AlignRight | Qt::AlignVCenter, Qt::AlignCenter,
                                    Qt::AlignLeft | Qt::AlignTop, Qt::AlignRight | Qt::AlignBottom};
    const char* texts[] = {"0", "-12.5", "1,234:56", "+7 8", "21.5 C", "12345678901234567890"};
    for (int cell : {9, 17, 30})
        for (Qt::Alignment align : aligns)
            for (bool framed : {false, true})
                for (const char* text : texts) {
                    QLabel label;
                    DigitLabel digits(nullptr);
                    for (QLabel* l : {&label, static_cast<QLabel*>(&digits)}) {
                        l->setTextFormat(Qt::PlainText);
                        l->setFont(CellFont(cell, false));
                        l->setAutoFillBackground(true);
                        l->setFrameStyle(framed ? (QFrame::Box | QFrame::Plain) : QFrame::NoFrame);
                        l->setAlignment(align);
                        l->setFixedSize(117, cell + 6);
                        l->setText(QString::fromLatin1(text));
                    }
                    EXPECT_EQ(digits.grab().toImage(), label.grab().toImage())
                        << text << " cell " << cell << " align " << int(align) << " framed "
                        << framed;
                }
}

TEST_F(Widgets, FontsTakeTheCellHeightTheDeviceLaysOutFor) {
    const QString sample = QStringLiteral("Typography gjpq");
    CCtrl& text = Make(
        KIND_TEXT, 0, [](CCtrl& c) { c.CreateText(16, "Typography gjpq"); }, CTRL_DEFAULT_COLOUR,
        sample);
    text.m_bShowTitle = 1;
    // Arial, or the face with its metrics that the font configuration puts in its place.
    const QString face = QFontInfo(text.m_pTitle->font()).family();
    EXPECT_TRUE(face == "Arial" || face == "Liberation Sans") << face.toStdString();
    for (int size : {9, 12, 16, 20, 28, 40}) {
        for (bool bold : {false, true}) {
            text.SetTitleFont(size, bold);
            text.SetFontSize(size, bold);
            Lay(text);
            for (const QWidget* w : {text.m_pTitle, text.m_pValueText}) {
                const int cell = int(std::ceil(QFontMetricsF(w->font()).height()));
                EXPECT_TRUE(cell == size || cell == size - 1) << size << " gives " << cell;
            }
            // Descenders included, the title fits its band.
            EXPECT_EQ(text.m_pTitle->height(), size);
            EXPECT_LE(text.m_pTitle->sizeHint().height(), size) << size;
        }
    }
}

TEST_F(Widgets, ADisabledControlDisablesEveryWidget) {
    CCtrl& text =
        Make(KIND_TEXT, CTRLF_EDITABLE | CTRLF_DISABLED, [](CCtrl& c) { c.CreateText(8, ""); });
    Style(text, 1);
    EXPECT_FALSE(text.m_pEdit->isEnabled());
    EXPECT_FALSE(text.m_pButton->isEnabled());
    EXPECT_FALSE(text.m_pTitle->isEnabled());
    text.SetFlagsAndColour(CTRLF_EDITABLE, 0xFFFFFF);
    EXPECT_TRUE(text.m_pEdit->isEnabled() && text.m_pButton->isEnabled());
}

TEST_F(Widgets, ShowDeviceTextsLiterally) {
    CCtrl& button = Make(
        KIND_BUTTON, 0, [](CCtrl& c) { c.CreateButton(); }, CTRL_DEFAULT_COLOUR,
        "<b>Fill & drain</b>");
    EXPECT_EQ(button.m_pTitle->textFormat(), Qt::PlainText);
    EXPECT_EQ(button.m_pTitle->text(), QStringLiteral("<b>Fill & drain</b>"));
    EXPECT_EQ(button.m_pButton->text(), QStringLiteral("<b>Fill && drain</b>")); // no shortcut
    CCtrl& text = Make(KIND_TEXT, 0, [](CCtrl& c) { c.CreateText(32, "<i>x</i>"); });
    EXPECT_EQ(text.m_pValueText->textFormat(), Qt::PlainText);
}

TEST_F(Widgets, ABlobOpensOnlyWebAndMailAddresses) {
    auto blob = [&](uint32_t type, std::u16string_view text) -> CCtrl& {
        const Bytes data = Utf16Z(text);
        return Make(KIND_BLOB, type << 20,
                    [&](CCtrl& c) { c.CreateBlob(128, data.data(), uint32_t(data.size())); });
    };
    blob(1, u"https://example.org/help").m_pButton->click();
    // A mail keeps its address, subject, body and copy, and nothing that attaches or hides.
    blob(1, u"mailto:a@b.org?Subject=Hi&attach=/x&body=Yo&bcc=c@d&cc=e@f#t").m_pButton->click();
    EXPECT_EQ(host.opened, (QStringList{"https://example.org/help",
                                        "mailto:a@b.org?subject=Hi&body=Yo&cc=e@f"}));
    const QString unknown = QStringLiteral(
        "This program does not know what to do with the data supplied by the remote device.");
    for (const char16_t* refused : {u"file:///etc/passwd", u"javascript:alert(1)", u"/bin/sh"})
        blob(1, refused).m_pButton->click();
    blob(2, u"https://example.org/").m_pButton->click();
    EXPECT_EQ(host.opened.size(), 2);
    EXPECT_EQ(host.notices, QStringList(4, unknown));

    host.desktop.works = false; // no browser
    blob(1, u"https://example.org/help").m_pButton->click();
    EXPECT_EQ(host.notices.back(),
              QStringLiteral("No program could open https://example.org/help"));
}

TEST_F(Widgets, GoWithTheirControlAndCloseItsPasswordDialog) {
    CCtrl& password = Make(KIND_PASSWORD, 0, [](CCtrl& c) { c.CreatePassword(0); });
    QPointer<QWidget> edit = password.m_pEdit, title = password.m_pTitle;
    auto* dialog = new QDialog(&host.panel);
    dialog->show();
    password.m_pPasswordDlg = dialog;
    ctrls.clear();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    EXPECT_TRUE(edit.isNull() && title.isNull());
    EXPECT_FALSE(dialog->isVisible());
}

} // namespace
