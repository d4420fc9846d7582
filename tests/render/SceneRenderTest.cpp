// Real frames of the scene, drawn by Mesa into the drawing panel and read back.
#include "render/JpegDecode.h"
#include "render/JpegMaker.h"
#include "render/OpenGLPanel.h"
#include "render/Scene.h"
#include "render/SceneTestSeam.h"
#include "render/Textures.h"
#include "render/countries.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QWheelEvent>
#include <QWindow>
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <cmath>
#include <functional>
#include <memory>
#include <span>
#include <tuple>
#include <vector>

namespace nimbora {
namespace {

constexpr int Width = 640;
constexpr int Height = 480;
constexpr int CentreX = Width / 2;
constexpr int CentreY = Height / 2;

void SetRgb(float (&c)[4], float r, float g, float b, float a = 1) {
    c[0] = r;
    c[1] = g;
    c[2] = b;
    c[3] = a;
}

// Neutral lighting so that colours on the screen are the texture's colours.
TLightingSets TestLighting() {
    TLightingSets s;
    SetRgb(s.RgbEarth1.Ambient, 0.2f, 0.2f, 0.2f);
    SetRgb(s.RgbEarth1.Diffuse, 0.8f, 0.8f, 0.8f);
    SetRgb(s.RgbEarth2.Ambient, 0.1f, 0.1f, 0.3f);
    SetRgb(s.RgbEarth2.Diffuse, 0.1f, 0.2f, 0.8f);
    SetRgb(s.RgbCloud.Ambient, 0.5f, 0.5f, 0.5f);
    SetRgb(s.RgbCloud.Diffuse, 1, 1, 1, 0.8f);
    for (TLightSet* l : {&s.RgbRed, &s.RgbGreen, &s.RgbBlue})
        SetRgb(l->Diffuse, 0.5f, 0.5f, 0.5f);
    SetRgb(s.SunEarth1.Diffuse, 1, 1, 1);
    SetRgb(s.SunEarth2.Diffuse, 1, 1, 1);
    SetRgb(s.SunEarth2.Ambient, 0, 0, 0);
    s.SunEarth2.Shininess = 150; // beyond what OpenGL takes: clamped, not refused
    SetRgb(s.SunAtmos.Diffuse, 0, 0, 0, 0);
    SetRgb(s.SunLight.Ambient, 0, 0, 0);
    SetRgb(s.SunLight.Diffuse, 0.2f, 0.2f, 0.2f); // five lights: 1 at the sub-solar point
    SetRgb(s.SunLight.Specular, 0.5f, 0.5f, 0.5f);
    return s;
}

// An earth picture coloured by longitude: red within 30 degrees of 0, green within 30 degrees
// of 90 east, blue elsewhere.
test::TBytes LongitudeJpeg() {
    return test::MakeJpeg(360, 180, 3, [](int x, int, std::uint8_t* out) {
        const double lon = x + 0.5 - 180;
        out[0] = std::fabs(lon) < 30 ? 255 : 0;
        out[1] = std::fabs(lon - 90) < 30 ? 255 : 0;
        out[2] = out[0] == 0 && out[1] == 0 ? 255 : 0;
    });
}

test::TBytes UniformJpeg(std::uint8_t value) {
    return test::MakeJpeg(64, 32, 3,
                          [=](int, int, std::uint8_t* out) { out[0] = out[1] = out[2] = value; });
}

int CountPixels(const QImage& image, const std::function<bool(QRgb)>& test, QRect area = {}) {
    if (area.isNull()) area = image.rect();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (test(image.pixel(x, y))) ++n;
    return n;
}

// With NIMBORA_SAVE_FRAMES set, frames are kept as PNG files for a look by eye.
void SaveForLooking(const QImage& image, const char* path) {
    if (qEnvironmentVariableIsSet("NIMBORA_SAVE_FRAMES")) image.save(QString::fromLatin1(path));
}

bool IsYellow(QRgb c) {
    return qRed(c) > 180 && qGreen(c) > 180 && qBlue(c) < 100;
}
// Lit by the three lights the texture's colours come out at 100 to 150.
bool IsRed(QRgb c) {
    return qRed(c) > 80 && qGreen(c) < 40 && qBlue(c) < 40;
}
bool IsGreen(QRgb c) {
    return qGreen(c) > 80 && qRed(c) < 40 && qBlue(c) < 40;
}

class SceneRender : public testing::Test {
protected:
    static void SetUpTestSuite() {
        Panel = std::make_unique<TOpenGLPanel>();
        Scene = std::make_unique<TScene>();
        Sets = TestLighting();
        Panel->OnInitialize = [] {
            Scene->PrepareLightFade(Sets);
            BuildOk = Scene->Build(Sets);
        };
        Panel->OnResize = [](int w, int h, double ratio) { Scene->OpenGLPanelResize(w, h, ratio); };
        Panel->OnPaint = [] {
            Scene->RenderScene(Frame, Sets);
            for (GLenum e = glGetError(); e != GL_NO_ERROR; e = glGetError())
                if (FirstError == GL_NO_ERROR) FirstError = e;
        };
        Panel->resize(Width, Height);
        Panel->show();
        QElapsedTimer wait;
        wait.start();
        while (!(Panel->windowHandle() && Panel->windowHandle()->isExposed()) &&
               wait.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        ASSERT_TRUE(Panel->isValid());
        Panel->makeCurrent();
        TSceneTestSeam::ApplyLightColours(*Scene, Sets); // no fade-in for the pictures
        ASSERT_TRUE(TSceneTestSeam::SetEarthTexture(*Scene, LongitudeJpeg()));
        Panel->doneCurrent();
        AddNamePoints(AllNames);
        for (const TDrawPoint& p : AllNames)
            if (p.Kind == WpTCountry) CountryNames.push_back(p);
    }
    static void TearDownTestSuite() {
        Panel->makeCurrent();
        Scene->Release();
        Panel->doneCurrent();
        Scene.reset();
        Panel.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(BuildOk);
        Frame = TFrameState{};
        Frame.ShowCountries = false;
        Frame.ShowNames = false;
        Sets = TestLighting();
    }

    static QImage Grab() { return Panel->grabFramebuffer().convertToFormat(QImage::Format_RGB32); }

    static inline std::unique_ptr<TOpenGLPanel> Panel;
    static inline std::unique_ptr<TScene> Scene;
    static inline TFrameState Frame;
    static inline TLightingSets Sets;
    static inline bool BuildOk = false;
    static inline GLenum FirstError = GL_NO_ERROR; // of all frames drawn
    static inline TDrawPointList AllNames, CountryNames;
};

TEST_F(SceneRender, GlobeIsCentredAndTurnsWithProjX) {
    QImage image = Grab();
    SaveForLooking(image, "/tmp/nimbora_scene_default.png");
    // Latitude 0 / longitude 0 (red in the picture) faces the viewer.
    EXPECT_TRUE(IsRed(image.pixel(CentreX, CentreY))) << std::hex << image.pixel(CentreX, CentreY);
    // The globe (radius about 205 pixels at distance 15) is centred: black beyond it on all sides.
    for (const QPoint p : {QPoint(CentreX - 215, CentreY), QPoint(CentreX + 215, CentreY),
                           QPoint(CentreX, CentreY - 215), QPoint(CentreX, CentreY + 215)})
        EXPECT_EQ(qGray(image.pixel(p)), 0) << p.x() << "," << p.y();
    for (const QPoint p : {QPoint(CentreX - 190, CentreY), QPoint(CentreX + 190, CentreY),
                           QPoint(CentreX, CentreY - 190), QPoint(CentreX, CentreY + 190)})
        EXPECT_GT(qGray(image.pixel(p)), 10) << p.x() << "," << p.y();
    // East lies to the right: the limb seen from distance 15 is 70.5 degrees away, so the
    // green band (60 to 120 east) just shows there, and blue (-60 and beyond) on the left.
    EXPECT_TRUE(IsGreen(image.pixel(CentreX + 202, CentreY)));
    EXPECT_GT(qBlue(image.pixel(CentreX - 180, CentreY)), 100);

    Frame.Proj.X = -90;
    image = Grab();
    EXPECT_TRUE(IsGreen(image.pixel(CentreX, CentreY)))
        << std::hex << image.pixel(CentreX, CentreY);
}

TEST_F(SceneRender, BoundariesAndTimeZoneGridFollowTheirCheckMarks) {
    Frame.ShowTexturing = false;
    const QImage plain = Grab();
    EXPECT_EQ(CountPixels(plain, IsYellow), 0);

    Frame.ShowCountries = true;
    const QImage bounds = Grab();
    SaveForLooking(bounds, "/tmp/nimbora_scene_bounds.png");
    EXPECT_GT(CountPixels(bounds, IsYellow), 2000);

    Frame.ShowCountries = false;
    Frame.ShowTimeZone = true;
    const QImage grid = Grab();
    // The grid adds 0.2 in green to what lies beneath and nothing else.
    int lightened = 0, otherwise = 0;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const QRgb a = plain.pixel(x, y), b = grid.pixel(x, y);
            if (a == b) continue;
            const int dg = qGreen(b) - qGreen(a);
            if (dg >= 40 && std::abs(qRed(b) - qRed(a)) <= 2 && std::abs(qBlue(b) - qBlue(a)) <= 2)
                ++lightened;
            else
                ++otherwise;
        }
    EXPECT_GT(lightened, 1500);
    SaveForLooking(grid, "/tmp/nimbora_scene_grid.png");
    EXPECT_LT(otherwise, lightened / 20);

