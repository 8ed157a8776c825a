// Control definitions: the parser on hand-built definition bytes, and the download and
// the table operations over a pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Definition.h"
#include "Frame.h"
#include "Link.h"
#include "LinkState.h"
#include "support/FakeServices.h"
#include "support/PtyPeer.h"

using namespace std::string_literals;

namespace {

// ---------------------------------------------------------------------------------------------
// A definition builder, independent of the parser.

Bytes U32Bytes(uint32_t v) {
    return Payload().U32(v).bytes();
}
Bytes AnsiBytes(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

struct Def {
    uint16_t letter = 'B';
    uint32_t flags = 0;
    uint32_t id = 1;
    Bytes value;
    std::optional<uint32_t> announcedV; // V different from the value's length
    std::vector<std::pair<char, Bytes>> attrs;

    Def(char l, uint32_t f, uint32_t i, Bytes v = {}) : letter(uint8_t(l)), flags(f), id(i) {
        value = std::move(v);
    }
    Def& Attr(char tag, Bytes data) {
        attrs.emplace_back(tag, std::move(data));
        return *this;
    }
    Def& U32(char tag, uint32_t v) { return Attr(tag, U32Bytes(v)); }
    Def& U8(char tag, uint8_t v) { return Attr(tag, Bytes{v}); }
    Def& Text(char tag, std::string_view s) { return Attr(tag, AnsiBytes(s)); }
    Def& Text16(char tag, std::u16string_view s) { return Attr(tag, Utf16Bytes(s)); }
    Def& V(uint32_t v) {
        announcedV = v;
        return *this;
    }

    Bytes Build() const {
        Payload p;
        p.U16(letter).U32(flags).U32(id).U32(announcedV ? *announcedV : uint32_t(value.size()));
        p.Raw(value);
        p.U32(uint32_t(attrs.size()));
        for (auto& a : attrs) p.U8(uint8_t(a.first));
        for (auto& a : attrs) p.Sized(a.second);
        return p.bytes();
    }
};

CLinkCtrl Parse(const Bytes& b, RecordingAlerts& alerts) {
    // An exact-size heap copy, so the sanitizer sees any read past the end.
    auto copy = std::make_unique<uint8_t[]>(b.size() ? b.size() : 1);
    if (!b.empty()) std::memcpy(copy.get(), b.data(), b.size());
    return ParseDefinition(b.empty() ? nullptr : copy.get(), b.size(), &alerts);
}
CLinkCtrl Parse(const Def& d, RecordingAlerts& alerts) {
    return Parse(d.Build(), alerts);
}

std::u16string Zeros(size_t n) {
    return std::u16string(n, u'\0');
}

// Text up to the first zero.
std::u16string TextOf(const std::u16string& buffer) {
    return buffer.substr(0, std::min(buffer.find(u'\0'), buffer.size()));
}

void ExpectMinimal(const CLinkCtrl& c, uint32_t id, uint32_t flags, uint16_t kind) {
    EXPECT_EQ(c.m_nId, id);
    EXPECT_EQ(c.m_dwFlags, flags);
    EXPECT_EQ(c.m_nKind, kind);
    EXPECT_TRUE(c.m_pszName.empty());
    EXPECT_EQ(c.m_crColour, 0u);
    EXPECT_EQ(c.m_nMaxSize, 0u);
    EXPECT_TRUE(c.m_text.empty());
    EXPECT_EQ(c.m_bState, 0);
    EXPECT_EQ(c.m_nValue, 0);
    EXPECT_TRUE(c.m_data.empty());
    EXPECT_TRUE(c.m_cells.empty());
    EXPECT_TRUE(c.m_rowLabels.empty());
    EXPECT_TRUE(c.m_strFormat.empty());
    EXPECT_TRUE(c.m_items.empty());
}

constexpr uint32_t kGrey = 0xC0C0C0;
constexpr uint32_t kWhite = 0xFFFFFF;

// ---------------------------------------------------------------------------------------------
// Helpers of LinkCtrl.h

TEST(KindFromLetter, MapsEveryLetterOfTheTable) {
    const std::pair<char, uint16_t> table[] = {
        {'T', KIND_TEXT},     {'B', KIND_BUTTON},     {'G', KIND_LATCH},  {'S', KIND_SECTION},
        {'D', KIND_DATETIME}, {'N', KIND_NUMBER},     {'M', KIND_MATRIX}, {'P', KIND_PASSWORD},
        {'L', KIND_LIST},     {'X', KIND_MESSAGEBOX}, {'O', KIND_BLOB},   {'F', KIND_FILE},
        {'I', KIND_IMAGE}};
    for (auto [letter, kind] : table) EXPECT_EQ(KindFromLetter(uint8_t(letter)), kind) << letter;
    for (uint16_t other : {uint16_t('Q'), uint16_t('A'), uint16_t('t'), uint16_t(0),
                           uint16_t(0x5400 | 'T'), uint16_t(0xFFFF)})
        EXPECT_EQ(KindFromLetter(other), KIND_UNSUPPORTED) << other;
}

TEST(MatrixLayout, WidthsAndKindsFromTheFlags) {
    EXPECT_EQ(MatrixCellWidth(0x000000), 4);
    EXPECT_EQ(MatrixCellWidth(0x100000), 2);
    EXPECT_EQ(MatrixCellWidth(0x200000), 1);
    EXPECT_EQ(MatrixCellWidth(0x300000), 0);
    EXPECT_EQ(MatrixRowLabelKind(0x00000), 0);
    EXPECT_EQ(MatrixRowLabelKind(0x10000), 1);
    EXPECT_EQ(MatrixRowLabelKind(0x20000), 2);
    EXPECT_EQ(MatrixRowLabelKind(0x30000), 3);
    EXPECT_EQ(MatrixRowLabelWidth(0x00000), 0); // none
    EXPECT_EQ(MatrixRowLabelWidth(0x10000), 4); // number, 32-bit
    EXPECT_EQ(MatrixRowLabelWidth(0x10000 | 0x40000), 2);
    EXPECT_EQ(MatrixRowLabelWidth(0x10000 | 0x80000), 1);
    EXPECT_EQ(MatrixRowLabelWidth(0x10000 | 0xC0000), 0); // width code 3 reads as nothing
    EXPECT_EQ(MatrixRowLabelWidth(0x20000 | 0x40000), 0); // text
    EXPECT_EQ(MatrixRowLabelWidth(0x30000 | 0x80000), 8); // date/time
}

TEST(MatrixLayout, RawBlobWhenUtf16OrNotEditable) {
    EXPECT_TRUE(IsRawBlob(0));
    EXPECT_TRUE(IsRawBlob(CTRLF_TEXT16));
    EXPECT_TRUE(IsRawBlob(CTRLF_TEXT16 | CTRLF_EDITABLE));
    EXPECT_FALSE(IsRawBlob(CTRLF_EDITABLE));
}

// ---------------------------------------------------------------------------------------------
// Common fields and attributes

TEST(ParseDefinition, HeaderFieldsAndName) {
    RecordingAlerts a;
    auto c = Parse(Def('B', CTRLF_DISABLED | CTRLF_HIDDEN, 0xDEADBEEF, {1}).Text('Z', "Go"), a);
    EXPECT_EQ(c.m_nKind, KIND_BUTTON);
    EXPECT_EQ(c.m_dwFlags, 0x81u);
    EXPECT_EQ(c.m_nId, 0xDEADBEEFu);
    EXPECT_EQ(c.m_pszName, u"Go");
    EXPECT_EQ(c.m_bDeviceChanged, 0);
    EXPECT_EQ(c.m_bSendPending, 0);
    EXPECT_EQ(c.m_bAttrChanged, 0);
    EXPECT_TRUE(a.Boxes().empty());
}

TEST(ParseDefinition, TwoNameAttributesTakeTheSecond) {
    RecordingAlerts a;
    auto c = Parse(Def('B', 0, 1, {0}).Text('Z', "first").U32('c', 1).Text('Z', "second"), a);
    EXPECT_EQ(c.m_pszName, u"second");
    EXPECT_EQ(c.m_crColour, 1u);
    auto d = Parse(Def('B', 0, 1, {0}).U32('c', 1).U32('c', 0x0000FF), a);
    EXPECT_EQ(d.m_crColour, 0x0000FFu);
}

TEST(ParseDefinition, NameIsUtf16WithFlag4AndWidenedOtherwise) {
    RecordingAlerts a;
    auto u = Parse(Def('B', CTRLF_TEXT16, 1, {0}).Text16('Z', u"\u0416ab"), a);
    EXPECT_EQ(u.m_pszName, u"\u0416ab");
    // Windows-1252: 0x80 is the euro sign; the text ends at its zero byte.
    auto n = Parse(Def('B', 0, 1, {0}).Attr('Z', Bytes{'A', 0x80, 0, 'x'}), a);
    EXPECT_EQ(n.m_pszName, u"A\u20AC");
    // An odd UTF-16 byte count drops the last byte.
    auto o = Parse(Def('B', CTRLF_TEXT16, 1, {0}).Attr('Z', Bytes{'a', 0, 'b'}), a);
    EXPECT_EQ(o.m_pszName, u"a");
}

TEST(ParseDefinition, IntegerAttributesCopyAtMostTheirWidthRestZero) {
    RecordingAlerts a;
    // Colour of 2 bytes: the rest zero; of 8 bytes: only the first 4; of 0 bytes: 0.
    EXPECT_EQ(Parse(Def('B', 0, 1, {0}).Attr('c', Bytes{0x11, 0x22}), a).m_crColour, 0x2211u);
    EXPECT_EQ(Parse(Def('B', 0, 1, {0}).Attr('c', Bytes{1, 2, 3, 4, 5, 6, 7, 8}), a).m_crColour,
              0x04030201u);
    EXPECT_EQ(Parse(Def('B', 0, 1, {0}).Attr('c', Bytes{}), a).m_crColour, 0u);
    // A byte field takes the first byte of a longer attribute.
    auto n = Parse(Def('N', 0, 1, U32Bytes(0)).U32('d', 0x0302).Attr('n', Bytes{0xFF, 0xFF}), a);
    EXPECT_EQ(n.m_nDecimals, 2);
    EXPECT_EQ(n.m_nMin, 0xFFFF); // two bytes, not sign-extended
    EXPECT_TRUE(a.Boxes().empty());
}

TEST(ParseDefinition, UnknownTagsAreIgnored) {
    RecordingAlerts a;
    auto c = Parse(Def('G', 0, 1, {1}).Text('?', "x").U32('r', 4).Attr('\xFF', Bytes{9}), a);
    EXPECT_EQ(c.m_nGroup, 4u);
    EXPECT_TRUE(a.Boxes().empty());
}

// ---------------------------------------------------------------------------------------------
// Kinds

TEST(ParseDefinition, Text8BitHoldsMCharacters) {
    RecordingAlerts a;
    auto c = Parse(Def('T', 0, 7, AnsiBytes("Hello\0zz"s)).U32('m', 20), a);
    EXPECT_EQ(c.m_nKind, KIND_TEXT);
    EXPECT_EQ(c.m_nMaxSize, 20u);
    ASSERT_EQ(c.m_text.size(), 20u);
    EXPECT_EQ(c.m_text, u"Hello" + Zeros(15)); // zero-filled after the text
    EXPECT_EQ(c.m_crColour, kWhite);
    EXPECT_TRUE(a.Boxes().empty());
}

TEST(ParseDefinition, TextUtf16HoldsMBytes) {
    RecordingAlerts a;
    auto c = Parse(Def('T', CTRLF_TEXT16, 7, Utf16Bytes(u"Hi")).U32('m', 20), a);
    EXPECT_EQ(c.m_nMaxSize, 20u);
    ASSERT_EQ(c.m_text.size(), 10u);
    EXPECT_EQ(c.m_text, u"Hi" + Zeros(8));
}

TEST(ParseDefinition, TextLongerThanItsBufferIsCut) {
    RecordingAlerts a;
    auto c = Parse(Def('T', 0, 7, AnsiBytes("abcdefghij")).U32('m', 4), a);
    EXPECT_EQ(c.m_text, u"abcd"); // no room for a zero: the text runs to the end
    auto u = Parse(Def('T', CTRLF_TEXT16, 7, Utf16Bytes(u"abcdef")).U32('m', 7), a);
    EXPECT_EQ(u.m_text, u"abc"); // 7 bytes: 3 characters
    auto z = Parse(Def('T', CTRLF_TEXT16, 7, Utf16Bytes(u"ab\0cd"s)).U32('m', 10), a);
    EXPECT_EQ(z.m_text, u"ab" + Zeros(3)); // nothing of the value after its zero survives
}

TEST(ParseDefinition, TextWithoutMaximumShowsTheBoxAndKeepsTheValueBuffer) {
    RecordingAlerts a;
    auto c = Parse(Def('T', 0, 7, AnsiBytes("ab\0\0\0"s)).Text('Z', "t"), a);
    EXPECT_EQ(a.DiagnosticValues(), std::vector<long>{0});
    EXPECT_EQ(c.m_nMaxSize, 0u);
    EXPECT_EQ(c.m_text, u"ab" + Zeros(3)); // a buffer of V characters
    EXPECT_EQ(c.m_pszName, u"t");
    EXPECT_EQ(c.m_crColour, kWhite);
}

TEST(ParseDefinition, TextMaximumAbove0xFFFFRaisesTheSizeAlarm) {
    RecordingAlerts a;
    auto c = Parse(Def('T', 0, 7, AnsiBytes("abc")).U32('m', 0x10000), a);
    EXPECT_EQ(a.Count(RecordedBox::SizeAlarm), 1);
    EXPECT_EQ(a.QuitRequests(), 1);
    EXPECT_EQ(c.m_nMaxSize, 0u);
    EXPECT_TRUE(c.m_text.empty());
    a.Clear();
    auto d = Parse(Def('T', 0, 7, AnsiBytes("abc")).U32('m', 0xFFFF), a);
    EXPECT_TRUE(a.Boxes().empty());
    EXPECT_EQ(d.m_text.size(), 0xFFFFu);
}

TEST(ParseDefinition, ButtonLatchSectionPassword) {
    RecordingAlerts a;
    auto b = Parse(Def('B', 0, 1, {0xFF}), a);
    EXPECT_EQ(b.m_bState, 0xFF);
    EXPECT_EQ(b.m_crColour, kGrey);
    auto g = Parse(Def('G', 0, 2, {1}).U32('r', 3).U32('c', 0x123456), a);
    EXPECT_EQ(g.m_bState, 1);
    EXPECT_EQ(g.m_nGroup, 3u);
    EXPECT_EQ(g.m_crColour, 0x123456u);
    auto s = Parse(Def('S', 0, 3, {1}), a);
    EXPECT_EQ(s.m_nKind, KIND_SECTION);
    EXPECT_EQ(s.m_bState, 1);
    EXPECT_EQ(s.m_crColour, kGrey);
    auto p = Parse(Def('P', 0, 4, {1}), a);
    EXPECT_EQ(p.m_nKind, KIND_PASSWORD);
    EXPECT_EQ(p.m_bState, 1);
    EXPECT_EQ(p.m_crColour, kWhite);
    EXPECT_TRUE(p.m_password[0].empty());
    EXPECT_TRUE(p.m_password[1].empty());
    EXPECT_TRUE(a.Boxes().empty());
}

TEST(ParseDefinition, WrongValueLengthsShowTheBoxAndLeaveTheEntryMinimal) {
    struct Case {
        char letter;
        uint16_t kind;
        size_t length;
    };
    const Case cases[] = {{'B', KIND_BUTTON, 0},   {'B', KIND_BUTTON, 2},   {'G', KIND_LATCH, 2},
                          {'S', KIND_SECTION, 0},  {'P', KIND_PASSWORD, 4}, {'D', KIND_DATETIME, 7},
                          {'D', KIND_DATETIME, 9}, {'N', KIND_NUMBER, 3},   {'N', KIND_NUMBER, 8}};
    for (const Case& k : cases) {
        RecordingAlerts a;
        Def d(k.letter, 0x10000, 42, Bytes(k.length, 0x5A));
        d.Text('Z', "name").U32('c', 0x123456).Text('f', "%%").U32('r', 1);
        auto c = Parse(d, a);
        SCOPED_TRACE(std::string(1, k.letter) + " V=" + std::to_string(k.length));
        EXPECT_EQ(a.DiagnosticValues(), std::vector<long>{long(k.length)});
        EXPECT_EQ(a.Count(RecordedBox::SizeAlarm), 0);
        ExpectMinimal(c, 42, 0x10000, k.kind);
        EXPECT_EQ(c.m_nGroup, 0u);
        EXPECT_FALSE(c.m_bHasFormat);
    }
}

TEST(ParseDefinition, DateTime) {
    RecordingAlerts a;
    Bytes v{5, 4, 3, 2, 1, 12, 0xE8, 0x07};
    auto c = Parse(Def('D', 0, 1, v).Text('f', "HH:mm"), a);
    EXPECT_EQ(Bytes(c.m_DateTime, c.m_DateTime + 8), v);
    EXPECT_TRUE(c.m_bHasFormat);
    EXPECT_EQ(c.m_strFormat, u"HH:mm");
    EXPECT_EQ(c.m_crColour, kWhite);
    EXPECT_EQ(Parse(Def('D', CTRLF_EDITABLE, 1, v).Text('f', "x"), a).m_crColour, kGrey);
    EXPECT_TRUE(a.Boxes().empty());
    auto m = Parse(Def('D', 0, 1, v).Text('Z', "when"), a);
    EXPECT_EQ(a.DiagnosticValues(), std::vector<long>{0});
    EXPECT_FALSE(m.m_bHasFormat);
    EXPECT_TRUE(m.m_strFormat.empty());
    EXPECT_EQ(m.m_pszName, u"when");
    EXPECT_EQ(Bytes(m.m_DateTime, m.m_DateTime + 8), v);
}

TEST(ParseDefinition, NumberDefaultsAndAttributes) {
    RecordingAlerts a;
    auto d = Parse(Def('N', 0, 1, U32Bytes(uint32_t(-7))), a);
    EXPECT_EQ(d.m_nValue, -7);
    EXPECT_EQ(d.m_strFormat, u"%%");
    EXPECT_FALSE(d.m_bHasFormat);
    EXPECT_EQ(d.m_nMin, 0);
    EXPECT_EQ(d.m_nMax, 0);
    EXPECT_EQ(d.m_nDecimals, 0);
    EXPECT_EQ(d.m_nExponent, 0);
    EXPECT_EQ(d.m_crColour, kWhite);
    auto n = Parse(Def('N', CTRLF_EDITABLE, 1, U32Bytes(5))
                       .Text('f', "%% V")
                       .U32('n', uint32_t(-100))
                       .U32('x', 100)
                       .U8('d', 2)
                       .U8('m', 0xFE),
                   a);
    EXPECT_EQ(n.m_strFormat, u"%% V");
    EXPECT_TRUE(n.m_bHasFormat);
    EXPECT_EQ(n.m_nMin, -100);
    EXPECT_EQ(n.m_nMax, 100);
    EXPECT_EQ(n.m_nDecimals, 2);
    EXPECT_EQ(int8_t(n.m_nExponent), -2);
    EXPECT_EQ(n.m_crColour, kGrey);
    EXPECT_TRUE(a.Boxes().empty());
}

TEST(ParseDefinition, ListWithWrongValueLengthStillReadsItsItems) {
    RecordingAlerts a;
    auto c = Parse(Def('L', 0, 9, {5, 0}).U32('n', 2).Text('I', "one\0two\0"s).Text('Z', "L"), a);
    EXPECT_EQ(a.DiagnosticValues(), std::vector<long>{2});
    EXPECT_EQ(c.m_nKind, KIND_LIST);
    EXPECT_EQ(c.m_nValue, 5);
    EXPECT_EQ(c.m_nItems, 2);
    EXPECT_EQ(c.m_items, u"one\0two\0"s);
    EXPECT_EQ(c.m_pszName, u"L");
    EXPECT_EQ(c.m_crColour, kWhite);
}

TEST(ParseDefinition, ListItemsAndDefaults) {
    RecordingAlerts a;
    auto c = Parse(
        Def('L', CTRLF_TEXT16, 9, U32Bytes(uint32_t(-1))).U32('n', 2).Text16('I', u"a\0b\0"s), a);
    EXPECT_TRUE(a.Boxes().empty());
    EXPECT_EQ(c.m_nValue, -1);
    EXPECT_EQ(c.m_items, u"a\0b\0"s);
    // A list whose last item lacks its zero gets one.
    EXPECT_EQ(Parse(Def('L', 0, 9, U32Bytes(0)).U32('n', 2).Text('I', "a\0b"s), a).m_items,
              u"a\0b\0"s);
    EXPECT_EQ(Parse(Def('L', 0, 9, U32Bytes(0)).U32('n', 3), a).m_items, Zeros(3));
    EXPECT_EQ(Parse(Def('L', 0, 9, U32Bytes(0)), a).m_items, Zeros(1));
    EXPECT_EQ(Parse(Def('L', 0, 9, U32Bytes(0)).U32('n', uint32_t(-4)), a).m_items, Zeros(1));
    // The default never grows past the count limit, whatever the count says.
    auto big = Parse(Def('L', 0, 9, U32Bytes(0)).U32('n', 0x7FFFFFFF), a);
    EXPECT_EQ(big.m_nItems, 0x7FFFFFFF);
    EXPECT_EQ(big.m_items.size(), size_t(LINK_MAX_COUNT));
    EXPECT_TRUE(a.Boxes().empty());
}

TEST(ParseDefinition, MessageBox) {
    RecordingAlerts a;
    auto c = Parse(
        Def('X', 0x30000, 10, AnsiBytes("Hello")).U32('m', 10).U32('c', 0x123456).Text('Z', "Q"),
        a);
    EXPECT_TRUE(a.Boxes().empty());
    EXPECT_EQ(c.m_nKind, KIND_MESSAGEBOX);
    EXPECT_EQ(c.m_nMaxSize, 10u);
    EXPECT_EQ(c.m_text, u"Hello" + Zeros(5));
    EXPECT_EQ(c.m_crColour, 0u); // no colour is read
    EXPECT_EQ(c.m_bAnswer, 0);
    EXPECT_EQ(c.m_pszName, u"Q");
    auto u = Parse(Def('X', CTRLF_TEXT16, 10, Utf16Bytes(u"Hello")).U32('m', 3), a);
    EXPECT_EQ(u.m_text, u"Hel");
    auto m = Parse(Def('X', 0, 10, AnsiBytes("Hi")), a);
    EXPECT_EQ(a.DiagnosticValues(), std::vector<long>{0});
    EXPECT_EQ(m.m_nMaxSize, 0u);
    EXPECT_EQ(m.m_text, u"Hi");
}

TEST(ParseDefinition, MessageBoxSizesAbove0xFFFFRaiseTheSizeAlarm) {
    RecordingAlerts a;
    // m: the link's text limit, checked before 2 x m bytes are allocated.
    auto m = Parse(Def('X', 0, 10, AnsiBytes("Hi")).U32('m', 0xFFFFFFFF), a);
    EXPECT_EQ(a.Count(RecordedBox::SizeAlarm), 1);
    EXPECT_EQ(m.m_nMaxSize, 0u);
    EXPECT_TRUE(m.m_text.empty());
    a.Clear();
    // V: the value is dropped; the attribute block after the announced bytes is still read.
    auto v = Parse(Def('X', 0, 10, Bytes(0x10000, 'a')).U32('m', 4).Text('Z', "big"), a);
    EXPECT_EQ(a.Count(RecordedBox::SizeAlarm), 1);
    EXPECT_EQ(a.QuitRequests(), 1);
    EXPECT_EQ(v.m_text, Zeros(4));
    EXPECT_EQ(v.m_nMaxSize, 4u);
    EXPECT_EQ(v.m_pszName, u"big");
    a.Clear();
    // An announced V that the definition does not hold: the alarm, then the definition ends.
    auto t = Parse(Def('X', 0, 10, AnsiBytes("Hi")).V(0x10000).U32('m', 4), a);
    EXPECT_EQ(a.Count(RecordedBox::SizeAlarm), 1);
    ExpectMinimal(t, 10, 0, KIND_MESSAGEBOX);
}

TEST(ParseDefinition, RawBlob) {
    RecordingAlerts a;
    auto c = Parse(Def('O', 0, 11, {1, 2, 3}).U32('m', 8), a);
    EXPECT_TRUE(a.Boxes().empty());
    EXPECT_EQ(c.m_nKind, KIND_BLOB);
    EXPECT_EQ(c.m_nDataSize, 8u);
    EXPECT_EQ(c.m_nDataLen, 3u);
    EXPECT_EQ(c.m_data, (Bytes{1, 2, 3, 0, 0, 0, 0, 0}));
    EXPECT_EQ(c.m_crColour, kGrey);
    // Flag 0x4 makes it raw even when editable; "n" overrides the length.
    auto n =
        Parse(Def('O', CTRLF_TEXT16 | CTRLF_EDITABLE, 11, {1, 2, 3}).U32('m', 8).U32('n', 5), a);
    EXPECT_EQ(n.m_nDataLen, 5u);
    EXPECT_EQ(n.m_data.size(), 8u);
    // A value longer than the capacity is cut to it.
    auto cut = Parse(Def('O', 0, 11, {1, 2, 3, 4, 5}).U32('m', 2), a);
    EXPECT_EQ(cut.m_data, (Bytes{1, 2}));
    EXPECT_EQ(cut.m_nDataLen, 2u);
    EXPECT_TRUE(a.Boxes().empty());
}

TEST(ParseDefinition, TextBlob) {
    RecordingAlerts a;
    auto c = Parse(Def('O', CTRLF_EDITABLE, 11, AnsiBytes("ab")).U32('m', 5), a);
    EXPECT_TRUE(a.Boxes().empty());
    EXPECT_EQ(c.m_nDataSize, 10u);
    EXPECT_EQ(c.m_nDataLen, 4u);
    EXPECT_EQ(c.m_data, (Bytes{'a', 0, 'b', 0, 0, 0, 0, 0, 0, 0}));
    auto n = Parse(Def('O', CTRLF_EDITABLE, 11, AnsiBytes("ab")).U32('m', 5).U32('n', 3), a);
    EXPECT_EQ(n.m_nDataLen, 6u);
}

TEST(ParseDefinition, BlobLengthNeverExceedsTheBytesHeld) {
    RecordingAlerts a;
    auto r = Parse(Def('O', 0, 11, {1}).U32('m', 4).U32('n', 100), a);
    EXPECT_EQ(r.m_nDataLen, 4u);
    auto t = Parse(Def('O', CTRLF_EDITABLE, 11, {'x'}).U32('m', 4).U32('n', 0xFFFFFFFF), a);
    EXPECT_EQ(t.m_nDataLen, 8u);
    EXPECT_TRUE(a.Boxes().empty());
}

TEST(ParseDefinition, BlobWithoutCapacityShowsTheBox) {
    RecordingAlerts a;
    auto c = Parse(Def('O', 0, 11, {1, 2}), a);
    EXPECT_EQ(a.DiagnosticValues(), std::vector<long>{0});
    EXPECT_EQ(c.m_data, (Bytes{1, 2}));
    EXPECT_EQ(c.m_nDataLen, 2u);
}

TEST(ParseDefinition, BlobSizesOverTheLimitsRaiseTheSizeAlarm) {
    RecordingAlerts a;
    // Capacity: the link's buffer limit (0x100000 bytes), for raw and for text blobs.
    auto r = Parse(Def('O', 0, 11, {1, 2}).U32('m', 0x100000), a);
    EXPECT_EQ(a.Count(RecordedBox::SizeAlarm), 1);
    EXPECT_EQ(r.m_nDataSize, 0u);
    EXPECT_TRUE(r.m_data.empty());
    EXPECT_EQ(r.m_nDataLen, 0u);
    a.Clear();
    auto t = Parse(Def('O', CTRLF_EDITABLE, 11, {'a'}).U32('m', 0x80000), a);
    EXPECT_EQ(a.Count(RecordedBox::SizeAlarm), 1);
    EXPECT_EQ(t.m_nDataSize, 0u);
    a.Clear();
    auto ok = Parse(Def('O', 0, 11, {}).U32('m', 0xFFFFF), a);
    EXPECT_TRUE(a.Boxes().empty());
    EXPECT_EQ(ok.m_data.size(), 0xFFFFFu);
    // V above 0xFFFF.
    auto v = Parse(Def('O', 0, 11, Bytes(0x10000, 7)).U32('m', 4).Text('Z', "b"), a);
    EXPECT_EQ(a.Count(RecordedBox::SizeAlarm), 1);
    EXPECT_EQ(v.m_nDataLen, 0u);
    EXPECT_EQ(v.m_data, Bytes(4, 0));
    EXPECT_EQ(v.m_pszName, u"b");
}

TEST(ParseDefinition, FileAndImage) {
    RecordingAlerts a;
    auto f = Parse(Def('F', 0x100000, 12, {9, 9, 9}).Text('Z', "log"), a);
    EXPECT_EQ(f.m_nKind, KIND_FILE);
    EXPECT_EQ(f.m_pszName, u"log");
    EXPECT_EQ(f.m_crColour, kGrey);
    EXPECT_TRUE(f.m_strFileName.empty());
    EXPECT_TRUE(f.m_data.empty());
    auto i = Parse(Def('I', 0, 14, {'G', 'I', 'F', '8', '9'}).U32('c', 5), a);
    EXPECT_EQ(i.m_nKind, KIND_IMAGE);
    EXPECT_EQ(i.m_data, (Bytes{'G', 'I', 'F', '8', '9'}));
    EXPECT_EQ(i.m_nDataLen, 5u);
    EXPECT_EQ(i.m_nDataSize, 5u);
    EXPECT_EQ(i.m_crColour, 5u);
    EXPECT_TRUE(a.Boxes().empty());
    // An image over 0xFFFFFF bytes: the alarm (the definition does not hold the bytes: it ends).
    auto big = Parse(Def('I', 0, 14, {1, 2}).V(0x1000000), a);
    EXPECT_EQ(a.Count(RecordedBox::SizeAlarm), 1);
    ExpectMinimal(big, 14, 0, KIND_IMAGE);
}

TEST(ParseDefinition, LetterQIsUnsupportedWithIdAndFlagsOnly) {
    RecordingAlerts a;
    auto c = Parse(
        Def('Q', CTRLF_SHOW_PAGE | CTRLF_HIDDEN, 77, {1, 2, 3}).Text('Z', "x").U32('c', 0x123), a);
    ExpectMinimal(c, 77, 0x11, KIND_UNSUPPORTED);
    EXPECT_TRUE(a.Boxes().empty());
    // Nothing after the id is looked at, not even V.
    Bytes header = Def('Q', 1, 2).Build();
    header.resize(10);
    ExpectMinimal(Parse(header, a), 2, 1, KIND_UNSUPPORTED);
}

// ---------------------------------------------------------------------------------------------
// Matrix

Bytes Sequence(size_t n, uint8_t start) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(start + i);
    return b;
}

TEST(ParseDefinition, MatrixCellAndRowLabelAreas) {
    RecordingAlerts a;
    // M = 10, C = 3, cell width 2: S = 60; V = 104: R = 40, rows value from the last 4 bytes.
    Bytes value = Sequence(60, 0);
    Bytes labels = Sequence(40, 100);
    value.insert(value.end(), labels.begin(), labels.end());
    Bytes rows = U32Bytes(7);
    value.insert(value.end(), rows.begin(), rows.end());
    ASSERT_EQ(value.size(), 104u);
    auto c = Parse(Def('M', 0x110000, 5, value).U32('n', 10).U32('N', 3), a);
    EXPECT_TRUE(a.Boxes().empty());
    EXPECT_EQ(c.m_nKind, KIND_MATRIX);
    EXPECT_EQ(c.m_nMaxRows, 10);
    EXPECT_EQ(c.m_nCols, 3);
    EXPECT_EQ(c.m_nCellBytes, 60u);
    EXPECT_EQ(c.m_nRowLabelBytes, 40u);
    EXPECT_EQ(c.m_cells, Sequence(60, 0));
    EXPECT_EQ(c.m_rowLabels, labels);
    EXPECT_EQ(c.m_nRows, 7u);
    EXPECT_EQ(c.m_crColour, kGrey);
}

TEST(ParseDefinition, MatrixDefaultsAndTexts) {
    RecordingAlerts a;
    auto d = Parse(Def('M', 0, 5, U32Bytes(0)).U32('N', 3), a);
    EXPECT_EQ(d.m_strRowLabelFormat, u" ");
    EXPECT_EQ(d.m_strCellFormat, u" ");
    EXPECT_TRUE(d.m_strRowLabelHeading.empty());
    EXPECT_EQ(d.m_columnNames, Zeros(3));
    EXPECT_EQ(Parse(Def('M', 0, 5, U32Bytes(0)), a).m_columnNames, Zeros(1));
    auto t = Parse(Def('M', 0, 5, U32Bytes(2))
                       .U32('N', 2)
                       .Text('f', "%% s")
                       .Text('F', "%% V")
                       .Text('a', "Time")
                       .Text('A', "U\0I\0"s)
                       .U8('d', 1)
                       .U8('m', 2)
                       .U8('D', 3)
                       .U8('M', 4),
                   a);
    EXPECT_EQ(t.m_strRowLabelFormat, u"%% s");
    EXPECT_EQ(t.m_strCellFormat, u"%% V");
    EXPECT_EQ(t.m_strRowLabelHeading, u"Time");
    EXPECT_EQ(t.m_columnNames, u"U\0I\0"s);
    EXPECT_EQ(t.m_nRowLabelDecimals, 1);
    EXPECT_EQ(t.m_nRowLabelExponent, 2);
    EXPECT_EQ(t.m_nCellDecimals, 3);
    EXPECT_EQ(t.m_nCellExponent, 4);
    EXPECT_EQ(t.m_nRows, 2u);
    EXPECT_EQ(t.m_nCellBytes, 0u); // M = 0
    EXPECT_TRUE(a.Boxes().empty());
}

TEST(ParseDefinition, MatrixTextRowLabelsAreWidenedUnlessUtf16) {
    RecordingAlerts a;
    // M = 2, C = 1, 1-byte cells (S = 2); text row labels "a\0b\0" (R = 4).
    Bytes value{1, 2, 'a', 0, 'b', 0};
    Bytes rows = U32Bytes(2);
    value.insert(value.end(), rows.begin(), rows.end());
    auto w = Parse(Def('M', 0x220000, 5, value).U32('n', 2).U32('N', 1), a);
    EXPECT_EQ(w.m_nRowLabelBytes, 4u);
    EXPECT_EQ(w.m_rowLabels, (Bytes{'a', 0, 0, 0, 'b', 0, 0, 0}));
    EXPECT_EQ(w.m_cells, (Bytes{1, 2}));
    EXPECT_EQ(w.m_nRows, 2u);
    auto u = Parse(Def('M', 0x220000 | CTRLF_TEXT16, 5, value).U32('n', 2).U32('N', 1), a);
    EXPECT_EQ(u.m_rowLabels, (Bytes{'a', 0, 'b', 0}));
    // Numeric labels are copied as they stand.
    auto n = Parse(Def('M', 0x210000 | 0x80000, 5, value).U32('n', 2).U32('N', 1), a);
    EXPECT_EQ(n.m_rowLabels, (Bytes{'a', 0, 'b', 0}));
    EXPECT_TRUE(a.Boxes().empty());
}

TEST(ParseDefinition, MatrixValueShorterThanCellsAndRowsValue) {
    RecordingAlerts a;
    // S = 60, V = 30: the first 30 cell bytes, the rest zero, no row labels, rows value 0.
    auto c = Parse(Def('M', 0x100000, 5, Sequence(30, 1)).U32('n', 10).U32('N', 3), a);
    EXPECT_TRUE(a.Boxes().empty());
    EXPECT_EQ(c.m_nCellBytes, 60u);
    ASSERT_EQ(c.m_cells.size(), 60u);
    EXPECT_EQ(Bytes(c.m_cells.begin(), c.m_cells.begin() + 30), Sequence(30, 1));
    EXPECT_EQ(Bytes(c.m_cells.begin() + 30, c.m_cells.end()), Bytes(30, 0));
    EXPECT_EQ(c.m_nRowLabelBytes, 0u);
    EXPECT_TRUE(c.m_rowLabels.empty());
    EXPECT_EQ(c.m_nRows, 0u);
    // V = S + 3: still one byte short of the rows value.
    auto d = Parse(Def('M', 0x100000, 5, Sequence(63, 1)).U32('n', 10).U32('N', 3), a);
    EXPECT_EQ(d.m_cells, Sequence(60, 1));
    EXPECT_EQ(d.m_nRowLabelBytes, 0u);
    EXPECT_EQ(d.m_nRows, 0u);
    // V = 0.
    auto e = Parse(Def('M', 0, 5).U32('n', 2).U32('N', 2), a);
    EXPECT_EQ(e.m_cells, Bytes(16, 0));
    EXPECT_EQ(e.m_nRows, 0u);
}

TEST(ParseDefinition, MatrixCellAreaOf0x100000BytesOrMoreRaisesTheSizeAlarm) {
    struct Case {
        uint32_t flags;
        uint32_t m, c;
        bool alarm;
    };
    const Case cases[] = {
        {0x000000, 0x4000, 0x10, true},                // exactly 0x100000
        {0x000000, 0x3FFFF, 1, false},                 // 0xFFFFC
        {0x200000, 0x100000, 1, true},                 // 1-byte cells
        {0x000000, 0x7FFFFFFF, 0x7FFFFFFF, true},      // wraps in 32 bits, not in 64
        {0x000000, 0x40000000, 4, true},               // M x w x C = 2^34: 0 modulo 2^32
        {0x000000, uint32_t(-10), 3, true},            // negative M
        {0x000000, 10, uint32_t(-3), true},            // negative C
        {0x000000, uint32_t(-10), uint32_t(-3), true}, // both negative: positive product
        {0x300000, uint32_t(-10), 0x7FFFFFFF, false},  // no cells: S is 0, nothing to check
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::to_string(k.m) + " x " + std::to_string(k.c));
        RecordingAlerts a;
        Bytes value = Sequence(8, 1);
        auto c = Parse(Def('M', k.flags, 5, value).U32('n', k.m).U32('N', k.c), a);
        EXPECT_EQ(a.Count(RecordedBox::SizeAlarm), k.alarm ? 1 : 0);
        EXPECT_EQ(a.QuitRequests(), k.alarm ? 1 : 0);
        EXPECT_EQ(c.m_nMaxRows, int32_t(k.m)); // the dimensions stay as given
        EXPECT_EQ(c.m_nCols, int32_t(k.c));
        if (k.alarm || k.flags == 0x300000) {
            // S = 0: R = V - 4, the rows value from the last 4 bytes.
            EXPECT_EQ(c.m_nCellBytes, 0u);
            EXPECT_TRUE(c.m_cells.empty());
            EXPECT_EQ(c.m_nRowLabelBytes, 4u);
            EXPECT_EQ(c.m_rowLabels, (Bytes{1, 2, 3, 4}));
            EXPECT_EQ(c.m_nRows, 0x08070605u);
        } else {
            EXPECT_EQ(c.m_cells.size(), size_t(c.m_nCellBytes));
        }
        // The default column names stay bounded, whatever C says.
        EXPECT_LE(c.m_columnNames.size(), size_t(LINK_MAX_COUNT));
        EXPECT_GE(c.m_columnNames.size(), 1u);
    }
}

