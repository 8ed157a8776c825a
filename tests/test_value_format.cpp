// Number and date/time texts.
#include <climits>
#include <cstdio>
#include <utility>

#include <gtest/gtest.h>

#include "ValueFormat.h"

namespace {

QString Dt(const char* pattern, int year, int month, int day, int hour = 14, int weekday = 2) {
    DateTimeRecord r;
    r.year = static_cast<uint16_t>(year);
    r.month = static_cast<uint8_t>(month);
    r.day = static_cast<uint8_t>(day);
    r.hour = static_cast<uint8_t>(hour);
    r.minute = 7;
    r.second = 9;
    r.weekday = static_cast<uint8_t>(weekday);
    return FormatDateTime(r, pattern, QLocale(QLocale::English, QLocale::UnitedStates));
}

} // namespace

TEST(FormatNumber, StylesTemplatesAndTrailingZeros) {
    EXPECT_EQ(FormatNumber(2.5, NUMBER_FREE, "%%", 2, 0), "2.5");
    EXPECT_EQ(FormatNumber(2.5, NUMBER_FIXED, "%%", 2, 0), "2.50");
    EXPECT_EQ(FormatNumber(2.5, NUMBER_FIXED, "T=%% C", 2, 0), "T=2.50 C");
    EXPECT_EQ(FormatNumber(2.5, NUMBER_FIXED, "no number", 2, 0), "no number");
    EXPECT_EQ(FormatNumber(2.5, NUMBER_EXPONENT, "%%", 2, 0), "2.50e+00");
    EXPECT_EQ(FormatNumber(1234.5, NUMBER_GENERAL, "%%", 2, 0), "1.2e+03");
    EXPECT_EQ(FormatNumber(0, NUMBER_FREE, "%%", 0, 0), "0");
    EXPECT_EQ(FormatNumber(10, NUMBER_FREE, "%%", 0, 0), "10");
    EXPECT_EQ(FormatNumber(10, NUMBER_FIXED, "%%", 3, 0), "10.000");
    EXPECT_EQ(FormatNumber(2.5, 9, "%%", 3, 0), "2.5"); // unknown style: free
    EXPECT_EQ(FormatNumber(1, NUMBER_FREE, "%%/%%", 0, 0), "1/%%");
}

TEST(FormatNumber, RoundsExactTiesAsPrintfDoes) {
    EXPECT_EQ(FormatNumber(2.5, NUMBER_FIXED, "%%", 0, 0), "2");
    EXPECT_EQ(FormatNumber(7.25, NUMBER_FIXED, "%%", 1, 0), "7.2");
    const std::pair<int, const char*> styles[] = {
        {NUMBER_FIXED, "%.*f"}, {NUMBER_EXPONENT, "%.*e"}, {NUMBER_GENERAL, "%.*g"}};
    char printed[64];
    for (const auto& [style, conversion] : styles)
        for (int eighths = -200; eighths <= 200; ++eighths)
            for (int decimals = 0; decimals < 4; ++decimals) {
                const double value = eighths / 8.0;
                std::snprintf(printed, sizeof printed, conversion, decimals, value);
                EXPECT_EQ(FormatNumber(value, style, "%%", decimals, 0), printed) << value;
            }
}

TEST(FormatNumber, WidthAndDecimalsStayWithinLimits) {
    EXPECT_EQ(FormatNumber(-2.5, NUMBER_FIXED, "%%", 1, 6), "-002.5");
    EXPECT_EQ(FormatNumber(2.5, NUMBER_FIXED, "%%", 2, -5), "2.50");
    EXPECT_EQ(FormatNumber(2.5, NUMBER_FIXED, "%%", 2, INT_MAX).size(), 64);
    EXPECT_EQ(FormatNumber(2.4, NUMBER_FIXED, "%%", -3, 0), "2");
    EXPECT_EQ(FormatNumber(2.5, NUMBER_FIXED, "%%", INT_MAX, 0).size(), 2 + 255);
}

