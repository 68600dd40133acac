// bench-deps: mv_grid mv_gui mv_table mv_runtime mv_base Qt6::Widgets
// Opening the grid on a large table and scrolling to its end must not depend on the
// number of records: the model reads only the rows on screen.
#include <QApplication>
#include <QDir>
#include <QScrollBar>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <map>

#include "platform/grid/gridbrowser.h"
#include "platform/grid/griddbserver.h"
#include "platform/table/table.h"

namespace {

QTemporaryDir& work_dir() {
  static QTemporaryDir dir;
  return dir;
}

// One table per size, written once.
const std::string& table_of(int64_t records) {
  static std::map<int64_t, std::string> made;
  auto it = made.find(records);
  if (it != made.end()) return it->second;
  const std::string path = (work_dir().path() + QString("/t%1.dbf").arg(records)).toStdString();
  std::vector<mv::StructRow> fields = {{"NAME", 'C', 20, 0}, {"BETRAG", 'N', 10, 2}, {"DATUM", 'D', 8, 0}};
  if (!mv::db_create(path, fields, "DBFNTX").is_ok()) std::abort();
  mv::OpenOptions o;
  o.shared = false;
  auto t = mv::Table::open(path, o);
  if (!t.is_ok()) std::abort();
  for (int64_t i = 1; i <= records; ++i) {
    if (!(*t)->append_blank().is_ok()) std::abort();
    (*t)->field_put(1, mv::Value::character("Name " + std::to_string(i))).ignore();
    (*t)->field_put(2, mv::Value::numeric(double(i) / 4, 10, 2)).ignore();
  }
  (*t)->close().ignore();
  return made.emplace(records, path).first->second;
}

void BM_OpenGridAndScrollToEnd(benchmark::State& state) {
  const std::string& path = table_of(state.range(0));
  for (auto _ : state) {
    mv::OpenOptions o;
    o.shared = true;
    auto t = mv::Table::open(path, o);
    if (!t.is_ok()) std::abort();
    mv::grid::GRIDDBSERVER server(std::move(*t));
    server.add_all_field_columns();
    mv::grid::GRIDBROWSER grid;
    grid.resize(800, 600);
    grid.set_server(&server);
    grid.show();
    QCoreApplication::processEvents();
    server.GOBOTTOM();
    grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum());
    QCoreApplication::processEvents();
    grid.viewport()->repaint();
    benchmark::DoNotOptimize(server.data(server.index(server.rowCount() - 1, 0), Qt::DisplayRole));
    state.counters["rows_read"] = double(server.records_read());
  }
}
BENCHMARK(BM_OpenGridAndScrollToEnd)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
