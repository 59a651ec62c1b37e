// Reading and clicking the rows of the report lists the choosing windows show.
#pragma once

#include <QTest>
#include <QTreeWidget>
#include <string>
#include <vector>

namespace ktv::test {

// The texts of one column, top row first.
inline std::vector<std::string> Column(const QTreeWidget* view, int column) {
  std::vector<std::string> texts;
  for (int i = 0; i < view->topLevelItemCount(); ++i)
    texts.push_back(view->topLevelItem(i)->text(column).toStdString());
  return texts;
}

// The row's centre in the list's viewport, scrolled into sight first as a user would.
inline QPoint RowCentre(QTreeWidget* view, int row) {
  view->scrollToItem(view->topLevelItem(row));
  return view->visualItemRect(view->topLevelItem(row)).center();
}

inline void ClickRow(QTreeWidget* view, int row) {
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, RowCentre(view, row));
}

// A double click as the mouse makes it: a click, then the second press that the system reports as double.
inline void DoubleClickRow(QTreeWidget* view, int row) {
  ClickRow(view, row);
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, RowCentre(view, row));
}

}  // namespace ktv::test
