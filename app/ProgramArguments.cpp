#include "app/ProgramArguments.h"

#include "app/RenderCommand.h"

#include <QStringList>
#include <cstring>

namespace nimbora {

bool IsRenderCommand(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        for (const char* name : {"--render", "--output-per-screen"}) {
            const std::size_t n = std::strlen(name);
            if (std::strncmp(a, name, n) == 0 && (a[n] == 0 || a[n] == '=')) return true;
        }
        for (const char* name : {"-h", "--help", "--help-all", "-v", "--version"})
            if (std::strcmp(a, name) == 0) return true;
    }
    return false;
}

namespace {

// Qt's own options, which QApplication takes out of the arguments (with one dash or two).
struct TQtOption {
    const char* Name;
    bool TakesValue;
};
constexpr TQtOption QtOptions[] = {
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"geometry", true},
    {"qwindowtitle", true},
    {"title", true},
    {"qwindowicon", true},
    {"icon", true},
    {"session", true},
    {"display", true},
    {"name", true},
    {"visual", true},
    {"style", true},
    {"stylesheet", true},
    {"reverse", false},
    {"testability", false},
    {"widgetcount", false},
    {"nograb", false},
    {"dograb", false},
};
// The same options written with "=" and their value in one argument.
constexpr const char* QtJoinedOptions[] = {"style=", "stylesheet=", "qmljsdebugger="};

// Whether argv[i] (with the value after it, if it takes one) is an option of the picture mode,
// given without the --render that makes it mean something.
bool IsPictureOption(int argc, char* argv[], int i) {
    for (int count = 1; count <= 2 && i + count <= argc; ++count) {
        QStringList arguments{QStringLiteral("nimbora"), QStringLiteral("--render"),
                              QStringLiteral("x.png")};
        for (int j = i; j < i + count; ++j)
            arguments << QString::fromLocal8Bit(argv[j]);
        TRenderOptions options;
        std::string error;
        if (ParseRenderOptions(arguments, options, error)) return true;
    }
    return false;
}

} // namespace

std::string CheckWindowArguments(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.size() < 2 || argument[0] != '-')
            return "unexpected argument \"" + argument + "\" (see --help)";
        const std::string name = argument.substr(argument[1] == '-' ? 2 : 1);
        const TQtOption* known = nullptr;
        for (const TQtOption& option : QtOptions)
            if (name == option.Name) known = &option;
        bool joined = false;
        for (const char* prefix : QtJoinedOptions)
            joined = joined || (name.rfind(prefix, 0) == 0);
        if (!known && !joined) {
            if (IsPictureOption(argc, argv, i))
                return "the option \"" + argument + "\" works only with --render FILE (see --help)";
            return "unknown option \"" + argument + "\" (see --help)";
        }
        if (known && known->TakesValue && ++i >= argc)
            return "the option \"" + argument + "\" needs a value (see --help)";
    }
    return {};
}

} // namespace nimbora