    Frame.ShowTimeZone = false;
    EXPECT_EQ(Grab(), plain);
}

TEST_F(SceneRender, NamesNearerThan12AndLabelsNearerThan8p5) {
    Frame.ShowTexturing = false;
    Frame.ShowNames = true;
    Frame.DrawPoints = &CountryNames;
    struct TCase {
        float Z;
        bool Markers, Labels;
    };
    for (const TCase c :
         {TCase{-15, false, false}, TCase{-12, false, false}, TCase{-10, true, false},
          TCase{-8.5f, true, false}, TCase{-7, true, true}}) {
        Frame.Proj.Z = c.Z;
        Frame.ScaleZ = c.Z > -10 ? -10 / c.Z : 1;
        const QImage image = Grab();
        if (c.Z == -7) SaveForLooking(image, "/tmp/nimbora_scene_labels.png");
        EXPECT_EQ(CountPixels(image, IsRed) > 0, c.Markers) << "Z " << c.Z;
        EXPECT_EQ(CountPixels(image, IsGreen) > 30, c.Labels) << "Z " << c.Z;
    }
    // Unchecked: nothing at any distance.
    Frame.ShowNames = false;
    const QImage image = Grab();
    EXPECT_EQ(CountPixels(image, IsRed), 0);
    EXPECT_EQ(CountPixels(image, IsGreen), 0);
}

TEST_F(SceneRender, WorldTexturingOffGivesThePlainEarth) {
    const QRect patch(CentreX - 150, CentreY - 20, 300, 40); // crosses red, green and blue
    auto spread = [&](const QImage& image) {
        int low = 255, high = 0;
        for (int y = patch.top(); y <= patch.bottom(); ++y)
            for (int x = patch.left(); x <= patch.right(); ++x) {
                low = std::min(low, qRed(image.pixel(x, y)));
                high = std::max(high, qRed(image.pixel(x, y)));
            }
        return high - low;
    };
    EXPECT_GT(spread(Grab()), 150);
    Frame.ShowTexturing = false;
    const QImage plain = Grab();
    const QRgb centre = plain.pixel(CentreX, CentreY);
    // The plain material is blue; the texture's red and green are gone.
    EXPECT_GT(qBlue(centre), 2 * qRed(centre));
    EXPECT_LT(spread(plain), 30);
}

TEST_F(SceneRender, DayAndNightFollowTheSunOnTheGlobe) {
    Frame.ShowTexturing = false;
    Frame.ShowDayNight = true;
    Frame.SunLat = 0;
    Frame.SunLon = 90;
    Frame.MoonLat = 0;
    Frame.MoonLon = -90;
    auto brightestX = [](const QImage& image) {
        int best = 0, bestX = -1;
        for (int x = CentreX - 200; x <= CentreX + 200; ++x)
            if (qRed(image.pixel(x, CentreY)) > best) { // the markers have no red
                best = qRed(image.pixel(x, CentreY));
                bestX = x;
            }
        return bestX;
    };
    QImage image = Grab();
    SaveForLooking(image, "/tmp/nimbora_scene_daynight.png");
    EXPECT_GT(brightestX(image), CentreX + 150);
    // The night side (longitude -90, left) keeps only the material's ambient part: black.
    EXPECT_LT(qGray(image.pixel(CentreX - 150, CentreY)), 8);
    EXPECT_LT(qGray(image.pixel(CentreX - 60, CentreY)), 30);

    // Turned so that 90 east faces the viewer, the lit part turns with it.
    Frame.Proj.X = -90;
    image = Grab();
    EXPECT_NEAR(brightestX(image), CentreX, 20);
    EXPECT_GT(qRed(image.pixel(CentreX, CentreY + 15)), 200); // beside the sun's marker

    // Back to the coloured viewer-fixed lights: the globe is lit across.
    Frame.ShowDayNight = false;
    image = Grab();
    EXPECT_GT(qGray(image.pixel(CentreX - 150, CentreY)), 40);
}

TEST_F(SceneRender, CloudsAddTheirPictureOnlyWhenShownAndAvailable) {
    Frame.ShowTexturing = false;
    const QImage bare = Grab();
    Panel->makeCurrent();
    ASSERT_TRUE(TSceneTestSeam::SetCloudTexture(*Scene, UniformJpeg(255)));
    Panel->doneCurrent();
    Frame.CloudsAvailable = false;
    EXPECT_EQ(Grab(), bare);
    Frame.CloudsAvailable = true;
    const QImage cloudy = Grab();
    EXPECT_GT(qRed(cloudy.pixel(CentreX, CentreY)), qRed(bare.pixel(CentreX, CentreY)) + 60);
    Frame.ShowClouds = false;
    EXPECT_EQ(Grab(), bare);

    // A black picture adds nothing: clear sky.
    Frame.ShowClouds = true;
    Panel->makeCurrent();
    ASSERT_TRUE(TSceneTestSeam::SetCloudTexture(*Scene, UniformJpeg(0)));
    Panel->doneCurrent();
    const QImage clear = Grab();
    EXPECT_LE(std::abs(qRed(clear.pixel(CentreX, CentreY)) - qRed(bare.pixel(CentreX, CentreY))),
              2);
}

TEST_F(SceneRender, GreyAndRgbCloudPicturesDrawLikeTheirRgbaForm) {
    // The cloud picture goes up as one grey channel or as RGB; either must draw exactly what
    // the same picture as RGBA (R = G = B for grey, full alpha) draws.
    constexpr int W = 128, H = 64;
    std::vector<std::uint8_t> grey, rgb, greyRgba, rgbRgba;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const auto g = static_cast<std::uint8_t>((x * 2 + y * 7 + (x * y) % 23) % 256);
            const std::uint8_t c[3] = {g, static_cast<std::uint8_t>(255 - g),
                                       static_cast<std::uint8_t>((g * 3) % 256)};
            grey.push_back(g);
            greyRgba.insert(greyRgba.end(), {g, g, g, 255});
            rgb.insert(rgb.end(), {c[0], c[1], c[2]});
            rgbRgba.insert(rgbRgba.end(), {c[0], c[1], c[2], 255});
        }
    Frame.CloudsAvailable = true;
    for (bool dayNight : {false, true}) {
        Frame.ShowDayNight = dayNight;
        for (const auto& [pixels, channels, rgba] :
             {std::tuple{&grey, 1, &greyRgba}, std::tuple{&rgb, 3, &rgbRgba}}) {
            SCOPED_TRACE(std::to_string(channels) + (dayNight ? " sun" : " rgb"));
            Panel->makeCurrent();
            ASSERT_TRUE(Scene->SetCloudPicture(W, H, channels, *pixels));
            Panel->doneCurrent();
            const QImage picture = Grab();
            Panel->makeCurrent();
            ASSERT_TRUE(Scene->SetCloudPicture(W, H, 4, *rgba));
            Panel->doneCurrent();
            const QImage reference = Grab();
            EXPECT_TRUE(picture == reference);
        }
    }
    // Pixels that do not fill the picture are refused, and the texture stays.
    Panel->makeCurrent();
    const GLuint before = TSceneTestSeam::Objects(*Scene).CloudTex;
    EXPECT_FALSE(Scene->SetCloudPicture(W, H, 1, std::span(grey).first(grey.size() - 1)));
    EXPECT_FALSE(Scene->SetCloudPicture(W, H, 2, grey));
    EXPECT_EQ(TSceneTestSeam::Objects(*Scene).CloudTex, before);
    Panel->doneCurrent();
}

TEST_F(SceneRender, JpegTexturesHoldTheDecodedPicture) {
    // Pictures that go up band by band, one smaller than a band, and one rescaled whole.
    for (const auto& [w, h] : {std::pair{256, 128}, std::pair{64, 8}, std::pair{100, 60}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const test::TBytes jpeg = test::MakeJpeg(w, h, 3, [](int x, int y, std::uint8_t* out) {
            out[0] = static_cast<std::uint8_t>(x * 5 + y);
            out[1] = static_cast<std::uint8_t>(y * 9);
            out[2] = static_cast<std::uint8_t>((x ^ y) * 3);
        });
        const auto decoded = DecodeJpeg(jpeg);
        ASSERT_TRUE(decoded);
        Panel->makeCurrent();
        GLuint name = 0;
        ASSERT_TRUE(LoadJpegTexture(jpeg, name));
        glBindTexture(GL_TEXTURE_2D, name);
        GLint tw = 0, th = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &tw);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &th);
        std::vector<std::uint8_t> texels(static_cast<std::size_t>(tw) * th * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        glDeleteTextures(1, &name);
        Panel->doneCurrent();
        if (tw == w && th == h) {
            EXPECT_TRUE(texels == decoded->Pixels);
        } else {
            // Rescaled to powers of two: the bottom-left corner keeps its colour roughly.
            EXPECT_EQ(tw & (tw - 1), 0);
            EXPECT_EQ(th & (th - 1), 0);
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(texels[c], decoded->Pixels[c], 12);
        }
    }
}

TEST_F(SceneRender, StatusLinesAtTheLowerLeft) {
    const QRect area(0, Height - 46, 320, 46);
    Frame.StatusText = "Sun: Lat=12\xB0 30'";
    Frame.UpdateText = "Clouds updated: no data";
    Frame.CreditText = std::string("Credit \x01\x1F", 9); // control bytes are skipped
    const QImage image = Grab();
    SaveForLooking(image, "/tmp/nimbora_scene_status.png");
    EXPECT_GT(CountPixels(image, IsGreen, area), 200);
    // Three separate lines: rows with text near the baselines 10, 22 and 34 from the bottom.
    for (int baseline : {10, 22, 34})
        EXPECT_GT(CountPixels(image, IsGreen, QRect(0, Height - baseline - 8, 320, 8)), 10)
            << baseline;
    Frame.StatusText.clear();
    Frame.UpdateText.clear();
    Frame.CreditText.clear();
    EXPECT_EQ(CountPixels(Grab(), IsGreen, area), 0);
}

// The embedded earth pictures wrap without a seam: seen from close by with 180 degrees in the
// middle, no pixel column near the centre is clearly brighter than the columns beside it.
TEST_F(SceneRender, EarthPicturesShowNoLineAt180Degrees) {
    Frame.Proj = TVertex{180, 0, -8};
    for (const bool detailed : {false, true}) {
        SCOPED_TRACE(detailed ? "earth4096" : "earth2048");
        Panel->makeCurrent();
        ASSERT_TRUE(Scene->ChangeEarthTexture(detailed));
        Panel->doneCurrent();
        const QImage image = Grab();
        SaveForLooking(image, detailed ? "/tmp/nimbora_scene_180_4096.png"
                                       : "/tmp/nimbora_scene_180_2048.png");
        // Mean of R + G + B of each column over the middle rows (dark open Pacific there).
        constexpr int Half = 40;
        std::vector<double> column;
        for (int x = CentreX - Half; x <= CentreX + Half; ++x) {
            double sum = 0;
            for (int y = CentreY - 100; y <= CentreY + 100; ++y) {
                const QRgb p = image.pixel(x, y);
                sum += qRed(p) + qGreen(p) + qBlue(p);
            }
            column.push_back(sum / 201);
        }
        ASSERT_GT(column[Half], 5); // the earth is there, not the black sky
        // Each column against the brighter of its neighbourhoods three to eight columns away.
        for (int i = 8; i + 8 < static_cast<int>(column.size()); ++i) {
            double left = 0, right = 0;
            for (int d = 3; d <= 8; ++d)
                left += column[i - d] / 6, right += column[i + d] / 6;
            EXPECT_LT(column[i], std::max(left, right) + 8)
                << "column " << CentreX - Half + i << ": " << column[i] << " beside " << left
                << " and " << right;
        }
    }
    Panel->makeCurrent();
    ASSERT_TRUE(TSceneTestSeam::SetEarthTexture(*Scene, LongitudeJpeg()));
    Panel->doneCurrent();
}

TEST_F(SceneRender, ZeroHeightKeepsAValidProjection) {
    Panel->makeCurrent();
    Scene->OpenGLPanelResize(Width, 0);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], Width);
    EXPECT_EQ(viewport[3], 1);
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    for (float v : projection)
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_NE(projection[0], 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    Scene->OpenGLPanelResize(Width, Height);
    Panel->doneCurrent();
}

