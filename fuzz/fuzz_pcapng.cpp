// Any bytes as a capture file for talvex-sim --replay: the reader stays inside the input, takes
// no packet longer than the snap length, and what it accepts the replay either loads or refuses
// with a reason.
#include <cstddef>
#include <cstdint>
#include <string>

#include "Pcapng.h"
#include "Replay.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const PcapngFile file = ReadPcapng(data, size);
    if (!file.error.empty() && !file.packets.empty()) __builtin_trap();
    for (const PcapngPacket& p : file.packets)
        if (p.bytes.size() > PCAPNG_SNAPLEN || p.offset >= size) __builtin_trap();
    Replay replay;
    std::string error;
    if (!replay.Load(file, error) && error.empty()) __builtin_trap();
    return 0;
}
