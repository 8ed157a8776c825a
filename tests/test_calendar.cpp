// Calendar arithmetic of time axes.
#include <gtest/gtest.h>

#include "Calendar.h"

namespace {

CalendarTime T(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
               int weekday = 0) {
    return {year, month, weekday, day, hour, minute, second, 0};
}

// Ticks a chart draws, stepping back from end until before start.
int CountTicks(const CalendarTime& start, const CalendarTime& end) {
    const int level = TickLevel(start, end);
    int ticks = 0;
    for (CalendarTime t = end; CompareTimes(t, start) <= 0 && ticks < 1000000; ++ticks)
        t = StepBack(t, level);
    return ticks;
}

} // namespace

TEST(Calendar, LengthsAndComparison) {
    EXPECT_EQ(DaysInYear(2000), 366);
    EXPECT_EQ(DaysInYear(1900), 365);
    EXPECT_EQ(DaysInMonth(2, 2024), 29);
    EXPECT_EQ(DaysInMonth(2, 2023), 28);
    EXPECT_EQ(DaysInMonth(11, 2023), 30);
    EXPECT_EQ(CompareTimes(T(2024, 1, 2), T(2024, 1, 1)), -1);
    EXPECT_EQ(CompareTimes(T(2023, 12, 31), T(2024, 1, 1)), 1);
    EXPECT_EQ(CompareTimes(T(2024, 1, 1, 0, 0, 0, 3), T(2024, 1, 1, 0, 0, 0, 5)), 0);
}

TEST(Calendar, RecordBytes) {
    const uint8_t bytes[8] = {9, 7, 14, 5, 2, 3, 0xE8, 0x07};
    EXPECT_EQ(ToCalendarTime(DateTimeRecord::FromBytes(bytes, 8)), T(2024, 3, 5, 14, 7, 9, 2));
    EXPECT_EQ(DateTimeRecord::FromBytes(bytes, 3).day, 0);
    const DateTimeRecord clamped = ToDateTimeRecord(T(70000, 300, -4));
    EXPECT_EQ(clamped.year, 0xFFFF);
    EXPECT_EQ(clamped.month, 255);
    EXPECT_EQ(clamped.day, 0);
}

TEST(Calendar, DifferenceAndSubtractionBorrow) {
    const CalendarTime d = TimeDifference(T(2023, 3, 1), T(2023, 1, 31));
    EXPECT_EQ(d.month, 1);
    EXPECT_EQ(d.day, 1);
    // Friday 1 March 2024 00:00:10 less 20 seconds: Thursday 29 February 23:59:50.
    EXPECT_EQ(SubtractTime(T(2024, 3, 1, 0, 0, 10, 5), {0, 0, 0, 20}, 1),
              T(2024, 2, 29, 23, 59, 50, 4));
    EXPECT_EQ(SubtractTime(T(2024, 1, 1, 3, 0, 0, 1), {0, 6, 0, 0}, 3),
              T(2023, 12, 31, 9, 0, 0, 0));
    // Steps of centuries land on the right day.
    EXPECT_EQ(SubtractTime(T(2024, 3, 15, 0, 0, 0, 5), {146097 * 2, 0, 0, 0}, 1),
              T(1224, 3, 15, 0, 0, 0, 5));
    // A month outside 1..12 counts 31 days, then the walk goes on as usual.
    EXPECT_EQ(SubtractTime(T(2024, 0, 15, 0, 0, 0, 1), {146097 * 1000, 0, 0, 0}, 1),
              T(-397976, 1, 15, 0, 0, 0, 1));
    EXPECT_EQ(StepBack(T(2024, 3, 15), TICK_MONTH), T(2024, 2, 15, 0, 0, 0, 6));
    EXPECT_EQ(StepBack(T(2024, 1, 10), TICK_MONTH), T(2023, 12, 10, 0, 0, 0, 4));
    EXPECT_EQ(StepBack(T(2024, 1, 1, 5), 11), T(2024, 1, 1, 5));
}

