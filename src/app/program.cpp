#include "app/program.h"

#include <QApplication>
#include <QFileInfo>
#include <cstdio>

#include "app/command_line.h"
#include "app/screenshot_mode.h"
#include "app/single_instance.h"
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

int RunPlayer(int argc, char** argv) {
  QApplication application(argc, argv);
  QGuiApplication::setApplicationDisplayName(QString::fromLatin1(kPlayerTitle));
  QApplication::setWindowIcon(ApplicationIcon());

  tCommandLine line;
  QString error;
  if (!ParseCommandLine(QApplication::arguments(), line, error)) {
    std::fprintf(stderr,
                 "kestrova-tv: %s\n"
                 "usage: kestrova-tv [SOURCE]\n"
                 "       kestrova-tv --screenshot DIR [--after SECONDS] [--backend gl|raster] [SOURCE]\n",
                 qPrintable(error));
    return 2;
  }
  const bool screenshots = !line.ScreenshotDir.isEmpty();
  // A file named relative to this start's folder would be looked for in the running player's folder.
  const QFileInfo file(line.Source);
  if (!line.Source.isEmpty() && file.isRelative() && file.exists()) line.Source = file.absoluteFilePath();

  // A player already running takes the argument and this start ends. The screenshot mode always runs on
  // its own.
  tSingleInstance instance;
  if (!screenshots) {
    if (instance.SendToRunning(line.Source.toUtf8())) return 0;
    if (!instance.Listen())
      std::fprintf(stderr, "kestrova-tv: cannot listen for later starts on %s\n",
                   qPrintable(instance.Name()));
  }

  InstallQtMainThreadPump();
  BuildYUVTables();
  InstallOpenGLProbe();
  if (!screenshots) RegisterFileTypes(DefaultFileTypeRoots());
  TCustomHintWindow::Install();

  int result = 0;
  {
    tPlayerStart start;
    start.Argument = line.Source;
    start.UseDirectX = line.UseDirectX;
    TfrmPlayerMain window(Settings(), std::move(start));
    QObject::connect(&instance, &tSingleInstance::Received, &window, &TfrmPlayerMain::SecondInstance);
    std::unique_ptr<tScreenshotRun> run;
    if (screenshots) {
      run = std::make_unique<tScreenshotRun>(window, line.ScreenshotDir, line.AfterSeconds);
      run->Start();
    }
    window.show();
    result = application.exec();
  }
  RemoveQtMainThreadPump();
  return result;
}

}  // namespace ktv
