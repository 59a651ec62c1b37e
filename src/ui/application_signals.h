// What concerns the whole program rather than one window, as signals of one application-wide object: a
// form asks, and whichever window has connected answers. A connection ends with its receiver, so a second
// main window, or a test that makes and drops windows, finds nothing left over from an earlier one.
//
// Thread contract: main thread only.
#pragma once

#include <QObject>

namespace ktv {

class tApplicationSignals : public QObject {
  Q_OBJECT

 public:
  static tApplicationSignals& Instance();

  // Minimising any form minimises the whole program. The main window takes it over (its console may go to
  // the tray) by connecting to MinimizeRequested; with no one connected every window of the program is
  // minimised.
  void RequestMinimize();

 signals:
  void MinimizeRequested();
};

}  // namespace ktv
