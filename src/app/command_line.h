// The player's command line:
//   kestrova-tv [--] [SOURCE...]
//   kestrova-tv --screenshot DIR [--after SECONDS] [--backend gl|raster] [--] [SOURCE...]
// The first source plays and the others follow it as a playlist. "--" ends the options, so that a file
// whose name starts with "--" can be given.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace ktv {

struct tCommandLine {
  QStringList Sources;             // stream addresses, Ogg files or playlists, in the order given
  QString ScreenshotDir;           // screenshot mode when not empty
  double AfterSeconds = 3;         // screenshot mode: how long the source plays before the pictures
  std::optional<bool> UseDirectX;  // --backend: gl (true) or raster (false), for this run only
};

// False with a message for a command line that cannot be used.
bool ParseCommandLine(const QStringList& arguments, tCommandLine& line, QString& error);

}  // namespace ktv
