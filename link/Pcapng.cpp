#include "Pcapng.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "Frame.h"

namespace {

constexpr uint32_t kSectionHeader = 0x0A0D0D0A;
constexpr uint32_t kInterface = 1;
constexpr uint32_t kSimplePacket = 3;
constexpr uint32_t kEnhancedPacket = 6;
constexpr uint32_t kByteOrderMagic = 0x1A2B3C4D;

constexpr uint16_t kOptEnd = 0;
constexpr uint16_t kOptComment = 1;
constexpr uint16_t kShbUserAppl = 4;
constexpr uint16_t kIfName = 2;
constexpr uint16_t kIfTsresol = 9;
constexpr uint16_t kEpbFlags = 2;
constexpr uint32_t kInbound = 1, kOutbound = 2; // epb_flags bits 0-1

void U16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void U32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void Pad(std::vector<uint8_t>& out) {
    while (out.size() % 4) out.push_back(0);
}
void Option(std::vector<uint8_t>& out, uint16_t code, const void* value, size_t n) {
    n = std::min<size_t>(n, 0xFFF0);
    U16(out, code);
    U16(out, uint16_t(n));
    const auto* p = static_cast<const uint8_t*>(value);
    out.insert(out.end(), p, p + n);
    Pad(out);
}
void Option(std::vector<uint8_t>& out, uint16_t code, const std::string& text) {
    if (!text.empty()) Option(out, code, text.data(), text.size());
}

// Opens a block at out's end; Close() fills its length in and repeats it at the end.
size_t Open(std::vector<uint8_t>& out, uint32_t type) {
    const size_t at = out.size();
    U32(out, type);
    U32(out, 0);
    return at;
}
void Close(std::vector<uint8_t>& out, size_t at) {
    U16(out, kOptEnd);
    U16(out, 0);
    const uint32_t length = uint32_t(out.size() - at + 4);
    U32(out, length);
    PutU32LE(&out[at + 4], length);
}

// Reads the fields of one section in its byte order.
class Fields {
public:
    Fields(const uint8_t* p, size_t n, bool swap) : m_p(p), m_n(n), m_swap(swap) {}
    uint32_t U32At(size_t at) const {
        const uint32_t v = GetU32LE(m_p + at);
        return m_swap ? __builtin_bswap32(v) : v;
    }
    uint16_t U16At(size_t at) const {
        const uint16_t v = GetU16LE(m_p + at);
        return m_swap ? __builtin_bswap16(v) : v;
    }
    size_t Size() const { return m_n; }
    const uint8_t* Data() const { return m_p; }

private:
    const uint8_t* m_p;
    size_t m_n;
    bool m_swap;
};

struct Interface {
    bool binary = false; // time stamps in 2^-resolution seconds, else 10^-resolution
    uint8_t resolution = 6;
};

uint64_t Microseconds(uint64_t ts, const Interface& i) {
    if (i.binary) {
        if (i.resolution >= 64) return 0;
        return uint64_t((unsigned __int128)ts * 1000000u >> i.resolution);
    }
    uint64_t v = ts;
    for (int r = i.resolution; r > 6; --r) v /= 10;
    for (int r = i.resolution; r < 6; ++r) v *= 10;
    return v;
}

std::string At(size_t offset) {
    return "at byte offset " + std::to_string(offset);
}

// Walks the options from `at` to the end of the block body; false on options that run over.
template <typename Take> bool Options(const Fields& f, size_t at, size_t end, Take take) {
    while (at + 4 <= end) {
        const uint16_t code = f.U16At(at), length = f.U16At(at + 2);
        if (code == kOptEnd) return true;
        const size_t padded = (size_t(length) + 3) & ~size_t(3);
        if (at + 4 + padded > end) return false;
        take(code, f.Data() + at + 4, length);
        at += 4 + padded;
    }
    return at == end;
}

} // namespace

std::vector<uint8_t> PcapngSectionHeader(const std::string& comment, const std::string& program) {
    std::vector<uint8_t> out;
    const size_t at = Open(out, kSectionHeader);
    U32(out, kByteOrderMagic);
    U16(out, 1); // version 1.0
    U16(out, 0);
    U32(out, 0xFFFFFFFF); // section length not given
    U32(out, 0xFFFFFFFF);
    Option(out, kOptComment, comment);
    Option(out, kShbUserAppl, program);
    Close(out, at);
    return out;
}

