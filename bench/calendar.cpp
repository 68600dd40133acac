// bench-deps: mv_calendar_window mv_calendar_core mv_components mv_grid mv_gui mv_table mv_runtime mv_base Qt6::Widgets
// The calendar: working days over two centuries against a plain day loop over yearly lists
// computed beforehand; the holiday page stepped through 200 years against a plain table
// view over an item model with the same rows; start-up with its tables and the switch to
// the month and holiday pages, with few and with many appointments.
#include <QApplication>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <map>
#include <vector>

#include "calendar/core/calendar_state.h"
#include "calendar/core/calendar_tables.h"
#include "calendar/core/day_counts.h"
#include "calendar/window/kalender_globals.h"
#include "calendar/window/start.h"
#include "calendar/window/tab_feiertage.h"
#include "calendar/window/tabdw_kalender.h"
#include "platform/gui/messagebox.h"
#include "platform/table/table.h"

namespace {

using mv::Date;

const Date kFrom = Date::from_ymd(1900, 1, 1);
const Date kTo = Date::from_ymd(2099, 12, 31);

void BM_WorkingDaysTwoCenturies(benchmark::State& state) {
  for (auto _ : state) {
    mv::HolidayYears h("D", "11110100B");
    benchmark::DoNotOptimize(mv::ARBTAGDIFF(kFrom, kTo, h));
  }
}
BENCHMARK(BM_WorkingDaysTwoCenturies)->Unit(benchmark::kMillisecond);

// The baseline: every year's holidays computed beforehand, then one test per day.
void BM_PlainDayLoopTwoCenturies(benchmark::State& state) {
  std::map<int, std::vector<int32_t>> years;
  for (int y = 1900; y <= 2099; ++y) {
    std::vector<int32_t> d;
    for (const auto& r : mv::FEIERTAGGESETZ(uint32_t(y), "D", "11110100B")) d.push_back(r.date.julian());
    std::sort(d.begin(), d.end());
    years[y] = std::move(d);
  }
  for (auto _ : state) {
    int64_t n = 0;
    for (Date d = kFrom; d < kTo; d = d + 1) {
      const int w = d.dow();
      if (w == 1 || w == 7) continue;
      const auto& list = years[d.year()];
      if (!std::binary_search(list.begin(), list.end(), d.julian())) ++n;
    }
    benchmark::DoNotOptimize(n);
  }
}
BENCHMARK(BM_PlainDayLoopTwoCenturies)->Unit(benchmark::kMillisecond);

QTemporaryDir& work_dir() {
  static QTemporaryDir dir;
  return dir;
}

// A home of the run's own with a calendar of `appointments` records, made once.
void calendar_with(int64_t appointments) {
  static std::map<int64_t, QString> made;
  auto it = made.find(appointments);
  if (it == made.end()) {
    const QString home = work_dir().path() + QString("/home%1").arg(appointments);
    qputenv("HOME", home.toUtf8());
    mv::kalender_prepare("/opt/kal/kalender", false);
    mv::kalender_finish();
    mv::OpenOptions o;
    o.shared = false;
    auto t = mv::Table::open(mv::DATENPFAD + "Termine.DBF", o);
    if (!t) std::abort();
    for (int64_t i = 0; i < appointments; ++i) {
      if (!(*t)->append_blank().is_ok()) std::abort();
      (*t)->field_put("Datum", mv::Value::of_date(kFrom + int32_t(i % 70000))).ignore();
      (*t)->field_put("Bemerkung", mv::Value::character("Termin " + std::to_string(i))).ignore();
    }
    if (!(*t)->close().is_ok()) std::abort();
    // The bag is built anew for the records.
    std::remove((mv::DATENPFAD + "Termine.CDX").c_str());
    if (!mv::DBINDEX_NEU().is_ok()) std::abort();
    it = made.emplace(appointments, home).first;
  }
  qputenv("HOME", it->second.toUtf8());
}

void BM_StartAndSwitchPages(benchmark::State& state) {
  mv::gui::RecordingMessageBoxes quiet;
  calendar_with(state.range(0));
  for (auto _ : state) {
    mv::kalender_prepare("/opt/kal/kalender", false);
    {
      mv::TABDW_KALENDER w;
      w.TABCONTROL()->SELECTTAB("TAB_FEIERTAGE");
      w.TABCONTROL()->SELECTTAB("TAB_KALENDER");
    }
    mv::kalender_finish();
  }
}
BENCHMARK(BM_StartAndSwitchPages)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_HolidayPageTwoHundredYears(benchmark::State& state) {
  mv::LANDCODE = "D";
  mv::REGIONCODE = "11110100B";
  QWidget owner;
  mv::register_calendar_pages();
  mv::TAB_FEIERTAGE page(&owner);
  page.resize(600, 400);
  for (auto _ : state) {
    page.SE_JAHR->setText("1900");
    page.EDITFOCUSCHANGE();
    for (int i = 0; i < 200; ++i) page.VS_JAHR->step(+1);
  }
}
BENCHMARK(BM_HolidayPageTwoHundredYears)->Unit(benchmark::kMillisecond);

// The baseline: a plain view over an item model, filled with the same rows year by year.
void BM_PlainTableViewTwoHundredYears(benchmark::State& state) {
  QStandardItemModel model;
  QTableView view;
  view.setModel(&model);
  view.resize(600, 400);
  for (auto _ : state) {
    for (int y = 1900; y < 2100; ++y) {
      model.clear();
      for (const auto& r : mv::FEIERTAGGESETZ(uint32_t(y), "D", "11110100B")) {
        QList<QStandardItem*> row{new QStandardItem(QString::fromStdString(r.name)),
                                  new QStandardItem(mv::date_text(mv::to_qdate(r.date))),
                                  new QStandardItem(QString::fromStdString(r.kind))};
        model.appendRow(row);
      }
    }
  }
}
BENCHMARK(BM_PlainTableViewTwoHundredYears)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
