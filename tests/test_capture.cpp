// Captures in pcapng and their replay: a written file reads back frame for frame (directions,
// times, comments, a frame cut at the snap length), input that is not a Talvex capture is refused
// at the byte offset where it goes wrong, and a replay to the real client link finds its answers
// as recorded, or names the first that differs.
#include <gtest/gtest.h>

#include <climits>
#include <thread>

#include "Frame.h"
#include "Link.h"
#include "Pcapng.h"
#include "Replay.h"
#include "SimPorts.h"
#include "support/DeviceFrames.h"
#include "support/FakeServices.h"
#include "support/LinkHarness.h"

namespace {

struct Recorded {
    bool inbound;
    Bytes frame;
};

Bytes Frame(uint16_t code, uint16_t flags = 0, const Bytes& payload = {}) {
    Bytes f = DeviceHeader(code, flags);
    f.insert(f.end(), payload.begin(), payload.end());
    return f;
}

Bytes Capture(const std::vector<Recorded>& frames) {
    Bytes file = PcapngSectionHeader("Talvex capture of /dev/test", "talvex test");
    const Bytes idb = PcapngInterface("/dev/test");
    file.insert(file.end(), idb.begin(), idb.end());
    uint64_t t = 1'800'000'000'000'000;
    for (const Recorded& r : frames)
        PcapngAppendPacket(file, t += 1000, r.inbound, r.frame.data(), r.frame.size(),
                           r.frame.size());
    return file;
}

TEST(Pcapng, WrittenFramesReadBackAndOtherInputIsRefusedAtItsOffset) {
    Bytes file = PcapngSectionHeader("Talvex capture of /dev/pts/3, panel \"Rig\"", "talvex");
    const size_t idbAt = file.size();
    const Bytes idb = PcapngInterface("/dev/pts/3");
    file.insert(file.end(), idb.begin(), idb.end());
    const Bytes connect = Frame(MSG_CONNECT);
    Bytes big = Frame(MSG_FILES);
    big.resize(PCAPNG_SNAPLEN + 100, 0x5A);
    PcapngAppendPacket(file, 1'000'001, false, connect.data(), connect.size(), connect.size());
    const size_t secondAt = file.size();
    PcapngAppendPacket(file, 2'500'000, true, big.data(), big.size(), big.size(), "panel title");

    const PcapngFile read = ReadPcapng(file.data(), file.size());
    ASSERT_EQ(read.error, "");
    EXPECT_EQ(read.comment, "Talvex capture of /dev/pts/3, panel \"Rig\"");
    ASSERT_EQ(read.packets.size(), 2u);
    EXPECT_FALSE(read.packets[0].inbound);
    EXPECT_EQ(read.packets[0].timeUs, 1'000'001u);
    EXPECT_EQ(read.packets[0].bytes, connect);
    EXPECT_TRUE(read.packets[1].inbound);
    EXPECT_EQ(read.packets[1].offset, secondAt);
    EXPECT_EQ(read.packets[1].bytes.size(), PCAPNG_SNAPLEN); // cut, its length kept
    EXPECT_EQ(read.packets[1].originalLength, PCAPNG_SNAPLEN + 100);
    EXPECT_EQ(read.packets[1].comment, "panel title");

    auto errorOf = [](Bytes bytes) { return ReadPcapng(bytes.data(), bytes.size()).error; };
    EXPECT_EQ(errorOf(Bytes{'h', 'e', 'l', 'l', 'o', '\n'}),
              "not a pcapng file: no section header block at byte offset 0");
    EXPECT_NE(errorOf(Bytes{0xD4, 0xC3, 0xB2, 0xA1, 2, 0, 4, 0}).find("classic pcap"),
              std::string::npos);
    Bytes cut(file.begin(), file.end() - 5);
    EXPECT_EQ(errorOf(cut).rfind("truncated at byte offset " + std::to_string(secondAt), 0), 0u)
        << errorOf(cut);
    Bytes ethernet = file;
    PutU16LE(&ethernet[idbAt + 8], 1);
    EXPECT_EQ(errorOf(ethernet), "the interface at byte offset " + std::to_string(idbAt) +
                                     " has link type 1, not 147 (USER0) of a Talvex capture");
    // The first packet's epb_flags value: after its 20 data bytes, the option's 4-byte header.
    Bytes undirected = file;
    PutU32LE(&undirected[idbAt + idb.size() + 28 + 20 + 4], 0);
    EXPECT_EQ(errorOf(undirected), "the packet at byte offset " +
                                       std::to_string(idbAt + idb.size()) +
                                       " has no direction (epb_flags)");

    Replay replay;
    std::string error;
    EXPECT_FALSE(replay.Load(read, error)); // the cut frame cannot be played
    EXPECT_EQ(error, "frame 2 (byte offset " + std::to_string(secondAt) +
                         " of the capture) holds only the first 262144 of its 262244 bytes: it "
                         "cannot be replayed");
}

// The client is the real link on a pseudo-terminal whose other end the replay plays.
class ReplayToLink : public ::testing::Test {
protected:
    // Plays `capture` to a client that connects, takes `outcomes` outcomes and says goodbye.
    ReplayResult Play(const Bytes& capture, int outcomes) {
        Replay replay;
        std::string error;
        EXPECT_TRUE(replay.Load(ReadPcapng(capture.data(), capture.size()), error)) << error;
        PtyPair pty;
        EXPECT_TRUE(OpenPty(pty, error)) << error;
        ReplayResult result;
        ReplayOptions options;
        options.speed = 0;
        options.answerTime = std::chrono::seconds(3);
        std::thread device([&] { result = replay.Play(pty.master, options); });
        int window = 0;
        int seen = int(services.notifier.Outcomes().size()); // of earlier plays
        outcomes += seen;
        EXPECT_EQ(LinkOpenDevice(pty.slavePath, &window, kNotifyMessage), 0);
        for (; seen < outcomes && services.notifier.WaitForPosts(seen + 1, 5000); ++seen)
            LinkStartReceiver(&window, kNotifyMessage);
        EXPECT_EQ(seen, outcomes);
        LinkClose(true);
        device.join();
        ClosePty(pty);
        return result;
    }

