// What a port path names: a device file (/dev/rfcomm0, a pseudo-terminal) or, written as
// SCHEME://ADDRESS, a port that is not a file: tcp://HOST:PORT (IPv6 hosts in brackets), or
// bt://AA:BB:CC:DD:EE:FF (a Bluetooth device connected through the system's Bluetooth service).
#pragma once

#include <cstdint>
#include <string>

struct PortAddress {
    enum class Kind { Device, Tcp, Bluetooth, Invalid };
    Kind kind = Kind::Invalid;
    std::string path; // Device: the path as given
    std::string host; // Tcp: a name or a numeric address, without brackets
    uint16_t port = 0;
    std::string bluetooth; // Bluetooth: the device address, in capitals
    std::string error;     // Invalid: one line saying what is wrong and what to write instead
};

PortAddress ParsePortAddress(const std::string& text);
