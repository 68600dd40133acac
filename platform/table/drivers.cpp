#include "platform/table/drivers.h"

#include "platform/table/dbf_format.h"
#include "platform/table/table.h"

namespace mv {

OpenOptions OpenOptions::defaults() {
  OpenOptions o;
  o.shared = !exclusive_default();
  o.driver = default_driver();
  o.code_page = code_page_for(ansi_mode());
  return o;
}

Result<DriverInfo> find_driver(std::string_view name) {
  std::string n = name.empty() ? default_driver() : std::string(name);
  DriverInfo d;
  d.name = n;
  if (n == "DBFNTX") {
    d.memo_kind = MemoKind::Dbt3;
    d.locks = LockFamily::Clipper;
    d.clipper_lineage = true;
  } else if (n == "DBFCDX") {
    d.memo_kind = MemoKind::Fpt;
    d.locks = LockFamily::FoxPro;
  } else if (n == "_DBFCDX") {
    d.memo_kind = MemoKind::Dbt3;
    d.locks = LockFamily::FoxPro;
    d.clipper_lineage = true;
  } else if (n == "DBFMDX") {
    d.memo_kind = MemoKind::Dbt4;
    d.locks = LockFamily::Dbase;
  } else {
    return Status::not_supported("Tabellentreiber \"" + n + "\" ist unbekannt");
  }
  return d;
}

uint8_t DriverInfo::create_version(bool has_memo, CodePage cp) const {
  const bool ansi = cp == CodePage::Windows1252;
  if (!has_memo) return clipper_lineage && ansi ? dbf::kVersionPlainAnsi : dbf::kVersionPlain;
  switch (memo_kind) {
    case MemoKind::Fpt: return dbf::kVersionFoxPro;
    case MemoKind::Dbt4: return dbf::kVersionDbt4;
    case MemoKind::Dbt3: return clipper_lineage && ansi ? dbf::kVersionDbt3Ansi : dbf::kVersionDbt3;
  }
  return dbf::kVersionPlain;
}

uint8_t DriverInfo::create_language(CodePage cp) const {
  const bool ansi = cp == CodePage::Windows1252;
  if (clipper_lineage) return dbf::kLangNone;
  if (memo_kind == MemoKind::Fpt) return ansi ? dbf::kLangWin1252 : dbf::kLangCp850;
  return ansi ? dbf::kLangAnsiDbase : dbf::kLangCp850;
}

uint64_t DriverInfo::header_lock_offset() const {
  switch (locks) {
    case LockFamily::Clipper: return 1000000000ull;
    case LockFamily::FoxPro: return 0x7FFFFFFEull;
    case LockFamily::Dbase: return 0x7FFFFFFFull;
  }
  return 0x7FFFFFFEull;
}

uint64_t DriverInfo::record_lock_offset(uint32_t recno) const {
  switch (locks) {
    case LockFamily::Clipper: return 1000000000ull + recno;
    case LockFamily::FoxPro: return 0x7FFFFFFEull - recno;
    case LockFamily::Dbase: return 0x7FFFFFFFull - recno;
  }
  return 0x7FFFFFFEull - recno;
}

}  // namespace mv
