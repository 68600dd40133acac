// bench-deps: mv_tablewindow mv_components mv_grid mv_gui mv_os mv_table mv_runtime mv_base Qt6::Widgets
// Opening a table in the table window and going to its last record must cost the same for
// ten thousand records as for a million: the grid's rows are a window of the records it
// shows, and the deleted filter (on after every opening) is applied as the window fills.
#include <QApplication>
#include <QScrollBar>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <algorithm>
#include <chrono>
#include <map>

#include "components/dlgprogress.h"
#include "components/stdgridbrowser.h"
#include "platform/gui/messagebox.h"
#include "platform/gui/windows.h"
#include "platform/table/index/order_list.h"
#include "platform/table/table.h"
#include "platform/runtime/strings.h"
#include "platform/table/record_scan.h"
#include "tablewindow/environment.h"
#include "tablewindow/search.h"
#include "tablewindow/tab_dbfdaten.h"
#include "tablewindow/tabdw_dbfdatei.h"

namespace {

QTemporaryDir& work_dir() {
  static QTemporaryDir dir;
  return dir;
}

// One table per size, written once; every 97th record is deleted, and the last ten.
const QString& table_of(int64_t records) {
  static std::map<int64_t, QString> made;
  auto it = made.find(records);
  if (it != made.end()) return it->second;
  const QString path = work_dir().path() + QString("/T%1.DBF").arg(records);
  const std::vector<mv::StructRow> fields = {{"NAME", 'C', 20, 0}, {"BETRAG", 'N', 10, 2}, {"DATUM", 'D', 8, 0}};
  if (!mv::db_create(path.toStdString(), fields, "DBFNTX").is_ok()) std::abort();
  mv::OpenOptions o;
  o.shared = false;
  auto t = mv::Table::open(path.toStdString(), o);
  if (!t.is_ok()) std::abort();
  for (int64_t i = 1; i <= records; ++i) {
    if (!(*t)->append_blank().is_ok()) std::abort();
    (*t)->field_put(1, mv::Value::character("Name " + std::to_string(i))).ignore();
    (*t)->field_put(2, mv::Value::numeric(double(i) / 4, 10, 2)).ignore();
    if (i % 97 == 0 || i > records - 10) (*t)->delete_record().ignore();
  }
  (*t)->close().ignore();
  return made.emplace(records, path).first->second;
}

void BM_OpenTableWindowAndGoToLastRecord(benchmark::State& state) {
  const QString& path = table_of(state.range(0));
  mv::MemoryHistoryStore history;
  mv::TableWindowEnvironment env;
  env.history = &history;
  mv::set_table_window_environment(env);
  mv::gui::RecordingMessageBoxes boxes;
  mv::gui::SHELLWINDOW shell;
  shell.resize(1200, 800);
  shell.show();
  uint64_t rows_read = 0;
  for (auto _ : state) {
    auto* w = new mv::TABDW_DBFDATEI(&shell, path, true, false, false);
    w->SHOW();
    QCoreApplication::processEvents();
    w->GOBOTTOM();
    QCoreApplication::processEvents();
    w->data_page()->grid()->viewport()->repaint();
    mv::TableGridServer* s = w->server();
    if (!s || s->RECNO() != uint32_t(state.range(0)) - 10) state.SkipWithError("not on the last visible record");
    benchmark::DoNotOptimize(w->caption());
    rows_read = s ? s->records_read() : 0;
    delete w;
  }
  state.counters["rows_read"] = double(rows_read);
}
BENCHMARK(BM_OpenTableWindowAndGoToLastRecord)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// The same with a CDX table opened shared whose first index order is chosen before going
// to the last record (names grow with the record number, so the order's last visible
// record is the same as in record-number order).
const QString& cdx_table_of(int64_t records) {
  static std::map<int64_t, QString> made;
  auto it = made.find(records);
  if (it != made.end()) return it->second;
  const QString path = work_dir().path() + QString("/C%1.DBF").arg(records);
  const std::vector<mv::StructRow> fields = {{"NAME", 'C', 20, 0}, {"BETRAG", 'N', 10, 2}, {"DATUM", 'D', 8, 0}};
  if (!mv::db_create(path.toStdString(), fields, "DBFCDX").is_ok()) std::abort();
  mv::OpenOptions o;
  o.shared = false;
  o.driver = "DBFCDX";
  auto t = mv::Table::open(path.toStdString(), o);
  if (!t.is_ok()) std::abort();
  std::vector<uint8_t> rec;
  for (int64_t i = 1; i <= records; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "Name %07lld", static_cast<long long>(i));
    char line[64];
    std::snprintf(line, sizeof line, "%c%-20s%10.2f        ", i % 97 == 0 || i > records - 10 ? '*' : ' ', name,
                  double(i) / 4);
    rec.assign(line, line + 1 + 20 + 10 + 8);
    if (!(*t)->append_record(rec).is_ok()) std::abort();
  }
  auto ol = mv::OrderList::attach(**t);
  if (!ol.is_ok() || !(*ol)->create_order("NAME", "", "NAME").is_ok()) std::abort();
  ol->reset();
  (*t)->close().ignore();
  return made.emplace(records, path).first->second;
}

