// bench-deps: mv_header mv_table mv_runtime mv_base
// The header page's file work against plain file I/O:
//   header test of 1,000,000 records of 100 bytes (its deletion-flag scan)  vs  one read() pass
//   records view in hex of 1,000,000 records of 4000 bytes                   vs  the same of 1,000
//   numbered backup of table, memo and bag                                  vs  copying with read/write
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "header/header_file.h"
#include "platform/table/backup.h"
#include "platform/table/transfer.h"

namespace {

// A table of `records` records of `record_length` bytes whose record area is written (or,
// with `sparse`, only sized).
std::string make_table(const std::string& dir, const std::string& name, uint32_t records, uint16_t record_length,
                       bool sparse) {
  const std::string path = dir + "/" + name;
  std::vector<mv::StructRow> rows{{"TEXT", 'C', uint32_t(record_length - 1), 0}};
  if (!mv::db_create(path, rows, "DBFCDX").is_ok()) std::abort();
  int fd = ::open(path.c_str(), O_RDWR);
  uint8_t count[4] = {uint8_t(records), uint8_t(records >> 8), uint8_t(records >> 16), uint8_t(records >> 24)};
  if (::pwrite(fd, count, 4, 4) != 4) std::abort();
  const off_t start = 32 + 32 + 1;
  const uint64_t area = uint64_t(records) * record_length;
  if (sparse) {
    if (::ftruncate(fd, off_t(start + area + 1)) != 0) std::abort();
  } else {
    std::vector<char> block(size_t(record_length) * 1000, ' ');
    for (uint64_t off = 0; off < area; off += block.size())
      if (::pwrite(fd, block.data(), block.size(), off_t(start + off)) != ssize_t(block.size())) std::abort();
  }
  ::close(fd);
  return path;
}

void write_file(const std::string& path, size_t size) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char> block(1 << 20, 'x');
  for (size_t off = 0; off < size; off += block.size())
    if (::write(fd, block.data(), std::min(block.size(), size - off)) < 0) std::abort();
  ::close(fd);
}

struct Fixture {
  std::string dir, table, wide, wide_small;
  Fixture() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "mvbench-header-XXXXXX").string();
    dir = mkdtemp(tmpl.data());
    table = make_table(dir, "GROSS.DBF", 1000000, 100, false);
    write_file(dir + "/GROSS.FPT", 20u << 20);
    write_file(dir + "/GROSS.CDX", 10u << 20);
    wide = make_table(dir, "BREIT.DBF", 1000000, 4000, true);
    wide_small = make_table(dir, "KLEIN.DBF", 1000, 4000, true);
  }
  ~Fixture() { std::filesystem::remove_all(dir); }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void copy_plain(const std::string& from, const std::string& to) {
  int in = ::open(from.c_str(), O_RDONLY);
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char> buf(1 << 16);
  ssize_t n;
  while ((n = ::read(in, buf.data(), buf.size())) > 0)
    if (::write(out, buf.data(), size_t(n)) != n) std::abort();
  ::fsync(out);
  ::close(in);
  ::close(out);
}

void BM_PlainReadPass(benchmark::State& state) {
  const std::string path = fixture().table;
  std::vector<char> buf(1 << 16);
  for (auto _ : state) {
    int fd = ::open(path.c_str(), O_RDONLY);
    uint64_t sum = 0;
    ssize_t n;
    while ((n = ::read(fd, buf.data(), buf.size())) > 0) sum += uint8_t(buf[0]);
    ::close(fd);
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_PlainReadPass)->Unit(benchmark::kMillisecond);

void BM_HeaderTest(benchmark::State& state) {
  const std::vector<mv::header::DescriptorRow> rows = {{1, "TEXT", 'C', 99, 0}};
  for (auto _ : state) {
    auto r = mv::header::test_header(mv::FileSystem::posix(), fixture().table, rows, std::nullopt, 1920);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_HeaderTest)->Unit(benchmark::kMillisecond);

// What the grid does for one screen of the hex view: lay the view out, read the rows
// shown and render them.
void hex_screen(const std::string& path) {
  auto layout = mv::header::record_layout(mv::FileSystem::posix(), path);
  auto rows = mv::header::read_raw_rows(mv::FileSystem::posix(), layout.value(), 0, 64);
  const auto& bytes = rows.value();
  for (size_t off = 0; off < bytes.size(); off += layout.value().row_length) {
    auto text = mv::header::hex_form(std::span<const uint8_t>(bytes.data() + off, layout.value().row_length));
    benchmark::DoNotOptimize(text);
  }
}

void BM_HexView1000000Records(benchmark::State& state) {
  for (auto _ : state) hex_screen(fixture().wide);
}
BENCHMARK(BM_HexView1000000Records)->Unit(benchmark::kMicrosecond);

void BM_HexView1000Records(benchmark::State& state) {
  for (auto _ : state) hex_screen(fixture().wide_small);
}
BENCHMARK(BM_HexView1000Records)->Unit(benchmark::kMicrosecond);

constexpr std::string_view kExts[] = {".DBF", ".CDX", ".MDX", ".NTX", ".FPT", ".DBT", ".DFL"};

void BM_Backup(benchmark::State& state) {
  for (auto _ : state) {
    auto b = mv::make_numbered_backup(mv::FileSystem::posix(), fixture().table, kExts);
    state.PauseTiming();
    for (const char* ext : {".DBF", ".CDX", ".FPT"}) std::filesystem::remove(b.new_base + ext);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Backup)->Unit(benchmark::kMillisecond);

void BM_CopyWithReadWrite(benchmark::State& state) {
  const std::string base = fixture().dir + "/GROSS";
  for (auto _ : state) {
    for (const char* ext : {".DBF", ".CDX", ".FPT"}) copy_plain(base + ext, base + "_X" + ext);
    state.PauseTiming();
    for (const char* ext : {".DBF", ".CDX", ".FPT"}) std::filesystem::remove(base + "_X" + ext);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_CopyWithReadWrite)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
