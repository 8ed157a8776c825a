// What the device pushes into a record: values by kind, matrix data, attributes, and the start of
// a Message box, with the wrong-kind check points.
#include <gtest/gtest.h>

#include "CtrlTestHost.h"

namespace {

struct Pushed {
    RecordingHost host;
    CCtrl ctrl;
    explicit Pushed(uint32_t flags = 0) {
        LinkSummary s;
        s.nId = 9;
        s.dwFlags = flags;
        ctrl.Init(s, &host);
        host.refreshes.clear();
    }
    void Show(const std::vector<uint8_t>& bytes) {
        ctrl.ShowValue(bytes.data(), uint32_t(bytes.size()));
    }
};

std::vector<uint8_t> Utf16Z(const std::u16string& s) {
    std::vector<uint8_t> out;
    for (char16_t c : s) {
        out.push_back(uint8_t(c));
        out.push_back(uint8_t(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

} // namespace

TEST(CtrlShowValue, StateBytesAndTheValueFont) {
    Pushed button;
    button.ctrl.CreateButton();
    button.Show({255});
    EXPECT_EQ(button.ctrl.m_bValue, 255);
    EXPECT_EQ(button.host.Count(9, CtrlRefresh::Value), 1);
    button.Show({});
    EXPECT_EQ(button.ctrl.m_bValue, 255); // an empty value changes nothing

    Pushed latch;
    latch.ctrl.CreateLatch(2, 0);
    latch.Show({1});
    EXPECT_EQ(latch.ctrl.m_bValue, 1);
    EXPECT_TRUE(latch.ctrl.GetFontBold());
    latch.Show({0});
    EXPECT_FALSE(latch.ctrl.GetFontBold());

    Pushed password;
    password.ctrl.CreatePassword(0);
    password.Show({255, 7});
    EXPECT_EQ(password.ctrl.m_bValue, 255);
}

TEST(CtrlShowValue, TextCountsItsOwnEditBoxChanges) {
    Pushed editable(CTRLF_EDITABLE);
    editable.ctrl.CreateText(40, "");
    editable.Show(Utf16Z(u"abc"));
    editable.Show(Utf16Z(u"abcd"));
    EXPECT_EQ(editable.ctrl.m_strText, "abcd");
    EXPECT_EQ(editable.ctrl.m_nTextEcho, 2);
    EXPECT_EQ(editable.host.Count(9, CtrlRefresh::Value), 2);

    Pushed display;
    display.ctrl.CreateText(40, "");
    display.Show(Utf16Z(u"xy"));
    EXPECT_EQ(display.ctrl.m_strText, "xy");
    EXPECT_EQ(display.ctrl.m_nTextEcho, 0); // no edit box, nothing to swallow

    // Without a terminator, or with an odd byte, the text ends with the value.
    display.Show({'h', 0, 'i', 0, '!'});
    EXPECT_EQ(display.ctrl.m_strText, "hi");

    Pushed box;
    box.ctrl.CreateMessageBox("");
    box.Show(Utf16Z(u"Proceed?"));
    EXPECT_EQ(box.ctrl.m_strText, "Proceed?");
}

TEST(CtrlShowValue, NumbersListsAndDates) {
    Pushed number;
    NumberDefinition d;
    d.min = 0;
    d.max = 100;
    number.ctrl.m_dwFlags = CTRLF_CLAMP_MIN | CTRLF_CLAMP_MAX;
    number.ctrl.CreateNumber(d, 50);
    number.Show({200, 0, 0, 0});
    EXPECT_EQ(number.ctrl.m_nValue, 200); // the device may leave the range
    EXPECT_EQ(number.ctrl.NumberText(0), "200");
    number.Show({1, 2, 3});
    EXPECT_EQ(number.ctrl.m_nValue, 200);

    Pushed list;
    list.ctrl.CreateList(2, std::u16string(u"a\0b\0", 4), 1);
    list.Show({0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(list.ctrl.m_nSelection, -1);

    Pushed date;
    const uint8_t start[8] = {};
    date.ctrl.CreateDateTime("%yyyy%", start);
    date.Show({1, 2, 3, 4, 5, 6, 0xD0, 0x07});
    EXPECT_EQ(date.ctrl.DateTimeValue().year, 2000);
    EXPECT_EQ(date.ctrl.DateTimeText(), "2000");
    date.Show({9, 9, 9});
    EXPECT_EQ(date.ctrl.DateTimeValue().second, 1);
}

TEST(CtrlShowValue, BlobOverCapacityKeepsTheFirstBytes) {
    Pushed blob;
    blob.ctrl.CreateBlob(4, nullptr, 0);
    blob.Show({1, 2, 3, 4, 5, 6});
    EXPECT_EQ(blob.ctrl.m_pData, (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(blob.ctrl.m_nDataLen, 4u);
    blob.Show({9});
    EXPECT_EQ(blob.ctrl.m_pData, (std::vector<uint8_t>{9, 2, 3, 4}));
    EXPECT_EQ(blob.ctrl.m_nDataLen, 1u);

    Pushed none;
    none.ctrl.CreateBlob(0x100000, nullptr, 0); // refused: no buffer
    none.Show({1, 2});
    EXPECT_EQ(none.ctrl.m_nDataLen, 0u);
}

TEST(CtrlShowValue, ImageFileUnsupportedAndWrongKinds) {
    Pushed image;
    image.ctrl.CreateImage(nullptr, 0);
    image.Show({'G', 'I', 'F'});
    ASSERT_EQ(image.host.pictures.size(), 2u);
    EXPECT_EQ(image.host.pictures[1].second, (std::vector<uint8_t>{'G', 'I', 'F'}));
    EXPECT_EQ(image.ctrl.m_nDataSize, 3u);

    Pushed file;
    file.ctrl.CreateFile();
    file.host.refreshes.clear();
    file.Show({1});
    EXPECT_TRUE(file.host.refreshes.empty());

    Pushed unsupported;
    unsupported.ctrl.CreateUnsupported();
    unsupported.host.refreshes.clear();
    unsupported.Show({1});
    EXPECT_EQ(unsupported.host.RefreshesOf(9), std::vector<CtrlRefresh>{CtrlRefresh::Value});

    Pushed matrix;
    matrix.ctrl.CreateMatrix({}, {});
    matrix.Show({1, 2, 3, 4});
    ASSERT_EQ(matrix.host.boxes.size(), 1u);
    EXPECT_EQ(matrix.host.boxes[0].checkPoint, CP_VALUE_MATRIX);
    EXPECT_EQ(matrix.host.boxes[0].unit, "CCtrl");
    EXPECT_EQ(matrix.host.boxes[0].value, 0);

    Pushed unknown;
    unknown.ctrl.m_nType = 14;
    unknown.Show({1});
    EXPECT_EQ(unknown.host.CheckPoints(), std::vector<long>{CP_VALUE_KIND});
    EXPECT_TRUE(unknown.host.refreshes.empty());
}

TEST(CtrlMatrixData, ReplacesTheWholeBuffersAtTheirCreatedSizes) {
    Pushed m(1u << 16); // numeric 32-bit row labels
    MatrixDefinition d;
    d.maxRows = 2;
    d.cols = 1;
    d.cellBytes = 8;
    d.rowLabelBytes = 8;
    d.cellFormat = "%%";
    d.rowLabelFormat = "%%";
    m.ctrl.CreateMatrix(d, {});
    m.host.refreshes.clear();

    const std::vector<uint8_t> cells = {1, 0, 0, 0, 2, 0, 0, 0, 99, 99, 99, 99};
    const std::vector<uint8_t> labels = {7, 0, 0, 0};
    m.ctrl.SetMatrixData(uint32_t(-1), cells.data(), cells.size(), labels.data(), labels.size());
    EXPECT_EQ(m.ctrl.m_pCells, (std::vector<uint8_t>{1, 0, 0, 0, 2, 0, 0, 0}));
    EXPECT_EQ(m.ctrl.m_pRowLabels, (std::vector<uint8_t>{7, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(m.ctrl.m_nRows, -1);
    EXPECT_EQ(m.ctrl.RowsInUse(), 2);
    EXPECT_EQ(m.ctrl.CellText(0, 0), "2"); // the oldest row is buffer row 1
    EXPECT_EQ(m.ctrl.RowLabelText(1), "7");
    EXPECT_EQ(m.host.RefreshesOf(9), std::vector<CtrlRefresh>{CtrlRefresh::MatrixData});

    // Flags changed since creation cannot stretch the copy.
    m.ctrl.SetFlagsAndColour(2u << 16, 0);
    const std::vector<uint8_t> wide(64, 0xAA);
    m.ctrl.SetMatrixData(2, wide.data(), wide.size(), wide.data(), wide.size());
    EXPECT_EQ(m.ctrl.m_pRowLabels.size(), 8u);
    EXPECT_EQ(m.ctrl.m_pCells.size(), 8u);

    m.ctrl.SetMatrixData(LinkMatrixData{});
    EXPECT_EQ(m.ctrl.m_pCells, std::vector<uint8_t>(8, 0));
    EXPECT_EQ(m.ctrl.m_nRows, 0);

    Pushed text;
    text.ctrl.CreateText(10, "keep");
    text.ctrl.SetMatrixData(3, cells.data(), cells.size(), nullptr, 0);
    EXPECT_EQ(text.host.CheckPoints(), std::vector<long>{CP_MATRIX_KIND});
    EXPECT_EQ(text.ctrl.m_nRows, 0);
    EXPECT_TRUE(text.ctrl.m_pCells.empty());
}

TEST(CtrlAttributes, FlagsAndColourReplacedThenRedrawn) {
    Pushed p(CTRLF_DISABLED | CTRLF_EDITABLE);
    p.ctrl.CreateButton();
    p.host.refreshes.clear();
    p.ctrl.SetFlagsAndColour(CTRLF_HIDDEN, 0x0000FF);
    EXPECT_EQ(p.ctrl.m_dwFlags, 0x1u);
    EXPECT_EQ(p.ctrl.m_crColour, 0x0000FFu);
    EXPECT_EQ(p.host.RefreshesOf(9),
              (std::vector<CtrlRefresh>{CtrlRefresh::Brush, CtrlRefresh::Attributes}));
}

TEST(CtrlMessageBox, StartsOnceUntilTheFlagIsCleared) {
    Pushed p;
    p.ctrl.CreateMessageBox("Go?");
    p.ctrl.ShowMessageBox();
    p.ctrl.ShowMessageBox();
    EXPECT_EQ(p.host.messageBoxes, std::vector<uint32_t>{9});
    EXPECT_TRUE(p.ctrl.m_dwFlags & CTRLF_BOX_SHOWN);
    p.ctrl.SetFlagsAndColour(0, 0);
    p.ctrl.ShowMessageBox();
    EXPECT_EQ(p.host.messageBoxes.size(), 2u);

    Pushed other;
    other.ctrl.CreateButton();
    other.ctrl.ShowMessageBox();
    EXPECT_TRUE(other.host.messageBoxes.empty());
    EXPECT_EQ(other.ctrl.m_dwFlags, 0u);
}
