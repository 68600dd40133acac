// bench-deps: mv_printing mv_report mv_components mv_gui mv_table mv_base Qt6::Widgets Qt6::PrintSupport
// The array list of 100,000 rows: its PDF against a plain QPainter loop writing the same
// texts and frames at the same resolution; its preview's first page, the cost of the
// last page against page 2, and the memory while paging through 500 pages.
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

}  // namespace

BENCHMARK(BM_PlainPainterPdf)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArrayListPdf)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArrayListPreview)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
