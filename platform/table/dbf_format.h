#pragma once
// The DBF file layout in one place: header offsets, field descriptor layout, version
// bytes with their texts and drivers, record flags. The table layer and the header page
// both read and write tables through these constants.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace mv::dbf {

// ---------------------------------------------------------------- header (32 bytes)
inline constexpr size_t kHeaderSize = 32;
inline constexpr size_t kOffVersion = 0;
inline constexpr size_t kOffYear = 1;
inline constexpr size_t kOffMonth = 2;
inline constexpr size_t kOffDay = 3;
inline constexpr size_t kOffRecordCount = 4;   // uint32 LE
inline constexpr size_t kOffHeaderLength = 8;  // uint16 LE: file offset of record 1
inline constexpr size_t kOffRecordLength = 10; // uint16 LE, deletion flag included
inline constexpr size_t kOffTransaction = 14;  // dBASE IV incomplete-transaction flag
inline constexpr size_t kOffEncryption = 15;   // dBASE IV: 0x01 = encrypted
inline constexpr size_t kOffTableFlags = 28;
inline constexpr size_t kOffLanguage = 29;     // code page mark / language driver id

// Table flags (offset 28).
inline constexpr uint8_t kFlagProductionIndex = 0x01;  // production MDX / structural CDX
inline constexpr uint8_t kFlagMemo = 0x02;             // FoxPro family: memo fields present

// Code page marks we write (offset 29).
inline constexpr uint8_t kLangNone = 0x00;
inline constexpr uint8_t kLangCp850 = 0x02;
inline constexpr uint8_t kLangWin1252 = 0x03;     // FoxPro family
inline constexpr uint8_t kLangAnsiDbase = 0x57;   // dBASE family, byte-order collation

// ---------------------------------------------------------------- field descriptor (32 bytes)
inline constexpr size_t kDescriptorSize = 32;
inline constexpr size_t kDescName = 0;
inline constexpr size_t kDescNameSize = 11;     // NUL-padded, byte 10 always NUL
inline constexpr size_t kMaxFieldNameLength = 10;
inline constexpr size_t kDescType = 11;
inline constexpr size_t kDescReserved1 = 12;    // 4 bytes; FoxPro: field offset (never trusted)
inline constexpr size_t kDescReserved1Size = 4;
inline constexpr size_t kDescLength = 16;       // for C also the low byte of the length
inline constexpr size_t kDescDecimals = 17;     // for C the high byte of the length
inline constexpr size_t kDescFlags = 18;        // FoxPro field flags
inline constexpr size_t kDescReserved2 = 18;    // 14 bytes as the header page shows them
inline constexpr size_t kDescReserved2Size = 14;

// VFP field flags (descriptor byte 18).
inline constexpr uint8_t kFieldSystem = 0x01;
inline constexpr uint8_t kFieldNullable = 0x02;
inline constexpr uint8_t kFieldBinary = 0x04;

// ---------------------------------------------------------------- dBASE 7 dialect
inline constexpr size_t kLevel7HeaderSize = 68;
inline constexpr size_t kLevel7LanguageName = 32;  // 32 bytes, NUL-padded
inline constexpr size_t kLevel7DescriptorSize = 48;
inline constexpr size_t kLevel7DescName = 0;       // 32 bytes
inline constexpr size_t kLevel7DescNameSize = 32;
inline constexpr size_t kLevel7DescType = 32;
inline constexpr size_t kLevel7DescLength = 33;
inline constexpr size_t kLevel7DescDecimals = 34;
inline constexpr size_t kLevel7DescAutoinc = 40;   // uint32 LE

// After the terminator of a VFP table: the backlink to its database container.
inline constexpr size_t kVfpBacklinkSize = 263;

// ---------------------------------------------------------------- markers
inline constexpr uint8_t kTerminator = 0x0D;  // ends the descriptor array
inline constexpr uint8_t kEndOfFile = 0x1A;   // after the last record
inline constexpr uint8_t kLiveFlag = 0x20;    // ' '
inline constexpr uint8_t kDeletedFlag = 0x2A; // '*'

