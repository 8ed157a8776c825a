// Texts of control values: numbers through a template in which "%%" marks the number, in one of
// four styles, and date/time records through a pattern of %...% tokens expanded with a locale.
// Templates and patterns come from the device and are only ever searched, never used as formats.
#pragma once

#include <cstdint>

#include <QLocale>
#include <QString>

#include "Calendar.h"

// Number styles; a two-bit style field of the flags word maps 0..3 to 1..4.
enum NumberStyle : int {
    NUMBER_FREE = 1,     // six decimals, trailing zeros and a bare point removed
    NUMBER_FIXED = 2,    // `decimals` digits after the point
    NUMBER_EXPONENT = 3, // d.ddde+XX with `decimals` digits
    NUMBER_GENERAL = 4,  // `decimals` significant digits
};
inline int NumberStyleFromField(uint32_t field) {
    return static_cast<int>(field & 3) + 1;
}

// The number in `style` (other values: free), put in place of the first "%%" of the template; a
// template without "%%" is the whole result. A positive `width` pads the number with zeros to at
// least that many characters (at most 64); decimals are taken within 0..255.
QString FormatNumber(double value, int style, const QString& tmpl, int decimals, int width);

// raw x 10^exponent.
double ScaleRaw(int32_t raw, int exponent);
QString FormatScaled(int32_t raw, int style, const QString& tmpl, int decimals, int exponent,
                     int width);

// The pattern with each token (%yyyy%, %MMM%, %dddd%, %hh%, %tt%, ...) replaced by the locale's
// text for it; every other character is copied. Years below 1601 are shown as (year mod 800) +
// 2000. An invalid date or time leaves its tokens empty.
QString FormatDateTime(const DateTimeRecord& record, const QString& pattern,
                       const QLocale& locale = QLocale());
