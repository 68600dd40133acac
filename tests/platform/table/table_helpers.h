#pragma once
// Shared pieces of the table-layer tests: a scratch folder, small tables, file bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/table/table.h"
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

// A second process that opens the table (shared or exclusively, and with one record locked
// when `lock_record` is not 0) and holds it until it goes out of scope.
class OtherProcess {
 public:
  OtherProcess(const std::string& path, const std::string& driver, bool shared, uint32_t lock_record = 0);
  ~OtherProcess();
  OtherProcess(const OtherProcess&) = delete;
  OtherProcess& operator=(const OtherProcess&) = delete;
  // Whether the process holds the table (and the record) as asked.
  bool ready() const { return ready_; }

 private:
  int to_child_[2] = {-1, -1}, to_parent_[2] = {-1, -1};
  int pid_ = -1;
  bool ready_ = false;
};

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
