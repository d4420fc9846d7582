#include "waypoints/ParseCoord.h"

#include "core/support.h"

#include <cmath>

namespace nimbora {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsFieldChar(char c) {
    return IsDigit(c) || c == '+' || c == '-' || c == '.' || c == ',';
}

// Blanks and control characters at both ends.
std::string TrimControls(const std::string& s) {
    std::size_t begin = 0, end = s.size();
    while (begin < end && static_cast<unsigned char>(s[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<unsigned char>(s[end - 1]) <= ' ')
        --end;
    return s.substr(begin, end - begin);
}

// The leading run of field characters, cut off s.
std::string TakeField(std::string& s) {
    std::size_t n = 0;
    while (n < s.size() && IsFieldChar(s[n]))
        ++n;
    std::string field = s.substr(0, n);
    s.erase(0, n);
    return field;
}

// Everything up to the next digit goes: blanks, the degree sign, quotes and the like.
void SkipToDigit(std::string& s) {
    std::size_t n = 0;
    while (n < s.size() && !IsDigit(s[n]))
        ++n;
    s.erase(0, n);
}

// "." and "," both mean the decimal point, whatever the user's separator is.
bool FieldValue(std::string field, double& value) {
    const char separator = DecimalSeparator();
    for (char& c : field)
        if (c == '.' || c == ',') c = separator;
    return ParseLocaleFloat(field, value);
}

} // namespace

bool ParseCoord(const std::string& text, TCoordKind kind, std::string& result) {
    result.clear();
    std::string s = TrimControls(text);
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (s.empty()) return false;

    char letter = 0;
    const std::size_t at = s.find_first_of("NSEWO");
    if (at != std::string::npos) {
        letter = s[at];
        s.erase(at, 1);
        kind = letter == 'N' || letter == 'S' ? TCoordKind::Latitude : TCoordKind::Longitude;
    }
    s = TrimControls(s);

    const std::string degreesField = TakeField(s);
    SkipToDigit(s);
    const std::string minutesField = TakeField(s);
    SkipToDigit(s);
    const std::string secondsField = TakeField(s);
    if (degreesField.empty()) return false;

    double degrees = 0, minutes = 0, seconds = 0;
    if (!FieldValue(degreesField, degrees)) return false;
    if (!minutesField.empty() && !FieldValue(minutesField, minutes)) return false;
    if (!minutesField.empty() && !secondsField.empty() && !FieldValue(secondsField, seconds))
        return false;
    // Seconds count only together with minutes; a minus sign on the degrees is meant for the
    // whole position ("-10 30" is 10.5 degrees south or west, not 9.5).
    double magnitude = std::fabs(degrees);
    if (!minutesField.empty()) {
        magnitude += std::fabs(minutes) / 60;
        if (!secondsField.empty()) magnitude += std::fabs(seconds) / 3600;
    }
    const bool negative = std::signbit(degrees);
    if (!std::isfinite(magnitude)) return false;

    if (letter == 0)
        letter = kind == TCoordKind::Latitude ? (negative ? 'S' : 'N') : (negative ? 'W' : 'E');
    if (kind == TCoordKind::Latitude) {
        // A latitude past the pole is a typing mistake, not a place to fold back.
        if (magnitude > 90) return false;
        result = FormatDeg2(letter == 'S' ? -magnitude : magnitude);
    } else {
        result = FormatLonDeg2(NormLon(letter == 'W' || letter == 'O' ? -magnitude : magnitude));
    }
    return true;
}

bool ReadCoordinate(const std::string& text, TCoordKind prompt, double& value) {
    std::string normalised;
    if (!ParseCoord(text, prompt, normalised)) return false;
    double number;
    if (!ParseLocaleFloat(normalised, number)) return false;
    if (prompt == TCoordKind::Latitude && std::fabs(number) > 90) return false;
    value = number;
    return true;
}

std::string CoordinateRangeMessage(TCoordKind prompt) {
    const std::string point(1, DecimalSeparator());
    if (prompt == TCoordKind::Latitude)
        return "Latitude must be between -90 and 90, e.g. 40 30 N or -33" + point + "87";
    return "Longitude must be between -180 and 180, e.g. 3 42 W or 151" + point + "2";
}

} // namespace nimbora
