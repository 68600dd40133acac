#include "printing/list_options.h"

#include <optional>

namespace mv {
namespace {

std::optional<bool> yes_no(const QString& v) {
  const QString u = v.trimmed().toUpper();
  if (u == QLatin1String("JA")) return true;
  if (u == QLatin1String("NEIN")) return false;
  return std::nullopt;
}

}  // namespace

ListOptions read_list_options(const ListSettings& ini, const QString& section, const ListOptions& defaults) {
  ListOptions o = defaults;
  o.font = 10;
  if (section.isEmpty()) return o;
  auto history = [&](const char* key) {
    return ini.history ? ini.history(section, QString::fromLatin1(key)) : QString();
  };
  auto product = [&](const char* key) {
    return ini.product ? ini.product(QStringLiteral("Runtime"), QString::fromLatin1(key)) : QString();
  };
  bool ok = false;
  const int size = history("Schrift").trimmed().toInt(&ok);
  o.font = ok && size >= 4 && size <= 72 ? size : 10;
  auto decide = [&](const char* key, bool fallback) {
    if (auto v = yes_no(history(key))) return *v;
    if (auto v = yes_no(product(key))) return *v;
    return fallback;
  };
  o.grid = decide("Gitter", defaults.grid);
  o.grey_rows = decide("ZeileGrau", defaults.grey_rows);
  o.grey_columns = decide("SpalteGrau", defaults.grey_columns);
  return o;
}

}  // namespace mv
