#pragma once
// Which of the program's two modes the arguments ask for, and the check that the window is
// given only what it takes. Both run before any application object exists.
#include <string>

namespace nimbora {

// Whether the arguments ask for the command-line mode (--render, --output-per-screen, --help,
// --version) rather than the window.
bool IsRenderCommand(int argc, char* argv[]);

// The window takes Qt's own options (-platform, -display, -geometry, -style ...) and nothing
// else. Empty when the arguments are all of those, else the message for the user, naming the
// first argument that is not. Needs no application object, so it can run before the window
// mode asks for a display.
std::string CheckWindowArguments(int argc, char* argv[]);

} // namespace nimbora
