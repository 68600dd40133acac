// The print device on an engine double: a fixed resolution and fixed font metrics, every
// drawing call recorded.
#include <gtest/gtest.h>

#include <QtEndian>
#include <memory>

#include "printing/rpprinter.h"
#include "printing_helpers.h"

namespace mv {
namespace {

using pttest::RecordingContext;

struct Device {
  RecordingContext ctx;
  std::unique_ptr<RPPRINTER> dev;
  explicit Device(int res = 600, int flag = 0) {
    dev = std::make_unique<RPPRINTER>(nullptr, nullptr);
    dev->use_fixed_setup(res, res, 8 * res, 10 * res, &ctx);
    dev->SETFONT(QStringLiteral("Arial"), 12);
    if (flag >= 0) dev->begin_run(flag);
    ctx.clear();
  }
};

TEST(PrintDevice, FontHeightFollowsTheVerticalResolution) {
  for (auto [res, height] : {std::pair{600, -100}, std::pair{300, -50}, std::pair{1200, -200}}) {
    Device d(res);
    EXPECT_EQ(d.dev->font().height, height) << res;
    EXPECT_EQ(d.dev->font().face, "Arial");
    EXPECT_EQ(d.dev->font().weight, 400);
    d.dev->SETFONT(QStringLiteral("Arial"), 10, true, true);
    EXPECT_EQ(d.dev->font().weight, 700);
    EXPECT_TRUE(d.dev->font().italic);
  }
}

TEST(PrintDevice, AverageSizesOfFixedAndVariablePitch) {
  struct Case {
    int width;
    bool variable;
    int expected;
  } cases[] = {{11, true, 16}, {10, true, 15}, {11, false, 11}, {50, false, 50}};
  for (const Case& c : cases) {
    Device d;
    d.ctx.ave_char_width = c.width;
    d.ctx.variable_pitch = c.variable;
    d.dev->SETFONT(QStringLiteral("Arial"), 12);
    EXPECT_EQ(d.dev->avg_char_width_units(), c.expected) << c.width << " " << c.variable;
    EXPECT_EQ(d.dev->avg_char_height_units(), 100);  // height + external leading
  }
}

TEST(PrintDevice, UnitConversions) {
  Device d;
  RPPRINTER& dev = *d.dev;
  struct Case {
    int unit;
    double value;
    double device_h;  // unit to device units (horizontal)
  } cases[] = {
      {1, 1.0, 600}, {2, 2.54, 600}, {3, 25.4, 600}, {3, 10, 236}, {4, 3, 150}, {5, 17.4, 17}, {9, 42, 42},
  };
  for (const Case& c : cases) {
    dev.UNITOFMEASURE(c.unit);
    EXPECT_EQ(dev._XLATEHUNITOFMEASURE2LOGICAL(c.value), c.device_h) << c.unit << " " << c.value;
  }
  dev.UNITOFMEASURE(3);
  EXPECT_DOUBLE_EQ(dev._XLATEHLOGICAL2UNITOFMEASURE(600), 25.4);
  EXPECT_DOUBLE_EQ(dev._XLATEVUNITOFMEASURE2INCHES(25.4), 1.0);
  EXPECT_DOUBLE_EQ(dev._XLATEVINCHES2UNITOFMEASURE(1.0), 25.4);
  dev.UNITOFMEASURE(4);  // character cells: 50 wide, 100 high
  EXPECT_DOUBLE_EQ(dev._XLATEVLOGICAL2UNITOFMEASURE(250), 2.5);
  EXPECT_DOUBLE_EQ(dev._XLATEHUNITOFMEASURE2INCHES(12), 1.0);
  dev.UNITOFMEASURE(5);
  EXPECT_DOUBLE_EQ(dev._XLATEHINCHES2UNITOFMEASURE(0.50001), 300);
  // Margins are kept in inches whatever the unit they were given in.
  dev.UNITOFMEASURE(3);
  dev.LEFTMARGIN(25.4);
  dev.UNITOFMEASURE(1);
  EXPECT_DOUBLE_EQ(dev.LEFTMARGIN(), 1.0);
  EXPECT_DOUBLE_EQ(dev.left_margin_inches(), 1.0);
}

TEST(PrintDevice, ZeroAverageSizeOrResolutionConvertsToZero) {
  Device d;
  d.ctx.measurable = false;
  d.dev->SETFONT(QStringLiteral("Arial"), 12);
  d.dev->UNITOFMEASURE(4);
  EXPECT_EQ(d.dev->_XLATEHLOGICAL2UNITOFMEASURE(100), 0);
  EXPECT_EQ(d.dev->_XLATEVINCHES2UNITOFMEASURE(1), 0);
  Device z(0);
  z.dev->UNITOFMEASURE(1);
  EXPECT_EQ(z.dev->_XLATEHLOGICAL2UNITOFMEASURE(100), 0);
  z.dev->UNITOFMEASURE(5);
  EXPECT_EQ(z.dev->_XLATEHUNITOFMEASURE2INCHES(100), 0);
}

TEST(PrintDevice, TextoutRecordsAndAlignment) {
  Device d;
  d.ctx.height = 100;
  d.ctx.leading = 0;
  d.dev->SETFONT(QStringLiteral("Arial"), 12);
  d.dev->TEXTOUT(1.0, 1.0, QStringLiteral("abc"));
  const auto& recs = d.dev->page_records();
  ASSERT_EQ(recs.size(), 2u);
  const auto before = read_text_record(recs[0]);
  const auto after = read_text_record(recs[1]);
  ASSERT_TRUE(before && after);
  EXPECT_EQ(before->marker, 0xFFFEu);
  EXPECT_EQ(after->marker, 0xFFFFu);
  EXPECT_EQ(before->x, 600);
  EXPECT_EQ(before->y, 600);
  EXPECT_EQ(before->width, 151);
  EXPECT_EQ(before->height, 201);
  EXPECT_EQ(recs[0].mid(4), recs[1].mid(4));
  ASSERT_EQ(d.ctx.texts.size(), 1u);
  EXPECT_EQ(d.ctx.texts[0].align, 0);

  for (auto [align, code] : {std::pair{1, 6}, std::pair{3, 0}, std::pair{2, 2}}) {
    d.ctx.clear();
    d.dev->TEXTOUT(0.5, 2.0, QStringLiteral("abcd"), align);
    ASSERT_EQ(d.ctx.texts.size(), 1u);
    EXPECT_EQ(d.ctx.texts[0].align, code);
    // The cursor stands after the text whatever the alignment.
    EXPECT_DOUBLE_EQ(d.dev->PCOL(), 2.0 + 200.0 / 600) << align;
    EXPECT_DOUBLE_EQ(d.dev->PROW(), 0.5);
  }
}

TEST(PrintDevice, DrawtextBoxesBackgroundsAndCutting) {
  Device d;
  RPPRINTER& dev = *d.dev;
  // A background paints a solid box framed in its own colour first.
  dev.DRAWTEXT(1.0, 1.0, QStringLiteral("ab"), 0.2, 1.0, 0, QColor(230, 230, 230));
  ASSERT_EQ(d.ctx.shapes.size(), 1u);
  EXPECT_EQ(d.ctx.shapes[0].brush.kind, report::BrushSpec::Solid);
  EXPECT_EQ(d.ctx.shapes[0].brush.color, QColor(230, 230, 230));
  EXPECT_EQ(d.ctx.shapes[0].pen.color, QColor(230, 230, 230));
  d.ctx.clear();
  dev.DRAWTEXT(1.0, 1.0, QStringLiteral("ab"), 0.2, 1.0);
  EXPECT_TRUE(d.ctx.shapes.empty());
  ASSERT_EQ(d.ctx.texts.size(), 1u);

  // A one-line box keeps one line, cut at its right edge: 0.5 inch = 300 units holds 6
  // characters of 50 (the box is one unit wider).
  d.ctx.clear();
  dev.DRAWTEXT(0.0, 0.0, QStringLiteral("abcdefghij klm"), 0.2, 0.5);
  ASSERT_EQ(d.ctx.texts.size(), 1u);
  EXPECT_EQ(d.ctx.texts[0].text, "abcdef");
  // Right alignment puts the text's end at the box's end.
  d.ctx.clear();
  dev.DRAWTEXT(0.0, 0.0, QStringLiteral("ab"), 0.2, 0.5, 2);
  ASSERT_EQ(d.ctx.texts.size(), 1u);
  EXPECT_EQ(d.ctx.texts[0].x, 301 - 100);
  // A taller box wraps at blanks and draws no line below its bottom (3 lines of 90).
  d.ctx.clear();
  dev.DRAWTEXT(0.0, 0.0, QStringLiteral("eins zwei drei vier fuenf"), 0.5, 0.4);
  ASSERT_EQ(d.ctx.texts.size(), 3u);
  EXPECT_EQ(d.ctx.texts[0].text, "eins");
  EXPECT_EQ(d.ctx.texts[1].text, "zwei");
  EXPECT_EQ(d.ctx.texts[2].text, "drei");
  EXPECT_EQ(d.ctx.texts[2].y, 180);
  const auto rec = read_text_record(dev.page_records()[dev.page_records().size() - 2]);
  ASSERT_TRUE(rec);
  EXPECT_EQ(rec->height, 180 + 100);  // last line's top + the average height
  EXPECT_EQ(rec->width, 241);
}

TEST(PrintDevice, PensAndBrushes) {
  Device d;
  RPPRINTER& dev = *d.dev;
  struct PenCase {
    int style, width, expected;
  } pens[] = {{2, 1, 0}, {0, 1, 1}, {2, 3, 3}, {0, 0, 0}};
  for (const PenCase& c : pens) {
    d.ctx.clear();
    dev.DRAWLINE(0.0, 0.0, 1.0, 1.0, c.width, c.style);
    ASSERT_EQ(d.ctx.lines.size(), 1u);
    EXPECT_EQ(d.ctx.lines[0].pen.width, c.expected) << c.style << " " << c.width;
    EXPECT_EQ(d.ctx.lines[0].b, QPoint(600, 600));
  }
  struct BrushCase {
    std::optional<int> fill;
    report::BrushSpec::Kind kind;
  } brushes[] = {{std::nullopt, report::BrushSpec::Null},
                 {-2, report::BrushSpec::Hollow},
                 {-1, report::BrushSpec::Solid},
                 {3, report::BrushSpec::Hatch}};
  for (const BrushCase& c : brushes) {
    d.ctx.clear();
    dev.DRAWRECTANGLE(1.0, 1.0, 2.0, 3.0, 1, 0, Qt::black, c.fill, QColor(Qt::red));
    dev.DRAWELLIPSE(1.0, 1.0, 2.0, 3.0, 1, 0, Qt::black, c.fill);
    ASSERT_EQ(d.ctx.shapes.size(), 2u);
    EXPECT_EQ(d.ctx.shapes[0].brush.kind, c.kind);
    EXPECT_FALSE(d.ctx.shapes[0].ellipse);
    EXPECT_TRUE(d.ctx.shapes[1].ellipse);
    // The shape covers its bottom and right edges.
    EXPECT_EQ(d.ctx.shapes[0].rect, QRect(QPoint(600, 600), QPoint(1801, 1201)));
  }
  d.ctx.clear();
  dev.DRAWRECTANGLE(1.0, 1.0, 2.0, 3.0, 1, 0, Qt::black, 3);
  EXPECT_EQ(d.ctx.shapes[0].brush.hatch, 3);
}

TEST(PrintDevice, NothingHappensOutsideARun) {
  Device d(600, -1);
  RPPRINTER& dev = *d.dev;
  dev.PROW(1.5);
  dev.PCOL(2.5);
  dev.TEXTOUT(0.0, 0.0, QStringLiteral("x"));
  dev.DRAWTEXT(0.0, 0.0, QStringLiteral("x"));
  dev.DRAWLINE(0.0, 0.0, 1.0, 1.0);
  dev.DRAWRECTANGLE(0.0, 0.0, 1.0, 1.0);
  dev.DRAWELLIPSE(0.0, 0.0, 1.0, 1.0);
  dev._DRAWBMP(0.0, 0.0, QImage(4, 4, QImage::Format_RGB32));
  dev.DRAWRTF(0.0, 0.0, QStringLiteral("x.rtf"));
  EXPECT_TRUE(d.ctx.texts.empty());
  EXPECT_TRUE(d.ctx.shapes.empty());
  EXPECT_TRUE(d.ctx.lines.empty());
  EXPECT_TRUE(dev.page_records().empty());
  EXPECT_DOUBLE_EQ(dev.PROW(), 1.5);
  EXPECT_DOUBLE_EQ(dev.PCOL(), 2.5);
  EXPECT_EQ(dev.GETTEXTLENGTH(QStringLiteral("abc")), 0);
  EXPECT_EQ(dev.GETTEXTFACE(), "");
  dev.begin_run(2);  // an export run measures but names no face
  EXPECT_DOUBLE_EQ(dev.GETTEXTLENGTH(QStringLiteral("abc")), 0.25);
  EXPECT_EQ(dev.GETTEXTFACE(), "");
  dev.begin_run(1);
  EXPECT_EQ(dev.GETTEXTFACE(), "Arial");
}

TEST(PrintDevice, BitmapRecordAndNewPageCursor) {
  Device d;
  RPPRINTER& dev = *d.dev;
  dev._DRAWBMP(0.5, 1.0, QImage(4, 4, QImage::Format_RGB32));
  ASSERT_EQ(dev.page_records().size(), 1u);
  const QByteArray& r = dev.page_records()[0];
  ASSERT_EQ(r.size(), 8);
  EXPECT_EQ(qFromLittleEndian<uint32_t>(r.constData()), 999999u);
  EXPECT_EQ(qFromLittleEndian<uint32_t>(r.constData() + 4), 300u);
  // A file that cannot be loaded draws nothing.
  dev.DRAWBMP(0.0, 0.0, QStringLiteral("/nonexistent/x.bmp"));
  EXPECT_EQ(dev.page_records().size(), 1u);

  for (int unit : {1, 2, 3, 4, 5}) {
    dev.UNITOFMEASURE(unit);
    dev.PROW(3);
    dev.PCOL(4);
    dev.CALLPRINTSETPAGE(2);
    EXPECT_EQ(dev.PROW(), 0) << unit;
    EXPECT_EQ(dev.PCOL(), 0) << unit;
  }
  // The font goes into the page's context again.
  d.ctx.clear();
  dev.CALLPRINTSETPAGE(3);
  ASSERT_FALSE(d.ctx.fonts.empty());
  EXPECT_EQ(d.ctx.fonts.back(), dev.font());
}

}  // namespace
}  // namespace mv
