// The field list and the index list: read back from the PDFs they make, their options,
// their titles and columns on the engine double, their grey and frames on a drawn page.
#include <gtest/gtest.h>

#include <QDate>
#include <QFile>
#include <map>

#include "platform/report/preview.h"
#include "platform/table/table.h"
#include "platform/table/transfer.h"
#include "printing/table_lists.h"
#include "printing_helpers.h"
#include "tablewindow/orders.h"
#include "tests/support/fixtures.h"

namespace mv {
namespace {

using pttest::pdf_pages;
using pttest::pdf_text;
using pttest::RecordingContext;
using pttest::text_lines;

class Lists : public ::testing::Test {
 protected:
  void SetUp() override {
    pdf_ = QString::fromStdString(dir_.file("list.pdf"));
    report::set_pdf_route(pdf_);
  }
  void TearDown() override {
    report::set_pdf_route(QString());
    report::set_preview_hook({});
  }
  std::unique_ptr<Table> open(const std::string& fixture, const std::string& file, const std::string& driver) {
    const std::string from = testing::fixture_case(fixture);
    if (from.empty()) return nullptr;
    OpenOptions o;
    o.driver = driver;
    o.read_only = true;
    auto t = Table::open(from + "/" + file, o);
    return t ? std::move(*t) : nullptr;
  }
  // Every page ends with its footer; the facts stand on page 1 only.
  void check_pages(const QString& first_fact) {
    const int n = pdf_pages(pdf_);
    ASSERT_GE(n, 1);
    for (int k = 1; k <= n; ++k) {
      const QStringList lines = text_lines(pdf_text(pdf_, k));
      ASSERT_FALSE(lines.isEmpty()) << k;
      EXPECT_EQ(lines.last(), QStringLiteral("Seite: %1 von %2").arg(k).arg(n)) << k;
      EXPECT_EQ(lines.join('\n').contains(first_fact), k == 1) << k;
    }
  }
  testing::TempDir dir_;
  QString pdf_;
};

TEST_F(Lists, FieldListOfAFixtureTable) {
  auto t = open("peer/ntx-nomemo", "ADRESSEN.DBF", "DBFNTX");
  if (!t) GTEST_SKIP() << "fixture missing";
  print_field_list(nullptr, false, *t, QString(), {});
  const QString text = pdf_text(pdf_);
  EXPECT_TRUE(text.contains(QStringLiteral("Struktur: ") + QString::fromStdString(t->path()))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("Total Records: 400 per ") + QDate::currentDate().toString("dd.MM.yyyy")));
  EXPECT_TRUE(text.contains(QStringLiteral("Record size in bytes: 76")));
  EXPECT_TRUE(text.contains(QStringLiteral("Datum: ") + QDate::currentDate().toString("dd.MM.yyyy")));
  for (const char* s : {"C => Character", "N => Numeric", "D => Date", "L => Logic", "Feldname", "Länge", "BETRAG"})
    EXPECT_TRUE(text.contains(QString::fromUtf8(s))) << s;
  EXPECT_EQ(pdf_pages(pdf_), 1);
  check_pages(QStringLiteral("Total Records: "));
}

TEST_F(Lists, FieldListOverSeveralPagesWithATypeNoListNames) {
  const std::string path = dir_.file("VIELE.DBF");
  std::vector<StructRow> fields;
  for (int i = 1; i <= 110; ++i) fields.push_back({"FELD" + std::to_string(i), 'C', 5, 0});
  const Status created = db_create(path, fields, "DBFCDX");
  ASSERT_TRUE(created.is_ok()) << created.to_string();
  OpenOptions o;
  o.driver = "DBFCDX";
  auto t = Table::open(path, o);
  ASSERT_TRUE(t);
  // A type letter the lists do not name (an integer field of another program's table).
  std::vector<StructRow> listed = (*t)->dbstruct();
  listed.push_back({"ZAHL", 'I', 4, 0});
  RPTARRAYDATEN::print(nullptr, false, field_list_columns(), field_list_rows(listed),
                       QStringLiteral("Struktur: ") + QString::fromStdString(path), QString(), {}, listed_table(**t));
  EXPECT_GE(pdf_pages(pdf_), 2);
  EXPECT_TRUE(pdf_text(pdf_).contains(QStringLiteral("I => "))) << pdf_text(pdf_).toStdString();
  EXPECT_FALSE(pdf_text(pdf_).contains(QStringLiteral("I => C")));
  check_pages(QStringLiteral("Total Records: "));
}

TEST_F(Lists, IndexListOfAFixtureTable) {
  auto t = open("peer/cdx-nomemo", "ADRESSEN.DBF", "DBFCDX");
  if (!t) GTEST_SKIP() << "fixture missing";
  AttachedOrders a = attach_orders(*t);
  std::vector<ListedOrder> orders;
  for (int i = 1; i <= a.orders->count(); ++i) orders.push_back({a.orders->info(i).name, a.orders->info(i).key});
  ASSERT_FALSE(orders.empty());
  print_index_list(nullptr, false, *t, orders, QString(), {});
  const QString text = pdf_text(pdf_);
  EXPECT_TRUE(text.contains(QStringLiteral("Index: ") + QString::fromStdString(t->path())));
  EXPECT_TRUE(text.contains(QStringLiteral("Datenbanktreiber: DBFCDX")));
  EXPECT_TRUE(text.contains(QStringLiteral("Indexsuffix: .CDX")));
  EXPECT_TRUE(text.contains(QStringLiteral("Schlüsselausdruck")));
  for (const ListedOrder& o : orders) EXPECT_TRUE(text.contains(o.name)) << o.name.toStdString();
  check_pages(QStringLiteral("Datenbanktreiber: "));
}

TEST_F(Lists, EmptyIndexListIsOnePage) {
  auto t = open("peer/ntx-nomemo", "ADRESSEN.DBF", "DBFNTX");
  if (!t) GTEST_SKIP() << "fixture missing";
  print_index_list(nullptr, false, *t, {}, QString(), {});
  EXPECT_EQ(pdf_pages(pdf_), 1);
  const QString text = pdf_text(pdf_);
  for (const char* s :
       {"Nr.", "Indexname", "Schlüsselausdruck", "Datenbanktreiber: DBFNTX", "Indexsuffix: .NTX", "Seite: 1 von 1"})
    EXPECT_TRUE(text.contains(QString::fromUtf8(s))) << s;
}

TEST(ListOptionsTest, TableValuesDecideBothWaysEmptyOnesFallBack) {
  struct Case {
    const char* name;
    std::map<QString, QString> history;  // keys of the table's section
    std::map<QString, QString> runtime;  // keys of the product INI's "Runtime"
    QString section;
    ListOptions expected;
  } cases[] = {
      {"no section reads nothing",
       {{"Gitter", "Ja"}, {"Schrift", "12"}},
       {{"ZeileGrau", "Nein"}},
       "",
       {10, false, true, false}},
      {"defaults", {}, {}, "T", {10, false, true, false}},
      {"product grid, table says no", {{"Gitter", "Nein"}}, {{"Gitter", "Ja"}}, "T", {10, false, true, false}},
      {"product grid, table empty", {{"Gitter", ""}}, {{"Gitter", "ja"}}, "T", {10, true, true, false}},
      {"table switches grey rows on", {{"ZeileGrau", "JA"}}, {{"ZeileGrau", "Nein"}}, "T", {10, false, true, false}},
      {"table switches grey rows off", {{"ZeileGrau", "nein"}}, {}, "T", {10, false, false, false}},
      {"grey columns off over product",
       {{"SpalteGrau", "Nein"}},
       {{"SpalteGrau", "Ja"}},
       "T",
       {10, false, true, false}},
      {"grey columns from product", {}, {{"SpalteGrau", "Ja"}}, "T", {10, false, true, true}},
      {"font 12", {{"Schrift", "12"}}, {}, "T", {12, false, true, false}},
      {"font abc", {{"Schrift", "abc"}}, {}, "T", {10, false, true, false}},
      {"font too large", {{"Schrift", "400"}}, {}, "T", {10, false, true, false}},
      {"font too small", {{"Schrift", "3"}}, {}, "T", {10, false, true, false}},
      {"font 72", {{"Schrift", " 72 "}}, {}, "T", {72, false, true, false}},
  };
  for (const Case& c : cases) {
    ListSettings ini;
    ini.history = [&](const QString& s, const QString& k) {
      EXPECT_EQ(s, c.section);
      auto it = c.history.find(k);
      return it == c.history.end() ? QString() : it->second;
    };
    ini.product = [&](const QString& s, const QString& k) {
      EXPECT_EQ(s, "Runtime");
      auto it = c.runtime.find(k);
      return it == c.runtime.end() ? QString() : it->second;
    };
    ListOptions defaults;
    defaults.grey_rows = true;
    EXPECT_EQ(read_list_options(ini, c.section, defaults), c.expected) << c.name;
  }
}

// The array list on the engine double: 600 units per inch, 4500 wide.
struct DoubleList {
  RecordingContext ctx;
  RPTARRAYDATEN list;
  RPPRINTER dev;
  DoubleList(std::vector<ArrayColumn> cols, std::vector<QStringList> rows, const QString& title)
      : list(std::move(cols), std::move(rows), title, QString(), {}, {}), dev(nullptr, &list) {
    list.NELINEFACTOR = 1.2;
    dev.use_fixed_setup(600, 600, 4500, 6000, &ctx);
    dev.begin_run(1);
    list.PRINTSTART(dev);
  }
};

TEST(ArrayList, TitleShrinksFrom14To12To10Points) {
  // Characters half as wide as the font is high: the date "Datum: 31.12.2005" in Arial 10
  // takes 17 × 41 units, leaving 3803 for the title.
  struct Case {
    int length;
    int height;
  } cases[] = {{60, -117}, {70, -100}, {85, -83}, {200, -83}};
  for (const Case& c : cases) {
    const QString title = QStringLiteral("S") + QString(c.length - 1, QLatin1Char('x'));
    DoubleList d({{QStringLiteral("Nr."), 4, 2}}, {{QStringLiteral("1")}}, title);
    d.ctx.scale_with_font = true;
    // Whatever font the device holds before, the date is measured in Arial 10.
    d.dev.SETFONT(QStringLiteral("Arial"), 40);
    d.ctx.clear();
    d.list.NEPAGE = 1;
    d.list.PRINTPAGEHEADER(d.dev, true);
    auto it =
        std::find_if(d.ctx.texts.begin(), d.ctx.texts.end(), [&](const auto& t) { return t.text.startsWith('S'); });
    ASSERT_NE(it, d.ctx.texts.end()) << c.length;
    EXPECT_EQ(it->font.height, c.height) << c.length;
    EXPECT_EQ(it->font.weight, 700);
    EXPECT_TRUE(it->font.italic);
  }
}

TEST(ArrayList, ColumnCrossingTheRightEdgeIsTheLastDrawn) {
  // 50 units a character: A ends at 2050, B at 5100 beyond 4500, so C is left out.
  DoubleList d({{QStringLiteral("AA"), 40, 0}, {QStringLiteral("BB"), 60, 0}, {QStringLiteral("CC"), 10, 0}},
               {{QStringLiteral("a1"), QStringLiteral("b1"), QStringLiteral("c1")},
                {QStringLiteral("a2"), QStringLiteral("b2"), QStringLiteral("c2")}},
               QStringLiteral("Index: x"));
  d.ctx.clear();
  d.dev.draw_page(d.ctx, 1);
  QStringList texts;
  for (const auto& t : d.ctx.texts) texts << t.text;
  for (const char* s : {"AA", "BB", "a1", "b1", "a2", "b2"}) EXPECT_TRUE(texts.contains(s)) << s;
  for (const char* s : {"CC", "c1", "c2"}) EXPECT_FALSE(texts.contains(s)) << s;
}

// Grey and frames as they come out on a drawn page.
int count_pixels(const QImage& img, const std::function<bool(QRgb)>& pred) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (pred(img.pixel(x, y))) ++n;
  return n;
}

