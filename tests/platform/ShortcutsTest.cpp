// Shortcuts: desktop entries written, re-written and removed in a scratch home.
#include "platform/Shortcuts.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace nimbora {
namespace {

namespace fs = std::filesystem;
using test::ReadWholeFile;
using test::TempDir;
using test::TScratchEnv;
using test::WriteWholeFile;

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
    TScratchEnv h("HOME", home.str());
    TScratchEnv d("XDG_DATA_HOME", home.str("data"));
    TScratchEnv c("XDG_CONFIG_HOME", home.str("config")); // no user-dirs.dirs there
    EXPECT_EQ(StartMenuFolder(), home.str("data") + "/applications/");
    EXPECT_EQ(DesktopFolder(), home.str() + "/Desktop/");
    // A desktop set to the home folder means none.
    fs::create_directories(home.str("config"));
    ASSERT_TRUE(WriteWholeFile(home.str("config/user-dirs.dirs"), "XDG_DESKTOP_DIR=\"$HOME/\"\n"));
    EXPECT_EQ(DesktopFolder(), "");
    ASSERT_TRUE(
        WriteWholeFile(home.str("config/user-dirs.dirs"), "XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n"));
    EXPECT_EQ(DesktopFolder(), home.str() + "/Bureau/");
}

TEST(Shortcuts, MarkIsAWholeLine) {
    const struct {
        const char* Text;
        bool Own;
    } cases[] = {
        {"[Desktop Entry]\nName=N\nX-Nimbora-Shortcut=true\n", true},
        {"X-Nimbora-Shortcut=true", true},
        {"[Desktop Entry]\r\nX-Nimbora-Shortcut=true\r\nName=N\r\n", true},
        {"[Desktop Entry]\nX-Nimbora-Shortcut=truely\n", false},
        {"[Desktop Entry]\n#X-Nimbora-Shortcut=true\n", false},
        {"[Desktop Entry]\nX-Nimbora-Shortcut=false\n", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HasShortcutMark(c.Text), c.Own) << c.Text;
}

TEST(Shortcuts, MissingUserFolderIsMadeOwnerOnlyWithItsParents) {
    TempDir home;
    fs::permissions(home.str(),
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    const std::string folder = home.str("a/b/applications") + "/";
    ASSERT_TRUE(MakeUserFolder(folder));
    for (const char* made : {"a", "a/b", "a/b/applications"})
        EXPECT_EQ(fs::status(home.str(made)).permissions(), fs::perms::owner_all) << made;
    // What was there keeps its mode.
    EXPECT_EQ(fs::status(home.str()).permissions(),
              fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    EXPECT_TRUE(MakeUserFolder(folder));
    EXPECT_FALSE(MakeUserFolder("/proc/nimbora-test/applications/"));
    EXPECT_FALSE(MakeUserFolder("relative/applications/"));
}

TEST(Shortcuts, CreatedRecreatedAndRemovedOnlyWhereTheFolderExists) {
    TempDir home;
    const std::string folder = home.str("applications") + "/";
    const TShortcut shortcut = Sample("/opt/nimbora/nimbora");

    // No folder: nothing is saved, and the caller learns why.
    EXPECT_EQ(UpdateShortcut(folder, shortcut, true), TShortcutResult::NoFolder);
    EXPECT_FALSE(fs::exists(folder));

    fs::create_directories(folder);
    EXPECT_EQ(UpdateShortcut(folder, shortcut, true), TShortcutResult::Done);
    ASSERT_TRUE(ShortcutExists(folder, shortcut));
    const std::string file = folder + shortcut.FileName;
    EXPECT_EQ(ReadWholeFile(file), DesktopEntryText(shortcut));
    EXPECT_TRUE(HasShortcutMark(ReadWholeFile(file)));
    EXPECT_NE(fs::status(file).permissions() & fs::perms::owner_exec, fs::perms::none);

    // Again, for a program that moved: the file now points at the new place.
    const TShortcut moved = Sample("/usr/local/bin/nimbora");
    EXPECT_EQ(UpdateShortcut(folder, moved, true), TShortcutResult::Done);
    EXPECT_NE(ReadWholeFile(file).find("Exec=\"/usr/local/bin/nimbora\""), std::string::npos);

    EXPECT_EQ(UpdateShortcut(folder, moved, false), TShortcutResult::Done);
    EXPECT_FALSE(ShortcutExists(folder, moved));
    EXPECT_EQ(UpdateShortcut(folder, moved, false), TShortcutResult::Done); // nothing to remove
}

TEST(Shortcuts, LinkToAnEntryOfOursIsNotOurs) {
    // (A plain file without the mark is tried in the configuration dialog's test.)
    TempDir home;
    const TShortcut shortcut = Sample("/opt/nimbora/nimbora");
    const std::string file = home.str(QString::fromStdString(shortcut.FileName));
    ASSERT_TRUE(WriteWholeFile(home.str("own.desktop"), DesktopEntryText(shortcut)));
    fs::create_symlink(home.str("own.desktop"), file);
    EXPECT_FALSE(ShortcutExists(home.str() + "/", shortcut));
    for (bool install : {true, false})
        EXPECT_EQ(UpdateShortcut(home.str() + "/", shortcut, install), TShortcutResult::Foreign);
    EXPECT_TRUE(fs::is_symlink(file));
}

} // namespace
} // namespace nimbora
