#pragma once
// The command-line mode: a picture of the globe as the window would show it, written to a file,
// with no window and no display needed (for desktop backgrounds, web pages, status screens).
#include "app/RenderOptions.h"

namespace nimbora {

// Runs the command-line mode to its end and returns the exit status: 0 for a written picture
// (and for --help and --version), 1 when the picture could not be made or written, 2 for
// unusable options. Messages go to standard error, the update's status texts to standard output.
int RunRenderCommand(int argc, char* argv[]);

} // namespace nimbora
