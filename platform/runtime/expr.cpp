#include "platform/runtime/expr.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "platform/runtime/date.h"

namespace mv {
namespace {

// Guards against what a typed text could do to the process.
constexpr int kMaxDepth = 200;              // nesting of the tree (and of the parser)
constexpr size_t kMaxNodes = 20000;
constexpr size_t kMaxText = size_t(1) << 24;  // longest text an evaluation may build

enum class Op : uint8_t {
  Literal, Field,
  Plus, Minus, Mul, Div, Mod, Pow, Neg,
  Eq, ExactEq, Ne, Lt, Gt, Le, Ge, Contains,
  And, Or, Not,
  Call,
};

enum class Fn : uint8_t {
  Upper, Lower, Trim, RTrim, LTrim, AllTrim, PadR, PadL, PadC, Substr, Left, Right,
  Str, StrZero, Val, At, RAt, Space, Replicate, Len, Empty, Transform,
  RecNo, Deleted, Date, Int, Round, Abs, Min, Max, Chr, Asc, Descend, Iif,
  CToD, DToC, DToS, SToD, DoW, Year, Month, Day,
};

struct FnSpec {
  const char* name;
  Fn fn;
  int min_args;
  int max_args;
  const char* arg_types;  // one letter per argument: C N D L, '*' any
  bool pure;              // same arguments, same result (folded when constant)
};

const FnSpec kFunctions[] = {
    {"UPPER", Fn::Upper, 1, 1, "C", true},
    {"LOWER", Fn::Lower, 1, 1, "C", true},
    {"TRIM", Fn::Trim, 1, 1, "C", true},
    {"RTRIM", Fn::RTrim, 1, 1, "C", true},
    {"LTRIM", Fn::LTrim, 1, 1, "C", true},
    {"ALLTRIM", Fn::AllTrim, 1, 1, "C", true},
    {"PADR", Fn::PadR, 2, 3, "*NC", true},
    {"PADL", Fn::PadL, 2, 3, "*NC", true},
    {"PADC", Fn::PadC, 2, 3, "*NC", true},
    {"SUBSTR", Fn::Substr, 2, 3, "CNN", true},
    {"LEFT", Fn::Left, 2, 2, "CN", true},
    {"RIGHT", Fn::Right, 2, 2, "CN", true},
    {"STR", Fn::Str, 1, 3, "NNN", true},
    {"STRZERO", Fn::StrZero, 1, 3, "NNN", true},
    {"VAL", Fn::Val, 1, 1, "C", true},
    {"AT", Fn::At, 2, 2, "CC", true},
    {"RAT", Fn::RAt, 2, 2, "CC", true},
    {"SPACE", Fn::Space, 1, 1, "N", true},
    {"REPLICATE", Fn::Replicate, 2, 2, "CN", true},
    {"LEN", Fn::Len, 1, 1, "C", true},
    {"EMPTY", Fn::Empty, 1, 1, "*", true},
    {"TRANSFORM", Fn::Transform, 2, 2, "*C", true},
    {"RECNO", Fn::RecNo, 0, 0, "", false},
    {"DELETED", Fn::Deleted, 0, 0, "", false},
    {"DATE", Fn::Date, 0, 0, "", false},
    {"INT", Fn::Int, 1, 1, "N", true},
    {"ROUND", Fn::Round, 2, 2, "NN", true},
    {"ABS", Fn::Abs, 1, 1, "N", true},
    {"MIN", Fn::Min, 2, 2, "**", true},
    {"MAX", Fn::Max, 2, 2, "**", true},
    {"CHR", Fn::Chr, 1, 1, "N", true},
    {"ASC", Fn::Asc, 1, 1, "C", true},
    {"DESCEND", Fn::Descend, 1, 1, "*", true},
    {"IIF", Fn::Iif, 3, 3, "L**", true},
    {"IF", Fn::Iif, 3, 3, "L**", true},
    {"CTOD", Fn::CToD, 1, 1, "C", true},
    {"DTOC", Fn::DToC, 1, 1, "D", true},
    {"DTOS", Fn::DToS, 1, 1, "D", true},
    {"STOD", Fn::SToD, 1, 1, "C", true},
    {"DOW", Fn::DoW, 1, 1, "D", true},
    {"YEAR", Fn::Year, 1, 1, "D", true},
    {"MONTH", Fn::Month, 1, 1, "D", true},
    {"DAY", Fn::Day, 1, 1, "D", true},
};

// xBase accepts a function name shortened to four or more letters.
const FnSpec* find_function(std::string_view upper_name) {
  for (const FnSpec& f : kFunctions)
    if (upper_name == f.name) return &f;
  if (upper_name.size() >= 4)
    for (const FnSpec& f : kFunctions)
      if (std::string_view(f.name).starts_with(upper_name)) return &f;
  return nullptr;
}

ValueType type_of_letter(char c) {
  switch (c) {
    case 'C': return ValueType::Character;
    case 'N': return ValueType::Numeric;
    case 'D': return ValueType::Date;
    case 'L': return ValueType::Logical;
  }
  return ValueType::Nil;
}

const char* type_name(ValueType t) {
  switch (t) {
    case ValueType::Character: return "Zeichen";
    case ValueType::Numeric: return "Zahl";
    case ValueType::Date: return "Datum";
    case ValueType::Logical: return "logischer Wert";
    case ValueType::Nil: return "NIL";
  }
  return "?";
}

const char* op_text(Op op) {
  switch (op) {
    case Op::Plus: return "+";
    case Op::Minus: return "-";
    case Op::Mul: return "*";
    case Op::Div: return "/";
    case Op::Mod: return "%";
    case Op::Pow: return "**";
    case Op::Neg: return "-";
    case Op::Eq: return "=";
    case Op::ExactEq: return "==";
    case Op::Ne: return "<>";
    case Op::Lt: return "<";
    case Op::Gt: return ">";
    case Op::Le: return "<=";
    case Op::Ge: return ">=";
    case Op::Contains: return "$";
    case Op::And: return ".AND.";
    case Op::Or: return ".OR.";
    case Op::Not: return ".NOT.";
    default: return "?";
  }
}

struct Node {
  Op op = Op::Literal;
  Fn fn = Fn::Upper;
  const FnSpec* fdef = nullptr;     // Call: the function
  ValueType type = ValueType::Nil;  // static type; Nil: known per evaluation only
  int len = -1;                     // static length (see Expression::length)
  int dec = 0;
  int pos = 0;                      // 1-based character position in the text
  int depth = 1;
  int nargs = 0;
  int arg[3] = {-1, -1, -1};
  bool fused = false;  // DTOS of a stored date field: the stored digits, checked, copied
  FieldRef field;
  Value slot;  // the literal, or the result buffer reused by every evaluation
};

// Round half away from zero on the decimal value (2.675 -> 2.68), as xBase does: a value
// within a few units of the last place of a half counts as the half the user wrote. Beyond
// 2^52 a double has no fraction left to round.
double round_dec(double n, int dec) {
  if (!std::isfinite(n)) return n;
  const double scale = std::pow(10.0, dec);
  const double x = n * scale;
  if (!std::isfinite(x) || std::fabs(x) >= 4503599627370496.0) return n;
  const double whole = std::trunc(x);
  const double frac = std::fabs(x - whole);
  const double ulp = std::fabs(x) * DBL_EPSILON;
  const double r = (std::fabs(frac - 0.5) <= 4 * ulp ? whole + std::copysign(1.0, x) : std::round(x)) / scale;
  return r == 0 ? 0 : r;
}

bool is_ident_start(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool is_ident_char(char c) { return is_ident_start(c) || (c >= '0' && c <= '9'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string ascii_upper(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return r;
}

}  // namespace

double stored_number(const char* p, size_t len) {
  size_t i = 0;
  while (i < len && p[i] == ' ') ++i;
  bool neg = false;
  if (i < len && (p[i] == '-' || p[i] == '+')) neg = p[i++] == '-';
  uint64_t mant = 0;
  int frac = 0;
  int digits = 0;
  bool point = false;
  for (; i < len; ++i) {
    char c = p[i];
    if (c >= '0' && c <= '9') {
      if (digits < 18) {
        mant = mant * 10 + static_cast<uint64_t>(c - '0');
        ++digits;
        if (point) ++frac;
      } else if (!point) {
        return std::strtod(std::string(p, len).c_str(), nullptr);  // beyond 18 digits
      }
    } else if (c == '.' && !point) {
      point = true;
    } else if (c == ' ') {
      break;
    } else {
      return 0;
    }
  }
  static const double kPow10[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9,
                                  1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};
  double r = static_cast<double>(mant) / kPow10[frac];
  return neg ? -r : r;
}

Status ExprError::to_status() const {
  if (ok()) return Status::ok();
  return Status::invalid_argument(message);
}

struct Expression::Impl {
  std::string text;
  ExprOptions options;
  FieldResolver* resolver = nullptr;
  std::vector<Node> nodes;
  int root = -1;
  bool constant = true;
  ExprError compile_error;
  ExprError eval_error;
  const unsigned char* upper_tab = nullptr;
  const unsigned char* lower_tab = nullptr;
  const EvalRecord* rec = nullptr;  // during evaluate()

  // ---------------------------------------------------------------- lexer
  enum class Tok : uint8_t { End, Number, String, Ident, Logical, Op, LParen, RParen, Comma, Arrow };
  struct Token {
    Tok kind = Tok::End;
    size_t offset = 0;
    std::string text;  // identifier (as written), operator, raw string contents
    double num = 0;
    int dec = 0;
    bool logical = false;
  };
  size_t lex_pos = 0;
  Token tok;
  int parse_depth = 0;

  int char_pos(size_t offset) const {
    int n = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i)
      if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++n;
    return n;
  }

  bool fail(ExprErrorKind kind, int pos, std::string msg) {
    if (compile_error.ok()) {
      compile_error.kind = kind;
      compile_error.position = pos;
      compile_error.message = std::move(msg);
    }
    return false;
  }

  bool syntax(size_t offset, const std::string& what) {
    int p = char_pos(offset);
    return fail(ExprErrorKind::Syntax, p, "Syntaxfehler an Position " + std::to_string(p) + ": " + what);
  }

  static bool match_word(std::string_view s, size_t i, std::string_view word) {
    if (i + word.size() > s.size()) return false;
    for (size_t k = 0; k < word.size(); ++k) {
      char c = s[i + k];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
      if (c != word[k]) return false;
    }
    return true;
  }

  bool next() {
    const std::string& s = text;
    size_t i = lex_pos;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n')) ++i;
    tok = Token();
    tok.offset = i;
    if (i >= s.size()) {
      tok.kind = Tok::End;
      lex_pos = i;
      return true;
    }
    char c = s[i];
    if (is_digit(c) || (c == '.' && i + 1 < s.size() && is_digit(s[i + 1]))) {
      double whole = 0;
      size_t j = i;
      std::string digits;
      while (j < s.size() && is_digit(s[j])) digits.push_back(s[j++]);
      int dec = 0;
      // A point belongs to the number unless it opens an operator such as ".AND.".
      if (j < s.size() && s[j] == '.' && !(j + 1 < s.size() && is_ident_start(s[j + 1]))) {
        digits.push_back(s[j++]);
        while (j < s.size() && is_digit(s[j])) {
          digits.push_back(s[j++]);
          ++dec;
        }
      }
      whole = std::strtod(digits.c_str(), nullptr);
      if (!std::isfinite(whole)) return fail(ExprErrorKind::Range, char_pos(i), "Zahl zu groß");
      tok.kind = Tok::Number;
      tok.num = whole;
      tok.dec = dec;
      lex_pos = j;
      return true;
    }
    if (c == '"' || c == '\'' || c == '[') {
      char close = c == '[' ? ']' : c;
      size_t end = s.find(close, i + 1);
      if (end == std::string::npos) return syntax(i, "Zeichenkette nicht abgeschlossen");
      tok.kind = Tok::String;
      tok.text = s.substr(i + 1, end - i - 1);
      lex_pos = end + 1;
      return true;
    }
    if (is_ident_start(c)) {
      size_t j = i;
      while (j < s.size() && is_ident_char(s[j])) ++j;
      tok.kind = Tok::Ident;
      tok.text = s.substr(i, j - i);
      lex_pos = j;
      return true;
    }
    if (c == '.') {
      static const struct { const char* word; bool is_logical; bool value; } kDotWords[] = {
          {".T.", true, true},   {".F.", true, false},  {".Y.", true, true}, {".N.", true, false},
          {".AND.", false, false}, {".OR.", false, false}, {".NOT.", false, false}};
      for (const auto& w : kDotWords) {
        if (match_word(s, i, w.word)) {
          if (w.is_logical) {
            tok.kind = Tok::Logical;
            tok.logical = w.value;
          } else {
            tok.kind = Tok::Op;
            tok.text = w.word;
          }
          lex_pos = i + std::strlen(w.word);
          return true;
        }
      }
      return syntax(i, "unbekannter Operator");
    }
    if (c == '(') { tok.kind = Tok::LParen; lex_pos = i + 1; return true; }
    if (c == ')') { tok.kind = Tok::RParen; lex_pos = i + 1; return true; }
    if (c == ',') { tok.kind = Tok::Comma; lex_pos = i + 1; return true; }
    static const char* kOps[] = {"->", "**", "==", "!=", "<>", "<=", ">=", "+", "-", "*", "/",
                                 "%", "^", "=", "#", "<", ">", "$", "!"};
    for (const char* op : kOps) {
      size_t n = std::strlen(op);
      if (s.compare(i, n, op) == 0) {
        if (n == 2 && op[0] == '-' && op[1] == '>') tok.kind = Tok::Arrow;
        else tok.kind = Tok::Op;
        tok.text = op;
        lex_pos = i + n;
        return true;
      }
    }
    std::string shown = (static_cast<unsigned char>(c) < 0x80) ? std::string(1, c) : std::string("?");
    return syntax(i, "unerwartetes Zeichen '" + shown + "'");
  }

  bool is_op(std::string_view o) const { return tok.kind == Tok::Op && tok.text == o; }

  // ---------------------------------------------------------------- tree building
  int add_node(Node n) {
    if (nodes.size() >= kMaxNodes) {
      fail(ExprErrorKind::TooComplex, n.pos, "Der Ausdruck ist zu umfangreich");
      return -1;
    }
    for (int k = 0; k < n.nargs; ++k) n.depth = std::max(n.depth, nodes[static_cast<size_t>(n.arg[k])].depth + 1);
    if (n.depth > kMaxDepth) {
      fail(ExprErrorKind::TooComplex, n.pos, "Der Ausdruck ist zu tief verschachtelt");
      return -1;
    }
    nodes.push_back(std::move(n));
    return static_cast<int>(nodes.size()) - 1;
  }

  int literal(Value v, int pos) {
    Node n;
    n.op = Op::Literal;
    n.type = v.type;
    n.pos = pos;
    n.len = v.type == ValueType::Character ? static_cast<int>(v.str.size())
            : v.type == ValueType::Date   ? 8
            : v.type == ValueType::Logical ? 1
                                           : v.len;
    n.dec = v.dec;
    n.slot = std::move(v);
    return add_node(std::move(n));
  }

  bool type_error(int pos, const std::string& what) {
    return fail(ExprErrorKind::TypeMismatch, pos,
                "Typfehler an Position " + std::to_string(pos) + ": " + what);
  }

  // Static typing and lengths of an operator node; folds it when its operands are literals.
  int make_op(Op op, int pos, int a, int b = -1) {
    if (a < 0 || (b < 0 && op != Op::Neg && op != Op::Not)) return -1;
    Node n;
    n.op = op;
    n.pos = pos;
    n.arg[0] = a;
    n.arg[1] = b;
    n.nargs = b < 0 ? 1 : 2;
    const Node& na = nodes[static_cast<size_t>(a)];
    ValueType ta = na.type;
    ValueType tb = b < 0 ? ValueType::Nil : nodes[static_cast<size_t>(b)].type;
    bool known = ta != ValueType::Nil && (b < 0 || tb != ValueType::Nil);
    auto mismatch = [&]() {
      std::string what = b < 0 ? std::string(op_text(op)) + " " + type_name(ta)
                               : std::string(type_name(ta)) + " " + op_text(op) + " " + type_name(tb);
      return type_error(pos, what);
    };
    int la = na.len;
    int lb = b < 0 ? -1 : nodes[static_cast<size_t>(b)].len;
    int da = na.dec;
    int db = b < 0 ? 0 : nodes[static_cast<size_t>(b)].dec;
    switch (op) {
      case Op::Plus:
      case Op::Minus:
        if (known) {
          if (ta == ValueType::Character && tb == ValueType::Character) n.type = ValueType::Character;
          else if (ta == ValueType::Numeric && tb == ValueType::Numeric) n.type = ValueType::Numeric;
          else if (ta == ValueType::Date && tb == ValueType::Numeric) n.type = ValueType::Date;
          else if (op == Op::Plus && ta == ValueType::Numeric && tb == ValueType::Date) n.type = ValueType::Date;
          else if (op == Op::Minus && ta == ValueType::Date && tb == ValueType::Date) n.type = ValueType::Numeric;
          else { mismatch(); return -1; }
        }
        if (n.type == ValueType::Character) n.len = (la >= 0 && lb >= 0) ? la + lb : -1;
        else if (n.type == ValueType::Date) n.len = 8;
        else { n.len = 0; n.dec = std::max(da, db); }
        break;
      case Op::Mul: case Op::Div: case Op::Mod: case Op::Pow:
        if (known && (ta != ValueType::Numeric || tb != ValueType::Numeric)) { mismatch(); return -1; }
        n.type = ValueType::Numeric;
        n.len = 0;
        n.dec = op == Op::Mul ? da + db : std::max(da, db);
        break;
      case Op::Neg:
        if (known && ta != ValueType::Numeric) { mismatch(); return -1; }
        n.type = ValueType::Numeric;
        n.len = na.len;
        n.dec = da;
        break;
      case Op::Eq: case Op::ExactEq: case Op::Ne: case Op::Lt: case Op::Gt: case Op::Le: case Op::Ge:
        if (known && ta != tb) { mismatch(); return -1; }
        n.type = ValueType::Logical;
        n.len = 1;
        break;
      case Op::Contains:
        if (known && (ta != ValueType::Character || tb != ValueType::Character)) { mismatch(); return -1; }
        n.type = ValueType::Logical;
        n.len = 1;
        break;
      case Op::And: case Op::Or:
        if (known && (ta != ValueType::Logical || tb != ValueType::Logical)) { mismatch(); return -1; }
        n.type = ValueType::Logical;
        n.len = 1;
        break;
      case Op::Not:
        if (known && ta != ValueType::Logical) { mismatch(); return -1; }
        n.type = ValueType::Logical;
        n.len = 1;
        break;
      default:
        break;
    }
    int idx = add_node(std::move(n));
    return fold(idx);
  }

  // Replaces a node whose operands are all literals by its value; errors found while
  // doing so (1/0 in a typed value) are compile errors with the node's position.
  int fold(int idx) {
    if (idx < 0) return idx;
    Node& n = nodes[static_cast<size_t>(idx)];
    if (n.op == Op::Call && !n.fdef->pure) return idx;
    for (int k = 0; k < n.nargs; ++k)
      if (nodes[static_cast<size_t>(n.arg[k])].op != Op::Literal) return idx;
    EvalRecord none;
    rec = &none;
    eval_error = ExprError();
    const Value* v = eval(idx);
    rec = nullptr;
    if (!v) {
      if (compile_error.ok()) compile_error = eval_error;
      return -1;
    }
    Value copy = *v;
    Node& m = nodes[static_cast<size_t>(idx)];
    m.op = Op::Literal;
    m.nargs = 0;
    m.depth = 1;
    if (m.type == ValueType::Nil) m.type = copy.type;
    m.slot = std::move(copy);
    return idx;
  }

  // ---------------------------------------------------------------- parser
  struct DepthGuard {
    Impl& impl;
    bool ok;
    explicit DepthGuard(Impl& i) : impl(i), ok(++i.parse_depth <= kMaxDepth) {}
    ~DepthGuard() { --impl.parse_depth; }
  };

  bool too_deep() {
    return fail(ExprErrorKind::TooComplex, char_pos(tok.offset), "Der Ausdruck ist zu tief verschachtelt");
  }

  int parse_or() {
    DepthGuard g(*this);
    if (!g.ok) { too_deep(); return -1; }
    int left = parse_and();
    while (left >= 0 && is_op(".OR.")) {
      int pos = char_pos(tok.offset);
      if (!next()) return -1;
      left = make_op(Op::Or, pos, left, parse_and());
    }
    return left;
  }

  int parse_and() {
    int left = parse_not();
    while (left >= 0 && is_op(".AND.")) {
      int pos = char_pos(tok.offset);
      if (!next()) return -1;
      left = make_op(Op::And, pos, left, parse_not());
    }
    return left;
  }

  int parse_not() {
    DepthGuard g(*this);
    if (!g.ok) { too_deep(); return -1; }
    if (is_op(".NOT.") || is_op("!")) {
      int pos = char_pos(tok.offset);
      if (!next()) return -1;
      return make_op(Op::Not, pos, parse_not());
    }
    return parse_rel();
  }

  int parse_rel() {
    int left = parse_add();
    while (left >= 0 && tok.kind == Tok::Op) {
      Op op;
      const std::string& t = tok.text;
      if (t == "=") op = Op::Eq;
      else if (t == "==") op = Op::ExactEq;
      else if (t == "!=" || t == "<>" || t == "#") op = Op::Ne;
      else if (t == "<") op = Op::Lt;
      else if (t == ">") op = Op::Gt;
      else if (t == "<=") op = Op::Le;
      else if (t == ">=") op = Op::Ge;
      else if (t == "$") op = Op::Contains;
      else break;
      int pos = char_pos(tok.offset);
      if (!next()) return -1;
      left = make_op(op, pos, left, parse_add());
    }
    return left;
  }

  int parse_add() {
    int left = parse_mul();
    while (left >= 0 && (is_op("+") || is_op("-"))) {
      Op op = tok.text == "+" ? Op::Plus : Op::Minus;
      int pos = char_pos(tok.offset);
      if (!next()) return -1;
      left = make_op(op, pos, left, parse_mul());
    }
    return left;
  }

  int parse_mul() {
    int left = parse_pow();
    while (left >= 0 && (is_op("*") || is_op("/") || is_op("%"))) {
      Op op = tok.text == "*" ? Op::Mul : tok.text == "/" ? Op::Div : Op::Mod;
      int pos = char_pos(tok.offset);
      if (!next()) return -1;
      left = make_op(op, pos, left, parse_pow());
    }
    return left;
  }

  int parse_pow() {
    int left = parse_unary();
    while (left >= 0 && (is_op("**") || is_op("^"))) {
      int pos = char_pos(tok.offset);
      if (!next()) return -1;
      left = make_op(Op::Pow, pos, left, parse_unary());
    }
    return left;
  }

  int parse_unary() {
    DepthGuard g(*this);
    if (!g.ok) { too_deep(); return -1; }
    if (is_op("-") || is_op("+")) {
      bool neg = tok.text == "-";
      int pos = char_pos(tok.offset);
      if (!next()) return -1;
      int operand = parse_unary();
      if (operand < 0) return -1;
      if (!neg) {
        ValueType t = nodes[static_cast<size_t>(operand)].type;
        if (t != ValueType::Nil && t != ValueType::Numeric) {
          type_error(pos, std::string("+ ") + type_name(t));
          return -1;
        }
        return operand;
      }
      return make_op(Op::Neg, pos, operand);
    }
    return parse_primary();
  }

  int parse_primary() {
    int pos = char_pos(tok.offset);
    switch (tok.kind) {
      case Tok::Number: {
        Value v = Value::numeric(tok.num, 0, tok.dec);
        if (!next()) return -1;
        return literal(std::move(v), pos);
      }
      case Tok::String: {
        std::string bytes = tok.text;
        if (options.literals_utf8) {
          auto conv = cp_from_utf8(options.code_page, bytes);
          if (!conv.is_ok()) {
            fail(ExprErrorKind::Encoding, pos,
                 "Der Text an Position " + std::to_string(pos) + " ist in der Codepage " +
                     code_page_name(options.code_page) + " nicht darstellbar: " + conv.status().message());
            return -1;
          }
          bytes = std::move(conv.value());
        }
        if (!next()) return -1;
        return literal(Value::character(std::move(bytes)), pos);
      }
      case Tok::Logical: {
        bool b = tok.logical;
        if (!next()) return -1;
        return literal(Value::boolean(b), pos);
      }
      case Tok::LParen: {
        if (!next()) return -1;
        int inner = parse_or();
        if (inner < 0) return -1;
        if (tok.kind != Tok::RParen) { syntax(tok.offset, "')' erwartet"); return -1; }
        if (!next()) return -1;
        return inner;
      }
      case Tok::Ident: {
        std::string name = tok.text;
        if (!next()) return -1;
        if (tok.kind == Tok::LParen) return parse_call(name, pos);
        std::string alias;
        if (tok.kind == Tok::Arrow) {
          if (!next()) return -1;
          if (tok.kind != Tok::Ident) { syntax(tok.offset, "Feldname erwartet"); return -1; }
          alias = name;
          name = tok.text;
          if (!next()) return -1;
        }
        return field_node(alias, name, pos);
      }
      case Tok::End:
        syntax(tok.offset, "unerwartetes Ende des Ausdrucks");
        return -1;
      default:
        syntax(tok.offset, "Ausdruck erwartet");
        return -1;
    }
  }

  int field_node(const std::string& alias, const std::string& name, int pos) {
    std::optional<FieldRef> ref;
    if (resolver) ref = resolver->resolve(alias, name);
    if (!ref || ref->type == ValueType::Nil) {
      std::string shown = alias.empty() ? name : alias + "->" + name;
      fail(ExprErrorKind::UnknownField, pos,
           "Unbekanntes Feld " + ascii_upper(shown) + " an Position " + std::to_string(pos));
      return -1;
    }
    Node n;
    n.op = Op::Field;
    n.pos = pos;
    n.field = *ref;
    n.type = ref->type;
    n.len = ref->type == ValueType::Character ? (ref->storage == FieldStorage::Character || ref->len > 0 ? ref->len : -1)
            : ref->type == ValueType::Date    ? 8
            : ref->type == ValueType::Logical ? 1
                                              : ref->len;
    n.dec = ref->dec;
    if (ref->type == ValueType::Numeric) n.slot = Value::numeric(0, ref->len, ref->dec);
    else if (ref->type == ValueType::Character) n.slot = Value::character(std::string());
    else if (ref->type == ValueType::Date) n.slot = Value::of_date(Date());
    else n.slot = Value::boolean(false);
    constant = false;
    return add_node(std::move(n));
  }

  int parse_call(const std::string& name, int pos) {
    DepthGuard g(*this);
    if (!g.ok) { too_deep(); return -1; }
    std::string upper = ascii_upper(name);
    const FnSpec* fdef = find_function(upper);
    if (!fdef) {
      fail(ExprErrorKind::UnknownFunction, pos,
           "Unbekannte Funktion " + upper + " an Position " + std::to_string(pos));
      return -1;
    }
    // IF is another name of IIF; the list names the function once.
    const char* canonical = fdef->fn == Fn::Iif ? "IIF" : fdef->name;
    if (options.restricted &&
        std::find(options.allowed_functions.begin(), options.allowed_functions.end(), canonical) ==
            options.allowed_functions.end()) {
      fail(ExprErrorKind::NotAllowed, pos,
           "Die Funktion " + std::string(fdef->name) + " ist hier nicht erlaubt (Position " +
               std::to_string(pos) + ")");
      return -1;
    }
    if (!next()) return -1;  // past "("
    std::vector<int> args;
    std::vector<int> arg_pos;
    if (tok.kind != Tok::RParen) {
      for (;;) {
        arg_pos.push_back(char_pos(tok.offset));
        int a = parse_or();
        if (a < 0) return -1;
        args.push_back(a);
        if (tok.kind == Tok::Comma) {
          if (!next()) return -1;
          continue;
        }
        if (tok.kind == Tok::RParen) break;
        syntax(tok.offset, "')' oder ',' erwartet");
        return -1;
      }
    }
    if (!next()) return -1;  // past ")"
    int count = static_cast<int>(args.size());
    if (count < fdef->min_args || count > fdef->max_args) {
      fail(ExprErrorKind::ArgumentCount, pos,
           "Falsche Anzahl von Argumenten für " + std::string(fdef->name) + " an Position " +
               std::to_string(pos));
      return -1;
    }
    for (int k = 0; k < count; ++k) {
      ValueType want = type_of_letter(fdef->arg_types[k]);
      ValueType have = nodes[static_cast<size_t>(args[static_cast<size_t>(k)])].type;
      if (want != ValueType::Nil && have != ValueType::Nil && want != have) {
        type_error(arg_pos[static_cast<size_t>(k)],
                   std::string(fdef->name) + " erwartet als " + std::to_string(k + 1) + ". Argument " +
                       type_name(want) + ", nicht " + type_name(have));
        return -1;
      }
    }
    Node n;
    n.op = Op::Call;
    n.fn = fdef->fn;
    n.fdef = fdef;
    n.pos = pos;
    n.nargs = count;
    for (int k = 0; k < count; ++k) n.arg[k] = args[static_cast<size_t>(k)];
    if (!type_call(n)) return -1;
    if (!fdef->pure) constant = false;
    return fold(add_node(std::move(n)));
  }

  // Result type and static length of a call.
  bool type_call(Node& n) {
    auto arg = [&](int k) -> const Node& { return nodes[static_cast<size_t>(n.arg[k])]; };
    auto const_num = [&](int k, double& out) {
      if (k >= n.nargs || arg(k).op != Op::Literal || !arg(k).slot.is_num()) return false;
      out = arg(k).slot.num;
      return true;
    };
    double v1 = 0, v2 = 0;
    n.len = -1;
    switch (n.fn) {
      case Fn::Upper: case Fn::Lower:
        n.type = ValueType::Character;
        n.len = arg(0).len;
        break;
      case Fn::Trim: case Fn::RTrim: case Fn::LTrim: case Fn::AllTrim: case Fn::Transform:
        n.type = ValueType::Character;
        break;
      case Fn::PadR: case Fn::PadL: case Fn::PadC:
        n.type = ValueType::Character;
        if (const_num(1, v1)) n.len = static_cast<int>(std::clamp(v1, 0.0, 65535.0));
        break;
      case Fn::Substr: {
        n.type = ValueType::Character;
        int l = arg(0).len;
        if (l >= 0 && const_num(1, v1) && n.nargs == 3 && const_num(2, v2) && v1 >= 1 && v1 <= 65535 &&
            v2 >= 0 && v2 <= 65535) {
          int start = static_cast<int>(v1);
          n.len = std::max(0, std::min(static_cast<int>(v2), l - start + 1));
        }
        break;
      }
      case Fn::Left: case Fn::Right:
        n.type = ValueType::Character;
        if (arg(0).len >= 0 && const_num(1, v1) && v1 <= 65535)
          n.len = std::max(0, std::min(static_cast<int>(v1), arg(0).len));
        break;
      case Fn::Str: case Fn::StrZero:
        n.type = ValueType::Character;
        if (n.nargs >= 2) {
          if (const_num(1, v1) && v1 >= 0 && v1 <= 255) n.len = static_cast<int>(v1);
        } else if (arg(0).len > 0) {
          n.len = arg(0).len;
        }
        break;
      case Fn::Val: case Fn::At: case Fn::RAt: case Fn::Len: case Fn::RecNo: case Fn::Asc:
      case Fn::DoW: case Fn::Year: case Fn::Month: case Fn::Day:
        n.type = ValueType::Numeric;
        n.len = 0;
        break;
      case Fn::Int: case Fn::Abs:
        n.type = ValueType::Numeric;
        n.len = arg(0).len;
        n.dec = n.fn == Fn::Int ? 0 : arg(0).dec;
        break;
      case Fn::Round:
        n.type = ValueType::Numeric;
        n.len = arg(0).len;
        n.dec = const_num(1, v1) ? std::clamp(static_cast<int>(v1), 0, 15) : arg(0).dec;
        break;
      case Fn::Space:
        n.type = ValueType::Character;
        if (const_num(0, v1) && v1 >= 0 && v1 <= 65535) n.len = static_cast<int>(v1);
        break;
      case Fn::Replicate:
        n.type = ValueType::Character;
        if (arg(0).len >= 0 && const_num(1, v1) && v1 >= 0 && v1 <= 65535) n.len = arg(0).len * static_cast<int>(v1);
        break;
      case Fn::Empty: case Fn::Deleted:
        n.type = ValueType::Logical;
        n.len = 1;
        break;
      case Fn::Date: case Fn::CToD: case Fn::SToD:
        n.type = ValueType::Date;
        n.len = 8;
        break;
      case Fn::DToC:
        n.type = ValueType::Character;
        n.len = 10;
        break;
      case Fn::DToS:
        n.type = ValueType::Character;
        n.len = 8;
        n.fused = arg(0).op == Op::Field && arg(0).field.storage == FieldStorage::DateText && arg(0).field.len >= 8;
        break;
      case Fn::Chr:
        n.type = ValueType::Character;
        n.len = 1;
        break;
      case Fn::Min: case Fn::Max: {
        ValueType a = arg(0).type, b = arg(1).type;
        if (a != ValueType::Nil && b != ValueType::Nil &&
            (a != b || (a != ValueType::Numeric && a != ValueType::Date))) {
          return type_error(n.pos, std::string(n.fn == Fn::Min ? "MIN" : "MAX") + " mit " + type_name(a) +
                                       " und " + type_name(b));
        }
        n.type = a == b ? a : ValueType::Nil;
        n.len = a == ValueType::Date ? 8 : std::max(arg(0).len, arg(1).len);
        n.dec = std::max(arg(0).dec, arg(1).dec);
        break;
      }
      case Fn::Descend: {
        ValueType a = arg(0).type;
        n.type = a == ValueType::Date ? ValueType::Numeric : a;
        n.len = a == ValueType::Character ? arg(0).len : a == ValueType::Logical ? 1 : arg(0).len;
        n.dec = arg(0).dec;
        break;
      }
      case Fn::Iif: {
        const Node& t = arg(1);
        const Node& f = arg(2);
        n.type = t.type == f.type ? t.type : ValueType::Nil;
        n.len = t.len == f.len ? t.len : (n.type == ValueType::Numeric ? std::max(t.len, f.len) : -1);
        n.dec = std::max(t.dec, f.dec);
        break;
      }
    }
    return true;
  }

  bool compile() {
    upper_tab = upper_map(options.case_flavour, options.code_page);
    lower_tab = lower_map(options.case_flavour, options.code_page);
    if (!next()) return false;
    if (tok.kind == Tok::End) return syntax(tok.offset, "leerer Ausdruck");
    root = parse_or();
    if (root < 0) {
      if (compile_error.ok()) syntax(tok.offset, "ungültiger Ausdruck");
      return false;
    }
    if (tok.kind != Tok::End) {
      if (tok.kind == Tok::RParen) return syntax(tok.offset, "')' ohne '('");
      return syntax(tok.offset, "Operator erwartet");
    }
    return true;
  }

  // The parts of node i (see Expression::record_parts) appended to `out`; false when it
  // is made of anything else. `text` sums the bytes the parts give.
  bool text_parts(int i, std::vector<RecordPart>& out, size_t& text) const {
    const Node& n = nodes[static_cast<size_t>(i)];
    auto stored_text = [](const Node& f) {
      return f.op == Op::Field && f.type == ValueType::Character && f.field.storage == FieldStorage::Character;
    };
    RecordPart p;
    if (n.op == Op::Plus && n.type == ValueType::Character) {
      return text_parts(n.arg[0], out, text) && text_parts(n.arg[1], out, text);
    } else if (stored_text(n)) {
      p.field = n.field;
      text += static_cast<size_t>(n.field.len);
    } else if (n.op == Op::Call && n.fn == Fn::Upper && stored_text(nodes[static_cast<size_t>(n.arg[0])])) {
      p.kind = RecordPart::Kind::Upper;
      p.field = nodes[static_cast<size_t>(n.arg[0])].field;
      p.upper = options.case_flavour == CaseFlavour::Ascii ? nullptr : upper_tab;
      text += static_cast<size_t>(p.field.len);
    } else if (n.op == Op::Call && n.fn == Fn::DToS && n.fused) {
      p.kind = RecordPart::Kind::DToS;
      p.field = nodes[static_cast<size_t>(n.arg[0])].field;
      p.empty_date = options.dtos_empty_day_zero ? "18991230" : "        ";
      text += 8;
    } else {
      return false;
    }
    out.push_back(p);
    return true;
  }

  void find_record_parts(std::vector<RecordPart>& parts) {
    parts.clear();
    const Node& n = nodes[static_cast<size_t>(root)];
    if (n.op == Op::Field && ((n.type == ValueType::Numeric && n.field.storage == FieldStorage::NumericText) ||
                              (n.type == ValueType::Date && n.field.storage == FieldStorage::DateText))) {
      RecordPart p;
      p.field = n.field;
      parts.push_back(p);
      return;
    }
    size_t text = 0;
    // Beyond kMaxText the evaluator refuses the text.
    if (!text_parts(root, parts, text) || text > kMaxText) parts.clear();
  }

  // ---------------------------------------------------------------- evaluator
  Value* runtime_error(ExprErrorKind kind, const Node& n, const std::string& what) {
    eval_error.kind = kind;
    eval_error.position = n.pos;
    eval_error.message = what + " an Position " + std::to_string(n.pos);
    return nullptr;
  }

  Value* type_mismatch(const Node& n, const Value* a, const Value* b) {
    std::string what = n.op == Op::Call ? std::string("Typfehler in der Funktion")
                                        : std::string("Typfehler: ") + type_name(a->type) + " " + op_text(n.op) +
                                              (b ? std::string(" ") + type_name(b->type) : std::string());
    return runtime_error(ExprErrorKind::TypeMismatch, n, what);
  }

  Value* too_long(const Node& n) {
    return runtime_error(ExprErrorKind::Range, n, "Die Zeichenkette wird zu lang");
  }

  // The node's own buffer, set to a type (its contents left for the caller to overwrite).
  static Value* own(Node& n, ValueType t) {
    n.slot.type = t;
    return &n.slot;
  }

  static int compare(const Value& a, const Value& b) {
    switch (a.type) {
      case ValueType::Character: return compare_text_nonexact(a.str, b.str);
      case ValueType::Numeric: return a.num < b.num ? -1 : a.num > b.num ? 1 : 0;
      case ValueType::Date: return a.date < b.date ? -1 : a.date > b.date ? 1 : 0;
      case ValueType::Logical: return int(a.logical) - int(b.logical);
      case ValueType::Nil: return 0;
    }
    return 0;
  }

  Value* read_field(Node& n) {
    const FieldRef& f = n.field;
    if (f.storage == FieldStorage::Callback) {
      if (!rec->source) return runtime_error(ExprErrorKind::FieldAccess, n, "Kein Datensatz für das Feld");
      if (!rec->source->field_value(f.id, n.slot))
        return runtime_error(ExprErrorKind::FieldAccess, n, "Das Feld kann nicht gelesen werden");
      if (n.slot.type != f.type) return runtime_error(ExprErrorKind::TypeMismatch, n, "Feld mit falschem Typ");
      return &n.slot;
    }
    if (!rec->data || static_cast<size_t>(f.offset) + static_cast<size_t>(f.len) > rec->size)
      return runtime_error(ExprErrorKind::FieldAccess, n, "Das Feld liegt außerhalb des Datensatzes");
    const char* p = reinterpret_cast<const char*>(rec->data) + f.offset;
    switch (f.storage) {
      case FieldStorage::Character:
        n.slot.type = ValueType::Character;
        // resize + copy: the buffer keeps its size between records, so this is one memcpy.
        n.slot.str.resize(static_cast<size_t>(f.len));
        std::memcpy(n.slot.str.data(), p, static_cast<size_t>(f.len));
        break;
      case FieldStorage::NumericText: {
        n.slot.type = ValueType::Numeric;
        n.slot.len = static_cast<int16_t>(f.len);
        n.slot.dec = static_cast<int16_t>(f.dec);
        n.slot.num = stored_number(p, static_cast<size_t>(f.len));
        break;
      }
      case FieldStorage::DateText: {
        n.slot.type = ValueType::Date;
        int v[8];
        bool digits = f.len >= 8;
        for (int i = 0; digits && i < 8; ++i) {
          v[i] = p[i] - '0';
          if (v[i] < 0 || v[i] > 9) digits = false;
        }
        n.slot.date = digits ? Date::from_ymd(v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3], v[4] * 10 + v[5],
                                              v[6] * 10 + v[7])
                             : Date();
        break;
      }
      case FieldStorage::LogicalChar: {
        n.slot.type = ValueType::Logical;
        char c = f.len > 0 ? p[0] : ' ';
        n.slot.logical = c == 'T' || c == 't' || c == 'Y' || c == 'y';
        break;
      }
      case FieldStorage::Callback:
        break;
    }
    return &n.slot;
  }

  // Operand pointers may be edited in place when they are not literals (every other node
  // refills its buffer on each evaluation, and the tree shares no nodes).
  bool mutable_arg(const Node& n, int k) const { return nodes[static_cast<size_t>(n.arg[k])].op != Op::Literal; }

  Value* eval(int idx) {
    Node& n = nodes[static_cast<size_t>(idx)];
    switch (n.op) {
      case Op::Literal: return &n.slot;
      case Op::Field: return read_field(n);
      case Op::Call: return eval_call(n);
      case Op::And: case Op::Or: {
        Value* a = eval(n.arg[0]);
        if (!a) return nullptr;
        if (a->type != ValueType::Logical) return type_mismatch(n, a, nullptr);
        bool av = a->logical;
        if (n.op == Op::And ? !av : av) {
          Value* r = own(n, ValueType::Logical);
          r->logical = av;
          return r;
        }
        Value* b = eval(n.arg[1]);
        if (!b) return nullptr;
        if (b->type != ValueType::Logical) return type_mismatch(n, a, b);
        bool bv = b->logical;
        Value* r = own(n, ValueType::Logical);
        r->logical = bv;
        return r;
      }
      case Op::Not: {
        Value* a = eval(n.arg[0]);
        if (!a) return nullptr;
        if (a->type != ValueType::Logical) return type_mismatch(n, a, nullptr);
        bool v = !a->logical;
        Value* r = own(n, ValueType::Logical);
        r->logical = v;
        return r;
      }
      case Op::Neg: {
        Value* a = eval(n.arg[0]);
        if (!a) return nullptr;
        if (a->type != ValueType::Numeric) return type_mismatch(n, a, nullptr);
        Value* r = own(n, ValueType::Numeric);
        r->num = -a->num;
        r->len = a->len;
        r->dec = a->dec;
        return r;
      }
      default:
        break;
    }
    Value* a = eval(n.arg[0]);
    if (!a) return nullptr;
    Value* b = eval(n.arg[1]);
    if (!b) return nullptr;
    switch (n.op) {
      case Op::Plus: case Op::Minus: return eval_additive(n, a, b);
      case Op::Mul: case Op::Div: case Op::Mod: case Op::Pow: {
        if (a->type != ValueType::Numeric || b->type != ValueType::Numeric) return type_mismatch(n, a, b);
        double x = a->num, y = b->num, r;
        int dec = std::max(a->dec, b->dec);
        if (n.op == Op::Mul) {
          r = x * y;
          dec = a->dec + b->dec;
        } else if (n.op == Op::Div || n.op == Op::Mod) {
          if (y == 0) return runtime_error(ExprErrorKind::DivisionByZero, n, "Division durch Null");
          if (n.op == Op::Div) {
            r = x / y;
            if (r != std::floor(r)) dec = std::max(dec, 2);
          } else {
            r = std::fmod(x, y);
          }
        } else {
          r = std::pow(x, y);
          if (r != std::floor(r)) dec = std::max(dec, 2);
        }
        if (!std::isfinite(r)) return runtime_error(ExprErrorKind::Range, n, "Zahlenüberlauf");
        Value* out = own(n, ValueType::Numeric);
        out->num = r;
        out->len = 0;
        out->dec = static_cast<int16_t>(std::min(dec, 15));
        return out;
      }
      case Op::Contains: {
        if (a->type != ValueType::Character || b->type != ValueType::Character) return type_mismatch(n, a, b);
        bool v = b->str.find(a->str) != std::string::npos;
        Value* r = own(n, ValueType::Logical);
        r->logical = v;
        return r;
      }
      default: {
        if (a->type != b->type || a->type == ValueType::Nil) return type_mismatch(n, a, b);
        bool v;
        if (n.op == Op::ExactEq) {
          v = a->type == ValueType::Character ? a->str == b->str : compare(*a, *b) == 0;
        } else {
          int c = compare(*a, *b);
          switch (n.op) {
            case Op::Eq: v = c == 0; break;
            case Op::Ne: v = c != 0; break;
            case Op::Lt: v = c < 0; break;
            case Op::Gt: v = c > 0; break;
            case Op::Le: v = c <= 0; break;
            default: v = c >= 0; break;
          }
        }
        Value* r = own(n, ValueType::Logical);
        r->logical = v;
        return r;
      }
    }
  }

  Value* eval_additive(Node& n, Value* a, Value* b) {
    bool plus = n.op == Op::Plus;
    if (a->type == ValueType::Character && b->type == ValueType::Character) {
      if (a->str.size() + b->str.size() > kMaxText) return too_long(n);
      Value* r = a;
      if (!mutable_arg(n, 0)) {
        r = own(n, ValueType::Character);
        r->str.assign(a->str);
      }
      if (plus) {
        r->str.append(b->str);
      } else {
        // "-" joins with the first text's trailing blanks moved to the end.
        size_t kept = r->str.find_last_not_of(' ');
        kept = kept == std::string::npos ? 0 : kept + 1;
        size_t blanks = r->str.size() - kept;
        r->str.resize(kept);
        r->str.append(b->str);
        r->str.append(blanks, ' ');
      }
      return r;
    }
    if (a->type == ValueType::Numeric && b->type == ValueType::Numeric) {
      double v = plus ? a->num + b->num : a->num - b->num;
      if (!std::isfinite(v)) return runtime_error(ExprErrorKind::Range, n, "Zahlenüberlauf");
      int dec = std::max(a->dec, b->dec);
      Value* r = own(n, ValueType::Numeric);
      r->num = v;
      r->len = 0;
      r->dec = static_cast<int16_t>(dec);
      return r;
    }
    if (a->type == ValueType::Date && b->type == ValueType::Numeric) {
      if (!(std::fabs(b->num) <= 1e7)) return runtime_error(ExprErrorKind::Range, n, "Datum außerhalb des Bereichs");
      int32_t days = static_cast<int32_t>(b->num);
      Date d = plus ? a->date + days : a->date - days;
      Value* r = own(n, ValueType::Date);
      r->date = d;
      return r;
    }
    if (plus && a->type == ValueType::Numeric && b->type == ValueType::Date) {
      if (!(std::fabs(a->num) <= 1e7)) return runtime_error(ExprErrorKind::Range, n, "Datum außerhalb des Bereichs");
      Date d = b->date + static_cast<int32_t>(a->num);
      Value* r = own(n, ValueType::Date);
      r->date = d;
      return r;
    }
    if (!plus && a->type == ValueType::Date && b->type == ValueType::Date) {
      double v = static_cast<double>(a->date - b->date);
      Value* r = own(n, ValueType::Numeric);
      r->num = v;
      r->len = 0;
      r->dec = 0;
      return r;
    }
    return type_mismatch(n, a, b);
  }

  void empty_dtos_into(char* out) const {
    std::memcpy(out, options.dtos_empty_day_zero ? "18991230" : "        ", 8);
  }

  // DTOS(date field): a valid stored date already is its DTOS text, so it is copied after
  // the same test reading the field as a date makes; anything else is the empty date.
  Value* dtos_of_stored_date(Node& n) {
    Node& f = nodes[static_cast<size_t>(n.arg[0])];
    if (!rec->data || static_cast<size_t>(f.field.offset) + 8 > rec->size)
      return runtime_error(ExprErrorKind::FieldAccess, f, "Das Feld liegt außerhalb des Datensatzes");
    const char* p = reinterpret_cast<const char*>(rec->data) + f.field.offset;
    int v[8];
    bool digits = true;
    for (int i = 0; i < 8; ++i) {
      v[i] = p[i] - '0';
      if (v[i] < 0 || v[i] > 9) digits = false;
    }
    Value* r = own(n, ValueType::Character);
    r->str.resize(8);
    if (digits && Date::valid_ymd(v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3], v[4] * 10 + v[5], v[6] * 10 + v[7]))
      std::memcpy(r->str.data(), p, 8);
    else
      empty_dtos_into(r->str.data());
    return r;
  }

