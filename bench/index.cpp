// bench-deps: mv_structure mv_tablewindow mv_printing mv_components mv_grid mv_gui mv_table mv_runtime mv_base Qt6::Widgets
// Index layer on 1,000,000 records: building orders (against extracting the same keys
// and sorting them with std::sort), SEEK, SKIP through a whole order, and appending with
// three open orders (against appending with none). Counters report the ratios. The index
// page's "Index aktualisieren" rebuilds a bag of three orders under its progress window,
// against the layer's build of the same bag without progress, and is stopped half-way.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <map>
#include <filesystem>
#include <numeric>
#include <random>

#include <time.h>

#include <unistd.h>

#include "components/dlgprogress.h"
#include "platform/gui/messagebox.h"
#include "platform/gui/windows.h"
#include "platform/runtime/expr.h"
#include "platform/table/index/bag_rebuild.h"
#include "platform/table/index/order_list.h"
#include "platform/table/table.h"
#include "structure/tab_index.h"
#include "tablewindow/environment.h"
#include "tablewindow/tabdw_dbfdatei.h"

namespace {

using namespace mv;

constexpr uint32_t kRecords = 1'000'000;
constexpr uint32_t kAppends = 100'000;

const char* const kDrivers[] = {"DBFNTX", "DBFCDX", "DBFMDX"};

std::string bench_dir() {
  static std::string dir = [] {
    std::string d = (std::filesystem::temp_directory_path() / ("molvane_bench_index_" + std::to_string(getpid()))).string();
    std::filesystem::remove_all(d);
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

std::vector<StructRow> bench_fields() {
  return {{"NAME", 'C', 20, 0}, {"BETRAG", 'N', 12, 2}, {"DATUM", 'D', 8, 0}, {"AKTIV", 'L', 1, 0}};
}

// One record's bytes: random name, amount, date.
void make_record(std::mt19937& rng, std::vector<uint8_t>& rec) {
  rec.assign(1 + 20 + 12 + 8 + 1, ' ');
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  int n = 6 + int(rng() % 14);
  for (int i = 0; i < n; ++i) rec[1 + size_t(i)] = uint8_t(kLetters[rng() % 52]);
  char num[32];
  std::snprintf(num, sizeof num, "%12.2f", double(int(rng() % 20000000) - 10000000) / 100.0);
  std::memcpy(rec.data() + 21, num, 12);
  char date[16];
  std::snprintf(date, sizeof date, "%04d%02d%02d", 1950 + int(rng() % 80), 1 + int(rng() % 12), 1 + int(rng() % 28));
  std::memcpy(rec.data() + 33, date, 8);
  rec[41] = rng() % 2 ? 'T' : 'F';
}

// The table of 1,000,000 records for one driver, made once.
std::string big_table(const char* driver) {
  std::string path = bench_dir() + "/BIG_" + std::string(driver) + ".DBF";
  if (std::filesystem::exists(path)) return path;
  if (!db_create(path, bench_fields(), driver).is_ok()) return "";
  OpenOptions o;
  o.shared = false;
  o.driver = driver;
  auto t = Table::open(path, o);
  if (!t.is_ok()) return "";
  std::mt19937 rng(42);
  std::vector<uint8_t> rec;
  for (uint32_t i = 0; i < kRecords; ++i) {
    make_record(rng, rec);
    if (!(*t)->append_record(rec).is_ok()) return "";
  }
  if (!(*t)->close().is_ok()) return "";
  return path;
}

std::unique_ptr<Table> open_exclusive(const std::string& path, const char* driver) {
  OpenOptions o;
  o.shared = false;
  o.driver = driver;
  auto t = Table::open(path, o);
  return t.is_ok() ? std::move(*t) : nullptr;
}

// Baseline: the keys of `expr` extracted from every record, sorted with std::sort.
double extract_and_sort_seconds(const std::string& path, const char* driver, const std::string& expr) {
  auto t = open_exclusive(path, driver);
  class Fields : public FieldResolver {
   public:
    explicit Fields(const Table& t) : t_(t) {}
    std::optional<FieldRef> resolve(std::string_view, std::string_view name) override {
      for (const FieldInfo& f : t_.fields())
        if (f.name == name) {
          FieldRef r;
          r.len = int(f.length), r.dec = f.decimals, r.offset = f.offset;
          r.type = f.type == 'C' ? ValueType::Character : f.type == 'D' ? ValueType::Date : ValueType::Numeric;
          r.storage = f.type == 'C' ? FieldStorage::Character : f.type == 'D' ? FieldStorage::DateText : FieldStorage::NumericText;
          return r;
        }
      return std::nullopt;
    }
    const Table& t_;
  } fields(*t);
  ExprOptions eo;
  eo.code_page = t->code_page();
  auto start = std::chrono::steady_clock::now();
  Expression e = Expression::compile(expr, eo, &fields);
  const uint32_t n = t->lastrec();
  const size_t kl = size_t(std::max(e.length(), 8));
  std::vector<uint8_t> keys(size_t(n) * kl);
  std::vector<uint8_t> rec;
  for (uint32_t r = 1; r <= n; ++r) {
    if (!t->read_record(r, rec).is_ok()) break;
    EvalRecord er;
    er.data = rec.data(), er.size = rec.size(), er.recno = r;
    const Value* v = e.evaluate(er);
    if (v && v->is_char()) std::memcpy(keys.data() + size_t(r - 1) * kl, v->str.data(), std::min(kl, v->str.size()));
    else if (v) std::memcpy(keys.data() + size_t(r - 1) * kl, &v->num, 8);
  }
  std::vector<uint32_t> idx(n);
  std::iota(idx.begin(), idx.end(), 0u);
  std::sort(idx.begin(), idx.end(), [&](uint32_t a, uint32_t b) {
    int x = std::memcmp(keys.data() + size_t(a) * kl, keys.data() + size_t(b) * kl, kl);
    return x ? x < 0 : a < b;
  });
  benchmark::DoNotOptimize(idx.data());
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_BuildOrder(benchmark::State& state, const char* driver, const char* tag, const char* expr) {
  std::string path = big_table(driver);
  if (path.empty()) {
    state.SkipWithError("table not created");
    return;
  }
  double baseline = extract_and_sort_seconds(path, driver, expr);
  double ours = 0;
  for (auto _ : state) {
    auto t = open_exclusive(path, driver);
    auto ol = OrderList::attach(*t);
    auto start = std::chrono::steady_clock::now();
    Status st = std::string(driver) == "DBFNTX" ? (*ol)->create_index(tag, expr) : (*ol)->create_order(tag, "", expr);
    ours = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!st.is_ok()) state.SkipWithError(st.to_string().c_str());
    state.SetIterationTime(ours);
  }
  state.counters["extract_sort_s"] = baseline;
  state.counters["build_s"] = ours;
  state.counters["ratio"] = ours / baseline;
}

// The table with its orders built (name, amount, name + date), for the warm benchmarks;
// opened exclusively or shared (the default for users), one mode at a time per driver.
struct Indexed {
  std::unique_ptr<Table> table;
  std::unique_ptr<OrderList> orders;
  bool shared = false;
};

Indexed& indexed(const char* driver, bool shared = false) {
  static std::map<std::string, Indexed> all;
  Indexed& x = all[driver];
  if (x.table && x.shared == shared) return x;
  x.orders.reset();
  if (x.table) x.table->close().ignore();
  x.table.reset();
  std::string path = big_table(driver);
  OpenOptions o;
  o.shared = shared;
  o.driver = driver;
  auto t = Table::open(path, o);
  if (!t.is_ok()) return x;
  x.table = std::move(*t);
  x.shared = shared;
  x.orders = OrderList::attach(*x.table).value();
  if (std::string(driver) == "DBFNTX") {
    for (const char* f : {"NAME", "BETRAG", "KOMBI"}) {
      if (x.orders->add_index_file(f).is_ok()) continue;
    }
  }
  if (x.orders->count() < 3) {
    if (std::string(driver) == "DBFNTX") {
      x.orders->create_index("NAME", "NAME").ignore();
      x.orders->create_index("BETRAG", "BETRAG").ignore();
      x.orders->create_index("KOMBI", "UPPER(NAME)+DTOS(DATUM)").ignore();
    } else {
      x.orders->create_order("NAME", "", "NAME").ignore();
      x.orders->create_order("BETRAG", "", "BETRAG").ignore();
      x.orders->create_order("KOMBI", "", "UPPER(NAME)+DTOS(DATUM)").ignore();
    }
  }
  return x;
}

// Rates of the exclusive runs, by benchmark and driver, for the shared runs' ratio.
std::map<std::string, double>& exclusive_rates() {
  static std::map<std::string, double> m;
  return m;
}

// Reports `rate` under `counter`; a shared run also as the share of the exclusive rate.
void report_rate(benchmark::State& state, const std::string& what, const char* driver, bool shared, double events,
                 double seconds, const char* counter) {
  const double rate = seconds > 0 ? events / seconds : 0;
  state.counters[counter] = rate;
  const std::string key = what + driver;
  if (!shared) {
    exclusive_rates()[key] = rate;
  } else if (exclusive_rates().count(key) && exclusive_rates()[key] > 0) {
    state.counters["of_exclusive"] = rate / exclusive_rates()[key];
  }
}

void BM_Seek(benchmark::State& state, const char* driver, bool shared) {
  Indexed& x = indexed(driver, shared);
  set_deleted_filter(false);
  if (!x.table || !x.orders->set_order("NAME").is_ok()) {
    state.SkipWithError("no order");
    return;
  }
  // Existing keys in random order.
  std::mt19937 rng(5);
  std::vector<std::string> keys;
  std::vector<uint8_t> rec;
  for (int i = 0; i < 4096; ++i) {
    x.table->read_record(uint32_t(rng() % kRecords) + 1, rec).ignore();
    keys.emplace_back(reinterpret_cast<const char*>(rec.data() + 1), 20);
  }
  size_t i = 0, hits = 0;
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    auto f = x.orders->seek(Value::character(keys[i++ & 4095]), false);
    hits += f.is_ok() && *f;
  }
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  report_rate(state, "Seek", driver, shared, double(state.iterations()), s, "seeks_per_s");
  state.counters["hit_rate"] = double(hits) / double(state.iterations());
}

// SEEK on the order alone (no table positioning).
void BM_TreeSeek(benchmark::State& state, const char* driver) {
  Indexed& x = indexed(driver);
  index::TreeOrder* o = x.orders->tree(1);
  std::mt19937 rng(5);
  std::vector<std::string> keys;
  std::vector<uint8_t> rec;
  for (int i = 0; i < 4096; ++i) {
    x.table->read_record(uint32_t(rng() % kRecords) + 1, rec).ignore();
    keys.emplace_back(reinterpret_cast<const char*>(rec.data() + 1), 20);
  }
  size_t i = 0, hits = 0;
  index::Cursor c;
  for (auto _ : state) {
    const std::string& k = keys[i++ & 4095];
    bool found = false;
    o->seek({reinterpret_cast<const uint8_t*>(k.data()), k.size()}, c, found).ignore();
    hits += found;
  }
  state.counters["seeks_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["hit_rate"] = double(hits) / double(state.iterations());
}

// SKIP(1) from top to end: through the NAME order, or in natural order (`order` empty).
void BM_SkipWhole(benchmark::State& state, const char* driver, bool shared, const char* order) {
  Indexed& x = indexed(driver, shared);
  if (!x.table) {
    state.SkipWithError("not opened");
    return;
  }
  set_deleted_filter(false);
  if (*order)
    x.orders->set_order(order).ignore();
  else
    x.orders->set_order(size_t(0)).ignore();
  uint64_t keys = 0;
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    x.table->go_top().ignore();
    while (!x.table->eof()) {
      x.table->skip(1).ignore();
      ++keys;
    }
  }
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  report_rate(state, std::string("Skip") + order, driver, shared, double(keys), s, "keys_per_s");
}

// The same walk on the order alone (no record reads).
void BM_CursorWholeOrder(benchmark::State& state, const char* driver) {
  Indexed& x = indexed(driver);
  index::TreeOrder* o = x.orders->tree(1);
  uint64_t keys = 0;
  for (auto _ : state) {
    index::Cursor c;
    o->first(c).ignore();
    while (c.valid()) {
      ++keys;
      o->next(c).ignore();
    }
  }
  state.counters["keys_per_s"] = benchmark::Counter(double(keys), benchmark::Counter::kIsRate);
}

// Appends kAppends records: whole record images (append_record), or as a user does it,
// APPEND BLANK and FIELDPUT per field.
double append_seconds(const char* driver, bool with_orders, bool by_fields) {
  std::string path = bench_dir() + "/APP_" + std::string(driver) + (with_orders ? "_I" : "_N") + ".DBF";
  for (auto& f : std::filesystem::directory_iterator(bench_dir()))
    if (f.path().stem().string() == std::filesystem::path(path).stem().string() ||
        (with_orders && f.path().extension() == ".NTX" && f.path().stem().string().rfind("A_", 0) == 0))
      std::filesystem::remove(f.path());
  if (!db_create(path, bench_fields(), driver).is_ok()) return -1;
  auto t = open_exclusive(path, driver);
  std::unique_ptr<OrderList> ol;
  if (with_orders) {
    ol = OrderList::attach(*t).value();
    if (std::string(driver) == "DBFNTX") {
      ol->create_index("A_NAME", "NAME").ignore();
      ol->create_index("A_BETRAG", "BETRAG").ignore();
      ol->create_index("A_KOMBI", "UPPER(NAME)+DTOS(DATUM)").ignore();
    } else {
      ol->create_order("NAME", "", "NAME").ignore();
      ol->create_order("BETRAG", "", "BETRAG").ignore();
      ol->create_order("KOMBI", "", "UPPER(NAME)+DTOS(DATUM)").ignore();
    }
  }
  std::mt19937 rng(9);
  std::vector<std::vector<uint8_t>> recs(kAppends);
  for (auto& r : recs) make_record(rng, r);
  auto start = std::chrono::steady_clock::now();
  if (!by_fields) {
    for (auto& r : recs) t->append_record(r).ignore();
  } else {
    for (auto& r : recs) {
      t->append_blank().ignore();
      t->field_put(1, Value::character(std::string(reinterpret_cast<const char*>(r.data() + 1), 20))).ignore();
      t->field_put(2, Value::numeric(std::strtod(reinterpret_cast<const char*>(r.data() + 21), nullptr), 12, 2)).ignore();
      t->field_put(3, Value::of_date(Date::from_julian(2440000 + int32_t(r[35]) * 97 + r[40]))).ignore();
      t->field_put(4, Value::boolean(r[41] == 'T')).ignore();
    }
  }
  t->commit().ignore();
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ol.reset();
  t->close().ignore();
  return s;
}

void BM_Append(benchmark::State& state, const char* driver, bool by_fields) {
  double plain = 0, indexed_s = 0;
  for (auto _ : state) {
    plain = append_seconds(driver, false, by_fields);
    indexed_s = append_seconds(driver, true, by_fields);
    state.SetIterationTime(indexed_s);
  }
  state.counters["no_order_s"] = plain;
  state.counters["three_orders_s"] = indexed_s;
  state.counters["ratio"] = indexed_s / plain;
}

// ---- The workload of 96-byte records: NAME C(20), ORT C(20), BETRAG N(10,2), MENGE N(6),
// DATUM D, AKTIV L, TEXT C(30); names and places made of random syllables. Each step
// reports ours against a plain C++ baseline of the same run.

constexpr uint32_t kSeeks = 300'000;

std::vector<StructRow> wide_fields() {
  return {{"NAME", 'C', 20, 0}, {"ORT", 'C', 20, 0}, {"BETRAG", 'N', 10, 2}, {"MENGE", 'N', 6, 0},
          {"DATUM", 'D', 8, 0}, {"AKTIV", 'L', 1, 0}, {"TEXT", 'C', 30, 0}};
}
constexpr size_t kWideLen = 96;
constexpr size_t kOffName = 1, kOffOrt = 21, kOffBetrag = 41, kOffMenge = 51, kOffDatum = 57, kOffAktiv = 65,
                 kOffText = 66;

std::string syllables(std::mt19937& rng, int lo, int hi, bool capital) {
  static const char* const kSyl[] = {"ka", "ber", "lin", "to", "mi", "hau", "sen", "dor", "fel", "wa",
                                     "ri", "gen", "stein", "bach", "ler", "mann", "ro", "na", "ten", "zu",
                                     "ol", "ek", "vi", "schu", "burg", "hof", "wei", "ler", "an", "dre"};
  std::string s;
  const int n = lo + int(rng() % uint32_t(hi - lo + 1));
  for (int i = 0; i < n; ++i) s += kSyl[rng() % (sizeof kSyl / sizeof *kSyl)];
  if (capital && !s.empty()) s[0] = char(s[0] - 32);
  return s;
}

void put_text(std::vector<uint8_t>& rec, size_t off, size_t len, const std::string& s) {
  std::memcpy(rec.data() + off, s.data(), std::min(len, s.size()));
}

void make_wide_record(std::mt19937& rng, std::vector<uint8_t>& rec) {
  rec.assign(kWideLen, ' ');
  put_text(rec, kOffName, 20, syllables(rng, 2, 5, true));
  put_text(rec, kOffOrt, 20, syllables(rng, 2, 4, rng() % 2 == 0));
  char buf[40];
  std::snprintf(buf, sizeof buf, "%10.2f", double(int(rng() % 20000000) - 10000000) / 100.0);
  std::memcpy(rec.data() + kOffBetrag, buf, 10);
  std::snprintf(buf, sizeof buf, "%6d", int(rng() % 1000000));
  std::memcpy(rec.data() + kOffMenge, buf, 6);
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", 1950 + int(rng() % 80), 1 + int(rng() % 12), 1 + int(rng() % 28));
  std::memcpy(rec.data() + kOffDatum, buf, 8);
  rec[kOffAktiv] = rng() % 2 ? 'T' : 'F';
  put_text(rec, kOffText, 30, syllables(rng, 3, 8, false));
}

// The seven FIELDPUT values of a record image.
struct WideValues {
  Value name, ort, betrag, menge, datum, aktiv, text;
};

WideValues wide_values(const std::vector<uint8_t>& r) {
  auto txt = [&](size_t off, size_t len) { return std::string(reinterpret_cast<const char*>(r.data() + off), len); };
  WideValues v;
  v.name = Value::character(txt(kOffName, 20));
  v.ort = Value::character(txt(kOffOrt, 20));
  v.betrag = Value::numeric(std::strtod(txt(kOffBetrag, 10).c_str(), nullptr), 10, 2);
  v.menge = Value::numeric(std::strtod(txt(kOffMenge, 6).c_str(), nullptr), 6, 0);
  const std::string d = txt(kOffDatum, 8);
  v.datum = Value::of_date(Date::from_ymd(std::stoi(d.substr(0, 4)), std::stoi(d.substr(4, 2)), std::stoi(d.substr(6, 2))));
  v.aktiv = Value::boolean(r[kOffAktiv] == 'T');
  v.text = Value::character(txt(kOffText, 30));
  return v;
}

Status put_wide(Table& t, const WideValues& v) {
  MV_RETURN_IF_ERROR(t.append_blank());
  MV_RETURN_IF_ERROR(t.field_put(1, v.name));
  MV_RETURN_IF_ERROR(t.field_put(2, v.ort));
  MV_RETURN_IF_ERROR(t.field_put(3, v.betrag));
  MV_RETURN_IF_ERROR(t.field_put(4, v.menge));
  MV_RETURN_IF_ERROR(t.field_put(5, v.datum));
  MV_RETURN_IF_ERROR(t.field_put(6, v.aktiv));
  return t.field_put(7, v.text);
}

double since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// CPU time of this thread: on a busy machine steadier than the wall clock.
double thread_cpu() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// The 1,000,000-record table of one driver, made once.
std::string wide_table(const char* driver) {
  std::string path = bench_dir() + "/WIDE_" + std::string(driver) + ".DBF";
  if (std::filesystem::exists(path)) return path;
  if (!db_create(path, wide_fields(), driver).is_ok()) return "";
  auto t = open_exclusive(path, driver);
  if (!t) return "";
  std::mt19937 rng(424242);
  std::vector<uint8_t> rec;
  for (uint32_t i = 0; i < kRecords; ++i) {
    make_wide_record(rng, rec);
    if (!t->append_record(rec).is_ok()) return "";
  }
  if (!t->close().is_ok()) return "";
  return path;
}

// The records' bytes, read back through the table (the baselines' input).
std::vector<uint8_t> wide_images(const std::string& path, const char* driver) {
  auto t = open_exclusive(path, driver);
  std::vector<uint8_t> all(size_t(kRecords) * kWideLen), rec;
  for (uint32_t r = 1; r <= kRecords; ++r) {
    if (!t->read_record(r, rec).is_ok()) break;
    std::memcpy(all.data() + size_t(r - 1) * kWideLen, rec.data(), kWideLen);
  }
  return all;
}

// Sorts record numbers by fixed-length keys (ties by record), as a plain program would.
void sort_fixed(const std::vector<uint8_t>& keys, size_t kl, uint32_t n) {
  std::vector<uint32_t> idx(n);
  std::iota(idx.begin(), idx.end(), 0u);
  std::sort(idx.begin(), idx.end(), [&](uint32_t a, uint32_t b) {
    int x = std::memcmp(keys.data() + size_t(a) * kl, keys.data() + size_t(b) * kl, kl);
    return x ? x < 0 : a < b;
  });
  benchmark::DoNotOptimize(idx.data());
}

enum class WideKey { Name, OrtDatum, Betrag };

// Baseline: read every record through the table, extract (and for BETRAG parse) the key,
// sort.
double wide_baseline_seconds(const std::string& path, const char* driver, WideKey which) {
  auto t = open_exclusive(path, driver);
  auto start = std::chrono::steady_clock::now();
  const uint32_t n = t->lastrec();
  std::vector<uint8_t> rec;
  if (which == WideKey::Betrag) {
    std::vector<std::pair<double, uint32_t>> v(n);
    for (uint32_t r = 1; r <= n; ++r) {
      if (!t->read_record(r, rec).is_ok()) break;
      char buf[11];
      std::memcpy(buf, rec.data() + kOffBetrag, 10);
      buf[10] = 0;
      v[r - 1] = {std::strtod(buf, nullptr), r};
    }
    std::sort(v.begin(), v.end());
    benchmark::DoNotOptimize(v.data());
    return since(start);
  }
  const size_t kl = which == WideKey::Name ? 20 : 28;
  std::vector<uint8_t> keys(size_t(n) * kl);
  for (uint32_t r = 1; r <= n; ++r) {
    if (!t->read_record(r, rec).is_ok()) break;
    uint8_t* k = keys.data() + size_t(r - 1) * kl;
    if (which == WideKey::Name) {
      std::memcpy(k, rec.data() + kOffName, 20);
    } else {
      for (size_t i = 0; i < 20; ++i) {
        uint8_t c = rec[kOffOrt + i];
        k[i] = c >= 'a' && c <= 'z' ? uint8_t(c - 32) : c;
      }
      std::memcpy(k + 20, rec.data() + kOffDatum, 8);
    }
  }
  sort_fixed(keys, kl, n);
  return since(start);
}

const char* wide_expr(WideKey k) {
  return k == WideKey::Name ? "NAME" : k == WideKey::Betrag ? "BETRAG" : "UPPER(ORT)+DTOS(DATUM)";
}
const char* wide_tag(WideKey k) { return k == WideKey::Name ? "W_NAME" : k == WideKey::Betrag ? "W_BETRAG" : "W_KOMBI"; }

Status create_wide_order(OrderList& ol, const char* driver, WideKey k) {
  return std::string(driver) == "DBFNTX" ? ol.create_index(wide_tag(k), wide_expr(k))
                                         : ol.create_order(wide_tag(k), "", wide_expr(k));
}

// Best of two builds against the best of two baselines.
void BM_WideBuild(benchmark::State& state, const char* driver, WideKey which) {
  std::string path = wide_table(driver);
  if (path.empty()) {
    state.SkipWithError("table not created");
    return;
  }
  double baseline = 1e9, ours = 1e9;
  for (auto _ : state) {
    for (int run = 0; run < 2; ++run) {
      baseline = std::min(baseline, wide_baseline_seconds(path, driver, which));
      auto t = open_exclusive(path, driver);
      auto ol = OrderList::attach(*t);
      if (!ol.is_ok()) {
        state.SkipWithError(ol.status().to_string().c_str());
        return;
      }
      auto start = std::chrono::steady_clock::now();
      Status st = create_wide_order(**ol, driver, which);
      ours = std::min(ours, since(start));
      if (!st.is_ok()) state.SkipWithError(st.to_string().c_str());
      if (std::string(driver) != "DBFNTX") (*ol)->delete_order(wide_tag(which)).ignore();
    }
    state.SetIterationTime(ours);
  }
  state.counters["baseline_ms"] = baseline * 1e3;
  state.counters["ours_ms"] = ours * 1e3;
  state.counters["ratio"] = ours / baseline;
}

// A copy of the wide table with the three orders (NAME, BETRAG, UPPER(ORT)+DTOS(DATUM))
// built once; every run starts from fresh copies of its files.
std::string wide_indexed_master(const char* driver) {
  const std::string dir = bench_dir() + "/widx_" + driver;
  const std::string path = dir + "/WIDX.DBF";
  if (std::filesystem::exists(path)) return path;
  std::filesystem::create_directories(dir);
  std::filesystem::copy_file(wide_table(driver), path, std::filesystem::copy_options::overwrite_existing);
  auto t = open_exclusive(path, driver);
  if (!t) return "";
  auto ol = OrderList::attach(*t);
  if (!ol.is_ok()) return "";
  for (WideKey k : {WideKey::Name, WideKey::Betrag, WideKey::OrtDatum})
    if (!create_wide_order(**ol, driver, k).is_ok()) return "";
  ol->reset();
  if (!t->close().is_ok()) return "";
  return path;
}

// Fresh copies of the master's files in `work`; answers the table's path there.
std::string fresh_copy(const std::string& master, const std::string& work, bool with_orders) {
  std::filesystem::remove_all(work);
  std::filesystem::create_directories(work);
  for (auto& f : std::filesystem::directory_iterator(std::filesystem::path(master).parent_path())) {
    const std::string ext = f.path().extension().string();
    if (ext == ".DBF" || with_orders) {
      const std::filesystem::path to = std::filesystem::path(work) / f.path().filename();
      std::filesystem::copy_file(f.path(), to);
      // On disk before the clock starts: a commit that syncs its files must not wait for
      // the copy as well.
      if (auto c = FileSystem::posix().open(to.string(), OpenMode::ReadWrite); c.is_ok()) (*c)->sync().ignore();
    }
  }
  return (std::filesystem::path(work) / std::filesystem::path(master).filename()).string();
}

std::unique_ptr<OrderList> open_wide_orders(Table& t, const char* driver, bool production) {
  OrderListOptions lo;
  lo.open_production = production;
  lo.require_production = production;
  auto ol = OrderList::attach(t, lo);
  if (!ol.is_ok()) return nullptr;
  if (std::string(driver) == "DBFNTX" && production)
    for (WideKey k : {WideKey::Name, WideKey::Betrag, WideKey::OrtDatum})
      if (!(*ol)->add_index_file(wide_tag(k)).is_ok()) return nullptr;
  return std::move(*ol);
}

// What writing the orders back costs the file system alone: every byte of the index
// files of a fresh copy read and written again in large pieces, then synced. A batch of
// random keys changes nearly every leaf, so no way of taking it in writes much less.
double index_rewrite_seconds(const std::string& master, const std::string& work) {
  const std::string path = fresh_copy(master, work, true);
  std::vector<uint8_t> buf(256 * 1024);
  auto start = std::chrono::steady_clock::now();
  for (auto& f : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path())) {
    if (f.path().extension() == ".DBF") continue;
    auto c = FileSystem::posix().open(f.path().string(), OpenMode::ReadWrite);
    if (!c.is_ok()) return 0;
    for (uint64_t off = 0;; off += buf.size()) {
      auto got = (*c)->read_at(off, buf.data(), buf.size());
      if (!got.is_ok() || *got == 0) break;
      if (!(*c)->write_at(off, buf.data(), *got).is_ok()) return 0;
    }
    if (!(*c)->sync().is_ok()) return 0;
  }
  return since(start);
}

// 100,000 appends (APPEND BLANK + 7 FIELDPUT, random keys) to the 1,000,000-record table:
// with the three orders open against no order. Best of two each.
void BM_WideAppendOrders(benchmark::State& state, const char* driver) {
  const std::string master = wide_indexed_master(driver);
  if (master.empty()) {
    state.SkipWithError("table not created");
    return;
  }
  std::mt19937 rng(77);
  std::vector<WideValues> vals;
  std::vector<uint8_t> rec;
  for (uint32_t i = 0; i < kAppends; ++i) {
    make_wide_record(rng, rec);
    vals.push_back(wide_values(rec));
  }
  double plain = 1e9, with = 1e9, plain_cpu = 1e9, with_cpu = 1e9, with_commit = 0;
  for (auto _ : state) {
    for (int run = 0; run < 4; ++run) {
      const bool orders = run % 2 == 1;
      const std::string path = fresh_copy(master, bench_dir() + "/wapp", orders);
      auto t = open_exclusive(path, driver);
      auto ol = t ? open_wide_orders(*t, driver, orders) : nullptr;
      if (!ol || (orders && ol->count() != 3)) {
        state.SkipWithError("not opened");
        return;
      }
      auto start = std::chrono::steady_clock::now();
      const double cpu0 = thread_cpu();
      for (const WideValues& v : vals)
        if (!put_wide(*t, v).is_ok()) {
          state.SkipWithError("append failed");
          return;
        }
      const double appended = since(start);
      if (!t->commit().is_ok()) state.SkipWithError("commit failed");
      double s = since(start);
      if (orders && s < with) with_commit = s - appended;
      (orders ? with : plain) = std::min(orders ? with : plain, s);
      (orders ? with_cpu : plain_cpu) = std::min(orders ? with_cpu : plain_cpu, thread_cpu() - cpu0);
      if (orders && run == 1) {
        for (size_t n = 1; n <= 3; ++n) {
          auto rep = ol->check(n);
          if (!rep.is_ok() || rep->keys != kRecords + kAppends) state.SkipWithError("order damaged");
        }
      }
      ol.reset();
      t->close().ignore();
    }
    state.SetIterationTime(with);
  }
  double rewrite = 1e9;
  for (int run = 0; run < 2; ++run) rewrite = std::min(rewrite, index_rewrite_seconds(master, bench_dir() + "/wapp"));
  std::filesystem::remove_all(bench_dir() + "/wapp");
  // The floor under the appends with orders: the same appends without, plus rewriting the
  // index files.
  state.counters["index_rewrite_ms"] = rewrite * 1e3;
  state.counters["floor_ratio"] = (plain + rewrite) / plain;
  state.counters["no_order_ms"] = plain * 1e3;
  state.counters["three_orders_ms"] = with * 1e3;
  state.counters["ratio"] = with / plain;
  state.counters["cpu_ratio"] = with_cpu / plain_cpu;
  state.counters["three_orders_cpu_ms"] = with_cpu * 1e3;
  // Of the best run with orders: the commit, where the orders take their batches.
  state.counters["three_orders_commit_ms"] = with_commit * 1e3;
}

// 1,000,000 APPEND BLANK + 7 FIELDPUT against append_record of the same records, into an
// empty table without orders. Best of two each.
void BM_WideAppendFields(benchmark::State& state, const char* driver) {
  std::mt19937 rng(31);
  std::vector<uint8_t> images(size_t(kRecords) * kWideLen), rec;
  std::vector<WideValues> vals;
  vals.reserve(kRecords);
  for (uint32_t i = 0; i < kRecords; ++i) {
    make_wide_record(rng, rec);
    std::memcpy(images.data() + size_t(i) * kWideLen, rec.data(), kWideLen);
    vals.push_back(wide_values(rec));
  }
  const std::string path = bench_dir() + "/WAPP1M.DBF";
  double records = 1e9, fields = 1e9;
  for (auto _ : state) {
    for (int run = 0; run < 4; ++run) {
      const bool by_fields = run % 2 == 1;
      std::filesystem::remove(path);
      if (!db_create(path, wide_fields(), driver).is_ok()) {
        state.SkipWithError("not created");
        return;
      }
      auto t = open_exclusive(path, driver);
      auto start = std::chrono::steady_clock::now();
      for (uint32_t i = 0; i < kRecords; ++i) {
        Status st = by_fields ? put_wide(*t, vals[i])
                              : t->append_record({images.data() + size_t(i) * kWideLen, kWideLen});
        if (!st.is_ok()) {
          state.SkipWithError(st.to_string().c_str());
          return;
        }
      }
      if (!t->commit().is_ok()) state.SkipWithError("commit failed");
      double s = since(start);
      (by_fields ? fields : records) = std::min(by_fields ? fields : records, s);
      if (by_fields) {
        std::vector<uint8_t> back;
        if (!t->read_record(kRecords / 2 + 1, back).is_ok() ||
            std::memcmp(back.data() + 1, images.data() + size_t(kRecords / 2) * kWideLen + 1, kWideLen - 1) != 0)
          state.SkipWithError("FIELDPUT wrote other bytes than the record image");
      }
      t->close().ignore();
    }
    state.SetIterationTime(fields);
  }
  std::filesystem::remove(path);
  state.counters["append_record_ms"] = records * 1e3;
  state.counters["fieldput_ms"] = fields * 1e3;
  state.counters["ratio"] = fields / records;
}

// 300,000 SEEKs of existing NAME keys, the three orders open, against lower_bound in the
// sorted array of the same keys.
void BM_WideSeek(benchmark::State& state, const char* driver) {
  const std::string master = wide_indexed_master(driver);
  if (master.empty()) {
    state.SkipWithError("table not created");
    return;
  }
  const std::vector<uint8_t> images = wide_images(wide_table(driver), driver);
  const std::string path = fresh_copy(master, bench_dir() + "/wseek", true);
  auto t = open_exclusive(path, driver);
  auto ol = t ? open_wide_orders(*t, driver, true) : nullptr;
  if (!ol || !ol->set_order(wide_tag(WideKey::Name)).is_ok()) {
    state.SkipWithError("no order");
    return;
  }
  set_deleted_filter(false);
  using Key = std::array<uint8_t, 20>;
  std::vector<Key> sorted(kRecords);
  for (uint32_t i = 0; i < kRecords; ++i) std::memcpy(sorted[i].data(), images.data() + size_t(i) * kWideLen + kOffName, 20);
  std::mt19937 rng(5);
  std::vector<Key> probes(kSeeks);
  std::vector<Value> probe_values(kSeeks);
  for (uint32_t i = 0; i < kSeeks; ++i) {
    probes[i] = sorted[rng() % kRecords];
    probe_values[i] = Value::character(std::string(probes[i].begin(), probes[i].end()));
  }
  auto key_less = [](const Key& x, const Key& y) { return std::memcmp(x.data(), y.data(), 20) < 0; };
  std::sort(sorted.begin(), sorted.end(), key_less);
  double base = 1e9, ours = 1e9;
  size_t hits = 0;
  for (auto _ : state) {
    for (int run = 0; run < 2; ++run) {
      auto start = std::chrono::steady_clock::now();
      size_t found = 0;
      for (const Key& p : probes) {
        auto it = std::lower_bound(sorted.begin(), sorted.end(), p, key_less);
        found += it != sorted.end() && *it == p;
      }
      benchmark::DoNotOptimize(found);
      base = std::min(base, since(start));
      start = std::chrono::steady_clock::now();
      hits = 0;
      for (const Value& v : probe_values) {
        auto f = ol->seek(v, false);
        hits += f.is_ok() && *f;
      }
      ours = std::min(ours, since(start));
    }
    state.SetIterationTime(ours);
  }
  ol.reset();
  t->close().ignore();
  std::filesystem::remove_all(bench_dir() + "/wseek");
  state.counters["lower_bound_ms"] = base * 1e3;
  state.counters["seek_ms"] = ours * 1e3;
  state.counters["ratio"] = ours / base;
  state.counters["hit_rate"] = double(hits) / double(kSeeks);
}


// ---- the index page's rebuild of a bag

const char* const kBagKeys[][2] = {{"NAME", "NAME"}, {"BETRAG", "BETRAG"}, {"KOMBI", "UPPER(NAME)+DTOS(DATUM)"}};

// A copy of the big CDX table with a bag of the three orders.
std::string bag_table() {
  const std::string path = bench_dir() + "/REBUILD.DBF";
  if (std::filesystem::exists(path)) return path;
  const std::string from = big_table("DBFCDX");
  if (from.empty()) return "";
  std::filesystem::copy_file(from, path);
  std::vector<OrderDefinition> defs;
  for (auto& k : kBagKeys) defs.push_back({k[0], k[1], "", false, false, ""});
  if (!rebuild_index_bag({path, "DBFCDX"}, defs).ok()) return "";
  return path;
}

struct PageRun {
  MemoryHistoryStore history;
  gui::RecordingMessageBoxes boxes;
  gui::SHELLWINDOW shell;
  TABDW_DBFDATEI* w = nullptr;
  TAB_INDEX* page = nullptr;
  explicit PageRun(const std::string& path) {
    TableWindowEnvironment env;
    env.default_driver = [] { return QStringLiteral("DBFCDX"); };
    env.history = &history;
    set_table_window_environment(env);
    w = new TABDW_DBFDATEI(&shell, QString::fromStdString(path), true, false, false);
    w->SELECTTAB(QStringLiteral("TAB_INDEX"));
    page = qobject_cast<TAB_INDEX*>(w->TABCONTROL()->GETPAGESYM(QStringLiteral("TAB_INDEX")));
  }
  ~PageRun() {
    delete w;
    set_table_window_environment({});
  }
};

// "Index aktualisieren" through the page (progress window moving) against the layer's
// build of the same bag without progress, and against extracting and sorting the keys.
void BM_IndexSaveBag(benchmark::State& state) {
  const std::string path = bag_table();
  if (path.empty()) {
    state.SkipWithError("table not created");
    return;
  }
  double sort_s = 0;
  for (auto& k : kBagKeys) sort_s += extract_and_sort_seconds(path, "DBFCDX", k[1]);
  std::vector<OrderDefinition> defs;
  for (auto& k : kBagKeys) defs.push_back({k[0], k[1], "", false, false, ""});
  double layer_s = 0, page_s = 0;
  uint32_t steps = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (!rebuild_index_bag({path, "DBFCDX"}, defs).ok()) state.SkipWithError("layer rebuild failed");
    layer_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    PageRun run(path);
    if (!run.page || run.w->AINDEX.size() != 3) {
      state.SkipWithError("page without its orders");
      break;
    }
    set_index_progress_hook([&](DLGPROGRESS&, uint32_t) { ++steps; });
    start = std::chrono::steady_clock::now();
    run.page->INDEX_SAVE();
    page_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    set_index_progress_hook({});
    if (run.boxes.count() != 0 || run.w->AINDEX.size() != 3) state.SkipWithError("page rebuild failed");
    state.SetIterationTime(page_s);
  }
  state.counters["layer_s"] = layer_s;
  state.counters["page_s"] = page_s;
  state.counters["page_to_layer"] = page_s / layer_s;
  state.counters["extract_sort_s"] = sort_s;
  state.counters["page_to_sort"] = page_s / sort_s;
  state.counters["bar_updates"] = steps;
}