// Longest character field: the decimals byte holds the high byte of the length.
inline constexpr uint32_t kMaxCharLength = 65535;

// ---------------------------------------------------------------- version bytes
inline constexpr uint8_t kVersionFoxBase = 0x02;
inline constexpr uint8_t kVersionPlain = 0x03;          // dBASE III+ style, no memo
inline constexpr uint8_t kVersionLevel7 = 0x04;         // dBASE 7, no memo
inline constexpr uint8_t kVersionLevel5 = 0x05;
inline constexpr uint8_t kVersionPlainAnsi = 0x07;      // 0x03 with the ANSI bit
inline constexpr uint8_t kVersionVfp = 0x30;
inline constexpr uint8_t kVersionVfpAutoinc = 0x31;
inline constexpr uint8_t kVersionVfpVarchar = 0x32;
inline constexpr uint8_t kVersionSqlTable = 0x43;
inline constexpr uint8_t kVersionSqlSystem = 0x63;
inline constexpr uint8_t kVersionDbase4MemoAlt = 0x7B;
inline constexpr uint8_t kVersionDbt3 = 0x83;           // with a dBASE III memo
inline constexpr uint8_t kVersionDbt3Ansi = 0x87;       // 0x83 with the ANSI bit
inline constexpr uint8_t kVersionDbt4 = 0x8B;           // with a dBASE IV memo
inline constexpr uint8_t kVersionLevel7Memo = 0x8C;
inline constexpr uint8_t kVersionDbase4Sql = 0x8E;
inline constexpr uint8_t kVersionSqlMemo = 0xCB;
inline constexpr uint8_t kVersionFoxPro = 0xF5;         // FoxPro 2.x with FPT memo
inline constexpr uint8_t kVersionFoxBaseOld = 0xF8;
inline constexpr uint8_t kVersionFoxBaseMemo = 0xFB;

// One entry of the version list the header page offers: the text begins with the byte
// in two upper-case hex digits; the driver is the one the entry implies ("" for none).
struct VersionEntry {
  uint8_t byte;
  std::string_view text;
  std::string_view driver;
};

inline constexpr std::array<VersionEntry, 16> kVersionList = {{
    {0x02, "02 FoxBASE/dBASE II", "DBFNTX"},
    {0x03, "03 DBFCDX FoxBASE+/dBASE III PLUS, kein Memo", "DBFCDX"},
    {0x04, "04 dBASE IV ohne Memo", "DBFMDX"},
    {0x05, "05 dBASE V ohne Memo", "DBFMDX"},
    {0x07, "07 DBFNTX ohne Memo", "DBFNTX"},
    {0x30, "30 Visual FoxPro", "DBFCDX"},
    {0x31, "31 Visual FoxPro, autoinkrement aktiviert (VFP 8.0)", "DBFCDX"},
    {0x43, "43 dBASE IV SQL-Tabellendateien, kein Memo", "DBFMDX"},
    {0x63, "63 dBASE IV SQL-Systemdateien, kein Memo", "DBFMDX"},
    {0x83, "83 DBFNTX FoxBASE+/dBASE III PLUS, mit Memo", "DBFNTX"},
    {0x87, "87 _DBFCDX mit Memo", "_DBFCDX"},
    {0x8B, "8B DBFMDX dBASE IV mit Memo", "DBFMDX"},
    {0x8E, "8E dBASE IV mit SQL-Tabelle", "DBFMDX"},
    {0xCB, "CB dBASE IV SQL-Tabellendateien, mit Memo", "DBFMDX"},
    {0xF5, "F5 DBFCDX FoxPro 2.x (oder früher) mit Memo", "DBFCDX"},
    {0xF8, "F8 FoxBASE", "DBFNTX"},
}};

