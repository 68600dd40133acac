#include "shell/backdrop.h"

#include <QEvent>
#include <QMdiArea>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

namespace mv {

Backdrop::Backdrop(QMdiArea* area) : QObject(area), area_(area) {
  area->viewport()->installEventFilter(this);
  // The paint covers the whole area, so the system need not erase it first.
  area->viewport()->setAttribute(Qt::WA_OpaquePaintEvent, true);
}

QMdiArea* Backdrop::area() const { return qobject_cast<QMdiArea*>(area_.data()); }

void Backdrop::select_gradient_text(const QString& text) {
  text_ = text;
  mode_ = kGradientText;
  if (QMdiArea* a = area()) a->viewport()->update();
}

void Backdrop::select_tile_bitmap(const QPixmap& bitmap) {
  bitmap_ = bitmap;
  mode_ = kTiledBitmapText;
  if (QMdiArea* a = area()) a->viewport()->update();
}

void Backdrop::select_tile_text(const QString& text) {
  text_ = text;
  mode_ = kTiledBitmapText;
  if (QMdiArea* a = area()) a->viewport()->update();
}

void Backdrop::select_centre_bitmap(const QPixmap& bitmap) {
  bitmap_ = bitmap;
  mode_ = kCentredBitmap;
  if (QMdiArea* a = area()) {
    a->viewport()->setAttribute(Qt::WA_OpaquePaintEvent, false);
    a->viewport()->update();
  }
}

void Backdrop::paint(QPainter& p, const QRect& client, const QRect& exposed) const {
  switch (mode_) {
    case kGradientText:
      GRADIENTFILL(p, client, exposed);
      if (!text_.isEmpty()) PEDRAWTEXT(p, client, text_);
      break;
    case kTiledBitmapText:
      DRAWSHELLBITMAP(p, client, bitmap_);
      if (!text_.isEmpty()) PEDRAWTEXT(p, client, text_);
      break;
    case kCentredBitmap:
      CENTREBITMAP(p, client, bitmap_);
      break;
    case kNothing:
      break;
  }
}

bool Backdrop::eventFilter(QObject* watched, QEvent* event) {
  // While the area is being destroyed its viewport still gets events; the area is then no
  // longer a QMdiArea and must not be asked for anything.
  QMdiArea* area = this->area();
  if (!area || watched != area->viewport()) return false;
  if (event->type() == QEvent::Paint) {
    if (mode_ == kNothing) return false;  // the MDI area paints itself
    const QRect exposed = static_cast<QPaintEvent*>(event)->rect();
    QPainter p(area->viewport());
    // A centred bitmap leaves room around it: the area's own background shows there.
    if (mode_ == kCentredBitmap) p.fillRect(exposed, area->background());
    paint(p, area->viewport()->rect(), exposed);
    return true;
  }
  if (event->type() == QEvent::Resize) {
    // The gradient spans the new height and the name moves to the new middle.
    area->viewport()->update();
  }
  return false;
}

QColor gradient_row_color(int row, int height) {
  if (height <= 0) return QColor(0, 255, 255);
  const int n = std::max(1, int((qint64(row) * 255) / height));
  return QColor(0, 255 - n, 255 - n);
}

void GRADIENTFILL(QPainter& p, const QRect& client, const QRect& exposed) {
  const int w = client.width(), h = client.height();
  if (w <= 0 || h <= 0) return;
  const QRect area = exposed.isNull() ? client : exposed.intersected(client);
  const int first = std::max(1, area.top() - client.top() + 1);
  const int last = std::min(h, area.bottom() - client.top() + 1);
  for (int i = first; i <= last; ++i)
    p.fillRect(QRect(client.left(), client.top() + i - 1, w, 1), gradient_row_color(i, h));
}

void PEDRAWTEXT(QPainter& p, const QRect& client, const QString& text) {
  QFont font(QStringLiteral("Times New Roman"));
  font.setStyleHint(QFont::Serif);
  const int dpi = p.device() ? p.device()->logicalDpiY() : 96;
  font.setPixelSize(std::max(1, (dpi * 40) / 72));
  font.setBold(true);
  font.setItalic(true);
  p.save();
  p.setFont(font);
  p.setBackgroundMode(Qt::TransparentMode);
  const int flags = Qt::AlignCenter | Qt::TextSingleLine;
  p.setPen(QColor(0, 0, 0));
  p.drawText(client.translated(6, 6), flags, text);
  p.setPen(QColor(255, 255, 255));
  p.drawText(client, flags, text);
  p.restore();
}

void DRAWSHELLBITMAP(QPainter& p, const QRect& client, const QPixmap& bitmap) {
  const int bw = bitmap.width(), bh = bitmap.height();
  if (bw <= 0 || bh <= 0) return;
  for (int x = 0; x <= client.width() / bw; ++x)
    for (int y = 0; y <= client.height() / bh; ++y)
      p.drawPixmap(client.left() + x * bw, client.top() + y * bh, bitmap);
}

void CENTREBITMAP(QPainter& p, const QRect& client, const QPixmap& bitmap) {
  const int bw = bitmap.width(), bh = bitmap.height();
  if (bw <= 0 || bh <= 0) return;
  const int W = client.width(), H = client.height();
  if (W < bw || H < bh) {
    p.drawPixmap(client, bitmap);
    return;
  }
  p.drawPixmap(client.left() + (W - bw) / 2, client.top() + (H - bh) / 2, bitmap);
}

}  // namespace mv