// The cancel button pressed half-way: the time from the press to the table reopened with
// its old bag.
void BM_IndexSaveStopped(benchmark::State& state) {
  const std::string path = bag_table();
  if (path.empty()) {
    state.SkipWithError("table not created");
    return;
  }
  double after_stop_s = 0, before_stop_s = 0;
  for (auto _ : state) {
    PageRun run(path);
    std::chrono::steady_clock::time_point pressed{};
    set_index_progress_hook([&](DLGPROGRESS& d, uint32_t step) {
      if (pressed == std::chrono::steady_clock::time_point{} && step >= d.COUNT() / 2) {
        d.PSHCANCEL();
        pressed = std::chrono::steady_clock::now();
      }
    });
    const auto start = std::chrono::steady_clock::now();
    run.page->INDEX_SAVE();
    const auto end = std::chrono::steady_clock::now();
    set_index_progress_hook({});
    if (run.w->AINDEX.size() != 3 || pressed == std::chrono::steady_clock::time_point{})
      state.SkipWithError("the stop did not keep the orders");
    after_stop_s = std::chrono::duration<double>(end - pressed).count();
    before_stop_s = std::chrono::duration<double>(pressed - start).count();
    state.SetIterationTime(after_stop_s);
  }
  state.counters["to_half_s"] = before_stop_s;
  state.counters["stop_to_reopened_s"] = after_stop_s;
}

