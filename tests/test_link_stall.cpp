// A message that stops arriving is abandoned after the stall time and the next marker hunted,
// so corrupted lengths cannot leave the client deaf; the outcome handshake and the panel stay
// sound. Played from memory, and once over a pseudo-terminal with a short stall time.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "Frame.h"
#include "Link.h"
#include "support/LinkHarness.h"
#include "support/MemoryLink.h"

namespace {

class Lines : public ILinkTraceSink {
public:
    void Trace(const std::string& line) override {
        std::lock_guard g(m_mutex);
        m_lines.push_back(line);
    }
    std::vector<std::string> Containing(const std::string& part) {
        std::lock_guard g(m_mutex);
        std::vector<std::string> found;
        for (const std::string& line : m_lines)
            if (line.find(part) != std::string::npos) found.push_back(line);
        return found;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

std::vector<Bytes> TwoNumbers() {
    return {Definition('N', 0, 1, U32Bytes(10)), Definition('N', 0, 2, U32Bytes(20))};
}

// A stall time for one test.
struct StallTime {
    explicit StallTime(int ms) { LinkSetStallTimeout(ms); }
    ~StallTime() { LinkSetStallTimeout(5000); }
};

Bytes Cut(Bytes bytes, size_t drop) {
    bytes.resize(bytes.size() - drop);
    return bytes;
}

uint32_t Value(uint32_t id) {
    uint32_t v = 0, size = 4;
    LinkGetValue(id, &v, &size);
    return v;
}

} // namespace

TEST(MemoryLink, PlaysTheStreamAndItsEndIsTheDeviceLeaving) {
    MemoryLink link;
    link.Frame(MSG_PANEL_DEFINITION, 0, PanelPayload(TwoNumbers()))
        .Frame(MSG_DEVICE_VALUES, HF_ACK_REQUEST, ItemList({{2, U32Bytes(7)}}))
        .Frame(MSG_PRESENCE_QUERY);
    EXPECT_EQ(link.Run(), (std::vector<int>{LINK_PANEL, LINK_VALUES, LINK_PRESENCE, LINK_LOST}));
    EXPECT_EQ(Value(2), 7u);
    EXPECT_EQ(LinkLostReason(), "end of data");
    EXPECT_EQ(link.ClientCodes(),
              (std::vector<uint16_t>{MSG_CONNECT, MSG_ACK, MSG_PRESENCE_REPLY}));
    EXPECT_EQ(LinkGetStallCount(), 0u);
}

TEST(LinkOpenPort, TakesOnlyAnOpenPortAndOneAtATime) {
    LinkFixtureServices services;
    int window = 0;
    EXPECT_EQ(LinkOpenPort(nullptr, &window, 0), LINK_E_NOT_OPEN);
    auto closed = std::make_unique<MemoryPort>(Bytes{});
    closed->Close();
    EXPECT_EQ(LinkOpenPort(std::move(closed), &window, 0), LINK_E_NOT_OPEN);

    auto first = std::make_unique<MemoryPort>(Bytes{});
    first->FailWrites(0, EPIPE); // the connect request cannot be written
    EXPECT_EQ(LinkOpenPort(std::move(first), &window, 0), EPIPE);
    EXPECT_FALSE(LinkIsOpen()); // nothing left open behind the failure
    EXPECT_EQ(LinkOpenPort(std::make_unique<MemoryPort>(Bytes{}), &window, 0), 0);
    EXPECT_EQ(LinkOpenPort(std::make_unique<MemoryPort>(Bytes{}), &window, 0), LINK_E_BUSY);
    EXPECT_EQ(LinkClose(false), 0);
    LinkShutdown();
    EXPECT_EQ(LinkOpenPort(std::make_unique<MemoryPort>(Bytes{}), &window, 0),
              LINK_E_NOT_INITIALISED);
}

TEST(Stall, ACorruptedLengthIsAbandonedCountedTracedAndTheNextMessageServed) {
    Lines trace;
    MemoryLink link;
    LinkSetServices({&link.services.notifier, &link.services.alerts, &link.services.store, &trace});
    // A title length of 60,938 with a few bytes of it, then silence; the device goes on after.
    link.Frame(MSG_PANEL_INFO, 0, Payload().U32(60938).Raw("abc"))
        .Pause()
        .Frame(MSG_DEVICE_ACK)
        .Raw(Cut(DeviceHeader(MSG_PANEL_INFO), 8))
        .Pause() // inside a header: nothing to report
        .Frame(MSG_PRESENCE_QUERY);
    EXPECT_EQ(link.Run(), (std::vector<int>{LINK_TITLE, LINK_ACK, LINK_PRESENCE, LINK_LOST}));
    EXPECT_EQ(LinkGetTitle(), u"");
    EXPECT_EQ(LinkGetStallCount(), 2u);
    EXPECT_EQ(
        trace.Containing("abandoned"),
        (std::vector<std::string>{"Message 2 abandoned: no byte for 5000 ms (stall 1)",
                                  "A frame header abandoned: no byte for 5000 ms (stall 2)"}));
    EXPECT_EQ(link.services.alerts.Boxes().size(), 0u);
}

TEST(Stall, WhatAStalledListAppliedIsReportedButNotAcknowledged) {
    MemoryLink link;
    // The second value stops half-way.
    const Bytes values = Cut(ItemList({{1, U32Bytes(11)}, {2, U32Bytes(22)}}), 2);
    link.Frame(MSG_PANEL_DEFINITION, 0, PanelPayload(TwoNumbers()))
        .Frame(MSG_DEVICE_VALUES, HF_ACK_REQUEST, values)
        .Pause()
        .Frame(MSG_FILES, HF_ACK_REQUEST, Payload().U32(1).U32(1).U32(40))
        .Pause()
        .Frame(MSG_PRESENCE_QUERY);
    EXPECT_EQ(link.Run(),
              (std::vector<int>{LINK_PANEL, LINK_VALUES, LINK_FILES, LINK_PRESENCE, LINK_LOST}));
    EXPECT_EQ(Value(1), 11u);
    EXPECT_EQ(Value(2), 20u);
    EXPECT_EQ(link.ClientCodes(), (std::vector<uint16_t>{MSG_CONNECT, MSG_PRESENCE_REPLY}));
    EXPECT_EQ(link.services.alerts.Boxes().size(), 0u);
}

TEST(Stall, AStalledPanelKeepsThePreviousOneWithOneMessageAndNoReport) {
    MemoryLink link;
    const Bytes bigger =
        Cut(PanelPayload({Definition('L', 0, 5, U32Bytes(0)), Definition('B', 0, 6, {0})}), 3);
    link.Frame(MSG_PANEL_DEFINITION, 0, PanelPayload(TwoNumbers()))
        .Frame(MSG_PANEL_DEFINITION, HF_ACK_REQUEST, bigger)
        .Pause()
        .Frame(MSG_DEVICE_VALUES, 0, ItemList({{1, U32Bytes(5)}}));
    EXPECT_EQ(link.Run(), (std::vector<int>{LINK_PANEL, LINK_VALUES, LINK_LOST}));
    EXPECT_EQ(LinkGetCount(), 2);
    EXPECT_EQ(Value(1), 5u);
    EXPECT_EQ(link.services.alerts.Boxes().size(), 1u);
    EXPECT_EQ(link.services.alerts.Count(RecordedBox::Message), 1);
    EXPECT_EQ(link.ClientCodes(), (std::vector<uint16_t>{MSG_CONNECT}));
    EXPECT_EQ(LinkGetStallCount(), 1u);
}

TEST(Stall, WithoutAStallTimeTheDeviceIsWaitedFor) {
    StallTime never(0);
    MemoryLink link;
    link.Frame(MSG_DEVICE_VALUES, 0, Payload().U32(0).Raw(""))
        .Raw(DeviceHeader(MSG_PANEL_INFO))
        .Raw(Payload().U32(2))
        .Pause()
        .Raw(Payload().Raw("ok").U32(0));
    EXPECT_EQ(link.Run(), (std::vector<int>{LINK_VALUES, LINK_TITLE, LINK_LOST}));
    EXPECT_EQ(LinkGetTitle(), u"ok");
    EXPECT_EQ(LinkGetStallCount(), 0u);
}

// The real port waits the stall time out; the device, heard again, is served at once.
TEST(Stall, OverAPseudoTerminalTheClientHearsTheDeviceAgain) {
    StallTime shortly(50);
    LinkHarness link;
    ASSERT_EQ(link.openStatus, 0);
    link.peer.Write(DeviceHeader(MSG_PANEL_INFO));
    link.peer.Write(Payload().U32(60938).Raw("Greenh"));
    EXPECT_EQ(link.NextOutcome(), LINK_TITLE); // only once the title has been abandoned
    EXPECT_EQ(LinkGetStallCount(), 1u);
    link.peer.WriteFrame(MSG_PRESENCE_QUERY);
    EXPECT_EQ(link.NextOutcome(), LINK_PRESENCE);
    EXPECT_EQ(link.NextClientCode(), MSG_PRESENCE_REPLY);
}
