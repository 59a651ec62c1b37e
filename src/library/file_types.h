// Offers the player for Ogg media and playlist files the desktop's way: our own desktop entry with the action
// "Play in Kestrova.TV Player", and our MIME types added to "Added Associations" in mimeapps.list. Nobody's
// default application changes and other programs' associations stay as they are.
//
// The entry's text is data/kestrova-tv-player.desktop.in, the same file the install puts into
// share/applications: an installed player and one run from its build folder offer themselves alike.
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

// The desktop entry for this program path (the Exec lines quote and escape it).
std::string DesktopEntry(const std::string& executable);

// The MIME types of the entry's MimeType line, in its order.
const std::vector<std::string>& PlayerMimeTypes();

// Whether the program at this full path is an installed one: its desktop entry lies in
// `entryFolderFromProgram`, taken from the program's folder (the install layout's "../share/applications").
// The desktop knows an installed player from that entry already, and a copy in the user's folder would
// shadow it, and outlive an uninstall.
bool IsInstalledProgram(const std::string& executable, const std::string& entryFolderFromProgram);

// $XDG_DATA_HOME / $XDG_CONFIG_HOME (or their ~/.local/share and ~/.config defaults) and /proc/self/exe.
tFileTypeRoots DefaultFileTypeRoots();

// True when everything was written. A failure ends the registration where it happened; callers ignore the
// result (nothing is shown to the user), tests check it.
bool RegisterFileTypes(const tFileTypeRoots& roots);

}  // namespace ktv
