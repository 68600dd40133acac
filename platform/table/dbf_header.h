#pragma once
// Reading and writing the header and the field descriptors of a table file as the table
// layer uses them (field list, offsets, counts), independent of any open table.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/base/status.h"
#include "platform/runtime/date.h"
#include "platform/table/dbf_format.h"

namespace mv {

// One field as the table layer sees it.
struct FieldInfo {
  std::string name;       // as stored, without NUL padding
  char type = 'C';        // type letter
  uint32_t length = 0;    // effective length (C: bytes 16 + 256 * 17)
  uint8_t decimals = 0;
  uint32_t offset = 0;    // offset in the record (1 for the first field)
  uint8_t flags = 0;      // VFP field flags (descriptor byte 18)
  int null_bit = -1;      // VFP: bit in _NullFlags for NULL, -1 when not nullable
  int varlen_bit = -1;    // VFP: bit in _NullFlags telling a V/Q field is shorter
};

// A row of DBSTRUCT: {name, type, length, decimals}.
struct StructRow {
  std::string name;
  char type = 'C';
  uint32_t length = 0;
  uint8_t decimals = 0;
  bool operator==(const StructRow&) const = default;
};

struct HeaderInfo {
  uint8_t version = 0;
  uint8_t year_byte = 0, month = 0, day = 0;
  uint32_t record_count = 0;
  uint16_t header_length = 0;
  uint16_t record_length = 0;
  uint8_t table_flags = 0;
  uint8_t language = 0;
  bool level7 = false;
  bool has_terminator = false;
  std::string language_driver_name;  // dBASE 7 only
  std::vector<FieldInfo> fields;
  int null_flags_field = -1;         // index of the VFP _NullFlags field, -1 when none
  std::vector<std::string> warnings; // readable but not quite as written elsewhere
};

// Reads the header and every descriptor from the first bytes of a table file (at least
// 32; the descriptors need header_length bytes). Descriptors are counted up to the first
// slot whose first byte is the terminator 0x0D, bounded by the header length; a header
// without terminator takes every complete slot (header length div 32 - 1). Fails with a
// Corrupt status naming `name` when the bytes cannot describe a table.
Result<HeaderInfo> parse_dbf_header(std::span<const uint8_t> bytes, const std::string& name);

// The date of the last change. A year byte of 100 or more is 1900 + the byte; below 100
// the date epoch decides (epoch 1920: 20-99 are 19xx, 0-19 are 20xx). An impossible
// date gives the empty date.
Date dbf_header_date(uint8_t year_byte, uint8_t month, uint8_t day, int epoch = 1920);

// The year byte a table of `version` gets for `year`: year - 1900 for the dBASE and
// Clipper family, two digits for the FoxPro family.
uint8_t dbf_year_byte(uint8_t version, int year);

// The bytes of a new table's header and descriptors (terminator and, for the peer
// layout, one pad byte included), for a field list that has been checked.
struct CreateLayout {
  uint8_t version = dbf::kVersionPlain;
  uint8_t language = 0;
  uint8_t table_flags = 0;
  bool pad_after_terminator = false;   // header length 32 + 32n + 2
  bool vfp_backlink = false;           // header length 32 + 32n + 1 + 263
  Date date;
};
std::vector<uint8_t> build_dbf_header(const std::vector<FieldInfo>& fields, const CreateLayout& layout,
                                      uint32_t record_count = 0);

// Checks a field list for creating a table: names 1-10 characters of letters, digits and
// "_" beginning with a letter, no duplicates, known types with their lengths.
Status check_field_list(const std::vector<StructRow>& rows, bool allow_memo);

// Fills offsets of fields in order (first field at offset 1); returns the record length
// or 0 when it exceeds 65535.
uint32_t layout_fields(std::vector<FieldInfo>& fields);

}  // namespace mv