TEST_F(SceneRender, TexturesAreReplacedOnlyByGoodPicturesAndFramesRaiseNoGlError) {
    Panel->makeCurrent();
    GLuint target = 0;
    ASSERT_TRUE(LoadJpegTexture(UniformJpeg(100), target));
    const GLuint first = target;
    const test::TBytes good = UniformJpeg(50);
    for (const test::TBytes& bad : {test::TBytes{}, test::TBytes{0xFF, 0xD8, 0xFF},
                                    test::TBytes(good.begin(), good.end() - 40)})
        EXPECT_FALSE(LoadJpegTexture(bad, target));
    EXPECT_EQ(target, first);
    ASSERT_TRUE(LoadJpegTexture(good, target));
    EXPECT_NE(target, first);
    EXPECT_FALSE(glIsTexture(first)); // the old picture is freed
    glDeleteTextures(1, &target);

    // Detailed earth texturing and back: the embedded pictures decode and replace EarthTex.
    const GLuint synthetic = TSceneTestSeam::Objects(*Scene).EarthTex;
    ASSERT_TRUE(Scene->ChangeEarthTexture(true));
    GLint width = 0;
    glBindTexture(GL_TEXTURE_2D, TSceneTestSeam::Objects(*Scene).EarthTex);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 4096);
    EXPECT_NE(TSceneTestSeam::Objects(*Scene).EarthTex, synthetic);
    ASSERT_TRUE(Scene->ChangeEarthTexture(false));
    glBindTexture(GL_TEXTURE_2D, TSceneTestSeam::Objects(*Scene).EarthTex);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 2048);
    Panel->doneCurrent();

    // A full frame with the real pictures, to look at.
    Frame.ShowCountries = true;
    Frame.ShowNames = true;
    Frame.DrawPoints = &AllNames;
    Frame.Proj = {-10, 20, -8};
    Frame.ScaleZ = 10.0f / 8;
    Frame.StatusText = "Nimbora";
    SaveForLooking(Grab(), "/tmp/nimbora_scene_real.png");

    // Everything at once, with a shininess beyond what OpenGL takes: no call is refused.
    Frame.ShowTimeZone = Frame.ShowDayNight = true;
    Frame.CloudsAvailable = true;
    Sets.SunEarth1.Shininess = 150;
    Sets.SunCloud.Shininess = 1000;
    Grab();
    EXPECT_EQ(FirstError, static_cast<GLenum>(GL_NO_ERROR)) << std::hex << FirstError;

    Panel->makeCurrent();
    ASSERT_TRUE(TSceneTestSeam::SetEarthTexture(*Scene, LongitudeJpeg()));
    Panel->doneCurrent();
}

