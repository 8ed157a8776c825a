#include "Calendar.h"

#include <algorithm>

#include "Frame.h"

DateTimeRecord DateTimeRecord::FromBytes(const uint8_t* bytes, size_t size) {
    uint8_t b[8] = {};
    if (bytes) std::copy_n(bytes, std::min<size_t>(size, 8), b);
    DateTimeRecord r;
    r.second = b[0];
    r.minute = b[1];
    r.hour = b[2];
    r.day = b[3];
    r.weekday = b[4];
    r.month = b[5];
    r.year = GetU16LE(b + 6);
    return r;
}

void DateTimeRecord::ToBytes(uint8_t out[8]) const {
    out[0] = second;
    out[1] = minute;
    out[2] = hour;
    out[3] = day;
    out[4] = weekday;
    out[5] = month;
    PutU16LE(out + 6, year);
}

CalendarTime ToCalendarTime(const DateTimeRecord& r) {
    CalendarTime t;
    t.year = r.year;
    t.month = r.month;
    t.weekday = r.weekday;
    t.day = r.day;
    t.hour = r.hour;
    t.minute = r.minute;
    t.second = r.second;
    return t;
}

DateTimeRecord ToDateTimeRecord(const CalendarTime& t) {
    auto byte = [](int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); };
    DateTimeRecord r;
    r.second = byte(t.second);
    r.minute = byte(t.minute);
    r.hour = byte(t.hour);
    r.day = byte(t.day);
    r.weekday = byte(t.weekday);
    r.month = byte(t.month);
    r.year = static_cast<uint16_t>(std::clamp(t.year, 0, 0xFFFF));
    return r;
}

bool IsLeapYear(int year) {
    return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
}

int DaysInYear(int year) {
    return IsLeapYear(year) ? 366 : 365;
}

int DaysInMonth(int month, int year) {
    switch (month) {
    case 2:
        return IsLeapYear(year) ? 29 : 28;
    case 4:
    case 6:
    case 9:
    case 11:
        return 30;
    default:
        return 31;
    }
}

int CompareTimes(const CalendarTime& a, const CalendarTime& b) {
    const int fa[] = {a.year, a.month, a.day, a.hour, a.minute, a.second, a.millisecond};
    const int fb[] = {b.year, b.month, b.day, b.hour, b.minute, b.second, b.millisecond};
    for (int i = 0; i < 7; ++i) {
        if (fa[i] > fb[i]) return -1;
        if (fa[i] < fb[i]) return 1;
    }
    return 0;
}

CalendarTime TimeDifference(const CalendarTime& a, const CalendarTime& b) {
    CalendarTime d;
    d.millisecond = a.millisecond - b.millisecond;
    d.second = a.second - b.second;
    if (d.millisecond < 0) {
        d.millisecond += 1000;
        --d.second;
    }
    d.minute = a.minute - b.minute;
    if (d.second < 0) {
        d.second += 60;
        --d.minute;
    }
    d.hour = a.hour - b.hour;
    if (d.minute < 0) {
        d.minute += 60;
        --d.hour;
    }
    d.day = a.day - b.day;
    if (d.hour < 0) {
        d.hour += 24;
        --d.day;
    }
    d.month = a.month - b.month;
    if (d.day < 0) {
        d.day += DaysInMonth(b.month, b.year);
        --d.month;
    }
    d.year = a.year - b.year;
    if (d.month < 0) {
        d.month += 12;
        --d.year;
    }
    return d;
}

namespace {

// Brings value into 0..base-1 by taking whole units from the next field; returns the units taken.
long long Borrow(long long& value, long long base) {
    if (value >= 0) return 0;
    const long long units = (-value + base - 1) / base;
    value += units * base;
    return units;
}

constexpr long long kDaysIn400Years = 146097;

} // namespace

CalendarTime SubtractTime(CalendarTime t, const TimeStep& step, int count) {
    for (int i = 0; i < count; ++i) {
        long long second = static_cast<long long>(t.second) - step.seconds;
        long long minute = static_cast<long long>(t.minute) - step.minutes;
        long long hour = static_cast<long long>(t.hour) - step.hours;
        long long day = t.day;
        long long weekday = t.weekday;
        minute -= Borrow(second, 60);
        hour -= Borrow(minute, 60);
        const long long dayBorrow = Borrow(hour, 24);
        day -= dayBorrow + step.days;
        weekday -= dayBorrow + step.days;
        weekday = ((weekday % 7) + 7) % 7;

        long long month = t.month;
        long long year = t.year;
        while (day < 1) {
            // Whole 400-year cycles have a fixed length; skipping them keeps huge steps cheap,
            // also once a month outside 1..12 has been walked into range.
            if (month >= 1 && month <= 12 && day <= -kDaysIn400Years) {
                const long long cycles = -day / kDaysIn400Years;
                day += cycles * kDaysIn400Years;
                year -= cycles * 400;
            }
            if (--month < 1) {
                month = 12;
                --year;
            }
            day += DaysInMonth(static_cast<int>(month), static_cast<int>(year));
        }
        t.second = static_cast<int>(second);
        t.minute = static_cast<int>(minute);
        t.hour = static_cast<int>(hour);
        t.day = static_cast<int>(day);
        t.weekday = static_cast<int>(weekday);
        t.month = static_cast<int>(month);
        t.year = static_cast<int>(year);
    }
    return t;
}

