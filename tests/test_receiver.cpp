// The receive thread against a device played by the test: marker hunt, dispatch of every code,
// values, matrix rows, attributes, files and layout records, acknowledgements and close.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "Frame.h"
#include "LayoutProps.h"
#include "Link.h"
#include "support/LinkHarness.h"

namespace fs = std::filesystem;

namespace {

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

uint32_t ValueU32(uint32_t id) {
    uint32_t v = 0, size = 4;
    LinkGetValue(id, &v, &size);
    return v;
}

uint8_t ValueByte(uint32_t id) {
    uint8_t v = 0;
    uint32_t size = 1;
    LinkGetValue(id, &v, &size);
    return v;
}

std::u16string ValueText(uint32_t id) {
    uint32_t size = 0;
    LinkGetValue(id, nullptr, &size);
    std::u16string text(size / 2, u'\0');
    LinkGetValue(id, text.data(), &size);
    while (!text.empty() && text.back() == 0) text.pop_back();
    return text;
}

// Text 1 (8-bit, 16 bytes), Text 2 (UTF-16, 16 bytes), Button 3, Number 4, Latches 5 and 6
// (group 3, 6 editable), File 7, Message box 8, Matrix 9 (M=4, C=2, 2-byte cells, 1-byte labels).
std::vector<Bytes> SamplePanel() {
    return {
        Definition('T', 0, 1, AnsiZ("hi"), {{'m', U32Bytes(16)}}),
        Definition('T', CTRLF_TEXT16, 2, Utf16Z(u"hi"), {{'m', U32Bytes(16)}}),
        Definition('B', 0, 3, {0}),
        Definition('N', 0, 4, U32Bytes(10), {{'n', U32Bytes(0)}, {'x', U32Bytes(100)}}),
        Definition('G', 0, 5, {1}, {{'r', U32Bytes(3)}}),
        Definition('G', CTRLF_LATCH_MOMENTARY, 6, {1}, {{'r', U32Bytes(3)}}),
        Definition('F', 0, 7, {}),
        Definition('X', 0, 8, AnsiZ(""), {{'m', U32Bytes(8)}}),
        Definition('M', (1u << 16) | (2u << 18) | (1u << 20), 9, Bytes(4 * 2 * 2 + 4 + 4, 0),
                   {{'n', U32Bytes(4)}, {'N', U32Bytes(2)}}),
    };
}

class Receiver : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(link.openStatus, 0);
        ASSERT_EQ(link.LoadPanel(SamplePanel()), LINK_PANEL);
        ASSERT_EQ(LinkGetCount(), 9);
    }
    LinkHarness link;
};

TEST_F(Receiver, FindsAMarkerAfterAFalseStartAndGarbage) {
    Bytes falseStart = {0x00, 0x13, 0x48, 0xEF, 0xF0, 0x74, 0x72, 0xEF, 0xE6};
    Bytes header = DeviceHeader(MSG_DEVICE_ACK);
    header[8] = 0x77; // fixed words are not checked
    link.peer.Write(Concat({falseStart, header}));
    EXPECT_EQ(link.NextOutcome(), LINK_ACK);
}

TEST_F(Receiver, ReportsEveryHeaderOnlyCode) {
    const std::pair<uint16_t, int> cases[] = {{MSG_DEVICE_CLOSED, LINK_CLOSED},
                                              {MSG_DEVICE_CLOSED_ALT, LINK_CLOSED},
                                              {MSG_DEVICE_ACK, LINK_ACK},
                                              {MSG_PANEL_CHANGED, LINK_RELOAD},
                                              {3, LINK_ERROR},
                                              {20, LINK_ERROR}};
    for (auto [code, outcome] : cases) {
        link.peer.WriteFrame(code);
        EXPECT_EQ(link.NextOutcome(), outcome) << "code " << code;
    }
}

TEST_F(Receiver, UnknownCodeReadsNoPayload) {
    // The payload of an unknown message is garbage before the next marker.
    link.peer.Write(Concat({DeviceHeader(7), U32Bytes(1), DeviceHeader(MSG_DEVICE_ACK)}));
    EXPECT_EQ(link.NextOutcome(), LINK_ERROR);
    EXPECT_EQ(link.NextOutcome(), LINK_ACK);
}

TEST_F(Receiver, AnswersPresenceQueriesAndAcknowledgesOnRequest) {
    link.peer.WriteFrame(MSG_PRESENCE_QUERY);
    EXPECT_EQ(link.NextOutcome(), LINK_PRESENCE);
    EXPECT_EQ(link.NextClientCode(), MSG_PRESENCE_REPLY);

    link.peer.WriteFrame(MSG_DEVICE_VALUES, HF_ACK_REQUEST, ItemList({{3, {255}}}));
    EXPECT_EQ(link.NextOutcome(), LINK_VALUES);
    EXPECT_EQ(link.NextClientCode(), MSG_ACK);

    link.peer.WriteFrame(MSG_DEVICE_VALUES, 0, ItemList({{3, {0}}}));
    EXPECT_EQ(link.NextOutcome(), LINK_VALUES);
    EXPECT_TRUE(link.peer.Drain(50).empty());
}