TEST_F(SceneRender, PanelHasTheSceneFormatAndForwardsInput) {
    const QSurfaceFormat format = Panel->context()->format();
    EXPECT_GE(format.depthBufferSize(), 24);
    EXPECT_GE(format.stencilBufferSize(), 8);
    EXPECT_NE(format.profile(), QSurfaceFormat::CoreProfile);
    EXPECT_EQ(format.redBufferSize(), 8);

    std::vector<std::string> seen;
    auto note = [&](const char* what) {
        return [&seen, what](QMouseEvent* e) {
            seen.push_back(std::string(what) + " " + std::to_string(int(e->position().x())) + "," +
                           std::to_string(int(e->position().y())));
        };
    };
    Panel->OnMouseDown = note("down");
    Panel->OnMouseMove = note("move");
    Panel->OnMouseUp = note("up");
    Panel->OnWheel = [&](QWheelEvent* e) {
        seen.push_back("wheel " + std::to_string(e->angleDelta().y()));
    };
    const QPointF global = Panel->mapToGlobal(QPointF(0, 0));
    QMouseEvent down(QEvent::MouseButtonPress, QPointF(10, 20), global + QPointF(10, 20),
                     Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent move(QEvent::MouseMove, QPointF(30, 25), global + QPointF(30, 25), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QMouseEvent up(QEvent::MouseButtonRelease, QPointF(30, 25), global + QPointF(30, 25),
                   Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QWheelEvent wheel(QPointF(5, 5), global + QPointF(5, 5), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    // The mouse lands on the native window that is drawn into; keys that it gets (it should
    // not have the focus, but a window manager may give it) go on to the panel, and from there
    // to the widgets around it.
    struct TKeyNote : QObject {
        std::vector<std::string>* seen;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease)
                seen->push_back((e->type() == QEvent::KeyPress ? "press " : "release ") +
                                std::to_string(static_cast<QKeyEvent*>(e)->key()));
            return false;
        }
    } keys;
    keys.seen = &seen;
    Panel->installEventFilter(&keys);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Left, Qt::NoModifier);
    QWindow* window = Panel->DrawingWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->flags() & Qt::WindowDoesNotAcceptFocus);
    for (QEvent* e : std::initializer_list<QEvent*>{&down, &move, &up, &wheel, &press, &release})
        QCoreApplication::sendEvent(window, e);
    Panel->removeEventFilter(&keys);
    Panel->OnMouseDown = Panel->OnMouseMove = Panel->OnMouseUp = nullptr;
    Panel->OnWheel = nullptr;
    EXPECT_EQ(seen, (std::vector<std::string>{"down 10,20", "move 30,25", "up 30,25", "wheel -120",
                                              "press " + std::to_string(Qt::Key_Left),
                                              "release " + std::to_string(Qt::Key_Left)}));
}

} // namespace
} // namespace nimbora

