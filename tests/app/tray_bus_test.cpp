// The tray as current desktops host it: over the session bus. A private bus, with a watcher of the test's
// own standing in for the desktop's tray host; the real main window registers its icon there, exports its
// menu, limits the pictures it sends, and comes back from the tray when the host activates the icon.
//
// Qt reads the session bus's address once per process, and decides once whether the desktop's tray is on it:
// the tests here share one bus (tSessionBus::Shared), started before the application exists. CTest runs each
// test in a process of its own; in a run of the whole program an earlier test may already have made Qt decide
// there is no such tray, and the tests here are then skipped.
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QThread>
#include <atomic>
#include <mutex>
#include <vector>

#include "app_test_support.h"
#include "support/session_bus.h"
#include "ui/player_main_form.h"
#include "ui/tv_stand_form.h"

namespace ktv {
namespace {

using namespace ktv::test;

constexpr char kItemInterface[] = "org.kde.StatusNotifierItem";

// Before main, so that every connection Qt makes in this program goes to the private bus.
const bool kBusBeforeTheApplication = [] { return tSessionBus::Shared().Running(); }();

// The desktop's side: takes the icons' registrations. It answers on a thread of its own, as a desktop's
// shell is another process: Qt asks it with blocking calls from the main thread.
class tStatusNotifierWatcher : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)
  Q_PROPERTY(int ProtocolVersion READ ProtocolVersion)
  Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ RegisteredStatusNotifierItems)

 public:
  struct tItem {
    QString Service;  // as registered
    QString Sender;   // the unique name of the registering connection
  };

  bool IsStatusNotifierHostRegistered() const { return true; }
  int ProtocolVersion() const { return 0; }
  QStringList RegisteredStatusNotifierItems() const {
    std::lock_guard<std::mutex> hold(Lock);
    QStringList names;
    for (const tItem& item : Items) names << item.Service;
    return names;
  }
  std::vector<tItem> Registered() const {
    std::lock_guard<std::mutex> hold(Lock);
    return Items;
  }

 public slots:
  void RegisterStatusNotifierItem(const QString& service) {
    {
      std::lock_guard<std::mutex> hold(Lock);
      Items.push_back({service, message().service()});
    }
    emit StatusNotifierItemRegistered(service);
  }
  void RegisterStatusNotifierHost(const QString&) {}

 signals:
  void StatusNotifierItemRegistered(const QString& service);
  void StatusNotifierItemUnregistered(const QString& service);
  void StatusNotifierHostRegistered();

 private:
  mutable std::mutex Lock;
  std::vector<tItem> Items;  // guarded by Lock
};

// The watcher's own thread: the watcher is made, registered and served there, and goes when the thread ends.
class tWatcherThread : public QThread {
 public:
  explicit tWatcherThread(QString address) : Address(std::move(address)) {}
  std::atomic<tStatusNotifierWatcher*> Watcher{nullptr};
  std::atomic<bool> Failed{false};

 protected:
  void run() override {
    tStatusNotifierWatcher watcher;
    QDBusConnection bus = QDBusConnection::connectToBus(Address, "tray-watcher");
    if (bus.registerObject("/StatusNotifierWatcher", &watcher, QDBusConnection::ExportAllContents) &&
        bus.registerService("org.kde.StatusNotifierWatcher")) {
      Watcher = &watcher;
      exec();
      Watcher = nullptr;
    } else {
      Failed = true;
    }
    bus.unregisterService("org.kde.StatusNotifierWatcher");
    bus.unregisterObject("/StatusNotifierWatcher");
  }

 private:
  QString Address;
};

// Counts the icon's NewIcon signals.
class tIconCounter : public QObject {
  Q_OBJECT

 public:
  int Count = 0;

 public slots:
  void NewIcon() { ++Count; }
};

class TrayOnTheBus : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kBusBeforeTheApplication) << "dbus-daemon did not start";
    WatcherThread.start();
    ASSERT_TRUE(WaitUntil([&] { return WatcherThread.Watcher || WatcherThread.Failed; }));
    ASSERT_FALSE(WatcherThread.Failed) << "the watcher took its name on the bus";
    if (!QSystemTrayIcon::isSystemTrayAvailable() && OtherTestsRan())
      GTEST_SKIP() << "an earlier test in this process made Qt decide about the tray; run this test alone";
    Config.Settings->MinimizeToTray = true;
    Config.Settings->PlayInTray = true;
    ASSERT_TRUE(Config.Settings->SaveSettings());
    tPlayerStart start;
    start.UseDirectX = false;  // the desktop's tray (no tray given)
    Window = std::make_unique<TfrmPlayerMain>(*Config.Settings, std::move(start));
    Window->show();
    ASSERT_TRUE(WaitExposed(*Window));
  }
  void TearDown() override {
    Window.reset();
    WatcherThread.quit();
    WatcherThread.wait();
    QDBusConnection::disconnectFromBus("tray-watcher");
    QDBusConnection::disconnectFromBus("tray-client");
  }

  // Tests other than these ran in this process before.
  static bool OtherTestsRan() {
    const ::testing::UnitTest& unit = *::testing::UnitTest::GetInstance();
    return unit.test_to_run_count() > unit.current_test_suite()->test_to_run_count();
  }

  // Minimises into the tray and waits for the icon's registration; the item's address on the bus.
  bool MinimiseToTheBusTray(QString& service) {
    Window->TVStand()->ApplicationMinimize();
    if (!Window->TVStand()->InTray()) return false;
    if (!WaitUntil([&] { return !WatcherThread.Watcher.load()->Registered().empty(); }, 10000)) return false;
    service = WatcherThread.Watcher.load()->Registered().front().Service;
    return !service.isEmpty();
  }
  QDBusMessage Call(const QString& service, const QString& path, const QString& interface,
                    const QString& method, const QVariantList& args = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(args);
    // Asynchronous: the icon answers on this thread's event loop.
    QDBusPendingCall pending = Client.asyncCall(message);
    EXPECT_TRUE(WaitUntil([&] { return pending.isFinished(); }, 10000)) << method.toStdString();
    return pending.reply();
  }

  tSessionBus& Bus = tSessionBus::Shared();
  QDBusConnection Client =
      QDBusConnection::connectToBus(QString::fromStdString(Bus.BusAddress()), "tray-client");
  tWatcherThread WatcherThread{QString::fromStdString(Bus.BusAddress())};
  tTempConfig Config;
  tCaughtBoxes Boxes;
  std::unique_ptr<TfrmPlayerMain> Window;
};

