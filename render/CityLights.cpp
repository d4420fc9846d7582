// Shader objects are OpenGL 2.0; the library exports them, the header declares them only so.
#define GL_GLEXT_PROTOTYPES 1
#include "render/CityLights.h"

#include "render/JpegDecode.h"

#include <GL/glext.h>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace nimbora {

namespace {

constexpr double DegToRad = M_PI / 180;

// The red of the moonlit ground stays below the first, the brightest lights reach the second.
constexpr int GroundRed = 24;
constexpr int FullRed = 100;

// The embedded night pictures are a few hundred kilobytes; anything far larger is not one.
constexpr qint64 MaxNightFileBytes = qint64{64} * 1024 * 1024;

// The earth as the fixed function would draw it (GL_MODULATE), plus the lights in a warm
// sodium colour. gl_TexCoord[1].s is the twilight's progress, from the plane of texture unit 1.
// The lights, already dimmed by the clouds, come with the earth's own sample in its alpha: every
// texture sample costs about a third of the earth's fill where the program runs on the
// processor, and one is all the earth without lights takes.
constexpr char FragmentSource[] = R"(#version 110
uniform sampler2D Earth;
uniform float Textured;
void main() {
    vec4 earth = texture2D(Earth, gl_TexCoord[0].st);
    vec4 day = gl_Color;
    if (Textured > 0.5) day.rgb *= earth.rgb;
    float t = clamp(gl_TexCoord[1].s, 0.0, 1.0);
    float light = earth.a * t * t * (3.0 - 2.0 * t);
    gl_FragColor = vec4(day.rgb + light * vec3(1.0, 0.76, 0.42), day.a);
}
)";

bool HasShadingLanguage() {
    const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    return version && std::atoi(version) >= 2;
}

} // namespace

double CityLightsFade(double sunElevation) {
    if (!(sunElevation < 0)) return 0; // also NaN
    const double t = std::clamp(
        std::sin(sunElevation * DegToRad) / std::sin(-TwilightDepth * DegToRad), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

std::array<double, 3> SunInEarthSphere(double sunLat, double sunLon) {
    // The sun's direction in globe coordinates (y north, z toward longitude 0), then in the
    // sphere's own, which the globe turns by -90 degrees about x: (x, y, z) -> (x, -z, y).
    const double lat = sunLat * DegToRad, lon = sunLon * DegToRad;
    const double gx = std::cos(lat) * std::sin(lon), gy = std::sin(lat),
                 gz = std::cos(lat) * std::cos(lon);
    return {gx, -gz, gy};
}

std::array<double, 4> CityLightsPlane(double sunLat, double sunLon, double radius) {
    const std::array<double, 3> sun = SunInEarthSphere(sunLat, sunLon);
    const double scale = 1 / (radius * std::sin(-TwilightDepth * DegToRad));
    return {sun[0] * scale, sun[1] * scale, sun[2] * scale, 0};
}

std::uint8_t CityLightLevel(std::uint8_t red) {
    const int level = (int(red) - GroundRed) * 255 / (FullRed - GroundRed);
    return static_cast<std::uint8_t>(std::clamp(level, 0, 255));
}

std::optional<TGreyPicture> DecodeCityLights(std::span<const std::uint8_t> jpeg) {
    TGreyPicture picture;
    const auto begin = [&](int width, int height) {
        picture.Width = width;
        picture.Height = height;
        picture.Pixels.resize(static_cast<std::size_t>(width) * height);
        return true;
    };
    const auto band = [&](int first, int count, const std::uint8_t* rgba) {
        // The band's rows come bottom first, as the whole picture's do.
        const std::size_t pixels = static_cast<std::size_t>(picture.Width) * count;
        std::uint8_t* out = picture.Pixels.data() + static_cast<std::size_t>(picture.Width) *
                                                        (picture.Height - first - count);
        for (std::size_t i = 0; i < pixels; ++i)
            out[i] = CityLightLevel(rgba[4 * i]);
        return true;
    };
    if (!DecodeJpegBands(jpeg, begin, band)) return std::nullopt;
    return picture;
}

std::optional<TGreyPicture> DecodeCityLightsFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxNightFileBytes) return std::nullopt;
    const QByteArray bytes = file.readAll();
    return DecodeCityLights({reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                             static_cast<std::size_t>(bytes.size())});
}