QImage drawn_page(const QString& gitter, const QString& zeile, const QString& spalte) {
  QImage out;
  report::set_preview_hook([&](report::PreviewWindow& w) { out = w.page_image(1, 1240); });
  ListSettings ini;
  ini.history = [=](const QString&, const QString& k) {
    if (k == "Gitter") return gitter;
    if (k == "ZeileGrau") return zeile;
    if (k == "SpalteGrau") return spalte;
    return QString();
  };
  std::vector<QStringList> rows;
  for (int i = 0; i < 20; ++i) rows.push_back({QString::number(i), QStringLiteral("x"), QStringLiteral("y")});
  RPTARRAYDATEN::print(nullptr, true, index_list_columns(), rows, QStringLiteral("Index: t"), QStringLiteral("T"), ini,
                       {});
  report::set_preview_hook({});
  return out;
}

TEST(ArrayList, GreyRowsGreyColumnsAndFramesOnTheDrawnPage) {
  auto grey = [](QRgb p) { return qRed(p) == 230 && qGreen(p) == 230 && qBlue(p) == 230; };
  auto dark = [](QRgb p) { return qGray(p) < 80; };
  const QImage plain = drawn_page("Nein", "Nein", "Nein");
  const QImage rows = drawn_page("Nein", "Ja", "Nein");
  const QImage cols = drawn_page("Nein", "Nein", "Ja");
  const QImage grid = drawn_page("Ja", "Nein", "Nein");
  ASSERT_FALSE(plain.isNull());
  const int plain_grey = count_pixels(plain, grey);
  EXPECT_GT(plain_grey, 0);  // the heading row is grey
  EXPECT_GT(count_pixels(rows, grey), plain_grey + 1000);
  EXPECT_GT(count_pixels(cols, grey), count_pixels(rows, grey));  // a column is longer than a row is wide
  EXPECT_GT(count_pixels(grid, dark), count_pixels(plain, dark) + 1000);
}

}  // namespace
}  // namespace mv
