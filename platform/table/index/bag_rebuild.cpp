#include "platform/table/index/bag_rebuild.h"

#include <memory>

#include "platform/table/table.h"

namespace mv {
namespace {

struct Exclusive {
  std::unique_ptr<Table> table;
  std::unique_ptr<OrderList> orders;
};

// The table on a connection of its own, exclusive and writable, without any index file
// open: the files are about to be written anew, and a damaged one must not stop that.
Result<Exclusive> open_exclusive(const IndexRebuildTable& t) {
  OpenOptions o;
  o.shared = false;
  o.read_only = false;
  o.driver = t.driver;
  o.code_page = t.code_page;
  o.fs = t.fs;
  Exclusive x;
  auto table = Table::open(t.dbf_path, o);
  if (!table.is_ok()) return table.status();
  x.table = std::move(*table);
  OrderListOptions lo;
  lo.open_production = false;
  lo.require_production = false;
  auto orders = OrderList::attach(*x.table, lo);
  if (!orders.is_ok()) return orders.status();
  x.orders = std::move(*orders);
  return x;
}

Status close_exclusive(Exclusive& x) {
  Status st = x.orders ? x.orders->flush() : Status::ok();
  x.orders.reset();
  Status closed = x.table ? x.table->close() : Status::ok();
  x.table.reset();
  return st.is_ok() ? closed : st;
}

// Runs `work` on the table's exclusive connection and closes it; the outcome tells whether
// the table opened and the first failure, of the work or of the close.
template <class Work>
IndexRebuildOutcome on_exclusive(const IndexRebuildTable& table, Work&& work) {
  IndexRebuildOutcome out;
  auto x = open_exclusive(table);
  if (!x.is_ok()) {
    out.status = x.status();
    return out;
  }
  out.opened = true;
  work(*x, out);
  Status closed = close_exclusive(*x);
  if (out.status.is_ok()) out.status = closed;
  return out;
}

}  // namespace

uint32_t records_of(const IndexRebuildTable& table) {
  OpenOptions o;
  o.read_only = true;
  o.driver = table.driver;
  o.code_page = table.code_page;
  o.fs = table.fs;
  auto t = Table::open(table.dbf_path, o);
  if (!t.is_ok()) return 0;
  const uint32_t n = (*t)->lastrec();
  (*t)->close().ignore();
  return n;
}

IndexRebuildOutcome rebuild_index_bag(const IndexRebuildTable& table, const std::vector<OrderDefinition>& orders,
                                      const OrderProgress& progress) {
  return on_exclusive(table, [&](Exclusive& x, IndexRebuildOutcome& out) {
    out.status = x.orders->write_production_bag(orders, progress, &out.skipped);
  });
}

IndexRebuildOutcome rebuild_ntx_files(const IndexRebuildTable& table, const std::vector<OrderDefinition>& files,
                                      const OrderProgress& progress, const std::function<void(size_t row)>& before_row) {
  return on_exclusive(table, [&](Exclusive& x, IndexRebuildOutcome& out) {
    const uint64_t records = x.table->lastrec();
    const uint64_t total = records * files.size();
    for (size_t i = 0; i < files.size() && out.status.is_ok(); ++i) {
      if (before_row) before_row(i);
      const OrderDefinition& d = files[i];
      CreateOrderOptions co;
      co.for_expr = d.for_expr;
      co.unique = d.unique;
      co.descending = d.descending;
      if (progress)
        co.progress = [&, base = records * i](uint64_t done, uint64_t) { return progress(base + done, total); };
      const std::string file = d.file.empty() ? d.name : d.file;
      // The old file, when it opens, tells the key order (byte order or German) the new one
      // keeps; create_index closes it before it puts the new one in its place.
      x.orders->close_index_files().ignore();
      x.orders->add_index_file(file).ignore();
      // create_index builds beside and renames over the file of that path when complete.
      out.status = x.orders->create_index(file, d.key, co);
      if (!out.status.is_ok()) out.failed_row = i;
    }
  });
}

}  // namespace mv
