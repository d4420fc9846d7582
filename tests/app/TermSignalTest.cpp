// Ending the session (SIGTERM) closes the real program like its window's close button does.
#include "GuiSupport.h"

#include <QProcess>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

namespace nimbora::test {
namespace {

TEST(TermSignal, ClosesTheProgramAndKeepsTheSettings) {
    TScratchHome home;
    const std::string folder = home.MakeDataFolder();
    const std::string ini = folder + "nimbora.ini";
    // No catalogue and no cached clouds: the program starts nothing on the network.
    ASSERT_TRUE(WriteWholeFile(ini, "[Nimbora]\nVersion=033000\nGetCatalogue=0\n"
                                    "[Map]\nLastX=190\n"));
    QProcess program;
    program.start(QString::fromUtf8(NIMBORA_BINARY), {});
    ASSERT_TRUE(program.waitForStarted(10000));
    // Give the window time to come up and read its settings.
    QThread::msleep(2500);
    ASSERT_EQ(program.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    const std::string text = ReadWholeFile(ini);
    // The closing write happened: the view is stored wrapped, with the rest of the first group.
    EXPECT_EQ(IniValue(text, "Map", "LastX").Value, "-170.0");
    EXPECT_TRUE(IniValue(text, "Map", "LastDate").Found);
    EXPECT_TRUE(IniValue(text, "Proxy", "Autodetect").Found);
}

} // namespace
} // namespace nimbora::test
