#pragma once
// A date and time together with its offset from UTC, and its ISO 8601 text.
#include <cstdint>
#include <string>

namespace nimbora {

struct TDateTimeZ {
    double DateTime = 0;       // days since 1899-12-30, time of day as the fraction; wall clock
    std::int16_t TimeZone = 0; // minutes east of UTC (wall clock = UTC + TimeZone)
    bool Exists = false;
};

// Day counts (days since 1899-12-30) of the proleptic Gregorian calendar.
// Day count of 1970-01-01, the start of the system clock.
inline constexpr long UnixEpochDay = 25569;
// Days since 1970-01-01 of a date, and back.
long DaysFromCivil(int year, int month, int day);
void CivilFromDays(long days, int& year, int& month, int& day);
bool IsLeapYear(int year);
// Month 1 to 12.
int DaysInMonth(int year, int month);

// Current local offset from UTC in minutes, daylight saving included.
int LocalUtcOffset();
TDateTimeZ NowDateTimeZ();
std::string DateTimeZToIso(const TDateTimeZ& value);
TDateTimeZ IsoToDateTimeZ(const std::string& text);
// The same instant as a local day count.
double DateTimeZToLocal(const TDateTimeZ& value);

} // namespace nimbora
