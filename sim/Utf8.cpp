#include "Utf8.h"

#include <cstdint>

std::string ConsoleQuote(std::u16string_view text) {
    constexpr size_t kShown = 60;
    std::string out = "\"";
    for (char c : Utf16ToUtf8(text.substr(0, kShown))) out += uint8_t(c) < 0x20 ? '.' : c;
    return out + (text.size() > kShown ? "...\"" : "\"");
}
