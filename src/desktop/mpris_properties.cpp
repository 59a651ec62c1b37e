#include "desktop/mpris_properties.h"

#include <QDBusObjectPath>
#include <QStringList>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <string>

#include "library/file_types.h"

namespace ktv {

namespace {

constexpr char kTrackPathPrefix[] = "/org/kestrova/tv/stream/";
constexpr double kRate = 1.0;  // streams play at their own pace only

}  // namespace

QString MprisTrackId(uint64_t streamId) {
  if (streamId == 0) return QString::fromLatin1(kMprisNoTrack);
  return QString::fromLatin1(kTrackPathPrefix) + QString::number(streamId);
}

QString MprisPlaybackStatus(const tMediaPlayerState& state) {
  return state.Playing ? QStringLiteral("Playing") : QStringLiteral("Stopped");
}

QVariantMap MprisMetadata(const tMediaPlayerState& state) {
  QVariantMap metadata;
  const uint64_t id = state.Playing ? state.StreamId : 0;
  metadata.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(MprisTrackId(id))));
  if (!state.Playing) return metadata;
  if (!state.Title.isEmpty()) metadata.insert(QStringLiteral("xesam:title"), state.Title);
  if (!state.Url.isEmpty()) metadata.insert(QStringLiteral("xesam:url"), AddressAsUrl(state.Url));
  if (!state.Genres.isEmpty()) metadata.insert(QStringLiteral("xesam:genre"), state.Genres);
  return metadata;
}

QVariantMap MprisPlayerProperties(const tMediaPlayerState& state) {
  return {
      {QStringLiteral("PlaybackStatus"), MprisPlaybackStatus(state)},
      {QStringLiteral("Metadata"), MprisMetadata(state)},
      {QStringLiteral("Volume"), state.Volume},
      {QStringLiteral("Rate"), kRate},
      {QStringLiteral("MinimumRate"), kRate},
      {QStringLiteral("MaximumRate"), kRate},
      {QStringLiteral("CanPlay"), state.CanPlay},
      {QStringLiteral("CanPause"), false},
      {QStringLiteral("CanSeek"), false},
      {QStringLiteral("CanControl"), true},
      {QStringLiteral("CanGoNext"), state.CanGoNext},
      {QStringLiteral("CanGoPrevious"), state.CanGoPrevious},
  };
}

QVariantMap MprisRootProperties() {
  QStringList mimeTypes;
  for (const std::string& type : PlayerMimeTypes()) mimeTypes << QString::fromStdString(type);
  // The desktop entry's name without ".desktop".
  QString entry = QString::fromLatin1(kDesktopFileName);
  entry.chop(static_cast<int>(std::char_traits<char>::length(".desktop")));
  return {
      {QStringLiteral("Identity"), QStringLiteral("Kestrova.TV Player")},
      {QStringLiteral("DesktopEntry"), entry},
      {QStringLiteral("CanQuit"), true},
      {QStringLiteral("CanRaise"), true},
      {QStringLiteral("HasTrackList"), false},
      {QStringLiteral("SupportedUriSchemes"),
       QStringList{QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("file")}},
      {QStringLiteral("SupportedMimeTypes"), mimeTypes},
  };
}

QVariantMap ChangedProperties(const QVariantMap& before, const QVariantMap& after) {
  QVariantMap changed;
  for (auto it = after.constBegin(); it != after.constEnd(); ++it) {
    const auto old = before.constFind(it.key());
    if (old == before.constEnd() || old.value() != it.value()) changed.insert(it.key(), it.value());
  }
  return changed;
}

std::optional<double> ClampVolume(double volume) {
  if (std::isnan(volume)) return std::nullopt;
  return std::clamp(volume, 0.0, 1.0);
}

double VolumeFraction(uint16_t level) {
  return level / 65535.0;
}

uint16_t VolumeLevel(double fraction) {
  const double clamped = ClampVolume(fraction).value_or(0.0);
  return static_cast<uint16_t>(std::lround(clamped * 65535.0));
}

QString AddressAsUrl(const QString& address) {
  if (address.startsWith(QLatin1Char('/'))) return QUrl::fromLocalFile(address).toString(QUrl::FullyEncoded);
  return address;
}

}  // namespace ktv
