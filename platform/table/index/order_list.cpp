#include "platform/table/index/order_list.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <unistd.h>

#include "platform/base/codepage.h"
#include "platform/table/file_ops.h"
#include "platform/table/index/index_formats.h"

namespace mv {

using index::IndexFormat;
using index::KeyType;

namespace {

// Names and paths as typed, without the blanks around them.
std::string trimmed(std::string_view s) { return std::string(trim(s)); }


constexpr uint8_t kProductionFlag = 0x01;  // DBF header byte 28
// Keys of an order read at opening to tell its collation.
constexpr size_t kCollationSample = 4096;

// Field names of the table, resolved for key and FOR expressions.
class TableFields final : public FieldResolver {
 public:
  explicit TableFields(const Table& t) : t_(t) {}
  std::optional<FieldRef> resolve(std::string_view alias, std::string_view name) override {
    (void)alias;
    for (const FieldInfo& f : t_.fields()) {
      if (f.name.size() != name.size()) continue;
      bool same = true;
      for (size_t i = 0; i < name.size() && same; ++i)
        same = std::toupper(uint8_t(f.name[i])) == std::toupper(uint8_t(name[i]));
      if (!same) continue;
      FieldRef r;
      r.len = int(f.length);
      r.dec = f.decimals;
      r.offset = f.offset;
      switch (f.type) {
        case 'C': r.type = ValueType::Character, r.storage = FieldStorage::Character; break;
        case 'N': case 'F': r.type = ValueType::Numeric, r.storage = FieldStorage::NumericText; break;
        case 'D': r.type = ValueType::Date, r.storage = FieldStorage::DateText; break;
        case 'L': r.type = ValueType::Logical, r.storage = FieldStorage::LogicalChar; break;
        default: return std::nullopt;  // memo and binary fields make no keys here
      }
      return r;
    }
    return std::nullopt;
  }

 private:
  const Table& t_;
};

std::optional<KeyType> key_type_of(ValueType t) {
  switch (t) {
    case ValueType::Character: return KeyType::Character;
    case ValueType::Numeric: return KeyType::Numeric;
    case ValueType::Date: return KeyType::Date;
    case ValueType::Logical: return KeyType::Logical;
    default: return std::nullopt;
  }
}

const char* extension_of(IndexFormat f) {
  return f == IndexFormat::Ntx ? ".ntx" : f == IndexFormat::Cdx ? ".cdx" : ".mdx";
}

bool same_path(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(uint8_t(a[i])) != std::toupper(uint8_t(b[i]))) return false;
  return true;
}

// dBASE language drivers whose MDX order is neither byte order nor our German order
// (German 850, Western European ANSI).
bool collates_unknown(uint8_t language_driver) { return language_driver == 0x10 || language_driver == 0x58; }

std::string unknown_collation_reason(uint8_t language_driver) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%02X", language_driver);
  return std::string("die Sortierfolge des Sprachtreibers ") + hex +
         " ist unbekannt; der Index wird nur gelesen";
}


}  // namespace

std::optional<IndexFormat> index_format_of_driver(std::string_view driver) {
  if (driver == "DBFNTX") return IndexFormat::Ntx;
  if (driver == "DBFCDX" || driver == "_DBFCDX") return IndexFormat::Cdx;
  if (driver == "DBFMDX") return IndexFormat::Mdx;
  return std::nullopt;
}

namespace {
// Large enough that a batch of random keys puts several keys into most leaves of a large
// order: each leaf it touches is then read, changed and split once for all of them.
constexpr size_t kBatch = 131072;
// Bulk rewrites of fewer records go through the batches whatever the table's size.
constexpr uint64_t kRebuildAtLeast = 4096;
}  // namespace

struct OrderList::Entry {
  index::IndexBag* bag = nullptr;
  index::TreeOrder* tree = nullptr;
  Expression key;
  Expression cond;
  bool has_cond = false;
  std::string problem;
  bool keys_disagree = false;  // the problem is stored keys that do not match the records
  // UPPER()/LOWER() and DTOS() of the empty date as the program that wrote the order
  // computes them (MDX: detected from the stored keys).
  CaseFlavour flavour = CaseFlavour::Ascii;
  bool dtos_day_zero = false;
  bool uses_case = false, uses_dtos = false;  // the expression calls UPPER/LOWER, DTOS
  std::string old_key;
  bool old_in = false;
  bool have_old = false;
  std::string new_key;
  // Keys of appended records not yet in the tree (exclusive mode): inserted in key
  // order, which keeps the pages they touch in the cache.
  std::vector<uint8_t> batch_keys;
  std::vector<uint32_t> batch_recnos;
  // Keys of rewritten records to take out of the tree, before the batch above goes in.
  std::vector<uint8_t> gone_keys;
  std::vector<uint32_t> gone_recnos;
  bool new_in = false;
  // Most keys change: the order is built anew from the records at the next flush.
  bool rebuild_due = false;
  bool pending() const { return rebuild_due || !batch_recnos.empty() || !gone_recnos.empty(); }
  void clear_batches() {
    batch_keys.clear(), batch_recnos.clear();
    gone_keys.clear(), gone_recnos.clear();
  }
  // The collation was chosen from the first keys alone, which fit every candidate; the
  // whole walk is still owed (settle_collations).
  bool collation_open = false;
  bool sample_agreed = false;  // a sample of the whole tree fits that choice too
  uint64_t seek_checks = 0;     // keys looked at to tell that seeks land alike
};

// Navigation of the table through the current order.
class OrderList::Nav final : public OrderNavigator {
 public:
  explicit Nav(OrderList& ol) : ol_(ol) {}
  Entry* e = nullptr;
  index::Cursor c;
  uint64_t gen = 0;
  // The record under the cursor as the last move left it, in tree `at_tree`.
  uint32_t at = 0;
  const index::TreeOrder* at_tree = nullptr;

  Result<uint32_t> here() {
    at = c.valid() ? e->tree->recno_at(c) : 0;
    at_tree = e->tree;
    return checked();
  }
  // The record the entry under the cursor names must be one of the table's. An entry for
  // record 0 or past LASTREC is damage: passing it on as "no record" would end the walk
  // there as if the order were done.
  Result<uint32_t> checked() {
    if (!c.valid() || (at != 0 && at <= ol_.table_.lastrec())) return at;
    const uint32_t bad = at;
    c.clear();
    at = 0;
    return Status::corrupt(path_file(e->bag->path()) + ", Index " + e->tree->info().name +
                           ": der Index verweist auf Satz " + std::to_string(bad) + ", den es nicht gibt (die Tabelle hat " +
                           std::to_string(ol_.table_.lastrec()) + " Sätze); der Index muss neu aufgebaut werden");
  }
  // The cursor stands on `recno` and the order has not changed since it was put there.
  bool still_on(uint32_t recno) const {
    return c.valid() && at == recno && at_tree == e->tree && gen == e->tree->generation();
  }
  // Nothing collected for this order that would change it before the next move.
  bool settled() const { return ol_.pending_recno_ == 0 && !e->pending(); }

  Result<uint32_t> first() override {
    MV_RETURN_IF_ERROR(ol_.apply_pending());
    MV_RETURN_IF_ERROR(e->tree->first(c));
    gen = e->tree->generation();
    return here();
  }
  Result<uint32_t> last() override {
    MV_RETURN_IF_ERROR(ol_.apply_pending());
    MV_RETURN_IF_ERROR(e->tree->last(c));
    gen = e->tree->generation();
    return here();
  }
  Result<uint32_t> next(uint32_t recno, std::span<const uint8_t> record) override {
    bool exact = false;
    if (settled() && still_on(recno)) {
      exact = true;  // the common walk: straight on from the cursor
    } else {
      MV_RETURN_IF_ERROR(ol_.apply_pending());
      MV_RETURN_IF_ERROR(place(recno, record, exact));
    }
    if (!exact) return here();
    MV_RETURN_IF_ERROR(e->tree->next(c, at));
    at_tree = e->tree;
    gen = e->tree->generation();  // a shared file changed meanwhile: the step found its place again
    return checked();
  }
  Result<uint32_t> prev(uint32_t recno, std::span<const uint8_t> record) override {
    MV_RETURN_IF_ERROR(ol_.apply_pending());
    bool exact = false;
    MV_RETURN_IF_ERROR(place(recno, record, exact));
    if (!c.valid() && !exact) MV_RETURN_IF_ERROR(e->tree->last(c));
    else MV_RETURN_IF_ERROR(e->tree->prev(c));
    gen = e->tree->generation();
    return here();
  }
  bool finds_by_key() override { return e && e->problem.empty(); }
  // Mirrors the first test of place(): nothing is pending that would change this order.
  bool standing_on(uint32_t recno) override {
    if (!e || !settled() || !c.valid()) return false;
    return still_on(recno) || (!e->problem.empty() && e->tree->recno_at(c) == recno);
  }
  Result<SeekResult> seek(std::span<const uint8_t> key, bool soft) override {
    MV_RETURN_IF_ERROR(ol_.settle_collations_for_seek(*e, key));
    MV_RETURN_IF_ERROR(ol_.apply_pending());
    return seek_settled(key, soft);
  }
  // SEEK once the orders are settled and hold every change (OrderList::seek saw to that).
  Result<SeekResult> seek_settled(std::span<const uint8_t> key, bool soft) {
    bool found = false;
    uint32_t recno = 0;
    MV_RETURN_IF_ERROR(e->tree->seek(key, c, found, recno));
    gen = e->tree->generation();
    SeekResult r;
    r.found = found;
    if (found || soft) {
      at = c.valid() ? recno : 0;
      at_tree = e->tree;
      MV_ASSIGN_OR_RETURN(r.recno, checked());
    }
    return r;
  }
  Result<double> position_of(uint32_t recno, std::span<const uint8_t> record) override {
    MV_RETURN_IF_ERROR(ol_.apply_pending());
    bool exact = false;
    MV_RETURN_IF_ERROR(place(recno, record, exact));
    MV_ASSIGN_OR_RETURN(double pos, e->tree->relative_position(c));
    gen = e->tree->generation();
    MV_RETURN_IF_ERROR(here().status());
    return pos;
  }
  Result<uint32_t> at_position(double pos) override {
    MV_RETURN_IF_ERROR(ol_.apply_pending());
    MV_RETURN_IF_ERROR(e->tree->go_to_relative_position(pos, c));
    gen = e->tree->generation();
    return here();
  }

