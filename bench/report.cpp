// bench-deps: mv_calendar_report mv_printing mv_report mv_components mv_grid mv_gui mv_table mv_runtime mv_base Qt6::Widgets Qt6::PrintSupport
// The array list of 100,000 rows: its PDF against a plain QPainter loop writing the same
// texts and frames at the same resolution; its preview's first page, the cost of the
// last page against page 2, and the memory while paging through 500 pages. The calendar's
// grid list of 10,000 appointment rows into a PDF against a plain QPainter loop drawing the
// same cells.
#include <benchmark/benchmark.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <fstream>
#include <string>

#include "calendar/core/report/rptgridarrayserver.h"
#include "platform/grid/gridbrowser.h"
#include "platform/report/preview.h"
#include "printing/rptarraydaten.h"
#include "printing/table_lists.h"

namespace {

constexpr int kRows = 100000;

QTemporaryDir& work_dir() {
  static QTemporaryDir dir;
  return dir;
}

const std::vector<QStringList>& rows() {
  static std::vector<QStringList> r = [] {
    std::vector<QStringList> v;
    v.reserve(kRows);
    for (int i = 1; i <= kRows; ++i)
      v.push_back({QString::number(i), QStringLiteral("ORDER%1").arg(i % 1000),
                   QStringLiteral("UPPER(NAME)+DTOS(DATUM)+STR(%1)").arg(i)});
    return v;
  }();
  return r;
}

long rss_kb() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

class NoProgress : public mv::report::JobProgress {
 public:
  void start(const QString&, const QString&, uint32_t) override {}
  bool step(uint32_t) override { return true; }
  void finish() override {}
};

double g_plain_seconds = 0;
int g_pages = 0;

void BM_ArrayListPdf(benchmark::State& state) {
  const QString pdf = work_dir().path() + QStringLiteral("/list.pdf");
  mv::report::set_pdf_route(pdf);
  int pages = 0;
  mv::report::set_page_observer([&](int, const std::vector<QByteArray>&) { ++pages; });
  for (auto _ : state) {
    pages = 0;
    QElapsedTimer t;
    t.start();
    mv::RPTARRAYDATEN::print(nullptr, false, mv::index_list_columns(), rows(),
                             QStringLiteral("Index: /daten/BENCH.DBF"), QString(), {}, {});
    state.counters["pages_per_s"] = pages / (t.nsecsElapsed() / 1e9);
  }
  g_pages = pages;
  state.counters["pages"] = pages;
  mv::report::set_page_observer({});
  mv::report::set_pdf_route(QString());
}

// The same texts and frames, drawn straight with QPainter: title, date, heading cells,
// grey every second row, footer, at the printer's resolution, as many pages.
void BM_PlainPainterPdf(benchmark::State& state) {
  for (auto _ : state) {
    QElapsedTimer t;
    t.start();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(work_dir().path() + QStringLiteral("/plain.pdf"));
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(0.5512, 0.3937, 0.3937, 0.4724), QPageLayout::Inch));
    QPainter p(&printer);
    const int res = printer.resolution();
    auto font = [&](int points, bool bold) {
      QFont f(QStringLiteral("Liberation Sans"));
      f.setPixelSize(points * res / 72);
      f.setBold(bold);
      f.setItalic(bold);
      return f;
    };
    const QFont body = font(10, false), head = font(10, true), title = font(14, true);
    const QFontMetricsF fm(body);
    const double h = (fm.ascent() + fm.descent() + fm.leading()) * 1.2;
    const double c = fm.averageCharWidth() * 1.5;
    const QRectF area = printer.pageLayout().paintRectPixels(res);
    const double widths[] = {4 * c, 14 * c, 48 * c};
    const QColor grey(230, 230, 230);
    int row = 0, page = 0;
    const auto& data = rows();
    while (row < int(data.size())) {
      if (page++) printer.newPage();
      p.setFont(title);
      p.drawText(QPointF(0, fm.ascent()), QStringLiteral("Index: /daten/BENCH.DBF"));
      p.setFont(body);
      p.drawText(QPointF(area.width() - 1800, fm.ascent()), QStringLiteral("Datum: 31.12.2005"));
      double y = 3 * h;
      p.setFont(head);
      double x = 0;
      for (int j = 0; j < 3; ++j) {
        p.fillRect(QRectF(x + c / 2, y, widths[j], h), grey);
        p.drawText(QPointF(x + c / 2, y + fm.ascent()), QStringLiteral("Heading"));
        x += widths[j] + c;
      }
      y += h;
      p.setFont(body);
      int k = 0;
      while (row < int(data.size()) && y + h / 1.2 < area.height()) {
        x = 0;
        for (int j = 0; j < 3; ++j) {
          if (k % 2) p.fillRect(QRectF(x + c / 2, y, widths[j], h), grey);
          p.drawText(QPointF(x + c / 2, y + fm.ascent()), data[size_t(row)][j]);
          x += widths[j] + c;
        }
        y += h;
        ++k;
        ++row;
      }
      p.drawText(QPointF(area.width() - 1500, area.height() + h / 2 + fm.ascent()),
                 QStringLiteral("Seite: %1 von %2").arg(page).arg(page));
    }
    p.end();
    const double s = t.nsecsElapsed() / 1e9;
    g_plain_seconds = s;
    state.counters["pages_per_s"] = page / s;
    state.counters["pages"] = page;
  }
}

