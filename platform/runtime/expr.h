#pragma once
// xBase expressions: compiled once (index keys, FOR conditions, typed-in values), then
// evaluated per record without allocating once the result buffers have grown.
//
//   FieldResolver resolves field names at compile time to a FieldRef: type, length,
//   decimals and, for the fast path, where the field's bytes lie in the record buffer.
//   Expression::evaluate(EvalRecord) then reads fields straight from that buffer.
//
// Nothing a user types can do more than compute a value: unknown names, bad syntax, type
// mismatches, division by zero, over-deep nesting and oversized texts are ExprErrors with
// the position (1-based, in characters of the typed text) where they arose.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/status.h"
#include "platform/runtime/strings.h"
#include "platform/runtime/value.h"

namespace mv {

// How a field's value lies in the record buffer (the DBF layout), or that it must be
// asked for (memo fields, binary field types the table layer decodes itself).
enum class FieldStorage : uint8_t {
  Callback,     // RecordSource::field_value(id, ...) per evaluation
  Character,    // `len` bytes as stored
  NumericText,  // a right-aligned ASCII number in `len` bytes ("N", "F")
  DateText,     // "yyyyMMdd" (blanks or anything else: the empty date)
  LogicalChar,  // one byte: T, t, Y, y are true, everything else false
};

struct FieldRef {
  ValueType type = ValueType::Nil;  // Character for "C" and "M" fields
  int len = 0;
  int dec = 0;
  FieldStorage storage = FieldStorage::Callback;
  uint32_t offset = 0;  // byte offset in the record buffer (byte 0 is the deleted flag)
  int id = 0;           // the resolver's own number, passed back for Callback fields
};

class FieldResolver {
 public:
  virtual ~FieldResolver() = default;
  // `alias` is what stood before "->" (empty when nothing did), `name` the field name as
  // written (compare without regard to case). Nothing for an unknown field; a resolver
  // may refuse an alias it does not serve the same way.
  virtual std::optional<FieldRef> resolve(std::string_view alias, std::string_view name) = 0;
};

// Values the record buffer cannot give.
class RecordSource {
 public:
  virtual ~RecordSource() = default;
  // Value of a Callback field; false when it cannot be read (reported as an error).
  virtual bool field_value(int id, Value& out) = 0;
  // DELETED() when EvalRecord has no buffer.
  virtual bool deleted() { return false; }
};

// The record one evaluation looks at.
struct EvalRecord {
  const uint8_t* data = nullptr;  // record buffer, deleted flag first
  size_t size = 0;
  uint32_t recno = 0;               // RECNO()
  RecordSource* source = nullptr;   // Callback fields, DELETED() without a buffer
};

// One part of an expression that is nothing but bytes of the record buffer (see
// Expression::record_parts): what its value is made from.
struct RecordPart {
  enum class Kind : uint8_t {
    Field,  // the field as read (a Character field's bytes; a number or date field alone)
    Upper,  // UPPER() of a Character field
    DToS,   // DTOS() of a date field: the eight stored digits when they are a valid date
  };
  Kind kind = Kind::Field;
  FieldRef field;
  const unsigned char* upper = nullptr;  // Upper: the byte map, nullptr for a-z only
  const char* empty_date = nullptr;      // DToS: the eight bytes of the empty date
};

// A number field's value as the evaluator reads it from its stored text: blanks, sign,
// digits, point, digits; anything else reads as 0.
double stored_number(const char* p, size_t len);

enum class ExprErrorKind : uint8_t {
  None,
  Syntax,
  UnknownField,
  UnknownFunction,
  NotAllowed,      // a function or field outside the restricted mode's list
  ArgumentCount,
  TypeMismatch,
  DivisionByZero,
  TooComplex,      // nesting or size beyond the guards
  Encoding,        // a literal the code page cannot hold
  Range,           // a text longer than the evaluator allows
  FieldAccess,     // no record, a field outside the record, a callback field that failed
};

struct ExprError {
  ExprErrorKind kind = ExprErrorKind::None;
  int position = 0;     // 1-based character position in the expression text, 0 when none
  std::string message;  // German, ready to show

  bool ok() const { return kind == ExprErrorKind::None; }
  Status to_status() const;
};

struct ExprOptions {
  // Code page of the values (the table's); literals are converted to it at compile time.
  CodePage code_page = CodePage::Windows1252;
  // UPPER/LOWER: a-z only (the byte collation of most index files) or German umlauts too.
  CaseFlavour case_flavour = CaseFlavour::Ascii;
  // DTOS() of the empty date: eight blanks, or "18991230" (day zero of the dBASE family's
  // date arithmetic, which that family's index files hold as the key of an empty date).
  bool dtos_empty_day_zero = false;
  // Literals typed by the user are UTF-8; key expressions read from index files are
  // already stored bytes and are taken as they stand.
  bool literals_utf8 = true;
  // Restricted mode: literals, operators and only the functions named in
  // `allowed_functions` (upper-case full names); field names need a resolver as always.
  bool restricted = false;
  std::vector<std::string> allowed_functions;
};

class Expression {
 public:
  Expression();
  ~Expression();
  Expression(Expression&&) noexcept;
  Expression& operator=(Expression&&) noexcept;
  Expression(const Expression&) = delete;
  Expression& operator=(const Expression&) = delete;

  // Compiles `text`; check ok() / error(). Without a resolver every name is unknown.
  static Expression compile(std::string_view text, const ExprOptions& options = {},
                            FieldResolver* fields = nullptr);

  bool ok() const;
  const ExprError& error() const;  // the compile error
  const std::string& text() const;

  // Result type after compilation; Nil when it depends on the record (IIF with branches
  // of different types).
  ValueType type() const;
  // Character results: the length every evaluation gives, -1 when it varies (TRIM ...).
  // Numeric results: the width (0 when unknown). Others: 8 for dates, 1 for logicals.
  int length() const;
  int decimals() const;
  // True when the expression reads no field, RECNO(), DELETED() or DATE().
  bool is_constant() const;

  // Evaluates on one record. The result lives in the expression and stays valid until
  // the next evaluate(); nullptr on failure (see last_error()). Not for concurrent use.
  const Value* evaluate(const EvalRecord& record = {});
  const ExprError& last_error() const;

  // The expression as parts read from the record buffer: a Character field, UPPER() of
  // one, DTOS() of a date field, or "+" of such parts (the value is their bytes in
  // order); or a number or date field alone. Empty for every other expression. Lets
  // index keys be taken from a record without evaluating.
  const std::vector<RecordPart>& record_parts() const { return parts_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::vector<RecordPart> parts_;  // here rather than in Impl: asked for every key
};

// Compiles and evaluates a text without fields in one go (typed-in values).
Result<Value> evaluate_text(std::string_view text, const ExprOptions& options = {});

// The names of the functions the evaluator knows (upper case, full names).
const std::vector<std::string>& expression_functions();

}  // namespace mv
