// The calendar's printed lists: the report base's drawing helpers and margins, the grid
// list on the engine double (widths, shrinking, skipped and grey columns, grey rows, page
// breaks above the footer, the empty list), and the real engine: the holiday page's PDF,
// landscape, 500 rows, shrunk columns, grey rows in the preview's pixels, and the grid's
// row after a print that did not happen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPrintDialog>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

#include "calendar/core/report/rptgridarrayserver.h"
#include "calendar/window/tab_feiertage.h"
#include "platform/grid/gridbrowser.h"
#include "platform/gui/messagebox.h"
#include "platform/report/preview.h"
#include "printing/rptarraydaten.h"
#include "tests/printing/printing_helpers.h"
#include "tests/support/fixtures.h"

namespace mv {
namespace {

using kalender::RPTGRIDARRAYSERVER;
using pttest::RecordingContext;

// A grid over an array server with the given column definitions and rows.
struct Grid {
  grid::GRIDBROWSER view;
  grid::GRIDARRAYSERVER* server;
  Grid(std::vector<grid::ArrayField> structure, QVector<QVariantList> rows) {
    server = new grid::GRIDARRAYSERVER(&view);
    server->set_structure(std::move(structure));
    server->set_rows(std::move(rows));
    server->add_all_field_columns();
    view.set_server(server);
  }
};

std::vector<grid::ArrayField> holiday_structure() {
  return {{"Feiertag", 'C', 20, 0}, {"Datum", 'D', 10, 0}, {"Bemerkung", 'C', 28, 0}};
}

QVector<QVariantList> holiday_rows(int n) {
  QVector<QVariantList> rows;
  for (int i = 0; i < n; ++i)
    rows.push_back({QStringLiteral("Tag %1").arg(i + 1), QDate(2024, 1, 1).addDays(i), QStringLiteral("fest")});
  return rows;
}

// The list on the engine double: 600 units per inch, characters 50 wide and 100 high
// (lines of 120), a print area 4500 wide and `length` long.
struct DoubleRun {
  RecordingContext ctx;
  RPTGRIDARRAYSERVER list;
  RPPRINTER dev;
  DoubleRun(grid::GRIDBROWSER* g, int width = 4500, int length = 6000, bool frames = false, bool grey_rows = true,
            bool grey_columns = false, std::vector<QVariantList> sums = {})
      : list(RPTGRIDARRAYSERVER::Prepared{}, g, QStringLiteral("Titel"), QString(), 10, frames, grey_rows,
             grey_columns, std::move(sums)),
        dev(nullptr, &list) {
    dev.use_fixed_setup(600, 600, width, length, &ctx);
    dev.UNITOFMEASURE(1);
    dev.begin_run(0);
    list.PRINTSTART(dev);
  }
  void page(int n) {
    ctx.clear();
    dev.draw_page(ctx, n);
  }
  const RecordingContext::Text* text(const QString& t) const {
    for (const auto& x : ctx.texts)
      if (x.text == t) return &x;
    return nullptr;
  }
  // Solid light grey boxes (grey rows, columns and heading cells), by their top row.
  std::vector<QRect> grey_boxes() const {
    std::vector<QRect> out;
    for (const auto& s : ctx.shapes)
      if (s.brush.kind == report::BrushSpec::Solid && s.brush.color == QColor(230, 230, 230)) out.push_back(s.rect);
    return out;
  }
};

// ---------------------------------------------------------------- the report base

TEST(CalendarReportBase, DrawingHelpersOnTheDouble) {
  Grid g(holiday_structure(), {});
  DoubleRun run(&g.view);
  RPPRINTER& dev = run.dev;
  RPTGRIDARRAYSERVER& list = run.list;

  // Three lines and a closing CR LF: three lines drawn, the row three line heights on;
  // measuring alone moves the row as far and draws nothing.
  for (bool draw : {true, false}) {
    run.ctx.clear();
    dev.PROW(1.0);
    list.DRAWMEMOTEXT(dev, draw, QStringLiteral("eins\r\nzwei\r\ndrei\r\n"), 254);
    EXPECT_NEAR(dev.PROW(), 1.0 + 3 * 0.2, 1e-9) << draw;
    ASSERT_EQ(run.ctx.texts.size(), draw ? 3u : 0u);
    if (draw) {
      EXPECT_EQ(run.ctx.texts[2].text, "drei");
      EXPECT_EQ(run.ctx.texts[2].x, 600);
      EXPECT_EQ(run.ctx.texts[2].y, 600 + 2 * 120);
    }
  }

  // A one-inch heading: a light grey box with a black frame, the caption 1 mm in; the next
  // cell one inch further right; the row stays where it was.
  run.ctx.clear();
  dev.PROW(0.5);
  list.DRAWKOPFZEILE(dev, true, {{QStringLiteral("Kopf"), 254}, {QStringLiteral("Zwei"), 254, false}});
  EXPECT_DOUBLE_EQ(dev.PROW(), 0.5);
  ASSERT_EQ(run.ctx.shapes.size(), 1u);
  EXPECT_EQ(run.ctx.shapes[0].rect, QRect(QPoint(0, 300), QPoint(601, 421)));
  EXPECT_EQ(run.ctx.shapes[0].brush.color, QColor(230, 230, 230));
  EXPECT_EQ(run.ctx.shapes[0].pen.color, QColor(Qt::black));
  ASSERT_NE(run.text("Kopf"), nullptr);
  EXPECT_EQ(run.text("Kopf")->x, 24);  // 10 / 254 inch
  EXPECT_EQ(run.text("Zwei")->x, 624);

  // Cells: a right-aligned zero stays blank, "0,50" does not, an empty date never shows,
  // a left-aligned 0 shows; every cell keeps its frame.
  const struct {
    const char* text;
    int align;
    bool shown;
  } cells[] = {{"0,00", 2, false}, {"0", 2, false},   {".  .", 0, false}, {"  .  .    ", 2, false},
               {"0", 0, true},     {"0,50", 2, true}, {"-0,01", 2, true}, {"12", 2, true},
               {"Abc", 2, true},   {"00", 2, true},   {"1.000,00", 2, true}};
  for (const auto& c : cells) {
    run.ctx.clear();
    dev.PROW(0);
    list.DRAWARRAYDZ(dev, true, {{QString::fromUtf8(c.text), 254, c.align}});
    EXPECT_EQ(run.ctx.shapes.size(), 1u) << c.text;
    EXPECT_EQ(run.ctx.texts.size(), c.shown ? 1u : 0u) << c.text << " align " << c.align;
  }
  run.ctx.clear();
  list.DRAWARRAYDZ(dev, false, {{QStringLiteral("x"), 254, 0}});
  EXPECT_TRUE(run.ctx.texts.empty() && run.ctx.shapes.empty());
  list.DRAWARRAYDZ(dev, true, {{QStringLiteral("x"), 254, 0, false}, {QStringLiteral("y"), 254, 0, true, true}});
  ASSERT_EQ(run.ctx.shapes.size(), 1u);
  EXPECT_EQ(run.ctx.shapes[0].rect.left(), 600);
  EXPECT_EQ(run.ctx.shapes[0].brush.kind, report::BrushSpec::Solid);

  // The title block: one line of the bold 12 point title, then two average heights of Arial
  // 10, in a dry run as in a drawn one.
  for (bool draw : {true, false}) {
    run.ctx.clear();
    dev.PROW(3);
    list.PRINTLISTENKOPF(dev, draw, QStringLiteral("Titel"), QStringLiteral("Unter"));
    EXPECT_NEAR(dev.PROW(), (120 + 200) / 600.0, 1e-9);
    EXPECT_EQ(dev.points(), 10);
    if (draw) {
      ASSERT_NE(run.text("Unter"), nullptr);
      EXPECT_EQ(run.text("Unter")->y, 120);
      EXPECT_EQ(run.text("Titel")->font.weight, 700);
      const QString date = QStringLiteral("Datum: ") + list_date_text();
      ASSERT_NE(run.text(date), nullptr);
      EXPECT_EQ(run.text(date)->y, 120);
      EXPECT_EQ(run.text(date)->x + int(date.size()) * 50, 4500);
    }
  }
  run.ctx.clear();
  list.DRAWLISTENKOPF(dev, true, QStringLiteral("Titel"), QStringLiteral("Unter"));
  EXPECT_EQ(run.text(QStringLiteral("Datum: ") + list_date_text())->y, 0);
  EXPECT_EQ(run.text("Unter")->y, 120);
  EXPECT_NEAR(dev.PROW(), (120 + 200) / 600.0, 1e-9);
}

TEST(CalendarReportBase, FooterStandsInsideThePrintArea) {
  Grid g(holiday_structure(), holiday_rows(3));
  DoubleRun run(&g.view);
  run.page(1);
  const auto* footer = run.text("Seite: 1 von 1");
  ASSERT_NE(footer, nullptr);
  EXPECT_EQ(footer->y, 6000 - 33);  // a third of Arial 10's average height above the bottom
  EXPECT_EQ(footer->x + 14 * 50, 4500);
  EXPECT_EQ(footer->font.height, -83);
}

// ---------------------------------------------------------------- the grid list

TEST(GridListReport, HolidayColumnsAndCells) {
  Grid g(holiday_structure(), {{QStringLiteral("Neujahr"), QDate(2024, 1, 1), QStringLiteral("fest")},
                               {QStringLiteral("Ostern"), QDate(), QStringLiteral("beweglich")}});
  DoubleRun run(&g.view);
  const double c = 50 / 600.0;
  ASSERT_EQ(run.list.ABREITEN.size(), 3u);
  EXPECT_NEAR(run.list.ABREITEN[0], 20 * c, 1e-9);
  EXPECT_NEAR(run.list.ABREITEN[1], 10 * c, 1e-9);
  EXPECT_NEAR(run.list.ABREITEN[2], 28 * c, 1e-9);
  run.page(1);
  // Names and remarks half a character into their cells, one character between columns;
  // dates and headings centred.
  ASSERT_NE(run.text("Neujahr"), nullptr);
  EXPECT_EQ(run.text("Neujahr")->x, 25);
  EXPECT_EQ(run.text("01.01.2024")->x, 1050);
  EXPECT_EQ(run.text("fest")->x, 1050 + 550 + 25);
  EXPECT_EQ(run.text("Datum")->x, 1050 + 125);
  EXPECT_EQ(run.text("Datum")->font.weight, 700);
  EXPECT_TRUE(run.text("Datum")->font.italic);
  EXPECT_EQ(run.text("Feiertag")->y, 320);
  EXPECT_EQ(run.text("Neujahr")->y, 440);
  EXPECT_EQ(run.text("Ostern")->y, 560);
  EXPECT_NE(run.text("Titel"), nullptr);
}

TEST(GridListReport, CellFormatsAndNumberPlacement) {
  const struct {
    QVariant value;
    int decimals;
    const char* text;
    int align;
  } cases[] = {
      {1234567.5, 2, "1.234.567,50", 2}, {1234, 0, "1.234", 2},          {0, 2, "0,00", 2},
      {-42.125, 1, "-42,1", 2},          {QDate(2028, 2, 29), 0, "29.02.2028", 1},
      {QStringLiteral(" Text "), 0, " Text ", 0},                         {true, 0, ".T.", 0},
      {QVariant(), 0, "", 0},            {QVariant::fromValue<QObject*>(qApp), 0, "", 0},
  };
  for (const auto& c : cases) {
    const auto cell = RPTGRIDARRAYSERVER::format_cell(c.value, c.decimals);
    EXPECT_EQ(cell.text, QString::fromUtf8(c.text)) << c.text;
    EXPECT_EQ(cell.align, c.align) << c.text;
  }
  // A number ends half a character before its cell's right edge; for an export device it
  // is right-aligned in a box that starts half a character in.
  Grid g({{"Betrag", 'N', 10, 2}, {"Name", 'C', 10, 0}}, {{12.5, QStringLiteral("a")}});
  DoubleRun run(&g.view);
  run.page(1);
  ASSERT_NE(run.text("12,50"), nullptr);
  EXPECT_EQ(run.text("12,50")->x, -25 + 500 - 250);
  run.dev.OEXPORT = QStringLiteral("export");
  run.page(1);
  ASSERT_NE(run.text("12,50"), nullptr);
  EXPECT_TRUE(run.list.LEEXPORT);
  EXPECT_EQ(run.text("12,50")->x, 25 + 501 - 250);
}

TEST(GridListReport, SkippedColumnsTakeNoRoomButCountForGreyColumns) {
  Grid g({{"A", 'C', 10, 0}, {"dbSatz", 'N', 6, 0}, {"B", 'C', 10, 0}, {"Obj", 'O', 10, 0}},
         {{QStringLiteral("a1"), 7, QStringLiteral("b1"), QStringLiteral("o1")}});
  DoubleRun run(&g.view, 4500, 6000, false, false, true);
  run.page(1);
  for (const char* hidden : {"dbSatz", "7", "Obj", "o1"}) EXPECT_EQ(run.text(hidden), nullptr) << hidden;
  ASSERT_NE(run.text("b1"), nullptr);
  EXPECT_EQ(run.text("b1")->x, 550 + 25);
  // Grey columns: the first and the third of the structure, A and B.
  std::vector<int> lefts;
  for (const QRect& r : run.grey_boxes())
    if (r.top() == 440) lefts.push_back(r.left());
  EXPECT_EQ(lefts, (std::vector<int>{0, 550}));
  // Cell frames span the gap to the next column; framed headings are grey boxes with a
  // black frame.
  DoubleRun framed(&g.view, 4500, 6000, true, false, false);
  framed.page(1);
  std::vector<std::pair<int, int>> cells, heads;
  for (const auto& sh : framed.ctx.shapes) {
    if (sh.brush.kind == report::BrushSpec::Hollow && sh.rect.top() == 440)
      cells.push_back({sh.rect.left(), sh.rect.right()});
    if (sh.brush.kind == report::BrushSpec::Solid && sh.rect.top() == 320 && sh.pen.color == QColor(Qt::black))
      heads.push_back({sh.rect.left(), sh.rect.right()});
  }
  const std::vector<std::pair<int, int>> spans{{0, 551}, {550, 1101}};
  EXPECT_EQ(cells, spans);
  EXPECT_EQ(heads, spans);
  // The fit test counts the skipped columns too: 11, 8, 11 and 11 characters.
  run.dev.use_fixed_setup(600, 600, 2049, 6000, &run.ctx);
  EXPECT_TRUE(run.list.TESTANPASSEN(run.dev));
  run.dev.use_fixed_setup(600, 600, 2050, 6000, &run.ctx);
  EXPECT_FALSE(run.list.TESTANPASSEN(run.dev));
}

TEST(GridListReport, TooWideColumnsShrinkToTheirContentAndStopWhenTheyFit) {
  // Columns of 60 characters holding 4 to 12: they shrink until four fit into 2000.
  QVector<QVariantList> rows;
  for (int i = 0; i < 5; ++i)
    rows.push_back({QStringLiteral("abcd"), QStringLiteral("x").repeated(12), QStringLiteral("kurz"), i});
  Grid g({{"Eins", 'C', 60, 0}, {"Zwei", 'C', 60, 0}, {"Drei", 'C', 60, 0}, {"Vier", 'N', 60, 0}}, rows);
  const double c = 50 / 600.0, h = c / 2;
  const double content[] = {4 * c, 12 * c, 4 * c, 4 * c};  // the bold headings are 4 wide
  {
    DoubleRun run(&g.view, 2400);
    EXPECT_FALSE(run.list.TESTANPASSEN(run.dev));
    double sum = 0;
    for (size_t i = 0; i < 4; ++i) {
      EXPECT_GE(run.list.ABREITEN[i], content[i] + h - 1e-9) << i;
      sum += run.list.ABREITEN[i] + c;
    }
    EXPECT_LE(sum, 2400 / 600.0 + 1e-9);
    EXPECT_GT(sum, 2400 / 600.0 - h) << "shrinking stops as soon as the list fits";
    run.page(1);
    EXPECT_NE(run.text("4"), nullptr) << "the last column is printed";
  }
  {
    // Too narrow for the content: every column at its minimum, the last ones left out.
    DoubleRun run(&g.view, 900);
    EXPECT_TRUE(run.list.TESTANPASSEN(run.dev));
    for (size_t i = 0; i < 4; ++i) {
      EXPECT_GE(run.list.ABREITEN[i], content[i] + h - 1e-9) << i;
      EXPECT_LE(run.list.ABREITEN[i], content[i] + c + 1e-9) << i;
    }
    run.page(1);
    EXPECT_NE(run.text("abcd"), nullptr);
    EXPECT_EQ(run.text("4"), nullptr);
  }
}

TEST(GridListReport, PagesGreyRowsAndTheFooterNeverMeet) {
  Grid g(holiday_structure(), holiday_rows(100));
  DoubleRun run(&g.view, 4500, 6100);
  // 46 rows of 120 from 440 end at 5960, above the footer at 6067; a 47th would reach into it.
  EXPECT_EQ(run.list.NEPAGES, 3u);
  ASSERT_EQ(run.list.APAGESTARTS.size(), 3u);
  EXPECT_EQ(run.list.APAGESTARTS[1][0], 47);
  std::map<int, std::vector<QByteArray>> sequential;
  for (int p = 1; p <= 3; ++p) {
    run.page(p);
    sequential[p] = run.dev.page_records();
    const auto* footer = run.text(QStringLiteral("Seite: %1 von 3").arg(p));
    ASSERT_NE(footer, nullptr);
    int last_row = 0;
    for (const auto& t : run.ctx.texts)
      if (t.text.startsWith(QLatin1String("Tag "))) last_row = std::max(last_row, t.y);
    EXPECT_LE(last_row + 120, footer->y) << p;
    // Grey rows: the first row of the page white, the second grey, every second after it.
    std::vector<int> tops;
    for (const QRect& r : run.grey_boxes())
      if (r.top() >= 440 && r.left() == 0) tops.push_back(r.top());
    ASSERT_GE(tops.size(), 2u) << p;
    EXPECT_EQ(tops[0], 560) << p;
    EXPECT_EQ(tops[1], 800) << p;
  }
  for (int p : {3, 1, 32000, 2}) {
    run.page(p);
    EXPECT_EQ(run.dev.page_records(), sequential[p == 32000 ? 3 : p]) << p;
  }
  // A head that fills the page still leaves one row per page.
  DoubleRun tight(&g.view, 4500, 500);
  EXPECT_EQ(tight.list.NEPAGES, 100u);
}

TEST(GridListReport, AnEmptyListHasOnePageAndSumsFollowTheLastRow) {
  Grid empty(holiday_structure(), {});
  DoubleRun run(&empty.view);
  EXPECT_EQ(run.list.NEPAGES, 1u);
  EXPECT_EQ(run.list.PRINTPAGEBODY(run.dev, false), -2);
  run.page(1);
  EXPECT_NE(run.text("Seite: 1 von 1"), nullptr);
  EXPECT_NE(run.text("Bemerkung"), nullptr);

  // The sums row under the last row; when the page is full it goes onto a page of its own.
  Grid g({{"Name", 'C', 10, 0}, {"Betrag", 'N', 10, 2}}, {});
  for (int i = 0; i < 46; ++i) g.server->append_row({QStringLiteral("n%1").arg(i), 1.5});
  const std::vector<QVariantList> sums{{QStringLiteral("Summe"), 69.0}};
  DoubleRun full(&g.view, 4500, 6000, false, true, false, sums);
  EXPECT_EQ(full.list.NEPAGES, 2u);
  full.page(2);
  ASSERT_NE(full.text("Summe"), nullptr);
  EXPECT_EQ(full.text("Summe")->y, 440);
  EXPECT_NE(full.text("69,00"), nullptr);
  g.server->delete_row(0);
  DoubleRun fits(&g.view, 4500, 6000, false, true, false, sums);
  EXPECT_EQ(fits.list.NEPAGES, 1u);
  fits.page(1);
  ASSERT_NE(fits.text("Summe"), nullptr);
  EXPECT_EQ(fits.text("Summe")->y, 440 + 45 * 120);
}

// ---------------------------------------------------------------- the real engine

class RealRun : public ::testing::Test {
 protected:
  void TearDown() override {
    report::set_preview_hook({});
    report::set_pdf_route(QString());
    report::set_chosen_printer(QString());
  }
  QString pdf(const char* name) const { return QString::fromStdString(dir_.file(name)); }
  static QString info(const QString& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {pdf});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
  }
  testing::TempDir dir_;
  gui::RecordingMessageBoxes boxes_;
};

TEST_F(RealRun, BayernHolidaysFromThePage) {
  TAB_FEIERTAGE page(nullptr);
  page.CB_LAND1->setCurrentIndex(page.CB_LAND1->findText(QStringLiteral("Deutschland")));
  page.LISTBOXSELECT(page.CB_LAND1);
  page.CB_LAND2->setCurrentIndex(page.CB_LAND2->findText(QStringLiteral("Bayern")));
  page.LISTBOXSELECT(page.CB_LAND2);
  page.SE_JAHR->setText(QStringLiteral("2024"));
  page.EDITFOCUSCHANGE();
  ASSERT_EQ(page.server()->rowCount(), 16);

  // "Drucken" shows the preview (its picture is kept under the build folder).
  int shown = 0;
  report::set_preview_hook([&](report::PreviewWindow& w) {
    shown = w.pages();
    EXPECT_TRUE(w.page_image(1, 1240).save(QStringLiteral(MOLVANE_BINARY_DIR "/kalender_feiertage_preview.png")));
  });
  ASSERT_TRUE(page.PB_DRUCK->isEnabled());
  page.PB_DRUCK->click();
  EXPECT_EQ(shown, 1);

  const QString out = pdf("feiertage.pdf");
  report::set_pdf_route(out);
  page.FILEREPORT(false);
  EXPECT_EQ(pttest::pdf_pages(out), 1);
  const QStringList lines = pttest::text_lines(pttest::pdf_text(out));
  ASSERT_FALSE(lines.isEmpty());
  EXPECT_EQ(lines.front(), "Feiertage für 2024 Deutschland / Bayern");
  EXPECT_TRUE(lines[1].contains(QStringLiteral("Datum: ") + list_date_text())) << lines[1].toStdString();
  EXPECT_TRUE(lines[2].contains(QRegularExpression(QStringLiteral("^Feiertag\\s+Datum\\s+Bemerkung$")))) << lines[2].toStdString();
  int rows = 0;
  for (const QString& l : lines)
    if (l.contains(QRegularExpression(QStringLiteral("\\d\\d\\.\\d\\d\\.2024")))) ++rows;
  EXPECT_EQ(rows, 16);
  EXPECT_TRUE(lines.join('\n').contains(QRegularExpression(QStringLiteral("Fronleichnam\\s+30\\.05\\.2024"))));
  EXPECT_EQ(lines.back(), "Seite: 1 von 1");
  EXPECT_EQ(boxes_.count(), 0);
}

TEST_F(RealRun, LandscapeAndFiveHundredRowsEachPageWithItsFooter) {
  Grid g(holiday_structure(), holiday_rows(500));
  for (bool landscape : {false, true}) {
    bool checked = false;
    report::set_preview_hook([&](report::PreviewWindow& w) {
      checked = true;
      const report::PRINTERDEVICE* d = w.device();
      const double expected[2][4] = {{100, 100, 150, 100}, {200, 120, 150, 100}};
      const double* m = expected[landscape ? 1 : 0];
      EXPECT_NEAR(d->top_margin_inches(), m[0] / 254, 1e-9);
      EXPECT_NEAR(d->bottom_margin_inches(), m[1] / 254, 1e-9);
      EXPECT_NEAR(d->left_margin_inches(), m[2] / 254, 1e-9);
      EXPECT_NEAR(d->right_margin_inches(), m[3] / 254, 1e-9);
      EXPECT_EQ(d->LANDSCAPE(), landscape);
    });
    RPTGRIDARRAYSERVER(nullptr, true, &g.view, QStringLiteral("Liste"), QString(), 9, landscape);
    EXPECT_TRUE(checked);

    const QString out = pdf(landscape ? "quer.pdf" : "hoch.pdf");
    report::set_pdf_route(out);
    RPTGRIDARRAYSERVER(nullptr, false, &g.view, QStringLiteral("Liste"), QString(), 9, landscape);
    report::set_pdf_route(QString());
    const int n = pttest::pdf_pages(out);
    ASSERT_GE(n, 2) << landscape;
    EXPECT_TRUE(info(out).contains(landscape ? QStringLiteral("842 x 595") : QStringLiteral("595 x 842")))
        << info(out).toStdString();
    int rows = 0;
    for (int k = 1; k <= n; ++k) {
      const QStringList lines = pttest::text_lines(pttest::pdf_text(out, k));
      ASSERT_FALSE(lines.isEmpty());
      EXPECT_EQ(lines.back(), QStringLiteral("Seite: %1 von %2").arg(k).arg(n)) << landscape << " page " << k;
      for (const QString& l : lines)
        if (l.startsWith(QLatin1String("Tag "))) ++rows;
    }
    EXPECT_EQ(rows, 500) << landscape;
  }
}

TEST_F(RealRun, ShrunkColumnsAllReachThePaper) {
  // Six columns of 50 characters would need three pages' widths; their short texts fit.
  std::vector<grid::ArrayField> s;
  QVariantList row;
  for (int i = 1; i <= 6; ++i) {
    s.push_back({QStringLiteral("Spalte%1").arg(i), 'C', 50, 0});
    row << QStringLiteral("Wert%1").arg(i);
  }
  Grid g(s, {row});
  const QString out = pdf("schmal.pdf");
  report::set_pdf_route(out);
  RPTGRIDARRAYSERVER(nullptr, false, &g.view, QStringLiteral("Breit"));
  const QStringList lines = pttest::text_lines(pttest::pdf_text(out));
  EXPECT_TRUE(lines.contains(QStringLiteral("Spalte1 Spalte2 Spalte3 Spalte4 Spalte5 Spalte6")) ||
              lines.join('\n').contains(QRegularExpression(QStringLiteral("Wert1\\s+Wert2\\s+Wert3\\s+Wert4\\s+Wert5\\s+Wert6"))))
      << lines.join('\n').toStdString();
}

TEST_F(RealRun, GreyRowsInThePreviewsPixels) {
  Grid g(holiday_structure(), holiday_rows(120));
  auto render = [&](bool grey_rows, int page) {
    QImage out;
    report::set_preview_hook([&](report::PreviewWindow& w) { out = w.page_image(page, 1240); });
    RPTGRIDARRAYSERVER(nullptr, true, &g.view, QStringLiteral("Grau"), QString(), 9, false, false, grey_rows);
    return out.convertToFormat(QImage::Format_RGB32);
  };
  auto grey = [](QRgb p) { return qRed(p) > 215 && qRed(p) < 240 && qRed(p) == qGreen(p) && qGreen(p) == qBlue(p); };
  // Bands of grey lines from the top: the heading row first, then every second row.
  auto bands = [&](const QImage& img) { return pttest::shaded_bands(img, grey); };
  const auto plain = bands(render(false, 1));
  const auto page1 = bands(render(true, 1));
  const auto page2 = bands(render(true, 2));
  ASSERT_EQ(plain.size(), 1u);  // the headings alone
  ASSERT_GE(page1.size(), 10u);
  const int line = page1[0].second - page1[0].first;
  // The first row under the headings is white: one line's gap before the first grey row.
  EXPECT_GE(page1[1].first - page1[0].second, line * 8 / 10);
  EXPECT_LE(page1[1].first - page1[0].second, line * 12 / 10 + 2);
  EXPECT_NEAR(page1[2].first - page1[1].first, page1[1].first - page1[0].first, 2);
  EXPECT_EQ(page2, page1) << "every page starts white";
}

TEST_F(RealRun, TheGridsRowStaysWhateverBecomesOfTheJob) {
  Grid g(holiday_structure(), holiday_rows(30));
  g.server->set_current_row(7);
  g.view.setCurrentIndex(g.server->index(7, 0));
  int changes = 0;
  QObject::connect(g.server, &grid::GRIDSERVER::current_row_changed, [&] { ++changes; });
  auto unchanged = [&](const char* how) {
    EXPECT_EQ(g.server->current_row(), 7) << how;
    EXPECT_EQ(g.view.currentIndex().row(), 7) << how;
    EXPECT_FALSE(g.server->notifications_suspended()) << how;
    EXPECT_EQ(changes, 0) << how;
  };

  // The print dialog cancelled.
  QTimer poll;
  poll.setInterval(20);
  bool rejected = false;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    for (QWidget* t : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<QPrintDialog*>(t); d && d->isVisible()) {
        rejected = true;
        d->reject();
      }
  });
  poll.start();
  RPTGRIDARRAYSERVER(nullptr, false, &g.view, QStringLiteral("Abbruch"));
  poll.stop();
  if (boxes_.count() == 0) {
    EXPECT_TRUE(rejected);
  }
  unchanged("cancelled dialog");

  // No printer.
  boxes_.clear();
  report::set_chosen_printer(QStringLiteral("Kein Drucker hier"));
  RPTGRIDARRAYSERVER(nullptr, false, &g.view, QStringLiteral("Kein Drucker"));
  report::set_chosen_printer(QString());
  ASSERT_EQ(boxes_.count(), 1);
  EXPECT_EQ(boxes_.last().text, "Der Drucker konnte nicht geöffnet werden!");
  unchanged("no printer");

  // A preview and a print.
  report::set_preview_hook([](report::PreviewWindow& w) { w.page_image(1, 600); });
  RPTGRIDARRAYSERVER(nullptr, true, &g.view);
  report::set_pdf_route(pdf("liste.pdf"));
  RPTGRIDARRAYSERVER(nullptr, false, &g.view);
  unchanged("preview and print");

  // A grid without an array server is refused with a message.
  boxes_.clear();
  grid::GRIDBROWSER bare;
  RPTGRIDARRAYSERVER(nullptr, true, &bare);
  RPTGRIDARRAYSERVER(nullptr, true, nullptr);
  ASSERT_EQ(boxes_.count(), 2);
  EXPECT_EQ(boxes_.last().caption, "Achtung");
  EXPECT_EQ(boxes_.last().text, "Diese Liste kann nicht gedruckt werden!");
}

}  // namespace
}  // namespace mv
