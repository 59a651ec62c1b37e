// Which of Qt's window-system platforms the player runs on. A Wayland session does not let a client place
// its windows, so the console could not hang under the picture there: where an X server stands beside the
// Wayland compositor (Xwayland), the player runs on X11. With Wayland alone it runs natively. A platform the
// user chose (QT_QPA_PLATFORM) always wins.
#pragma once

#include <string>
#include <vector>

namespace ktv {

// The platform to ask Qt for, from the session's variables (null or empty: unset); "" leaves it to Qt.
std::string ChooseQtPlatform(const char* userPlatform, const char* waylandDisplay, const char* display);

// The command line to give QApplication: argv with "-platform NAME" after the program's name when a
// platform was chosen. An argument rather than a variable, so programs the player starts (a browser for a
// link) inherit nothing of the choice. The strings live in `storage`.
std::vector<char*> ArgumentsWithPlatform(int argc, char** argv, const std::string& platform,
                                         std::vector<std::string>& storage);

}  // namespace ktv
