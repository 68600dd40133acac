#include "calendar/core/gui/fillcb_land2.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <QString>

#include "calendar/core/calendar_state.h"
#include "calendar/core/regions.h"

namespace mv {

namespace {

QString from_utf8(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

}  // namespace

void FILLCB_LAND2(QComboBox& combo) {
  const QSignalBlocker quiet(&combo);
  std::span<const RegionEntry> regions = region_list(LANDCODE);
  if (!regions.empty()) {
    combo.clear();
    for (const RegionEntry& r : regions) combo.addItem(from_utf8(r.text), from_utf8(r.code));
  }
  combo.setCurrentIndex(combo.count() > 0 ? 0 : -1);
}

}  // namespace mv