// The preview: page 1 on the screen (dry run included), page 2 and the last page, and
// the memory growth while paging through 500 pages.
void BM_ArrayListPreview(benchmark::State& state) {
  mv::set_print_progress_factory([] { return std::make_unique<NoProgress>(); });
  for (auto _ : state) {
    QElapsedTimer t;
    double first = 0, second = 0, last = 0;
    long grown = 0;
    mv::report::set_preview_hook([&](mv::report::PreviewWindow& w) {
      first = t.nsecsElapsed() / 1e9;  // the window drew page 1 as it opened
      QElapsedTimer p;
      p.start();
      w.page_image(2, 801);
      second = p.nsecsElapsed() / 1e9;
      p.restart();
      w.page_image(mv::report::kLastPage, 801);
      last = p.nsecsElapsed() / 1e9;
      for (int i = 1; i <= 20; ++i) w.page_image(i, 800);
      const long before = rss_kb();
      for (int i = 21; i <= 520; ++i) w.page_image(i, 800);
      grown = rss_kb() - before;
    });
    t.start();
    mv::RPTARRAYDATEN::print(nullptr, true, mv::index_list_columns(), rows(), QStringLiteral("Index: /daten/BENCH.DBF"),
                             QString(), {}, {});
    mv::report::set_preview_hook({});
    state.counters["first_page_s"] = first;
    state.counters["page2_s"] = second;
    state.counters["last_page_s"] = last;
    state.counters["rss_growth_kb_500_pages"] = double(grown);
    if (g_plain_seconds > 0) state.counters["first_page_share_of_plain"] = first / g_plain_seconds;
  }
  mv::set_print_progress_factory({});
}

// ---------------------------------------------------------------- the calendar's grid list

constexpr int kAppointments = 10000;

const QVector<QVariantList>& appointment_rows() {
  static QVector<QVariantList> r = [] {
    QVector<QVariantList> v;
    v.reserve(kAppointments);
    for (int i = 0; i < kAppointments; ++i)
      v.push_back({i % 7 ? QStringLiteral(" ") : QStringLiteral("ab"), QDate(2024, 1, 1).addDays(i % 366),
                   QStringLiteral("%1:%2:00").arg(8 + i % 10, 2, 10, QLatin1Char('0')).arg(i % 60, 2, 10, QLatin1Char('0')),
                   QStringLiteral("Familie"), QStringLiteral("Geburtstage"),
                   QStringLiteral("Termin Nummer %1 mit einer Bemerkung").arg(i + 1), i + 1});
    return v;
  }();
  return r;
}

std::vector<mv::grid::ArrayField> appointment_structure() {
  return {{QStringLiteral("Serie"), 'C', 6, 0},        {QStringLiteral("Datum"), 'D', 10, 0},
          {QStringLiteral("Uhrzeit"), 'C', 8, 0},      {QStringLiteral("HauptGruppe"), 'C', 24, 0},
          {QStringLiteral("UnterGruppe"), 'C', 24, 0}, {QStringLiteral("Bemerkung"), 'C', 64, 0},
          {QStringLiteral("DBSatz"), 'N', 6, 0}};
}

double g_plain_grid_seconds = 0;

