#pragma once
// The browse control: a QTableView over a GRIDSERVER with the look and behaviour the
// forms set: a grid object (lines, a list of background brushes that alternate by row),
// font, cursor mode (row or cell), edit mode, frozen columns on the left, variable row
// height up to a maximum, selection colours (also while the control has no focus),
// cell-selection events, SKIP, RECALCULATE and the automatic refresh interval.
#include <QBrush>
#include <QPointer>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <vector>

#include "platform/grid/gridserver.h"

namespace mv::grid {

// The grid object: grid lines and the row backgrounds, used in turn from the first row.
// A hollow brush (Qt::NoBrush) lets the control's own background show.
struct GRIDSTYLE {
  explicit GRIDSTYLE(int lines = 1) : grid_lines(lines != 0) {}
  bool grid_lines = true;
  std::vector<QBrush> BACKGROUNDLIST;
  void ADDBACKGROUND(const QBrush& b) { BACKGROUNDLIST.push_back(b); }
};

class GRIDBROWSER : public QTableView {
  Q_OBJECT
 public:
  enum class CursorMode { Row, Cell };
  // How the vertical scroll bar maps the rows: ABSOLUTE by row number, RELATIVE by the
  // position among the rows (the same for a model that knows its row count).
  enum class RowMode { RELATIVE, ABSOLUTE };

  explicit GRIDBROWSER(QWidget* parent = nullptr);
  ~GRIDBROWSER() override;
  using QTableView::edit;

  // The server the grid shows. The grid does not own it (give it the grid or the page as
  // parent, or keep it alive longer than the grid).
  void set_server(GRIDSERVER* server);
  GRIDSERVER* server() const { return server_.data(); }

  // The grid object.
  void GRID(const GRIDSTYLE& style);
  const GRIDSTYLE& GRID() const { return style_; }
  // The background brush a row is drawn with (hollow: the control's own background).
  QBrush row_background(int row) const;
  // The control's own background (QPalette::Base).
  void set_background(const QBrush& b);

  // FONT
  void FONT(const QFont& f);
  QFont FONT() const { return font(); }

  // Column list in display order (visible and hidden columns).
  std::vector<GridColumn*> COLUMNLIST();
  // Applies captions, widths and hidden flags of the columns and lays the rows out again.
  void RECALCULATE();

  // Moves the current row by n (negative: back); stops at the first and last row.
  // Answers the number of rows actually moved.
  int SKIP(int n);
  int current_row() const;

  void set_cursor_mode(CursorMode m);
  CursorMode cursor_mode() const { return cursor_mode_; }
  void set_edit_mode(bool on);
  bool edit_mode() const { return edit_mode_; }
  void set_row_mode(RowMode m) { row_mode_ = m; }
  RowMode row_mode() const { return row_mode_; }

  // The first n visible columns stay in place while the others scroll sideways.
  void set_frozen_columns(int n);
  int frozen_columns() const { return frozen_; }
  QTableView* frozen_view() const;

  // Rows as high as their contents need (up to `max_height` pixels), else one line.
  void set_variable_row_height(bool on, int max_height = 60);

  // Selection colours; the inactive ones apply while the grid has no focus.
  void set_selection_colors(const QBrush& background, const QColor& foreground);
  void set_inactive_selection_colors(const QBrush& background, const QColor& foreground);
  void set_inactive_selection(bool shown);
  // The record selector (row header) on the left.
  void set_selector(bool shown);

  // AUTOREFRESHTIME: the server re-reads every `ms` milliseconds (0: never).
  void AUTOREFRESHTIME(int ms);
  int auto_refresh_time() const { return refresh_ms_; }
  // One tick of the automatic refresh. While a cell editor is open nothing is re-read:
  // the rows under it stay as they are until the typed value is written.
  void AUTOREFRESH();

 signals:
  // The current cell changed (by the user or by the server).
  void cell_selected(int row, int column);

 protected:
  void resizeEvent(QResizeEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  // With a paged server the keys, the wheel and the scroll bar move the server's window.
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
  void wheelEvent(QWheelEvent* e) override;
  bool viewportEvent(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  // A cell of a frozen column is edited in the frozen part, where it shows.
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  // A cell editor has just been made (in the grid or its frozen part); a line editor gets
  // a frame, so it shows as an edit field over the cell.
  virtual void editor_opened(QWidget* editor);

 private:
  friend class FrozenView;
  void follow_server_row(int row);
  void apply_columns();
  void update_frozen_geometry();
  void fit_visible_rows();
  void set_paging(bool on);
  void update_page_rows();
  void sync_page_bar();
  void page_bar_moved(int value);
  void finish_editing();
  void apply_selection_colors(QPalette::ColorGroup group, const QBrush& background, const QColor& foreground);

  QPointer<GRIDSERVER> server_;
  GRIDSTYLE style_;
  CursorMode cursor_mode_ = CursorMode::Row;
  RowMode row_mode_ = RowMode::ABSOLUTE;
  bool edit_mode_ = false;
  int frozen_ = 0;
  class FrozenView* frozen_view_ = nullptr;
  bool variable_rows_ = false;
  int row_height_max_ = 60;
  int refresh_ms_ = 0;
  QTimer refresh_timer_;
  bool inactive_selection_ = true;
  QBrush sel_bg_, sel_inactive_bg_;
  QColor sel_fg_, sel_inactive_fg_;
  bool syncing_ = false;
  std::vector<QMetaObject::Connection> server_links_;
  // The scroll bar of a paged server (beside the view's own, which then stays hidden).
  QScrollBar* page_bar_ = nullptr;
  bool paging_ = false;
  bool page_busy_ = false;
  int wheel_rest_ = 0;
  QPointer<QWidget> editor_;  // the cell editor while one is open
};

}  // namespace mv::grid