// ---------------------------------------------------------------------------------------------
// Truncated and malformed definitions

// One definition of every kind, each with a few attributes.
std::vector<Def> EveryKind() {
    Bytes matrixValue = Sequence(8, 1); // M = 2, C = 1, 2-byte cells: S = 4; R = 4
    Bytes rows = U32Bytes(1);
    matrixValue.insert(matrixValue.end(), rows.begin(), rows.end());
    std::vector<Def> d;
    d.push_back(Def('T', CTRLF_EDITABLE, 1, AnsiBytes("Hello")).U32('m', 12).Text('Z', "Text"));
    d.push_back(Def('B', 0, 2, {0}).Text('Z', "Button").U32('c', 0x00FF00));
    d.push_back(Def('G', 0, 3, {1}).Text('Z', "Latch").U32('r', 2));
    d.push_back(Def('S', 0, 4, {1}).Text('Z', "Section"));
    d.push_back(Def('D', CTRLF_EDITABLE, 5, {1, 2, 3, 4, 5, 6, 0xE8, 7})
                    .Text('f', "HH:mm")
                    .Text('Z', "Date"));
    d.push_back(Def('N', CTRLF_EDITABLE, 6, U32Bytes(42))
                    .Text('Z', "Number")
                    .U32('n', uint32_t(-5))
                    .U32('x', 50)
                    .U8('d', 1)
                    .U8('m', 0xFF)
                    .Text('f', "%% V"));
    d.push_back(Def('M', 0x110000, 7, matrixValue)
                    .U32('n', 2)
                    .U32('N', 1)
                    .Text('A', "Volts\0"s)
                    .Text('Z', "Matrix"));
    d.push_back(Def('P', 0, 8, {0}).Text('Z', "Password"));
    d.push_back(Def('L', 0, 9, U32Bytes(1)).U32('n', 2).Text('I', "a\0b\0"s).Text('Z', "List"));
    d.push_back(Def('X', 0x40000, 10, AnsiBytes("Sure?")).U32('m', 8).Text('Z', "Box"));
    d.push_back(Def('O', 0, 11, {1, 2, 3}).U32('m', 6).Text('Z', "Blob"));
    d.push_back(Def('F', 0, 12, {}).Text('Z', "File"));
    d.push_back(Def('Q', 0, 13, {1}).Text('Z', "Other"));
    d.push_back(Def('I', 0, 14, {'G', 'I', 'F'}).Text('Z', "Image"));
    // UTF-16 variants of the texts.
    d.push_back(Def('T', CTRLF_TEXT16, 15, Utf16Bytes(u"Wide")).U32('m', 12).Text16('Z', u"T16"));
    d.push_back(Def('X', CTRLF_TEXT16, 16, Utf16Bytes(u"Wide")).U32('m', 8).Text16('Z', u"X16"));
    d.push_back(Def('M', 0x320000, 17, Bytes{'a', 'b', 0, 0, 0, 0})
                    .U32('n', 1)
                    .U32('N', 1)
                    .Text('Z', "M8"));
    d.push_back(
        Def('O', CTRLF_EDITABLE, 18, AnsiBytes("xy")).U32('m', 4).U32('n', 1).Text('Z', "O8"));
    return d;
}

