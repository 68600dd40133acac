#include "platform/grid/gridbrowser.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>
#include <functional>

namespace mv::grid {
namespace {

class RowBackgroundDelegate : public QStyledItemDelegate {
 public:
  explicit RowBackgroundDelegate(const GRIDBROWSER* grid, QObject* parent,
                                 std::function<void(QWidget*)> on_editor = {})
      : QStyledItemDelegate(parent), grid_(grid), on_editor_(std::move(on_editor)) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (on_editor_) on_editor_(editor);
    return editor;
  }

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    // The frozen part never has the focus itself: it is drawn as the grid is, so the
    // selected row shows in one colour from the left edge to the right.
    if (option->widget && option->widget != grid_) {
      if (grid_->hasFocus() && grid_->isActiveWindow()) option->state |= QStyle::State_Active;
      else option->state &= ~QStyle::State_Active;
    }
    if (index.data(Qt::BackgroundRole).isValid()) return;
    const QBrush b = grid_->row_background(index.row());
    if (b.style() != Qt::NoBrush) option->backgroundBrush = b;
  }

 private:
  const GRIDBROWSER* grid_;
  std::function<void(QWidget*)> on_editor_;
};

}  // namespace

// The frozen columns drawn over the grid's left edge. Its cells edit as the grid's do:
// with the grid's triggers, the editor shown here, the grid told of it.
class FrozenView : public QTableView {
 public:
  explicit FrozenView(GRIDBROWSER* grid) : QTableView(grid), grid_(grid) {}

  bool edit_from_grid(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    setEditTriggers(grid_->editTriggers());
    return QTableView::edit(index, trigger, event);
  }
  bool editing() const { return state() == QAbstractItemView::EditingState; }
  void finish(QWidget* editor) {
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
  }

 protected:
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override {
    if (trigger == NoEditTriggers) return QTableView::edit(index, trigger, event);
    return edit_from_grid(index, trigger, event);
  }

 private:
  GRIDBROWSER* grid_;
};

GRIDBROWSER::GRIDBROWSER(QWidget* parent) : QTableView(parent) {
  setItemDelegate(new RowBackgroundDelegate(this, this, [this](QWidget* e) {
    editor_ = e;
    editor_opened(e);
  }));
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  horizontalHeader()->setHighlightSections(false);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setVisible(false);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  connect(&refresh_timer_, &QTimer::timeout, this, [this] { AUTOREFRESH(); });
}

GRIDBROWSER::~GRIDBROWSER() {
  for (auto& c : server_links_) disconnect(c);
}

void GRIDBROWSER::set_server(GRIDSERVER* server) {
  for (auto& c : server_links_) disconnect(c);
  server_links_.clear();
  server_ = server;
  setModel(server);
  if (!server) set_paging(false);
  if (frozen_view_) {
    frozen_view_->setModel(server);
    frozen_view_->setSelectionModel(selectionModel());
  }
  if (!server) return;
  server_links_.push_back(connect(server, &GRIDSERVER::current_row_changed, this,
                                  [this](int row) { follow_server_row(row); }));
  server_links_.push_back(connect(server, &GRIDSERVER::columns_updated, this, [this] { apply_columns(); }));
  server_links_.push_back(connect(server, &QAbstractItemModel::modelReset, this, [this] {
    apply_columns();
    if (server_) follow_server_row(server_->current_row());
  }));
  server_links_.push_back(connect(server, &QAbstractItemModel::dataChanged, this, [this] {
    if (variable_rows_) fit_visible_rows();
  }));
  server_links_.push_back(connect(server, &GRIDSERVER::window_moved, this, [this] { sync_page_bar(); }));
  set_paging(server->paged());
  apply_columns();
  follow_server_row(server->current_row() < 0 && server->rowCount() > 0 ? 0 : server->current_row());
}

void GRIDBROWSER::GRID(const GRIDSTYLE& style) {
  style_ = style;
  setShowGrid(style.grid_lines);
  if (frozen_view_) frozen_view_->setShowGrid(style.grid_lines);
  viewport()->update();
}

QBrush GRIDBROWSER::row_background(int row) const {
  if (style_.BACKGROUNDLIST.empty() || row < 0) return QBrush(Qt::NoBrush);
  return style_.BACKGROUNDLIST[size_t(row) % style_.BACKGROUNDLIST.size()];
}

