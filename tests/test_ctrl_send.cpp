// What the user's acts send: the value bytes of every kind as the device receives them, read
// back on the pseudo-terminal. A message that must not be sent is checked by the next message
// being the one that follows it.
#include <string_view>

#include <QDate>
#include <QTime>
#include <gtest/gtest.h>

#include "CtrlTestHost.h"
#include "Frame.h"
#include "MessageBoxAnswer.h"
#include "support/LinkHarness.h"

namespace {

using namespace std::string_literals;

struct Item {
    uint32_t id = 0;
    Bytes data;
    bool operator==(const Item&) const = default;
};

void PrintTo(const Item& item, std::ostream* os) {
    *os << "{" << item.id << ":";
    for (uint8_t b : item.data) *os << " " << int(b);
    *os << "}";
}

Bytes Ansi(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

Bytes Padded(Bytes b, size_t size) {
    b.resize(size, 0);
    return b;
}

const Bytes kDate = {1, 2, 3, 4, 5, 6, 0xE8, 0x07}; // 2024-06-04 03:02:01, Friday

class CtrlSend : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(link.openStatus, 0);
        ASSERT_EQ(
            link.LoadPanel({
                Definition('B', 0, 1, {0}),
                Definition('G', 0, 2, {0}),
                Definition('G', 0, 3, {0}, {{'r', U32Bytes(3)}}),
                Definition('G', CTRLF_LATCH_MOMENTARY, 4, {255}, {{'r', U32Bytes(3)}}),
                Definition('G', 0, 5, {255}, {{'r', U32Bytes(3)}}),
                Definition('S', 0, 6, {0}),
                Definition('T', CTRLF_EDITABLE | CTRLF_TEXT16, 7, Utf16Z(u""),
                           {{'m', U32Bytes(8)}}),
                Definition('T', CTRLF_EDITABLE, 8, AnsiZ(""), {{'m', U32Bytes(8)}}),
                Definition('N', CTRLF_EDITABLE | CTRLF_CLAMP_MIN | CTRLF_CLAMP_MAX, 9, U32Bytes(50),
                           {{'x', U32Bytes(1000)}, {'m', Bytes{0xFE}}}),
                Definition('D', CTRLF_DATE_ANY | CTRLF_TIME_ANY | CTRLF_EDITABLE, 10, kDate,
                           {{'f', Ansi("%HH%")}}),
                Definition('L', 0, 11, U32Bytes(0),
                           {{'n', U32Bytes(3)}, {'I', Ansi("a\0b\0c\0"s)}}),
                Definition('F', 0, 12, {}),
                Definition('P', CTRLF_TEXT16, 13, {0}),
                Definition('X', 0, 14, AnsiZ("Q?"), {{'m', U32Bytes(10)}}),
                Definition('G', CTRLF_LATCH_MOMENTARY, 15, {0}),
                Definition('D', CTRLF_WEEKDAY | CTRLF_EDITABLE, 16, kDate, {{'f', Ansi("%ddd%")}}),
            }),
            LINK_PANEL);
        host.array = &ctrls;
        RebuildCtrlArray(ctrls, &host);
        ASSERT_EQ(ctrls.size(), 16u);
    }

    CCtrl& Ctrl(uint32_t id) { return *FindCtrl(ctrls, id); }

    // The items of the next value message.
    std::vector<Item> Sent() {
        std::vector<Item> items;
        if (link.NextClientCode() != MSG_CLIENT_VALUES) {
            ADD_FAILURE() << "no value message";
            return items;
        }
        const uint32_t count = link.peer.ReadU32();
        for (uint32_t i = 0; i < count && i < 64; ++i) {
            Item item;
            item.id = link.peer.ReadU32();
            const uint32_t length = link.peer.ReadU32();
            if (length > 1024 || !link.peer.Read(item.data, length)) {
                ADD_FAILURE() << "short item";
                break;
            }
            items.push_back(item);
        }
        return items;
    }

    LinkHarness link;
    RecordingHost host;
    CtrlArray ctrls;
};

using Items = std::vector<Item>;

} // namespace

TEST_F(CtrlSend, ButtonSendsAPress) {
    Ctrl(1).PressButton();
    EXPECT_EQ(Sent(), (Items{{1, {255}}}));
    EXPECT_EQ(Ctrl(1).m_bValue, 0); // a button keeps no state

    // An act the kind does not have: the box, and nothing sent.
    Ctrl(6).PressButton();
    EXPECT_EQ(host.CheckPoints(), std::vector<long>{CP_USER_ACT_KIND});
    Ctrl(1).PressButton();
    EXPECT_EQ(Sent(), (Items{{1, {255}}}));
}

