#pragma once
// Data servers of the browse control, as Qt table models. A server holds the grid's
// columns (data columns on a field, on the record number or on an expression evaluated
// per row; hidden columns stay in the list and are opened later) and answers rows on
// demand. Two servers: GRIDARRAYSERVER over an array of rows, GRIDDBSERVER over a table.
#include <QAbstractTableModel>
#include <QDate>
#include <QString>
#include <QVariant>
#include <QVector>
#include <cstdint>
#include <functional>
#include <vector>

namespace mv::grid {

class GRIDSERVER;

struct GridColumn {
  enum class Kind { Field, RecNo, Expression };

  QString name;          // the column's name (the field name for a field column)
  QString caption;       // the header text
  int width = 80;        // pixels; 0 keeps the column but shows nothing
  char value_type = 'C'; // 'C', 'N', 'D', 'L', 'M' ...
  Kind kind = Kind::Field;
  int field = 0;         // field position (1-based; array server: element) for Kind::Field
  // Kind::Expression: the value of a row.
  std::function<QVariant(const GRIDSERVER& server, int row)> expression;
  bool visible = true;
  bool read_only = false;
  // A slot for a sort mark beside the caption (none, left of it, right of it) and the
  // mark itself ("" none, "5" the upward triangle).
  enum class MarkSlot { None, Left, Right };
  MarkSlot mark_slot = MarkSlot::None;
  QString mark;

  static GridColumn on_field(int pos, const QString& name, const QString& caption, char type, int width) {
    GridColumn c;
    c.kind = Kind::Field;
    c.field = pos;
    c.name = name;
    c.caption = caption;
    c.value_type = type;
    c.width = width;
    return c;
  }
  static GridColumn on_recno(const QString& name, const QString& caption, int width) {
    GridColumn c;
    c.kind = Kind::RecNo;
    c.name = name;
    c.caption = caption;
    c.value_type = 'N';
    c.width = width;
    c.read_only = true;
    return c;
  }
  static GridColumn on_expression(const QString& name, const QString& caption, char type, int width,
                                  std::function<QVariant(const GRIDSERVER&, int)> fn) {
    GridColumn c;
    c.kind = Kind::Expression;
    c.name = name;
    c.caption = caption;
    c.value_type = type;
    c.width = width;
    c.expression = std::move(fn);
    c.read_only = true;
    return c;
  }
};

// The header text of a column: the caption with its sort mark drawn as a triangle.
QString column_header_text(const GridColumn& c);

// Text of a date as the programs show it.
QString format_date(const QDate& d);

class GRIDSERVER : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit GRIDSERVER(QObject* parent = nullptr);

  // ---- columns
  const std::vector<GridColumn>& columns() const { return columns_; }
  GridColumn& column(int index) { return columns_[size_t(index)]; }
  int column_index(const QString& name) const;  // -1 when unknown (names compare case-insensitively)
  // Appends (or inserts at `at`) a column; hidden columns are kept but not shown.
  int add_column(const GridColumn& c, int at = -1);
  void remove_column(int index);
  // Shows the hidden column `name` at position `at` (-1: where it is).
  bool open_column(const QString& name, int at = -1);
  bool close_column(const QString& name);
  // One field column per field of the server.
  virtual void add_all_field_columns();
  // Tells views that captions, widths or visibility changed.
  void columns_changed();

  // ---- rows and values
  // The record number of a row (array: row + 1).
  virtual uint32_t recno(int row) const = 0;
  virtual bool is_deleted(int /*row*/) const { return false; }
  // The row of a record number, -1 when not shown.
  virtual int row_of_recno(uint32_t recno) const = 0;
  // The value of field `pos` in `row` as shown (display text) and as edited.
  virtual QVariant field_value(int row, int pos) const = 0;
  virtual bool set_field_value(int row, int pos, const QVariant& value);
  // Field facts for add_all_field_columns.
  virtual int field_count() const = 0;
  virtual QString field_name(int pos) const = 0;
  virtual char field_type(int /*pos*/) const { return 'C'; }
  virtual int field_length(int /*pos*/) const { return 10; }

