#include "platform/grid/griddbserver.h"

#include <algorithm>

#include "platform/base/codepage.h"
#include "platform/table/dbf_format.h"
#include "platform/table/field_codec.h"
#include "platform/table/field_input.h"

namespace mv::grid {

GRIDDBSERVER::GRIDDBSERVER(std::unique_ptr<Table> table, QObject* parent)
    : GRIDDBSERVER(std::move(table), true, parent) {}

GRIDDBSERVER::GRIDDBSERVER(std::unique_ptr<Table> table, bool row_list, QObject* parent)
    : GRIDSERVER(parent), table_(std::move(table)), row_list_(row_list) {
  rebuild_rows();
  if (count_ > 0) current_ = table_ ? std::max(0, row_of_recno(table_->recno())) : 0;
}

GRIDDBSERVER::~GRIDDBSERVER() = default;

std::unique_ptr<Table> GRIDDBSERVER::release_table() {
  beginResetModel();
  std::unique_ptr<Table> t = std::move(table_);
  drop_cache();
  rebuild_rows();
  current_ = -1;
  endResetModel();
  return t;
}

void GRIDDBSERVER::set_table(std::unique_ptr<Table> table) {
  beginResetModel();
  table_ = std::move(table);
  drop_cache();
  rebuild_rows();
  current_ = count_ > 0 ? std::max(0, row_of_recno(table_->recno())) : -1;
  endResetModel();
}

void GRIDDBSERVER::drop_cache() {
  ++generation_;
  blocks_.clear();
  lru_.clear();
}

void GRIDDBSERVER::forget_record(uint32_t recno) {
  if (recno == 0) return;
  const uint32_t number = (recno - 1) / kBlock;
  blocks_.erase(number);
  lru_.remove(number);
}

void GRIDDBSERVER::rebuild_rows() {
  map_.clear();
  listed_at_.clear();
  count_ = 0;
  if (!table_ || !table_->is_open()) return;
  natural_ = table_->navigator() == nullptr && !(row_list_ && deleted_filter());
  if (natural_) {
    count_ = table_->lastrec();
    return;
  }
  if (!row_list_) return;
  // The visible records in the current order; the table's position is kept.
  const uint32_t keep = table_->recno();
  if (table_->go_top().is_ok()) {
    while (!table_->eof()) {
      map_.push_back(table_->recno());
      if (!table_->skip(1).is_ok()) break;
    }
  }
  table_->go_to(keep).ignore();
  count_ = uint32_t(map_.size());
  uint32_t top = 0;
  for (uint32_t r : map_) top = std::max(top, r);
  listed_at_.assign(size_t(top) + 1, 0);
  for (size_t i = 0; i < map_.size(); ++i) listed_at_[map_[i]] = uint32_t(i + 1);
}

int GRIDDBSERVER::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(count_); }

uint32_t GRIDDBSERVER::recno(int row) const {
  if (row < 0 || uint32_t(row) >= count_) return 0;
  return natural_ ? uint32_t(row) + 1 : map_[size_t(row)];
}

int GRIDDBSERVER::row_of_recno(uint32_t recno) const {
  if (recno == 0) return -1;
  if (natural_) return recno <= count_ ? int(recno) - 1 : -1;
  return int(listed_place(recno));
}

const uint8_t* GRIDDBSERVER::record_bytes(uint32_t recno) const {
  if (!table_usable() || recno == 0) return nullptr;
  const uint32_t number = (recno - 1) / kBlock;
  auto it = blocks_.find(number);
  if (it == blocks_.end()) {
    Block b;
    b.first = number * kBlock + 1;
    const uint32_t last = table_->lastrec();
    if (b.first > last) return nullptr;
    b.count = std::min(kBlock, last - b.first + 1);
    const size_t len = table_->record_length();
    b.bytes.resize(size_t(b.count) * len);
    std::vector<uint8_t> one;
    for (uint32_t i = 0; i < b.count; ++i) {
      if (!table_->read_record(b.first + i, one).is_ok() || one.size() < len) {
        b.count = i;
        break;
      }
      std::copy(one.begin(), one.begin() + long(len), b.bytes.begin() + long(i * len));
      ++records_read_;
    }
    if (blocks_.size() >= kMaxBlocks && !lru_.empty()) {
      blocks_.erase(lru_.back());
      lru_.pop_back();
    }
    it = blocks_.emplace(number, std::move(b)).first;
    lru_.push_front(number);
  } else if (lru_.front() != number) {
    lru_.remove(number);
    lru_.push_front(number);
  }
  const Block& b = it->second;
  if (recno - b.first >= b.count) return nullptr;
  return b.bytes.data() + size_t(recno - b.first) * table_->record_length();
}

bool GRIDDBSERVER::is_deleted(int row) const {
  const uint8_t* rec = record_bytes(recno(row));
  return rec && rec[0] == '*';
}

