#pragma once
// Copying tables and appending from other files: the options of a run, and creating a table
// from a field list. The runs themselves are the table's own (Table::copy_db, append_db ...).
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/filesystem.h"
#include "platform/base/status.h"
#include "platform/table/dbf_header.h"

namespace mv {

class Table;

// Where a transfer starts and which records it takes.
struct TransferOptions {
  std::vector<std::string> fields;                 // empty: every field
  std::function<bool(Table&)> for_condition; // empty: every record
  // Called before each record; false stops the run (which still succeeds). A given
  // while-condition makes the scope "rest" (from the current record), as in xBase.
  std::function<bool(Table&)> while_condition;
  std::optional<bool> rest;                        // overrides the scope rule
};

// Creates a table from a field list (DBCREATE): DBF and, with memo fields, the memo file
// of the driver, as the other programs write them. An existing table of that name is
// replaced only once the new one is complete. A path without extension gets ".dbf".
Status db_create(const std::string& path, const std::vector<StructRow>& fields, const std::string& driver = "",
                 std::optional<CodePage> code_page = std::nullopt, FileSystem* fs = nullptr);

// One field's value as a delimited text file holds it (COPY DELIMITED: text without its
// trailing blanks, T or F, numbers and dates as stored without blanks), and such a text
// stored into a field as the delimited import (APPEND DELIMITED) stores it. Together they
// convert a value from one field type to another as a round trip through the text file
// would.
std::string delimited_value_text(const FieldInfo& field, const uint8_t* record);
void store_delimited_value(const FieldInfo& field, uint8_t* record, std::string_view text);

// The path a transfer or DBCREATE uses: `ext` added when `path` has no extension.
std::string with_default_extension(const std::string& path, const std::string& ext);

}  // namespace mv