 private:
  // Puts the cursor on `recno`; when the record is not in the order (its key changed
  // under us, or the FOR condition leaves it out), on the first entry after its key.
  Status place(uint32_t recno, std::span<const uint8_t> record, bool& exact) {
    exact = false;
    const bool readable_only = !e->problem.empty();
    if (still_on(recno) || (readable_only && c.valid() && e->tree->recno_at(c) == recno)) {
      exact = true;
      return Status::ok();
    }
    if (readable_only) {
      // Keys cannot be computed for this order: look for the record in the order itself.
      MV_RETURN_IF_ERROR(e->tree->first(c));
      while (c.valid() && e->tree->recno_at(c) != recno) MV_RETURN_IF_ERROR(e->tree->next(c));
      gen = e->tree->generation();
      exact = c.valid();
      return Status::ok();
    }
    // Finding a record's place by its key does not wait for the whole walk a write or a
    // SEEK needs: a sample of the tree tells whether the first keys' choice holds. Should a
    // rare key the sample leaves out decide otherwise, the record is placed next to where
    // it belongs until that walk is done.
    MV_RETURN_IF_ERROR(ol_.settle_collations_for_placing());
    if (!e->problem.empty()) return place(recno, record, exact);  // the walk found it unreadable
    bool in = false;
    MV_RETURN_IF_ERROR(ol_.eval(*e, record, recno, e->new_key, in));
    const std::span<const uint8_t> k(reinterpret_cast<const uint8_t*>(e->new_key.data()), e->new_key.size());
    if (c.valid() && e->tree->recno_at(c) == recno && e->tree->key_at(c) &&
        std::memcmp(e->tree->key_at(c), k.data(), k.size()) == 0) {
      gen = e->tree->generation();
      exact = true;
      return Status::ok();
    }
    gen = e->tree->generation();
    if (in) {
      MV_RETURN_IF_ERROR(e->tree->find(k, recno, c));
      if (c.valid()) {
        exact = true;
        return Status::ok();
      }
    }
    bool found = false;
    return e->tree->seek(k, c, found);
  }

  OrderList& ol_;
};

OrderList::OrderList(Table& table) : table_(table), nav_(std::make_unique<Nav>(*this)) {}

OrderList::~OrderList() {
  if (table_.navigator() == nav_.get()) table_.set_navigator(nullptr);
  if (table_.order_maintainer() == this) table_.set_order_maintainer(nullptr);
  flush().ignore();
}

Result<std::unique_ptr<OrderList>> OrderList::attach(Table& table, const OrderListOptions& opt) {
  std::unique_ptr<OrderList> ol(new OrderList(table));
  ol->preset_collation_ = opt.collation;
  if (auto f = index_format_of_driver(table.driver())) {
    ol->format_ = *f;
    ol->has_format_ = true;
  }
  if (ol->has_format_ && ol->format_ != IndexFormat::Ntx && opt.open_production) {
    auto path = find_companion(table.fs(), table.path(), extension_of(ol->format_));
    const bool flagged = table.header_info().table_flags & kProductionFlag;
    if (path) {
      MV_RETURN_IF_ERROR(ol->open_bag(*path, ol->format_, true));
    } else if (flagged) {
      std::string want = path_replace_ext(table.path(), extension_of(ol->format_));
      std::string msg = "Die Indexdatei " + path_file(want) + " der Tabelle " + path_file(table.path()) + " fehlt";
      if (opt.require_production) return Status::not_found(msg);
      ol->messages_.push_back(msg);
    }
  }
  table.set_order_maintainer(ol.get());
  return ol;
}

index::Collation OrderList::table_collation() const {
  for (const auto& e : entries_)
    if (e->tree->keydef().type == KeyType::Character && !e->tree->foreign_collation() &&
        !e->tree->collation().is_machine())
      return e->tree->collation();
  return preset_collation_.value_or(index::Collation::machine());
}

Status OrderList::compile(Entry& e, const std::string& key_expr, const std::string& for_expr) {
  TableFields fields(table_);
  ExprOptions o;
  o.code_page = table_.code_page();
  o.literals_utf8 = false;
  o.case_flavour = e.flavour;
  o.dtos_empty_day_zero = e.dtos_day_zero;
  e.key = Expression::compile(key_expr, o, &fields);
  if (!e.key.ok()) {
    e.problem = "der Indexausdruck \"" + key_expr + "\" kann nicht ausgewertet werden: " + e.key.error().message;
    return Status::ok();
  }
  if (!key_type_of(e.key.type())) {
    e.problem = "der Indexausdruck \"" + key_expr + "\" hat keinen festen Typ";
    return Status::ok();
  }
  e.has_cond = !trimmed(for_expr).empty();
  if (e.has_cond) {
    e.cond = Expression::compile(for_expr, o, &fields);
    if (!e.cond.ok()) {
      e.problem = "die FOR-Bedingung \"" + for_expr + "\" kann nicht ausgewertet werden: " + e.cond.error().message;
    } else if (e.cond.type() != ValueType::Logical) {
      e.problem = "die FOR-Bedingung \"" + for_expr + "\" ist kein logischer Ausdruck";
    }
  }
  return Status::ok();
}

Status OrderList::adopt(index::IndexBag* bag, index::TreeOrder* tree, bool unfinished) {
  auto e = std::make_unique<Entry>();
  e->bag = bag;
  e->tree = tree;
  MV_RETURN_IF_ERROR(compile(*e, tree->info().key_expr, tree->info().for_expr));
  if (e->problem.empty()) {
    KeyType kt = *key_type_of(e->key.type());
    if (tree->keydef().format == IndexFormat::Mdx && kt != tree->keydef().type) {
      e->problem = "der Typ des Indexausdrucks passt nicht zum gespeicherten Schlüssel";
    } else if (tree->keydef().format == IndexFormat::Mdx && kt == KeyType::Character &&
               collates_unknown(table_.header_info().language)) {
      // Keys that happen to stand in byte order would still be put where dBASE does not
      // look for them.
      tree->set_key_type(kt);
      tree->set_foreign_collation();
      e->problem = unknown_collation_reason(table_.header_info().language);
    } else {
      tree->set_key_type(kt);
      const index::Collation fallback = table_collation();
      bool open = false;
      Result<std::optional<index::Collation>> coll = std::optional<index::Collation>();
      if (!unfinished && kt == KeyType::Character && !tree->info().descending) {
        // Opening a bag must not walk every key of a large order: the first keys decide
        // when they tell the candidate orders apart; keys that hold no byte any of them
        // sorts differently fit all alike, and the whole walk waits until a key is
        // compared, written or another order is created.
        auto sample = tree->sample_collation(fallback, table_.code_page(), kCollationSample);
        if (!sample.is_ok()) return sample.status();
        coll = sample->fit;
        open = !sample->complete && sample->plain && sample->fit.has_value();
        if (!sample->complete && !open && sample->fit.has_value())
          coll = tree->detect_collation(fallback, table_.code_page());
      } else {
        coll = tree->detect_collation(fallback, table_.code_page());
      }
      e->collation_open = open;
      MV_RETURN_IF_ERROR(apply_collation(*e, std::move(coll), unfinished));
      if (open && !e->problem.empty()) {
        // A disagreement is never left resting on a choice the whole walk may overturn.
        e->problem.clear();
        e->keys_disagree = false;
        e->collation_open = false;
        e->flavour = CaseFlavour::Ascii;
        e->dtos_day_zero = false;
        MV_RETURN_IF_ERROR(compile(*e, tree->info().key_expr, tree->info().for_expr));
        MV_RETURN_IF_ERROR(apply_collation(*e, tree->detect_collation(fallback, table_.code_page()), unfinished));
      }
      if (e->collation_open) collations_open_ = true;
    }
  }
  // Keys of an unfinished order may well disagree with the records: it is rebuilt or
  // refused as a whole.
  if (unfinished && e->keys_disagree) e->problem.clear();
  // A tree its reader keeps read-only (an MDX tag with a FOR condition we cannot keep, a
  // damaged tag header) could not take the keys of a changed record: the table is not
  // written either, or the order would go on without them.
  if (e->problem.empty() && tree->read_only()) e->problem = tree->read_only_reason();
  if (!e->problem.empty()) refuse(*e, e->problem);
  entries_.push_back(std::move(e));
  return Status::ok();
}

Status OrderList::apply_collation(Entry& e, Result<std::optional<index::Collation>> coll, bool unfinished) {
  index::TreeOrder* tree = e.tree;
  // An unfinished tree may be unreadable; it is rebuilt in the table's collation.
  if (!coll.is_ok() && unfinished && coll.status().kind() == StatusKind::Corrupt)
    coll = std::optional<index::Collation>(table_collation());
  if (!coll.is_ok()) return coll.status();
  if (!coll->has_value()) {
    tree->set_foreign_collation();
    e.problem = tree->read_only_reason();
    return Status::ok();
  }
  tree->set_collation(**coll);
  e.flavour = (*coll)->kind() == index::Collation::Kind::German ? CaseFlavour::German : CaseFlavour::Ascii;
  if (tree->keydef().format == IndexFormat::Mdx) {
    Status st = choose_mdx_key_rules(e);
    if (!st.is_ok() && unfinished && st.kind() == StatusKind::Corrupt) {
      e.problem.clear();
      new_mdx_key_rules(e);
      st = compile(e, tree->info().key_expr, tree->info().for_expr);
    }
    return st;
  }
  if (!(*coll)->is_machine()) MV_RETURN_IF_ERROR(compile(e, tree->info().key_expr, tree->info().for_expr));
  if (!unfinished) MV_RETURN_IF_ERROR(verify_keys(e));
  return Status::ok();
}

index::Collation OrderList::collation_before(size_t i) const {
  for (size_t j = 0; j < i; ++j) {
    const index::TreeOrder* t = entries_[j]->tree;
    if (t->keydef().type == KeyType::Character && !t->foreign_collation() && !t->collation().is_machine())
      return t->collation();
  }
  return index::Collation::machine();
}

Status OrderList::settle_collations() {
  if (!collations_open_) return Status::ok();
  for (size_t i = 0; i < entries_.size(); ++i) {
    Entry& e = *entries_[i];
    if (!e.collation_open) continue;
    // The orders before it chose as they would have, had each walked all keys at opening.
    const index::Collation fallback = collation_before(i);
    auto coll = e.tree->detect_collation(fallback, table_.code_page());
    if (!coll.is_ok()) return coll.status();
    e.collation_open = false;
    const index::Collation& had = e.tree->collation();
    if (coll->has_value() && (*coll)->kind() == had.kind() &&
        ((*coll)->is_machine() || (*coll)->code_page() == had.code_page()))
      continue;
    e.keys_disagree = false;
    e.flavour = CaseFlavour::Ascii;
    e.dtos_day_zero = false;
    MV_RETURN_IF_ERROR(compile(e, e.tree->info().key_expr, e.tree->info().for_expr));
    MV_RETURN_IF_ERROR(apply_collation(e, std::move(coll), false));
    if (e.problem.empty() && e.tree->read_only()) e.problem = e.tree->read_only_reason();
    if (!e.problem.empty()) refuse(e, e.problem);
  }
  collations_open_ = false;
  return Status::ok();
}

