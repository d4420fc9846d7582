// Another program destroys the real program's window (where no window manager runs, xdotool's
// windowclose does) while an arrow key turns the globe: the program must stop drawing, keep its
// settings and end, not draw on into a window that is gone.
#include "GuiSupport.h"

#include "support/NetHarness.h"

#include <QGuiApplication>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

namespace nimbora::test {
namespace {

bool Xdotool(const std::string& xdotool, const QStringList& args, QString* output = nullptr) {
    QProcess p;
    p.start(QString::fromStdString(xdotool), args);
    if (!p.waitForFinished(10000) || p.exitCode() != 0) return false;
    if (output) *output = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    return true;
}

TEST(WindowDestroyed, ByAnotherProgramTheProgramEndsAndKeepsTheSettings) {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X display";
    const std::string xdotool = FindProgram("xdotool");
    if (xdotool.empty()) GTEST_SKIP() << "xdotool is not installed";
    TScratchHome home;
    const std::string ini = home.MakeDataFolder() + "nimbora.ini";
    ASSERT_TRUE(WriteWholeFile(ini, "[Nimbora]\nVersion=033000\nGetCatalogue=0\n"
                                    "[Map]\nLastX=10\n"));
    QProcess program;
    program.start(QString::fromUtf8(NIMBORA_BINARY), {});
    ASSERT_TRUE(program.waitForStarted(10000));
    QString window;
    ASSERT_TRUE(Xdotool(xdotool,
                        {"search", "--sync", "--onlyvisible", "--pid",
                         QString::number(program.processId()), "--name", "^Nimbora$"},
                        &window));
    window = window.section('\n', 0, 0);
    QThread::msleep(2000); // the start-up has read the settings

    ASSERT_TRUE(Xdotool(xdotool, {"windowfocus", "--sync", window, "keydown", "Left"}));
    QThread::msleep(1000);
    const bool closed = Xdotool(xdotool, {"windowclose", window});
    const bool ended = program.waitForFinished(5000);
    Xdotool(xdotool, {"keyup", "Left"});
    ASSERT_TRUE(closed);
    ASSERT_TRUE(ended) << "still running after its window was destroyed";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    // The closing write stored the view the held key turned.
    const TIniValue x = IniValue(ReadWholeFile(ini), "Map", "LastX");
    EXPECT_TRUE(x.Found);
    EXPECT_NE(x.Value, "10.0");
}

} // namespace
} // namespace nimbora::test
