// The channel directory: stations by category (the player's own channels, the public directory's TV and
// radio stations, the bookmarks, the recently played, the public Icecast directory's TV and radio streams),
// filtered and sorted, with the bookmarks and the recent
// list kept from here. "Play Selection" fills the caller's playlist with the chosen station's stream URLs.
//
// Thread contract: main thread only. A download of a list, the reading of a large one, and the filtering and
// sorting of many rows run inside a category change (or a sort) and pump events; the window takes no input
// meanwhile. The listing thread reads only the window's own copy of the stations.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "library/player_settings.h"
#include "library/station_directory.h"
#include "ui/skinned_form.h"
#include "ui/station_model.h"

class QLabel;
class QLineEdit;
class QTimer;
class QTreeView;
class QTreeWidget;

namespace ktv {

class tPlaylist;
class TKestrovaButton;
class TKestrovaPanel;
class TLink;

// The categories, in the tree's order.
enum : int {
  dcKestrovaTV,
  dcDirectoryTV,
  dcDirectoryRadio,
  dcBookmarks,
  dcRecent,
  dcIcecastTV,
  dcIcecastRadio,
  dcCount
};

class TfmDirectory : public tSkinnedForm, private tDirectoryPrompts {
  Q_OBJECT

 public:
  // tempFolder: where the downloaded lists are cached, ending in "/".
  TfmDirectory(QWidget* owner, tPlayerSettings& settings, std::string tempFolder = GetTempFolder());
  // The rows go before the stations they show, which go before the view that may still ask for them.
  ~TfmDirectory() override;

  // The category shown (dcKestrovaTV ... dcIcecastRadio).
  int Category() const { return CurrentCategory; }
  // The station of each row, top first: the window's own copies, which nothing else changes.
  const std::vector<const tRecentPlaylistEntry*>& Rows() const { return Model->Rows(); }
  int SortColumn() const { return SortCol; }
  bool SortDescending() const { return Descending; }

  // Loads the selected category (downloading a list when it is due) and lists it through the filter.
  void CategoryChange();

  // The list the rows go into when "Play Selection" closes the window (set by ShowDirectory).
  tPlaylist* Target = nullptr;

  TKestrovaPanel* pnlTree;
  QTreeWidget* Tree;
  TKestrovaPanel* pnlFilter;
  QLabel* lblFilter;
  QLineEdit* txtFilter;
  TKestrovaPanel* pnlViews;
  QTreeView* Views;
  TKestrovaButton* btnRefresh;
  TLink* Link;
  TLink* visStreams;
  TLink* VisLink;
  TKestrovaButton* btnAddBookmarks;
  TKestrovaButton* btnDelete;
  TKestrovaButton* btnPlay;
  QTimer* tmrRefresh;

 protected:
  // While a list downloads the window stays (the download dialog offers Cancel); while a list is read or its
  // rows are made, a close is kept and done as soon as that is over.
  bool CanClose() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // tDirectoryPrompts: the directory's messages in the skinned box.
  void ShowWarning(const std::string& title, const std::string& text) override;
  bool AskYesNo(const std::string& title, const std::string& text) override;
  void OpenWebPage(const std::string& url) override;

  // Shows the stations, which the window keeps as its own: a list of the settings is copied, since the main
  // window may reorder, replace or trim it while this one is open.
  void FillStationList(tStationList stations, bool showDescriptions);
  // The stored list (bookmarks or recent) the category shows, or null for a downloaded category.
  tStationList* StoredList(int category);
  // Replaces the listed stations: the rows shown until the new ones are listed still point into the old.
  void ReplaceListed(tStationList stations, int selectRow);
  // Lists the stations of the shown list that pass the applied filter, sorted, and selects a row (clamped to
  // the last; -1 for none).
  void ListStations(int selectRow);
  // Runs the work on a thread of its own while this thread serves events (aside), or right here; returns
  // when it is over. The work reads only what it was given.
  void RunAside(bool aside, const std::function<void()>& work);
  void SortBy(int column);
  void UpdateButtons();
  // Closes the window when the user asked for it while it was busy and it is not any more.
  void CloseIfWanted();
  void PlaceLinks();
  void btnAddBookmarksClick();
  void btnDeleteClick();
  void btnPlayClick();

  tPlayerSettings& Settings;
  tStationDirectory Directory;
  QWidget* LinkRoom;           // the room between the buttons where the links stand
  TLink* ShownLink = nullptr;  // the link of the category shown, when there is room for it
  int CurrentCategory = -1;
  bool Loading = false;
  // The rows are being filtered, sorted and made aside: the window takes no input and starts nothing else.
  bool Listing = false;
  // A download runs (inside Loading).
  bool Downloading = false;
  // The user closed the window while it was busy: it closes once the work is over.
  bool CloseWanted = false;
  // What the rows show: the window's copy of the listed stations, the filter they passed (upper case), the
  // second column's role. The model's rows point into Listed and are listed again whenever it changes.
  tStationList Listed;
  QString AppliedFilter;
  bool ShowsDescriptions = true;
  tStationModel* Model;
  int SortCol = 0;
  bool Descending = false;
};

// Makes the playlist the station's: one entry per stream URL, in order, with the station's texts.
void FillPlaylist(tPlaylist& playlist, const tRecentPlaylistEntry& station);

// Shows the window modally. True when it closed through "Play Selection"; the playlist then holds the
// station.
bool ShowDirectory(TfmDirectory& form, tPlaylist& playlist);

// The order of two stations by a column (0..5): < 0, 0 or > 0, ascending. descriptions: the second column
// shows descriptions, else what is on now.
int CompareStations(const tRecentPlaylistEntry& a, const tRecentPlaylistEntry& b, int column,
                    bool descriptions);

}  // namespace ktv
