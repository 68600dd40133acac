#pragma once
// Code pages as 256-entry tables. Stored bytes stay bytes inside the table layer;
// conversion happens once, where text meets the user (UTF-8 strings in the GUI).
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/status.h"

namespace mv {

enum class CodePage { Windows1252, Cp850, Cp437 };

const char* code_page_name(CodePage cp);

// Unicode scalar of one stored byte.
char32_t cp_decode(CodePage cp, unsigned char byte);
// The byte for a Unicode scalar, or nothing when the code page cannot hold it.
std::optional<unsigned char> cp_encode(CodePage cp, char32_t ch);

// Stored bytes -> UTF-8.
std::string cp_to_utf8(CodePage cp, std::string_view bytes);
// UTF-8 -> stored bytes; a character the code page cannot hold is refused with a
// message naming it (never replaced silently).
Result<std::string> cp_from_utf8(CodePage cp, std::string_view utf8);

// UTF-8 helpers used by the converters and by INI files.
bool is_valid_utf8(std::string_view s);
void append_utf8(std::string& out, char32_t ch);

}  // namespace mv
