#include "render/sunmoondata.h"

#include "core/Iso8601.h"
#include "core/support.h"

#include <chrono>
#include <cmath>
#include <numbers>

namespace nimbora {

namespace {

constexpr double Pi = std::numbers::pi;
constexpr double Rad = Pi / 180;

double SinD(double deg) {
    return std::sin(deg * Rad);
}
double CosD(double deg) {
    return std::cos(deg * Rad);
}

double Round13(double x) {
    return std::round(x * 1e13) / 1e13;
}

double JulianDay(double t) {
    return t + JulianDayOfDayZero;
}

// One periodic term of the lunar series: coefficient, multiples of D, M, M', F and the power
// of the eccentricity factor e.
struct TLunarTerm {
    double Coefficient;
    int D, M, Mp, F;
    int EPower;
};

constexpr TLunarTerm LongitudeTerms[50] = {
    {6.28875, 0, 0, 1, 0, 0},    {1.274018, 2, 0, -1, 0, 0},  {0.658309, 2, 0, 0, 0, 0},
    {0.213616, 0, 0, 2, 0, 0},   {-0.185596, 0, 1, 0, 0, 1},  {-0.114336, 0, 0, 0, 2, 0},
    {0.058793, 2, 0, -2, 0, 0},  {0.057212, 2, -1, -1, 0, 1}, {0.05332, 2, 0, 1, 0, 0},
    {0.045874, 2, -1, 0, 0, 1},  {0.041024, 0, -1, 1, 0, 1},  {-0.034718, 1, 0, 0, 0, 0},
    {-0.030465, 0, 1, 1, 0, 1},  {0.015326, 2, 0, 0, -2, 0},  {-0.012528, 0, 0, 1, 2, 0},
    {-0.01098, 0, 0, -1, 2, 0},  {0.010674, 4, 0, -1, 0, 0},  {0.010034, 0, 0, 3, 0, 0},
    {0.008548, 4, 0, -2, 0, 0},  {-0.00791, 2, 1, -1, 0, 1},  {-0.006783, 2, 1, 0, 0, 1},
    {0.005162, -1, 0, 1, 0, 0},  {0.005, 1, 1, 0, 0, 1},      {0.004049, 2, -1, 1, 0, 1},
    {0.003996, 2, 0, 2, 0, 0},   {0.003862, 4, 0, 0, 0, 0},   {0.003665, 2, 0, -3, 0, 0},
    {0.002695, 0, -1, 2, 0, 1},  {0.002602, -2, 0, 1, -2, 0}, {0.002396, 2, -1, -2, 0, 1},
    {-0.002349, 1, 0, 1, 0, 0},  {0.002249, 2, -2, 0, 0, 2},  {-0.002125, 0, 1, 2, 0, 1},
    {-0.002079, 0, 2, 0, 0, 2},  {0.002059, 2, -2, -1, 0, 2}, {-0.001773, 2, 0, 1, -2, 0},
    {0.00122, 4, -1, -1, 0, 1},  {-0.00111, 0, 0, 2, 2, 0},   {0.000892, -3, 0, 1, 0, 0},
    {-0.000811, 2, 1, 1, 0, 1},  {0.000761, 4, -1, -2, 0, 1}, {0.000717, 0, -2, 1, 0, 2},
    {0.000704, -2, -2, 1, 0, 2}, {0.000693, 2, 1, -2, 0, 1},  {0.000598, 2, -1, 0, -2, 1},
    {0.00055, 4, 0, 1, 0, 0},    {0.000538, 0, 0, 4, 0, 0},   {0.000521, 4, -1, 0, 0, 1},
    {0.000486, -1, 0, 2, 0, 0},  {-0.001595, 2, 0, 0, 2, 0},
};

constexpr TLunarTerm LatitudeTerms[45] = {
    {5.128189, 0, 0, 0, 1, 0},   {0.280606, 0, 0, 1, 1, 0},    {0.277693, 0, 0, 1, -1, 0},
    {0.173238, 2, 0, 0, -1, 0},  {0.055413, 2, 0, -1, 1, 0},   {0.046272, 2, 0, -1, -1, 0},
    {0.032573, 2, 0, 0, 1, 0},   {0.017198, 0, 0, 2, 1, 0},    {0.009267, 2, 0, 1, -1, 0},
    {0.008823, 0, 0, 2, -1, 0},  {0.008247, 2, -1, 0, -1, 1},  {0.004323, 2, 0, -2, -1, 0},
    {0.0042, 2, 0, 1, 1, 0},     {0.003372, -2, -1, 0, 1, 1},  {0.002472, 2, -1, -1, 1, 1},
    {0.002222, 2, -1, 0, 1, 1},  {0.002072, 2, -1, -1, -1, 0}, {0.001877, 0, -1, 1, 1, 1},
    {0.001828, 4, 0, -1, -1, 0}, {-0.001803, 0, 1, 0, 1, 1},   {-0.00175, 0, 0, 0, 3, 0},
    {0.00157, 0, -1, 1, -1, 1},  {-0.001487, 1, 0, 0, 1, 0},   {-0.001481, 0, 1, 1, 1, 1},
    {0.001417, 0, -1, -1, 1, 1}, {0.00135, 0, -1, 0, 1, 1},    {0.00133, -1, 0, 0, 1, 0},
    {0.001106, 0, 0, 3, 1, 0},   {0.00102, 4, 0, 0, -1, 0},    {0.000833, 4, 0, -1, 1, 0},
    {0.000781, 0, 0, 1, -3, 0},  {0.00067, 4, 0, -2, 1, 0},    {0.000606, 2, 0, 0, -3, 0},
    {0.000597, 2, 0, 2, -1, 0},  {0.000492, 2, -1, 1, -1, 1},  {0.00045, -2, 0, 2, -1, 0},
    {0.000439, 0, 0, 3, -1, 0},  {0.000423, 2, 0, 2, 1, 0},    {0.000422, 2, 0, -3, -1, 0},
    {-0.000367, 2, 1, -1, 1, 1}, {-0.000353, 2, 1, 0, 1, 1},   {0.000331, 4, 0, 0, 1, 0},
    {0.000317, 2, -1, 1, 1, 1},  {0.000306, 2, -2, 0, -1, 2},  {-0.000283, 0, 0, 1, 3, 0},
};

template <std::size_t N>
double SumTerms(const TLunarTerm (&terms)[N], double D, double M, double Mp, double F, double e) {
    double sum = 0;
    for (const TLunarTerm& term : terms) {
        const double factor = term.EPower == 2 ? e * e : term.EPower == 1 ? e : 1;
        sum +=
            term.Coefficient * factor * SinD(term.D * D + term.M * M + term.Mp * Mp + term.F * F);
    }
    return sum;
}

} // namespace

double SunWrap360(double x) {
    if (!std::isfinite(x)) return x;
    // fmod equals x - 360 * (trunc(x) div 360) for every x and needs no integer range.
    double a;
    if (x > 1e-18)
        a = std::fmod(x, 360.0);
    else if (x < -1e-18)
        a = std::fmod(x, 360.0) + 360;
    else
        a = 0;
    a = Round13(a);
    // Whole negative turns would otherwise give 360, outside the range.
    return a >= 360 ? a - 360 : a;
}

double SunWrap180(double x) {
    const double a = SunWrap360(x);
    return Round13(a > 180 ? a - 360 : a);
}

double SiderealFraction(double t) {
    const double day = std::floor(t);
    const double jd0 = JulianDay(day);
    const double h = (t - day) * 24;
    double s = (jd0 - 2445700.5) * 0.0657098242 + 6.656306;
    s += 1.0027379093 * h;
    // Into (0, 24] from above and [0, 24) from below, as repeated steps of 24 would, without
    // looping over far dates.
    if (s > 24) {
        s = std::fmod(s, 24.0);
        if (s == 0) s = 24;
    }
    if (s < -1e-15) {
        s = std::fmod(s, 24.0);
        if (s < -1e-15) s += 24;
    }
    return s / 24;
}

double SubPointLon(double alpha, double t) {
    return SunWrap180(15 * (alpha - 24 * SiderealFraction(t)));
}

double SunMeanLongitude(double T) {
    return SunWrap360(280.46645 + 36000.76983 * T + 0.0003032 * T * T);
}

double Obliquity(double T) {
    const double l0 = SunMeanLongitude(T);
    const double omega = 125.04452 - 1934.136261 * T + 0.0020708 * T * T + T * T * T / 450000;
    const double lMoon = 218.3165 + 481267.8813 * T;
    return 23.43929111111111 - (46.815 * T + 0.00059 * T * T - 0.001813 * T * T * T) / 3600 +
           (9.2 * CosD(omega) + 0.57 * CosD(2 * l0) + 0.1 * CosD(2 * lMoon) -
            0.09 * CosD(2 * omega)) /
               3600;
}

TSkyPosition SunPosition(double t) {
    const double T = (JulianDay(t) - 2451545) / 36525;
    const double l0 = SunMeanLongitude(T);
    const double m =
        SunWrap360(357.5291 + 35999.0503 * T - 0.0001559 * T * T - 0.00000048 * T * T * T);
    const double c = (1.9146 - 0.004817 * T - 0.000014 * T * T) * SinD(m) +
                     (0.019993 - 0.000101 * T) * SinD(2 * m) + 0.00029 * SinD(3 * m);
    const double omega = 125.04 - 1934.136 * T;
    const double lambda = l0 + c - 0.00569 - 0.00478 * SinD(omega);
    const double epsilon = Obliquity(T) + 0.00256 * CosD(omega);

    double alpha = std::atan2(CosD(epsilon) * SinD(lambda), CosD(lambda)) / Rad;
    if (alpha < 0) alpha += 360;
    TSkyPosition p;
    p.RightAscension = alpha / 15;
    p.Declination = std::asin(SinD(epsilon) * SinD(lambda)) / Rad;
    return p;
}

TMoonEcliptic MoonEcliptic(double t) {
    const double jd = JulianDay(t);
    const double T = (jd - 2415020) / 36525;
    const double T2 = T * T;
    const double T3 = T2 * T;

    double lp = 270.434164 + 481267.8831 * T - 0.001133 * T2 + 0.0000019 * T3;
    double m = 358.475833 + 35999.0498 * T - 0.00015 * T2 - 0.0000033 * T3;
    double mp = 296.104608 + 477198.8491 * T + 0.009192 * T2 + 0.0000144 * T3;
    double d = 350.737486 + 445267.1142 * T - 0.001436 * T2 + 0.0000019 * T3;
    double f = 11.250889 + 483202.0251 * T - 0.003211 * T2 - 0.0000003 * T3;
    double omega = 259.183275 - 1934.142 * T + 0.002078 * T2 + 0.0000022 * T3;

    const double a = SinD(51.2 + 20.2 * T);
    const double b = 0.003964 * SinD(346.56 + 132.87 * T - 0.0091731 * T2);
    const double sinOmega = SinD(omega);
    const double omegaTerm = omega + 275.05 - 2.3 * T;
    lp += 0.000233 * a + b + 0.001964 * sinOmega;
    m -= 0.001778 * a;
    mp += 0.000817 * a + b + 0.002541 * sinOmega;
    d += 0.002011 * a + b + 0.001964 * sinOmega;
    f += b - 0.024691 * sinOmega - 0.004328 * SinD(omegaTerm);
    const double e = 1 - 0.002495 * T - 0.00000752 * T2;

    lp = SunWrap360(lp);
    m = SunWrap360(m);
    mp = SunWrap360(mp);
    d = SunWrap360(d);
    f = SunWrap360(f);
    omega = SunWrap360(omega);

    TMoonEcliptic ecl;
    ecl.Lambda = lp + SumTerms(LongitudeTerms, d, m, mp, f, e);
    ecl.Beta = SumTerms(LatitudeTerms, d, m, mp, f, e) *
               (1 - 0.0004664 * CosD(omega) - 0.0000754 * CosD(omegaTerm));
    const double years = (jd - 2415020.5) / 365.2422;
    ecl.Epsilon = 23.452294 - (0.46845 * years + 0.00000059 * years * years) / 3600;
    return ecl;
}

TSkyPosition MoonPosition(double t) {
    const TMoonEcliptic ecl = MoonEcliptic(t);
    const double lambda = ecl.Lambda * Rad;
    const double beta = ecl.Beta * Rad;
    const double epsilon = ecl.Epsilon * Rad;
    TSkyPosition p;
    p.Declination = std::asin(std::sin(beta) * std::cos(epsilon) +
                              std::cos(beta) * std::sin(epsilon) * std::sin(lambda)) /
                    Rad;
    // atan2 over the whole circle: an arccos with a mirror rule picks the wrong half when the
    // series leaves lambda at 360 or beyond, and near 0 and 180 degrees where it ignores beta.
    double alpha =
        std::atan2(std::sin(lambda) * std::cos(epsilon) - std::tan(beta) * std::sin(epsilon),
                   std::cos(lambda));
    if (alpha < 0) alpha += 2 * Pi;
    p.RightAscension = alpha * 12 / Pi;
    if (p.RightAscension >= 24) p.RightAscension -= 24;
    return p;
}

TSunMoon SunMoonAt(double t) {
    const TSkyPosition sun = SunPosition(t);
    const TSkyPosition moon = MoonPosition(t);
    TSunMoon r;
    r.SunLat = sun.Declination;
    r.SunLon = SubPointLon(sun.RightAscension, t);
    r.MoonLat = moon.Declination;
    r.MoonLon = SubPointLon(moon.RightAscension, t);
    return r;
}

double SystemUtcNow() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    return double(ms) / 86400000.0 + UnixEpochDay;
}

TSunMoon UpdateSunMoon(const TUtcClock& clock) {
    return SunMoonAt(clock ? clock() : SystemUtcNow());
}

std::string SunStatusText(double sunLat, double sunLon) {
    return "Sun: Lat=" + FormatDegMin(sunLat, true) + "  Lon=" + FormatDegMin(sunLon, false);
}

void UpdateSunText(std::string& statusText, bool downWorking, const TSunMoon& position) {
    if (downWorking) return; // the line shows the download's progress
    statusText = SunStatusText(position.SunLat, position.SunLon);
}

} // namespace nimbora
