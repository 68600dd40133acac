#include "tablewindow/tableserver.h"

#include <QDate>
#include <algorithm>
#include <cmath>
#include <limits>
#include <span>

#include "platform/base/codepage.h"
#include "platform/table/dbf_format.h"
#include "platform/table/field_codec.h"
#include "platform/table/field_input.h"

namespace mv {
namespace {

bool same_value(const Value& a, const Value& b) {
  if (a.type != b.type) return false;
  switch (a.type) {
    case ValueType::Character: return a.str == b.str;
    case ValueType::Numeric: return a.num == b.num;
    case ValueType::Date: return a.date == b.date;
    case ValueType::Logical: return a.logical == b.logical;
    default: return true;
  }
}

}  // namespace

TableGridServer::TableGridServer(std::unique_ptr<Table> table, std::unique_ptr<TableOrders> orders, QObject* parent)
    : grid::GRIDDBSERVER(std::move(table), false, parent), orders_(std::move(orders)) {
  resetting_ = true;
  place_window();
  current_ = window_.empty() ? -1 : std::max(0, row_of_recno(table_->recno()));
  resetting_ = false;
}

TableGridServer::~TableGridServer() { CLOSE().ignore(); }

Status TableGridServer::CLOSE() {
  if (!table_) return Status::ok();
  beginResetModel();
  Status s = table_->is_open() ? table_->close() : Status::ok();
  orders_.reset();
  table_.reset();
  drop_cache();
  map_.clear();
  listed_at_.clear();
  window_.clear();
  count_ = 0;
  current_ = -1;
  endResetModel();
  return s;
}

uint32_t TableGridServer::RECNO() const { return USED() ? table_->recno() : 0; }
uint32_t TableGridServer::LASTREC() const { return USED() ? table_->lastrec() : 0; }
bool TableGridServer::DELETED() const { return USED() && table_->deleted(); }
QString TableGridServer::RDDNAME() const { return table_ ? QString::fromStdString(table_->driver()) : QString(); }

bool TableGridServer::memo_field(const FieldInfo& f) const {
  return dbf::is_memo_type(f.type, f.length, table_->version());
}

bool TableGridServer::set_field_value(int row, int pos, const QVariant& value) {
  if (!USED() || pos < 1 || pos > int(table_->fcount())) return false;
  const uint32_t r = recno(row);
  if (r == 0) return false;
  if (table_->read_only()) {
    last_status_ = Status::read_only(table_->path() + ": die Tabelle ist schreibgeschützt geöffnet");
    emit write_failed(QString::fromStdString(last_status_.message()));
    return false;
  }
  const FieldInfo& f = table_->field(pos);
  // Memo texts are edited in their own window, not in a cell.
  auto v = memo_field(f) ? Result<Value>(Status::not_supported("Felder dieses Typs werden im Gitter nicht bearbeitet!"))
                         : value_from_input(f, value.toString().toStdString(), table_->code_page());
  if (!v) {
    last_status_ = v.status();
    emit write_failed(QString::fromStdString(last_status_.message()));
    return false;
  }
  const uint32_t keep = table_->recno();
  Status s = table_->go_to(r);
  // In an index order the record's place follows its key: a changed key moves it.
  const bool ordered = !natural_ && orders_ && orders_->index_ord() > 0;
  Result<Value> key_before = Value::nil();
  if (s && ordered) key_before = orders_->key_value();
  // In shared use the table layer writes under the record's lock.
  if (s) s = table_->field_put(pos, *v);
  if (s) s = table_->commit();
  bool moved = false;
  if (s && ordered) {
    const Result<Value> key_after = orders_->key_value();
    moved = !key_before || !key_after || !same_value(*key_before, *key_after);
  }
  if (keep != r) table_->go_to(keep).ignore();
  last_status_ = s;
  if (moved) {
    // The order's rows are taken again and the window placed around the table's record.
    refresh();
  } else {
    record_changed(r);
  }
  if (!s) emit write_failed(QString::fromStdString(s.message()));
  else emit written();
  return s.is_ok();
}

QString TableGridServer::field_name(int pos) const {
  return pos >= 1 && pos <= field_count() ? QString::fromLatin1(table_->field(pos).name.c_str()) : QString();
}

// ---------------------------------------------------------------- the sequence

uint32_t TableGridServer::first_rec() {
  if (!USED()) return 0;
  const uint32_t last = table_->lastrec();
  if (!ordered()) return last ? 1 : 0;
  auto r = table_->navigator()->first();
  return r && *r <= last ? *r : 0;
}

uint32_t TableGridServer::last_rec() {
  if (!USED()) return 0;
  const uint32_t last = table_->lastrec();
  if (!ordered()) return last;
  auto r = table_->navigator()->last();
  return r && *r <= last ? *r : 0;
}

// The order finds a record's neighbours by its key: from its own position when it still
// stands on the record, else from the record's current bytes.
uint32_t TableGridServer::step(uint32_t r, int dir) {
  if (r == 0 || !USED()) return 0;
  const uint32_t last = table_->lastrec();
  if (r > last) return 0;
  if (!ordered()) return dir > 0 ? (r >= last ? 0 : r + 1) : r - 1;
  OrderNavigator* nav = table_->navigator();
  std::span<const uint8_t> bytes;
  if (!nav->standing_on(r)) {
    if (r == table_->recno() && !table_->eof()) {
      bytes = table_->record();
    } else {
      if (!table_->read_record(r, scratch_).is_ok()) return 0;
      bytes = scratch_;
    }
  }
  auto next = dir > 0 ? nav->next(r, bytes) : nav->prev(r, bytes);
  return next && *next <= last ? *next : 0;
}

uint32_t TableGridServer::at_or_after(uint32_t r) {
  if (r == 0 || !USED() || r > table_->lastrec()) return 0;
  if (!ordered()) return r;
  // The entry before the record's key and the one after that: the record itself when the
  // order holds it.
  const uint32_t before = step(r, -1);
  return before ? step(before, 1) : first_rec();
}

// The table's own record is always shown, even when the deleted filter hides it (a GOTO
// to a deleted record, or the record just deleted with nowhere to move).
bool TableGridServer::shown(uint32_t r) const {
  if (r == 0) return false;
  if (!deleted_filter() || r == table_->recno()) return true;
  const uint8_t* rec = record_bytes(r);
  return rec && rec[0] != '*';
}

uint32_t TableGridServer::next_shown(uint32_t r, int dir) {
  if (r == 0) return 0;
  const uint64_t limit = uint64_t(table_->lastrec()) + 1;
  for (uint64_t guard = 0; r != 0; r = step(r, dir)) {
    if (shown(r)) return r;
    // An order that leads in a circle (a damaged file) ends the walk.
    if (++guard > limit) return 0;
  }
  return 0;
}

std::vector<uint32_t> TableGridServer::rows_from(uint32_t r) {
  std::vector<uint32_t> rows;
  const size_t page = size_t(page_rows_);
  const uint32_t start = at_or_after(r);
  for (uint32_t p = next_shown(start, 1); p != 0;) {
    rows.push_back(p);
    if (rows.size() >= page) break;
    p = next_shown(step(p, 1), 1);
  }
  if (rows.size() < page) {
    std::vector<uint32_t> before;
    const uint32_t from = !rows.empty() ? step(rows.front(), -1) : start ? step(start, -1) : last_rec();
    for (uint32_t p = next_shown(from, -1); p != 0;) {
      before.push_back(p);
      if (rows.size() + before.size() >= page) break;
      p = next_shown(step(p, -1), -1);
    }
    rows.insert(rows.begin(), before.rbegin(), before.rend());
  }
  return rows;
}

std::vector<uint32_t> TableGridServer::rows_ending_at(uint32_t r) {
  std::vector<uint32_t> back;
  const size_t page = size_t(page_rows_);
  for (uint32_t p = next_shown(r, -1); p != 0;) {
    back.push_back(p);
    if (back.size() >= page) break;
    p = next_shown(step(p, -1), -1);
  }
  std::vector<uint32_t> rows(back.rbegin(), back.rend());
  if (rows.size() < page) {
    const uint32_t from = !rows.empty() ? step(rows.back(), 1) : r ? step(r, 1) : first_rec();
    for (uint32_t p = next_shown(from, 1); p != 0;) {
      rows.push_back(p);
      if (rows.size() >= page) break;
      p = next_shown(step(p, 1), 1);
    }
  }
  return rows;
}

bool TableGridServer::in_sequence(uint32_t r) {
  if (r == 0 || !USED() || (table_->eof() && r == table_->recno())) return false;
  if (r > table_->lastrec()) return false;
  return !ordered() || at_or_after(r) == r;
}

bool TableGridServer::after(uint32_t r, const std::vector<uint32_t>& rows) {
  if (rows.empty()) return false;
  if (!ordered()) return r > rows.back();
  return position_of(r) > position_of(rows.back());
}

double TableGridServer::position_of(uint32_t r) {
  if (!ordered() || r == 0) return 0;
  std::span<const uint8_t> bytes;
  if (r == table_->recno() && !table_->eof()) {
    bytes = table_->record();
  } else {
    if (!table_->read_record(r, scratch_).is_ok()) return 0;
    bytes = scratch_;
  }
  auto pos = table_->navigator()->position_of(r, bytes);
  return pos ? *pos : 0;
}

// The bar's positions run over the table's record count in both orders. In an index
// order the order is not counted: the bar shows the estimate of the window's place, and
// exactly its top or bottom when the window shows the order's first or last record.
int64_t TableGridServer::scroll_scale() const { return USED() ? int64_t(table_->lastrec()) : 0; }

void TableGridServer::place_scroll_bar() {
  scroll_pos_ = 0;
  if (window_.empty() || !USED()) return;
  if (!ordered()) {
    scroll_pos_ = int(std::min<int64_t>(int64_t(window_.front()) - 1, std::numeric_limits<int>::max()));
    return;
  }
  const int extent = scroll_extent();
  if (extent <= 0 || next_shown(step(window_.front(), -1), -1) == 0) return;
  if (extent < 2 || next_shown(step(window_.back(), 1), 1) == 0) {
    scroll_pos_ = extent;
    return;
  }
  const double at = position_of(window_.front()) * double(scroll_scale());
  scroll_pos_ = int(std::clamp<int64_t>(std::llround(at), 1, extent - 1));
}

// ---------------------------------------------------------------- the window

int TableGridServer::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(window_.size()); }

