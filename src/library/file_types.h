// Offers the player for Ogg media and playlist files the desktop's way: our own desktop entry with the action
// "Play in Kestrova.TV Player", and our MIME types added to "Added Associations" in mimeapps.list. Nobody's
// default application changes and other programs' associations stay as they are.
//
// Thread contract: runs once at start, on the main thread, before any window exists.
#pragma once

#include <string>
#include <vector>

namespace ktv {

struct tFileTypeRoots {
  std::string DataHome;         // the desktop entry goes to DataHome/applications/
  std::string ConfigHome;       // mimeapps.list lives here
  std::string Executable;       // full path of the player program
  bool RefreshDatabase = true;  // run update-desktop-database afterwards, when it is installed
};

constexpr const char* kDesktopFileName = "kestrova-tv-player.desktop";

// The MIME types the player opens (Ogg media and the playlist formats).
std::vector<std::string> PlayerMimeTypes();

// $XDG_DATA_HOME / $XDG_CONFIG_HOME (or their ~/.local/share and ~/.config defaults) and /proc/self/exe.
tFileTypeRoots DefaultFileTypeRoots();

// True when everything was written. A failure ends the registration where it happened; callers ignore the
// result (nothing is shown to the user), tests check it.
bool RegisterFileTypes(const tFileTypeRoots& roots);

}  // namespace ktv