namespace nimbora {
namespace {

TEST_F(SceneRender, CustomWaypointsShowAtEveryDistanceEvenByTheThousand) {
    // A 20 x 20 grid of waypoints 2 degrees apart around the point facing the viewer.
    TDrawPointList grid;
    for (int i = 0; i < 20; ++i)
        for (int j = 0; j < 20; ++j)
            grid.push_back(MakeDrawPoint("w", -19 + 2 * i, -19 + 2 * j, WpTUser));
    Frame.ShowTexturing = false;
    Frame.ShowNames = false;
    Frame.ShowCountries = false;
    Frame.DrawPoints = &grid;
    auto bright = [](QRgb c) { return qGreen(c) > 150 && qRed(c) < 60 && qBlue(c) < 60; };
    for (const float z : {-40.0f, -15.0f, -10.0f, -6.0f}) {
        Frame.Proj.Z = z;
        Frame.ScaleZ = z > -10 ? -10 / z : 1;
        Frame.ShowCustomWay = true;
        const QImage image = Grab();
        // Every marker leaves a mark, however far away the camera is.
        EXPECT_GE(CountPixels(image, bright), 390) << "Z " << z;
        Frame.ShowCustomWay = false;
        EXPECT_EQ(CountPixels(Grab(), bright), 0) << "Z " << z;
    }
}

TEST(SceneMath, MarkerPixelsShrinkWithDistance) {
    const TVertex camera{0, 0, 15};
    // 0.01 units seen from 10 away on a 480 pixel panel with a 45 degree view.
    EXPECT_NEAR(MarkerPixels(camera, TVertex{0, 0, 5}, 1, 480), 1.159, 0.001);
    EXPECT_NEAR(MarkerPixels(camera, TVertex{0, 0, 5}, 2, 960), 4.636, 0.001);
    EXPECT_GT(MarkerPixels(camera, camera, 1, 480), 1e6f);
}

} // namespace
} // namespace nimbora
