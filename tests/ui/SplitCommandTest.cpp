#include "ui/extensioninfo.h"

#include "support/TempDir.h"

#include <QDir>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

namespace nimbora {
namespace {

using test::TempDir;

const std::string A = "http://example.org/page?x=1&y=2";

// Two program folders standing in for the system and Windows folders (or $PATH).
class SplitFixture : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(tmp.file("system"));
        QDir().mkpath(tmp.file("windows"));
        env.SearchDirs = {tmp.str("system"), tmp.str("windows")};
        env.GetEnv = [this](const std::string& name) -> std::optional<std::string> {
            auto it = vars.find(name);
            if (it == vars.end()) return std::nullopt;
            return it->second;
        };
    }
    std::string Program(const std::string& folder, const std::string& name) {
        const std::string path = tmp.str(QString::fromStdString(folder + "/" + name));
        EXPECT_TRUE(test::WriteWholeFile(path, "#!/bin/sh\n"));
        chmod(path.c_str(), 0755);
        return path;
    }
    TempDir tmp;
    TSplitEnv env;
    std::map<std::string, std::string> vars;
};

struct SplitCase {
    const char* name;
    std::string command;
    std::string address;
    std::string program;
    std::string arguments;
    bool success;
};

TEST_F(SplitFixture, RegistryStyleTemplates) {
    vars["ProgramFiles"] = "C:\\Program Files";
    const std::vector<SplitCase> cases = {
        {"quoted path, -url and quoted %1", "\"C:\\Browser\\b.exe\" -url \"%1\"", A,
         "C:\\Browser\\b.exe", "-url \"" + A + "\"", true},
        {"unquoted path and %1", "C:\\Browser\\b.exe %1", A, "C:\\Browser\\b.exe", A, true},
        {"quoted path and -new", "\"C:\\Browser\\b.exe\" -new", A, "C:\\Browser\\b.exe",
         "-new \"" + A + "\"", true},
        {"quoted path alone", "\"C:\\Browser\\b.exe\"", A, "C:\\Browser\\b.exe", A, true},
        {"second quoted placeholder goes", "\"C:\\Browser\\b.exe\" \"%1\" \"%2\"", A,
         "C:\\Browser\\b.exe", "\"" + A + "\"", true},
        {"second bare placeholder goes", "C:\\Browser\\b.exe %1 %2 -x", A, "C:\\Browser\\b.exe",
         A + "  -x", true}, // the blank after a removed placeholder stays
        {"placeholder between options", "C:\\Browser\\b.exe -a %1 -b", A, "C:\\Browser\\b.exe",
         "-a " + A + " -b", true},
        {"path alone, upper case", "  C:\\Browser\\B.EXE  ", A, "C:\\Browser\\B.EXE", A, true},
        {"trailing blank before address", "\"C:\\Browser\\b.exe\" -new ", A, "C:\\Browser\\b.exe",
         "-new \"" + A + "\"", true},
        {"quotes in the address doubled", "\"C:\\Browser\\b.exe\" -new", "a\"b",
         "C:\\Browser\\b.exe", "-new \"a\"\"b\"", true},
        {"environment expanded", "\"%ProgramFiles%\\b.exe\" \"%1\"", A, "C:\\Program Files\\b.exe",
         "\"" + A + "\"", true},
        {"unknown variable kept", "\"%NoSuchThing%\\b.exe\" %1", A, "%NoSuchThing%\\b.exe", A,
         true},
        {"something glued to .exe", "C:\\Browser\\b.exec %1", A, "", "", false},
        {"empty template, address is a program", "", "C:\\Tools\\setup.EXE", "C:\\Tools\\setup.EXE",
         "", true},
        {"empty template, ordinary address", "", A, "", "", false},
    };
    for (const auto& c : cases) {
        const TSplitResult r = SplitCommand(c.command, c.address, env);
        EXPECT_EQ(r.Program, c.program) << c.name;
        EXPECT_EQ(r.Arguments, c.arguments) << c.name;
        EXPECT_EQ(r.Success, c.success) << c.name;
    }
}

TEST_F(SplitFixture, BareExeNameIsLookedForInSystemThenWindowsFolder) {
    // Nowhere: nothing to start.
    TSplitResult r = SplitCommand("b.exe %1", A, env);
    EXPECT_FALSE(r.Success);
    EXPECT_EQ(r.Program, "");

    const std::string inWindows = Program("windows", "b.exe");
    r = SplitCommand("b.exe %1", A, env);
    EXPECT_TRUE(r.Success);
    EXPECT_EQ(r.Program, inWindows);
    EXPECT_EQ(r.Arguments, A);

    const std::string inSystem = Program("system", "b.exe");
    r = SplitCommand("b.exe %1", A, env);
    EXPECT_EQ(r.Program, inSystem);
}

