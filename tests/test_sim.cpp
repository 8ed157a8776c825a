// The device simulator against the real client link over a pseudo-terminal: the panel arrives
// whole, values travel both ways, passwords, files, pings and timed behaviour work, and panel
// files with mistakes are refused with errors that say where.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>

#include <climits>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <set>

#include "ClientParser.h"
#include "DemoPanel.h"
#include "DeviceModel.h"
#include "Frame.h"
#include "LayoutProps.h"
#include "Link.h"
#include "PanelFile.h"
#include "SimDateTime.h"
#include "SimEngine.h"
#include "SimPorts.h"
#include "Utf8.h"
#include "support/FakeServices.h"
#include "support/LinkHarness.h"
#include "support/TcpPeer.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// The smallest GIF: one pixel, two colours.
const Bytes kTinyGif = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80, 0x00,
                        0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x2C, 0x00, 0x00, 0x00, 0x00,
                        0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};

const char* kRigPanel = R"({
  "title": "Test rig", "about": "About \u00fc", "keepPanel": true,
  "controls": [
    {"kind": "text", "id": 1, "name": "Label", "flags": ["editable"], "value": "h\u00e9llo",
     "maxSize": 16, "colour": "#112233"},
    {"kind": "text", "id": 17, "name": "Wide", "flags": ["editable", "utf16"],
     "value": "\u03a9mega", "maxSize": 20},
    {"kind": "button", "id": 2, "name": "Go"},
    {"kind": "latch", "id": 3, "name": "A", "group": 1, "value": true},
    {"kind": "latch", "id": 4, "name": "B", "group": 1},
    {"kind": "latch", "id": 5, "name": "C", "group": 1},
    {"kind": "section", "id": 6, "name": "More", "value": true},
    {"kind": "datetime", "id": 7, "name": "When", "value": "2026-12-08 14:30:00",
     "format": "%dd%.%MM%.%yyyy%", "flags": ["editDate"]},
    {"kind": "number", "id": 8, "name": "Level", "value": 150, "min": 0, "max": 200,
     "exponent": -1, "decimals": 1, "format": "%% V", "flags": ["editable"]},
    {"kind": "matrix", "id": 9, "name": "Chart", "rowLabels": "number", "rowLabelSize": 2,
     "cellSize": 2, "capacity": 4, "columnNames": ["a", "b"], "rows": [[1, 10, 20], [2, 11, -21]]},
    {"kind": "password", "id": 10, "name": "Login", "password": "secret",
     "flags": ["changeable"]},
    {"kind": "password", "id": 18, "name": "Wide login", "password": "\u03a9pass",
     "flags": ["utf16"]},
    {"kind": "list", "id": 11, "name": "Mode", "items": ["Off", "On", "Auto"], "value": "Auto"},
    {"kind": "messagebox", "id": 12, "name": "Ask", "flags": ["hidden"], "value": "Sure?",
     "buttons": "yesNo", "icon": "question"},
    {"kind": "blob", "id": 13, "name": "Help", "dataType": 1, "value": "https://example.org/"},
    {"kind": "file", "id": 14, "name": "Report", "fileName": "report.csv",
     "content": "a;b\n1;2\n"},
    {"kind": "image", "id": 15, "name": "Pic", "gif": "pic.gif"},
    {"kind": "unsupported", "id": 16, "letter": "W", "name": "Future"}
  ],
  "layout": [{"id": 0, "panelWidth": 640}, {"id": 8, "page": 1, "x": 5},
             {"id": 9, "property": 336, "value": 3}]
})";

PanelFileReader TinyGifReader() {
    return [](const std::string& path, size_t, std::vector<uint8_t>& out, std::string& error) {
        if (path != "pic.gif") {
            error = "no such file";
            return false;
        }
        out = kTinyGif;
        return true;
    };
}

Panel ParseOrFail(const std::string& text) {
    PanelFileResult r = ParsePanelText(text, "test.json", TinyGifReader());
    EXPECT_TRUE(r.panel.has_value()) << r.error;
    return r.panel.value_or(Panel{});
}

// The value bytes the link holds for a control.
Bytes ValueOf(uint32_t id) {
    uint32_t n = 0;
    LinkGetValue(id, nullptr, &n);
    Bytes b(n);
    LinkGetValue(id, b.data(), &n);
    b.resize(n);
    return b;
}

uint8_t ByteOf(uint32_t id) {
    Bytes b = ValueOf(id);
    return b.empty() ? 0xEE : b[0];
}

int32_t IntOf(uint32_t id) {
    Bytes b = ValueOf(id);
    return b.size() < 4 ? INT32_MIN : int32_t(GetU32LE(b.data()));
}

std::u16string TextOf(uint32_t id) {
    Bytes b = ValueOf(id);
    std::u16string s;
    for (size_t i = 0; i + 1 < b.size() && (b[i] | b[i + 1]); i += 2)
        s.push_back(char16_t(b[i] | (b[i + 1] << 8)));
    return s;
}

Bytes I32Bytes(int32_t v) {
    return Payload().U32(uint32_t(v)).bytes();
}

// The client link opened on a simulated device's pseudo-terminal, with the view's loop reduced
// to "take the outcome, start the receiver again".
class SimLink {
public:
    // held: the device's timed behaviour waits from the start.
    explicit SimLink(const Panel& panel, SimOptions options = {}, bool held = false) {
        std::string error;
        device = SimPtyDevice::Start(panel, std::move(options), error);
        if (!device) throw std::runtime_error(error);
        device->Engine().HoldBehaviours(held);
        openStatus = LinkOpenDevice(device->SlavePath(), &window, kNotifyMessage);
    }
    // The client opens what `reach` makes of the device: served on TCP when given none, else
    // the port `reach` returns for the device's pseudo-terminal (a bridge's address, say).
    SimLink(const Panel& panel, const std::function<std::string(const std::string&)>& reach) {
        std::string error, port;
        if (reach) {
            device = SimPtyDevice::Start(panel, {}, error);
            if (device) port = reach(device->SlavePath());
        } else {
            tcp = SimTcpServer::Start(panel, {}, "127.0.0.1", 0, error);
            if (tcp) port = "tcp://127.0.0.1:" + std::to_string(tcp->Port());
        }
        if (!device && !tcp) throw std::runtime_error(error);
        openStatus = LinkOpenDevice(port, &window, kNotifyMessage);
    }
    ~SimLink() { LinkClose(false); }

    SimEngine& Engine() { return tcp ? tcp->Engine() : device->Engine(); }

    // The next outcome (INT_MIN on time-out); the receiver is started again unless told not to,
    // so that the link's state can be read before the next device message is applied.
    int NextOutcome(bool restart = true, int timeoutMs = 3000) {
        if (!services.notifier.WaitForPosts(m_seen + 1, timeoutMs)) return INT_MIN;
        int outcome = services.notifier.Outcomes()[size_t(m_seen++)];
        if (restart) Restart();
        return outcome;
    }
    void Restart() { LinkStartReceiver(&window, kNotifyMessage); }
    // Skips other outcomes until `wanted`.
    bool WaitFor(int wanted, bool restart = true, int timeoutMs = 3000) {
        for (int i = 0; i < 200; ++i) {
            int o = NextOutcome(false, timeoutMs);
            if (o == INT_MIN) return false;
            if (o == wanted) {
                if (restart) Restart();
                return true;
            }
            Restart();
        }
        return false;
    }
    bool Connected() { return NextOutcome() == LINK_TITLE && NextOutcome() == LINK_PANEL; }
    // Sends what is pending and waits until the device has handled it.
    bool SendAndWait() {
        const uint64_t before = Engine().Counters().messages;
        if (LinkSendChanges() != 0) return false;
        return Engine().WaitForMessages(before + 1, std::chrono::seconds(3));
    }

    LinkFixtureServices services;
    std::unique_ptr<SimPtyDevice> device;
    std::unique_ptr<SimTcpServer> tcp;
    int window = 0;
    int openStatus = -1;

private:
    int m_seen = 0;
};