TEST(ParseDefinition, EveryPrefixOfEveryKindEndsAtItsLastWholeField) {
    for (const Def& def : EveryKind()) {
        const Bytes full = def.Build();
        const size_t valueEnd = 14 + def.value.size();
        const uint16_t kind = KindFromLetter(def.letter);
        RecordingAlerts fullAlerts;
        const CLinkCtrl whole = Parse(full, fullAlerts);
        for (size_t k = 0; k <= full.size(); ++k) {
            SCOPED_TRACE(std::string(1, char(def.letter)) + " id " + std::to_string(def.id) +
                         " prefix " + std::to_string(k));
            RecordingAlerts a;
            Bytes cut(full.begin(), full.begin() + k);
            const CLinkCtrl c = Parse(cut, a);
            EXPECT_EQ(a.Count(RecordedBox::SizeAlarm), 0);
            if (k < 2) {
                EXPECT_EQ(c.m_nKind, KIND_NONE); // not even a letter: never filled
                continue;
            }
            EXPECT_EQ(c.m_nKind, kind);
            EXPECT_EQ(c.m_dwFlags, k >= 6 ? def.flags : 0u);
            EXPECT_EQ(c.m_nId, k >= 10 ? def.id : 0u);
            if (kind == KIND_UNSUPPORTED || k < valueEnd) {
                ExpectMinimal(c, c.m_nId, c.m_dwFlags, kind);
                EXPECT_TRUE(a.Boxes().empty());
                continue;
            }
            // The value is whole: the entry is filled; the name once its attribute is whole.
            if (k == full.size()) {
                EXPECT_EQ(c.m_pszName, whole.m_pszName);
                EXPECT_FALSE(c.m_pszName.empty());
            }
            if (kind == KIND_TEXT || kind == KIND_MESSAGEBOX) {
                // The buffer is m characters (UTF-16 Text: m/2) once "m" is whole, else the value.
                size_t chars = c.m_nMaxSize ? (kind == KIND_TEXT && (def.flags & CTRLF_TEXT16)
                                                   ? c.m_nMaxSize / 2
                                                   : c.m_nMaxSize)
                                            : c.m_text.size();
                EXPECT_EQ(c.m_text.size(), chars);
                EXPECT_EQ(TextOf(c.m_text),
                          TextOf(whole.m_text).substr(0, TextOf(c.m_text).size()));
            }
            if (kind == KIND_MATRIX) {
                EXPECT_EQ(c.m_cells.size(), size_t(c.m_nCellBytes));
            }
            if (kind == KIND_BLOB || kind == KIND_IMAGE) {
                EXPECT_LE(c.m_nDataLen, c.m_data.size());
            }
        }
        EXPECT_EQ(fullAlerts.Count(RecordedBox::Diagnostic), 0)
            << char(def.letter) << " id " << def.id;
    }
}

