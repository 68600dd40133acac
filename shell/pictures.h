#pragma once
// The program's pictures, drawn with QPainter when first asked for: the program icon and
// the other icons, the toolbar pictures by their image number and the splash picture.
#include <QIcon>
#include <QPixmap>

namespace mv {

// A toolbar picture by image number (100 new, 2 open, 35 open again, 114 options,
// 48 calculator, 33 calendar, 124 manual, 120 info, 3 close, 5 print, 6 preview,
// 129 first, 127 previous, 128 next, 130 last). One number is one picture wherever it
// is used. An unknown number gives an empty icon.
QIcon toolbar_picture(int number);

// The icon pictures at a given edge length.
QPixmap molvane_picture(int size);
QPixmap find_picture(int size);
QPixmap arrow_left_picture(int size);
QPixmap arrow_right_picture(int size);
QPixmap calendar_picture(int size);

// The splash picture, 387 x 282 pixels.
QPixmap splash_picture();

// The icon classes. Each loads its one picture; users create them without arguments.
class MOLVANEICON : public QIcon {
 public:
  MOLVANEICON();
};
class FINDICON : public QIcon {
 public:
  FINDICON();
};
class PFEILLKS : public QIcon {
 public:
  PFEILLKS();
};
class PFEILRTS : public QIcon {
 public:
  PFEILRTS();
};
class KALENDERICON : public QIcon {
 public:
  KALENDERICON();
};

}  // namespace mv
