#include "app/player_media_control.h"

#include <QCoreApplication>
#include <QTimer>
#include <cmath>

#include "control/stream_controller.h"
#include "desktop/mpris_properties.h"
#include "stream/ogg_thread_manager.h"
#include "ui/command_events.h"
#include "ui/player_main_form.h"

namespace ktv {

tMediaPlayerState tPlayerMediaControl::State() const {
  const tStreamController& streams = Window.Streams();
  tMediaPlayerState state;
  state.Volume = VolumeFraction(Window.Volume());
  state.CanPlay = !streams.CurrentURL().empty();
  state.CanGoNext = streams.HasNext();
  state.CanGoPrevious = streams.HasPrevious();
  tOggThreadManager* stream = streams.Stream();
  if (!stream) return state;
  state.Playing = true;
  state.StreamId = streams.StreamId();
  state.Title = QString::fromStdString(streams.Title());
  state.Url = QString::fromStdString(streams.CurrentURL());
  // The station's genre once its headers are read (the title comes with them); else the playlist's.
  std::string genre = streams.Title().empty() ? std::string() : stream->Receiver().GetGenre();
  const int32_t playing = streams.PlaylistIndex() - 1;
  if (genre.empty() && playing >= 0 && playing < streams.Playlist().Count())
    genre = streams.Playlist()[playing].Genre;
  if (!genre.empty()) state.Genres << QString::fromStdString(genre);
  const double seconds = streams.Position();
  if (std::isfinite(seconds) && seconds > 0)
    state.PositionUs = static_cast<int64_t>(std::llround(seconds * 1e6));
  return state;
}

void tPlayerMediaControl::Play() {
  // A stream that plays is not restarted (the console's play button would reconnect it).
  if (Window.Streams().Stream() || Window.Streams().CurrentURL().empty()) return;
  PostCommand(&Window, CM_PLAY_STOP, 1, 1);
}

void tPlayerMediaControl::Stop() {
  PostCommand(&Window, CM_PLAY_STOP, 0, 0);
}

void tPlayerMediaControl::Next() {
  Window.Streams().PlayNext();
}

void tPlayerMediaControl::Previous() {
  Window.Streams().PlayPrevious();
}

void tPlayerMediaControl::SetVolume(double volume) {
  Window.ChangeVolume(VolumeLevel(volume));
}

void tPlayerMediaControl::OpenUri(const QString& uri) {
  Window.OpenStream(uri);
}

void tPlayerMediaControl::Raise() {
  // As a second start does: out of the tray, restored and in front.
  Window.SecondInstance(QByteArray());
}

void tPlayerMediaControl::Quit() {
  // After the caller's answer is sent.
  TfrmPlayerMain* window = &Window;
  QTimer::singleShot(0, window, [window] {
    window->close();
    QCoreApplication::quit();
  });
}

}  // namespace ktv
