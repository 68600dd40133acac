// One conformance suite for the three index families: seeded random runs of appends,
// key edits, deletes with pack, seeks and skips, checked after every step against a
// std::multimap of (key, record number) and the structural check, with the file
// closed and opened again now and then.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <map>
#include <numeric>
#include <random>
#include <set>

#include "platform/base/bytes.h"
#include "platform/base/filesystem.h"
#include "platform/runtime/expr.h"
#include "platform/table/index/collation_fit.h"
#include "platform/table/index/index_bag.h"
#include "platform/table/index/index_layout.h"
#include "platform/table/index/paged_file.h"
#include "tests/platform/table/index/index_test_helpers.h"
#include "tests/support/fixtures.h"
#include "tests/support/forwarding_fs.h"

namespace mv::index {

// Test lists show the format's name.
void PrintTo(IndexFormat f, std::ostream* os) { *os << format_name(f); }

namespace {

struct Config {
  const char* name;
  KeyType type;
  uint16_t length;
  bool unique = false;
  bool descending = false;
  bool filtered = false;   // FOR condition: only some records are in the order
  bool shared = false;     // every change locked and written at once
  int alphabet = 4;        // few letters: many equal keys and long common prefixes
};

const Config kConfigs[] = {
    {"short", KeyType::Character, 6},
    {"long", KeyType::Character, 60, false, false, false, false, 3},
    {"unique", KeyType::Character, 5, true},
    {"descending", KeyType::Character, 8, false, true},
    {"unique_descending", KeyType::Character, 4, true, true},
    {"filtered", KeyType::Character, 7, false, false, true},
    {"numeric", KeyType::Numeric, 10},
    {"numeric_descending", KeyType::Numeric, 10, false, true},
    {"date", KeyType::Date, 8},
    {"shared_mode", KeyType::Character, 12, false, false, false, true, 5},
};

// A record of the simulated table: its key value and whether it is deleted.
struct Rec {
  std::string chars;
  double num = 0;
  int32_t day = 0;
  bool deleted = false;
};

class IndexConformance : public ::testing::TestWithParam<IndexFormat> {
 protected:
  const IndexFormat kFormat = GetParam();

  bool supported(const Config& c) const {
    if (kFormat == IndexFormat::Mdx && c.filtered) return false;  // MDX files keep no FOR condition here
    return true;
  }

  KeyDef keydef_for(const Config& c) const {
    KeyDef s;
    s.format = kFormat;
    s.type = c.type;
    s.length = stored_key_length(kFormat, c.type, c.length, c.length);
    s.decimals = c.type == KeyType::Numeric ? 2 : 0;
    return s;
  }

  Value value_of(const Config& c, const Rec& r) const {
    switch (c.type) {
      case KeyType::Numeric: return Value::numeric(r.num, 10, 2);
      case KeyType::Date: return Value::of_date(Date::from_julian(r.day));
      default: return Value::character(r.chars);
    }
  }
  std::string key_of(const Config& c, const Rec& r) const { return encode_key(keydef_, value_of(c, r)); }
  bool in_order(const Config& c, const Rec& r) const {
    if (!c.filtered) return true;
    return !r.chars.empty() && (uint8_t(r.chars[0]) % 2 == 0);  // the FOR condition
  }

  Rec random_rec(const Config& c, std::mt19937& rng) const {
    Rec r;
    std::uniform_int_distribution<int> len(0, c.length);
    std::uniform_int_distribution<int> letter(0, c.alphabet - 1);
    int n = len(rng);
    for (int i = 0; i < n; ++i) r.chars += char('A' + letter(rng));
    std::uniform_int_distribution<int> cents(-99999, 99999);
    r.num = (rng() % 3 == 0) ? 0.0 : cents(rng) / 4.0;  // quarters: exact in every encoding
    r.day = (rng() % 10 == 0) ? 0 : 2440000 + int32_t(rng() % 30000);
    return r;
  }

  // ---- the model -------------------------------------------------------------------
  // Ordering of the model: by key value in the order's direction. NTX and MDX keep equal
  // keys in the order they came; CDX keeps them by record number (and reads a
  // descending order backwards).
  struct KeyLess {
    const IndexConformance* t;
    bool operator()(const std::string& a, const std::string& b) const { return t->cmp_logical(a, b) < 0; }
  };
  int cmp_value(const std::string& a, const std::string& b) const {
    return cmp_(reinterpret_cast<const uint8_t*>(a.data()), reinterpret_cast<const uint8_t*>(b.data()), keydef_.length);
  }
  int cmp_logical(const std::string& a, const std::string& b) const {
    int x = cmp_value(a, b);
    return cfg_->descending ? -x : x;
  }

  void model_insert(const std::string& key, uint32_t recno) {
    if (cfg_->unique && model_.count(key)) return;
    if (kFormat != IndexFormat::Cdx) {
      model_.emplace(key, recno);  // behind the equal keys already there
      return;
    }
    // CDX: among equal keys by record number; in a descending order backwards.
    auto range = model_.equal_range(key);
    auto pos = range.first;
    while (pos != range.second && (cfg_->descending ? pos->second > recno : pos->second < recno)) ++pos;
    model_.emplace_hint(pos, key, recno);
  }
  void model_remove(const std::string& key, uint32_t recno) {
    auto range = model_.equal_range(key);
    for (auto it = range.first; it != range.second; ++it)
      if (it->second == recno) {
        model_.erase(it);
        return;
      }
  }
  void model_rebuild() {
    model_ = Model(KeyLess{this});
    std::vector<std::pair<std::string, uint32_t>> all;
    for (uint32_t i = 0; i < recs_.size(); ++i)
      if (in_order(*cfg_, recs_[i])) all.push_back({key_of(*cfg_, recs_[i]), i + 1});
    // A bulk build takes equal keys by record number; a unique order keeps the first.
    std::stable_sort(all.begin(), all.end(), [&](auto& a, auto& b) { return cmp_logical(a.first, b.first) < 0; });
    for (auto& [k, r] : all) model_insert(k, r);
  }

  // ---- the index under test ----------------------------------------------------------
  void create() {
    OrderInfo info;
    info.name = "T";
    info.key_expr = "KEY";
    info.for_expr = cfg_->filtered ? "ISEVEN(KEY)" : "";
    info.unique = cfg_->unique;
    info.descending = cfg_->descending;
    info.keydef = keydef_;
    BagOptions opt;
    opt.shared = cfg_->shared;
    opt.table_name = "T";
    ASSERT_NO_FATAL_FAILURE(new_bag(path_, info, opt, bag_, order_));
    order_->set_key_type(keydef_.type);
  }

  // The positions of a batch's entries as the order list hands them over: by key, equal
  // keys by record.
  std::vector<uint32_t> handed_over(const std::vector<uint8_t>& keys, const std::vector<uint32_t>& recnos) const {
    const size_t kl = keydef_.length;
    std::vector<uint32_t> order(recnos.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
      int x = cmp_(keys.data() + a * kl, keys.data() + b * kl, kl);
      return x ? x < 0 : recnos[a] < recnos[b];
    });
    return order;
  }

  // A new file at `file` holding one empty order as `info` describes.
  void new_bag(const std::string& file, const OrderInfo& info, const BagOptions& opt, std::unique_ptr<IndexBag>& bag,
               TreeOrder*& order) {
    if (kFormat == IndexFormat::Ntx) {
      auto b = IndexBag::create_ntx(FileSystem::posix(), file, info, opt);
      ASSERT_TRUE(b.is_ok()) << b.status().to_string();
      bag = std::move(*b);
      order = bag->order(0);
    } else {
      auto b = IndexBag::create_bag(FileSystem::posix(), file, kFormat, opt);
      ASSERT_TRUE(b.is_ok()) << b.status().to_string();
      bag = std::move(*b);
      auto t = bag->add_tag(info);
      ASSERT_TRUE(t.is_ok()) << t.status().to_string();
      order = *t;
    }
  }

  void reopen() {
    Status fl = bag_->flush();
    ASSERT_TRUE(fl.is_ok()) << fl.to_string();
    bag_.reset();
    BagOptions opt;
    opt.shared = cfg_->shared;
    auto b = IndexBag::open(FileSystem::posix(), path_, kFormat, opt);
    ASSERT_TRUE(b.is_ok()) << b.status().to_string();
    bag_ = std::move(*b);
    order_ = kFormat == IndexFormat::Ntx ? bag_->order(0) : bag_->find("T");
    ASSERT_NE(order_, nullptr);
    order_->set_key_type(keydef_.type);
    if (keydef_.type == KeyType::Numeric) order_->set_decimals(keydef_.decimals);
  }

  void verify(const std::string& step) {
    SCOPED_TRACE(step);
    std::vector<std::pair<std::string, uint32_t>> got;
    Cursor c;
    ASSERT_TRUE(order_->first(c).is_ok());
    while (c.valid()) {
      got.push_back({std::string(reinterpret_cast<const char*>(order_->key_at(c)), keydef_.length), order_->recno_at(c)});
      ASSERT_TRUE(order_->next(c).is_ok());
      ASSERT_LE(got.size(), model_.size() + 1);
    }
    std::vector<std::pair<std::string, uint32_t>> want(model_.begin(), model_.end());
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(got[i].second, want[i].second) << "position " << i;
      ASSERT_EQ(got[i].first, want[i].first) << "position " << i;
    }
    auto rep = order_->check();
    ASSERT_TRUE(rep.is_ok()) << rep.status().to_string();
    ASSERT_EQ(rep->keys, model_.size());
  }

