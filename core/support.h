#pragma once
// Angle conversions and the number formats in which angles and settings values are shown and
// stored. Numbers use the user's decimal separator.
#include <string>

namespace nimbora {

// The user's decimal separator (first character of the system locale's decimal point).
char DecimalSeparator();

// Parses a decimal number written with DecimalSeparator(): optional sign, digits, optional
// fraction, optional exponent, blanks around it allowed. Any other character (including the
// other separator), an empty text, or a value that is not finite gives false and leaves out alone.
bool ParseLocaleFloat(const std::string& text, double& out);

// Angle in [0, 360), rounded to 13 decimals.
double Wrap360(double a);
// Angle in (-180, 180], rounded to 13 decimals: 190 -> -170, -180 -> 180.
double NormLon(double a);

// Rounded to 2 decimals (halves to even), one or two decimals shown: "12.12", "3.0".
std::string FormatDeg2(double value);
// A longitude as FormatDeg2 shows it, brought into (-180, 180] after the rounding: -179.999
// is "180.0", not "-180.0".
std::string FormatLonDeg2(double value);
// Rounded to 7 decimals (halves to even), one to seven decimals shown: "0.15", "100.0".
std::string FormatFix7(double value);
// "33° 30.0' S": whole degrees, minutes with one to three decimals, then N/S (latitude) or
// E/W by the sign, zero counting as N or E, and 180 degrees of longitude as E whatever the
// sign. Windows-1252 text (the degree sign is 0xB0).
std::string FormatDegMin(double value, bool latitude);

} // namespace nimbora
