// bench-deps: mv_table mv_runtime mv_base
// The table layer against plain file I/O on a generated table of 1,000,000 records of
// 100 bytes (about 100 MB, built once per run in the temporary folder):
//   sequential scan (SKIP + FIELDGET of a character field)  vs  read() + memchr
//   GOTO to random records + FIELDGET                        (records per second, warm)
//   PACK with 10 % deleted                                   vs  copying the file with read/write
//   appending 1,000,000 records                              vs  write() in 64 KiB blocks
//   COPYDB, COPY SDF, COPY DELIMITED                         vs  copying the file
//   full-text search over the record images                  vs  memmem over the file
//   bulk replace of every record (with and without an order) vs  COPYDB (+ building the order)
// and, on a second table of 1,000,000 records of about 100 bytes with a memo field:
//   rebuild widening one field (with progress callback)     vs  COPYDB of the same table
//   the same with a production bag of two orders            vs  COPYDB + building both orders
//   renaming a field in place at 10,000 and 1,000,000 records (should not differ)
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <sys/mman.h>

#include "platform/runtime/strings.h"
#include "platform/table/bulk_replace.h"
#include "platform/table/index/order_list.h"
#include "platform/table/field_codec.h"
#include "platform/table/record_scan.h"
#include "platform/table/restructure.h"
#include "platform/table/table.h"

namespace {

constexpr uint32_t kRecords = 1000000;

struct Fixture {
  std::string dir, table, packed_source;
  std::vector<uint8_t> record_template;
  uint64_t size = 0;

  Fixture() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "mvbench-XXXXXX").string();
    dir = mkdtemp(tmpl.data());
    table = dir + "/GROSS.DBF";
    std::vector<mv::StructRow> rows{{"NAME", 'C', 40, 0}, {"ORT", 'C', 25, 0},   {"BETRAG", 'N', 12, 2},
                                    {"DATUM", 'D', 8, 0},  {"MENGE", 'N', 8, 0}, {"AKTIV", 'L', 1, 0},
                                    {"KZ", 'C', 5, 0}};
    if (!mv::db_create(table, rows, "DBFCDX").is_ok()) std::abort();
    mv::OpenOptions o;
    o.shared = false;
    auto t = mv::Table::open(table, o);
    if (!t) std::abort();
    std::vector<uint8_t> rec((*t)->record_length(), ' ');
    for (uint32_t i = 1; i <= kRecords; ++i) {
      char buf[128];
      snprintf(buf, sizeof buf, "%c%-40s%-25s%12.2f%04d%02d%02d%8u%c%-5s", i % 10 == 0 ? '*' : ' ',
               ("Name " + std::to_string(i * 7919u % 1000003u)).c_str(), "Neubüttel", i * 0.25,
               1950 + int(i % 80), int(1 + i % 12), int(1 + i % 28), i % 100000, i % 3 ? 'T' : 'F', "AB");
      memcpy(rec.data(), buf, rec.size());
      if (!(*t)->append_record(rec).is_ok()) std::abort();
    }
    if (!(*t)->close().is_ok()) std::abort();
    size = std::filesystem::file_size(table);
  }
  ~Fixture() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

std::unique_ptr<mv::Table> open_table(const std::string& path, bool shared = false) {
  mv::OpenOptions o;
  o.shared = shared;
  auto t = mv::Table::open(path, o);
  if (!t) std::abort();
  return std::move(t).value();
}

void copy_plain(const std::string& from, const std::string& to) {
  int in = ::open(from.c_str(), O_RDONLY);
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char> buf(1 << 16);
  ssize_t n;
  while ((n = ::read(in, buf.data(), buf.size())) > 0)
    if (::write(out, buf.data(), size_t(n)) != n) std::abort();
  ::close(in);
  ::close(out);
}

// ---------------------------------------------------------------- baselines

void BM_ReadMemchr(benchmark::State& state) {
  auto& f = fixture();
  std::vector<char> buf(1 << 16);
  for (auto _ : state) {
    int fd = ::open(f.table.c_str(), O_RDONLY);
    size_t hits = 0;
    ssize_t n;
    while ((n = ::read(fd, buf.data(), buf.size())) > 0)
      for (const char* p = buf.data(); (p = static_cast<const char*>(memchr(p, '*', size_t(buf.data() + n - p))));
           ++p)
        ++hits;
    ::close(fd);
    benchmark::DoNotOptimize(hits);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.size));
}
BENCHMARK(BM_ReadMemchr)->Unit(benchmark::kMillisecond);

