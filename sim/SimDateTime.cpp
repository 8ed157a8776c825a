#include "SimDateTime.h"

#include <algorithm>
#include <ctime>

#include "Frame.h"
#include "FrameDecoder.h"

namespace {

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int m, int y) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = int64_t(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

} // namespace

std::optional<DateTimeBytes> MakeDateTime(int year, int month, int day, int hour, int minute,
                                          int second) {
    if (year < 1 || year > 0xFFFF || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(month, year) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59)
        return std::nullopt;
    const int64_t days = DaysFromCivil(year, unsigned(month), unsigned(day));
    const int64_t weekday = ((days % 7) + 7 + 4) % 7; // 1970-01-01 was a Thursday
    DateTimeBytes v{uint8_t(second), uint8_t(minute),  uint8_t(hour),
                    uint8_t(day),    uint8_t(weekday), uint8_t(month)};
    PutU16LE(&v[6], uint16_t(year));
    return v;
}

std::optional<DateTimeBytes> ParseDateTime(std::string_view text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char tail = 0;
    const std::string t(text);
    if (std::sscanf(t.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) == 6)
        return MakeDateTime(y, mo, d, h, mi, s);
    if (t.size() == 10 && std::sscanf(t.c_str(), "%4d-%2d-%2d%c", &y, &mo, &d, &tail) == 3)
        return MakeDateTime(y, mo, d, 0, 0, 0);
    return std::nullopt;
}

std::string FormatDateTime(const DateTimeBytes& v) {
    return FormatWireDateTime(v.data());
}

std::optional<int64_t> DateTimeSeconds(const DateTimeBytes& v) {
    const int year = GetU16LE(&v[6]);
    if (!MakeDateTime(year, v[5], v[3], v[2], v[1], v[0])) return std::nullopt;
    return DaysFromCivil(year, v[5], v[3]) * 86400 + v[2] * 3600 + v[1] * 60 + v[0];
}

DateTimeBytes DateTimeFromSeconds(int64_t seconds) {
    const int64_t days = FloorDiv(seconds, 86400);
    const int64_t rest = seconds - days * 86400;
    int64_t y = 0;
    unsigned m = 1, d = 1;
    CivilFromDays(days, y, m, d);
    if (y < 1 || y > 0xFFFF) return *MakeDateTime(2000, 1, 1, 0, 0, 0);
    return *MakeDateTime(int(y), int(m), int(d), int(rest / 3600), int(rest / 60 % 60),
                         int(rest % 60));
}

int64_t LocalNowSeconds() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return DaysFromCivil(local.tm_year + 1900, unsigned(local.tm_mon + 1),
                         unsigned(local.tm_mday)) *
               86400 +
           local.tm_hour * 3600 + local.tm_min * 60 + std::min(local.tm_sec, 59);
}
