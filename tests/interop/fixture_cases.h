#pragma once
// The fixture cases of the interop test: every folder below the fixtures root that holds
// an expected.json, with the table opened as the case names it.
#include <memory>
#include <string>
#include <vector>

#include "tests/support/fixtures.h"
#include "tests/support/json.h"
#include "platform/base/codepage.h"
#include "platform/table/table.h"

namespace mv::testing {

struct FixtureCase {
  std::string name;    // path below the fixtures root, e.g. "peer/ntx-dbt"
  std::string folder;  // full path
  Json expected;
  std::string table_path;
  std::string driver;  // as expected.json names it
  CodePage code_page = CodePage::Cp850;
};

// Every case, sorted by name. Fails the calling test when the root holds none.
std::vector<FixtureCase> load_fixture_cases(std::string* error = nullptr);
// Opens the case's table read-only: the case's driver first, then the other drivers in
// the table window's try order. Answers the driver that worked in `used_driver`.
Result<std::unique_ptr<Table>> open_case_table(const FixtureCase& c, std::string* used_driver = nullptr);

}  // namespace mv::testing