static QString trimmed_right(QString s) {
  int n = int(s.size());
  while (n > 0 && s[n - 1] == QChar(' ')) --n;
  s.truncate(n);
  return s;
}

bool GRIDDBSERVER::memo_field(const FieldInfo& f) const {
  return (f.type == 'M' || f.type == 'G' || f.type == 'B') && (f.length == 10 || f.length == 4);
}

QVariant GRIDDBSERVER::field_value(int row, int pos) const {
  if (!table_usable() || pos < 1 || pos > int(table_->fcount())) return {};
  const uint8_t* rec = record_bytes(recno(row));
  if (!rec) return {};
  const FieldInfo& f = table_->field(pos);
  const std::string_view raw(reinterpret_cast<const char*>(rec) + f.offset, f.length);
  if (memo_field(f)) return get_memo_pointer(f, rec) ? QStringLiteral("Memo") : QStringLiteral("memo");
  switch (f.type) {
    case 'C':
      return trimmed_right(QString::fromStdString(cp_to_utf8(table_->code_page(), raw)));
    case 'N':
    case 'F':
      return QString::fromLatin1(raw.data(), int(raw.size())).trimmed();
    case 'D': {
      const Value v = decode_field(f, rec, table_->version());
      if (v.date.empty()) return QString();
      return format_date(QDate(v.date.year(), v.date.month(), v.date.day()));
    }
    case 'L': {
      const Value v = decode_field(f, rec, table_->version());
      const char c = raw.empty() ? ' ' : raw[0];
      if (c == ' ' || c == '?') return QString();
      return v.logical ? QStringLiteral("T") : QStringLiteral("F");
    }
    default: {
      const Value v = decode_field(f, rec, table_->version());
      if (v.is_num()) return QString::number(v.num);
      return trimmed_right(QString::fromStdString(cp_to_utf8(table_->code_page(), v.str)));
    }
  }
}

bool GRIDDBSERVER::set_field_value(int row, int pos, const QVariant& value) {
  if (!table_ || pos < 1 || pos > int(table_->fcount())) return false;
  const uint32_t r = recno(row);
  if (r == 0) return false;
  const FieldInfo& f = table_->field(pos);
  // Memo texts are edited in their own window, not in a cell.
  auto v = dbf::is_memo_type(f.type, f.length, table_->version())
               ? Result<Value>(Status::not_supported("Felder dieses Typs werden im Gitter nicht bearbeitet!"))
               : value_from_input(f, value.toString().toStdString(), table_->code_page());
  if (!v) {
    last_status_ = v.status();
    return false;
  }
  const uint32_t keep = table_->recno();
  Status s = table_->go_to(r);
  if (s.is_ok()) s = table_->field_put(pos, *v);
  if (s.is_ok()) s = table_->commit();
  if (keep != r) table_->go_to(keep).ignore();
  last_status_ = s;
  forget_record(r);
  return s.is_ok();
}

int GRIDDBSERVER::field_count() const { return table_usable() ? int(table_->fcount()) : 0; }
QString GRIDDBSERVER::field_name(int pos) const {
  return pos >= 1 && pos <= field_count() ? QString::fromStdString(table_->field(pos).name) : QString();
}
char GRIDDBSERVER::field_type(int pos) const {
  return pos >= 1 && pos <= field_count() ? table_->field(pos).type : 'C';
}
int GRIDDBSERVER::field_length(int pos) const {
  return pos >= 1 && pos <= field_count() ? int(table_->field(pos).length) : 10;
}

void GRIDDBSERVER::set_current_row(int row) {
  GRIDSERVER::set_current_row(row);
  if (table_ && current_ >= 0) {
    const uint32_t r = recno(current_);
    if (r && table_->recno() != r) table_->go_to(r).ignore();
  }
}

void GRIDDBSERVER::refresh() {
  beginResetModel();
  drop_cache();
  rebuild_rows();
  if (count_ == 0) current_ = -1;
  else if (table_) current_ = std::max(0, row_of_recno(table_->recno()));
  endResetModel();
  if (!suspended_) emit current_row_changed(current_);
}

void GRIDDBSERVER::refresh_row(int row) {
  const uint32_t r = recno(row);
  if (r == 0) return;
  forget_record(r);
  emit dataChanged(index(row, 0), index(row, std::max(0, columnCount() - 1)));
}

// Other users of a shared table may have appended or changed records.
void GRIDDBSERVER::auto_refresh() {
  if (!table_ || !table_->is_open() || !table_->shared() || suspended_) return;
  if (!natural_) return;  // an ordered view is refreshed by its owner
  const uint32_t now = table_->lastrec();
  drop_cache();
  if (now > count_) {
    beginInsertRows(QModelIndex(), int(count_), int(now) - 1);
    count_ = now;
    endInsertRows();
  } else if (now < count_) {
    refresh();
    return;
  }
  if (count_ > 0) emit dataChanged(index(0, 0), index(int(count_) - 1, std::max(0, columnCount() - 1)));
}

}  // namespace mv::grid