void BM_ChooseOrderSharedAndGoToLastRecord(benchmark::State& state) {
  const QString& path = cdx_table_of(state.range(0));
  mv::MemoryHistoryStore history;
  mv::TableWindowEnvironment env;
  env.history = &history;
  mv::set_table_window_environment(env);
  mv::gui::RecordingMessageBoxes boxes;
  mv::gui::SHELLWINDOW shell;
  shell.resize(1200, 800);
  shell.show();
  for (auto _ : state) {
    auto* w = new mv::TABDW_DBFDATEI(&shell, path, true, false, false);
    w->SHOW();
    QCoreApplication::processEvents();
    mv::TableGridServer* s = w->server();
    if (!s || !s->SETORDER(1).is_ok()) state.SkipWithError("no order to choose");
    QCoreApplication::processEvents();
    w->GOBOTTOM();
    QCoreApplication::processEvents();
    w->data_page()->grid()->viewport()->repaint();
    if (!s || s->RECNO() != uint32_t(state.range(0)) - 10) state.SkipWithError("not on the last visible record");
    delete w;
  }
}
BENCHMARK(BM_ChooseOrderSharedAndGoToLastRecord)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- record search

// A table window on the CDX table, opened exclusively, its page shown.
struct SearchWindow {
  mv::MemoryHistoryStore history;
  mv::gui::RecordingMessageBoxes boxes;
  mv::gui::SHELLWINDOW shell;
  mv::TABDW_DBFDATEI* w = nullptr;
  explicit SearchWindow(const QString& path, bool shared = false) {
    mv::TableWindowEnvironment env;
    env.history = &history;
    mv::set_table_window_environment(env);
    shell.resize(1200, 800);
    shell.show();
    w = new mv::TABDW_DBFDATEI(&shell, path, shared, false, false);
    w->SHOW();
    QCoreApplication::processEvents();
  }
  ~SearchWindow() { delete w; }
};

// Full-text search through the page (the real progress window, shown and painted) and
// through the byte engine alone. range(1) = 1: the table opened shared; range(2): the
// text, absent either way: 0 one whose letters stand nowhere, 1 one whose first letter
// stands in every record (the engine compares at every record).
const char* search_text(int64_t which) { return which == 0 ? "QXZYW" : "NQXZY"; }