Status OrderList::settle_collations_for_placing() {
  if (!collations_open_) return Status::ok();
  for (size_t i = 0; i < entries_.size(); ++i) {
    Entry& e = *entries_[i];
    if (!e.collation_open || e.sample_agreed) continue;
    const index::Collation fallback = collation_before(i);
    auto coll = e.tree->detect_collation_sampled(fallback, table_.code_page());
    const index::Collation& had = e.tree->collation();
    const bool agrees = coll.is_ok() && coll->has_value() && (*coll)->kind() == had.kind() &&
                        ((*coll)->is_machine() || (*coll)->code_page() == had.code_page());
    // The sample saw keys the first ones' choice does not fit: the whole walk decides now.
    if (!agrees) return settle_collations();
    e.sample_agreed = true;
  }
  return Status::ok();
}

Status OrderList::settle_collations_for_seek(Entry& e, std::span<const uint8_t> key) {
  if (!collations_open_ || !e.collation_open) return Status::ok();
  // Once the checks have looked at about as many keys as the table has records, the walk
  // costs less than checking on: it is done, and later seeks need no check.
  if (e.problem.empty() && e.seek_checks < std::max<uint64_t>(table_.lastrec(), 4096)) {
    MV_ASSIGN_OR_RETURN(const bool alike, e.tree->seeks_alike_in_every_collation(key, &e.seek_checks));
    if (alike) return Status::ok();
  }
  return settle_collations();
}

void OrderList::refuse(Entry& e, const std::string& why) {
  e.problem = why;
  if (!e.tree->read_only()) e.tree->set_read_only(why);
  messages_.push_back(path_file(e.bag->path()) + ", Index " + e.tree->info().name + ": " + why);
}

Status OrderList::settle_unfinished(index::IndexBag& bag, size_t first, bool production) {
  bool rebuild = !table_.shared() && !table_.read_only();
  for (size_t i = first; i < entries_.size(); ++i)
    if (!entries_[i]->problem.empty()) rebuild = false;
  if (rebuild) return rebuild_bag(bag, first, production);
  const std::string why =
      "die Indexdatei wurde beim letzten Ändern nicht fertig geschrieben und kann veraltet sein; sie wird nur "
      "gelesen, bis sie bei exklusiv geöffneter Tabelle neu aufgebaut wird";
  for (size_t i = first; i < entries_.size(); ++i)
    if (entries_[i]->problem.empty()) refuse(*entries_[i], why);
  table_.add_warning(bag.path() + ": " + why);
  return Status::ok();
}

// The bag is written anew beside the old one, which it then replaces: pages of the old
// one cannot be trusted to belong to the trees that point to them. The entries from
// `first` on are the bag's orders; they are adopted again from the new file.
Status OrderList::rebuild_bag(index::IndexBag& bag, size_t first, bool production) {
  FileSystem& fs = table_.fs();
  const std::string path = bag.path();
  const IndexFormat fmt = bag.format();
  const std::string tmp = temp_name_for(path);
  if (fs.exists(tmp)) fs.remove(tmp).ignore();
  index::BagOptions bo;
  bo.table_name = path_stem(table_.path());
  bo.language_driver = table_.header_info().language;
  bo.production = production;
  std::unique_ptr<index::IndexBag> nb;
  Status st = [&]() -> Status {
    if (fmt != IndexFormat::Ntx) {
      MV_ASSIGN_OR_RETURN(nb, index::IndexBag::create_bag(fs, tmp, fmt, bo));
    }
    for (size_t i = first; i < entries_.size(); ++i) {
      Entry& e = *entries_[i];
      const index::OrderInfo info = e.tree->info();
      index::TreeOrder* tree = nullptr;
      if (fmt == IndexFormat::Ntx) {
        MV_ASSIGN_OR_RETURN(nb, index::IndexBag::create_ntx(fs, tmp, info, bo));
        tree = nb->order(0);
      } else {
        MV_ASSIGN_OR_RETURN(tree, nb->add_tag(info));
      }
      tree->set_key_type(e.tree->keydef().type);
      tree->set_collation(e.tree->collation());
      e.bag = nb.get();
      e.tree = tree;
      MV_RETURN_IF_ERROR(build(e, {}, 0, 0));
    }
    return nb ? nb->flush() : Status::ok();
  }();
  entries_.resize(first);
  nb.reset();
  // The old bag goes either way: it is not kept open without its orders.
  if (production_ == &bag) production_ = nullptr;
  bags_.erase(std::remove_if(bags_.begin(), bags_.end(), [&](auto& b) { return b.get() == &bag; }), bags_.end());
  if (st.is_ok()) st = replace_files(fs, {{tmp, path}});
  if (!st.is_ok()) {
    fs.remove(tmp).ignore();
    return st;
  }
  // Only now is the mark wrong, once the records the new keys stand for are on disk too.
  MV_RETURN_IF_ERROR(table_.sync());
  MV_RETURN_IF_ERROR(fs.remove(index::change_mark_path(path)));
  MV_RETURN_IF_ERROR(fs.sync_dir(path_dir(path)));
  MV_RETURN_IF_ERROR(open_bag(path, fmt, production));
  messages_.push_back(path_file(path) +
                      ": die Indexdatei war nach einem abgebrochenen Schreiben unvollständig und wurde neu aufgebaut");
  return Status::ok();
}

// The keys we compute must be the keys the file holds (UPPER() of another program may
// fold more letters than ours): the first entries of the order are compared, and the
// entries in `extra`. Without `patient` a mismatch in shared mode is not waited out.
Status OrderList::verify_keys(Entry& e, const KeySample* extra, bool patient) {
  // The first keys of a large order point all over the table, each read a page of its
  // own: a stale order shows on the first of its keys already, and opening a table of a
  // million records should cost about what a small one does.
  constexpr size_t kSample = 128;
  e.keys_disagree = false;
  MV_RETURN_IF_ERROR(table_.flush());
  const uint32_t last = table_.lastrec();
  KeySample sample;
  index::Cursor c;
  MV_RETURN_IF_ERROR(e.tree->first(c));
  while (c.valid() && sample.size() < kSample) {
    sample.push_back({std::string(reinterpret_cast<const char*>(e.tree->key_at(c)), e.tree->keydef().length),
                      e.tree->recno_at(c)});
    MV_RETURN_IF_ERROR(e.tree->next(c));
  }
  if (extra) sample.insert(sample.end(), extra->begin(), extra->end());
  std::vector<uint8_t> rec;
  std::string k;
  uint32_t last_now = last;
  for (auto& [stored, recno] : sample) {
    if (recno > last_now && table_.shared()) last_now = table_.lastrec();  // appended meanwhile
    if (recno == 0 || recno > last_now) {
      e.problem = "der Index verweist auf Satz " + std::to_string(recno) + ", den es nicht gibt";
      e.keys_disagree = true;
      return Status::ok();
    }
    MV_RETURN_IF_ERROR(table_.read_record(recno, rec));
    bool in = false;
    Status st = eval(e, rec, recno, k, in);
    if (!st.is_ok()) {
      e.problem = st.message();
      return Status::ok();
    }
    // NTX numbers may be stored with another rounding of the last digit: compare values.
    auto same = [&](const std::string& a, const std::string& b) {
      if (a == b) return true;
      if (e.tree->keydef().type != KeyType::Numeric) return false;
      const index::KeyDef& sp = e.tree->keydef();
      return std::abs(index::decode_key(sp, {reinterpret_cast<const uint8_t*>(a.data()), a.size()}).num -
                      index::decode_key(sp, {reinterpret_cast<const uint8_t*>(b.data()), b.size()}).num) < 1e-6;
    };
    bool matches = same(k, stored);
    // Shared: another program may be between writing a record and its keys. The record
    // counts as matching once the order holds its current key.
    for (int attempt = 0; !matches && patient && table_.shared() && !e.collation_open && attempt < 40; ++attempt) {
      usleep(5000);
      MV_RETURN_IF_ERROR(table_.read_record(recno, rec));
      if (!eval(e, rec, recno, k, in).is_ok()) break;
      index::Cursor fc;
      const std::span<const uint8_t> ks(reinterpret_cast<const uint8_t*>(k.data()), k.size());
      MV_RETURN_IF_ERROR(e.tree->find(ks, recno, fc));
      matches = fc.valid() || !in;
      if (!matches && e.tree->info().unique) {  // another record may hold the key
        bool found = false;
        MV_RETURN_IF_ERROR(e.tree->seek(ks, fc, found));
        matches = found;
      }
    }
    if (!matches) {
      e.problem = "die gespeicherten Schlüssel passen nicht zum Indexausdruck (Satz " + std::to_string(recno) +
                  "); der Index wird nur gelesen";
      e.keys_disagree = true;
      return Status::ok();
    }
  }
  return Status::ok();
}

// MDX orders come from the dBASE family, whose UPPER() folds every letter of the code page
// and whose DTOS() gives "18991230" for the empty date; orders we wrote before kept to a-z
// and blanks. Each order takes the first of these rules its stored keys agree with. The
// first entries of the order and every entry whose key holds a non-ASCII byte or that
// date are compared: a key the rules compute differently holds one of them, except blanks
// for an empty date, which sort among the first entries of an order on DTOS() alone.
Status OrderList::choose_mdx_key_rules(Entry& e) {
  note_key_functions(e, e.tree->info().key_expr, e.tree->info().for_expr);
  const bool cases = e.uses_case, dates = e.uses_dtos;
  std::vector<std::pair<CaseFlavour, bool>> rules;
  for (CaseFlavour f : {CaseFlavour::Full, e.flavour}) {
    if (!rules.empty() && (!cases || f == rules.front().first)) break;
    rules.push_back({f, true});
    if (dates) rules.push_back({f, false});
  }
  KeySample evidence;
  if (rules.size() > 1) {
    constexpr size_t kMaxEvidence = 20000;
    const size_t kl = e.tree->keydef().length;
    MV_RETURN_IF_ERROR(e.tree->walk_streaming([&](const uint8_t* k, uint32_t recno) {
      const std::string_view key(reinterpret_cast<const char*>(k), kl);
      bool telling = key.find("18991230") != std::string_view::npos;
      for (size_t i = 0; i < kl && !telling; ++i) telling = k[i] >= 0x80;
      if (telling) evidence.push_back({std::string(key), recno});
      return evidence.size() < kMaxEvidence;
    }));
  }
  // A mismatch may be another program's write in progress (shared mode): the rules are
  // tried once quickly, and only when none fits once more with patience.
  for (bool patient : {false, true}) {
    if (patient && (!table_.shared() || rules.size() == 1)) break;
    for (const auto& [flavour, day_zero] : rules) {
      e.flavour = flavour;
      e.dtos_day_zero = day_zero;
      e.problem.clear();
      MV_RETURN_IF_ERROR(compile(e, e.tree->info().key_expr, e.tree->info().for_expr));
      if (!e.problem.empty()) return Status::ok();  // the expression itself fails
      MV_RETURN_IF_ERROR(verify_keys(e, &evidence, patient || rules.size() == 1));
      if (e.problem.empty()) return Status::ok();
    }
  }
  // None fits: the message names a record that does not match the preferred rules.
  std::string why = e.problem;
  e.flavour = rules.front().first;
  e.dtos_day_zero = rules.front().second;
  e.problem.clear();
  MV_RETURN_IF_ERROR(compile(e, e.tree->info().key_expr, e.tree->info().for_expr));
  if (e.problem.empty()) e.problem = why;
  return Status::ok();
}

