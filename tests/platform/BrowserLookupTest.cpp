#include "platform/BrowserLookup.h"

#include "support/TempDir.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace nimbora {
namespace {

using test::TempDir;

// A fake desktop: user config, user data and two system data folders under one temp folder.
class FakeXdg {
public:
    FakeXdg() {
        dirs.ConfigHome = tmp.str("config");
        dirs.DataHome = tmp.str("data");
        dirs.DataDirs = {tmp.str("sys1"), tmp.str("sys2")};
    }
    std::string Write(const std::string& relative, const std::string& text) {
        const std::string path = tmp.str(QString::fromStdString(relative));
        QDir().mkpath(QFileInfo(QString::fromStdString(path)).path());
        EXPECT_TRUE(test::WriteWholeFile(path, text));
        return path;
    }
    // Installs a desktop file in the given data folder ("data", "sys1", "sys2").
    void Desktop(const std::string& where, const std::string& id, const std::string& exec) {
        Write(where + "/applications/" + id,
              "[Desktop Entry]\nType=Application\nExec=" + exec + "\n");
    }
    TempDir tmp;
    TXdgDirs dirs;
};

const std::vector<std::string> WebTypes = {"x-scheme-handler/http", "text/html"};

TEST(BrowserLookup, UserChoiceWinsOverSystem) {
    FakeXdg x;
    x.Desktop("sys1", "user.desktop", "user %u");
    x.Desktop("sys1", "system.desktop", "system %u");
    x.Write("sys1/applications/mimeapps.list",
            "[Default Applications]\nx-scheme-handler/http=system.desktop\n");
    x.Write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=user.desktop\n");
    EXPECT_EQ(FindDefaultDesktopId(x.dirs, WebTypes), "user.desktop");
    // Even the user's text/html choice beats the system's http choice.
    x.Write("config/mimeapps.list", "[Default Applications]\ntext/html=user.desktop\n");
    EXPECT_EQ(FindDefaultDesktopId(x.dirs, WebTypes), "user.desktop");
}

TEST(BrowserLookup, HttpHandlerBeforeHtmlHandler) {
    FakeXdg x;
    x.Desktop("sys2", "editor.desktop", "editor %f");
    x.Desktop("sys2", "browser.desktop", "browser %u");
    x.Write("config/mimeapps.list", "[Added Associations]\nx-scheme-handler/http=editor.desktop\n"
                                    "[Default Applications]\ntext/html=editor.desktop\n"
                                    "x-scheme-handler/http=browser.desktop\n");
    EXPECT_EQ(FindDefaultDesktopId(x.dirs, WebTypes), "browser.desktop");
}

TEST(BrowserLookup, FallsBackToHtmlAndToDefaultsList) {
    FakeXdg x;
    x.Desktop("data", "viewer.desktop", "viewer %U");
    x.Write("sys2/applications/defaults.list",
            "[Default Applications]\ntext/html=viewer.desktop\n");
    EXPECT_EQ(FindDefaultDesktopId(x.dirs, WebTypes), "viewer.desktop");
}

TEST(BrowserLookup, SkipsHandlersThatAreNotInstalled) {
    FakeXdg x;
    x.Desktop("sys1", "second.desktop", "second %u");
    x.Write("config/mimeapps.list",
            "[Default Applications]\nx-scheme-handler/http= gone.desktop ; second.desktop;\n");
    EXPECT_EQ(FindDefaultDesktopId(x.dirs, WebTypes), "second.desktop");
    x.Write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=gone.desktop\n");
    EXPECT_EQ(FindDefaultDesktopId(x.dirs, WebTypes), "");
}

TEST(BrowserLookup, MissingFoldersAndFilesFindNothing) {
    FakeXdg x;
    EXPECT_EQ(FindDefaultDesktopId(x.dirs, WebTypes), "");
    EXPECT_EQ(FindDesktopFile(x.dirs, "any.desktop"), "");
    EXPECT_EQ(DesktopCommand(x.dirs, "any.desktop"), "");
    EXPECT_EQ(ReadDesktopExec(x.tmp.str("nothing.desktop")), "");
    TXdgDirs empty;
    EXPECT_EQ(FindDefaultDesktopId(empty, WebTypes), "");
}

TEST(BrowserLookup, UserDesktopFileWinsAndIdsCannotLeaveTheFolders) {
    FakeXdg x;
    x.Desktop("sys1", "b.desktop", "system-b %u");
    x.Desktop("data", "b.desktop", "user-b %u");
    EXPECT_EQ(DesktopCommand(x.dirs, "b.desktop"), "user-b %u");

    x.Write("evil.desktop", "[Desktop Entry]\nExec=evil %u\n"); // beside data/, not inside it
    x.Desktop("data", "sub/inner.desktop", "inner %u");
    x.Write("config/mimeapps.list",
            "[Default Applications]\nx-scheme-handler/http=../../evil.desktop;sub/inner.desktop;"
            ".hidden.desktop;noext\n");
    EXPECT_EQ(FindDefaultDesktopId(x.dirs, WebTypes), "");
    EXPECT_EQ(FindDesktopFile(x.dirs, "../../evil.desktop"), "");
    EXPECT_EQ(FindDesktopFile(x.dirs, "sub/inner.desktop"), "");
}

TEST(BrowserLookup, ReadsOnlyTheEntryGroupsExecLine) {
    struct Case {
        const char* name;
        std::string text;
        std::string exec;
    };
    const std::vector<Case> cases = {
        {"plain", "[Desktop Entry]\nName=B\nExec=/usr/bin/b --new %u\n", "/usr/bin/b --new %u"},
        {"crlf and blanks", "[Desktop Entry]\r\n  Exec = b %u  \r\n", "b %u"},
        {"string escapes", "[Desktop Entry]\nExec=\"/opt/my\\sb\" \"a\\\\\\\\b\" %u\n",
         "\"/opt/my b\" \"a\\\\b\" %u"},
        {"first of two", "[Desktop Entry]\nExec=one %u\nExec=two %u\n", "one %u"},
        {"other group", "[Desktop Action new]\nExec=action %u\n[Desktop Entry]\nName=x\n", ""},
        {"localised key", "[Desktop Entry]\nExec[de]=de %u\nTryExec=b\n", ""},
        {"newline escape", "[Desktop Entry]\nExec=b\\nrm -rf ~ %u\n", ""},
        {"control byte", std::string("[Desktop Entry]\nExec=b \x01 %u\n"), ""},
        {"binary garbage", std::string("\0\xff\xfe[Desktop Entry]\nExec\0=b\n", 27), ""},
    };
    TempDir tmp;
    for (const auto& c : cases) {
        const std::string path = tmp.str("case.desktop");
        ASSERT_TRUE(test::WriteWholeFile(path, c.text));
        EXPECT_EQ(ReadDesktopExec(path), c.exec) << c.name;
    }
}

TEST(BrowserLookup, RefusesOversizedFiles) {
    TempDir tmp;
    const std::string path = tmp.str("big.desktop");
    std::string text = "[Desktop Entry]\nExec=b %u\n";
    text += "Comment=" + std::string(2 << 20, 'x') + "\n";
    ASSERT_TRUE(test::WriteWholeFile(path, text));
    EXPECT_EQ(ReadDesktopExec(path), "");
    const std::string longExec = tmp.str("long.desktop");
    ASSERT_TRUE(test::WriteWholeFile(longExec, "[Desktop Entry]\nExec=" + std::string(5000, 'b')));
    EXPECT_EQ(ReadDesktopExec(longExec), "");
}

TEST(BrowserLookup, FindExecutableTakesTheFirstRunnableFile) {
    TempDir tmp;
    QDir().mkpath(tmp.file("a"));
    QDir().mkpath(tmp.file("b"));
    const std::string plain = tmp.str("a/tool");
    const std::string runnable = tmp.str("b/tool");
    ASSERT_TRUE(test::WriteWholeFile(plain, "#!/bin/sh\n"));
    ASSERT_TRUE(test::WriteWholeFile(runnable, "#!/bin/sh\n"));
    chmod(runnable.c_str(), 0755);
    const std::vector<std::string> dirs = {tmp.str("missing"), tmp.str("a"), tmp.str("b")};
    EXPECT_EQ(FindExecutable("tool", dirs), runnable); // a/tool is not executable
    chmod(plain.c_str(), 0755);
    EXPECT_EQ(FindExecutable("tool", dirs), plain);
    EXPECT_EQ(FindExecutable("b/tool", {tmp.str()}), "");
    EXPECT_EQ(FindExecutable("", dirs), "");
    EXPECT_EQ(FindExecutable("a", {tmp.str()}), ""); // a folder is not a program
}

} // namespace
} // namespace nimbora
