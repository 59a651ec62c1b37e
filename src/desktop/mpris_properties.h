// The media controls' property values as plain functions of the player's state, so that the rules (what
// counts as a change, the track's id, the volume's scale) are tested as tables without a bus.
//
// Thread contract: none (pure functions).
#pragma once

#include <QString>
#include <QVariantMap>
#include <cstdint>
#include <optional>

#include "desktop/media_player_control.h"

namespace ktv {

inline constexpr char kMprisServiceName[] = "org.mpris.MediaPlayer2.kestrova";
inline constexpr char kMprisObjectPath[] = "/org/mpris/MediaPlayer2";
inline constexpr char kMprisRootInterface[] = "org.mpris.MediaPlayer2";
inline constexpr char kMprisPlayerInterface[] = "org.mpris.MediaPlayer2.Player";
inline constexpr char kMprisNoTrack[] = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

// The object path that names the stream with this id (kMprisNoTrack for 0).
QString MprisTrackId(uint64_t streamId);
// "Playing" or "Stopped" (the player has no pause).
QString MprisPlaybackStatus(const tMediaPlayerState& state);
// mpris:trackid, xesam:title, xesam:url, xesam:genre; only the track id without a stream.
QVariantMap MprisMetadata(const tMediaPlayerState& state);
// The values of the player interface's properties, by name; Position is left out: it changes all the time,
// and the desktop asks for it (a change of it is never signalled).
QVariantMap MprisPlayerProperties(const tMediaPlayerState& state);
// The values of the root interface's properties (they never change while the program runs).
QVariantMap MprisRootProperties();
// The properties whose values differ between two sets (a property missing from `after` is not a change).
QVariantMap ChangedProperties(const QVariantMap& before, const QVariantMap& after);

// A volume the desktop wrote, clamped to 0..1; none for a value that is no number.
std::optional<double> ClampVolume(double volume);
// The player's volume (0 to 65535) as 0..1, and back (rounded to the nearest step).
double VolumeFraction(uint16_t level);
uint16_t VolumeLevel(double fraction);
// An address as a URL: a bare local path becomes a file URL, everything else stays as it is.
QString AddressAsUrl(const QString& address);

}  // namespace ktv
