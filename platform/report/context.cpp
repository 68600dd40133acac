#include "platform/report/context.h"

#include <QHash>

#include <QFont>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <cmath>
#include <map>
#include <memory>
#include <tuple>

namespace mv::report {

QString resolved_face(const QString& face) {
  if (face.compare(QLatin1String("Arial"), Qt::CaseInsensitive) == 0 ||
      face.compare(QLatin1String("Helvetica"), Qt::CaseInsensitive) == 0)
    return QStringLiteral("Liberation Sans");
  if (face.compare(QLatin1String("Times New Roman"), Qt::CaseInsensitive) == 0)
    return QStringLiteral("Liberation Serif");
  if (face.compare(QLatin1String("Courier New"), Qt::CaseInsensitive) == 0) return QStringLiteral("Liberation Mono");
  return face;
}

struct PainterContext::CachedFont {
  QFont font;
  QFontMetricsF metrics;
  TextMetricsInfo info;
  QString family;
  // Widths of texts already measured in this font: lists repeat their texts (dates, group
  // names, headings) on every page, and shaping a text again costs more than looking it up.
  mutable QHash<QString, int> extents;
  CachedFont(const QFont& f) : font(f), metrics(f) {}
};

namespace {

using FontKey = std::tuple<QString, int, int, bool, bool>;

// Fonts and their metrics, kept for the life of the program: a list switches between a
// handful of fonts on every page, and measuring a font costs far more than a lookup.
const PainterContext::CachedFont* cached_font(const FontRequest& r);

Qt::PenStyle pen_style(int style) {
  switch (style) {
    case 1:
      return Qt::DashLine;
    case 2:
      return Qt::DotLine;
    case 3:
      return Qt::DashDotLine;
    case 4:
      return Qt::DashDotDotLine;
    case 5:
      return Qt::NoPen;
    default:
      return Qt::SolidLine;
  }
}

QPen make_pen(const PenSpec& p) {
  QPen pen(p.color);
  pen.setStyle(pen_style(p.style));
  pen.setWidth(std::max(0, p.width));  // 0 is one pixel at any scale
  pen.setCapStyle(Qt::FlatCap);
  pen.setJoinStyle(Qt::MiterJoin);
  return pen;
}

QBrush make_brush(const BrushSpec& b) {
  switch (b.kind) {
    case BrushSpec::Solid:
      return QBrush(b.color);
    case BrushSpec::Hatch: {
      static const Qt::BrushStyle styles[] = {Qt::HorPattern,   Qt::VerPattern,   Qt::FDiagPattern,
                                              Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
      return QBrush(b.color, b.hatch >= 0 && b.hatch <= 5 ? styles[b.hatch] : Qt::HorPattern);
    }
    default:
      return Qt::NoBrush;
  }
}

}  // namespace

struct FontCacheHolder {
  std::map<FontKey, std::unique_ptr<PainterContext::CachedFont>> fonts;
};

namespace {
const PainterContext::CachedFont* cached_font(const FontRequest& r) {
  static FontCacheHolder holder;
  const FontKey key{r.face.toUpper(), r.height, r.weight, r.italic, r.underline};
  auto it = holder.fonts.find(key);
  if (it != holder.fonts.end()) return it->second.get();
  QFont f(resolved_face(r.face));
  f.setPixelSize(std::max(1, std::abs(r.height)));
  f.setWeight(r.weight >= 600 ? QFont::Bold : QFont::Normal);
  f.setItalic(r.italic);
  f.setUnderline(r.underline);
  f.setHintingPreference(QFont::PreferNoHinting);
  f.setStyleStrategy(QFont::PreferOutline);
  auto c = std::make_unique<PainterContext::CachedFont>(f);
  const QFontInfo fi(f);
  c->family = fi.family();
  c->info.ave_char_width = int(std::lround(c->metrics.averageCharWidth()));
  c->info.ascent = int(std::lround(c->metrics.ascent()));
  c->info.height = int(std::lround(c->metrics.ascent() + c->metrics.descent()));
  c->info.external_leading = std::max(0, int(std::lround(c->metrics.leading())));
  c->info.variable_pitch = !fi.fixedPitch();
  return holder.fonts.emplace(key, std::move(c)).first->second.get();
}
}  // namespace

PainterContext::PainterContext(QPainter* painter) : painter_(painter) {}

void PainterContext::select_font(const FontRequest& font) {
  if (font_ && font == request_) return;
  request_ = font;
  font_ = cached_font(font);
  if (painter_) painter_->setFont(font_->font);
}

std::optional<TextMetricsInfo> PainterContext::text_metrics() {
  if (!font_) return std::nullopt;
  return font_->info;
}

int PainterContext::text_extent(const QString& text) {
  if (!font_ || text.isEmpty()) return 0;
  auto& known = font_->extents;
  if (auto it = known.constFind(text); it != known.cend()) return *it;
  const int w = int(std::ceil(font_->metrics.horizontalAdvance(text)));
  if (known.size() >= 16384) known.clear();  // a bound for long runs of unique texts
  known.insert(text, w);
  return w;
}

QString PainterContext::text_face() { return font_ ? font_->family : QString(); }

void PainterContext::set_text_color(const QColor& c) { text_color_ = c; }
void PainterContext::set_background(const std::optional<QColor>& c) { background_ = c; }

void PainterContext::text_out(int x, int y, const QString& text, int align_code) {
  if (!painter_ || !font_ || text.isEmpty()) return;
  double left = x;
  // Left-aligned text without a background needs no measuring: most of a list's texts.
  if (align_code == 6 || align_code == 2 || background_) {
    const double w = font_->metrics.horizontalAdvance(text);
    if (align_code == 6)
      left = x - w / 2;
    else if (align_code == 2)
      left = x - w;
    if (background_) painter_->fillRect(QRectF(left, y, w, font_->info.height), *background_);
  }
  if (painter_->pen().color() != text_color_ || painter_->pen().style() != Qt::SolidLine)
    painter_->setPen(QPen(text_color_));
  painter_->drawText(QPointF(left, y + font_->metrics.ascent()), text);
}

void PainterContext::shape(const QRect& r, const PenSpec& pen, const BrushSpec& brush, bool ellipse) {
  if (!painter_) return;
  const QRectF box(r.left(), r.top(), r.right() - r.left(), r.bottom() - r.top());
  if (ellipse) {
    painter_->setPen(make_pen(pen));
    painter_->setBrush(make_brush(brush));
    painter_->drawEllipse(box);
  } else {
    if (brush.kind == BrushSpec::Solid)
      painter_->fillRect(box, brush.color);
    else if (brush.kind == BrushSpec::Hatch)
      painter_->fillRect(box, make_brush(brush));
    if (pen.style != 5) {
      painter_->setPen(make_pen(pen));
      painter_->setBrush(Qt::NoBrush);
      painter_->drawRect(box);
    }
  }
  painter_->setPen(QPen(text_color_));
  painter_->setBrush(Qt::NoBrush);
}

void PainterContext::line(QPoint from, QPoint to, const PenSpec& pen) {
  if (!painter_) return;
  painter_->setPen(make_pen(pen));
  painter_->drawLine(from, to);
  painter_->setPen(QPen(text_color_));
}

void PainterContext::image(int x, int y, const QImage& img, int height, int width) {
  if (!painter_ || img.isNull()) return;
  const QSize size(width > 0 ? width : img.width(), height > 0 ? height : img.height());
  painter_->drawImage(QRect(QPoint(x, y), size), img);
}

}  // namespace mv::report
