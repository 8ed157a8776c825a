// Building the control array from a real link's table: a panel is played to the link on a
// pseudo-terminal, then the array is built from what the link holds.
#include <string_view>

#include <gtest/gtest.h>

#include "CtrlTestHost.h"
#include "Frame.h"
#include "support/LinkHarness.h"

namespace {

using namespace std::string_literals;

Bytes Ansi(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// One definition of every kind, ids 1..16 in table order.
std::vector<Bytes> EveryKind() {
    const Bytes dateValue = {5, 4, 3, 2, 1, 12, 0xE8, 0x07};
    // Matrix: 2 rows, 1 column of 32-bit cells, 8-bit text row labels, 2 rows filled.
    const Bytes matrixValue = Cat({U32Bytes(10), U32Bytes(20), Ansi("a\0b\0"s), U32Bytes(2)});
    return {
        Definition('T', CTRLF_EDITABLE | CTRLF_TEXT16, 1, Utf16Z(u"hi"), {{'m', U32Bytes(20)}}),
        Definition('B', 0, 2, {0}, {{'Z', Ansi("Go")}}),
        Definition('G', 0, 3, {255}),
        Definition('G', 0, 4, {0}, {{'r', U32Bytes(3)}}),
        Definition('S', 0, 5, {255}),
        Definition('D', CTRLF_EDITABLE | CTRLF_TIME_SECOND, 6, dateValue,
                   {{'f', Ansi("%HH%:%mm%")}}),
        Definition('N', CTRLF_CLAMP_MIN | CTRLF_CLAMP_MAX, 7, U32Bytes(uint32_t(-5)),
                   {{'x', U32Bytes(10)}, {'f', Ansi("%% rpm")}}),
        Definition(
            'M', 0x20000, 8, matrixValue,
            {{'n', U32Bytes(2)}, {'N', U32Bytes(1)}, {'A', Ansi("Flow\0"s)}, {'F', Ansi("%%")}}),
        Definition('P', 0, 9, {0}),
        Definition('L', 0, 10, U32Bytes(uint32_t(-1)),
                   {{'n', U32Bytes(2)}, {'I', Ansi("x\0y\0"s)}}),
        Definition('X', 0, 11, AnsiZ("Hi"), {{'m', U32Bytes(10)}}),
        Definition('O', CTRLF_TEXT16, 12, {1, 2, 3}, {{'m', U32Bytes(8)}}),
        Definition('F', 0, 13, {}),
        Definition('Q', 0, 14, {}),
        Definition('I', 0, 15, Ansi("GIF89a")),
        Definition('X', CTRLF_HIDDEN, 16, AnsiZ("Old"), {{'m', U32Bytes(10)}}),
    };
}

class CtrlBuild : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(link.openStatus, 0); }

    LinkHarness link;
    RecordingHost host; // outlives the records
    CtrlArray ctrls;
};

} // namespace

