#pragma once
// Reading, testing and writing a table file's header and field descriptors byte by byte,
// beside the table layer and without it: the header page works on tables the table layer
// cannot open. Every function opens the file, does its work and closes it again.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "header/dbf_layout.h"
#include "platform/base/filesystem.h"

namespace mv::header {

using HeaderBytes = std::array<uint8_t, dbf::kHeaderSize>;
using DescriptorBytes = std::array<uint8_t, dbf::kDescriptorSize>;

// German text of a failed file operation, as it follows "FOpen Fehler: " ("Datei nicht
// gefunden", "Zugriff verweigert" ...).
std::string system_error_text(const Status& s);

// The first 32 bytes of `path`. Failures carry the text shown: "FOpen Fehler: " or
// "FRead Fehler: " + the system error text.
Result<HeaderBytes> read_header_bytes(FileSystem& fs, const std::string& path);

// The two bytes before the first record (see header_end_offsets), or nothing when the
// file does not hold them.
std::optional<std::array<uint8_t, 2>> read_header_end(FileSystem& fs, const std::string& path,
                                                      uint16_t header_length);

// The descriptor slots as the table layer counts them (see descriptor_count), each whole
// 32 bytes; a slot the file ends in is left out. Empty when the file cannot be read.
std::vector<DescriptorBytes> read_descriptor_slots(FileSystem& fs, const std::string& path);

// One descriptor as the tests see it: number from 1, type letter, effective length,
// decimals (0 for C).
struct DescriptorRow {
  size_t number = 0;
  std::string name;  // the stored bytes up to the first NUL
  char type = 'C';
  uint32_t length = 0;
  uint8_t decimals = 0;
};
DescriptorRow descriptor_row(size_t number, const DescriptorBytes& slot);

// What the open table says about itself, for the header test.
struct OpenTableFacts {
  uint32_t record_size = 0;
  uint32_t last_rec = 0;
  uint32_t field_count = 0;
};

struct TestOutcome {
  bool open_failed = false;  // the text is the open or read error
  std::string text;          // the findings, or "Es wurden keine Fehler gefunden!"
};

// Tests the header against the file's size and date, the open table and `rows` (the
// descriptors as last shown), and scans the deletion flags. `table_path` is looked up
// without regard to case; a missing file is an open failure.
TestOutcome test_header(FileSystem& fs, const std::string& table_path, const std::vector<DescriptorRow>& rows,
                        const std::optional<OpenTableFacts>& open_table, int epoch);
// Tests `rows` for known types, their lengths and decimals and their sum against the
// record length of the header.
TestOutcome test_structure(FileSystem& fs, const std::string& table_path, const std::vector<DescriptorRow>& rows);

// One byte of a repair: where, what is stored, what replaces it, and the message when
// writing it fails.
struct ByteWrite {
  uint64_t offset = 0;
  uint8_t old_value = 0;
  uint8_t new_value = 0;
  std::string failure;
};
// The bytes a repair writes, or the message of the first value that cannot be written
// (then nothing at all is written).
struct WritePlan {
  std::string error;
  std::vector<ByteWrite> writes;
};

// The header fields as the user typed them.
struct HeaderEdit {
  std::optional<uint8_t> version;  // only when the user picked an entry of the version list
  std::string date_text;           // the program's date format
  uint64_t record_count = 0;
  uint64_t record_length = 0;
  uint64_t header_length = 0;
};
// The bytes whose new value differs from `stored`. Every value is checked first: an
// empty or impossible date ("Fehler beim Datum"; a date already empty as stored keeps its
// bytes), numbers beyond their field give the text of their field.
WritePlan plan_header_write(const HeaderBytes& stored, const HeaderEdit& edit, int epoch);

// A descriptor as the user typed it.
struct DescriptorEdit {
  size_t number = 0;       // the grid's current row (1-based; 0 = none)
  char type = 0;
  std::string name_bytes;  // trimmed, in the table's code page
  uint64_t length = 0;
  uint64_t decimals = 0;
};
// The bytes of descriptor `number` that change. `shown` is the number of descriptors a
// fresh read finds; a descriptor beyond them or not ending before the header length
// counts as none selected.
WritePlan plan_descriptor_write(const std::vector<DescriptorBytes>& descriptors, uint16_t header_length,
                                const DescriptorEdit& edit);

// Writes the bytes one by one into an open file. When one fails, the bytes already
// written are put back and its message is returned (StatusKind::IoError).
Status apply_writes(File& file, const std::vector<ByteWrite>& writes);

// The report line of a written byte: "Pos. 3: 14 => 05".
std::string write_report_line(const ByteWrite& w);

// A repair of the header or of one descriptor as one step: open the table file, hold it
// as an exclusive opening would (nothing is written while another program has it open),
// read the bytes afresh, check every value, copy the table file to the next free backup
// name, then write the changed bytes (all or, when one fails, none).
struct RepairOutcome {
  std::string error;        // the message of the failure, "" when none
  std::string backup_base;  // folder + name of the backup copy, without ".DBF"
  std::vector<ByteWrite> written;
};
RepairOutcome repair_header(FileSystem& fs, const std::string& table_path, const HeaderEdit& edit, int epoch);
RepairOutcome repair_descriptor(FileSystem& fs, const std::string& table_path, const DescriptorEdit& edit);
// "Es wurde die Sicherungskopie \r\n" + backup + ".DBF" + "\r\n" + " erstellt", then one
// line per byte written.
std::string repair_report(const RepairOutcome& r);
// The message of a backup copy that failed for `ext`.
std::string copy_failure_text(const std::string& base, const std::string& ext);

// The raw views: records of the table file, or 512-byte blocks of a memo or index file,
// at most 1000 rows and only complete ones. Rows are read when shown, so a view of long
// records never holds more than the rows on the screen.
inline constexpr uint32_t kMaxRawRows = 1000;
inline constexpr uint32_t kRawBlockSize = 512;
struct RawLayout {
  std::string path;         // the file as found on disk
  uint64_t start = 0;       // offset of row 1
  uint32_t row_length = 0;  // bytes per row
  uint32_t rows = 0;
};
// Records view of the table file (rows from the header length on); fails when the file
// cannot be opened.
Result<RawLayout> record_layout(FileSystem& fs, const std::string& table_path);
// Blocks view of any file from offset 0.
Result<RawLayout> block_layout(FileSystem& fs, const std::string& file_path);
// Rows `first` (0-based) to first + count - 1 as they follow each other in the file.
Result<std::vector<uint8_t>> read_raw_rows(FileSystem& fs, const RawLayout& layout, uint32_t first, uint32_t count);

// The local calendar day of a file's modification time (seconds since the epoch).
Date local_date(int64_t mtime);

}  // namespace mv::header
