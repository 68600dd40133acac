#pragma once
// The data page's server over its open table (the page's GRIDDBSERVER). It shows a page of
// a large table without reading the table: in record-number order row n is record n + 1
// and the rows are the table's record count, read through the grid server's block cache;
// records the deleted filter hides are hidden by the page as they come into view, so
// opening and going to the last record cost the same for ten thousand records as for a
// million. In an index order the rows are the order's visible records, taken once per
// refresh. The server owns the table and its orders and closes them when it goes.
#include <QVariant>
#include <cstdint>
#include <memory>

#include "platform/base/status.h"
#include "platform/grid/griddbserver.h"
#include "platform/table/table.h"
#include "tablewindow/orders.h"

namespace mv {

class TableGridServer : public grid::GRIDDBSERVER {
  Q_OBJECT
 public:
  TableGridServer(std::unique_ptr<Table> table, std::unique_ptr<TableOrders> orders, QObject* parent = nullptr);
  ~TableGridServer() override;

  TableOrders* orders() const { return orders_.get(); }
  // USED: the table is open.
  bool USED() const { return table_ && table_->is_open(); }
  // CLOSE: writes what is buffered, releases the file and its locks; the server then
  // shows no rows.
  Status CLOSE();

  // Facts of the open table (0 / false without one).
  uint32_t RECNO() const;
  uint32_t LASTREC() const;
  bool DELETED() const;
  bool SHARED() const { return table_ && table_->shared(); }
  bool READONLY() const { return table_ && table_->read_only(); }
  QString RDDNAME() const;
  int INDEXORD() const { return orders_ ? orders_->index_ord() : 0; }

  // Navigation through the table (order and deleted filter as the table applies them);
  // the grid follows.
  void GOTOP() override;
  void GOBOTTOM() override;
  bool GOTO(uint32_t recno) override;  // goes there even when the row is hidden
  // SKIP n records; answers false when the table could not move.
  bool SKIP(int n);
  // SETORDER: 0 record-number order, else order n. Rebuilds the rows.
  Status SETORDER(int n);

  // Changes of the table's records by the page: the row of record `recno` is read again.
  // (Records appended or removed: refresh() reads everything again and the grid follows
  // the table's current record.)
  void record_changed(uint32_t recno);

  // What the data page accepts and how it names fields differ from the plain grid server's.
  bool set_field_value(int row, int pos, const QVariant& value) override;
  QString field_name(int pos) const override;
  void set_current_row(int row) override;

 signals:
  // The table's current record changed (navigation, a click in the grid).
  void record_moved();
  // A value typed into the grid could not be written (the reason, German).
  void write_failed(const QString& reason);

 protected:
  bool table_usable() const override { return USED(); }
  // Every field type the table keeps in its memo file.
  bool memo_field(const FieldInfo& f) const override;

 private:
  // The table belongs with its orders: it is neither handed out nor swapped on its own.
  using GRIDDBSERVER::release_table;
  using GRIDDBSERVER::set_table;

  void follow_table();

  std::unique_ptr<TableOrders> orders_;
};

}  // namespace mv
