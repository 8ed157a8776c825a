#include "TextCodec.h"

#include <iconv.h>

#include <array>
#include <mutex>
#include <string>

namespace {

// Windows-1252 0x80..0x9F; the five holes map to the C1 controls of the same value.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// A single-byte code page as two tables, built once from iconv when another page is chosen.
struct CodePage {
    bool cp1252 = true;
    std::array<char16_t, 256> toUnicode{};
    std::u16string fromUnicodeKeys; // sorted pairs would be faster; code pages are small
    std::string fromUnicodeValues;
};

CodePage& Page() {
    static CodePage page;
    return page;
}

char16_t Cp1252ToUnicode(uint8_t b) {
    return (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : char16_t(b);
}

char Cp1252FromUnicode(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return char(c);
    for (size_t i = 0; i < kCp1252High.size(); ++i)
        if (kCp1252High[i] == c) return char(0x80 + i);
    return '?';
}

} // namespace

bool LinkSetCodePage(const char* name) {
    std::string n = name ? name : "";
    for (auto& ch : n) ch = char(toupper(static_cast<unsigned char>(ch)));
    if (n == "CP1252" || n == "WINDOWS-1252") {
        Page().cp1252 = true;
        return true;
    }
    iconv_t cd = iconv_open("UTF-16LE", name);
    if (cd == iconv_t(-1)) return false;
    CodePage page;
    page.cp1252 = false;
    for (int b = 0; b < 256; ++b) {
        char in = char(b);
        char out[8] = {};
        char* pin = &in;
        char* pout = out;
        size_t nin = 1, nout = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &pin, &nin, &pout, &nout) == size_t(-1) || sizeof out - nout != 2) {
            page.toUnicode[b] = u'?';
            continue;
        }
        char16_t c = char16_t(uint8_t(out[0]) | (uint8_t(out[1]) << 8));
        page.toUnicode[b] = c;
        page.fromUnicodeKeys.push_back(c);
        page.fromUnicodeValues.push_back(char(b));
    }
    iconv_close(cd);
    Page() = std::move(page);
    return true;
}

std::u16string WidenAnsi(const uint8_t* bytes, size_t n, bool stopAtZero) {
    std::u16string out;
    if (!bytes) return out;
    out.reserve(n);
    const CodePage& page = Page();
    for (size_t i = 0; i < n; ++i) {
        if (stopAtZero && bytes[i] == 0) break;
        out.push_back(page.cp1252 ? Cp1252ToUnicode(bytes[i]) : page.toUnicode[bytes[i]]);
    }
    return out;
}

std::string NarrowAnsi(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    const CodePage& page = Page();
    for (char16_t c : text) {
        if (page.cp1252) {
            out.push_back(Cp1252FromUnicode(c));
            continue;
        }
        size_t at = page.fromUnicodeKeys.find(c);
        out.push_back(at == std::u16string::npos ? '?' : page.fromUnicodeValues[at]);
    }
    return out;
}

size_t TextLength(const char16_t* text, size_t max) {
    size_t n = 0;
    while (n < max && text[n] != 0) ++n;
    return n;
}
