#include "fixture_cases.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace mv::testing {

namespace fsys = std::filesystem;

static std::string lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::vector<FixtureCase> load_fixture_cases(std::string* error) {
  std::vector<FixtureCase> out;
  std::string root = fixtures_root();
  std::error_code ec;
  if (!fsys::is_directory(root, ec)) {
    if (error) *error = "fixtures folder not found: " + root;
    return out;
  }
  for (auto it = fsys::recursive_directory_iterator(root, ec); it != fsys::recursive_directory_iterator();
       it.increment(ec)) {
    if (ec) break;
    if (!it->is_regular_file() || it->path().filename() != "expected.json") continue;
    FixtureCase c;
    c.folder = it->path().parent_path().string();
    c.name = fsys::relative(it->path().parent_path(), root).generic_string();
    std::string err;
    auto j = read_json_file(it->path().string(), &err);
    if (!j) {
      if (error) *error = c.name + ": " + err;
      continue;
    }
    c.expected = std::move(*j);
    std::string table = c.expected["table"].text;
    if (table.empty())
      for (const auto& f : c.expected["files"].items)
        if (lower(f.text).size() > 4 && lower(f.text).ends_with(".dbf")) table = f.text;
    c.table_path = c.folder + "/" + table;
    c.driver = c.expected["driver"].text;
    std::string cp = c.expected["codepage"].text;
    if (cp.empty()) cp = c.expected["header"]["codepage"].text;
    c.code_page = cp == "cp1252" ? CodePage::Windows1252 : CodePage::Cp850;
    out.push_back(std::move(c));
  }
  std::sort(out.begin(), out.end(), [](const FixtureCase& a, const FixtureCase& b) { return a.name < b.name; });
  return out;
}

Result<std::unique_ptr<Table>> open_case_table(const FixtureCase& c, std::string* used_driver) {
  std::vector<std::string> order{c.driver};
  for (auto d : kDriverNames)
    if (d != c.driver) order.emplace_back(d);
  Status last = Status::not_found(c.table_path);
  for (const auto& d : order) {
    OpenOptions o;
    o.read_only = true;
    o.shared = true;
    o.driver = d;
    o.code_page = c.code_page;
    auto t = Table::open(c.table_path, o);
    if (t) {
      if (used_driver) *used_driver = d;
      return t;
    }
    last = t.status();
    if (last.kind() == StatusKind::Locked) break;
  }
  return last;
}

}  // namespace mv::testing
