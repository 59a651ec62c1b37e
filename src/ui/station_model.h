// The directory window's rows: a flat table over stations the window owns, read only where the view paints
// or asks. Fifty thousand stations are listed by handing over their order, not by making a row object and six
// strings for each of them.
//
// Thread contract: main thread only; the stations must outlive their rows (SetRows with an empty list first).
#pragma once

#include <QAbstractTableModel>
#include <initializer_list>
#include <vector>

#include "library/player_settings.h"
#include "ui/report_view.h"

namespace ktv {

class tStationModel : public QAbstractTableModel {
 public:
  // The columns as the view shows them: Name, the second column (see SetRows), Genre, Viewers, Bitrate,
  // Format.
  tStationModel(QObject* parent, std::initializer_list<tReportColumn> columns);

  // Shows these stations in this order. descriptions: the second column is "Description" and shows each
  // station's description, else "Now Playing" and what is on now.
  void SetRows(std::vector<const tRecentPlaylistEntry*> rows, bool descriptions);
  const std::vector<const tRecentPlaylistEntry*>& Rows() const { return Stations; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  std::vector<tReportColumn> Columns;
  std::vector<const tRecentPlaylistEntry*> Stations;
  bool Descriptions = true;
};

}  // namespace ktv
