#pragma once
// The four table drivers: which memo file they read and write, which version byte and
// code page mark their new tables get, and at which offsets they lock.
//   "DBFNTX"  = NTX orders + DBT (dBASE III)
//   "DBFCDX"  = CDX orders + FPT
//   "_DBFCDX" = CDX orders + DBT (dBASE III)
//   "DBFMDX"  = MDX orders + DBT (dBASE IV; reads dBASE III memos too)
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/base/codepage.h"
#include "platform/base/status.h"
#include "platform/table/memo.h"

namespace mv {

inline constexpr std::array<std::string_view, 4> kDriverNames = {"DBFNTX", "DBFCDX", "_DBFCDX", "DBFMDX"};

enum class LockFamily { Clipper, FoxPro, Dbase };

struct DriverInfo {
  std::string name;
  MemoKind memo_kind = MemoKind::Fpt;  // memo file of new tables
  LockFamily locks = LockFamily::FoxPro;
  bool clipper_lineage = false;        // sets the ANSI bit in the version byte

  bool reads_memo(MemoKind kind) const {
    if (kind == memo_kind) return true;
    return memo_kind == MemoKind::Dbt4 && kind == MemoKind::Dbt3;
  }
  // Version byte of a new table.
  uint8_t create_version(bool has_memo, CodePage cp) const;
  // Code page mark (header byte 29) of a new table.
  uint8_t create_language(CodePage cp) const;
  // Lock offsets in the table file: the header (appends) and record `recno`.
  uint64_t header_lock_offset() const;
  uint64_t record_lock_offset(uint32_t recno) const;
};

// The driver of that name; "" means the process-wide default driver. An unknown name
// fails with NotSupported.
Result<DriverInfo> find_driver(std::string_view name);

// The byte locked to tell shared from exclusive use of a table (beyond any xBase offset).
inline constexpr uint64_t kOpenModeLockOffset = uint64_t(1) << 40;

}  // namespace mv
