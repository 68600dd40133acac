#pragma once
// A small JSON reader for the fixtures' expected.json files (tests only).
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mv::testing {

struct Json {
  enum class Type { Null, Bool, Number, String, Array, Object };
  Type type = Type::Null;
  bool boolean = false;
  double number = 0;
  std::string text;  // String: the decoded text (UTF-8); Number: the literal as written
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;

  bool is_null() const { return type == Type::Null; }
  const Json* find(const std::string& key) const;
  // Member or a shared null value.
  const Json& operator[](const std::string& key) const;
  long long as_int() const { return static_cast<long long>(number); }
};

// Parses a whole document; nothing on a syntax error (with `error` set).
std::optional<Json> parse_json(const std::string& text, std::string* error = nullptr);
std::optional<Json> read_json_file(const std::string& path, std::string* error = nullptr);

}  // namespace mv::testing
