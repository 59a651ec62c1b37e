// The settings dialog: every control shows one setting of the record; OK writes them back and saves, Cancel
// changes nothing. The caller re-applies the settings after OK.
#pragma once

#include <utility>
#include <vector>

#include "library/player_settings.h"
#include "ui/skinned_form.h"

class QCheckBox;
class QLabel;
class QRadioButton;
class QSlider;
class QSpinBox;

namespace ktv {

class TKestrovaButton;
class TKestrovaPanel;

class TfrmConfigDialog : public tSkinnedForm {
  Q_OBJECT

 public:
  TfrmConfigDialog(QWidget* owner, tPlayerSettings& settings);

  QRadioButton* radWIN;
  QRadioButton* radDX;
  QCheckBox* cboSkin;
  QCheckBox* cboHighQuality;
  QCheckBox* cboNoise;
  QLabel* lblWeak;
  QSlider* tbFilmGrain;
  QLabel* lblStrong;
  QCheckBox* cboMinTray;
  QCheckBox* cboMinVideoPlay;
  QCheckBox* cboVisenabled;
  QCheckBox* cboLowPri;
  QLabel* lblMaxSize;
  QSpinBox* spnVisX;
  QLabel* lblMaxSizeX;
  QSpinBox* spnVisY;
  QLabel* lblMaxSizePixels;
  QSpinBox* spnBuffering;
  QSpinBox* spnReconnect;
  QCheckBox* cboOnTop;
  TKestrovaButton* btnOK;
  TKestrovaButton* btnCancel;

 private:
  void UpdateEnabling();
  void btnOKClick();

  tPlayerSettings& Settings;
  std::vector<std::pair<QCheckBox*, bool*>> Checks;
  std::vector<std::pair<QSpinBox*, int32_t*>> Numbers;
};

}  // namespace ktv