TEST_F(CtrlSend, LatchesToggleAndMomentaryOnesReportPressAndRelease) {
    CCtrl& latch = Ctrl(2);
    latch.ClickLatch();
    EXPECT_EQ(Sent(), (Items{{2, {255}}}));
    EXPECT_TRUE(latch.GetFontBold());
    latch.ClickLatch();
    EXPECT_EQ(Sent(), (Items{{2, {0}}}));
    EXPECT_FALSE(latch.GetFontBold());

    CCtrl& momentary = Ctrl(15);
    momentary.ClickLatch();
    EXPECT_EQ(Sent(), (Items{{15, {0}}}));
    momentary.PressMomentary();
    EXPECT_EQ(Sent(), (Items{{15, {255}}}));
    EXPECT_EQ(momentary.m_bValue, 255);
    momentary.ReleaseMomentary();
    EXPECT_EQ(Sent(), (Items{{15, {0}}}));
}

TEST_F(CtrlSend, RadioGroupSwitchesTheOthersOff) {
    for (int round = 0; round < 2; ++round) { // also when the clicked latch is already on
        Ctrl(3).ClickLatch();
        // The group's other latch goes out as well; the momentary one stays on.
        EXPECT_EQ(Sent(), (Items{{3, {255}}, {5, {0}}})) << round;
        EXPECT_EQ(Ctrl(3).m_bValue, 255);
        EXPECT_EQ(Ctrl(4).m_bValue, 255);
        EXPECT_EQ(Ctrl(5).m_bValue, 0);
    }
    EXPECT_EQ(host.releasedGroups, (std::vector<uint32_t>{3, 3}));

    // A momentary latch in the group switches off.
    Ctrl(4).ClickLatch();
    EXPECT_EQ(Sent(), (Items{{3, {0}}, {4, {0}}, {5, {0}}}));
    EXPECT_EQ(Ctrl(4).m_bValue, 0);
}

TEST_F(CtrlSend, SectionToggles) {
    Ctrl(6).ToggleSection();
    EXPECT_EQ(Sent(), (Items{{6, {255}}}));
    EXPECT_TRUE(Ctrl(6).GetFontBold());
    Ctrl(6).ToggleSection();
    EXPECT_EQ(Sent(), (Items{{6, {0}}}));
    EXPECT_FALSE(Ctrl(6).GetFontBold());
}

TEST_F(CtrlSend, TextsGoAsSixteenBitCharactersWithTheirTerminator) {
    Ctrl(7).SendText("ab");
    EXPECT_EQ(Sent(), (Items{{7, {'a', 0, 'b', 0, 0, 0, 0, 0}}}));
    EXPECT_EQ(Ctrl(7).m_strText, "ab");

    // The link holds what it was given: the text and its terminator.
    uint8_t held[16] = {};
    uint32_t size = sizeof held;
    ASSERT_EQ(LinkGetValue(7, held, &size), 0);
    EXPECT_EQ(Bytes(held, held + size), (Bytes{'a', 0, 'b', 0, 0, 0}));

    // An 8-bit control narrows it into its field, keeping the terminator.
    Ctrl(8).TextEdited("abcdefghij");
    EXPECT_EQ(Sent(), (Items{{8, Ansi("abcdefg\0"s)}}));
}

TEST_F(CtrlSend, DeviceTextsAreNotEchoedBack) {
    CCtrl& text = Ctrl(7);
    const Bytes value = Utf16Z(u"ab");
    text.ShowValue(value.data(), uint32_t(value.size()));
    text.ShowValue(value.data(), uint32_t(value.size()));
    EXPECT_EQ(text.m_nTextEcho, 2);
    text.TextEdited("ab"); // the edit box reporting the two replacements
    text.TextEdited("ab");
    EXPECT_EQ(text.m_nTextEcho, 0);
    text.TextEdited("abc"); // the user
    EXPECT_EQ(Sent(), (Items{{7, {'a', 0, 'b', 0, 'c', 0, 0, 0}}}));

    // A count left behind by a replacement that reported nothing does not eat a keystroke.
    text.ShowValue(value.data(), uint32_t(value.size()));
    text.TextEdited("x");
    EXPECT_EQ(text.m_nTextEcho, 0);
    const Items sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].id, 7u);
    EXPECT_EQ(Bytes(sent[0].data.begin(), sent[0].data.begin() + 4), (Bytes{'x', 0, 0, 0}));

    // "Text with OK" sends on OK only.
    text.m_nStyle = 1;
    text.TextEdited("zz");
    text.SendText("ok");
    EXPECT_EQ(Sent(), (Items{{7, {'o', 0, 'k', 0, 0, 0, 0, 0}}}));
}

