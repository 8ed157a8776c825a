#include "ValueFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include <QDate>
#include <QTime>

namespace {

constexpr int kMaxWidth = 64;
constexpr int kMaxDecimals = 255;
constexpr qsizetype kMaxPiece = 63;

// The printf conversion is built here from numbers alone; nothing from the device goes into it.
QString PrintfConvert(double value, int style, int decimals, int width) {
    QByteArray conversion("%");
    if (width > 0) conversion += "0" + QByteArray::number(std::min(width, kMaxWidth));
    const QByteArray precision = "." + QByteArray::number(std::clamp(decimals, 0, kMaxDecimals));
    switch (style) {
    case NUMBER_FIXED:
        conversion += precision + "f";
        break;
    case NUMBER_EXPONENT:
        conversion += precision + "e";
        break;
    case NUMBER_GENERAL:
        conversion += precision + "g";
        break;
    default:
        conversion += "f";
        break;
    }
    // QString::asprintf always writes a '.' point, whatever the process locale.
    return QString::asprintf(conversion.constData(), value);
}

// The same text as PrintfConvert for finite values, a few times faster (tables of thousands of
// cells are formatted at once): std::to_chars with a precision rounds exactly as printf does,
// ties included (2.5 with no decimals is "2").
QString Convert(double value, int style, int decimals, int width) {
    if (!std::isfinite(value)) return PrintfConvert(value, style, decimals, width);
    const bool precise =
        style == NUMBER_FIXED || style == NUMBER_EXPONENT || style == NUMBER_GENERAL;
    const std::chars_format format = style == NUMBER_EXPONENT  ? std::chars_format::scientific
                                     : style == NUMBER_GENERAL ? std::chars_format::general
                                                               : std::chars_format::fixed;
    // The longest: a sign, 309 integer digits, the point and 255 decimals.
    char digits[640];
    const std::to_chars_result end =
        std::to_chars(digits, digits + sizeof digits, value, format,
                      precise ? std::clamp(decimals, 0, kMaxDecimals) : 6);
    if (end.ec != std::errc()) return PrintfConvert(value, style, decimals, width);
    QString text = QString::fromLatin1(digits, end.ptr - digits);
    const qsizetype padding = std::min(width, kMaxWidth) - text.size();
    if (padding > 0)
        text.insert(text.startsWith(QLatin1Char('-')) ? 1 : 0, QString(padding, QLatin1Char('0')));
    return text;
}

} // namespace

QString FormatNumber(double value, int style, const QString& tmpl, int decimals, int width) {
    const qsizetype mark = tmpl.indexOf(QLatin1String("%%"));
    if (mark < 0) return tmpl;

    QString number = Convert(value, style, decimals, width);
    const bool trim = style != NUMBER_FIXED && style != NUMBER_EXPONENT && style != NUMBER_GENERAL;
    if (trim) {
        while (number.size() >= 2 && number.endsWith(QLatin1Char('0'))) number.chop(1);
        if (number.endsWith(QLatin1Char('.'))) number.chop(1);
    }
    return tmpl.left(mark) + number + tmpl.mid(mark + 2);
}

double ScaleRaw(int32_t raw, int exponent) {
    // Dividing by an exact power of ten keeps values like 12.34 closest to their decimal form.
    if (exponent < 0) return raw / std::pow(10.0, -static_cast<double>(exponent));
    return raw * std::pow(10.0, exponent);
}

QString FormatScaled(int32_t raw, int style, const QString& tmpl, int decimals, int exponent,
                     int width) {
    return FormatNumber(ScaleRaw(raw, exponent), style, tmpl, decimals, width);
}

namespace {

enum class Source { Date, Weekday, Time, Hour12, Designator };

struct Token {
    const char* token;
    const char* picture;
    Source source;
};

// Tried in this order at every position of the pattern.
constexpr Token kTokens[] = {
    {"%yyyy%", "yyyy", Source::Date},    {"%yy%", "yy", Source::Date},
    {"%MMMM%", "MMMM", Source::Date},    {"%MMM%", "MMM", Source::Date},
    {"%MM%", "MM", Source::Date},        {"%M%", "M", Source::Date},
    {"%dddd%", "dddd", Source::Weekday}, {"%ddd%", "ddd", Source::Weekday},
    {"%dd%", "dd", Source::Date},        {"%d%", "d", Source::Date},
    {"%hh%", "HH", Source::Hour12},      {"%h%", "H", Source::Hour12},
    {"%HH%", "HH", Source::Time},        {"%H%", "H", Source::Time},
    {"%ss%", "ss", Source::Time},        {"%s%", "s", Source::Time},
    {"%mm%", "mm", Source::Time},        {"%m%", "m", Source::Time},
    {"%tt%", "tt", Source::Designator},  {"%t%", "t", Source::Designator},
};

struct Moments {
    QDate date;
    QDate weekday;
    QTime time;
};

QString Piece(const Token& token, const Moments& at, const QLocale& locale) {
    const QString picture = QString::fromLatin1(token.picture);
    switch (token.source) {
    case Source::Date:
        return at.date.isValid() ? locale.toString(at.date, picture) : QString();
    case Source::Weekday:
        return at.weekday.isValid() ? locale.toString(at.weekday, picture) : QString();
    case Source::Time:
        return at.time.isValid() ? locale.toString(at.time, picture) : QString();
    case Source::Hour12: {
        if (!at.time.isValid()) return QString();
        // Qt's own 12-hour form needs an AM/PM marker in the same picture, so shift the hour.
        const int hour = at.time.hour() % 12 == 0 ? 12 : at.time.hour() % 12;
        return locale.toString(QTime(hour, 0), picture);
    }
    case Source::Designator: {
        if (!at.time.isValid()) return QString();
        const QString text = at.time.hour() < 12 ? locale.amText() : locale.pmText();
        const bool full = qstrlen(token.picture) == 2;
        return full ? text : text.left(1);
    }
    }
    return QString();
}

} // namespace

QString FormatDateTime(const DateTimeRecord& record, const QString& pattern,
                       const QLocale& locale) {
    Moments at;
    const int year = record.year < 1601 ? record.year % 800 + 2000 : record.year;
    at.date = QDate(year, record.month, record.day);
    // 2 January 2000 was a Sunday, so weekday w falls on January w + 2.
    at.weekday = QDate(2000, 1, record.weekday + 2);
    at.time = QTime(record.hour, record.minute, record.second);

    QString out;
    out.reserve(pattern.size());
    qsizetype i = 0;
    while (i < pattern.size()) {
        const Token* match = nullptr;
        for (const Token& token : kTokens) {
            if (pattern[i] != QLatin1Char('%')) break;
            if (QStringView(pattern).mid(i).startsWith(QLatin1String(token.token))) {
                match = &token;
                break;
            }
        }
        if (!match) {
            out += pattern[i++];
            continue;
        }
        out += Piece(*match, at, locale).left(kMaxPiece);
        i += static_cast<qsizetype>(qstrlen(match->token));
    }
    return out;
}
