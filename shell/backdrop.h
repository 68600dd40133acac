#pragma once
// The painted area behind the table windows: a vertical gradient from cyan to black with
// the program's name in large white italic letters and a black shadow. The canvas's
// viewport is painted here instead of by the MDI area itself (an event filter takes over
// its paint events), so no table window moved over it leaves traces.
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QString>

class QMdiArea;
class QPainter;
class QRect;
class QPaintDevice;

namespace mv {

class Backdrop : public QObject {
  Q_OBJECT
 public:
  // What is painted; 0 nothing (before the first selection).
  enum Mode : quint16 { kNothing = 0, kGradientText = 1, kTiledBitmapText = 2, kCentredBitmap = 3 };

  // Takes over the painting of `area`'s viewport (GNBACKDROPMODE starts at 0).
  explicit Backdrop(QMdiArea* area);

  // The selection messages.
  void select_gradient_text(const QString& text);  // text; mode 1
  void select_tile_bitmap(const QPixmap& bitmap);  // bitmap; mode 2
  void select_tile_text(const QString& text);      // text; mode 2
  void select_centre_bitmap(const QPixmap& bitmap);  // bitmap; mode 3

  Mode mode() const { return mode_; }
  QString text() const { return text_; }

  // Paints the backdrop of the client area `client` where `exposed` needs it.
  void paint(QPainter& p, const QRect& client, const QRect& exposed) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The area, while it is one (nullptr also once its destruction has begun); kept as a
  // plain object, since an area being destroyed must not be cast to its class.
  QMdiArea* area() const;
  QPointer<QObject> area_;
  Mode mode_ = kNothing;
  QString text_;
  QPixmap bitmap_;
};

// The painting steps, each on a client rectangle of a paint device.
// Row i of h (counted from 1) gets RGB(0, 255 - n, 255 - n) with n = max(1, i * 255 / h).
void GRADIENTFILL(QPainter& p, const QRect& client, const QRect& exposed);
QColor gradient_row_color(int row, int height);  // row counted from 1
// The text, 40 points bold italic, centred, with a black shadow 6 pixels right and down.
void PEDRAWTEXT(QPainter& p, const QRect& client, const QString& text);
// The bitmap tiled unscaled from the top-left corner.
void DRAWSHELLBITMAP(QPainter& p, const QRect& client, const QPixmap& bitmap);
// The bitmap centred, or stretched over the client area when that is narrower or lower.
void CENTREBITMAP(QPainter& p, const QRect& client, const QPixmap& bitmap);

}  // namespace mv
