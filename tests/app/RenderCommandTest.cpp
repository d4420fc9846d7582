// The command-line picture: the real program run with no display, its options, its update
// against a local server, and its failures.
#include "GuiSupport.h"

#include "app/ProgramArguments.h"
#include "app/RenderCommand.h"
#include "app/Texts.h"
#include "platform/Paths.h"
#include "render/sunmoondata.h"
#include "support/NetHarness.h"
#include "weather/CloudsText.h"
#include "weather/WeatherTexts.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <gtest/gtest.h>
#include <sys/time.h>

namespace nimbora::test {
namespace {

// Last-Modified of the served cloud picture: Thu, 04 Mar 2021 05:06:07 GMT.
constexpr time_t PictureTime = 1614834367;

struct TRun {
    int Exit = -1;
    std::string Out, Err;
};

// The program as a user runs it from a terminal, by default without any display.
TRun RunNimbora(const QStringList& args, bool withDisplay = false, int timeoutMs = 120000) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!withDisplay)
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QString::fromUtf8(NIMBORA_BINARY), args);
    TRun run;
    if (!program.waitForFinished(timeoutMs)) {
        program.kill();
        program.waitForFinished();
        return run;
    }
    run.Exit = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -2;
    run.Out = program.readAllStandardOutput().toStdString();
    run.Err = program.readAllStandardError().toStdString();
    return run;
}

double Brightness(const QImage& image, int cx, int cy, int half = 10) {
    double sum = 0;
    int count = 0;
    for (int y = cy - half; y < cy + half; ++y)
        for (int x = cx - half; x < cx + half; ++x) {
            const QRgb p = image.pixel(x, y);
            sum += qRed(p) + qGreen(p) + qBlue(p);
            ++count;
        }
    return sum / count;
}

int YellowPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) > 180 && qGreen(p) > 180 && qBlue(p) < 90) ++n;
        }
    return n;
}

class RenderCommand : public ::testing::Test {
protected:
    void SetUp() override { folder_ = home_.MakeDataFolder(); }
    std::string Ini() const { return folder_ + "nimbora.ini"; }
    std::string Out(const char* name) const { return out_.str(name); }
    void CloudsInHand(unsigned char level) {
        ASSERT_TRUE(WriteWholeFile(folder_ + "clouds.jpg", GreyJpeg(256, 128, level)));
    }

    TScratchHome home_;
    std::string folder_;
    TempDir out_;
};

TEST(RenderOptions, ParsesWhatUsersType) {
    struct TCase {
        QStringList Args;
        bool Ok;
    };
    const TCase cases[] = {
        {{"--render", "a.png"}, true},
        {{"--render=a.JPG", "--size", "8192x8192"}, true},
        {{"--render", "a.jpeg", "--size", "1x1", "--view", "-90,180,40"}, true},
        {{"--render", "a.bmp", "--daynight", "--names", "--no-boundaries", "--time",
          "2024-03-20T12:00:00Z"},
         true},
        {{"--render", "a.png", "--size", "8193x100"}, false},
        {{"--render", "a.png", "--size", "0x100"}, false},
        {{"--render", "a.png", "--size", "100"}, false},
        {{"--render", "a.png", "--size", "99999999999x1"}, false},
        {{"--render", "a.png", "--view", "91,0"}, false},
        {{"--render", "a.png", "--view", "0,0,2"}, false},
        {{"--render", "a.png", "--view", "nan,0"}, false},
        {{"--render", "a.png", "--daynight", "--rgb"}, false},
        {{"--render", "a.png", "--city-lights", "--no-city-lights"}, false},
        {{"--render", "a.png", "--time", "yesterday"}, false},
        {{"--render", "a.gif"}, false},
        {{"--render"}, false},
        {{"--size", "10x10"}, false},
        {{"--render", "a.png", "--bogus"}, false},
        {{"--render", "a.png", "extra"}, false},
        {{"--render", "a.png", "--timeout", "86400"}, true},
        {{"--render", "a.png", "--timeout", "0.5"}, true},
        {{"--render", "a.png", "--timeout", "86401"}, false},
        {{"--render", "a.png", "--timeout", "0"}, false},
        {{"--render", "a.png", "--timeout", "-2"}, false},
        {{"--render", "a.png", "--timeout", "soon"}, false},
        {{"--render", "a.png", "--view", "Korea, Republic of", "--size", "screen"}, true},
        {{"--output-per-screen", "g-%n.png", "--no-status", "--no-axis"}, true},
        {{"--output-per-screen", "g-%n.gif"}, false},
        {{"--render", "a.png", "--output-per-screen", "g-%n.png"}, false},
    };
    for (const TCase& c : cases) {
        TRenderOptions options;
        std::string error;
        const bool ok = ParseRenderOptions(QStringList{"nimbora"} + c.Args, options, error);
        EXPECT_EQ(ok, c.Ok) << c.Args.join(' ').toStdString() << ": " << error;
        if (!ok) {
            EXPECT_FALSE(error.empty());
        }
    }
    TRenderOptions o;
    std::string error;
    ASSERT_TRUE(ParseRenderOptions({"nimbora", "--render", "x.png", "--size", "640x480", "--view",
                                    "10.5,-20,12", "--rgb", "--no-clouds", "--no-city-lights",
                                    "--time", "2000-01-01T12:00:00Z"},
                                   o, error));
    EXPECT_EQ(o.Width, 640);
    EXPECT_EQ(o.Height, 480);
    EXPECT_DOUBLE_EQ(o.Lat, 10.5);
    EXPECT_DOUBLE_EQ(o.Lon, -20);
    EXPECT_DOUBLE_EQ(*o.Distance, 12);
    EXPECT_EQ(o.DayNight, false);
    EXPECT_EQ(o.Clouds, false);
    EXPECT_EQ(o.CityLights, false);
    EXPECT_NEAR(*o.Time, 36526.5, 1e-9); // J2000 as a day count since 1899-12-30
    EXPECT_EQ(o.Timeout, 120);
}

