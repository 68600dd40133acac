#pragma once
// xBase string functions over stored bytes (a table's code page). Positions are 1-based
// as the xBase functions count them; nothing here throws or reads out of range.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/base/codepage.h"
#include "platform/runtime/value.h"

namespace mv {

// How UPPER and LOWER treat bytes outside a-z. Most index files were built with a plain
// byte collation that only knows a-z; German mode also maps the umlauts of the code page.
// Full mode maps every Latin letter whose other case the same code page also holds
// (é 82 <-> É 90 in cp850, š 9A <-> Š 8A in cp1252), as the dBASE family's UPPER() does;
// sharp s and letters whose partner is missing from the code page stay as they are.
enum class CaseFlavour : uint8_t { Ascii, German, Full };

// 256-entry byte maps for UPPER and LOWER in one flavour and code page (built once).
const unsigned char* upper_map(CaseFlavour flavour, CodePage cp);
const unsigned char* lower_map(CaseFlavour flavour, CodePage cp);

// a-z only, eight bytes at a time.
void ascii_upper_bytes(char* p, size_t n);
void ascii_lower_bytes(char* p, size_t n);

void upper_in_place(std::string& s, CaseFlavour flavour, CodePage cp);
void lower_in_place(std::string& s, CaseFlavour flavour, CodePage cp);
std::string str_upper(std::string_view s, CaseFlavour flavour = CaseFlavour::Ascii,
                      CodePage cp = CodePage::Windows1252);
std::string str_lower(std::string_view s, CaseFlavour flavour = CaseFlavour::Ascii,
                      CodePage cp = CodePage::Windows1252);

// TRIM/RTRIM drop trailing blanks, LTRIM leading ones, ALLTRIM both.
std::string_view str_rtrim(std::string_view s);
std::string_view str_ltrim(std::string_view s);
std::string_view str_alltrim(std::string_view s);

// PADR/PADL/PADC: pad with `fill` to `len`; a longer text is cut to its first `len` bytes.
std::string str_padr(std::string_view s, int64_t len, char fill = ' ');
std::string str_padl(std::string_view s, int64_t len, char fill = ' ');
std::string str_padc(std::string_view s, int64_t len, char fill = ' ');

// SUBSTR(s, start[, count]): start 0 counts as 1, a negative start counts from the end.
std::string_view str_substr(std::string_view s, int64_t start, int64_t count = INT64_MAX);
std::string_view str_left(std::string_view s, int64_t n);
std::string_view str_right(std::string_view s, int64_t n);

// STR(n[, len[, dec]]): right-aligned in `len` characters with `dec` decimals; a number
// that does not fit gives `len` asterisks. len < 0: the default width (10 whole digits).
std::string str_str(double n, int len = -1, int dec = -1);
// STRZERO: as STR with leading zeros (a minus sign stays in front).
std::string str_strzero(double n, int len = -1, int dec = -1);
// The default width STR uses for a value without an explicit length.
int default_str_len(const Value& v, int dec);

// VAL: the number at the start of the text (after blanks), 0 when there is none.
// `decimals` receives the count of digits after the point.
double str_val(std::string_view s, int* decimals = nullptr);

// AT/RAT: 1-based position of `needle` in `hay`, 0 when missing or `needle` is empty.
int64_t str_at(std::string_view needle, std::string_view hay);
int64_t str_rat(std::string_view needle, std::string_view hay);

// EMPTY(): blanks (and tab, CR, LF) only, 0, the empty date, .F., NIL.
bool value_empty(const Value& v);

// Non-exact comparison of texts: equal when `a` begins with `b` (an empty `b` equals
// everything). Ordering looks at the common length; when that is equal and `b` is not
// longer, the texts are equal, otherwise the shorter `a` comes first.
int compare_text_nonexact(std::string_view a, std::string_view b);

// DESCEND of a text: each byte b becomes 256 - b (0 stays 0), so byte order reverses.
std::string str_descend(std::string_view s);

// The text form of any value, as the bulk replace's hint and text targets need it:
// texts unchanged, numbers as STR with their own width and decimals (leading blanks
// dropped), dates as DTOC, logicals ".T." / ".F.", NIL as "NIL".
std::string value_to_text(const Value& v);

// Separators TRANSFORM uses for the picture characters "," and "." (program-wide;
// German by default: "1.234,50").
struct NumberSeparators {
  char decimal = ',';
  char thousands = '.';
};
NumberSeparators number_separators();
void set_number_separators(NumberSeparators seps);

// TRANSFORM(value, picture). An empty picture gives the plain text form (numbers as STR
// with their width, dates as DTOC, logicals "T"/"F"). Supported: the function "@!"
// (upper case, a-z only), number templates of "9", "#", "," and "." (thousands and
// decimal separator; a number that does not fit gives asterisks), text templates of "!"
// (upper), "9", "#", "A", "N", "X" (copied); any other template character stands as is.
std::string str_transform(const Value& v, std::string_view picture);

}  // namespace mv