TEST(ParseDefinition, CutAttributeBlockKeepsTheWholeAttributesBeforeTheCut) {
    RecordingAlerts a;
    const Def def = Def('T', 0, 1, AnsiBytes("abc")).Text('Z', "name").U32('m', 8);
    const Bytes full = def.Build();
    // Attribute block: N (4), tags (2), Z: 4 + 4, m: 4 + 4.
    const size_t block = 14 + 3;
    const size_t zEnd = block + 4 + 2 + 8;
    for (size_t k = block; k <= full.size(); ++k) {
        SCOPED_TRACE(k);
        a.Clear();
        Bytes cut(full.begin(), full.begin() + k);
        auto c = Parse(cut, a);
        EXPECT_EQ(c.m_pszName, k >= zEnd ? u"name" : u"");
        if (k == full.size()) {
            EXPECT_EQ(c.m_nMaxSize, 8u);
            EXPECT_TRUE(a.Boxes().empty());
        } else {
            // "m" missing: the box with value 0, the buffer of V characters.
            EXPECT_EQ(a.DiagnosticValues(), std::vector<long>{0});
            EXPECT_EQ(c.m_text, u"abc");
        }
    }
}

TEST(ParseDefinition, HugeAttributeCountsAndLengthsReadNothingPastTheEnd) {
    RecordingAlerts a;
    // N = 0xFFFFFFFF with a few bytes after it: no attribute is whole.
    Payload p;
    p.U16('B').U32(0).U32(1).U32(1).U8(1).U32(0xFFFFFFFF).Raw("Zc"s);
    auto c = Parse(p.bytes(), a);
    EXPECT_EQ(c.m_bState, 1);
    EXPECT_TRUE(c.m_pszName.empty());
    EXPECT_EQ(c.m_crColour, kGrey);
    // An attribute whose length runs past the end drops it and everything after it.
    Payload q;
    q.U16('B').U32(0).U32(1).U32(1).U8(1).U32(3).Raw("ZcZ"s);
    q.Sized(AnsiBytes("ok")).U32(0xFFFFFFF0).Raw("xx"s);
    auto d = Parse(q.bytes(), a);
    EXPECT_EQ(d.m_pszName, u"ok");
    EXPECT_EQ(d.m_crColour, kGrey);
    // A value length that runs past the end: only id, flags and kind.
    Payload r;
    r.U16('T').U32(4).U32(9).U32(0xFFFFFFFF).Raw("abc"s);
    ExpectMinimal(Parse(r.bytes(), a), 9, 4, KIND_TEXT);
    EXPECT_TRUE(a.Boxes().empty());
}

