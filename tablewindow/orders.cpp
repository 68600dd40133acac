#include "tablewindow/orders.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/runtime/date.h"
#include "platform/runtime/strings.h"
#include "platform/table/index/order_list.h"

namespace mv {
namespace {

// A typed key as a value of the order's key type; nothing when the text is none.
std::optional<Value> key_of_text(index::KeyType type, const std::string& text) {
  const std::string_view t = str_alltrim(text);
  switch (type) {
    case index::KeyType::Character: return Value::character(text);
    case index::KeyType::Numeric: {
      std::string n(t);
      std::replace(n.begin(), n.end(), ',', '.');
      if (n.empty()) return std::nullopt;
      char* end = nullptr;
      const double d = std::strtod(n.c_str(), &end);
      if (end != n.c_str() + n.size() || !std::isfinite(d)) return std::nullopt;
      return Value::numeric(d);
    }
    case index::KeyType::Date: {
      const Date d = ctod(t);
      if (d.empty()) return std::nullopt;
      return Value::of_date(d);
    }
    case index::KeyType::Logical:
      if (t.size() != 1) return std::nullopt;
      if (std::string_view("TtJjYy1").find(t[0]) != std::string_view::npos) return Value::boolean(true);
      if (std::string_view("FfNn0").find(t[0]) != std::string_view::npos) return Value::boolean(false);
      return std::nullopt;
  }
  return std::nullopt;
}

// No orders: the table runs in record-number order.
class NoOrders : public TableOrders {
 public:
  int count() const override { return 0; }
  OrderFacts info(int) const override { return {}; }
  Status set_order(int number) override {
    return number == 0 ? Status::ok() : Status::not_found("Die Tabelle hat keine Indexreihenfolge " + std::to_string(number));
  }
  int index_ord() const override { return 0; }
  Result<uint64_t> key_count() override { return uint64_t(0); }
};

class ListOrders : public TableOrders {
 public:
  explicit ListOrders(std::unique_ptr<OrderList> list) : list_(std::move(list)) {}
  int count() const override { return int(list_->count()); }
  OrderFacts info(int n) const override {
    if (n < 1 || n > count()) return {};
    const index::OrderInfo& i = list_->info(size_t(n));
    return {n,
            QString::fromStdString(i.name),
            QString::fromLatin1(i.key_expr.c_str()),
            QString::fromStdString(i.bag_path),
            QString::fromLatin1(i.for_expr.c_str()),
            i.unique,
            i.descending};
  }
  Status set_order(int n) override {
    if (n < 0) return Status::invalid_argument("Index Nummer " + std::to_string(n) + " gibt es nicht");
    return list_->set_order(size_t(n));
  }
  int index_ord() const override { return int(list_->current()); }
  Result<uint64_t> key_count() override {
    MV_ASSIGN_OR_RETURN(auto k, list_->key_count(0));
    return uint64_t(k);
  }
  Result<Value> key_value() override { return list_->key_value(); }
  OrderList* order_list() override { return list_.get(); }
  Result<bool> seek_text(const std::string& text) override {
    const size_t cur = list_->current();
    if (cur == 0 || !list_->tree(cur)) return false;
    const std::optional<Value> key = key_of_text(list_->tree(cur)->keydef().type, text);
    if (!key) return false;
    MV_RETURN_IF_ERROR(list_->seek(*key, true).status());
    return true;
  }

 private:
  std::unique_ptr<OrderList> list_;
};

bool same_family(const std::string& bag, index::IndexFormat f) {
  const std::string ext = path_ext(bag);
  const bool cdx = ext.size() == 4 && (ext[1] == 'c' || ext[1] == 'C');
  return cdx ? f == index::IndexFormat::Cdx : f == index::IndexFormat::Mdx;
}

}  // namespace

std::optional<std::string> production_bag(FileSystem& fs, const std::string& table_path) {
  if (auto p = find_companion(fs, table_path, ".cdx")) return p;
  if (auto p = find_companion(fs, table_path, ".mdx")) return p;
  return std::nullopt;
}

AttachedOrders attach_orders(Table& table) {
  AttachedOrders out;
  const std::optional<std::string> bag = production_bag(table.fs(), table.path());
  const auto family = index_format_of_driver(table.driver());
  if (bag && (!family || !same_family(*bag, *family))) {
    // A bag of another family: this driver neither reads nor keeps it.
    out.unmaintained_bag = *bag;
    out.orders = std::make_unique<NoOrders>();
    return out;
  }
  OrderListOptions opt;
  opt.require_production = false;
  auto list = OrderList::attach(table, opt);
  if (!list) {
    out.unmaintained_bag = bag.value_or(table.path());
    out.reason = list.status().message();
    out.orders = std::make_unique<NoOrders>();
    return out;
  }
  for (size_t n = 1; n <= (*list)->count(); ++n) {
    if (!(*list)->problem(n).empty()) {
      out.unmaintained_bag = (*list)->info(n).bag_path;
      out.reason = (*list)->info(n).name + ": " + (*list)->problem(n);
      break;
    }
  }
  out.orders = std::make_unique<ListOrders>(std::move(list).value());
  return out;
}

}  // namespace mv
