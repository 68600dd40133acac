#include <gtest/gtest.h>

#include <string>

#include "platform/runtime/date.h"
#include "platform/runtime/strings.h"

namespace mv {
namespace {

class EpochGuard {
 public:
  explicit EpochGuard(int epoch) : old_(date_epoch()) { set_date_epoch(epoch); }
  ~EpochGuard() { set_date_epoch(old_); }

 private:
  int old_;
};

TEST(Dates, CtodReadsTheProgramFormatThroughTheEpoch) {
  struct { int epoch; const char* text; const char* dtos; } cases[] = {
      {1920, "29.02.2024", "20240229"}, {1920, "1.2.2024", "20240201"}, {1920, "01.02.20", "19200201"},
      {1920, "01.02.19", "20190201"},   {1950, "01.02.49", "20490201"}, {1950, "01.02.50", "19500201"},
      {1920, " 24.12.1999 ", "19991224"}, {1920, "29.02.2023", "        "}, {1920, "31.04.2024", "        "},
      {1920, "  .  .    ", "        "}, {1920, "", "        "},          {1920, "12.2024", "        "},
      {1920, "1.2.3.4", "        "},     {1920, "aa.bb.cccc", "        "}, {1920, "01.13.2024", "        "},
      {0, "01.02.99", "00990201"},       {1920, "24/12/2024", "20241224"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " epoch " + std::to_string(c.epoch));
    EpochGuard g(c.epoch);
    EXPECT_EQ(dtos(ctod(c.text)), c.dtos);
  }
}

TEST(Dates, TextFormsAndArithmetic) {
  Date d = Date::from_ymd(2024, 2, 29);
  EXPECT_EQ(dtoc(d), "29.02.2024");
  EXPECT_EQ(dtos(d), "20240229");
  EXPECT_EQ(dtoc(Date()), "  .  .    ");
  EXPECT_EQ(dtos(Date()), "        ");
  EXPECT_EQ(stod_date("20240229"), d);
  EXPECT_TRUE(stod_date("2024022").empty());
  EXPECT_TRUE(stod_date("20230229").empty());
  EXPECT_TRUE(stod_date("        ").empty());
  EXPECT_EQ(ctod(dtoc(d)), d);
  EXPECT_EQ(d.julian(), 2460370);  // Julian day number of 29 Feb 2024
  EXPECT_EQ(d.dow(), 5);           // a Thursday: Sunday is 1
  EXPECT_EQ(Date::from_ymd(2024, 3, 3).dow(), 1);
  EXPECT_EQ(dtos(d + 1), "20240301");
  EXPECT_EQ(dtos(d - 365), "20230301");
  EXPECT_EQ(Date::from_ymd(2025, 1, 1) - d, 307);
  EXPECT_TRUE((Date() + 5).empty());
  EXPECT_EQ(apply_date_epoch(2024), 2024);
}

TEST(Strings, TableOfCases) {
  struct { std::string got, expected; } cases[] = {
      {std::string(str_rtrim("  ab  ")), "  ab"},
      {std::string(str_ltrim("  ab  ")), "ab  "},
      {std::string(str_alltrim("  ab  ")), "ab"},
      {std::string(str_alltrim("    ")), ""},
      {str_padr("abc", 5), "abc  "},
      {str_padr("abcdef", 3), "abc"},
      {str_padl("abc", 5, '0'), "00abc"},
      {str_padl("abcdef", 3), "abc"},
      {str_padc("ab", 6), "  ab  "},
      {str_padc("ab", 5), " ab  "},
      {str_padr("x", -1), ""},
      {std::string(str_substr("abcdef", 0, 2)), "ab"},
      {std::string(str_substr("abcdef", 3)), "cdef"},
      {std::string(str_substr("abcdef", -3, 2)), "de"},
      {std::string(str_substr("abcdef", -30, 2)), "ab"},
      {std::string(str_substr("abcdef", 7)), ""},
      {std::string(str_substr("abcdef", 2, -1)), ""},
      {std::string(str_left("abc", 5)), "abc"},
      {std::string(str_right("abc", 5)), "abc"},
      {std::string(str_right("abc", 0)), ""},
      {str_str(12.5), "        13"},
      {str_str(12.5, 6, 2), " 12.50"},
      {str_str(-12.5, 6, 1), " -12.5"},
      {str_str(1.005, 6, 2), "  1.01"},
      {str_str(-0.001, 6, 2), "  0.00"},
      {str_str(123456, 5), "*****"},
      {str_str(3.14159, 4, 3), "3.14"},
      {str_strzero(-5, 4), "-005"},
      {str_strzero(42, 6, 1), "0042.0"},
      {std::to_string(str_val(" -12.75x")), std::to_string(-12.75)},
      {std::to_string(str_val("1,5")), std::to_string(1.0)},
      {std::to_string(str_at("lo", "hello hello")), "4"},
      {std::to_string(str_rat("lo", "hello hello")), "10"},
      {std::to_string(str_at("x", "")), "0"},
      {str_descend("\x01\x7f"), "\xff\x81"},
      {value_to_text(Value::numeric(1234.5, 10, 2)), "1234.50"},
      {value_to_text(Value::numeric(7)), "7"},
      {value_to_text(Value::of_date(Date::from_ymd(2024, 1, 2))), "02.01.2024"},
      {value_to_text(Value::boolean(true)), ".T."},
      {str_transform(Value::numeric(1234567.891), "999,999,999.99"), "  1.234.567,89"},
      {str_transform(Value::numeric(-1234), "999,999,999"), "     -1.234"},
      {str_transform(Value::numeric(0.5), "999.99"), "  0,50"},
      {str_transform(Value::numeric(12345), "999"), "***"},
      {str_transform(Value::character("abc"), "@!"), "ABC"},
      {str_transform(Value::character("abcd"), "!X-X"), "Ab-c"},
      {str_transform(Value::boolean(false), ""), "F"},
      {str_transform(Value::numeric(3, 5, 1), ""), "  3.0"},
  };
  int i = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(i++);
    EXPECT_EQ(c.got, c.expected);
  }
}

TEST(Strings, NonExactComparisonAndEmpty) {
  EXPECT_EQ(compare_text_nonexact("Müller", "Mü"), 0);
  EXPECT_EQ(compare_text_nonexact("Mü", "Müller"), -1);
  EXPECT_EQ(compare_text_nonexact("abc", ""), 0);
  EXPECT_EQ(compare_text_nonexact("abc", "abd"), -1);
  EXPECT_EQ(compare_text_nonexact("\xfc", "a"), 1);  // bytes compare unsigned
  EXPECT_TRUE(value_empty(Value::character(" \t\r\n")));
  EXPECT_FALSE(value_empty(Value::character(" x")));
  EXPECT_TRUE(value_empty(Value::nil()));
  EXPECT_TRUE(value_empty(Value::boolean(false)));
}

TEST(Strings, CaseMapsPerCodePage) {
  // a-z only leaves every other byte alone; German maps the umlauts where the code page
  // keeps them and leaves sharp s.
  std::string cp1252 = "a\xe4\xf6\xfc\xdf";
  std::string cp850 = "a\x84\x94\x81\xe1";
  EXPECT_EQ(str_upper(cp1252), "A\xe4\xf6\xfc\xdf");
  EXPECT_EQ(str_upper(cp1252, CaseFlavour::German, CodePage::Windows1252), "A\xc4\xd6\xdc\xdf");
  EXPECT_EQ(str_upper(cp850, CaseFlavour::German, CodePage::Cp850), "A\x8e\x99\x9a\xe1");
  EXPECT_EQ(str_lower("A\x8e\x99\x9a", CaseFlavour::German, CodePage::Cp850), "a\x84\x94\x81");
  // Every byte value at every position of the eight-byte steps and the tail.
  std::string all;
  for (int round = 0; round < 3; ++round)
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  for (size_t start = 0; start < 9; ++start) {
    std::string up = all.substr(start), low = all.substr(start);
    ascii_upper_bytes(up.data(), up.size());
    ascii_lower_bytes(low.data(), low.size());
    for (size_t i = 0; i < up.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(all[start + i]);
      ASSERT_EQ(static_cast<unsigned char>(up[i]), (c >= 'a' && c <= 'z') ? c - 32 : c) << start << " " << i;
      ASSERT_EQ(static_cast<unsigned char>(low[i]), (c >= 'A' && c <= 'Z') ? c + 32 : c) << start << " " << i;
    }
  }
}

}  // namespace
}  // namespace mv