// Which of the functions whose results differ between programs an order's keys depend on
// (the names may be cut to four letters).
void OrderList::note_key_functions(Entry& e, const std::string& key_expr, const std::string& for_expr) {
  const std::string expr = upper_ascii(key_expr + " " + for_expr);
  e.uses_case = expr.find("UPPE") != std::string::npos || expr.find("LOWE") != std::string::npos;
  e.uses_dtos = expr.find("DTOS") != std::string::npos;
}

// A new MDX tag computes its keys as the open MDX orders whose keys show the rule do
// (the dBASE family's rules where none does).
void OrderList::new_mdx_key_rules(Entry& probe) const {
  probe.flavour = probe.flavour == CaseFlavour::German ? CaseFlavour::German : CaseFlavour::Full;
  probe.dtos_day_zero = true;
  bool case_known = false, dtos_known = false;
  for (const auto& e : entries_) {
    if (e->tree->keydef().format != IndexFormat::Mdx || !e->problem.empty()) continue;
    if (e->uses_case && !case_known) probe.flavour = e->flavour, case_known = true;
    if (e->uses_dtos && !dtos_known) probe.dtos_day_zero = e->dtos_day_zero, dtos_known = true;
  }
}

Status OrderList::open_bag(const std::string& path, IndexFormat fmt, bool production) {
  index::BagOptions opt;
  opt.shared = table_.shared();
  opt.read_only = table_.read_only();
  opt.table_name = path_stem(table_.path());
  opt.language_driver = table_.header_info().language;
  // A bag a killed writer left marked is opened to be rebuilt or only read.
  const bool unfinished = index::change_left_unfinished(table_.fs(), path, table_.shared());
  opt.salvage = unfinished;
  auto bag = index::IndexBag::open(table_.fs(), path, fmt, opt);
  if (!bag.is_ok()) return bag.status();
  index::IndexBag* raw = bag->get();
  bags_.push_back(std::move(*bag));
  if (production) production_ = raw;
  const size_t first = entries_.size();
  for (size_t i = 0; i < raw->size(); ++i) MV_RETURN_IF_ERROR(adopt(raw, raw->order(i), unfinished));
  if (unfinished) return settle_unfinished(*raw, first, production);
  return Status::ok();
}

std::string OrderList::resolve_index_path(const std::string& path, const char* ext) const {
  std::string p = path;
  if (path_dir(p).empty()) p = path_join(path_dir(table_.path()), p);
  if (path_ext(p).empty()) {
    // NTX and CDX files follow the case of the table's extension, as the Clipper and
    // FoxPro lineage writes them; MDX files get ".mdx" as the dBASE family writes it
    // (and as dBASE readers on case-sensitive file systems look for it).
    std::string e = ext;
    const std::string te = path_ext(table_.path());
    if (std::string(ext) != ".mdx" && !te.empty() && std::isupper(uint8_t(te.back())))
      for (char& c : e) c = char(std::toupper(uint8_t(c)));
    p += e;
  }
  if (auto found = find_file_nocase(table_.fs(), path_dir(p), path_file(p))) return *found;
  return p;
}

Status OrderList::add_index_file(const std::string& path) {
  MV_RETURN_IF_ERROR(apply_pending());
  if (!has_format_) return Status::not_supported(table_.path() + ": der Treiber " + table_.driver() + " kennt keine Indexdateien");
  std::string p = resolve_index_path(path, extension_of(format_));
  for (auto& b : bags_)
    if (same_path(b->path(), p)) return Status::ok();  // already open
  if (!table_.fs().exists(p)) return Status::not_found("Die Indexdatei " + p + " gibt es nicht");
  IndexFormat fmt = format_;
  std::string ext = path_ext(p);
  for (char& c : ext) c = char(std::tolower(uint8_t(c)));
  if (ext == ".ntx") fmt = IndexFormat::Ntx;
  else if (ext == ".cdx") fmt = IndexFormat::Cdx;
  else if (ext == ".mdx") fmt = IndexFormat::Mdx;
  return open_bag(p, fmt, false);
}

Status OrderList::close_index_files() {
  MV_RETURN_IF_ERROR(settle_collations());
  MV_RETURN_IF_ERROR(apply_pending());
  MV_RETURN_IF_ERROR(set_order(size_t(0)));
  MV_RETURN_IF_ERROR(flush());
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                [&](auto& e) { return e->bag != production_; }),
                 entries_.end());
  bags_.erase(std::remove_if(bags_.begin(), bags_.end(), [&](auto& b) { return b.get() != production_; }),
              bags_.end());
  return Status::ok();
}

const index::OrderInfo& OrderList::info(size_t n) const {
  static const index::OrderInfo kNone;
  if (n == 0 || n > entries_.size()) return kNone;
  return entries_[n - 1]->tree->info();
}

const std::string& OrderList::problem(size_t n) const {
  static const std::string kNone;
  if (n == 0 || n > entries_.size()) return kNone;
  return entries_[n - 1]->problem;
}

Result<index::Collation> OrderList::key_collation() {
  MV_RETURN_IF_ERROR(settle_collations());
  return table_collation();
}

index::TreeOrder* OrderList::tree(size_t n) {
  settle_collations().ignore();  // whoever holds the tree may compare keys in it
  apply_pending().ignore();
  if (n == 0 || n > entries_.size()) return nullptr;
  return entries_[n - 1]->tree;
}

Result<uint64_t> OrderList::key_count(size_t n) {
  MV_RETURN_IF_ERROR(apply_pending());
  if (n == 0) n = current_;
  if (n == 0) return uint64_t(0);
  if (n > entries_.size()) return Status::invalid_argument("Index Nummer " + std::to_string(n) + " gibt es nicht");
  return entries_[n - 1]->tree->key_count();
}

Status OrderList::set_order(size_t n) {
  MV_RETURN_IF_ERROR(apply_pending());
  if (n > entries_.size()) return Status::invalid_argument("Index Nummer " + std::to_string(n) + " gibt es nicht");
  current_ = n;
  nav_->c.clear();
  nav_->e = n ? entries_[n - 1].get() : nullptr;
  table_.set_navigator(n ? nav_.get() : nullptr);
  return Status::ok();
}

Status OrderList::set_order(std::string_view name) {
  std::string want = upper_ascii(trimmed(std::string(name)));
  if (want.empty()) return set_order(size_t(0));
  for (size_t i = 0; i < entries_.size(); ++i)
    if (upper_ascii(entries_[i]->tree->info().name) == want) return set_order(i + 1);
  return Status::not_found("Index " + std::string(name) + " ist nicht geöffnet");
}

Status OrderList::eval(Entry& e, std::span<const uint8_t> record, uint32_t recno, std::string& key, bool& in) {
  key.resize(e.tree->keydef().length);
  return eval(e, record, recno, reinterpret_cast<uint8_t*>(key.data()), in);
}

Status OrderList::eval(Entry& e, std::span<const uint8_t> record, uint32_t recno, uint8_t* key, bool& in) {
  if (!e.problem.empty()) return Status::read_only(e.problem);
  const index::KeyDef& keydef = e.tree->keydef();
  EvalRecord er;
  er.data = record.data();
  er.size = record.size();
  er.recno = recno;
  // Keys made of fields alone are copied from the record; the evaluator does the rest.
  if (!index::record_key(keydef, e.key.record_parts(), record.data(), record.size(), key)) {
    const Value* v = e.key.evaluate(er);
    if (!v) return e.key.last_error().to_status();
    MV_RETURN_IF_ERROR(index::encode_key(keydef, *v, key));
  }
  in = true;
  if (e.has_cond) {
    const Value* c = e.cond.evaluate(er);
    if (!c) return e.cond.last_error().to_status();
    in = c->is_logical() && c->logical;
  }
  return Status::ok();
}

Result<Value> OrderList::key_value() {
  MV_RETURN_IF_ERROR(settle_collations());
  if (current_ == 0 || table_.eof()) return Value::nil();
  Entry& e = *entries_[current_ - 1];
  if (!e.problem.empty()) return Value::nil();
  EvalRecord er;
  er.data = table_.record().data();
  er.size = table_.record().size();
  er.recno = table_.recno();
  const Value* v = e.key.evaluate(er);
  if (!v) return e.key.last_error().to_status();
  Value out = *v;
  if (out.is_char()) out.str.resize(e.tree->keydef().length, ' ');
  return out;
}

bool OrderList::nothing_pending() const {
  if (pending_recno_ != 0) return false;
  for (const auto& e : entries_)
    if (e->pending()) return false;
  return true;
}

Result<bool> OrderList::seek(const Value& key, bool soft) {
  found_ = false;
  // Between two reads nothing waits for the orders as a rule: the look at the batches
  // stays here, and so does what applying them would also do (forget an announced
  // rewrite once the table is read).
  if (nothing_pending()) rewrites_coming_ = 0;
  else MV_RETURN_IF_ERROR(apply_pending());
  if (current_ == 0) return false;  // no order: the table stays where it is
  Entry& e = *entries_[current_ - 1];
  // The search key: a text is searched for in its own bytes, other values are encoded
  // into a buffer on the stack.
  const index::KeyDef& keydef = e.tree->keydef();
  uint8_t buf[64];
  std::span<const uint8_t> ks;
  if (keydef.type == KeyType::Character) {
    if (!key.is_char()) return Status::invalid_argument("Suchbegriff ist kein Text");
    ks = {reinterpret_cast<const uint8_t*>(key.str.data()), std::min<size_t>(key.str.size(), keydef.length)};
  } else {
    uint8_t* to = buf;
    if (keydef.length > sizeof buf) {
      seek_key_.resize(keydef.length);
      to = reinterpret_cast<uint8_t*>(seek_key_.data());
    }
    MV_RETURN_IF_ERROR(index::encode_key(keydef, key, to));
    ks = {to, keydef.length};
  }
  if (collations_open_) MV_RETURN_IF_ERROR(settle_collations_for_seek(e, ks));
  MV_ASSIGN_OR_RETURN(OrderNavigator::SeekResult r, nav_->seek_settled(ks, soft));
  bool found = r.found;
  if (r.recno == 0) {
    MV_RETURN_IF_ERROR(table_.go_to(0));
    return false;
  }
  MV_RETURN_IF_ERROR(table_.go_to(r.recno));
  if (deleted_filter() && table_.deleted()) {
    // The first visible record from there; it is a hit only while its key still matches.
    MV_RETURN_IF_ERROR(table_.skip(1));
    if (table_.eof()) found = false;
    else if (found) {
      // The record's key is computed and compared: that needs the order's true collation.
      MV_RETURN_IF_ERROR(settle_collations());
      bool in = false;
      std::string cur;
      MV_RETURN_IF_ERROR(eval(e, table_.record(), table_.recno(), cur, in));
      if (e.tree->keydef().type == KeyType::Character) {
        const size_t m = std::min(ks.size(), cur.size());
        found = e.tree->collation().compare(reinterpret_cast<const uint8_t*>(cur.data()), ks.data(), m) == 0;
      } else {
        found = cur.size() == ks.size() && std::memcmp(cur.data(), ks.data(), ks.size()) == 0;
      }
    }
  }
  if (!found && !soft) MV_RETURN_IF_ERROR(table_.go_to(0));
  found_ = found;
  return found;
}

