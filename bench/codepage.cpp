// bench-deps: mv_base
#include <benchmark/benchmark.h>

#include <string>

#include "platform/base/codepage.h"

static void BM_CodePageToUtf8(benchmark::State& state) {
  std::string text(1000, '\x84');
  for (auto _ : state) benchmark::DoNotOptimize(mv::cp_to_utf8(mv::CodePage::Cp850, text));
}
BENCHMARK(BM_CodePageToUtf8);
BENCHMARK_MAIN();