TEST_F(Receiver, PanelInfoSetsTitleAboutAndFlags) {
    link.peer.WriteFrame(MSG_PANEL_INFO, HF_NO_PINGS | HF_KEEP_PANEL,
                         Payload().Sized(AnsiZ("Gr\xFCnhaus")).Sized(Utf16Bytes(u"About \u00E9")));
    EXPECT_EQ(link.NextOutcome(), LINK_TITLE);
    EXPECT_EQ(LinkGetTitle(), u"Gr\u00FCnhaus");
    EXPECT_EQ(LinkGetAboutText(), u"About \u00E9");
    EXPECT_FALSE(LinkPingsAllowed());
    EXPECT_TRUE(LinkKeepPanel());

    link.peer.WriteFrame(MSG_PANEL_INFO, HF_TITLE_UTF16,
                         Payload().Sized(Utf16Bytes(u"\u6E29\u5BA4")).Sized({}));
    EXPECT_EQ(link.NextOutcome(), LINK_TITLE);
    EXPECT_EQ(LinkGetTitle(), u"\u6E29\u5BA4");
    EXPECT_EQ(LinkGetAboutText(), u"");
    EXPECT_TRUE(LinkPingsAllowed());
    EXPECT_FALSE(LinkKeepPanel());

    // A title too long to take: the panel's layout goes under the program's name.
    link.peer.WriteFrame(MSG_PANEL_INFO, 0, Payload().U32(0x10000).Sized({}));
    EXPECT_EQ(link.NextOutcome(), LINK_TITLE);
    EXPECT_EQ(link.services.alerts.Count(RecordedBox::SizeAlarm), 1);
    SetLayoutInt(0, 768, 5);
    EXPECT_EQ(link.services.store.Values().count({u"Talvex", LayoutValueName(0, 768)}), 1u);
}

TEST_F(Receiver, AppliesValuesAndSkipsUnknownIds) {
    Bytes number = U32Bytes(77);
    link.peer.WriteFrame(MSG_DEVICE_VALUES, 0,
                         ItemList({{999, {1, 2, 3}},
                                   {1, AnsiZ("caf\xE9")},
                                   {2, Utf16Z(u"\u00FCber")},
                                   {4, number},
                                   {5, {0}}}));
    EXPECT_EQ(link.NextOutcome(), LINK_VALUES);
    LinkLock();
    EXPECT_TRUE(LinkIsDeviceChanged(1));
    EXPECT_EQ(ValueText(1), u"caf\u00E9");
    EXPECT_FALSE(LinkIsDeviceChanged(1)); // reading clears the mark
    EXPECT_EQ(ValueText(2), u"\u00FCber");
    EXPECT_EQ(ValueU32(4), 77u);
    EXPECT_EQ(ValueByte(5), 0);
    EXPECT_FALSE(LinkIsDeviceChanged(999));
    LinkUnlock();
}

TEST_F(Receiver, ShortItemsChangeOnlyWhatTheyHold) {
    // Zero-length Number and Button items keep the value but mark the change; a 1-byte Number
    // item replaces only the low byte.
    link.peer.WriteFrame(MSG_DEVICE_VALUES, 0, ItemList({{4, U32Bytes(0x1234)}}));
    EXPECT_EQ(link.NextOutcome(), LINK_VALUES);
    link.peer.WriteFrame(MSG_DEVICE_VALUES, 0, ItemList({{4, {}}, {3, {}}}));
    EXPECT_EQ(link.NextOutcome(), LINK_VALUES);
    EXPECT_EQ(ValueU32(4), 0x1234u);
    link.peer.WriteFrame(MSG_DEVICE_VALUES, 0, ItemList({{3, {}}, {4, {0x99}}}));
    EXPECT_EQ(link.NextOutcome(), LINK_VALUES);
    LinkLock();
    EXPECT_TRUE(LinkIsDeviceChanged(3));
    EXPECT_EQ(ValueByte(3), 0);
    EXPECT_EQ(ValueU32(4), 0x1299u);
    LinkUnlock();
}

TEST_F(Receiver, LongTextsAreCutAndTerminated) {
    link.peer.WriteFrame(MSG_DEVICE_VALUES, 0,
                         ItemList({{1, AnsiZ("0123456789abcdefXYZ")},
                                   {2, Utf16Z(u"0123456789abcdefXYZ")},
                                   {8, AnsiZ("message too long")}}));
    EXPECT_EQ(link.NextOutcome(), LINK_VALUES);
    LinkLock();
    EXPECT_EQ(ValueText(1), u"0123456789abcde"); // 16 characters, the last one the terminator
    EXPECT_EQ(ValueText(2), u"0123456");         // 16 bytes of UTF-16
    EXPECT_EQ(ValueText(8), u"message");
    LinkUnlock();
}