TEST(ParseDefinition, NoBytesAtAll) {
    RecordingAlerts a;
    CLinkCtrl c = ParseDefinition(nullptr, 0, &a);
    EXPECT_EQ(c.m_nKind, KIND_NONE);
    CLinkCtrl d = ParseDefinition(nullptr, 100, &a); // a null buffer holds nothing
    EXPECT_EQ(d.m_nKind, KIND_NONE);
    uint8_t one = 'B';
    EXPECT_EQ(ParseDefinition(&one, 1, &a).m_nKind, KIND_NONE);
    EXPECT_TRUE(a.Boxes().empty());
    // Without an alerts service the boxes are simply not shown.
    auto e = ParseDefinition(Def('B', 0, 1, {1, 2}).Build().data(), 18, nullptr);
    EXPECT_EQ(e.m_nKind, KIND_BUTTON);
}

TEST(ParseDefinition, RandomMutationsNeverReadOutside) {
    // Deterministic mutations of every kind's definition: flipped bytes and random lengths.
    std::mt19937 rng(12345);
    std::vector<Bytes> seeds;
    for (const Def& d : EveryKind()) seeds.push_back(d.Build());
    RecordingAlerts a;
    for (int round = 0; round < 20000; ++round) {
        Bytes b = seeds[rng() % seeds.size()];
        int flips = 1 + int(rng() % 4);
        for (int f = 0; f < flips; ++f) {
            size_t at = rng() % b.size();
            switch (rng() % 3) {
            case 0:
                b[at] = uint8_t(rng());
                break;
            case 1:
                b[at] = 0xFF;
                break;
            default:
                b[at] ^= uint8_t(1u << (rng() % 8));
                break;
            }
        }
        if (rng() % 4 == 0) b.resize(rng() % (b.size() + 1));
        CLinkCtrl c = Parse(b, a);
        if (c.m_nKind == KIND_BLOB || c.m_nKind == KIND_IMAGE) {
            ASSERT_LE(c.m_nDataLen, c.m_data.size());
        }
        if (c.m_nKind == KIND_MATRIX) {
            ASSERT_EQ(c.m_cells.size(), size_t(c.m_nCellBytes));
        }
        if (round % 1000 == 0) a.Clear();
    }
}

