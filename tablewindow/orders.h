#pragma once
// The orders of an open table as the data page uses them: how many, their names, key
// expressions and files, the active one and its key count. The production bag (".CDX" of
// the CDX drivers, ".MDX" of "DBFMDX") is opened with the table by the table layer's
// order list, which keeps every open order right on every write.
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/filesystem.h"
#include "platform/base/status.h"
#include "platform/table/table.h"

namespace mv {

struct OrderFacts {
  int number = 0;  // 1-based
  QString name;
  QString key;
  QString bag;     // full path of the order's file
  QString for_expr;
  bool unique = false;
  bool descending = false;
};

class OrderList;

class TableOrders {
 public:
  virtual ~TableOrders() = default;
  virtual int count() const = 0;                   // ORDERINFO 44
  virtual OrderFacts info(int number) const = 0;   // ORDERINFO 5, 2, 20
  virtual Status set_order(int number) = 0;        // 0: record-number order
  virtual int index_ord() const = 0;               // INDEXORD
  // ORDERINFO 26 of the active order; a damaged or unreadable order answers its Status.
  virtual Result<uint64_t> key_count() = 0;
  // ORDERKEYVAL: the active order's key of the current record (Nil without an order).
  virtual Result<Value> key_value() { return Value::nil(); }
  // SEEK on the active order with a key typed as text (stored bytes of the table's code
  // page), read as the key's type: a number, a date in the program's format, a logical
  // letter. Answers false, and the table stays, when no order is active or the text is
  // not a value of that type; true when it sought (found or not: the table then stands
  // on the next greater key, or at its end).
  virtual Result<bool> seek_text(const std::string& text) { (void)text; return false; }
  // The table layer's order list behind these orders (SETINDEX, CREATEINDEX), if any.
  virtual OrderList* order_list() { return nullptr; }
};

// What attaching the orders found.
struct AttachedOrders {
  std::unique_ptr<TableOrders> orders;  // never null (no orders at worst)
  // A production bag that cannot be kept up to date with the table's driver (another
  // index family, a damaged bag, an order whose key cannot be evaluated): its path and
  // why. Empty when every order is maintained.
  std::string unmaintained_bag;
  std::string reason;
};

// Attaches the table layer's order list to `table` (which must outlive the orders).
AttachedOrders attach_orders(Table& table);

// The production bag lying beside `table_path` (".CDX" or ".MDX", found without regard
// to case), or nothing.
std::optional<std::string> production_bag(FileSystem& fs, const std::string& table_path);

}  // namespace mv
