// The 8-byte date/time value: built from a calendar date (the weekday computed), read from and
// written as "YYYY-MM-DD HH:MM:SS", and taken from the local clock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "SimPanel.h"

// Nullopt when a field is out of range (month 13, 31 April, hour 24, year 0, ...).
std::optional<DateTimeBytes> MakeDateTime(int year, int month, int day, int hour, int minute,
                                          int second);
// "YYYY-MM-DD HH:MM:SS", or a date alone ("YYYY-MM-DD", midnight).
std::optional<DateTimeBytes> ParseDateTime(std::string_view text);
std::string FormatDateTime(const DateTimeBytes& value);
// Seconds since 1970 of a date/time read as UTC; nullopt for an invalid value.
std::optional<int64_t> DateTimeSeconds(const DateTimeBytes& value);
DateTimeBytes DateTimeFromSeconds(int64_t seconds);
// The local wall-clock time as seconds since 1970 in the same "read as UTC" sense.
int64_t LocalNowSeconds();
