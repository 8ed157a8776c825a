// Date/time values and the calendar arithmetic behind time axes: the 8-byte record the device
// exchanges, a calendar time with milliseconds, comparison, differences with borrows, stepping
// back by ticks, tick levels and weights, and the position of a time within a span.
#pragma once

#include <cstddef>
#include <cstdint>

// The device's 8-byte date/time value: second, minute, hour, day, weekday (0 = Sunday), month,
// little-endian 16-bit year.
struct DateTimeRecord {
    uint8_t second = 0;
    uint8_t minute = 0;
    uint8_t hour = 0;
    uint8_t day = 0;
    uint8_t weekday = 0;
    uint8_t month = 0;
    uint16_t year = 0;

    // Bytes beyond `size` read as 0.
    static DateTimeRecord FromBytes(const uint8_t* bytes, size_t size);
    void ToBytes(uint8_t out[8]) const;
    bool operator==(const DateTimeRecord&) const = default;
};

// A calendar time, or a difference of two (then each field is a count of that unit).
struct CalendarTime {
    int year = 0;
    int month = 0;
    int weekday = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    bool operator==(const CalendarTime&) const = default;
};

// A duration for SubtractTime.
struct TimeStep {
    int days = 0;
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
};

// Field by field, milliseconds 0; the year is taken as stored.
CalendarTime ToCalendarTime(const DateTimeRecord& record);
// Field by field, each clamped into its byte (year: 16 bits); milliseconds are dropped.
DateTimeRecord ToDateTimeRecord(const CalendarTime& time);

bool IsLeapYear(int year);
int DaysInYear(int year);
// Months outside 1..12 count 31 days.
int DaysInMonth(int month, int year);

// -1 when a is later than b, +1 when a is earlier, 0 when equal; the weekday is ignored.
int CompareTimes(const CalendarTime& a, const CalendarTime& b);
// a - b component by component with one borrow per unit (days borrow the length of b's month).
// The weekday of the result means nothing.
CalendarTime TimeDifference(const CalendarTime& a, const CalendarTime& b);
// t - step, `count` times, borrowing across units down to months and years; the weekday follows.
CalendarTime SubtractTime(CalendarTime t, const TimeStep& step, int count);

// Tick levels of a time axis and the tick each one steps by.
enum TickLevelCode : int {
    TICK_SECOND = 4,
    TICK_10_SECONDS = 5,
    TICK_MINUTE = 6,
    TICK_10_MINUTES = 7,
    TICK_HOUR = 8,
    TICK_6_HOURS = 9,
    TICK_DAY = 10,        // up to a month
    TICK_DAY_MONTH = 12,  // a span of one month
    TICK_DAY_MONTHS = 13, // months, and spans of 1 to 5 years
    TICK_DAY_QUARTER = 14,
    TICK_MONTH = 15,
};

// The level for an axis from start to end.
int TickLevel(const CalendarTime& start, const CalendarTime& end);
// t one tick earlier; a month tick steps back by the length of the month before t's month.
// Unknown levels leave t unchanged.
CalendarTime StepBack(const CalendarTime& t, int level);
// How strongly the tick at t is marked: 6, 4, 2, or 0 for no mark.
int TickWeight(const CalendarTime& t, int level);
// Where t lies from start (0) to end (1), in days with fractions; spans of more than 100 years
// are measured in whole years. 0 when start and end coincide.
double TimeFraction(const CalendarTime& t, const CalendarTime& start, const CalendarTime& end);
