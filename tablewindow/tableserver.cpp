#include "tablewindow/tableserver.h"

#include <QDate>
#include <algorithm>

#include "platform/base/codepage.h"
#include "platform/table/dbf_format.h"
#include "platform/table/field_codec.h"

namespace mv {

TableGridServer::TableGridServer(std::unique_ptr<Table> table, std::unique_ptr<TableOrders> orders, QObject* parent)
    : grid::GRIDSERVER(parent), table_(std::move(table)), orders_(std::move(orders)) {
  rebuild_rows();
  if (count_ > 0 && table_) current_ = std::max(0, row_of_recno(table_->recno()));
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
  count_ = 0;
  current_ = -1;
  endResetModel();
  return s;
}

uint32_t TableGridServer::RECNO() const { return USED() ? table_->recno() : 0; }
uint32_t TableGridServer::LASTREC() const { return USED() ? table_->lastrec() : 0; }
bool TableGridServer::DELETED() const { return USED() && table_->deleted(); }
QString TableGridServer::RDDNAME() const { return table_ ? QString::fromStdString(table_->driver()) : QString(); }

void TableGridServer::drop_cache() {
  blocks_.clear();
  lru_.clear();
}

void TableGridServer::rebuild_rows() {
  map_.clear();
  count_ = 0;
  if (!USED()) return;
  natural_ = table_->navigator() == nullptr;
  if (natural_) {
    count_ = table_->lastrec();
    return;
  }
  // The visible records in the order; the table's position is kept.
  const uint32_t keep = table_->recno();
  if (table_->go_top().is_ok()) {
    while (!table_->eof()) {
      map_.push_back(table_->recno());
      if (!table_->skip(1).is_ok()) break;
    }
  }
  table_->go_to(keep).ignore();
  count_ = uint32_t(map_.size());
}

int TableGridServer::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(count_); }

uint32_t TableGridServer::recno(int row) const {
  if (row < 0 || uint32_t(row) >= count_) return 0;
  return natural_ ? uint32_t(row) + 1 : map_[size_t(row)];
}

int TableGridServer::row_of_recno(uint32_t r) const {
  if (r == 0) return -1;
  if (natural_) return r <= count_ ? int(r) - 1 : -1;
  auto it = std::find(map_.begin(), map_.end(), r);
  return it == map_.end() ? -1 : int(it - map_.begin());
}

const uint8_t* TableGridServer::record_bytes(uint32_t r) const {
  if (!USED() || r == 0) return nullptr;
  const uint32_t number = (r - 1) / kBlock;
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
      std::copy(one.begin(), one.begin() + long(len), b.bytes.begin() + long(size_t(i) * len));
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
  if (r - b.first >= b.count) return nullptr;
  return b.bytes.data() + size_t(r - b.first) * table_->record_length();
}

bool TableGridServer::is_deleted(int row) const {
  const uint8_t* rec = record_bytes(recno(row));
  return rec && rec[0] == '*';
}

static QString without_trailing_blanks(QString s) {
  qsizetype n = s.size();
  while (n > 0 && s[n - 1] == QChar(' ')) --n;
  s.truncate(n);
  return s;
}

QVariant TableGridServer::field_value(int row, int pos) const {
  if (!USED() || pos < 1 || pos > int(table_->fcount())) return {};
  const uint8_t* rec = record_bytes(recno(row));
  if (!rec) return {};
  const FieldInfo& f = table_->field(pos);
  const std::string_view raw(reinterpret_cast<const char*>(rec) + f.offset, f.length);
  if (dbf::is_memo_type(f.type, f.length, table_->version()))
    return get_memo_pointer(f, rec) ? QStringLiteral("Memo") : QStringLiteral("memo");
  switch (f.type) {
    case 'C':
      return without_trailing_blanks(QString::fromStdString(cp_to_utf8(table_->code_page(), raw)));
    case 'N':
    case 'F':
      return QString::fromLatin1(raw.data(), qsizetype(raw.size())).trimmed();
    case 'D': {
      const Value v = decode_field(f, rec, table_->version());
      if (v.date.empty()) return QString();
      return QDate(v.date.year(), v.date.month(), v.date.day()).toString(QStringLiteral("dd.MM.yyyy"));
    }
    case 'L': {
      const char c = raw.empty() ? ' ' : raw[0];
      if (c == ' ' || c == '?') return QString();
      return decode_field(f, rec, table_->version()).logical ? QStringLiteral("T") : QStringLiteral("F");
    }
    default: {
      const Value v = decode_field(f, rec, table_->version());
      if (v.is_num()) return QString::number(v.num);
      return without_trailing_blanks(QString::fromStdString(cp_to_utf8(table_->code_page(), v.str)));
    }
  }
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
  const QString text = value.toString();
  Value v;
  switch (f.type) {
    case 'C': {
      auto bytes = cp_from_utf8(table_->code_page(), text.toStdString());
      if (!bytes) {
        last_status_ = bytes.status();
        emit write_failed(QString::fromStdString(last_status_.message()));
        return false;
      }
      v = Value::character(*bytes);
      break;
    }
    case 'N':
    case 'F': {
      const QString t = QString(text).replace(QChar(','), QChar('.')).trimmed();
      bool ok = false;
      const double d = t.toDouble(&ok);
      if (!ok && !t.isEmpty()) {
        last_status_ = Status::invalid_argument("Der Wert <" + text.toStdString() + "> ist keine Zahl!");
        emit write_failed(QString::fromStdString(last_status_.message()));
        return false;
      }
      v = t.isEmpty() ? Value::nil() : Value::numeric(d, int(f.length), f.decimals);
      break;
    }
    case 'D': {
      const QString t = text.trimmed();
      const QDate d = QDate::fromString(t, QStringLiteral("dd.MM.yyyy"));
      if (!d.isValid() && !t.isEmpty() && t != QLatin1String(".  .")) {
        last_status_ = Status::invalid_argument("Der Wert <" + text.toStdString() + "> ist kein Datum!");
        emit write_failed(QString::fromStdString(last_status_.message()));
        return false;
      }
      v = d.isValid() ? Value::of_date(Date::from_ymd(d.year(), d.month(), d.day())) : Value::nil();
      break;
    }
    case 'L': {
      const QString t = text.trimmed().toUpper();
      v = t.isEmpty() ? Value::nil()
                      : Value::boolean(t == "T" || t == "Y" || t == "J" || t == ".T." || t == "JA" || t == "1");
      break;
    }
    default:
      last_status_ = Status::not_supported("Felder dieses Typs werden im Gitter nicht bearbeitet!");
      emit write_failed(QString::fromStdString(last_status_.message()));
      return false;
  }
  const uint32_t keep = table_->recno();
  Status s = table_->go_to(r);
  // In shared use the table layer writes under the record's lock.
  if (s) s = table_->field_put(pos, v);
  if (s) s = table_->commit();
  if (keep != r) table_->go_to(keep).ignore();
  last_status_ = s;
  record_changed(r);
  if (!s) emit write_failed(QString::fromStdString(s.message()));
  return s.is_ok();
}