void BM_FileCopy(benchmark::State& state) {
  auto& f = fixture();
  for (auto _ : state) copy_plain(f.table, f.dir + "/PLAIN.COPY");
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.size));
}
BENCHMARK(BM_FileCopy)->Unit(benchmark::kMillisecond);

void BM_WriteBlocks(benchmark::State& state) {
  auto& f = fixture();
  std::vector<char> block(1 << 16, 'x');
  for (auto _ : state) {
    int fd = ::open((f.dir + "/BLOCKS.BIN").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (uint64_t done = 0; done < f.size; done += block.size())
      if (::write(fd, block.data(), std::min<uint64_t>(block.size(), f.size - done)) < 0) std::abort();
    ::close(fd);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.size));
}
BENCHMARK(BM_WriteBlocks)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- the table layer

void BM_SequentialScan(benchmark::State& state) {
  auto& f = fixture();
  auto t = open_table(f.table);
  mv::set_deleted_filter(false);
  mv::Value v;
  for (auto _ : state) {
    size_t total = 0;
    for ((void)t->go_top(); !t->eof(); (void)t->skip(1)) {
      (void)t->field_get_into(1, v);
      total += v.str.size();
    }
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.size));
}
BENCHMARK(BM_SequentialScan)->Unit(benchmark::kMillisecond);

// The same with a new value per record (FIELDGET returning a fresh value).
void BM_SequentialScanNewValue(benchmark::State& state) {
  auto& f = fixture();
  auto t = open_table(f.table);
  mv::set_deleted_filter(false);
  for (auto _ : state) {
    size_t total = 0;
    for ((void)t->go_top(); !t->eof(); (void)t->skip(1)) {
      auto v = t->field_get(1);
      total += v->str.size();
    }
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.size));
}
BENCHMARK(BM_SequentialScanNewValue)->Unit(benchmark::kMillisecond);

void BM_GotoRandom(benchmark::State& state) {
  auto& f = fixture();
  auto t = open_table(f.table);
  std::mt19937 rng(42);
  std::vector<uint32_t> targets(1 << 16);
  for (auto& r : targets) r = 1 + rng() % kRecords;
  // Warm: every page of the file has been touched once.
  for ((void)t->go_top(); !t->eof(); (void)t->skip(1)) {
  }
  size_t i = 0, total = 0;
  for (auto _ : state) {
    (void)t->go_to(targets[i++ & 0xFFFF]);
    auto v = t->field_get(1);
    total += v->str.size();
  }
  benchmark::DoNotOptimize(total);
  state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_GotoRandom);

void BM_Pack(benchmark::State& state) {
  auto& f = fixture();
  std::string work = f.dir + "/PACK.DBF";
  for (auto _ : state) {
    state.PauseTiming();
    copy_plain(f.table, work);
    auto t = open_table(work);
    state.ResumeTiming();
    if (!t->pack().is_ok()) std::abort();
    state.PauseTiming();
    t.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.size));
}
BENCHMARK(BM_Pack)->Unit(benchmark::kMillisecond);

void BM_Append(benchmark::State& state) {
  auto& f = fixture();
  auto src = open_table(f.table);
  (void)src->go_to(1);
  std::vector<uint8_t> rec(src->record().begin(), src->record().end());
  auto rows = src->dbstruct();
  src.reset();
  std::string work = f.dir + "/APPEND.DBF";
  for (auto _ : state) {
    state.PauseTiming();
    if (!mv::db_create(work, rows, "DBFCDX").is_ok()) std::abort();
    auto t = open_table(work);
    state.ResumeTiming();
    for (uint32_t i = 0; i < kRecords; ++i)
      if (!t->append_record(rec).is_ok()) std::abort();
    if (!t->close().is_ok()) std::abort();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.size));
}
BENCHMARK(BM_Append)->Unit(benchmark::kMillisecond);

