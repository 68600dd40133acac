#pragma once
// Countries and their regions as the calendar's combo boxes offer them. A region code is a
// string of flag digits ("1" switches on the regional holiday of that position, 1 to 7),
// for Germany and Austria followed by a letter that keeps the codes of the list apart.
#include <span>
#include <string_view>

namespace mv {

struct RegionEntry {
  std::string_view text;  // display text (UTF-8)
  std::string_view code;  // value: country code or region code
};

// The countries the pages offer: "Deutschland" "D", "Österreich" "A".
std::span<const RegionEntry> country_list();

// The regions of a country code ("D", "A" or "CH"), in display order; empty for any other code.
std::span<const RegionEntry> region_list(std::string_view land);

// The region code a new calendar starts with (Berlin: no regional holiday).
inline constexpr std::string_view kDefaultLandCode = "D";
inline constexpr std::string_view kDefaultRegionCode = "00000000C";

// Whether flag `position` (1..7) of a region code switches its regional holiday on: only a
// "1" does; a code shorter than seven characters switches nothing on.
bool region_flag(std::string_view region, int position);

}  // namespace mv