TEST(SimConnect, DeliversEveryKindWithItsValues) {
    SimLink link(ParseOrFail(kRigPanel));
    ASSERT_EQ(link.openStatus, 0);
    ASSERT_TRUE(link.Connected());
    EXPECT_TRUE(link.services.alerts.Boxes().empty()) << "the client found a definition wrong";

    EXPECT_EQ(LinkGetTitle(), u"Test rig");
    EXPECT_EQ(LinkGetAboutText().value_or(u""), u"About \u00fc");
    EXPECT_TRUE(LinkKeepPanel());
    EXPECT_TRUE(LinkPingsAllowed());

    LinkLock();
    ASSERT_EQ(LinkGetCount(), 18);
    const std::vector<uint16_t> kinds = {1, 1, 2, 3, 3, 3, 4, 5, 6, 7, 8, 8, 9, 10, 11, 12, 14, 13};
    std::set<uint16_t> seen;
    for (int i = 0; i < LinkGetCount(); ++i) {
        LinkSummary s;
        ASSERT_TRUE(LinkGetSummary(i, s));
        EXPECT_EQ(s.nKind, kinds[size_t(i)]) << "index " << i;
        seen.insert(s.nKind);
    }
    EXPECT_EQ(seen.size(), 14u);
    LinkSummary text;
    LinkGetSummary(0, text);
    EXPECT_EQ(text.strName, u"Label");
    EXPECT_EQ(text.crColour, 0x332211u);

    EXPECT_EQ(TextOf(1), u"h\u00e9llo");
    EXPECT_EQ(TextOf(17), u"\u03a9mega");
    EXPECT_EQ(ByteOf(3), 255);
    EXPECT_EQ(ByteOf(4), 0);
    EXPECT_EQ(ByteOf(6), 255);
    EXPECT_EQ(ValueOf(7), (Bytes{0, 30, 14, 8, 2, 12, 0xEA, 0x07})); // a Tuesday
    EXPECT_EQ(IntOf(8), 150);
    const CLinkCtrl* number = LinkGetDefinition(LinkFindIndex(8));
    EXPECT_EQ(number->m_nMax, 200);
    EXPECT_EQ(int8_t(number->m_nExponent), -1);
    EXPECT_EQ(number->m_strFormat, u"%% V");

    LinkMatrixData m;
    ASSERT_EQ(LinkGetMatrix(9, m), 0);
    EXPECT_EQ(m.nRows, 2u);
    const Bytes cells(m.pCells, m.pCells + m.nCellBytes);
    EXPECT_EQ(cells, (Bytes{10, 0, 11, 0, 0, 0, 0, 0, 20, 0, 0xEB, 0xFF, 0, 0, 0, 0}));
    EXPECT_EQ(Bytes(m.pRowLabels, m.pRowLabels + m.nRowLabelBytes),
              (Bytes{1, 0, 2, 0, 0, 0, 0, 0}));
    const CLinkCtrl* matrix = LinkGetDefinition(LinkFindIndex(9));
    EXPECT_EQ(matrix->m_columnNames, std::u16string(u"a\0b\0", 4));

    EXPECT_EQ(ByteOf(10), 0);
    EXPECT_EQ(IntOf(11), 2);
    EXPECT_EQ(LinkGetDefinition(LinkFindIndex(11))->m_items,
              std::u16string(u"Off\0On\0Auto\0", 12));
    EXPECT_EQ(TextOf(12), u"Sure?");
    EXPECT_EQ(LinkGetDefinition(LinkFindIndex(12))->m_dwFlags, 0x1u | 0x40000u | 0x400000u);
    EXPECT_EQ(TextOf(13), u"https://example.org/");
    EXPECT_EQ(LinkGetDefinition(LinkFindIndex(13))->m_dwFlags >> 20, 1u);
    EXPECT_TRUE(ValueOf(14).empty());
    EXPECT_EQ(ValueOf(15), kTinyGif);
    LinkUnlock();
}

TEST(SimConnect, AnswersTheLayoutRequestAndPings) {
    SimLink link(ParseOrFail(kRigPanel));
    ASSERT_TRUE(link.Connected());
    ASSERT_EQ(LinkSendRequest(REQUEST_LAYOUT), 0);
    ASSERT_EQ(link.NextOutcome(), LINK_LAYOUT);
    auto stored = [&](uint32_t id, uint32_t property) { return GetLayoutInt(id, property, -99); };
    EXPECT_EQ(stored(0, 2048), 640);
    EXPECT_EQ(stored(8, 320), 1);
    EXPECT_EQ(stored(8, 256), 5);
    EXPECT_EQ(stored(9, 336), 3);
    EXPECT_EQ(stored(8, 0), 0); // the control left the automatic layout

    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(LinkPing(), 0) << "ping " << i << " found the previous one unanswered";
        ASSERT_EQ(link.NextOutcome(), LINK_PING_REPLY);
    }
    EXPECT_EQ(link.Engine().Counters().pings, 3u);
}

TEST(SimConnect, ServesAgainAfterTheClientClosesAndReopens) {
    SimLink link(ParseOrFail(kRigPanel));
    ASSERT_TRUE(link.Connected());
    const uint64_t handled = link.Engine().Counters().messages;
    ASSERT_EQ(LinkClose(true), 0);
    ASSERT_TRUE(link.Engine().WaitForMessages(handled + 1, std::chrono::seconds(3)));
    ASSERT_EQ(LinkOpenDevice(link.device->SlavePath(), &link.window, kNotifyMessage), 0);
    EXPECT_TRUE(link.Connected());
    EXPECT_EQ(link.Engine().Counters().connects, 2u);
    EXPECT_EQ(link.Engine().Counters().disconnects, 1u);
    // Closing without a word is survived as well.
    ASSERT_EQ(LinkClose(false), 0);
    ASSERT_EQ(LinkOpenDevice(link.device->SlavePath(), &link.window, kNotifyMessage), 0);
    EXPECT_TRUE(link.Connected());
}

// --link: one name for the device's pseudo-terminal across runs.
TEST(SimConnect, ALinkNamesThePtyWhileServingAndGoesWithIt) {
    char base[] = "/tmp/talvex-link-XXXXXX";
    ASSERT_NE(mkdtemp(base), nullptr);
    const fs::path link = fs::path(base) / "device";
    const Panel panel = ParseOrFail(kRigPanel);
    std::string error;
    // A link a killed run left behind is taken over.
    fs::create_symlink("/nonexistent/pts", link);
    {
        auto device = SimPtyDevice::Start(panel, {}, error, link.string());
        ASSERT_TRUE(device) << error;
        EXPECT_EQ(fs::read_symlink(link), device->SlavePath());
        LinkFixtureServices services;
        int window = 0;
        EXPECT_EQ(LinkOpenDevice(link.string(), &window, kNotifyMessage), 0);
        EXPECT_TRUE(services.notifier.WaitForPosts(1, 3000)) << "no answer through the link";
        LinkClose(false);
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));

    // A name another run has taken since is left to it.
    {
        auto device = SimPtyDevice::Start(panel, {}, error, link.string());
        ASSERT_TRUE(device) << error;
        fs::remove(link);
        fs::create_symlink("/dev/null", link);
    }
    EXPECT_EQ(fs::read_symlink(link), "/dev/null");
    fs::remove(link);

    // Anything but a link is never replaced.
    std::ofstream(link.string()) << "keep";
    EXPECT_FALSE(SimPtyDevice::Start(panel, {}, error, link.string()));
    EXPECT_NE(error.find("not a symbolic link"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(link)));
    fs::remove_all(base);
}

TEST(SimValues, ClientChangesReachTheDeviceModel) {
    SimLink link(ParseOrFail(kRigPanel));
    ASSERT_TRUE(link.Connected());
    SimEngine& engine = link.Engine();

    ASSERT_EQ(LinkSetValue(1, Utf16Z(u"caf\u00e9").data(), 10), 0); // 8-bit on the wire
    ASSERT_EQ(LinkSetValue(17, Utf16Z(u"\u03c9ide").data(), 10), 0);
    ASSERT_EQ(LinkSetValue(8, I32Bytes(120).data(), 4), 0);
    const Bytes when = {5, 4, 3, 2, 1, 6, 0xE9, 0x07};
    ASSERT_EQ(LinkSetValue(7, when.data(), 8), 0);
    ASSERT_EQ(LinkSetValue(11, I32Bytes(0).data(), 4), 0);
    const uint8_t open = 0;
    ASSERT_EQ(LinkSetValue(6, &open, 1), 0);
    ASSERT_TRUE(link.SendAndWait());

    EXPECT_EQ(engine.Control(1)->text, u"caf\u00e9");
    EXPECT_EQ(engine.Control(17)->text, u"\u03c9ide");
    EXPECT_EQ(engine.Control(8)->number, 120);
    EXPECT_EQ(FormatDateTime(engine.Control(7)->dateTime), "2025-06-02 03:04:05");
    EXPECT_EQ(engine.Control(11)->number, 0);
    EXPECT_EQ(engine.Control(6)->state, 0);

    // A message-box answer is noted.
    const uint64_t before = engine.Counters().messages;
    ASSERT_EQ(LinkSendByte(12, 2), 0);
    ASSERT_TRUE(engine.WaitForMessages(before + 1, std::chrono::seconds(3)));
    EXPECT_EQ(engine.Counters().answers, (std::vector<std::pair<uint32_t, uint8_t>>{{12, 2}}));
}