void GRIDBROWSER::set_background(const QBrush& b) {
  QPalette pal = palette();
  if (b.style() == Qt::NoBrush) pal.setBrush(QPalette::Base, QApplication::palette(this).brush(QPalette::Base));
  else pal.setBrush(QPalette::Base, b);
  setPalette(pal);
  if (frozen_view_) frozen_view_->setPalette(pal);
}

void GRIDBROWSER::FONT(const QFont& f) {
  setFont(f);
  if (frozen_view_) frozen_view_->setFont(f);
  verticalHeader()->setDefaultSectionSize(QFontMetrics(f).height() + 6);
  if (frozen_view_) frozen_view_->verticalHeader()->setDefaultSectionSize(QFontMetrics(f).height() + 6);
  if (variable_rows_) fit_visible_rows();
  update_page_rows();
}

std::vector<GridColumn*> GRIDBROWSER::COLUMNLIST() {
  std::vector<GridColumn*> out;
  if (!server_) return out;
  for (int i = 0; i < server_->columnCount(); ++i) out.push_back(&server_->column(i));
  return out;
}

void GRIDBROWSER::apply_columns() {
  if (!server_) return;
  const auto& cols = server_->columns();
  for (int i = 0; i < int(cols.size()); ++i) {
    const GridColumn& c = cols[size_t(i)];
    const bool hidden = !c.visible;
    if (isColumnHidden(i) != hidden) setColumnHidden(i, hidden);
    if (!hidden && c.width > 0 && columnWidth(i) != c.width) setColumnWidth(i, c.width);
    if (!hidden && c.width == 0) setColumnWidth(i, 0);
  }
  if (frozen_view_) set_frozen_columns(frozen_);
  if (variable_rows_) fit_visible_rows();
}

void GRIDBROWSER::RECALCULATE() {
  if (server_) server_->columns_changed();
  apply_columns();
  update_frozen_geometry();
  viewport()->update();
}

int GRIDBROWSER::current_row() const {
  const QModelIndex i = currentIndex();
  return i.isValid() ? i.row() : (server_ ? server_->current_row() : -1);
}

int GRIDBROWSER::SKIP(int n) {
  if (!server_) return 0;
  const int rows = server_->rowCount();
  if (rows == 0) return 0;
  const int from = std::max(0, current_row());
  const int to = std::clamp(from + n, 0, rows - 1);
  follow_server_row(to);
  if (server_->current_row() != to) server_->set_current_row(to);
  // What the window does not hold comes by moving the window.
  if (paging_ && to - from != n) {
    finish_editing();
    return to - from + server_->scroll_rows(n - (to - from));
  }
  return to - from;
}

void GRIDBROWSER::follow_server_row(int row) {
  if (!server_ || syncing_) return;
  if (row < 0 || row >= server_->rowCount()) return;
  syncing_ = true;
  int column = currentIndex().isValid() ? currentIndex().column() : -1;
  if (column < 0 || isColumnHidden(column)) {
    column = 0;
    while (column < server_->columnCount() && isColumnHidden(column)) ++column;
  }
  if (column < server_->columnCount()) {
    const QModelIndex idx = server_->index(row, column);
    setCurrentIndex(idx);
    scrollTo(idx);
  }
  syncing_ = false;
}

void GRIDBROWSER::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (!current.isValid()) return;
  if (server_ && !syncing_ && server_->current_row() != current.row()) {
    syncing_ = true;
    server_->set_current_row(current.row());
    syncing_ = false;
  }
  emit cell_selected(current.row(), current.column());
}

// ---------------------------------------------------------------- paging

