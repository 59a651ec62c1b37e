// What the desktop's media controls see of the player and may ask of it, kept apart from the windows: the
// program wires the main window to it, and tests stand in a player of their own.
//
// Thread contract: main thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace ktv {

// The player as it is now.
struct tMediaPlayerState {
  bool Playing = false;    // a stream is open (the player has no pause)
  uint64_t StreamId = 0;   // the open stream's id; ids rise and are never reused (0: none)
  QString Title;           // the stream's title (empty until its headers are read)
  QString Url;             // the address playing, as given (a bare path is a local file)
  QStringList Genres;      // the station's genre, when it names one
  double Volume = 1.0;     // 0 to 1
  bool CanPlay = false;    // there is an address to play (again)
  bool CanGoNext = false;  // the playlist has an entry after the one playing
  bool CanGoPrevious = false;
  int64_t PositionUs = 0;  // microseconds played of the open stream

  bool operator==(const tMediaPlayerState&) const = default;
};

class tMediaPlayerControl {
 public:
  virtual ~tMediaPlayerControl() = default;
  virtual tMediaPlayerState State() const = 0;
  virtual void Play() = 0;  // plays the current address again when stopped; nothing while playing
  virtual void Stop() = 0;
  virtual void Next() = 0;
  virtual void Previous() = 0;
  virtual void SetVolume(double volume) = 0;  // 0 to 1, already clamped
  virtual void OpenUri(const QString& uri) = 0;
  virtual void Raise() = 0;  // brings the window to the front, out of the tray
  virtual void Quit() = 0;   // ends the program the way closing its window does (after the call returns)
};

}  // namespace ktv