uint32_t TableGridServer::recno(int row) const {
  if (row < 0 || size_t(row) >= window_.size()) return 0;
  return window_[size_t(row)];
}

int TableGridServer::row_of_recno(uint32_t r) const {
  if (r == 0) return -1;
  for (size_t i = 0; i < window_.size(); ++i)
    if (window_[i] == r) return int(i);
  return -1;
}

// The rows that stay are changed in place, those beyond them inserted or removed at the
// end, each step told on its own so the views never see rows change under an insert.
void TableGridServer::show_rows(std::vector<uint32_t> rows) {
  if (resetting_) {
    window_ = std::move(rows);
    place_scroll_bar();
    return;
  }
  const int before = int(window_.size());
  const int now = int(rows.size());
  adjusting_ = true;
  if (now < before) {
    beginRemoveRows(QModelIndex(), now, before - 1);
    window_.resize(size_t(now));
    endRemoveRows();
  } else if (now > before) {
    beginInsertRows(QModelIndex(), before, now - 1);
    window_.insert(window_.end(), rows.begin() + before, rows.end());
    endInsertRows();
  }
  adjusting_ = false;
  // The rows that stayed are read again also when they show the same records: the
  // callers come here after records changed.
  const int kept = std::min(before, now);
  window_ = std::move(rows);
  place_scroll_bar();
  if (kept > 0) {
    emit dataChanged(index(0, 0), index(kept - 1, std::max(0, columnCount() - 1)));
    emit headerDataChanged(Qt::Vertical, 0, kept - 1);
  }
  emit window_moved();
}

