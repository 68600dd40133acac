#pragma once
// The order list of an open table: the production bag opened with the table, NTX files
// and further bags added explicitly, the current order, SEEK, the key value, creating,
// deleting and rebuilding orders. It keeps every open order right on every write of the
// table (it is the table's OrderMaintainer) and navigates the table in key order (its
// OrderNavigator while an order is current).
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/expr.h"
#include "platform/table/index/index_bag.h"
#include "platform/table/order_hook.h"
#include "platform/table/table.h"

namespace mv {

struct OrderListOptions {
  bool open_production = true;     // open the production bag (CDX, MDX) with the table
  // A table whose header says it has a production bag that is missing: an error, or
  // (false) opened without it and noted in messages().
  bool require_production = true;
  // The key order new character orders take while no open order tells one: a table rebuilt
  // from another keeps the order that one's index files were written in.
  std::optional<index::Collation> collation;
};

// Called while orders are built: records done, records in all; false cancels.
using OrderProgress = std::function<bool(uint64_t done, uint64_t total)>;

struct CreateOrderOptions {
  std::string for_expr;
  bool unique = false;
  bool descending = false;
  OrderProgress progress;
};

// One order of an index file written anew: what the index page lists for it.
struct OrderDefinition {
  std::string name;      // tag name (NTX: the file names the order)
  std::string key;       // key expression, UTF-8 as typed
  std::string for_expr;  // FOR condition, "" for every record
  bool unique = false;
  bool descending = false;
  std::string file;      // NTX: the file the order is written to
};

// The index family a driver name uses; nothing for an unknown driver.
std::optional<index::IndexFormat> index_format_of_driver(std::string_view driver);

class OrderList final : public OrderMaintainer {
 public:
  // Attaches to `table` (which must outlive the list) as its maintainer.
  static Result<std::unique_ptr<OrderList>> attach(Table& table, const OrderListOptions& opt = {});
  ~OrderList() override;
  OrderList(const OrderList&) = delete;
  OrderList& operator=(const OrderList&) = delete;

  // SETINDEX(file) / ORDLISTADD: opens an NTX file or a further bag; a bare name is
  // looked for in the table's folder, the extension of the driver added when missing.
  Status add_index_file(const std::string& path);
  // SETINDEX() without argument: closes every index file except the production bag.
  Status close_index_files();

  // ---- the orders (numbers are 1-based)
  size_t count() const { return entries_.size(); }                      // ORDERINFO 44
  const index::OrderInfo& info(size_t n) const;                          // 5, 2, 20 ...
  Result<uint64_t> key_count(size_t n = 0);                              // 26; 0 = current
  size_t current() const { return current_; }                            // INDEXORD
  Status set_order(size_t n);                                             // SETORDER
  Status set_order(std::string_view name);
  // Why an order is only read (its key cannot be evaluated, its collation is unknown);
  // empty when it is maintained.
  const std::string& problem(size_t n) const;
  // Everything worth telling the user after opening (missing production bag, orders
  // that are only read).
  const std::vector<std::string>& messages() const { return messages_; }

  // ORDERKEYVAL: the current order's key of the current record (Nil without order or at
  // the end of the table).
  Result<Value> key_value();
  // SEEK on the current order: character values may be partial keys. Found: the table
  // stands on the first (visible) record with that key. Not found: soft stands on the
  // next key in the order's direction, else (and when none) at the end of the table.
  Result<bool> seek(const Value& key, bool soft);
  bool found() const { return found_; }                                    // FOUND

  // CREATEORDER: a tag in the bag `bag` (a path or base name; "" = the production bag
  // of the table). The new order is added to the list (not made current).
  Status create_order(const std::string& tag, const std::string& bag, const std::string& key_expr,
                      const CreateOrderOptions& opt = {});
  // CREATEINDEX: a single NTX file (for the bag drivers a bag holding one tag named after
  // the file), replacing an existing file; added to the list.
  Status create_index(const std::string& file, const std::string& key_expr, const CreateOrderOptions& opt = {});
  // The production bag written anew from `orders`, one tag each in list order, for a table
  // opened exclusively without its production bag. The new bag is built beside the table
  // under a temporary name and takes the old one's place only when every order is in it,
  // so a stop (the progress callback answering false), a failing write or rename leaves
  // the old bag as it was. An order whose key cannot be built is left out and its
  // position (0-based) added to `skipped`. A FOR condition in an MDX bag is refused before
  // anything is written. No order left: the bag is removed and the table's production
  // flag cleared, so the table opens without it. The new bag is then open.
  Status write_production_bag(const std::vector<OrderDefinition>& orders, const OrderProgress& progress,
                              std::vector<size_t>* skipped = nullptr);
  // Deletes a tag from its bag (an NTX order: closes and erases the file).
  Status delete_order(std::string_view name);
  // REINDEX: every open order rebuilt from the records.
  Status reindex(const OrderProgress& progress = {});
  // Structural check of order n against the table (key count = records in the order).
  Result<index::CheckReport> check(size_t n);

  index::TreeOrder* tree(size_t n);
  // The key order of the open character orders (German or byte order), each told from all
  // its keys; byte order when none is open.
  Result<index::Collation> key_collation();

