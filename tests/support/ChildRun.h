#pragma once
// Runs one test of this same test program in a fresh process with extra environment: Qt reads
// its scaling and font settings only when the application starts, so a test of another screen
// density needs a process of its own. The child test skips itself in the parent's run.
#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

namespace nimbora::test {

inline constexpr char ChildMarker[] = "NIMBORA_TEST_CHILD";

inline bool InChildProcess() {
    return qEnvironmentVariableIsSet(ChildMarker);
}

struct TChildRun {
    bool Passed = false; // the one test ran and passed
    QString Output;      // what it printed, both channels
};

// env holds "NAME=value" entries added to this process's environment.
inline TChildRun RunTestInChild(const QString& test, const QStringList& env,
                                int timeoutMs = 60000) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : env) {
        const qsizetype eq = entry.indexOf('=');
        environment.insert(entry.left(eq), entry.mid(eq + 1));
    }
    environment.insert(QString::fromLatin1(ChildMarker), QStringLiteral("1"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=") + test});
    TChildRun run;
    if (!child.waitForFinished(timeoutMs)) {
        child.kill();
        child.waitForFinished();
    }
    run.Output = QString::fromLocal8Bit(child.readAll());
    run.Passed = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 &&
                 run.Output.contains(QStringLiteral("[  PASSED  ] 1 test.")) &&
                 !run.Output.contains(QStringLiteral("[  SKIPPED ]"));
    return run;
}

} // namespace nimbora::test
