// A display without usable OpenGL: the real program says so in its error box and ends without
// crashing and without writing settings. The box is answered with a real key press (xdotool).
#include "GuiSupport.h"

#include "support/NetHarness.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <gtest/gtest.h>

namespace nimbora::test {
namespace {

// Output of a short command, trimmed; empty when it failed.
std::string RunForOutput(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(10000) || p.exitCode() != 0) return {};
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed().toStdString();
}

TEST(NoOpenGL, ShowsTheErrorBoxAndEndsWithoutWritingSettings) {
    const std::string xdotool = FindProgram("xdotool");
    if (xdotool.empty()) GTEST_SKIP() << "xdotool is not installed";
    // Two ways OpenGL goes missing with Mesa: no driver, and no GL integration in Qt.
    const char* const breakers[][2] = {{"LIBGL_DRIVERS_PATH", "/nonexistent"},
                                       {"QT_XCB_GL_INTEGRATION", "none"}};
    for (const auto& breaker : breakers) {
        SCOPED_TRACE(breaker[0]);
        TScratchHome home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(breaker[0], breaker[1]);
        env.insert("XDG_DATA_HOME", QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")));
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QString::fromUtf8(NIMBORA_BINARY), {});
        ASSERT_TRUE(program.waitForStarted(10000));
        const QString pid = QString::number(program.processId());

        // The box of this process, titled "Error".
        std::string box;
        QElapsedTimer clock;
        clock.start();
        while (box.empty() && clock.elapsed() < 20000 && program.state() == QProcess::Running) {
            box = RunForOutput(QString::fromStdString(xdotool),
                               {"search", "--onlyvisible", "--pid", pid, "--name", "^Error$"});
            if (box.empty()) QThread::msleep(100);
        }
        ASSERT_FALSE(box.empty()) << "no error box; exit " << program.exitCode() << " "
                                  << program.readAllStandardError().toStdString();
        box = box.substr(0, box.find('\n'));
        // Return presses the box's OK button.
        RunForOutput(QString::fromStdString(xdotool),
                     {"windowfocus", "--sync", QString::fromStdString(box), "key", "Return"});
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 1);
        EXPECT_FALSE(QFile::exists(QString::fromStdString(home.DataFolder() + "nimbora.ini")));
        EXPECT_TRUE(QDir(QString::fromStdString(home.DataFolder()))
                        .entryList(QDir::Files | QDir::Hidden)
                        .isEmpty());
    }
}

} // namespace
} // namespace nimbora::test
