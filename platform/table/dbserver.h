#pragma once
// A table with its order list, as the calendar program's table classes use it: opened with
// the bag of its own name, navigated by the current order, read and written by field name.
// Every operation answers a Status; a server whose table failed to open answers each call
// with that failure instead of crashing, so the pages keep working without their tables.
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

  Result<Value> FIELDGET(std::string_view name);
  Status FIELDPUT(std::string_view name, const Value& value);
  // APPEND BLANK: a blank record that becomes current.
  Status APPEND();
  Status COMMIT();
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

  std::unique_ptr<Table> table_;
  std::unique_ptr<OrderList> orders_;
  std::string path_;
  Status open_status_;
};

}  // namespace mv
