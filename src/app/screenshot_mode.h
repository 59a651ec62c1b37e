// The screenshot mode: the whole program runs, plays its source for a while, and then writes pictures of
// what a user would see: main.png (the main window as shown), console.png, player.png (the two together as
// they stand on the screen), and one picture of each dialog (settings.png, open.png, about.png, info.png,
// directory.png on the bookmarks, playlist.png, message.png), opened without blocking. Message boxes do not
// block in this mode; their texts are collected. At the end one line of JSON describes the windows on
// standard output, and the program quits with 0 when every picture was written, 1 otherwise.
//
// Pixels outside a window's shape are transparent in its picture (grabbing a widget ignores its mask).
//
// Thread contract: main thread, inside the program's event loop.
#pragma once

#include <QImage>
#include <QObject>
#include <QRegion>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace ktv {

class TfrmPlayerMain;

class tScreenshotRun : public QObject {
  Q_OBJECT

 public:
  tScreenshotRun(TfrmPlayerMain& window, QString folder, double afterSeconds);
  ~tScreenshotRun() override;

  // Starts the run; the program quits when it is done.
  void Start();
  // The JSON line (after the run).
  QString Report() const { return ReportLine; }
  int ExitCode() const { return Failed ? 1 : 0; }

  // A widget's picture with the pixels outside its shape made transparent.
  static QImage ShapedGrab(QWidget& widget);

 private:
  struct tStep {
    QString Name;                    // picture name without ".png"
    std::function<QWidget*()> Open;  // opens the window to take (null: nothing to take)
  };
  void RunStep(size_t index);
  void TakeWhenReady(size_t index, QWidget* target, int waitedMs);
  void Save(QWidget& widget, const QString& name);
  void SaveImage(const QImage& image, const QString& name);
  void SavePlayer();
  QString BuildReport() const;
  void Finish();

  TfrmPlayerMain& Window;
  QString Folder;
  double AfterSeconds;
  std::vector<tStep> Steps;
  QStringList Messages;
  QString ReportLine;
  QString MainReport;  // the windows as they were when main.png was taken
  bool Failed = false;
};

}  // namespace ktv
