#pragma once
// The cities' lights on the night side of the day-and-night globe: where they come from (the
// embedded night picture, reduced to one channel of light), how they fade in across the
// twilight, and the small fragment program that adds them to the earth. The earth keeps the
// fixed-function vertex stage and its lighting, so the day side looks exactly as without them.
#include <GL/gl.h>

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace nimbora {

// The lights are out while the sun stands above the horizon and fully on from this depth below
// it (civil twilight).
inline constexpr double TwilightDepth = 6; // degrees

// How much of the lights shows where the sun stands this many degrees above (positive) or below
// (negative) the horizon: 0 down to the horizon, 1 from TwilightDepth below it, rising smoothly
// in between. The fragment program computes the same from CityLightsPlane.
double CityLightsFade(double sunElevation);

// The sun's direction in the earth sphere's own coordinates (pole along z), for the sub-solar
// point in degrees: the sun stands above the horizon of the points within 90 degrees of it,
// where no lights show.
std::array<double, 3> SunInEarthSphere(double sunLat, double sunLon);

// A texture-coordinate plane for the earth sphere's own coordinates (pole along z, radius
// radius): for a point on the sphere it gives sin(elevation of the sun there) / sin(-6 degrees),
// the twilight's progress (0 at sunset, 1 at its end), for the sub-solar point in degrees.
std::array<double, 4> CityLightsPlane(double sunLat, double sunLon, double radius);

// How bright the lights of a pixel of the night picture are, 0..255. The picture shows the
// lights over a dim blue moonlit ground; only the lights have much red.
std::uint8_t CityLightLevel(std::uint8_t red);

// One byte a pixel, bottom row first, as OpenGL takes it.
struct TGreyPicture {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Pixels;
};

// The light levels of a night picture (JPEG), decoded band by band so that the colour picture
// is never held whole; nullopt when it is not a usable picture. Needs no context.
std::optional<TGreyPicture> DecodeCityLights(std::span<const std::uint8_t> jpeg);
std::optional<TGreyPicture> DecodeCityLightsFile(const QString& path);

// The fragment program (context current). The earth is drawn under it with its usual material,
// lighting and texture on unit 0; the lights' texture goes on unit 1, the clouds' on unit 2.
class TCityLightsProgram {
public:
    TCityLightsProgram() = default;
    TCityLightsProgram(const TCityLightsProgram&) = delete;
    TCityLightsProgram& operator=(const TCityLightsProgram&) = delete;

    // False when this OpenGL has no shading language or refuses the program: then there are no
    // lights, and the earth is drawn as always.
    bool Build();
    bool Ready() const { return Program != 0; }
    void Release();

    // What one earth layer needs. cloudTex 0: no clouds shown.
    struct TUse {
        GLuint LightsTex = 0, CloudTex = 0;
        bool Textured = true;
        double SunLat = 0, SunLon = 0, Radius = 1;
    };
    // Sets the program and its textures up for the earth; the destructor puts the fixed
    // function back. Draw the sphere in its own coordinates in between.
    class TScope {
    public:
        TScope(const TCityLightsProgram& program, const TUse& use);
        ~TScope();
        TScope(const TScope&) = delete;
        TScope& operator=(const TScope&) = delete;
    };

private:
    GLuint Program = 0;      // with the clouds' sample
    GLuint ClearProgram = 0; // without: no clouds shown
    GLint TexturedAt = -1, ClearTexturedAt = -1;
};

} // namespace nimbora