TEST(WindowArguments, OnlyQtsOwnOptionsReachTheWindow) {
    struct TCase {
        std::vector<const char*> Args;
        const char* Named; // nullptr: accepted
    };
    const TCase cases[] = {
        {{}, nullptr},
        {{"-platform", "xcb", "--display", ":1", "-geometry", "500x400+0+0"}, nullptr},
        {{"-qwindowgeometry", "1x1", "-style=fusion", "-reverse", "--stylesheet", "a.qss"},
         nullptr},
        {{"-qmljsdebugger=port:1234", "-name", "n", "-title", "t", "-nograb"}, nullptr},
        {{"--frobnicate"}, "--frobnicate"},
        {{"stray"}, "stray"},
        {{"-platform", "xcb", "stray"}, "stray"},
        {{"-style"}, "-style"},
        {{"--update"}, "--update"},
        {{"--size", "64x64"}, "--size"},
        {{"--size"}, "--size"},
        {{"-"}, "-"},
    };
    for (const TCase& c : cases) {
        std::vector<char*> argv{const_cast<char*>("nimbora")};
        for (const char* a : c.Args)
            argv.push_back(const_cast<char*>(a));
        const std::string error = CheckWindowArguments(static_cast<int>(argv.size()), argv.data());
        if (!c.Named) {
            EXPECT_EQ(error, "") << c.Args.size();
        } else {
            EXPECT_NE(error.find(std::string("\"") + c.Named + "\""), std::string::npos) << error;
            // A picture option without --render says what is missing.
            const bool pictureOption = c.Named == std::string("--update") ||
                                       (c.Args.size() == 2 && c.Named == std::string("--size"));
            EXPECT_EQ(error.find("only with --render") != std::string::npos, pictureOption)
                << error;
        }
    }
}

TEST(WindowArguments, UnknownArgumentsEndWithStatus2WithAndWithoutADisplay) {
    TScratchHome home;
    for (const bool display : {false, true}) {
        for (const QStringList& args : {QStringList{"--frobnicate"}, QStringList{"stray"},
                                        QStringList{"-platform", "offscreen", "--frobnicate"},
                                        QStringList{"--render", "x.png", "--frobnicate"}}) {
            const std::string named = args.last().toStdString();
            QElapsedTimer clock;
            clock.start();
            const TRun run = RunNimbora(args, display, 15000);
            // With a display the old program opened its window and ran on.
            EXPECT_EQ(run.Exit, 2) << named << (display ? " with" : " without") << " a display";
            EXPECT_LT(clock.elapsed(), 10000);
            const std::string bare = named.substr(named.find_first_not_of('-'));
            EXPECT_NE(run.Err.find(bare), std::string::npos) << run.Err;
            EXPECT_NE(run.Err.find("nimbora: "), std::string::npos) << run.Err;
        }
    }
    const TRun help = RunNimbora({"--help"});
    EXPECT_NE(help.Out.find("Without options, nimbora opens the globe in its window"),
              std::string::npos)
        << help.Out;
    EXPECT_NE(help.Out.find("-platform NAME"), std::string::npos);
    EXPECT_NE(help.Out.find("--timeout <seconds>"), std::string::npos);
}

