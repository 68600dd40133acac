#pragma once
// The data page's server over its open table (the page's GRIDDBSERVER). It shows a page of
// a large table without reading the table: in record-number order row n is record n + 1
// and the rows are the table's record count, read through a small block cache; records
// the deleted filter hides are hidden by the page as they come into view, so opening and
// going to the last record cost the same for ten thousand records as for a million. In an
// index order the rows are the order's visible records, taken once per refresh. The server
// owns the table and its orders and closes them when it goes.
#include <QVariant>
#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/base/status.h"
#include "platform/grid/gridserver.h"
#include "platform/table/table.h"
#include "tablewindow/orders.h"

namespace mv {

class TableGridServer : public grid::GRIDSERVER {
  Q_OBJECT
 public:
  TableGridServer(std::unique_ptr<Table> table, std::unique_ptr<TableOrders> orders, QObject* parent = nullptr);
  ~TableGridServer() override;

  Table* table() const { return table_.get(); }
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

  // True while row n is record n + 1 (no order); the deleted filter then hides rows.
  bool natural() const { return natural_; }

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
  void record_changed(uint32_t recno);
  // Records were appended or removed: everything is read again, the grid follows the
  // table's current record.
  void refresh() override;
  void auto_refresh() override;

  // GRIDSERVER
  uint32_t recno(int row) const override;
  int row_of_recno(uint32_t recno) const override;
  bool is_deleted(int row) const override;
  QVariant field_value(int row, int pos) const override;
  bool set_field_value(int row, int pos, const QVariant& value) override;
  int field_count() const override;
  QString field_name(int pos) const override;
  char field_type(int pos) const override;
  int field_length(int pos) const override;
  void set_current_row(int row) override;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;

  // The failure of the last write through the grid.
  const Status& last_status() const { return last_status_; }
  // Records read for the grid so far (tests, benchmark).
  uint64_t records_read() const { return records_read_; }

 signals:
  // The table's current record changed (navigation, a click in the grid).
  void record_moved();
  // A value typed into the grid could not be written (the reason, German).
  void write_failed(const QString& reason);

 private:
  static constexpr uint32_t kBlock = 64;
  static constexpr size_t kMaxBlocks = 64;
  struct Block {
    std::vector<uint8_t> bytes;
    uint32_t first = 0;
    uint32_t count = 0;
  };
  const uint8_t* record_bytes(uint32_t recno) const;
  void drop_cache();
  void rebuild_rows();
  void follow_table();

  std::unique_ptr<Table> table_;
  std::unique_ptr<TableOrders> orders_;
  bool natural_ = true;
  uint32_t count_ = 0;
  std::vector<uint32_t> map_;  // row -> record in an index order
  mutable std::unordered_map<uint32_t, Block> blocks_;
  mutable std::list<uint32_t> lru_;
  mutable uint64_t records_read_ = 0;
  Status last_status_;
};

}  // namespace mv
