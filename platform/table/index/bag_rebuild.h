#pragma once
// Index files written anew for a closed table, as "Index aktualisieren" and every change of
// a bag's order list need it: the table is opened exclusively on a connection of its own,
// each index file is built beside the table under a temporary name and put in place only
// when it is complete. A stop, a failing write, sync or rename keeps every index file not
// yet completely rebuilt byte for byte as it was, and the table opens with it afterwards.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/filesystem.h"
#include "platform/base/status.h"
#include "platform/table/index/order_list.h"

namespace mv {

struct IndexRebuildOutcome {
  // Ok; Locked when the table could not be opened exclusively; Cancelled when the progress
  // callback stopped the run; NotSupported for an order the bag's format cannot keep (a
  // FOR condition in an MDX bag); else the failure of the step that went wrong.
  Status status;
  bool opened = false;             // the exclusive connection was made
  std::vector<size_t> skipped;     // bag: rows (0-based) whose order could not be built
  size_t failed_row = size_t(-1);  // NTX: the row whose file could not be rebuilt
  bool ok() const { return status.is_ok(); }
};

struct IndexRebuildTable {
  std::string dbf_path;
  std::string driver;  // "DBFCDX", "_DBFCDX", "DBFMDX" (bag) or "DBFNTX"
  CodePage code_page = CodePage::Cp850;
  FileSystem* fs = nullptr;  // nullptr: the real file system
};

// The number of records the exclusive connection sees (for the progress window's step
// count); 0 when the table cannot be read.
uint32_t records_of(const IndexRebuildTable& table);

// The production bag of the table written anew from `orders`, in list order (see
// OrderList::write_production_bag). The progress callback counts records over all rows.
IndexRebuildOutcome rebuild_index_bag(const IndexRebuildTable& table, const std::vector<OrderDefinition>& orders,
                                      const OrderProgress& progress = {});

// Every NTX file of `files` rebuilt at its own path (OrderDefinition::file) with its key,
// FOR condition and flags, first to last; `before_row` is told each row before it starts.
// The first row that fails stops the run (failed_row); the files before it stay rebuilt.
IndexRebuildOutcome rebuild_ntx_files(const IndexRebuildTable& table, const std::vector<OrderDefinition>& files,
                                      const OrderProgress& progress = {},
                                      const std::function<void(size_t row)>& before_row = {});

}  // namespace mv