// ---- maintenance ----------------------------------------------------------------------

Status OrderList::check_writable() {
  MV_RETURN_IF_ERROR(settle_collations());
  for (auto& e : entries_)
    if (!e->problem.empty())
      return Status::read_only(path_file(e->bag->path()) + ", Index " + e->tree->info().name + ": " + e->problem +
                               "; die Tabelle kann deshalb nicht geändert werden");
  // The table is about to change: from here until the next flush its orders may lag.
  return begin_changes();
}

Status OrderList::begin_changes() {
  for (auto& b : bags_) MV_RETURN_IF_ERROR(b->begin_changes());
  return Status::ok();
}

bool OrderList::any_marked() const {
  return std::any_of(bags_.begin(), bags_.end(), [](const auto& b) { return b->changing(); });
}

Status OrderList::end_changes(index::IndexBag& bag) {
  if (bag.changing()) MV_RETURN_IF_ERROR(table_.sync());
  return bag.end_changes();
}

Status OrderList::record_changing(uint32_t recno, std::span<const uint8_t> old_record) {
  MV_RETURN_IF_ERROR(settle_collations());
  if (deferring() && pending_recno_ == recno) return Status::ok();  // its old keys are known
  MV_RETURN_IF_ERROR(apply_pending());
  // Shared: the keys in the orders are those of the record as it is in the file (the
  // caller holds its lock now); another program may have changed it since we read it.
  std::vector<uint8_t> on_disk;
  if (table_.shared() && table_.read_record(recno, on_disk).is_ok() && on_disk.size() == old_record.size())
    old_record = on_disk;
  for (auto& e : entries_) {
    e->have_old = false;
    MV_RETURN_IF_ERROR(eval(*e, old_record, recno, e->old_key, e->old_in));
    e->have_old = true;
  }
  if (deferring()) {
    pending_recno_ = recno;
    pending_record_.assign(old_record.begin(), old_record.end());
  }
  return Status::ok();
}

Status OrderList::record_changed(uint32_t recno, std::span<const uint8_t> new_record) {
  MV_RETURN_IF_ERROR(settle_collations());
  if (deferring() && pending_recno_ == recno) {
    pending_record_.assign(new_record.begin(), new_record.end());
    return Status::ok();
  }
  return change_keys(recno, new_record);
}

Status OrderList::record_appended(uint32_t recno, std::span<const uint8_t> new_record) {
  MV_RETURN_IF_ERROR(settle_collations());
  MV_RETURN_IF_ERROR(deferring() ? settle_record() : apply_pending());
  if (deferring()) {
    pending_fresh_ = true;
    for (auto& e : entries_) {
      e->have_old = true;
      e->old_in = false;  // not in any order yet
    }
    pending_recno_ = recno;  // its bytes are read when it is settled: its fields are filled by then
    return Status::ok();
  }
  for (auto& e : entries_) {
    bool in = false;
    MV_RETURN_IF_ERROR(eval(*e, new_record, recno, e->new_key, in));
    if (in)
      MV_RETURN_IF_ERROR(
          e->tree->insert({reinterpret_cast<const uint8_t*>(e->new_key.data()), e->new_key.size()}, recno));
  }
  return Status::ok();
}

Status OrderList::apply_pending() {
  MV_RETURN_IF_ERROR(settle_record());
  return flush_batches();
}

// The collected record: an appended one joins the batches, a changed one changes its keys.
Status OrderList::settle_record() {
  if (pending_recno_ == 0) return Status::ok();
  const uint32_t r = pending_recno_;
  pending_recno_ = 0;
  if (!pending_fresh_) return change_keys(r, pending_record_);
  pending_fresh_ = false;
  // Its fields were filled since it was appended, without telling: its bytes as they are now.
  MV_RETURN_IF_ERROR(table_.read_record(r, pending_record_));
  for (auto& e : entries_) {
    e->have_old = false;
    bool in = false;
    // The key on the stack as a rule, then appended to the batch in one piece.
    const size_t kl = e->tree->keydef().length;
    uint8_t buf[256];
    uint8_t* k = buf;
    if (kl > sizeof buf) {
      e->new_key.resize(kl);
      k = reinterpret_cast<uint8_t*>(e->new_key.data());
    }
    MV_RETURN_IF_ERROR(eval(*e, pending_record_, r, k, in));
    if (!in) continue;
    e->batch_keys.insert(e->batch_keys.end(), k, k + kl);
    e->batch_recnos.push_back(r);
    if (e->batch_recnos.size() >= kBatch) MV_RETURN_IF_ERROR(flush_batch(*e));
  }
  return Status::ok();
}

Status OrderList::rewrites_coming(uint64_t records) {
  MV_RETURN_IF_ERROR(settle_record());
  rewrites_coming_ = deferring() ? records : 0;
  return Status::ok();
}

Status OrderList::record_rewritten(uint32_t recno, std::span<const uint8_t> old_record,
                                   std::span<const uint8_t> new_record) {
  if (!deferring()) return OrderMaintainer::record_rewritten(recno, old_record, new_record);
  MV_RETURN_IF_ERROR(settle_record());
  // Every key first: one that cannot be computed changes no order.
  for (auto& e : entries_) {
    e->have_old = false;
    MV_RETURN_IF_ERROR(eval(*e, old_record, recno, e->old_key, e->old_in));
    MV_RETURN_IF_ERROR(eval(*e, new_record, recno, e->new_key, e->new_in));
  }
  // Half the table and more: building the order costs less than taking out and putting
  // in a key per record.
  const bool rebuild = rewrites_coming_ >= kRebuildAtLeast && rewrites_coming_ * 2 >= table_.lastrec();
  for (auto& e : entries_) {
    if (e->old_in == e->new_in && (!e->new_in || e->old_key == e->new_key)) continue;
    if (rebuild && !e->rebuild_due) {
      e->rebuild_due = true;
      e->clear_batches();  // the records hold those keys too
    }
    if (e->rebuild_due) continue;
    if (e->old_in) {
      e->gone_keys.insert(e->gone_keys.end(), e->old_key.begin(), e->old_key.end());
      e->gone_recnos.push_back(recno);
    }
    if (e->new_in) {
      e->batch_keys.insert(e->batch_keys.end(), e->new_key.begin(), e->new_key.end());
      e->batch_recnos.push_back(recno);
    }
    if (std::max(e->batch_recnos.size(), e->gone_recnos.size()) >= kBatch) MV_RETURN_IF_ERROR(flush_batch(*e));
  }
  return Status::ok();
}

// The positions of a batch's entries in the order's key order, equal keys by record.
std::vector<uint32_t> OrderList::batch_order(const Entry& e, const uint8_t* kb, const std::vector<uint32_t>& recnos) {
  std::vector<uint32_t> order(recnos.size());
  index::sort_entries(order, kb, e.tree->keydef().length, recnos, index::KeyCompare(e.tree->keydef(), e.tree->collation()),
                      false);
  return order;
}

Status OrderList::flush_batch(Entry& e) {
  if (!e.pending()) return Status::ok();
  if (e.rebuild_due) {
    // The order may hold keys of appended records the table still keeps in memory; build
    // writes those first and reads every record as it is now.
    MV_RETURN_IF_ERROR(build(e, {}, 0, 0));
    e.clear_batches();
    e.rebuild_due = false;
    return Status::ok();
  }
  const size_t kl = e.tree->keydef().length;
  const uint8_t* gk = e.gone_keys.data();
  const uint8_t* ik = e.batch_keys.data();
  std::vector<uint32_t> gone = batch_order(e, gk, e.gone_recnos);
  std::vector<uint32_t> ins = batch_order(e, ik, e.batch_recnos);
  // A key both leaving and coming for the same record (a record rewritten after it was
  // appended or rewritten in this batch) never reaches the tree: it is not in it yet.
  std::vector<char> skip_gone(gone.size(), 0), skip_ins(ins.size(), 0);
  if (!gone.empty() && !ins.empty()) {
    const index::KeyCompare cmp(e.tree->keydef(), e.tree->collation());
    for (size_t g = 0, i = 0; g < gone.size() && i < ins.size();) {
      const uint8_t* a = gk + size_t(gone[g]) * kl;
      const uint8_t* b = ik + size_t(ins[i]) * kl;
      const uint32_t ra = e.gone_recnos[gone[g]], rb = e.batch_recnos[ins[i]];
      int x = cmp(a, b, kl);
      if (x == 0 && ra != rb) x = ra < rb ? -1 : 1;
      if (x < 0) ++g;
      else if (x > 0) ++i;
      else {
        if (std::memcmp(a, b, kl) == 0) skip_gone[g] = skip_ins[i] = 1;
        ++g, ++i;
      }
    }
  }
  auto key = [&](const uint8_t* kb, uint32_t i) { return std::span<const uint8_t>(kb + size_t(i) * kl, kl); };
  // What this batch did to the tree, to be taken back on an error.
  std::vector<uint32_t> removed;
  Status st;
  for (size_t g = 0; g < gone.size() && st.is_ok(); ++g) {
    if (skip_gone[g]) continue;
    const uint32_t r = e.gone_recnos[gone[g]];
    st = e.tree->remove(key(gk, gone[g]), r);
    if (st.is_ok()) {
      removed.push_back(gone[g]);
    } else if (st.kind() == StatusKind::NotFound) {
      // A unique order holds a key for one record only: the others are not in it.
      if (e.tree->info().unique) st = Status::ok();
      else
        st = Status::corrupt(path_file(e.bag->path()) + ", Index " + e.tree->info().name + ": der Schlüssel von Satz " +
                             std::to_string(r) + " fehlt; der Index muss neu aufgebaut werden");
    }
  }
  // The keys coming go in as one batch, each touched leaf taken up once.
  std::vector<uint32_t> coming;
  coming.reserve(ins.size());
  for (size_t k = 0; k < ins.size(); ++k)
    if (!skip_ins[k]) coming.push_back(ins[k]);
  if (st.is_ok()) st = e.tree->insert_batch(ik, e.batch_recnos.data(), coming.data(), coming.size());
  if (!st.is_ok()) {
    // Taken back in reverse: the order as before the batch, the batch kept for a later try.
    // Which of the coming keys went in before the failure is not told, so each is taken
    // out again by its record; a key that is not there (never inserted, or a unique key
    // another record holds) is no failure of the taking back.
    bool back = true;
    for (auto it = coming.rbegin(); it != coming.rend(); ++it) {
      const Status r = e.tree->remove(key(ik, *it), e.batch_recnos[*it]);
      back = (r.is_ok() || r.kind() == StatusKind::NotFound) && back;
    }
    for (auto it = removed.rbegin(); it != removed.rend(); ++it)
      back = e.tree->insert(key(gk, *it), e.gone_recnos[*it]).is_ok() && back;
    // Not even that: the order's keys cannot be trusted, it is only read from now on.
    if (!back) refuse(e, "die Indexpflege ist gescheitert (" + st.message() + "); der Index muss neu aufgebaut werden");
    return st;
  }
  e.clear_batches();
  return Status::ok();
}