void GRIDBROWSER::set_paging(bool on) {
  paging_ = on;
  if (on && !page_bar_) {
    page_bar_ = new QScrollBar(Qt::Vertical, this);
    page_bar_->setObjectName(QStringLiteral("page_bar"));
    addScrollBarWidget(page_bar_, Qt::AlignBottom);
    connect(page_bar_, &QScrollBar::valueChanged, this, [this](int v) { page_bar_moved(v); });
  }
  if (page_bar_) page_bar_->setVisible(on);
  // The view's own bar would scroll inside the window; the window holds only what fits.
  verticalScrollBar()->setVisible(!on);
  setVerticalScrollBarPolicy(on ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
  if (on) {
    update_page_rows();
    sync_page_bar();
  }
}

// As many rows as the viewport shows whole: the window never needs the view to scroll.
void GRIDBROWSER::update_page_rows() {
  if (!paging_ || !server_ || page_busy_) return;
  page_busy_ = true;
  const int height = viewport()->height();
  const int line = std::max(1, verticalHeader()->defaultSectionSize());
  int rows = height / line;
  if (variable_rows_) {
    const int have = server_->rowCount();
    int y = 0, k = 0;
    while (k < have && y + rowHeight(k) <= height) y += rowHeight(k++);
    rows = k < have ? k : k + (height - y) / line;
  }
  server_->set_page_rows(std::max(1, rows));
  page_busy_ = false;
}

void GRIDBROWSER::sync_page_bar() {
  if (!paging_ || !page_bar_ || !server_) return;
  QSignalBlocker block(page_bar_);
  page_bar_->setRange(0, std::max(0, server_->scroll_extent()));
  page_bar_->setPageStep(std::max(1, server_->rowCount()));
  page_bar_->setSingleStep(1);
  page_bar_->setValue(server_->scroll_position());
}

// Steps and pages of the bar move the window row by row (rows the deleted filter hides
// are not counted); a drag or a jump goes to the position.
void GRIDBROWSER::page_bar_moved(int value) {
  if (!paging_ || !server_) return;
  finish_editing();
  const int delta = value - server_->scroll_position();
  if (!page_bar_->isSliderDown() && std::abs(delta) <= std::max(1, server_->rowCount()))
    server_->scroll_rows(delta);
  else
    server_->scroll_to_position(value);
  sync_page_bar();
}

QModelIndex GRIDBROWSER::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
  const QModelIndex current = currentIndex();
  if (!paging_ || !server_ || !current.isValid() || server_->rowCount() == 0)
    return QTableView::moveCursor(action, modifiers);
  const int rows = server_->rowCount();
  const int row = current.row();
  auto at = [&](int r) { return server_->index(std::clamp(r, 0, server_->rowCount() - 1), current.column()); };
  auto scroll = [&](int n) {
    finish_editing();
    return server_->scroll_rows(n);
  };
  const bool ctrl = modifiers & Qt::ControlModifier;
  switch (action) {
    case MoveUp:
      if (row > 0) break;
      scroll(-1);
      return current;
    case MoveDown:
      if (row < rows - 1) break;
      scroll(1);
      return current;
    case MovePageUp:
      return scroll(-rows) == 0 ? at(0) : current;
    case MovePageDown:
      return scroll(rows) == 0 ? at(rows - 1) : current;
    case MoveHome:
    case MoveEnd:
      if (!ctrl) break;
      finish_editing();
      if (action == MoveHome) server_->GOTOP();
      else server_->GOBOTTOM();
      return at(server_->current_row());
    default:
      break;
  }
  return QTableView::moveCursor(action, modifiers);
}

void GRIDBROWSER::wheelEvent(QWheelEvent* e) {
  if (!paging_ || !server_) {
    QTableView::wheelEvent(e);
    return;
  }
  wheel_rest_ += e->angleDelta().y();
  const int notches = wheel_rest_ / 120;
  wheel_rest_ -= notches * 120;
  if (notches != 0) {
    finish_editing();
    server_->scroll_rows(-notches * QApplication::wheelScrollLines());
  }
  e->accept();
}

// An open editor belongs to the record under its row: it is written before another record
// moves under that row.
void GRIDBROWSER::finish_editing() {
  if (!editor_) return;
  QWidget* editor = editor_;
  if (frozen_view_ && frozen_view_->editing() && frozen_view_->viewport()->isAncestorOf(editor)) {
    editor_ = nullptr;
    frozen_view_->finish(editor);
    return;
  }
  if (state() != QAbstractItemView::EditingState) return;
  editor_ = nullptr;
  commitData(editor);
  closeEditor(editor, QAbstractItemDelegate::NoHint);
}

QTableView* GRIDBROWSER::frozen_view() const { return frozen_view_; }

bool GRIDBROWSER::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  if (trigger != NoEditTriggers && frozen_view_ && frozen_view_->isVisible() && index.isValid() &&
      !frozen_view_->isColumnHidden(index.column()))
    return frozen_view_->edit_from_grid(index, trigger, event);
  return QTableView::edit(index, trigger, event);
}

