#pragma once
// Page and dialog bases of the forms. Both tint every second row of the list views on
// the window with RGB(215, 240, 250): the page base the second, fourth ... row, the
// dialog base the first, third ... row.
#include <QAbstractItemView>

#include "platform/gui/windows.h"

namespace mv {

enum class RowTint { EvenRows, OddRows };  // rows counted from 1

// Gives `view` the tint (a delegate owned by the view). Grids are not list views and
// are left alone.
void tint_list_view(QAbstractItemView* view, RowTint rows);
// Whether row `row` (0-based) of `view` is drawn tinted.
bool row_is_tinted(const QAbstractItemView* view, int row);

class STD_DATAWINDOW : public gui::DATAWINDOW {
  Q_OBJECT
 public:
  explicit STD_DATAWINDOW(QObject* owner = nullptr);

 protected:
  void showEvent(QShowEvent* e) override;
};

class STD_DLGWINDOW : public gui::DIALOGWINDOW {
  Q_OBJECT
 public:
  explicit STD_DLGWINDOW(QObject* owner = nullptr, bool modal = true);

 protected:
  void showEvent(QShowEvent* e) override;
};

// Tints the list views below `w` that have no tint yet.
void tint_list_views_below(QWidget* w, RowTint rows);

}  // namespace mv