TEST(FormatNumber, DeviceTemplateIsNeverAFormat) {
    EXPECT_EQ(FormatNumber(2.5, NUMBER_FIXED, "%s%n%d %% %x", 1, 0), "%s%n%d 2.5 %x");
    EXPECT_EQ(FormatNumber(2.5, NUMBER_FIXED, "%", 1, 0), "%");
    EXPECT_EQ(FormatNumber(2.5, NUMBER_FIXED, "%%%n", 1, 0), "2.5%n");
}

TEST(FormatNumber, PointDoesNotFollowTheLocale) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString text = FormatNumber(2.5, NUMBER_FIXED, "%%", 2, 0);
    QLocale::setDefault(before);
    EXPECT_EQ(text, "2.50");
}

TEST(FormatScaled, AppliesTheExponent) {
    EXPECT_EQ(FormatScaled(1234, NUMBER_FIXED, "%%", 1, -2, 0), "12.3");
    EXPECT_EQ(FormatScaled(1234, NUMBER_FREE, "%%", 0, -2, 0), "12.34");
    EXPECT_EQ(FormatScaled(5, NUMBER_FREE, "%% mV", 0, 3, 0), "5000 mV");
    EXPECT_EQ(FormatScaled(INT_MIN, NUMBER_FREE, "%%", 0, 0, 0), "-2147483648");
    EXPECT_LT(FormatScaled(INT_MAX, NUMBER_FIXED, "%%", 255, 127, 64).size(), 500);
    EXPECT_EQ(FormatScaled(INT_MAX, NUMBER_FREE, "%%", 0, -128, 0), "0");
}

TEST(FormatDateTime, TokensAndYears) {
    EXPECT_EQ(Dt("%dd%/%MM%/%yyyy%", 2024, 3, 5), "05/03/2024");
    EXPECT_EQ(Dt("%d%.%M%.%yy% %H%:%m%:%s%", 2024, 3, 5), "5.3.24 14:7:9");
    EXPECT_EQ(Dt("%yyyy%", 24, 1, 1), "2024");
    EXPECT_EQ(Dt("%yyyy%", 1600, 1, 1), "2000");
    EXPECT_EQ(Dt("%yyyy%", 1601, 1, 1), "1601");
    EXPECT_EQ(Dt("%yyyy%", 799, 1, 1), "2799");
}

TEST(FormatDateTime, NamesAndTwelveHourForms) {
    // The weekday byte names the day, not the date.
    EXPECT_EQ(Dt("%dddd%, %MMMM% %d%", 2024, 3, 5, 14, 0), "Sunday, March 5");
    EXPECT_EQ(Dt("%ddd% %MMM%", 2024, 3, 5, 14, 6), "Sat Mar");
    EXPECT_EQ(Dt("%hh%:%mm%:%ss% %tt% %h% %t%", 2024, 3, 5, 14), "02:07:09 PM 2 P");
    EXPECT_EQ(Dt("%hh% %tt%", 2024, 3, 5, 0), "12 AM");
    EXPECT_EQ(Dt("%h% %tt%", 2024, 3, 5, 12), "12 PM");
}

TEST(FormatDateTime, TextOutsideTokensIsCopied) {
    EXPECT_EQ(Dt("100%", 2024, 3, 5), "100%");
    EXPECT_EQ(Dt("%", 2024, 3, 5), "%");
    EXPECT_EQ(Dt("%dd", 2024, 3, 5), "%dd");
    EXPECT_EQ(Dt("%x%dd%", 2024, 3, 5), "%x05");
    EXPECT_EQ(Dt("%s%n%p", 2024, 3, 5), "9n%p");
}

TEST(FormatDateTime, InvalidPartsGiveEmptyPieces) {
    EXPECT_EQ(Dt("[%dd%][%MMMM%][%HH%]", 2024, 13, 5), "[][][14]");
    EXPECT_EQ(Dt("[%dd%]", 2023, 2, 29), "[]");
    EXPECT_EQ(Dt("[%dd%]", 2024, 2, 29), "[29]");
    EXPECT_EQ(Dt("[%HH%][%hh%][%tt%]", 2024, 3, 5, 25), "[][][]");
    EXPECT_EQ(Dt("[%dddd%][%dd%]", 2024, 3, 5, 14, 200), "[][05]");
}
