#pragma once
// Small text helpers for names, keys and typed values. ASCII only: letters a-z and A-Z are
// folded, every other byte (umlauts of any code page, UTF-8 sequences) is left as it is, so
// the result never depends on the process's locale.
#include <string>
#include <string_view>

namespace mv {

// Equal without regard to the case of ASCII letters ("kunden.cdx" and "KUNDEN.CDX").
bool iequals(std::string_view a, std::string_view b);
// ASCII letters in upper case.
std::string upper_ascii(std::string_view s);
// Without leading and/or trailing blanks (only ' '; tabs and NULs stay).
std::string_view trim(std::string_view s);
std::string_view ltrim(std::string_view s);
std::string_view rtrim(std::string_view s);

}  // namespace mv
