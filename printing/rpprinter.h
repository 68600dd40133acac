#pragma once
// The print device of every printed list of both programs: the engine's printer device
// with a current font and its cached average character sizes, a unit of measure in which
// every position, size and margin is given, a print cursor (PROW, PCOL) and the drawing
// operations the lists use. Drawing does nothing outside a preview, print or export run.
// Every text drawn is bracketed by two 24-byte records in the page's record log, every
// bitmap preceded by an 8-byte one, so a drawn page can be compared or searched.
#include <QColor>
#include <QImage>
#include <QString>
#include <optional>
#include <vector>

#include "platform/report/printerdevice.h"

namespace mv {

// Units of measure: 1 inch, 2 centimetre, 3 millimetre, 4 character cell, 5 device unit.
class RPPRINTER : public report::PRINTERDEVICE {
 public:
  using Row = std::optional<double>;

  RPPRINTER(QWidget* owner, report::Report* report);
  ~RPPRINTER() override;

  bool UNITOFMEASURE(int code);
  int UNITOFMEASURE() const { return unit_; }

  double PROW() const;
  double PCOL() const;
  void PROW(double v);
  void PCOL(double v);
  double NEXTPROW() const;
  double AVGCHARHEIGHT() const;
  double AVGCHARWIDTH() const;
  double PRINTAREALENGTH() const;
  double PRINTAREAWIDTH() const;
  double TOPMARGIN() const;
  double BOTTOMMARGIN() const;
  double LEFTMARGIN() const;
  double RIGHTMARGIN() const;
  bool TOPMARGIN(double v);
  bool BOTTOMMARGIN(double v);
  bool LEFTMARGIN(double v);
  bool RIGHTMARGIN(double v);

  // Conversions by the table of units.
  double _XLATEHUNITOFMEASURE2LOGICAL(double n) const;
  double _XLATEVUNITOFMEASURE2LOGICAL(double n) const;
  double _XLATEHLOGICAL2UNITOFMEASURE(double n) const;
  double _XLATEVLOGICAL2UNITOFMEASURE(double n) const;
  double _XLATEHUNITOFMEASURE2INCHES(double n) const;
  double _XLATEVUNITOFMEASURE2INCHES(double n) const;
  double _XLATEHINCHES2UNITOFMEASURE(double n) const;
  double _XLATEVINCHES2UNITOFMEASURE(double n) const;

  RPPRINTER& SETFONT(const QString& face, double points, bool bold = false, bool italic = false, bool underline = false,
                     int orientation = 0, int escapement = 0);
  bool _CREATEFONT();
  double GETTEXTLENGTH(const QString& text) const;
  QString GETTEXTFACE() const;

  RPPRINTER& TEXTOUT(Row row, Row col, const QString& text, int align = 0, const QColor& color = Qt::black,
                     const std::optional<QColor>& background = std::nullopt);
  RPPRINTER& DRAWTEXT(Row row, Row col, const QString& text = QString(), Row height = std::nullopt,
                      Row width = std::nullopt, int align = 0, const std::optional<QColor>& background = std::nullopt,
                      bool ninth = false);
  RPPRINTER& DRAWLINE(Row row1 = std::nullopt, Row col1 = std::nullopt, Row row2 = std::nullopt,
                      Row col2 = std::nullopt, int pen_width = 1, int pen_style = 0, const QColor& color = Qt::black);
  RPPRINTER& DRAWRECTANGLE(Row top = std::nullopt, Row left = std::nullopt, Row bottom = std::nullopt,
                           Row right = std::nullopt, int pen_width = 1, int pen_style = 0,
                           const QColor& pen_color = Qt::black, std::optional<int> fill_style = std::nullopt,
                           const std::optional<QColor>& fill_color = std::nullopt);
  RPPRINTER& DRAWELLIPSE(Row top = std::nullopt, Row left = std::nullopt, Row bottom = std::nullopt,
                         Row right = std::nullopt, int pen_width = 1, int pen_style = 0,
                         const QColor& pen_color = Qt::black, std::optional<int> fill_style = std::nullopt,
                         const std::optional<QColor>& fill_color = std::nullopt);
  RPPRINTER& DRAWBMP(Row row, Row col, const QString& file, Row a4 = std::nullopt, Row a5 = std::nullopt,
                     Row a6 = std::nullopt, Row a7 = std::nullopt, Row a8 = std::nullopt);
  RPPRINTER& _DRAWBMP(Row row, Row col, const QImage& bitmap, Row a4 = std::nullopt, Row a5 = std::nullopt,
                      Row a6 = std::nullopt, Row a7 = std::nullopt, Row a8 = std::nullopt);
  // Rich text cannot be loaded by this program: nothing is drawn.
  RPPRINTER& DRAWRTF(Row row, Row col, const QString& file, Row height = std::nullopt, Row width = std::nullopt,
                     Row sixth = std::nullopt);