// The wheel over the frozen columns moves the window as over the others.
bool GRIDBROWSER::eventFilter(QObject* watched, QEvent* e) {
  if (paging_ && frozen_view_ && watched == frozen_view_->viewport() && e->type() == QEvent::Wheel) {
    wheelEvent(static_cast<QWheelEvent*>(e));
    return true;
  }
  return QTableView::eventFilter(watched, e);
}

bool GRIDBROWSER::viewportEvent(QEvent* e) {
  const bool done = QTableView::viewportEvent(e);
  if (e->type() == QEvent::Resize) update_page_rows();
  return done;
}

void GRIDBROWSER::set_cursor_mode(CursorMode m) {
  cursor_mode_ = m;
  setSelectionBehavior(m == CursorMode::Row ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
}

void GRIDBROWSER::set_edit_mode(bool on) {
  edit_mode_ = on;
  setEditTriggers(on ? (QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                        QAbstractItemView::AnyKeyPressed)
                     : QAbstractItemView::NoEditTriggers);
}

void GRIDBROWSER::set_frozen_columns(int n) {
  frozen_ = std::max(0, n);
  if (frozen_ == 0) {
    if (frozen_view_) frozen_view_->hide();
    return;
  }
  if (!frozen_view_) {
    frozen_view_ = new FrozenView(this);
    frozen_view_->setObjectName(QStringLiteral("frozen"));
    frozen_view_->setFocusPolicy(Qt::NoFocus);
    frozen_view_->verticalHeader()->hide();
    frozen_view_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    frozen_view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    frozen_view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    frozen_view_->setVerticalScrollMode(verticalScrollMode());
    auto* frozen_delegate = new RowBackgroundDelegate(this, frozen_view_, [this](QWidget* e) {
      editor_ = e;
      editor_opened(e);
    });
    frozen_view_->setItemDelegate(frozen_delegate);
    // The frozen part takes no focus of its own: after its editor the keys go to the grid.
    connect(frozen_delegate, &QAbstractItemDelegate::closeEditor, this, [this] { setFocus(); });
    frozen_view_->setSelectionBehavior(selectionBehavior());
    frozen_view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    frozen_view_->setShowGrid(showGrid());
    frozen_view_->setFont(font());
    frozen_view_->setPalette(palette());
    frozen_view_->setModel(model());
    if (model()) frozen_view_->setSelectionModel(selectionModel());
    frozen_view_->verticalHeader()->setDefaultSectionSize(verticalHeader()->defaultSectionSize());
    frozen_view_->setStyleSheet(QStringLiteral("QTableView { border: none; }"));
    frozen_view_->viewport()->installEventFilter(this);
    viewport()->stackUnder(frozen_view_);
    connect(frozen_view_->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(),
            &QAbstractSlider::setValue);
    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, frozen_view_->verticalScrollBar(),
            &QAbstractSlider::setValue);
    connect(verticalHeader(), &QHeaderView::sectionResized, this, [this](int i, int, int size) {
      if (frozen_view_) frozen_view_->setRowHeight(i, size);
    });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int i, int, int size) {
      if (frozen_view_ && !frozen_view_->isColumnHidden(i)) {
        frozen_view_->setColumnWidth(i, size);
        update_frozen_geometry();
      }
    });
  }
  if (!server_) return;
  int shown = 0;
  for (int i = 0; i < server_->columnCount(); ++i) {
    const bool keep = !isColumnHidden(i) && shown < frozen_;
    if (keep) ++shown;
    frozen_view_->setColumnHidden(i, !keep);
    if (keep) frozen_view_->setColumnWidth(i, columnWidth(i));
  }
  frozen_view_->show();
  update_frozen_geometry();
}

void GRIDBROWSER::update_frozen_geometry() {
  if (!frozen_view_ || frozen_ == 0 || !server_) return;
  int width = 0;
  for (int i = 0; i < server_->columnCount(); ++i)
    if (!frozen_view_->isColumnHidden(i)) width += columnWidth(i);
  frozen_view_->setGeometry(verticalHeader()->width() + frameWidth(), frameWidth(), width,
                            viewport()->height() + horizontalHeader()->height());
}

