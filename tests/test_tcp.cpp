// The link over TCP against a peer on loopback played by the test: addresses, the connection's
// failures (host not found, refused, unanswered, reset mid-message) and a peer that never answers.
#include <gtest/gtest.h>

#include <climits>

#include "Frame.h"
#include "Link.h"
#include "PortAddress.h"
#include "TcpPort.h"
#include "support/FakeServices.h"
#include "support/LinkHarness.h"
#include "support/TcpPeer.h"

namespace {

using Kind = PortAddress::Kind;

// The link opened on a TCP peer, with the view's loop reduced to "restart the receiver".
struct TcpLink {
    explicit TcpLink(const std::string& url) {
        openStatus = LinkOpenDevice(url, &window, kNotifyMessage);
    }
    ~TcpLink() { LinkClose(false); }
    int NextOutcome(int timeoutMs = 3000) {
        if (!services.notifier.WaitForPosts(seen + 1, timeoutMs)) return INT_MIN;
        const int outcome = services.notifier.Outcomes()[size_t(seen++)];
        LinkStartReceiver(&window, kNotifyMessage);
        return outcome;
    }
    LinkFixtureServices services;
    int window = 0;
    int openStatus = -1;
    int seen = 0;
};

TEST(PortAddress, TellsDevicesFromNetworkAddressesAndSaysWhatIsWrong) {
    EXPECT_EQ(ParsePortAddress("/dev/rfcomm0").kind, Kind::Device);
    const PortAddress tcp = ParsePortAddress("TCP://bridge.local:2000");
    EXPECT_EQ(tcp.kind, Kind::Tcp);
    EXPECT_EQ(tcp.host, "bridge.local");
    EXPECT_EQ(tcp.port, 2000);
    const PortAddress v6 = ParsePortAddress("tcp://[::1]:65535");
    EXPECT_EQ(v6.host, "::1");
    EXPECT_EQ(v6.port, 65535);
    const PortAddress bt = ParsePortAddress("bt://00:1a:7D:da:71:0c");
    EXPECT_EQ(bt.kind, Kind::Bluetooth);
    EXPECT_EQ(bt.bluetooth, "00:1A:7D:DA:71:0C");

    const std::pair<const char*, const char*> bad[] = {
        {"serial://ttyS0", "Unknown kind of port \"serial://\""},
        {"bt://00:11:22:33:44", "is not a Bluetooth address"},
        {"bt://00:11:22:33:44:5G", "is not a Bluetooth address"},
        {"tcp://bridge", "has no port number"},
        {"tcp://bridge:0", "port 0 is out of range: use a port from 1 to 65535"},
        {"tcp://:2000", "names no valid host"},
        {"tcp://::1:2000", "put an IPv6 address in brackets"},
    };
    for (const auto& [text, said] : bad) {
        const PortAddress a = ParsePortAddress(text);
        EXPECT_EQ(a.kind, Kind::Invalid) << text;
        EXPECT_NE(a.error.find(said), std::string::npos) << a.error;
        EXPECT_EQ(a.error.find('\n'), std::string::npos) << a.error;
    }
    LinkFixtureServices services;
    EXPECT_EQ(LinkOpenDevice("tcp://bridge:0", nullptr, 0), LINK_E_ADDRESS);
    EXPECT_FALSE(LinkIsOpen());
}

TEST(TcpLink, ARefusedConnectionIsALossThatSaysWhatToCheck) {
    TcpPeer closed(false);
    TcpLink link(closed.Url());
    ASSERT_EQ(link.openStatus, 0); // the connection is made off the caller's thread
    EXPECT_EQ(link.NextOutcome(), LINK_LOST);
    EXPECT_EQ(LinkLostReason(), "connection refused by 127.0.0.1:" + std::to_string(closed.Port()) +
                                    ": check the port number, and that ser2net or the serial "
                                    "bridge is running there");
}

TEST(TcpLink, AHostNotFoundIsALossThatSaysWhatToCheck) {
    // An empty label is refused by the resolver itself, with or without a network.
    TcpLink link("tcp://talvex..invalid:2000");
    ASSERT_EQ(link.openStatus, 0);
    EXPECT_EQ(link.NextOutcome(), LINK_LOST);
    EXPECT_EQ(LinkLostReason(),
              "host talvex..invalid not found: check the name, or give its IP address");
}

TEST(TcpLink, AResetInTheMiddleOfAMessageIsALostDevice) {
    TcpPeer peer;
    TcpLink link(peer.Url());
    ASSERT_TRUE(peer.Accept());
    Bytes request;
    ASSERT_TRUE(peer.Read(request, 20)); // the connect request, sent once connected
    EXPECT_EQ(request[16], MSG_CONNECT);
    Bytes half = DeviceHeader(9);
    half.insert(half.end(), {5, 0, 0}); // a value list cut short
    peer.Write(half);
    peer.Reset();
    EXPECT_EQ(link.NextOutcome(), LINK_LOST);
    EXPECT_EQ(LinkLostReason(), "Connection reset by peer");
}

TEST(TcpLink, APeerThatNeverAnswersKeepsTheLinkWaitingAndClosesAtOnce) {
    TcpPeer peer;
    TcpLink link(peer.Url());
    ASSERT_TRUE(peer.Accept());
    Bytes request;
    ASSERT_TRUE(peer.Read(request, 20));
    EXPECT_EQ(link.NextOutcome(200), INT_MIN);
    EXPECT_TRUE(LinkIsOpen());
    EXPECT_EQ(LinkClose(false), 0); // wakes the reader waiting on the silent peer
    EXPECT_FALSE(LinkIsOpen());
}

TEST(TcpPort, GivesUpOnAConnectThatIsNotAnswered) {
    TcpPeer full(true, 0);
    const int waiting = ConnectLoopback(full.Port()); // fills the backlog: the next is ignored
    ASSERT_GE(waiting, 0);
    TcpPort port;
    ASSERT_EQ(port.Open("127.0.0.1", full.Port(), 200), 0);
    const uint8_t ping[4] = {1, 2, 3, 4};
    EXPECT_EQ(port.Write(ping, sizeof ping, 0), 0); // kept until connected
    uint8_t byte = 0;
    EXPECT_EQ(port.ReadExact(&byte, 1, nullptr, 0), LINK_PORT_LOST);
    EXPECT_EQ(port.LostReason().rfind("127.0.0.1:" + std::to_string(full.Port()) +
                                          " did not answer within 200 ms: check the address",
                                      0),
              0u)
        << port.LostReason();
    close(waiting);
}

} // namespace
