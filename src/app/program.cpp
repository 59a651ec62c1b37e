#include "app/program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/platform_choice.h"
#include "app/player_media_control.h"
#include "app/screenshot_mode.h"
#include "app/single_instance.h"
#include "desktop/mpris_service.h"
#include "library/file_types.h"
#include "library/player_settings.h"
#include "ogg/yuv_convert.h"
#include "playback/qt/gl_probe.h"
#include "playback/qt/main_thread_pump.h"
#include "ui/custom_hint_window.h"
#include "ui/player_main_form.h"
#include "ui/player_texts.h"
#include "ui/skin_look.h"

namespace ktv {

namespace {

// Hand-overs and take-overs, off unless QT_LOGGING_RULES asks (the arguments may hold passwords).
Q_LOGGING_CATEGORY(lcInstance, "kestrova.instance", QtWarningMsg)

constexpr int kFirstSourcesDelayMs = 200;  // as the window opens a single argument: after it has shown
constexpr int kHandOverAttempts = 3;       // a player that appears between our hand-over and our listening

// The end-of-session signals reach the event loop through this pair: the handler may only write a byte.
int gSignalPair[2] = {-1, -1};

void OnEndSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(gSignalPair[1], &byte, 1);
  errno = saved;
}

// SIGTERM (logout, kill), SIGINT (Ctrl+C) and SIGHUP (the terminal went) end the player the way closing its
// window does, so the settings are saved and the threads stopped. Installed before the sound device exists:
// SDL leaves handlers it finds in place (and is told to install none).
bool RouteEndSignals() {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gSignalPair) != 0) return false;
  struct sigaction action {};
  action.sa_handler = &OnEndSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP})
    if (sigaction(signal, &action, nullptr) != 0) return false;
  return true;
}

void PrintUsage(const QString& error) {
  std::fprintf(
      stderr,
      "kestrova-tv: %s\n"
      "usage: kestrova-tv [--] [SOURCE...]\n"
      "       kestrova-tv --screenshot DIR [--after SECONDS] [--backend gl|raster] [--] [SOURCE...]\n",
      qPrintable(error));
}

// Hands the sources to a running player, or makes this start the player. True when this start should end.
bool HandOverOrListen(tSingleInstance& instance, const QStringList& sources, int& exitCode) {
  // Without the lock in time the start goes on: a hung start must not keep every later one out.
  instance.LockStart();
  for (int attempt = 1;; ++attempt) {
    switch (instance.HandOver(sources)) {
      case tSingleInstance::tHandOver::Taken:
        qCDebug(lcInstance) << "handed over to the running player:" << sources;
        exitCode = 0;
        return true;
      case tSingleInstance::tHandOver::Refused:
        std::fprintf(stderr, "kestrova-tv: the running player hung up without taking the arguments\n");
        exitCode = 1;
        return true;
      case tSingleInstance::tHandOver::NoAnswer:
        std::fprintf(stderr, "kestrova-tv: the running player does not answer; this start takes its place\n");
        if (!instance.TakeOver()) break;
        qCDebug(lcInstance) << "took over" << instance.Name();
        return false;
      case tSingleInstance::tHandOver::NoPlayer:
        switch (instance.Listen()) {
          case tSingleInstance::tListen::Listening:
            qCDebug(lcInstance) << "listening on" << instance.Name();
            return false;
          case tSingleInstance::tListen::Busy:
            if (attempt < kHandOverAttempts) continue;
            break;
          case tSingleInstance::tListen::Failed:
            break;
        }
        break;
    }
    std::fprintf(stderr, "kestrova-tv: cannot listen for later starts on %s\n", qPrintable(instance.Name()));
    return false;
  }
}

}  // namespace

