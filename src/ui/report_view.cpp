#include "ui/report_view.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QTreeView>
#include <QTreeWidget>
#include <algorithm>
#include <utility>

namespace ktv {

namespace {

// A report row: the text with a little air above and below.
constexpr int kReportRowHeight = 18;

class tRowHeightDelegate : public QStyledItemDelegate {
 public:
  tRowHeightDelegate(QObject* parent, int height) : QStyledItemDelegate(parent), Height(height) {}
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(size.height(), Height));
    return size;
  }
  // A cell's hint is its whole text, what a narrow column cuts off. Answered here instead of stored with
  // every row: a list of many thousand stations fills noticeably faster.
  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override {
    if (event->type() != QEvent::ToolTip || !index.isValid())
      return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty()) {
      QToolTip::hideText();
    } else {
      QToolTip::showText(event->globalPos(), text, view->viewport(), option.rect);
    }
    return true;
  }

 private:
  int Height;
};

// Enter in the list chooses the row, as a double click does.
class tEnterFilter : public QObject {
 public:
  tEnterFilter(QObject* parent, std::function<void()> chosen) : QObject(parent), Chosen(std::move(chosen)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        Chosen();
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> Chosen;
};

// Everything but the titles, which the view's model holds: its columns exist by now.
void SetUpReportView(QTreeView* view, std::initializer_list<tReportColumn> columns) {
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setUniformRowHeights(true);
  view->setAllColumnsShowFocus(true);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setFrameStyle(QFrame::NoFrame);
  view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);  // the shared columns always fit
  KeepSelectionVisible(view);
  SetRowHeight(view, kReportRowHeight);

  QHeaderView* header = view->header();
  header->setStretchLastSection(false);
  header->setSectionsMovable(false);
  header->setHighlightSections(false);
  int column = 0;
  for (const tReportColumn& c : columns) {
    if (c.Width > 0) {
      header->setSectionResizeMode(column, QHeaderView::Interactive);
      view->setColumnWidth(column, c.Width);
    } else {
      header->setSectionResizeMode(column, QHeaderView::Stretch);
    }
    ++column;
  }
}

}  // namespace

QTreeWidget* MakeReportView(QWidget* parent, std::initializer_list<tReportColumn> columns) {
  auto* view = new QTreeWidget(parent);
  view->setColumnCount(static_cast<int>(columns.size()));
  QTreeWidgetItem* titles = view->headerItem();
  int column = 0;
  for (const tReportColumn& c : columns) {
    titles->setText(column, QString::fromLatin1(c.Title));
    titles->setTextAlignment(column, c.Align | Qt::AlignVCenter);
    ++column;
  }
  SetUpReportView(view, columns);
  return view;
}

QTreeView* MakeReportView(QWidget* parent, QAbstractItemModel* model,
                          std::initializer_list<tReportColumn> columns) {
  auto* view = new QTreeView(parent);
  view->setModel(model);
  SetUpReportView(view, columns);
  return view;
}

void SetReportRows(QTreeWidget* view, const QList<QStringList>& rows) {
  view->clear();
  // Only the columns aligned otherwise than a cell is by default carry an alignment of their own.
  const QTreeWidgetItem* titles = view->headerItem();
  std::vector<std::pair<int, Qt::Alignment>> aligned;
  for (int column = 0; column < view->columnCount(); ++column) {
    const auto align = Qt::Alignment(titles->textAlignment(column));
    if ((align & Qt::AlignHorizontal_Mask) != Qt::AlignLeft) aligned.emplace_back(column, align);
  }
  QList<QTreeWidgetItem*> items;
  items.reserve(rows.size());
  for (const QStringList& cells : rows) {
    auto* item = new QTreeWidgetItem(cells);
    for (const auto& [column, align] : aligned) item->setTextAlignment(column, align);
    items.push_back(item);
  }
  view->addTopLevelItems(items);  // one insertion for the whole list
}

int SelectedRow(const QAbstractItemView* view) {
  const QModelIndexList selected = view->selectionModel()->selectedRows();
  return selected.isEmpty() ? -1 : selected.first().row();
}

void SelectRow(QAbstractItemView* view, int row) {
  const QModelIndex index = row >= 0 ? view->model()->index(row, 0) : QModelIndex();
  if (!index.isValid()) {
    view->clearSelection();
    return;
  }
  view->setCurrentIndex(index);
  view->scrollTo(index);
}

void KeepSelectionVisible(QAbstractItemView* view) {
  QPalette colors = view->palette();
  for (auto role : {QPalette::Highlight, QPalette::HighlightedText})
    colors.setColor(QPalette::Inactive, role, colors.color(QPalette::Active, role));
  view->setPalette(colors);
}

void SetRowHeight(QAbstractItemView* view, int height) {
  view->setItemDelegate(new tRowHeightDelegate(view, height));
}

void OnRowChosen(QAbstractItemView* view, std::function<void()> chosen) {
  QObject::connect(view, &QAbstractItemView::doubleClicked, view, [chosen] { chosen(); });
  view->installEventFilter(new tEnterFilter(view, std::move(chosen)));
}

}  // namespace ktv
