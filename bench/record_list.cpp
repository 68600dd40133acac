// bench-deps: mv_printing mv_report mv_components mv_grid mv_gui mv_table mv_runtime mv_base Qt6::Widgets
// Qt6::PrintSupport The record list of a 100,000-record table (5 columns, frames on): its PDF against a plain QPainter
// loop that walks the same records through the table layer and writes the same texts and frames; the heap at page 20
// and at the last page; the preview's first page against the plain loop, and its last page against page 2.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <cstdio>

#include "platform/grid/griddbserver.h"
#include "platform/report/preview.h"
#include "platform/table/table.h"
#include "platform/table/transfer.h"
#include "printing/rptdbfdaten.h"

namespace {

constexpr int kRecords = 100000;

QTemporaryDir& work_dir() {
  static QTemporaryDir dir;
  return dir;
}

// The table, written once: K C10, Z N8.2, D D, L L, T C20.
std::string table_path() {
  static std::string path = [] {
    const std::string p = work_dir().path().toStdString() + "/BENCH.DBF";
    if (!mv::db_create(p, {{"K", 'C', 10, 0}, {"Z", 'N', 8, 2}, {"D", 'D', 8, 0}, {"L", 'L', 1, 0}, {"T", 'C', 20, 0}},
                       "DBFNTX")
             .is_ok())
      return std::string();
    auto t = mv::Table::open(p, mv::OpenOptions{});
    if (!t) return std::string();
    char rec[49];
    for (int i = 1; i <= kRecords; ++i) {
      std::snprintf(rec, sizeof rec, " K%-9d%8.2f%04d%02d%02d%c%-20s", i, i * 0.25, 2000 + i % 20, 1 + i % 12,
                    1 + i % 28, i % 2 ? 'T' : 'F', "Text der Zeile");
      if (!(*t)->append_record({reinterpret_cast<const uint8_t*>(rec), 48}).is_ok()) return std::string();
    }
    (*t)->close().ignore();
    return p;
  }();
  return path;
}

std::unique_ptr<mv::grid::GRIDDBSERVER> open_server() {
  auto t = mv::Table::open(table_path(), mv::OpenOptions{});
  if (!t) return nullptr;
  (*t)->go_top().ignore();
  return std::make_unique<mv::grid::GRIDDBSERVER>(std::move(*t));
}

mv::RPTDBFDATEN::Arguments arguments() {
  mv::RPTDBFDATEN::Arguments a;
  a.columns = std::vector<mv::ReportColumn>{{1, "", 0}, {2, "", 0}, {3, "", 0}, {4, "", 0}, {5, "", 0}};
  a.title = QStringLiteral("/daten/BENCH.DBF");
  return a;
}

class NoProgress : public mv::report::JobProgress {
 public:
  void start(const QString&, const QString&, uint32_t) override {}
  bool step(uint32_t) override { return true; }
  void finish() override {}
};

double g_plain_seconds = 0;

size_t heap_in_use() { return mallinfo2().uordblks; }

void BM_PlainPainterRecords(benchmark::State& state) {
  for (auto _ : state) {
    QElapsedTimer timer;
    timer.start();
    auto t = mv::Table::open(table_path(), mv::OpenOptions{});
    if (!t) {
      state.SkipWithError("no table");
      return;
    }
    mv::Table& tb = **t;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(work_dir().path() + QStringLiteral("/plain.pdf"));
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(0.5512, 0.3937, 0.3937, 0.4724), QPageLayout::Inch));
    QPainter p(&printer);
    const int res = printer.resolution();
    QFont body(QStringLiteral("Liberation Sans"));
    body.setPixelSize(10 * res / 72);
    QFont title = body;
    title.setPixelSize(14 * res / 72);
    title.setBold(true);
    const QFontMetricsF fm(body);
    const double h = (fm.ascent() + fm.descent() + fm.leading()) * 1.2;
    const double c = fm.averageCharWidth();
    const QRectF area = printer.pageLayout().paintRectPixels(res);
    const double widths[] = {10 * c, 8 * c, 10 * c, 1 * c, 20 * c};
    const QColor grey(230, 230, 230);
    int page = 0;
    tb.go_top().ignore();
    while (!tb.eof()) {
      if (page++) printer.newPage();
      p.setFont(title);
      p.drawText(QPointF(0, fm.ascent()), QStringLiteral("/daten/BENCH.DBF"));
      p.setFont(body);
      p.drawText(QPointF(area.width() - 1800, fm.ascent()), QStringLiteral("Datum: 31.12.2005"));
      double y = 3 * h, x = 0;
      for (double w : widths) {
        p.fillRect(QRectF(x, y, w + c, h), grey);
        p.drawRect(QRectF(x, y, w + c, h));
        p.drawText(QPointF(x + c / 2, y + fm.ascent()), QStringLiteral("K"));
        x += w + c;
      }
      y += h;
      while (!tb.eof() && y <= area.height() - h) {
        x = 0;
        for (int j = 0; j < 5; ++j) {
          const QString text = mv::list_cell_text(tb, j + 1);
          p.drawText(QPointF(x + c / 2, y + fm.ascent()), text);
          p.drawRect(QRectF(x, y, widths[j] + c, h));
          x += widths[j] + c;
        }
        y += h;
        tb.skip(1).ignore();
      }
      p.drawText(QPointF(area.width() - 1500, area.height() + h / 2 + fm.ascent()),
                 QStringLiteral("Seite: %1 von %2").arg(page).arg(page));
    }
    p.end();
    const double s = timer.nsecsElapsed() / 1e9;
    g_plain_seconds = s;
    state.counters["pages_per_s"] = page / s;
    state.counters["pages"] = page;
  }
}

