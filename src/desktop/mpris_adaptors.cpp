#include "desktop/mpris_adaptors.h"

#include "desktop/mpris_properties.h"
#include "desktop/mpris_service.h"

namespace ktv {

// --- org.mpris.MediaPlayer2 ----------------------------------------------------------------------------

tMprisRootAdaptor::tMprisRootAdaptor(tMprisService& service)
    : QDBusAbstractAdaptor(&service), Service(service) {}

QVariant tMprisRootAdaptor::Value(const char* name) const {
  return Service.RootValues().value(QString::fromLatin1(name));
}

bool tMprisRootAdaptor::CanQuit() const {
  return Value("CanQuit").toBool();
}
bool tMprisRootAdaptor::CanRaise() const {
  return Value("CanRaise").toBool();
}
bool tMprisRootAdaptor::HasTrackList() const {
  return Value("HasTrackList").toBool();
}
QString tMprisRootAdaptor::Identity() const {
  return Value("Identity").toString();
}
QString tMprisRootAdaptor::DesktopEntry() const {
  return Value("DesktopEntry").toString();
}
QStringList tMprisRootAdaptor::SupportedUriSchemes() const {
  return Value("SupportedUriSchemes").toStringList();
}
QStringList tMprisRootAdaptor::SupportedMimeTypes() const {
  return Value("SupportedMimeTypes").toStringList();
}

void tMprisRootAdaptor::Raise() {
  Service.Control().Raise();
}
void tMprisRootAdaptor::Quit() {
  Service.Control().Quit();
}

// --- org.mpris.MediaPlayer2.Player ---------------------------------------------------------------------

tMprisPlayerAdaptor::tMprisPlayerAdaptor(tMprisService& service)
    : QDBusAbstractAdaptor(&service), Service(service) {}

QVariant tMprisPlayerAdaptor::Value(const char* name) const {
  return Service.PlayerValues().value(QString::fromLatin1(name));
}

QString tMprisPlayerAdaptor::PlaybackStatus() const {
  return Value("PlaybackStatus").toString();
}
QVariantMap tMprisPlayerAdaptor::Metadata() const {
  return Value("Metadata").toMap();
}
double tMprisPlayerAdaptor::Volume() const {
  return Value("Volume").toDouble();
}
void tMprisPlayerAdaptor::SetVolume(double volume) {
  // A value that is no number changes nothing.
  if (const std::optional<double> clamped = ClampVolume(volume)) Service.Control().SetVolume(*clamped);
}
qlonglong tMprisPlayerAdaptor::Position() const {
  // Asked for, never signalled: read now.
  return static_cast<qlonglong>(Service.Control().State().PositionUs);
}
double tMprisPlayerAdaptor::Rate() const {
  return Value("Rate").toDouble();
}
double tMprisPlayerAdaptor::MinimumRate() const {
  return Value("MinimumRate").toDouble();
}
double tMprisPlayerAdaptor::MaximumRate() const {
  return Value("MaximumRate").toDouble();
}
bool tMprisPlayerAdaptor::CanGoNext() const {
  return Value("CanGoNext").toBool();
}
bool tMprisPlayerAdaptor::CanGoPrevious() const {
  return Value("CanGoPrevious").toBool();
}
bool tMprisPlayerAdaptor::CanPlay() const {
  return Value("CanPlay").toBool();
}
bool tMprisPlayerAdaptor::CanPause() const {
  return Value("CanPause").toBool();
}
bool tMprisPlayerAdaptor::CanSeek() const {
  return Value("CanSeek").toBool();
}
bool tMprisPlayerAdaptor::CanControl() const {
  return Value("CanControl").toBool();
}

void tMprisPlayerAdaptor::Next() {
  Service.Control().Next();
}
void tMprisPlayerAdaptor::Previous() {
  Service.Control().Previous();
}
void tMprisPlayerAdaptor::Pause() {
  // The player cannot pause (CanPause is false): nothing happens.
}
void tMprisPlayerAdaptor::PlayPause() {
  // Without a pause the play/pause key toggles between playing and stopped, as the console's buttons do.
  if (Service.Control().State().Playing)
    Service.Control().Stop();
  else
    Service.Control().Play();
}
void tMprisPlayerAdaptor::Stop() {
  Service.Control().Stop();
}
void tMprisPlayerAdaptor::Play() {
  Service.Control().Play();
}
void tMprisPlayerAdaptor::Seek(qlonglong) {
  // Streams cannot seek (CanSeek is false).
}
void tMprisPlayerAdaptor::SetPosition(const QDBusObjectPath&, qlonglong) {}
void tMprisPlayerAdaptor::OpenUri(const QString& uri) {
  if (!uri.trimmed().isEmpty()) Service.Control().OpenUri(uri);
}

}  // namespace ktv
