#include "shell/pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <functional>
#include <map>

namespace mv {
namespace {

using Drawing = std::function<void(QPainter&)>;

// Runs a drawing made on a 32 x 32 grid at `size` pixels.
QPixmap render(int size, const Drawing& draw) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.scale(size / 32.0, size / 32.0);
  draw(p);
  return pm;
}

QIcon icon_of(const Drawing& draw) {
  QIcon icon;
  for (int s : {16, 24, 32, 48}) icon.addPixmap(render(s, draw));
  return icon;
}

const QColor kInk(40, 48, 60);
const QColor kTeal(0, 150, 160);
const QColor kPaper(252, 252, 248);

// A database: three stacked discs.
void draw_cylinder(QPainter& p, QRectF r, const QColor& body) {
  const qreal e = r.height() * 0.22;
  QPainterPath path;
  path.moveTo(r.left(), r.top() + e / 2);
  path.lineTo(r.left(), r.bottom() - e / 2);
  path.arcTo(QRectF(r.left(), r.bottom() - e, r.width(), e), 180, 180);
  path.lineTo(r.right(), r.top() + e / 2);
  p.setPen(QPen(kInk, 1.4));
  QLinearGradient g(r.topLeft(), r.topRight());
  g.setColorAt(0, body.lighter(135));
  g.setColorAt(1, body.darker(120));
  p.setBrush(g);
  p.drawPath(path);
  p.setBrush(body.lighter(150));
  p.drawEllipse(QRectF(r.left(), r.top(), r.width(), e));
  p.setBrush(Qt::NoBrush);
  for (int k = 1; k <= 2; ++k) {
    const qreal y = r.top() + (r.height() - e) * k / 3.0;
    p.drawArc(QRectF(r.left(), y, r.width(), e), 180 * 16, 180 * 16);
  }
}

void draw_sheet(QPainter& p, QRectF r, bool folded = true) {
  QPainterPath path;
  const qreal f = folded ? r.width() * 0.3 : 0;
  path.moveTo(r.topLeft());
  path.lineTo(r.right() - f, r.top());
  path.lineTo(r.right(), r.top() + f);
  path.lineTo(r.bottomRight());
  path.lineTo(r.bottomLeft());
  path.closeSubpath();
  p.setPen(QPen(kInk, 1.4));
  p.setBrush(kPaper);
  p.drawPath(path);
  if (folded) {
    p.setBrush(QColor(210, 214, 220));
    QPainterPath ear;
    ear.moveTo(r.right() - f, r.top());
    ear.lineTo(r.right() - f, r.top() + f);
    ear.lineTo(r.right(), r.top() + f);
    ear.closeSubpath();
    p.drawPath(ear);
  }
}

void draw_lines(QPainter& p, QRectF r, int n) {
  p.setPen(QPen(QColor(120, 130, 145), 1.2));
  for (int i = 0; i < n; ++i) {
    const qreal y = r.top() + (i + 0.5) * r.height() / n;
    p.drawLine(QPointF(r.left(), y), QPointF(r.right() - (i % 2) * r.width() * 0.3, y));
  }
}

void draw_folder(QPainter& p, const QColor& c) {
  p.setPen(QPen(kInk, 1.4));
  p.setBrush(c.darker(110));
  QPainterPath back;
  back.moveTo(3, 8);
  back.lineTo(12, 8);
  back.lineTo(15, 11);
  back.lineTo(28, 11);
  back.lineTo(28, 26);
  back.lineTo(3, 26);
  back.closeSubpath();
  p.drawPath(back);
  p.setBrush(c);
  QPainterPath front;
  front.moveTo(3, 26);
  front.lineTo(7, 15);
  front.lineTo(31, 15);
  front.lineTo(28, 26);
  front.closeSubpath();
  p.drawPath(front);
}

void draw_magnifier(QPainter& p, QPointF c, qreal radius) {
  p.setPen(QPen(kInk, radius * 0.45, Qt::SolidLine, Qt::RoundCap));
  const QPointF handle = c + QPointF(radius * 0.75, radius * 0.75);
  p.drawLine(handle, c + QPointF(radius * 1.9, radius * 1.9));
  p.setPen(QPen(kInk, radius * 0.28));
  p.setBrush(QColor(190, 230, 245, 220));
  p.drawEllipse(c, radius, radius);
}

// Navigation arrows: `bars` a stop bar at the end, `dir` -1 left, 1 right.
void draw_arrow(QPainter& p, int dir, bool bar, const QColor& c) {
  p.setPen(QPen(kInk, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(c);
  QPolygonF tri;
  if (dir > 0)
    tri << QPointF(9, 6) << QPointF(23, 16) << QPointF(9, 26);
  else
    tri << QPointF(23, 6) << QPointF(9, 16) << QPointF(23, 26);
  p.drawPolygon(tri);
  if (bar) p.drawRect(dir > 0 ? QRectF(24, 6, 3.5, 20) : QRectF(4.5, 6, 3.5, 20));
}

void draw_calendar(QPainter& p) {
  p.setPen(QPen(kInk, 1.4));
  p.setBrush(kPaper);
  p.drawRoundedRect(QRectF(4, 6, 24, 23), 2.5, 2.5);
  p.setBrush(QColor(200, 45, 45));
  p.drawRoundedRect(QRectF(4, 6, 24, 7), 2.5, 2.5);
  p.setBrush(kInk);
  p.drawRect(QRectF(9, 3, 2, 6));
  p.drawRect(QRectF(21, 3, 2, 6));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(90, 100, 115));
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) p.drawRect(QRectF(7 + c * 5, 16 + r * 4, 3, 2.5));
  p.setBrush(kTeal);
  p.drawRect(QRectF(17, 20, 3, 2.5));
}

void draw_printer(QPainter& p) {
  draw_sheet(p, QRectF(9, 3, 14, 10), false);
  p.setPen(QPen(kInk, 1.4));
  p.setBrush(QColor(170, 178, 190));
  p.drawRoundedRect(QRectF(3, 12, 26, 11), 2, 2);
  draw_sheet(p, QRectF(9, 19, 14, 10), false);
  draw_lines(p, QRectF(11, 21, 10, 6), 2);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 190, 90));
  p.drawEllipse(QRectF(24, 15, 2.5, 2.5));
}

