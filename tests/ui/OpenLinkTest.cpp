#include "ui/extensioninfo.h"

#include "support/TempDir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <optional>

namespace nimbora {
namespace {

using test::TempDir;

// Records what would have been started instead of starting it.
struct Launches {
    struct Call {
        std::string program;
        std::vector<std::string> args;
    };
    std::vector<Call> calls;
    bool result = true;
};

class OpenLinkFixture : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(tmp.file("bin"));
        browser = Program("browser");
        env.Split.SearchDirs = {tmp.str("bin")};
        env.BrowserCommand = [this] { return command; };
        env.Launch = [this](const std::string& program, const std::vector<std::string>& args) {
            launches.calls.push_back({program, args});
            return launches.result;
        };
    }
    std::string Program(const std::string& name) {
        const std::string path = tmp.str(QString::fromStdString("bin/" + name));
        EXPECT_TRUE(test::WriteWholeFile(path, "#!/bin/sh\n"));
        chmod(path.c_str(), 0755);
        return path;
    }
    std::string Write(const std::string& relative, const std::string& text) {
        const std::string path = tmp.str(QString::fromStdString(relative));
        QDir().mkpath(QFileInfo(QString::fromStdString(path)).path());
        EXPECT_TRUE(test::WriteWholeFile(path, text));
        return path;
    }
    TempDir tmp;
    std::string browser;
    std::string command = "browser --new-tab %u";
    TLinkEnv env;
    Launches launches;
};

TEST_F(OpenLinkFixture, RefusesAddressesThatAreNotWebOrMail) {
    const char* refused[] = {
        "",
        "   ",
        "file:///etc/passwd",
        "FILE:/etc/passwd",
        "javascript:alert(1)",
        "data:text/html,<script>x</script>",
        "ftp://example.org/x",
        "www.example.org",
        "example.org/page",
        "/home/user/page.html",
        "../page.html",
        "//example.org/x",
        "http:relative",
        "http://",
        "mailto:",
        "-new-window",
    };
    for (const char* address : refused) {
        EXPECT_FALSE(OpenLink(address, env)) << address;
        EXPECT_EQ(SafeLinkAddress(address), "") << address;
    }
    EXPECT_TRUE(launches.calls.empty());
}

TEST_F(OpenLinkFixture, StartsTheBrowserWithTheAddressAsOneArgument) {
    struct Case {
        std::string address;
        std::string passed;
    };
    const std::vector<Case> cases = {
        {"http://example.org/a?b=1+c,d=2#top", "http://example.org/a?b=1+c,d=2#top"},
        {"  HTTPS://Example.org/x  ", "https://example.org/x"},
        {"mailto:me@example.org?subject=Hi", "mailto:me@example.org?subject=Hi"},
        {"http://example.org/a b\"c'd", "http://example.org/a%20b%22c%27d"},
        {"http://example.org/$(reboot);`id`|x",
         "http://example.org/%24%28reboot%29%3B%60id%60%7Cx"},
        {"http://example.org/a?b=1&c=!x\\y", "http://example.org/a?b=1%26c=%21x%5Cy"},
        {"http://example.org/%7e%41", "http://example.org/~A"},
    };
    for (const auto& c : cases) {
        launches.calls.clear();
        ASSERT_TRUE(OpenLink(c.address, env)) << c.address;
        ASSERT_EQ(launches.calls.size(), 1u);
        EXPECT_EQ(launches.calls[0].program, browser);
        EXPECT_EQ(launches.calls[0].args, (std::vector<std::string>{"--new-tab", c.passed}))
            << c.address;
    }
}

TEST_F(OpenLinkFixture, HostileExecLineReachesNoShell) {
    command = "browser --x=$(touch /tmp/p);rm \"%u\" %k";
    ASSERT_TRUE(OpenLink("http://example.org/", env));
    ASSERT_EQ(launches.calls.size(), 1u);
    EXPECT_EQ(launches.calls[0].program, browser);
    EXPECT_EQ(launches.calls[0].args,
              (std::vector<std::string>{"--x=$(touch", "/tmp/p);rm", "http://example.org/"}));
}