int TableGridServer::field_count() const { return USED() ? int(table_->fcount()) : 0; }
QString TableGridServer::field_name(int pos) const {
  return pos >= 1 && pos <= field_count() ? QString::fromLatin1(table_->field(pos).name.c_str()) : QString();
}
char TableGridServer::field_type(int pos) const {
  return pos >= 1 && pos <= field_count() ? table_->field(pos).type : 'C';
}
int TableGridServer::field_length(int pos) const {
  return pos >= 1 && pos <= field_count() ? int(table_->field(pos).length) : 10;
}

void TableGridServer::follow_table() {
  if (!USED()) return;
  const int row = row_of_recno(table_->recno());
  if (row >= 0 && row != current_) {
    current_ = row;
    if (!suspended_) emit current_row_changed(row);
  }
  if (!suspended_) emit record_moved();
}

void TableGridServer::set_current_row(int row) {
  if (row < 0 || row >= int(count_)) return;
  current_ = row;
  if (USED()) {
    const uint32_t r = recno(row);
    if (r && table_->recno() != r) table_->go_to(r).ignore();
  }
  if (!suspended_) emit record_moved();
}

void TableGridServer::GOTOP() {
  if (!USED()) return;
  table_->go_top().ignore();
  follow_table();
}

void TableGridServer::GOBOTTOM() {
  if (!USED()) return;
  table_->go_bottom().ignore();
  follow_table();
}

bool TableGridServer::GOTO(uint32_t r) {
  if (!USED()) return false;
  if (!table_->go_to(r).is_ok()) return false;
  follow_table();
  return true;
}

bool TableGridServer::SKIP(int n) {
  if (!USED()) return false;
  const uint32_t before = table_->recno();
  Status s = table_->skip(n);
  // Past the last record the table stands on the phantom record; the grid keeps the last row.
  if (s && table_->eof() && n > 0) s = table_->go_bottom();
  follow_table();
  return s.is_ok() && table_->recno() != before;
}

Status TableGridServer::SETORDER(int n) {
  if (!USED() || !orders_) return Status::not_found("Es ist keine Datei geöffnet");
  const uint32_t keep = table_->recno();
  Status s = orders_->set_order(n);
  beginResetModel();
  drop_cache();
  rebuild_rows();
  table_->go_to(keep).ignore();
  current_ = count_ > 0 ? std::max(0, row_of_recno(keep)) : -1;
  endResetModel();
  if (!suspended_) emit current_row_changed(current_);
  return s;
}

void TableGridServer::record_changed(uint32_t r) {
  if (r == 0) return;
  const uint32_t number = (r - 1) / kBlock;
  blocks_.erase(number);
  lru_.remove(number);
  const int row = row_of_recno(r);
  if (row >= 0) emit dataChanged(index(row, 0), index(row, std::max(0, columnCount() - 1)));
}

void TableGridServer::refresh() {
  beginResetModel();
  drop_cache();
  rebuild_rows();
  if (count_ == 0) current_ = -1;
  else if (USED()) current_ = std::max(0, row_of_recno(table_->recno()));
  endResetModel();
  if (!suspended_) emit current_row_changed(current_);
}

// Other users of a shared table may have appended or changed records.
void TableGridServer::auto_refresh() {
  if (!USED() || !table_->shared() || suspended_ || !natural_) return;
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

}  // namespace mv
