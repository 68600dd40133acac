#include "platform/base/text.h"

namespace mv {

namespace {
char upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }
}  // namespace

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

std::string upper_ascii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = upper(c);
  return out;
}

std::string_view ltrim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

std::string_view rtrim(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::string_view trim(std::string_view s) { return ltrim(rtrim(s)); }

}  // namespace mv
