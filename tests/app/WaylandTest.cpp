// The real program under a headless Weston: what the compositor shows around the globe is the
// window's black, not the desktop behind it (a frame that left alpha at 0 lets it through).
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLibraryInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>

namespace nimbora::test {
namespace {

bool WaylandPluginInstalled() {
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms");
    return !platforms.entryList({"libqwayland*.so"}, QDir::Files).isEmpty();
}

bool Dark(QRgb p) {
    return qRed(p) + qGreen(p) + qBlue(p) < 30;
}

// The window's black sky: the union of the long dark runs of each row (the desktop's pattern has
// only short ones), and how many rows have one.
struct TSky {
    QRect Box;
    int Rows = 0;
};

TSky FindSky(const QImage& shot) {
    constexpr int LongRun = 250; // the axis splits the bands above and below the globe in two
    TSky sky;
    for (int y = 0; y < shot.height(); ++y) {
        bool found = false;
        for (int x = 0; x < shot.width();) {
            int end = x;
            while (end < shot.width() && Dark(shot.pixel(end, y)))
                ++end;
            if (end - x >= LongRun) {
                sky.Box |= QRect(x, y, end - x, 1);
                found = true;
            }
            x = end + 1;
        }
        if (found) ++sky.Rows;
    }
    return sky;
}

void Stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

// Lit pixels across the middle row of the sky box: the globe.
int GlobeWidth(const QImage& shot, const TSky& sky) {
    int lit = 0;
    for (int x = sky.Box.left(); x <= sky.Box.right(); ++x)
        if (!Dark(shot.pixel(x, sky.Box.center().y()))) ++lit;
    return lit;
}

// Pixels of the options button's silver panel in the top-right corner of the sky box.
int SilverInCorner(const QImage& shot, const TSky& sky) {
    int silver = 0;
    const QRect corner(sky.Box.right() - 40, sky.Box.top(), 41, 40);
    for (int y = corner.top(); y <= corner.bottom(); ++y)
        for (int x = corner.left(); x <= corner.right(); ++x)
            if (shot.valid(x, y) && shot.pixel(x, y) == qRgb(192, 192, 192)) ++silver;
    return silver;
}

TEST(Wayland, SpaceAroundTheGlobeIsBlackOnTheCompositorsScreen) {
    const QString weston = QStandardPaths::findExecutable("weston");
    const QString shooter = QStandardPaths::findExecutable("weston-screenshooter");
    if (weston.isEmpty() || shooter.isEmpty()) GTEST_SKIP() << "weston is not installed";
    if (!WaylandPluginInstalled()) GTEST_SKIP() << "Qt's Wayland plugin is not installed";

    TempDir runtime, home, shots;
    // Wayland clients refuse a runtime folder that others can read.
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString socket =
        QStringLiteral("nimbora-test-%1").arg(QCoreApplication::applicationPid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_SCALE_FACTOR");
    env.insert("XDG_RUNTIME_DIR", runtime.path());

    QProcess compositor;
    compositor.setProcessEnvironment(env);
    compositor.setProcessChannelMode(QProcess::MergedChannels);
    // --debug lets weston-screenshooter take the compositor's own picture.
    compositor.start(weston,
                     {"--backend=headless-backend.so", "--use-pixman", "--debug",
                      "--socket=" + socket, "--width=1024", "--height=768", "--idle-time=0"});
    QElapsedTimer clock;
    clock.start();
    while (!QFileInfo::exists(runtime.file(socket)) && clock.elapsed() < 10000 &&
           compositor.state() != QProcess::NotRunning)
        QThread::msleep(50);
    ASSERT_TRUE(QFileInfo::exists(runtime.file(socket))) << compositor.readAll().toStdString();

    // A settings file that fetches nothing: the test never leaves this machine.
    const QString data = home.path() + "/NimboraProject/Nimbora";
    ASSERT_TRUE(QDir().mkpath(data));
    ASSERT_TRUE(WriteWholeFile((data + "/nimbora.ini").toStdString(),
                               "[Nimbora]\nVersion=033000\nGetCatalogue=0\n"));
    env.insert("WAYLAND_DISPLAY", socket);
    env.insert("QT_QPA_PLATFORM", "wayland");
    env.insert("XDG_DATA_HOME", home.path());
    env.insert("LIBGL_ALWAYS_SOFTWARE", "1");
    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(NIMBORA_BINARY, {});
    ASSERT_TRUE(program.waitForStarted(5000));

    // Screenshots until the window shows with its start-up done, at most about half a minute.
    QProcess screenshot;
    screenshot.setProcessEnvironment(env);
    screenshot.setWorkingDirectory(shots.path());
    QImage shot;
    TSky sky;
    clock.restart();
    while (clock.elapsed() < 30000 && program.state() == QProcess::Running) {
        QThread::msleep(1000);
        screenshot.start(shooter, {});
        screenshot.waitForFinished(10000);
        const QStringList files = QDir(shots.path()).entryList({"*.png"}, QDir::Files, QDir::Time);
        if (files.isEmpty()) continue;
        shot = QImage(shots.file(files.first()));
        for (const QString& file : files)
            QFile::remove(shots.file(file));
        sky = FindSky(shot);
        // Done once the globe has faded in and the options button shows.
        if (sky.Rows >= 60 && GlobeWidth(shot, sky) > 150 && SilverInCorner(shot, sky) > 20) break;
    }
    const std::string log =
        program.state() == QProcess::Running ? std::string() : program.readAll().toStdString();
    Stop(program);
    Stop(compositor);
    ASSERT_FALSE(shot.isNull()) << "no screenshot; " << log;
    // The window's client area is 640 x 480 with bands of sky above and below the globe, and its
    // sky is black beside the globe too.
    EXPECT_GE(sky.Rows, 60) << log;
    EXPECT_GE(sky.Box.width(), 600) << log;
    EXPECT_GE(sky.Box.height(), 440) << log;
    if (sky.Rows < 60 || sky.Box.height() < 440) {
        shot.save(QDir::tempPath() + "/nimbora-wayland-failed.png");
        return;
    }
    const int middle = sky.Box.center().y();
    for (const QPoint at :
         {QPoint(sky.Box.left() + 12, middle), QPoint(sky.Box.right() - 12, middle)}) {
        const QRgb p = shot.pixel(at);
        EXPECT_TRUE(Dark(p)) << at.x() << "," << at.y() << ": " << qRed(p) << " " << qGreen(p)
                             << " " << qBlue(p);
    }
    // The globe is drawn in the middle, and the options button shows above it at the top right.
    const int globe = GlobeWidth(shot, sky), silver = SilverInCorner(shot, sky);
    EXPECT_GT(globe, 150);
    EXPECT_GT(silver, 20);
    if (globe <= 150 || silver <= 20) shot.save(QDir::tempPath() + "/nimbora-wayland-failed.png");
}

} // namespace
} // namespace nimbora::test
