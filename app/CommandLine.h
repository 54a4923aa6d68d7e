// The program's command line. QApplication takes Qt's own options (-platform, -style and the
// rest); the program adds --help and --version and takes no other argument.
#pragma once

#include <optional>

// Before the QApplication exists. Where no display can be reached and none is asked for (no
// DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM or -platform), Qt is pointed at its offscreen
// platform, so that --help, --version and a usage error still answer on a text terminal
// instead of Qt aborting; the window itself then refuses to start.
void PrepareCommandLinePlatform(int argc, char** argv);

// After the QApplication exists. --help, --help-all and --version answer on standard output
// and end the process with status 0; any other argument is a usage error on standard error
// with status 2. Returns the status to end with, or nothing when the window is to open.
std::optional<int> ProcessCommandLine();
