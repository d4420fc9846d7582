#include "core/IniFile.h"
#include "core/support.h"

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

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override { SetDecimalSeparator('.'); }
    void TearDown() override { SetFileWriteFault({}); }
    std::string Make(const std::string& content) {
        const std::string path = dir_.str("test.ini");
        WriteWholeFile(path, content);
        return path;
    }
    TempDir dir_;
};

TEST_F(IniFileTest, ReadsTextValues) {
    const std::string longValue(3000, 'v');
    const std::string path = Make("orphan=1\n"
                                  "[Map]\n"
                                  "LastX = 12.5 \n"
                                  "Url= http://a/b?c=d \n"
                                  "Empty=\n"
                                  "Twice=first\n"
                                  "Twice=second\n"
                                  "no equals sign here\n"
                                  "  [ Other ]  \n"
                                  "Long=" +
                                  longValue +
                                  "\n"
                                  "After=ok\n"
                                  "[MAP]\n"
                                  "OnlyLater=x\n"
                                  "LastX=99\n");
    const TIniFile ini(path);
    struct Case {
        const char* Section;
        const char* Key;
        std::string Expected; // "<default>" when missing
    };
    const Case cases[] = {
        {"Map", "LastX", "12.5"},
        {"map", "lastx", "12.5"}, // names match without regard to case
        {"Map", "Url", "http://a/b?c=d"},
        {"Map", "Empty", ""},
        {"Map", "Twice", "first"},
        {"Map", "Missing", "<default>"},
        {"Map", "OnlyLater", "<default>"}, // a repeated section is not looked at
        {"", "orphan", "<default>"},
        {"Other", "Long", longValue.substr(0, 2047)},
        {"Other", "After", "ok"},
        {"Nowhere", "LastX", "<default>"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ini.ReadString(c.Section, c.Key, "<default>"), c.Expected)
            << c.Section << "/" << c.Key;
    EXPECT_TRUE(ini.ValueExists("MAP", "empty"));
    EXPECT_FALSE(ini.ValueExists("Map", "OnlyLater"));
    EXPECT_TRUE(ini.SectionExists("other"));
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Map", "Other"}));
    EXPECT_EQ(ini.ReadSectionKeys("map"),
              (std::vector<std::string>{"LastX", "Url", "Empty", "Twice"}));
}

TEST_F(IniFileTest, CutsLongValuesOnCharacters) {
    // 2046 ASCII characters and then two-byte characters: the cut keeps whole characters.
    const std::string value = std::string(2046, 'a') + "\xC3\xA9\xC3\xA9";
    const TIniFile ini(Make("[S]\nK=" + value + "\n"));
    EXPECT_EQ(ini.ReadString("S", "K", ""), std::string(2046, 'a') + "\xC3\xA9");
}

TEST_F(IniFileTest, ReadsCrLfFiles) {
    const TIniFile ini(Make("[Proxy]\r\nAddress=host\r\nPort=3128\r\n[Features]\r\nDayNight=1"));
    EXPECT_EQ(ini.ReadString("Proxy", "Address", ""), "host");
    EXPECT_EQ(ini.ReadString("Proxy", "Port", ""), "3128");
    EXPECT_TRUE(ini.ReadBool("Features", "DayNight", false));
}

TEST_F(IniFileTest, MissingFileReadsDefaults) {
    const TIniFile ini(dir_.str("absent.ini"));
    EXPECT_EQ(ini.ReadString("A", "B", "d"), "d");
    EXPECT_EQ(ini.ReadInteger("A", "B", 7), 7);
    EXPECT_FALSE(ini.SectionExists("A"));
}

TEST_F(IniFileTest, TypedReads) {
    struct Case {
        const char* Text;
        int Integer; // default 7
        bool Bool;   // default true
        int Byte;    // default 9
    };
    const Case cases[] = {
        {"12", 12, true, 12},
        {"-5", -5, true, 251},
        {"+3", 3, true, 3},
        {"0", 0, false, 0},
        {"300", 300, true, 44},
        {"0x1F", 31, true, 31},
        {"0XfF", 255, true, 255},
        {"0x1FF", 511, true, 255},
        {"0xFFFFFFFF", -1, true, 255},
        {"0x100000000", 7, true, 9},
        {"abc", 7, true, 9},
        {"", 7, true, 9},
        {"12abc", 7, true, 9},
        {"1.5", 7, true, 9},
        {"0x", 7, true, 9},
        {"2147483647", 2147483647, true, 255},
        {"-2147483648", -2147483647 - 1, true, 0},
        {"2147483648", 7, true, 9},
        {"99999999999999999999", 7, true, 9},
    };
    for (const Case& c : cases) {
        const TIniFile ini(Make(std::string("[S]\nK=") + c.Text + "\n"));
        EXPECT_EQ(ini.ReadInteger("S", "K", 7), c.Integer) << c.Text;
        EXPECT_EQ(ini.ReadBool("S", "K", true), c.Bool) << c.Text;
        EXPECT_EQ(ini.ReadByte("S", "K", 9), c.Byte) << c.Text;
    }
}

TEST_F(IniFileTest, FloatsFollowTheDecimalSeparator) {
    const std::string path = dir_.str("f.ini");
    SetDecimalSeparator(',');
    {
        TIniFile ini(path);
        ini.WriteFloat("S", "A", static_cast<float>(0.15));
        ini.WriteFloat("S", "B", 100.0f);
    }
    EXPECT_EQ(ReadWholeFile(path), "[S]\nA=0,15\nB=100,0\n");
    EXPECT_DOUBLE_EQ(TIniFile(path).ReadFloat("S", "A", -1), 0.15);
    // The same file under "." falls back to the defaults.
    SetDecimalSeparator('.');
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadFloat("S", "A", -1), -1);
    EXPECT_EQ(ini.ReadFloat("S", "B", -2), -2);
    TIniFile(path).WriteFloat("S", "A", static_cast<float>(0.15));
    EXPECT_EQ(ReadWholeFile(path), "[S]\nA=0.15\nB=100,0\n");
}

