#include "TextCodec.h"

#include <iconv.h>

#include <array>
#include <mutex>
#include <string>

#include "Frame.h"

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
        char16_t c = GetU16LE(reinterpret_cast<const uint8_t*>(out));
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

std::u16string DecodeUtf16LE(const uint8_t* bytes, size_t n, bool stopAtZero) {
    std::u16string out;
    if (!bytes) return out;
    out.reserve(n / 2);
    for (size_t i = 0; i + 1 < n; i += 2) {
        const char16_t c = GetU16LE(bytes + i);
        if (stopAtZero && c == 0) break;
        out.push_back(c);
    }
    return out;
}

std::vector<uint8_t> EncodeUtf16LE(std::u16string_view text) {
    std::vector<uint8_t> out(text.size() * 2);
    for (size_t i = 0; i < text.size(); ++i) PutU16LE(&out[2 * i], text[i]);
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(char(cp));
        } else if (cp < 0x800) {
            out.push_back(char(0xC0 | (cp >> 6)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(char(0xE0 | (cp >> 12)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (cp >> 18)));
            out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const uint8_t b = uint8_t(text[i]);
        uint32_t cp = 0;
        size_t extra = 0;
        if (b < 0x80) {
            cp = b;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07;
            extra = 3;
        } else {
            return std::nullopt;
        }
        if (extra > text.size() - i - 1) return std::nullopt; // cut short
        for (size_t k = 1; k <= extra; ++k) {
            const uint8_t c = uint8_t(text[i + k]);
            if ((c & 0xC0) != 0x80) return std::nullopt;
            cp = (cp << 6) | (c & 0x3F);
        }
        static constexpr uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return std::nullopt;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
        i += extra + 1;
    }
    return out;
}