void register_all() {
  benchmark::RegisterBenchmark("IndexSave/bag3/DBFCDX", BM_IndexSaveBag)
      ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("IndexSave/stopped_half/DBFCDX", BM_IndexSaveStopped)
      ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
  for (const char* d : kDrivers) {
    std::string p = std::string("/") + d;
    for (auto [k, name] : {std::pair{WideKey::Name, "name_c20"}, std::pair{WideKey::OrtDatum, "upper_ort_dtos"},
                           std::pair{WideKey::Betrag, "betrag_n10_2"}})
      benchmark::RegisterBenchmark((std::string("Wide/Build/") + name + p).c_str(), BM_WideBuild, d, k)
          ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Wide/Append100kThreeOrders" + p).c_str(), BM_WideAppendOrders, d)
        ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Wide/Append1MFieldPut" + p).c_str(), BM_WideAppendFields, d)
        ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Wide/Seek300k" + p).c_str(), BM_WideSeek, d)
        ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
  }
  for (const char* d : kDrivers) {
    std::string p = std::string("/") + d;
    benchmark::RegisterBenchmark(("BuildOrder/char20" + p).c_str(), BM_BuildOrder, d, "NAME", "NAME")
        ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BuildOrder/numeric" + p).c_str(), BM_BuildOrder, d, "BETRAG", "BETRAG")
        ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BuildOrder/upper_name_dtos" + p).c_str(), BM_BuildOrder, d, "KOMBI",
                                 "UPPER(NAME)+DTOS(DATUM)")
        ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
  }
  for (const char* d : kDrivers) {
    std::string p = std::string("/") + d;
    // Each shared run follows its exclusive twin, whose rate it is compared with.
    for (bool shared : {false, true}) {
      const std::string m = shared ? "/shared" : "/exclusive";
      benchmark::RegisterBenchmark(("Seek" + p + m).c_str(), BM_Seek, d, shared);
    }
    benchmark::RegisterBenchmark(("TreeSeek" + p).c_str(), BM_TreeSeek, d);
    for (const char* order : {"NAME", ""})
      for (bool shared : {false, true}) {
        const std::string m = shared ? "/shared" : "/exclusive";
        benchmark::RegisterBenchmark(((*order ? "SkipWholeOrder" : "SkipNatural") + p + m).c_str(), BM_SkipWhole, d,
                                     shared, order)
            ->Unit(benchmark::kMillisecond);
      }
    benchmark::RegisterBenchmark(("CursorWholeOrder" + p).c_str(), BM_CursorWholeOrder, d)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Append100k/records" + p).c_str(), BM_Append, d, false)
        ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Append100k/fieldput" + p).c_str(), BM_Append, d, true)
        ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  register_all();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(bench_dir());
  return 0;
}
