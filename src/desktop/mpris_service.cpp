#include "desktop/mpris_service.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QMetaObject>
#include <cstdlib>
#include <string>

#include "desktop/mpris_adaptors.h"
#include "desktop/mpris_properties.h"

namespace ktv {

bool SessionBusConfigured() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address && *address) return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || *runtime != '/') return false;
  struct stat info {};
  return stat((std::string(runtime) + "/bus").c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

tMprisService::tMprisService(tPrivate, tMediaPlayerControl& control, const QDBusConnection& bus)
    : Player(control),
      Bus(bus),
      Root(MprisRootProperties()),
      Published(MprisPlayerProperties(control.State())) {
  new tMprisRootAdaptor(*this);  // owned by this object (Qt parent)
  new tMprisPlayerAdaptor(*this);
}

tMprisService::~tMprisService() {
  Bus.unregisterObject(QString::fromLatin1(kMprisObjectPath));
  if (!Name.isEmpty()) Bus.unregisterService(Name);
}

std::unique_ptr<tMprisService> tMprisService::Start(tMediaPlayerControl& control,
                                                    const QDBusConnection& bus) {
  if (!bus.isConnected()) return nullptr;
  auto service = std::make_unique<tMprisService>(tPrivate{}, control, bus);
  if (!service->Bus.registerObject(QString::fromLatin1(kMprisObjectPath), service.get(),
                                   QDBusConnection::ExportAdaptors))
    return nullptr;
  // A second player on the same bus (another user configuration) takes a name of its own.
  for (const QString& name : {QString::fromLatin1(kMprisServiceName),
                              QString::fromLatin1(kMprisServiceName) + QStringLiteral(".instance") +
                                  QString::number(QCoreApplication::applicationPid())}) {
    if (service->Bus.registerService(name)) {
      service->Name = name;
      return service;
    }
  }
  return nullptr;
}

std::unique_ptr<tMprisService> tMprisService::StartOnSessionBus(tMediaPlayerControl& control) {
  if (!SessionBusConfigured()) return nullptr;
  return Start(control, QDBusConnection::sessionBus());
}

void tMprisService::StateChanged() {
  if (RefreshQueued) return;
  RefreshQueued = true;
  QMetaObject::invokeMethod(this, &tMprisService::Refresh, Qt::QueuedConnection);
}

void tMprisService::Refresh() {
  RefreshQueued = false;
  const QVariantMap now = MprisPlayerProperties(Player.State());
  const QVariantMap changed = ChangedProperties(Published, now);
  Published = now;
  if (!changed.isEmpty()) SignalChanged(kMprisPlayerInterface, changed);
}

void tMprisService::SignalChanged(const char* interface, const QVariantMap& changed) {
  QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kMprisObjectPath),
                                                   QStringLiteral("org.freedesktop.DBus.Properties"),
                                                   QStringLiteral("PropertiesChanged"));
  signal << QString::fromLatin1(interface) << changed << QStringList();
  Bus.send(signal);
}

}  // namespace ktv