  int CALLPRINTSETPAGE(int page) override;
  int CALLPRINTPAGEHEADER() override;

  // The font as it stands.
  const QString& face() const { return face_; }
  double points() const { return points_; }
  bool bold() const { return bold_; }
  bool italic() const { return italic_; }
  const report::FontRequest& font() const { return font_; }
  bool has_font() const { return has_font_; }
  int avg_char_width_units() const { return avg_w_; }
  int avg_char_height_units() const { return avg_h_; }

 private:
  enum class Axis { H, V };
  double to_device(double n, Axis a) const;  // rounded
  double from_device(double n, Axis a) const;
  double to_inches(double n, Axis a) const;
  double from_inches(double n, Axis a) const;
  int dev(double n, Axis a) const { return int(to_device(n, a)); }
  RPPRINTER& shape(Row top, Row left, Row bottom, Row right, int pen_width, int pen_style, const QColor& pen_color,
                   std::optional<int> fill_style, const std::optional<QColor>& fill_color, bool ellipse);
  void text_record(uint32_t marker, uint32_t align, int x, int y, int w, int h);
  // The engine's text layout: the lines of `text` that the box holds, with their widths.
  struct LaidLine {
    QString text;
    int width = 0;
  };
  std::vector<LaidLine> lay_out(const QRect& box, const QString& text) const;
  void draw_lines(const QRect& box, const std::vector<LaidLine>& lines, int align);

  int unit_ = 1;
  QString face_ = QStringLiteral("Arial");
  double points_ = 12.0;
  bool bold_ = false;
  bool italic_ = false;
  bool underline_ = false;
  int escapement_ = 0;
  int orientation_ = 0;
  report::FontRequest font_;
  bool has_font_ = false;
  int avg_w_ = 0;
  int avg_h_ = 0;
  int prow_ = 0;
  int pcol_ = 0;
  int line_height_ = 0;  // the font's own line height, device units
};

// The 24-byte text-span record and the 8-byte bitmap record.
struct TextSpanRecord {
  uint32_t marker = 0;
  uint32_t align = 0;
  int32_t x = 0, y = 0, width = 0, height = 0;
};
std::optional<TextSpanRecord> read_text_record(const QByteArray& bytes);

// The row of column heads both lists print: each head in bold in its column's width (in
// characters of `char_width`), framed and shaded under a grid, else on a grey ground; the row
// ends at the edge of the print area.
template <class Columns>
void draw_column_heads(RPPRINTER& dev, double top, double height, double char_width, const Columns& columns,
                       bool grid, int frame_pen, const QColor& grey) {
  const double pad = dev.AVGCHARWIDTH() / 2;
  double x = 0;
  for (const auto& col : columns) {
    const double w = col.width * char_width;
    if (grid) {
      dev.DRAWRECTANGLE(top, x, top + height, x + w + char_width, frame_pen, 0, Qt::black, -1, grey);
      dev.DRAWTEXT(top, x + pad, col.heading, height, w, 1);
    } else {
      dev.DRAWTEXT(top, x + pad, col.heading, height, w, 1, grey);
    }
    x += w + char_width;
    if (x > dev.PRINTAREAWIDTH()) break;
  }
}

// The title's font for both lists: bold italic Arial at 14 points, else 12, else 10, the
// largest that leaves room for `date_text` (measured in Arial 10) at the title's right.
inline void choose_title_font(RPPRINTER& dev, const QString& title, const QString& date_text) {
  const QString arial = QStringLiteral("Arial");
  dev.SETFONT(arial, 10);
  const double date_width = dev.GETTEXTLENGTH(date_text);
  for (int size : {14, 12, 10}) {
    dev.SETFONT(arial, size, true, true);
    if (size == 10 || dev.GETTEXTLENGTH(title) <= dev.PRINTAREAWIDTH() - date_width) break;
  }
}

}  // namespace mv
