#pragma once
// Shared by the index tests: a small JSON reader for the fixtures' expected.json,
// fixture discovery, a scratch folder and the other programs' index readers.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "tests/support/json.h"
#include "platform/table/index/index_bag.h"

// Stops the test, with the message, when the step fails.
#define ASSERT_OK(expr)                          \
  do {                                           \
    ::mv::Status st_ = (expr);                   \
    ASSERT_TRUE(st_.is_ok()) << st_.to_string(); \
  } while (0)

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

// What another program's reader printed and the record numbers it walked.
struct ReaderWalk {
  int status = -1;  // the wait status of the reader; 0 when it ran through
  std::string output;
  std::vector<std::vector<uint32_t>> orders;  // one list of record numbers per order walked
};

// Whether the Perl module XBase's index reader is installed.
bool have_perl_xbase();

// That reader's walk of one order of `file` (a tag of a CDX or MDX bag, or "-" for an NTX
// file) with keys of `type` ('C' or 'N'); its script is written into `dir`. It visits some
// interior items of NTX pages twice: only the first visit, which is in key order, counts.
ReaderWalk perl_xbase_walk(const std::string& dir, const std::string& file, const std::string& tag, char type);

// Free Pascal's TDbf walker, compiled once per test; answers its path, or an empty path and
// in `why` what is missing (fpc or TDbf's units).
std::string tdbf_walker(std::string* why);

// The walker's walk of the given tags of an MDX bag, one list per tag.
ReaderWalk tdbf_walk(const std::string& walker, const std::string& dbf, const std::vector<std::string>& tags);

}  // namespace mv::index_test
