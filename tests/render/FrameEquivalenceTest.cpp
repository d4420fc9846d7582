// Whole frames against reference frames kept in tests/render/data: a change in how the scene is
// drawn must not change what it draws. Both lighting modes, with names, waypoint labels,
// boundaries, the time-zone grid, clouds and the status lines, from a fixed view and fixed sun
// and moon positions; and the cities' lights on the night side.
//
// To draw the references again (only when the picture is meant to change):
//   NIMBORA_WRITE_REFERENCE_FRAMES=1 test_render --gtest_filter='FrameEquivalence*'
#include "render/JpegMaker.h"
#include "render/Lighting.h"
#include "render/OpenGLPanel.h"
#include "render/Scene.h"
#include "render/SceneTestSeam.h"
#include "render/countries.h"

#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

namespace nimbora {
namespace {

constexpr int Width = 320;
constexpr int Height = 240;
// A pixel counts as different when one of its channels is further off than this: rounding in
// the rasteriser's interpolation stays well inside, a glyph or line pixel moved does not.
constexpr int ChannelTolerance = 8;
// Pixels that may differ by more: a few where lines and labels meet at equal depth.
constexpr int MaxDifferingPixels = 60;
// From afar the boundaries may be drawn from a coarser copy of their lines, which strays at
// most a quarter pixel: here and there a line pixel moves to its neighbour (two pixels differ
// for each). About 240 pixels differ of the frame's some 3,700 line pixels; lines drawn wrongly
// would move most of them.
constexpr int MaxDifferingFar = 400;

// One reference frame: which lighting mode, from how far.
struct TReference {
    const char* Name;
    bool Sun;
    float Z;
    int MaxDiffering;
    bool CityLights = false;
    double SunLon = 14;  // the sub-solar point's longitude
    float Latitude = 20; // of the view's centre (Proj.Y)
};

// Soft bands of cloud, the same bytes on every run.
test::TBytes TestCloudJpeg() {
    return test::MakeJpeg(256, 128, 3, [](int x, int y, std::uint8_t* out) {
        const double v = std::sin(x * 0.11) * std::cos(y * 0.17) + std::sin((x + y) * 0.05);
        const auto g = static_cast<std::uint8_t>(std::clamp(v * 110 + 90, 0.0, 255.0));
        out[0] = out[1] = out[2] = g;
    });
}

QString ReferencePath(const char* name) {
    return QStringLiteral(NIMBORA_SOURCE_DIR "/tests/render/data/") + QString::fromLatin1(name);
}

struct TDifference {
    int Differing = 0;
    int Largest = 0;
};

TDifference Compare(const QImage& a, const QImage& b) {
    TDifference d;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int diff = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                       std::abs(qBlue(p) - qBlue(q))});
            d.Largest = std::max(d.Largest, diff);
            if (diff > ChannelTolerance) ++d.Differing;
        }
    return d;
}

// An offscreen frame of the test size, and the scene of the default lighting in it (no fade-in,
// the test clouds).
class FrameEquivalence : public testing::Test {
protected:
    void SetUp() override {
        Context.setFormat(TOpenGLPanel::SceneFormat());
        ASSERT_TRUE(Context.create());
        Surface.setFormat(Context.format());
        Surface.create();
        ASSERT_TRUE(Context.makeCurrent(&Surface));
        Fbo = std::make_unique<QOpenGLFramebufferObject>(
            Width, Height, QOpenGLFramebufferObject::CombinedDepthStencil);
        ASSERT_TRUE(Fbo->bind());
    }
    void TearDown() override {
        Scene.Release();
        if (Fbo) Fbo->release();
        Fbo.reset();
        Context.doneCurrent();
    }
    void BuildScene() {
        Scene.PrepareLightFade(Sets);
        ASSERT_TRUE(Scene.Build(Sets));
        TSceneTestSeam::ApplyLightColours(Scene, Sets);
        ASSERT_TRUE(TSceneTestSeam::SetCloudTexture(Scene, TestCloudJpeg()));
        Scene.OpenGLPanelResize(Width, Height);
    }

    QOpenGLContext Context;
    QOffscreenSurface Surface;
    std::unique_ptr<QOpenGLFramebufferObject> Fbo;
    const TLightingSets Sets = DefaultLighting();
    TScene Scene;
};

