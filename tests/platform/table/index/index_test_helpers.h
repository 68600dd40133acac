#pragma once
// Shared by the index tests: a small JSON reader for the fixtures' expected.json,
// fixture discovery and a scratch folder.
#include <optional>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "tests/support/json.h"
#include "platform/table/index/index_bag.h"

namespace mv::index_test {

using Json = mv::testing::Json;
using mv::testing::read_json_file;


// Folders below the fixture root (MOLVANE_FIXTURES, else the shared fixtures) that hold
// an expected.json.
std::string fixture_root();
std::vector<std::string> fixture_cases();

CodePage code_page_of(const std::string& name);  // "cp850", "cp1252"
std::string from_hex(const std::string& hex);

// A fresh empty folder for one test.
std::string scratch_dir(const std::string& name);

// Which index family an expected.json case uses.
index::IndexFormat format_of_case(const Json& expected);

}  // namespace mv::index_test