TEST_F(OpenLinkFixture, FallsBackToXdgOpenOnlyWithoutAUsableBrowser) {
    command.clear();
    EXPECT_FALSE(OpenLink("http://example.org/", env)); // no browser, no opener
    const std::string opener = Program("xdg-open");
    ASSERT_TRUE(OpenLink("http://example.org/", env));
    command = "nosuchbrowser %u";
    ASSERT_TRUE(OpenLink("http://example.org/", env));
    ASSERT_EQ(launches.calls.size(), 2u);
    for (const auto& call : launches.calls) {
        EXPECT_EQ(call.program, opener);
        EXPECT_EQ(call.args, std::vector<std::string>{"http://example.org/"});
    }
}

TEST_F(OpenLinkFixture, FailedStartIsReported) {
    launches.result = false;
    EXPECT_FALSE(OpenLink("http://example.org/", env));
    EXPECT_EQ(launches.calls.size(), 1u);
}

TEST_F(OpenLinkFixture, UsesTheBrowserOfTheDesktopAssociations) {
    TXdgDirs dirs;
    dirs.ConfigHome = tmp.str("config");
    dirs.DataHome = tmp.str("data");
    dirs.DataDirs = {tmp.str("sys")};
    Write("sys/applications/browser.desktop", "[Desktop Entry]\nExec=browser --private %U\n");
    Write("sys/applications/editor.desktop", "[Desktop Entry]\nExec=editor %F\n");
    Write("sys/applications/mimeapps.list", "[Default Applications]\ntext/html=editor.desktop\n");
    Write("config/mimeapps.list",
          "[Default Applications]\nx-scheme-handler/http=browser.desktop\n");

    const TExtensionInfo info = GetExtensionInfo(".htm", dirs);
    EXPECT_TRUE(info.Known);
    EXPECT_EQ(info.Command, "browser --private %U");
    EXPECT_EQ(GetExtensionInfo(".HTML", dirs).Command, "browser --private %U");
    EXPECT_FALSE(GetExtensionInfo(".nosuchextension", dirs).Known);
    EXPECT_EQ(GetClassCommand("editor.desktop", dirs), "editor %F");
    EXPECT_EQ(GetClassCommand("missing.desktop", dirs), "");

    env.BrowserCommand = [&] { return GetExtensionInfo(".htm", dirs).Command; };
    ASSERT_TRUE(OpenLink("https://example.org/", env));
    ASSERT_EQ(launches.calls.size(), 1u);
    EXPECT_EQ(launches.calls[0].program, browser);
    EXPECT_EQ(launches.calls[0].args,
              (std::vector<std::string>{"--private", "https://example.org/"}));
}

// Sets environment variables for one test and restores them.
class ScopedEnv {
public:
    void Set(const char* name, const std::string& value) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// A handler that hands the address to a shell, started for real: the address must arrive as
// data, never as commands.
TEST_F(OpenLinkFixture, ShellHandlerRunsNoCommandFromTheAddress) {
    const std::string got = tmp.str("got-args");
    const std::string created = tmp.str("x");
    const std::string script = tmp.str("bin/browser");
    ASSERT_TRUE(test::WriteWholeFile(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" > " + got +
                                                 ".part\n"
                                                 "mv " +
                                                 got + ".part " + got + "\n"));
    chmod(script.c_str(), 0755);
    Write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=sh.desktop\n");
    Write("data/applications/sh.desktop",
          "[Desktop Entry]\nType=Application\nExec=sh -c \"browser %u\"\n");
    ScopedEnv scoped;
    scoped.Set("HOME", tmp.str());
    scoped.Set("XDG_CONFIG_HOME", tmp.str("config"));
    scoped.Set("XDG_DATA_HOME", tmp.str("data"));
    scoped.Set("XDG_DATA_DIRS", tmp.str("sys"));
    scoped.Set("PATH", tmp.str("bin") + ":/usr/bin:/bin");

    const std::string address = "https://example.com/$(touch$IFS" + created + ")";
    ASSERT_EQ(GetExtensionInfo(".htm").Command, "sh -c \"browser %u\"");
    ASSERT_TRUE(OpenLink(address));
    QElapsedTimer waited;
    waited.start();
    while (!QFileInfo::exists(QString::fromStdString(got)) && waited.elapsed() < 10000)
        QThread::msleep(20);
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(got))) << "the browser never ran";
    QThread::msleep(200); // time for anything the shell might have started besides
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(created)));
    EXPECT_EQ(test::ReadWholeFile(got),
              "https://example.com/%24%28touch%24IFS" + created + "%29\n");
}

} // namespace
} // namespace nimbora
