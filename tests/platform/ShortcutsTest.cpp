// Shortcuts: desktop entries written, re-written and removed in a scratch home.
#include "platform/Shortcuts.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace nimbora {
namespace {

namespace fs = std::filesystem;
using test::ReadWholeFile;
using test::TempDir;

class ScratchEnv {
public:
    ScratchEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            had_ = true;
            old_ = old;
        }
        setenv(name, value.c_str(), 1);
    }
    ~ScratchEnv() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

TShortcut Sample(const std::string& exe) {
    TShortcut s;
    s.Name = "Nimbora";
    s.Comment = "The weather on a turning globe";
    s.Executable = exe;
    s.Icon = "/opt/n/nimbora.png";
    return s;
}

TEST(Shortcuts, EntryStartsTheProgramInItsFolderAndQuotesWhatTheShellWouldRead) {
    struct Case {
        std::string Exe, Exec, Path;
    } cases[] = {
        {"/opt/nimbora/nimbora", "Exec=\"/opt/nimbora/nimbora\"", "Path=/opt/nimbora"},
        {"/home/a b/100%/nim$\"x", "Exec=\"/home/a b/100%%/nim\\\\$\\\\\"x\"",
         "Path=/home/a b/100%"},
        {"/x\\y/nimbora", "Exec=\"/x\\\\\\\\y/nimbora\"", "Path=/x\\\\y"},
    };
    for (const Case& c : cases) {
        const std::string text = DesktopEntryText(Sample(c.Exe));
        EXPECT_NE(text.find("\n" + c.Exec + "\n"), std::string::npos) << text;
        EXPECT_NE(text.find("\n" + c.Path + "\n"), std::string::npos) << text;
        EXPECT_EQ(text.rfind("[Desktop Entry]\nType=Application\n", 0), 0u);
        EXPECT_NE(text.find("\nIcon=/opt/n/nimbora.png\n"), std::string::npos);
    }
    // A line break would smuggle in keys of its own.
    EXPECT_EQ(DesktopEntryText(Sample("/tmp/x\nExec=evil")), "");
}

TEST(Shortcuts, FoldersFollowTheUsersSettings) {
    TempDir home;
    ScratchEnv h("HOME", home.str());
    ScratchEnv d("XDG_DATA_HOME", home.str("data"));
    ScratchEnv c("XDG_CONFIG_HOME", home.str("config")); // no user-dirs.dirs there
    EXPECT_EQ(StartMenuFolder(), home.str("data") + "/applications/");
    EXPECT_EQ(DesktopFolder(), home.str() + "/Desktop/");
}

TEST(Shortcuts, CreatedRecreatedAndRemovedOnlyWhereTheFolderExists) {
    TempDir home;
    const std::string folder = home.str("applications") + "/";
    const TShortcut shortcut = Sample("/opt/nimbora/nimbora");

    // No folder: nothing is saved and nothing reported.
    EXPECT_FALSE(UpdateShortcut(folder, shortcut, true));
    EXPECT_FALSE(fs::exists(folder));

    fs::create_directories(folder);
    EXPECT_TRUE(UpdateShortcut(folder, shortcut, true));
    ASSERT_TRUE(ShortcutExists(folder, shortcut));
    const std::string file = folder + shortcut.FileName;
    EXPECT_EQ(ReadWholeFile(file), DesktopEntryText(shortcut));
    EXPECT_NE(fs::status(file).permissions() & fs::perms::owner_exec, fs::perms::none);

    // Again, for a program that moved: the file now points at the new place.
    const TShortcut moved = Sample("/usr/local/bin/nimbora");
    EXPECT_TRUE(UpdateShortcut(folder, moved, true));
    EXPECT_NE(ReadWholeFile(file).find("Exec=\"/usr/local/bin/nimbora\""), std::string::npos);

    EXPECT_TRUE(UpdateShortcut(folder, moved, false));
    EXPECT_FALSE(ShortcutExists(folder, moved));
    EXPECT_TRUE(UpdateShortcut(folder, moved, false)); // removing what is not there is fine
}

} // namespace
} // namespace nimbora
