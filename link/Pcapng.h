// Captures of the line in pcapng, as Wireshark and tshark read them: one section, one interface of
// the user link type 147 (LINKTYPE_USER0) with microsecond time stamps, and one Enhanced Packet
// Block per frame with its direction in epb_flags (inbound: from the device). Blocks are built as
// bytes, written by the caller; the reader takes a whole file from memory and says at which byte
// offset it stopped making sense.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr uint16_t PCAPNG_LINKTYPE_USER0 = 147;
// Wireshark refuses longer packets of this link type; a longer frame keeps its first bytes and
// its whole length.
inline constexpr uint32_t PCAPNG_SNAPLEN = 262144;

struct PcapngPacket {
    uint64_t timeUs = 0; // microseconds since the epoch
    bool inbound = false;
    uint32_t originalLength = 0;
    std::vector<uint8_t> bytes; // at most PCAPNG_SNAPLEN
    std::string comment;
    size_t offset = 0; // of its block in the file, when read
};

// The section header: the writing program and a comment (the port, the panel).
std::vector<uint8_t> PcapngSectionHeader(const std::string& comment, const std::string& program);
// The one interface: USER0, PCAPNG_SNAPLEN, microseconds, named after the port.
std::vector<uint8_t> PcapngInterface(const std::string& name);
// Appends one Enhanced Packet Block; bytes beyond PCAPNG_SNAPLEN are left out.
void PcapngAppendPacket(std::vector<uint8_t>& out, uint64_t timeUs, bool inbound,
                        const uint8_t* bytes, size_t n, uint64_t originalLength,
                        const std::string& comment = {});

struct PcapngFile {
    std::string comment; // the section's
    std::vector<PcapngPacket> packets;
    std::string error; // empty when the whole file was read
};

// Only a file of this program's shape is taken: pcapng, every interface USER0, every packet with
// its direction. On any other input `error` names the byte offset and nothing else is returned.
PcapngFile ReadPcapng(const uint8_t* data, size_t n);
// Reads the file first; a file over `maxBytes` is refused before it is read.
PcapngFile ReadPcapngFile(const std::string& path, uint64_t maxBytes = uint64_t(1) << 30);
