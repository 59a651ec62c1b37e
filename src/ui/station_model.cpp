#include "ui/station_model.h"

namespace ktv {

tStationModel::tStationModel(QObject* parent, std::initializer_list<tReportColumn> columns)
    : QAbstractTableModel(parent), Columns(columns) {}

void tStationModel::SetRows(std::vector<const tRecentPlaylistEntry*> rows, bool descriptions) {
  beginResetModel();
  Stations = std::move(rows);
  if (Descriptions != descriptions) {
    Descriptions = descriptions;
    emit headerDataChanged(Qt::Horizontal, 1, 1);
  }
  endResetModel();
}

int tStationModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(Stations.size());
}

int tStationModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(Columns.size());
}

QVariant tStationModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
  const int column = index.column();
  if (role == Qt::TextAlignmentRole) {
    const Qt::Alignment align = Columns[static_cast<size_t>(column)].Align;
    // Only the columns aligned otherwise than a cell is by default say so.
    if ((align & Qt::AlignHorizontal_Mask) == Qt::AlignLeft) return {};
    return QVariant::fromValue(align | Qt::AlignVCenter);
  }
  if (role != Qt::DisplayRole) return {};
  const tRecentPlaylistEntry& s = *Stations[static_cast<size_t>(index.row())];
  const std::string* texts[] = {
      &s.Name, Descriptions ? &s.Description : &s.OnNow, &s.Genre, &s.Viewers, &s.Bitrate, &s.Format};
  return column < 6 ? QString::fromStdString(*texts[column]) : QString();
}

QVariant tStationModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
  const tReportColumn& c = Columns[static_cast<size_t>(section)];
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(c.Align | Qt::AlignVCenter);
  if (role != Qt::DisplayRole) return {};
  if (section == 1) return Descriptions ? QStringLiteral("Description") : QStringLiteral("Now Playing");
  return QString::fromLatin1(c.Title);
}

Qt::ItemFlags tStationModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

}  // namespace ktv
