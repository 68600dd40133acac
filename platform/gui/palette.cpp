#include "platform/gui/palette.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWidget>

namespace mv::gui {

QColor predefined_color(int number) {
  switch (number) {
    case kColorBlack: return QColor(0, 0, 0);
    case kColorBlue: return QColor(0, 0, 128);
    case kColorCyan: return QColor(0, 128, 128);
    case kColorGreen: return QColor(0, 128, 0);
    case kColorMagenta: return QColor(128, 0, 128);
    case kColorRed: return QColor(192, 0, 0);
    case kColorYellow: return QColor(255, 255, 176);  // soft enough to read text on
    case kColorWhite: return QColor(255, 255, 255);
    default: return QColor(0, 0, 0);
  }
}

QBrush predefined_brush(int number) {
  switch (number) {
    case kBrushBlack: return QBrush(QColor(0, 0, 0));
    case kBrushDark: return QBrush(QColor(96, 96, 96));
    case kBrushMedium: return QBrush(QColor(200, 200, 200));
    case kBrushLight: return QBrush(QColor(230, 230, 230));
    case kBrushWhite: return QBrush(QColor(255, 255, 255));
    case kBrushHollow:
    default: return QBrush(Qt::NoBrush);
  }
}

const QBrush& program_brush(ProgramBrush which) {
  static const QBrush fokus(predefined_color(kColorYellow));
  static const QBrush normal(predefined_color(kColorWhite));
  static const QBrush readonly{QColor(kReadOnlyColor)};
  static const QBrush grid1 = predefined_brush(kBrushMedium);
  static const QBrush grid2 = predefined_brush(kBrushHollow);
  switch (which) {
    case ProgramBrush::FOKUSBRUSH: return fokus;
    case ProgramBrush::NORMALBRUSH: return normal;
    case ProgramBrush::READONLYBRUSH: return readonly;
    case ProgramBrush::GRIDBRUSH1: return grid1;
    case ProgramBrush::GRIDBRUSH2: return grid2;
  }
  return normal;
}

void set_background(QWidget* w, const QBrush& brush) {
  if (!w) return;
  QPalette pal = w->palette();
  if (is_hollow(brush)) {
    const QPalette def = QApplication::palette(w);
    pal.setBrush(QPalette::Base, def.brush(QPalette::Base));
  } else {
    pal.setBrush(QPalette::Base, brush);
  }
  w->setPalette(pal);
}

void set_page_colour(QWidget* w, const QColor& colour, bool buttons) {
  if (!w) return;
  w->setAutoFillBackground(true);
  QPalette pal = w->palette();
  pal.setColor(QPalette::Window, colour);
  if (buttons) pal.setColor(QPalette::Button, colour);
  w->setPalette(pal);
}

QColor background_of(const QWidget* w) {
  return w ? w->palette().color(QPalette::Base) : QColor();
}

void set_foreground(QWidget* w, const QColor& color) {
  if (!w) return;
  QPalette pal = w->palette();
  pal.setColor(QPalette::Text, color);
  pal.setColor(QPalette::WindowText, color);
  pal.setColor(QPalette::ButtonText, color);
  w->setPalette(pal);
}

WaitCursor::WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
WaitCursor::~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }

}  // namespace mv::gui
