// Fuzz target: the header and field-descriptor readers on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <span>

#include "header/dbf_layout.h"
#include "platform/table/dbf_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  auto h = mv::parse_dbf_header(bytes, "fuzz.dbf");
  if (h) {
    uint32_t end = 0;
    for (const auto& f : h->fields) end = std::max(end, f.offset + f.length);
    if (end > h->record_length) __builtin_trap();  // every field must fit its record
    (void)mv::dbf_header_date(h->year_byte, h->month, h->day);
  }
  if (size >= 32) {
    auto hdr = mv::header::decode_header(std::span<const uint8_t, 32>(data, 32));
    size_t n = mv::header::descriptor_count(bytes, hdr.header_length);
    for (size_t i = 1; i <= n && 32 * (i + 1) <= size; ++i)
      (void)mv::header::decode_descriptor(std::span<const uint8_t, 32>(data + 32 * i, 32));
    (void)mv::header::last_change(hdr, 1920);
    (void)mv::header::hex_form(bytes.first(std::min<size_t>(size, 64)));
  }
  return 0;
}