TEST(Calendar, TickLevelBySpan) {
    const CalendarTime start = T(2020, 1, 10, 8);
    EXPECT_EQ(TickLevel(start, T(2020, 1, 10, 8, 0, 30)), TICK_SECOND);
    EXPECT_EQ(TickLevel(start, T(2020, 1, 10, 8, 3)), TICK_10_SECONDS);
    EXPECT_EQ(TickLevel(start, T(2020, 1, 10, 8, 20)), TICK_MINUTE);
    EXPECT_EQ(TickLevel(start, T(2020, 1, 10, 16)), TICK_HOUR);
    EXPECT_EQ(TickLevel(start, T(2020, 1, 13, 8)), TICK_6_HOURS);
    EXPECT_EQ(TickLevel(start, T(2020, 2, 10, 8)), TICK_DAY_MONTH);
    EXPECT_EQ(TickLevel(start, T(2021, 4, 10, 8)), TICK_DAY_QUARTER);
    EXPECT_EQ(TickLevel(start, T(2027, 1, 10, 8)), TICK_MONTH);
    // One to five years: daily ticks, whatever the smaller parts say.
    EXPECT_EQ(TickLevel(start, T(2025, 1, 10, 8, 3)), TICK_DAY_MONTHS);

    EXPECT_EQ(CountTicks(T(2020, 1, 1, 8), T(2020, 1, 1, 8, 20)), 21);
    EXPECT_EQ(CountTicks(T(2020, 1, 1), T(2020, 1, 4)), 13);
    EXPECT_EQ(CountTicks(T(2022, 1, 1), T(2024, 1, 1, 0, 3)), 731);
    EXPECT_EQ(CountTicks(T(2010, 1, 1), T(2017, 1, 1)), 85);
}

TEST(Calendar, TickWeights) {
    EXPECT_EQ(TickWeight(T(2024, 1, 1, 0, 10, 0), TICK_10_SECONDS), 6);
    EXPECT_EQ(TickWeight(T(2024, 1, 8, 6), TICK_6_HOURS), 6);
    EXPECT_EQ(TickWeight(T(2024, 1, 9, 0), TICK_6_HOURS), 4);
    EXPECT_EQ(TickWeight(T(2024, 4, 1), TICK_DAY_MONTHS), 4);
    EXPECT_EQ(TickWeight(T(2024, 5, 2), TICK_DAY_MONTHS), 0);
    EXPECT_EQ(TickWeight(T(2030, 1, 1), TICK_DAY_QUARTER), 6);
    EXPECT_EQ(TickWeight(T(2024, 1, 1), TICK_DAY_QUARTER), 4);
    EXPECT_EQ(TickWeight(T(2024, 7, 1), TICK_DAY_QUARTER), 2);
    EXPECT_EQ(TickWeight(T(2024, 1, 9), TICK_MONTH), 4);
    EXPECT_EQ(TickWeight(T(2024, 1, 1), 11), 0);
}

TEST(Calendar, TimeFraction) {
    const CalendarTime start = T(2024, 1, 1);
    const CalendarTime end = T(2025, 1, 1);
    // January to June 2024 hold 182 days; noon adds half of one.
    EXPECT_DOUBLE_EQ(TimeFraction(T(2024, 7, 1, 12), start, end), 182.5 / 366.0);
    EXPECT_DOUBLE_EQ(TimeFraction(T(2021, 3, 1), T(2019, 3, 1), T(2023, 3, 1)), 731.0 / 1461.0);
    EXPECT_DOUBLE_EQ(TimeFraction(T(2000, 6, 1), T(1900, 1, 1), T(2100, 1, 1)), 0.5);
    // Degenerate or malformed input: a finite answer, no hang, no division by 0.
    EXPECT_DOUBLE_EQ(TimeFraction(start, start, start), 0.0);
    EXPECT_DOUBLE_EQ(TimeFraction(T(2024, 13, 1), start, end), 1.0);
}
