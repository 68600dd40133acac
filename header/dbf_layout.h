#pragma once
// The table file as the header page reads, tests and writes it byte by byte: the 32-byte
// `DBF header`, the 32-byte `DBF field descriptor` entries, the bytes before the first
// record, the record area, the companion files and the `DBF version byte` list. Offsets
// and markers come from platform/table/dbf_format.h, the same constants the table layer
// uses.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/date.h"
#include "platform/table/dbf_format.h"

namespace mv::header {

// `DBF header`: file bytes 0 to 31.
struct DbfHeader {
  uint8_t version = 0;
  uint8_t year = 0, month = 0, day = 0;  // as stored
  uint32_t record_count = 0;
  uint16_t header_length = 0;            // "Länge des Headers", the "Anfangsposition"
  uint16_t record_length = 0;
  std::array<uint8_t, 10> bytes12_21{};  // "Byte 12-21"
  std::array<uint8_t, 10> bytes22_31{};  // "Byte 22-31"
};

// Reads the header from the first 32 bytes of the file (the caller reports fewer bytes as
// a read error).
DbfHeader decode_header(std::span<const uint8_t, dbf::kHeaderSize> bytes);
// The 32 bytes of a header.
std::array<uint8_t, dbf::kHeaderSize> encode_header(const DbfHeader& h);

// The date of the last change: a year byte of 100 or more is 1900 + the byte, below 100
// the date epoch gives the century; an impossible date is the empty date.
Date last_change(const DbfHeader& h, int epoch);
// The year byte written for `year`: its last two digits when they read back as the same
// year under `epoch`, otherwise year - 1900 (2014 -> 14 and 1999 -> 99 with the epoch
// 1920, but 2025 -> 125, which would otherwise read back as 1925).
uint8_t year_byte_for(int year, int epoch);

// A number of several bytes split into its bytes, lowest first (little-endian order at
// the field's offset).
std::array<uint8_t, 4> split_u32(uint32_t value);
std::array<uint8_t, 2> split_u16(uint16_t value);

// `DBF field descriptor`: descriptor n (from 1) at file bytes 32 * n to 32 * n + 31.
struct DbfFieldDescriptor {
  std::string name;                       // bytes 0-10 up to the first NUL
  char type = 'C';                        // byte 11
  std::array<uint8_t, 4> byte13_16{};     // bytes 12-15, "Byte13_16"
  uint32_t length = 0;                    // effective: C takes byte 17 as the high byte
  uint8_t decimals = 0;                   // 0 for C
  std::array<uint8_t, 14> byte19_32{};    // bytes 18-31, "Byte19_32"
};

inline uint64_t descriptor_offset(size_t n) { return dbf::kDescriptorSize * n; }
DbfFieldDescriptor decode_descriptor(std::span<const uint8_t, dbf::kDescriptorSize> bytes);
// The 32 bytes of a descriptor: the name NUL-padded (at most 10 characters, so byte 10 is
// always NUL), a C length above 255 split into bytes 16 (low) and 17 (high).
std::array<uint8_t, dbf::kDescriptorSize> encode_descriptor(const DbfFieldDescriptor& d);
// The ten name bytes of a descriptor for `name`: cut to 10, padded with NUL.
std::array<uint8_t, dbf::kMaxFieldNameLength> name_bytes(std::string_view name);

// Number of descriptors: the slots from offset 32 up to the first one whose first byte is
// the terminator 0x0D, bounded by the header length; without a terminator every complete
// slot counts (header length div 32 - 1, 0 below 32). `bytes` holds the file's first
// bytes (at least up to the header length where available).
size_t descriptor_count(std::span<const uint8_t> bytes, uint16_t header_length);
// The rule by the header length alone.
size_t descriptor_count_by_length(uint16_t header_length);
// Tables whose descriptors are not 32-byte slots (dBASE 7): shown raw, never written.
inline bool has_32_byte_descriptors(uint8_t version) { return !dbf::is_level7(version); }

// The two offsets shown under "Byte End": header length - 2 and - 1 (for a header length
// of 2 or less, the two bytes starting at the header length).
std::array<uint64_t, 2> header_end_offsets(uint16_t header_length);

// Record i (from 1) starts at header length + (i - 1) * record length.
inline uint64_t record_offset(uint32_t i, uint16_t header_length, uint16_t record_length) {
  return header_length + uint64_t(i - 1) * record_length;
}
// Records the file holds by its size: (size - header length) div record length.
uint64_t records_by_size(uint64_t file_size, uint16_t header_length, uint16_t record_length);

// Companion extensions, always in this order.
inline constexpr std::array<std::string_view, 7> kCompanionExtensions = {".DBF", ".CDX", ".MDX", ".NTX",
                                                                         ".FPT", ".DBT", ".DFL"};

// Field types the header page knows, with the text of its type list and the fixed length
// it tests (0 = none).
struct FieldTypeEntry {
  char letter;
  std::string_view text;
  uint32_t fixed_length;
};
inline constexpr std::array<FieldTypeEntry, 7> kFieldTypes = {{
    {'C', "Character", 0},
    {'N', "Numeric", 0},
    {'L', "Logic", 1},
    {'D', "Date", 8},
    {'T', "DateTime", 0},
    {'M', "Memo", 10},
    {'O', "OLE", 10},
}};
inline constexpr std::string_view kTestedTypes = "CNDLMO";
inline constexpr std::string_view kWritableTypes = "CNDLMOT";

// The version list (16 entries) and the driver each names; "" for any other byte.
using dbf::kVersionList;
inline std::string_view driver_for_version(uint8_t byte) { return dbf::driver_for_version(byte); }

// Hex form of bytes: two upper-case digits and one blank per byte ("72 05 14 ").
std::string hex_form(std::span<const uint8_t> bytes);

}  // namespace mv::header
