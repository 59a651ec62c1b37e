// The main window as the desktop's media controls see it: its stream controller's state and its commands.
//
// Thread contract: main thread only.
#pragma once

#include "desktop/media_player_control.h"

namespace ktv {

class TfrmPlayerMain;

class tPlayerMediaControl : public tMediaPlayerControl {
 public:
  explicit tPlayerMediaControl(TfrmPlayerMain& window) : Window(window) {}

  tMediaPlayerState State() const override;
  void Play() override;
  void Stop() override;
  void Next() override;
  void Previous() override;
  void SetVolume(double volume) override;
  void OpenUri(const QString& uri) override;
  void Raise() override;
  void Quit() override;

 private:
  TfrmPlayerMain& Window;
};

}  // namespace ktv
