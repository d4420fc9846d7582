// Ending the session (SIGTERM) closes the real program like its window's close button does.
#include "GuiSupport.h"

#include <QProcess>
#include <csignal>
#include <fstream>
#include <string>
#include <gtest/gtest.h>

namespace nimbora::test {
namespace {

// Whether the process has a handler for SIGTERM (the SigCgt mask of /proc/PID/status).
bool CatchesSigterm(qint64 pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) != 0) continue;
        const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
        return (mask >> (SIGTERM - 1)) & 1;
    }
    return false;
}

// Starts the real program on a settings file that starts nothing on the network (no catalogue,
// no cached clouds); the view is turned to 190 degrees, which the closing write stores wrapped.
void StartProgram(QProcess& program, const std::string& ini) {
    ASSERT_TRUE(WriteWholeFile(ini, "[Nimbora]\nVersion=033000\nGetCatalogue=0\n"
                                    "[Map]\nLastX=190\n"));
    program.start(QString::fromUtf8(NIMBORA_BINARY), {});
    ASSERT_TRUE(program.waitForStarted(10000));
    // The program catches SIGTERM once its window exists; a fixed pause is too short on a busy
    // machine, where the signal would then end the program before it can save anything.
    ASSERT_TRUE(WaitFor([&] { return CatchesSigterm(program.processId()); }, 30000));
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
