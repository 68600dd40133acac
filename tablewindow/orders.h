#pragma once
// The orders of an open table as the data page uses them: how many, their names, key
// expressions and files, the active one and its key count. The production bag (".CDX" of
// the CDX drivers, ".MDX" of "DBFMDX") is found beside the table.
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/base/filesystem.h"
#include "platform/base/status.h"
#include "platform/table/table.h"

namespace mv {

struct OrderFacts {
  int number = 0;  // 1-based
  QString name;
  QString key;
  QString bag;     // full path of the order's file
};

class TableOrders {
 public:
  virtual ~TableOrders() = default;
  virtual int count() const = 0;                   // ORDERINFO 44
  virtual OrderFacts info(int number) const = 0;   // ORDERINFO 5, 2, 20
  virtual Status set_order(int number) = 0;        // 0: record-number order
  virtual int index_ord() const = 0;               // INDEXORD
  virtual uint64_t key_count() = 0;                // ORDERINFO 26 of the active order
};

// The orders the table layer keeps for `table` (none while it offers none).
std::unique_ptr<TableOrders> attach_orders(Table& table);

// The production bag lying beside `table_path` (".CDX" or ".MDX", found without regard
// to case), or nothing.
std::optional<std::string> production_bag(FileSystem& fs, const std::string& table_path);

// A production bag that `table`, opened with its driver, cannot keep up to date: its
// path; nothing when there is none or the driver maintains it.
std::optional<std::string> unmaintained_bag(Table& table);

}  // namespace mv