  Value* eval_call(Node& n) {
    Value* args[3] = {nullptr, nullptr, nullptr};
    if (n.fn == Fn::Iif) {
      Value* c = eval(n.arg[0]);
      if (!c) return nullptr;
      if (c->type != ValueType::Logical) return type_mismatch(n, c, nullptr);
      int pick = c->logical ? n.arg[1] : n.arg[2];
      Value* v = eval(pick);
      if (!v) return nullptr;
      if (nodes[static_cast<size_t>(pick)].op == Op::Literal) {
        n.slot = *v;  // never hand out a literal's buffer for editing
        return &n.slot;
      }
      return v;
    }
    if (n.fused) return dtos_of_stored_date(n);
    for (int k = 0; k < n.nargs; ++k) {
      args[k] = eval(n.arg[k]);
      if (!args[k]) return nullptr;
    }
    // Runtime check of argument types the compiler could not know.
    const char* types = n.fdef->arg_types;
    for (int k = 0; k < n.nargs; ++k) {
      ValueType want = type_of_letter(types[k]);
      if (want != ValueType::Nil && args[k]->type != want) return type_mismatch(n, args[k], nullptr);
    }
    Value* a = args[0];
    auto text_result = [&](std::string_view s) -> Value* {
      Value* r = own(n, ValueType::Character);
      r->str.assign(s.data(), s.size());
      return r;
    };
    auto num_result = [&](double v, int len = 0, int dec = 0) -> Value* {
      Value* r = own(n, ValueType::Numeric);
      r->num = v;
      r->len = static_cast<int16_t>(len);
      r->dec = static_cast<int16_t>(dec);
      return r;
    };
    auto count_arg = [&](int k, int64_t& out) -> bool {
      double v = args[k]->num;
      if (!std::isfinite(v)) v = 0;
      v = std::clamp(v, -1e15, 1e15);
      out = static_cast<int64_t>(v);
      return true;
    };
    switch (n.fn) {
      case Fn::Upper: case Fn::Lower: {
        const unsigned char* tab = n.fn == Fn::Upper ? upper_tab : lower_tab;
        Value* r = a;
        if (!mutable_arg(n, 0)) {
          r = own(n, ValueType::Character);
          r->str.assign(a->str);
        }
        if (options.case_flavour == CaseFlavour::Ascii) {
          if (n.fn == Fn::Upper) ascii_upper_bytes(r->str.data(), r->str.size());
          else ascii_lower_bytes(r->str.data(), r->str.size());
        } else {
          for (char& c : r->str) c = static_cast<char>(tab[static_cast<unsigned char>(c)]);
        }
        return r;
      }
      case Fn::Trim: case Fn::RTrim: case Fn::LTrim: case Fn::AllTrim: {
        std::string_view s = a->str;
        s = n.fn == Fn::LTrim ? str_ltrim(s) : n.fn == Fn::AllTrim ? str_alltrim(s) : str_rtrim(s);
        if (mutable_arg(n, 0)) {
          size_t start = static_cast<size_t>(s.data() - a->str.data());
          size_t len = s.size();
          a->str.erase(0, start);
          a->str.resize(len);
          return a;
        }
        return text_result(s);
      }
      case Fn::PadR: case Fn::PadL: case Fn::PadC: {
        int64_t len;
        count_arg(1, len);
        if (len > static_cast<int64_t>(kMaxText)) return too_long(n);
        char fill = n.nargs == 3 && !args[2]->str.empty() ? args[2]->str[0] : ' ';
        std::string s = a->type == ValueType::Character ? a->str
                        : a->type == ValueType::Numeric ? std::string(str_ltrim(value_to_text(*a)))
                        : a->type == ValueType::Logical ? std::string(a->logical ? "T" : "F")
                                                        : value_to_text(*a);
        std::string r = n.fn == Fn::PadR ? str_padr(s, len, fill)
                        : n.fn == Fn::PadL ? str_padl(s, len, fill)
                                           : str_padc(s, len, fill);
        Value* out = own(n, ValueType::Character);
        out->str.swap(r);
        return out;
      }
      case Fn::Substr: {
        int64_t start, count = INT64_MAX;
        count_arg(1, start);
        if (n.nargs == 3) count_arg(2, count);
        return text_result(str_substr(a->str, start, count));
      }
      case Fn::Left: case Fn::Right: {
        int64_t k;
        count_arg(1, k);
        return text_result(n.fn == Fn::Left ? str_left(a->str, k) : str_right(a->str, k));
      }
      case Fn::Str: case Fn::StrZero: {
        int64_t len = -1, dec = -1;
        if (n.nargs >= 2) count_arg(1, len);
        if (n.nargs >= 3) count_arg(2, dec);
        if (n.nargs == 1) {
          dec = a->dec;
          len = default_str_len(*a, a->dec);
        } else if (n.nargs == 2) {
          dec = 0;
        }
        len = std::clamp<int64_t>(len, 0, 255);
        dec = std::clamp<int64_t>(dec, 0, 15);
        std::string s = n.fn == Fn::Str ? str_str(a->num, static_cast<int>(len), static_cast<int>(dec))
                                        : str_strzero(a->num, static_cast<int>(len), static_cast<int>(dec));
        Value* out = own(n, ValueType::Character);
        out->str.swap(s);
        return out;
      }
      case Fn::Val: {
        int dec = 0;
        double v = str_val(a->str, &dec);
        if (!std::isfinite(v)) return runtime_error(ExprErrorKind::Range, n, "Zahlenüberlauf");
        return num_result(v, 0, dec);
      }
      case Fn::At: return num_result(static_cast<double>(str_at(a->str, args[1]->str)));
      case Fn::RAt: return num_result(static_cast<double>(str_rat(a->str, args[1]->str)));
      case Fn::Space: case Fn::Replicate: {
        int64_t k;
        count_arg(n.fn == Fn::Space ? 0 : 1, k);
        if (k < 0) k = 0;
        std::string_view unit = n.fn == Fn::Space ? std::string_view(" ") : std::string_view(a->str);
        if (!unit.empty() && static_cast<uint64_t>(k) > kMaxText / unit.size()) return too_long(n);
        Value* r = own(n, ValueType::Character);
        r->str.clear();
        if (unit.size() == 1) r->str.assign(static_cast<size_t>(k), unit[0]);
        else
          for (int64_t i = 0; i < k; ++i) r->str.append(unit);
        return r;
      }
      case Fn::Len: return num_result(static_cast<double>(a->str.size()));
      case Fn::Empty: {
        bool v = value_empty(*a);
        Value* r = own(n, ValueType::Logical);
        r->logical = v;
        return r;
      }
      case Fn::Transform: {
        std::string s = str_transform(*a, args[1]->str);
        Value* out = own(n, ValueType::Character);
        out->str.swap(s);
        return out;
      }
      case Fn::RecNo: return num_result(static_cast<double>(rec->recno));
      case Fn::Deleted: {
        bool v = rec->data ? (rec->size > 0 && rec->data[0] == '*') : (rec->source && rec->source->deleted());
        Value* r = own(n, ValueType::Logical);
        r->logical = v;
        return r;
      }
      case Fn::Date: {
        Value* r = own(n, ValueType::Date);
        r->date = Date::today();
        return r;
      }
      case Fn::Int: return num_result(std::trunc(a->num), a->len, 0);
      case Fn::Round: {
        int64_t d;
        count_arg(1, d);
        d = std::clamp<int64_t>(d, -15, 15);
        return num_result(round_dec(a->num, static_cast<int>(d)), a->len, static_cast<int>(std::max<int64_t>(d, 0)));
      }
      case Fn::Abs: return num_result(std::fabs(a->num), a->len, a->dec);
      case Fn::Min: case Fn::Max: {
        Value* b = args[1];
        if (a->type != b->type || (a->type != ValueType::Numeric && a->type != ValueType::Date))
          return type_mismatch(n, a, b);
        bool take_a = n.fn == Fn::Min ? compare(*a, *b) <= 0 : compare(*a, *b) >= 0;
        n.slot = take_a ? *a : *b;
        return &n.slot;
      }
      case Fn::Chr: {
        if (!std::isfinite(a->num)) return runtime_error(ExprErrorKind::Range, n, "Zahlenüberlauf");
        double v = std::fmod(std::trunc(a->num), 256.0);
        if (v < 0) v += 256;
        Value* r = own(n, ValueType::Character);
        r->str.assign(1, static_cast<char>(static_cast<unsigned char>(v)));
        return r;
      }
      case Fn::Asc: return num_result(a->str.empty() ? 0 : static_cast<unsigned char>(a->str[0]));
      case Fn::Descend: {
        switch (a->type) {
          case ValueType::Character: {
            Value* r = own(n, ValueType::Character);
            r->str.resize(a->str.size());
            for (size_t i = 0; i < a->str.size(); ++i) {
              unsigned char c = static_cast<unsigned char>(a->str[i]);
              r->str[i] = static_cast<char>(c == 0 ? 0 : 256 - c);
            }
            return r;
          }
          case ValueType::Numeric: return num_result(-a->num, a->len, a->dec);
          case ValueType::Date: return num_result(-static_cast<double>(a->date.julian()));
          case ValueType::Logical: {
            bool v = !a->logical;
            Value* r = own(n, ValueType::Logical);
            r->logical = v;
            return r;
          }
          case ValueType::Nil: return type_mismatch(n, a, nullptr);
        }
        return nullptr;
      }
      case Fn::CToD: {
        Value* r = own(n, ValueType::Date);
        r->date = ctod(a->str);
        return r;
      }
      case Fn::SToD: {
        Value* r = own(n, ValueType::Date);
        r->date = stod_date(a->str);
        return r;
      }
      case Fn::DToC: return text_result(dtoc(a->date));
      case Fn::DToS: {
        Value* r = own(n, ValueType::Character);
        r->str.resize(8);
        if (a->date.empty()) empty_dtos_into(r->str.data());
        else dtos_into(a->date, r->str.data());
        return r;
      }
      case Fn::DoW: return num_result(a->date.dow());
      case Fn::Year: return num_result(a->date.empty() ? 0 : a->date.year());
      case Fn::Month: return num_result(a->date.empty() ? 0 : a->date.month());
      case Fn::Day: return num_result(a->date.empty() ? 0 : a->date.day());
      case Fn::Iif: break;
    }
    return nullptr;
  }
};

Expression::Expression() : impl_(std::make_unique<Impl>()) {
  impl_->compile_error = ExprError{ExprErrorKind::Syntax, 0, "Kein Ausdruck übersetzt"};
}
Expression::~Expression() = default;
Expression::Expression(Expression&&) noexcept = default;
Expression& Expression::operator=(Expression&&) noexcept = default;

Expression Expression::compile(std::string_view text, const ExprOptions& options, FieldResolver* fields) {
  Expression e;
  Impl& m = *e.impl_;
  m.compile_error = ExprError();
  m.text.assign(text.data(), text.size());
  m.options = options;
  m.resolver = fields;
  if (!m.compile()) {
    m.root = -1;
    m.nodes.clear();
  } else {
    m.find_record_parts(e.parts_);
  }
  m.resolver = nullptr;  // not needed after compilation, and may not outlive us
  return e;
}

namespace {
const ExprError& moved_from_error() {
  static const ExprError kError{ExprErrorKind::Syntax, 0, "Kein Ausdruck übersetzt"};
  return kError;
}
}  // namespace

bool Expression::ok() const { return impl_ && impl_->compile_error.ok() && impl_->root >= 0; }
const ExprError& Expression::error() const { return impl_ ? impl_->compile_error : moved_from_error(); }
const std::string& Expression::text() const {
  static const std::string kNone;
  return impl_ ? impl_->text : kNone;
}

ValueType Expression::type() const {
  return ok() ? impl_->nodes[static_cast<size_t>(impl_->root)].type : ValueType::Nil;
}
int Expression::length() const { return ok() ? impl_->nodes[static_cast<size_t>(impl_->root)].len : -1; }
int Expression::decimals() const { return ok() ? impl_->nodes[static_cast<size_t>(impl_->root)].dec : 0; }
bool Expression::is_constant() const { return ok() && impl_->constant; }

const Value* Expression::evaluate(const EvalRecord& record) {
  if (!impl_) return nullptr;
  Impl& m = *impl_;
  if (!ok()) {
    m.eval_error = m.compile_error;
    return nullptr;
  }
  m.eval_error.kind = ExprErrorKind::None;
  m.rec = &record;
  const Value* v = m.eval(m.root);
  m.rec = nullptr;
  return v;
}

const ExprError& Expression::last_error() const { return impl_ ? impl_->eval_error : moved_from_error(); }

Result<Value> evaluate_text(std::string_view text, const ExprOptions& options) {
  Expression e = Expression::compile(text, options);
  if (!e.ok()) return e.error().to_status();
  const Value* v = e.evaluate();
  if (!v) return e.last_error().to_status();
  return *v;
}

const std::vector<std::string>& expression_functions() {
  static const std::vector<std::string> kNames = [] {
    std::vector<std::string> v;
    for (const FnSpec& f : kFunctions) v.emplace_back(f.name);
    return v;
  }();
  return kNames;
}

}  // namespace mv
