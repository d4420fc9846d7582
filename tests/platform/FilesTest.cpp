// Removing what interrupted saves left behind: only our own temporary names, only old plain
// files.
#include "platform/Files.h"

#include "core/IniFile.h"

#include "platform/FilesTestSeam.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbora {
namespace {

using test::TempDir;
using test::WriteWholeFile;

TEST(StaleTemps, OnlyOurOwnOldTemporaryFilesGo) {
    TempDir dir;
    const std::string folder = dir.str() + "/";
    enum TKind { File, Folder, Link };
    struct TCase {
        const char* name;
        TKind kind;
        int age; // seconds
        bool removed;
    };
    const TCase cases[] = {
        {".nimbora.ini.Ab3xYz", File, 3600, true},
        {".waypoints.ini.Q1w2E3", File, 60, true}, // exactly a minute
        {".nimbora.ini.young1", File, 50, false},  // perhaps a running copy's save
        {".nimbora.ini.future", File, -3600, false},
        {".nimbora.ini.keep", File, 3600, false},
        {".nimbora.ini.ABCDEFG", File, 3600, false},
        {".nimbora.ini.AB-DEF", File, 3600, false},
        {".other.ini.ABCDEF", File, 3600, false},
        {"nimbora.ini.ABCDEF", File, 3600, false},
        {"..nimbora.ini.ABCDEF", File, 3600, false},
        {"nimbora.ini", File, 3600, false},
        {".nimbora.ini.DIRxyz", Folder, 3600, false},
        {".nimbora.ini.LNKxyz", Link, 3600, false},
    };
    const std::string target = dir.str("target");
    ASSERT_TRUE(WriteWholeFile(target, "kept"));
    const std::time_t now = std::time(nullptr);
    for (const TCase& c : cases) {
        const std::string path = folder + c.name;
        const bool made = c.kind == File     ? WriteWholeFile(path, "x")
                          : c.kind == Folder ? mkdir(path.c_str(), 0700) == 0
                                             : symlink(target.c_str(), path.c_str()) == 0;
        ASSERT_TRUE(made) << c.name;
        const timespec times[2] = {{now - c.age, 0}, {now - c.age, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << c.name;
    }
    const int expected = 2;
    EXPECT_EQ(RemoveStaleReplacementTemps(folder, {"nimbora.ini", "waypoints.ini"}), expected);
    for (const TCase& c : cases) {
        struct stat st {};
        EXPECT_EQ(lstat((folder + c.name).c_str(), &st) != 0, c.removed) << c.name;
    }
    EXPECT_EQ(test::ReadWholeFile(target), "kept");
    // A folder that cannot be read removes nothing and does not fail.
    EXPECT_EQ(RemoveStaleReplacementTemps(folder + "missing/", {"nimbora.ini"}), 0);
}

TEST(StaleTemps, TheNameIsTheOneAnAtomicReplacementUses) {
    TempDir dir;
    const std::string path = dir.str("nimbora.ini");
    // A save that fails after its temporary file was written leaves nothing; one cut off by a
    // kill would leave that file, and the sweep must know its name.
    std::string seen;
    SetFileWriteFault([&](TFileWriteStep step) {
        if (step != TFileWriteStep::Rename) return false;
        for (const auto& entry : std::filesystem::directory_iterator(dir.str()))
            seen = entry.path().filename().string();
        return true;
    });
    EXPECT_THROW(ReplaceFileAtomically(path, "[A]\n"), TSettingsWriteError);
    SetFileWriteFault({});
    EXPECT_TRUE(IsReplacementTemp(seen, "nimbora.ini")) << seen;
}

} // namespace
} // namespace nimbora
