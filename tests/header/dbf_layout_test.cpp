// The byte-level codec of the table file's header and field descriptors.
#include <gtest/gtest.h>

#include "header/dbf_layout.h"

namespace mv::header {
namespace {

TEST(DbfLayout, HeaderFieldsAndDates) {
  std::array<uint8_t, 32> b{};
  b[0] = 0x83;
  b[1] = 14, b[2] = 5, b[3] = 20;
  b[4] = 0x01, b[7] = 0x80;  // highest byte 0x80: unsigned
  b[8] = 0x61, b[10] = 0x13;
  b[12] = 0xAA, b[31] = 0xBB;
  DbfHeader h = decode_header(b);
  EXPECT_EQ(h.version, 0x83);
  EXPECT_EQ(h.record_count, 0x80000001u);
  EXPECT_EQ(h.header_length, 97);
  EXPECT_EQ(h.record_length, 19);
  EXPECT_EQ(h.bytes12_21[0], 0xAA);
  EXPECT_EQ(h.bytes22_31[9], 0xBB);
  EXPECT_EQ(encode_header(h), b);
  EXPECT_EQ(last_change(h, 1920), Date::from_ymd(2014, 5, 20));
  h.month = 2, h.day = 30;
  EXPECT_TRUE(last_change(h, 1920).empty());
  h.year = 126, h.month = 12, h.day = 10;
  EXPECT_EQ(last_change(h, 1920), Date::from_ymd(2026, 12, 10));
  h.year = 99;
  EXPECT_EQ(last_change(h, 1920).year(), 1999);
  // Written years read back as the same year under the epoch.
  struct {
    int year, epoch;
    uint8_t byte;
  } years[] = {{2014, 1920, 14}, {1999, 1920, 99}, {2025, 1920, 125}, {2025, 1950, 25}, {1920, 1920, 20}};
  for (auto y : years) {
    SCOPED_TRACE(y.year);
    EXPECT_EQ(year_byte_for(y.year, y.epoch), y.byte);
    h.year = y.byte;
    EXPECT_EQ(last_change(h, y.epoch).year(), y.year);
  }
  EXPECT_EQ(split_u32(70000), (std::array<uint8_t, 4>{0x70, 0x11, 0x01, 0x00}));
}

TEST(DbfLayout, DescriptorsAndTheirCount) {
  DbfFieldDescriptor d;
  d.name = "LANGERNAME_X";
  d.type = 'C';
  d.length = 300;
  d.byte13_16 = {1, 2, 3, 4};
  auto b = encode_descriptor(d);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data()), 11), std::string("LANGERNAME\0", 11));
  EXPECT_EQ(b[16], 44);
  EXPECT_EQ(b[17], 1);
  DbfFieldDescriptor back = decode_descriptor(b);
  EXPECT_EQ(back.name, "LANGERNAME");
  EXPECT_EQ(back.length, 300u);
  EXPECT_EQ(back.decimals, 0);
  b[11] = 'N';
  b[16] = 10, b[17] = 2;
  EXPECT_EQ(decode_descriptor(b).decimals, 2);

  // Counting stops at the terminator, bounded by the header length; without one the
  // header length alone decides.
  struct Case {
    uint16_t hl;
    int terminator_slot;  // -1: none
    size_t want;
  } cases[] = {{63, -1, 0}, {64, -1, 1}, {95, -1, 1}, {96, -1, 2}, {97, 3, 2}, {98, 3, 2},
               {32 + 32 * 9 + 1 + 263, 10, 9}, {32 + 32 * 9 + 1 + 263, -1, 17}, {20, -1, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hl);
    std::vector<uint8_t> bytes(std::max<size_t>(c.hl, 32), 'A');
    if (c.terminator_slot >= 0) bytes[32 * size_t(c.terminator_slot)] = 0x0D;
    EXPECT_EQ(descriptor_count(bytes, c.hl), c.want);
  }
  EXPECT_EQ(header_end_offsets(97), (std::array<uint64_t, 2>{95, 96}));
  EXPECT_EQ(header_end_offsets(2), (std::array<uint64_t, 2>{2, 3}));
  EXPECT_EQ(records_by_size(97 + 2 * 19 + 1, 97, 19), 2u);
}

TEST(DbfLayout, VersionListAndHexForm) {
  ASSERT_EQ(kVersionList.size(), 16u);
  EXPECT_EQ(kVersionList.front().text, "02 FoxBASE/dBASE II");
  EXPECT_EQ(kVersionList.back().text, "F8 FoxBASE");
  for (const auto& e : kVersionList) {
    char hex[3];
    snprintf(hex, sizeof hex, "%02X", e.byte);
    EXPECT_EQ(e.text.substr(0, 2), hex);
  }
  EXPECT_EQ(driver_for_version(0x87), "_DBFCDX");
  EXPECT_EQ(driver_for_version(0xF5), "DBFCDX");
  EXPECT_EQ(driver_for_version(0x00), "");
  EXPECT_EQ(driver_for_version(0x30), "DBFCDX");
  const uint8_t bytes[] = {0x72, 0x05, 0x14, 0xAB};
  EXPECT_EQ(hex_form(bytes), "72 05 14 AB ");
  EXPECT_EQ(hex_form({}), "");
}

}  // namespace
}  // namespace mv::header