TEST(WindowArguments, QtsOwnOptionsStillOpenTheWindow) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "needs an X display";
    TScratchHome home;
    QProcess program;
    program.start(QString::fromUtf8(NIMBORA_BINARY),
                  {"-qwindowgeometry", "500x400+0+0", "-style", "fusion", "-name", "globe"});
    ASSERT_TRUE(program.waitForStarted());
    // Still running: the window is up (a refusal ends at once).
    EXPECT_FALSE(program.waitForFinished(3000)) << program.readAllStandardError().toStdString();
    program.terminate(); // closes the window like the user would
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

TEST_F(RenderCommand, DrawsWithoutADisplayAtTheRequestedSizeAndWritesNoSettings) {
    CloudsInHand(0); // no cloud cover: the lit and the dark side of the earth show
    const QStringList common = {"--size",     "320x240",   "--time", "2024-03-20T12:00:00Z",
                                "--daynight", "--no-names"};
    // The sun stands over about 0 N, 2 E at that instant.
    const TRun day = RunNimbora(
        QStringList{"--render", QString::fromStdString(Out("day.png")), "--view", "0,2"} + common);
    ASSERT_EQ(day.Exit, 0) << day.Err;
    const TRun night = RunNimbora(
        QStringList{"--render", QString::fromStdString(Out("night.bmp")), "--view", "0,-178"} +
        common);
    ASSERT_EQ(night.Exit, 0) << night.Err;
    const QImage dayImage(QString::fromStdString(Out("day.png")));
    const QImage nightImage(QString::fromStdString(Out("night.bmp")));
    ASSERT_EQ(dayImage.size(), QSize(320, 240));
    ASSERT_EQ(nightImage.size(), QSize(320, 240));
    EXPECT_GT(Brightness(dayImage, 160, 120), 3 * Brightness(nightImage, 160, 120) + 30);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(Ini())));
}

TEST_F(RenderCommand, CityLightsShowOverEuropeAtMidnightUnlessLeftOut) {
    CloudsInHand(0);
    const QStringList common = {
        "--size",          "320x240", "--time", "2026-12-09T23:00:00Z", "--daynight", "--no-names",
        "--no-boundaries", "--view",  "50,10,9"};
    const QString lit = QString::fromStdString(Out("lit.png"));
    const QString dark = QString::fromStdString(Out("dark.png"));
    ASSERT_EQ(RunNimbora(QStringList{"--render", lit} + common).Exit, 0);
    ASSERT_EQ(RunNimbora(QStringList{"--render", dark, "--no-city-lights"} + common).Exit, 0);
    EXPECT_GT(WarmPixels(QImage(lit)), 500);
    EXPECT_LT(WarmPixels(QImage(dark)), 10);
}

TEST_F(RenderCommand, BoundariesFollowTheOptionAndTheSettingsStayUntouched) {
    const std::string settings = "[Nimbora]\nVersion=033000\nGetCatalogue=0\n"
                                 "[Features]\nCountryBoundaries=1\nCountryNames=0\n";
    ASSERT_TRUE(WriteWholeFile(Ini(), settings));
    const QStringList common = {"--size", "400x300", "--rgb", "--no-clouds", "--view", "48,10"};
    ASSERT_EQ(
        RunNimbora(QStringList{"--render", QString::fromStdString(Out("with.jpg"))} + common).Exit,
        0);
    ASSERT_EQ(RunNimbora(QStringList{"--render", QString::fromStdString(Out("without.png")),
                                     "--no-boundaries"} +
                         common)
                  .Exit,
              0);
    const int with = YellowPixels(QImage(QString::fromStdString(Out("with.jpg"))));
    const int without = YellowPixels(QImage(QString::fromStdString(Out("without.png"))));
    EXPECT_GT(with, 500);
    EXPECT_LT(without, 50);
    EXPECT_EQ(ReadWholeFile(Ini()), settings);
}

