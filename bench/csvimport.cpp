// bench-deps: mv_shell mv_table mv_runtime mv_base
// The CSV import against the table layer's APPEND FROM DELIMITED of the same records
// (1,000,000 lines of seven fields, as in table.cpp), and the memory the import takes at
// 100,000 and at 1,000,000 lines (the growth of the resident set while it runs, reported
// as the counter "peak_kib"): both passes stream, so it must not grow with the file.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/table/table.h"
#include "shell/csv_import.h"

namespace {

struct Fixture {
  std::string dir;
  Fixture() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "mvbench-csv-XXXXXX").string();
    dir = mkdtemp(tmpl.data());
    for (uint32_t lines : {100000u, 1000000u}) {
      std::ofstream csv(path("IMPORT" + std::to_string(lines), ".csv"), std::ios::binary);
      std::ofstream del(path("DELIM" + std::to_string(lines), ".txt"), std::ios::binary);
      csv << "NAME;ORT;BETRAG;DATUM;MENGE;AKTIV;KZ\n";
      for (uint32_t i = 1; i <= lines; ++i) {
        char buf[256];
        const std::string name = "Name " + std::to_string(i * 7919u % 1000003u);
        snprintf(buf, sizeof buf, "%s;Neub\xC3\xBCttel;%.2f;%02d.%02d.%04d;%u;%c;AB\n", name.c_str(), i * 0.25,
                 int(1 + i % 28), int(1 + i % 12), 1950 + int(i % 80), i % 100000, i % 3 ? 'T' : 'F');
        csv << buf;
        snprintf(buf, sizeof buf, "\"%s\",\"Neub\x81ttel\",%.2f,%04d%02d%02d,%u,%c,\"AB\"\r\n", name.c_str(),
                 i * 0.25, 1950 + int(i % 80), int(1 + i % 12), int(1 + i % 28), i % 100000, i % 3 ? 'T' : 'F');
        del << buf;
      }
    }
  }
  ~Fixture() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::string path(const std::string& stem, const char* ext) const { return dir + "/" + stem + ext; }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

long resident_kib() {
  long pages = 0, resident = 0;
  if (FILE* f = fopen("/proc/self/statm", "r")) {
    if (fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void BM_ImportCsv(benchmark::State& state) {
  auto& f = fixture();
  const std::string csv = f.path("IMPORT" + std::to_string(state.range(0)), ".csv");
  long peak = 0;
  for (auto _ : state) {
    const long before = resident_kib();
    mv::CsvImportHooks hooks;
    hooks.progress = [&](uint64_t, uint64_t) {
      peak = std::max(peak, resident_kib() - before);
      return true;
    };
    hooks.confirm_overwrite = [](const std::string&) { return true; };
    const mv::CsvImportResult r = mv::import_csv(mv::FileSystem::posix(), csv, mv::CodePage::Cp850, hooks);
    if (!r.message.empty()) std::abort();
  }
  state.counters["peak_kib"] = double(peak);
  state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ImportCsv)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_AppendDelimited(benchmark::State& state) {
  auto& f = fixture();
  const std::string source = f.path("DELIM" + std::to_string(state.range(0)), ".txt");
  const std::string target = f.path("ZIEL", ".DBF");
  for (auto _ : state) {
    std::vector<mv::StructRow> rows{{"NAME", 'C', 12, 0}, {"ORT", 'C', 9, 0}, {"BETRAG", 'N', 9, 2},
                                    {"DATUM", 'D', 8, 0}, {"MENGE", 'N', 5, 0}, {"AKTIV", 'C', 1, 0},
                                    {"KZ", 'C', 2, 0}};
    if (!mv::db_create(target, rows, "DBFCDX", mv::CodePage::Cp850).is_ok()) std::abort();
    mv::OpenOptions o;
    o.shared = false;
    o.code_page = mv::CodePage::Cp850;
    auto t = mv::Table::open(target, o);
    if (!t || !(*t)->append_delimited(source).is_ok() || !(*t)->close().is_ok()) std::abort();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_AppendDelimited)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
