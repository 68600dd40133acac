#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/runtime/date.h"
#include "platform/runtime/expr.h"

namespace mv {
namespace {

// A record laid out as a DBF stores it: deleted flag, then the fields one after another.
class TestRecord : public FieldResolver, public RecordSource {
 public:
  struct Field {
    std::string name;
    char type;
    int len, dec;
    uint32_t offset;
  };
  TestRecord() {
    add("NAME", 'C', 10, 0);
    add("BETRAG", 'N', 10, 2);
    add("DATUM", 'D', 8, 0);
    add("AKTIV", 'L', 1, 0);
    add("ORT", 'C', 12, 0);
    set("NAME", "Müller");
    set("BETRAG", "   1234.50");
    set("DATUM", "20240229");
    set("AKTIV", "T");
    set("ORT", "Wien");
  }
  void add(std::string name, char type, int len, int dec) {
    fields_.push_back({std::move(name), type, len, dec, static_cast<uint32_t>(buf_.size())});
    buf_.resize(buf_.size() + static_cast<size_t>(len), ' ');
  }
  // Text given in UTF-8 is stored in Windows-1252.
  void set(const std::string& name, const std::string& utf8) {
    for (auto& f : fields_)
      if (f.name == name) {
        std::string bytes = cp_from_utf8(CodePage::Windows1252, utf8).value();
        std::string padded = bytes + std::string(static_cast<size_t>(f.len), ' ');
        std::memcpy(buf_.data() + f.offset, padded.data(), static_cast<size_t>(f.len));
      }
  }
  void set_deleted(bool d) { buf_[0] = d ? '*' : ' '; }

  std::optional<FieldRef> resolve(std::string_view alias, std::string_view name) override {
    if (!alias.empty() && alias != "KUNDEN" && alias != "kunden") return std::nullopt;
    std::string upper(name);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper == "NOTIZ") {  // a memo field: asked for per record
      FieldRef r;
      r.type = ValueType::Character;
      r.storage = FieldStorage::Callback;
      r.id = 7;
      return r;
    }
    for (auto& f : fields_) {
      if (f.name != upper) continue;
      FieldRef r;
      r.len = f.len;
      r.dec = f.dec;
      r.offset = f.offset;
      switch (f.type) {
        case 'C': r.type = ValueType::Character; r.storage = FieldStorage::Character; break;
        case 'N': r.type = ValueType::Numeric; r.storage = FieldStorage::NumericText; break;
        case 'D': r.type = ValueType::Date; r.storage = FieldStorage::DateText; break;
        case 'L': r.type = ValueType::Logical; r.storage = FieldStorage::LogicalChar; break;
      }
      return r;
    }
    return std::nullopt;
  }
  bool field_value(int id, Value& out) override {
    if (id != 7) return false;
    out = Value::character("Notiz zum Kunden");
    return true;
  }

  EvalRecord record(uint32_t recno = 42) {
    EvalRecord r;
    r.data = buf_.data();
    r.size = buf_.size();
    r.recno = recno;
    r.source = this;
    return r;
  }

 private:
  std::vector<Field> fields_;
  std::vector<uint8_t> buf_ = std::vector<uint8_t>(1, ' ');
};

// The result of an expression as text, with its type letter: "C:abc", "N:3", "L:T",
// "D:20240229", or "E<kind>@<pos>" for an error.
std::string run(const std::string& text, const ExprOptions& opts = {}) {
  TestRecord rec;
  Expression e = Expression::compile(text, opts, &rec);
  if (!e.ok()) return "E" + std::to_string(static_cast<int>(e.error().kind)) + "@" + std::to_string(e.error().position);
  const Value* v = e.evaluate(rec.record());
  if (!v) return "E" + std::to_string(static_cast<int>(e.last_error().kind)) + "@" + std::to_string(e.last_error().position);
  switch (v->type) {
    case ValueType::Character: return "C:" + cp_to_utf8(opts.code_page, v->str);
    case ValueType::Numeric: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.10g", v->num);
      return std::string("N:") + buf;
    }
    case ValueType::Date: return "D:" + dtos(v->date);
    case ValueType::Logical: return v->logical ? "L:T" : "L:F";
    case ValueType::Nil: return "U";
  }
  return "?";
}