TEST_F(CtrlBuild, EveryKindFromTheTable) {
    ASSERT_EQ(link.LoadPanel(EveryKind()), LINK_PANEL);
    RebuildCtrlArray(ctrls, &host);
    ASSERT_EQ(ctrls.size(), 16u);
    EXPECT_TRUE(host.boxes.empty());

    const int types[16] = {TYPE_TEXT,     TYPE_BUTTON,      TYPE_LATCH,      TYPE_LATCH,
                           TYPE_SECTION,  TYPE_DATETIME,    TYPE_NUMBER,     TYPE_MATRIX,
                           TYPE_PASSWORD, TYPE_LIST,        TYPE_MESSAGEBOX, TYPE_BLOB,
                           TYPE_FILE,     TYPE_UNSUPPORTED, TYPE_IMAGE,      TYPE_MESSAGEBOX};
    for (size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(ctrls[i]->m_nType, types[i]) << i;
        EXPECT_EQ(ctrls[i]->m_nId, i + 1);
        EXPECT_EQ(ctrls[i]->m_pParent, &host);
    }

    // Window ids: the first widget of the first control is 10001, and ids run on.
    EXPECT_EQ(ctrls[0]->m_nWndId, 10001);
    EXPECT_EQ(host.widgetIds[1], (std::vector<int>{10001, 10002}));
    EXPECT_EQ(ctrls[1]->m_nWndId, 10003);

    const CCtrl& text = *ctrls[0];
    EXPECT_EQ(text.m_strText, "hi");
    EXPECT_EQ(text.m_nMaxLength, 20u);
    EXPECT_EQ(ctrls[1]->m_strName, "Go");
    EXPECT_EQ(ctrls[2]->m_bValue, 255);
    EXPECT_EQ(ctrls[3]->m_nGroup, 3u);
    EXPECT_EQ(ctrls[3]->StyleCount(), 1);
    EXPECT_EQ(ctrls[2]->StyleCount(), 2);
    EXPECT_EQ(ctrls[5]->DateTimeText(), "03:04");
    EXPECT_EQ(ctrls[6]->m_nValue, 0); // -5 clamped to the minimum 0
    EXPECT_EQ(ctrls[6]->NumberText(0), "0 rpm");

    const CCtrl& matrix = *ctrls[7];
    EXPECT_EQ(matrix.m_pRowLabels.size(), 8u); // 4 bytes of 8-bit text, widened
    EXPECT_EQ(matrix.m_nRowLabelBytes, 4u);
    EXPECT_EQ(matrix.m_nStyle, 1); // text labels: Column Chart
    EXPECT_EQ(matrix.RowLabelText(1), "b");
    EXPECT_EQ(matrix.CellText(1, 0), "20");
    EXPECT_EQ(matrix.ColumnName(0), "Flow");

    EXPECT_EQ(ctrls[9]->m_nSelection, -1);
    EXPECT_EQ(ctrls[9]->m_strItems, (QStringList{"x", "y"}));
    EXPECT_EQ(ctrls[10]->m_strText, "Hi");
    EXPECT_EQ(ctrls[11]->m_pData, (std::vector<uint8_t>{1, 2, 3, 0, 0, 0, 0, 0}));
    EXPECT_EQ(ctrls[11]->m_nDataLen, 3u);

    const CCtrl& unsupported = *ctrls[13];
    EXPECT_EQ(unsupported.m_crColour, 0xFFFFFFu);
    EXPECT_EQ(unsupported.m_strText, "???");
    EXPECT_EQ(unsupported.StyleName(0), "???");
    EXPECT_EQ(unsupported.ControlText(), "[???]");

    EXPECT_EQ(ctrls[14]->m_nDataSize, 6u);
    ASSERT_EQ(host.pictures.size(), 1u);
    EXPECT_EQ(host.pictures[0].second, Ansi("GIF89a"));
    EXPECT_EQ(ctrls[14]->StyleCount(), 0);

    // After the build, the boxes not yet shown; the one flagged as shown stays closed.
    EXPECT_EQ(host.messageBoxes, std::vector<uint32_t>{11});
    EXPECT_TRUE(ctrls[10]->m_dwFlags & CTRLF_BOX_SHOWN);
}

TEST_F(CtrlBuild, UnknownDeviceKindLeavesTheRecordUnbuilt) {
    ASSERT_EQ(link.LoadPanel({Definition('B', 0, 1, {0}), Definition('B', 0, 2, {0}),
                              Definition('B', 0, 3, {0})}),
              LINK_PANEL);
    LinkLock();
    LinkFind(2)->m_nKind = 15;
    LinkUnlock();

    ctrls = BuildCtrlArray(&host);
    ASSERT_EQ(ctrls.size(), 3u);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].checkPoint, CP_VIEW_KIND);
    EXPECT_EQ(host.boxes[0].unit, "Talvex22View");
    EXPECT_EQ(host.boxes[0].value, 0);
    EXPECT_FALSE(host.boxes[0].sizeAlarm);
    EXPECT_EQ(ctrls[1]->m_nType, TYPE_UNSUPPORTED);
    EXPECT_EQ(ctrls[1]->m_nId, 0u);
    EXPECT_EQ(ctrls[1]->m_pParent, nullptr);
    EXPECT_EQ(host.created, (std::vector<uint32_t>{1, 3}));
    EXPECT_EQ(ctrls[2]->m_nType, TYPE_BUTTON);

    LinkLock();
    LinkFind(2)->m_nKind = KIND_BUTTON; // the link's own release expects known kinds
    LinkUnlock();
}

TEST_F(CtrlBuild, ANewPanelReplacesEveryRecord) {
    ASSERT_EQ(link.LoadPanel({Definition('B', 0, 1, {0}), Definition('S', 0, 2, {0})}), LINK_PANEL);
    RebuildCtrlArray(ctrls, &host);
    ASSERT_EQ(link.LoadPanel({Definition('G', 0, 7, {0})}), LINK_PANEL);
    host.ids.Reset();
    RebuildCtrlArray(ctrls, &host);
    EXPECT_EQ(host.destroyed, (std::vector<uint32_t>{1, 2}));
    ASSERT_EQ(ctrls.size(), 1u);
    EXPECT_EQ(ctrls[0]->m_nId, 7u);
    EXPECT_EQ(ctrls[0]->m_nWndId, 10001);

    ASSERT_EQ(link.LoadPanel({}), LINK_PANEL);
    RebuildCtrlArray(ctrls, &host);
    EXPECT_TRUE(ctrls.empty());
}