    LinkFixtureServices services;
};

TEST_F(ReplayToLink, FindsTheAnswersAsRecordedAndNamesTheFirstThatDiffers) {
    const Bytes panel = PanelPayload({Definition('N', 0, 8, U32Bytes(5))});
    std::vector<Recorded> session = {
        {false, Frame(MSG_CONNECT)},
        {true, Frame(MSG_PANEL_INFO, 0, Payload().Sized(AnsiZ("Rig")).Sized({}))},
        {true, Frame(MSG_PANEL_DEFINITION, HF_ACK_REQUEST, panel)},
        {false, Frame(MSG_ACK)},
        {true, Frame(MSG_DEVICE_VALUES, HF_ACK_REQUEST, ItemList({{8, U32Bytes(42)}}))},
        {false, Frame(MSG_ACK)},
        {false, Frame(MSG_DISCONNECT)},
    };
    const ReplayResult same = Play(Capture(session), 3);
    EXPECT_TRUE(same.same) << same.report;
    EXPECT_EQ(same.report, "Replayed 3 device frames; the client's 4 answers were as recorded.");

    // The recording has the client send a value where it acknowledged.
    session[5].frame = Frame(MSG_CLIENT_VALUES, 0, ItemList({{8, U32Bytes(7)}}));
    const ReplayResult changed = Play(Capture(session), 3);
    EXPECT_FALSE(changed.same);
    EXPECT_NE(changed.report.find("differ at frame 6 (byte offset "), std::string::npos)
        << changed.report;
    EXPECT_NE(changed.report.find("first at byte 16 of the frame:\n"
                                  "  recorded: <- MSG_CLIENT_VALUES (7): 1 item #8 number 7\n"
                                  "  client:   <- MSG_ACK (14)"),
              std::string::npos)
        << changed.report;
}

} // namespace