  // The estimate of each entry's place (the data page's scroll bar): 0 at the first entry,
  // rising along the order, 1 past the end; going to an estimate lands on that entry or
  // next to it, and 0 and 1 land on the first and the last entry.
  void check_positions() {
    SCOPED_TRACE("positions");
    std::vector<double> pos;
    Cursor c;
    ASSERT_TRUE(order_->first(c).is_ok());
    while (c.valid()) {
      auto p = order_->relative_position(c);
      ASSERT_TRUE(p.is_ok()) << p.status().to_string();
      if (pos.empty()) ASSERT_NEAR(*p, 0.0, 1e-9);
      else ASSERT_GT(*p, pos.back()) << "position " << pos.size();
      ASSERT_LT(*p, 1.0);
      pos.push_back(*p);
      ASSERT_TRUE(order_->next(c).is_ok());
    }
    auto end = order_->relative_position(c);
    ASSERT_TRUE(end.is_ok());
    EXPECT_EQ(*end, 1.0);
    if (pos.empty()) return;
    auto index_of = [&](double x) -> long {
      Cursor d;
      EXPECT_TRUE(order_->go_to_relative_position(x, d).is_ok());
      auto p = order_->relative_position(d);
      if (!d.valid() || !p.is_ok()) return -1;
      return long(std::lower_bound(pos.begin(), pos.end(), *p) - pos.begin());
    };
    EXPECT_EQ(index_of(0.0), 0);
    EXPECT_EQ(index_of(1.0), long(pos.size()) - 1);
    for (size_t i = 0; i < pos.size(); i += 1 + pos.size() / 7) {
      const long got = index_of(pos[i]);
      EXPECT_LE(std::labs(got - long(i)), 1) << "entry " << i << " of " << pos.size();
    }
  }

  // SEEK against the model: the first entry whose key, cut to the search length, is
  // not before the search key in the order's direction.
  void check_seek(const std::string& search, std::mt19937& rng) {
    SCOPED_TRACE("seek");
    const size_t m = keydef_.type == KeyType::Character ? search.size() : keydef_.length;
    std::vector<std::pair<std::string, uint32_t>> list(model_.begin(), model_.end());
    size_t pos = list.size();
    for (size_t i = 0; i < list.size(); ++i) {
      int x = cmp_(reinterpret_cast<const uint8_t*>(list[i].first.data()),
                   reinterpret_cast<const uint8_t*>(search.data()), m);
      if (cfg_->descending ? x <= 0 : x >= 0) {
        pos = i;
        break;
      }
    }
    bool want_found = pos < list.size() &&
                      cmp_(reinterpret_cast<const uint8_t*>(list[pos].first.data()),
                           reinterpret_cast<const uint8_t*>(search.data()), m) == 0;
    Cursor c;
    bool found = false;
    ASSERT_TRUE(order_->seek({reinterpret_cast<const uint8_t*>(search.data()), search.size()}, c, found).is_ok());
    ASSERT_EQ(found, want_found);
    ASSERT_EQ(order_->recno_at(c), pos < list.size() ? list[pos].second : 0u);
    // Skip a few steps from there, forwards or backwards.
    if (pos >= list.size()) return;
    int steps = int(rng() % 7);
    bool fwd = rng() % 2;
    size_t at = pos;
    for (int s = 0; s < steps; ++s) {
      ASSERT_TRUE((fwd ? order_->next(c) : order_->prev(c)).is_ok());
      if (fwd ? at + 1 >= list.size() : at == 0) {
        ASSERT_FALSE(c.valid());
        return;
      }
      at = fwd ? at + 1 : at - 1;
      ASSERT_EQ(order_->recno_at(c), list[at].second);
    }
  }

  void run(const Config& c, uint32_t seed, int steps) {
    cfg_ = &c;
    keydef_ = keydef_for(c);
    cmp_ = KeyCompare(keydef_, Collation::machine());
    model_ = Model(KeyLess{this});
    recs_.clear();
    std::string dir = index_test::scratch_dir(std::string("conf_") + format_name(kFormat) + "_" + c.name);
    path_ = dir + (kFormat == IndexFormat::Ntx ? "/T.NTX" : kFormat == IndexFormat::Cdx ? "/T.CDX" : "/T.MDX");
    create();
    std::mt19937 rng(seed);
    for (int step = 0; step < steps; ++step) {
      int op = int(rng() % 100);
      std::string what;
      if (batches_ && op < 35) {
        // Appended records whose keys go in as one batch: mostly a few, now and then
        // enough to split many leaves at once and grow the tree by a level.
        const int roll = int(rng() % 10);
        const size_t n = roll < 6 ? 1 + rng() % 10 : roll < 9 ? 11 + rng() % 100 : 200 + rng() % 600;
        what = "batch of " + std::to_string(n);
        std::vector<uint8_t> keys;
        std::vector<uint32_t> recnos;
        for (size_t i = 0; i < n; ++i) {
          Rec r = random_rec(c, rng);
          recs_.push_back(r);
          if (!in_order(c, r)) continue;
          const std::string k = key_of(c, r);
          keys.insert(keys.end(), k.begin(), k.end());
          recnos.push_back(uint32_t(recs_.size()));
        }
        const std::vector<uint32_t> order = handed_over(keys, recnos);
        ASSERT_TRUE(order_->insert_batch(keys.data(), recnos.data(), order.data(), order.size()).is_ok()) << what;
        const size_t kl = keydef_.length;
        for (uint32_t i : order)
          model_insert(std::string(reinterpret_cast<const char*>(keys.data() + i * kl), kl), recnos[i]);
      } else if (op < 45 || recs_.empty()) {
        Rec r = random_rec(c, rng);
        recs_.push_back(r);
        uint32_t recno = uint32_t(recs_.size());
        what = "append " + std::to_string(recno);
        if (in_order(c, r)) {
          std::string k = key_of(c, r);
          ASSERT_TRUE(order_->insert({reinterpret_cast<const uint8_t*>(k.data()), k.size()}, recno).is_ok()) << what;
          model_insert(k, recno);
        }
      } else if (op < 75) {
        uint32_t recno = uint32_t(rng() % recs_.size()) + 1;
        Rec& r = recs_[recno - 1];
        Rec nr = random_rec(c, rng);
        nr.deleted = r.deleted;
        what = "edit " + std::to_string(recno);
        std::string ok = key_of(c, r), nk = key_of(c, nr);
        if (ok != nk || in_order(c, r) != in_order(c, nr)) {
          if (in_order(c, r)) {
            Status st = order_->remove({reinterpret_cast<const uint8_t*>(ok.data()), ok.size()}, recno);
            // A unique order may not hold this record's key (another record has it).
            bool held = false;
            for (auto [it, e] = model_.equal_range(ok); it != e; ++it) held |= it->second == recno;
            ASSERT_EQ(st.is_ok(), held) << what << ": " << st.to_string();
            model_remove(ok, recno);
          }
          if (in_order(c, nr)) {
            ASSERT_TRUE(order_->insert({reinterpret_cast<const uint8_t*>(nk.data()), nk.size()}, recno).is_ok());
            model_insert(nk, recno);
          }
        }
        r = nr;
      } else if (op < 85) {
        uint32_t recno = uint32_t(rng() % recs_.size()) + 1;
        recs_[recno - 1].deleted = !recs_[recno - 1].deleted;  // deleted records keep their keys
        what = "delete/recall " + std::to_string(recno);
      } else if (op < 87) {
        what = "pack";
        std::vector<Rec> kept;
        for (auto& r : recs_)
          if (!r.deleted) kept.push_back(r);
        recs_ = kept;
        std::vector<uint8_t> keys;
        std::vector<uint32_t> recnos;
        for (uint32_t i = 0; i < recs_.size(); ++i)
          if (in_order(c, recs_[i])) {
            std::string k = key_of(c, recs_[i]);
            keys.insert(keys.end(), k.begin(), k.end());
            recnos.push_back(i + 1);
          }
        ASSERT_TRUE(order_->build(std::move(keys), std::move(recnos)).is_ok());
        model_rebuild();
      } else if (op < 98) {
        what = "seek";
        std::string s;
        if (!model_.empty() && rng() % 2) {
          auto it = model_.begin();
          std::advance(it, rng() % model_.size());
          s = it->first;
          if (keydef_.type == KeyType::Character) s.resize(rng() % (s.size() + 1));
        } else {
          s = key_of(c, random_rec(c, rng));
          if (keydef_.type == KeyType::Character) s.resize(rng() % (s.size() + 1));
        }
        check_seek(s, rng);
      } else {
        what = "reopen";
        reopen();
      }
      if (::testing::Test::HasFatalFailure()) return;
      verify(std::to_string(step) + ": " + what);
      if (step % 100 == 99) check_positions();
      if (::testing::Test::HasFatalFailure()) return;
    }
  }

  using Model = std::multimap<std::string, uint32_t, KeyLess>;
  bool batches_ = false;  // appends also come as batches (insert_batch)
  const Config* cfg_ = nullptr;
  KeyDef keydef_;
  KeyCompare cmp_;
  Model model_{KeyLess{this}};
  std::vector<Rec> recs_;
  std::string path_;
  std::unique_ptr<IndexBag> bag_;
  TreeOrder* order_ = nullptr;

  // A new file at `path` (its extension added) holding one character order of `chars`
  // characters in collation `coll`.
  void character_order(const std::string& path, uint16_t chars, const Collation& coll, std::unique_ptr<IndexBag>& bag,
                       TreeOrder*& order) {
    KeyDef kd;
    kd.format = kFormat;
    kd.type = KeyType::Character;
    kd.length = stored_key_length(kFormat, KeyType::Character, chars, chars);
    OrderInfo info;
    info.name = "T";
    info.key_expr = "KEY";
    info.keydef = kd;
    BagOptions opt;
    opt.table_name = "T";
    const std::string file = path + (kFormat == IndexFormat::Ntx ? ".NTX" : kFormat == IndexFormat::Cdx ? ".CDX" : ".MDX");
    ASSERT_NO_FATAL_FAILURE(new_bag(file, info, opt, bag, order));
    order->set_key_type(KeyType::Character);
    order->set_collation(coll);
  }
};

