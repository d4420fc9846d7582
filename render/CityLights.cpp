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
// sodium colour, dimmed under the clouds when CLOUDS is defined. gl_TexCoord[1].s is the
// twilight's progress, from the plane of texture unit 1. Every texture sample costs about a
// third of the earth's fill where the program runs on the processor, so a frame without
// clouds takes the program without their sample.
constexpr char FragmentVersion[] = "#version 110\n";
constexpr char CloudsDefine[] = "#define CLOUDS 1\n";
constexpr char FragmentSource[] = R"(
uniform sampler2D Earth;
uniform sampler2D Lights;
uniform float Textured;
#ifdef CLOUDS
uniform sampler2D Clouds;
uniform float CloudShade;
#endif
void main() {
    vec2 at = gl_TexCoord[0].st;
    vec4 day = gl_Color;
    if (Textured > 0.5) day *= texture2D(Earth, at);
    float t = clamp(gl_TexCoord[1].s, 0.0, 1.0);
    float light = texture2D(Lights, at).r * t * t * (3.0 - 2.0 * t);
#ifdef CLOUDS
    vec3 cloud = texture2D(Clouds, at).rgb;
    float cover = max(cloud.r, max(cloud.g, cloud.b));
    light *= 1.0 - CloudShade * cover;
#endif
    gl_FragColor = vec4(day.rgb + light * vec3(1.0, 0.76, 0.42), day.a);
}
)";

// How much of the lights a full cloud hides.
constexpr float FullCloudShade = 0.85f;

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

// The program with or without the clouds' sample; 0 when it does not compile or link.
GLuint BuildProgram(bool clouds) {
    const GLuint shader = glCreateShader(GL_FRAGMENT_SHADER);
    if (shader == 0) return 0;
    const char* sources[] = {FragmentVersion, clouds ? CloudsDefine : "", FragmentSource};
    glShaderSource(shader, 3, sources, nullptr);
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
    glUniform1i(glGetUniformLocation(program, "Lights"), 1);
    if (clouds) {
        glUniform1i(glGetUniformLocation(program, "Clouds"), 2);
        glUniform1f(glGetUniformLocation(program, "CloudShade"), FullCloudShade);
    }
    glUseProgram(0);
    return program;
}

} // namespace

bool TCityLightsProgram::Build() {
    Release();
    if (!HasShadingLanguage()) return false;
    Program = BuildProgram(true);
    ClearProgram = BuildProgram(false);
    if (Program == 0 || ClearProgram == 0) {
        Release();
        return false;
    }
    TexturedAt = glGetUniformLocation(Program, "Textured");
    ClearTexturedAt = glGetUniformLocation(ClearProgram, "Textured");
    return true;
}

void TCityLightsProgram::Release() {
    for (GLuint* program : {&Program, &ClearProgram}) {
        if (*program != 0) glDeleteProgram(*program);
        *program = 0;
    }
}

TCityLightsProgram::TScope::TScope(const TCityLightsProgram& program, const TUse& use) {
    const bool clouds = use.CloudTex != 0;
    glUseProgram(clouds ? program.Program : program.ClearProgram);
    glUniform1f(clouds ? program.TexturedAt : program.ClearTexturedAt, use.Textured ? 1.0f : 0.0f);
    glActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, use.CloudTex);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, use.LightsTex);
    const std::array<double, 4> plane = CityLightsPlane(use.SunLat, use.SunLon, use.Radius);
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    glTexGendv(GL_S, GL_OBJECT_PLANE, plane.data());
    glEnable(GL_TEXTURE_GEN_S);
    glActiveTexture(GL_TEXTURE0);
}

TCityLightsProgram::TScope::~TScope() {
    glActiveTexture(GL_TEXTURE1);
    glDisable(GL_TEXTURE_GEN_S);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
    glUseProgram(0);
}

} // namespace nimbora