TEST_F(RenderCommand, RefusesBadRequestsClearlyAndLeavesNoFile) {
    const QString target = QString::fromStdString(Out("x.png"));
    const QStringList bad[] = {
        {"--render", target, "--size", "100000x100000"},
        {"--render", target, "--size", "wide"},
        {"--render", target, "--view", "0"},
        {"--render", target, "--unknown"},
        {"--render", QString::fromStdString(Out("no/such/folder/x.png")), "--size", "64x64"},
        {"--render", QString::fromStdString(Out("x.gif")), "--size", "64x64"},
    };
    for (const QStringList& args : bad) {
        const TRun run = RunNimbora(args);
        EXPECT_NE(run.Exit, 0) << args.join(' ').toStdString();
        EXPECT_NE(run.Err.find("nimbora: "), std::string::npos) << run.Err;
    }
    EXPECT_TRUE(
        QDir(out_.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    const TRun help = RunNimbora({"--help"});
    EXPECT_EQ(help.Exit, 0);
    EXPECT_NE(help.Out.find("--render <file>"), std::string::npos) << help.Out;
}

// Rows of the lower left quarter that hold the status lines' green; first: the top one.
int GreenRows(const QImage& image, int& first) {
    int rows = 0;
    first = -1;
    for (int y = image.height() * 3 / 4; y < image.height(); ++y) {
        bool green = false;
        for (int x = 0; x < image.width() / 4 && !green; ++x)
            green = qGreen(image.pixel(x, y)) > 150 && qRed(image.pixel(x, y)) < 90;
        if (green && first < 0) first = y;
        rows += green;
    }
    return rows;
}

TEST_F(RenderCommand, ViewTakesPlacesByNameTheSunAndTheMoon) {
    ASSERT_TRUE(WriteWholeFile(folder_ + "waypoints.ini",
                               "[Waypoint1]\nName=Base camp\nLat=-12.5\nLon=-60.25\n"));
    const TSunMoon sky = SunMoonAt(45371.5); // 2024-03-20T12:00:00Z
    const auto at = [](double lat, double lon) {
        return QString::number(lat, 'g', 17) + "," + QString::number(lon, 'g', 17);
    };
    const auto picture = [&](const char* file, const QString& view, const QStringList& more) {
        return RunNimbora(QStringList{"--render", QString::fromStdString(Out(file)), "--size",
                                      "160x120", "--no-clouds", "--view", view} +
                          more);
    };
    const QStringList rgb = {"--rgb"}, day = {"--daynight", "--time", "2024-03-20T12:00:00Z"};
    const struct {
        QString byName, byNumbers;
        QStringList more;
    } cases[] = {
        {"JAPAN", "36,138", rgb},
        {"c\xc3\xb4te d'ivoire", "8,-5", rgb},
        {"base camp", "-12.5,-60.25", rgb},
        {"moon", at(sky.MoonLat, sky.MoonLon), day},
    };
    for (const auto& c : cases) {
        const TRun named = picture("named.png", c.byName, c.more);
        ASSERT_EQ(named.Exit, 0) << named.Err;
        ASSERT_EQ(picture("numbers.png", c.byNumbers, c.more).Exit, 0);
        EXPECT_EQ(QImage(QString::fromStdString(Out("named.png"))),
                  QImage(QString::fromStdString(Out("numbers.png"))))
            << c.byName.toStdString();
    }
    // Looking down on the sun at two instants: its sub-solar point, in full day.
    for (const char* instant : {"2024-03-20T12:00:00Z", "2024-12-21T18:30:00Z"}) {
        const QDateTime when = QDateTime::fromString(instant, Qt::ISODate);
        const TSunMoon then = SunMoonAt(when.toMSecsSinceEpoch() / 86400000.0 + 25569);
        const QStringList lit = {"--daynight", "--time", instant};
        ASSERT_EQ(picture("sun.png", "sun", lit).Exit, 0);
        ASSERT_EQ(picture("point.png", at(then.SunLat, then.SunLon), lit).Exit, 0);
        ASSERT_EQ(picture("night.png",
                          at(-then.SunLat, then.SunLon > 0 ? then.SunLon - 180 : then.SunLon + 180),
                          lit)
                      .Exit,
                  0);
        const QImage sun(QString::fromStdString(Out("sun.png")));
        EXPECT_EQ(sun, QImage(QString::fromStdString(Out("point.png")))) << instant;
        const QImage night(QString::fromStdString(Out("night.png")));
        EXPECT_GT(Brightness(sun, 80, 60, 10), 3 * Brightness(night, 80, 60, 10) + 30) << instant;
    }
    const TRun unknown = picture("x.png", "Atlantis", {});
    EXPECT_EQ(unknown.Exit, 2);
    EXPECT_NE(unknown.Err.find("\"Atlantis\""), std::string::npos) << unknown.Err;
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(Out("x.png"))));
}