std::string err(ExprErrorKind k, int pos) { return "E" + std::to_string(static_cast<int>(k)) + "@" + std::to_string(pos); }

struct Case {
  const char* expr;
  std::string expected;
};

TEST(Expression, TableOfCases) {
  using K = ExprErrorKind;
  const Case cases[] = {
      // literals
      {"42", "N:42"}, {"1.5", "N:1.5"}, {".5", "N:0.5"}, {"\"text\"", "C:text"}, {"'text'", "C:text"},
      {"[text]", "C:text"}, {".T.", "L:T"}, {".f.", "L:F"}, {".Y.", "L:T"}, {".n.", "L:F"},
      {"CTOD(\"29.02.2024\")", "D:20240229"}, {"STOD(\"20240301\")", "D:20240301"},
      // fields, with and without alias, any case
      {"NAME", "C:Müller    "}, {"name", "C:Müller    "}, {"KUNDEN->NAME", "C:Müller    "},
      {"BETRAG", "N:1234.5"}, {"DATUM", "D:20240229"}, {"AKTIV", "L:T"}, {"NOTIZ", "C:Notiz zum Kunden"},
      // arithmetic
      {"1+2*3", "N:7"}, {"(1+2)*3", "N:9"}, {"7/2", "N:3.5"}, {"7%3", "N:1"}, {"2**10", "N:1024"},
      {"2^3", "N:8"}, {"-BETRAG", "N:-1234.5"}, {"+3", "N:3"}, {"--3", "N:3"}, {"BETRAG*2", "N:2469"},
      // texts
      {"\"ab\"+\"cd\"", "C:abcd"}, {"\"ab  \"-\"cd\"", "C:abcd  "}, {"NAME-\"!\"", "C:Müller!    "},
      // dates
      {"DATUM+1", "D:20240301"}, {"1+DATUM", "D:20240301"}, {"DATUM-29", "D:20240131"},
      {"DATUM-CTOD(\"01.01.2024\")", "N:59"},
      // comparisons: "=" is non-exact (left begins with right)
      {"NAME=\"Mü\"", "L:T"}, {"NAME=\"\"", "L:T"}, {"\"Mü\"=NAME", "L:F"}, {"NAME==\"Müller\"", "L:F"},
      {"TRIM(NAME)==\"Müller\"", "L:T"}, {"NAME!=\"Mü\"", "L:F"}, {"NAME<>\"X\"", "L:T"}, {"NAME#\"X\"", "L:T"},
      {"\"a\"<\"b\"", "L:T"}, {"\"b\">\"a\"", "L:T"}, {"2<=2", "L:T"}, {"3>=4", "L:F"},
      {"DATUM>CTOD(\"01.01.2024\")", "L:T"}, {".F.<.T.", "L:T"}, {"\"ül\"$NAME", "L:T"}, {"\"x\"$NAME", "L:F"},
      // logic
      {"AKTIV.AND.BETRAG>1000", "L:T"}, {".F..OR..T.", "L:T"}, {".NOT.AKTIV", "L:F"}, {"!AKTIV", "L:F"},
      {"! .F. .and. .t.", "L:T"}, {"IIF(AKTIV,\"ja\",\"nein\")", "C:ja"}, {"IF(.F.,1,2)", "N:2"},
      // functions
      {"UPPER(NAME)", "C:MüLLER    "}, {"LOWER(\"ABC\")", "C:abc"}, {"TRIM(\" a \")", "C: a"},
      {"RTRIM(\" a \")", "C: a"}, {"LTRIM(\" a \")", "C:a "}, {"ALLTRIM(\" a \")", "C:a"},
      {"PADR(\"ab\",4)", "C:ab  "}, {"PADL(\"ab\",4)", "C:  ab"}, {"PADC(\"ab\",5,\"*\")", "C:*ab**"},
      {"PADR(12,4)", "C:12  "}, {"SUBSTR(\"abcdef\",2,3)", "C:bcd"}, {"SUBSTR(\"abcdef\",5)", "C:ef"},
      {"SUBSTR(\"abcdef\",-2)", "C:ef"}, {"SUBSTR(\"abc\",9)", "C:"}, {"LEFT(\"abc\",2)", "C:ab"},
      {"RIGHT(\"abc\",2)", "C:bc"}, {"STR(BETRAG)", "C:   1234.50"}, {"STR(BETRAG,10,2)", "C:   1234.50"},
      {"STR(5,3)", "C:  5"}, {"STR(1234,3)", "C:***"}, {"STR(2.675,5,2)", "C: 2.68"}, {"STRZERO(5,3)", "C:005"},
      {"VAL(\"12.5abc\")", "N:12.5"}, {"VAL(\"x\")", "N:0"}, {"AT(\"b\",\"abcb\")", "N:2"},
      {"RAT(\"b\",\"abcb\")", "N:4"}, {"AT(\"\",\"abc\")", "N:0"}, {"SPACE(3)", "C:   "},
      {"REPLICATE(\"ab\",3)", "C:ababab"}, {"LEN(NAME)", "N:10"}, {"EMPTY(\"  \")", "L:T"}, {"EMPTY(0)", "L:T"},
      {"EMPTY(CTOD(\"\"))", "L:T"}, {"EMPTY(NAME)", "L:F"}, {"TRANSFORM(1234.5,\"999,999.99\")", "C:  1.234,50"},
      {"TRANSFORM(\"ab\",\"@!\")", "C:AB"}, {"RECNO()", "N:42"}, {"DELETED()", "L:F"}, {"INT(-3.7)", "N:-3"},
      {"ROUND(2.345,2)", "N:2.35"}, {"ROUND(1250,-2)", "N:1300"}, {"ABS(-2)", "N:2"}, {"MIN(3,2)", "N:2"},
      {"MAX(DATUM,CTOD(\"01.01.2025\"))", "D:20250101"}, {"CHR(65)", "C:A"}, {"ASC(\"A\")", "N:65"},
      {"DESCEND(5)", "N:-5"}, {"LEN(DESCEND(NAME))", "N:10"}, {"DTOC(DATUM)", "C:29.02.2024"},
      {"DTOS(DATUM)", "C:20240229"}, {"DOW(DATUM)", "N:5"}, {"YEAR(DATUM)", "N:2024"}, {"MONTH(DATUM)", "N:2"},
      {"DAY(DATUM)", "N:29"}, {"UPPER(NAME)+DTOS(DATUM)", "C:MüLLER    20240229"},
      {"SUBS(\"abc\",2)", "C:bc"}, {"REPL(\"-\",2)", "C:--"},  // four-letter abbreviations
      // errors with their positions (1-based)
      {"1 +", err(K::Syntax, 4)}, {"(1", err(K::Syntax, 3)}, {"1)", err(K::Syntax, 2)}, {"\"abc", err(K::Syntax, 1)},
      {"1 @ 2", err(K::Syntax, 3)}, {"", err(K::Syntax, 1)}, {"1 2", err(K::Syntax, 3)}, {". 1", err(K::Syntax, 1)},
      {"NAME + GIBTSNICHT", err(K::UnknownField, 8)}, {"ANDERE->NAME", err(K::UnknownField, 1)},
      {"FOO(1)", err(K::UnknownFunction, 1)}, {"SUBSTR(\"a\")", err(K::ArgumentCount, 1)},
      {"NAME + 1", err(K::TypeMismatch, 6)}, {"UPPER(BETRAG)", err(K::TypeMismatch, 7)},
      {"DATUM + DATUM", err(K::TypeMismatch, 7)}, {"IIF(1,2,3)", err(K::TypeMismatch, 5)},
      {"1/0", err(K::DivisionByZero, 2)}, {"BETRAG/(BETRAG-BETRAG)", err(K::DivisionByZero, 7)},
      {"5 % 0", err(K::DivisionByZero, 3)}, {"SPACE(1e15)", err(K::Syntax, 8)}, {"SPACE(100000000)", err(K::Range, 1)},
      {"REPLICATE(NAME, 99999999)", err(K::Range, 1)}, {"\"€\" + NAME", "C:€Müller    "},
      // no infinity or NaN gets through to a later conversion
      {"1e308", err(K::Syntax, 2)}, {"9999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999", err(K::Range, 1)},
      {"VAL(REPLICATE(\"9\", 400))", err(K::Range, 1)}, {"VAL(REPLICATE(\"9\", 400)) + 1", err(K::Range, 1)},
      {"1.7E308", err(K::Syntax, 4)},
      {"10**308 + 10**308", err(K::Range, 9)}, {"-(10**308) - 10**308", err(K::Range, 12)},
      {"CHR(10**308 * 10)", err(K::Range, 13)},
      {"DATUM + (10**308 + 10**308)", err(K::Range, 18)},
      {"ROUND(1.5, 15)", "N:1.5"}, {"ROUND(2.675, 2)", "N:2.68"}, {"ROUND(-2.5, 0)", "N:-3"},
      {"ROUND(0.285, 2)", "N:0.29"}, {"ROUND(1234567.891, 15)", "N:1234567.891"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expr);
    EXPECT_EQ(run(c.expr), c.expected);
  }
}

