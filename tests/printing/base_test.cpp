// The report base: margins, the dry run, pages drawn from their recorded starts in any
// order, preview and print alike, the wait cursor.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <map>

#include "platform/report/preview.h"
#include "printing/rptarraydaten.h"
#include "printing_helpers.h"
#include "tests/support/fixtures.h"

namespace mv {
namespace {

using pttest::RecordingContext;

std::vector<QStringList> rows(int n) {
  std::vector<QStringList> r;
  for (int i = 1; i <= n; ++i)
    r.push_back({QString::number(i), QStringLiteral("Name %1").arg(i), QStringLiteral("Key")});
  return r;
}

std::vector<ArrayColumn> columns() {
  return {{QStringLiteral("Nr."), 4, 2}, {QStringLiteral("Indexname"), 14, 0}, {QStringLiteral("Schlüssel"), 20, 0}};
}

// A list on the engine double: 600 units per inch, characters 50 wide and 100 high.
struct DoubleRun {
  RecordingContext ctx;
  RPTARRAYDATEN list;
  RPPRINTER dev;
  DoubleRun(int n, int area_length = 6000)
      : list(columns(), rows(n), QStringLiteral("Index: /tmp/T.DBF"), QString(), {}, {}), dev(nullptr, &list) {
    list.NELINEFACTOR = 1.2;
    dev.use_fixed_setup(600, 600, 4500, area_length, &ctx);
    dev.UNITOFMEASURE(1);
    dev.begin_run(0);
    list.PRINTSTART(dev);
  }
  std::vector<QByteArray> page(int n) {
    dev.draw_page(ctx, n);
    return dev.page_records();
  }
};

TEST(ReportBase, PagesDrawnInAnyOrderEqualTheSequentialRun) {
  DoubleRun run(600);
  const int pages = int(run.list.NEPAGES);
  ASSERT_GE(pages, 12);
  EXPECT_EQ(run.list.APAGESTARTS.size(), size_t(pages));
  std::map<int, std::vector<QByteArray>> sequential;
  for (int p = 1; p <= pages; ++p) sequential[p] = run.page(p);
  for (int p : {3, 1, 12, 32000, 2, 2}) {
    const int expected = p == 32000 ? pages : p;
    EXPECT_EQ(run.page(p), sequential[expected]) << p;
    EXPECT_EQ(run.dev.CURRENTPAGENUMBER(), expected);
  }
  // Positioning: the last page code, below the first, beyond the last.
  EXPECT_EQ(run.list.PRINTSETPAGE(run.dev, 32000), pages);
  EXPECT_EQ(run.list.PRINTSETPAGE(run.dev, 0), 1);
  EXPECT_EQ(run.list.PRINTSETPAGE(run.dev, pages + 28), pages);
  EXPECT_EQ(run.list.NEZEILENR, size_t(run.list.APAGESTARTS.back()[0]));
}

TEST(ReportBase, ASecondRunOnOtherPaperLaysThePagesOutAfresh) {
  DoubleRun run(600, 6000);
  DoubleRun shorter(600, 3000);
  ASSERT_NE(run.list.APAGESTARTS, shorter.list.APAGESTARTS);
  // The same list, now on a shorter print area (another printer or paper).
  run.dev.use_fixed_setup(600, 600, 4500, 3000, &run.ctx);
  run.dev.lay_out_again();
  EXPECT_EQ(run.list.NEPAGES, shorter.list.NEPAGES);
  EXPECT_EQ(run.list.APAGESTARTS, shorter.list.APAGESTARTS);
  EXPECT_EQ(run.page(5), shorter.page(5));
}

TEST(ReportBase, FooterNamesPageAndTotalAtTheRightEdge) {
  DoubleRun run(600);
  run.ctx.clear();
  run.dev.draw_page(run.ctx, 7);
  const QString footer = QStringLiteral("Seite: 7 von %1").arg(run.list.NEPAGES);
  auto it = std::find_if(run.ctx.texts.begin(), run.ctx.texts.end(), [&](const auto& t) { return t.text == footer; });
  ASSERT_NE(it, run.ctx.texts.end());
  EXPECT_EQ(it->x + int(footer.size()) * 50, 4500);
  EXPECT_EQ(it->font.height, -83);  // Arial 10 at 600 units per inch
  EXPECT_GT(it->y, 6000);           // in the bottom margin
}

TEST(ReportBase, HeadsThatFillThePageStillEndWithARowPerPage) {
  DoubleRun run(5, 400);
  EXPECT_EQ(run.list.NEPAGES, 5u);
  for (int p = 1; p <= 5; ++p) {
    run.ctx.clear();
    run.dev.draw_page(run.ctx, p);
    EXPECT_TRUE(std::any_of(run.ctx.texts.begin(), run.ctx.texts.end(), [&](const auto& t) {
      return t.text == QStringLiteral("Name %1").arg(p);
    })) << p;
  }
}

TEST(ReportBase, AListWithoutRowsHasOnePage) {
  DoubleRun run(0);
  EXPECT_EQ(run.list.NEPAGES, 1u);
  run.ctx.clear();
  EXPECT_EQ(run.dev.draw_page(run.ctx, 1), 1);
  QStringList texts;
  for (const auto& t : run.ctx.texts) texts << t.text;
  EXPECT_TRUE(texts.contains(QStringLiteral("Seite: 1 von 1"))) << texts.join('|').toStdString();
  EXPECT_TRUE(texts.contains(QStringLiteral("Indexname")));
  EXPECT_TRUE(texts.contains(QStringLiteral("Index: /tmp/T.DBF")));
}

// The real engine, A4 through the preview and into a PDF.
class RealRun : public ::testing::Test {
 protected:
  void TearDown() override {
    report::set_preview_hook({});
    report::set_page_observer({});
    report::set_pdf_route(QString());
  }
};

TEST_F(RealRun, MarginsByOrientationAndTheCursorRestored) {
  struct Case {
    bool landscape;
    double top, bottom, left, right;
  } cases[] = {{true, 0.5512, 0.4724, 0.3937, 0.3937}, {false, 0.3937, 0.4724, 0.5512, 0.3937}};
  for (const Case& c : cases) {
    bool shown = false;
    report::set_preview_hook([&](report::PreviewWindow& w) {
      shown = true;
      report::PRINTERDEVICE* d = w.device();
      EXPECT_NEAR(d->top_margin_inches(), c.top, 1e-4);
      EXPECT_NEAR(d->bottom_margin_inches(), c.bottom, 1e-4);
      EXPECT_NEAR(d->left_margin_inches(), c.left, 1e-4);
      EXPECT_NEAR(d->right_margin_inches(), c.right, 1e-4);
      EXPECT_EQ(d->LANDSCAPE(), c.landscape);
      EXPECT_EQ(d->PAPERSIZE(), 9);
      EXPECT_EQ(w.windowTitle(), "Seitenansicht");
      EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);  // no wait cursor over the preview
    });
    RPTARRAYDATEN list(columns(), rows(10), QString(), QString(), {}, {});
    list.INIT(nullptr, true, c.landscape);
    EXPECT_TRUE(shown);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  }
}

TEST_F(RealRun, PreviewAndPrintDrawTheSamePages) {
  std::map<int, std::vector<QByteArray>> preview, printed;
  std::map<int, std::vector<QByteArray>>* into = &preview;
  report::set_page_observer([&](int page, const std::vector<QByteArray>& r) { (*into)[page] = r; });
  int pages = 0;
  report::set_preview_hook([&](report::PreviewWindow& w) {
    pages = w.pages();
    for (int p = pages; p >= 1; --p) w.page_image(p, 600);
  });
  RPTARRAYDATEN::print(nullptr, true, columns(), rows(300), QString(), QString(), {}, {});
  ASSERT_GE(pages, 3);
  ASSERT_EQ(int(preview.size()), pages);
  into = &printed;
  testing::TempDir dir;
  const QString pdf = QString::fromStdString(dir.file("list.pdf"));
  report::set_pdf_route(pdf);
  RPTARRAYDATEN::print(nullptr, false, columns(), rows(300), QString(), QString(), {}, {});
  EXPECT_EQ(preview, printed);
  EXPECT_EQ(pttest::pdf_pages(pdf), pages);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(RealRun, PrintingFromThePreviewLeavesItsPagesAsTheyWere) {
  testing::TempDir dir;
  const QString pdf = QString::fromStdString(dir.file("aus.pdf"));
  std::vector<QByteArray> last;
  report::set_page_observer([&](int, const std::vector<QByteArray>& r) { last = r; });
  std::vector<QByteArray> before, after;
  int printed_pages = 0;
  report::set_preview_hook([&](report::PreviewWindow& w) {
    w.page_image(2, 500);
    before = last;
    report::set_pdf_route(pdf);
    w.PRINT();
    printed_pages = pttest::pdf_pages(pdf);
    w.page_image(2, 700);
    after = last;
    EXPECT_EQ(w.pages(), printed_pages);
  });
  RPTARRAYDATEN::print(nullptr, true, columns(), rows(200), QString(), QString(), {}, {});
  EXPECT_GE(printed_pages, 2);
  ASSERT_FALSE(before.empty());
  EXPECT_EQ(before, after);
}

}  // namespace
}  // namespace mv