TEST_F(Receiver, MatrixRowsLandInTheirCellsAndBadRowsAreIgnored) {
    // Row 2: cells 0x0102 and 0x0304, label 9, rows value 3.
    Bytes row = Concat({{0x02, 0x01, 0x04, 0x03, 9}, U32Bytes(3), U32Bytes(2)});
    // Rows at the capacity (4) and far past it, a short item: none of them changes anything.
    Bytes atCapacity = Concat({{1, 1, 1, 1, 1}, U32Bytes(4), U32Bytes(4)});
    Bytes farOut = Concat({{1, 1, 1, 1, 1}, U32Bytes(4), U32Bytes(0xFFFFFFF0)});
    link.peer.WriteFrame(MSG_MATRIX_ROWS, 0,
                         ItemList({{9, row}, {9, Bytes(7, 0xEE)}, {9, atCapacity}, {9, farOut}}));
    EXPECT_EQ(link.NextOutcome(), LINK_VALUES);
    LinkLock();
    LinkMatrixData m;
    ASSERT_EQ(LinkGetMatrix(9, m), 0);
    EXPECT_EQ(m.nRows, 3u);
    ASSERT_EQ(m.nCellBytes, 16u);
    EXPECT_EQ(Bytes(m.pCells, m.pCells + 16),
              (Bytes{0, 0, 0, 0, 2, 1, 0, 0, 0, 0, 0, 0, 4, 3, 0, 0}));
    ASSERT_GE(m.nRowLabelBytes, 4u);
    EXPECT_EQ(m.pRowLabels[2], 9);
    LinkUnlock();
}

TEST_F(Receiver, MatrixRowsForAnotherKindFail) {
    link.peer.WriteFrame(MSG_MATRIX_ROWS, 0, ItemList({{4, Bytes(12, 0)}}));
    EXPECT_EQ(link.NextOutcome(), LINK_ERROR);
    EXPECT_EQ(link.services.alerts.DiagnosticValues(),
              (std::vector<long>{KIND_NUMBER, LINK_ERROR}));
}

TEST_F(Receiver, WholeMatrixFillsCellsLabelsAndRows) {
    Bytes whole = Concat({Bytes{1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 0},
                          Bytes{10, 11, 12, 13}, U32Bytes(2)});
    link.peer.WriteFrame(MSG_DEVICE_VALUES, 0, ItemList({{9, whole}}));
    EXPECT_EQ(link.NextOutcome(), LINK_VALUES);
    LinkLock();
    LinkMatrixData m;
    ASSERT_EQ(LinkGetMatrix(9, m), 0);
    EXPECT_EQ(m.nRows, 2u);
    EXPECT_EQ(m.pCells[14], 8);
    EXPECT_EQ(m.pRowLabels[3], 13);
    LinkUnlock();
}

TEST_F(Receiver, AttributeChangesTakeOnlyTheKindsBits) {
    uint32_t flags = 0, colour = 0;
    LinkLock();
    LinkGetAttributes(1, &flags, &colour);
    LinkUnlock();
    link.peer.WriteFrame(
        MSG_ATTRIBUTES, 0,
        ItemList({{1, Concat({U32Bytes(0x51 | 0x80), U32Bytes(0x123456)})}, {4, {1, 0, 0}}}));
    EXPECT_EQ(link.NextOutcome(), LINK_ATTRIBUTES);
    LinkLock();
    EXPECT_TRUE(LinkIsAttrChanged(1));
    EXPECT_FALSE(LinkIsAttrChanged(4)); // a 3-byte change holds no whole flags word
    uint32_t newFlags = 0, newColour = 0;
    EXPECT_EQ(LinkGetAttributes(1, &newFlags, &newColour), 0);
    EXPECT_EQ(newFlags, flags | 0x11);
    EXPECT_EQ(newColour, 0x123456u);
    EXPECT_FALSE(LinkIsAttrChanged(1));
    LinkUnlock();

    // Without bit 0x40 the colour stays.
    link.peer.WriteFrame(MSG_ATTRIBUTES, 0, ItemList({{1, Concat({U32Bytes(0), U32Bytes(7)})}}));
    EXPECT_EQ(link.NextOutcome(), LINK_ATTRIBUTES);
    LinkLock();
    LinkGetAttributes(1, &newFlags, &newColour);
    EXPECT_EQ(newFlags, flags & ~0x11u);
    EXPECT_EQ(newColour, 0x123456u);
    LinkUnlock();
}

