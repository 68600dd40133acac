#pragma once
// Numbered backup copies of a table and its companion files: "KUNDEN.DBF" is copied to
// "KUNDEN_1.DBF" (its index to "KUNDEN_1.CDX" ...), with the first number whose table
// name is still free. Every page that changes a table on disk in a way that cannot be
// taken back keeps such a copy first.
#include <span>
#include <string>
#include <string_view>

#include "platform/base/filesystem.h"

namespace mv {

struct BackupOutcome {
  std::string new_base;    // folder + name + "_" + n, without extension
  std::string failed_ext;  // the extension of the last file that could not be copied; "" when all were
  bool ok() const { return failed_ext.empty(); }
};

// The first free backup base of `table_path` ("C:/daten/KUNDEN" + "_" + n): only the
// table name ("_n.DBF", any case) decides the number.
std::string next_backup_base(FileSystem& fs, const std::string& table_path);

// Copies every existing file of the table named `table_path` (its folder and name; its
// extension is ignored) with one of `extensions` to the next free backup base plus that
// extension. The first extension is the table's own: when that file is missing it counts
// as failed. Files are found without regard to case; a companion left over under the new
// name is replaced whole (written beside it, then renamed over it), never mixed. A failed
// copy leaves no half-written file and does not stop the others.
BackupOutcome make_numbered_backup(FileSystem& fs, const std::string& table_path,
                                   std::span<const std::string_view> extensions);

}  // namespace mv
