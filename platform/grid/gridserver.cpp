#include "platform/grid/gridserver.h"

#include <algorithm>

namespace mv::grid {

QString column_header_text(const GridColumn& c) {
  if (c.mark_slot == GridColumn::MarkSlot::None || c.mark.isEmpty()) return c.caption;
  // "5" is the upward triangle of the symbol font the marks were drawn with.
  const QString mark = c.mark == QStringLiteral("5") ? QStringLiteral("\u25B2") : c.mark;
  return c.mark_slot == GridColumn::MarkSlot::Left ? mark + QChar(' ') + c.caption
                                                   : c.caption + QChar(' ') + mark;
}

QString format_date(const QDate& d) {
  return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : QString();
}

GRIDSERVER::GRIDSERVER(QObject* parent) : QAbstractTableModel(parent) {}

int GRIDSERVER::column_index(const QString& name) const {
  for (size_t i = 0; i < columns_.size(); ++i)
    if (columns_[i].name.compare(name, Qt::CaseInsensitive) == 0) return int(i);
  return -1;
}

int GRIDSERVER::add_column(const GridColumn& c, int at) {
  const int n = int(columns_.size());
  if (at < 0 || at > n) at = n;
  beginInsertColumns(QModelIndex(), at, at);
  columns_.insert(columns_.begin() + at, c);
  endInsertColumns();
  emit columns_updated();
  return at;
}

void GRIDSERVER::remove_column(int index) {
  if (index < 0 || index >= int(columns_.size())) return;
  beginRemoveColumns(QModelIndex(), index, index);
  columns_.erase(columns_.begin() + index);
  endRemoveColumns();
  emit columns_updated();
}

bool GRIDSERVER::open_column(const QString& name, int at) {
  int i = column_index(name);
  if (i < 0) return false;
  const int n = int(columns_.size());
  if (at >= 0 && at < n && at != i) {
    // Qt's move takes the destination before the move.
    const int dest = at > i ? at + 1 : at;
    if (beginMoveColumns(QModelIndex(), i, i, QModelIndex(), dest)) {
      GridColumn c = columns_[size_t(i)];
      columns_.erase(columns_.begin() + i);
      columns_.insert(columns_.begin() + at, c);
      endMoveColumns();
      i = at;
    }
  }
  columns_[size_t(i)].visible = true;
  emit columns_updated();
  return true;
}

bool GRIDSERVER::close_column(const QString& name) {
  const int i = column_index(name);
  if (i < 0) return false;
  columns_[size_t(i)].visible = false;
  emit columns_updated();
  return true;
}

void GRIDSERVER::add_all_field_columns() {
  for (int pos = 1; pos <= field_count(); ++pos) {
    const QString name = field_name(pos);
    const int len = field_length(pos);
    add_column(GridColumn::on_field(pos, name, name, field_type(pos), std::clamp(len, 4, 40) * 8 + 8));
  }
}

void GRIDSERVER::columns_changed() {
  if (!columns_.empty()) emit headerDataChanged(Qt::Horizontal, 0, int(columns_.size()) - 1);
  emit columns_updated();
}

bool GRIDSERVER::set_field_value(int, int, const QVariant&) { return false; }

void GRIDSERVER::set_current_row(int row) {
  const int n = rowCount();
  if (n == 0) row = -1;
  else row = std::clamp(row, 0, n - 1);
  if (row == current_) return;
  current_ = row;
  if (!suspended_) emit current_row_changed(row);
}

void GRIDSERVER::GOTOP() { set_current_row(0); }
void GRIDSERVER::GOBOTTOM() { set_current_row(rowCount() - 1); }

bool GRIDSERVER::GOTO(uint32_t recno) {
  const int row = row_of_recno(recno);
  if (row < 0) return false;
  set_current_row(row);
  return true;
}

void GRIDSERVER::refresh() {
  beginResetModel();
  endResetModel();
}

int GRIDSERVER::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(columns_.size());
}

QVariant GRIDSERVER::cell(int row, int column) const {
  if (column < 0 || column >= int(columns_.size()) || row < 0 || row >= rowCount()) return {};
  const GridColumn& c = columns_[size_t(column)];
  switch (c.kind) {
    case GridColumn::Kind::RecNo: return QVariant(qulonglong(recno(row)));
    case GridColumn::Kind::Expression: return c.expression ? c.expression(*this, row) : QVariant();
    case GridColumn::Kind::Field: return field_value(row, c.field);
  }
  return {};
}

static QString display_text(const QVariant& v) {
  switch (v.typeId()) {
    case QMetaType::QDate: return format_date(v.toDate());
    case QMetaType::Bool: return v.toBool() ? QStringLiteral("T") : QStringLiteral("F");
    case QMetaType::Double: {
      const double d = v.toDouble();
      return QString::number(d, 'f', d == double(qint64(d)) ? 0 : 2);
    }
    default: return v.toString();
  }
}

QVariant GRIDSERVER::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.column() >= int(columns_.size())) return {};
  const GridColumn& c = columns_[size_t(index.column())];
  switch (role) {
    case Qt::DisplayRole: return display_text(cell(index.row(), index.column()));
    case Qt::EditRole: return cell(index.row(), index.column());
    case Qt::TextAlignmentRole:
      return c.value_type == 'N' ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                                 : QVariant(int(Qt::AlignLeft | Qt::AlignVCenter));
    default: return {};
  }
}

