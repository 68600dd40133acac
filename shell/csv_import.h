#pragma once
// Turning a ";"-separated text file into a new table, without Qt. The file is read twice,
// streamed: once to find the field types, widths and the text encoding, once to write the
// records. The table is written under a temporary name and put in place only when it is
// complete, so a failed or cancelled import leaves nothing behind.
//
// Values may be quoted: a quoted value keeps ";" and line breaks, and "" in it is one
// quote. Lines end in LF or CR LF; a last line without line break is a record; a UTF-8
// byte order mark is skipped.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/filesystem.h"
#include "platform/base/status.h"
#include "platform/table/dbf_header.h"

namespace mv {

// The values of one record as bytes of the file, and the line it starts on (1-based).
struct CsvRecord {
  std::vector<std::string> values;
  size_t count = 0;  // values in use (the vector keeps its strings for reuse)
  uint64_t line = 0;
};

// Splits the bytes of a file into records, fed in pieces of any size.
class CsvParser {
 public:
  // Called for every record; false stops the parse.
  using RecordFn = std::function<bool(const CsvRecord&)>;
  explicit CsvParser(RecordFn on_record) : on_record_(std::move(on_record)) {}
  // False when the record function stopped the parse.
  bool feed(std::string_view bytes);
  // The end of the input: a last line without line break.
  bool finish();

 private:
  enum class State { FieldStart, Unquoted, Quoted, QuoteInQuoted };
  std::string& field();
  void end_field();
  bool end_record();

  RecordFn on_record_;
  CsvRecord rec_;
  State state_ = State::FieldStart;
  bool at_start_ = true;       // nothing of the current line seen yet
  bool bom_checked_ = false;
  std::string bom_;            // the first bytes while a byte order mark may begin
  bool cr_pending_ = false;    // the field's last byte is a CR outside quotes
  uint64_t line_ = 1;
};

// What a column becomes.
struct CsvColumn {
  std::string name;  // stored bytes (code page of the table), at most 10 characters
  char type = 'C';
  uint32_t length = 1;
  uint32_t decimals = 0;
};

// Whether `v` passes the number test: an optional "-", digits without a leading zero
// (a single 0 before the point is fine), and "." or "," with decimals; `decimals` then
// gets their count.
bool csv_number(std::string_view v, uint32_t* decimals = nullptr);
// Whether `v` is a date in the program's date format (at least 8 characters).
bool csv_date(std::string_view v);

// The encoding of a file whose bytes are not all UTF-8: CP850 when only CP850 reads
// every high byte of `high_bytes_seen` as a letter, else CP1252.
CodePage csv_single_byte_encoding(const bool high_bytes_seen[128]);

struct CsvImportHooks {
  // Bytes done of `total` (both passes); false cancels.
  std::function<bool(uint64_t done, uint64_t total)> progress;
  // Asked with the path of an existing table of the new name; false keeps it.
  std::function<bool(const std::string& existing)> confirm_overwrite;
};

struct CsvImportResult {
  std::string message;      // German, UTF-8; empty on success
  bool cancelled = false;   // the user stopped it or kept the existing table
  std::string table;        // the new table's path
};

// The table a CSV file becomes: its path with the last three characters "DBF".
std::string csv_table_path(const std::string& csv_path);

// Imports `csv_path` into a new table with code page `target` (driver "DBFCDX").
CsvImportResult import_csv(FileSystem& fs, const std::string& csv_path, CodePage target,
                           const CsvImportHooks& hooks = {});

}  // namespace mv
