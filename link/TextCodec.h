// 8-bit device texts <-> the client's 16-bit texts, in one process-wide code page
// (Windows-1252 unless another is selected at start-up).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Selects the code page by an iconv name ("CP1252", "ISO-8859-2", ...); false leaves it unchanged.
// Call once at start-up, before the link runs.
bool LinkSetCodePage(const char* name);

// Widens the n bytes; a zero byte ends the text early when stopAtZero is set.
std::u16string WidenAnsi(const uint8_t* bytes, size_t n, bool stopAtZero = true);
// Narrows to the code page; characters it cannot hold become '?'.
std::string NarrowAnsi(std::u16string_view text);
// Length up to the first zero character, at most max.
size_t TextLength(const char16_t* text, size_t max);