Status OrderList::flush_batches() {
  for (auto& e : entries_) MV_RETURN_IF_ERROR(flush_batch(*e));
  rewrites_coming_ = 0;
  return Status::ok();
}

// Every order: the old keys (known from record_changing) against the new ones.
Status OrderList::change_keys(uint32_t recno, std::span<const uint8_t> new_record) {
  Status first_error;
  for (auto& e : entries_) {
    bool in = false;
    Status st = eval(*e, new_record, recno, e->new_key, in);
    if (!st.is_ok()) {
      if (first_error.is_ok()) first_error = st;
      continue;
    }
    if (!e->have_old) {
      if (first_error.is_ok()) first_error = Status::invalid_argument("Indexpflege: alter Schlüssel fehlt");
      continue;
    }
    e->have_old = false;
    if (e->old_in == in && (!in || e->old_key == e->new_key)) continue;
    if (e->old_in) {
      st = e->tree->remove({reinterpret_cast<const uint8_t*>(e->old_key.data()), e->old_key.size()}, recno);
      // A unique order holds a key for one record only: the others are not in it.
      if (!st.is_ok() && !(st.kind() == StatusKind::NotFound && e->tree->info().unique)) {
        if (st.kind() == StatusKind::NotFound)
          st = Status::corrupt(path_file(e->bag->path()) + ", Index " + e->tree->info().name +
                               ": der Schlüssel von Satz " + std::to_string(recno) +
                               " fehlt; der Index muss neu aufgebaut werden");
        if (first_error.is_ok()) first_error = st;
      }
    }
    if (in) {
      st = e->tree->insert({reinterpret_cast<const uint8_t*>(e->new_key.data()), e->new_key.size()}, recno);
      if (!st.is_ok() && first_error.is_ok()) first_error = st;
    }
  }
  return first_error;
}

Status OrderList::records_replaced() {
  MV_RETURN_IF_ERROR(settle_collations());
  pending_recno_ = 0;  // the record numbers are new: everything is built again
  pending_fresh_ = false;
  for (auto& e : entries_) e->clear_batches(), e->rebuild_due = false;
  rewrites_coming_ = 0;
  nav_->c.clear();
  const uint64_t total = uint64_t(table_.lastrec()) * entries_.size();
  uint64_t done = 0;
  for (auto& e : entries_) {
    MV_RETURN_IF_ERROR(build(*e, {}, done, total));
    done += table_.lastrec();
  }
  return flush();
}

Status OrderList::flush() {
  MV_RETURN_IF_ERROR(settle_record());
  // The orders may hold keys of appended records the table still keeps in memory: the
  // records go first.
  MV_RETURN_IF_ERROR(table_.flush());
  // Each order's pages go out as soon as it has taken its batch, and the disk starts on
  // them (and on the records first) while the next order takes its own: the syncs below
  // then wait for less.
  if (any_marked()) table_.start_writeback();
  for (auto& e : entries_) {
    if (!e->pending()) continue;
    MV_RETURN_IF_ERROR(flush_batch(*e));
    MV_RETURN_IF_ERROR(e->bag->flush());
    e->bag->start_writeback();
  }
  rewrites_coming_ = 0;
  for (auto& b : bags_) MV_RETURN_IF_ERROR(b->flush());
  // The marks go below, and what they covered must be on disk first: the table as well.
  if (any_marked()) MV_RETURN_IF_ERROR(table_.sync());
  // Table and orders agree on disk now.
  for (auto& b : bags_) MV_RETURN_IF_ERROR(b->end_changes());
  return Status::ok();
}

Status OrderList::build(Entry& e, const OrderProgress& progress, uint64_t done_before, uint64_t total) {
  if (!e.problem.empty()) return Status::read_only(e.problem);
  MV_RETURN_IF_ERROR(table_.flush());
  const uint32_t n = table_.lastrec();
  const size_t kl = e.tree->keydef().length;
  // Sized once for every record; a FOR condition leaves the end unused.
  std::vector<uint8_t> keys(size_t(n) * kl);
  std::vector<uint32_t> recnos;
  recnos.reserve(n);
  std::vector<uint8_t> rec;
  size_t at = 0;
  for (uint32_t r = 1; r <= n; ++r) {
    MV_RETURN_IF_ERROR(table_.read_record(r, rec));
    bool in = false;
    MV_RETURN_IF_ERROR(eval(e, rec, r, keys.data() + at, in));  // left out: overwritten by the next
    if (in) {
      at += kl;
      recnos.push_back(r);
    }
    if (progress && !progress(done_before + r, total)) return Status::cancelled("Indexaufbau abgebrochen");
  }
  keys.resize(at);
  MV_RETURN_IF_ERROR(e.tree->build(std::move(keys), std::move(recnos)));
  if (current_ && entries_[current_ - 1].get() == &e) nav_->c.clear();
  return Status::ok();
}

Status OrderList::set_production_flag(bool on) {
  auto f = table_.fs().open(table_.path(), OpenMode::ReadWrite);
  if (!f.is_ok()) return f.status();
  uint8_t b = 0;
  MV_RETURN_IF_ERROR((*f)->read_exact(28, &b, 1));
  uint8_t nb = on ? uint8_t(b | kProductionFlag) : uint8_t(b & ~kProductionFlag);
  if (nb == b) return Status::ok();
  return (*f)->write_at(28, &nb, 1);
}

// ---- creating and deleting orders ---------------------------------------------------------

Status OrderList::create_order(const std::string& tag_in, const std::string& bag_in, const std::string& key_utf8,
                               const CreateOrderOptions& opt) {
  MV_RETURN_IF_ERROR(settle_collations());
  MV_RETURN_IF_ERROR(apply_pending());
  if (!has_format_) return Status::not_supported(table_.path() + ": der Treiber " + table_.driver() + " kennt keine Indexdateien");
  if (table_.read_only()) return Status::read_only(table_.path() + ": die Tabelle ist schreibgeschützt geöffnet");
  if (format_ == IndexFormat::Ntx) return create_index(bag_in.empty() ? tag_in : bag_in, key_utf8, opt);
  const std::string tag = upper_ascii(trimmed(tag_in));
  const bool to_production = trimmed(bag_in).empty() ||
                             same_path(path_stem(trimmed(bag_in)), path_stem(table_.path()));
  const std::string path =
      resolve_index_path(trimmed(bag_in).empty() ? path_stem(table_.path()) : trimmed(bag_in), extension_of(format_));
  MV_ASSIGN_OR_RETURN(std::string key_expr, cp_from_utf8(table_.code_page(), trimmed(key_utf8)));
  MV_ASSIGN_OR_RETURN(std::string for_expr, cp_from_utf8(table_.code_page(), trimmed(opt.for_expr)));

  // The bag: already open, on disk, or new.
  index::IndexBag* bag = nullptr;
  for (auto& b : bags_)
    if (same_path(b->path(), path)) bag = b.get();
  if (!bag && table_.fs().exists(path)) {
    MV_RETURN_IF_ERROR(open_bag(path, format_, to_production));
    bag = bags_.back().get();
  }
  const bool fresh = !bag;
  if (!bag) {
    index::BagOptions bo;
    bo.shared = table_.shared();
    bo.table_name = path_stem(table_.path());
    bo.language_driver = table_.header_info().language;
    bo.production = to_production;
    MV_ASSIGN_OR_RETURN(auto nb, index::IndexBag::create_bag(table_.fs(), path, format_, bo));
    bag = nb.get();
    bags_.push_back(std::move(nb));
    if (to_production) production_ = bag;
  }

  // Compile and describe the key.
  Entry probe;
  const index::Collation coll = table_collation();
  // German UPPER() for a German table; a new MDX tag computes its keys as the bag's others.
  probe.flavour = coll.kind() == index::Collation::Kind::German ? CaseFlavour::German : CaseFlavour::Ascii;
  if (format_ == IndexFormat::Mdx) new_mdx_key_rules(probe);
  MV_RETURN_IF_ERROR(compile(probe, key_expr, for_expr));
  if (format_ == IndexFormat::Mdx && probe.problem.empty() && probe.key.type() == ValueType::Character &&
      collates_unknown(table_.header_info().language)) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", table_.header_info().language);
    return Status::not_supported(table_.path() + ": Zeichenschlüssel werden nach dem Sprachtreiber " + hex +
                                 " sortiert, dessen Sortierfolge unbekannt ist; der Index kann nicht angelegt werden");
  }
  if (!probe.problem.empty()) return Status::invalid_argument(probe.problem);
  const KeyType kt = *key_type_of(probe.key.type());
  int len = probe.key.length();
  if (kt == KeyType::Character && len <= 0)
    return Status::invalid_argument("der Indexausdruck \"" + key_expr + "\" hat keine feste Länge");
  index::OrderInfo info;
  info.name = tag;
  info.key_expr = key_expr;
  info.for_expr = for_expr;
  info.unique = opt.unique;
  info.descending = opt.descending;
  info.keydef.format = format_;
  info.keydef.type = kt;
  info.keydef.length = index::stored_key_length(format_, kt, uint16_t(std::max(len, 1)), uint16_t(std::max(len, 1)));
  info.keydef.decimals = uint16_t(std::max(probe.key.decimals(), 0));
  MV_RETURN_IF_ERROR(index::check_order_limits(format_, info, bag->find(tag) ? bag->size() - 1 : bag->size()));

  auto e = std::make_unique<Entry>();
  e->key = std::move(probe.key);
  e->cond = std::move(probe.cond);
  e->has_cond = probe.has_cond;
  e->flavour = probe.flavour;
  e->dtos_day_zero = probe.dtos_day_zero;
  note_key_functions(*e, key_expr, for_expr);
  // Other programs may use a shared table's bag: there the tag is built in place.
  if (!table_.shared() && !fresh && bag->size() > 0) return add_tag_in_copy(bag, info, coll, std::move(e), opt);

  // A tag of the same name is replaced: its entry goes first.
  if (bag->find(tag)) {
    index::TreeOrder* old = bag->find(tag);
    for (size_t i = 0; i < entries_.size(); ++i)
      if (entries_[i]->tree == old) {
        if (current_ == i + 1) MV_RETURN_IF_ERROR(set_order(size_t(0)));
        else if (current_ > i + 1) --current_;
        entries_.erase(entries_.begin() + ptrdiff_t(i));
        break;
      }
  }
  // A build that dies leaves the bag marked: its tags are rebuilt at the next exclusive open.
  MV_RETURN_IF_ERROR(bag->begin_changes());
  MV_ASSIGN_OR_RETURN(index::TreeOrder * tree, bag->add_tag(info));
  tree->set_key_type(kt);
  tree->set_collation(coll);
  e->bag = bag;
  e->tree = tree;
  const uint64_t total = table_.lastrec();
  MV_RETURN_IF_ERROR(build(*e, opt.progress, 0, total));
  entries_.push_back(std::move(e));
  MV_RETURN_IF_ERROR(bag->flush());
  if (bag == production_) MV_RETURN_IF_ERROR(set_production_flag(true));
  MV_RETURN_IF_ERROR(end_changes(*bag));
  if (current_) nav_->e = entries_[current_ - 1].get();
  return Status::ok();
}

