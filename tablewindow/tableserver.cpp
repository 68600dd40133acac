#include "tablewindow/tableserver.h"

#include <QDate>
#include <algorithm>

#include "platform/base/codepage.h"
#include "platform/table/dbf_format.h"
#include "platform/table/field_codec.h"

namespace mv {

TableGridServer::TableGridServer(std::unique_ptr<Table> table, std::unique_ptr<TableOrders> orders, QObject* parent)
    : grid::GRIDDBSERVER(std::move(table), false, parent), orders_(std::move(orders)) {}

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

QString TableGridServer::field_name(int pos) const {
  return pos >= 1 && pos <= field_count() ? QString::fromLatin1(table_->field(pos).name.c_str()) : QString();
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
  forget_record(r);
  const int row = row_of_recno(r);
  if (row >= 0) emit dataChanged(index(row, 0), index(row, std::max(0, columnCount() - 1)));
}

}  // namespace mv