int RunPlayer(int argc, char** argv) {
  std::vector<std::string> argumentStorage;
  std::vector<char*> arguments =
      ArgumentsWithPlatform(argc, argv,
                            ChooseQtPlatform(std::getenv("QT_QPA_PLATFORM"), std::getenv("WAYLAND_DISPLAY"),
                                             std::getenv("DISPLAY")),
                            argumentStorage);
  int argumentCount = static_cast<int>(arguments.size()) - 1;
  QApplication application(argumentCount, arguments.data());
  QGuiApplication::setApplicationDisplayName(QString::fromLatin1(kPlayerTitle));
  // Wayland compositors find the window's icon and name through the desktop entry of this id.
  QGuiApplication::setDesktopFileName(
      QString::fromLatin1(kDesktopFileName).remove(QLatin1String(".desktop")));
  QApplication::setWindowIcon(ApplicationIcon());
  if (!RouteEndSignals()) std::fprintf(stderr, "kestrova-tv: cannot route end-of-session signals\n");

  tCommandLine line;
  QString error;
  if (!ParseCommandLine(QApplication::arguments(), line, error)) {
    PrintUsage(error);
    return 2;
  }
  const bool screenshots = !line.ScreenshotDir.isEmpty();
  // A file named relative to this start's folder would be looked for in the running player's folder.
  for (QString& source : line.Sources) {
    const QFileInfo file(source);
    if (file.isRelative() && file.exists()) source = file.absoluteFilePath();
  }

  // A player already running takes the arguments and this start ends. The screenshot mode always runs on
  // its own.
  tSingleInstance instance;
  if (!screenshots) {
    int exitCode = 0;
    if (HandOverOrListen(instance, line.Sources, exitCode)) return exitCode;
  }

  InstallQtMainThreadPump();
  BuildYUVTables();
  InstallOpenGLProbe();
  // An installed player is offered by the entry installed beside it; one run from its build folder offers
  // itself in the user's folder.
  if (!screenshots) {
    const tFileTypeRoots roots = DefaultFileTypeRoots();
    if (!IsInstalledProgram(roots.Executable, KTV_INSTALLED_ENTRY_FOLDER)) RegisterFileTypes(roots);
  }
  TCustomHintWindow::Install();

  int result = 0;
  {
    tPlayerStart start;
    if (line.Sources.size() == 1) start.Argument = line.Sources.first();
    start.UseDirectX = line.UseDirectX;
    TfrmPlayerMain window(Settings(), std::move(start));
    if (line.Sources.size() > 1)
      QTimer::singleShot(kFirstSourcesDelayMs, &window,
                         [&window, &line] { window.PlaySources(line.Sources); });
    QObject::connect(&instance, &tSingleInstance::Received, &window, [&window](const QStringList& sources) {
      qCDebug(lcInstance) << "a later start handed over:" << sources;
      // One source (or none) is the designed hand-over; several become the playlist.
      window.SecondInstance(sources.size() == 1 ? sources.first().toUtf8() : QByteArray());
      if (sources.size() > 1) window.PlaySources(sources);
    });

    // The desktop's media controls, where there is a session bus (a screenshot run stays off it).
    tPlayerMediaControl mediaControl(window);
    std::unique_ptr<tMprisService> mediaService;
    if (!screenshots) mediaService = tMprisService::StartOnSessionBus(mediaControl);
    if (mediaService)
      QObject::connect(&window, &TfrmPlayerMain::PlayerStateChanged, mediaService.get(),
                       &tMprisService::StateChanged);

    std::unique_ptr<QSocketNotifier> endSignal;
    if (gSignalPair[0] >= 0) {
      endSignal = std::make_unique<QSocketNotifier>(gSignalPair[0], QSocketNotifier::Read);
      QObject::connect(endSignal.get(), &QSocketNotifier::activated, &window, [&window] {
        char bytes[16];
        while (read(gSignalPair[0], bytes, sizeof bytes) > 0) {
        }
        window.close();
        QCoreApplication::quit();  // also ends a dialog's own loop
      });
    }

    std::unique_ptr<tScreenshotRun> run;
    if (screenshots) {
      run = std::make_unique<tScreenshotRun>(window, line.ScreenshotDir, line.AfterSeconds);
      run->Start();
    }
    window.show();
    // Starts waiting for their turn may hand over once our event loop runs and can answer them.
    QTimer::singleShot(0, &instance, [&instance] { instance.ReleaseStartLock(); });
    result = application.exec();
  }
  RemoveQtMainThreadPump();
  return result;
}

}  // namespace ktv
