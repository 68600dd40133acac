// Reads every fixture table written by other xBase programs and compares header, fields
// and every record (values, deleted flags, memo texts) with the case's expected.json.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>

#include "fixture_cases.h"
#include "platform/table/field_codec.h"

namespace mv::testing {
namespace {

std::string ymd(Date d) {
  if (d.empty()) return "";
  int y, m, dd;
  d.ymd(y, m, dd);
  char buf[16];
  snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, dd);
  return buf;
}

std::string rtrim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

size_t g_values_compared = 0;

// Compares one field of the current record; answers a description of the difference or "".
std::string compare_value(Table& t, int pos, const Json& want) {
  const FieldInfo& f = t.field(pos);
  bool blank = t.field_blank(pos);
  if (want.is_null()) return blank ? "" : "expected null, field is not blank";
  auto got = t.field_get(pos);
  if (!got) return "read failed: " + got.status().to_string();
  const Value& v = *got;
  std::ostringstream why;
  switch (want.type) {
    case Json::Type::String: {
      std::string have;
      if (v.is_char()) have = cp_to_utf8(t.code_page(), v.str);
      else if (v.is_date()) have = ymd(v.date);
      else return "expected text, got another type";
      if (f.type == 'C' ? rtrim(have) == rtrim(want.text) : have == want.text) return "";
      why << "expected \"" << want.text << "\", got \"" << have << "\"";
      return why.str();
    }
    case Json::Type::Number: {
      if (!v.is_num()) return "expected a number, got another type";
      double tol = 0.5 * std::pow(10.0, -double(std::max<int>(f.decimals, f.type == 'Y' ? 4 : 0))) + 1e-9;
      if (std::abs(v.num - want.number) <= tol) return "";
      why << "expected " << want.text << ", got " << v.num;
      return why.str();
    }
    case Json::Type::Bool:
      if (!v.is_logical()) return "expected a logical, got another type";
      if (v.logical == want.boolean) return "";
      return std::string("expected ") + (want.boolean ? "true" : "false");
    default:
      return "unexpected JSON value";
  }
}

// The first difference of a case, or "".
std::string check_case(const FixtureCase& c) {
  std::string driver;
  auto opened = open_case_table(c, &driver);
  if (!opened) return "open failed: " + opened.status().to_string();
  Table& t = **opened;
  const Json& e = c.expected;
  const Json& h = e["header"];
  std::ostringstream out;
  auto expect_eq = [&](const char* what, long long have, const Json& want) {
    if (want.is_null() || want.type != Json::Type::Number) return true;
    if (have == want.as_int()) return true;
    out << "header " << what << ": expected " << want.text << ", got " << have;
    return false;
  };
  const HeaderInfo& hi = t.header_info();
  if (!expect_eq("version", hi.version, h["version"]) || !expect_eq("recordCount", t.lastrec(), h["recordCount"]) ||
      !expect_eq("headerLength", hi.header_length, h["headerLength"]) ||
      !expect_eq("recordLength", hi.record_length, h["recordLength"]) ||
      !expect_eq("yearByte", hi.year_byte, h["yearByte"]) || !expect_eq("flags", hi.table_flags, h["flags"]) ||
      !expect_eq("flagsByte", hi.table_flags, h["flagsByte"]) ||
      !expect_eq("languageByte", hi.language, h["languageByte"]) ||
      !expect_eq("languageDriver", hi.language, h["languageDriver"]))
    return out.str();
  if (const Json* lu = h.find("lastUpdate")) {
    Date d = dbf_header_date(hi.year_byte, hi.month, hi.day);
    char buf[16] = "";
    if (!d.empty()) snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year(), d.month(), d.day());
    if (lu->text != buf) return "header lastUpdate: expected " + lu->text + ", got " + buf;
  }
  if (const Json* name = h.find("languageDriverName"); name && name->text != hi.language_driver_name)
    return "header languageDriverName: expected " + name->text + ", got " + hi.language_driver_name;
  if (const Json* bs = h.find("memoBlockSize"); bs && (!t.memo() || t.memo()->block_size() != bs->as_int()))
    return "memo block size differs";
  if (const Json* m = e.find("memo"); m && m->find("blockSize") && (!t.memo() || t.memo()->block_size() != (*m)["blockSize"].as_int()))
    return "memo block size differs";

  const auto& fields = e["fields"].items;
  if (fields.size() != t.fcount())
    return "field count: expected " + std::to_string(fields.size()) + ", got " + std::to_string(t.fcount());
  for (size_t i = 0; i < fields.size(); ++i) {
    const FieldInfo& f = t.field(int(i + 1));
    const Json& w = fields[i];
    if (f.name != w["name"].text || std::string(1, f.type) != w["type"].text || f.length != w["len"].as_int() ||
        f.decimals != w["dec"].as_int())
      return "field " + std::to_string(i + 1) + ": expected " + w["name"].text + " " + w["type"].text + "(" +
             w["len"].text + "," + w["dec"].text + "), got " + f.name + " " + f.type + "(" +
             std::to_string(f.length) + "," + std::to_string(f.decimals) + ")";
  }

  const auto& records = e["records"].items;
  if (records.size() != t.lastrec())
    return "records: expected " + std::to_string(records.size()) + ", got " + std::to_string(t.lastrec());
  for (const Json& r : records) {
    uint32_t recno = uint32_t(r["recno"].as_int());
    Status st = t.go_to(recno);
    if (!st) return "record " + std::to_string(recno) + ": " + st.to_string();
    if (t.recno() != recno || t.eof()) return "record " + std::to_string(recno) + ": cannot be reached";
    if (t.deleted() != r["deleted"].boolean)
      return "record " + std::to_string(recno) + ": deleted flag differs (expected " +
             (r["deleted"].boolean ? "deleted" : "live") + ")";
    for (const auto& [name, want] : r["values"].members) {
      int pos = t.field_pos(name);
      if (pos == 0) return "record " + std::to_string(recno) + ": no field " + name;
      std::string diff = compare_value(t, pos, want);
      ++g_values_compared;
      if (!diff.empty()) return "record " + std::to_string(recno) + ", field " + name + ": " + diff;
    }
  }
  // Navigation agrees with the record list: GOTOP .. EOF visits every record once.
  set_deleted_filter(false);
  if (Status st = t.go_top(); !st) return "GOTOP: " + st.to_string();
  uint32_t visited = 0;
  while (!t.eof()) {
    ++visited;
    if (Status st = t.skip(1); !st) return "SKIP: " + st.to_string();
  }
  if (visited != records.size()) return "SKIP visits " + std::to_string(visited) + " records";
  return "";
}

TEST(Interop, EveryFixtureCaseReadsAsExpected) {
  std::string error;
  auto cases = load_fixture_cases(&error);
  ASSERT_TRUE(error.empty()) << error;
  ASSERT_FALSE(cases.empty()) << "no fixture cases below " << fixtures_root();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string diff = check_case(c);
    EXPECT_TRUE(diff.empty()) << c.name << ": " << diff;
  }
  // Guards against a comparison that silently compares nothing.
  EXPECT_GT(g_values_compared, 50000u);
  std::printf("%zu cases, %zu values compared\n", cases.size(), g_values_compared);
}

}  // namespace
}  // namespace mv::testing