int TickLevel(const CalendarTime& start, const CalendarTime& end) {
    const CalendarTime d = TimeDifference(end, start);
    if (d.year > 5) return TICK_MONTH;
    if (d.year >= 1 && d.month == 3 && d.day == 0) return TICK_DAY_QUARTER;
    // One to five years: daily steps marked at month, quarter and year starts. The finer rules
    // below look only at the month, day and time parts and would tick every second.
    if (d.year >= 1) return TICK_DAY_MONTHS;
    if (d.month > 1) return TICK_DAY_MONTHS;
    if (d.month == 1) return TICK_DAY_MONTH;
    if (d.day > 5) return TICK_DAY;
    if (d.day >= 1) return TICK_6_HOURS;
    if (d.hour > 6) return TICK_HOUR;
    if (d.hour >= 1) return TICK_10_MINUTES;
    if (d.minute > 5) return TICK_MINUTE;
    if (d.minute >= 1) return TICK_10_SECONDS;
    return TICK_SECOND;
}

CalendarTime StepBack(const CalendarTime& t, int level) {
    TimeStep step;
    switch (level) {
    case TICK_SECOND:
        step.seconds = 1;
        break;
    case TICK_10_SECONDS:
        step.seconds = 10;
        break;
    case TICK_MINUTE:
        step.minutes = 1;
        break;
    case TICK_10_MINUTES:
        step.minutes = 10;
        break;
    case TICK_HOUR:
        step.hours = 1;
        break;
    case TICK_6_HOURS:
        step.hours = 6;
        break;
    case TICK_DAY:
    case TICK_DAY_MONTH:
    case TICK_DAY_MONTHS:
    case TICK_DAY_QUARTER:
        step.days = 1;
        break;
    case TICK_MONTH:
        step.days = t.month <= 1 ? DaysInMonth(12, t.year - 1) : DaysInMonth(t.month - 1, t.year);
        break;
    default:
        return t;
    }
    return SubtractTime(t, step, 1);
}

int TickWeight(const CalendarTime& t, int level) {
    const bool firstOfMonth = t.day == 1;
    switch (level) {
    case TICK_SECOND:
        return t.second == 0 ? 6 : t.second % 10 == 0 ? 4 : 2;
    case TICK_10_SECONDS:
        return t.second != 0 ? 2 : t.minute % 10 == 0 ? 6 : 4;
    case TICK_MINUTE:
        return t.minute == 0 ? 6 : t.minute % 10 == 0 ? 4 : 2;
    case TICK_10_MINUTES:
        return t.minute != 0 ? 2 : t.hour % 6 == 0 ? 6 : 4;
    case TICK_HOUR:
        return t.hour == 0 ? 6 : t.hour % 6 == 0 ? 4 : 2;
    case TICK_6_HOURS:
        if (t.day % 7 == 1 && t.hour != 0) return 6;
        return t.hour == 0 ? 4 : 2;
    case TICK_DAY:
    case TICK_DAY_MONTH:
        return firstOfMonth ? 6 : t.day % 7 == 1 ? 4 : 2;
    case TICK_DAY_MONTHS:
        if (!firstOfMonth) return 0;
        return t.month == 1 ? 6 : t.month % 3 == 1 ? 4 : 2;
    case TICK_DAY_QUARTER:
        // Decades strongest, then every new year, then quarters.
        if (!firstOfMonth) return 0;
        if (t.month == 1) return t.year % 10 == 0 ? 6 : 4;
        return t.month % 3 == 1 ? 2 : 0;
    case TICK_MONTH:
        if (t.month != 1) return 0;
        return t.year % 10 == 0 ? 6 : 4;
    default:
        return 0;
    }
}

namespace {

// Days since 1970-01-01 of the first of the month (proleptic Gregorian); the month may be any
// number, counting on from January of `year`.
long long DaysToMonthStart(long long year, long long month) {
    long long m0 = month - 1;
    long long y = year + (m0 >= 0 ? m0 / 12 : -((-m0 + 11) / 12));
    const long long m = m0 - (y - year) * 12 + 1;
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

long long DayNumber(const CalendarTime& t) {
    return DaysToMonthStart(t.year, t.month) + t.day - 1;
}

long long MillisecondOfDay(const CalendarTime& t) {
    return ((static_cast<long long>(t.hour) * 60 + t.minute) * 60 + t.second) * 1000 +
           t.millisecond;
}

double DaysFrom(const CalendarTime& from, const CalendarTime& t) {
    const double whole = static_cast<double>(DayNumber(t) - DayNumber(from));
    return whole + static_cast<double>(MillisecondOfDay(t) - MillisecondOfDay(from)) / 86400000.0;
}

} // namespace

double TimeFraction(const CalendarTime& t, const CalendarTime& start, const CalendarTime& end) {
    const long long years = static_cast<long long>(end.year) - start.year;
    if (years > 100)
        return static_cast<double>(static_cast<long long>(t.year) - start.year) /
               static_cast<double>(years);
    const double span = DaysFrom(start, end);
    if (span == 0.0) return 0.0;
    return DaysFrom(start, t) / span;
}