TEST_F(Receiver, LayoutRecordsGoToThePanelsSectionForItsControlsAndKnownCodesOnly) {
    link.peer.WriteFrame(MSG_LAYOUT_RECORDS, 0,
                         Payload()
                             .U32(5)
                             .U32(0)
                             .U32(PANEL_PROP_SWITCH_A)
                             .U32(3)
                             .U32(5)
                             .U32(CTRL_PROP_HIDE)
                             .U32(1)
                             .U32(4)
                             .U32(CTRL_PROP_PAGE + CTRL_PROP_SECOND)
                             .U32(2)
                             .U32(777)
                             .U32(CTRL_PROP_X)
                             .U32(9) // no such control
                             .U32(5)
                             .U32(0x12345)
                             .U32(9)); // no such property
    EXPECT_EQ(link.NextOutcome(), LINK_LAYOUT);
    auto values = link.services.store.Values();
    EXPECT_EQ(values.size(), 5u);
    EXPECT_EQ((values[{u"Talvex", "0000000000000100"}]), 3);
    EXPECT_EQ((values[{u"Talvex", "00000005000001F0"}]), 1);
    EXPECT_EQ((values[{u"Talvex", "0000000500000000"}]), 0);
    EXPECT_EQ((values[{u"Talvex", "0000000400000141"}]), 2);
    EXPECT_EQ((values[{u"Talvex", "0000000400000000"}]), 0);

    // A flood of records for controls that are not there stores nothing.
    Payload flood;
    flood.U32(5000);
    for (uint32_t i = 0; i < 5000; ++i) flood.U32(1000 + i).U32(CTRL_PROP_X).U32(i);
    link.peer.WriteFrame(MSG_LAYOUT_RECORDS, 0, flood);
    EXPECT_EQ(link.NextOutcome(), LINK_LAYOUT);
    EXPECT_EQ(link.services.store.Values().size(), 5u);
}

TEST_F(Receiver, BoxesAreRaisedWithTheLinkLockFreeAndTheNextMessageIsHandled) {
    // A value for a File, a matrix row for a Number, an oversize item.
    link.peer.WriteFrame(MSG_DEVICE_VALUES, 0, ItemList({{7, {1}}}));
    EXPECT_EQ(link.NextOutcome(), LINK_VALUES);
    link.peer.WriteFrame(MSG_MATRIX_ROWS, 0, ItemList({{4, Bytes(12, 0)}}));
    EXPECT_EQ(link.NextOutcome(), LINK_ERROR);
    link.peer.WriteFrame(MSG_DEVICE_VALUES, 0, ItemList({{1, Bytes(0x200001, 'A')}}));
    EXPECT_EQ(link.NextOutcome(), LINK_VALUES);
    // A value the user cannot send (a picture that is not editable) raises its box on the
    // sending thread.
    ASSERT_EQ(link.LoadPanel({Definition('I', 0, 20, Bytes{1, 2, 3}), Bytes{}}), LINK_PANEL);
    EXPECT_EQ(LinkSetValue(20, "x", 1), 0);
    EXPECT_EQ(LinkSendChanges(), 888);
    // An attribute change for an entry never filled.
    link.peer.WriteFrame(MSG_ATTRIBUTES, 0, ItemList({{0, U32Bytes(1)}}));
    EXPECT_EQ(link.NextOutcome(), LINK_ERROR);
    EXPECT_EQ(link.services.alerts.DiagnosticValues(),
              (std::vector<long>{12, KIND_NUMBER, LINK_ERROR, 888, KIND_NONE, LINK_ERROR}));
    EXPECT_EQ(link.services.alerts.Count(RecordedBox::SizeAlarm), 1);
    EXPECT_EQ(link.services.alerts.UnderLock(), 0);
    link.peer.WriteFrame(MSG_DEVICE_ACK);
    EXPECT_EQ(link.NextOutcome(), LINK_ACK);
}

TEST_F(Receiver, AnImageValueIsANewPictureKeptWhole) {
    ASSERT_EQ(link.LoadPanel({Definition('I', 0, 20, Bytes{1, 2, 3}), Bytes{}}), LINK_PANEL);
    Bytes gif(150000); // read in several pieces
    for (size_t i = 0; i < gif.size(); ++i) gif[i] = uint8_t(i * 13);
    link.peer.WriteFrame(MSG_DEVICE_VALUES, 0, ItemList({{20, gif}}));
    EXPECT_EQ(link.NextOutcome(), LINK_VALUES);
    LinkLock();
    EXPECT_TRUE(LinkIsDeviceChanged(20));
    uint32_t size = 0;
    LinkGetValue(20, nullptr, &size);
    Bytes got(size);
    LinkGetValue(20, got.data(), &size);
    LinkUnlock();
    EXPECT_EQ(got, gif);
    // One the view could not read whole is dropped with its diagnostic.
    link.peer.WriteFrame(MSG_DEVICE_VALUES, 0, ItemList({{20, Bytes(0x100000, 1)}}));
    EXPECT_EQ(link.NextOutcome(), LINK_VALUES);
    EXPECT_EQ(link.services.alerts.DiagnosticValues(), (std::vector<long>{777}));
}

