// Typed text into field values: one table of what each field type takes and refuses.
#include <gtest/gtest.h>

#include "platform/runtime/date.h"
#include "platform/table/field_input.h"

namespace mv {
namespace {

FieldInfo field(char type, uint32_t len, uint8_t dec = 0) {
  FieldInfo f;
  f.name = "F";
  f.type = type;
  f.length = len;
  f.decimals = dec;
  return f;
}

TEST(FieldInput, EveryTypeTakesItsSpellingsAndRefusesTheRest) {
  struct Case {
    const char* name;
    FieldInfo f;
    const char* text;
    CodePage cp;
    // Expected: a refusal kind, or the value's kind and its text form.
    StatusKind refused;
    Value want;
  };
  const CodePage kOem = CodePage::Cp850, kAnsi = CodePage::Windows1252;
  const StatusKind ok = StatusKind::Ok, bad = StatusKind::InvalidArgument;
  set_date_epoch(1920);
  const std::vector<Case> cases = {
      {"text as typed", field('C', 10), "Müller ", kOem, ok, Value::character("M\x81ller ")},
      {"text in the ANSI page", field('C', 10), "Müller", kAnsi, ok, Value::character("M\xfcller")},
      {"euro sign in CP850", field('C', 10), "5 €", kOem, bad, {}},
      {"memo text", field('M', 10), "Zeile", kOem, ok, Value::character("Zeile")},
      {"blank text", field('C', 10), "", kOem, ok, Value::character("")},
      {"number", field('N', 10, 2), " -12.5 ", kOem, ok, Value::numeric(-12.5, 10, 2)},
      {"number with a comma", field('N', 10, 2), "3,25", kOem, ok, Value::numeric(3.25, 10, 2)},
      {"float field", field('F', 8, 3), "+2", kOem, ok, Value::numeric(2, 8, 3)},
      {"blank number", field('N', 5), "   ", kOem, ok, Value::nil()},
      {"two decimal marks", field('N', 10, 2), "1.2.3", kOem, bad, {}},
      {"letters", field('N', 10), "12a", kOem, bad, {}},
      {"only a sign", field('N', 10), "-", kOem, bad, {}},
      {"exponent", field('N', 10), "1e400", kOem, bad, {}},
      {"date", field('D', 8), "29.02.2024", kOem, ok, Value::of_date(Date::from_ymd(2024, 2, 29))},
      {"two-digit year by the epoch", field('D', 8), "01.03.19", kOem, ok, Value::of_date(Date::from_ymd(2019, 3, 1))},
      {"two-digit year by the epoch 2", field('D', 8), "01.03.20", kOem, ok,
       Value::of_date(Date::from_ymd(1920, 3, 1))},
      {"empty date as shown", field('D', 8), "  .  .    ", kOem, ok, Value::nil()},
      {"empty date short", field('D', 8), ".  .", kOem, ok, Value::nil()},
      {"impossible date", field('D', 8), "30.02.2024", kOem, bad, {}},
      {"not a date", field('D', 8), "morgen", kOem, bad, {}},
      {"logical J", field('L', 1), "j", kOem, ok, Value::boolean(true)},
      {"logical JA", field('L', 1), "Ja", kOem, ok, Value::boolean(true)},
      {"logical 1", field('L', 1), "1", kOem, ok, Value::boolean(true)},
      {"logical .T.", field('L', 1), ".t.", kOem, ok, Value::boolean(true)},
      {"logical NEIN", field('L', 1), "nein", kOem, ok, Value::boolean(false)},
      {"logical 0", field('L', 1), "0", kOem, ok, Value::boolean(false)},
      {"logical F", field('L', 1), "F", kOem, ok, Value::boolean(false)},
      {"logical blank", field('L', 1), " ", kOem, ok, Value::nil()},
      {"logical other", field('L', 1), "vielleicht", kOem, bad, {}},
      {"binary integer", field('I', 4), "5", kOem, StatusKind::NotSupported, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto v = value_from_input(c.f, c.text, c.cp);
    if (c.refused != ok) {
      ASSERT_FALSE(v.is_ok());
      EXPECT_EQ(v.status().kind(), c.refused);
      EXPECT_FALSE(v.status().message().empty());
      continue;
    }
    ASSERT_TRUE(v.is_ok()) << v.status().to_string();
    EXPECT_EQ(v->type, c.want.type);
    if (c.want.is_char()) {
      EXPECT_EQ(v->str, c.want.str);
    } else if (c.want.is_num()) {
      EXPECT_DOUBLE_EQ(v->num, c.want.num);
    } else if (c.want.is_date()) {
      EXPECT_EQ(v->date, c.want.date);
    } else if (c.want.is_logical()) {
      EXPECT_EQ(v->logical, c.want.logical);
    }
  }
}

}  // namespace
}  // namespace mv
