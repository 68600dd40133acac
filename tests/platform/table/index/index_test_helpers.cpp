#include "tests/support/fixtures.h"
#include "tests/platform/table/index/index_test_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace mv::index_test {

std::string fixture_root() { return mv::testing::fixtures_root(); }

std::vector<std::string> fixture_cases() {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(fixture_root(), ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file() && it->path().filename() == "expected.json")
      out.push_back(it->path().parent_path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

CodePage code_page_of(const std::string& name) {
  if (name == "cp850") return CodePage::Cp850;
  if (name == "cp437") return CodePage::Cp437;
  return CodePage::Windows1252;
}

std::string from_hex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out += char(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::string scratch_dir(const std::string& name) {
  // One folder per test, so that tests run in parallel never share files.
  std::string test;
  if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
    test = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : test)
    if (!std::isalnum(uint8_t(c)) && c != '.' && c != '_') c = '_';
  return mv::testing::make_scratch_dir(test + "_" + name);
}

index::IndexFormat format_of_case(const Json& e) {
  std::string t = e["indexType"].text;
  if (t == "NTX") return index::IndexFormat::Ntx;
  if (t == "CDX") return index::IndexFormat::Cdx;
  if (e["driver"].text == "DBFMDX") return index::IndexFormat::Mdx;
  if (e["driver"].text == "DBFNTX") return index::IndexFormat::Ntx;
  return index::IndexFormat::Cdx;
}

}  // namespace mv::index_test