void BM_SearchPageFullText(benchmark::State& state) {
  SearchWindow sw(cdx_table_of(state.range(0)), state.range(1) == 1);
  const QString text = QString::fromLatin1(search_text(state.range(2)));
  for (auto _ : state) {
    sw.w->data_page()->VOLLTEXTSUCHE(text);
    if (!sw.w->data_page()->ASUCHE.empty()) state.SkipWithError("found the absent text");
  }
}
BENCHMARK(BM_SearchPageFullText)
    ->ArgsProduct({{1000000}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_SearchEngineFullText(benchmark::State& state) {
  mv::OpenOptions o;
  o.shared = state.range(1) == 1;
  auto t = mv::Table::open(cdx_table_of(state.range(0)).toStdString(), o);
  if (!t) std::abort();
  const unsigned char* fold = mv::upper_map(mv::CaseFlavour::Full, (*t)->code_page());
  const std::string text = search_text(state.range(2));
  for (auto _ : state) {
    auto hits = mv::find_in_records(**t, text, fold, [](uint32_t, size_t) { return true; });
    benchmark::DoNotOptimize(hits);
  }
}
BENCHMARK(BM_SearchEngineFullText)
    ->ArgsProduct({{1000000}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The two above in turns on one table window, so that both see the same machine: on a
// busy one the figures of separate runs differ more than the window's share. Counters:
// the median time of each per search and their ratio (page over engine).
void BM_SearchPageOverEngine(benchmark::State& state) {
  SearchWindow sw(cdx_table_of(state.range(0)), state.range(1) == 1);
  mv::Table& t = *sw.w->server()->table();
  const unsigned char* fold = mv::upper_map(mv::CaseFlavour::Full, t.code_page());
  const std::string text = search_text(state.range(2));
  const QString qtext = QString::fromLatin1(text.c_str());
  std::vector<double> page, engine;
  auto ms_since = [](std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
  };
  for (auto _ : state) {
    auto at = std::chrono::steady_clock::now();
    sw.w->data_page()->VOLLTEXTSUCHE(qtext);
    page.push_back(ms_since(at));
    at = std::chrono::steady_clock::now();
    auto hits = mv::find_in_records(t, text, fold, [](uint32_t, size_t) { return true; });
    engine.push_back(ms_since(at));
    if (!hits || !hits->empty() || !sw.w->data_page()->ASUCHE.empty()) state.SkipWithError("found the absent text");
  }
  auto median = [](std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
  };
  state.counters["page_ms"] = median(page);
  state.counters["engine_ms"] = median(engine);
  state.counters["ratio"] = median(engine) > 0 ? median(page) / median(engine) : 0;
}
BENCHMARK(BM_SearchPageOverEngine)
    ->ArgsProduct({{1000000}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The field engine against SKIP + FIELDGET of every field.
void BM_ScanFields(benchmark::State& state) {
  SearchWindow sw(cdx_table_of(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(mv::SCANFIELDS(sw.w->server(), QStringLiteral("QXZYW")));
}
BENCHMARK(BM_ScanFields)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_SkipFieldGet(benchmark::State& state) {
  mv::OpenOptions o;
  o.shared = false;
  auto t = mv::Table::open(cdx_table_of(state.range(0)).toStdString(), o);
  if (!t) std::abort();
  mv::set_deleted_filter(true);
  for (auto _ : state) {
    size_t n = 0;
    for (mv::Status st = (*t)->go_top(); st.is_ok() && !(*t)->eof(); st = (*t)->skip(1))
      for (int f = 1; f <= int((*t)->fcount()); ++f) n += (*t)->field_get(f).is_ok();
    benchmark::DoNotOptimize(n);
  }
}
BENCHMARK(BM_SkipFieldGet)->Arg(1000000)->Unit(benchmark::kMillisecond);

// What showing, painting and ending the progress window costs by itself; range(0) = 1:
// one window shown again for each operation, as the search keeps its own.
void BM_ProgressWindowAlone(benchmark::State& state) {
  SearchWindow sw(cdx_table_of(10000));
  std::unique_ptr<mv::DLGPROGRESS> kept;
  for (auto _ : state) {
    std::unique_ptr<mv::DLGPROGRESS> made;
    mv::DLGPROGRESS* p = nullptr;
    if (state.range(0) == 1 && kept) {
      p = kept.get();
      p->restart();
    } else {
      made = std::make_unique<mv::DLGPROGRESS>(sw.w->data_page());
      p = made.get();
    }
    p->COUNT(1000000);
    p->SHOW();
    p->UPDATE(1);
    p->ENDDIALOG();
    if (state.range(0) == 1 && made) kept = std::move(made);
  }
}
BENCHMARK(BM_ProgressWindowAlone)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A step for every one of 1,000,000 records, as copy and replace call it: what the window
// costs an operation beyond showing itself.
void BM_ProgressWindowSteps(benchmark::State& state) {
  SearchWindow sw(cdx_table_of(10000));
  for (auto _ : state) {
    mv::DLGPROGRESS p(sw.w->data_page());
    p.COUNT(1000000);
    p.SHOW();
    for (uint32_t i = 1; i <= 1000000; ++i)
      if (!p.UPDATE(i)) std::abort();
    p.ENDDIALOG();
  }
}
BENCHMARK(BM_ProgressWindowSteps)->Unit(benchmark::kMillisecond);

// Key search on the NAME order, the grid following; per search.
void BM_IndexSearch(benchmark::State& state) {
  SearchWindow sw(cdx_table_of(state.range(0)));
  if (!sw.w->server()->SETORDER(1).is_ok()) state.SkipWithError("no order");
  uint32_t i = 0;
  for (auto _ : state) {
    char key[32];
    std::snprintf(key, sizeof key, "Name %07u", 1 + (i++ * 7919u) % uint32_t(state.range(0)));
    sw.w->data_page()->INDEXSUCHE(QString::fromLatin1(key));
  }
}
BENCHMARK(BM_IndexSearch)->Arg(10000)->Arg(1000000);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