namespace {

// Where the centres of n pixels fall among the m pixels of a picture along one axis: the two
// pixels around each and the second one's share in 256ths.
struct TAxisTaps {
    std::vector<int> First, Second, Share;
};

TAxisTaps AxisTaps(int n, int m, bool wrap) {
    TAxisTaps taps;
    taps.First.resize(n);
    taps.Second.resize(n);
    taps.Share.resize(n);
    for (int k = 0; k < n; ++k) {
        const double at = (k + 0.5) * m / n - 0.5;
        const double whole = std::floor(at);
        int first = static_cast<int>(whole);
        int share = static_cast<int>(std::lround((at - whole) * 256));
        if (share == 256) {
            ++first;
            share = 0;
        }
        int second = first + 1;
        if (wrap) {
            first = (first % m + m) % m;
            second = (second % m + m) % m;
        } else {
            first = std::clamp(first, 0, m - 1);
            second = std::clamp(second, 0, m - 1);
        }
        taps.First[k] = first;
        taps.Second[k] = second;
        taps.Share[k] = share;
    }
    return taps;
}

bool Holds(const TGreyPicture& picture) {
    return picture.Width > 0 && picture.Height > 0 &&
           picture.Pixels.size() == static_cast<std::size_t>(picture.Width) * picture.Height;
}

// A grey picture read at the centres of a width x height grid, linearly filtered, east and west
// joined, the poles held: 0..255 x 65536.
class TGreySampler {
public:
    TGreySampler(const TGreyPicture& picture, int width, int height)
        : Picture(picture), Columns(AxisTaps(width, picture.Width, true)),
          Rows(AxisTaps(height, picture.Height, false)) {}
    void SetRow(int y) {
        Low = Picture.Pixels.data() + static_cast<std::size_t>(Rows.First[y]) * Picture.Width;
        High = Picture.Pixels.data() + static_cast<std::size_t>(Rows.Second[y]) * Picture.Width;
        RowShare = Rows.Share[y];
    }
    int At(int x) const {
        const int a = Columns.First[x], b = Columns.Second[x], s = Columns.Share[x];
        const int low = Low[a] * (256 - s) + Low[b] * s;
        const int high = High[a] * (256 - s) + High[b] * s;
        return low * (256 - RowShare) + high * RowShare;
    }

private:
    const TGreyPicture& Picture;
    TAxisTaps Columns, Rows;
    const std::uint8_t* Low = nullptr;
    const std::uint8_t* High = nullptr;
    int RowShare = 0;
};

} // namespace

TGreyPicture CloudCover(int width, int height, int channels, std::span<const std::uint8_t> pixels) {
    TGreyPicture cover;
    if (width <= 0 || height <= 0 || (channels != 1 && channels != 3 && channels != 4) ||
        pixels.size() != static_cast<std::size_t>(width) * height * channels)
        return cover;
    cover.Width = width;
    cover.Height = height;
    cover.Pixels.resize(static_cast<std::size_t>(width) * height);
    const std::uint8_t* p = pixels.data();
    for (std::uint8_t& out : cover.Pixels) {
        out = channels == 1 ? p[0] : std::max({p[0], p[1], p[2]});
        p += channels;
    }
    return cover;
}

void BakeLitLights(std::span<std::uint8_t> rgba, int width, int height, const TGreyPicture& lights,
                   const TGreyPicture* cover) {
    if (width <= 0 || height <= 0 || rgba.size() < static_cast<std::size_t>(width) * height * 4)
        return;
    if (!Holds(lights)) {
        for (std::size_t i = 3; i < rgba.size(); i += 4)
            rgba[i] = 0;
        return;
    }
    TGreySampler light(lights, width, height);
    std::optional<TGreySampler> cloud;
    if (cover && Holds(*cover)) cloud.emplace(*cover, width, height);
    constexpr float Unit = 1.0f / 65536;
    constexpr float Shade = static_cast<float>(FullCloudShade) / (255.0f * 65536);
    std::uint8_t* out = rgba.data() + 3;
    for (int y = 0; y < height; ++y) {
        light.SetRow(y);
        if (cloud) cloud->SetRow(y);
        for (int x = 0; x < width; ++x, out += 4) {
            float level = static_cast<float>(light.At(x)) * Unit;
            if (cloud) level *= 1 - static_cast<float>(cloud->At(x)) * Shade;
            *out = static_cast<std::uint8_t>(std::min(level + 0.5f, 255.0f));
        }
    }
}

namespace {

// The program; 0 when it does not compile or link.
GLuint BuildProgram() {
    const GLuint shader = glCreateShader(GL_FRAGMENT_SHADER);
    if (shader == 0) return 0;
    const char* source = FragmentSource;
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    GLuint program = 0;
    if (ok == GL_TRUE) {
        program = glCreateProgram();
        if (program != 0) {
            glAttachShader(program, shader);
            glLinkProgram(program);
            glGetProgramiv(program, GL_LINK_STATUS, &ok);
        }
    }
    // The program keeps what it needs; the shader object goes once it is detached.
    glDeleteShader(shader);
    if (program != 0 && ok != GL_TRUE) {
        glDeleteProgram(program);
        program = 0;
    }
    if (program == 0) return 0;
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "Earth"), 0);
    glUseProgram(0);
    return program;
}

} // namespace

bool TCityLightsProgram::Build() {
    Release();
    if (!HasShadingLanguage()) return false;
    Program = BuildProgram();
    if (Program == 0) return false;
    TexturedAt = glGetUniformLocation(Program, "Textured");
    return true;
}

void TCityLightsProgram::Release() {
    if (Program != 0) glDeleteProgram(Program);
    Program = 0;
}

TCityLightsProgram::TScope::TScope(const TCityLightsProgram& program, const TUse& use) {
    glUseProgram(program.Program);
    glUniform1f(program.TexturedAt, use.Textured ? 1.0f : 0.0f);
    glActiveTexture(GL_TEXTURE1);
    const std::array<double, 4> plane = CityLightsPlane(use.SunLat, use.SunLon, use.Radius);
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    glTexGendv(GL_S, GL_OBJECT_PLANE, plane.data());
    glEnable(GL_TEXTURE_GEN_S);
    glActiveTexture(GL_TEXTURE0);
}

TCityLightsProgram::TScope::~TScope() {
    glActiveTexture(GL_TEXTURE1);
    glDisable(GL_TEXTURE_GEN_S);
    glActiveTexture(GL_TEXTURE0);
    glUseProgram(0);
}

} // namespace nimbora