TEST_F(RenderCommand, TextGrowsWithThePictureAndNoStatusLeavesItOut) {
    const struct {
        const char *file, *size;
        QStringList more;
    } pictures[] = {{"hd.png", "1920x1080", {}},
                    {"uhd.png", "3840x2160", {}},
                    {"bare.png", "1920x1080", {"--no-status"}}};
    int rows[3], top[3];
    for (int k = 0; k < 3; ++k) {
        const QString file = QString::fromStdString(Out(pictures[k].file));
        ASSERT_EQ(RunNimbora(QStringList{"--render", file, "--size", pictures[k].size, "--rgb",
                                         "--no-clouds", "--view", "0,0"} +
                             pictures[k].more)
                      .Exit,
                  0);
        const QImage image(file);
        rows[k] = GreenRows(image, top[k]);
        top[k] = image.height() - top[k];
    }
    EXPECT_GT(rows[0], 20);
    EXPECT_NEAR(rows[1], 2.0 * rows[0], 0.15 * rows[0]);
    EXPECT_NEAR(top[1], 2.0 * top[0], 4);
    EXPECT_EQ(rows[2], 0);
}

TEST_F(RenderCommand, OnePicturePerScreen) {
    // Without a display: one picture at the default size, and a note.
    const TRun alone = RunNimbora(
        {"--output-per-screen", QString::fromStdString(Out("alone-%n.jpg")), "--no-clouds"});
    ASSERT_EQ(alone.Exit, 0) << alone.Err;
    EXPECT_NE(alone.Out.find("No screen to measure"), std::string::npos) << alone.Out;
    EXPECT_EQ(QImage(QString::fromStdString(Out("alone-1.jpg"))).size(), QSize(1920, 1080));

    // Two X screens (Xvfb's Xinerama heads do not reach RandR, which the toolkit asks).
    QProcess xvfb;
    xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "320x200x24", "-screen", "1",
                        "256x160x24", "-nolisten", "tcp"});
    if (!xvfb.waitForStarted(5000)) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(xvfb.waitForReadyRead(10000));
    TRun run;
    {
        TScratchEnv display("DISPLAY", ":" + xvfb.readLine().trimmed().toStdString());
        TScratchEnv platform("QT_QPA_PLATFORM", "xcb");
        run = RunNimbora({"--output-per-screen", QString::fromStdString(Out("s-%n.png"))}, true);
    }
    xvfb.terminate();
    xvfb.waitForFinished(5000);
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(QImage(QString::fromStdString(Out("s-1.png"))).size(), QSize(320, 200));
    EXPECT_EQ(QImage(QString::fromStdString(Out("s-2.png"))).size(), QSize(256, 160));
    EXPECT_EQ(QDir(out_.path()).entryList({"s-*"}).size(), 2);
}