TEST_F(FrameEquivalence, BothLightingModesDrawTheReferenceFrames) {
    ASSERT_NO_FATAL_FAILURE(BuildScene());

    TDrawPointList points;
    AddNamePoints(points);
    for (int i = 0; i < 12; ++i)
        points.push_back(
            MakeDrawPoint("Waypoint " + std::to_string(i), 5 + 3 * i, -5 + 3 * i, WpTUser));

    TFrameState frame;
    frame.Proj = {-10, 20, -8.4f};
    frame.ShowTexturing = frame.ShowCountries = frame.ShowTimeZone = true;
    frame.ShowNames = frame.ShowClouds = frame.ShowCustomWay = true;
    frame.CloudsAvailable = true;
    frame.DrawPoints = &points;
    frame.StatusText = "Sun: Lat=12\xB0 30'  Lon=45\xB0 00'";
    frame.UpdateText = "Clouds updated: 2024-01-01 12:00";
    frame.CreditText = "Credit";
    frame.SunLat = 12;
    frame.SunLon = 14;
    frame.MoonLat = 28;
    frame.MoonLon = 2;

    const bool write = qEnvironmentVariableIsSet("NIMBORA_WRITE_REFERENCE_FRAMES");
    const TReference references[] = {
        {"frame_rgb.png", false, -8.4f, MaxDifferingPixels},
        {"frame_sun.png", true, -8.4f, MaxDifferingPixels},
        // The start view: the whole globe with every boundary line in sight.
        {"frame_far.png", true, -15.0f, MaxDifferingFar},
        // Night over the view but for its western edge: the twilight and the lights beyond it.
        {"frame_lights.png", true, -8.4f, MaxDifferingPixels, true, 130, 46},
    };
    for (const TReference& ref : references) {
        SCOPED_TRACE(ref.Name);
        frame.ShowDayNight = ref.Sun;
        frame.ShowCityLights = ref.CityLights;
        frame.SunLon = ref.SunLon;
        frame.Proj.Y = ref.Latitude;
        frame.Proj.Z = ref.Z;
        frame.ScaleZ = ref.Z > -10 ? -10 / ref.Z : 1;
        Scene.RenderScene(frame, Sets);
        glFinish();
        ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        const QImage image = Fbo->toImage().convertToFormat(QImage::Format_RGB32);
        if (write) {
            ASSERT_TRUE(image.save(ReferencePath(ref.Name)));
            continue;
        }
        QImage reference(ReferencePath(ref.Name));
        ASSERT_FALSE(reference.isNull()) << "no reference frame";
        reference = reference.convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(reference.size(), image.size());
        const TDifference d = Compare(image, reference);
        if (d.Differing > ref.MaxDiffering)
            image.save(QStringLiteral("/tmp/nimbora_frame_") + QString::fromLatin1(ref.Name));
        EXPECT_LE(d.Differing, ref.MaxDiffering) << "largest difference " << d.Largest;
    }
}

// With the clouds hidden the lights are baked into the earth without them; that must draw what
// the clouds' bake draws under a clear sky (black clouds add nothing themselves).
TEST_F(FrameEquivalence, LightsWithoutCloudsAreThoseUnderAClearSky) {
    ASSERT_NO_FATAL_FAILURE(BuildScene());
    TFrameState frame;
    frame.Proj = {-10, 46, -8.4f};
    frame.ScaleZ = 10.0f / 8.4f;
    frame.ShowDayNight = frame.ShowCityLights = frame.CloudsAvailable = true;
    frame.SunLat = 12;
    frame.SunLon = 130;
    const auto draw = [&](bool clouds) {
        frame.ShowClouds = clouds;
        Scene.RenderScene(frame, Sets);
        glFinish();
        return Fbo->toImage().convertToFormat(QImage::Format_RGB32);
    };
    const QImage hidden = draw(false);
    ASSERT_TRUE(TSceneTestSeam::SetCloudTexture(
        Scene, test::MakeJpeg(64, 32, 1, [](int, int, std::uint8_t* out) { out[0] = 0; })));
    const QImage clear = draw(true);
    const TDifference d = Compare(hidden, clear);
    EXPECT_LE(d.Largest, 1);
    // And the frame does show lights: it is not black.
    int lit = 0;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x)
            lit += qRed(hidden.pixel(x, y)) > 40;
    EXPECT_GT(lit, 100);
}

// Every frame must end opaque (alpha 255 everywhere): a compositor that honours the surface's
// alpha would show the desktop through any pixel left below. That includes the blank frame
// before the scene exists, an earth whose material alpha the user set below 1, and an earth
// texture whose alpha carries the city lights, with them and after them.
TEST_F(FrameEquivalence, EveryFrameEndsOpaque) {
    const auto transparentPixels = [] {
        std::vector<GLubyte> rgba(std::size_t(Width) * Height * 4);
        glReadPixels(0, 0, Width, Height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        int n = 0;
        for (std::size_t i = 3; i < rgba.size(); i += 4)
            n += rgba[i] != 255;
        return n;
    };
    glClearColor(0, 0, 0, 0);
    TScene::RenderBlank();
    EXPECT_EQ(transparentPixels(), 0) << "blank frame";

    ASSERT_NO_FATAL_FAILURE(BuildScene());
    TFrameState frame;
    frame.Proj = {-10, 20, -8.4f};
    frame.ScaleZ = 10.0f / 8.4f;
    frame.ShowTimeZone = frame.ShowClouds = frame.CloudsAvailable = true;
    struct TCase {
        const char* Name;
        bool Sun, Textured;
        float EarthAlpha;
        bool Lights = false;
    } cases[] = {{"defaults", false, true, -1},
                 {"defaults, sun", true, true, -1},
                 {"city lights", true, true, -1, true},
                 {"sun after the lights", true, true, -1},
                 {"evenly lit after the lights", false, true, -1},
                 {"textured earth 0.3", false, true, 0.3f},
                 {"plain earth 0.5", true, false, 0.5f},
                 {"plain earth 0", false, false, 0}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TLightingSets s = Sets;
        if (c.EarthAlpha >= 0)
            for (TMaterialSet* m : {&s.RgbEarth1, &s.RgbEarth2, &s.SunEarth1, &s.SunEarth2})
                m->Diffuse[3] = c.EarthAlpha;
        frame.ShowDayNight = c.Sun;
        frame.ShowTexturing = c.Textured;
        frame.ShowCityLights = c.Lights;
        Scene.RenderScene(frame, s);
        glFinish();
        EXPECT_EQ(transparentPixels(), 0);
    }
}

} // namespace
} // namespace nimbora