std::vector<uint8_t> PcapngInterface(const std::string& name) {
    std::vector<uint8_t> out;
    const size_t at = Open(out, kInterface);
    U16(out, PCAPNG_LINKTYPE_USER0);
    U16(out, 0);
    U32(out, PCAPNG_SNAPLEN);
    Option(out, kIfName, name);
    const uint8_t microseconds = 6;
    Option(out, kIfTsresol, &microseconds, 1);
    Close(out, at);
    return out;
}

void PcapngAppendPacket(std::vector<uint8_t>& out, uint64_t timeUs, bool inbound,
                        const uint8_t* bytes, size_t n, uint64_t originalLength,
                        const std::string& comment) {
    // Sized once and filled in place: a capture appends one of these per frame.
    n = std::min<size_t>(n, PCAPNG_SNAPLEN);
    const size_t note = std::min<size_t>(comment.size(), 0xFFF0);
    const size_t padded = (n + 3) & ~size_t(3);
    const size_t options = 8 + (note ? 4 + ((note + 3) & ~size_t(3)) : 0) + 4;
    const uint32_t length = uint32_t(28 + padded + options + 4);
    const size_t at = out.size();
    out.resize(at + length);
    uint8_t* p = out.data() + at;
    std::memset(p, 0, length);
    PutU32LE(p, kEnhancedPacket);
    PutU32LE(p + 4, length);
    PutU32LE(p + 8, 0); // the one interface
    PutU32LE(p + 12, uint32_t(timeUs >> 32));
    PutU32LE(p + 16, uint32_t(timeUs));
    PutU32LE(p + 20, uint32_t(n));
    PutU32LE(p + 24,
             uint32_t(std::min<uint64_t>(std::max<uint64_t>(originalLength, n), 0xFFFFFFFF)));
    if (n) std::memcpy(p + 28, bytes, n);
    uint8_t* o = p + 28 + padded;
    PutU16LE(o, kEpbFlags);
    PutU16LE(o + 2, 4);
    PutU32LE(o + 4, inbound ? kInbound : kOutbound);
    o += 8;
    if (note) {
        PutU16LE(o, kOptComment);
        PutU16LE(o + 2, uint16_t(note));
        std::memcpy(o + 4, comment.data(), note);
        o += 4 + ((note + 3) & ~size_t(3));
    }
    // opt_endofopt is the zeros already there.
    PutU32LE(p + length - 4, length);
}

