#include "calendar/core/regions.h"

#include <array>

namespace mv {

namespace {

constexpr std::array<RegionEntry, 2> kCountries{{
    {"Deutschland", "D"},
    {"Österreich", "A"},
}};

// The eighth digit of the German codes is carried along and read by nothing; the letter
// keeps states with the same digits apart, because the combo is selected by its value.
constexpr std::array<RegionEntry, 17> kGermany{{
    {"alle gesetzlichen Feiertage", "11111111A"},
    {"Baden-Württemberg", "11000100A"},
    {"Bayern", "11110100B"},
    {"Berlin", "00000000C"},
    {"Brandenburg", "00001000D"},
    {"Bremen", "00000000E"},
    {"Hamburg", "00000000F"},
    {"Hessen", "01000000G"},
    {"Mecklenburg-Vorpommern", "00001000H"},
    {"Niedersachsen", "00000000I"},
    {"Nordrhein-Westfalen", "01000100J"},
    {"Rheinland-Pfalz", "01000100K"},
    {"Saarland", "01010100L"},
    {"Sachsen", "01001010M"},
    {"Sachsen-Anhalt", "10001000N"},
    {"Schleswig-Holstein", "00000000O"},
    {"Thüringen", "01001000P"},
}};

constexpr std::array<RegionEntry, 1> kAustria{{
    {"alle gesetzlichen Feiertage", "1111111A"},
}};

constexpr std::array<RegionEntry, 26> kSwitzerland{{
    {"Aargau", "0000000"},
    {"Appenzell-Außerrhoden", "0000000"},
    {"Appenzell-Innerrhoden", "0000000"},
    {"Basel-Land", "0000000"},
    {"Basel-Stadt", "0000000"},
    {"Bern", "0000000"},
    {"Freiburg", "0000000"},
    {"Genf", "0000000"},
    {"Glarus", "0000000"},
    {"Graubünden", "0000000"},
    {"Jura", "0000000"},
    {"Luzern", "0000000"},
    {"Neuenburg", "0000000"},
    {"Nidwalden", "0000000"},
    {"Obwalden", "0000000"},
    {"Sankt Gallen", "0000000"},
    {"Schaffhausen", "0000000"},
    {"Schwyz", "0000000"},
    {"Solothurn", "0000000"},
    {"Tessin", "0000000"},
    {"Thurgau", "0000000"},
    {"Uri", "0000000"},
    {"Waadt", "0000000"},
    {"Wallis", "0000000"},
    {"Zug", "0000000"},
    {"Zürich", "0000000"},
}};

}  // namespace

std::span<const RegionEntry> country_list() { return kCountries; }

std::span<const RegionEntry> region_list(std::string_view land) {
  if (land == "D") return kGermany;
  if (land == "A") return kAustria;
  if (land == "CH") return kSwitzerland;
  return {};
}

bool region_flag(std::string_view region, int position) {
  if (region.size() < 7 || position < 1 || position > 7) return false;
  return region[size_t(position - 1)] == '1';
}

}  // namespace mv
