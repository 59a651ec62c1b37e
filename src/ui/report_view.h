// The report-style list both choosing windows show (stations in the directory, entries in the playlist
// viewer): read-only rows selected whole and one at a time, the selection staying visible when the list loses
// the keyboard, and columns either of a fixed width or sharing the room the fixed ones leave.
#pragma once

#include <QList>
#include <QStringList>
#include <functional>
#include <initializer_list>

class QAbstractItemModel;
class QAbstractItemView;
class QTreeView;
class QTreeWidget;
class QWidget;

namespace ktv {

struct tReportColumn {
  const char* Title;
  int Width;  // 0: the column shares what the fixed columns leave with the other such columns
  Qt::Alignment Align = Qt::AlignLeft;
};

QTreeWidget* MakeReportView(QWidget* parent, std::initializer_list<tReportColumn> columns);
// The same over a model of the caller's, which gives the column titles and the cells.
QTreeView* MakeReportView(QWidget* parent, QAbstractItemModel* model,
                          std::initializer_list<tReportColumn> columns);

// Replaces the rows with these, one list of cell texts per row, each cell aligned as its column and hinting
// its whole text.
void SetReportRows(QTreeWidget* view, const QList<QStringList>& rows);

// The selected row (-1 for none) and selecting one (-1 clears the selection).
int SelectedRow(const QAbstractItemView* view);
void SelectRow(QAbstractItemView* view, int row);

// The chosen row stays as clearly marked while the user works elsewhere in the window.
void KeepSelectionVisible(QAbstractItemView* view);

// Rows at least this high (pixels), so that short lines do not look crammed.
void SetRowHeight(QAbstractItemView* view, int height);

// Calls `chosen` when a row is double-clicked and when Enter is pressed in the list.
void OnRowChosen(QAbstractItemView* view, std::function<void()> chosen);

}  // namespace ktv
