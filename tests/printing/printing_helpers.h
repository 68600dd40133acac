#pragma once
// Shared by the printing tests: one QApplication, an engine double with a fixed
// resolution and fixed metrics that records what is drawn, and the PDF readers.
#include <gtest/gtest.h>
#include <QApplication>
#include <QImage>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <utility>
#include <vector>

#include "platform/report/context.h"

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace mv::pttest {

// Every character is `char_width` wide; the font is `height` high with `leading` on top.
class RecordingContext : public report::DrawContext {
 public:
  struct Text {
    int x, y;
    QString text;
    int align;
    report::FontRequest font;
  };
  struct Shape {
    QRect rect;
    report::PenSpec pen;
    report::BrushSpec brush;
    bool ellipse;
  };
  struct Line {
    QPoint a, b;
    report::PenSpec pen;
  };

  int ave_char_width = 50;
  int height = 90;
  int leading = 10;
  bool variable_pitch = false;
  bool measurable = true;
  // Characters half as wide as the font is high (so larger fonts measure wider).
  bool scale_with_font = false;

  std::vector<Text> texts;
  std::vector<Shape> shapes;
  std::vector<Line> lines;
  std::vector<report::FontRequest> fonts;
  report::FontRequest font;

  void select_font(const report::FontRequest& f) override {
    font = f;
    fonts.push_back(f);
  }
  std::optional<report::TextMetricsInfo> text_metrics() override {
    if (!measurable) return std::nullopt;
    return report::TextMetricsInfo{char_width(), height, height * 4 / 5, leading, variable_pitch};
  }
  int char_width() const { return scale_with_font ? std::abs(font.height) / 2 : ave_char_width; }
  int text_extent(const QString& t) override { return int(t.size()) * char_width(); }
  QString text_face() override { return font.face; }
  void set_text_color(const QColor&) override {}
  void set_background(const std::optional<QColor>&) override {}
  void text_out(int x, int y, const QString& t, int align) override { texts.push_back({x, y, t, align, font}); }
  void shape(const QRect& r, const report::PenSpec& p, const report::BrushSpec& b, bool e) override {
    shapes.push_back({r, p, b, e});
  }
  void line(QPoint a, QPoint b, const report::PenSpec& p) override { lines.push_back({a, b, p}); }
  void image(int, int, const QImage&, int, int) override {}
  void clear() {
    texts.clear();
    shapes.clear();
    lines.clear();
    fonts.clear();
  }
};

// pdftotext of one page (0: all) with the layout kept; pdfinfo's page count.
QString pdf_text(const QString& pdf, int page = 0);
int pdf_pages(const QString& pdf);
// The lines of a page's text without empty ones.
QStringList text_lines(const QString& text);

// The bands of lines of a drawn page in which 50 pixels or more are `shaded`, from the top:
// each band's first and last line.
std::vector<std::pair<int, int>> shaded_bands(const QImage& img, const std::function<bool(QRgb)>& shaded);

}  // namespace mv::pttest
