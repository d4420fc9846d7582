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

// How much of the lights a full cloud hides.
inline constexpr double FullCloudShade = 0.85;

// How much of the ground a cloud picture's pixels cover, 0..255: the brightest of their colour
// channels (channels 1 grey, 3 RGB or 4 RGBA, bottom row first). An empty picture when the
// sizes do not match the pixels.
TGreyPicture CloudCover(int width, int height, int channels, std::span<const std::uint8_t> pixels);

// Writes the lights as the night shows them under the clouds into the alpha channel of an RGBA
// picture of the globe (width x height, 4 bytes a pixel, bottom row first, laid out as the
// lights and clouds are): lights x (1 - FullCloudShade x cover), each read at the pixel's centre
// with linear filtering, wrapping from east to west and held at the poles, so the pictures may
// differ in size. cover null or empty: a clear sky. The colour channels stay as they are.
void BakeLitLights(std::span<std::uint8_t> rgba, int width, int height, const TGreyPicture& lights,
                   const TGreyPicture* cover);

// The fragment program (context current). The earth is drawn under it with its usual material
// and lighting, its texture on unit 0 carrying the lit lights in its alpha channel
// (BakeLitLights); unit 1's coordinate generation gives the twilight.
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

    // What one earth layer needs. Textured false: the earth's colour is the material's alone,
    // the texture (bound all the same) gives only the lights.
    struct TUse {
        bool Textured = true;
        double SunLat = 0, SunLon = 0, Radius = 1;
    };
    // Sets the program up for the earth, whose texture is bound on unit 0; the destructor puts
    // the fixed function back. Draw the sphere in its own coordinates in between.
    class TScope {
    public:
        TScope(const TCityLightsProgram& program, const TUse& use);
        ~TScope();
        TScope(const TScope&) = delete;
        TScope& operator=(const TScope&) = delete;
    };

private:
    GLuint Program = 0;
    GLint TexturedAt = -1;
};

} // namespace nimbora