TEST_F(SplitFixture, DesktopExecTemplates) {
    const std::string browser = Program("windows", "browser");
    const std::vector<SplitCase> cases = {
        {"program and %u", "browser %u", A, browser, A, true},
        {"program alone", "browser", A, browser, A, true},
        {"options and %U", "browser --new-window %U", A, browser, "--new-window " + A, true},
        {"file codes too", "browser %F", A, browser, A, true},
        {"no placeholder", "browser --flag", A, browser, "--flag \"" + A + "\"", true},
        {"icon, caption and file codes dropped", "browser %i %c %k %u", A, browser, A, true},
        {"percent escape", "browser --zoom=50%% %u", A, browser, "--zoom=50% " + A, true},
        {"second placeholder goes", "browser %u %u", A, browser, A, true},
        {"quoted absolute path", "\"/opt/My Browser/run\" --new-window %u", A,
         "/opt/My Browser/run", "--new-window " + A, true},
        {"escaped quote in path", "\"/opt/a\\\"b/run\" %u", A, "/opt/a\"b/run", A, true},
        {"absolute path used as it is", "/usr/lib/b/run %u", A, "/usr/lib/b/run", A, true},
        {"not on the path", "nosuchbrowser %u", A, "", A, false},
        {"unclosed quote", "\"/opt/b %u", A, "", "", false},
        {"field code as program", "%u", A, "", "", false},
        {"only blanks", "   ", A, "", "", false},
    };
    for (const auto& c : cases) {
        const TSplitResult r = SplitCommand(c.command, c.address, env);
        EXPECT_EQ(r.Program, c.program) << c.name;
        EXPECT_EQ(r.Success, c.success) << c.name;
        if (c.success) {
            EXPECT_EQ(r.Arguments, c.arguments) << c.name;
        }
    }
}

// A field code inside a quoted argument may reach a shell: it becomes one shell-quoted word
// there, while a quoted argument made of the field code alone is one plain argument.
TEST_F(SplitFixture, FieldCodeInsideQuotesIsShellQuoted) {
    const std::string sh = Program("windows", "sh");
    struct Case {
        std::string command, address;
        std::vector<std::string> args;
    };
    const std::vector<Case> cases = {
        {"sh -c \"browser %u\"", "http://e.org/", {"-c", "browser 'http://e.org/'"}},
        {"sh -c \"browser %u\"", "http://e.org/it's", {"-c", "browser 'http://e.org/it'\\''s'"}},
        {"sh -c \"browser %u\"",
         "http://e.org/$(id)\"`\\",
         {"-c", "browser 'http://e.org/$(id)\"`\\'"}},
        {"sh -c \"browser \\\"x\\\" %U\"",
         "http://e.org/",
         {"-c", "browser \"x\" 'http://e.org/'"}},
        {"sh \"%u\" -x", "http://e.org/", {"http://e.org/", "-x"}},
    };
    for (const Case& c : cases) {
        const TSplitResult r = SplitCommand(c.command, c.address, env);
        ASSERT_TRUE(r.Success) << c.command;
        EXPECT_EQ(r.Program, sh) << c.command;
        EXPECT_EQ(SplitArguments(r.Arguments), c.args) << c.command << " / " << c.address;
    }
}

TEST_F(SplitFixture, LongTemplatesAreCut) {
    const std::string command = "C:\\b.exe " + std::string(2000, 'x') + " %1";
    const TSplitResult r = SplitCommand(command, A, env);
    EXPECT_TRUE(r.Success);
    // The placeholder lies beyond the kept part, so the address is appended instead.
    EXPECT_EQ(r.Arguments, std::string(1024 - 9, 'x') + " \"" + A + "\"");
}

TEST(SplitArguments, CutsAtBlanksOutsideQuotes) {
    struct Case {
        std::string text;
        std::vector<std::string> args;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"   ", {}},
        {"-url \"http://a/b\"", {"-url", "http://a/b"}},
        {"  a   b\tc ", {"a", "b", "c"}},
        {"\"a b\" c", {"a b", "c"}},
        {"x\"y z\"w", {"xy zw"}},
        {"\"\"", {""}},
        {"\"a\\\"b\\\\c\\$\\`\"", {"a\"b\\c$`"}},
        {"\"C:\\dir\\x\"", {"C:\\dir\\x"}},
        {"\"unclosed arg", {"unclosed arg"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitArguments(c.text), c.args) << c.text;
}

} // namespace
} // namespace nimbora