TEST_F(Receiver, APanelOverTheBudgetIsRefusedWholeAndThePreviousStays) {
    LinkSetPanelBudget(3 << 20);
    // Each matrix of 262,143 rows of one 4-byte column asks for about 1 MiB.
    std::vector<Bytes> huge;
    for (uint32_t id = 100; id < 108; ++id)
        huge.push_back(Definition('M', 0, id, {}, {{'n', U32Bytes(262143)}, {'N', U32Bytes(1)}}));
    EXPECT_EQ(link.LoadPanel(huge), LINK_PANEL_REFUSED);
    LinkSetPanelBudget(256 << 20);
    EXPECT_EQ(LinkGetCount(), 9);
    EXPECT_EQ(LinkGetKind(4), KIND_NUMBER);
    auto boxes = link.services.alerts.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"The panel definition was refused: its controls would need more "
                             u"than 3 MiB of memory.");
    // The stream stayed in step.
    link.peer.WriteFrame(MSG_DEVICE_ACK);
    EXPECT_EQ(link.NextOutcome(), LINK_ACK);
    EXPECT_EQ(link.LoadPanel({huge[0], huge[1]}), LINK_PANEL);
    EXPECT_EQ(LinkGetCount(), 2);
}

TEST_F(Receiver, ClosingWhileWaitingEndsWithoutAReport) {
    int before = link.services.notifier.Posts();
    EXPECT_EQ(LinkClose(false), 0);
    EXPECT_EQ(link.services.notifier.Posts(), before);
    EXPECT_EQ(LinkGetCount(), 0);
}

TEST_F(Receiver, ANewDefinitionReplacesTheTable) {
    EXPECT_EQ(link.LoadPanel({Definition('B', 0, 42, {0})}), LINK_PANEL);
    EXPECT_EQ(LinkGetCount(), 1);
    EXPECT_EQ(LinkGetKind(42), KIND_BUTTON);
    EXPECT_EQ(LinkGetKind(1), -1);
}

TEST_F(Receiver, OversizeItemsAreSkippedAndTheRestStillApplies) {
    Bytes huge(0x200001, 0x41);
    link.peer.WriteFrame(MSG_DEVICE_VALUES, 0, ItemList({{1, huge}, {4, U32Bytes(5)}}));
    EXPECT_EQ(link.NextOutcome(), LINK_VALUES);
    EXPECT_EQ(link.services.alerts.Count(RecordedBox::SizeAlarm), 1);
    EXPECT_EQ(link.services.alerts.QuitRequests(), 1);
    LinkLock();
    EXPECT_EQ(ValueU32(4), 5u);
    EXPECT_EQ(ValueText(1), u"hi");
    LinkUnlock();
}

TEST(ReceiverWithoutNotifyMessage, GoesStraightOnToTheNextMessage) {
    LinkFixtureServices services;
    PtyPeer peer;
    ASSERT_EQ(LinkOpenDevice(peer.SlavePath(), nullptr, 0), 0);
    uint16_t code = 0, flags = 0;
    ASSERT_TRUE(peer.ReadHeader(code, flags));
    peer.WriteFrame(MSG_PRESENCE_QUERY);
    peer.WriteFrame(MSG_PRESENCE_QUERY);
    ASSERT_TRUE(peer.ReadHeader(code, flags));
    EXPECT_EQ(code, MSG_PRESENCE_REPLY);
    ASSERT_TRUE(peer.ReadHeader(code, flags));
    EXPECT_EQ(code, MSG_PRESENCE_REPLY);
    EXPECT_EQ(services.notifier.Posts(), 0);
    EXPECT_EQ(LinkClose(false), 0);
}

