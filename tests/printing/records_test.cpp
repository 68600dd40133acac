// The record list of a table: read back from the PDFs it makes (fixtures and generated
// tables), its columns on the engine double, its grey shading on a drawn page, and the
// server standing where it stood.
#include <gtest/gtest.h>

#include <QDate>
#include <QFile>
#include <QRegularExpression>

#include "platform/grid/griddbserver.h"
#include "platform/report/preview.h"
#include "platform/table/modes.h"
#include "platform/table/table.h"
#include "platform/table/transfer.h"
#include "printing/rptdbfdaten.h"
#include "printing_helpers.h"
#include "tablewindow/orders.h"
#include "tests/support/fixtures.h"

namespace mv {
namespace {

using pttest::pdf_pages;
using pttest::pdf_text;
using pttest::RecordingContext;
using pttest::text_lines;

QString key(int i) { return QStringLiteral("K%1").arg(i, 5, 10, QLatin1Char('0')); }

class Records : public ::testing::Test {
 protected:
  void SetUp() override {
    pdf_ = QString::fromStdString(dir_.file("list.pdf"));
    report::set_pdf_route(pdf_);
  }
  void TearDown() override {
    report::set_pdf_route(QString());
    report::set_preview_hook({});
    set_deleted_filter(false);
  }
  // A table of `n` records: K "K00001" ..., Z = i * 1.5, D from 2.1.2020 on (every tenth
  // empty), L true for even i, M a memo of two lines; the records in `deleted` marked.
  std::unique_ptr<grid::GRIDDBSERVER> generated(int n, const std::vector<int>& deleted = {}) {
    const std::string path = dir_.file("LISTE.DBF");
    EXPECT_TRUE(db_create(path,
                          {{"K", 'C', 8, 0}, {"Z", 'N', 8, 2}, {"D", 'D', 8, 0}, {"L", 'L', 1, 0}, {"M", 'M', 10, 0}},
                          "DBFCDX")
                    .is_ok());
    auto t = Table::open(path, OpenOptions{});
    EXPECT_TRUE(t.is_ok());
    Table& tb = **t;
    for (int i = 1; i <= n; ++i) {
      EXPECT_TRUE(tb.append_blank().is_ok());
      EXPECT_TRUE(tb.field_put(1, Value::character(key(i).toStdString())).is_ok());
      EXPECT_TRUE(tb.field_put(2, Value::numeric(i * 1.5, 8, 2)).is_ok());
      if (i % 10 != 0) {
        const QDate d = QDate(2020, 1, 1).addDays(i);
        EXPECT_TRUE(tb.field_put(3, Value::of_date(Date::from_ymd(d.year(), d.month(), d.day()))).is_ok());
      }
      EXPECT_TRUE(tb.field_put(4, Value::boolean(i % 2 == 0)).is_ok());
      EXPECT_TRUE(tb.field_put(5, Value::character("Zeile" + std::to_string(i) + "\r\nzweite")).is_ok());
      if (std::find(deleted.begin(), deleted.end(), i) != deleted.end()) {
        EXPECT_TRUE(tb.delete_record().is_ok());
      }
    }
    EXPECT_TRUE(tb.commit().is_ok());
    EXPECT_TRUE(tb.go_top().is_ok());
    return std::make_unique<grid::GRIDDBSERVER>(std::move(*t));
  }
  std::unique_ptr<grid::GRIDDBSERVER> fixture(const std::string& name, const std::string& file) {
    const std::string from = testing::fixture_case(name);
    if (from.empty()) return nullptr;
    OpenOptions o;
    o.driver = "DBFCDX";
    o.read_only = true;
    auto t = Table::open(from + "/" + file, o);
    return t ? std::make_unique<grid::GRIDDBSERVER>(std::move(*t)) : nullptr;
  }
  static std::vector<ReportColumn> cols(std::initializer_list<ReportColumn> c) { return c; }
  // The keys "K....." in the order the PDF shows them.
  QStringList printed_keys() {
    QStringList keys;
    const auto all = QRegularExpression(QStringLiteral("\\bK\\d{5}\\b")).globalMatch(pdf_text(pdf_));
    for (auto m = all; m.hasNext();) keys << m.next().captured();
    return keys;
  }
  void check_footers() {
    const int n = pdf_pages(pdf_);
    ASSERT_GE(n, 1);
    for (int k = 1; k <= n; ++k) {
      const QStringList lines = text_lines(pdf_text(pdf_, k));
      ASSERT_FALSE(lines.isEmpty()) << k;
      EXPECT_EQ(lines.last(), QStringLiteral("Seite: %1 von %2").arg(k).arg(n)) << k;
    }
  }
  testing::TempDir dir_;
  QString pdf_;
};

TEST_F(Records, TwoHundredRecordsPageAfterPageEachOnceInOrder) {
  auto s = generated(200);
  RPTDBFDATEN::Arguments a;
  a.columns = cols({{1, "", 0}, {0, "SATZNR", 7}});
  a.title = QStringLiteral("Liste");
  RPTDBFDATEN::print(nullptr, false, *s, a);
  QStringList expected;
  for (int i = 1; i <= 200; ++i) expected << key(i);
  EXPECT_EQ(printed_keys(), expected);
  const int n = pdf_pages(pdf_);
  EXPECT_GE(n, 3);
  check_footers();
  // Every page but the last is full: as many records as the first.
  int first = -1;
  for (int k = 1; k < n; ++k) {
    const int on_page = int(pdf_text(pdf_, k).count(QRegularExpression(QStringLiteral("\\bK\\d{5}\\b"))));
    if (first < 0) first = on_page;
    EXPECT_EQ(on_page, first) << k;
  }
  EXPECT_EQ(first * (n - 1) < 200 && first * n >= 200, true) << first << " " << n;
  EXPECT_EQ(s->table()->recno(), 1u);  // the server stands where the job started
}

TEST_F(Records, NoColumnListPrintsEveryFieldUnderItsName) {
  auto s = generated(12);
  RPTDBFDATEN::print(nullptr, false, *s, {});
  const QString text = pdf_text(pdf_);
  for (const char* h : {"K", "Z", "D", "L", "M", "LISTE"}) EXPECT_TRUE(text.contains(QString::fromLatin1(h))) << h;
  RPTDBFDATEN list(*s, {});
  ASSERT_EQ(list.AESPALTEN.size(), 5u);
  // As wide as the longer of name and the first record's value.
  const std::vector<double> widths{8, 8, 10, 1, 6};  // texts keep their field's width
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(list.AESPALTEN[i].width, widths[i]) << i;
}

TEST_F(Records, CellTextsOfTheFieldTypes) {
  auto s = generated(10);
  RPTDBFDATEN::Arguments a;
  a.columns = cols({{1, "", 0}, {2, "", 0}, {3, "", 0}, {4, "", 0}, {5, "", 12}});
  RPTDBFDATEN::print(nullptr, false, *s, a);
  const QStringList lines = text_lines(pdf_text(pdf_));
  auto line_of = [&](int i) {
    for (const QString& l : lines)
      if (l.startsWith(key(i))) return l.simplified();
    return QString();
  };
  EXPECT_EQ(line_of(1), QStringLiteral("K00001 1.50 02.01.2020 F Zeile1"));
  EXPECT_EQ(line_of(4), QStringLiteral("K00004 6.00 05.01.2020 T Zeile4"));
  EXPECT_EQ(line_of(10), QStringLiteral("K00010 15.00 T Zeile10"));  // an empty date is blank
  EXPECT_FALSE(pdf_text(pdf_).contains(QStringLiteral("zweite")));
}

TEST_F(Records, DeletedFlagColumnAndRecordNumbers) {
  for (const char* heading : {"DEL", "Del", "del"}) {
    auto s = generated(12, {3});
    RPTDBFDATEN::Arguments a;
    a.columns = cols({{0, QString::fromLatin1(heading), 3}, {1, "", 0}, {0, "SATZNR", 7}});
    RPTDBFDATEN::print(nullptr, false, *s, a);
    const QStringList lines = text_lines(pdf_text(pdf_));
    int starred = 0;
    for (const QString& l : lines) {
      if (l.startsWith('*')) {
        ++starred;
        EXPECT_TRUE(l.contains(key(3))) << heading;
      }
    }
    EXPECT_EQ(starred, 1) << heading;
  }
  // The record number is right-aligned: 9 and 10 end in the same place.
  RecordingContext ctx;
  auto s = generated(12);
  RPTDBFDATEN list(*s, {cols({{0, "SATZNR", 7}}), QStringLiteral("T"), {}, 10, false, true, false, false});
  list.NELINEFACTOR = 1.2;
  RPPRINTER dev(nullptr, &list);
  dev.use_fixed_setup(600, 600, 4500, 6000, &ctx);
  dev.begin_run(1);
  list.PRINTSTART(dev);
  ctx.clear();
  dev.draw_page(ctx, 1);
  int right9 = -1, right10 = -1;
  for (const auto& t : ctx.texts) {
    if (t.text == "9") right9 = t.x + t.text.size() * ctx.ave_char_width;
    if (t.text == "10") right10 = t.x + t.text.size() * ctx.ave_char_width;
  }
  EXPECT_GT(right9, 0);
  EXPECT_EQ(right9, right10);
}

TEST_F(Records, StartRecordRangeFilterAndShortTable) {
  struct Case {
    const char* name;
    int start;  // record the server stands on
    bool hide_deleted;
    int cut;  // records cut from the file's end (the header still counts them)
    std::vector<int> expected;
  };
  auto range = [](int from, int to, std::vector<int> skip = {}) {
    std::vector<int> v;
    for (int i = from; i <= to; ++i)
      if (std::find(skip.begin(), skip.end(), i) == skip.end()) v.push_back(i);
    return v;
  };
  const Case cases[] = {
      {"from record 57", 57, false, 0, range(57, 80)},
      {"deleted records hidden", 1, true, 0, range(1, 80, {5, 60})},
      {"shorter than its header says", 1, false, 5, range(1, 75)},
  };
  for (const Case& c : cases) {
    set_deleted_filter(c.hide_deleted);
    auto s = generated(80, {5, 60});
    if (c.cut > 0) {
      const std::string path = s->table()->path();
      const uint32_t reclen = s->table()->record_length();
      s.reset();
      QFile f(QString::fromStdString(path));
      ASSERT_TRUE(f.open(QIODevice::ReadWrite));
      ASSERT_TRUE(f.resize(f.size() - 1 - qint64(c.cut) * reclen));
      f.close();
      auto t = Table::open(path, OpenOptions{});
      ASSERT_TRUE(t.is_ok()) << c.name;
      s = std::make_unique<grid::GRIDDBSERVER>(std::move(*t));
    }
    ASSERT_TRUE(s->table()->go_to(uint32_t(c.start)).is_ok());
    RPTDBFDATEN::Arguments a;
    a.columns = cols({{1, "", 0}});
    RPTDBFDATEN::print(nullptr, false, *s, a);
    QStringList expected;
    for (int i : c.expected) expected << key(i);
    EXPECT_EQ(printed_keys(), expected) << c.name;
    EXPECT_EQ(s->table()->recno(), uint32_t(c.start)) << c.name;
    check_footers();
  }
}

TEST_F(Records, IndexOrderFromTheMiddle) {
  auto s = fixture("peer/cdx-nomemo", "ADRESSEN.DBF");
  if (!s) GTEST_SKIP() << "fixture missing";
  AttachedOrders orders = attach_orders(*s->table());
  ASSERT_TRUE(orders.orders->set_order(1).is_ok());
  Table& t = *s->table();
  ASSERT_TRUE(t.go_top().is_ok());
  ASSERT_TRUE(t.skip(300).is_ok());
  const uint32_t start = t.recno();
  // What the order shows from there on: record numbers in the order's sequence.
  QStringList expected;
  while (!t.eof()) {
    expected << QStringLiteral("#%1#").arg(t.recno());
    ASSERT_TRUE(t.skip(1).is_ok());
  }
  ASSERT_TRUE(t.go_to(start).is_ok());
  RPTDBFDATEN::Arguments a;
  a.columns = cols({{0, "SATZNR", 7}});
  a.title = QStringLiteral("Ordnung");
  a.grid = false;
  RPTDBFDATEN::print(nullptr, false, *s, a);
  QStringList printed;
  for (const QString& l : text_lines(pdf_text(pdf_))) {
    bool ok = false;
    const int n = l.toInt(&ok);
    if (ok) printed << QStringLiteral("#%1#").arg(n);
  }
  EXPECT_EQ(printed, expected);
  EXPECT_EQ(t.recno(), start);
}

TEST_F(Records, TitleExtraTextWideColumnsAndNoColumns) {
  auto s = generated(30);
  {
    RPTDBFDATEN::Arguments a;
    a.columns = cols({{1, "Schlüssel", 0}, {5, "", 150}, {2, "Betrag", 8}});
    a.title = QStringLiteral("Meine Liste");
    a.extra = QStringLiteral("Stand Dezember");
    RPTDBFDATEN::print(nullptr, false, *s, a);
    const QString text = pdf_text(pdf_);
    EXPECT_TRUE(text.contains(QStringLiteral("Meine Liste")));
    EXPECT_TRUE(text.contains(QStringLiteral("Stand Dezember")));
    EXPECT_TRUE(text.contains(QStringLiteral("Datum: ") + QDate::currentDate().toString("dd.MM.yyyy")));
    EXPECT_TRUE(text.contains(QStringLiteral("Schlüssel")));
    // The memo column reaches the edge: "Betrag" and its values are not drawn.
    EXPECT_FALSE(text.contains(QStringLiteral("Betrag")));
    EXPECT_FALSE(text.contains(QStringLiteral("45.00")));
    EXPECT_EQ(printed_keys().size(), 30);
  }
  {
    RPTDBFDATEN::Arguments a;
    a.columns = std::vector<ReportColumn>{};
    a.title = QStringLiteral("Leer");
    auto big = generated(300);
    RPTDBFDATEN::print(nullptr, false, *big, a);
    EXPECT_GE(pdf_pages(pdf_), 2);  // one blank line per record
    EXPECT_TRUE(printed_keys().isEmpty());
    check_footers();
  }
}

TEST_F(Records, ColumnsFitToThePrintWidth) {
  auto s = generated(3);
  RecordingContext ctx;  // 50 units a character, 4500 wide: limit 4350
  RPTDBFDATEN list(
      *s, {cols({{1, "A", 40}, {2, "B", 60}, {3, "C", 10}}), QStringLiteral("T"), {}, 10, false, true, false, false});
  RPPRINTER dev(nullptr, &list);
  dev.use_fixed_setup(600, 600, 4500, 6000, &ctx);
  dev.begin_run(1);
  list.PRINTSTART(dev);
  EXPECT_EQ(list.AESPALTEN[0].width, 40);
  EXPECT_DOUBLE_EQ(list.AESPALTEN[1].width, (4500.0 - 2050.0) / 50.0);
  EXPECT_EQ(list.AESPALTEN[2].width, 10);
  // A negative width counts as none, a pseudo column without heading numbers records.
  RPTDBFDATEN odd(*s, {cols({{1, "", -5}, {0, "", 0}}), QStringLiteral("T"), {}, 10, false, true, false, false});
  EXPECT_EQ(odd.AESPALTEN[0].width, 8);
  EXPECT_EQ(odd.AESPALTEN[1].heading, "SATZNR");
  EXPECT_EQ(odd.AESPALTEN[1].width, 6);
}

TEST_F(Records, TitleShrinksWithItsLength) {
  auto s = generated(2);
  struct Case {
    int length;
    int height;
  } cases[] = {{60, -117}, {70, -100}, {85, -83}, {200, -83}};
  for (const Case& c : cases) {
    RecordingContext ctx;
    ctx.scale_with_font = true;
    const QString title = QStringLiteral("S") + QString(c.length - 1, QLatin1Char('x'));
    RPTDBFDATEN list(*s, {cols({{1, "", 0}}), title, {}, 10, false, true, false, false});
    RPPRINTER dev(nullptr, &list);
    dev.use_fixed_setup(600, 600, 4500, 6000, &ctx);
    dev.begin_run(1);
    list.PRINTSTART(dev);
    ctx.clear();
    dev.draw_page(ctx, 1);
    auto it = std::find_if(ctx.texts.begin(), ctx.texts.end(), [&](const auto& t) { return t.text.startsWith('S'); });
    ASSERT_NE(it, ctx.texts.end()) << c.length;
    EXPECT_EQ(it->font.height, c.height) << c.length;
  }
}

int count_pixels(const QImage& img, const std::function<bool(QRgb)>& pred) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (pred(img.pixel(x, y))) ++n;
  return n;
}

TEST_F(Records, GreyRowsRestartPerPageAndGreyColumnsAndThePreviewLeavesTheRecord) {
  auto s = generated(120);
  ASSERT_TRUE(s->table()->go_to(7).is_ok());
  auto render = [&](bool rows, bool columns, int page) {
    QImage out;
    report::set_preview_hook([&](report::PreviewWindow& w) { out = w.page_image(page, 1240); });
    RPTDBFDATEN::Arguments a;
    a.columns = cols({{1, "", 0}, {2, "", 0}, {0, "SATZNR", 7}});
    a.grid = false;
    a.grey_rows = rows;
    a.grey_columns = columns;
    RPTDBFDATEN::print(nullptr, true, *s, a);
    report::set_preview_hook({});
    return out.convertToFormat(QImage::Format_RGB32);
  };
  auto grey = [](QRgb p) { return qRed(p) > 200 && qRed(p) < 240 && qRed(p) == qGreen(p); };
  const QImage plain = render(false, false, 1);
  const QImage rows1 = render(true, false, 1);
  const QImage rows2 = render(true, false, 2);
  const QImage cols = render(false, true, 1);
  ASSERT_FALSE(plain.isNull());
  const int base = count_pixels(plain, grey);  // the heading row
  EXPECT_GT(count_pixels(rows1, grey), base + 1000);
  EXPECT_GT(count_pixels(cols, grey), base + 1000);
  // Bands of grey lines from the top: the headings first, then every second line.
  auto bands = [&](const QImage& img) { return pttest::shaded_bands(img, grey); };
  const auto b1 = bands(rows1);
  ASSERT_GE(b1.size(), 3u);
  // The line under the headings is white, the next one grey: the gap is one line high.
  const int line = b1[1].second - b1[1].first;
  EXPECT_GE(b1[1].first - b1[0].second, line * 8 / 10);
  // The next page starts the same way.
  EXPECT_EQ(bands(rows2), b1);
  EXPECT_EQ(s->table()->recno(), 7u);
}

}  // namespace
}  // namespace mv