// APPEND BLANK and a FIELDPUT per record, as a program fills a table field by field.
void BM_AppendFieldPut(benchmark::State& state) {
  auto& f = fixture();
  auto src = open_table(f.table);
  auto rows = src->dbstruct();
  src.reset();
  std::string work = f.dir + "/APPEND2.DBF";
  mv::Value name = mv::Value::character("Name");
  for (auto _ : state) {
    state.PauseTiming();
    if (!mv::db_create(work, rows, "DBFCDX").is_ok()) std::abort();
    auto t = open_table(work);
    state.ResumeTiming();
    for (uint32_t i = 0; i < kRecords; ++i)
      if (!t->append_blank().is_ok() || !t->field_put(1, name).is_ok()) std::abort();
    if (!t->close().is_ok()) std::abort();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.size));
}
BENCHMARK(BM_AppendFieldPut)->Unit(benchmark::kMillisecond);

template <typename Op>
void copy_bench(benchmark::State& state, Op op, bool shared = false) {
  auto& f = fixture();
  auto t = open_table(f.table, shared);
  mv::set_deleted_filter(false);
  for (auto _ : state)
    if (!op(*t, f.dir).is_ok()) std::abort();
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.size));
}

void BM_CopyDb(benchmark::State& state) {
  copy_bench(state, [](mv::Table& t, const std::string& dir) { return t.copy_db(dir + "/KOPIE.DBF"); });
}
BENCHMARK(BM_CopyDb)->Unit(benchmark::kMillisecond);

// The yardstick of the shared bulk replace: the same copy from a table opened shared.
void BM_CopyDbShared(benchmark::State& state) {
  copy_bench(state, [](mv::Table& t, const std::string& dir) { return t.copy_db(dir + "/KOPIE.DBF"); }, true);
}
BENCHMARK(BM_CopyDbShared)->Unit(benchmark::kMillisecond);

void BM_CopySdf(benchmark::State& state) {
  copy_bench(state, [](mv::Table& t, const std::string& dir) { return t.copy_sdf(dir + "/KOPIE.SDF"); });
}
BENCHMARK(BM_CopySdf)->Unit(benchmark::kMillisecond);

void BM_CopyDelimited(benchmark::State& state) {
  copy_bench(state, [](mv::Table& t, const std::string& dir) { return t.copy_delimited(dir + "/KOPIE.TXT"); });
}
BENCHMARK(BM_CopyDelimited)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- search and bulk replace

// An absent text, and one whose first letter stands in every record ("Name ...").
const char* const kNeedles[] = {"QXZYW", "NAME 9999999"};