TEST(Expression, LiteralsAreConvertedToTheCodePage) {
  ExprOptions cp850;
  cp850.code_page = CodePage::Cp850;
  TestRecord rec;
  Expression e = Expression::compile("\"Ä\"", cp850, &rec);
  ASSERT_TRUE(e.ok());
  EXPECT_EQ(e.evaluate()->str, std::string("\x8E"));
  // The euro sign exists in Windows-1252, not in CP850: refused, with its position.
  Expression bad = Expression::compile("NAME = \"€\"", cp850, &rec);
  ASSERT_FALSE(bad.ok());
  EXPECT_EQ(bad.error().kind, ExprErrorKind::Encoding);
  EXPECT_EQ(bad.error().position, 8);
  EXPECT_NE(bad.error().message.find("CP850"), std::string::npos);
  // Key expressions read from index files are stored bytes already.
  ExprOptions raw;
  raw.literals_utf8 = false;
  Expression r = Expression::compile("\"\xE4\"", raw);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.evaluate()->str, "\xE4");
}

TEST(Expression, UpperFlavourFollowsTheContext) {
  struct { CaseFlavour flavour; CodePage cp; std::string expected; } cases[] = {
      {CaseFlavour::Ascii, CodePage::Windows1252, "MüLLER äÖ"},
      {CaseFlavour::German, CodePage::Windows1252, "MÜLLER ÄÖ"},
      {CaseFlavour::German, CodePage::Cp850, "MÜLLER ÄÖ"},
      {CaseFlavour::Full, CodePage::Cp850, "MÜLLER ÄÖ"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(code_page_name(c.cp));
    ExprOptions o;
    o.case_flavour = c.flavour;
    o.code_page = c.cp;
    EXPECT_EQ(run("UPPER(\"Müller äÖ\")", o), "C:" + c.expected);
    EXPECT_EQ(run("LOWER(\"MÜLLER\")", o), c.flavour == CaseFlavour::Ascii ? "C:mÜller" : "C:müller");
  }
  // Only the full maps fold the accents beside the umlauts.
  for (CodePage cp : {CodePage::Windows1252, CodePage::Cp850}) {
    SCOPED_TRACE(code_page_name(cp));
    ExprOptions o;
    o.code_page = cp;
    o.case_flavour = CaseFlavour::Full;
    EXPECT_EQ(run("UPPER(\"Éric, Ñandú, Ångström, Øre, Çà\")", o), "C:ÉRIC, ÑANDÚ, ÅNGSTRÖM, ØRE, ÇÀ");
    EXPECT_EQ(run("LOWER(\"ÉÇÑß\")", o), "C:éçñß");
    o.case_flavour = CaseFlavour::German;
    EXPECT_EQ(run("UPPER(\"éçñü\")", o), "C:éçñÜ");
  }
}

// DTOS() of the empty date: blanks, or the dBASE family's day zero where an index asks.
TEST(Expression, DtosOfTheEmptyDateFollowsTheContext) {
  for (bool day_zero : {false, true}) {
    SCOPED_TRACE(day_zero);
    ExprOptions o;
    o.dtos_empty_day_zero = day_zero;
    const std::string empty = day_zero ? "18991230" : "        ";
    EXPECT_EQ(run("DTOS(CTOD(\"\"))", o), "C:" + empty);
    EXPECT_EQ(run("DTOS(STOD(\"20240229\"))", o), "C:20240229");
    // The stored field (copied straight from the record, or through a date value):
    // blanks, a valid date, and bytes that are no date.
    for (const auto& [stored, want] : {std::pair<std::string, std::string>{"        ", empty},
                                       {"20000229", "20000229"},
                                       {"2000023x", empty}}) {
      TestRecord rec;
      rec.set("DATUM", stored);
      for (const char* text : {"DTOS(DATUM)", "DTOS(DATUM+0)", "UPPER(NAME)+DTOS(DATUM)"}) {
        Expression e = Expression::compile(text, o, &rec);
        ASSERT_TRUE(e.ok()) << text;
        const Value* v = e.evaluate(rec.record());
        ASSERT_NE(v, nullptr) << text;
        EXPECT_EQ(v->str.substr(v->str.size() - 8), want) << text << " " << stored;
      }
    }
  }
}

TEST(Expression, ResultTypeAndKeyLengthAreKnownAfterCompiling) {
  TestRecord rec;
  struct { const char* expr; ValueType type; int len; } cases[] = {
      {"UPPER(NAME)+DTOS(DATUM)", ValueType::Character, 18},
      {"NAME+STR(BETRAG,10,2)+DTOS(DATUM)", ValueType::Character, 28},
      {"SUBSTR(NAME,3,4)+LEFT(ORT,2)", ValueType::Character, 6},
      {"PADR(ORT,20)", ValueType::Character, 20},
      {"TRIM(NAME)", ValueType::Character, -1},
      {"BETRAG", ValueType::Numeric, 10},
      {"DATUM", ValueType::Date, 8},
      {"DELETED()", ValueType::Logical, 1},
      {"IIF(AKTIV,1,\"x\")", ValueType::Nil, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expr);
    Expression e = Expression::compile(c.expr, {}, &rec);
    ASSERT_TRUE(e.ok()) << e.error().message;
    EXPECT_EQ(e.type(), c.type);
    EXPECT_EQ(e.length(), c.len);
  }
  Expression e = Expression::compile("BETRAG", {}, &rec);
  EXPECT_EQ(e.decimals(), 2);
}

TEST(Expression, CompiledOnceEvaluatedPerRecord) {
  TestRecord rec;
  Expression e = Expression::compile("UPPER(NAME)+DTOS(DATUM)", {}, &rec);
  ASSERT_TRUE(e.ok());
  EXPECT_EQ(e.evaluate(rec.record())->str, "M\xFCLLER    20240229");
  rec.set("NAME", "abc");
  rec.set("DATUM", "        ");
  EXPECT_EQ(e.evaluate(rec.record())->str, "ABC               ");
  rec.set_deleted(true);
  Expression del = Expression::compile("DELETED() .AND. RECNO() = 7", {}, &rec);
  EXPECT_TRUE(del.evaluate(rec.record(7))->logical);
  EXPECT_FALSE(del.evaluate(rec.record(8))->logical);
}

TEST(Expression, FieldsNeedARecordThatHoldsThem) {
  TestRecord rec;
  Expression e = Expression::compile("ORT", {}, &rec);
  ASSERT_TRUE(e.ok());
  EXPECT_EQ(e.evaluate(), nullptr);  // no record at all
  EXPECT_EQ(e.last_error().kind, ExprErrorKind::FieldAccess);
  EvalRecord shorter = rec.record();
  shorter.size = 20;  // ORT lies beyond
  EXPECT_EQ(e.evaluate(shorter), nullptr);
  EXPECT_EQ(e.last_error().kind, ExprErrorKind::FieldAccess);
  EXPECT_NE(e.evaluate(rec.record()), nullptr);
}

TEST(Expression, RestrictedModeAllowsOnlyListedFunctions) {
  ExprOptions o;
  o.restricted = true;
  o.allowed_functions = {"CTOD", "INT"};
  EXPECT_EQ(run("INT(7/2)*2", o), "N:6");
  EXPECT_EQ(run("CTOD(\"1.2.19\")+1", o), "D:20190202");
  EXPECT_EQ(run("1 + RECNO()", o), err(ExprErrorKind::NotAllowed, 5));
  EXPECT_EQ(run("REPLICATE(\"x\", 3)", o), err(ExprErrorKind::NotAllowed, 1));
  // Typed values never reach fields when no resolver is given.
  Result<Value> r = evaluate_text("NAME", o);
  EXPECT_FALSE(r.is_ok());
  EXPECT_NE(r.status().message().find("NAME"), std::string::npos);
  EXPECT_EQ(evaluate_text("2*3", o).value().num, 6);
}

TEST(Expression, HostileInputOnlyGivesErrors) {
  std::string deep(5000, '(');
  EXPECT_EQ(run(deep + "1" + std::string(5000, ')')).substr(0, 2), "E" + std::to_string(int(ExprErrorKind::TooComplex)));
  std::string negs(5000, '-');
  EXPECT_EQ(run(negs + "1").substr(0, 2), "E" + std::to_string(int(ExprErrorKind::TooComplex)));
  std::string nots;
  for (int i = 0; i < 3000; ++i) nots += "!";
  EXPECT_EQ(run(nots + ".T.").substr(0, 2), "E" + std::to_string(int(ExprErrorKind::TooComplex)));
  std::string chain = "NAME";
  for (int i = 0; i < 3000; ++i) chain += "+NAME";
  EXPECT_EQ(run(chain).substr(0, 2), "E" + std::to_string(int(ExprErrorKind::TooComplex)));
  // A long chain of constants folds as it is read and is fine.
  std::string ones = "1";
  for (int i = 0; i < 3000; ++i) ones += "+1";
  EXPECT_EQ(run(ones), "N:3001");
  EXPECT_EQ(run(std::string("\"\xff\xfe\"")).substr(0, 2), "E" + std::to_string(int(ExprErrorKind::Encoding)));
  EXPECT_EQ(run("STR(1e300*1e300)").substr(0, 1), "E");
}

TEST(Expression, RandomTextsNeverCrash) {
  // Pieces of valid and broken syntax thrown together: every text either compiles and
  // evaluates to a value or gives an error with a position inside the text.
  const char* pieces[] = {"NAME", "BETRAG", "DATUM", "AKTIV", "NOTIZ", "KUNDEN->", "(", ")", ",", "+", "-",
                          "*", "/", "%", "**", "^", "=", "==", "<>", "#", "<", ">=", "$", ".AND.", ".OR.",
                          ".NOT.", "!", "\"a\"", "'", "[x]", "0", "1.5", "-1", ".T.", "SUBSTR(", "UPPER(",
                          "STR(", "IIF(", "CTOD(", "SPACE(", "REPLICATE(", "PADL(", "CHR(", "DESCEND(",
                          "ROUND(", "1e9", "99999999", " ", "\xc3\xa4", "\xff", "DTOS(", "MIN(", "VAL("};
  TestRecord rec;
  uint32_t seed = 12345;
  auto rnd = [&seed](uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    int n = 1 + static_cast<int>(rnd(12));
    for (int k = 0; k < n; ++k) text += pieces[rnd(sizeof pieces / sizeof pieces[0])];
    Expression e = Expression::compile(text, {}, &rec);
    if (!e.ok()) {
      EXPECT_GE(e.error().position, 1) << text;
      EXPECT_FALSE(e.error().message.empty()) << text;
      continue;
    }
    const Value* v = e.evaluate(rec.record());
    if (!v) {
      EXPECT_FALSE(e.last_error().message.empty()) << text;
    }
  }
}

TEST(Expression, ConditionsOfTheBulkReplace) {
  // Non-exact equality lets a prefix match and an empty value match everything;
  // "<>" is its exact negation.
  TestRecord rec;
  for (const char* name : {"Müller", "Münster", "Maier", ""}) {
    rec.set("NAME", name);
    for (const char* value : {"Mü", "", "Maier", "Maierhofer"}) {
      SCOPED_TRACE(std::string(name) + " / " + value);
      std::string lit = std::string("\"") + value + "\"";
      Expression eq = Expression::compile("NAME = " + lit, {}, &rec);
      Expression ne = Expression::compile("NAME <> " + lit, {}, &rec);
      std::string stored = cp_from_utf8(CodePage::Windows1252, name).value();
      stored.resize(10, ' ');
      std::string v = cp_from_utf8(CodePage::Windows1252, value).value();
      bool expected = stored.compare(0, v.size(), v) == 0 && v.size() <= stored.size();
      EXPECT_EQ(eq.evaluate(rec.record())->logical, expected);
      EXPECT_EQ(ne.evaluate(rec.record())->logical, !expected);
    }
  }
}

}  // namespace
}  // namespace mv
