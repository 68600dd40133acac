// Fuzz target: the memo readers (DBT III, DBT IV, FPT) on arbitrary memo files, with a
// write and read-back on top.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/support/mem_fs.h"
#include "platform/table/memo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  mv::MemoKind kind = data[0] % 3 == 0 ? mv::MemoKind::Dbt3 : data[0] % 3 == 1 ? mv::MemoKind::Dbt4 : mv::MemoKind::Fpt;
  mv::fuzzing::MemFileSystem fs;
  fs.put("m.dbt", mv::fuzzing::Bytes(data + 1, data + size));
  auto m = mv::MemoFile::open(fs, "m.dbt", kind, true);
  if (!m) return 0;
  for (uint32_t b = 0; b < 24; ++b) (void)(*m)->read(b);
  for (size_t i = 1; i + 4 <= size && i < 64; i += 4) {
    uint32_t block = uint32_t(data[i]) | uint32_t(data[i + 1]) << 8 | uint32_t(data[i + 2]) << 16 | uint32_t(data[i + 3]) << 24;
    (void)(*m)->read(block);
  }
  std::string text(size % 700 + 1, 'x');
  auto w = (*m)->write(text, size > 8 ? data[size - 1] % 16 : 0);
  if (w) {
    auto r = (*m)->read(*w);
    if (!r || *r != text) __builtin_trap();  // what was written reads back
  }
  return 0;
}
