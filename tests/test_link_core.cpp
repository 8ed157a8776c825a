// The serial link: opening, closing, the connect request, timed writes, reads, and the 8-bit
// code page, against a pseudo-terminal playing the device.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <thread>

#include "Frame.h"
#include "LayoutProps.h"
#include "Link.h"
#include "LinkState.h"
#include "SerialPort.h"
#include "StreamPace.h"
#include "TextCodec.h"
#include "support/LinkHarness.h"

namespace {

const Bytes kConnectRequest = {0x48, 0xEF, 0xF0, 0x74, 0x72, 0xEF, 0xE6, 0x66, 0x00, 0x02,
                               0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00};

TEST(LinkOpen, SendsTheExactConnectRequest) {
    LinkFixtureServices services;
    PtyPeer peer;
    int window = 0;
    ASSERT_EQ(LinkOpenDevice(peer.SlavePath(), &window, kNotifyMessage), 0);
    Bytes got;
    ASSERT_TRUE(peer.Read(got, 20));
    EXPECT_EQ(got, kConnectRequest);
    EXPECT_TRUE(LinkIsOpen());
    EXPECT_EQ(LinkClose(false), 0);
    EXPECT_FALSE(LinkIsOpen());
}

TEST(LinkOpen, RefusesASecondOpenAndKeepsTheFirst) {
    LinkHarness link;
    ASSERT_EQ(link.openStatus, 0);
    PtyPeer other;
    EXPECT_EQ(LinkOpenDevice(other.SlavePath(), &link.window, kNotifyMessage), LINK_E_BUSY);
    EXPECT_EQ(LinkSendRequest(REQUEST_LAYOUT), 0);
    EXPECT_EQ(link.NextClientCode(), MSG_REQUEST);
    EXPECT_EQ(link.peer.ReadU32(), 512u);
    EXPECT_TRUE(other.Drain(50).empty());
}

TEST(LinkOpen, FailsBeforeInitAndOnAMissingDevice) {
    LinkFixtureServices services;
    PtyPeer peer;
    LinkShutdown();
    EXPECT_EQ(LinkOpenDevice(peer.SlavePath(), nullptr, 0), LINK_E_NOT_INITIALISED);
    EXPECT_FALSE(LinkIsOpen());
    LinkInit();
    EXPECT_EQ(LinkOpenDevice("/dev/no-such-talvex-port", nullptr, 0), ENOENT);
    EXPECT_FALSE(LinkIsOpen());
    EXPECT_EQ(LinkOpen(999, nullptr, 0), ENOENT); // /dev/rfcomm999
}

TEST(LinkOpen, RefusesWhatIsNotATerminal) {
    LinkFixtureServices services;
    const std::string path =
        (std::filesystem::temp_directory_path() / ("talvex-not-a-port-" + std::to_string(getpid())))
            .string();
    std::ofstream(path) << "keep me";
    EXPECT_EQ(LinkOpenDevice(path, nullptr, 0), ENOTTY);
    EXPECT_EQ(LinkOpenDevice("/dev/null", nullptr, 0), ENOTTY);
    EXPECT_FALSE(LinkIsOpen());
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep me");
    std::remove(path.c_str());
}

TEST(LinkClose, WithoutAPortReturnsNotOpen) {
    LinkFixtureServices services;
    EXPECT_EQ(LinkClose(false), LINK_E_NOT_OPEN);
    EXPECT_EQ(LinkClose(true), LINK_E_NOT_OPEN);
}

TEST(LinkClose, TellsTheDeviceWhenAsked) {
    LinkHarness link;
    EXPECT_EQ(LinkClose(true), 0);
    EXPECT_EQ(link.NextClientCode(), MSG_DISCONNECT);
    EXPECT_EQ(LinkClose(true), LINK_E_NOT_OPEN);
}

TEST(LinkClose, EndsAWaitingReceiverWithoutAReport) {
    LinkHarness link;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(LinkClose(false), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(link.services.notifier.Posts(), 0);
    // The port can be opened again at once.
    EXPECT_EQ(LinkOpenDevice(link.peer.SlavePath(), &link.window, kNotifyMessage), 0);
    EXPECT_EQ(link.NextClientCode(), MSG_CONNECT);
}

TEST(LinkLost, AHungUpDeviceEndsTheConnectionOnce) {
    LinkHarness link;
    link.peer.WriteFrame(MSG_DEVICE_ACK);
    ASSERT_EQ(link.NextOutcome(), LINK_ACK);
    EXPECT_EQ(LinkLostReason(), "");
    link.peer.HangUp();
    EXPECT_EQ(link.NextOutcome(), LINK_LOST);
    EXPECT_NE(LinkLostReason(), "");
    EXPECT_TRUE(link.services.alerts.Boxes().empty());
    // The connection has ended: starting the receiver again reads nothing more.
    EXPECT_EQ(LinkStartReceiver(&link.window, kNotifyMessage), 0);
    EXPECT_EQ(LinkClose(false), 0); // waits for every receive thread
    EXPECT_EQ(link.services.notifier.Outcomes(), (std::vector<int>{LINK_ACK, LINK_LOST}));
    EXPECT_FALSE(LinkIsOpen());
}

TEST(SerialPort, StallsWhenSilentAndSaysWhyTheDeviceWentAway) {
    PtyPeer peer;
    SerialPort port;
    ASSERT_EQ(port.Open(peer.SlavePath()), 0);
    EXPECT_EQ(port.Open(peer.SlavePath()), EBUSY);
    uint8_t b[2] = {};
    size_t immediate = 9;
    EXPECT_EQ(port.ReadExact(b, 2, &immediate, 20), LINK_PORT_STALLED);
    EXPECT_EQ(immediate, 0u);
    peer.Write({1, 2, 3});
    port.Purge(false, true);
    EXPECT_EQ(port.ReadExact(b, 2, &immediate, 0), 0);
    EXPECT_EQ(immediate, 2u);
    EXPECT_EQ(port.LostReason(), "");

    peer.HangUp();
    EXPECT_EQ(port.ReadExact(b, 2, nullptr, 0), LINK_PORT_LOST); // the byte left, then the end
    EXPECT_EQ(b[0], 3);
    const std::string reason = port.LostReason(); // "end of file" or "hang-up", by the system
    EXPECT_NE(reason, "");
    EXPECT_EQ(port.ReadExact(b, 1, &immediate, 0), LINK_PORT_LOST);
    EXPECT_EQ(port.LostReason(), reason); // the first reason stays
    EXPECT_EQ(port.Write(b, 1, 0), EIO);
    port.Close();
    EXPECT_EQ(port.ReadExact(b, 1, nullptr, 0), LINK_PORT_CLOSED);
    EXPECT_EQ(port.Write(b, 1, 0), LINK_E_NOT_OPEN);
}

TEST(SerialPort, ClosingWakesAWriterWaitingOnAFullLine) {
    PtyPeer peer;
    SerialPort port;
    ASSERT_EQ(port.Open(peer.SlavePath()), 0);
    const Bytes lot(1 << 20, 0x55); // far more than the line holds
    auto writer =
        std::async(std::launch::async, [&] { return port.Write(lot.data(), lot.size(), 0); });
    Bytes first;
    ASSERT_TRUE(peer.Read(first, 1)); // the writer is under way
    port.Close();
    EXPECT_EQ(writer.get(), LINK_E_NOT_OPEN);
}

TEST(LinkReceiver, OnlyOneReadsAndEachMessageWaitsForItsGoAhead) {
    LinkHarness link;
    // Started while it already reads: nothing more happens.
    EXPECT_EQ(LinkStartReceiver(&link.window, kNotifyMessage), 0);
    EXPECT_EQ(LinkStartReceiver(&link.window, kNotifyMessage), 0);
    Bytes two = DeviceHeader(MSG_DEVICE_ACK);
    Bytes second = DeviceHeader(MSG_PANEL_CHANGED);
    two.insert(two.end(), second.begin(), second.end());
    link.peer.Write(two);
    ASSERT_TRUE(link.services.notifier.WaitForPosts(1));
    LinkWaitForReceivers();
    // Without the go-ahead the second message is still unread.
    uint8_t header[20] = {};
    ASSERT_EQ(ReadFileBlocking(header, sizeof header, 0), 0);
    EXPECT_EQ(GetU16LE(header + 16), MSG_PANEL_CHANGED);
    EXPECT_EQ(link.services.notifier.Outcomes(), std::vector<int>{LINK_ACK});
}

// A connection whose outcomes are batched, as the view has them.
struct BatchedLink : LinkHarness {
    BatchedLink() { LinkSetBatchedOutcomes(true); }
    ~BatchedLink() { LinkSetBatchedOutcomes(false); }
};

TEST(LinkReceiver, BatchedOutcomesGoOnReadingUntilAPanelAndAreToldOnce) {
    BatchedLink link;
    Bytes stream;
    auto add = [&](const Bytes& frame) { stream.insert(stream.end(), frame.begin(), frame.end()); };
    for (int i = 0; i < 3; ++i) {
        add(DeviceValues({{1, U32Bytes(uint32_t(i))}}));
        add(DeviceHeader(MSG_DEVICE_ACK));
    }
    add(DeviceHeader(MSG_PRESENCE_QUERY));
    add(DeviceHeader(MSG_PANEL_DEFINITION));
    add(PanelPayload({}));
    add(DeviceHeader(MSG_PANEL_CHANGED));
    link.peer.Write(stream);
    // Nobody gave a go-ahead: the query was read and answered all the same.
    EXPECT_EQ(link.NextClientCode(), MSG_PRESENCE_REPLY);
    LinkWaitForReceivers(); // the panel waits for the window
    // Told once, as the thread stops at the panel (the telling may come just after it stops).
    ASSERT_TRUE(link.services.notifier.WaitForPosts(1));
    EXPECT_EQ(link.services.notifier.Posts(), 1);
    EXPECT_EQ(LinkTakeOutcomes(),
              (std::vector<int>{LINK_VALUES, LINK_ACK, LINK_PRESENCE, LINK_PANEL}));
    uint8_t header[20] = {};
    ASSERT_EQ(ReadFileBlocking(header, sizeof header, 0), 0);
    EXPECT_EQ(GetU16LE(header + 16), MSG_PANEL_CHANGED);
}

TEST(LinkReceiver, WhatWasReadIsToldBeforeTheThreadWaitsEvenInsideAMessage) {
    BatchedLink link;
    Bytes stream;
    auto add = [&](const Bytes& frame) { stream.insert(stream.end(), frame.begin(), frame.end()); };
    for (uint32_t i = 0; i < 3; ++i) {
        add(DeviceValues({{1, U32Bytes(i)}}));
    }
    // Half of a fourth message: the thread waits for the rest, and the window hears of the three
    // meanwhile, in one telling.
    const Bytes fourth = DeviceHeader(MSG_DEVICE_ACK);
    stream.insert(stream.end(), fourth.begin(), fourth.begin() + 12);
    link.peer.Write(stream);
    ASSERT_TRUE(link.services.notifier.WaitForPosts(1));
    EXPECT_EQ(LinkTakeOutcomes(), std::vector<int>{LINK_VALUES});
    link.peer.Write(Bytes(fourth.begin() + 12, fourth.end()));
    ASSERT_TRUE(link.services.notifier.WaitForPosts(2));
    EXPECT_EQ(LinkTakeOutcomes(), std::vector<int>{LINK_ACK});
}

TEST(StreamPace, GathersASteadyStreamByItsPaceAndNothingElse) {
    using std::chrono::microseconds;
    using std::chrono::milliseconds;
    // Reads of `each` messages every `gap`, long enough to tell the pace.
    auto gatherAt = [](StreamPace::Clock::duration gap, int each) {
        StreamPace pace;
        auto t = StreamPace::Clock::time_point{} + std::chrono::hours(1);
        StreamPace::Clock::duration gather{};
        for (int read = 0; read < 12; ++read, t += gap) {
            for (int m = 0; m < each; ++m) pace.Handled();
            gather = pace.Gather(t);
        }
        return gather;
    };
    EXPECT_EQ(gatherAt(milliseconds(1), 1), milliseconds(4)); // 1,000 a second: four messages
    EXPECT_EQ(gatherAt(milliseconds(2), 1), milliseconds(8)); // the fastest a gathering holds
    // The line's rate (taken four at a time or one by one) and slower: one showing of values.
    EXPECT_EQ(gatherAt(microseconds(12500), 4), StreamPace::kGatherLimit);
    EXPECT_EQ(gatherAt(microseconds(3125), 1), StreamPace::kGatherLimit);
    EXPECT_EQ(gatherAt(milliseconds(25), 1), StreamPace::kGatherLimit);
    EXPECT_EQ(gatherAt(milliseconds(30), 1).count(), 0); // too slow to find two in a gathering
    EXPECT_EQ(gatherAt(microseconds(20), 1).count(), 0); // back to back: nothing to wait for

    StreamPace pace; // too few reads to tell a pace
    pace.Handled();
    EXPECT_EQ(pace.Gather(StreamPace::Clock::now()).count(), 0);

    // A device that waits for each answer would only be slowed by a gathering.
    auto t = StreamPace::Clock::now();
    for (int read = 0; read < 12; ++read, t += milliseconds(1)) {
        pace.Handled();
        pace.Answered();
        EXPECT_EQ(pace.Gather(t).count(), 0);
    }
}

TEST(SerialPort, AGatheringIsReadInOneGoAndASendOrACloseEndsItAtOnce) {
    PtyPeer peer;
    SerialPort port;
    ASSERT_EQ(port.Open(peer.SlavePath()), 0);
    EXPECT_EQ(port.Buffered(), 0u);
    port.GatherUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
    peer.Write({1, 2, 3});
    uint8_t b[1] = {};
    ASSERT_EQ(port.ReadExact(b, 1, nullptr, 0), 0);
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(port.Buffered(), 2u); // the rest is held, a read of it does not wait

    // Something sent to the device ends a gathering, under way or about to begin: the answer is
    // read at once.
    ASSERT_EQ(port.ReadExact(b, 1, nullptr, 0), 0);
    ASSERT_EQ(port.ReadExact(b, 1, nullptr, 0), 0);
    port.GatherUntil(std::chrono::steady_clock::now() + std::chrono::hours(1));
    auto answer = std::async(std::launch::async, [&] { return port.ReadExact(b, 1, nullptr, 0); });
    peer.Write({4});
    port.EndGathering();
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(answer.get(), 0);
    EXPECT_EQ(b[0], 4);

    // A device that falls silent cannot keep a closing port waiting out the gathering.
    port.GatherUntil(std::chrono::steady_clock::now() + std::chrono::hours(1));
    auto reader = std::async(std::launch::async, [&] { return port.ReadExact(b, 1, nullptr, 0); });
    port.Close();
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(reader.get(), LINK_PORT_CLOSED);

    // A device that goes away during a gathering is lost when it ends.
    PtyPeer gone;
    SerialPort line;
    ASSERT_EQ(line.Open(gone.SlavePath()), 0);
    line.GatherUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
    gone.HangUp();
    EXPECT_EQ(line.ReadExact(b, 1, nullptr, 0), LINK_PORT_LOST);
}

// A line on which every gathering the receive thread asks for lasts an hour: only something sent
// to the device, or a close, ends one in time.
class HourGatheringPort : public ILinkPort {
public:
    explicit HourGatheringPort(const std::string& path) { m_opened = m_line.Open(path); }
    int Opened() const { return m_opened; }
    void Close() override { m_line.Close(); }
    bool IsOpen() const override { return m_line.IsOpen(); }
    int ReadExact(uint8_t* buffer, size_t n, size_t* immediate, int stallMs) override {
        return m_line.ReadExact(buffer, n, immediate, stallMs);
    }
    int Write(const uint8_t* bytes, size_t n, long polls) override {
        return m_line.Write(bytes, n, polls);
    }
    void Purge(bool input, bool output) override { m_line.Purge(input, output); }
    std::string LostReason() const override { return m_line.LostReason(); }
    size_t Buffered() const override { return m_line.Buffered(); }
    void GatherUntil(std::chrono::steady_clock::time_point) override {
        m_asked = true;
        m_line.GatherUntil(std::chrono::steady_clock::now() + std::chrono::hours(1));
    }
    void EndGathering() override { m_line.EndGathering(); }
    bool Asked() const { return m_asked; }

private:
    SerialPort m_line;
    int m_opened = 0;
    std::atomic<bool> m_asked{false};
};

TEST(LinkReceiver, WhatTheClientSendsEndsAGatheringAndAPingsReplyIsNeverGathered) {
    LinkFixtureServices services;
    PtyPeer peer;
    auto port = std::make_unique<HourGatheringPort>(peer.SlavePath());
    ASSERT_EQ(port->Opened(), 0);
    HourGatheringPort* line = port.get();
    LinkSetBatchedOutcomes(true);
    int window = 0;
    ASSERT_EQ(LinkOpenPort(std::move(port), &window, kNotifyMessage), 0);
    uint16_t code = 0, flags = 0;
    ASSERT_TRUE(peer.ReadHeader(code, flags)); // the connect request
    auto value = [](uint32_t v) { return DeviceValues({{1, U32Bytes(v)}}); };
    // A steady stream at a serial line's pace until the receive thread gathers.
    for (uint32_t i = 0; i < 1000 && !line->Asked(); ++i) {
        peer.Write(value(i));
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    ASSERT_TRUE(line->Asked());
    ASSERT_EQ(LinkPing(), 0);
    ASSERT_TRUE(peer.ReadHeader(code, flags));
    EXPECT_EQ(code, MSG_PING);
    // The stream goes on before the reply comes: no gathering holds the reply meanwhile.
    for (uint32_t i = 0; i < 12; ++i) {
        peer.Write(value(i));
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    peer.Write(DeviceHeader(MSG_PING_REPLY));
    bool replied = false;
    for (int tellings = 0; !replied && tellings < 100; ++tellings) {
        const int told = int(services.notifier.Outcomes().size());
        for (int outcome : LinkTakeOutcomes()) replied = replied || outcome == LINK_PING_REPLY;
        if (!replied && !services.notifier.WaitForPosts(told + 1, 5000)) break;
    }
    EXPECT_TRUE(replied);
    LinkClose(false);
    LinkSetBatchedOutcomes(false);
}

TEST(LinkWrite, TimesOutWhenThePeerStopsReadingAndPurgesTheOutput) {
    LinkHarness link;
    FrameHeaderBytes h = BuildFrameHeader(MSG_PING, 0);
    LinkLock();
    int status = 0;
    size_t written = 0;
    std::chrono::steady_clock::duration failedAfter{};
    for (int i = 0; i < 100000 && status == 0; ++i) {
        auto start = std::chrono::steady_clock::now();
        status = LinkWrite(h.data(), 20, 5);
        failedAfter = std::chrono::steady_clock::now() - start;
        written += status == 0 ? 20 : 0;
    }
    LinkUnlock();
    EXPECT_EQ(status, LINK_E_WRITE_TIMEOUT);
    // 20 x 5 + 10 polls of 10 ms.
    EXPECT_GE(failedAfter, std::chrono::milliseconds(900));
    // What was still queued is gone; a pseudo-terminal's own line discipline keeps up to 4 KiB
    // that it had already taken in.
    EXPECT_LE(link.peer.Drain(100).size(), 4096u);
    EXPECT_GT(written, 8192u);
    // The line is usable again.
    EXPECT_EQ(LinkSendRequest(7), 0);
    EXPECT_EQ(link.NextClientCode(), MSG_REQUEST);
}

TEST(LinkWrite, WithoutAPortReturnsNotOpen) {
    LinkFixtureServices services;
    uint8_t b = 0;
    EXPECT_EQ(LinkWrite(&b, 1, 5), LINK_E_NOT_OPEN);
}

TEST(ReadFileBlocking, ZeroBytesReturnAtOnce) {
    LinkFixtureServices services;
    EXPECT_EQ(ReadFileBlocking(nullptr, 0, 1), 0);
}

TEST(LinkState, TitleIsTalvexAfterShutdownAndInit) {
    LinkFixtureServices services;
    EXPECT_EQ(LinkGetTitle(), u"Talvex");
    EXPECT_FALSE(LinkGetAboutText().has_value());
    LinkShutdown();
    LinkInit();
    EXPECT_EQ(LinkGetTitle(), u"Talvex");
    EXPECT_EQ(LinkInit(), 0); // twice is harmless
    EXPECT_EQ(LinkGetOutcome(true), 0);
    EXPECT_FALSE(LinkPingsAllowed());
    EXPECT_FALSE(LinkKeepPanel());
}

TEST(Frame, HeaderCarriesFixedWordsCodeAndFlags) {
    FrameHeaderBytes h = BuildFrameHeader(MSG_CLIENT_VALUES, HF_ACK_REQUEST);
    EXPECT_TRUE(HasFrameMarker(h.data()));
    EXPECT_EQ(GetU16LE(&h[8]), 0x0200);
    EXPECT_EQ(GetU16LE(&h[12]), 2);
    EXPECT_EQ(GetU16LE(&h[14]), 1);
    h[8] = 0x55; // fixed words are not checked on receipt
    FrameHeader parsed = ParseFrameHeader(h.data());
    EXPECT_EQ(parsed.code, MSG_CLIENT_VALUES);
    EXPECT_EQ(parsed.flags, HF_ACK_REQUEST);
}

TEST(TextCodec, Windows1252BothWays) {
    const uint8_t bytes[] = {'A', 0x80, 0xE9, 0x9F, 0x81, 0};
    EXPECT_EQ(WidenAnsi(bytes, sizeof bytes), u"A\u20AC\u00E9\u0178\u0081");
    EXPECT_EQ(WidenAnsi(bytes, sizeof bytes, false).size(), sizeof bytes);
    EXPECT_EQ(NarrowAnsi(u"A\u20AC\u00E9\u0178"), std::string("A\x80\xE9\x9F"));
    EXPECT_EQ(NarrowAnsi(u"\u4E2D"), "?");
}

TEST(TextCodec, AnotherCodePageCanBeChosen) {
    ASSERT_TRUE(LinkSetCodePage("ISO-8859-2"));
    const uint8_t l[] = {0xA3};
    EXPECT_EQ(WidenAnsi(l, 1), u"\u0141");
    EXPECT_EQ(NarrowAnsi(u"\u0141"), "\xA3");
    EXPECT_FALSE(LinkSetCodePage("NO-SUCH-PAGE"));
    EXPECT_EQ(WidenAnsi(l, 1), u"\u0141"); // unchanged by a failed choice
    ASSERT_TRUE(LinkSetCodePage("CP1252"));
    EXPECT_EQ(WidenAnsi(l, 1), u"\u00A3");
}

TEST(TextCodec, Utf16LEDecodeIsBoundedAndStopsAtZero) {
    const uint8_t b[] = {'H', 0, 0xAC, 0x20, 0, 0, 'x', 0, 'y'};
    EXPECT_EQ(DecodeUtf16LE(b, sizeof b), u"H\u20AC");
    // Without the stop the zero is kept; the odd last byte is no character.
    EXPECT_EQ(DecodeUtf16LE(b, sizeof b, false), std::u16string(u"H\u20AC\0x", 4));
    EXPECT_EQ(DecodeUtf16LE(b, 3), u"H"); // bounded by the byte count, half a character is none
    EXPECT_EQ(DecodeUtf16LE(nullptr, 4), u"");
}

TEST(TextCodec, Utf16LEEncodeRoundTrips) {
    const std::u16string text(u"a\0\u00E9\U0001F600", 5);
    const std::vector<uint8_t> b = EncodeUtf16LE(text);
    EXPECT_EQ(b, (std::vector<uint8_t>{'a', 0, 0, 0, 0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE}));
    EXPECT_EQ(DecodeUtf16LE(b.data(), b.size(), false), text);
    EXPECT_TRUE(EncodeUtf16LE(u"").empty());
}

TEST(TextCodec, Utf8ConversionsPairSurrogatesAndRejectMalformedInput) {
    const std::u16string wide = u"a\u00E9\u20AC\U0001F600";
    const std::string narrow = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    EXPECT_EQ(Utf16ToUtf8(wide), narrow);
    EXPECT_EQ(Utf8ToUtf16(narrow), wide);
    // Lone or reversed surrogates cannot be paired: each becomes U+FFFD.
    EXPECT_EQ(Utf16ToUtf8(u"\xDC00\xD800x"), "\xEF\xBF\xBD\xEF\xBF\xBDx");
    EXPECT_EQ(Utf16ToUtf8(u"x\xD83D"), "x\xEF\xBF\xBD");
    for (std::string bad : {"\x80", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF"})
        EXPECT_FALSE(Utf8ToUtf16(bad).has_value()) << bad;
}

} // namespace