TEST_P(IndexConformance, RandomRunsMatchTheModel) {
  for (const Config& c : kConfigs) {
    if (!supported(c)) continue;
    SCOPED_TRACE(c.name);
    // MOLVANE_INDEX_SEED / MOLVANE_INDEX_STEPS run other or longer sequences by hand.
    const char* seed = std::getenv("MOLVANE_INDEX_SEED");
    const char* steps = std::getenv("MOLVANE_INDEX_STEPS");
    run(c, (seed ? uint32_t(std::atoi(seed)) : 12345u) + c.length, steps ? std::atoi(steps) : 1500);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

// Batches of random keys, from a few to hundreds, into trees of every shape the configs
// make (equal keys, long keys, descending, unique, filtered, shared): each batch is
// checked against the model and by the structural check, between edits, packs, seeks
// and reopenings.
TEST_P(IndexConformance, RandomBatchesMatchTheModel) {
  batches_ = true;
  for (const Config& c : kConfigs) {
    if (!supported(c)) continue;
    SCOPED_TRACE(c.name);
    run(c, 777u + c.length, 150);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

// Reads of one index file fail in [fail_from, fail_to) while `armed`.
class FailingReads : public mv::testing::ForwardingFileSystem {
 public:
  bool armed = false;
  uint64_t fail_from = 0, fail_to = 0;
  std::string path;
  Result<std::unique_ptr<File>> open(const std::string& p, OpenMode m) override {
    auto f = ForwardingFileSystem::open(p, m);
    if (!f.is_ok() || p != path) return f;
    return std::unique_ptr<File>(std::make_unique<Spoiled>(std::move(*f), this));
  }

 private:
  class Spoiled : public mv::testing::ForwardingFile {
   public:
    Spoiled(std::unique_ptr<File> f, FailingReads* owner) : ForwardingFile(std::move(f)), owner_(owner) {}
    Result<size_t> read_at(uint64_t off, void* buf, size_t n) override {
      if (owner_->armed && off + n > owner_->fail_from && off < owner_->fail_to)
        return Status::io_error(path() + ": Lesefehler");
      return ForwardingFile::read_at(off, buf, n);
    }

   private:
    FailingReads* owner_;
  };
};

// A batch spread over a tree of many leaves that meets a page it cannot read half-way
// fails, and leaves the tree as it was: not one of its keys in it, none of the keys
// before lost; once the page can be read the same batch goes in whole.
TEST_P(IndexConformance, ABatchThatCannotReadAPageLeavesTheTreeAsItWas) {
  static const Config kBig{"batch_fault", KeyType::Character, 10, false, false, false, false, 26};
  cfg_ = &kBig;
  keydef_ = keydef_for(kBig);
  cmp_ = KeyCompare(keydef_, Collation::machine());
  model_ = Model(KeyLess{this});
  const std::string dir = index_test::scratch_dir(std::string("batch_fault_") + format_name(kFormat));
  path_ = dir + (kFormat == IndexFormat::Ntx ? "/T.NTX" : kFormat == IndexFormat::Cdx ? "/T.CDX" : "/T.MDX");
  create();
  std::mt19937 rng(99);
  std::vector<uint8_t> keys;
  std::vector<uint32_t> recnos;
  for (uint32_t r = 1; r <= 4000; ++r) {
    recs_.push_back(random_rec(kBig, rng));
    const std::string k = key_of(kBig, recs_.back());
    keys.insert(keys.end(), k.begin(), k.end());
    recnos.push_back(r);
  }
  ASSERT_TRUE(order_->build(std::move(keys), std::move(recnos)).is_ok());
  model_rebuild();
  ASSERT_TRUE(bag_->flush().is_ok());
  bag_.reset();
  // Opened again through the spoiling file system: no page in the cache.
  FailingReads fs;
  fs.path = path_;
  auto b = IndexBag::open(fs, path_, kFormat, BagOptions{});
  ASSERT_TRUE(b.is_ok()) << b.status().to_string();
  bag_ = std::move(*b);
  order_ = kFormat == IndexFormat::Ntx ? bag_->order(0) : bag_->find("T");
  ASSERT_NE(order_, nullptr);
  order_->set_key_type(keydef_.type);
  ASSERT_NO_FATAL_FAILURE(verify("before"));
  // A batch over the whole range of keys; leaves in the middle of the file (a bulk build
  // writes the leaves first, in key order) cannot be read.
  std::vector<uint8_t> bk;
  std::vector<uint32_t> br;
  for (uint32_t i = 0; i < 600; ++i) {
    recs_.push_back(random_rec(kBig, rng));
    const std::string k = key_of(kBig, recs_.back());
    bk.insert(bk.end(), k.begin(), k.end());
    br.push_back(uint32_t(recs_.size()));
  }
  const std::vector<uint32_t> order = handed_over(bk, br);
  // Pages read for the walk above are in the cache; drop them by opening once more.
  bag_.reset();
  auto again = IndexBag::open(fs, path_, kFormat, BagOptions{});
  ASSERT_TRUE(again.is_ok()) << again.status().to_string();
  bag_ = std::move(*again);
  order_ = kFormat == IndexFormat::Ntx ? bag_->order(0) : bag_->find("T");
  order_->set_key_type(keydef_.type);
  auto size = std::filesystem::file_size(path_);
  fs.fail_from = size / 3;
  fs.fail_to = size / 2;
  fs.armed = true;
  const Status st = order_->insert_batch(bk.data(), br.data(), order.data(), order.size());
  EXPECT_EQ(st.kind(), StatusKind::IoError) << st.to_string();
  fs.armed = false;
  ASSERT_NO_FATAL_FAILURE(verify("after the failed batch"));
  ASSERT_TRUE(order_->insert_batch(bk.data(), br.data(), order.data(), order.size()).is_ok());
  const size_t kl = keydef_.length;
  for (uint32_t i : order) model_insert(std::string(reinterpret_cast<const char*>(bk.data() + i * kl), kl), br[i]);
  ASSERT_NO_FATAL_FAILURE(verify("after the batch"));
  ASSERT_NO_FATAL_FAILURE(reopen());
  ASSERT_NO_FATAL_FAILURE(verify("reopened"));
}

// Opening a table tells an order's collation from a sample of its keys: an order of
// many leaves whose keys stand in German order only at the umlauts (one name in fifty)
// is told German, the same keys in byte order are told byte order; agreeing with the
// walk of every key.
TEST_P(IndexConformance, TheSampleTellsTheCollationOfALargeOrder) {
  const std::string dir = index_test::scratch_dir(std::string("sample_") + format_name(kFormat));
  for (const bool german : {true, false}) {
    SCOPED_TRACE(german ? "german" : "machine");
    const Collation coll = german ? Collation::german(CodePage::Cp850) : Collation::machine();
    std::unique_ptr<IndexBag> bag;
    TreeOrder* order = nullptr;
    ASSERT_NO_FATAL_FAILURE(character_order(dir + (german ? "/G" : "/M"), 12, coll, bag, order));
    const KeyDef& kd = order->keydef();
    // "Mu...", "M\x81..." (u umlaut in code page 850) and "Mz...": byte order puts the
    // umlauts after "Mz", German order beside "Mu".
    std::vector<uint8_t> keys;
    std::vector<uint32_t> recnos;
    for (uint32_t r = 1; r <= 20000; ++r) {
      char k[32];
      const char* stem = r % 50 == 0 ? "M\x81ller" : r % 2 ? "Muller" : "Mzeller";
      std::snprintf(k, sizeof k, "%s%05u", stem, r);
      std::string key = k;
      key.resize(kd.length, ' ');
      keys.insert(keys.end(), key.begin(), key.end());
      recnos.push_back(r);
    }
    ASSERT_TRUE(order->build(std::move(keys), std::move(recnos)).is_ok());
    auto full = order->detect_collation(Collation::machine(), CodePage::Cp850);
    auto quick = order->detect_collation_sampled(Collation::machine(), CodePage::Cp850);
    ASSERT_TRUE(full.is_ok() && quick.is_ok());
    ASSERT_TRUE(full->has_value() && quick->has_value());
    EXPECT_EQ((*quick)->is_machine(), !german);
    EXPECT_EQ((*quick)->kind(), (*full)->kind());
    EXPECT_EQ((*quick)->code_page(), (*full)->code_page());
  }
}

// The walk over every key reads the leaves a run of them at a time and hands each leaf's
// keys on its own: a pair of neighbours that only the German order puts right is seen
// wherever it stands, across a leaf, across an interior key between two leaves (NTX) and
// across the end of a run of leaves read together. Its keys first differ right after
// eight equal bytes, an umlaut against a letter.
TEST_P(IndexConformance, TheWalkSeesAPairOfNeighboursAcrossEveryBoundary) {
  const std::string dir = index_test::scratch_dir(std::string("walk_") + format_name(kFormat));
  const Collation german = Collation::german(CodePage::Cp850);
  constexpr uint32_t kKeys = 24000;
  // Every key "K", eight digits, "v" and two letters (that CDX leaves keep whole); with
  // `telling` the key before position `telling` becomes "K", the digits of that position
  // and u umlaut (code page 850): German order puts it right before its neighbour, byte
  // order after it.
  auto keys_with = [&](size_t kl, uint32_t telling) {
    std::vector<uint8_t> keys;
    for (uint32_t i = 0; i < kKeys; ++i) {
      char k[32];
      std::snprintf(k, sizeof k, "K%08u%c%c%c", i + 1 == telling ? telling : i, i + 1 == telling ? '\x81' : 'v',
                    'a' + i * 7 % 26, 'a' + i * 11 % 26);
      std::string key = k;
      key.resize(kl, ' ');
      keys.insert(keys.end(), key.begin(), key.end());
    }
    return keys;
  };
  auto recnos = [] {
    std::vector<uint32_t> r(kKeys);
    for (uint32_t i = 0; i < kKeys; ++i) r[i] = i + 1;
    return r;
  };
  std::unique_ptr<IndexBag> bag;
  TreeOrder* order = nullptr;
  ASSERT_NO_FATAL_FAILURE(character_order(dir + "/W", 12, german, bag, order));
  const size_t kl = order->keydef().length;
  // Where the runs of the order without the telling pair begin: the second and third,
  // the one with the 257th leaf and the one before it, and the last.
  ASSERT_TRUE(order->build(keys_with(kl, 0), recnos()).is_ok());
  std::vector<uint32_t> starts;
  std::vector<size_t> sizes;
  uint32_t at = 0;
  ASSERT_TRUE(order->walk_runs([&](const uint8_t*, const uint32_t*, size_t n) {
    starts.push_back(at);
    sizes.push_back(n);
    at += uint32_t(n);
    return true;
  }).is_ok());
  ASSERT_EQ(at, kKeys);
  size_t leaves = 0, run_of_leaf_256 = 0;
  for (size_t r = 0; r < sizes.size(); ++r)
    if (sizes[r] > 1 && leaves++ == 256) run_of_leaf_256 = r;
  ASSERT_GT(run_of_leaf_256, 2u) << "fewer than 257 leaves";
  std::vector<uint32_t> bounds = {starts[1], starts[2], starts[run_of_leaf_256 - 1], starts[run_of_leaf_256],
                                  starts.back()};
  for (const uint32_t bound : bounds)
    for (const uint32_t telling : {bound - 1, bound, bound + 1}) {
      if (telling >= kKeys) continue;  // no key after it
      SCOPED_TRACE(telling);
      ASSERT_TRUE(order->build(keys_with(kl, telling), recnos()).is_ok());
      auto coll = order->detect_collation(Collation::machine(), CodePage::Cp850);
      ASSERT_TRUE(coll.is_ok()) << coll.status().to_string();
      ASSERT_TRUE(coll->has_value());
      EXPECT_FALSE((*coll)->is_machine());
      EXPECT_EQ((*coll)->code_page(), CodePage::Cp850);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, IndexConformance,
                         ::testing::Values(IndexFormat::Ntx, IndexFormat::Cdx, IndexFormat::Mdx),
                         [](const auto& info) { return std::string(format_name(info.param)); });

std::string read_file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// CDX leaves keep each key as its shared head, its own bytes and its trailing blanks,
// beside a record number in as few bits as the page's largest needs. Keys at the edges
// of that (the longest key, all blank, none blank, a head shared to the last byte, one
// byte long) with record numbers up to the widest field come back as written: inserted
// one by one, built in one pass and added as a batch, after the file is opened again.
TEST(CdxLeaves, KeysAtTheEdgesComeBackAsWritten) {
  struct Case {
    const char* name;
    KeyType type;
    uint16_t length;
    uint32_t max_recno;
  };
  const Case kCases[] = {
      {"longest", KeyType::Character, uint16_t(kCdxMaxKeyLength), 0xFFFFFFF0u},
      {"longest_small_numbers", KeyType::Character, uint16_t(kCdxMaxKeyLength), 250},
      {"one_byte", KeyType::Character, 1, 70000},
      {"seven_bytes", KeyType::Character, 7, 0x00FFFFFFu},
      {"ten_bytes", KeyType::Character, 10, 0x01000000u},
      {"sixteen_bytes", KeyType::Character, 16, 0x00FFFFFFu},
      {"seventeen_bytes", KeyType::Character, 17, 250},
      {"twenty_bytes", KeyType::Character, 20, 70000},
      {"thirty_one_bytes", KeyType::Character, 31, 0x7FFFFFFFu},
      {"thirty_two_bytes", KeyType::Character, 32, 0xFFFFFFF0u},
      {"thirty_three_bytes", KeyType::Character, 33, 0xFFFFFFF0u},
      {"numbers", KeyType::Numeric, 8, 0x7FFFFFFFu},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    mv::testing::TempDir dir;
    const std::string path = dir.file("T.CDX");
    std::mt19937 rng(c.length * 31u + c.max_recno);
    const size_t kl = c.length;
    auto random_key = [&]() {
      std::string k(kl, c.type == KeyType::Character ? ' ' : '\0');
      if (c.type == KeyType::Numeric) {
        uint8_t b[8];
        cdx_double(double(int(rng() % 2001) - 1000) / 8.0, b);
        k.assign(reinterpret_cast<const char*>(b), 8);
        return k;
      }
      switch (rng() % 4) {
        case 0: break;  // all blank
        case 1:          // no blank at the end
          for (char& ch : k) ch = char('A' + rng() % 2);
          break;
        case 2:  // the same bytes up to the last, then one of two
          std::fill(k.begin(), k.end(), 'A');
          k.back() = char('A' + rng() % 2);
          break;
        default:  // a head of few letters, then blanks
          for (size_t i = 0, n = rng() % (kl + 1); i < n; ++i) k[i] = char('A' + rng() % 2);
      }
      return k;
    };
    auto random_recno = [&]() {
      const uint32_t r = uint32_t(rng());
      return rng() % 3 ? c.max_recno - r % 64 : 1 + r % c.max_recno;
    };
    std::vector<std::pair<std::string, uint32_t>> model;
    std::vector<uint8_t> flat;
    std::vector<uint32_t> recnos;
    for (int i = 0; i < 1500; ++i) {
      model.push_back({random_key(), random_recno()});
      flat.insert(flat.end(), model.back().first.begin(), model.back().first.end());
      recnos.push_back(model.back().second);
    }
    {
      auto bag = IndexBag::create_bag(FileSystem::posix(), path, IndexFormat::Cdx, {});
      ASSERT_TRUE(bag.is_ok()) << bag.status().to_string();
      for (const char* tag : {"ONEBYONE", "BUILT"}) {
        OrderInfo info;
        info.name = tag;
        info.key_expr = "KEY";
        info.keydef = {IndexFormat::Cdx, c.type, c.length, 0};
        auto t = (*bag)->add_tag(info);
        ASSERT_TRUE(t.is_ok()) << t.status().to_string();
        (*t)->set_key_type(c.type);
      }
      TreeOrder* one = (*bag)->find("ONEBYONE");
      for (auto& [k, r] : model)
        ASSERT_OK(one->insert({reinterpret_cast<const uint8_t*>(k.data()), kl}, r));
      ASSERT_OK((*bag)->find("BUILT")->build(std::vector<uint8_t>(flat), std::vector<uint32_t>(recnos)));
      ASSERT_OK((*bag)->flush());
    }
    // More keys into the built tag as a batch, the file read anew.
    std::vector<uint8_t> more;
    std::vector<uint32_t> more_recnos, more_order;
    for (uint32_t i = 0; i < 600; ++i) {
      auto k = random_key();
      more.insert(more.end(), k.begin(), k.end());
      more_recnos.push_back(random_recno());
      more_order.push_back(i);
    }
    std::sort(more_order.begin(), more_order.end(), [&](uint32_t a, uint32_t b) {
      const int x = std::memcmp(more.data() + a * kl, more.data() + b * kl, kl);
      return x != 0 ? x < 0 : more_recnos[a] < more_recnos[b];
    });
    {
      auto bag = IndexBag::open(FileSystem::posix(), path, IndexFormat::Cdx, {});
      ASSERT_TRUE(bag.is_ok()) << bag.status().to_string();
      TreeOrder* built = (*bag)->find("BUILT");
      built->set_key_type(c.type);
      ASSERT_OK(built->insert_batch(more.data(), more_recnos.data(), more_order.data(), more_order.size()));
      ASSERT_OK((*bag)->flush());
    }
    auto bag = IndexBag::open(FileSystem::posix(), path, IndexFormat::Cdx, {});
    ASSERT_TRUE(bag.is_ok()) << bag.status().to_string();
    for (const char* tag : {"ONEBYONE", "BUILT"}) {
      SCOPED_TRACE(tag);
      auto want = model;
      if (std::string(tag) == "BUILT")
        for (uint32_t i = 0; i < more_recnos.size(); ++i)
          want.push_back({std::string(reinterpret_cast<const char*>(more.data() + i * kl), kl), more_recnos[i]});
      std::sort(want.begin(), want.end());  // CDX keeps equal keys by record number
      TreeOrder* o = (*bag)->find(tag);
      ASSERT_NE(o, nullptr);
      o->set_key_type(c.type);
      Cursor cur;
      ASSERT_OK(o->first(cur));
      size_t i = 0;
      for (; cur.valid() && i < want.size(); ++i) {
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(o->key_at(cur)), kl), want[i].first) << "entry " << i;
        ASSERT_EQ(o->recno_at(cur), want[i].second) << "entry " << i;
        ASSERT_OK(o->next(cur));
      }
      EXPECT_EQ(i, want.size());
      EXPECT_FALSE(cur.valid());
      auto rep = o->check();
      ASSERT_TRUE(rep.is_ok()) << rep.status().to_string();
      // Every leaf as compact as it can be: each key keeps all its trailing pad bytes and
      // its whole head shared with the key before out of its own bytes, the entries take
      // the fewest bytes that hold the page's largest record number, and the free space
      // between entries and key bytes is zeros of the size the page names.
      std::vector<uint32_t> pages;
      ASSERT_OK(o->tree_pages(pages));
      const std::string file = read_file_bytes(path);
      const uint8_t padb = c.type == KeyType::Character ? ' ' : 0;
      size_t leaves = 0;
      for (uint32_t id : pages) {
        ASSERT_LE(id + cdx::kPage, file.size());
        const uint8_t* pg = reinterpret_cast<const uint8_t*>(file.data()) + id;
        if (!(get_le16(pg + cdx::kNodeAttributes) & 2)) continue;
        ++leaves;
        const size_t cnt = get_le16(pg + cdx::kNodeCount);
        const unsigned r = pg[cdx::kLeafRecordBits], d = pg[cdx::kLeafDupBits], b = pg[cdx::kLeafEntryBytes];
        std::string prev, key(kl, char(padb));
        size_t end = cdx::kPage;
        uint32_t max_rec = 0;
        for (size_t i = 0; i < cnt; ++i) {
          uint64_t v = 0;
          for (unsigned j = 0; j < b; ++j) v |= uint64_t(pg[cdx::kLeafEntries + i * b + j]) << (8 * j);
          const uint32_t rec = uint32_t(v & ((uint64_t(1) << r) - 1));
          const size_t dup = (v >> r) & ((1u << d) - 1), trail = (v >> (r + d)) & ((1u << d) - 1);
          ASSERT_LE(dup + trail, kl);
          end -= kl - dup - trail;
          key = prev.substr(0, dup) + std::string(reinterpret_cast<const char*>(pg + end), kl - dup - trail) +
                std::string(trail, char(padb));
          size_t pads = 0;
          while (pads < kl && uint8_t(key[kl - 1 - pads]) == padb) ++pads;
          EXPECT_EQ(trail, pads) << "page " << id << " entry " << i;
          size_t head = 0;
          while (i > 0 && head < kl - trail && key[head] == prev[head]) ++head;
          EXPECT_EQ(dup, head) << "page " << id << " entry " << i;
          max_rec = std::max(max_rec, rec);
          prev = key;
        }
        const size_t used = cdx::kLeafEntries + cnt * b;
        EXPECT_EQ(get_le16(pg + cdx::kLeafFreeSpace), end - used) << "page " << id;
        EXPECT_EQ(std::count(pg + used, pg + end, 0), ptrdiff_t(end - used)) << "page " << id;
        EXPECT_TRUE(b == 3 || 8 * (b - 1) - 2 * d < unsigned(std::bit_width(max_rec))) << "page " << id;
      }
      EXPECT_GT(leaves, 10u);
    }
  }
}

// NTX number keys are the text "%*.*f" prints, blanks and the sign as '0' and the digits
// of a negative number mapped to 0x2C - d. Every value, halfway cases, negative numbers
// that round to zero and numbers too wide for the key included.
TEST(KeyEncoding, NtxNumbersAreWhatPrintfWrites) {
  auto printed = [](double v, int len, int dec) {
    char buf[400];
    int w = std::snprintf(buf, sizeof buf, "%*.*f", len, dec, v);
    std::string s = w < 0 || w > len ? std::string(size_t(len), '*') : std::string(buf, size_t(w));
    const bool negative = s.find('-') != std::string::npos;
    for (char& c : s) {
      if (c == ' ' || c == '-') c = '0';
      if (negative && c >= '0' && c <= '9') c = char(0x2C - (c - '0'));
    }
    return s;
  };
  std::mt19937_64 rng(17);
  std::vector<double> values = {0, -0.0, -0.001, 0.005, 0.015, 2.675, -2.675, 1e11, -99999999.995, 123456789012.5};
  for (int i = 0; i < 30000; ++i) {
    double v = double(int64_t(rng() % 4000000001) - 2000000000) / std::pow(10.0, double(rng() % 8));
    if (i % 4 == 0) v = double(int64_t(rng() % 200001) - 100000) / 100.0 + 0.005;
    values.push_back(v);
  }
  for (double v : values) {
    for (auto [len, dec] : {std::pair{10, 2}, {12, 0}, {6, 3}, {15, 5}}) {
      KeyDef kd;
      kd.format = IndexFormat::Ntx;
      kd.type = KeyType::Numeric;
      kd.length = uint16_t(len);
      kd.decimals = uint16_t(dec);
      ASSERT_EQ(encode_key(kd, Value::numeric(v)), printed(v, len, dec)) << v << " " << len << "," << dec;
    }
  }
}

// MDX number keys hold the digits "%.*f" prints with 15 significant digits, trailing zeros
// dropped, and the place of the decimal point. Amounts of a few decimals, values that are
// no short decimal, the largest and smallest magnitudes and halfway cases alike.
TEST(KeyEncoding, MdxNumbersHoldThePrintedDigits) {
  auto expected = [](double v) {
    std::array<uint8_t, 12> out{};
    const double a = std::fabs(v);
    const int int_digits = a >= 1 ? int(std::floor(std::log10(a))) + 1 : 0;
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", std::min(20, std::max(0, 15 - int_digits)), a);
    std::string s(buf), ip = s.substr(0, s.find('.')), fp = s.find('.') == std::string::npos ? "" : s.substr(s.find('.') + 1);
    ip.erase(0, ip.find_first_not_of('0') == std::string::npos ? ip.size() : ip.find_first_not_of('0'));
    std::string digits = ip + fp;
    int exponent = int(ip.size());
    if (ip.empty()) {
      const size_t lead = fp.find_first_not_of('0');
      if (lead == std::string::npos) {
        out[0] = 0x34, out[1] = 0x01;
        return out;
      }
      exponent = -int(lead);
      digits = fp.substr(lead);
    }
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    digits = digits.substr(0, 20);
    out[0] = uint8_t(0x34 + exponent);
    out[1] = uint8_t((v < 0 ? 0x80 : 0) | ((digits.size() & 0x1F) << 2) | 0x01);
    for (size_t i = 0; i < digits.size(); ++i) out[2 + i / 2] |= uint8_t((digits[i] - '0') << (i % 2 ? 0 : 4));
    return out;
  };
  std::mt19937_64 rng(23);
  std::vector<double> values = {0, 1, -1, 0.5, 0.05, 1e-7, 0.1 + 0.2, 2.675, 999.995, 1200, 1e14, 999999999999999.0,
                                123456789012345.6, 9007199254740993.0, 1e15, 1e20, 1.0 / 3, -1.0 / 7, 4.35, 0.000001};
  for (int i = 0; i < 40000; ++i) {
    double v = double(int64_t(rng() % 4000000001) - 2000000000) / std::pow(10.0, double(rng() % 9));
    if (i % 4 == 1) v = std::ldexp(double(rng() >> 11), -int(rng() % 80));  // no short decimal
    if (i % 4 == 2) v = double(int64_t(rng() % 2000000001) - 1000000000) / 100.0;
    values.push_back(v);
  }
  for (double v : values) {
    std::array<uint8_t, 12> got{};
    mdx_bcd(v, got.data());
    ASSERT_EQ(got, expected(v)) << std::setprecision(17) << v;
  }
}

// A key taken straight from the record's bytes (fields, UPPER() of a field, DTOS() of a date
// field and "+" of such parts; a number or date field alone) is byte for byte the key of
// the value the evaluator gives, in every family, for keys cut short or padded, in every
// case flavour and code page, for both texts of the empty date, and for stored texts of
// every kind: blanks, umlauts, impossible dates, negative zero, numbers not as STR() writes
// them, too many digits, rubbish. A record too short is left to the evaluator.
TEST(KeyEncoding, KeysTakenFromTheRecordAreTheEvaluatedKeys) {
  struct Fields final : FieldResolver {
    std::optional<FieldRef> resolve(std::string_view, std::string_view name) override {
      // name, type, storage, offset, length, decimals
      const struct { const char* n; ValueType t; FieldStorage s; uint32_t off; int len, dec; } kFields[] = {
          {"NAME", ValueType::Character, FieldStorage::Character, 1, 10, 0},
          {"ORT", ValueType::Character, FieldStorage::Character, 11, 6, 0},
          {"DATUM", ValueType::Date, FieldStorage::DateText, 17, 8, 0},
          {"BETRAG", ValueType::Numeric, FieldStorage::NumericText, 25, 10, 2},
          {"MENGE", ValueType::Numeric, FieldStorage::NumericText, 35, 5, 0},
          {"GROSS", ValueType::Numeric, FieldStorage::NumericText, 40, 20, 4},
      };
      std::string upper(name);
      for (char& c : upper) c = char(std::toupper(uint8_t(c)));
      for (const auto& f : kFields)
        if (upper == f.n) return FieldRef{f.t, f.len, f.dec, f.s, f.off, 0};
      return std::nullopt;
    }
  } fields;
  const std::vector<std::string> names = {"", "m\xFCller", "\xC4\xD6\xDC\xE4\xF6\xFC\xDF", "abcxyz{`@[",
                                          "\x81\x84\x94\x8E\x99\x9A\xE1\x82\x90", "\xE9\xC9\x9A\x8A\xFF",
                                          std::string("a\0b", 3), "ZZZZZZZZZZ"};
  const std::vector<std::string> dates = {"20240229", "20230229", "        ", "00000101", "99991231", "2024 101",
                                          "abcdefgh", "20241301", "19000229", "18991230", "2024013 ",
                                          "20240431", "20000229", "20241231", "20240100"};
  const std::vector<std::string> betrag = {
      "      0.00", "     -0.00", "    -12.34", "  12345.67", "1234567.89", "-123456.78", "       .50",
      "     -0.01", "      0.05", "     -3.10", "       12.", " 999999.99", "-999999.99", "0000012.34",
      "-000012.34", "    12.345", "        12", "       1e5", "    +12.34", "      -.5 ", "  12.3    ",
      "**********", "          ", "   1 2.34 ", "-.01      "};
  const std::vector<std::string> menge = {
      "    0", "   -0", "99999", "-9999", "  1.5", "   12", "  -12", "  007", "   -0", "     ", "0000-",
      "12   "};
  const std::vector<std::string> gross = {
      "123456789012345.6789", "   -12345678901.2345", "         999999.9999", "                   0",
      "  12345678901234.567", "      9999999.999999", "            0.000001", "     99999999999.999",
      "     999999999999.99", "      99999999999999", "     999999999999999", "    -0.0000000000001",
      "   00000000000000001", "       1000000000000", "             -0.0001", "           0.1234567",
      "-0.0001             "};
  auto put = [](std::vector<uint8_t>& rec, size_t off, size_t len, const std::string& v) {
    for (size_t i = 0; i < len; ++i) rec[off + i] = i < v.size() ? uint8_t(v[i]) : uint8_t(' ');
  };
  std::vector<std::vector<uint8_t>> records;
  for (size_t i = 0; i < 400; ++i) {
    std::vector<uint8_t> rec(60, ' ');
    put(rec, 1, 10, names[i % names.size()]);
    put(rec, 11, 6, names[(i / 3 + 1) % names.size()]);
    put(rec, 17, 8, dates[(i / 2) % dates.size()]);
    put(rec, 25, 10, betrag[i % betrag.size()]);
    put(rec, 35, 5, menge[(i / 5) % menge.size()]);
    put(rec, 40, 20, gross[(i / 7) % gross.size()]);
    records.push_back(std::move(rec));
  }

  const char* kSimple[] = {"NAME", "UPPER(NAME)", "upper(ort)+dtos(datum)", "NAME+ORT+DTOS(DATUM)",
                           "DTOS(DATUM)+UPPER(NAME)+ORT", "BETRAG", "MENGE", "GROSS", "DATUM"};
  for (const char* text : {"TRIM(NAME)", "NAME-ORT", "UPPER(NAME+ORT)", "LOWER(NAME)", "BETRAG*2", "NAME+\"x\""}) {
    EXPECT_TRUE(Expression::compile(text, {}, &fields).record_parts().empty()) << text;
  }
  for (CodePage cp : {CodePage::Windows1252, CodePage::Cp850}) {
    for (CaseFlavour flavour : {CaseFlavour::Ascii, CaseFlavour::German, CaseFlavour::Full}) {
      for (bool day_zero : {false, true}) {
        ExprOptions o;
        o.code_page = cp;
        o.case_flavour = flavour;
        o.dtos_empty_day_zero = day_zero;
        o.literals_utf8 = false;
        for (const char* text : kSimple) {
          Expression e = Expression::compile(text, o, &fields);
          ASSERT_TRUE(e.ok()) << text;
          ASSERT_FALSE(e.record_parts().empty()) << text;
          const KeyType type = e.type() == ValueType::Character ? KeyType::Character
                               : e.type() == ValueType::Numeric  ? KeyType::Numeric
                                                                 : KeyType::Date;
          std::vector<KeyDef> defs;
          for (IndexFormat f : {IndexFormat::Ntx, IndexFormat::Cdx, IndexFormat::Mdx}) {
            if (type == KeyType::Character) {
              for (int len : {e.length(), e.length() - 3, e.length() + 5, 1})
                defs.push_back({f, type, uint16_t(len), 0});
            } else if (type == KeyType::Numeric) {
              // The field's width and decimals, and (NTX) widths and decimals of another kind.
              defs.push_back({f, type, stored_key_length(f, type, 0, uint16_t(e.length())), uint16_t(e.decimals())});
              if (f == IndexFormat::Ntx) {
                defs.push_back({f, type, uint16_t(e.length() + 2), uint16_t(e.decimals())});
                defs.push_back({f, type, uint16_t(e.length()), uint16_t(e.decimals() + 1)});
                defs.push_back({f, type, uint16_t(std::max(e.length() - 3, 1)), uint16_t(e.decimals())});
              }
            } else {
              defs.push_back({f, type, 8, 0});
            }
          }
          for (const KeyDef& kd : defs) {
            for (size_t i = 0; i < records.size(); ++i) {
              const auto& rec = records[i];
              // Every tenth record cut short: a field beyond it is the evaluator's error.
              const size_t size = i % 10 == 9 ? 12 + i % 40 : rec.size();
              std::string fast(kd.length, '?'), general(kd.length, '!');
              const bool took =
                  record_key(kd, e.record_parts(), rec.data(), size, reinterpret_cast<uint8_t*>(fast.data()));
              EvalRecord er;
              er.data = rec.data();
              er.size = size;
              const Value* v = e.evaluate(er);
              ASSERT_EQ(took, v != nullptr) << text << " record size " << size;
              if (!v) continue;
              ASSERT_TRUE(encode_key(kd, *v, reinterpret_cast<uint8_t*>(general.data())).is_ok());
              ASSERT_EQ(fast, general) << text << " " << format_name(kd.format) << " length " << kd.length << ","
                                       << kd.decimals << " flavour " << int(flavour) << " code page " << int(cp)
                                       << " record \"" << std::string(rec.begin(), rec.end()) << "\"";
            }
          }
        }
      }
    }
  }
}

// Two neighbouring keys drop the candidate orders that put them the other way round, told
// by their first differing byte wherever it stands (either side of an eight-byte
// boundary, the last byte) and whatever they share before it (an umlaut), in ascending
// and descending orders, handed over as one run, as a run with gaps between the keys, key
// by key, and as two runs.
TEST(CollationFit, NeighboursKeepTheCandidatesThatPutThemInOrder) {
  // Which candidates fit: byte order, German of code page 850 (the table's), of 1252.
  auto fits = [](const CollationFit& f) {
    auto is = [&](const Collation& c) {
      auto got = f.choice(c);
      return got && got->kind() == c.kind() && (c.is_machine() || got->code_page() == c.code_page());
    };
    return std::string(is(Collation::machine()) ? "m" : "-") + (is(Collation::german(CodePage::Cp850)) ? "g" : "-") +
           (is(Collation::german(CodePage::Windows1252)) ? "w" : "-");
  };
  struct Case {
    uint8_t first, then;  // the first differing bytes, in key order
    const char* fit;
  };
  const Case cases[] = {
      {0x81, 'v', "-g-"},  // u umlaut (850) before v
      {0xFC, 'v', "--w"},  // u umlaut (1252) before v
      {'a', 'b', "mgw"},
      {'b', 'a', "---"},
      {0xE1, 't', "-g-"},  // sharp s (850) before t
  };
  for (const size_t kl : {5u, 8u, 12u, 16u, 20u, 28u, 32u, 40u})
    for (const size_t d : {0u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 39u})
      for (const bool desc : {false, true})
        for (const Case& c : cases) {
          if (d >= kl) continue;
          SCOPED_TRACE(::testing::Message() << "length " << kl << ", first difference at " << d << (desc ? ", descending" : ""));
          // Both keys share an umlaut at the start, which decides nothing.
          std::vector<uint8_t> a(kl, 'M'), b(kl, 'M');
          if (d > 0) a[0] = b[0] = 0x81;
          a[d] = c.first;
          b[d] = c.then;
          if (desc) std::swap(a, b);  // stored the other way round
          std::vector<uint8_t> run(a), gaps(a);
          run.insert(run.end(), b.begin(), b.end());
          gaps.insert(gaps.end(), 8, 0x81);
          gaps.insert(gaps.end(), b.begin(), b.end());
          CollationFit whole(CodePage::Cp850, desc), spaced(CodePage::Cp850, desc), one(CodePage::Cp850, desc),
              two(CodePage::Cp850, desc);
          whole.see_run(run.data(), 2, kl);
          spaced.see_run(gaps.data(), 2, kl, kl + 8);
          one.see(a.data(), kl);
          one.see(b.data(), kl);
          two.see_run(a.data(), 1, kl);
          two.see_run(b.data(), 1, kl);
          for (const CollationFit* f : {&whole, &spaced, &one, &two}) EXPECT_EQ(fits(*f), c.fit);
        }
}

// A run of keys tells what the same keys told one at a time do, whichever of them are
// plain letters in order (the run's quick part) and wherever that stops: an umlaut or
// another high byte in any key at any place, two neighbours out of byte order, keys that
// share long heads or are equal, in ascending and descending orders, keys one after the
// other or with bytes between them, a run split in two.
TEST(CollationFit, ARunTellsWhatItsKeysOneByOneTell) {
  std::mt19937 rng(515);
  const uint8_t high[] = {0x81, 0x84, 0x8E, 0x94, 0x99, 0x9A, 0xE1, 0xC4, 0xD6, 0xDC, 0xE4, 0xF6, 0xFC, 0xDF, 0xE9};
  auto choices = [](const CollationFit& f) {
    std::string out;
    for (const Collation& c : {Collation::machine(), Collation::german(CodePage::Cp850),
                               Collation::german(CodePage::Windows1252)}) {
      auto got = f.choice(c);
      out += !got ? '-' : got->is_machine() ? 'm' : got->code_page() == CodePage::Cp850 ? 'g' : 'w';
    }
    return out;
  };
  std::map<std::string, int> outcomes;
  for (const size_t kl : {5u, 8u, 9u, 12u, 16u, 17u, 20u, 24u, 28u, 32u, 40u})
    for (const bool desc : {false, true})
      for (int round = 0; round < 60; ++round) {
        const size_t n = 1 + rng() % 40;
        const size_t stride = kl + (round % 2 ? 8 : 0);
        // Few letters and a long shared head: ties and equal keys are common.
        const size_t head = rng() % (kl + 1);
        std::vector<std::vector<uint8_t>> keys(n, std::vector<uint8_t>(kl, 'K'));
        for (auto& k : keys)
          for (size_t i = head; i < kl; ++i) k[i] = uint8_t('A' + rng() % 3);
        std::sort(keys.begin(), keys.end());
        if (desc) std::reverse(keys.begin(), keys.end());
        const int fault = int(rng() % 4);
        if (fault == 1 || fault == 3) keys[rng() % n][rng() % kl] = high[rng() % sizeof high];
        if ((fault == 2 || fault == 3) && n > 1) {
          const size_t i = rng() % (n - 1);
          std::swap(keys[i], keys[i + 1]);
        }
        std::vector<uint8_t> bytes(n * stride, 0xE1);
        for (size_t i = 0; i < n; ++i) std::copy(keys[i].begin(), keys[i].end(), bytes.begin() + i * stride);
        SCOPED_TRACE(::testing::Message() << "length " << kl << (desc ? ", descending" : "") << ", round " << round);
        CollationFit one(CodePage::Cp850, desc), whole(CodePage::Cp850, desc), split(CodePage::Cp850, desc);
        for (const auto& k : keys) one.see(k.data(), kl);
        whole.see_run(bytes.data(), n, kl, stride);
        const size_t cut = rng() % (n + 1);
        split.see_run(bytes.data(), cut, kl, stride);
        split.see_run(bytes.data() + cut * stride, n - cut, kl, stride);
        EXPECT_EQ(choices(whole), choices(one));
        EXPECT_EQ(choices(split), choices(one));
        ++outcomes[choices(one)];
      }
  // The cases reach every kind of outcome: all fit, only the German ones, none.
  EXPECT_GT(outcomes["mgw"], 50);
  EXPECT_GT(outcomes["---"], 50);
  EXPECT_GT(outcomes.size(), 3u);
}

// The sort a build and a batch start with puts entries in the order of the whole key,
// then of the record number: for keys that share their first bytes in long runs (a
// place name before a date, a number padded with blanks), keys that differ only in a
// last partial eight bytes, equal keys out of record order, ascending and descending.
TEST(SortEntries, LongKeysWithLongCommonHeadsComeInKeyThenRecordOrder) {
  std::mt19937 rng(4242);
  for (const size_t kl : {9u, 12u, 16u, 17u, 28u, 40u})
    for (const bool desc : {false, true})
      for (const bool shuffled : {false, true}) {
        SCOPED_TRACE(::testing::Message() << "length " << kl << (desc ? ", descending" : "")
                                          << (shuffled ? ", record numbers out of order" : ""));
        const size_t n = 3000;
        std::vector<uint8_t> keys(n * kl);
        std::vector<uint32_t> recnos(n);
        for (size_t i = 0; i < n; ++i) {
          uint8_t* k = keys.data() + i * kl;
          std::memset(k, 'A' + int(rng() % 3), kl);  // long runs of one head
          // A few distinct bytes late in the key, some past the last whole eight bytes.
          for (size_t j = kl > 10 ? kl - 10 : 1; j < kl; ++j)
            if (rng() % 3 == 0) k[j] = uint8_t(rng() % 2 ? 0xE1 : ' ' + rng() % 4);
          recnos[i] = uint32_t(i + 1);
        }
        if (shuffled) std::shuffle(recnos.begin(), recnos.end(), rng);
        KeyDef kd;
        kd.format = IndexFormat::Ntx;
        kd.type = KeyType::Character;
        kd.length = uint16_t(kl);
        std::vector<uint32_t> order(n), want(n);
        sort_entries(order, keys.data(), kl, recnos, KeyCompare(kd, Collation::machine()), desc);
        std::iota(want.begin(), want.end(), 0u);
        std::sort(want.begin(), want.end(), [&](uint32_t x, uint32_t y) {
          const int r = std::memcmp(keys.data() + size_t(x) * kl, keys.data() + size_t(y) * kl, kl);
          if (r) return desc ? r > 0 : r < 0;
          return recnos[x] < recnos[y];
        });
        EXPECT_EQ(order, want);
      }
}

// The page cache every family keeps: a page number far beyond the pages it holds (one a
// reader let through from a damaged file) is kept aside instead of sizing the cache to it
// (2^31 slots), and pages kept aside move in once ordinary pages reach them.
TEST(PageCache, AFarPageNumberDoesNotSizeTheCache) {
  PageCache cache(2);
  auto node = [](uint32_t id) {
    auto n = std::make_unique<Node>();
    n->id = id;
    return n;
  };
  for (uint32_t id : {4u, 0xFFFFFFFEu, 150000u, 0x80000000u}) ASSERT_EQ(cache.put(id, node(id))->id, id);
  for (uint32_t id = 6; id < 120000; id += 2) cache.put(id, node(id));
  for (uint32_t id : {4u, 6u, 119998u, 150000u, 0xFFFFFFFEu, 0x80000000u}) {
    Node* n = cache.find(id);
    ASSERT_TRUE(n) << id;
    EXPECT_EQ(n->id, id);
  }
  EXPECT_EQ(cache.find(150002u), nullptr);
  cache.erase(0xFFFFFFFEu);
  cache.erase(150000u);
  EXPECT_EQ(cache.find(0xFFFFFFFEu), nullptr);
  EXPECT_EQ(cache.find(150000u), nullptr);
  size_t count = 0;
  cache.for_each([&](Node&) { ++count; });
  EXPECT_EQ(count, 1 + (120000 - 6) / 2 + 1);  // 4, 6 ... 119998, 0x80000000
}

// A damaged compressed leaf (a first key that claims a shared head, a head and trailing
// blanks longer than the key, more entries than the page holds) is refused with the fault
// it has, wherever in the leaf it lies; the same leaf undamaged reads.
TEST(CdxLeaves, ADamagedLeafIsRefusedWithItsFault) {
  struct Case {
    const char* name;
    std::function<void(uint8_t*)> hurt;
    const char* want;
  };
  auto set_entry = [](uint8_t* pg, size_t i, size_t dup, size_t trail) {
    const unsigned r = pg[cdx::kLeafRecordBits], d = pg[cdx::kLeafDupBits], b = pg[cdx::kLeafEntryBytes];
    uint64_t v = 0;
    for (unsigned j = 0; j < b; ++j) v |= uint64_t(pg[cdx::kLeafEntries + i * b + j]) << (8 * j);
    v &= (uint64_t(1) << r) - 1;
    v |= uint64_t(dup) << r | uint64_t(trail) << (r + d);
    for (unsigned j = 0; j < b; ++j) pg[cdx::kLeafEntries + i * b + j] = uint8_t(v >> (8 * j));
  };
  const Case kCases[] = {
      {"first shares", [&](uint8_t* pg) { set_entry(pg, 0, 1, 0); }, "Schlüsselkompression"},
      {"head and pad overlap", [&](uint8_t* pg) { set_entry(pg, 3, 9, 9); }, "Schlüsselkompression"},
      {"head and pad overlap late", [&](uint8_t* pg) { set_entry(pg, 19, 15, 15); }, "Schlüsselkompression"},
      {"too many", [&](uint8_t* pg) { put_le16(pg + cdx::kNodeCount, 150); }, "überlappen"},
      {"fine", [&](uint8_t*) {}, ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    mv::testing::TempDir dir;
    const std::string path = dir.file("T.CDX");
    {
      auto bag = IndexBag::create_bag(FileSystem::posix(), path, IndexFormat::Cdx, {});
      ASSERT_TRUE(bag.is_ok());
      OrderInfo info;
      info.name = "T";
      info.key_expr = "KEY";
      info.keydef = {IndexFormat::Cdx, KeyType::Character, 10, 0};
      auto o = (*bag)->add_tag(info);
      ASSERT_TRUE(o.is_ok());
      std::vector<uint8_t> keys;
      std::vector<uint32_t> recs;
      for (int i = 0; i < 20; ++i) {
        std::string k = "AB" + std::to_string(100 + i * 7);
        k.resize(10, ' ');
        keys.insert(keys.end(), k.begin(), k.end());
        recs.push_back(uint32_t(i + 1));
      }
      ASSERT_OK((*o)->build(std::move(keys), std::move(recs)));
      ASSERT_OK((*bag)->flush());
      std::vector<uint32_t> pages;
      ASSERT_OK((*o)->tree_pages(pages));
      ASSERT_EQ(pages.size(), 1u);
      std::string file = read_file_bytes(path);
      c.hurt(reinterpret_cast<uint8_t*>(file.data()) + pages[0]);
      bag->reset();
      std::ofstream(path, std::ios::binary).write(file.data(), std::streamsize(file.size()));
    }
    auto bag = IndexBag::open(FileSystem::posix(), path, IndexFormat::Cdx, {});
    ASSERT_TRUE(bag.is_ok());
    TreeOrder* o = (*bag)->find("T");
    Cursor cur;
    Status st = o->first(cur);
    if (!*c.want) {
      EXPECT_TRUE(st.is_ok());
      continue;
    }
    ASSERT_FALSE(st.is_ok());
    EXPECT_NE(st.message().find(c.want), std::string::npos) << st.to_string();
  }
}
// Pages another program laid out otherwise than we do: NTX pages whose items stand in
// another order than their offsets list them, MDX nodes whose items are longer than the
// key needs. They read as they are, take a batch spread over every leaf, and the nodes
// written then hold their items as ours do, with every byte outside them cleared.
TEST(ForeignPages, ReadAsTheyStandAndWrittenBackAsOurs) {
  for (const IndexFormat f : {IndexFormat::Ntx, IndexFormat::Mdx}) {
    SCOPED_TRACE(format_name(f));
    const std::string dir = index_test::scratch_dir(std::string("foreign_") + format_name(f));
    const std::string path = dir + (f == IndexFormat::Ntx ? "/F.NTX" : "/F.MDX");
    OrderInfo info;
    info.name = "F";
    info.key_expr = "KEY";
    info.keydef.format = f;
    info.keydef.length = 10;
    BagOptions opt;
    opt.table_name = "F";
    auto open = [&](std::unique_ptr<IndexBag>& bag, TreeOrder*& order) {
      auto b = IndexBag::open(FileSystem::posix(), path, f, opt);
      ASSERT_TRUE(b.is_ok()) << b.status().to_string();
      bag = std::move(*b);
      order = f == IndexFormat::Ntx ? bag->order(0) : bag->find("F");
      ASSERT_NE(order, nullptr);
      order->set_key_type(KeyType::Character);
    };
    std::unique_ptr<IndexBag> bag;
    TreeOrder* order = nullptr;
    if (f == IndexFormat::Ntx) {
      auto b = IndexBag::create_ntx(FileSystem::posix(), path, info, opt);
      ASSERT_TRUE(b.is_ok()) << b.status().to_string();
      bag = std::move(*b);
    } else {
      auto b = IndexBag::create_bag(FileSystem::posix(), path, f, opt);
      ASSERT_TRUE(b.is_ok()) << b.status().to_string();
      bag = std::move(*b);
      ASSERT_TRUE(bag->add_tag(info).is_ok());
      ASSERT_TRUE(bag->flush().is_ok());
      bag.reset();
      // The tag's items eight bytes longer than the key needs, before any key is in.
      std::fstream io(path, std::ios::binary | std::ios::in | std::ios::out);
      uint8_t h[2048];
      io.read(reinterpret_cast<char*>(h), sizeof h);
      const uint32_t tag_page = get_le32(h + mdx::kTagTable + mdx::kEntryPage);
      uint8_t t[mdx::kBlock];
      io.seekg(std::streamoff(tag_page) * mdx::kPage);
      io.read(reinterpret_cast<char*>(t), sizeof t);
      const uint16_t item = uint16_t(get_le16(t + mdx::kTagItemLength) + 8);
      put_le16(t + mdx::kTagItemLength, item);
      put_le16(t + mdx::kTagMaxKeys, uint16_t((mdx::kBlock - 8) / item));
      io.seekp(std::streamoff(tag_page) * mdx::kPage);
      io.write(reinterpret_cast<const char*>(t), sizeof t);
      io.close();
      ASSERT_NO_FATAL_FAILURE(open(bag, order));
    }
    order = f == IndexFormat::Ntx ? bag->order(0) : bag->find("F");
    order->set_key_type(KeyType::Character);
    std::mt19937 rng(5);
    std::multiset<std::pair<std::string, uint32_t>> model;
    auto random_keys = [&](size_t n, uint32_t first, std::vector<uint8_t>& keys, std::vector<uint32_t>& recnos) {
      for (size_t i = 0; i < n; ++i) {
        char k[16];
        std::snprintf(k, sizeof k, "K%09u", unsigned(rng() % 1000000000u));
        keys.insert(keys.end(), k, k + 10);
        recnos.push_back(first + uint32_t(i));
        model.insert({std::string(k, 10), first + uint32_t(i)});
      }
    };
    auto verify = [&](const std::string& step) {
      SCOPED_TRACE(step);
      std::vector<std::pair<std::string, uint32_t>> got;
      Cursor c;
      ASSERT_TRUE(order->first(c).is_ok());
      while (c.valid() && got.size() <= model.size()) {
        got.push_back({std::string(reinterpret_cast<const char*>(order->key_at(c)), 10), order->recno_at(c)});
        ASSERT_TRUE(order->next(c).is_ok());
      }
      const std::vector<std::pair<std::string, uint32_t>> want(model.begin(), model.end());
      EXPECT_EQ(got, want);
      auto rep = order->check();
      EXPECT_TRUE(rep.is_ok()) << rep.status().to_string();
    };
    std::vector<uint8_t> keys;
    std::vector<uint32_t> recnos;
    random_keys(600, 1, keys, recnos);
    ASSERT_TRUE(order->build(std::move(keys), std::move(recnos)).is_ok());
    ASSERT_TRUE(bag->flush().is_ok());
    bag.reset();
    std::vector<uint8_t> file;
    {
      std::ifstream in(path, std::ios::binary);
      file.assign(std::istreambuf_iterator<char>(in), {});
    }
    if (f == IndexFormat::Ntx) {
      // Every page's items moved to the slots in reverse, the offsets following them.
      const size_t item = get_le16(file.data() + ntx::kItemSize), max = get_le16(file.data() + ntx::kMaxKeys);
      for (size_t at = ntx::kPage; at + ntx::kPage <= file.size(); at += ntx::kPage) {
        uint8_t* p = file.data() + at;
        const std::vector<uint8_t> was(p, p + ntx::kPage);
        for (size_t k = 0; k <= max; ++k) {
          const size_t from = get_le16(was.data() + ntx::kNodeOffsets + 2 * k);
          const size_t to = get_le16(was.data() + ntx::kNodeOffsets + 2 * (max - k));
          put_le16(p + ntx::kNodeOffsets + 2 * k, uint16_t(to));
          std::memcpy(p + to, was.data() + from, item);
        }
      }
    }
    {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    }
    ASSERT_NO_FATAL_FAILURE(open(bag, order));
    ASSERT_NO_FATAL_FAILURE(verify("as laid out"));
    // Enough keys for every leaf to take some: every node is written anew.
    std::vector<uint8_t> bk;
    std::vector<uint32_t> br;
    random_keys(400, 601, bk, br);
    std::vector<uint32_t> seq(br.size());
    for (uint32_t i = 0; i < seq.size(); ++i) seq[i] = i;
    std::sort(seq.begin(), seq.end(), [&](uint32_t a, uint32_t b) {
      const int x = std::memcmp(bk.data() + a * 10, bk.data() + b * 10, 10);
      return x ? x < 0 : br[a] < br[b];
    });
    ASSERT_TRUE(order->insert_batch(bk.data(), br.data(), seq.data(), seq.size()).is_ok());
    ASSERT_NO_FATAL_FAILURE(verify("after the batch"));
    ASSERT_TRUE(bag->flush().is_ok());
    bag.reset();
    {
      std::ifstream in(path, std::ios::binary);
      file.assign(std::istreambuf_iterator<char>(in), {});
    }
    ASSERT_NO_FATAL_FAILURE(open(bag, order));
    ASSERT_NO_FATAL_FAILURE(verify("opened again"));
    // The nodes reachable from the root, as written.
    std::vector<uint32_t> todo;
    const bool ntx = f == IndexFormat::Ntx;
    size_t item = 0, max = 0, unit = 0, tag_page = 0;
    if (ntx) {
      item = get_le16(file.data() + ntx::kItemSize), max = get_le16(file.data() + ntx::kMaxKeys);
      unit = 1;
      todo.push_back(get_le32(file.data() + ntx::kRoot));
    } else {
      tag_page = get_le32(file.data() + mdx::kTagTable + mdx::kEntryPage);
      const uint8_t* t = file.data() + tag_page * mdx::kPage;
      item = get_le16(t + mdx::kTagItemLength);
      unit = mdx::kPage;
      todo.push_back(get_le32(t + mdx::kTagRoot));
    }
    size_t nodes = 0;
    while (!todo.empty()) {
      const size_t at = size_t(todo.back()) * unit;
      todo.pop_back();
      ASSERT_LE(at + 1024, file.size());
      const uint8_t* p = file.data() + at;
      ++nodes;
      std::vector<bool> used(1024, false);
      if (ntx) {
        const size_t cnt = get_le16(p), base = ntx::kNodeOffsets + 2 * (max + 1);
        for (size_t k = 0; k < base; ++k) used[k] = true;
        for (size_t k = 0; k <= max; ++k) EXPECT_EQ(get_le16(p + ntx::kNodeOffsets + 2 * k), base + k * item);
        for (size_t k = 0; k <= cnt; ++k) {
          const uint32_t kid = get_le32(p + base + k * item);
          if (kid) todo.push_back(kid);
          for (size_t b = 0; b < (k < cnt ? item : 4); ++b) used[base + k * item + b] = true;
        }
      } else {
        const size_t cnt = get_le32(p + mdx::kNodeCount);
        for (size_t b = 0; b < 4; ++b) used[b] = true;
        const size_t last_at = mdx::kNodeItems + cnt * item;
        const uint32_t last = last_at + 4 <= mdx::kBlock ? get_le32(p + last_at) : 0;
        for (size_t k = 0; k < cnt; ++k) {
          if (last) todo.push_back(get_le32(p + mdx::kNodeItems + k * item));
          for (size_t b = 0; b < 4 + 10; ++b) used[mdx::kNodeItems + k * item + b] = true;
        }
        if (last) {
          todo.push_back(last);
          for (size_t b = 0; b < 4; ++b) used[last_at + b] = true;
        }
      }
      for (size_t b = 0; b < 1024; ++b) {
        if (!used[b]) {
          ASSERT_EQ(p[b], 0) << "node at " << at << ", byte " << b;
        }
      }
    }
    EXPECT_GT(nodes, 3u);
  }
}

}  // namespace
}  // namespace mv::index
