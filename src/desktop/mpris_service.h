// The player's media controls on the session bus: the service org.mpris.MediaPlayer2.kestrova with the
// object /org/mpris/MediaPlayer2 and its two interfaces (the application, the player). Desktop shells show
// what plays through it and send the media keys to it.
//
// The service keeps the last values it published; StateChanged (after every change the player knows of)
// compares them with the player's state once the current event is done, and signals the properties that
// changed in one PropertiesChanged per interface.
//
// Thread contract: main thread only (QtDBus delivers the calls there).
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <memory>

#include "desktop/media_player_control.h"

namespace ktv {

class tMprisService : public QObject {
  Q_OBJECT

 public:
  // Registers the object and the service name on `bus` (another player on the same bus already has the
  // name: ".instance<pid>" is added). Null when the bus is not connected or refuses us: the player then runs
  // without media controls.
  static std::unique_ptr<tMprisService> Start(tMediaPlayerControl& control, const QDBusConnection& bus);
  // On the session bus, when one is configured (nothing is started or waited for when there is none).
  static std::unique_ptr<tMprisService> StartOnSessionBus(tMediaPlayerControl& control);
  ~tMprisService() override;

  QString ServiceName() const { return Name; }
  tMediaPlayerControl& Control() { return Player; }
  // The values last published.
  const QVariantMap& PlayerValues() const { return Published; }
  const QVariantMap& RootValues() const { return Root; }

 public slots:
  // The player's state may have changed: compare once the current event is done (changes come in bursts,
  // and the playlist's position moves after the stream opened).
  void StateChanged();
  // Compares now and signals what changed.
  void Refresh();

 private:
  struct tPrivate {
    explicit tPrivate() = default;
  };

 public:
  // Made by Start only.
  tMprisService(tPrivate, tMediaPlayerControl& control, const QDBusConnection& bus);

 private:
  void SignalChanged(const char* interface, const QVariantMap& changed);

  tMediaPlayerControl& Player;
  QDBusConnection Bus;
  QString Name;
  QVariantMap Root;
  QVariantMap Published;
  bool RefreshQueued = false;
};

// True when the environment names a session bus ($DBUS_SESSION_BUS_ADDRESS, or the per-user socket
// $XDG_RUNTIME_DIR/bus). Without one we do not connect at all, so that no bus is launched and no time lost.
bool SessionBusConfigured();

}  // namespace ktv
