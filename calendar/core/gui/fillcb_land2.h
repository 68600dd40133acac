#pragma once
// Fills a region combo box (the pages pass their CMBSTANDARD) for the current country.
class QComboBox;

namespace mv {

// For LANDCODE "D", "A" or "CH" the combo's items are replaced by that country's regions,
// each showing its display text and carrying its region code (a QString) as item data;
// for any other country code the items stay as they are. Either way the first item is made
// current; the caller then selects the entry of REGIONCODE. Filling is no user choice, so
// the combo raises no signals while it runs.
void FILLCB_LAND2(QComboBox& combo);

}  // namespace mv
