// The fault-injecting line: it cuts exactly where it is told and keeps to the shares of garbled
// and lost bytes it is given.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdint>

#include "DeviceWire.h"
#include "FaultPanels.h"
#include "FaultyLine.h"
#include "Frame.h"

namespace {

// A client of our own on the line: sends a connect request, then reads until `enough` bytes
// came or the line hung up.
std::vector<uint8_t> ConnectAndRead(const std::string& path, size_t enough = SIZE_MAX) {
    std::vector<uint8_t> got;
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return got;
    const FrameHeaderBytes connect = BuildFrameHeader(MSG_CONNECT, 0);
    if (write(fd, connect.data(), connect.size()) == ssize_t(connect.size())) {
        while (got.size() < enough) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 5000) <= 0) break;
            uint8_t buf[4096];
            const ssize_t r = read(fd, buf, sizeof buf);
            if (r <= 0) break;
            got.insert(got.end(), buf, buf + r);
        }
    }
    close(fd);
    return got;
}

} // namespace

TEST(FaultyLine, HangsUpExactlyAtTheByteAskedAndKeepsToTheShares) {
    const Panel panel = SmallPanel();
    const size_t info = DeviceFrame(MSG_PANEL_INFO, 0, PanelInfoPayload(panel)).size();
    for (size_t offset : {size_t(0), size_t(7), size_t(19), PanelFrameBytes(panel) - 1}) {
        std::string error;
        auto line = FaultyLine::Start(panel, 1, error);
        ASSERT_TRUE(line) << error;
        line->VanishAt(MSG_PANEL_DEFINITION, offset);
        EXPECT_EQ(ConnectAndRead(line->SlavePath()).size(), info + offset) << "offset " << offset;
        EXPECT_TRUE(line->Counts().vanished);
    }

    std::string error;
    auto line = FaultyLine::Start(StreamingPanel(), 7, error);
    ASSERT_TRUE(line) << error;
    line->SetFaults(0.02, 0.01);
    const size_t got = ConnectAndRead(line->SlavePath(), 50000).size();
    const FaultCounts c = line->Counts();
    EXPECT_GE(got, 50000u);
    EXPECT_NEAR(double(c.corrupted) / double(c.bytes), 0.02, 0.005);
    EXPECT_NEAR(double(c.dropped) / double(c.bytes), 0.01, 0.004);
}
