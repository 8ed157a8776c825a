// UTF-8 (panel files, the console) to and from the 16-bit texts a device sends.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Nullopt for malformed UTF-8.
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// A device text for the console: quoted, control characters shown as '.', long texts cut.
std::string ConsoleQuote(std::u16string_view text);
