// Fuzz target: opening a table (DBF plus memo file) and reading every record and field,
// then a few writes, all in memory.
#include <cstddef>
#include <cstdint>

#include "tests/support/mem_fs.h"
#include "platform/table/table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  static const char* drivers[] = {"DBFNTX", "DBFCDX", "_DBFCDX", "DBFMDX"};
  const char* driver = drivers[data[0] % 4];
  size_t dbf_len = std::min<size_t>(size - 3, size_t(data[1]) | size_t(data[2]) << 8);
  mv::fuzzing::MemFileSystem fs;
  fs.put("t.dbf", mv::fuzzing::Bytes(data + 3, data + 3 + dbf_len));
  mv::fuzzing::Bytes memo(data + 3 + dbf_len, data + size);
  fs.put("t.dbt", memo);
  fs.put("t.fpt", memo);
  mv::OpenOptions o;
  o.shared = data[0] & 4;
  o.driver = driver;
  o.fs = &fs;
  mv::set_deleted_filter(data[0] & 8);
  auto t = mv::Table::open("t.dbf", o);
  if (!t) return 0;
  mv::Table& tab = **t;
  int steps = 0;
  for ((void)tab.go_top(); !tab.eof() && steps < 300; (void)tab.skip(1), ++steps) {
    (void)tab.deleted();
    for (size_t f = 1; f <= tab.fcount(); ++f) {
      (void)tab.field_get(int(f));
      (void)tab.field_blank(int(f));
    }
  }
  (void)tab.go_bottom();
  (void)tab.skip(-3);
  (void)tab.count_rest();
  if (!tab.read_only()) {
    (void)tab.go_to(1);
    (void)tab.field_put(1, mv::Value::character("fuzz"));
    (void)tab.append_blank();
    for (size_t f = 1; f <= tab.fcount(); ++f) (void)tab.field_put(int(f), mv::Value::character("abc"));
    (void)tab.delete_record();
    if (data[0] & 16) (void)tab.pack();
    (void)tab.commit();
  }
  return 0;
}