class CollectingTrace : public ILinkTraceSink {
public:
    void Frame(const std::string& line) override {
        std::lock_guard g(m_mutex);
        m_lines.push_back(line);
    }
    std::vector<std::string> Lines() {
        std::lock_guard g(m_mutex);
        return m_lines;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

TEST_F(Receiver, TraceLogsEachFrameSentAndReceivedAsOneLine) {
    CollectingTrace trace;
    // Services are set while no receive thread runs: close, set, open again.
    LinkClose(false);
    LinkSetServices(
        LinkServices{&link.services.notifier, &link.services.alerts, &link.services.store, &trace});
    ASSERT_EQ(LinkOpenDevice(link.peer.SlavePath(), &link.window, kNotifyMessage), 0);
    uint16_t code = 0, flags = 0;
    link.peer.ReadHeader(code, flags); // the connect request
    EXPECT_EQ(LinkSendRequest(REQUEST_LAYOUT), 0);
    link.peer.WriteFrame(MSG_DEVICE_VALUES, 0, ItemList({{4, U32Bytes(1)}}));
    EXPECT_EQ(link.NextOutcome(), LINK_VALUES);
    LinkClose(false);
    LinkSetServices(LinkServices{&link.services.notifier, &link.services.alerts,
                                 &link.services.store, nullptr});
    std::vector<std::string> frames = trace.Lines();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].rfind("send MSG_CONNECT (1) bytes=20 | ", 0), 0u);
    EXPECT_EQ(frames[1], "send MSG_REQUEST (18) bytes=24: argument 512 | "
                         "48EFF07472EFE66600020000020001001200000000020000");
    EXPECT_EQ(frames[2].rfind("recv MSG_DEVICE_VALUES (9) bytes=36: 1 item #4 (unknown) 4 bytes | "
                              "48EFF07472EFE666",
                              0),
              0u);
}

