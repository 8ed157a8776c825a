// The control record: defaults, kinds, Init, the creation operations with their limits, styles,
// texts and matrix reads. The record is driven directly here; test_ctrl_build.cpp builds it
// from a real link.
#include <climits>
#include <cstring>

#include <gtest/gtest.h>

#include "CtrlTestHost.h"
#include "MessageBoxAnswer.h"

namespace {

LinkSummary Summary(uint32_t id, uint32_t flags = 0, const std::u16string& name = u"") {
    LinkSummary s;
    s.nId = id;
    s.dwFlags = flags;
    s.crColour = 0x123456;
    s.strName = name;
    return s;
}

// A record initialised on a recording host.
struct Fixture {
    RecordingHost host;
    CCtrl ctrl;
    explicit Fixture(uint32_t flags = 0, const std::u16string& name = u"") {
        ctrl.Init(Summary(7, flags, name), &host);
    }
};

std::vector<uint8_t> Le32(std::initializer_list<int32_t> values) {
    std::vector<uint8_t> out;
    for (int32_t v : values)
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(uint32_t(v) >> (8 * i)));
    return out;
}

} // namespace

TEST(CtrlRecord, DefaultsAndInit) {
    CCtrl blank;
    EXPECT_EQ(blank.m_nType, TYPE_UNSUPPORTED);
    EXPECT_EQ(blank.m_nFontSize, 20);
    EXPECT_EQ(blank.m_nTitleFontSize, 12);
    EXPECT_TRUE(blank.GetTitleBold());
    EXPECT_FALSE(blank.GetFontBold());
    EXPECT_EQ(blank.m_crColour, 0xC0C0C0u);
    EXPECT_EQ(blank.m_rcCache, (std::array<int, 4>{-1, -1, -1, -1}));
    EXPECT_EQ(blank.m_nDropHeight, 117);
    EXPECT_EQ(blank.m_bAutoLayout, 1);
    EXPECT_EQ(blank.m_nWidth, 0);
    EXPECT_EQ(blank.m_pParent, nullptr);

    Fixture f(CTRLF_DISABLED, u"Pump");
    EXPECT_EQ(f.ctrl.m_nId, 7u);
    EXPECT_EQ(f.ctrl.m_dwFlags, 0x80u);
    EXPECT_EQ(f.ctrl.m_crColour, 0x123456u);
    EXPECT_EQ(f.ctrl.m_strName, "Pump");
    EXPECT_EQ(f.ctrl.m_nWidth, 117);
    EXPECT_EQ(f.ctrl.m_nHeight, 57);
    EXPECT_EQ(f.ctrl.m_nWndId, 10001); // the first id of a panel
    EXPECT_EQ(f.ctrl.m_pParent, &f.host);
    // Init makes the brush and the fonts.
    EXPECT_EQ(f.host.RefreshesOf(7),
              (std::vector<CtrlRefresh>{CtrlRefresh::Brush, CtrlRefresh::Fonts}));
}

TEST(CtrlRecord, KindNumberingsMapBothWays) {
    const int expected[15] = {-1, 2, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0, 13};
    for (int kind = 0; kind <= 14; ++kind) {
        EXPECT_EQ(CtrlTypeFromDeviceKind(kind), expected[kind]) << kind;
        if (expected[kind] >= 0) {
            EXPECT_EQ(DeviceKindFromCtrlType(expected[kind]), kind);
        }
    }
    EXPECT_EQ(CtrlTypeFromDeviceKind(15), -1);
    EXPECT_EQ(CtrlTypeFromDeviceKind(-3), -1);
    EXPECT_EQ(DeviceKindFromCtrlType(14), 0);
}

TEST(CtrlRecord, WindowIdsRestartWithAPanel) {
    CtrlWindowIds ids;
    EXPECT_EQ(ids.Next(), 10001);
    EXPECT_EQ(ids.Next(), 10002);
    ids.Reset();
    EXPECT_EQ(ids.Next(), 10001);
}

