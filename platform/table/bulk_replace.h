#pragma once
// Setting one field of many records in one run (the data page's "Feldwerte ersetzen").
// Every record in scope is computed before the first one is written: a value that cannot
// be computed or stored (a division by zero, a type clash, a number too wide) stops the
// run with nothing written. Shared, the writes then go record by record through the
// table, each under its lock; exclusive, the records are written in blocks and every open
// order takes their key changes in sorted batches (or is built anew when most of the
// table changes). A cancel or a failed write stops between two records: the records
// written stay, each record is wholly old or new, and the orders agree with them.
#include <cstdint>
#include <functional>

#include "platform/base/status.h"
#include "platform/runtime/value.h"

namespace mv {

class Table;

struct BulkReplace {
  int field = 0;      // the target field (1-based)
  bool rest = false;  // from the current record on, else from the first
  // Whether the current record is in the run (empty: every record) and its new value.
  std::function<Result<bool>(Table&)> condition;
  std::function<Result<Value>(Table&)> value;
  // Before record `step` (from 1) of `total` is written; false stops the run there.
  std::function<bool(uint64_t step, uint64_t total)> progress;
};

struct BulkReplaceOutcome {
  uint64_t written = 0;  // records written
  // Ok; Cancelled when stopped by `progress`; else why (a value: naming the record).
  Status status;
};

// Visits the records in the table's current order (under the deleted filter) from the top
// or from the current record. Text longer than the field is cut, as REPLACE does. The
// table is left on the record that was current before.
BulkReplaceOutcome bulk_replace(Table& table, const BulkReplace& run);

}  // namespace mv
