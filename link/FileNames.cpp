#include "FileNames.h"

#include <climits>
#include <cstdio>

#include "TextCodec.h"

namespace {

// Unicode's format characters (category Cf): they change how a name reads without showing.
bool IsFormat(char32_t c) {
    static constexpr char32_t kRanges[][2] = {
        {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},
        {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},
        {0x200B, 0x200F},   {0x202A, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},
        {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD},
        {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
        {0xE0020, 0xE007F},
    };
    for (auto [first, last] : kRanges)
        if (c >= first && c <= last) return true;
    return false;
}

bool IsControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

// Calls f(code point, valid) for each character; an unpaired surrogate is not valid.
template <class F> void ForEachCodePoint(std::u16string_view s, F f) {
    for (size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            f(0x10000 + ((char32_t(c) - 0xD800) << 10) + (s[i + 1] - 0xDC00), true);
            ++i;
        } else {
            f(char32_t(c), c < 0xD800 || c > 0xDFFF);
        }
    }
}

} // namespace

FileNameProblem CheckDeviceFileName(std::u16string_view name) {
    if (name.empty()) return FileNameProblem::Empty;
    if (name == u"." || name == u"..") return FileNameProblem::Path;
    FileNameProblem found = FileNameProblem::None;
    ForEachCodePoint(name, [&](char32_t c, bool valid) {
        FileNameProblem p = FileNameProblem::None;
        if (c == u'/' || c == u'\\' || c == u':')
            p = FileNameProblem::Path;
        else if (!valid)
            p = FileNameProblem::Invalid;
        else if (IsControl(c))
            p = FileNameProblem::Control;
        else if (IsFormat(c))
            p = FileNameProblem::Format;
        if (found == FileNameProblem::None) found = p;
    });
    if (found != FileNameProblem::None) return found;
    if (name.front() == u'.') return FileNameProblem::Hidden;
    if (Utf16ToUtf8(name).size() > NAME_MAX) return FileNameProblem::TooLong;
    return FileNameProblem::None;
}

std::u16string VisibleFileName(std::u16string_view name) {
    constexpr size_t kShown = 80;
    std::u16string out;
    size_t shown = 0;
    bool cut = false;
    ForEachCodePoint(name, [&](char32_t c, bool valid) {
        if (cut) return;
        if (shown++ == kShown) {
            out += u"\u2026";
            cut = true;
            return;
        }
        if (!valid || IsControl(c) || IsFormat(c)) {
            char code[16];
            std::snprintf(code, sizeof code, "<U+%04X>", unsigned(c));
            for (const char* p = code; *p; ++p) out += char16_t(*p);
        } else if (c >= 0x10000) {
            out += char16_t(0xD800 + ((c - 0x10000) >> 10));
            out += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += char16_t(c);
        }
    });
    return out;
}

std::u16string FileNameProblemText(FileNameProblem problem) {
    switch (problem) {
    case FileNameProblem::None:
        return {};
    case FileNameProblem::Empty:
        return u"a file needs a name";
    case FileNameProblem::Path:
        return u"names with a folder or path in them are not accepted";
    case FileNameProblem::Hidden:
        return u"hidden file names are not accepted";
    case FileNameProblem::Control:
        return u"names with control characters are not accepted";
    case FileNameProblem::Format:
        return u"names with invisible formatting characters (such as a right-to-left override "
               u"or a zero-width space) are not accepted";
    case FileNameProblem::Invalid:
        return u"the name is not valid text";
    case FileNameProblem::TooLong:
        return u"the name is too long";
    }
    return {};
}