void TableGridServer::place_window() {
  if (!USED()) {
    show_rows({});
    return;
  }
  const uint32_t r = table_->recno();
  if (!in_sequence(r)) {
    show_rows(rows_from(window_.empty() ? first_rec() : window_.front()));
  } else if (after(r, window_)) {
    show_rows(rows_ending_at(r));
  } else {
    show_rows(rows_from(r));
  }
}

void TableGridServer::settle_on_row(int row) {
  const int n = int(window_.size());
  current_ = n == 0 ? -1 : std::clamp(row, 0, n - 1);
  if (current_ >= 0) {
    const uint32_t r = recno(current_);
    if (r && table_->recno() != r) table_->go_to(r).ignore();
  }
  if (suspended_) return;
  // Also when the row stayed: rows taken out of the window may have moved the views' row.
  emit current_row_changed(current_);
  emit record_moved();
}

void TableGridServer::follow_table() {
  if (!USED()) return;
  int row = row_of_recno(table_->recno());
  if (row < 0) {
    place_window();
    row = row_of_recno(table_->recno());
  }
  if (row >= 0 && row != current_) {
    current_ = row;
    if (!suspended_) emit current_row_changed(row);
  }
  if (!suspended_) emit record_moved();
}

void TableGridServer::set_current_row(int row) {
  if (adjusting_ || row < 0 || row >= rowCount()) return;
  current_ = row;
  if (USED()) {
    const uint32_t r = recno(row);
    if (r && table_->recno() != r) table_->go_to(r).ignore();
  }
  if (!suspended_) emit record_moved();
}

void TableGridServer::set_page_rows(int rows) {
  rows = std::max(1, rows);
  if (rows == page_rows_) return;
  page_rows_ = rows;
  if (!USED() || window_.empty()) return;
  // The table's record stays in the window.
  const uint32_t keep = table_->recno();
  std::vector<uint32_t> next = rows_from(window_.front());
  if (!next.empty() && std::find(next.begin(), next.end(), keep) == next.end() && in_sequence(keep) &&
      after(keep, next))
    next = rows_ending_at(keep);
  show_rows(std::move(next));
  const int row = row_of_recno(keep);
  if (row >= 0) {
    current_ = row;
    if (!suspended_) emit current_row_changed(row);
  } else {
    settle_on_row(current_);
  }
}