TEST(SimValues, DeviceConfirmsWhatItCorrects) {
    SimLink link(ParseOrFail(kRigPanel));
    ASSERT_TRUE(link.Connected());

    // Out of range: clamped and sent back.
    ASSERT_EQ(LinkSetValue(8, I32Bytes(500).data(), 4), 0);
    ASSERT_EQ(LinkSendChanges(), 0);
    ASSERT_EQ(link.NextOutcome(), LINK_VALUES);
    EXPECT_EQ(IntOf(8), 200);
    EXPECT_EQ(link.Engine().Control(8)->number, 200);

    // Not an item: the device keeps its selection and says so.
    ASSERT_EQ(LinkSetValue(11, I32Bytes(7).data(), 4), 0);
    ASSERT_EQ(LinkSendChanges(), 0);
    ASSERT_EQ(link.NextOutcome(), LINK_VALUES);
    EXPECT_EQ(IntOf(11), 2);

    // A radio group: switching C on switches the group's others off, confirmed whole.
    ASSERT_EQ(LinkClearGroup(1), 0);
    const uint8_t on = 255;
    ASSERT_EQ(LinkSetValue(5, &on, 1), 0);
    ASSERT_EQ(LinkSendChanges(), 0);
    ASSERT_EQ(link.NextOutcome(), LINK_VALUES);
    EXPECT_EQ(ByteOf(3), 0);
    EXPECT_EQ(ByteOf(4), 0);
    EXPECT_EQ(ByteOf(5), 255);
    EXPECT_EQ(link.Engine().Control(3)->state, 0);
    EXPECT_EQ(link.Engine().Control(5)->state, 255);
}

TEST(SimPassword, LogInChangeAndLogOut) {
    SimLink link(ParseOrFail(kRigPanel));
    ASSERT_TRUE(link.Connected());
    auto stateAfter = [&](int sendStatus) {
        EXPECT_EQ(sendStatus, 0);
        EXPECT_EQ(link.NextOutcome(), LINK_VALUES);
        return int(ByteOf(10));
    };
    EXPECT_EQ(stateAfter(LinkLogIn(10, u"Secret")), 0);
    EXPECT_EQ(stateAfter(LinkLogIn(10, u"secret")), 1);
    EXPECT_EQ(stateAfter(LinkChangePassword(10, u"wrong", u"x")), 0);
    EXPECT_EQ(link.Engine().Control(10)->password, u"secret");
    EXPECT_EQ(stateAfter(LinkChangePassword(10, u"secret", u"n3w pass")), 1);
    EXPECT_EQ(link.Engine().Control(10)->password, u"n3w pass");
    EXPECT_EQ(stateAfter(LinkLogOut(10)), 0);
    EXPECT_EQ(stateAfter(LinkLogIn(10, u"secret")), 0);
    EXPECT_EQ(stateAfter(LinkLogIn(10, u"n3w pass")), 1);

    // The 16-bit password field.
    EXPECT_EQ(LinkLogIn(18, u"\u03a9pass"), 0);
    EXPECT_EQ(link.NextOutcome(), LINK_VALUES);
    EXPECT_EQ(ByteOf(18), 1);
}

TEST(SimFiles, AFileRequestDeliversTheFile) {
    const fs::path dir = fs::temp_directory_path() / ("talvex-sim-" + std::to_string(getpid()));
    fs::create_directories(dir);
    SimLink link(ParseOrFail(kRigPanel));
    LinkSetFilesDirectory(dir.string());
    ASSERT_TRUE(link.Connected());
    ASSERT_EQ(LinkSetValue(14, nullptr, 0), 0);
    ASSERT_EQ(LinkSendChanges(), 0);
    ASSERT_EQ(link.NextOutcome(), LINK_FILES);
    EXPECT_EQ(LinkGetFileName(14), u"report.csv");
    std::ifstream in(dir / "report.csv", std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(content, "a;b\n1;2\n");
    LinkSetFilesDirectory("");
    fs::remove_all(dir);
}

const char* kTimedPanel = R"({
  "title": "Timed", "ackRequests": true,
  "controls": [
    {"kind": "matrix", "id": 1, "rowLabels": "number", "cellSize": 2, "capacity": 3,
     "columns": 2},
    {"kind": "number", "id": 2, "value": 5},
    {"kind": "datetime", "id": 3, "flags": ["editDate", "editTime"]},
    {"kind": "messagebox", "id": 4, "flags": ["hidden"], "value": "old"},
    {"kind": "button", "id": 5, "name": "Lamp"}
  ],
  "behaviour": [
    {"type": "stream", "id": 1, "period": 0.05, "rows": [[1, 2], [3, 4]]},
    {"type": "counter", "id": 2, "period": 0.05, "step": 5, "from": 5, "to": 15},
    {"type": "clock", "id": 3, "period": 0.1},
    {"type": "messageBox", "id": 4, "first": 0.05, "period": 0, "texts": ["Now?"]},
    {"type": "attributes", "id": 5, "period": 0.05, "steps": [{"colour": "#FF0000"}]},
    {"type": "presence", "period": 0.05}
  ]
})";

TEST(SimTimed, StreamsRowsIntoARing) {
    Panel panel = ParseOrFail(kTimedPanel);
    panel.behaviours.resize(1);
    SimLink link(panel);
    ASSERT_TRUE(link.WaitFor(LINK_PANEL));
    for (int row = 1; row <= 4; ++row) {
        ASSERT_TRUE(link.WaitFor(LINK_VALUES, false)) << "row " << row;
        LinkLock();
        LinkMatrixData m;
        ASSERT_EQ(LinkGetMatrix(1, m), 0);
        const Bytes cells(m.pCells, m.pCells + m.nCellBytes);
        const Bytes labels(m.pRowLabels, m.pRowLabels + m.nRowLabelBytes);
        const uint32_t rows = m.nRows;
        LinkUnlock();
        link.Restart();
        if (row == 3) {
            EXPECT_EQ(rows, 3u);
            EXPECT_EQ(cells, (Bytes{1, 0, 3, 0, 1, 0, 2, 0, 4, 0, 2, 0}));
            EXPECT_EQ(labels, (Bytes{0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0}));
        }
        if (row == 4) { // the ring is full: its oldest row is row 1
            EXPECT_EQ(int32_t(rows), -1);
            EXPECT_EQ(cells, (Bytes{3, 0, 3, 0, 1, 0, 4, 0, 4, 0, 2, 0}));
            EXPECT_EQ(labels, (Bytes{3, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0}));
        }
    }
    // Every device message asked for an acknowledgement, and the client gave them.
    EXPECT_TRUE(link.Engine().WaitForMessages(6, std::chrono::seconds(3)));
    EXPECT_GE(link.Engine().Counters().acks, 5u);
}

TEST(SimTimed, CounterWrapsAndAttributesChange) {
    Panel panel = ParseOrFail(kTimedPanel);
    panel.behaviours = {panel.behaviours[1], panel.behaviours[4]};
    SimLink link(panel);
    ASSERT_TRUE(link.WaitFor(LINK_PANEL));
    std::vector<int32_t> counts;
    bool coloured = false;
    while (counts.size() < 4 || !coloured) {
        const int o = link.NextOutcome(false);
        ASSERT_NE(o, INT_MIN);
        if (o == LINK_VALUES) counts.push_back(IntOf(2));
        if (o == LINK_ATTRIBUTES) {
            uint32_t flags = 0, colour = 0;
            ASSERT_EQ(LinkGetAttributes(5, &flags, &colour), 0);
            EXPECT_EQ(colour, 0x0000FFu);
            coloured = true;
        }
        link.Restart();
    }
    EXPECT_EQ(std::vector<int32_t>(counts.begin(), counts.begin() + 4),
              (std::vector<int32_t>{10, 15, 5, 10}));
}