// ---------------------------------------------------------------------------------------------
// Download and table operations over a pseudo-terminal

constexpr uint32_t kNotify = 0x8000;

class TraceRecorder : public ILinkTraceSink {
public:
    void Trace(const std::string& line) override {
        std::lock_guard g(m_mutex);
        m_lines.push_back(line);
        m_cv.notify_all();
    }
    bool WaitFor(const std::string& line, int timeoutMs = 3000) {
        std::unique_lock g(m_mutex);
        return m_cv.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] {
            return std::find(m_lines.begin(), m_lines.end(), line) != m_lines.end();
        });
    }
    std::vector<std::string> Matching(const std::string& prefix) {
        std::lock_guard g(m_mutex);
        std::vector<std::string> out;
        for (auto& l : m_lines)
            if (l.rfind(prefix, 0) == 0) out.push_back(l);
        return out;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::string> m_lines;
};

// A message 6 payload: the count, then per control its size and definition.
Bytes PanelPayload(const std::vector<Bytes>& definitions) {
    Payload p;
    p.U32(uint32_t(definitions.size()));
    for (auto& d : definitions) p.Sized(d);
    return p.bytes();
}
Bytes PanelPayload(const std::vector<Def>& defs) {
    std::vector<Bytes> b;
    for (auto& d : defs) b.push_back(d.Build());
    return PanelPayload(b);
}

class ControlTable : public ::testing::Test {
protected:
    void SetUp() override {
        m_services = std::make_unique<LinkFixtureServices>();
        LinkSetServices(
            LinkServices{&m_services->notifier, &m_services->alerts, &m_services->store, &m_trace});
        m_peer = std::make_unique<PtyPeer>();
        ASSERT_EQ(LinkOpenDevice(m_peer->SlavePath(), nullptr, kNotify), 0);
        Bytes connect;
        ASSERT_TRUE(m_peer->Read(connect, 20));
        StopReceiver();
    }
    void TearDown() override {
        LinkShutdown();
        m_peer.reset();
        m_services.reset();
    }

    RecordingAlerts& Alerts() { return m_services->alerts; }

    // The receiver started by the open ends after one reported message; from then on the test
    // thread is the only reader of the port and may call LinkDownloadPanel itself.
    void StopReceiver() {
        int before = m_services->notifier.Posts();
        m_peer->WriteFrame(MSG_DEVICE_ACK);
        ASSERT_TRUE(m_services->notifier.WaitForPosts(before + 1));
        LinkWaitForReceivers();
    }