class ReceivedFiles : public Receiver {
protected:
    void SetUp() override {
        Receiver::SetUp();
        dir = fs::temp_directory_path() / ("talvex-files-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        LinkSetFilesDirectory(dir.string());
        ASSERT_EQ(
            link.LoadPanel({Definition('F', 0, 7, {}), Definition('F', CTRLF_TEXT16, 70, {})}),
            LINK_PANEL);
    }
    void TearDown() override {
        LinkSetFilesDirectory("");
        fs::remove_all(dir);
    }
    static Bytes OneFile(const Bytes& name, const Bytes& data) {
        return Payload().Sized(name).Sized(data).bytes();
    }
    // One file for control 7 (8-bit names) or 70 (UTF-16 names); its outcome.
    int Send(uint32_t id, const Bytes& name, const Bytes& data, uint16_t flags = 0) {
        link.peer.WriteFrame(MSG_FILES, flags,
                             Concat({U32Bytes(id), U32Bytes(1), OneFile(name, data)}));
        return link.NextOutcome();
    }
    std::string Read(const std::string& name) {
        std::ifstream in(dir / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // What the folder holds for the user to see, and any temporary file: all but the record.
    std::set<std::string> Entries() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().filename() != ".talvex.received") names.insert(e.path().filename());
        return names;
    }
    std::vector<std::u16string> Messages() {
        std::vector<std::u16string> texts;
        for (const RecordedBox& b : link.services.alerts.Boxes())
            if (b.type == RecordedBox::Message) texts.push_back(b.text);
        link.services.alerts.Clear();
        return texts;
    }
    std::u16string Dir() const { return u"" + dir.u16string(); }
    fs::path dir;
};

TEST_F(ReceivedFiles, AreWrittenInChunksNamedAndListedAsSaved) {
    Bytes big(10000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 7);
    link.peer.WriteFrame(MSG_FILES, HF_ACK_REQUEST,
                         Concat({U32Bytes(7), U32Bytes(2), OneFile(AnsiZ("log.csv"), big),
                                 OneFile(AnsiZ("b.txt"), {'x'})}));
    EXPECT_EQ(link.NextOutcome(), LINK_FILES);
    EXPECT_EQ(link.NextClientCode(), MSG_ACK);
    EXPECT_EQ(Read("log.csv"), std::string(big.begin(), big.end()));
    EXPECT_EQ(Read("b.txt"), "x");
    EXPECT_EQ(LinkGetFileName(7), u"log.csv");
    EXPECT_TRUE(LinkIsDeviceChanged(7));
    EXPECT_EQ(LinkTakeSavedFiles(), (std::vector<std::u16string>{u"log.csv", u"b.txt"}));
    EXPECT_TRUE(LinkTakeSavedFiles().empty());

    EXPECT_EQ(Send(70, Utf16Z(u"\u00E9t\u00E9.txt"), {'1'}), LINK_FILES);
    EXPECT_EQ(Read("\xC3\xA9t\xC3\xA9.txt"), "1");
    EXPECT_EQ(LinkGetFileName(70), u"\u00E9t\u00E9.txt");
}

TEST_F(ReceivedFiles, UnsafeHiddenAndDisguisedNamesAreRefusedByNameAndTheStreamStaysInStep) {
    const std::pair<std::u16string, std::u16string> refused[] = {
        {u".bashrc", u"The device sent a file named .bashrc; hidden file names are not accepted"},
        {u"report\u202Etxt.exe",
         u"The device sent a file named report<U+202E>txt.exe; names with invisible formatting "
         u"characters (such as a right-to-left override or a zero-width space) are not "
         u"accepted"},
        {u"a\u200Bb.txt", u""},
        {u"../escape.txt", u"The device sent a file named ../escape.txt; names with a folder "
                           u"or path in them are not accepted"},
        {u"/tmp/abs.txt", u""},
        {u"a\\b", u""},
        {u"c:x", u""},
        {u".", u""},
        {u"..", u""},
        {u"tab\there", u"The device sent a file named tab<U+0009>here; names with control "
                       u"characters are not accepted"},
        {u"", u"The device sent a file without a name; it was not saved"},
        {std::u16string(300, u'n'), u""},
    };
    LinkLock();
    LinkFind(70)->m_strFileName = u"earlier.txt";
    LinkUnlock();
    for (const auto& [name, message] : refused) {
        link.peer.WriteFrame(
            MSG_FILES, HF_ACK_REQUEST,
            Concat({U32Bytes(70), U32Bytes(1), OneFile(Utf16Z(name), Bytes(5000, 'A'))}));
        link.peer.WriteFrame(MSG_PRESENCE_QUERY);
        EXPECT_EQ(link.NextOutcome(), LINK_FILES);
        const std::vector<std::u16string> said = Messages();
        ASSERT_EQ(said.size(), 1u);
        if (!message.empty()) {
            EXPECT_EQ(said[0], message);
        }
        EXPECT_EQ(link.NextOutcome(), LINK_PRESENCE);
        EXPECT_EQ(link.NextClientCode(), MSG_PRESENCE_REPLY); // not acknowledged
        // The receiver has gone on to the next message: the table is read under the lock.
        LinkLock();
        EXPECT_EQ(LinkGetFileName(70), u"");
        LinkUnlock();
    }
    // Many in one message: the first few, then how many more.
    Payload many = Payload().U32(7).U32(8);
    for (int i = 0; i < 8; ++i) many.Sized(AnsiZ(".x")).Sized({});
    link.peer.WriteFrame(MSG_FILES, 0, many.bytes());
    EXPECT_EQ(link.NextOutcome(), LINK_FILES);
    const std::vector<std::u16string> said = Messages();
    ASSERT_EQ(said.size(), 6u);
    EXPECT_EQ(said.back(), u"The device sent 3 more files that were not saved");

    EXPECT_TRUE(fs::is_empty(dir));
    EXPECT_FALSE(fs::exists(dir.parent_path() / "escape.txt"));
    EXPECT_EQ(link.services.alerts.Count(RecordedBox::Diagnostic), 0);
}

TEST_F(ReceivedFiles, OnlyAFileTheClientSavedItselfIsReplaced) {
    for (const char* name : {"log.csv", " spaced name.txt"}) {
        EXPECT_EQ(Send(7, AnsiZ(name), {'1'}), LINK_FILES);
        EXPECT_EQ(Send(7, AnsiZ(name), {'2'}), LINK_FILES);
        EXPECT_EQ(Read(name), "2");
    }
    EXPECT_TRUE(Messages().empty());

    // The user's own files under the names a device uses: a file, one changed after it came, a
    // link, a folder.
    std::ofstream(dir / "notes.txt") << "mine";
    const fs::path outside = dir.string() + "-outside.txt";
    std::ofstream(outside) << "theirs";
    fs::create_symlink(outside, dir / "link.txt");
    fs::create_directory(dir / "folder.csv");
    std::ofstream(dir / "log.csv", std::ios::app) << " edited";
    for (const char* name : {"notes.txt", "link.txt", "folder.csv", "log.csv"}) {
        EXPECT_EQ(Send(7, AnsiZ(name), {'n', 'e', 'w'}), LINK_FILES) << name;
        EXPECT_EQ(Messages(), std::vector<std::u16string>{
                                  u"Could not save " + std::u16string(name, name + strlen(name)) +
                                  u" from the device: " + Dir() +
                                  u" already holds something of that name that did not come "
                                  u"from the device"});
    }
    EXPECT_EQ(Read("notes.txt"), "mine");
    EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
    EXPECT_EQ(Read("log.csv"), "2 edited");
    std::ifstream in(outside);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "theirs");
    fs::remove(outside);
    EXPECT_EQ(Entries(), (std::set<std::string>{" spaced name.txt", "folder.csv", "link.txt",
                                                "log.csv", "notes.txt"}));

    if (geteuid() != 0) { // permissions bind everyone but root
        fs::permissions(dir, fs::perms::owner_write, fs::perm_options::remove);
        EXPECT_EQ(Send(7, AnsiZ("season-report.csv"), {'x'}), LINK_FILES);
        EXPECT_EQ(Messages(), std::vector<std::u16string>{u"Could not save season-report.csv from "
                                                          u"the device: the folder " +
                                                          Dir() + u" is read-only"});
        fs::permissions(dir, fs::perms::owner_write, fs::perm_options::add);
    }
}