TEST_F(IniFileTest, WritesChangeOnlyTheirLine) {
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
        const std::string path = dir_.str("w.ini");
        std::filesystem::remove(path);
        if (!c.Before.empty()) WriteWholeFile(path, c.Before);
        TIniFile ini(path);
        ini.WriteString(c.Section, c.Key, "v");
        EXPECT_EQ(ReadWholeFile(path), c.After) << c.Name;
        EXPECT_EQ(ini.ReadString(c.Section, c.Key, ""), "v") << c.Name;
    }
}

// The lines before a write keep their meaning after it, whatever line ends they use.
TEST_F(IniFileTest, LoneCarriageReturnsEndLines) {
    const std::string path = Make("[A]\ra=b\r");
    TIniFile(path).WriteString("B", "y", "v");
    TIniFile(path).WriteString("A", "c", "d");
    const TIniFile ini(path);
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

TEST_F(IniFileTest, ReadsEveryEncodingAFileMayCome) {
    struct Case {
        const char* Name;
        std::string Content;
        std::string Value; // of [A] k, as UTF-8
    };
    const std::string meteo = "M\xC3\xA9t\xC3\xA9o France";
    const Case cases[] = {
        {"UTF-8", "[A]\nk=" + meteo + "\n", meteo},
        {"UTF-8 with byte-order mark", "\xEF\xBB\xBF[A]\nk=" + meteo + "\n", meteo},
        {"byte-order mark before blanks", "\xEF\xBB\xBF  [A]\r\nk=v\r\n", "v"},
        {"Latin-1", "[A]\nk=M\xE9t\xE9o France\n", meteo},
        {"Windows-1252", "[A]\nk=\x80 5 \x96 \x93x\x94\n",
         "\xE2\x82\xAC 5 \xE2\x80\x93 \xE2\x80\x9Cx\xE2\x80\x9D"},
        {"one line of each", "[A]\nj=\xC3\xA9\nk=\xE9\n", "\xC3\xA9"},
        {"UTF-16LE", Utf16(u"[A]\r\nk=M\u00e9t\u00e9o France\r\n", true), meteo},
        {"UTF-16BE", Utf16(u"[A]\nk=M\u00e9t\u00e9o France", false), meteo},
        {"UTF-16 beyond the BMP", Utf16(u"[A]\nk=\U0001F600", true), "\xF0\x9F\x98\x80"},
        {"UTF-16 broken surrogate, odd end", Utf16(u"[A]\nk=\xD800x", true) + "\x01",
         "\xEF\xBF\xBDx\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) {
        const TIniFile ini(Make(c.Content));
        EXPECT_EQ(ini.ReadSections(), std::vector<std::string>{"A"}) << c.Name;
        EXPECT_EQ(ini.ReadString("A", "k", "?"), c.Value) << c.Name;
    }
}

TEST_F(IniFileTest, WritesKeepWhatEncodedFilesSay) {
    // A UTF-8 file with a mark keeps it; the first section is found, not added again.
    std::string path = Make("\xEF\xBB\xBF[A]\nx=1\n");
    TIniFile(path).WriteString("A", "y", "2");
    EXPECT_EQ(ReadWholeFile(path), "\xEF\xBB\xBF[A]\nx=1\ny=2\n");

    // A UTF-16 file becomes UTF-8 with all it held.
    path = Make(Utf16(u"[A]\r\nx=\u00e9\r\n", true));
    TIniFile(path).WriteString("B", "y", "2");
    EXPECT_EQ(ReadWholeFile(path), "[A]\r\nx=\xC3\xA9\r\n[B]\r\ny=2\r\n");

    // Latin-1 lines stay as they were, and keys are still matched by their names.
    path = Make("[A]\nn\xE9=1\nx=\xE9\n");
    TIniFile(path).WriteString("A", "n\xC3\xA9", "2");
    EXPECT_EQ(ReadWholeFile(path), "[A]\nn\xC3\xA9=2\nx=\xE9\n");
    EXPECT_EQ(TIniFile(path).ReadString("A", "x", ""), "\xC3\xA9");
}

TEST_F(IniFileTest, ValuesCannotBreakTheFile) {
    const std::string path = Make("[A]\nx=1\n");
    TIniFile(path).WriteString("A", "x", "evil\n[Proxy]\r\nPassword=stolen");
    const TIniFile ini(path);
    EXPECT_FALSE(ini.SectionExists("Proxy"));
    EXPECT_EQ(ini.ReadString("A", "x", ""), "evil [Proxy]  Password=stolen");
}

TEST_F(IniFileTest, NothingIsCachedBetweenWrites) {
    const std::string path = Make("[A]\nx=1\n");
    TIniFile ini(path);
    // Another copy of the program writes in between.
    WriteWholeFile(path, "[A]\nx=1\n[Other]\ny=2\n");
    ini.WriteString("A", "z", "3");
    EXPECT_EQ(ReadWholeFile(path), "[A]\nx=1\nz=3\n[Other]\ny=2\n");
}

TEST_F(IniFileTest, BatchEqualsSingleWrites) {
    const std::string start = "; keep\n[Map]\nLastX=1\n\n[Features]\r\nDayNight=0\n[map]\nz=1";
    const std::string one = Make(start);
    const std::string two = dir_.str("two.ini");
    WriteWholeFile(two, start);
    TIniBatch batch;
    TIniFile ini(one);
    auto both = [&](const char* s, const char* k, const std::string& v) {
        batch.WriteString(s, k, v);
        ini.WriteString(s, k, v);
    };
    both("Map", "LastY", "2");
    both("New", "a", "b");
    both("features", "DayNight", "1");
    both("Map", "LastX", "3");
    both("New", "c", "d");
    batch.Commit(two);
    EXPECT_EQ(ReadWholeFile(one), ReadWholeFile(two));
}

TEST_F(IniFileTest, PermissionsOfNewAndExistingFiles) {
    const std::string fresh = dir_.str("fresh.ini");
    TIniFile(fresh).WriteString("A", "x", "1");
    EXPECT_EQ(ModeOf(fresh), 0600u);

    const std::string shared = Make("[A]\n");
    ::chmod(shared.c_str(), 0644);
    TIniFile(shared).WriteString("A", "x", "1");
    EXPECT_EQ(ModeOf(shared), 0644u);
}

TEST_F(IniFileTest, ReadOnlyFileIsRefused) {
    const std::string path = Make("[A]\nx=1\n");
    ::chmod(path.c_str(), 0400);
    try {
        TIniFile(path).WriteString("A", "x", "2");
        FAIL() << "write was not refused";
    } catch (const TSettingsWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
    }
    EXPECT_EQ(ReadWholeFile(path), "[A]\nx=1\n");
}

TEST_F(IniFileTest, InterruptedWriteKeepsThePreviousFile) {
    const std::string before = "[A]\nx=1\n" + std::string(100000, ';') + "\n";
    for (TFileWriteStep step :
         {TFileWriteStep::CreateTemp, TFileWriteStep::Write, TFileWriteStep::Permissions,
          TFileWriteStep::Sync, TFileWriteStep::Close, TFileWriteStep::Rename}) {
        const std::string path = Make(before);
        SetFileWriteFault([step](TFileWriteStep s) { return s == step; });
        EXPECT_THROW(TIniFile(path).WriteString("A", "x", "2"), TSettingsWriteError)
            << static_cast<int>(step);
        SetFileWriteFault({});
        EXPECT_EQ(ReadWholeFile(path), before) << static_cast<int>(step);
        EXPECT_EQ(FilesIn(dir_.str()), 1u)
            << "temporary file left, step " << static_cast<int>(step);
    }
    // Without a previous file, a failed write leaves no file at all.
    const std::string absent = dir_.str("absent.ini");
    SetFileWriteFault([](TFileWriteStep s) { return s == TFileWriteStep::Rename; });
    EXPECT_THROW(TIniFile(absent).WriteString("A", "x", "2"), TSettingsWriteError);
    EXPECT_FALSE(std::filesystem::exists(absent));
}

TEST_F(IniFileTest, SpecialFilesAreNeitherReadNorReplaced) {
    const std::string fifo = dir_.str("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Opening a pipe without a writer would block for ever.
    EXPECT_FALSE(TIniFile(fifo).SectionExists("A"));
    EXPECT_THROW(TIniFile(fifo).WriteString("A", "x", "1"), TSettingsWriteError);
    EXPECT_THROW(TIniFile(dir_.str()).WriteString("A", "x", "1"), TSettingsWriteError);
}

TEST_F(IniFileTest, MissingFolderIsRefused) {
    const std::string path = dir_.str("no/such/folder/s.ini");
    EXPECT_THROW(TIniFile(path).WriteString("A", "x", "1"), TSettingsWriteError);
}

TEST_F(IniFileTest, WritesThroughASymbolicLink) {
    const std::string target = Make("[A]\nx=1\n");
    const std::string link = dir_.str("link.ini");
    std::filesystem::create_symlink(target, link);
    TIniFile(link).WriteString("A", "x", "2");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadWholeFile(target), "[A]\nx=2\n");
}

TEST_F(IniFileTest, OversizedFileIsReadInPartAndNotRewritten) {
    std::string big = "[A]\nx=1\n";
    big += std::string(MaxIniFileSize, ';');
    big += "\n[B]\ny=2\n";
    const std::string path = Make(big);
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("A", "x", ""), "1");
    EXPECT_FALSE(ini.SectionExists("B"));
    EXPECT_THROW(TIniFile(path).WriteString("A", "x", "2"), TSettingsWriteError);
    EXPECT_EQ(std::filesystem::file_size(path), big.size());
}

} // namespace
} // namespace nimbora
