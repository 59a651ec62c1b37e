// Reading and clicking the rows of the report lists the choosing windows show.
#pragma once

#include <QAbstractItemView>
#include <QTest>
#include <string>
#include <vector>

namespace ktv::test {

inline int RowCount(const QAbstractItemView* view) {
  return view->model()->rowCount();
}

// The text of a cell.
inline std::string Cell(const QAbstractItemView* view, int row, int column) {
  return view->model()->index(row, column).data().toString().toStdString();
}

// A column's title.
inline std::string Title(const QAbstractItemView* view, int column) {
  return view->model()->headerData(column, Qt::Horizontal).toString().toStdString();
}

// The selected row, -1 for none.
inline int SelectedIndex(const QAbstractItemView* view) {
  const QModelIndexList rows = view->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

// The texts of one column, top row first.
inline std::vector<std::string> Column(const QAbstractItemView* view, int column) {
  std::vector<std::string> texts;
  for (int i = 0; i < RowCount(view); ++i) texts.push_back(Cell(view, i, column));
  return texts;
}

// The row's centre in the list's viewport, scrolled into sight first as a user would.
inline QPoint RowCentre(QAbstractItemView* view, int row) {
  const QModelIndex index = view->model()->index(row, 0);
  view->scrollTo(index);
  return view->visualRect(index).center();
}

inline void ClickRow(QAbstractItemView* view, int row) {
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, RowCentre(view, row));
}

// A double click as the mouse makes it: a click, then the second press that the system reports as double.
inline void DoubleClickRow(QAbstractItemView* view, int row) {
  ClickRow(view, row);
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, RowCentre(view, row));
}

}  // namespace ktv::test