TEST_F(CtrlSend, NumbersAreScaledAndClampedBeforeTheyGo) {
    CCtrl& number = Ctrl(9);
    EXPECT_EQ(number.m_nExponent, -2);
    EXPECT_TRUE(number.EnterNumber("1.239"));
    EXPECT_EQ(Sent(), (Items{{9, U32Bytes(123)}}));
    EXPECT_TRUE(number.EnterNumber("  0.29 "));
    EXPECT_EQ(Sent(), (Items{{9, U32Bytes(29)}}));
    EXPECT_FALSE(number.EnterNumber("volts"));
    EXPECT_FALSE(number.EnterNumber("nan"));
    EXPECT_FALSE(number.EnterNumber("1e999"));
    EXPECT_EQ(number.m_nValue, 29);
    EXPECT_TRUE(number.EnterNumber("5000"));
    EXPECT_EQ(Sent(), (Items{{9, U32Bytes(1000)}}));
    EXPECT_TRUE(number.EnterNumber("-3"));
    EXPECT_EQ(Sent(), (Items{{9, U32Bytes(0)}}));

    // Pushed out of range: shown as it is, clamped once the user changes it.
    const Bytes pushed = U32Bytes(2500);
    number.ShowValue(pushed.data(), 4);
    EXPECT_EQ(number.m_nValue, 2500);
    EXPECT_EQ(number.NumberText(0), "25");
    number.StepNumber(true);
    EXPECT_EQ(Sent(), (Items{{9, U32Bytes(1000)}}));
    number.StepNumber(false);
    EXPECT_EQ(Sent(), (Items{{9, U32Bytes(999)}}));
    number.SlideNumber(1500);
    EXPECT_EQ(Sent(), (Items{{9, U32Bytes(1000)}}));
    EXPECT_EQ(number.m_nValue, 1000);
}

TEST_F(CtrlSend, DateTimesSendTheirEightBytes) {
    CCtrl& full = Ctrl(10);
    full.ChangeDateTime(QDate(2025, 3, 9), QTime(13, 14, 15));
    EXPECT_EQ(Sent(), (Items{{10, {15, 14, 13, 9, 5, 3, 0xE9, 0x07}}}));

    // Only the editable parts change, and the day of the month.
    CCtrl& weekday = Ctrl(16);
    weekday.ChangeDateTime(QDate(2025, 3, 9), QTime(13, 14, 15));
    EXPECT_EQ(Sent(), (Items{{16, {1, 2, 3, 9, 5, 6, 0xE8, 0x07}}}));
    weekday.SelectWeekday(-1); // no choice: nothing goes
    weekday.SelectWeekday(0);
    EXPECT_EQ(Sent(), (Items{{16, {1, 2, 3, 9, 0, 6, 0xE8, 0x07}}}));
    EXPECT_EQ(weekday.m_nSelection, 0);
}

TEST_F(CtrlSend, ListSelectionIsAnIndexOrMinusOne) {
    Ctrl(11).SelectListItem(2);
    EXPECT_EQ(Sent(), (Items{{11, U32Bytes(2)}}));
    EXPECT_EQ(Ctrl(11).ControlText(), "c");
    Ctrl(11).SelectListItem(-1);
    EXPECT_EQ(Sent(), (Items{{11, U32Bytes(0xFFFFFFFF)}}));
    EXPECT_EQ(Ctrl(11).m_nSelection, -1);
}

TEST_F(CtrlSend, FileRequestIsAnEmptyValue) {
    Ctrl(12).RequestFile();
    EXPECT_EQ(Ctrl(12).m_bFileRequested, 1);
    EXPECT_EQ(Sent(), (Items{{12, {}}}));
    Ctrl(12).FileDelivered();
    EXPECT_EQ(Ctrl(12).m_bFileRequested, 0);
}

TEST_F(CtrlSend, PasswordRequests) {
    EXPECT_EQ(Ctrl(13).LogIn("pw"), 0);
    EXPECT_EQ(Sent(), (Items{{13, Padded(Padded({'p', 0, 'w', 0}, 34), 68)}}));
    EXPECT_EQ(Ctrl(13).ChangePassword("old", ""), LINK_E_KIND);
    EXPECT_EQ(Ctrl(13).ChangePassword("o", "n"), 0);
    Bytes change = Padded({'o', 0}, 34);
    const Bytes second = Padded({'n', 0}, 34);
    change.insert(change.end(), second.begin(), second.end());
    EXPECT_EQ(Sent(), (Items{{13, change}}));
    EXPECT_EQ(Ctrl(13).LogOut(), 0);
    EXPECT_EQ(Sent(), (Items{{13, Bytes(68, 0)}}));
    EXPECT_EQ(Ctrl(1).LogIn("pw"), LINK_E_KIND);
}

TEST_F(CtrlSend, MessageBoxAnswersGoAtOnce) {
    EXPECT_EQ(host.messageBoxes, std::vector<uint32_t>{14});
    EXPECT_EQ(Ctrl(14).SendAnswer(2), 0);
    EXPECT_EQ(Sent(), (Items{{14, {2}}}));
    EXPECT_EQ(SendControlAnswer(10004, 14), 0); // outside 1..3: nothing
    EXPECT_EQ(SendControlAnswer(10000, 14), 0);
    EXPECT_EQ(SendControlAnswer(10003, 14), 0);
    EXPECT_EQ(Sent(), (Items{{14, {3}}}));
}
