// Device texts <-> the client's 16-bit texts: 8-bit texts in one process-wide code page
// (Windows-1252 unless another is selected at start-up), UTF-16LE on the wire, and UTF-8 for
// file names, panel files and the console.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Selects the code page by an iconv name ("CP1252", "ISO-8859-2", ...); false leaves it unchanged.
// Call once at start-up, before the link runs.
bool LinkSetCodePage(const char* name);

// Widens the n bytes; a zero byte ends the text early when stopAtZero is set.
std::u16string WidenAnsi(const uint8_t* bytes, size_t n, bool stopAtZero = true);
// Narrows to the code page; characters it cannot hold become '?'.
std::string NarrowAnsi(std::u16string_view text);
// Length up to the first zero character, at most max.
size_t TextLength(const char16_t* text, size_t max);

// The n bytes as UTF-16LE, an odd last byte being no character; a zero character ends the text
// early when stopAtZero is set.
std::u16string DecodeUtf16LE(const uint8_t* bytes, size_t n, bool stopAtZero = true);
// Two bytes a character, low byte first; no terminator is added.
std::vector<uint8_t> EncodeUtf16LE(std::u16string_view text);

// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// Nullopt for malformed UTF-8: bad or cut-short sequences, overlong forms, surrogates and code
// points above U+10FFFF.
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);