TEST_F(TrayOnTheBus, ActivationRestoresAndTheMenuIsExported) {
  QString service;
  ASSERT_TRUE(MinimiseToTheBusTray(service)) << "the icon registered with the desktop's watcher";
  EXPECT_FALSE(Window->isVisible());

  // The menu: its path from the item, its items from the menu's own interface.
  const QDBusMessage menuPath = Call(service, "/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
                                     {QString::fromLatin1(kItemInterface), QStringLiteral("Menu")});
  ASSERT_EQ(menuPath.type(), QDBusMessage::ReplyMessage) << menuPath.errorMessage().toStdString();
  const QString path =
      menuPath.arguments().value(0).value<QDBusVariant>().variant().value<QDBusObjectPath>().path();
  ASSERT_FALSE(path.isEmpty());
  QProcess gdbus;
  gdbus.start("gdbus", {"call", "--address", QString::fromStdString(Bus.BusAddress()), "--dest", service,
                        "--object-path", path, "--method", "com.canonical.dbusmenu.GetLayout", "--", "0",
                        "-1", "@as []"});
  ASSERT_TRUE(WaitUntil([&] { return gdbus.state() == QProcess::NotRunning; }, 10000));
  const QString layout =
      QString::fromUtf8(gdbus.readAllStandardOutput()) + QString::fromUtf8(gdbus.readAllStandardError());
  for (const char* label : {"Restore", "Play", "Stop", "Quit"})
    EXPECT_TRUE(layout.contains(QStringLiteral("<'%1'>").arg(QLatin1String(label)))) << label << "\n"
                                                                                     << layout.toStdString();

  // The desktop activates the icon (a click on it): the window comes back, once.
  const QDBusMessage activated = Call(service, "/StatusNotifierItem", kItemInterface, "Activate", {0, 0});
  EXPECT_EQ(activated.type(), QDBusMessage::ReplyMessage) << activated.errorMessage().toStdString();
  EXPECT_TRUE(WaitUntil([&] { return Window->isVisible() && !Window->TVStand()->InTray(); }));
  RunEvents(100);
  EXPECT_TRUE(Window->isVisible()) << "and stays";
}

TEST_F(TrayOnTheBus, IconPicturesAreThrottled) {
  QString service;
  ASSERT_TRUE(MinimiseToTheBusTray(service));
  const QString sender = WatcherThread.Watcher.load()->Registered().front().Sender;
  tIconCounter counter;
  ASSERT_TRUE(
      Client.connect(sender, "/StatusNotifierItem", kItemInterface, "NewIcon", &counter, SLOT(NewIcon())));

  // 100 frames a second for two seconds, as a fast video would send them.
  std::vector<unsigned char> y(64 * 48, 120), u(32 * 24, 90), v(32 * 24, 200);
  yuv_buffer frame{};
  frame.y_width = 64;
  frame.y_height = 48;
  frame.y_stride = 64;
  frame.uv_width = 32;
  frame.uv_height = 24;
  frame.uv_stride = 32;
  frame.y = y.data();
  frame.u = u.data();
  frame.v = v.data();
  TfrmTVStandBase& stand = *Window->TVStand();
  stand.VideoAspect = 0.75;
  QElapsedTimer elapsed;
  elapsed.start();
  int pushed = 0;
  while (elapsed.elapsed() < 2000) {
    stand.ShowTrayVideoFrame(&frame, nullptr);
    ++pushed;
    RunEvents(10);
  }
  RunEvents(300);  // the last signals arrive
  EXPECT_GT(pushed, 50) << "frames came faster than the limit";
  // At most four a second, plus the first at once; at least some: the video still runs in the icon.
  EXPECT_LE(counter.Count, static_cast<int>(elapsed.elapsed() / 250) + 1) << pushed << " frames";
  EXPECT_GE(counter.Count, 4);
}

}  // namespace
}  // namespace ktv

#include "tray_bus_test.moc"
