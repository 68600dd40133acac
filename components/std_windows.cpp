#include "components/std_windows.h"

#include <QListView>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTreeView>

#include "platform/gui/palette.h"

namespace mv {
namespace {

class RowTintDelegate : public QStyledItemDelegate {
 public:
  RowTintDelegate(RowTint rows, QObject* parent) : QStyledItemDelegate(parent), rows_(rows) {}
  bool tinted(int row) const {
    const int number = row + 1;
    return rows_ == RowTint::EvenRows ? number % 2 == 0 : number % 2 == 1;
  }

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (tinted(index.row()) && !index.data(Qt::BackgroundRole).isValid())
      option->backgroundBrush = QBrush(QColor(gui::kListRowTint));
  }

 private:
  RowTint rows_;
};

bool is_list_view(QAbstractItemView* v) {
  return qobject_cast<QTreeView*>(v) || qobject_cast<QListView*>(v) ||
         (qobject_cast<QTableView*>(v) && v->property("mv_list_view").toBool());
}

}  // namespace

void tint_list_view(QAbstractItemView* view, RowTint rows) {
  if (!view) return;
  view->setItemDelegate(new RowTintDelegate(rows, view));
  view->setProperty("mv_row_tint", true);
  view->viewport()->update();
}

bool row_is_tinted(const QAbstractItemView* view, int row) {
  auto* d = view ? dynamic_cast<RowTintDelegate*>(view->itemDelegate()) : nullptr;
  return d && d->tinted(row);
}

void tint_list_views_below(QWidget* w, RowTint rows) {
  if (!w) return;
  for (QAbstractItemView* v : w->findChildren<QAbstractItemView*>()) {
    if (v->property("mv_row_tint").toBool() || !is_list_view(v)) continue;
    tint_list_view(v, rows);
  }
}

STD_DATAWINDOW::STD_DATAWINDOW(QObject* owner) : gui::DATAWINDOW(owner) {}

void STD_DATAWINDOW::showEvent(QShowEvent* e) {
  tint_list_views_below(this, RowTint::EvenRows);
  gui::DATAWINDOW::showEvent(e);
}

STD_DLGWINDOW::STD_DLGWINDOW(QObject* owner, bool modal) : gui::DIALOGWINDOW(owner, modal) {}

void STD_DLGWINDOW::showEvent(QShowEvent* e) {
  tint_list_views_below(this, RowTint::OddRows);
  gui::DIALOGWINDOW::showEvent(e);
}

}  // namespace mv