PcapngFile ReadPcapng(const uint8_t* data, size_t n) {
    PcapngFile file;
    auto fail = [&](const std::string& error) {
        PcapngFile failed;
        failed.error = error;
        return failed;
    };
    if (n < 4 || GetU32LE(data) != kSectionHeader) {
        if (n >= 4 && (GetU32LE(data) == 0xA1B2C3D4 || GetU32LE(data) == 0xD4C3B2A1 ||
                       GetU32LE(data) == 0xA1B23C4D || GetU32LE(data) == 0x4D3CB2A1))
            return fail("a classic pcap file, not pcapng: save it as pcapng (at byte offset 0)");
        return fail("not a pcapng file: no section header block " + At(0));
    }
    bool swap = false;
    std::vector<Interface> interfaces;
    size_t at = 0;
    while (at < n) {
        if (n - at < 12)
            return fail("truncated " + At(at) + ": " + std::to_string(n - at) +
                        " bytes left, a block takes at least 12");
        const uint32_t rawType = GetU32LE(data + at);
        if (rawType == kSectionHeader) {
            if (n - at < 28) return fail("truncated section header block " + At(at));
            const uint32_t magic = GetU32LE(data + at + 8);
            if (magic == kByteOrderMagic)
                swap = false;
            else if (magic == __builtin_bswap32(kByteOrderMagic))
                swap = true;
            else
                return fail("not a pcapng file: no byte-order magic " + At(at + 8));
            interfaces.clear(); // a new section starts its own interfaces
        } else if (at == 0) {
            return fail("not a pcapng file: no section header block " + At(0));
        }
        const Fields f(data + at, n - at, swap);
        const uint32_t type = f.U32At(0), length = f.U32At(4);
        if (length < 12 || length % 4)
            return fail("bad block length " + std::to_string(length) + " " + At(at + 4));
        if (length > n - at)
            return fail("truncated " + At(at) + ": the block announces " + std::to_string(length) +
                        " bytes, " + std::to_string(n - at) + " are left");
        if (f.U32At(length - 4) != length)
            return fail("block lengths differ " + At(at) + " and " + At(at + length - 4));
        const size_t bodyEnd = length - 4;
        if (type == kSectionHeader) {
            if (f.U16At(12) != 1)
                return fail("pcapng version " + std::to_string(f.U16At(12)) + " is not 1 " +
                            At(at + 12));
            std::string comment;
            if (!Options(f, 24, bodyEnd, [&](uint16_t code, const uint8_t* v, uint16_t len) {
                    if (code == kOptComment) comment.assign(reinterpret_cast<const char*>(v), len);
                }))
                return fail("bad options in the section header " + At(at));
            if (file.comment.empty()) file.comment = comment;
        } else if (type == kInterface) {
            if (length < 20) return fail("interface block too short " + At(at));
            const uint16_t linkType = f.U16At(8);
            if (linkType != PCAPNG_LINKTYPE_USER0)
                return fail("the interface " + At(at) + " has link type " +
                            std::to_string(linkType) + ", not " +
                            std::to_string(PCAPNG_LINKTYPE_USER0) + " (USER0) of a Talvex capture");
            Interface i;
            if (!Options(f, 16, bodyEnd, [&](uint16_t code, const uint8_t* v, uint16_t len) {
                    if (code == kIfTsresol && len >= 1) {
                        i.binary = v[0] & 0x80;
                        i.resolution = v[0] & 0x7F;
                    }
                }))
                return fail("bad options in the interface block " + At(at));
            if (!i.binary && i.resolution > 19)
                return fail("time stamp resolution out of range " + At(at));
            interfaces.push_back(i);
        } else if (type == kSimplePacket) {
            return fail("a packet without direction (simple packet block) " + At(at));
        } else if (type == kEnhancedPacket) {
            if (length < 32) return fail("packet block too short " + At(at));
            const uint32_t interface = f.U32At(8);
            if (interface >= interfaces.size())
                return fail("the packet " + At(at) + " names interface " +
                            std::to_string(interface) + ", which was not described before it");
            const uint32_t captured = f.U32At(20);
            if (captured > bodyEnd - 28 || captured > PCAPNG_SNAPLEN)
                return fail("the packet " + At(at) + " announces " + std::to_string(captured) +
                            " captured bytes, more than its block holds");
            PcapngPacket p;
            p.offset = at;
            p.timeUs =
                Microseconds((uint64_t(f.U32At(12)) << 32) | f.U32At(16), interfaces[interface]);
            p.originalLength = f.U32At(24);
            p.bytes.assign(data + at + 28, data + at + 28 + captured);
            uint32_t direction = 0;
            const size_t options = 28 + ((size_t(captured) + 3) & ~size_t(3));
            if (options > bodyEnd ||
                !Options(f, options, bodyEnd, [&](uint16_t code, const uint8_t* v, uint16_t len) {
                    if (code == kEpbFlags && len == 4)
                        direction = (swap ? __builtin_bswap32(GetU32LE(v)) : GetU32LE(v)) & 3;
                    if (code == kOptComment)
                        p.comment.assign(reinterpret_cast<const char*>(v), len);
                }))
                return fail("bad options in the packet block " + At(at));
            if (direction != kInbound && direction != kOutbound)
                return fail("the packet " + At(at) + " has no direction (epb_flags)");
            p.inbound = direction == kInbound;
            file.packets.push_back(std::move(p));
        }
        // Other blocks (statistics, name resolution, custom) say nothing about the frames.
        at += length;
    }
    return file;
}

PcapngFile ReadPcapngFile(const std::string& path, uint64_t maxBytes) {
    PcapngFile failed;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        failed.error = path + ": " + std::strerror(errno);
        return failed;
    }
    if (!S_ISREG(st.st_mode) || uint64_t(st.st_size) > maxBytes) {
        failed.error =
            path + ": not a regular file of at most " + std::to_string(maxBytes >> 20) + " MiB";
        return failed;
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes(size_t(st.st_size));
    if (!in || !in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()))) {
        failed.error = path + ": cannot be read";
        return failed;
    }
    PcapngFile file = ReadPcapng(bytes.data(), bytes.size());
    if (!file.error.empty()) file.error = path + ": " + file.error;
    return file;
}