TEST(SimTimed, MessageBoxPopsUpWithItsNewText) {
    Panel panel = ParseOrFail(kTimedPanel);
    panel.behaviours = {panel.behaviours[3]};
    SimLink link(panel);
    ASSERT_TRUE(link.WaitFor(LINK_PANEL));
    ASSERT_EQ(link.NextOutcome(), LINK_VALUES);
    EXPECT_EQ(TextOf(4), u"Now?");
    ASSERT_EQ(link.NextOutcome(), LINK_ATTRIBUTES);
    uint32_t flags = 0, colour = 0;
    ASSERT_EQ(LinkGetAttributes(4, &flags, &colour), 0);
    EXPECT_EQ(flags & CTRLF_BOX_SHOWN, 0u); // not shown yet: the view pops it up
}

TEST(SimTimed, ClockFollowsTheTimeTheClientSets) {
    Panel panel = ParseOrFail(kTimedPanel);
    panel.behaviours = {panel.behaviours[2]};
    SimLink link(panel);
    ASSERT_TRUE(link.WaitFor(LINK_PANEL));
    ASSERT_TRUE(link.WaitFor(LINK_VALUES));
    const Bytes set = {0, 0, 0, 1, 2, 1, 0xEE, 0x07}; // 2030-01-01 00:00:00
    ASSERT_EQ(LinkSetValue(3, set.data(), 8), 0);
    ASSERT_TRUE(link.SendAndWait());
    bool followed = false;
    for (int i = 0; i < 20 && !followed; ++i) {
        ASSERT_TRUE(link.WaitFor(LINK_VALUES));
        Bytes v = ValueOf(3);
        followed = v.size() == 8 && v[6] == 0xEE && v[7] == 0x07 && v[5] == 1 && v[3] == 1;
    }
    EXPECT_TRUE(followed);
}

TEST(SimTimed, PresenceQueriesAreAnswered) {
    Panel panel = ParseOrFail(kTimedPanel);
    panel.behaviours = {panel.behaviours[5]};
    SimLink link(panel);
    ASSERT_TRUE(link.WaitFor(LINK_PANEL));
    ASSERT_TRUE(link.WaitFor(LINK_PRESENCE));
    ASSERT_TRUE(link.WaitFor(LINK_PRESENCE));
    const uint64_t handled = link.Engine().Counters().messages;
    ASSERT_TRUE(link.Engine().WaitForMessages(handled + 1, std::chrono::seconds(3)));
    EXPECT_GE(link.Engine().Counters().presenceReplies, 1u);
}

TEST(SimTimed, HeldBehaviourWaitsAndClientRequestsAreAcknowledged) {
    Panel panel = ParseOrFail(kTimedPanel);
    panel.behaviours = {panel.behaviours[1]};
    panel.behaviours[0].first = 0; // due at once on connecting
    SimLink link(panel, {}, true);
    ASSERT_TRUE(link.Connected());
    LinkSetAckOption(true);
    const uint8_t pressed = 1;
    ASSERT_EQ(LinkSetValue(5, &pressed, 1), 0);
    ASSERT_EQ(LinkSendChanges(), 0);
    LinkSetAckOption(false);
    // Held, the counter sent nothing before the device's acknowledgement.
    ASSERT_EQ(link.NextOutcome(), LINK_ACK);
    SimCounters c = link.Engine().Counters();
    EXPECT_EQ(c.sent, 3u); // panel information, definition, acknowledgement
    EXPECT_EQ(c.askedAcks, 1u);
    EXPECT_EQ(c.acksGiven, 1u);
    link.Engine().HoldBehaviours(false);
    ASSERT_EQ(link.NextOutcome(), LINK_VALUES);
    EXPECT_EQ(IntOf(2), 10);
}

TEST(SimPanelFile, AChangedFileReloadsTheClient) {
    const fs::path dir = fs::temp_directory_path() / ("talvex-sim-w" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path file = dir / "panel.json";
    auto write = [&](const char* title) {
        std::ofstream(file) << R"({"title": ")" << title
                            << R"(", "controls": [{"kind": "button", "id": 1}]})";
    };
    write("First");
    PanelFileResult loaded = LoadPanelFile(file.string());
    ASSERT_TRUE(loaded.panel) << loaded.error;
    SimOptions options;
    options.watchPath = file.string();
    SimLink link(*loaded.panel, options);
    ASSERT_TRUE(link.Connected());
    EXPECT_EQ(LinkGetTitle(), u"First");

    write("Second, longer");
    ASSERT_TRUE(link.WaitFor(LINK_RELOAD, true, 5000));
    ASSERT_EQ(LinkReload(), 0);
    ASSERT_TRUE(link.Connected());
    EXPECT_EQ(LinkGetTitle(), u"Second, longer");
    fs::remove_all(dir);
}

TEST(SimLog, VerboseOutputDecodesBothDirections) {
    std::mutex mutex;
    std::vector<std::string> lines;
    SimOptions options;
    options.verbose = true;
    options.log = [&](const std::string& line) {
        std::lock_guard g(mutex);
        lines.push_back(line);
    };
    SimLink link(ParseOrFail(kRigPanel), options);
    ASSERT_TRUE(link.Connected());
    ASSERT_EQ(LinkSetValue(8, I32Bytes(500).data(), 4), 0);
    ASSERT_TRUE(link.SendAndWait());
    ASSERT_EQ(link.NextOutcome(), LINK_VALUES);
    std::lock_guard g(mutex);
    auto has = [&](const std::string& text) {
        for (const std::string& l : lines)
            if (l.find(text) != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(has("<- MSG_CONNECT (1)"));
    EXPECT_TRUE(has("-> MSG_PANEL_INFO (2) flags=0x0010: title \"Test rig\", keep panel"));
    EXPECT_TRUE(has("-> MSG_PANEL_DEFINITION (6): 18 controls: T#1 T#17 B#2"));
    EXPECT_TRUE(has("<- MSG_CLIENT_VALUES (7): 1 item #8 number 500"));
    EXPECT_TRUE(has("Number #8 \"Level\" = 500, clamped to 200"));
    EXPECT_TRUE(has("-> MSG_DEVICE_VALUES (9): 1 item #8 number 200"));
}

// The client's byte stream cut into messages, whatever the chunks.
TEST(SimClientParser, FindsFramesAcrossGarbageAndSplitsAndDropsOversizedOnes) {
    Bytes stream = {0x00, 0x48, 0xEF, 0x13};
    Bytes ping = DeviceHeader(MSG_PING);
    Bytes values = DeviceHeader(MSG_CLIENT_VALUES);
    Bytes list = ItemList({{8, I32Bytes(-3)}, {14, {}}});
    values.insert(values.end(), list.begin(), list.end());
    Bytes huge = DeviceHeader(MSG_CLIENT_VALUES);
    Bytes count = Payload().U32(1).U32(9).U32(0x7FFFFFFF).bytes();
    huge.insert(huge.end(), count.begin(), count.end());
    Bytes request = DeviceHeader(MSG_REQUEST);
    Bytes arg = Payload().U32(512).bytes();
    request.insert(request.end(), arg.begin(), arg.end());
    for (const Bytes* b : {&ping, &values, &huge, &request})
        stream.insert(stream.end(), b->begin(), b->end());

    for (size_t chunk : {size_t(1), size_t(7), stream.size()}) {
        ClientParser parser;
        std::vector<ClientMessage> got;
        for (size_t at = 0; at < stream.size(); at += chunk) {
            parser.Feed(stream.data() + at, std::min(chunk, stream.size() - at));
            while (auto m = parser.Next()) got.push_back(*m);
        }
        ASSERT_EQ(got.size(), 4u) << "chunk " << chunk;
        EXPECT_EQ(got[0].code, MSG_PING);
        EXPECT_EQ(got[0].skippedBefore, 4u);
        EXPECT_EQ(got[1].code, MSG_CLIENT_VALUES);
        ASSERT_EQ(got[1].items.size(), 2u);
        EXPECT_EQ(got[1].items[0].id, 8u);
        EXPECT_EQ(got[1].items[0].data, I32Bytes(-3));
        EXPECT_TRUE(got[1].items[1].data.empty());
        EXPECT_TRUE(got[2].malformed);
        EXPECT_EQ(got[3].code, MSG_REQUEST);
        EXPECT_EQ(got[3].argument, 512u);
        EXPECT_LT(parser.Buffered(), 8u);
    }
}

TEST(SimPanelFile, NamedFlagsAndOptionsSetTheirBits) {
    const Panel p = ParseOrFail(R"({"controls": [
      {"kind": "text", "id": 1, "maxSize": 8, "flags": ["hidden", "utf16", "newRow", "showPage",
                                                        "disabled", "editable", "masked"]},
      {"kind": "number", "id": 2, "flags": ["clampMin", "clampMax"], "style": "general"},
      {"kind": "datetime", "id": 3, "flags": ["editTime", "editDay", "editWeekday"]},
      {"kind": "matrix", "id": 4, "capacity": 2, "columns": 1, "rowLabels": "datetime",
       "cellSize": 1, "rowLabelStyle": "exponent", "cellStyle": "fixed"},
      {"kind": "matrix", "id": 5, "capacity": 2, "columns": 1, "rowLabels": "number",
       "rowLabelSize": 1},
      {"kind": "messagebox", "id": 6, "icon": "information", "buttons": "abortRetryIgnore"},
      {"kind": "blob", "id": 7, "dataType": 4095, "hex": "00 01 fe"},
      {"kind": "latch", "id": 8, "flags": [256, "momentary"]},
      {"kind": "button", "id": 9, "flags": 305419896},
      {"kind": "image", "id": 10, "flags": ["clickable"], "gif": "pic.gif"}
    ]})");
    const std::vector<uint32_t> flags = {0x3009D,  0x360000,   0x3E0000, 0x1A30000,  0x90000,
                                         0x650000, 0xFFF00000, 0x10100,  0x12345678, 0x10000};
    ASSERT_EQ(p.controls.size(), flags.size());
    for (size_t i = 0; i < flags.size(); ++i)
        EXPECT_EQ(p.controls[i].flags, flags[i]) << "controls[" << i << "]";
    EXPECT_EQ(p.controls[3].matrix.cells.size(), 2u);   // 2 rows x 1 column x 1 byte
    EXPECT_EQ(p.controls[3].matrix.labels.size(), 16u); // 2 date/time labels
    EXPECT_EQ(p.controls[4].matrix.labels.size(), 2u);  // 2 one-byte labels
    EXPECT_EQ(p.controls[6].data, (Bytes{0x00, 0x01, 0xFE}));
}