void BM_MemmemFile(benchmark::State& state) {
  auto& f = fixture();
  const std::string needle = kNeedles[state.range(0)];
  int fd = ::open(f.table.c_str(), O_RDONLY);
  void* m = mmap(nullptr, f.size, PROT_READ, MAP_SHARED, fd, 0);
  for (auto _ : state) {
    size_t hits = 0;
    const char* p = static_cast<const char*>(m);
    const char* end = p + f.size;
    while ((p = static_cast<const char*>(memmem(p, size_t(end - p), needle.data(), needle.size())))) ++hits, ++p;
    benchmark::DoNotOptimize(hits);
  }
  munmap(m, f.size);
  ::close(fd);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.size));
}
BENCHMARK(BM_MemmemFile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_FindInRecords(benchmark::State& state) {
  auto& f = fixture();
  auto t = open_table(f.table);
  const unsigned char* fold = mv::upper_map(mv::CaseFlavour::Full, t->code_page());
  for (auto _ : state) {
    auto hits = mv::find_in_records(*t, kNeedles[state.range(0)], fold, [](uint32_t, size_t) { return true; });
    if (!hits) std::abort();
    benchmark::DoNotOptimize(hits->size());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.size));
}
BENCHMARK(BM_FindInRecords)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Every record's BETRAG doubled, on a fresh copy of the table; with range(0) = 1 an order
// on BETRAG is kept up to date; with range(1) = 1 the table is opened shared (each record
// written under its lock). The copy is not timed.
void BM_BulkReplaceAll(benchmark::State& state) {
  auto& f = fixture();
  const bool ordered = state.range(0) == 1;
  const bool shared = state.range(1) == 1;
  mv::set_deleted_filter(false);
  for (auto _ : state) {
    state.PauseTiming();
    const std::string path = f.dir + "/ERSETZT.DBF";
    std::filesystem::remove(f.dir + "/ERSETZT.cdx");
    copy_plain(f.table, path);
    auto t = open_table(path, shared);
    std::unique_ptr<mv::OrderList> ol;
    if (ordered) {
      auto l = mv::OrderList::attach(*t);
      if (!l || !(*l)->create_order("BETRAG", "", "BETRAG").is_ok()) std::abort();
      ol = std::move(l).value();
    }
    state.ResumeTiming();
    mv::BulkReplace run;
    run.field = t->field_pos("BETRAG");
    run.value = [](mv::Table& t) -> mv::Result<mv::Value> {
      MV_ASSIGN_OR_RETURN(mv::Value v, t.field_get(3));
      return mv::Value::numeric(v.num * 2);
    };
    if (!mv::bulk_replace(*t, run).status.is_ok()) std::abort();
    ol.reset();
    if (!t->close().is_ok()) std::abort();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.size));
}
BENCHMARK(BM_BulkReplaceAll)
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The yardstick of the ordered run: COPYDB and building the order on the copy.
void BM_CopyDbAndOrder(benchmark::State& state) {
  auto& f = fixture();
  auto t = open_table(f.table);
  mv::set_deleted_filter(false);
  for (auto _ : state) {
    std::filesystem::remove(f.dir + "/KOPIE2.cdx");
    if (!t->copy_db(f.dir + "/KOPIE2.DBF").is_ok()) std::abort();
    auto c = open_table(f.dir + "/KOPIE2.DBF");
    auto l = mv::OrderList::attach(*c);
    if (!l || !(*l)->create_order("BETRAG", "", "BETRAG").is_ok()) std::abort();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.size));
}
BENCHMARK(BM_CopyDbAndOrder)->Iterations(1)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- changing the structure

// 1,000,000 records of 101 bytes (NAME C40, ORT C25, BETRAG N12.2, DATUM D, KZ C5, NOTIZ M),
// every fourth with a memo text; beside it the same table with a production bag of two
// orders. Built once, on first use.
struct MemoFixture {
  std::string dir, table, bagged;
  uint64_t size = 0;

  static std::vector<mv::StructRow> rows() {
    return {{"NAME", 'C', 40, 0}, {"ORT", 'C', 25, 0}, {"BETRAG", 'N', 12, 2},
            {"DATUM", 'D', 8, 0}, {"KZ", 'C', 5, 0},   {"NOTIZ", 'M', 10, 0}};
  }

  MemoFixture() {
    dir = fixture().dir;
    table = dir + "/MEMO.DBF";
    if (!mv::db_create(table, rows(), "DBFCDX").is_ok()) std::abort();
    auto t = open_table(table);
    std::vector<uint8_t> rec(t->record_length(), ' ');
    const mv::FieldInfo memo_field = t->field(6);
    for (uint32_t i = 1; i <= kRecords; ++i) {
      char buf[128];
      snprintf(buf, sizeof buf, "%c%-40s%-25s%12.2f%04d%02d%02d%-5s", i % 10 == 0 ? '*' : ' ',
               ("Name " + std::to_string(i * 7919u % 1000003u)).c_str(), "Neubüttel", i * 0.25,
               1950 + int(i % 80), int(1 + i % 12), int(1 + i % 28), "AB");
      memcpy(rec.data(), buf, rec.size() - 10);
      uint32_t block = 0;
      if (i % 4 == 0) {
        auto b = t->memo()->write("Notiz zum Datensatz " + std::to_string(i), 0);
        if (!b) std::abort();
        block = *b;
      }
      mv::put_memo_pointer(memo_field, rec.data(), block);
      if (!t->append_record(rec).is_ok()) std::abort();
    }
    if (!t->close().is_ok()) std::abort();
    size = std::filesystem::file_size(table);
    bagged = dir + "/BAG.DBF";
    copy_plain(table, bagged);
    copy_plain(dir + "/MEMO.FPT", dir + "/BAG.FPT");
    auto b = open_table(bagged);
    auto l = mv::OrderList::attach(*b);
    if (!l || !(*l)->create_order("NAME", "", "UPPER(NAME)").is_ok() ||
        !(*l)->create_order("BETRAG", "", "BETRAG").is_ok())
      std::abort();
  }
};

