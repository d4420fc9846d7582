#include "platform/IniStore.h"

#include "core/support.h"
#include "platform/Files.h"

#include "core/SupportTestSeam.h"
#include "platform/FilesTestSeam.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace nimbora {
namespace {

using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

std::size_t FilesIn(const std::string& folder) {
    std::size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        (void)entry;
        ++n;
    }
    return n;
}

// INI writes as they reach the disk: the text each write leaves and the atomic replacement.
// Stores one number, as the settings do.
void WriteIniFloat(const std::string& path, const std::string& section, const std::string& key,
                   double value) {
    TIniBatch batch;
    batch.WriteFloat(section, key, value);
    CommitIni(batch, path);
}

class IniStoreTest : public ::testing::Test {
protected:
    void SetUp() override { SetDecimalSeparator('.'); }
    void TearDown() override { SetFileWriteFault({}); }
    std::string Make(const std::string& content) {
        const std::string path = Dir.str("test.ini");
        WriteWholeFile(path, content);
        return path;
    }
    TempDir Dir;
};

TEST_F(IniStoreTest, FloatsFollowTheDecimalSeparator) {
    const std::string path = Dir.str("f.ini");
    SetDecimalSeparator(',');
    WriteIniFloat(path, "S", "A", static_cast<float>(0.15));
    WriteIniFloat(path, "S", "B", 100.0f);
    EXPECT_EQ(ReadWholeFile(path), "[S]\nA=0,15\nB=100,0\n");
    EXPECT_DOUBLE_EQ(ReadIniFile(path).ReadFloat("S", "A", -1), 0.15);
    // The same file under "." falls back to the defaults.
    SetDecimalSeparator('.');
    const TIniFile ini = ReadIniFile(path);
    EXPECT_EQ(ini.ReadFloat("S", "A", -1), -1);
    EXPECT_EQ(ini.ReadFloat("S", "B", -2), -2);
    WriteIniFloat(path, "S", "A", static_cast<float>(0.15));
    EXPECT_EQ(ReadWholeFile(path), "[S]\nA=0.15\nB=100,0\n");
}

TEST_F(IniStoreTest, WritesChangeOnlyTheirLine) {
    struct Case {
        const char* Name;
        std::string Before;
        const char* Section;
        const char* Key;
        std::string After;
    };
    const Case cases[] = {
        {"new file", "", "Map", "LastX", "[Map]\nLastX=v\n"},
        {"replace in place", "; note\n[Map]\n  lastx = 1 \nLastY=2\n\n[B]\nk=1\n", "MAP", "LastX",
         "; note\n[Map]\nLastX=v\nLastY=2\n\n[B]\nk=1\n"},
        {"append after the last key", "[Map]\nLastX=1\n\n\n[B]\nk=1\n", "Map", "LastY",
         "[Map]\nLastX=1\nLastY=v\n\n\n[B]\nk=1\n"},
        {"append to an empty section", "[Map]\n\n[B]\n", "Map", "K", "[Map]\nK=v\n\n[B]\n"},
        {"append a section", "[A]\nx=1\n", "Map", "K", "[A]\nx=1\n[Map]\nK=v\n"},
        {"no final line end", "[A]\nx=1", "A", "y", "[A]\nx=1\ny=v\n"},
        {"no final line end, new section", "[A]\nx=1", "B", "y", "[A]\nx=1\n[B]\ny=v\n"},
        {"first of two sections", "[A]\nx=1\n[B]\n[a]\ny=2\n", "A", "y",
         "[A]\nx=1\ny=v\n[B]\n[a]\ny=2\n"},
        {"first of two keys", "[A]\nx=1\nx=2\n", "A", "X", "[A]\nX=v\nx=2\n"},
        {"CRLF kept", "[A]\r\nx=1\r\n[B]\r\nz=3\r\n", "A", "y",
         "[A]\r\nx=1\r\ny=v\r\n[B]\r\nz=3\r\n"},
        {"CRLF new section", "[A]\r\nx=1\r\n", "C", "y", "[A]\r\nx=1\r\n[C]\r\ny=v\r\n"},
        {"lone CR at the end, new section", "[A]\ra=b\r", "B", "y", "[A]\ra=b\r\n[B]\ny=v\n"},
        {"lone CR lines, new key", "[A]\rx=1\r[B]\rz=3\r", "A", "y", "[A]\rx=1\r\ny=v\n[B]\rz=3\r"},
        {"byte-order mark, first section", "\xEF\xBB\xBF[A]\nx=1\n[B]\n", "a", "y",
         "\xEF\xBB\xBF[A]\nx=1\ny=v\n[B]\n"},
        {"odd bytes kept", "\xEF\xBB\xBFjunk\n[A]\nbinary\x01=\xFF\n", "A", "k",
         "\xEF\xBB\xBFjunk\n[A]\nbinary\x01=\xFF\nk=v\n"},
    };
    for (const Case& c : cases) {
        const std::string path = Dir.str("w.ini");
        std::filesystem::remove(path);
        if (!c.Before.empty()) WriteWholeFile(path, c.Before);
        WriteIniString(path, c.Section, c.Key, "v");
        EXPECT_EQ(ReadWholeFile(path), c.After) << c.Name;
        EXPECT_EQ(ReadIniFile(path).ReadString(c.Section, c.Key, ""), "v") << c.Name;
    }
}