TEST(SimPanelFile, ReadableValuesBecomeDeviceValues) {
    const fs::path dir = fs::temp_directory_path() / ("talvex-sim-v" + std::to_string(getpid()));
    fs::create_directories(dir / "data");
    std::ofstream(dir / "data" / "log.txt", std::ios::binary) << std::string("x\0y", 3);
    std::ofstream(dir / "p.json") << R"({"controls": [
      {"kind": "list", "id": 1, "items": ["a", "b"], "value": -1},
      {"kind": "blob", "id": 2, "flags": ["editable"], "value": "\u00e9t\u00e9"},
      {"kind": "blob", "id": 3, "value": "ab"},
      {"kind": "button", "id": 4, "colour": "#A0B0C0", "value": true},
      {"kind": "button", "id": 5, "colour": 255},
      {"kind": "datetime", "id": 6, "value": "2024-02-29"},
      {"kind": "file", "id": 7, "fileName": "log.txt", "source": "data/log.txt"},
      {"kind": "latch", "id": 8, "value": 7},
      {"kind": "number", "id": 9, "value": -2147483648}
    ]})";
    PanelFileResult r = LoadPanelFile((dir / "p.json").string());
    ASSERT_TRUE(r.panel) << r.error;
    const Panel& p = *r.panel;
    EXPECT_EQ(p.Find(1)->number, -1);
    EXPECT_EQ(p.Find(2)->data, (Bytes{0xE9, 't', 0xE9})); // 8-bit text blob
    EXPECT_EQ(p.Find(2)->maxSize, 64u);
    EXPECT_EQ(p.Find(3)->data, (Bytes{'a', 0, 'b', 0, 0, 0})); // read back as 16-bit text
    EXPECT_EQ(p.Find(4)->colour, 0xC0B0A0u);
    EXPECT_EQ(p.Find(4)->state, 255);
    EXPECT_EQ(p.Find(5)->colour, 255u);
    EXPECT_FALSE(p.Find(8)->colour.has_value());
    EXPECT_EQ(p.Find(6)->dateTime, (DateTimeBytes{0, 0, 0, 29, 4, 2, 0xE8, 0x07})); // Thursday
    EXPECT_EQ(p.Find(7)->data, (Bytes{'x', 0, 'y'}));
    EXPECT_EQ(p.Find(8)->state, 7);
    EXPECT_EQ(p.Find(9)->number, INT32_MIN);
    EXPECT_EQ(p.sourcePath, (dir / "p.json").string());
    fs::remove_all(dir);
}

// The device's side of values, item by item.
TEST(SimDeviceModel, ItemsAreCheckedBeforeUse) {
    Panel p = ParseOrFail(R"({"controls": [
      {"kind": "number", "id": 1, "value": 3, "min": 0, "max": 10},
      {"kind": "latch", "id": 2, "group": 1, "flags": ["momentary"], "value": true},
      {"kind": "latch", "id": 3, "group": 1},
      {"kind": "latch", "id": 4, "group": 1, "value": true},
      {"kind": "messagebox", "id": 5, "value": "?", "buttons": "okCancel"},
      {"kind": "text", "id": 6, "maxSize": 4},
      {"kind": "list", "id": 7, "items": ["a", "b"], "value": 1},
      {"kind": "password", "id": 8, "flags": ["utf16"], "password": "pw"},
      {"kind": "number", "id": 9, "value": 3}
    ]})");
    Reaction r = ApplyClientValues(p, {{1, {1, 2}},
                                       {99, {1}},
                                       {6, {'a', 'b', 'c', 'd', 'e', 'f'}},
                                       {7, I32Bytes(-1)},
                                       {9, I32Bytes(-50)}});
    EXPECT_EQ(p.Find(1)->number, 3); // a 2-byte item for a number is not a value
    EXPECT_EQ(p.Find(6)->text, u"abcd");
    EXPECT_EQ(p.Find(7)->number, -1);
    EXPECT_EQ(p.Find(9)->number, -50); // no range: anything goes
    EXPECT_TRUE(r.values.empty());
    EXPECT_EQ(r.notes.size(), 5u);

    const uint8_t on = 255;
    r = ApplyClientValues(p, {{3, {on}}, {5, {2}}});
    EXPECT_EQ(p.Find(2)->state, 255); // momentary: not switched off by its group
    EXPECT_EQ(p.Find(4)->state, 0);
    ASSERT_EQ(r.values.size(), 3u);
    EXPECT_EQ(r.values[0].id, 2u);
    EXPECT_EQ(r.values[2].data, Bytes{0});
    EXPECT_EQ(r.answers, (std::vector<std::pair<uint32_t, uint8_t>>{{5, 2}}));
    EXPECT_TRUE(p.Find(5)->flags &
                CTRLF_BOX_SHOWN); // answered: not popped up again on the next connect

    Bytes login = Utf16Bytes(u"pw");
    login.resize(68, 0);
    r = ApplyClientValues(p, {{8, login}});
    ASSERT_EQ(r.values.size(), 1u);
    EXPECT_EQ(r.values[0].data, Bytes{1});
    ForgetClient(p);
    EXPECT_EQ(p.Find(8)->state, 0);
    r = ApplyClientValues(p, {{8, Utf16Bytes(u"pw")}}); // short: the rest reads as zeros
    EXPECT_EQ(r.values[0].data, Bytes{1});

    Panel q = ParseOrFail(R"({"controls": [
      {"kind": "blob", "id": 1, "flags": ["editable"], "capacity": 5, "value": "hi"},
      {"kind": "blob", "id": 2, "capacity": 3, "hex": "00"},
      {"kind": "file", "id": 3, "fileName": "f.txt", "content": "x"},
      {"kind": "image", "id": 4, "gif": "pic.gif"},
      {"kind": "matrix", "id": 5, "columns": 1, "capacity": 2}
    ]})");
    r = ApplyClientValues(
        q, {{1, {'a', 'b', 0, 'c', 'd', 'e'}}, {2, {1, 0, 2, 3}}, {3, {1}}, {4, {1}}, {5, {1}}});
    EXPECT_EQ(q.Find(1)->data, (Bytes{'a', 'b'})); // text: up to its zero, within the capacity
    EXPECT_EQ(q.Find(2)->data, (Bytes{1, 0, 2}));
    EXPECT_TRUE(r.fileRequests.empty()) << "a file is asked for with an empty value only";
    EXPECT_TRUE(r.values.empty());
    EXPECT_EQ(r.notes.size(), 5u);
}

