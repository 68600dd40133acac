#pragma once
// Changing a table's shape on disk: a rebuild with a new field list, written beside the old
// files and swapped in whole, and the rename of one field in place. Neither ever leaves the
// table half old and half new: a failure keeps every original file as it was, and a run
// killed at any moment is finished or undone at the table's next opening.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/filesystem.h"
#include "platform/base/status.h"
#include "platform/table/dbf_header.h"

namespace mv {

// One field of the new structure and where its values come from.
struct RestructureField {
  StructRow row;
  std::string source;  // the old field whose values it takes; "" leaves it empty
};

struct RestructureOptions {
  std::string driver;  // "DBFCDX", "_DBFCDX", "DBFMDX" or "DBFNTX"; anything else counts as "DBFCDX"
  // NTX files the window has open, rebuilt on the new table under their own names.
  std::vector<std::string> ntx_files;
  // When set (a field changed its type), the old records are also written to this delimited
  // text file, which stays afterwards; the values still come from the old table, converted
  // field by field as the delimited import would.
  std::optional<std::string> delimited_path;
  std::optional<CodePage> code_page;
  // Called once per record taken over, with the count so far and the table's record count;
  // false stops the run, which then changes nothing.
  std::function<bool(uint64_t done, uint64_t total)> progress;
};

// A failed rebuild has changed nothing: every original file is as it was and no "_Neu"
// file is left. `orders_left` may be non-empty on success: those orders (tag names, or the
// base names of NTX files, which stay as they were) are not in the new set; the caller
// tells it once ("Die Indexdatei konnte nicht erstellt werden!").
struct RestructureOutcome {
  std::string message;                   // "" on success, else the German text for the failing step
  std::vector<std::string> orders_left;  // orders whose key no longer compiles and were left out
  bool ok() const { return message.empty(); }
};

// Rebuilds the (closed) table `dbf_path` with `fields`: records in record order with their
// deletion flags, memo texts, the production bag's orders and `ntx_files`. Takes the table's
// exclusive open lock first ("Die Datei kann nicht exklusiv geöffnet werden!"). A field
// whose type differs from its source's gets the source's value converted as the delimited
// import converts text; memo texts go to and from other types as text. The new files
// follow `opt.driver` (memo file, index family); the table keeps the code page its header
// names unless `opt.code_page` is given. No memo field left: the old memo file goes, and
// so does an OLE file (".DFL"), whose field type new tables do not have.
RestructureOutcome restructure_table(FileSystem& fs, const std::string& dbf_path,
                                     const std::vector<RestructureField>& fields, const RestructureOptions& opt);

// Rewrites the ten name bytes of the descriptor named `old_name` (matched up to its first
// NUL) with `new_name`, under the table's exclusive open lock. Returns "" on success, else the
// German error text; a failed write puts the old bytes back.
std::string rename_field_in_place(FileSystem& fs, const std::string& dbf_path, const std::string& old_name,
                                  const std::string& new_name);

}  // namespace mv
