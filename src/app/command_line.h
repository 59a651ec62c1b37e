// The player's command line:
//   kestrova-tv [SOURCE]
//   kestrova-tv --screenshot DIR [--after SECONDS] [--backend gl|raster] [SOURCE]
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace ktv {

struct tCommandLine {
  QString Source;                  // the first argument: a stream address, an Ogg file or a playlist
  QString ScreenshotDir;           // screenshot mode when not empty
  double AfterSeconds = 3;         // screenshot mode: how long the source plays before the pictures
  std::optional<bool> UseDirectX;  // --backend: gl (true) or raster (false), for this run only
};

// False with a message for a command line that cannot be used.
bool ParseCommandLine(const QStringList& arguments, tCommandLine& line, QString& error);

}  // namespace ktv
