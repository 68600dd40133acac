#pragma once
// A table with its order list, as the calendar program's table classes use it: opened with
// the bag of its own name, navigated by the current order, read and written by field name.
// Every operation answers a Status; a server whose table failed to open answers each call
// with that failure instead of crashing, so the pages keep working without their tables.
//
// Field changes are collected: the FIELDPUTs of one record reach the file as one record
// write with one key change, at COMMIT or at the next move (GOTO, SKIP, SEEK, a new order,
// APPEND, CLOSE); an APPEND with its fields is one append. So another program never sees a
// record half filled in, and a refused write leaves the record wholly as it was. A write
// that fails is dropped (it never lands on the record moved to next) and its failure is
// the answer of the call that wrote it.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/filesystem.h"
#include "platform/base/status.h"
#include "platform/runtime/value.h"
#include "platform/table/dbf_header.h"

namespace mv {

class Table;
class OrderList;

class DBSERVER {
 public:
  DBSERVER();
  virtual ~DBSERVER();
  DBSERVER(const DBSERVER&) = delete;
  DBSERVER& operator=(const DBSERVER&) = delete;

  // Opens `path` (".dbf" added when it has none) shared or exclusive, read-only or not,
  // with `driver` ("" the default), then opens the bag of the same base name (SETINDEX).
  // A missing bag is no error: the table is then in natural order until CREATEORDER
  // builds one. `fs` nullptr is the real file system.
  Status open(const std::string& path, bool shared, bool read_only, const std::string& driver,
              FileSystem* fs = nullptr);
  // The outcome of the last open (ok while open).
  const Status& open_status() const { return open_status_; }
  bool used() const;

  // A tag of `key_expr` in the bag `bag` (path or base name; "" the table's own bag).
  Status CREATEORDER(const std::string& tag, const std::string& bag, const std::string& key_expr);
  // Makes the order of that tag current ("" or 0: natural order) and goes to the top.
  Status SETORDER(std::string_view tag);
  Status SETORDER(size_t number);
  // The tags of the open orders, in their order.
  std::vector<std::string> order_names() const;

  // SEEK on the current order: true when the key was found. Not found: `soft` stands on
  // the next key, else (and when there is none) at the end.
  Result<bool> SEEK(const Value& key, bool soft = false);
  Status GOTOP();
  Status GOBOTTOM();
  Status SKIP(int64_t n = 1);
  Status GOTO(uint32_t recno);
  uint32_t RECNO() const;
  // EOF (named so because EOF is a macro of the C library).
  bool eof() const;
  bool bof() const;
  uint32_t LASTREC();

  // The current record's value, changes not yet written included.
  Result<Value> FIELDGET(std::string_view name);
  Status FIELDPUT(std::string_view name, const Value& value);
  // APPEND BLANK: a blank record that becomes current. It is added to the file with its
  // fields at COMMIT or the next move; until then RECNO answers the number it expects.
  Status APPEND();
  // Writes the collected record (appended or changed) and what the orders buffered.
  Status COMMIT();
  // Whether field changes or an append wait for COMMIT or a move.
  bool pending() const { return pending_; }
  // Forgets the collected changes (and a waiting append): the record stays as stored.
  void discard() { drop_pending(); }

  // Holds the table's numbering lock while it lives: programs that choose the number of
  // a new record and append it under this lock never hand out one number twice. It is a
  // byte of our own beyond every xBase lock offset, so record and append locks of other
  // programs are not affected.
  class NumberingLock {
   public:
    NumberingLock() = default;
    explicit NumberingLock(std::unique_ptr<File> file) : file_(std::move(file)) {}
    NumberingLock(NumberingLock&&) = default;
    NumberingLock& operator=(NumberingLock&&) = default;
    ~NumberingLock();

   private:
    std::unique_ptr<File> file_;
  };
  // Waits up to `wait_ms` for another holder; Locked naming the table when it does not end.
  Result<NumberingLock> lock_numbering(int wait_ms = 10000);
  // Writes what is pending and releases the files; a closed server answers every
  // further call with an error and closing again is harmless.
  Status CLOSE();

  // The fields as the table reports them (empty when not open).
  std::vector<StructRow> DBSTRUCT() const;
  const std::string& path() const { return path_; }

  Table* table() const { return table_.get(); }
  OrderList* orders() const { return orders_.get(); }

 protected:
  // Closes the table and keeps `why` as the answer of every further call (a table the
  // caller cannot work with).
  void close_with(Status why);

 private:
  Status not_open() const;
  // Writes the collected record (retrying while another program holds a lock for a
  // moment); dropped whether it succeeded or not.
  Status write_pending();
  Status write_pending_once();
  void drop_pending();

  std::unique_ptr<Table> table_;
  std::unique_ptr<OrderList> orders_;
  std::string path_;
  Status open_status_;
  FileSystem* fs_ = nullptr;
  std::vector<uint8_t> record_;  // the collected record's bytes
  bool pending_ = false;
  bool appending_ = false;
  uint32_t expected_recno_ = 0;  // the number an append expects
  bool write_failed_ = false;    // a write was refused since the table opened
};

}  // namespace mv
