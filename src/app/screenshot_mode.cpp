#include "app/screenshot_mode.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>

#include "playback/qt/player_base_class.h"
#include "stream/ogg_thread_manager.h"
#include "ui/command_events.h"
#include "ui/my_message_box.h"
#include "ui/player_main_form.h"
#include "ui/tv_stand_form.h"

namespace ktv {

namespace {

constexpr int kPollMs = 20;
constexpr int kMaxWaitMs = 10000;  // a window that has not appeared by then is reported as missing
constexpr int kSettleMs = 150;     // a shown window's first paints

QJsonObject Bounds(const QRect& r) {
  return {{"x", r.x()}, {"y", r.y()}, {"width", r.width()}, {"height", r.height()}};
}

}  // namespace

tScreenshotRun::tScreenshotRun(TfrmPlayerMain& window, QString folder, double afterSeconds)
    : Window(window), Folder(std::move(folder)), AfterSeconds(afterSeconds) {
  SetMessageBoxHandler([this](const QString& text, const QString&, int) {
    Messages << text;
    return static_cast<int>(IDOK);
  });
  auto dialog = [this](uint32_t command) {
    return [this, command]() -> QWidget* {
      SendCommand(&Window, command);
      return Window.OpenDialog();
    };
  };
  Steps = {
      {QStringLiteral("main"), [this]() -> QWidget* { return &Window; }},
      {QStringLiteral("console"), [this]() -> QWidget* { return Window.TVStand(); }},
      {QStringLiteral("settings"), dialog(CM_SETTINGS)},
      {QStringLiteral("open"), dialog(CM_OPEN_URL)},
      {QStringLiteral("about"), dialog(CM_ABOUT)},
      {QStringLiteral("info"), dialog(CM_STREAM_INFO)},
      {QStringLiteral("directory"), dialog(CM_DIRECTORY)},
      {QStringLiteral("playlist"), dialog(CM_PLAYLIST)},
      {QStringLiteral("message"),
       [this]() -> QWidget* {
         auto* box = new TMyMessageBox(&Window);
         box->setAttribute(Qt::WA_DeleteOnClose);
         // The first box the run would have shown, else the one the information command gives alone.
         box->Setup(
             Messages.isEmpty() ? QStringLiteral("There is currently no stream open.") : Messages.first(),
             QStringLiteral("Error"), MB_ICONEXCLAMATION);
         box->Open();
         return box;
       }},
  };
}

tScreenshotRun::~tScreenshotRun() {
  SetMessageBoxHandler({});
}

void tScreenshotRun::Start() {
  if (!QDir().mkpath(Folder)) {
    std::fprintf(stderr, "kestrova-tv: cannot make %s\n", qPrintable(Folder));
    Failed = true;
  }
  QTimer::singleShot(static_cast<int>(AfterSeconds * 1000), this, [this] { RunStep(0); });
}

QImage tScreenshotRun::ShapedGrab(QWidget& widget) {
  const QImage picture = widget.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const QRegion shape = widget.mask();
  if (shape.isEmpty()) return picture;
  QImage shaped(picture.size(), QImage::Format_ARGB32_Premultiplied);
  shaped.setDevicePixelRatio(picture.devicePixelRatio());
  shaped.fill(Qt::transparent);
  QPainter painter(&shaped);
  painter.setClipRegion(shape);
  painter.drawImage(QPoint(0, 0), picture);
  return shaped;
}

void tScreenshotRun::RunStep(size_t index) {
  if (index >= Steps.size()) {
    Finish();
    return;
  }
  QWidget* target = Steps[index].Open();
  if (!target) {
    std::fprintf(stderr, "kestrova-tv: no window for %s.png\n", qPrintable(Steps[index].Name));
    Failed = true;
    QTimer::singleShot(0, this, [this, index] { RunStep(index + 1); });
    return;
  }
  TakeWhenReady(index, target, 0);
}

void tScreenshotRun::TakeWhenReady(size_t index, QWidget* target, int waitedMs) {
  QPointer<QWidget> guard(target);
  const bool ready = target->isVisible() && target->windowHandle() && target->windowHandle()->isExposed() &&
                     !Window.StartupFadeRunning();
  if (!ready && waitedMs < kMaxWaitMs) {
    QTimer::singleShot(kPollMs, this, [this, index, guard, waitedMs] {
      if (guard) TakeWhenReady(index, guard, waitedMs + kPollMs);
    });
    return;
  }
  // A little longer for the first paints of a window just shown.
  QTimer::singleShot(ready && waitedMs == 0 ? 0 : kSettleMs, this, [this, index, guard] {
    if (!guard) {
      Failed = true;
    } else {
      Save(*guard, Steps[index].Name);
      if (index == 1) {
        MainReport = BuildReport();
        SavePlayer();
      }
      if (auto* form = qobject_cast<tSkinnedForm*>(guard.data())) form->SetModalResult(mrCancel);
    }
    QTimer::singleShot(0, this, [this, index] { RunStep(index + 1); });
  });
}

void tScreenshotRun::Save(QWidget& widget, const QString& name) {
  SaveImage(ShapedGrab(widget), name);
}

void tScreenshotRun::SaveImage(const QImage& image, const QString& name) {
  const QString path = QDir(Folder).filePath(name + QStringLiteral(".png"));
  if (!image.save(path, "PNG")) {
    std::fprintf(stderr, "kestrova-tv: cannot write %s\n", qPrintable(path));
    Failed = true;
  }
}

void tScreenshotRun::SavePlayer() {
  // The main window and the console as they stand together on the screen.
  QWidget* console = Window.TVStand();
  QRect area = Window.frameGeometry();
  if (console && console->isVisible()) area |= console->frameGeometry();
  QImage player(area.size(), QImage::Format_ARGB32_Premultiplied);
  player.fill(Qt::transparent);
  QPainter painter(&player);
  painter.drawImage(Window.frameGeometry().topLeft() - area.topLeft(), ShapedGrab(Window));
  if (console && console->isVisible())
    painter.drawImage(console->frameGeometry().topLeft() - area.topLeft(), ShapedGrab(*console));
  painter.end();
  SaveImage(player, QStringLiteral("player"));
}

QString tScreenshotRun::BuildReport() const {
  QJsonObject report;
  const QRect frame = Window.frameGeometry();
  QJsonObject main = Bounds(frame);
  // The client areas as well: a window manager's frame (or margin) makes them differ from the bounds.
  main["client_x"] = Window.geometry().x();
  main["client_y"] = Window.geometry().y();
  main["client_width"] = Window.width();
  main["client_height"] = Window.height();
  report["main"] = main;
  tPlayerBaseClass* player = Window.Player();
  report["border"] = player && player->GetShowTVBorder();
  report["insets"] = QJsonArray{player ? player->BorderInsetX() : 0, player ? player->BorderInsetY() : 0};
  const QSize video = Window.VideoSize();  // 0 x 0 without a video
  report["video"] = QJsonObject{{"width", video.width()}, {"height", video.height()}};
  const QScreen* screen = Window.screen() ? Window.screen() : QGuiApplication::primaryScreen();
  report["screen"] = Bounds(screen ? screen->availableGeometry() : QRect());
  if (TfrmTVStandBase* console = Window.TVStand()) {
    QJsonObject bounds = Bounds(console->frameGeometry());
    bounds["caption"] = console->windowTitle();
    bounds["client_x"] = console->geometry().x();
    bounds["client_y"] = console->geometry().y();
    bounds["client_width"] = console->width();
    bounds["client_height"] = console->height();
    report["console"] = bounds;
    report["marquee"] = console->MarqueeText();
    report["clock"] = console->ClockText();
  }
  report["backend"] = Window.BackEndIsDirectX() ? "gl" : "raster";
  report["state"] = Window.ThreadManager() ? Window.ThreadManager()->Receiver().GetState() : 0;
  // The stream's opening to its first picture in the window; null while it has shown none.
  const int32_t firstPicture = Window.ThreadManager() ? Window.ThreadManager()->FirstPictureMs.load() : -1;
  report["first_picture_ms"] = firstPicture < 0 ? QJsonValue() : QJsonValue(firstPicture);
  report["title"] = Window.Title();
  report["frames_shown"] =
      static_cast<qint64>(Window.ThreadManager() ? Window.ThreadManager()->FramesShown.load() : 0);
  // The window system the run was on ("xcb", "wayland", ...): what the pictures were taken on.
  report["platform"] = QGuiApplication::platformName();
  return QString::fromUtf8(QJsonDocument(report).toJson(QJsonDocument::Compact));
}

void tScreenshotRun::Finish() {
  QJsonObject report = QJsonDocument::fromJson(MainReport.toUtf8()).object();
  report["messages"] = QJsonArray::fromStringList(Messages);
  ReportLine = QString::fromUtf8(QJsonDocument(report).toJson(QJsonDocument::Compact));
  std::fputs(ReportLine.toUtf8().constData(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  QCoreApplication::exit(ExitCode());
}

}  // namespace ktv
