// Acting on the download dialog while DownloadToStream runs: the transfer pumps events on this thread, so a
// timer's step sees the dialog shown and can click on it or on other windows.
#pragma once

#include <QApplication>
#include <QTimer>
#include <functional>
#include <utility>

#include "ui/downloading_form.h"

namespace ktv::test {

// The download dialog on the screen now, or null.
inline TfrmDownloading* ShownDownloadDialog() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* form = qobject_cast<TfrmDownloading*>(w); form && form->isVisible()) return form;
  return nullptr;
}

// Runs a step on every round of the dialog's event pumping while a download runs, until it says it is done.
class tDuringTransfer {
 public:
  explicit tDuringTransfer(std::function<bool(TfrmDownloading&)> step) : Step(std::move(step)) {
    QObject::connect(&Timer, &QTimer::timeout, [this] {
      TfrmDownloading* form = ShownDownloadDialog();
      if (form && !Done) Done = Step(*form);
    });
    Timer.start(2);
  }
  bool Done = false;

 private:
  std::function<bool(TfrmDownloading&)> Step;
  QTimer Timer;
};

}  // namespace ktv::test
