#include "core/Iso8601.h"

#include "core/TextHelpers.h"
#include "core/support.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace nimbora {

namespace {

constexpr double MsPerDay = 86400000.0;
// Day counts of 0001-01-01 and 9999-12-31: the calendar range that dates are split within.
constexpr long MinDay = -693593;
constexpr long MaxDay = 2958465;
// Date and time of day joined the way day counts do it: before the epoch the time of day
// counts away from zero, so the whole part is always the date.
double Compose(double date, double time) {
    return date < 0 ? date - time : date + time;
}

double EncodeDate(int y, int m, int d) {
    return static_cast<double>(DaysFromCivil(y, m, d) + UnixEpochDay);
}

struct TParts {
    int Year, Month, Day, Hour, Minute, Second;
};

// Splits a day count; milliseconds are dropped. False outside years 1 to 9999.
bool Decode(double value, TParts& parts) {
    if (!std::isfinite(value) || value < MinDay - 1 || value > MaxDay + 1) return false;
    long day = static_cast<long>(std::trunc(value));
    long long ms = std::llround(std::fabs(value - std::trunc(value)) * MsPerDay);
    if (ms >= static_cast<long long>(MsPerDay)) {
        if (value >= 0) {
            ++day;
            ms -= static_cast<long long>(MsPerDay);
        } else {
            ms = static_cast<long long>(MsPerDay) - 1;
        }
    }
    if (day < MinDay || day > MaxDay) return false;
    CivilFromDays(day - UnixEpochDay, parts.Year, parts.Month, parts.Day);
    const long long seconds = ms / 1000;
    parts.Hour = static_cast<int>(seconds / 3600);
    parts.Minute = static_cast<int>(seconds / 60 % 60);
    parts.Second = static_cast<int>(seconds % 60);
    return true;
}

double NowLocal() {
    const auto now = std::chrono::system_clock::now();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000 - (ms % 1000 < 0 ? 1 : 0));
    std::tm local{};
    localtime_r(&seconds, &local);
    const double time = (local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec) / 86400.0 +
                        static_cast<double>((ms % 1000 + 1000) % 1000) / MsPerDay;
    return Compose(EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday), time);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads 1 to maxDigits digits at pos.
bool ScanNumber(const std::string& s, std::size_t& pos, std::size_t maxDigits, int& value) {
    const std::size_t start = pos;
    value = 0;
    while (pos < s.size() && IsDigit(s[pos]) && pos - start < maxDigits)
        value = value * 10 + (s[pos++] - '0');
    return pos > start && (pos == s.size() || !IsDigit(s[pos]));
}

// "yyyy-m-d" as a day count.
bool ParseDate(const std::string& text, double& date) {
    const std::string s = Trim(text);
    std::size_t pos = 0;
    int y, m, d;
    if (!ScanNumber(s, pos, 4, y) || pos >= s.size() || s[pos++] != '-') return false;
    if (!ScanNumber(s, pos, 2, m) || pos >= s.size() || s[pos++] != '-') return false;
    if (!ScanNumber(s, pos, 2, d) || pos != s.size()) return false;
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return false;
    date = EncodeDate(y, m, d);
    return true;
}

// "h:m[:s[<decimal separator>fraction]]" as a fraction of a day.
bool ParseTime(const std::string& text, double& time) {
    const std::string s = Trim(text);
    std::size_t pos = 0;
    int h, m, sec = 0;
    double fraction = 0;
    if (!ScanNumber(s, pos, 2, h) || pos >= s.size() || s[pos++] != ':') return false;
    if (!ScanNumber(s, pos, 2, m)) return false;
    if (pos < s.size()) {
        if (s[pos++] != ':' || !ScanNumber(s, pos, 2, sec)) return false;
        if (pos < s.size()) {
            if (s[pos++] != DecimalSeparator()) return false;
            double scale = 0.1;
            const std::size_t start = pos;
            while (pos < s.size() && IsDigit(s[pos]) && pos - start < 9) {
                fraction += (s[pos++] - '0') * scale;
                scale /= 10;
            }
            if (pos == start || pos != s.size()) return false;
        }
    }
    if (h > 23 || m > 59 || sec > 59) return false;
    time = (h * 3600.0 + m * 60.0 + sec + fraction) / 86400.0;
    return true;
}