TEST(SimConnect, SixteenBitTitleNoPingsAndMatrixLabels) {
    SimLink link(ParseOrFail(R"({"title": "\u03a9 rig", "utf16Title": true, "noPings": true,
      "controls": [
        {"kind": "blob", "id": 1, "flags": ["editable"], "value": "h\u00e9", "capacity": 8},
        {"kind": "matrix", "id": 2, "rowLabels": "text", "capacity": 3, "columns": 1,
         "cellSize": 1, "rows": [["a", 1], ["\u00e9", 2]]},
        {"kind": "matrix", "id": 3, "rowLabels": "datetime", "capacity": 1, "columns": 1,
         "rows": [{"label": "2026-01-02 03:04:05", "cells": [9]}]}
      ]})"));
    ASSERT_TRUE(link.Connected());
    EXPECT_TRUE(link.services.alerts.Boxes().empty());
    EXPECT_EQ(LinkGetTitle(), u"\u03a9 rig");
    EXPECT_FALSE(LinkPingsAllowed());
    LinkLock();
    EXPECT_EQ(ValueOf(1), Utf16Bytes(u"h\u00e9")); // a text blob arrives widened
    EXPECT_EQ(LinkGetDefinition(LinkFindIndex(1))->m_nDataSize, 16u);
    LinkMatrixData m;
    ASSERT_EQ(LinkGetMatrix(2, m), 0);
    EXPECT_EQ(Bytes(m.pCells, m.pCells + m.nCellBytes), (Bytes{1, 2, 0}));
    EXPECT_EQ(Bytes(m.pRowLabels, m.pRowLabels + m.nRowLabelBytes),
              Utf16Bytes(std::u16string(u"a\0\u00e9\0\0", 5)));
    ASSERT_EQ(LinkGetMatrix(3, m), 0);
    EXPECT_EQ(m.nRows, 1u);
    EXPECT_EQ(Bytes(m.pRowLabels, m.pRowLabels + m.nRowLabelBytes),
              (Bytes{5, 4, 3, 2, 5, 1, 0xEA, 0x07}));
    LinkUnlock();
}

// A raw client on the pseudo-terminal: whatever it sends, the device stays in step.
TEST(SimEngine, SurvivesMalformedFramesAndStopsPromptly) {
    std::string error;
    auto device = SimPtyDevice::Start(ParseOrFail(kRigPanel), {}, error);
    ASSERT_TRUE(device) << error;
    const int fd = open(device->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);

    Bytes stream = {'j', 'u', 'n', 'k'};
    Bytes huge = DeviceHeader(MSG_CLIENT_VALUES);
    const Bytes count = Payload().U32(0x7FFFFFFF).bytes();
    huge.insert(huge.end(), count.begin(), count.end());
    const Bytes unknown = DeviceHeader(99);
    const Bytes ping = DeviceHeader(MSG_PING);
    for (const Bytes* b : std::initializer_list<const Bytes*>{&huge, &unknown, &ping})
        stream.insert(stream.end(), b->begin(), b->end());
    ASSERT_EQ(write(fd, stream.data(), stream.size()), ssize_t(stream.size()));

    Bytes reply;
    while (reply.size() < 20) {
        pollfd p{fd, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 3000), 1) << "no ping reply";
        uint8_t buf[64];
        const ssize_t n = read(fd, buf, sizeof buf);
        ASSERT_GT(n, 0);
        reply.insert(reply.end(), buf, buf + n);
    }
    EXPECT_EQ(GetU16LE(&reply[16]), MSG_PING_REPLY);
    const SimCounters c = device->Engine().Counters();
    EXPECT_EQ(c.malformed, 1u);
    EXPECT_EQ(c.pings, 1u);
    EXPECT_FALSE(device->Engine().Start(fd)) << "serving twice";

    const auto start = std::chrono::steady_clock::now();
    device.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    close(fd);
}

TEST(SimEngine, ServeEndsWhenAStreamEnds) {
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
    SimEngine engine(ParseOrFail(kRigPanel));
    auto served = std::async(std::launch::async, [&] { return engine.Serve(sv[0]); });
    const Bytes connect = DeviceHeader(MSG_CONNECT);
    ASSERT_EQ(write(sv[1], connect.data(), connect.size()), ssize_t(connect.size()));
    ASSERT_TRUE(engine.WaitForMessages(1, std::chrono::seconds(3)));
    EXPECT_TRUE(engine.ClientConnected());
    EXPECT_EQ(engine.Serve(sv[0]), EBUSY);
    close(sv[1]);
    ASSERT_EQ(served.wait_for(std::chrono::seconds(3)), std::future_status::ready);
    EXPECT_EQ(served.get(), 0);
    close(sv[0]);
}

TEST(SimPorts, SerialDevicesOpenRawOthersAreRefused) {
    std::string error;
    EXPECT_EQ(OpenSerialPort("/nonexistent/ttyX", error), -1);
    EXPECT_NE(error.find("cannot open /nonexistent/ttyX"), std::string::npos) << error;
    EXPECT_EQ(OpenSerialPort("/dev/null", error), -1);
    EXPECT_NE(error.find("is not a serial device"), std::string::npos) << error;

    PtyPair pty;
    ASSERT_TRUE(OpenPty(pty, error)) << error;
    const int fd = OpenSerialPort(pty.slavePath, error);
    ASSERT_GE(fd, 0) << error;
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B115200));
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    // Raw both ways: control bytes and line ends pass untouched.
    const Bytes sent = {'\r', '\n', 0x03, 0x11, 0x7F};
    ASSERT_EQ(write(pty.master, sent.data(), sent.size()), ssize_t(sent.size()));
    Bytes got;
    while (got.size() < sent.size()) {
        pollfd p{fd, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 3000), 1);
        uint8_t buf[16];
        const ssize_t n = read(fd, buf, sizeof buf);
        ASSERT_GT(n, 0);
        got.insert(got.end(), buf, buf + n);
    }
    EXPECT_EQ(got, sent);
    close(fd);
    ClosePty(pty);
    EXPECT_EQ(pty.master, -1);
    EXPECT_EQ(pty.slaveKeeper, -1);
}

TEST(SimEngine, AClientClosingAPseudoTerminalIsForgottenAndTheNextServed) {
    std::string error;
    PtyPair pty;
    ASSERT_TRUE(OpenPty(pty, error)) << error;
    close(pty.slaveKeeper); // nobody else holds the line: the client's close reaches the device
    pty.slaveKeeper = -1;
    std::mutex mutex;
    std::condition_variable changed;
    int closes = 0;
    SimOptions options;
    options.log = [&](const std::string& line) {
        if (line != "the client closed the port") return;
        std::lock_guard g(mutex);
        ++closes;
        changed.notify_all();
    };
    SimEngine engine(ParseOrFail(kRigPanel), options);
    ASSERT_TRUE(engine.Start(pty.master));
    for (int client = 1; client <= 2; ++client) {
        LinkFixtureServices services;
        int window = 0;
        ASSERT_EQ(LinkOpenDevice(pty.slavePath, &window, kNotifyMessage), 0);
        ASSERT_TRUE(engine.WaitForMessages(uint64_t(client), std::chrono::seconds(3)));
        EXPECT_TRUE(engine.ClientConnected());
        LinkClose(false);
        std::unique_lock g(mutex);
        EXPECT_TRUE(changed.wait_for(g, std::chrono::seconds(3), [&] { return closes == client; }));
        EXPECT_FALSE(engine.ClientConnected());
    }
    EXPECT_EQ(engine.Counters().connects, 2u);
    engine.Stop();
    ClosePty(pty);
}

// talvex-sim itself, its standard output and error read through a pipe.
struct SimProcess {
    pid_t pid = -1;
    FILE* out = nullptr;

