#pragma once
// Where the sun and the moon stand in the zenith: the sub-solar and sub-lunar points, from the
// low-precision methods of J. Meeus and a linear sidereal time.
//
// Times are UT day counts: whole days since 1899-12-30, time of day as the fraction (the day
// count of TDateTimeZ). JD = t + 2415018.5. No difference between UT and dynamical time is made.
#include <functional>
#include <string>

namespace nimbora {

inline constexpr double JulianDayOfDayZero = 2415018.5; // JD of 1899-12-30 00:00

// x into [0, 360), rounded to 13 decimals.
double SunWrap360(double x);
// x into (-180, 180], rounded to 13 decimals.
double SunWrap180(double x);
// Greenwich mean sidereal time at t as a fraction of a day.
double SiderealFraction(double t);
// Longitude (east positive, (-180, 180]) above which a body of right ascension alpha (hours)
// stands at t.
double SubPointLon(double alpha, double t);

// Mean longitude of the sun, degrees in [0, 360); T in Julian centuries from J2000.
double SunMeanLongitude(double T);
// Mean obliquity of the ecliptic with nutation, degrees; T in Julian centuries from J2000.
double Obliquity(double T);

// Equatorial position of a body.
struct TSkyPosition {
    double RightAscension = 0; // hours, [0, 24)
    double Declination = 0;    // degrees
};

TSkyPosition SunPosition(double t);

// The moon's ecliptic coordinates as the series leaves them (Lambda not reduced, so it may lie
// a little below 0 or at 360 and beyond) and the obliquity used with them; all degrees.
struct TMoonEcliptic {
    double Lambda = 0;
    double Beta = 0;
    double Epsilon = 0;
};

TMoonEcliptic MoonEcliptic(double t);
TSkyPosition MoonPosition(double t);

// Sub-solar and sub-lunar points, degrees; longitudes in (-180, 180].
struct TSunMoon {
    double SunLat = 0;
    double SunLon = 0;
    double MoonLat = 0;
    double MoonLon = 0;
};

TSunMoon SunMoonAt(double t);

// Source of the current UTC time as a day count; the window keeps one so tests can fix the time.
using TUtcClock = std::function<double()>;
// The system clock in UTC (independent of the time zone and daylight saving).
double SystemUtcNow();
// Sun and moon now by the given clock; a missing clock means the system clock.
TSunMoon UpdateSunMoon(const TUtcClock& clock);

// "Sun: Lat=<deg° min' N/S>  Lon=<deg° min' E/W>", Windows-1252.
std::string SunStatusText(double sunLat, double sunLon);
// Rewrites the status line with the sun's position, except while a download shows its progress
// there.
void UpdateSunText(std::string& statusText, bool downWorking, const TSunMoon& position);

// How long the result of an update stays on the first status line before the sun text, which
// is refreshed about once a second, may take the line back.
inline constexpr double ResultHoldSeconds = 15;

// Keeps an update's result (an error above all) readable in day-and-night mode. Times are the
// clock's day counts.
class TResultHold {
public:
    // A result has just been put on the line.
    void Start(double now) {
        Since = now;
        Active = true;
    }
    // True while the result is to stay. A clock set back ends the hold rather than prolong it.
    bool Holds(double now) const {
        const double elapsed = (now - Since) * 86400;
        return Active && elapsed >= 0 && elapsed < ResultHoldSeconds;
    }

private:
    double Since = 0;
    bool Active = false;
};

} // namespace nimbora