// The driver the version list names for a byte; "" for a byte not in the list.
constexpr std::string_view driver_for_version(uint8_t byte) {
  for (const auto& e : kVersionList)
    if (e.byte == byte) return e.driver;
  return {};
}

// The entry text for a byte; "" for a byte not in the list.
constexpr std::string_view version_text(uint8_t byte) {
  for (const auto& e : kVersionList)
    if (e.byte == byte) return e.text;
  return {};
}

// Families by version byte.
constexpr bool is_level7(uint8_t v) { return v == kVersionLevel7 || v == kVersionLevel7Memo; }
constexpr bool is_vfp(uint8_t v) { return v == kVersionVfp || v == kVersionVfpAutoinc || v == kVersionVfpVarchar; }
constexpr bool is_foxpro_family(uint8_t v) {
  return is_vfp(v) || v == kVersionFoxPro || v == kVersionFoxBaseMemo;
}
// Versions whose memo file is a dBASE IV style DBT.
constexpr bool has_dbt4_memo(uint8_t v) {
  return v == kVersionDbt4 || v == kVersionLevel7Memo || v == kVersionDbase4MemoAlt ||
         v == kVersionSqlMemo || v == kVersionDbase4Sql;
}
constexpr bool has_dbt3_memo(uint8_t v) { return v == kVersionDbt3 || v == kVersionDbt3Ansi; }
constexpr bool has_fpt_memo(uint8_t v) { return v == kVersionFoxPro || v == kVersionFoxBaseMemo || is_vfp(v); }

// Every version byte whose header dialect the table layer knows.
constexpr bool is_known_version(uint8_t v) {
  switch (v) {
    case kVersionFoxBase: case kVersionPlain: case kVersionLevel7: case kVersionLevel5:
    case kVersionPlainAnsi: case kVersionVfp: case kVersionVfpAutoinc: case kVersionVfpVarchar:
    case kVersionSqlTable: case kVersionSqlSystem: case kVersionDbase4MemoAlt: case kVersionDbt3:
    case kVersionDbt3Ansi: case kVersionDbt4: case kVersionLevel7Memo: case kVersionDbase4Sql:
    case kVersionSqlMemo: case kVersionFoxPro: case kVersionFoxBaseOld: case kVersionFoxBaseMemo:
      return true;
    default:
      return false;
  }
}

// Effective length of a field from descriptor bytes 16 and 17: a character field takes
// byte 17 as the high byte of its length (and has no decimals).
constexpr uint32_t effective_length(char type, uint8_t b16, uint8_t b17) {
  return type == 'C' ? uint32_t(b16) + 256u * b17 : uint32_t(b16);
}
constexpr uint8_t effective_decimals(char type, uint8_t b17) { return type == 'C' ? 0 : b17; }

// Field types that live in the memo file (10-byte ASCII or 4-byte binary pointer).
constexpr bool is_memo_type(char type, uint32_t length, uint8_t version) {
  if (type == 'M' || type == 'G' || type == 'P') return true;
  if (type == 'B') return !is_vfp(version) && length == 10;  // VFP 'B' is a double
  if (type == 'W') return true;
  return false;
}

// Fields stored as binary numbers rather than text: their blank is zero bytes, as their
// writers leave them (I, Y, T, @, O, +, VFP's double B, the _NullFlags field, and memo
// pointers of 4 bytes). A blank of spaces would read as 0x20202020.
constexpr bool is_binary_field(char type, uint32_t length, uint8_t version) {
  switch (type) {
    case 'I': case 'Y': case 'T': case '@': case '+': case '0':
      return true;
    case 'O':  // a double of level 7; of ten bytes it points into the OLE file, blank as a memo
      return length == 8;
    case 'B':
      return is_vfp(version) || length == 8;
    case 'M': case 'G': case 'P': case 'W':
      return length == 4;
    default:
      return false;
  }
}

}  // namespace mv::dbf