QVariant GRIDSERVER::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal) {
    if (section < 0 || section >= int(columns_.size())) return {};
    if (role == Qt::DisplayRole) return column_header_text(columns_[size_t(section)]);
    return {};
  }
  // The record selector is a marker column: record numbers are a column of their own.
  return {};
}

Qt::ItemFlags GRIDSERVER::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  const GridColumn& c = columns_[size_t(index.column())];
  if (!c.read_only && c.kind == GridColumn::Kind::Field) f |= Qt::ItemIsEditable;
  return f;
}

bool GRIDSERVER::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole) return false;
  const GridColumn& c = columns_[size_t(index.column())];
  if (c.read_only || c.kind != GridColumn::Kind::Field) return false;
  if (!set_field_value(index.row(), c.field, value)) return false;
  emit dataChanged(this->index(index.row(), 0), this->index(index.row(), columnCount() - 1));
  return true;
}

// ---------------------------------------------------------------- array server

GRIDARRAYSERVER::GRIDARRAYSERVER(QObject* parent) : GRIDSERVER(parent) {}

GRIDARRAYSERVER::GRIDARRAYSERVER(QVector<QVariantList> rows, QStringList field_names, QObject* parent)
    : GRIDSERVER(parent), rows_(std::move(rows)), names_(std::move(field_names)) {
  if (!rows_.isEmpty()) current_ = 0;
}

int GRIDARRAYSERVER::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(rows_.size()); }

void GRIDARRAYSERVER::set_rows(QVector<QVariantList> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
  current_ = -1;
  set_current_row(0);
}

void GRIDARRAYSERVER::append_row(const QVariantList& row) { insert_row(int(rows_.size()), row); }

void GRIDARRAYSERVER::insert_row(int at, const QVariantList& row) {
  at = std::clamp(at, 0, int(rows_.size()));
  beginInsertRows(QModelIndex(), at, at);
  rows_.insert(at, row);
  endInsertRows();
  if (current_ < 0) set_current_row(0);
  else if (at <= current_) current_++;
}

void GRIDARRAYSERVER::delete_row(int row) {
  if (row < 0 || row >= rows_.size()) return;
  beginRemoveRows(QModelIndex(), row, row);
  rows_.removeAt(row);
  endRemoveRows();
  if (rows_.isEmpty()) current_ = -1;
  else if (row < current_ || current_ >= rows_.size()) current_--;
  if (!suspended_) emit current_row_changed(current_);
}

QVariant GRIDARRAYSERVER::value(int row, int element) const {
  if (row < 0 || row >= rows_.size()) return {};
  const QVariantList& r = rows_[row];
  return element >= 1 && element <= r.size() ? r[element - 1] : QVariant();
}

bool GRIDARRAYSERVER::set_value(int row, int element, const QVariant& v) {
  if (row < 0 || row >= rows_.size() || element < 1) return false;
  QVariantList& r = rows_[row];
  while (r.size() < element) r.push_back(QVariant());
  r[element - 1] = v;
  emit dataChanged(index(row, 0), index(row, std::max(0, columnCount() - 1)));
  return true;
}

QVariant GRIDARRAYSERVER::field_value(int row, int pos) const { return value(row, pos); }

bool GRIDARRAYSERVER::set_field_value(int row, int pos, const QVariant& value) {
  QVariant v = value;
  const QVariant old = this->value(row, pos);
  // Keep the element's kind: a number stays a number.
  if (old.isValid() && old.metaType() != v.metaType()) {
    if (old.typeId() == QMetaType::QDate && v.typeId() == QMetaType::QString) {
      v = QDate::fromString(v.toString(), QStringLiteral("dd.MM.yyyy"));
      if (!v.toDate().isValid() && !value.toString().trimmed().isEmpty()) return false;
    } else if (!v.convert(old.metaType())) {
      return false;
    }
  }
  if (row < 0 || row >= rows_.size() || pos < 1) return false;
  QVariantList& r = rows_[row];
  while (r.size() < pos) r.push_back(QVariant());
  r[pos - 1] = v;
  return true;
}

int GRIDARRAYSERVER::field_count() const {
  int n = int(names_.size());
  if (!rows_.isEmpty()) n = std::max(n, int(rows_.front().size()));
  return n;
}

QString GRIDARRAYSERVER::field_name(int pos) const {
  return pos >= 1 && pos <= names_.size() ? names_[pos - 1] : QString::number(pos);
}

void GRIDARRAYSERVER::set_structure(std::vector<ArrayField> fields) {
  structure_ = std::move(fields);
  names_.clear();
  for (const ArrayField& f : structure_) names_ << f.name;
}

int GRIDARRAYSERVER::field_length(int pos) const {
  return pos >= 1 && pos <= int(structure_.size()) ? structure_[size_t(pos - 1)].length : GRIDSERVER::field_length(pos);
}

char GRIDARRAYSERVER::field_type(int pos) const {
  if (pos >= 1 && pos <= int(structure_.size())) return structure_[size_t(pos - 1)].type;
  const QVariant v = value(0, pos);
  switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double: return 'N';
    case QMetaType::QDate: return 'D';
    case QMetaType::Bool: return 'L';
    default: return 'C';
  }
}

void GRIDARRAYSERVER::refresh() {
  beginResetModel();
  endResetModel();
  if (current_ >= rows_.size()) current_ = int(rows_.size()) - 1;
}

}  // namespace mv::grid
