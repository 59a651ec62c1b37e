// The about box: the program's picture and version, the Theora library's version (or a hint to update when
// the codec libraries are missing), links to the product, the maker, the directory server and the three
// codec projects, and the codec libraries' licence notice.
#pragma once

#include "library/player_settings.h"
#include "ui/skinned_form.h"

class QLabel;
class QPlainTextEdit;

namespace ktv {

class TKestrovaButton;
class TKestrovaPanel;
class TLink;

class TfrmAbout : public tSkinnedForm {
  Q_OBJECT

 public:
  TfrmAbout(QWidget* owner, const tPlayerSettings& settings);

  QLabel* imgPicture;
  TKestrovaPanel* pnlProduct;
  QLabel* lblVersion;
  TLink* lnkWebSite;
  TLink* lnkMaker;
  TLink* lnkDirectory;
  TKestrovaPanel* pnlCodecs;
  TLink* lnkOgg;
  TLink* lnkVorbis;
  TLink* lnkOpus;
  TLink* lnkTheora;
  QLabel* theVer;
  QPlainTextEdit* memLicence;
  TKestrovaButton* btnOK;
};

// The text shown where the codec libraries cannot be loaded.
constexpr const char* kNoCodecLibrariesText = "Please Connect to Kestrova Network for Updates";

}  // namespace ktv