Status OrderList::add_tag_in_copy(index::IndexBag* bag, const index::OrderInfo& info, const index::Collation& coll,
                                  std::unique_ptr<Entry> e, const CreateOrderOptions& opt) {
  FileSystem& fs = table_.fs();
  const std::string path = bag->path();
  const std::string tmp = temp_name_for(path);
  if (fs.exists(tmp)) fs.remove(tmp).ignore();
  // The bag on disk agrees with the table before it is copied.
  MV_RETURN_IF_ERROR(table_.flush());
  MV_RETURN_IF_ERROR(bag->flush());
  MV_RETURN_IF_ERROR(end_changes(*bag));
  index::BagOptions bo;
  bo.table_name = path_stem(table_.path());
  bo.language_driver = table_.header_info().language;
  bo.production = bag == production_;
  Status st = [&]() -> Status {
    MV_RETURN_IF_ERROR(copy_file(fs, path, tmp));
    MV_ASSIGN_OR_RETURN(auto copy, index::IndexBag::open(fs, tmp, bag->format(), bo));
    MV_ASSIGN_OR_RETURN(index::TreeOrder * tree, copy->add_tag(info));
    tree->set_key_type(info.keydef.type);
    tree->set_collation(coll);
    e->bag = copy.get();
    e->tree = tree;
    Status built = build(*e, opt.progress, 0, table_.lastrec());
    e->bag = nullptr;
    e->tree = nullptr;
    MV_RETURN_IF_ERROR(built);
    return copy->flush();
  }();
  if (st.is_ok()) st = replace_files(fs, {{tmp, path}});
  if (!st.is_ok()) {
    fs.remove(tmp).ignore();
    return st;
  }
  MV_ASSIGN_OR_RETURN(auto fresh, index::IndexBag::open(fs, path, bag->format(), bo));
  index::IndexBag* nb = fresh.get();
  // The old bag object lives until its orders have gone over.
  std::unique_ptr<index::IndexBag> old_bag;
  for (auto& b : bags_)
    if (b.get() == bag) old_bag = std::move(b), b = std::move(fresh);
  if (production_ == bag) production_ = nb;
  // The orders of the bag go over to the new file by name; a tag of the new one's name
  // was replaced by it.
  for (size_t i = entries_.size(); i-- > 0;) {
    Entry& x = *entries_[i];
    if (x.bag != bag) continue;
    const std::string name = x.tree->info().name;
    index::TreeOrder* t = upper_ascii(name) == upper_ascii(info.name) ? nullptr : nb->find(name);
    if (!t) {
      if (current_ == i + 1) MV_RETURN_IF_ERROR(set_order(size_t(0)));
      else if (current_ > i + 1) --current_;
      entries_.erase(entries_.begin() + ptrdiff_t(i));
      continue;
    }
    t->set_key_type(x.tree->keydef().type);
    if (x.tree->foreign_collation()) t->set_foreign_collation();
    else t->set_collation(x.tree->collation());
    if (x.tree->read_only()) t->set_read_only(x.tree->read_only_reason());
    x.bag = nb;
    x.tree = t;
  }
  e->bag = nb;
  e->tree = nb->find(info.name);
  if (!e->tree) return Status::corrupt(path + ": Tag " + info.name + " fehlt nach dem Anlegen");
  e->tree->set_key_type(info.keydef.type);
  e->tree->set_collation(coll);
  entries_.push_back(std::move(e));
  nav_->c.clear();
  if (current_) nav_->e = entries_[current_ - 1].get();
  if (nb == production_) MV_RETURN_IF_ERROR(set_production_flag(true));
  return Status::ok();
}

Status OrderList::create_index(const std::string& file, const std::string& key_utf8, const CreateOrderOptions& opt) {
  MV_RETURN_IF_ERROR(settle_collations());
  MV_RETURN_IF_ERROR(apply_pending());
  if (!has_format_) return Status::not_supported(table_.path() + ": der Treiber " + table_.driver() + " kennt keine Indexdateien");
  if (table_.read_only()) return Status::read_only(table_.path() + ": die Tabelle ist schreibgeschützt geöffnet");
  if (format_ != IndexFormat::Ntx) return create_order(path_stem(trimmed(file)), trimmed(file), key_utf8, opt);
  const std::string path = resolve_index_path(trimmed(file), ".ntx");
  MV_ASSIGN_OR_RETURN(std::string key_expr, cp_from_utf8(table_.code_page(), trimmed(key_utf8)));
  MV_ASSIGN_OR_RETURN(std::string for_expr, cp_from_utf8(table_.code_page(), trimmed(opt.for_expr)));
  const index::Collation coll = table_collation();
  Entry probe;
  // German UPPER() for a German table, as for a tag (the keys must be the ones the other
  // programs of that table compute).
  probe.flavour = coll.kind() == index::Collation::Kind::German ? CaseFlavour::German : CaseFlavour::Ascii;
  MV_RETURN_IF_ERROR(compile(probe, key_expr, for_expr));
  if (!probe.problem.empty()) return Status::invalid_argument(probe.problem);
  const KeyType kt = *key_type_of(probe.key.type());
  int len = probe.key.length();
  if ((kt == KeyType::Character || kt == KeyType::Numeric) && len <= 0)
    return Status::invalid_argument("der Indexausdruck \"" + key_expr + "\" hat keine feste Länge");
  index::OrderInfo info;
  info.name = upper_ascii(path_stem(path));
  info.key_expr = key_expr;
  info.for_expr = for_expr;
  info.unique = opt.unique;
  info.descending = opt.descending;
  info.keydef.format = IndexFormat::Ntx;
  info.keydef.type = kt;
  info.keydef.length = index::stored_key_length(IndexFormat::Ntx, kt, uint16_t(std::max(len, 1)), uint16_t(std::max(len, 1)));
  info.keydef.decimals = uint16_t(std::max(probe.key.decimals(), 0));
  MV_RETURN_IF_ERROR(index::check_order_limits(IndexFormat::Ntx, info, 0));

  // The order is built under a temporary name and put in place when complete: a build
  // that dies leaves the file of that name as it was.
  const std::string tmp = temp_name_for(path);
  if (table_.fs().exists(tmp)) table_.fs().remove(tmp).ignore();
  index::BagOptions bo;
  bo.shared = table_.shared();
  auto e = std::make_unique<Entry>();
  e->key = std::move(probe.key);
  e->cond = std::move(probe.cond);
  e->has_cond = probe.has_cond;
  e->flavour = probe.flavour;
  {
    MV_ASSIGN_OR_RETURN(auto nb, index::IndexBag::create_ntx(table_.fs(), tmp, info, bo));
    e->bag = nb.get();
    e->tree = nb->order(0);
    e->tree->set_key_type(kt);
    e->tree->set_collation(coll);
    Status st = build(*e, opt.progress, 0, table_.lastrec());
    if (st.is_ok()) st = nb->flush();
    if (!st.is_ok()) {
      nb.reset();
      table_.fs().remove(tmp).ignore();
      return st;
    }
  }
  // An open file of that name is closed first: it is replaced.
  for (size_t i = 0; i < bags_.size(); ++i) {
    if (!same_path(bags_[i]->path(), path)) continue;
    index::IndexBag* old = bags_[i].get();
    for (size_t j = entries_.size(); j-- > 0;)
      if (entries_[j]->bag == old) {
        if (current_ == j + 1) MV_RETURN_IF_ERROR(set_order(size_t(0)));
        else if (current_ > j + 1) --current_;
        entries_.erase(entries_.begin() + ptrdiff_t(j));
      }
    Status st = old->flush();
    if (st.is_ok()) st = old->end_changes();
    bags_.erase(bags_.begin() + ptrdiff_t(i));
    MV_RETURN_IF_ERROR(st);
    break;
  }
  {
    Status st = replace_files(table_.fs(), {{tmp, path}});
    if (!st.is_ok()) {
      table_.fs().remove(tmp).ignore();
      return st;
    }
  }
  MV_ASSIGN_OR_RETURN(auto nb, index::IndexBag::open(table_.fs(), path, IndexFormat::Ntx, bo));
  // A mark a killed writer left on the file of that name goes with it.
  if (nb->left_unfinished()) {
    MV_RETURN_IF_ERROR(nb->begin_changes());
    MV_RETURN_IF_ERROR(nb->end_changes());
  }
  e->bag = nb.get();
  e->tree = nb->order(0);
  e->tree->set_key_type(kt);
  e->tree->set_collation(coll);
  bags_.push_back(std::move(nb));
  entries_.push_back(std::move(e));
  if (current_) nav_->e = entries_[current_ - 1].get();
  return Status::ok();
}

