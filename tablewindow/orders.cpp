#include "tablewindow/orders.h"

namespace mv {
namespace {

// No orders: the table runs in record-number order.
class NoOrders : public TableOrders {
 public:
  int count() const override { return 0; }
  OrderFacts info(int) const override { return {}; }
  Status set_order(int number) override {
    return number == 0 ? Status::ok() : Status::not_found("Die Tabelle hat keine Indexreihenfolge " + std::to_string(number));
  }
  int index_ord() const override { return 0; }
  uint64_t key_count() override { return 0; }
};

}  // namespace

std::unique_ptr<TableOrders> attach_orders(Table&) { return std::make_unique<NoOrders>(); }

std::optional<std::string> production_bag(FileSystem& fs, const std::string& table_path) {
  if (auto p = find_companion(fs, table_path, ".cdx")) return p;
  if (auto p = find_companion(fs, table_path, ".mdx")) return p;
  return std::nullopt;
}

std::optional<std::string> unmaintained_bag(Table& table) {
  // The table layer does not keep any production bag up to date yet: every write would
  // leave the bag behind the table, so a table with one is only read.
  return production_bag(table.fs(), table.path());
}

}  // namespace mv
