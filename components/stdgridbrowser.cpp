#include "components/stdgridbrowser.h"

#include <cmath>

#include "platform/gui/palette.h"

namespace mv {

STDGRIDBROWSER::STDGRIDBROWSER(QWidget* parent) : grid::GRIDBROWSER(parent) {
  grid::GRIDSTYLE style(1);
  style.ADDBACKGROUND(gui::GRIDBRUSH1());
  style.ADDBACKGROUND(gui::GRIDBRUSH2());
  GRID(style);
  QFont f(QStringLiteral("Microsoft Sans Serif"));
  f.setPointSizeF(8);
  FONT(f);
}

void STDGRIDBROWSER::editor_opened(QWidget* editor) {
  grid::GRIDBROWSER::editor_opened(editor);
  gui::set_background(editor, gui::FOKUSBRUSH());
}

void STDGRIDBROWSER::SKIPNEXT() { SKIP(1); }
void STDGRIDBROWSER::SKIPPREVIOUS() { SKIP(-1); }

void STDGRIDBROWSER::rebuild_base_if_needed() {
  const auto cols = COLUMNLIST();
  if (awidths_ && awidths_->size() == cols.size()) return;
  std::vector<int> w;
  for (auto* c : cols) w.push_back(c->width);
  awidths_ = std::move(w);
}

void STDGRIDBROWSER::apply_zoom(double size) {
  const double factor = size / 8.0;
  rebuild_base_if_needed();
  auto cols = COLUMNLIST();
  for (size_t i = 0; i < cols.size(); ++i) cols[i]->width = int(std::lround((*awidths_)[i] * factor));
  RECALCULATE();
}

void STDGRIDBROWSER::ZOOMFONT(const QFont& font, double size) {
  FONT(font);
  apply_zoom(size);
}

void STDGRIDBROWSER::ZOOMCOLUMN(double size) { apply_zoom(size); }

QString proper_case(const QString& text) {
  QString out = text.toLower();
  bool word_start = true;
  for (QChar& c : out) {
    if (c.isSpace()) {
      word_start = true;
    } else if (word_start) {
      c = c.toUpper();
      word_start = false;
    }
  }
  return out;
}

void STDGRIDBROWSER::SETCOLUMN(unsigned short_len, unsigned proper_len, bool with_marks) {
  std::vector<int> widths;
  for (grid::GridColumn* c : COLUMNLIST()) {
    if (c->width > 0) {
      const unsigned n = unsigned(c->caption.size());
      if (n <= short_len) c->width += 10;
      if (n > proper_len) c->caption = proper_case(c->caption);
      if (with_marks) {
        c->mark_slot = c->value_type == 'N' ? grid::GridColumn::MarkSlot::Left : grid::GridColumn::MarkSlot::Right;
        c->mark.clear();
        c->width += 20;
      }
    }
    widths.push_back(c->width);
  }
  awidths_ = std::move(widths);
  RECALCULATE();
}

void STDGRIDBROWSER::SETCOLUMN(const QVariant& short_len, const QVariant& proper_len, const QVariant& with_marks) {
  SETCOLUMN(short_len.toUInt(), proper_len.toUInt(), with_marks.toBool());
}

void STDGRIDBROWSER::SETSORTZEICHEN(const QString& field_name) {
  const QString name = field_name.toUpper();
  for (grid::GridColumn* c : COLUMNLIST()) {
    if (c->mark_slot == grid::GridColumn::MarkSlot::None) continue;
    c->mark = c->name.toUpper() == name ? QStringLiteral("5") : QString();
  }
  // Shown when the header next paints.
  if (server()) server()->columns_changed();
}

}  // namespace mv
