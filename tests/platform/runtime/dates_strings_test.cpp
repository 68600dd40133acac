#include <gtest/gtest.h>

#include <string>
#include <tuple>

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

// Every day from 0001-01-01 to 9999-12-31 and some beyond: day number and calendar date
// convert back and forth, and consecutive days are consecutive dates.
TEST(Dates, EveryDayConvertsBothWays) {
  const int32_t first = Date::from_ymd(1, 1, 1).julian(), last = Date::from_ymd(9999, 12, 31).julian();
  int py = 0, pm = 12, pd = 31;
  for (int32_t jd = first; jd <= last; ++jd) {
    int y, m, d;
    Date::from_julian(jd).ymd(y, m, d);
    const bool next_day = (y == py && m == pm && d == pd + 1) ||
                          (y == py && m == pm + 1 && d == 1 && pd == days_in_month(py, pm)) ||
                          (y == py + 1 && m == 1 && d == 1 && pm == 12 && pd == 31);
    if (!next_day || Date::from_ymd(y, m, d).julian() != jd) FAIL() << jd << ": " << y << "-" << m << "-" << d;
    py = y, pm = m, pd = d;
  }
  int y, m, d;
  (Date::from_ymd(9999, 12, 31) + 1).ymd(y, m, d);
  EXPECT_EQ(std::tuple(y, m, d), std::tuple(10000, 1, 1));
  // Far beyond: a year past 9999 still, which a date field refuses.
  for (int32_t jd : {99999999, 100000000, 2147483647}) {
    Date::from_julian(jd).ymd(y, m, d);
    EXPECT_GT(y, 9999) << jd;
  }
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

// Full case maps: the letters the dBASE family's UPPER() folds, and those it leaves.
TEST(Strings, FullCaseMapsFoldEveryLetterTheCodePageHoldsInBothCases) {
  struct Case {
    CodePage cp;
    unsigned char lower, upper;  // lower == upper: the byte stays under UPPER and LOWER
  };
  const Case cases[] = {
      // cp850: the umlauts, accents, cedilla, tilde, ring, slashed o, ligature
      {CodePage::Cp850, 0x84, 0x8E}, {CodePage::Cp850, 0x94, 0x99}, {CodePage::Cp850, 0x81, 0x9A},
      {CodePage::Cp850, 0x82, 0x90}, {CodePage::Cp850, 0x8A, 0xD4}, {CodePage::Cp850, 0x85, 0xB7},
      {CodePage::Cp850, 0x87, 0x80}, {CodePage::Cp850, 0xA4, 0xA5}, {CodePage::Cp850, 0x9B, 0x9D},
      {CodePage::Cp850, 0x86, 0x8F}, {CodePage::Cp850, 0x91, 0x92}, {CodePage::Cp850, 0xA2, 0xE0},
      {CodePage::Cp850, 0xA0, 0xB5}, {CodePage::Cp850, 0x83, 0xB6}, {CodePage::Cp850, 0xEC, 0xED},
      {CodePage::Cp850, 'q', 'Q'},
      {CodePage::Cp850, 0xE1, 0xE1},  // sharp s
      {CodePage::Cp850, 0x98, 0x98},  // y diaeresis: no upper case in cp850
      {CodePage::Cp850, 0xD5, 0xD5},  // dotless i stays, "I" is ASCII
      {CodePage::Cp850, 0x9F, 0x9F},  // hooked f
      {CodePage::Cp850, 0xE6, 0xE6},  // micro sign
      // cp1252: E0-FE to C0-DE except the division sign, and the letters of 80-9F
      {CodePage::Windows1252, 0xE0, 0xC0}, {CodePage::Windows1252, 0xE4, 0xC4},
      {CodePage::Windows1252, 0xE9, 0xC9}, {CodePage::Windows1252, 0xF6, 0xD6},
      {CodePage::Windows1252, 0xF8, 0xD8}, {CodePage::Windows1252, 0xFC, 0xDC},
      {CodePage::Windows1252, 0xFE, 0xDE}, {CodePage::Windows1252, 0xFF, 0x9F},
      {CodePage::Windows1252, 0x9A, 0x8A}, {CodePage::Windows1252, 0x9C, 0x8C},
      {CodePage::Windows1252, 0x9E, 0x8E},
      {CodePage::Windows1252, 0xF7, 0xF7}, {CodePage::Windows1252, 0xD7, 0xD7},  // division, times
      {CodePage::Windows1252, 0xDF, 0xDF}, {CodePage::Windows1252, 0xB5, 0xB5},  // sharp s, micro
      {CodePage::Windows1252, 0x83, 0x83},                                       // hooked f
      // cp437: only the letters whose partner it holds
      {CodePage::Cp437, 0x81, 0x9A}, {CodePage::Cp437, 0x82, 0x90}, {CodePage::Cp437, 0x87, 0x80},
      {CodePage::Cp437, 0xA4, 0xA5}, {CodePage::Cp437, 0x86, 0x8F}, {CodePage::Cp437, 0x91, 0x92},
      {CodePage::Cp437, 0xA0, 0xA0},  // a acute: no upper case in cp437
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(code_page_name(c.cp)) + " " + std::to_string(c.lower));
    const std::string lo(1, static_cast<char>(c.lower)), up(1, static_cast<char>(c.upper));
    EXPECT_EQ(str_upper(lo, CaseFlavour::Full, c.cp), up);
    EXPECT_EQ(str_upper(up, CaseFlavour::Full, c.cp), up);
    EXPECT_EQ(str_lower(up, CaseFlavour::Full, c.cp), lo);
  }
  // Every mapped byte is a letter of the code page whose partner maps back, and the
  // maps never reach into ASCII from above.
  for (CodePage cp : {CodePage::Windows1252, CodePage::Cp850, CodePage::Cp437}) {
    const unsigned char* up = upper_map(CaseFlavour::Full, cp);
    const unsigned char* low = lower_map(CaseFlavour::Full, cp);
    for (int b = 0x80; b < 256; ++b) {
      SCOPED_TRACE(std::string(code_page_name(cp)) + " " + std::to_string(b));
      if (up[b] != b) {
        EXPECT_GE(up[b], 0x80);
        EXPECT_EQ(low[up[b]], b);
      }
      if (low[b] != b) {
        EXPECT_EQ(up[low[b]], b);
      }
    }
  }
}

}  // namespace
}  // namespace mv