void GRIDBROWSER::resizeEvent(QResizeEvent* e) {
  QTableView::resizeEvent(e);
  update_frozen_geometry();
  if (variable_rows_) fit_visible_rows();
}

void GRIDBROWSER::scrollContentsBy(int dx, int dy) {
  QTableView::scrollContentsBy(dx, dy);
  if (variable_rows_ && dy != 0) fit_visible_rows();
}

void GRIDBROWSER::set_variable_row_height(bool on, int max_height) {
  variable_rows_ = on;
  row_height_max_ = std::max(1, max_height);
  if (on) {
    fit_visible_rows();
  } else {
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    // The window's rows keep the heights measured for earlier records otherwise.
    if (server_ && paging_)
      for (int r = 0; r < server_->rowCount(); ++r) setRowHeight(r, verticalHeader()->defaultSectionSize());
  }
  update_page_rows();
}

// Only the rows on screen are measured, so a table of a million records costs nothing.
void GRIDBROWSER::fit_visible_rows() {
  if (!server_ || !variable_rows_) return;
  const int first = rowAt(0);
  if (first < 0) return;
  int last = rowAt(viewport()->height() - 1);
  if (last < 0) last = std::min(server_->rowCount() - 1, first + 100);
  for (int r = first; r <= last; ++r) {
    const int h = std::min(sizeHintForRow(r), row_height_max_);
    if (h > 0 && rowHeight(r) != h) setRowHeight(r, h);
  }
  update_page_rows();
}

// The selection colours of one palette group, for the grid and its frozen columns alike.
void GRIDBROWSER::apply_selection_colors(QPalette::ColorGroup group, const QBrush& background, const QColor& foreground) {
  QPalette pal = palette();
  pal.setBrush(group, QPalette::Highlight, background);
  pal.setColor(group, QPalette::HighlightedText, foreground);
  setPalette(pal);
  if (frozen_view_) frozen_view_->setPalette(pal);
}

void GRIDBROWSER::set_selection_colors(const QBrush& background, const QColor& foreground) {
  sel_bg_ = background;
  sel_fg_ = foreground;
  apply_selection_colors(QPalette::Active, background, foreground);
}

void GRIDBROWSER::set_inactive_selection_colors(const QBrush& background, const QColor& foreground) {
  sel_inactive_bg_ = background;
  sel_inactive_fg_ = foreground;
  apply_selection_colors(QPalette::Inactive, background, foreground);
}

void GRIDBROWSER::set_inactive_selection(bool shown) {
  inactive_selection_ = shown;
  if (!shown)
    apply_selection_colors(QPalette::Inactive, QBrush(Qt::transparent), palette().color(QPalette::Inactive, QPalette::Text));
  else if (sel_inactive_bg_.style() != Qt::NoBrush)
    apply_selection_colors(QPalette::Inactive, sel_inactive_bg_, sel_inactive_fg_);
}

// The selector marks the current row; it carries no text, so its width never changes as
// other records scroll in.
void GRIDBROWSER::set_selector(bool shown) {
  verticalHeader()->setHighlightSections(shown);
  verticalHeader()->setMinimumWidth(shown ? 14 : 0);
  verticalHeader()->setVisible(shown);
}

void GRIDBROWSER::AUTOREFRESHTIME(int ms) {
  refresh_ms_ = std::max(0, ms);
  if (refresh_ms_ > 0) refresh_timer_.start(refresh_ms_);
  else refresh_timer_.stop();
}

void GRIDBROWSER::AUTOREFRESH() {
  if (!server_) return;
  if (state() == QAbstractItemView::EditingState || (frozen_view_ && frozen_view_->editing())) return;
  server_->auto_refresh();
}

void GRIDBROWSER::editor_opened(QWidget* editor) {
  if (auto* line = qobject_cast<QLineEdit*>(editor)) line->setFrame(true);
}

// The frozen part follows the grid's focus in its colours.
void GRIDBROWSER::focusInEvent(QFocusEvent* e) {
  QTableView::focusInEvent(e);
  if (frozen_view_) frozen_view_->viewport()->update();
}
void GRIDBROWSER::focusOutEvent(QFocusEvent* e) {
  QTableView::focusOutEvent(e);
  if (frozen_view_) frozen_view_->viewport()->update();
}

}  // namespace mv::grid