TEST(CtrlRecord, NoHostAndABareHostAreSafe) {
    {
        CCtrl lone;
        lone.CreateMatrix({}, {});
        lone.ShowValue(nullptr, 5);
        lone.SetMatrixData(0, nullptr, 9, nullptr, 9);
        lone.CreateText(4, "x"); // a second creation: the box has nowhere to go
        lone.ShowMessageBox();
        EXPECT_EQ(lone.ControlText(), "x");
    }
    ICtrlHost bare;
    CCtrl ctrl;
    ctrl.Init(Summary(1), &bare);
    EXPECT_EQ(ctrl.m_nWndId, 0);
    ctrl.CreateImage(nullptr, 50);
    EXPECT_EQ(ctrl.m_nDataSize, 0u);
    ctrl.ShowValue(reinterpret_cast<const uint8_t*>("GIF"), 3);
    ctrl.m_nType = 99;
    ctrl.ShowValue(nullptr, 0);
}

TEST(CtrlRecord, DestructionHandsTheWidgetsBack) {
    RecordingHost host;
    {
        CCtrl ctrl;
        ctrl.Init(Summary(3), &host);
        ctrl.CreateButton();
    }
    EXPECT_EQ(host.destroyed, std::vector<uint32_t>{3});
}

TEST(CtrlCreate, SecondCreationBoxesAndReplacesTheWidgets) {
    Fixture f;
    f.ctrl.CreateButton();
    f.ctrl.CreateSection(0);
    EXPECT_EQ(f.host.CheckPoints(), std::vector<long>{CP_CREATE_AGAIN});
    EXPECT_EQ(f.host.boxes[0].unit, "CCtrl");
    EXPECT_EQ(f.host.boxes[0].value, 0);
    EXPECT_EQ(f.host.destroyed, std::vector<uint32_t>{7});
    EXPECT_EQ(f.host.created.size(), 2u);
    EXPECT_EQ(f.ctrl.m_nType, TYPE_SECTION);
}

TEST(CtrlCreate, SimpleKindsStoreTheirDataAndBorders) {
    {
        Fixture f(CTRLF_EDITABLE);
        f.ctrl.CreateText(20, "hello");
        EXPECT_EQ(f.ctrl.m_nType, TYPE_TEXT);
        EXPECT_EQ(f.ctrl.m_strText, "hello");
        EXPECT_EQ(f.ctrl.m_nMaxLength, 20u);
        EXPECT_EQ(f.ctrl.m_bBorder, 1);
        EXPECT_EQ(f.ctrl.m_bShowTitle, 0);
        EXPECT_EQ(f.host.created, std::vector<uint32_t>{7});
        // The first widget has the id Init took.
        EXPECT_EQ(f.host.widgetIds[7], (std::vector<int>{10001, 10002}));
    }
    {
        Fixture f;
        f.ctrl.CreateText(20, "ro");
        EXPECT_EQ(f.ctrl.m_bBorder, 0);
    }
    {
        Fixture f;
        f.ctrl.CreatePassword(255);
        EXPECT_EQ(f.ctrl.m_nType, TYPE_PASSWORD);
        EXPECT_EQ(f.ctrl.m_bValue, 255);
        EXPECT_EQ(f.ctrl.m_bBorder, 1);
    }
    {
        Fixture f;
        f.ctrl.m_bFileRequested = 1;
        f.ctrl.CreateFile();
        EXPECT_EQ(f.ctrl.m_nType, TYPE_FILE);
        EXPECT_EQ(f.ctrl.m_bFileRequested, 0);
    }
    {
        Fixture f;
        f.ctrl.CreateMessageBox("Stop?");
        EXPECT_EQ(f.ctrl.m_nType, TYPE_MESSAGEBOX);
        EXPECT_EQ(f.ctrl.m_strText, "Stop?");
        EXPECT_EQ(f.ctrl.GetFontSize(), 30);
        EXPECT_FALSE(f.ctrl.GetFontBold());
        EXPECT_TRUE(f.host.created.empty()); // a Message box has no widgets
    }
}

TEST(CtrlCreate, UnsupportedIsWhiteAndImageDecodesItsPicture) {
    Fixture f;
    f.ctrl.CreateUnsupported();
    EXPECT_EQ(f.ctrl.m_nType, TYPE_UNSUPPORTED);
    EXPECT_EQ(f.ctrl.m_strText, "???");
    EXPECT_EQ(f.ctrl.m_crColour, 0xFFFFFFu);
    EXPECT_EQ(f.ctrl.m_bBorder, 1);
    EXPECT_EQ(f.host.Count(7, CtrlRefresh::Brush), 2); // Init, then white

    Fixture g;
    const uint8_t picture[5] = {'G', 'I', 'F', '8', '9'};
    g.ctrl.CreateImage(picture, 5);
    EXPECT_EQ(g.ctrl.m_nType, TYPE_IMAGE);
    EXPECT_EQ(g.ctrl.m_nDataSize, 5u);
    ASSERT_EQ(g.host.pictures.size(), 1u);
    EXPECT_EQ(g.host.pictures[0].second, std::vector<uint8_t>(picture, picture + 5));
    EXPECT_EQ(g.ctrl.m_nImageWidth, 5);
}