    explicit SimProcess(const std::vector<std::string>& args, const char* program = TALVEX_SIM) {
        int fds[2];
        if (pipe(fds) != 0) return;
        std::vector<char*> argv{const_cast<char*>(program)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_adddup2(&files, fds[1], 1);
        posix_spawn_file_actions_adddup2(&files, fds[1], 2);
        posix_spawn_file_actions_addclose(&files, fds[0]);
        if (posix_spawn(&pid, program, &files, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&files);
        close(fds[1]);
        out = fdopen(fds[0], "r");
    }
    ~SimProcess() { // a test that stopped half-way leaves no program behind
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        Finish();
    }
    // Everything it says until it ends, and its exit status (-1: it did not exit normally).
    int Finish(std::string* said = nullptr) {
        char line[512];
        while (out && std::fgets(line, sizeof line, out))
            if (said) *said += line;
        if (out) fclose(out);
        out = nullptr;
        int status = 0;
        const bool ended = pid > 0 && waitpid(pid, &status, 0) == pid;
        pid = -1;
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST(SimProgram, ServesAPanelFileUntilStoppedAndRefusesBadArguments) {
    std::string said;
    EXPECT_EQ(SimProcess({"--help"}).Finish(&said), 0);
    EXPECT_NE(said.find("usage: talvex-sim"), std::string::npos);
    EXPECT_EQ(SimProcess({}).Finish(), 2);
    EXPECT_EQ(SimProcess({"a.json", "b.json"}).Finish(), 2);
    said.clear();
    EXPECT_EQ(SimProcess({"/nonexistent/panel.json"}).Finish(&said), 1);
    EXPECT_NE(said.find("/nonexistent/panel.json"), std::string::npos) << said;

    const fs::path dir = fs::temp_directory_path() / ("talvex-sim-p" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string panel = (dir / "panel.json").string();
    std::ofstream(panel) << R"({"title": "Bench", "controls": [{"kind": "button", "id": 1}]})";
    said.clear();
    EXPECT_EQ(SimProcess({panel, "--port", "/dev/null"}).Finish(&said), 1);
    EXPECT_NE(said.find("is not a serial device"), std::string::npos) << said;
    said.clear();
    EXPECT_EQ(SimProcess({panel, "--tcp", "70000"}).Finish(&said), 2);
    EXPECT_NE(said.find("give a port from 0 to 65535"), std::string::npos) << said;

    // Served on a pseudo-terminal until a signal stops it; a client connects meanwhile.
    SimProcess sim({panel, "--verbose"});
    ASSERT_GT(sim.pid, 0);
    char line[512];
    std::string path;
    while (path.empty() && std::fgets(line, sizeof line, sim.out)) {
        const std::string text = line;
        const size_t on = text.find(" on /dev/");
        if (on != std::string::npos) path = text.substr(on + 4, text.find('\n') - on - 4);
    }
    ASSERT_FALSE(path.empty());
    {
        LinkFixtureServices services;
        int window = 0;
        ASSERT_EQ(LinkOpenDevice(path, &window, kNotifyMessage), 0);
        ASSERT_TRUE(services.notifier.WaitForPosts(1));
        EXPECT_EQ(LinkGetTitle(), u"Bench");
        LinkClose(true);
    }
    ASSERT_EQ(kill(sim.pid, SIGTERM), 0); // as Ctrl+C would
    said.clear();
    EXPECT_EQ(sim.Finish(&said), 0);
    EXPECT_NE(said.find("client connected"), std::string::npos) << said;
    fs::remove_all(dir);
}

TEST(SimText, Utf8BothWaysAndMalformedInput) {
    EXPECT_EQ(Utf8ToUtf16("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"),
              std::u16string(u"a\u00e9\u20ac\U0001F600"));
    EXPECT_EQ(Utf16ToUtf8(u"a\u00e9\u20ac\U0001F600"), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    for (const char* bad :
         {"\xC3", "\xE2\x82", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "\xFF"})
        EXPECT_FALSE(Utf8ToUtf16(bad).has_value()) << bad;
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(ConsoleQuote(u"a\nb"), "\"a.b\"");
    EXPECT_EQ(ConsoleQuote(std::u16string(70, u'x')), "\"" + std::string(60, 'x') + "...\"");
}

TEST(SimDateTime, CalendarChecksAndWeekdays) {
    EXPECT_TRUE(MakeDateTime(2000, 2, 29, 0, 0, 0).has_value());
    EXPECT_FALSE(MakeDateTime(1900, 2, 29, 0, 0, 0).has_value());
    EXPECT_FALSE(MakeDateTime(2025, 2, 29, 0, 0, 0).has_value());
    EXPECT_FALSE(MakeDateTime(2025, 4, 31, 0, 0, 0).has_value());
    EXPECT_FALSE(MakeDateTime(2025, 1, 1, 24, 0, 0).has_value());
    EXPECT_EQ((*ParseDateTime("2026-12-08 14:30:00"))[4], 2); // Tuesday
    EXPECT_EQ(FormatDateTime(*ParseDateTime("2026-12-08")), "2026-12-08 00:00:00");
    EXPECT_FALSE(ParseDateTime("2026-12-08 14:30").has_value());
    EXPECT_FALSE(ParseDateTime("2026-12-08 14:30:00x").has_value());
    for (int64_t s : {int64_t(0), int64_t(-1), int64_t(1) << 33}) {
        const DateTimeBytes v = DateTimeFromSeconds(s);
        EXPECT_EQ(DateTimeSeconds(v), s) << FormatDateTime(v);
    }
    EXPECT_EQ(FormatDateTime(DateTimeFromSeconds(-1)), "1969-12-31 23:59:59");
    EXPECT_EQ(DateTimeFromSeconds(-1)[4], 3); // Wednesday
}

struct BadPanel {
    std::string text;
    const char* error;
};

TEST(SimPanelFile, MistakesNameTheFileTheControlAndTheField) {
    const std::vector<BadPanel> cases = {
        {R"({"controls": [)", "bad.json: not valid JSON: "},
        {R"({"controls": [], "x": 1)" + std::string(400, '8') + "}", "bad.json: not valid JSON: "},
        {R"({"controls": [{"kind": "text", "id": 1},
                          {"kind": "number", "id": 7, "value": "x"}]})",
         "bad.json: controls[1] (id 7): field 'value': must be a whole number"},
        {R"({"controls": [{"kind": "slider", "id": 1}]})",
         "bad.json: controls[0] (id 1): field 'kind': unknown kind 'slider'"},
        {R"({"controls": [{"kind": "text", "id": 1}, {"kind": "button", "id": 1}]})",
         "bad.json: controls[1] (id 1): field 'id': controls[0] has the same id"},
        {R"({"controls": [{"kind": "latch", "id": 2, "flags": ["sticky"]}]})",
         "bad.json: controls[0] (id 2): field 'flags': unknown flag 'sticky' for a latch"},
        {R"({"controls": [{"kind": "text", "id": 3, "maxsize": 8}]})",
         "bad.json: controls[0] (id 3): field 'maxsize': unknown field"},
        {R"({"controls": [{"kind": "text", "id": 3, "maxSize": 4, "value": "too long"}]})",
         "bad.json: controls[0] (id 3): field 'value': does not fit in maxSize"},
        {R"({"controls": [{"kind": "button", "id": 4, "colour": "red"}]})",
         "bad.json: controls[0] (id 4): field 'colour': must be \"#RRGGBB\""},
        {R"({"controls": [{"kind": "matrix", "id": 5, "capacity": 1, "columns": 1,
                           "rows": [[1], [2]]}]})",
         "bad.json: controls[0] (id 5): field 'rows': holds 2 rows, more than the capacity 1"},
        {R"({"controls": [{"kind": "datetime", "id": 6, "value": "2026-02-30 10:00:00"}]})",
         "bad.json: controls[0] (id 6): field 'value': must be \"now\" or a date"},
        {R"({"controls": [{"kind": "image", "id": 8, "gif": "missing.gif"}]})",
         "bad.json: controls[0] (id 8): field 'gif': no such file"},
        {R"({"controls": [{"kind": "file", "id": 9, "fileName": "../etc/passwd"}]})",
         "bad.json: controls[0] (id 9): field 'fileName': must be a plain file name"},
        {R"({"controls": [{"kind": "text", "id": 1}],
             "behaviour": [{"type": "clock", "id": 1}]})",
         "bad.json: behaviour[0]: field 'id': control 1 is a text, not a datetime"},
        {R"({"controls": [{"kind": "text", "id": 1}], "layout": [{"id": 2, "page": 1}]})",
         "bad.json: layout[0]: field 'id': no control has the id 2"},
        {R"({"controls": [{"kind": "text", "id": 1}], "layout": [{"id": 1, "pgae": 1}]})",
         "bad.json: layout[0]: field 'pgae': unknown layout property"},
        {R"({"controls": [{"kind": "text", "id": 1}], "layout": [{"id": 0, "page": 1}]})",
         "bad.json: layout[0]: field 'page': unknown layout property"},
        {R"({"controls": [{"kind": "unsupported", "id": 1, "letter": "T"}]})",
         "bad.json: controls[0] (id 1): field 'letter': must be one printable character"},
        {R"({"controls": [{"kind": "password", "id": 1,
                           "password": "0123456789abcdefghijklmnopqrstuvwx"}]})",
         "bad.json: controls[0] (id 1): field 'password': is longer than the 33 characters"},
        {R"({"controls": [{"kind": "text", "id": 1, "flags": ["utf16"], "maxSize": 9}]})",
         "bad.json: controls[0] (id 1): field 'maxSize': must be even"},
        {R"({"controls": [{"kind": "blob", "id": 1, "hex": "010203", "capacity": 2}]})",
         "bad.json: controls[0] (id 1): field 'hex': does not fit in the capacity of 2 bytes"},
        {R"({"controls": [{"kind": "matrix", "id": 1, "capacity": 2, "columns": 1,
                           "cellSize": 1, "rows": [[200]]}]})",
         "bad.json: controls[0] (id 1): field 'rows': row 0: cell 0 must be a whole number from "
         "-128 to 127"},
        {R"({"controls": [{"kind": "matrix", "id": 1, "capacity": 65535, "columns": 20}]})",
         "bad.json: controls[0] (id 1): field 'capacity': the cells would take 5242800 bytes"},
        {R"({"controls": [{"kind": "list", "id": 1, "items": ["a"], "value": "b"}]})",
         "bad.json: controls[0] (id 1): field 'value': is not one of the items"},
        {R"({"controls": [{"kind": "matrix", "id": 1, "capacity": 2, "columns": 1}],
             "behaviour": [{"type": "stream", "id": 1}]})",
         "bad.json: behaviour[0]: give either 'rows' to cycle through or 'waves'"},
        {R"({"controls": [], "behaviour": [{"type": "blink"}]})",
         "bad.json: behaviour[0]: field 'type': unknown type 'blink'"},
        {R"({"controls": [{"kind": "button", "id": 1}], "behaviour": [{"type": "attributes",
             "id": 1, "steps": [{"colour": "#12345"}]}]})",
         "bad.json: behaviour[0]: steps[0]: field 'colour': must be \"#RRGGBB\""},
        {R"({"controls": [{"kind": "text", "id": 0}]})",
         "bad.json: controls[0] (id 0): field 'id': must be a whole number from 1 to 4294967295"},
        {R"({"controls": {}})", "bad.json: panel: field 'controls': must be a list of controls"},
        {R"({"controls": [], "colour": 1})", "bad.json: panel: field 'colour': unknown field"},
    };
    for (const BadPanel& c : cases) {
        PanelFileResult r = ParsePanelText(c.text, "bad.json", TinyGifReader());
        EXPECT_FALSE(r.panel.has_value()) << c.text;
        EXPECT_EQ(r.error.rfind(c.error, 0), 0u) << "got: " << r.error;
    }
    PanelFileResult missing = LoadPanelFile("/no/such/panel.json");
    EXPECT_EQ(missing.error, "/no/such/panel.json: cannot open '/no/such/panel.json'");
}

