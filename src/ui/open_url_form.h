// The open-stream dialog: an address typed or picked from the recently used list (most recent first), a
// local file picked with "...", or a request for the channel directory instead.
#pragma once

#include <string>

#include "library/player_settings.h"
#include "ui/skinned_form.h"

class QComboBox;
class QFileDialog;
class QLabel;

namespace ktv {

class TKestrovaButton;
class TKestrovaPanel;

// The result of the dialog closed by "Channel Directory...": neither OK nor Cancel.
constexpr int mrDirectory = mrIgnore;

class TfrmOpenURL : public tSkinnedForm {
  Q_OBJECT

 public:
  TfrmOpenURL(QWidget* owner, tPlayerSettings& settings);

  // Set when the dialog was closed to open the channel directory instead.
  bool DirectoryRequested = false;

  TKestrovaPanel* pnlURL;
  QLabel* VisIcon;
  QComboBox* cboURL;
  TKestrovaButton* btnBrowse;
  TKestrovaButton* btnDirectory;
  TKestrovaButton* btnOK;
  TKestrovaButton* btnCancel;
  QFileDialog* OpenOgg;

 private:
  void btnBrowseClick();
  void btnOKClick();
  void btnDirectoryClick();

  tPlayerSettings& Settings;
};

// Shows the dialog modally. True after OK, with the address in `url`; false otherwise (then the caller looks
// at DirectoryRequested).
bool ShowOpenURL(TfrmOpenURL& form, std::string& url);

}  // namespace ktv
