#include "printing/rpprinter.h"

#include <QtEndian>
#include <cmath>

namespace mv {
namespace {

QByteArray pack(std::initializer_list<uint32_t> words) {
  QByteArray b(int(words.size() * 4), '\0');
  int i = 0;
  for (uint32_t w : words) qToLittleEndian<uint32_t>(w, b.data() + 4 * i++);
  return b;
}

// The default fill colour of a shape given a fill style but no colour.
const QColor kDefaultFill(192, 192, 192);

}  // namespace

std::optional<TextSpanRecord> read_text_record(const QByteArray& b) {
  if (b.size() != 24) return std::nullopt;
  TextSpanRecord r;
  r.marker = qFromLittleEndian<uint32_t>(b.constData());
  r.align = qFromLittleEndian<uint32_t>(b.constData() + 4);
  r.x = qFromLittleEndian<int32_t>(b.constData() + 8);
  r.y = qFromLittleEndian<int32_t>(b.constData() + 12);
  r.width = qFromLittleEndian<int32_t>(b.constData() + 16);
  r.height = qFromLittleEndian<int32_t>(b.constData() + 20);
  return r;
}

RPPRINTER::RPPRINTER(QWidget* owner, report::Report* report) : PRINTERDEVICE(owner, report) {
  NOSELECTION = true;
  _CREATEFONT();
}

RPPRINTER::~RPPRINTER() = default;

bool RPPRINTER::UNITOFMEASURE(int code) {
  unit_ = code;
  return true;
}

// ---------------------------------------------------------------- conversions

double RPPRINTER::to_device(double n, Axis a) const {
  const double dpi = a == Axis::H ? horizontal_resolution() : vertical_resolution();
  const double avg = a == Axis::H ? avg_w_ : avg_h_;
  double v;
  switch (unit_) {
    case 1:
      v = n * dpi;
      break;
    case 2:
      v = n * dpi / 2.54;
      break;
    case 3:
      v = n * dpi / 25.4;
      break;
    case 4:
      v = n * avg;
      break;
    default:
      v = n;
      break;
  }
  return std::round(v);
}

double RPPRINTER::from_device(double n, Axis a) const {
  const double dpi = a == Axis::H ? horizontal_resolution() : vertical_resolution();
  const double avg = a == Axis::H ? avg_w_ : avg_h_;
  // A device without resolution or a font without size converts to 0, not to infinity.
  switch (unit_) {
    case 1:
      return dpi ? n / dpi : 0;
    case 2:
      return dpi ? n / dpi * 2.54 : 0;
    case 3:
      return dpi ? n / dpi * 25.4 : 0;
    case 4:
      return avg ? n / avg : 0;
    default:
      return n;
  }
}

double RPPRINTER::to_inches(double n, Axis a) const {
  const double dpi = a == Axis::H ? horizontal_resolution() : vertical_resolution();
  const double avg = a == Axis::H ? avg_w_ : avg_h_;
  switch (unit_) {
    case 1:
      return n;
    case 2:
      return n / 2.54;
    case 3:
      return n / 25.4;
    case 4:
      return dpi ? n * avg / dpi : 0;
    case 5:
      return dpi ? n / dpi : 0;
    default:
      return n;
  }
}

double RPPRINTER::from_inches(double n, Axis a) const {
  const double dpi = a == Axis::H ? horizontal_resolution() : vertical_resolution();
  const double avg = a == Axis::H ? avg_w_ : avg_h_;
  switch (unit_) {
    case 1:
      return n;
    case 2:
      return n * 2.54;
    case 3:
      return n * 25.4;
    case 4:
      return avg ? n * dpi / avg : 0;
    case 5:
      return std::round(n * dpi);
    default:
      return n;
  }
}

double RPPRINTER::_XLATEHUNITOFMEASURE2LOGICAL(double n) const { return to_device(n, Axis::H); }
double RPPRINTER::_XLATEVUNITOFMEASURE2LOGICAL(double n) const { return to_device(n, Axis::V); }
double RPPRINTER::_XLATEHLOGICAL2UNITOFMEASURE(double n) const { return from_device(n, Axis::H); }
double RPPRINTER::_XLATEVLOGICAL2UNITOFMEASURE(double n) const { return from_device(n, Axis::V); }
double RPPRINTER::_XLATEHUNITOFMEASURE2INCHES(double n) const { return to_inches(n, Axis::H); }
double RPPRINTER::_XLATEVUNITOFMEASURE2INCHES(double n) const { return to_inches(n, Axis::V); }
double RPPRINTER::_XLATEHINCHES2UNITOFMEASURE(double n) const { return from_inches(n, Axis::H); }
double RPPRINTER::_XLATEVINCHES2UNITOFMEASURE(double n) const { return from_inches(n, Axis::V); }

// ---------------------------------------------------------------- properties

double RPPRINTER::PROW() const { return from_device(prow_, Axis::V); }
double RPPRINTER::PCOL() const { return from_device(pcol_, Axis::H); }
void RPPRINTER::PROW(double v) { prow_ = dev(v, Axis::V); }
void RPPRINTER::PCOL(double v) { pcol_ = dev(v, Axis::H); }
double RPPRINTER::NEXTPROW() const { return PROW() + AVGCHARHEIGHT(); }
double RPPRINTER::AVGCHARHEIGHT() const { return from_device(avg_h_, Axis::V); }
double RPPRINTER::AVGCHARWIDTH() const { return from_device(avg_w_, Axis::H); }
double RPPRINTER::PRINTAREALENGTH() const { return from_device(LOGPRINTAREALENGTH(), Axis::V); }
double RPPRINTER::PRINTAREAWIDTH() const { return from_device(LOGPRINTAREAWIDTH(), Axis::H); }
double RPPRINTER::TOPMARGIN() const { return from_inches(top_margin_inches(), Axis::V); }
double RPPRINTER::BOTTOMMARGIN() const { return from_inches(bottom_margin_inches(), Axis::V); }
double RPPRINTER::LEFTMARGIN() const { return from_inches(left_margin_inches(), Axis::H); }
double RPPRINTER::RIGHTMARGIN() const { return from_inches(right_margin_inches(), Axis::H); }
bool RPPRINTER::TOPMARGIN(double v) { return set_top_margin_inches(to_inches(v, Axis::V)); }
bool RPPRINTER::BOTTOMMARGIN(double v) { return set_bottom_margin_inches(to_inches(v, Axis::V)); }
bool RPPRINTER::LEFTMARGIN(double v) { return set_left_margin_inches(to_inches(v, Axis::H)); }
bool RPPRINTER::RIGHTMARGIN(double v) { return set_right_margin_inches(to_inches(v, Axis::H)); }

// ---------------------------------------------------------------- fonts

RPPRINTER& RPPRINTER::SETFONT(const QString& face, double points, bool bold, bool italic, bool underline,
                              int orientation, int escapement) {
  face_ = face;
  points_ = points;
  bold_ = bold;
  italic_ = italic;
  underline_ = underline;
  orientation_ = orientation;
  escapement_ = escapement;
  _CREATEFONT();
  return *this;
}

bool RPPRINTER::_CREATEFONT() {
  report::FontRequest f;
  f.face = face_;
  f.height = -int(int16_t(std::lround(points_ * vertical_resolution() / 72.0)));
  f.weight = bold_ ? 700 : 400;
  f.italic = italic_;
  f.underline = underline_;
  f.escapement = escapement_;
  f.orientation = orientation_;
  if (!printer_dc) CREATEPRINTERDC();
  if (printer_dc) printer_dc->select_font(f);
  if (drawing_dc && drawing_dc != printer_dc) drawing_dc->select_font(f);
  font_ = f;
  has_font_ = true;
  avg_w_ = avg_h_ = line_height_ = 0;
  if (printer_dc) {
    if (auto m = printer_dc->text_metrics()) {
      avg_w_ = m->ave_char_width + (m->variable_pitch ? m->ave_char_width / 2 : 0);
      avg_h_ = m->height + m->external_leading;
      line_height_ = m->height;
    }
  }
  return true;
}

double RPPRINTER::GETTEXTLENGTH(const QString& text) const {
  if (!running() || !printer_dc) return 0;
  return from_device(printer_dc->text_extent(text), Axis::H);
}

QString RPPRINTER::GETTEXTFACE() const {
  if (!(preview_run || print_run) || !printer_dc) return QString();
  return printer_dc->text_face().left(79);
}

// ---------------------------------------------------------------- text

void RPPRINTER::text_record(uint32_t marker, uint32_t align, int x, int y, int w, int h) {
  add_record(pack({marker, align, uint32_t(x), uint32_t(y), uint32_t(w), uint32_t(h)}));
}

RPPRINTER& RPPRINTER::TEXTOUT(Row row, Row col, const QString& text, int align, const QColor& color,
                              const std::optional<QColor>& background) {
  if (!running() || !drawing_dc) return *this;
  const int y = row ? dev(*row, Axis::V) : prow_;
  const int x = col ? dev(*col, Axis::H) : pcol_;
  drawing_dc->set_text_color(color);
  drawing_dc->set_background(background);
  const uint32_t code = align == 2 ? 2 : align == 1 ? 6 : 0;
  const int w = dev(AVGCHARWIDTH() * text.size(), Axis::H) + 1;
  const int h = dev(AVGCHARHEIGHT(), Axis::V) * 2 + 1;
  text_record(0xFFFE, code, x, y, w, h);
  drawing_dc->text_out(x, y, text, int(code));
  text_record(0xFFFF, code, x, y, w, h);
  drawing_dc->set_background(std::nullopt);
  prow_ = y;
  PCOL(from_device(x, Axis::H) + GETTEXTLENGTH(text));
  return *this;
}

std::vector<RPPRINTER::LaidLine> RPPRINTER::lay_out(const QRect& box, const QString& text) const {
  report::DrawContext* m = printer_dc ? printer_dc : drawing_dc;
  const int line_h = std::max(1, line_height_ > 0 ? line_height_ : avg_h_);
  const int width = box.width();
  auto extent = [&](const QString& s) { return m ? m->text_extent(s) : 0; };
  // The longest start of `s` that fits the width (whole characters only: the page holds
  // nothing that does not show), with its width.
  auto cut = [&](const QString& s) -> LaidLine {
    const int w = extent(s);
    if (w <= width) return {s, w};
    int lo = 0, hi = int(s.size());
    while (lo < hi) {
      const int mid = (lo + hi + 1) / 2;
      if (extent(s.left(mid)) <= width)
        lo = mid;
      else
        hi = mid - 1;
    }
    return {s.left(lo), extent(s.left(lo))};
  };
  std::vector<LaidLine> lines;
  const bool breaks = text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
  if (box.height() < 2 * line_h) {
    lines.push_back(cut(breaks ? text.section(QLatin1Char('\n'), 0, 0).remove(QLatin1Char('\r')) : text));
    return lines;
  }
  const int max_lines = std::max(1, box.height() / line_h);
  const QStringList paragraphs = QString(text).remove(QLatin1Char('\r')).split(QLatin1Char('\n'));
  for (const QString& para : paragraphs) {
    QString line;
    for (const QString& word : para.split(QLatin1Char(' '))) {
      const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
      if (line.isEmpty() || extent(candidate) <= width) {
        line = candidate;
        continue;
      }
      lines.push_back(cut(line));
      line = word;
    }
    lines.push_back(cut(line));
    if (int(lines.size()) >= max_lines) break;
  }
  if (int(lines.size()) > max_lines) lines.resize(size_t(max_lines));
  return lines;
}

void RPPRINTER::draw_lines(const QRect& box, const std::vector<LaidLine>& lines, int align) {
  const int line_h = std::max(1, line_height_ > 0 ? line_height_ : avg_h_);
  int top = box.top();
  for (const LaidLine& l : lines) {
    if (!l.text.isEmpty()) {
      int x = box.left();
      if (align == 1 || align == 2) {
        const int free = std::max(0, box.width() - l.width);
        x += align == 1 ? free / 2 : free;
      }
      drawing_dc->text_out(x, top, l.text, 0);
    }
    top += line_h;
  }
}

RPPRINTER& RPPRINTER::DRAWTEXT(Row row, Row col, const QString& text, Row height, Row width, int align,
                               const std::optional<QColor>& background, bool) {
  if (!running() || !drawing_dc) return *this;
  const double r = row ? *row : PROW();
  const double c = col ? *col : PCOL();
  const double h = height ? *height : AVGCHARHEIGHT();
  const double w = width ? *width : AVGCHARWIDTH() * text.size();
  if (background) DRAWRECTANGLE(r, c, r + h, c + w, 1, 0, *background, -1, *background);
  const int top = dev(r, Axis::V);
  const int left = dev(c, Axis::H);
  const int h_dev = dev(h, Axis::V) + 1;
  const int w_dev = dev(w, Axis::H) + 1;
  const int code = align == 1 || align == 2 || align == 4 ? align : 0;
  const QRect box(left, top, w_dev, h_dev);
  // The measuring pass lays the lines out, the drawing pass draws them.
  const std::vector<LaidLine> lines = lay_out(box, text);
  const int line_h = std::max(1, line_height_ > 0 ? line_height_ : avg_h_);
  const int last_top = top + int(lines.size() - 1) * line_h;
  const int rec_h = last_top - top + dev(AVGCHARHEIGHT(), Axis::V);
  text_record(0xFFFE, uint32_t(code), left, top, w_dev, rec_h);
  draw_lines(box, lines, code);
  text_record(0xFFFF, uint32_t(code), left, top, w_dev, rec_h);
  prow_ = top + h_dev - avg_h_ - 1;
  pcol_ = left + w_dev - 1;
  return *this;
}

// ---------------------------------------------------------------- shapes

namespace {
report::PenSpec pen_of(int width, int style, const QColor& color) {
  // A patterned pen of width 1 is drawn one pixel wide, as thin as the pattern allows.
  return {style == 0 || width != 1 ? width : 0, style, color};
}
}  // namespace

RPPRINTER& RPPRINTER::shape(Row top, Row left, Row bottom, Row right, int pen_width, int pen_style,
                            const QColor& pen_color, std::optional<int> fill_style,
                            const std::optional<QColor>& fill_color, bool ellipse) {
  if (!running() || !drawing_dc) return *this;
  const int t = top ? dev(*top, Axis::V) : prow_;
  const int l = left ? dev(*left, Axis::H) : pcol_;
  const int b = (bottom ? dev(*bottom, Axis::V) : prow_) + 1;
  const int r = (right ? dev(*right, Axis::H) : pcol_) + 1;
  report::BrushSpec brush;
  if (fill_style) {
    brush.color = fill_color.value_or(kDefaultFill);
    if (*fill_style == -2)
      brush.kind = report::BrushSpec::Hollow;
    else if (*fill_style == -1)
      brush.kind = report::BrushSpec::Solid;
    else {
      brush.kind = report::BrushSpec::Hatch;
      brush.hatch = *fill_style;
    }
  }
  drawing_dc->shape(QRect(QPoint(l, t), QPoint(r, b)), pen_of(pen_width, pen_style, pen_color), brush, ellipse);
  return *this;
}

RPPRINTER& RPPRINTER::DRAWRECTANGLE(Row top, Row left, Row bottom, Row right, int pen_width, int pen_style,
                                    const QColor& pen_color, std::optional<int> fill_style,
                                    const std::optional<QColor>& fill_color) {
  return shape(top, left, bottom, right, pen_width, pen_style, pen_color, fill_style, fill_color, false);
}

RPPRINTER& RPPRINTER::DRAWELLIPSE(Row top, Row left, Row bottom, Row right, int pen_width, int pen_style,
                                  const QColor& pen_color, std::optional<int> fill_style,
                                  const std::optional<QColor>& fill_color) {
  return shape(top, left, bottom, right, pen_width, pen_style, pen_color, fill_style, fill_color, true);
}

RPPRINTER& RPPRINTER::DRAWLINE(Row row1, Row col1, Row row2, Row col2, int pen_width, int pen_style,
                               const QColor& color) {
  if (!running() || !drawing_dc) return *this;
  const QPoint a(col1 ? dev(*col1, Axis::H) : pcol_, row1 ? dev(*row1, Axis::V) : prow_);
  const QPoint b(col2 ? dev(*col2, Axis::H) : pcol_, row2 ? dev(*row2, Axis::V) : prow_);
  drawing_dc->line(a, b, pen_of(pen_width, pen_style, color));
  return *this;
}

// ---------------------------------------------------------------- bitmaps and rich text

RPPRINTER& RPPRINTER::DRAWBMP(Row row, Row col, const QString& file, Row a4, Row a5, Row a6, Row a7, Row a8) {
  if (!running()) return *this;
  QImage img;
  if (img.load(file)) _DRAWBMP(row, col, img, a4, a5, a6, a7, a8);
  return *this;
}

RPPRINTER& RPPRINTER::_DRAWBMP(Row row, Row col, const QImage& bitmap, Row a4, Row a5, Row, Row, Row) {
  if (!running() || !drawing_dc) return *this;
  const int y = row ? dev(*row, Axis::V) : prow_;
  const int x = col ? dev(*col, Axis::H) : pcol_;
  const int h = a4 ? dev(*a4, Axis::V) : 0;
  const int w = a5 ? dev(*a5, Axis::H) : 0;
  add_record(pack({999999u, uint32_t(y)}));
  drawing_dc->image(x, y, bitmap, h, w);
  return *this;
}

RPPRINTER& RPPRINTER::DRAWRTF(Row, Row, const QString&, Row, Row, Row) { return *this; }

// ---------------------------------------------------------------- page hooks

int RPPRINTER::CALLPRINTSETPAGE(int page) {
  prow_ = pcol_ = 0;
  if (has_font_) {
    if (printer_dc) printer_dc->select_font(font_);
    if (drawing_dc && drawing_dc != printer_dc) drawing_dc->select_font(font_);
  }
  return PRINTERDEVICE::CALLPRINTSETPAGE(page);
}

int RPPRINTER::CALLPRINTPAGEHEADER() {
  prow_ = pcol_ = 0;
  return PRINTERDEVICE::CALLPRINTPAGEHEADER();
}

}  // namespace mv
