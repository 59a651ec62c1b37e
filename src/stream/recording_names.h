// Where a recording goes and what it is called: the user's music folder for sound, the videos folder for
// pictures (from the XDG user directories, else the home folder), and a file name made of the station's name
// and the start time that is safe whatever the station calls itself.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>

namespace ktv {

// A station name as part of a file name: valid UTF-8 only, no '/', no control or shell-awkward characters,
// no leading dots, dashes or spaces, at most kMaxStationNameBytes bytes (cut between characters); "Stream"
// when nothing is left.
constexpr size_t kMaxStationNameBytes = 80;
std::string SafeStationName(const std::string& station);

// "<station> YYYY-MM-DD HH.MM.SS.ogg" (".ogv" with pictures); `copy` above 1 adds " (copy)" before the
// extension, for a name that is taken.
std::string RecordingFileName(const std::string& station, const std::tm& start, bool video, int copy = 1);

// The value of `key` (XDG_MUSIC_DIR, XDG_VIDEOS_DIR) in the text of a user-dirs.dirs file: an absolute path,
// or "$HOME/..." with `home` put in. Empty when the key is missing or its value is not of that form (the
// file is read as text, never as a shell script). "$HOME/" alone gives `home`.
std::string UserDirFromText(const std::string& text, const std::string& key, const std::string& home);

// The folder for a new recording: the user's videos or music folder when it exists, else $HOME; empty when
// there is neither.
std::string RecordingFolder(bool video);

}  // namespace ktv