    // Writes the payload from another thread (a pseudo-terminal holds only so much) while this
    // thread downloads.
    int Download(const Bytes& payload) {
        std::thread writer([&] { m_peer->Write(payload); });
        int status = LinkDownloadPanel();
        writer.join();
        return status;
    }

    std::unique_ptr<LinkFixtureServices> m_services;
    TraceRecorder m_trace;
    std::unique_ptr<PtyPeer> m_peer;
};

Bytes Value(uint32_t id, uint32_t size) {
    Bytes b(size, 0xEE);
    uint32_t n = size;
    EXPECT_EQ(LinkGetValue(id, b.data(), &n), 0) << "id " << id;
    EXPECT_EQ(n, size);
    b.resize(n);
    return b;
}
uint32_t ValueSize(uint32_t id) {
    uint32_t n = 0xDEAD;
    EXPECT_EQ(LinkGetValue(id, nullptr, &n), 0) << "id " << id;
    return n;
}

TEST_F(ControlTable, EveryKindDownloadedAndReadBack) {
    const std::vector<Def> defs = EveryKind();
    ASSERT_EQ(Download(PanelPayload(defs)), 0);
    EXPECT_TRUE(Alerts().Boxes().empty());
    ASSERT_EQ(LinkGetCount(), int(defs.size()));

    auto lines = m_trace.Matching("Number of controls = ");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Number of controls = " + std::to_string(defs.size()));
    auto sizes = m_trace.Matching("Control ");
    ASSERT_EQ(sizes.size(), defs.size());
    EXPECT_EQ(sizes[0], "Control 0 size = " + std::to_string(defs[0].Build().size()));

    LinkLock();
    for (size_t i = 0; i < defs.size(); ++i) {
        LinkSummary s;
        ASSERT_TRUE(LinkGetSummary(int(i), s));
        EXPECT_EQ(s.nId, defs[i].id);
        EXPECT_EQ(s.nKind, KindFromLetter(defs[i].letter));
        EXPECT_EQ(s.dwFlags, defs[i].flags);
        EXPECT_EQ(LinkFindIndex(defs[i].id), int(i));
        EXPECT_EQ(LinkFind(defs[i].id), LinkGetDefinition(int(i)));
        EXPECT_EQ(LinkGetKind(defs[i].id), int(KindFromLetter(defs[i].letter)));
    }
    LinkSummary s;
    EXPECT_FALSE(LinkGetSummary(-1, s));
    EXPECT_FALSE(LinkGetSummary(int(defs.size()), s));
    EXPECT_EQ(LinkGetDefinition(int(defs.size())), nullptr);
    EXPECT_EQ(LinkFind(999), nullptr);
    EXPECT_EQ(LinkFindIndex(999), -1);
    EXPECT_EQ(LinkGetKind(999), -1);
    ASSERT_TRUE(LinkGetSummary(1, s));
    EXPECT_EQ(s.strName, u"Button");
    EXPECT_EQ(s.crColour, 0x00FF00u);
    ASSERT_TRUE(LinkGetSummary(12, s));
    EXPECT_EQ(s.nKind, KIND_UNSUPPORTED);
    EXPECT_TRUE(s.strName.empty());
    EXPECT_EQ(s.crColour, 0u);
    LinkUnlock();

    // Text: the text with its terminator, 2 x characters + 2.
    EXPECT_EQ(ValueSize(1), 12u);
    EXPECT_EQ(Value(1, 12), Utf16Bytes(u"Hello\0"s));
    EXPECT_EQ(Value(1, 4), Utf16Bytes(u"He")); // a shorter buffer takes the first bytes
    EXPECT_EQ(ValueSize(15), 10u);
    EXPECT_EQ(Value(15, 10), Utf16Bytes(u"Wide\0"s));
    // One-byte states.
    EXPECT_EQ(ValueSize(2), 1u);
    EXPECT_EQ(Value(2, 1), Bytes{0});
    EXPECT_EQ(Value(3, 1), Bytes{1});
    EXPECT_EQ(Value(4, 1), Bytes{1});
    EXPECT_EQ(Value(8, 1), Bytes{0});
    // Date/time 8, Number 4, List 4.
    EXPECT_EQ(ValueSize(5), 8u);
    EXPECT_EQ(Value(5, 8), (Bytes{1, 2, 3, 4, 5, 6, 0xE8, 7}));
    EXPECT_EQ(ValueSize(6), 4u);
    EXPECT_EQ(Value(6, 4), U32Bytes(42));
    EXPECT_EQ(ValueSize(9), 4u);
    EXPECT_EQ(Value(9, 4), U32Bytes(1));
    // Message box: 2 x maximum characters.
    EXPECT_EQ(ValueSize(10), 16u);
    EXPECT_EQ(Value(10, 16), Utf16Bytes(u"Sure?\0\0\0"s));
    EXPECT_EQ(Value(16, 16), Utf16Bytes(u"Wide\0\0\0\0"s));
    // Blob and Image: the held length.
    EXPECT_EQ(ValueSize(11), 3u);
    EXPECT_EQ(Value(11, 3), (Bytes{1, 2, 3}));
    EXPECT_EQ(ValueSize(18), 2u);
    EXPECT_EQ(Value(18, 2), (Bytes{'x', 0}));
    EXPECT_EQ(ValueSize(14), 3u);
    EXPECT_EQ(Value(14, 3), (Bytes{'G', 'I', 'F'}));
    // File: nothing.
    EXPECT_EQ(ValueSize(12), 0u);
    // Matrix: -5, through LinkGetMatrix instead.
    uint32_t n = 4;
    EXPECT_EQ(LinkGetValue(7, nullptr, &n), LINK_E_KIND);
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(LinkGetValue(999, nullptr, &n), LINK_E_KIND);

    LinkLock();
    LinkMatrixData m;
    ASSERT_EQ(LinkGetMatrix(7, m), 0);
    EXPECT_EQ(m.nRows, 1u);
    ASSERT_EQ(m.nCellBytes, 4u);
    EXPECT_EQ(Bytes(m.pCells, m.pCells + 4), (Bytes{1, 2, 3, 4}));
    ASSERT_EQ(m.nRowLabelBytes, 4u);
    EXPECT_EQ(Bytes(m.pRowLabels, m.pRowLabels + 4), (Bytes{5, 6, 7, 8}));
    ASSERT_EQ(LinkGetMatrix(17, m), 0); // text labels "ab", 8-bit: widened
    EXPECT_EQ(m.nCellBytes, 0u);
    ASSERT_EQ(m.nRowLabelBytes, 4u);
    EXPECT_EQ(Bytes(m.pRowLabels, m.pRowLabels + 4), (Bytes{'a', 0, 'b', 0}));
    EXPECT_EQ(LinkGetMatrix(1, m), LINK_E_KIND);
    EXPECT_EQ(m.pCells, nullptr);
    EXPECT_EQ(LinkGetMatrix(999, m), LINK_E_KIND);
    const CLinkCtrl* matrix = LinkGetDefinition(6);
    ASSERT_NE(matrix, nullptr);
    EXPECT_EQ(matrix->m_nMaxRows, 2);
    EXPECT_EQ(matrix->m_columnNames, u"Volts\0"s);
    LinkUnlock();
    EXPECT_TRUE(Alerts().Boxes().empty());
}

TEST_F(ControlTable, ReadingClearsTheMarks) {
    ASSERT_EQ(Download(PanelPayload(EveryKind())), 0);
    LinkLock();
    for (uint32_t id : {1u, 6u, 7u, 12u}) LinkFind(id)->m_bDeviceChanged = 1;
    LinkFind(2)->m_bAttrChanged = 1;
    LinkFind(12)->m_strFileName = u"log.txt";
    LinkUnlock();

    EXPECT_TRUE(LinkIsDeviceChanged(1));
    (void)ValueSize(1);
    EXPECT_FALSE(LinkIsDeviceChanged(1));
    (void)Value(6, 4);
    EXPECT_FALSE(LinkIsDeviceChanged(6));
    (void)ValueSize(12);
    EXPECT_FALSE(LinkIsDeviceChanged(12));
    // A Matrix keeps its mark through LinkGetValue and loses it through LinkGetMatrix.
    uint32_t n = 0;
    EXPECT_EQ(LinkGetValue(7, nullptr, &n), LINK_E_KIND);
    EXPECT_TRUE(LinkIsDeviceChanged(7));
    LinkMatrixData m;
    EXPECT_EQ(LinkGetMatrix(7, m), 0);
    EXPECT_FALSE(LinkIsDeviceChanged(7));

    EXPECT_TRUE(LinkIsAttrChanged(2));
    uint32_t flags = 0, colour = 0;
    EXPECT_EQ(LinkGetAttributes(2, &flags, &colour), 0);
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(colour, 0x00FF00u);
    EXPECT_FALSE(LinkIsAttrChanged(2));

    EXPECT_FALSE(LinkIsDeviceChanged(999));
    EXPECT_FALSE(LinkIsAttrChanged(999));
    EXPECT_EQ(LinkGetFileName(12), u"log.txt");
    EXPECT_EQ(LinkGetFileName(999), u"");
    EXPECT_TRUE(Alerts().Boxes().empty());
}