// "+hh:mm" or "+hhmm" (or "-") with hours up to 23 and minutes up to 59, in minutes. Anything
// else is not an offset: out of range it would be written back in a form no reader takes.
bool ParseOffset(const std::string& o, int& minutes) {
    std::string digits;
    if (o.size() == 6 && o[3] == ':')
        digits = o.substr(1, 2) + o.substr(4, 2);
    else if (o.size() == 5)
        digits = o.substr(1);
    else
        return false;
    if ((o[0] != '+' && o[0] != '-') ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return IsDigit(c); }))
        return false;
    const int h = (digits[0] - '0') * 10 + (digits[1] - '0');
    const int m = (digits[2] - '0') * 10 + (digits[3] - '0');
    if (h > 23 || m > 59) return false;
    minutes = o[0] == '-' ? -(h * 60 + m) : h * 60 + m;
    return true;
}

} // namespace

long DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(long z, int& y, int& m, int& d) {
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

bool IsLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : days[m - 1];
}

int LocalUtcOffset() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local)) return 0;
    return static_cast<int>(local.tm_gmtoff / 60);
}

TDateTimeZ NowDateTimeZ() {
    TDateTimeZ value;
    value.DateTime = NowLocal();
    value.TimeZone = static_cast<std::int16_t>(LocalUtcOffset());
    value.Exists = true;
    return value;
}

std::string DateTimeZToIso(const TDateTimeZ& value) {
    if (!value.Exists) return {};
    TParts p;
    if (!Decode(value.DateTime, p)) return {};
    char text[64];
    if (value.TimeZone == 0) {
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", p.Year, p.Month, p.Day,
                      p.Hour, p.Minute, p.Second);
    } else {
        const int offset = value.TimeZone < 0 ? -value.TimeZone : value.TimeZone;
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", p.Year,
                      p.Month, p.Day, p.Hour, p.Minute, p.Second, value.TimeZone < 0 ? '-' : '+',
                      offset / 60, offset % 60);
    }
    return text;
}

TDateTimeZ IsoToDateTimeZ(const std::string& text) {
    TDateTimeZ value;
    value.DateTime = NowLocal();
    value.TimeZone = static_cast<std::int16_t>(LocalUtcOffset());
    value.Exists = false;
    if (text.empty()) return value;

    const std::string s = LowerAscii(text);
    const std::size_t t = s.find('t');
    const std::string datePart = s.substr(0, t);
    const std::string rest = t == std::string::npos ? std::string() : s.substr(t + 1);

    if (!datePart.empty()) {
        double date;
        if (!ParseDate(datePart, date)) return value;
        // The date replaces today's date; the time of day stays until the time is parsed.
        const double now = value.DateTime;
        value.DateTime = Compose(date, std::fabs(now - std::trunc(now)));
    }
    if (rest.empty()) return value;

    std::size_t mark = rest.find('z');
    if (mark == std::string::npos) mark = rest.find('+');
    if (mark == std::string::npos) mark = rest.find('-');
    const std::string timePart = rest.substr(0, mark);
    const std::string offsetPart = mark == std::string::npos ? std::string() : rest.substr(mark);

    value.DateTime = std::trunc(value.DateTime);
    double time;
    if (!ParseTime(timePart, time)) return value;
    value.DateTime = Compose(value.DateTime, time);

    int offset;
    if (ParseOffset(offsetPart, offset)) {
        value.TimeZone = static_cast<std::int16_t>(offset);
    } else if (offsetPart == "z") {
        value.TimeZone = 0;
    }
    value.Exists = true;
    return value;
}

double DateTimeZToLocal(const TDateTimeZ& value) {
    if (!value.Exists) return NowLocal();
    const auto difference = static_cast<std::int16_t>(LocalUtcOffset() - value.TimeZone);
    return value.DateTime + difference / 1440.0;
}

} // namespace nimbora
