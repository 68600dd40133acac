#pragma once
// Shared pieces of the table-layer tests: a scratch folder, small tables, file bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/table/table.h"
#include "tests/platform/table/other_process.h"
#include "tests/support/fixtures.h"

namespace mv::testing {

std::vector<uint8_t> read_bytes(const std::string& path);
void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes);

// The standard test structure: NAME C(20), BETRAG N(10,2), DATUM D, AKTIV L[, NOTIZ M].
std::vector<StructRow> sample_fields(bool memo);

// Creates `path` and appends `n` records (NAME "Name <i>", BETRAG i * 1.5, DATUM 2020-01-i,
// AKTIV for odd i, NOTIZ "Notiz <i>" when the table has it); deletes the records in `deleted`.
void make_table(const std::string& path, const std::string& driver, int n, bool memo = false,
                const std::vector<uint32_t>& deleted = {});

std::unique_ptr<Table> open_ok(const std::string& path, bool shared = false, bool read_only = false,
                               const std::string& driver = "DBFCDX", FileSystem* fs = nullptr);

std::string str_field(Table& t, const std::string& name);

// For expressions in places where a statement cannot stand (loop headers).
inline bool ok(const Status& s) {
  EXPECT_TRUE(s.is_ok()) << s.to_string();
  return s.is_ok();
}

#define MV_ASSERT_OK(expr)                                  \
  do {                                                      \
    ::mv::Status mv_s_ = (expr);                            \
    ASSERT_TRUE(mv_s_.is_ok()) << mv_s_.to_string();        \
  } while (0)
#define MV_EXPECT_OK(expr)                                  \
  do {                                                      \
    ::mv::Status mv_s_ = (expr);                            \
    EXPECT_TRUE(mv_s_.is_ok()) << mv_s_.to_string();        \
  } while (0)

}  // namespace mv::testing
