#include "core/support.h"
#include "core/SupportTestSeam.h"

#include <QLocale>

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace nimbora {

namespace {

// 0 = not yet taken from the system locale.
std::atomic<char> gDecimalSeparator{0};

char SystemDecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    if (point.isEmpty()) return '.';
    const char16_t c = point.at(0).unicode();
    // Our files and the bitmap font only take a plain one-byte separator.
    if (c < 0x20 || c > 0x7E || (c >= '0' && c <= '9')) return '.';
    return static_cast<char>(c);
}

double RoundTo13(double x) {
    // nearbyint follows the default rounding mode: halves to even.
    return std::nearbyint(x * 1e13) / 1e13;
}

// Fixed notation with `decimals` places (correctly rounded, halves to even), trailing zeros
// removed down to one decimal, "." replaced by the user's separator.
std::string FormatFixed(double value, int decimals) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc()) return "NAN";
    std::string text(buffer, result.ptr);
    const std::size_t point = text.find('.');
    if (point == std::string::npos) {
        text += ".0";
    } else {
        std::size_t end = text.size();
        while (end > point + 2 && text[end - 1] == '0')
            --end;
        text.resize(end);
    }
    // A negative value that rounds to zero is shown as zero.
    if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    const std::size_t dot = text.find('.');
    text[dot] = DecimalSeparator();
    return text;
}

// The number FormatFixed shows for value: the same correctly rounded decimal digits.
double RoundedAsShown(double value, int decimals) {
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    double rounded = value;
    if (result.ec == std::errc()) std::from_chars(buffer, result.ptr, rounded);
    return rounded;
}

} // namespace

char DecimalSeparator() {
    char c = gDecimalSeparator.load();
    if (c == 0) {
        c = SystemDecimalSeparator();
        gDecimalSeparator.store(c);
    }
    return c;
}

void SetDecimalSeparator(char c) {
    gDecimalSeparator.store(c);
}

bool ParseLocaleFloat(const std::string& text, double& out) {
    const char separator = DecimalSeparator();
    std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return false;
    std::size_t end = text.find_last_not_of(" \t") + 1;
    // Hostile texts can be long; no number we store needs more than this.
    if (end - begin > 400) return false;

    std::string plain;
    plain.reserve(end - begin);
    bool digits = false, fraction = false, exponent = false, exponentDigits = false;
    for (std::size_t i = begin; i < end; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            (exponent ? exponentDigits : digits) = true;
            plain += c;
        } else if ((c == '+' || c == '-') &&
                   (i == begin || (exponent && (text[i - 1] == 'e' || text[i - 1] == 'E')))) {
            if (c == '-') plain += c;
        } else if (c == separator && !fraction && !exponent) {
            fraction = true;
            plain += '.';
        } else if ((c == 'e' || c == 'E') && digits && !exponent) {
            exponent = true;
            plain += 'e';
        } else {
            return false;
        }
    }
    if (!digits || (exponent && !exponentDigits)) return false;
    double value = 0;
    const auto result = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (result.ec != std::errc() || result.ptr != plain.data() + plain.size()) return false;
    if (!std::isfinite(value)) return false;
    out = value;
    return true;
}

double Wrap360(double a) {
    if (!std::isfinite(a)) return 0;
    double result;
    if (std::fabs(a) < 9e15) {
        const std::int64_t q = static_cast<std::int64_t>(std::trunc(a)) / 360;
        if (a >= 0) {
            result = a - 360.0 * static_cast<double>(q);
        } else {
            const double b = 360.0 * static_cast<double>(q) - a;
            result = b > 0 ? 360 - b : b;
        }
    } else {
        // Beyond exact integers every double is a whole number; fmod is exact there.
        result = std::fmod(a, 360.0);
        if (result < 0) result += 360;
    }
    result = RoundTo13(result);
    // A tiny negative angle rounds up to a whole turn, which is 0.
    if (result >= 360) result = 0;
    return result;
}

double NormLon(double a) {
    const double w = Wrap360(a);
    return RoundTo13(w > 180 ? w - 360 : w);
}

std::string FormatDeg2(double value) {
    return FormatFixed(value, 2);
}

std::string FormatLonDeg2(double value) {
    if (!std::isfinite(value)) return FormatDeg2(value);
    // Rounding can carry a longitude just east of the date line onto -180.
    return FormatDeg2(NormLon(RoundedAsShown(value, 2)));
}

std::string FormatFix7(double value) {
    return FormatFixed(value, 7);
}

std::string FormatDegMin(double value, bool latitude) {
    const char* hemisphere = latitude ? (value < 0 ? "S" : "N") : (value < 0 ? "W" : "E");
    double magnitude = std::fabs(value);
    if (!std::isfinite(magnitude)) magnitude = 0;
    double degrees = std::trunc(magnitude);
    double minutes = (magnitude - degrees) * 60;
    // Minutes that round up to a full 60 carry into the degrees.
    if (std::nearbyint(minutes * 1000) >= 60000) {
        degrees += 1;
        minutes = 0;
    }
    // The date line is 180 east, like every longitude NormLon gives.
    if (!latitude && degrees == 180 && std::nearbyint(minutes * 1000) == 0) hemisphere = "E";
    char degreeText[400];
    const auto result = std::to_chars(degreeText, degreeText + sizeof degreeText - 1, degrees,
                                      std::chars_format::fixed, 0);
    *result.ptr = '\0';
    std::string text(degreeText);
    text += '\xB0';
    text += ' ';
    text += FormatFixed(minutes, 3);
    text += "' ";
    text += hemisphere;
    return text;
}

} // namespace nimbora
