// Ending the session (SIGTERM) closes the real program like its window's close button does.
#include "GuiSupport.h"

#include <QProcess>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

namespace nimbora::test {
namespace {

// Starts the real program on a settings file that starts nothing on the network (no catalogue,
// no cached clouds); the view is turned to 190 degrees, which the closing write stores wrapped.
void StartProgram(QProcess& program, const std::string& ini) {
    ASSERT_TRUE(WriteWholeFile(ini, "[Nimbora]\nVersion=033000\nGetCatalogue=0\n"
                                    "[Map]\nLastX=190\n"));
    program.start(QString::fromUtf8(NIMBORA_BINARY), {});
    ASSERT_TRUE(program.waitForStarted(10000));
    // Give the window time to come up and read its settings.
    QThread::msleep(2500);
    ASSERT_EQ(program.state(), QProcess::Running);
}

// SIGTERM ends the program normally, after the closing write.
void ExpectTermClosesAndSaves(QProcess& program, const std::string& ini) {
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

TEST(TermSignal, ClosesTheProgramAndKeepsTheSettings) {
    TScratchHome home;
    const std::string ini = home.MakeDataFolder() + "nimbora.ini";
    QProcess program;
    StartProgram(program, ini);
    ExpectTermClosesAndSaves(program, ini);
}

// Started under nohup, or as a background job of a script (which ignores SIGINT), the program
// must go on running when the terminal goes away or Ctrl+C is pressed there.
TEST(TermSignal, SignalsIgnoredAtTheStartStayIgnored) {
    TScratchHome home;
    const std::string ini = home.MakeDataFolder() + "nimbora.ini";
    QProcess program;
    program.setChildProcessModifier([] {
        std::signal(SIGHUP, SIG_IGN);
        std::signal(SIGINT, SIG_IGN);
    });
    StartProgram(program, ini);
    for (const int signal : {SIGHUP, SIGINT}) {
        SCOPED_TRACE(signal);
        ::kill(static_cast<pid_t>(program.processId()), signal);
        EXPECT_FALSE(program.waitForFinished(1500));
        ASSERT_EQ(program.state(), QProcess::Running);
    }
    ExpectTermClosesAndSaves(program, ini);
}

} // namespace
} // namespace nimbora::test