// The same cells drawn straight with QPainter: title, subtitle and date, the grey heading
// cells, every row's texts (the date formatted, every second row grey), the footer.
void BM_PlainPainterGridPdf(benchmark::State& state) {
  const auto& data = appointment_rows();
  double total = 0;
  for (auto _ : state) {
    QElapsedTimer t;
    t.start();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(work_dir().path() + QStringLiteral("/plain_grid.pdf"));
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(0.5906, 0.3937, 0.3937, 0.3937), QPageLayout::Inch));
    QPainter p(&printer);
    const int res = printer.resolution();
    auto font = [&](int points, bool bold, bool italic) {
      QFont f(QStringLiteral("Liberation Sans"));
      f.setPixelSize(points * res / 72);
      f.setBold(bold);
      f.setItalic(italic);
      return f;
    };
    const QFont body = font(9, false, false), head = font(9, true, true), title = font(12, true, false),
                small = font(10, false, false);
    const QFontMetricsF fm(body);
    const double h = (fm.ascent() + fm.descent() + fm.leading()) * 1.2;
    const double c = fm.averageCharWidth() * 1.5;
    const QRectF area = printer.pageLayout().paintRectPixels(res);
    const double widths[] = {3 * c, 9 * c, 7 * c, 10 * c, 10 * c, 30 * c};
    const QString names[] = {"Serie", "Datum", "Uhrzeit", "HauptGruppe", "UnterGruppe", "Bemerkung"};
    const QColor grey(230, 230, 230);
    int row = 0, page = 0;
    while (row < int(data.size())) {
      if (page++) printer.newPage();
      p.setFont(title);
      p.drawText(QPointF(0, fm.ascent()), QStringLiteral("Termine für ein Jahr ab: 2024"));
      p.setFont(small);
      p.drawText(QPointF(0, h + fm.ascent()), QStringLiteral("Gruppe: Familie"));
      p.drawText(QPointF(area.width() - 1800, h + fm.ascent()), QStringLiteral("Datum: 31.12.2005"));
      double y = 3 * h;
      p.setFont(head);
      double x = 0;
      for (int j = 0; j < 6; ++j) {
        p.fillRect(QRectF(x, y, widths[j], h), grey);
        p.drawText(QRectF(x, y, widths[j], h), Qt::AlignHCenter | Qt::AlignTop, names[j]);
        x += widths[j] + c;
      }
      y += h;
      p.setFont(body);
      int k = 0;
      while (row < int(data.size()) && y + h < area.height() - h / 3) {
        const QVariantList& r = data[row];
        x = 0;
        for (int j = 0; j < 6; ++j) {
          if (k % 2) p.fillRect(QRectF(x, y, widths[j], h), grey);
          const QString text = j == 1 ? r[j].toDate().toString(QStringLiteral("dd.MM.yyyy")) : r[j].toString();
          p.drawText(QPointF(x + c / 2, y + fm.ascent()), text);
          x += widths[j] + c;
        }
        y += h;
        ++k;
        ++row;
      }
      p.setFont(small);
      p.drawText(QPointF(area.width() - 1500, area.height() - h / 3 + fm.ascent()),
                 QStringLiteral("Seite: %1 von %2").arg(page).arg(page));
    }
    p.end();
    total += t.nsecsElapsed() / 1e9;
    state.counters["pages"] = page;
  }
  g_plain_grid_seconds = total / double(state.iterations());
}

// The same rows through the grid list report (dry run, column fitting, every page).
void BM_GridListPdf(benchmark::State& state) {
  mv::grid::GRIDBROWSER view;
  auto* server = new mv::grid::GRIDARRAYSERVER(&view);
  server->set_structure(appointment_structure());
  server->set_rows(appointment_rows());
  view.set_server(server);
  const QString pdf = work_dir().path() + QStringLiteral("/grid.pdf");
  mv::report::set_pdf_route(pdf);
  int pages = 0;
  mv::report::set_page_observer([&](int, const std::vector<QByteArray>&) { ++pages; });
  double total = 0;
  for (auto _ : state) {
    pages = 0;
    QElapsedTimer t;
    t.start();
    mv::kalender::RPTGRIDARRAYSERVER(nullptr, false, &view, QStringLiteral("Termine für ein Jahr ab: 2024"),
                                     QStringLiteral("Gruppe: Familie"), 9, false, false, true, false);
    total += t.nsecsElapsed() / 1e9;
  }
  // Average against average (the budget is 1.5 times the plain loop).
  if (g_plain_grid_seconds > 0) state.counters["x_plain"] = total / double(state.iterations()) / g_plain_grid_seconds;
  state.counters["pages"] = pages;
  mv::report::set_page_observer({});
  mv::report::set_pdf_route(QString());
}

}  // namespace

BENCHMARK(BM_PlainPainterPdf)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArrayListPdf)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArrayListPreview)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainPainterGridPdf)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GridListPdf)->Iterations(5)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
