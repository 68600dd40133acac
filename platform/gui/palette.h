#pragma once
// Colours and brushes in one table. The forms speak of "predefined colour number n",
// "predefined brush number n" and a few RGB values; here they become QColor/QBrush.
// The five program-wide brushes exist for the whole run; controls only refer to them.
#include <QBrush>
#include <QColor>
#include <QPalette>

class QWidget;

namespace mv::gui {

// Predefined colour numbers.
enum PredefinedColor : int {
  kColorBlack = 0,
  kColorBlue = 1,
  kColorCyan = 2,
  kColorGreen = 3,
  kColorMagenta = 4,
  kColorRed = 5,
  kColorYellow = 6,
  kColorWhite = 7,
};
// Predefined brush numbers. The hollow brush paints nothing: the control's own
// background shows through.
enum PredefinedBrush : int {
  kBrushBlack = 0,
  kBrushDark = 1,
  kBrushMedium = 2,
  kBrushLight = 3,
  kBrushHollow = 4,
  kBrushWhite = 5,
};

QColor predefined_color(int number);  // unknown numbers give black
QBrush predefined_brush(int number);  // unknown numbers give the hollow brush
inline bool is_hollow(const QBrush& b) { return b.style() == Qt::NoBrush; }

// Fixed tints used by several forms.
inline constexpr QRgb kListRowTint = qRgb(215, 240, 250);   // every second list-view row
inline constexpr QRgb kReadOnlyColor = qRgb(215, 210, 205); // READONLYBRUSH

// The program-wide brushes.
enum class ProgramBrush { FOKUSBRUSH, NORMALBRUSH, READONLYBRUSH, GRIDBRUSH1, GRIDBRUSH2 };
const QBrush& program_brush(ProgramBrush which);
inline const QBrush& FOKUSBRUSH() { return program_brush(ProgramBrush::FOKUSBRUSH); }
inline const QBrush& NORMALBRUSH() { return program_brush(ProgramBrush::NORMALBRUSH); }
inline const QBrush& READONLYBRUSH() { return program_brush(ProgramBrush::READONLYBRUSH); }
inline const QBrush& GRIDBRUSH1() { return program_brush(ProgramBrush::GRIDBRUSH1); }
inline const QBrush& GRIDBRUSH2() { return program_brush(ProgramBrush::GRIDBRUSH2); }

// Sets the input background of a control (QPalette::Base, and Window for widgets that
// paint their background from it). A hollow brush restores the style's default.
void set_background(QWidget* w, const QBrush& brush);
// Fills a page (or a control of it) with `colour`: its window background and, with
// `buttons`, the background its buttons, radio and check boxes draw from.
void set_page_colour(QWidget* w, const QColor& colour, bool buttons = false);
// The background colour a control currently paints its input area with.
QColor background_of(const QWidget* w);
// Text colour (QPalette::Text / WindowText / ButtonText).
void set_foreground(QWidget* w, const QColor& color);

// The wait cursor for the duration of a scope.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace mv::gui