Status OrderList::write_production_bag(const std::vector<OrderDefinition>& orders, const OrderProgress& progress,
                                       std::vector<size_t>* skipped) {
  MV_RETURN_IF_ERROR(apply_pending());
  if (!has_format_ || format_ == IndexFormat::Ntx)
    return Status::not_supported(table_.path() + ": der Treiber " + table_.driver() + " kennt keine Indexbags");
  if (table_.read_only()) return Status::read_only(table_.path() + ": die Tabelle ist schreibgeschützt geöffnet");
  if (table_.shared()) return Status::locked(table_.path() + ": die Tabelle ist nicht exklusiv geöffnet");
  if (production_) return Status::invalid_argument(table_.path() + ": der Indexbag der Tabelle ist noch geöffnet");
  FileSystem& fs = table_.fs();
  const IndexFormat fmt = format_;
  const std::string path = resolve_index_path(path_stem(table_.path()), extension_of(fmt));
  // Our MDX tags carry no FOR condition: such a row is refused before any file changes.
  if (fmt == IndexFormat::Mdx)
    for (const OrderDefinition& d : orders)
      if (!trimmed(d.for_expr).empty())
        return Status::not_supported(path + ", Index " + trimmed(d.name) +
                                     ": eine FOR-Bedingung kann in einer MDX-Datei nicht gespeichert werden");
  // The old bag, when there is one, says how the keys are ordered (byte order or German),
  // which the new one keeps for the other programs that read it. A tag another program
  // wrote with a FOR condition reads without it: rebuilt from its row it would silently hold
  // every record, so the whole rebuild is refused instead.
  index::Collation coll = table_collation();
  if (fs.exists(path)) {
    index::BagOptions ro;
    ro.read_only = true;
    ro.table_name = path_stem(table_.path());
    ro.language_driver = table_.header_info().language;
    if (auto old = index::IndexBag::open(fs, path, fmt, ro); old.is_ok()) {
      bool decided = false;
      for (size_t t = 0; t < (*old)->size(); ++t) {
        index::TreeOrder* o = (*old)->order(t);
        if (fmt == IndexFormat::Mdx && o->read_only() && o->read_only_reason().rfind("Tag mit FOR-Bedingung", 0) == 0)
          for (const OrderDefinition& d : orders)
            if (upper_ascii(trimmed(d.name)) == upper_ascii(o->info().name))
              return Status::not_supported(path + ", Index " + o->info().name +
                                           ": eine FOR-Bedingung kann in einer MDX-Datei nicht gespeichert werden");
        if (decided) continue;
        Entry probe;
        MV_RETURN_IF_ERROR(compile(probe, o->info().key_expr, o->info().for_expr));
        if (!probe.problem.empty() || probe.key.type() != ValueType::Character) continue;
        o->set_key_type(KeyType::Character);
        auto c = o->detect_collation(index::Collation::machine(), table_.code_page());
        if (!c.is_ok() || !c->has_value()) continue;
        coll = **c;
        decided = true;
      }
    }
  }
  MV_RETURN_IF_ERROR(table_.flush());
  const uint32_t records = table_.lastrec();
  const uint64_t total = uint64_t(records) * orders.size();
  const std::string tmp = temp_name_for(path);
  if (fs.exists(tmp)) fs.remove(tmp).ignore();
  index::BagOptions bo;
  bo.table_name = path_stem(table_.path());
  bo.language_driver = table_.header_info().language;
  bo.production = true;
  size_t built = 0;
  std::unique_ptr<index::IndexBag> nb;
  Status st = [&]() -> Status {
    MV_ASSIGN_OR_RETURN(nb, index::IndexBag::create_bag(fs, tmp, fmt, bo));
    std::vector<std::unique_ptr<Entry>> made;  // the new bag's orders, kept until it is written
    for (size_t i = 0; i < orders.size(); ++i) {
      const OrderDefinition& d = orders[i];
      const uint64_t done = uint64_t(records) * i;
      auto leave_out = [&] {
        if (skipped) skipped->push_back(i);
        return Status::ok();
      };
      auto key_expr = cp_from_utf8(table_.code_page(), trimmed(d.key));
      auto for_expr = cp_from_utf8(table_.code_page(), trimmed(d.for_expr));
      const std::string tag = upper_ascii(trimmed(d.name));
      if (!key_expr.is_ok() || !for_expr.is_ok() || tag.empty() || key_expr->empty()) {
        MV_RETURN_IF_ERROR(leave_out());
        continue;
      }
      auto e = std::make_unique<Entry>();
      e->flavour = coll.kind() == index::Collation::Kind::German ? CaseFlavour::German : CaseFlavour::Ascii;
      if (fmt == IndexFormat::Mdx) new_mdx_key_rules(*e);
      MV_RETURN_IF_ERROR(compile(*e, *key_expr, *for_expr));
      if (fmt == IndexFormat::Mdx && e->problem.empty() && e->key.type() == ValueType::Character &&
          collates_unknown(table_.header_info().language)) {
        // Keys in an order we cannot compute would be put where dBASE does not look for them.
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", table_.header_info().language);
        return Status::not_supported(path + ", Index " + tag + ": Zeichenschlüssel werden nach dem Sprachtreiber " +
                                     hex + " sortiert, dessen Sortierfolge unbekannt ist");
      }
      if (!e->problem.empty()) {
        MV_RETURN_IF_ERROR(leave_out());
        continue;
      }
      const KeyType kt = *key_type_of(e->key.type());
      const int len = e->key.length();
      if (kt == KeyType::Character && len <= 0) {
        MV_RETURN_IF_ERROR(leave_out());
        continue;
      }
      index::OrderInfo info;
      info.name = tag;
      info.key_expr = *key_expr;
      info.for_expr = *for_expr;
      info.unique = d.unique;
      info.descending = d.descending;
      info.keydef.format = fmt;
      info.keydef.type = kt;
      info.keydef.length =
          index::stored_key_length(fmt, kt, uint16_t(std::max(len, 1)), uint16_t(std::max(len, 1)));
      info.keydef.decimals = uint16_t(std::max(e->key.decimals(), 0));
      // Two rows of one name would leave one tag: the later one is left out.
      if (nb->find(tag) || !index::check_order_limits(fmt, info, nb->size()).is_ok()) {
        MV_RETURN_IF_ERROR(leave_out());
        continue;
      }
      note_key_functions(*e, *key_expr, *for_expr);
      MV_ASSIGN_OR_RETURN(index::TreeOrder * tree, nb->add_tag(info));
      tree->set_key_type(kt);
      tree->set_collation(coll);
      e->bag = nb.get();
      e->tree = tree;
      MV_RETURN_IF_ERROR(build(*e, progress, done, total));
      made.push_back(std::move(e));
      ++built;
    }
    return nb->flush();
  }();
  nb.reset();
  if (!st.is_ok() || built == 0) fs.remove(tmp).ignore();
  MV_RETURN_IF_ERROR(st);
  // Not one of the rows could be built: the old bag stays rather than none at all.
  if (built == 0 && !orders.empty())
    return Status::invalid_argument(path + ": keiner der Indexe kann erstellt werden");
  const std::string mark = index::change_mark_path(path);
  if (built == 0) {
    // No bag at all: the flag goes first, so a bag that cannot be removed is still opened.
    MV_RETURN_IF_ERROR(set_production_flag(false));
    if (fs.exists(path)) MV_RETURN_IF_ERROR(fs.remove(path));
    if (fs.exists(mark)) MV_RETURN_IF_ERROR(fs.remove(mark));
    return fs.sync_dir(path_dir(path));
  }
  {
    Status moved = replace_files(fs, {{tmp, path}});
    if (!moved.is_ok()) {
      fs.remove(tmp).ignore();
      return moved;
    }
  }
  // A mark a killed writer left on the old bag does not speak of the new one, once the
  // records its keys stand for are on disk too.
  if (fs.exists(mark)) {
    MV_RETURN_IF_ERROR(table_.sync());
    MV_RETURN_IF_ERROR(fs.remove(mark));
  }
  MV_RETURN_IF_ERROR(set_production_flag(true));
  return open_bag(path, fmt, true);
}

Status OrderList::delete_order(std::string_view name) {
  MV_RETURN_IF_ERROR(settle_collations());
  MV_RETURN_IF_ERROR(apply_pending());
  if (table_.read_only()) return Status::read_only(table_.path() + ": die Tabelle ist schreibgeschützt geöffnet");
  const std::string want = upper_ascii(trimmed(std::string(name)));
  for (size_t i = 0; i < entries_.size(); ++i) {
    Entry& e = *entries_[i];
    if (upper_ascii(e.tree->info().name) != want) continue;
    if (current_ == i + 1) MV_RETURN_IF_ERROR(set_order(size_t(0)));
    else if (current_ > i + 1) --current_;
    index::IndexBag* bag = e.bag;
    const std::string path = bag->path();
    const bool single = bag->format() == IndexFormat::Ntx;
    MV_RETURN_IF_ERROR(bag->begin_changes());
    if (!single) MV_RETURN_IF_ERROR(bag->drop_tag(e.tree->info().name));
    entries_.erase(entries_.begin() + ptrdiff_t(i));
    if (single || bag->size() == 0) {
      const bool was_production = bag == production_;
      bags_.erase(std::remove_if(bags_.begin(), bags_.end(), [&](auto& b) { return b.get() == bag; }), bags_.end());
      if (was_production) production_ = nullptr;
      MV_RETURN_IF_ERROR(table_.fs().remove(path));
      // The file is gone, and with it what its mark said.
      if (table_.fs().exists(index::change_mark_path(path)))
        MV_RETURN_IF_ERROR(table_.fs().remove(index::change_mark_path(path)));
      if (was_production) MV_RETURN_IF_ERROR(set_production_flag(false));
    } else {
      MV_RETURN_IF_ERROR(bag->flush());
      MV_RETURN_IF_ERROR(end_changes(*bag));
    }
    if (current_) nav_->e = entries_[current_ - 1].get();
    return Status::ok();
  }
  return Status::not_found("Index " + std::string(name) + " ist nicht geöffnet");
}

Status OrderList::reindex(const OrderProgress& progress) {
  MV_RETURN_IF_ERROR(settle_collations());
  MV_RETURN_IF_ERROR(apply_pending());
  MV_RETURN_IF_ERROR(check_writable());
  const uint64_t total = uint64_t(table_.lastrec()) * entries_.size();
  uint64_t done = 0;
  for (auto& e : entries_) {
    MV_RETURN_IF_ERROR(build(*e, progress, done, total));
    done += table_.lastrec();
  }
  return flush();
}

Result<index::CheckReport> OrderList::check(size_t n) {
  MV_RETURN_IF_ERROR(settle_collations());
  MV_RETURN_IF_ERROR(apply_pending());
  if (n == 0 || n > entries_.size()) return Status::invalid_argument("Index Nummer " + std::to_string(n) + " gibt es nicht");
  Entry& e = *entries_[n - 1];
  MV_ASSIGN_OR_RETURN(index::CheckReport rep, e.tree->check(table_.lastrec()));
  if (!e.problem.empty()) return rep;
  // Key count against the records the order should hold.
  MV_RETURN_IF_ERROR(table_.flush());
  const uint32_t last = table_.lastrec();
  std::vector<std::string> keys;
  std::vector<uint8_t> rec;
  std::string k;
  uint64_t want = 0;
  for (uint32_t r = 1; r <= last; ++r) {
    MV_RETURN_IF_ERROR(table_.read_record(r, rec));
    bool in = false;
    MV_RETURN_IF_ERROR(eval(e, rec, r, k, in));
    if (!in) continue;
    if (e.tree->info().unique) keys.push_back(k);
    else ++want;
  }
  if (e.tree->info().unique) {
    std::sort(keys.begin(), keys.end());
    want = uint64_t(std::unique(keys.begin(), keys.end()) - keys.begin());
  }
  // A unique order may hold fewer keys: a record that gives up a key does not hand it on.
  // Without a FOR condition every record is in: a change trades one key for another and
  // never leaves the order empty while the table has records.
  const bool too_few = e.tree->info().unique ? rep.keys == 0 && want > 0 && !e.has_cond : want != rep.keys;
  if (too_few || (e.tree->info().unique && rep.keys > want))
    return Status::corrupt(path_file(e.bag->path()) + ", Index " + e.tree->info().name + ": " +
                           std::to_string(rep.keys) + " Schlüssel, aber " + std::to_string(want) +
                           " Sätze gehören hinein");
  return rep;
}

}  // namespace mv
