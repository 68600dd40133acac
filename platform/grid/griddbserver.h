#pragma once
// The grid's server over an open table. It never reads the whole table to show a page:
// in natural order without the deleted filter row n is record n + 1 and the row count is
// the table's record count; rows are read through a small block cache. With an index
// order or the deleted filter in force, the row list is taken from the table's
// navigation once per refresh. A generation counter drops every cached row after
// refresh() (pack, zap, reopen, an order change). A server of its own over a table (the
// data page's) derives from it and keeps the cache, the row list and the refresh.
#include <QString>
#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/base/status.h"
#include "platform/grid/gridserver.h"
#include "platform/table/table.h"

namespace mv::grid {

class GRIDDBSERVER : public GRIDSERVER {
  Q_OBJECT
 public:
  explicit GRIDDBSERVER(std::unique_ptr<Table> table, QObject* parent = nullptr);
  ~GRIDDBSERVER() override;

  Table* table() const { return table_.get(); }
  // Hands the table back (closing it is the caller's); the server shows no rows until
  // set_table gives it one again.
  std::unique_ptr<Table> release_table();
  void set_table(std::unique_ptr<Table> table);

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
  void refresh() override;
  void auto_refresh() override;
  // The record `row` shows was changed through the table: read it again.
  void refresh_row(int row);
  // A long job walks the table itself: meanwhile moving the table tells no view and the
  // automatic refresh reads nothing. The reset shows the rows around the table's record.
  void SUSPENDNOTIFICATION() { suspend_notifications(true); }
  void RESETNOTIFICATION() {
    suspend_notifications(false);
    refresh();
  }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;

  // True while row n is record n + 1 (no order, no row list).
  bool natural() const { return natural_; }
  // The last failure of a write through the grid.
  const Status& last_status() const { return last_status_; }
  uint64_t generation() const { return generation_; }
  // Records read from the file so far (for tests and the benchmark).
  uint64_t records_read() const { return records_read_; }

 protected:
  // `row_list`: an index order or the deleted filter takes the visible records into a
  // row list. A server that walks the table itself (a paged one) passes false: it then
  // gets no row list in any order, and natural() tells only whether an order is set.
  GRIDDBSERVER(std::unique_ptr<Table> table, bool row_list, QObject* parent);

  // Whether the rows can be read from table_ (a derived server may ask for more than that
  // it is there).
  virtual bool table_usable() const { return table_ != nullptr; }
  // Whether field `f` shows as a memo: "Memo" when it points to a text, "memo" when not.
  virtual bool memo_field(const FieldInfo& f) const;
  // The stored bytes of record `recno` through the block cache (nullptr past the end).
  const uint8_t* record_bytes(uint32_t recno) const;
  void rebuild_rows();
  void drop_cache();
  // The cached block holding `recno` is read again when next asked for.
  void forget_record(uint32_t recno);

  std::unique_ptr<Table> table_;
  bool natural_ = true;
  uint32_t count_ = 0;                 // rows
  std::vector<uint32_t> map_;          // row -> recno when not natural
  // Where record r stands in map_ (its index + 1, 0 when it is not listed): a record's row
  // is found without searching the list.
  std::vector<uint32_t> listed_at_;
  int64_t listed_place(uint32_t recno) const {
    return recno < listed_at_.size() ? int64_t(listed_at_[recno]) - 1 : -1;
  }
  Status last_status_;

 private:
  static constexpr uint32_t kBlock = 64;
  static constexpr size_t kMaxBlocks = 64;
  struct Block {
    std::vector<uint8_t> bytes;  // kBlock records (or fewer at the end)
    uint32_t first = 0;          // first record number
    uint32_t count = 0;
  };

  bool row_list_ = true;
  mutable std::unordered_map<uint32_t, Block> blocks_;  // by block number
  mutable std::list<uint32_t> lru_;
  mutable uint64_t records_read_ = 0;
  uint64_t generation_ = 0;
};

}  // namespace mv::grid
