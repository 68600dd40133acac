// bench-deps: mv_runtime mv_base
// The key UPPER(NAME)+DTOS(DATUM) over in-memory records: the compiled expression
// against a hand-written function that builds the same key, in the same run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/runtime/date.h"
#include "platform/runtime/expr.h"

namespace {

constexpr int kRecords = 4096;
constexpr int kRecLen = 1 + 30 + 8;  // deleted flag, NAME C(30), DATUM D

struct Records {
  std::vector<uint8_t> data;
  Records() : data(static_cast<size_t>(kRecords) * kRecLen, ' ') {
    std::mt19937 rng(7);
    for (int r = 0; r < kRecords; ++r) {
      uint8_t* rec = data.data() + static_cast<size_t>(r) * kRecLen;
      int n = 5 + static_cast<int>(rng() % 20);
      for (int i = 0; i < n; ++i) rec[1 + i] = static_cast<uint8_t>("abcdefghijklmnopqrstuvwxyz\xe4\xf6\xfc"[rng() % 29]);
      mv::Date d = mv::Date::from_ymd(1990, 1, 1) + static_cast<int32_t>(rng() % 12000);
      mv::dtos_into(d, reinterpret_cast<char*>(rec + 31));
    }
  }
  const uint8_t* rec(int i) const { return data.data() + static_cast<size_t>(i % kRecords) * kRecLen; }
};

const Records& records() {
  static const Records r;
  return r;
}

class Fields : public mv::FieldResolver {
 public:
  std::optional<mv::FieldRef> resolve(std::string_view, std::string_view name) override {
    mv::FieldRef f;
    if (name == "NAME") {
      f.type = mv::ValueType::Character;
      f.storage = mv::FieldStorage::Character;
      f.len = 30;
      f.offset = 1;
      return f;
    }
    if (name == "DATUM") {
      f.type = mv::ValueType::Date;
      f.storage = mv::FieldStorage::DateText;
      f.len = 8;
      f.offset = 31;
      return f;
    }
    return std::nullopt;
  }
};

// What a programmer would write by hand for this one key: map a-z of the name, and
// copy the stored date when it is a valid date (else eight blanks).
void hand_key(const uint8_t* rec, std::string& out) {
  out.resize(38);
  char* o = out.data();
  for (int i = 0; i < 30; ++i) {
    char c = static_cast<char>(rec[1 + i]);
    o[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  }
  const char* p = reinterpret_cast<const char*>(rec + 31);
  int v[8];
  bool ok = true;
  for (int i = 0; i < 8; ++i) {
    v[i] = p[i] - '0';
    if (v[i] < 0 || v[i] > 9) ok = false;
  }
  if (ok && mv::Date::valid_ymd(v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3], v[4] * 10 + v[5], v[6] * 10 + v[7]))
    std::memcpy(o + 30, p, 8);
  else
    std::memset(o + 30, ' ', 8);
}

void BM_CompiledKey(benchmark::State& state) {
  Fields fields;
  mv::Expression e = mv::Expression::compile("UPPER(NAME)+DTOS(DATUM)", {}, &fields);
  if (!e.ok()) {
    state.SkipWithError(e.error().message.c_str());
    return;
  }
  const Records& rs = records();
  mv::EvalRecord r;
  r.size = kRecLen;
  int i = 0;
  for (auto _ : state) {
    r.data = rs.rec(i++);
    const mv::Value* v = e.evaluate(r);
    benchmark::DoNotOptimize(v->str.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CompiledKey);

void BM_HandWrittenKey(benchmark::State& state) {
  const Records& rs = records();
  std::string out;
  int i = 0;
  for (auto _ : state) {
    hand_key(rs.rec(i++), out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HandWrittenKey);

// A bulk-replace condition: compiled once, evaluated per record.
void BM_CompiledCondition(benchmark::State& state) {
  Fields fields;
  mv::Expression e = mv::Expression::compile("NAME = \"ab\" .OR. DATUM > CTOD(\"01.01.2000\")", {}, &fields);
  const Records& rs = records();
  mv::EvalRecord r;
  r.size = kRecLen;
  int i = 0;
  for (auto _ : state) {
    r.data = rs.rec(i++);
    benchmark::DoNotOptimize(e.evaluate(r)->logical);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CompiledCondition);

void BM_CompileKey(benchmark::State& state) {
  Fields fields;
  for (auto _ : state) {
    mv::Expression e = mv::Expression::compile("UPPER(NAME)+DTOS(DATUM)", {}, &fields);
    benchmark::DoNotOptimize(e.ok());
  }
}
BENCHMARK(BM_CompileKey);

}  // namespace

BENCHMARK_MAIN();