TEST(SimDemo, TheDemoPanelShowsEveryKindAcrossPagesAndTheClientTakesIt) {
    PanelFileResult builtIn = LoadDemoPanel();
    ASSERT_TRUE(builtIn.panel) << builtIn.error;
    PanelFileResult onDisk = LoadPanelFile(TALVEX_SOURCE_DIR "/sim/panels/demo.json");
    ASSERT_TRUE(onDisk.panel) << onDisk.error;
    EXPECT_EQ(onDisk.panel->controls.size(), builtIn.panel->controls.size());

    std::set<SimKind> kinds;
    for (const PanelControl& c : builtIn.panel->controls) kinds.insert(c.kind);
    EXPECT_EQ(kinds.size(), 14u);
    std::set<uint32_t> pages;
    for (const LayoutRecord& r : builtIn.panel->layout)
        if (r.property == 320) pages.insert(r.value);
    EXPECT_GE(pages.size(), 2u);

    SimLink link(*builtIn.panel);
    ASSERT_TRUE(link.WaitFor(LINK_PANEL));
    EXPECT_EQ(LinkGetCount(), int(builtIn.panel->controls.size()));
    EXPECT_TRUE(link.services.alerts.Boxes().empty()) << "the client found a definition wrong";
    ASSERT_EQ(LinkSendRequest(REQUEST_LAYOUT), 0);
    EXPECT_TRUE(link.WaitFor(LINK_LAYOUT));
}

// The panel arrives whole and a value set on the client reaches the device.
void ExpectPanelAndValueRoundTrip(SimLink& link) {
    ASSERT_EQ(link.openStatus, 0);
    ASSERT_TRUE(link.Connected());
    EXPECT_EQ(LinkGetTitle(), u"Test rig");
    EXPECT_EQ(LinkGetCount(), 18);
    ASSERT_EQ(LinkSetValue(8, I32Bytes(120).data(), 4), 0);
    ASSERT_TRUE(link.SendAndWait());
    EXPECT_EQ(link.Engine().Control(8)->number, 120);
}

TEST(SimTcp, ServesTheClientOverTcpOneAtATime) {
    SimLink link(ParseOrFail(kRigPanel), nullptr);
    ExpectPanelAndValueRoundTrip(link);
    // A second client waits until the first has gone, then is served.
    const int second = ConnectLoopback(link.tcp->Port());
    ASSERT_GE(second, 0);
    const uint64_t before = link.Engine().Counters().messages;
    LinkClose(true); // a goodbye, then the second client's connect request
    const Bytes connect = DeviceHeader(MSG_CONNECT);
    ASSERT_EQ(send(second, connect.data(), connect.size(), MSG_NOSIGNAL), ssize_t(connect.size()));
    EXPECT_TRUE(link.Engine().WaitForMessages(before + 2, std::chrono::seconds(3)));
    EXPECT_EQ(link.Engine().Counters().connects, 2u);
    close(second);
}

// ser2net where the system has it (/usr/sbin is not always on the path).
std::string Ser2netProgram() {
    for (const char* dir : {"/usr/sbin", "/usr/local/sbin", "/usr/bin"}) {
        const std::string path = std::string(dir) + "/ser2net";
        if (access(path.c_str(), X_OK) == 0) return path;
    }
    return {};
}

TEST(SimTcp, TheClientReachesTheDeviceThroughSer2net) {
    const std::string ser2net = Ser2netProgram();
    if (ser2net.empty()) GTEST_SKIP() << "ser2net is not installed (scripts/install-deps.sh)";
    const fs::path dir = fs::temp_directory_path() / ("talvex-ser2net-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::unique_ptr<SimProcess> bridge;
    SimLink link(ParseOrFail(kRigPanel), [&](const std::string& slavePath) {
        const uint16_t port = FreeLoopbackPort();
        std::ofstream(dir / "ser2net.yaml")
            << "connection: &sim\n"
            << "  accepter: tcp,127.0.0.1," << port << "\n"
            << "  connector: serialdev," << slavePath << ",115200n81,local\n";
        bridge = std::make_unique<SimProcess>(
            std::vector<std::string>{"-n", "-u", "-c", (dir / "ser2net.yaml").string(), "-P",
                                     (dir / "ser2net.pid").string()},
            ser2net.c_str());
        const int ready = ConnectLoopback(port, 5000); // waits until ser2net listens
        if (ready >= 0) close(ready);
        return "tcp://127.0.0.1:" + std::to_string(port);
    });
    ExpectPanelAndValueRoundTrip(link);
    LinkClose(true);
    bridge.reset();
    fs::remove_all(dir);
}

TEST(SimProgram, ServesTcpClientsUntilStopped) {
    SimProcess sim({TALVEX_SOURCE_DIR "/sim/panels/demo.json", "--tcp", "0"});
    ASSERT_TRUE(sim.out);
    char line[512] = {};
    ASSERT_TRUE(std::fgets(line, sizeof line, sim.out));
    const char* url = std::strstr(line, "tcp://127.0.0.1:");
    ASSERT_TRUE(url) << line;
    LinkFixtureServices services;
    int window = 0;
    ASSERT_EQ(LinkOpenDevice(std::string(url, std::strcspn(url, "\n")), &window, kNotifyMessage),
              0);
    ASSERT_TRUE(services.notifier.WaitForPosts(1));
    EXPECT_EQ(services.notifier.Outcomes()[0], LINK_TITLE);
    LinkClose(true);
    kill(sim.pid, SIGTERM);
    EXPECT_EQ(sim.Finish(), 0);
}

} // namespace