TEST(CtrlCreate, LatchAndSectionAreBoldWhileOn) {
    Fixture on;
    on.ctrl.CreateLatch(0, 255);
    EXPECT_EQ(on.ctrl.m_nGroup, 0u);
    EXPECT_TRUE(on.ctrl.GetFontBold());
    EXPECT_EQ(on.host.RefreshesOf(7).back(), CtrlRefresh::Fonts);

    Fixture off;
    off.ctrl.m_bFontBold = 1;
    off.ctrl.CreateSection(0);
    EXPECT_FALSE(off.ctrl.GetFontBold());

    // The check-box style keeps the bold the user chose.
    Fixture box;
    box.ctrl.CreateLatch(0, 0);
    box.ctrl.m_nStyle = 1;
    box.ctrl.SetFontSize(14, true);
    EXPECT_TRUE(box.ctrl.GetFontBold());
    EXPECT_EQ(box.ctrl.GetFontSize(), 14);
    box.ctrl.m_nStyle = 0;
    box.ctrl.SetFontSize(14, true);
    EXPECT_FALSE(box.ctrl.GetFontBold());
}

TEST(CtrlCreate, DateTimeShowsThePartsItsFlagsMakeEditable) {
    const uint8_t value[8] = {5, 4, 3, 2, 1, 12, 0xE8, 0x07};
    Fixture dateAndTime(CTRLF_EDITABLE | CTRLF_TIME_MINUTE | CTRLF_DATE_DAY | CTRLF_WEEKDAY);
    dateAndTime.ctrl.m_nDropHeight = 5;
    dateAndTime.ctrl.CreateDateTime("%dd%", value);
    EXPECT_EQ(dateAndTime.ctrl.m_nType, TYPE_DATETIME);
    EXPECT_EQ(dateAndTime.ctrl.m_bBorder, 1);
    EXPECT_EQ(dateAndTime.ctrl.m_bShowTime, 1);
    EXPECT_EQ(dateAndTime.ctrl.m_bShowDate, 1);
    EXPECT_EQ(dateAndTime.ctrl.m_bShowWeekday, 0); // the date part wins
    EXPECT_EQ(dateAndTime.ctrl.m_nDropHeight, 117);
    EXPECT_EQ(dateAndTime.ctrl.DateTimeValue().year, 2024);

    Fixture weekday(CTRLF_EDITABLE | CTRLF_WEEKDAY);
    weekday.ctrl.CreateDateTime("", value);
    EXPECT_EQ(weekday.ctrl.m_bShowWeekday, 1);
    EXPECT_EQ(weekday.ctrl.m_bShowDate + weekday.ctrl.m_bShowTime, 0);

    Fixture shown(CTRLF_TIME_ANY | CTRLF_DATE_ANY | CTRLF_WEEKDAY);
    shown.ctrl.CreateDateTime("%yyyy%-%MM%-%dd% %HH%:%mm%", value);
    EXPECT_EQ(shown.ctrl.m_bShowDate + shown.ctrl.m_bShowTime + shown.ctrl.m_bShowWeekday, 0);
    EXPECT_EQ(shown.ctrl.m_bBorder, 0);
    EXPECT_EQ(shown.ctrl.DateTimeText(), "2024-12-02 03:04");
    EXPECT_EQ(CCtrl::WeekdayNames(),
              (QStringList{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"}));
}

TEST(CtrlCreate, NumberClampsAtCreationAndPicksItsTemplate) {
    const uint32_t clampBoth = CTRLF_CLAMP_MIN | CTRLF_CLAMP_MAX;
    auto number = [](uint32_t flags, int32_t value, std::optional<QString> format = {}) {
        auto f = std::make_unique<Fixture>(flags);
        NumberDefinition d;
        d.min = 10;
        d.max = 20;
        d.format = format;
        f->ctrl.CreateNumber(d, value);
        return f;
    };
    EXPECT_EQ(number(clampBoth, 5)->ctrl.m_nValue, 10);
    EXPECT_EQ(number(clampBoth, 25)->ctrl.m_nValue, 20);
    EXPECT_EQ(number(CTRLF_CLAMP_MIN, 25)->ctrl.m_nValue, 25);
    EXPECT_EQ(number(CTRLF_CLAMP_MAX, 5)->ctrl.m_nValue, 5);
    EXPECT_EQ(number(0, -7)->ctrl.m_nValue, -7);

    EXPECT_EQ(number(0, 12)->ctrl.m_strFormat, "%%");
    EXPECT_EQ(number(0, 12, "T=%% C")->ctrl.m_strFormat, "T=%% C");
    auto editable = number(CTRLF_EDITABLE, 12, "T=%% C");
    EXPECT_EQ(editable->ctrl.m_strFormat, "%%");
    EXPECT_EQ(editable->ctrl.m_bBorder, 1);
    EXPECT_EQ(editable->ctrl.SliderRange(), std::make_pair(10, 20));

    // A range that is empty or upside down gives the slider 0..100.
    Fixture flat;
    NumberDefinition d;
    d.min = 5;
    d.max = 5;
    flat.ctrl.CreateNumber(d, 5);
    EXPECT_EQ(flat.ctrl.SliderRange(), std::make_pair(0, 100));
    flat.ctrl.m_nMin = 9;
    flat.ctrl.m_nMax = -9;
    EXPECT_EQ(flat.ctrl.SliderRange(), std::make_pair(0, 100));
}

TEST(CtrlCreate, NumberTextsUseTheSignedExponent) {
    Fixture f(0x100000); // fixed style
    NumberDefinition d;
    d.decimals = 1;
    d.exponent = -2;
    d.format = "T=%% C";
    f.ctrl.CreateNumber(d, 1234);
    EXPECT_EQ(f.ctrl.NumberText(0), "T=12.3 C");
    EXPECT_EQ(f.ctrl.NumberText(6), "T=0012.3 C");
    EXPECT_EQ(f.ctrl.NumberEditText(), "12.3");
    EXPECT_EQ(f.ctrl.NumberWidth(), 0); // nothing stored
}

TEST(CtrlCreate, ListKeepsOnlyTheItemsThatArrived) {
    Fixture f;
    f.ctrl.CreateList(3, std::u16string(u"one\0two\0three\0", 14), -1);
    EXPECT_EQ(f.ctrl.m_nType, TYPE_LIST);
    EXPECT_EQ(f.ctrl.m_nItems, 3);
    EXPECT_EQ(f.ctrl.m_strItems, (QStringList{"one", "two", "three"}));
    EXPECT_EQ(f.ctrl.m_nSelection, -1);
    EXPECT_EQ(f.ctrl.m_bBorder, 1);
    EXPECT_EQ(f.ctrl.ControlText(), "one"); // no selection: item 0

    Fixture huge;
    huge.ctrl.CreateList(INT_MAX, std::u16string(u"a\0b", 3), 1);
    EXPECT_EQ(huge.ctrl.m_strItems, (QStringList{"a", "b"}));
    EXPECT_EQ(huge.ctrl.m_nItems, 2);
    EXPECT_EQ(huge.ctrl.ControlText(), "b");

    Fixture none;
    none.ctrl.CreateList(-4, u"x", 0);
    EXPECT_EQ(none.ctrl.m_nItems, 0);
    EXPECT_EQ(none.ctrl.ControlText(), "");
}

TEST(CtrlCreate, BlobKeepsWhatFitsAndRefusesAnOversizeCapacity) {
    const uint8_t data[6] = {1, 2, 3, 4, 5, 6};
    Fixture f;
    f.ctrl.CreateBlob(4, data, 6);
    EXPECT_EQ(f.ctrl.m_nDataSize, 4u);
    EXPECT_EQ(f.ctrl.m_pData, (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(f.ctrl.m_nDataLen, 4u);

    Fixture room;
    room.ctrl.CreateBlob(8, data, 2);
    EXPECT_EQ(room.ctrl.m_pData, (std::vector<uint8_t>{1, 2, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(room.ctrl.m_nDataLen, 2u);

    Fixture limit;
    limit.ctrl.CreateBlob(0xFFFFF, data, 6);
    EXPECT_EQ(limit.ctrl.m_pData.size(), 0xFFFFFu);
    EXPECT_TRUE(limit.host.boxes.empty());

    Fixture over;
    over.ctrl.CreateBlob(0x100000, data, 6);
    EXPECT_EQ(over.ctrl.m_nDataSize, 0u);
    EXPECT_TRUE(over.ctrl.m_pData.empty());
    EXPECT_EQ(over.ctrl.m_nDataLen, 0u);
    ASSERT_EQ(over.host.boxes.size(), 1u);
    EXPECT_TRUE(over.host.boxes[0].sizeAlarm);
    EXPECT_EQ(over.host.boxes[0].checkPoint, CP_BLOB_CAPACITY);
    EXPECT_EQ(over.host.boxes[0].unit, "CCtrl");
    EXPECT_EQ(over.host.quits, 1);
    EXPECT_EQ(SizeAlarmText(1167, "CCtrl"), "Bluetooth driver error 1167 CCtrl");
    EXPECT_EQ(DiagnosticText(3417, "CCtrl", 0), "At 3417 file CCtrl, val=0");
}

TEST(CtrlCreate, MatrixDefaultStyleFollowsTheRowLabelKind) {
    const int styles[4] = {3, 2, 1, 0};
    for (uint32_t kind = 0; kind < 4; ++kind) {
        Fixture f(kind << 16);
        f.ctrl.CreateMatrix({}, {});
        EXPECT_EQ(f.ctrl.m_nStyle, styles[kind]) << kind;
        EXPECT_EQ(
            f.ctrl.StyleName(f.ctrl.m_nStyle),
            (QStringList{"Line Chart", "Column Chart", "Points Chart", "Table"})[styles[kind]]);
    }
}

TEST(CtrlCreate, MatrixBuffersDoubleEightBitTextLabels) {
    MatrixDefinition d;
    d.maxRows = 2;
    d.cols = 2;
    d.columnNames = std::u16string(u"a\0b\0", 4);
    d.rowLabelHeading = "When";
    d.cellBytes = 16;
    d.rowLabelBytes = 4; // "x\0y\0" as 8-bit text
    d.cellFormat = "%%";
    const std::vector<uint8_t> cells = Le32({1, 2, 3, 4});
    const std::vector<uint8_t> labels = {'x', 0, 0, 0, 'y', 0, 0, 0};
    LinkMatrixData data;
    data.nRows = 2;
    data.pCells = cells.data();
    data.nCellBytes = cells.size();
    data.pRowLabels = labels.data();
    data.nRowLabelBytes = labels.size();

    Fixture f(2u << 16); // text labels, 8-bit
    f.ctrl.CreateMatrix(d, data);
    EXPECT_EQ(f.ctrl.m_nType, TYPE_MATRIX);
    EXPECT_EQ(f.ctrl.m_pRowLabels.size(), 8u);
    EXPECT_EQ(f.ctrl.m_nRowLabelBytes, 4u);
    EXPECT_EQ(f.ctrl.m_pCells.size(), 16u);
    EXPECT_EQ(f.ctrl.m_nRows, 2);
    EXPECT_EQ(f.ctrl.RowLabelText(1), "y");
    EXPECT_EQ(f.ctrl.CellText(1, 1), "4");
    EXPECT_EQ(f.ctrl.ColumnName(1), "b");
    EXPECT_EQ(f.ctrl.ColumnName(2), "");
    EXPECT_TRUE(f.host.boxes.empty());

    const MatrixTable table = f.ctrl.TableData();
    EXPECT_TRUE(table.hasRowLabels);
    EXPECT_EQ(table.headings, (QStringList{"When", "a", "b"}));
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[0], (QStringList{"x", "1", "3"}));
    EXPECT_EQ(table.rows[1], (QStringList{"y", "2", "4"}));

    // 16-bit texts arrive as they are: no doubling.
    Fixture wide(2u << 16 | CTRLF_TEXT16);
    wide.ctrl.CreateMatrix(d, data);
    EXPECT_EQ(wide.ctrl.m_pRowLabels.size(), 4u);

    // Missing column names are empty ones.
    d.columnNames = u"only";
    Fixture names;
    names.ctrl.CreateMatrix(d, data);
    EXPECT_EQ(names.ctrl.m_pColumnNames, (std::vector<char16_t>{u'o', u'n', u'l', u'y', 0, 0}));
    const MatrixTable plain = names.ctrl.TableData();
    EXPECT_FALSE(plain.hasRowLabels);
    EXPECT_EQ(plain.headings, (QStringList{"only", ""}));
    EXPECT_EQ(plain.rows[1], (QStringList{"2", "4"}));
}

TEST(CtrlCreate, MatrixSizeLimitsTakeTheSizeAsZero) {
    auto build = [](uint32_t flags, const MatrixDefinition& d) {
        auto f = std::make_unique<Fixture>(flags);
        f->ctrl.CreateMatrix(d, {});
        return f;
    };
    MatrixDefinition names;
    names.cols = 65536; // 65536 terminators
    auto a = build(0, names);
    EXPECT_EQ(a->host.CheckPoints(), std::vector<long>{CP_COLUMN_NAMES});
    EXPECT_TRUE(a->host.boxes[0].sizeAlarm);
    EXPECT_EQ(a->host.quits, 1);
    EXPECT_TRUE(a->ctrl.m_pColumnNames.empty());
    names.cols = 65535;
    EXPECT_TRUE(build(0, names)->host.boxes.empty());
    names.cols = INT_MAX;
    names.columnNames = std::u16string(70000, u'n'); // one endless name
    EXPECT_EQ(build(0, names)->host.CheckPoints(), std::vector<long>{CP_COLUMN_NAMES});

    MatrixDefinition labels;
    labels.rowLabelBytes = 0x80000; // doubled: 0x100000
    auto b = build(2u << 16, labels);
    EXPECT_EQ(b->host.CheckPoints(), std::vector<long>{CP_ROW_LABEL_BYTES});
    EXPECT_TRUE(b->ctrl.m_pRowLabels.empty());
    EXPECT_EQ(build(2u << 16 | CTRLF_TEXT16, labels)->ctrl.m_pRowLabels.size(), 0x80000u);

    MatrixDefinition cells;
    cells.cellBytes = 0x100000;
    auto c = build(0, cells);
    EXPECT_EQ(c->host.CheckPoints(), std::vector<long>{CP_CELL_BYTES});
    EXPECT_TRUE(c->ctrl.m_pCells.empty());
    EXPECT_EQ(c->ctrl.m_nCellBytes, 0u);
    cells.cellBytes = 0xFFFFF;
    EXPECT_EQ(build(0, cells)->ctrl.m_pCells.size(), 0xFFFFFu);
}

TEST(CtrlMatrix, ReadsStayInsideWhateverTheDeviceAnnounced) {
    Fixture f;
    f.ctrl.CreateMatrix({}, {});
    f.ctrl.m_strCellFormat = "%%";
    f.ctrl.m_pCells = Le32({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    f.ctrl.m_nMaxRows = 10;
    f.ctrl.m_nCols = 1;
    f.ctrl.m_nRows = -3; // full ring, oldest row at 3
    EXPECT_EQ(f.ctrl.RowsInUse(), 10);
    EXPECT_EQ(f.ctrl.RingIndex(0), 3);
    EXPECT_EQ(f.ctrl.RingIndex(9), 2);
    EXPECT_EQ(f.ctrl.CellText(0, 0), "3");
    EXPECT_EQ(f.ctrl.CellValue(9, 0), 2.0);
    EXPECT_EQ(f.ctrl.TableData().rows.back(), QStringList{"2"});

    // Announced far beyond the buffers.
    f.ctrl.m_nMaxRows = INT_MAX;
    f.ctrl.m_nRows = INT_MIN;
    f.ctrl.m_nCols = INT_MAX;
    f.ctrl.m_dwFlags = 1u << 16; // numeric labels, but no label buffer
    EXPECT_EQ(f.ctrl.RowLabelText(5), "");
    EXPECT_EQ(f.ctrl.RowLabelValue(5), 0.0);
    EXPECT_EQ(f.ctrl.CellText(INT_MAX - 1, INT_MAX - 1), "");
    EXPECT_FALSE(f.ctrl.RowLabelDateTime(0));
    const MatrixTable table = f.ctrl.TableData();
    EXPECT_EQ(table.headings.size(), 65537);
    EXPECT_LE(table.rows.size() * size_t(table.headings.size()), 0x100000u);

    f.ctrl.m_nRows = 5;
    f.ctrl.m_nMaxRows = -2;
    EXPECT_EQ(f.ctrl.RowsInUse(), 0);
    EXPECT_TRUE(f.ctrl.TableData().rows.empty());
}

TEST(CtrlMatrix, ManyTextLabelsAreReadInOnePass) {
    constexpr int kRows = 100000; // a label-by-label walk would take minutes
    Fixture f(2u << 16 | CTRLF_TEXT16);
    f.ctrl.CreateMatrix({}, {});
    for (int i = 0; i < kRows; ++i)
        f.ctrl.m_pRowLabels.insert(f.ctrl.m_pRowLabels.end(), {uint8_t('a' + i % 26), 0, 0, 0});
    f.ctrl.m_nMaxRows = kRows;
    f.ctrl.m_nRows = -5;
    const MatrixTable table = f.ctrl.TableData();
    ASSERT_EQ(table.rows.size(), size_t(kRows));
    EXPECT_EQ(table.rows[0], QStringList{"f"});
    EXPECT_EQ(table.rows[kRows - 1][0], f.ctrl.RowLabelText(kRows - 1));
    EXPECT_EQ(table.rows[kRows - 1][0], "e");
    EXPECT_EQ(f.ctrl.RowLabelTexts(3), (QStringList{"f", "g", "h"}));
}

TEST(CtrlMatrix, AxisAndDateTextsFollowTheRowLabelKind) {
    Fixture numeric(1u << 16 | 1u << 22); // numeric labels, fixed style
    numeric.ctrl.CreateMatrix({}, {});
    numeric.ctrl.m_strRowLabelFormat = "%% s";
    numeric.ctrl.m_nRowLabelDecimals = 2;
    numeric.ctrl.m_strCellFormat = "%%";
    EXPECT_EQ(numeric.ctrl.AxisLabelText(2.5), "2.50 s");
    EXPECT_EQ(numeric.ctrl.AxisValueText(2.5), "2.5");
    EXPECT_EQ(numeric.ctrl.DateAxisText({}), "");

    Fixture dated(3u << 16);
    MatrixDefinition d;
    d.rowLabelFormat = "%d%/%M%";
    d.maxRows = 1;
    d.rowLabelBytes = 8;
    const uint8_t label[8] = {0, 0, 0, 9, 0, 7, 0xE8, 0x07};
    LinkMatrixData data;
    data.nRows = 1;
    data.pRowLabels = label;
    data.nRowLabelBytes = 8;
    dated.ctrl.CreateMatrix(d, data);
    EXPECT_EQ(dated.ctrl.RowLabelText(0), "9/7");
    ASSERT_TRUE(dated.ctrl.RowLabelDateTime(0));
    EXPECT_EQ(dated.ctrl.RowLabelDateTime(0)->day, 9);
    EXPECT_EQ(dated.ctrl.AxisLabelText(1.0), "");
    EXPECT_EQ(dated.ctrl.DateAxisText(*dated.ctrl.RowLabelDateTime(0)), "9/7");
}

TEST(CtrlStyles, CountsAndNamesByKind) {
    Fixture f;
    auto as = [&](int type, uint32_t flags = 0, uint32_t group = 0) -> CCtrl& {
        f.ctrl.m_nType = type;
        f.ctrl.m_dwFlags = flags;
        f.ctrl.m_nGroup = group;
        return f.ctrl;
    };
    EXPECT_EQ(as(TYPE_TEXT).StyleCount(), 1);
    EXPECT_EQ(as(TYPE_TEXT, CTRLF_EDITABLE).StyleCount(), 2);
    EXPECT_EQ(as(TYPE_TEXT).StyleName(1), "Text with OK");
    EXPECT_EQ(as(TYPE_NUMBER, CTRLF_EDITABLE).StyleCount(), 2);
    EXPECT_EQ(as(TYPE_NUMBER).StyleName(1), "Number with spin");
    EXPECT_EQ(as(TYPE_LATCH).StyleCount(), 2);
    EXPECT_EQ(as(TYPE_LATCH, 0, 3).StyleCount(), 1); // a radio group offers only "Latch"
    EXPECT_EQ(as(TYPE_LATCH, 0, 3).StyleName(0), "Latch");
    EXPECT_EQ(as(TYPE_LATCH).StyleName(1), "Check Box");
    EXPECT_EQ(as(TYPE_LIST).StyleCount(), 2);
    EXPECT_EQ(as(TYPE_LIST).StyleName(0), "List (Dropdown)");
    EXPECT_EQ(as(TYPE_MATRIX).StyleCount(), 4);
    EXPECT_EQ(as(TYPE_MATRIX).StyleName(7), "Table");
    EXPECT_EQ(as(TYPE_IMAGE).StyleCount(), 0);
    EXPECT_EQ(as(TYPE_UNSUPPORTED).StyleName(0), "???");
    EXPECT_EQ(as(TYPE_DATETIME).StyleName(0), "Date/Time (Inline)");
    EXPECT_EQ(as(TYPE_MESSAGEBOX).StyleName(0), "Message Box");
    for (int type : {0, 1, 4, 5, 8, 10, 11, 12}) EXPECT_EQ(as(type).StyleCount(), 1) << type;
    EXPECT_EQ(as(14).StyleName(0), "");
    EXPECT_EQ(as(-1).StyleName(0), "");
}

TEST(CtrlText, ControlTextWithoutWidgets) {
    Fixture named(0, u"Valve");
    named.ctrl.CreatePassword(0);
    EXPECT_EQ(named.ctrl.ControlText(), "Valve");

    Fixture f;
    auto text = [&](int type, uint32_t flags = 0) {
        f.ctrl.m_nType = type;
        f.ctrl.m_dwFlags = flags;
        return f.ctrl.ControlText();
    };
    f.ctrl.m_strText = "shown";
    EXPECT_EQ(text(TYPE_UNSUPPORTED), "[???]");
    EXPECT_EQ(text(TYPE_TEXT), "shown");
    EXPECT_EQ(text(TYPE_TEXT, CTRLF_EDITABLE | CTRLF_TEXT_MASKED), "[Password]");
    EXPECT_EQ(text(TYPE_TEXT, CTRLF_EDITABLE), std::nullopt);
    EXPECT_EQ(text(TYPE_PASSWORD), "[Password]");
    EXPECT_EQ(text(TYPE_MESSAGEBOX), "shown");
    EXPECT_EQ(text(TYPE_BUTTON), "");
    EXPECT_EQ(text(TYPE_IMAGE), "");
    EXPECT_EQ(text(TYPE_DATETIME, CTRLF_EDITABLE), std::nullopt);
    f.ctrl.m_nValue = 42;
    f.ctrl.m_strFormat = "%% V";
    EXPECT_EQ(text(TYPE_NUMBER), "42 V");
    EXPECT_EQ(text(TYPE_NUMBER, CTRLF_EDITABLE), std::nullopt);
    f.ctrl.m_nStyle = 1;
    EXPECT_EQ(text(TYPE_NUMBER, CTRLF_EDITABLE), "42 V");
    EXPECT_TRUE(f.host.boxes.empty());
    EXPECT_EQ(text(14), "");
    EXPECT_EQ(f.host.CheckPoints(), std::vector<long>{CP_CONTROL_TEXT});
}

TEST(CtrlMessageBox, IconsButtonsAndAnswers) {
    using B = BoxButton;
    EXPECT_EQ(MessageBoxIcon(0x30000), BoxIcon::Exclamation);
    EXPECT_EQ(MessageBoxIcon(0x40000), BoxIcon::Question);
    EXPECT_EQ(MessageBoxIcon(0x50000), BoxIcon::Information);
    EXPECT_EQ(MessageBoxIcon(0x70000), BoxIcon::Stop);
    EXPECT_EQ(MessageBoxButtons(0x500000), (std::vector<B>{B::Yes, B::No, B::Cancel}));
    EXPECT_EQ(MessageBoxButtons(0x700000), std::vector<B>{B::Ok});

    EXPECT_EQ(MessageBoxAnswer(0, B::Ok), 0);
    EXPECT_EQ(MessageBoxAnswer(0x100000, B::Ok), 1);
    EXPECT_EQ(MessageBoxAnswer(0x100000, B::Cancel), 0);
    EXPECT_EQ(MessageBoxAnswer(0x200000, B::Cancel), 2);
    EXPECT_EQ(MessageBoxAnswer(0x300000, B::Retry), 1);
    EXPECT_EQ(MessageBoxAnswer(0x400000, B::No), 2);
    EXPECT_EQ(MessageBoxAnswer(0x500000, B::Cancel), 3);
    EXPECT_EQ(MessageBoxAnswer(0x600000, B::Ignore), 3);
    EXPECT_EQ(MessageBoxAnswer(0x700000, B::Ok), 1);
}
