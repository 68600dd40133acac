#pragma once
// What the printer device draws on and measures with: one drawing context per page being
// produced (the preview's image, the printer's page, a PDF page) and one on which fonts are
// measured. Coordinates are device units of the printer (its resolution), with the origin
// at the top left corner of the print area; a context that shows them at another scale
// (the preview) scales them itself, so every page is laid out exactly as it prints.
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <optional>

class QPainter;
class QPaintDevice;

namespace mv::report {

struct FontRequest {
  QString face;
  int height = 0;  // negative: the character height in device units
  int weight = 400;
  bool italic = false;
  bool underline = false;
  int escapement = 0;
  int orientation = 0;
  bool operator==(const FontRequest&) const = default;
};

struct TextMetricsInfo {
  int ave_char_width = 0;
  int height = 0;
  int ascent = 0;
  int external_leading = 0;
  bool variable_pitch = false;
};

struct PenSpec {
  int width = 1;  // 0: one pixel whatever the scale
  int style = 0;  // 0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot, 5 none
  QColor color = Qt::black;
  bool operator==(const PenSpec&) const = default;
};

struct BrushSpec {
  enum Kind { Null, Hollow, Solid, Hatch };
  Kind kind = Null;
  QColor color;
  int hatch = 0;  // 0 horizontal .. 5 diagonal cross
  bool operator==(const BrushSpec&) const = default;
};

// Text alignment codes of text_out: 0 left at x, 6 centred on x, 2 right end at x.
class DrawContext {
 public:
  virtual ~DrawContext() = default;
  virtual void select_font(const FontRequest& font) = 0;
  // Metrics of the selected font; nothing when no font can be measured here.
  virtual std::optional<TextMetricsInfo> text_metrics() = 0;
  virtual int text_extent(const QString& text) = 0;
  virtual QString text_face() = 0;

  virtual void set_text_color(const QColor& c) = 0;
  // No colour: transparent background.
  virtual void set_background(const std::optional<QColor>& c) = 0;
  // One line with its top at y.
  virtual void text_out(int x, int y, const QString& text, int align_code) = 0;
  virtual void shape(const QRect& r, const PenSpec& pen, const BrushSpec& brush, bool ellipse) = 0;
  virtual void line(QPoint from, QPoint to, const PenSpec& pen) = 0;
  virtual void image(int x, int y, const QImage& img, int height, int width) = 0;
};

// A context over a QPainter. The painter's own transform maps device units to its device.
class PainterContext : public DrawContext {
 public:
  // `painter` may be null: a measuring context only.
  explicit PainterContext(QPainter* painter);
  void select_font(const FontRequest& font) override;
  std::optional<TextMetricsInfo> text_metrics() override;
  int text_extent(const QString& text) override;
  QString text_face() override;
  void set_text_color(const QColor& c) override;
  void set_background(const std::optional<QColor>& c) override;
  void text_out(int x, int y, const QString& text, int align_code) override;
  void shape(const QRect& r, const PenSpec& pen, const BrushSpec& brush, bool ellipse) override;
  void line(QPoint from, QPoint to, const PenSpec& pen) override;
  void image(int x, int y, const QImage& img, int height, int width) override;

 public:
  struct CachedFont;

 private:
  QPainter* painter_;
  const CachedFont* font_ = nullptr;
  FontRequest request_;
  QColor text_color_ = Qt::black;
  std::optional<QColor> background_;
};

// The face a requested face is drawn with ("Arial" is drawn with the metric-compatible
// free face installed here).
QString resolved_face(const QString& face);

}  // namespace mv::report