  // ---- OrderMaintainer
  Status check_writable() override;
  Status record_changing(uint32_t recno, std::span<const uint8_t> old_record) override;
  Status record_changed(uint32_t recno, std::span<const uint8_t> new_record) override;
  // Exclusive: the old and new keys join the batches (removed, then inserted, each in key
  // order at the next flush of the batches).
  // Exclusive: when the rewrites coming are at least half the table, an order whose keys
  // change is built anew from the records at the next flush instead.
  Status rewrites_coming(uint64_t records) override;
  Status record_rewritten(uint32_t recno, std::span<const uint8_t> old_record,
                          std::span<const uint8_t> new_record) override;
  Status record_appended(uint32_t recno, std::span<const uint8_t> new_record) override;
  bool takes_keys_later(uint32_t recno) const override {
    return deferring() && pending_fresh_ && pending_recno_ == recno;
  }
  Status records_replaced() override;
  Status flush() override;

 private:
  struct Entry;
  class Nav;
  explicit OrderList(Table& table);

  Status open_bag(const std::string& path, index::IndexFormat fmt, bool production);
  // `unfinished`: the bag was left marked as being changed; its keys are not checked,
  // settle_unfinished() decides.
  Status adopt(index::IndexBag* bag, index::TreeOrder* tree, bool unfinished = false);
  // The orders entries_[first...] of a bag a killed writer left marked: rebuilt from the
  // table when it is ours alone to write, else only read, and said so.
  Status settle_unfinished(index::IndexBag& bag, size_t first, bool production);
  Status rebuild_bag(index::IndexBag& bag, size_t first, bool production);
  // CREATEORDER on an exclusive table: the tag is added to a copy of the bag, which takes
  // the bag's place once the tag is complete.
  Status add_tag_in_copy(index::IndexBag* bag, const index::OrderInfo& info, const index::Collation& coll,
                         std::unique_ptr<Entry> e, const CreateOrderOptions& opt);
  // The detected collation (or none: foreign) put to use: the key expression's UPPER(),
  // the MDX key rules, the check of the first keys against the records.
  Status apply_collation(Entry& e, Result<std::optional<index::Collation>> coll, bool unfinished);
  // Walks the orders whose collation the first keys left open, before anything compares
  // keys, writes or creates an order.
  Status settle_collations();
  // The same for finding a record's place by its key: only a sample of each open order.
  Status settle_collations_for_placing();
  // The same for a SEEK of `key` in `e`: nothing when the seek lands alike in every
  // order the walk could choose.
  Status settle_collations_for_seek(Entry& e, std::span<const uint8_t> key);
  // What the orders before entry i tell of the table's key order (first non-byte one).
  index::Collation collation_before(size_t i) const;
  // The order is only read from now on, for `why`, which is told after opening.
  void refuse(Entry& e, const std::string& why);
  // Every open bag marked as being changed before the first change of the table.
  Status begin_changes();
  // The mark of `bag` taken away, the table synced before: a bag without its mark is
  // trusted after a power failure too, so the records its keys stand for must be on disk
  // by then.
  Status end_changes(index::IndexBag& bag);
  // Some open bag holds its mark.
  bool any_marked() const;
  using KeySample = std::vector<std::pair<std::string, uint32_t>>;  // stored key, record
  Status verify_keys(Entry& e, const KeySample* extra = nullptr, bool patient = true);
  // How UPPER() and DTOS() compute the keys of an MDX order (or of a new MDX tag).
  Status choose_mdx_key_rules(Entry& e);
  void new_mdx_key_rules(Entry& probe) const;
  static void note_key_functions(Entry& e, const std::string& key_expr, const std::string& for_expr);
  // In exclusive mode the changes of one record are collected until the table moves on
  // (APPEND BLANK and a row of FIELDPUTs change each order once).
  bool deferring() const { return !table_.shared(); }
  Status apply_pending();
  // No collected record and no batch waits for any order.
  bool nothing_pending() const;
  Status settle_record();
  // Applies order e's batches whole: on an error every change of the batch is taken back
  // and the batches stay as they were, so nothing is lost and a later flush tries again.
  Status flush_batch(Entry& e);
  Status flush_batches();
  static std::vector<uint32_t> batch_order(const Entry& e, const uint8_t* keys, const std::vector<uint32_t>& recnos);
  Status change_keys(uint32_t recno, std::span<const uint8_t> new_record);
  Status compile(Entry& e, const std::string& key_expr, const std::string& for_expr);
  // The key of `record` in order e; `in` false when the FOR condition leaves it out.
  Status eval(Entry& e, std::span<const uint8_t> record, uint32_t recno, std::string& key, bool& in);
  // The same into keydef().length bytes at `key`.
  Status eval(Entry& e, std::span<const uint8_t> record, uint32_t recno, uint8_t* key, bool& in);
  Status build(Entry& e, const OrderProgress& progress, uint64_t done_before, uint64_t total);
  Status set_production_flag(bool on);
  std::string resolve_index_path(const std::string& path, const char* ext) const;
  index::Collation table_collation() const;

  Table& table_;
  index::IndexFormat format_;
  bool has_format_ = false;
  std::vector<std::unique_ptr<index::IndexBag>> bags_;
  index::IndexBag* production_ = nullptr;
  std::vector<std::unique_ptr<Entry>> entries_;
  std::unique_ptr<Nav> nav_;
  size_t current_ = 0;
  std::optional<index::Collation> preset_collation_;  // OrderListOptions::collation
  bool found_ = false;
  std::vector<std::string> messages_;
  bool collations_open_ = false;  // some entry's collation_open
  std::string seek_key_;
  uint32_t pending_recno_ = 0;
  bool pending_fresh_ = false;  // the collected record was appended (its keys are in no order)
  std::vector<uint8_t> pending_record_;
  uint64_t rewrites_coming_ = 0;
};

}  // namespace mv