  // ---- current row (follows the views; the DB server also moves its table)
  int current_row() const { return current_; }
  virtual void set_current_row(int row);
  // Navigation of the server: moves the current row and tells the views.
  virtual void GOTOP();
  virtual void GOBOTTOM();
  // Moves to the row of record `recno`; false when it is not shown.
  virtual bool GOTO(uint32_t recno);
  // Re-reads everything (after pack, zap, reopen, an order change ...).
  virtual void refresh();
  // Called by the browse control's refresh timer; picks up changes of other users.
  virtual void auto_refresh() {}
  // ---- paging
  // A paged server shows a window of its rows, as many as the grid can show at once, and
  // moves the window through the rest: a table of a million records then costs the grid
  // no more than one of a hundred. The grid keeps a scroll bar of its own for it.
  virtual bool paged() const { return false; }
  // The grid tells how many rows it can show.
  virtual void set_page_rows(int /*rows*/) {}
  // Moves the window by n rows (negative: back); answers the rows moved. The current row
  // stays where it is on the screen and takes the record that moved under it.
  virtual int scroll_rows(int /*n*/) { return 0; }
  // The scroll bar: positions 0..scroll_extent(), the window's first row at scroll_position().
  virtual int scroll_extent() const { return 0; }
  virtual int scroll_position() const { return 0; }
  // The window from position `pos` on (as far as the rows after it fill it).
  virtual void scroll_to_position(int /*pos*/) {}

  // Notifications of the server may be suspended during long jobs.
  void suspend_notifications(bool on) { suspended_ = on; }
  bool notifications_suspended() const { return suspended_; }

  // ---- QAbstractTableModel
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  // The cell's value as shown.
  QVariant cell(int row, int column) const;

 signals:
  void current_row_changed(int row);
  void columns_updated();
  // A paged server's window moved or its extent changed.
  void window_moved();

 protected:
  std::vector<GridColumn> columns_;
  int current_ = -1;
  bool suspended_ = false;
};

// One column definition of an array server: name, type letter, length and decimals, as
// the page that fills the server describes its rows (printed lists size their columns by it).
struct ArrayField {
  QString name;
  char type = 'C';
  int length = 10;
  int decimals = 0;
};

// A server over an array of rows; each row is a list of values (QString, numbers, QDate,
// bool). A field column's `field` is the element position (1-based).
class GRIDARRAYSERVER : public GRIDSERVER {
  Q_OBJECT
 public:
  explicit GRIDARRAYSERVER(QObject* parent = nullptr);
  GRIDARRAYSERVER(QVector<QVariantList> rows, QStringList field_names, QObject* parent = nullptr);

  const QVector<QVariantList>& rows() const { return rows_; }
  void set_rows(QVector<QVariantList> rows);
  void set_field_names(QStringList names) { names_ = std::move(names); }
  // The column definitions; they also name the fields. Empty: none given.
  void set_structure(std::vector<ArrayField> fields);
  const std::vector<ArrayField>& structure() const { return structure_; }
  void append_row(const QVariantList& row);
  void insert_row(int at, const QVariantList& row);
  void delete_row(int row);
  QVariant value(int row, int element) const;  // raw value, element 1-based
  bool set_value(int row, int element, const QVariant& v);

  uint32_t recno(int row) const override { return uint32_t(row + 1); }
  int row_of_recno(uint32_t recno) const override {
    return recno >= 1 && int(recno) <= rows_.size() ? int(recno) - 1 : -1;
  }
  QVariant field_value(int row, int pos) const override;
  bool set_field_value(int row, int pos, const QVariant& value) override;
  int field_count() const override;
  QString field_name(int pos) const override;
  char field_type(int pos) const override;
  int field_length(int pos) const override;
  void refresh() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;

 private:
  QVector<QVariantList> rows_;
  QStringList names_;
  std::vector<ArrayField> structure_;
};

}  // namespace mv::grid
