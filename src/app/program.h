// The program: command line, one running player, the main window and its event loop.
#pragma once

namespace ktv {

// The whole run of kestrova-tv; returns the exit code.
int RunPlayer(int argc, char** argv);

}  // namespace ktv