class RenderUpdate : public RenderCommand {
protected:
    void SetUp() override {
        RenderCommand::SetUp();
        if (FindProgram("/usr/sbin/nginx").empty() && FindProgram("nginx").empty())
            GTEST_SKIP() << "nginx is not installed";
        ASSERT_TRUE(WriteWholeFile(root_.str("clouds.jpg"), GreyJpeg(256, 128, 255)));
        const timeval times[2] = {{PictureTime, 0}, {PictureTime, 0}};
        ASSERT_EQ(utimes(root_.str("clouds.jpg").c_str(), times), 0);
        ASSERT_TRUE(nginx_.Start(root_.str())) << nginx_.ErrorLog();
    }
    void Settings(const std::string& path, const std::string& lastDate, int filter = 0) {
        SettingsFor(nginx_.Url(path), lastDate, filter);
    }
    void SettingsFor(const std::string& url, const std::string& lastDate, int filter = 0) {
        ASSERT_TRUE(WriteWholeFile(Ini(), "[Nimbora]\nVersion=033000\nGetCatalogue=0\n[Map]\n"
                                          "ServerUrl=" +
                                              url + "\nServerFilter=" + std::to_string(filter) +
                                              "\nLastDate=" + lastDate + "\n"));
    }
    TRun Render(bool update = true, const QStringList& more = {}) {
        QStringList args = {"--render", QString::fromStdString(Out("u.png")),
                            "--size",   "200x200",
                            "--rgb",    "--view",
                            "0,0"};
        if (update) args << "--update";
        return RunNimbora(args + more);
    }
    int Requests(const std::string& status) {
        const std::string log = nginx_.AccessLog(), what = "\"GET /clouds.jpg HTTP/1.1\" " + status;
        int n = 0;
        for (auto at = log.find(what); at != std::string::npos; at = log.find(what, at + 1))
            ++n;
        return n;
    }
    double Centre() { return Brightness(QImage(QString::fromStdString(Out("u.png"))), 100, 100); }

    TempDir root_;
    NginxServer nginx_;
};

TEST_F(RenderUpdate, FetchesANewerPictureAndDrawsIt) {
    CloudsInHand(0);
    Settings("/clouds.jpg", "2020-01-01T00:00:00+00:00");
    ASSERT_EQ(Render(false).Exit, 0);
    const double clear = Centre();
    const TRun run = Render();
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_NE(run.Out.find("Connecting..."), std::string::npos) << run.Out;
    EXPECT_EQ(ReadWholeFile(folder_ + "clouds.jpg"), ReadWholeFile(root_.str("clouds.jpg")));
    EXPECT_GT(Centre(), clear + 100); // under the white clouds
    EXPECT_NE(nginx_.AccessLog().find("\"GET /clouds.jpg HTTP/1.1\" 200"), std::string::npos);
}

TEST_F(RenderUpdate, KeepsThePictureInHandWhenTheServerHasNothingNewer) {
    CloudsInHand(0);
    const std::string inHand = ReadWholeFile(folder_ + "clouds.jpg");
    Settings("/clouds.jpg", "2021-03-04T05:06:07+00:00"); // the served picture's date
    const TRun run = Render();
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_NE(nginx_.AccessLog().find("\"GET /clouds.jpg HTTP/1.1\" 304"), std::string::npos)
        << nginx_.AccessLog();
    EXPECT_EQ(ReadWholeFile(folder_ + "clouds.jpg"), inHand);
}

TEST_F(RenderUpdate, AFailedFetchSaysSoAndStillDraws) {
    CloudsInHand(0);
    Settings("/missing.jpg", "2020-01-01T00:00:00+00:00");
    const TRun run = Render();
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_NE(run.Out.find("Error: "), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("drawing with the one in hand"), std::string::npos) << run.Out;
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(Out("u.png"))));
}

TEST_F(RenderUpdate, TheNextRunAsksWithTheFetchedPicturesDateAndTheWindowKnowsItsFacts) {
    CloudsInHand(0);
    Settings("/clouds.jpg", "2020-01-01T00:00:00+00:00", 77);
    const std::string settings = ReadWholeFile(Ini());
    const TRun first = Render();
    ASSERT_EQ(first.Exit, 0) << first.Err;
    ASSERT_EQ(Requests("200"), 1) << nginx_.AccessLog();
    const TRun second = Render();
    ASSERT_EQ(second.Exit, 0) << second.Err;
    // Asked with the first picture's date, the server has nothing newer.
    EXPECT_EQ(Requests("304"), 1) << nginx_.AccessLog();
    EXPECT_EQ(Requests("200"), 1);
    EXPECT_NE(second.Out.find(texts::NoNewerPictureText), std::string::npos) << second.Out;
    EXPECT_EQ(ReadWholeFile(Ini()), settings); // still never written

    // The window, whose own settings know nothing of that picture, shows its date, credit and
    // filter level.
    ASSERT_TRUE(WriteWholeFile(home_.SettingsFile(),
                               "[Nimbora]\nVersion=033000\nGetCatalogue=0\n[Map]\n"
                               "LastDate=2020-01-01T00:00:00Z\nAutoFilterVal=5\nCredit=Old\n"));
    auto form = StartMainForm();
    ASSERT_TRUE(WaitFor([&] { return Seam::CloudsShown(*form); }));
    const TDateTimeZ date{25569.0 + PictureTime / 86400.0, 0, true};
    EXPECT_EQ(Seam::MapInfo(*form).LastMap.DateTime, date.DateTime);
    EXPECT_EQ(Seam::UpdateText(*form), CloudsUpdatedText(date));
    EXPECT_EQ(Seam::CreditText(*form), texts::DirectServerCredit);
    EXPECT_EQ(Seam::MapInfo(*form).AutoFilterVal, 77);
}