int TableGridServer::scroll_rows(int n) {
  if (!USED() || window_.empty() || n == 0) return 0;
  int moved = 0;
  if (n > 0) {
    uint32_t last = window_.back();
    for (uint32_t p = next_shown(step(last, 1), 1); p != 0;) {
      last = p;
      if (++moved >= n) break;
      p = next_shown(step(p, 1), 1);
    }
    if (moved == 0) return 0;
    show_rows(rows_ending_at(last));
  } else {
    uint32_t first = window_.front();
    for (uint32_t p = next_shown(step(first, -1), -1); p != 0;) {
      first = p;
      if (++moved >= -n) break;
      p = next_shown(step(p, -1), -1);
    }
    if (moved == 0) return 0;
    moved = -moved;
    show_rows(rows_from(first));
  }
  settle_on_row(current_);
  return moved;
}

int TableGridServer::scroll_extent() const {
  return int(std::clamp<int64_t>(scroll_scale() - page_rows_, 0, std::numeric_limits<int>::max()));
}

int TableGridServer::scroll_position() const { return scroll_pos_; }

void TableGridServer::scroll_to_position(int pos) {
  if (!USED() || window_.empty()) return;
  if (!ordered()) {
    show_rows(rows_from(uint32_t(std::max(0, pos)) + 1));
  } else {
    const int extent = scroll_extent();
    if (pos <= 0) {
      show_rows(rows_from(first_rec()));
    } else if (pos >= extent) {
      show_rows(rows_ending_at(last_rec()));
    } else {
      auto r = table_->navigator()->at_position(double(pos) / double(std::max<int64_t>(1, scroll_scale())));
      show_rows(rows_from(r ? *r : 0));
      // Between the ends the bar stays where the user put it.
      if (scroll_pos_ > 0 && scroll_pos_ < extent) scroll_pos_ = pos;
    }
  }
  settle_on_row(current_);
}

void TableGridServer::refresh() {
  beginResetModel();
  resetting_ = true;
  drop_cache();
  rebuild_rows();
  window_.clear();
  current_ = -1;
  if (USED()) {
    place_window();
    current_ = window_.empty() ? -1 : std::max(0, row_of_recno(table_->recno()));
  }
  resetting_ = false;
  endResetModel();
  emit window_moved();
  if (!suspended_) emit current_row_changed(current_);
}

// Other users of a shared table may have appended or changed records.
void TableGridServer::auto_refresh() {
  if (!USED() || !table_->shared() || suspended_) return;
  if (!natural_) return;  // an ordered view is refreshed by its owner
  drop_cache();
  const uint32_t keep = table_->recno();
  show_rows(rows_from(window_.empty() ? first_rec() : window_.front()));
  const int row = row_of_recno(keep);
  if (row >= 0) current_ = row;
  else settle_on_row(current_);
}

void TableGridServer::GOTOP() {
  if (!USED()) return;
  report(table_->go_top());
  follow_table();
}

void TableGridServer::GOBOTTOM() {
  if (!USED()) return;
  report(table_->go_bottom());
  follow_table();
}

bool TableGridServer::GOTO(uint32_t r) {
  if (!USED()) return false;
  if (!report(table_->go_to(r))) return false;
  follow_table();
  return true;
}

bool TableGridServer::report(const Status& s) {
  if (s) return true;
  last_status_ = s;
  emit write_failed(QString::fromStdString(s.message()));
  return false;
}

bool TableGridServer::SKIP(int n) {
  if (!USED()) return false;
  const uint32_t before = table_->recno();
  Status s = table_->skip(n);
  // Past the last record the table stands on the phantom record; the grid keeps the last row.
  if (s && table_->eof() && n > 0) s = table_->go_bottom();
  report(s);
  follow_table();
  return s.is_ok() && table_->recno() != before;
}

Status TableGridServer::SETORDER(int n) {
  if (!USED() || !orders_) return Status::not_found("Es ist keine Datei geöffnet");
  const uint32_t keep = table_->recno();
  Status s = orders_->set_order(n);
  table_->go_to(keep).ignore();
  refresh();
  return s;
}

// A change can take a record out of the window (deleted under the filter) or bring it
// back: the window is taken again from its first row.
void TableGridServer::record_changed(uint32_t r) {
  if (r == 0 || !USED()) return;
  forget_record(r);
  if (!deleted_filter()) {
    const int row = row_of_recno(r);
    if (row >= 0) emit dataChanged(index(row, 0), index(row, std::max(0, columnCount() - 1)));
    return;
  }
  const uint32_t keep = table_->recno();
  show_rows(rows_from(window_.empty() ? first_rec() : window_.front()));
  const int row = row_of_recno(keep);
  if (row >= 0 && row != current_) {
    current_ = row;
    if (!suspended_) emit current_row_changed(row);
  }
}

}  // namespace mv