void draw_info(QPainter& p) {
  p.setPen(QPen(QColor(20, 70, 150), 1.4));
  p.setBrush(QColor(60, 120, 210));
  p.drawEllipse(QRectF(3, 3, 26, 26));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(14, 8, 4, 4));
  p.drawRoundedRect(QRectF(14, 14, 4, 11), 1.5, 1.5);
}

void draw_manual(QPainter& p) {
  p.setPen(QPen(kInk, 1.4));
  p.setBrush(QColor(170, 30, 30));
  p.drawRoundedRect(QRectF(6, 3, 21, 26), 1.5, 1.5);
  p.setBrush(kPaper);
  p.drawRect(QRectF(9, 24, 18, 4));
  p.setPen(Qt::white);
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setPixelSize(7);
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRectF(8, 8, 18, 10), Qt::AlignCenter, QStringLiteral("PDF"));
}

void draw_options(QPainter& p) {
  p.setPen(QPen(kInk, 1.3));
  p.setBrush(QColor(150, 160, 175));
  QPainterPath gear;
  const QPointF c(16, 16);
  for (int i = 0; i < 8; ++i) {
    QTransform t;
    t.translate(c.x(), c.y());
    t.rotate(i * 45);
    gear.addPolygon(t.map(QPolygonF(QRectF(-3, -14, 6, 6))));
  }
  gear.addEllipse(c, 10.5, 10.5);
  gear.setFillRule(Qt::WindingFill);
  p.drawPath(gear.simplified());
  p.setBrush(kPaper);
  p.drawEllipse(c, 4.5, 4.5);
}

void draw_calculator(QPainter& p) {
  p.setPen(QPen(kInk, 1.4));
  p.setBrush(QColor(95, 105, 120));
  p.drawRoundedRect(QRectF(6, 3, 20, 26), 2.5, 2.5);
  p.setBrush(QColor(200, 235, 205));
  p.drawRect(QRectF(9, 6, 14, 6));
  p.setPen(Qt::NoPen);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      p.setBrush(c == 2 && r == 2 ? QColor(240, 150, 40) : QColor(235, 235, 235));
      p.drawRect(QRectF(9 + c * 5, 15 + r * 4.3, 3.5, 3));
    }
}

void draw_new(QPainter& p) {
  draw_sheet(p, QRectF(6, 3, 19, 26));
  draw_lines(p, QRectF(9, 12, 11, 12), 4);
  p.setPen(QPen(QColor(240, 170, 0), 2.2, Qt::SolidLine, Qt::RoundCap));
  const QPointF s(24, 7);
  for (int i = 0; i < 4; ++i) {
    QTransform t;
    t.rotate(i * 45);
    const QPointF d = t.map(QPointF(0, 4.5));
    p.drawLine(s - d, s + d);
  }
}

void draw_open_again(QPainter& p) {
  draw_folder(p, QColor(245, 200, 90));
  p.setPen(QPen(QColor(0, 120, 60), 2.2, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(13, 14, 12, 11), 60 * 16, 270 * 16);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 120, 60));
  QPolygonF head;
  head << QPointF(20, 11) << QPointF(26, 14.5) << QPointF(20, 17.5);
  p.drawPolygon(head);
}

