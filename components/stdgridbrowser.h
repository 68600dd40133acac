#pragma once
// The grid of every page that shows a table or a list: the browse control with the
// program-wide grid brushes as alternating row backgrounds and the 8-point font, plus
// row moves and column adjustments (widen short captions, proper case, sort-mark slots,
// zoom of all widths with the font size).
#include <QFont>
#include <optional>
#include <vector>

#include "platform/grid/gridbrowser.h"

namespace mv {

class STDGRIDBROWSER : public grid::GRIDBROWSER {
  Q_OBJECT
 public:
  explicit STDGRIDBROWSER(QWidget* parent = nullptr);

  // Sets the font and scales the column widths to `size` points (base: 8 points).
  void ZOOMFONT(const QFont& font, double size);
  // Scales the column widths only.
  void ZOOMCOLUMN(double size);
  // Widens captions of at most `short_len` characters by 10, sets captions longer than
  // `proper_len` characters in proper case, and with `with_marks` gives every caption a
  // slot for the sort mark (20 wider). Records the widths as the base of later zooms.
  void SETCOLUMN(unsigned short_len, unsigned proper_len, bool with_marks);
  void SETCOLUMN(const QVariant& short_len, const QVariant& proper_len, const QVariant& with_marks);
  // Shows the sort mark on the column of field `field_name` (any case); the others lose theirs.
  void SETSORTZEICHEN(const QString& field_name);
  void SETSORTZEICHEN(const QVariant& field_name) { SETSORTZEICHEN(field_name.toString()); }

  // The base widths of the zooms (none until SETCOLUMN or the first zoom).
  const std::optional<std::vector<int>>& AWIDTHS() const { return awidths_; }

  // The cell editor in the colours of an edit field with the focus.
  void editor_opened(QWidget* editor) override;

 public slots:
  void SKIPNEXT();
  void SKIPPREVIOUS();

 private:
  void rebuild_base_if_needed();
  void apply_zoom(double size);

  std::optional<std::vector<int>> awidths_;
};

// "first letter of each word upper case, the others lower case".
QString proper_case(const QString& text);

}  // namespace mv
