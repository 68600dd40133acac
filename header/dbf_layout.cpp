#include "header/dbf_layout.h"

#include <algorithm>
#include <cstring>

#include "platform/base/bytes.h"
#include "platform/table/dbf_header.h"

namespace mv::header {

DbfHeader decode_header(std::span<const uint8_t, dbf::kHeaderSize> b) {
  DbfHeader h;
  h.version = b[dbf::kOffVersion];
  h.year = b[dbf::kOffYear];
  h.month = b[dbf::kOffMonth];
  h.day = b[dbf::kOffDay];
  h.record_count = get_le32(&b[dbf::kOffRecordCount]);
  h.header_length = get_le16(&b[dbf::kOffHeaderLength]);
  h.record_length = get_le16(&b[dbf::kOffRecordLength]);
  std::copy_n(&b[12], 10, h.bytes12_21.begin());
  std::copy_n(&b[22], 10, h.bytes22_31.begin());
  return h;
}

std::array<uint8_t, dbf::kHeaderSize> encode_header(const DbfHeader& h) {
  std::array<uint8_t, dbf::kHeaderSize> b{};
  b[dbf::kOffVersion] = h.version;
  b[dbf::kOffYear] = h.year;
  b[dbf::kOffMonth] = h.month;
  b[dbf::kOffDay] = h.day;
  auto c = split_u32(h.record_count);
  std::copy(c.begin(), c.end(), &b[dbf::kOffRecordCount]);
  auto hl = split_u16(h.header_length);
  std::copy(hl.begin(), hl.end(), &b[dbf::kOffHeaderLength]);
  auto rl = split_u16(h.record_length);
  std::copy(rl.begin(), rl.end(), &b[dbf::kOffRecordLength]);
  std::copy(h.bytes12_21.begin(), h.bytes12_21.end(), &b[12]);
  std::copy(h.bytes22_31.begin(), h.bytes22_31.end(), &b[22]);
  return b;
}

Date last_change(const DbfHeader& h, int epoch) { return dbf_header_date(h.year, h.month, h.day, epoch); }

uint8_t year_byte_for(int year, int epoch) {
  int two = ((year % 100) + 100) % 100;
  if (dbf_header_date(uint8_t(two), 1, 1, epoch).year() == year) return uint8_t(two);
  return uint8_t(std::clamp(year - 1900, 0, 255));
}

std::array<uint8_t, 4> split_u32(uint32_t v) {
  // Highest byte first: value div 256^3, then the remainder div 65536, div 256, the rest.
  uint8_t b3 = uint8_t(v / 16777216u);
  uint32_t r = v % 16777216u;
  uint8_t b2 = uint8_t(r / 65536u);
  r %= 65536u;
  uint8_t b1 = uint8_t(r / 256u);
  uint8_t b0 = uint8_t(r % 256u);
  return {b0, b1, b2, b3};
}

std::array<uint8_t, 2> split_u16(uint16_t v) { return {uint8_t(v % 256u), uint8_t(v / 256u)}; }

DbfFieldDescriptor decode_descriptor(std::span<const uint8_t, dbf::kDescriptorSize> b) {
  DbfFieldDescriptor d;
  size_t n = 0;
  while (n < dbf::kDescNameSize && b[n] != 0) ++n;
  d.name.assign(reinterpret_cast<const char*>(b.data()), n);
  d.type = char(b[dbf::kDescType]);
  std::copy_n(&b[dbf::kDescReserved1], 4, d.byte13_16.begin());
  d.length = dbf::effective_length(d.type, b[dbf::kDescLength], b[dbf::kDescDecimals]);
  d.decimals = dbf::effective_decimals(d.type, b[dbf::kDescDecimals]);
  std::copy_n(&b[dbf::kDescReserved2], dbf::kDescReserved2Size, d.byte19_32.begin());
  return d;
}

std::array<uint8_t, dbf::kMaxFieldNameLength> name_bytes(std::string_view name) {
  std::array<uint8_t, dbf::kMaxFieldNameLength> out{};
  size_t n = std::min(name.size(), out.size());
  memcpy(out.data(), name.data(), n);
  return out;
}

std::array<uint8_t, dbf::kDescriptorSize> encode_descriptor(const DbfFieldDescriptor& d) {
  std::array<uint8_t, dbf::kDescriptorSize> b{};
  auto nb = name_bytes(d.name);
  std::copy(nb.begin(), nb.end(), b.begin());
  b[dbf::kDescType] = uint8_t(d.type);
  std::copy(d.byte13_16.begin(), d.byte13_16.end(), &b[dbf::kDescReserved1]);
  if (d.type == 'C') {
    b[dbf::kDescLength] = uint8_t(d.length % 256);
    b[dbf::kDescDecimals] = uint8_t(d.length / 256);
  } else {
    b[dbf::kDescLength] = uint8_t(d.length);
    b[dbf::kDescDecimals] = d.decimals;
  }
  std::copy(d.byte19_32.begin(), d.byte19_32.end(), &b[dbf::kDescReserved2]);
  return b;
}

size_t descriptor_count_by_length(uint16_t header_length) {
  return header_length < dbf::kHeaderSize ? 0 : header_length / dbf::kDescriptorSize - 1;
}

size_t descriptor_count(std::span<const uint8_t> bytes, uint16_t header_length) {
  size_t n = 0;
  for (size_t off = dbf::kHeaderSize; off < header_length && off < bytes.size(); off += dbf::kDescriptorSize) {
    if (bytes[off] == dbf::kTerminator) return n;
    if (off + dbf::kDescriptorSize > header_length) break;
    ++n;
  }
  return descriptor_count_by_length(header_length);
}

std::array<uint64_t, 2> header_end_offsets(uint16_t header_length) {
  if (header_length <= 2) return {header_length, uint64_t(header_length) + 1};
  return {uint64_t(header_length) - 2, uint64_t(header_length) - 1};
}

uint64_t records_by_size(uint64_t file_size, uint16_t header_length, uint16_t record_length) {
  if (record_length == 0 || file_size <= header_length) return 0;
  return (file_size - header_length) / record_length;
}

std::string hex_form(std::span<const uint8_t> bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (uint8_t b : bytes) {
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 15]);
    out.push_back(' ');
  }
  return out;
}

}  // namespace mv::header
