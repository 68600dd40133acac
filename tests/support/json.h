#pragma once
// A small JSON reader for the fixtures' expected.json files.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mv::testing {

struct JsonMember;

struct Json {
  enum class Type { Null, Bool, Number, String, Array, Object };
  Type type = Type::Null;
  bool boolean = false;
  double number = 0;
  std::string text;  // String: the decoded text (UTF-8); Number: the literal as written
  std::vector<Json> items;
  // A vector of a type still incomplete here: a pair of string and Json would need Json whole.
  std::vector<JsonMember> members;

  bool is_null() const { return type == Type::Null; }
  const Json* find(const std::string& key) const;
  // Member or a shared null value.
  const Json& operator[](const std::string& key) const;
  bool has(const std::string& key) const { return find(key) != nullptr; }
  long long as_int() const { return static_cast<long long>(number); }
};

struct JsonMember {
  std::string first;  // the key
  Json second;
};

// Parses a whole document; nothing on a syntax error (with `error` set).
std::optional<Json> parse_json(const std::string& text, std::string* error = nullptr);
std::optional<Json> read_json_file(const std::string& path, std::string* error = nullptr);

}  // namespace mv::testing
