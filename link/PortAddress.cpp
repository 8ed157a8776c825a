#include "PortAddress.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr const char* kTcpForm = "write it as tcp://HOST:PORT, such as tcp://192.168.1.20:2000";

PortAddress Invalid(std::string error) {
    PortAddress a;
    a.error = std::move(error);
    return a;
}

bool IsSchemeChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
}

PortAddress ParseTcp(const std::string& text, const std::string& rest) {
    std::string host, port;
    if (!rest.empty() && rest[0] == '[') { // [IPv6]:PORT
        const size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':')
            return Invalid(text + " is not a network address: " + kTcpForm);
        host = rest.substr(1, close - 1);
        port = rest.substr(close + 2);
    } else {
        const size_t colon = rest.rfind(':');
        if (colon == std::string::npos) return Invalid(text + " has no port number: " + kTcpForm);
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        if (host.find(':') != std::string::npos)
            return Invalid(text + " is not a network address: put an IPv6 address in brackets, "
                                  "such as tcp://[::1]:2000");
    }
    const bool hostOk = !host.empty() && std::none_of(host.begin(), host.end(), [](char c) {
        return std::isspace(static_cast<unsigned char>(c)) || c == '/' || c == '@' ||
               std::iscntrl(static_cast<unsigned char>(c));
    });
    if (!hostOk) return Invalid(text + " names no valid host: " + kTcpForm);
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return Invalid(text + " has no valid port number: " + kTcpForm);
    const long number = std::stol(port);
    if (number < 1 || number > 65535)
        return Invalid(text + ": port " + port + " is out of range: use a port from 1 to 65535");
    PortAddress a;
    a.kind = PortAddress::Kind::Tcp;
    a.host = host;
    a.port = uint16_t(number);
    return a;
}

PortAddress ParseBluetooth(const std::string& text, const std::string& rest) {
    bool ok = rest.size() == 17;
    for (size_t i = 0; ok && i < rest.size(); ++i)
        ok = i % 3 == 2 ? rest[i] == ':' : std::isxdigit(static_cast<unsigned char>(rest[i])) != 0;
    if (!ok)
        return Invalid(text + " is not a Bluetooth address: write it as bt://ADDRESS, such as "
                              "bt://00:11:22:33:44:55");
    PortAddress a;
    a.kind = PortAddress::Kind::Bluetooth;
    a.bluetooth = rest;
    std::transform(a.bluetooth.begin(), a.bluetooth.end(), a.bluetooth.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    return a;
}

} // namespace

PortAddress ParsePortAddress(const std::string& text) {
    const size_t sep = text.find("://");
    const bool scheme = sep != std::string::npos && sep > 0 &&
                        std::all_of(text.begin(), text.begin() + long(sep), IsSchemeChar);
    if (!scheme) {
        PortAddress a;
        a.kind = PortAddress::Kind::Device;
        a.path = text;
        return a;
    }
    std::string name = text.substr(0, sep);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (name == "tcp") return ParseTcp(text, text.substr(sep + 3));
    if (name == "bt") return ParseBluetooth(text, text.substr(sep + 3));
    return Invalid("Unknown kind of port \"" + name +
                   "://\": use a device path such as /dev/ttyUSB0, a network address "
                   "tcp://HOST:PORT or a Bluetooth device bt://ADDRESS");
}
