#include "table_helpers.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace mv::testing {

std::vector<uint8_t> read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<StructRow> sample_fields(bool memo) {
  std::vector<StructRow> f{{"NAME", 'C', 20, 0}, {"BETRAG", 'N', 10, 2}, {"DATUM", 'D', 8, 0}, {"AKTIV", 'L', 1, 0}};
  if (memo) f.push_back({"NOTIZ", 'M', 10, 0});
  return f;
}

void make_table(const std::string& path, const std::string& driver, int n, bool memo,
                const std::vector<uint32_t>& deleted) {
  ASSERT_TRUE(db_create(path, sample_fields(memo), driver).is_ok());
  auto t = open_ok(path, false, false, driver);
  ASSERT_TRUE(t);
  for (int i = 1; i <= n; ++i) {
    MV_ASSERT_OK(t->append_blank());
    MV_ASSERT_OK(t->field_put("NAME", Value::character("Name " + std::to_string(i))));
    MV_ASSERT_OK(t->field_put("BETRAG", Value::numeric(i * 1.5)));
    MV_ASSERT_OK(t->field_put("DATUM", Value::of_date(Date::from_ymd(2020, 1, 1) + (i - 1))));
    MV_ASSERT_OK(t->field_put("AKTIV", Value::boolean(i % 2 == 1)));
    if (memo) MV_ASSERT_OK(t->field_put("NOTIZ", Value::character("Notiz " + std::to_string(i))));
  }
  for (uint32_t r : deleted) {
    MV_ASSERT_OK(t->go_to(r));
    MV_ASSERT_OK(t->delete_record());
  }
  MV_ASSERT_OK(t->close());
}

std::unique_ptr<Table> open_ok(const std::string& path, bool shared, bool read_only, const std::string& driver,
                               FileSystem* fs) {
  OpenOptions o;
  o.shared = shared;
  o.read_only = read_only;
  o.driver = driver;
  o.fs = fs;
  auto t = Table::open(path, o);
  EXPECT_TRUE(t.is_ok()) << t.status().to_string();
  if (!t) return nullptr;
  return std::move(t).value();
}

std::string str_field(Table& t, const std::string& name) {
  auto v = t.field_get(name);
  if (!v) return "<" + v.status().to_string() + ">";
  std::string s = v->str;
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

}  // namespace mv::testing