namespace mv {
namespace {

// Cancels the print run at its tenth page (the dry run, counted in percent, goes on).
class CancelAtTen : public report::JobProgress {
 public:
  void start(const QString&, const QString&, uint32_t steps) override { pages_ = steps != 100; }
  bool step(uint32_t n) override { return !pages_ || n < 10; }
  void finish() override {}

 private:
  bool pages_ = false;
};

TEST_F(Records, CancelInTheProgressWindowStopsWithinAPageAndTheRecordStays) {
  auto s = generated(2000);
  ASSERT_TRUE(s->table()->go_to(3).is_ok());
  set_print_progress_factory([] { return std::make_unique<CancelAtTen>(); });
  int drawn = 0;
  report::set_page_observer([&](int, const std::vector<QByteArray>&) { ++drawn; });
  RPTDBFDATEN::Arguments a;
  a.columns = cols({{1, "", 0}});
  RPTDBFDATEN::print(nullptr, false, *s, a);
  report::set_page_observer({});
  set_print_progress_factory({});
  EXPECT_EQ(drawn, 10);
  EXPECT_FALSE(QFile::exists(pdf_));  // a cancelled print leaves no file
  EXPECT_EQ(s->table()->recno(), 3u);
  EXPECT_FALSE(s->notifications_suspended());
}

}  // namespace
}  // namespace mv