MemoFixture& memo_fixture() {
  static MemoFixture f;
  return f;
}

// The new structure: NAME widened from 40 to 45 characters, everything else kept.
std::vector<mv::RestructureField> widened_name() {
  std::vector<mv::RestructureField> out;
  for (auto r : MemoFixture::rows()) {
    if (r.name == "NAME") r.length = 45;
    out.push_back({r, r.name});
  }
  return out;
}

// Rebuilds a fresh copy of the memo table (range(0) = 1: with its bag); the copy is not timed.
void BM_RestructureWiden(benchmark::State& state) {
  auto& f = memo_fixture();
  const bool bag = state.range(0) == 1;
  const std::string from = bag ? f.bagged : f.table;
  const std::string stem = f.dir + (bag ? "/UMBAU2" : "/UMBAU");
  uint64_t calls = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove(stem + ".CDX");
    copy_plain(from, stem + ".DBF");
    copy_plain(mv::path_replace_ext(from, ".FPT"), stem + ".FPT");
    if (bag) copy_plain(mv::path_replace_ext(from, ".CDX"), stem + ".CDX");
    state.ResumeTiming();
    mv::RestructureOptions opt;
    opt.driver = "DBFCDX";
    opt.progress = [&](uint64_t, uint64_t) {
      ++calls;
      return true;
    };
    auto out = mv::restructure_table(mv::FileSystem::posix(), stem + ".DBF", widened_name(), opt);
    if (!out.ok() || !out.orders_left.empty()) std::abort();
  }
  benchmark::DoNotOptimize(calls);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.size));
}
BENCHMARK(BM_RestructureWiden)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// Its yardstick: COPYDB of the same table, with range(0) = 1 also building the two orders.
void BM_CopyDbMemo(benchmark::State& state) {
  auto& f = memo_fixture();
  const bool orders = state.range(0) == 1;
  auto t = open_table(f.table);
  mv::set_deleted_filter(false);
  for (auto _ : state) {
    std::filesystem::remove(f.dir + "/MKOPIE.CDX");
    if (!t->copy_db(f.dir + "/MKOPIE.DBF").is_ok()) std::abort();
    if (orders) {
      auto c = open_table(f.dir + "/MKOPIE.DBF");
      auto l = mv::OrderList::attach(*c);
      if (!l || !(*l)->create_order("NAME", "", "UPPER(NAME)").is_ok() ||
          !(*l)->create_order("BETRAG", "", "BETRAG").is_ok())
        std::abort();
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.size));
}
BENCHMARK(BM_CopyDbMemo)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// Renaming a field in place and back: the header only, whatever the record count
// (range(0) records).
void BM_RenameInPlace(benchmark::State& state) {
  const uint32_t n = uint32_t(state.range(0));
  std::string path;
  if (n == kRecords) {
    path = memo_fixture().table;
  } else {
    path = fixture().dir + "/KLEIN.DBF";
    if (!mv::db_create(path, MemoFixture::rows(), "DBFCDX").is_ok()) std::abort();
    auto t = open_table(path);
    std::vector<uint8_t> rec(t->record_length(), ' ');
    for (uint32_t i = 0; i < n; ++i)
      if (!t->append_record(rec).is_ok()) std::abort();
    if (!t->close().is_ok()) std::abort();
  }
  bool flip = false;
  for (auto _ : state) {
    const char* from = flip ? "KUNDE" : "NAME";
    const char* to = flip ? "NAME" : "KUNDE";
    if (!mv::rename_field_in_place(mv::FileSystem::posix(), path, from, to).empty()) std::abort();
    flip = !flip;
  }
  if (flip && !mv::rename_field_in_place(mv::FileSystem::posix(), path, "KUNDE", "NAME").empty()) std::abort();
}
BENCHMARK(BM_RenameInPlace)->Arg(10000)->Arg(kRecords)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