void draw_close(QPainter& p) {
  draw_sheet(p, QRectF(5, 3, 19, 26));
  draw_lines(p, QRectF(8, 10, 11, 12), 4);
  p.setPen(QPen(QColor(200, 40, 40), 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(19, 19), QPointF(28, 28));
  p.drawLine(QPointF(28, 19), QPointF(19, 28));
}

void draw_preview(QPainter& p) {
  draw_sheet(p, QRectF(4, 3, 19, 26));
  draw_lines(p, QRectF(7, 10, 11, 12), 4);
  draw_magnifier(p, QPointF(19, 19), 5.5);
}

const std::map<int, Drawing>& toolbar_drawings() {
  static const std::map<int, Drawing> d = {
      {100, draw_new},
      {2, [](QPainter& p) { draw_folder(p, QColor(245, 200, 90)); }},
      {35, draw_open_again},
      {114, draw_options},
      {48, draw_calculator},
      {33, draw_calendar},
      {124, draw_manual},
      {120, draw_info},
      {3, draw_close},
      {5, draw_printer},
      {6, draw_preview},
      {129, [](QPainter& p) { draw_arrow(p, -1, true, kTeal); }},
      {127, [](QPainter& p) { draw_arrow(p, -1, false, kTeal); }},
      {128, [](QPainter& p) { draw_arrow(p, 1, false, kTeal); }},
      {130, [](QPainter& p) { draw_arrow(p, 1, true, kTeal); }},
  };
  return d;
}

void draw_molvane(QPainter& p) {
  p.setPen(Qt::NoPen);
  QLinearGradient bg(0, 0, 0, 32);
  bg.setColorAt(0, QColor(0, 220, 220));
  bg.setColorAt(1, QColor(0, 60, 70));
  p.setBrush(bg);
  p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
  draw_cylinder(p, QRectF(8, 5, 16, 22), QColor(235, 240, 245));
}

}  // namespace

QIcon toolbar_picture(int number) {
  const auto& d = toolbar_drawings();
  auto it = d.find(number);
  if (it == d.end()) return {};
  return icon_of(it->second);
}

QPixmap molvane_picture(int size) { return render(size, draw_molvane); }
QPixmap find_picture(int size) {
  return render(size, [](QPainter& p) { draw_magnifier(p, QPointF(13, 13), 8); });
}
QPixmap arrow_left_picture(int size) {
  return render(size, [](QPainter& p) { draw_arrow(p, -1, false, kTeal); });
}
QPixmap arrow_right_picture(int size) {
  return render(size, [](QPainter& p) { draw_arrow(p, 1, false, kTeal); });
}
QPixmap calendar_picture(int size) { return render(size, draw_calendar); }

QPixmap splash_picture() {
  QPixmap pm(387, 282);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, true);
  QLinearGradient bg(0, 0, 0, 282);
  bg.setColorAt(0, QColor(0, 235, 235));
  bg.setColorAt(1, QColor(0, 20, 25));
  p.fillRect(pm.rect(), bg);
  // A few stacked tables as the program's sign.
  p.save();
  p.translate(34, 58);
  p.scale(4.2, 4.2);
  draw_cylinder(p, QRectF(1, 1, 22, 30), QColor(235, 240, 245));
  p.restore();
  QFont title(QStringLiteral("Times New Roman"));
  title.setStyleHint(QFont::Serif);
  title.setPixelSize(54);
  title.setBold(true);
  title.setItalic(true);
  p.setFont(title);
  const QRect text_rect(140, 70, 240, 80);
  p.setPen(QColor(0, 0, 0, 170));
  p.drawText(text_rect.translated(4, 4), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Molvane"));
  p.setPen(Qt::white);
  p.drawText(text_rect, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Molvane"));
  QFont small(QStringLiteral("DejaVu Sans"));
  small.setPixelSize(14);
  p.setFont(small);
  p.setPen(QColor(230, 250, 250));
  p.drawText(QRect(144, 150, 230, 22), Qt::AlignLeft, QStringLiteral("dBASE-Tabellen verwalten"));
  p.setPen(QColor(190, 220, 225));
  p.drawText(QRect(144, 176, 230, 22), Qt::AlignLeft, QStringLiteral("Version 2.8-3.2"));
  p.setPen(QPen(QColor(255, 255, 255, 120), 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(0.5, 0.5, 386, 281));
  return pm;
}

MOLVANEICON::MOLVANEICON() {
  for (int s : {16, 24, 32, 48, 64}) addPixmap(molvane_picture(s));
}
FINDICON::FINDICON() { addPixmap(find_picture(16)); addPixmap(find_picture(32)); }
PFEILLKS::PFEILLKS() { addPixmap(arrow_left_picture(16)); addPixmap(arrow_left_picture(32)); }
PFEILRTS::PFEILRTS() { addPixmap(arrow_right_picture(16)); addPixmap(arrow_right_picture(32)); }
KALENDERICON::KALENDERICON() { addPixmap(calendar_picture(32)); addPixmap(calendar_picture(16)); }

}  // namespace mv
