// The playlist viewer: the current programme entry by entry, another playlist file loaded in its place, and
// the entry to play next chosen with "Play Selection".
//
// Thread contract: main thread only.
#pragma once

#include <QString>
#include <cstdint>

#include "ui/skinned_form.h"

class QFileDialog;
class QTreeWidget;

namespace ktv {

class tPlaylist;
class TKestrovaButton;

class TfmShowPlaylist : public tSkinnedForm {
  Q_OBJECT

 public:
  explicit TfmShowPlaylist(QWidget* owner = nullptr);

  // Lists the playlist's entries and selects entry `index` when it exists; the playlist is the one
  // "Load Playlist..." replaces.
  void ShowPlaylist(tPlaylist& playlist, int32_t index);
  // The selected entry, -1 for none.
  int SelectedEntry() const;
  void SelectEntry(int index);
  // Loads a playlist file in place of the shown list; a file that is not read as a playlist is reported and
  // changes nothing.
  void LoadPlaylist(const QString& fileName);

  QTreeWidget* Views;
  TKestrovaButton* btnLoad;
  TKestrovaButton* btnPlay;
  QFileDialog* OpenPlaylist;

 private:
  void FillList();
  void btnPlayClick();

  tPlaylist* Playlist = nullptr;
};

// An entry's length as HH:MM:SS; "Unknown" when negative, hours past 99 as "+99".
QString PlaylistLength(int64_t seconds);

// Shows the viewer modally on the playlist with entry `index` selected when it exists. True when it closed
// through "Play Selection"; `index` is then the chosen entry.
bool ShowPlaylistDialog(TfmShowPlaylist& form, tPlaylist& playlist, int32_t& index);

}  // namespace ktv