TEST_F(RenderUpdate, APictureThatCannotBeStoredSaysWhere) {
    // A folder where the picture must go stops even root, unlike a read-only data folder.
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder_ + "clouds.jpg/x")));
    Settings("/clouds.jpg", "2020-01-01T00:00:00+00:00");
    const TRun run = Render();
    ASSERT_EQ(run.Exit, 0) << run.Err;
    std::string where = folder_;
    where.pop_back();
    EXPECT_NE(run.Out.find("Error: Cannot save the cloud picture in " + HomeRelative(where)),
              std::string::npos)
        << run.Out;
    EXPECT_EQ(run.Out.find("Cannot download"), std::string::npos) << run.Out;
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(folder_ + "clouds.ini")));
}

TEST_F(RenderUpdate, GivesUpAtTheTimeoutAndDrawsWithThePictureInHand) {
    CloudsInHand(0);
    const std::string inHand = ReadWholeFile(folder_ + "clouds.jpg");
    ScriptedServer endless;
    ASSERT_TRUE(endless.Start({[](ScriptedServer::Connection& c) {
        c.ReadRequest();
        if (!c.Send("HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n\r\n\xFF\xD8")) return;
        while (c.Send(std::string(100, 'x')) && c.Pause(50)) {
        }
    }}));
    SettingsFor(endless.Url("/clouds.jpg"), "2020-01-01T00:00:00+00:00");
    QElapsedTimer clock;
    clock.start();
    const TRun run = Render(true, {"--timeout", "2"});
    EXPECT_LT(clock.elapsed(), 15000);
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_GE(clock.elapsed(), 2000);
    EXPECT_NE(run.Err.find("longer than 2 s (--timeout)"), std::string::npos) << run.Err;
    EXPECT_NE(run.Out.find("drawing with the one in hand"), std::string::npos) << run.Out;
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(Out("u.png"))));
    EXPECT_EQ(ReadWholeFile(folder_ + "clouds.jpg"), inHand);
    EXPECT_EQ(endless.ConnectionCount(), 1);
}

TEST_F(RenderUpdate, KeepsEveryNewPictureAndTimeDrawsTheNearestKept) {
    CloudsInHand(0);
    Settings("/clouds.jpg", "2020-01-01T00:00:00+00:00");
    ASSERT_EQ(Render().Exit, 0); // white clouds of 05:06 UTC
    ASSERT_TRUE(WriteWholeFile(root_.str("clouds.jpg"), GreyJpeg(256, 128, 0)));
    const timeval later[2] = {{PictureTime + 3 * 3600, 0}, {PictureTime + 3 * 3600, 0}};
    ASSERT_EQ(utimes(root_.str("clouds.jpg").c_str(), later), 0);
    const TRun second = Render(); // a clear sky three hours later
    ASSERT_EQ(second.Exit, 0) << second.Err;
    EXPECT_EQ(QDir(QString::fromStdString(folder_ + "history")).entryList(QDir::Files),
              QStringList({"clouds-20210304T0506Z.jpg", "clouds-20210304T0806Z.jpg"}));

    struct {
        const char* Time;
        bool Cloudy;
    } const cases[] = {
        {"2021-03-04T06:36:00Z", true},   // nearer the first
        {"2021-03-04T06:37:00Z", false},  // nearer the second
        {"2021-03-04T05:06:00Z", true},   // at the first
        {"2021-03-04T05:05:00Z", false},  // before the history: the picture in hand
        {"2021-03-04T07:30:00+02:00", true}, // 05:30 UTC
    };
    for (const auto& c : cases) {
        const TRun run = Render(false, {"--time", c.Time});
        ASSERT_EQ(run.Exit, 0) << run.Err;
        EXPECT_EQ(Centre() > 300, c.Cloudy) << c.Time << " " << Centre();
    }
}

} // namespace
} // namespace nimbora::test
