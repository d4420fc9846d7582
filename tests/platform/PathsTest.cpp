#include "platform/Paths.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace nimbora {
namespace {

// Sets an environment variable for one test and restores it afterwards.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const char* value) : Name(name) {
        if (const char* old = std::getenv(name)) Old = old, Had = true;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~TScopedEnv() { Had ? setenv(Name, Old.c_str(), 1) : unsetenv(Name); }

private:
    const char* Name;
    std::string Old;
    bool Had = false;
};

TEST(Paths, DataFolderIsCreatedBelowXdgDataHome) {
    test::TempDir dir;
    const std::string base = dir.str("share");
    TScopedEnv xdg("XDG_DATA_HOME", base.c_str());
    const std::string folder = DataFolder("NimboraProject", "Nimbora");
    EXPECT_EQ(folder, base + "/NimboraProject/Nimbora/");
    struct stat st {};
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    // A second call finds the folders in place.
    EXPECT_EQ(DataFolder("NimboraProject", "Nimbora"), folder);
}

TEST(Paths, DataFolderFallsBackToHomeAndToEmpty) {
    test::TempDir dir;
    TScopedEnv xdg("XDG_DATA_HOME", nullptr);
    {
        TScopedEnv home("HOME", dir.path().toUtf8().constData());
        EXPECT_EQ(DataFolder("M", "P"), dir.str() + "/.local/share/M/P/");
    }
    {
        // A file where the maker folder should be: no data folder, files go to the working dir.
        const std::string base = dir.str("blocked");
        TScopedEnv xdg2("XDG_DATA_HOME", base.c_str());
        ASSERT_EQ(mkdir(base.c_str(), 0700), 0);
        ASSERT_TRUE(test::WriteWholeFile(base + "/M", "not a folder"));
        EXPECT_EQ(DataFolder("M", "P"), "");
    }
}

TEST(Paths, SettingsFileIsNamedAfterTheExecutable) {
    EXPECT_EQ(SettingsFileName("/usr/local/bin/nimbora"), "nimbora.ini");
    EXPECT_EQ(SettingsFileName("/opt/Nimbora.bin"), "nimbora.ini");
    EXPECT_EQ(SettingsFileName("Nimbora"), "nimbora.ini");
    TScopedEnv tmp("TMPDIR", "/var/tmp");
    EXPECT_EQ(TempFolder(), "/var/tmp/");
}

} // namespace
} // namespace nimbora