TEST_F(CtrlBuild, OversizeMessageBoxValueIsTheViewsSizeAlarm) {
    // 40000 characters: a value of 80000 bytes.
    ASSERT_EQ(link.LoadPanel({Definition('X', 0, 1, AnsiZ("Hi"), {{'m', U32Bytes(40000)}})}),
              LINK_PANEL);
    ctrls = BuildCtrlArray(&host);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_TRUE(host.boxes[0].sizeAlarm);
    EXPECT_EQ(host.boxes[0].checkPoint, CP_VIEW_MESSAGE_BOX);
    EXPECT_EQ(host.boxes[0].unit, "Talvex22View");
    EXPECT_EQ(host.quits, 1);
    EXPECT_EQ(ctrls[0]->m_nType, TYPE_MESSAGEBOX);
    EXPECT_EQ(ctrls[0]->m_strText, "");
}

TEST_F(CtrlBuild, WorksWithoutAHost) {
    ASSERT_EQ(link.LoadPanel(EveryKind()), LINK_PANEL);
    CtrlArray lone = BuildCtrlArray(nullptr);
    ASSERT_EQ(lone.size(), 16u);
    EXPECT_EQ(lone[0]->m_nWndId, 0);
    ShowPendingMessageBoxes(lone);
    EXPECT_TRUE(lone[10]->m_dwFlags & CTRLF_BOX_SHOWN);
}

namespace {

// A view whose box runs the event loop, in which the ping timer drops the connection: the
// link's table is freed in the middle of the build.
class ClosingHost : public RecordingHost {
public:
    void SizeAlarm(long checkPoint, const char* unit) override {
        RecordingHost::SizeAlarm(checkPoint, unit);
        lockTakenAtBox = LinkLockTaken();
        LinkClose(false);
    }
    bool lockTakenAtBox = false;
};

// A view that runs out of memory while it makes the widgets of control `failAt`.
class StarvedHost : public RecordingHost {
public:
    void CreateWidgets(CCtrl& ctrl) override {
        if (ctrl.m_nId == failAt) throw std::bad_alloc();
        RecordingHost::CreateWidgets(ctrl);
    }
    uint32_t failAt = 0;
};

} // namespace

TEST_F(CtrlBuild, ABoxDuringTheBuildFindsTheLockFreeAndTheTableMayGo) {
    // 65536 columns without names: their terminators alone reach the limit (box 945). No
    // cells; four 1-byte numeric row labels, three rows in use.
    const uint32_t flags = (1u << 16) | (2u << 18) | (3u << 20);
    ASSERT_EQ(link.LoadPanel({Definition('M', flags, 1, Cat({Bytes{7, 8, 9, 10}, U32Bytes(3)}),
                                         {{'n', U32Bytes(4)}, {'N', U32Bytes(65536)}}),
                              Definition('B', 0, 2, {0})}),
              LINK_PANEL);
    ClosingHost closing;
    {
        CtrlArray built = BuildCtrlArray(&closing);
        ASSERT_EQ(closing.CheckPoints(), std::vector<long>{CP_COLUMN_NAMES});
        EXPECT_FALSE(closing.lockTakenAtBox);
        EXPECT_FALSE(LinkIsOpen());
        // The matrix holds what the device sent, copied before the table went.
        EXPECT_EQ(built[0]->m_pRowLabels, (std::vector<uint8_t>{7, 8, 9, 10}));
        EXPECT_EQ(built[0]->m_nRows, 3);
        EXPECT_EQ(built[1]->m_nType, TYPE_UNSUPPORTED); // its entry was gone: left unbuilt
    }
}

TEST_F(CtrlBuild, RunningOutOfMemoryLeavesNoPanelAndGoesOn) {
    ASSERT_EQ(link.LoadPanel({Definition('B', 0, 1, {0})}), LINK_PANEL);
    StarvedHost starved;
    ASSERT_TRUE(RebuildCtrlArray(ctrls, &starved));
    ASSERT_EQ(link.LoadPanel({Definition('B', 0, 5, {0}), Definition('B', 0, 6, {0})}), LINK_PANEL);
    starved.failAt = 6;
    EXPECT_FALSE(RebuildCtrlArray(ctrls, &starved));
    EXPECT_TRUE(ctrls.empty());
    EXPECT_EQ(starved.destroyed, (std::vector<uint32_t>{5, 6, 1})); // the half-built ones too
}