TEST_F(ReceivedFiles, AnInterruptedFileLeavesTheEarlierOneAndNoTemporaryFile) {
    EXPECT_EQ(Send(7, AnsiZ("data.csv"), {'e', 'a', 'r', 'l', 'y'}), LINK_FILES);
    Bytes head = Concat({U32Bytes(7), U32Bytes(1), Payload().Sized(AnsiZ("data.csv")).U32(10000)});
    link.peer.WriteFrame(MSG_FILES, 0, Concat({head, Bytes(5000, 'x')}));
    // Once the file is under way, the line goes dead.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Entries().size() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_EQ(Entries().size(), 2u);
    link.peer.HangUp();
    EXPECT_EQ(link.NextOutcome(), LINK_LOST);
    EXPECT_EQ(Read("data.csv"), "early");
    EXPECT_EQ(Entries(), std::set<std::string>{"data.csv"});
    EXPECT_TRUE(Messages().empty()); // the view says the connection was lost, once
}

TEST_F(ReceivedFiles, TemporaryFilesAnEarlierRunLeftAreRemovedWhenTheFolderIsSet) {
    std::ofstream(dir / ".talvex-a1B2c3") << "cut short";
    std::ofstream(dir / ".talvex-notes") << "not ours";
    std::ofstream(dir / "keep.txt") << "the user's";
    // A transfer of a client still running holds its file locked.
    const fs::path busy = dir / ".talvex-Zz9Yy8";
    std::ofstream(busy) << "under way";
    const int fd = ::open(busy.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    LinkSetFilesDirectory(dir.string());
    EXPECT_EQ(Entries(), (std::set<std::string>{".talvex-Zz9Yy8", ".talvex-notes", "keep.txt"}));
    ::close(fd);
}

class RecordingProgress : public ILinkProgress {
public:
    struct Step {
        std::u16string name;
        uint64_t received = 0, total = 0;
    };
    void Transfer(const std::u16string& name, uint64_t received, uint64_t total) override {
        std::lock_guard g(m_mutex);
        m_steps.push_back({name, received, total});
    }
    void TransferDone() override {
        std::lock_guard g(m_mutex);
        ++m_done;
    }
    std::vector<Step> Steps() {
        std::lock_guard g(m_mutex);
        return std::exchange(m_steps, {});
    }
    int Done() {
        std::lock_guard g(m_mutex);
        return m_done;
    }

private:
    std::mutex m_mutex;
    std::vector<Step> m_steps;
    int m_done = 0;
};

// Counts up to the total without going back; the last step is the whole transfer.
void ExpectCountsUp(const std::vector<RecordingProgress::Step>& steps, const std::u16string& name) {
    ASSERT_FALSE(steps.empty());
    for (size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(steps[i].name, name);
        EXPECT_LE(steps[i].received, steps[i].total);
        if (i) {
            EXPECT_GE(steps[i].received, steps[i - 1].received);
        }
    }
    EXPECT_EQ(steps.back().received, steps.back().total);
    EXPECT_GT(steps.back().total, 64u * 1024);
}

TEST_F(ReceivedFiles, TransfersOver64KiBReportProgressAndTheirEnd) {
    RecordingProgress progress;
    LinkClose(false);
    LinkSetServices(LinkServices{&link.services.notifier, &link.services.alerts,
                                 &link.services.store, nullptr, nullptr, &progress});
    ASSERT_EQ(LinkOpenDevice(link.peer.SlavePath(), &link.window, kNotifyMessage), 0);
    EXPECT_EQ(link.NextClientCode(), MSG_CONNECT);

    // The small file says nothing; the large one counts up to its size.
    link.peer.WriteFrame(MSG_FILES, 0,
                         Concat({U32Bytes(7), U32Bytes(2), OneFile(AnsiZ("s.txt"), {'x'}),
                                 OneFile(AnsiZ("big.bin"), Bytes(200000, 7))}));
    EXPECT_EQ(link.NextOutcome(), LINK_FILES);
    std::vector<RecordingProgress::Step> steps = progress.Steps();
    ExpectCountsUp(steps, u"big.bin");
    EXPECT_EQ(steps.back().total, 200000u);
    EXPECT_EQ(progress.Done(), 1);

    // A panel has no length of its own: its estimate ends exact.
    std::vector<Bytes> panel;
    for (uint32_t id = 1; id <= 70; ++id)
        panel.push_back(Definition('T', 0, id, Bytes(1000, 'a'), {{'m', U32Bytes(1000)}}));
    EXPECT_EQ(link.LoadPanel(panel), LINK_PANEL);
    ExpectCountsUp(progress.Steps(), u"");
    EXPECT_EQ(progress.Done(), 2);

    LinkClose(false);
    LinkSetServices(LinkServices{&link.services.notifier, &link.services.alerts,
                                 &link.services.store, nullptr});
}

} // namespace
