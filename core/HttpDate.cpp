#include "core/HttpDate.h"

#include "core/TextHelpers.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace nimbora {

namespace {

// Digits of text[first .. first + count - 1] (0-based) as a number, or -1.
int Digits(const std::string& text, std::size_t first, std::size_t count) {
    int value = 0;
    for (std::size_t i = first; i < first + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

} // namespace

std::string FormatHttpDate(double dateTime) {
    // 2 = 1900-01-01, 2958466 = 10000-01-01.
    if (!std::isfinite(dateTime) || dateTime < 2 || dateTime >= 2958466) return {};
    long long secs = std::llround(dateTime * 86400.0);
    long long days = secs / 86400 - UnixEpochDay; // days since 1970-01-01
    long long rem = secs % 86400;
    int year, month, day;
    CivilFromDays(static_cast<long>(days), year, month, day);
    long long weekday = ((days % 7) + 7 + 4) % 7; // 1970-01-01 was a Thursday
    if (year > 9999) return {};

    static const char* const dayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const monthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int r = int(rem);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d GMT", dayNames[weekday],
                  int(day), monthNames[month - 1], int(year), r / 3600, (r / 60) % 60, r % 60);
    return buf;
}

TDateTimeZ ParseRfc1123Date(const std::string& text) {
    static constexpr std::array<const char*, 12> months = {
        "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    TDateTimeZ result;
    // "Wed, 21 Oct 2015 07:28:00 GMT": fields at fixed places, separated by these characters.
    if (text.size() < 25 || text[7] != ' ' || text[11] != ' ' || text[16] != ' ' ||
        text[19] != ':' || text[22] != ':')
        return result;
    const int day = Digits(text, 5, 2);
    const int year = Digits(text, 12, 4);
    const int hour = Digits(text, 17, 2);
    const int minute = Digits(text, 20, 2);
    int second = Digits(text, 23, 2);
    int month = 0;
    for (int i = 0; i < 12; ++i) {
        if (EqualNoCase(text.substr(8, 3), months[i])) month = i + 1;
    }
    if (month == 0 || year < 1 || day < 1 || day > DaysInMonth(year, month) || hour < 0 ||
        hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60)
        return result;
    if (second == 60) second = 59; // a leap second; the day count cannot hold it
    const long days = DaysFromCivil(year, month, day) + UnixEpochDay;
    result.DateTime = static_cast<double>(days) + (hour * 3600 + minute * 60 + second) / 86400.0;
    result.TimeZone = 0;
    result.Exists = true;
    return result;
}

} // namespace nimbora
