#pragma once
// The list options every printed list reads: the font size "Schrift" and the switches
// "Gitter", "ZeileGrau" and "SpalteGrau". A value in the table's section of the history
// file decides both ways ("Ja" or "Nein"); a key that is empty there falls back to the
// product INI's section "Runtime", then to the list's own default. "Schrift" is a whole
// number from 4 to 72; anything else prints in 10 points.
#include <QString>
#include <functional>

namespace mv {

struct ListOptions {
  int font = 10;
  bool grid = false;
  bool grey_rows = false;
  bool grey_columns = false;
  bool operator==(const ListOptions&) const = default;
};

using IniRead = std::function<QString(const QString& section, const QString& key)>;

struct ListSettings {
  IniRead history;  // "ZovuZUZ.INI"
  IniRead product;  // the product INI
};

// `section` empty: the defaults, no INI read.
ListOptions read_list_options(const ListSettings& ini, const QString& section, const ListOptions& defaults);

}  // namespace mv