// The lines before a write keep their meaning after it, whatever line ends they use.
TEST_F(IniStoreTest, LoneCarriageReturnsEndLines) {
    const std::string path = Make("[A]\ra=b\r");
    WriteIniString(path, "B", "y", "v");
    WriteIniString(path, "A", "c", "d");
    const TIniFile ini = ReadIniFile(path);
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(ini.ReadSectionKeys("A"), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(ini.ReadString("A", "a", ""), "b");
    EXPECT_EQ(ini.ReadString("A", "c", ""), "d");
    EXPECT_EQ(ini.ReadString("B", "y", ""), "v");
}

std::string Utf16(const std::u16string& text, bool little) {
    std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
    for (char16_t c : text) {
        const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
        out += little ? std::string{lo, hi} : std::string{hi, lo};
    }
    return out;
}

TEST_F(IniStoreTest, WritesKeepWhatEncodedFilesSay) {
    // A UTF-8 file with a mark keeps it; the first section is found, not added again.
    std::string path = Make("\xEF\xBB\xBF[A]\nx=1\n");
    WriteIniString(path, "A", "y", "2");
    EXPECT_EQ(ReadWholeFile(path), "\xEF\xBB\xBF[A]\nx=1\ny=2\n");

    // A UTF-16 file becomes UTF-8 with all it held.
    path = Make(Utf16(u"[A]\r\nx=\u00e9\r\n", true));
    WriteIniString(path, "B", "y", "2");
    EXPECT_EQ(ReadWholeFile(path), "[A]\r\nx=\xC3\xA9\r\n[B]\r\ny=2\r\n");

    // Latin-1 lines stay as they were, and keys are still matched by their names.
    path = Make("[A]\nn\xE9=1\nx=\xE9\n");
    WriteIniString(path, "A", "n\xC3\xA9", "2");
    EXPECT_EQ(ReadWholeFile(path), "[A]\nn\xC3\xA9=2\nx=\xE9\n");
    EXPECT_EQ(ReadIniFile(path).ReadString("A", "x", ""), "\xC3\xA9");
}

TEST_F(IniStoreTest, ValuesCannotBreakTheFile) {
    const std::string path = Make("[A]\nx=1\n");
    WriteIniString(path, "A", "x", "evil\n[Proxy]\r\nPassword=stolen");
    const TIniFile ini = ReadIniFile(path);
    EXPECT_FALSE(ini.SectionExists("Proxy"));
    EXPECT_EQ(ini.ReadString("A", "x", ""), "evil [Proxy]  Password=stolen");
}

TEST_F(IniStoreTest, NothingIsCachedBetweenWrites) {
    const std::string path = Make("[A]\nx=1\n");
    // Another copy of the program writes in between.
    WriteWholeFile(path, "[A]\nx=1\n[Other]\ny=2\n");
    WriteIniString(path, "A", "z", "3");
    EXPECT_EQ(ReadWholeFile(path), "[A]\nx=1\nz=3\n[Other]\ny=2\n");
}

TEST_F(IniStoreTest, BatchEqualsSingleWrites) {
    const std::string start = "; keep\n[Map]\nLastX=1\n\n[Features]\r\nDayNight=0\n[map]\nz=1";
    const std::string one = Make(start);
    const std::string two = Dir.str("two.ini");
    WriteWholeFile(two, start);
    TIniBatch batch;
    auto both = [&](const char* s, const char* k, const std::string& v) {
        batch.WriteString(s, k, v);
        WriteIniString(one, s, k, v);
    };
    both("Map", "LastY", "2");
    both("New", "a", "b");
    both("features", "DayNight", "1");
    both("Map", "LastX", "3");
    both("New", "c", "d");
    CommitIni(batch, two);
    EXPECT_EQ(ReadWholeFile(one), ReadWholeFile(two));
}

TEST_F(IniStoreTest, PermissionsOfNewAndExistingFiles) {
    const std::string fresh = Dir.str("fresh.ini");
    WriteIniString(fresh, "A", "x", "1");
    EXPECT_EQ(ModeOf(fresh), 0600u);

    const std::string shared = Make("[A]\n");
    ::chmod(shared.c_str(), 0644);
    WriteIniString(shared, "A", "x", "1");
    EXPECT_EQ(ModeOf(shared), 0644u);
}

TEST_F(IniStoreTest, ReadOnlyFileIsRefused) {
    const std::string path = Make("[A]\nx=1\n");
    ::chmod(path.c_str(), 0400);
    try {
        WriteIniString(path, "A", "x", "2");
        FAIL() << "write was not refused";
    } catch (const TSettingsWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
    }
    EXPECT_EQ(ReadWholeFile(path), "[A]\nx=1\n");
}

TEST_F(IniStoreTest, InterruptedWriteKeepsThePreviousFile) {
    const std::string before = "[A]\nx=1\n" + std::string(100000, ';') + "\n";
    for (TFileWriteStep step :
         {TFileWriteStep::CreateTemp, TFileWriteStep::Write, TFileWriteStep::Permissions,
          TFileWriteStep::Sync, TFileWriteStep::Close, TFileWriteStep::Rename}) {
        const std::string path = Make(before);
        SetFileWriteFault([step](TFileWriteStep s) { return s == step; });
        EXPECT_THROW(WriteIniString(path, "A", "x", "2"), TSettingsWriteError)
            << static_cast<int>(step);
        SetFileWriteFault({});
        EXPECT_EQ(ReadWholeFile(path), before) << static_cast<int>(step);
        EXPECT_EQ(FilesIn(Dir.str()), 1u)
            << "temporary file left, step " << static_cast<int>(step);
    }
    // Without a previous file, a failed write leaves no file at all.
    const std::string absent = Dir.str("absent.ini");
    SetFileWriteFault([](TFileWriteStep s) { return s == TFileWriteStep::Rename; });
    EXPECT_THROW(WriteIniString(absent, "A", "x", "2"), TSettingsWriteError);
    EXPECT_FALSE(std::filesystem::exists(absent));
}

TEST_F(IniStoreTest, SpecialFilesAreNeitherReadNorReplaced) {
    const std::string fifo = Dir.str("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Opening a pipe without a writer would block for ever.
    EXPECT_FALSE(ReadIniFile(fifo).SectionExists("A"));
    EXPECT_FALSE(ReadIniFile(Dir.str("absent.ini")).SectionExists("A"));
    EXPECT_THROW(WriteIniString(fifo, "A", "x", "1"), TSettingsWriteError);
    EXPECT_THROW(WriteIniString(Dir.str(), "A", "x", "1"), TSettingsWriteError);
}

TEST_F(IniStoreTest, MissingFolderIsRefused) {
    const std::string path = Dir.str("no/such/folder/s.ini");
    EXPECT_THROW(WriteIniString(path, "A", "x", "1"), TSettingsWriteError);
}

TEST_F(IniStoreTest, WritesThroughASymbolicLink) {
    const std::string target = Make("[A]\nx=1\n");
    const std::string link = Dir.str("link.ini");
    std::filesystem::create_symlink(target, link);
    WriteIniString(link, "A", "x", "2");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadWholeFile(target), "[A]\nx=2\n");
}

TEST_F(IniStoreTest, OversizedFileIsReadInPartAndNotRewritten) {
    std::string big = "[A]\nx=1\n";
    big += std::string(MaxIniFileSize, ';');
    big += "\n[B]\ny=2\n";
    const std::string path = Make(big);
    const TIniFile ini = ReadIniFile(path);
    EXPECT_EQ(ini.ReadString("A", "x", ""), "1");
    EXPECT_FALSE(ini.SectionExists("B"));
    EXPECT_THROW(WriteIniString(path, "A", "x", "2"), TSettingsWriteError);
    EXPECT_EQ(std::filesystem::file_size(path), big.size());
}

} // namespace
} // namespace nimbora