void BM_RecordListPdf(benchmark::State& state) {
  mv::set_print_progress_factory([] { return std::make_unique<NoProgress>(); });
  mv::report::set_pdf_route(work_dir().path() + QStringLiteral("/list.pdf"));
  for (auto _ : state) {
    auto s = open_server();
    if (!s) {
      state.SkipWithError("no table");
      return;
    }
    int pages = 0;
    size_t at20 = 0, last = 0;
    mv::report::set_page_observer([&](int, const std::vector<QByteArray>&) {
      ++pages;
      if (pages == 20) at20 = heap_in_use();
      last = heap_in_use();
    });
    QElapsedTimer t;
    t.start();
    mv::RPTDBFDATEN::print(nullptr, false, *s, arguments());
    const double secs = t.nsecsElapsed() / 1e9;
    mv::report::set_page_observer({});
    state.counters["pages"] = pages;
    state.counters["pages_per_s"] = pages / secs;
    if (g_plain_seconds > 0) state.counters["time_vs_plain"] = secs / g_plain_seconds;
    state.counters["heap_growth_mb_page20_to_last"] = (double(last) - double(at20)) / (1024.0 * 1024.0);
  }
  mv::report::set_pdf_route(QString());
  mv::set_print_progress_factory({});
}

void BM_RecordListPreview(benchmark::State& state) {
  mv::set_print_progress_factory([] { return std::make_unique<NoProgress>(); });
  for (auto _ : state) {
    auto s = open_server();
    if (!s) {
      state.SkipWithError("no table");
      return;
    }
    QElapsedTimer t;
    double first = 0, second = 0, last = 0;
    mv::report::set_preview_hook([&](mv::report::PreviewWindow& w) {
      first = t.nsecsElapsed() / 1e9;
      QElapsedTimer p;
      p.start();
      w.page_image(2, 801);
      second = p.nsecsElapsed() / 1e9;
      p.restart();
      w.page_image(mv::report::kLastPage, 801);
      last = p.nsecsElapsed() / 1e9;
    });
    t.start();
    mv::RPTDBFDATEN::print(nullptr, true, *s, arguments());
    mv::report::set_preview_hook({});
    state.counters["first_page_s"] = first;
    state.counters["page2_s"] = second;
    state.counters["last_page_s"] = last;
    if (g_plain_seconds > 0) state.counters["first_page_share_of_plain"] = first / g_plain_seconds;
  }
  mv::set_print_progress_factory({});
}

}  // namespace

BENCHMARK(BM_PlainPainterRecords)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordListPdf)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordListPreview)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
