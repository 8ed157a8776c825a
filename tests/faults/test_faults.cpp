// The real client against a device on a faulty line: it survives the device vanishing at every
// byte of a panel definition and of a file, and garbled and lost bytes in a stream, each time
// ending in a sound state.
#include <gtest/gtest.h>

#include "FaultClient.h"
#include "FaultScenarios.h"

namespace {

void ExpectSound(const FaultTally& tally, uint64_t runs) {
    EXPECT_EQ(tally.runs, runs);
    EXPECT_EQ(tally.recoveries, runs);
    for (const std::string& failure : tally.failures) ADD_FAILURE() << failure;
}

} // namespace

TEST(ClientOnAFaultyLine, DeviceVanishingAtEveryByteOfThePanel) {
    FaultClient client;
    const Panel panel = SmallPanel();
    const std::vector<size_t> offsets = Offsets(PanelFrameBytes(panel));
    ExpectSound(VanishDuringPanel(client, panel, offsets), offsets.size());
}

TEST(ClientOnAFaultyLine, DeviceVanishingAtEveryByteOfAFile) {
    FaultClient client;
    const Panel panel = SmallPanel();
    const std::vector<size_t> offsets = Offsets(FileFrameBytes(panel, kFileId));
    ExpectSound(VanishDuringFile(client, panel, kFileId, offsets), offsets.size());
}

TEST(ClientOnAFaultyLine, GarbledAndLostBytesInAStream) {
    UseShortStallTimeout();
    FaultClient client;
    FaultTally all;
    for (uint64_t pattern : {1, 2, 3})
        all.Add(NoisyStretch(client, StreamingPanel(), {.pattern = pattern}));
    EXPECT_GT(all.faults, 1000u);
    ExpectSound(all, 3);
}