TEST_F(ControlTable, AnEmptyPanelSwapsInAnEmptyTable) {
    ASSERT_EQ(Download(PanelPayload(EveryKind())), 0);
    ASSERT_GT(LinkGetCount(), 0);
    ASSERT_EQ(Download(U32Bytes(0)), 0);
    EXPECT_EQ(LinkGetCount(), 0);
    EXPECT_EQ(LinkFind(1), nullptr);
    EXPECT_TRUE(Alerts().Boxes().empty());
    EXPECT_EQ(m_trace.Matching("Number of controls = 0").size(), 1u);
}

TEST_F(ControlTable, ASecondDownloadReplacesTheFirst) {
    ASSERT_EQ(Download(PanelPayload(std::vector<Def>{Def('B', 0, 1, {1}).Text('Z', "one")})), 0);
    ASSERT_EQ(LinkGetCount(), 1);
    ASSERT_EQ(
        Download(PanelPayload(std::vector<Def>{Def('N', 0, 2, U32Bytes(3)), Def('G', 0, 3, {0})})),
        0);
    EXPECT_EQ(LinkGetCount(), 2);
    EXPECT_EQ(LinkFind(1), nullptr);
    EXPECT_EQ(LinkGetKind(2), KIND_NUMBER);
    EXPECT_EQ(LinkGetKind(3), KIND_LATCH);
    EXPECT_EQ(Value(2, 4), U32Bytes(3));
    EXPECT_TRUE(Alerts().Boxes().empty());
}

TEST_F(ControlTable, OversizeCountRaisesTheSizeAlarmAndGivesAnEmptyTable) {
    ASSERT_EQ(Download(PanelPayload(EveryKind())), 0);
    ASSERT_EQ(Download(U32Bytes(65536)), 0);
    EXPECT_EQ(Alerts().Count(RecordedBox::SizeAlarm), 1);
    EXPECT_EQ(Alerts().QuitRequests(), 1);
    EXPECT_EQ(LinkGetCount(), 0);
    EXPECT_EQ(m_trace.Matching("Number of controls = 0").size(), 1u);
    Alerts().Clear();
    ASSERT_EQ(Download(U32Bytes(0xFFFFFFFF)), 0);
    EXPECT_EQ(Alerts().Count(RecordedBox::SizeAlarm), 1);
    EXPECT_EQ(LinkGetCount(), 0);
    // 65535 is accepted: its sizes are then awaited (here: an empty panel follows quickly).
}

TEST_F(ControlTable, OversizeDefinitionSizeIsTakenAsZero) {
    // Control 0 announces 0x10000 bytes: the alarm, size 0, an entry never filled (kind 0);
    // the device's next bytes are then read as control 1's size and definition.
    Payload p;
    p.U32(2).U32(0x10000);
    p.Sized(Def('B', 0, 5, {1}).Build());
    ASSERT_EQ(Download(p.bytes()), 0);
    EXPECT_EQ(Alerts().Count(RecordedBox::SizeAlarm), 1);
    EXPECT_EQ(m_trace.Matching("Control 0 size = 65536").size(), 1u);
    ASSERT_EQ(LinkGetCount(), 2);
    LinkLock();
    EXPECT_EQ(LinkGetDefinition(0)->m_nKind, KIND_NONE);
    EXPECT_EQ(LinkGetDefinition(1)->m_nKind, KIND_BUTTON);
    LinkUnlock();
    // Attributes of an entry whose kind is outside 1..14: the diagnostic box with the kind.
    uint32_t flags = 1, colour = 1;
    EXPECT_EQ(LinkGetAttributes(0, &flags, &colour), LINK_E_KIND);
    EXPECT_EQ(Alerts().DiagnosticValues(), std::vector<long>{0});
    EXPECT_EQ(flags, 1u);
    EXPECT_EQ(LinkGetAttributes(5, &flags, &colour), 0);
    EXPECT_EQ(colour, kGrey);
    // Releasing that table meets the unfilled entry first: "Data transmission error.".
    Alerts().Clear();
    ASSERT_EQ(Download(U32Bytes(0)), 0);
    auto boxes = Alerts().Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].type, RecordedBox::Message);
    EXPECT_EQ(boxes[0].text, u"Data transmission error.");
}

TEST_F(ControlTable, ReleaseOfATableStopsAtTheFirstUnfilledEntry) {
    std::vector<CLinkCtrl> table(3);
    table[0].m_nKind = KIND_TEXT;
    table[1].m_nKind = 15; // outside 1..14
    table[2].m_nKind = KIND_NONE;
    LinkReleaseTable(table);
    EXPECT_TRUE(table.empty());
    auto boxes = Alerts().Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"Data transmission error.");
    std::vector<CLinkCtrl> good(2);
    good[0].m_nKind = KIND_TEXT;
    good[1].m_nKind = KIND_IMAGE;
    LinkReleaseTable(good);
    EXPECT_TRUE(good.empty());
    EXPECT_EQ(Alerts().Boxes().size(), 1u);
}

TEST_F(ControlTable, ALostDeviceDiscardsThePartialTableQuietlyAndKeepsTheLiveOne) {
    ASSERT_EQ(Download(PanelPayload(std::vector<Def>{Def('B', 0, 1, {1})})), 0);
    // Two controls announced, the first one's bytes never complete: the device goes away.
    auto download = std::async(std::launch::async, [] { return LinkDownloadPanel(); });
    Payload p;
    p.U32(2).U32(30).Raw("B"s);
    m_peer->Write(p.bytes());
    ASSERT_TRUE(m_trace.WaitFor("Control 0 size = 30"));
    m_peer.reset(); // the pseudo-terminal hangs up: the device is gone
    ASSERT_EQ(download.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(download.get(), LINK_PORT_LOST);
    EXPECT_EQ(LinkGetCount(), 1);
    EXPECT_EQ(LinkGetKind(1), KIND_BUTTON);
    EXPECT_TRUE(LinkStateInstance().download.empty());
    // The end of the connection is told once, by the view; no box of the download's own.
    EXPECT_TRUE(Alerts().Boxes().empty());
}

TEST_F(ControlTable, APortClosedUnderTheDownloadEndsItQuietly) {
    ASSERT_EQ(Download(PanelPayload(std::vector<Def>{Def('B', 0, 1, {1})})), 0);
    auto download = std::async(std::launch::async, [] { return LinkDownloadPanel(); });
    Payload p;
    p.U32(3).U32(20);
    m_peer->Write(p.bytes());
    ASSERT_TRUE(m_trace.WaitFor("Control 0 size = 20"));
    LinkPort()->Close(); // wakes the blocked read: status 6
    ASSERT_EQ(download.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(download.get(), LINK_PORT_CLOSED);
    EXPECT_EQ(LinkGetCount(), 1);
    EXPECT_TRUE(LinkStateInstance().download.empty());
    EXPECT_TRUE(Alerts().Boxes().empty());
}

TEST_F(ControlTable, AReadErrorOnTheCountIsReturned) {
    auto download = std::async(std::launch::async, [] { return LinkDownloadPanel(); });
    m_peer->Write(Bytes{1, 0}); // half a count
    LinkPort()->Close();
    ASSERT_EQ(download.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(download.get(), LINK_PORT_CLOSED);
    EXPECT_EQ(LinkGetCount(), 0);
    EXPECT_TRUE(Alerts().Boxes().empty());
}

TEST_F(ControlTable, APanelDefinitionMessageThroughTheReceiver) {
    ASSERT_EQ(LinkStartReceiver(nullptr, kNotify), 0);
    int before = m_services->notifier.Posts();
    m_peer->WriteFrame(MSG_PANEL_DEFINITION, 0, PanelPayload(EveryKind()));
    ASSERT_TRUE(m_services->notifier.WaitForPosts(before + 1));
    EXPECT_EQ(m_services->notifier.Outcomes().back(), LINK_PANEL);
    LinkWaitForReceivers();
    EXPECT_EQ(LinkGetCount(), int(EveryKind().size()));
    EXPECT_EQ(ValueSize(1), 12u);
    EXPECT_TRUE(Alerts().Boxes().empty());
}

TEST_F(ControlTable, CloseReleasesTheLiveTable) {
    ASSERT_EQ(Download(PanelPayload(EveryKind())), 0);
    ASSERT_EQ(LinkClose(false), 0);
    EXPECT_EQ(LinkGetCount(), 0);
    EXPECT_TRUE(Alerts().Boxes().empty());
}

} // namespace
