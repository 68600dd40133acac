// bench-deps: mv_calendar_window mv_calendar_core mv_components mv_grid mv_gui mv_table mv_runtime mv_base Qt6::Widgets
// The calendar: working days over two centuries against a plain day loop over yearly lists
// computed beforehand; the holiday page stepped through 200 years against a plain table
// view over an item model with the same rows; start-up with its tables and the switch to
// the month and holiday pages, with few and with many appointments; a month's appointment
// list through a year on 10,000 and 1,000,000 appointments, and a year list's walk in
// shared mode against reading the same records with one pread each.
#include <QApplication>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <benchmark/benchmark.h>
#include <functional>
#include <map>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "calendar/core/appointment_list.h"
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

// A home of the run's own (named `name` + `count`) whose calendar holds `count`
// appointments, made once: `fill` writes record i's fields, then the bag is built anew.
void calendar_home(const char* name, int64_t count, const std::function<void(mv::Table&, int64_t)>& fill) {
  static std::map<QString, QString> made;
  const QString key = QString("%1%2").arg(name).arg(count);
  auto it = made.find(key);
  if (it == made.end()) {
    const QString home = work_dir().path() + "/" + key;
    qputenv("HOME", home.toUtf8());
    mv::kalender_prepare("/opt/kal/kalender", false);
    mv::kalender_finish();
    mv::OpenOptions o;
    o.shared = false;
    auto t = mv::Table::open(mv::DATENPFAD + "Termine.DBF", o);
    if (!t) std::abort();
    for (int64_t i = 0; i < count; ++i) {
      if (!(*t)->append_blank().is_ok()) std::abort();
      fill(**t, i);
    }
    if (!(*t)->close().is_ok()) std::abort();
    std::remove((mv::DATENPFAD + "Termine.CDX").c_str());
    if (!mv::DBINDEX_NEU().is_ok()) std::abort();
    it = made.emplace(key, home).first;
  }
  qputenv("HOME", it->second.toUtf8());
}

// A calendar of `appointments` one-off records spread over the years.
void calendar_with(int64_t appointments) {
  calendar_home("home", appointments, [](mv::Table& t, int64_t i) {
    t.field_put("Datum", mv::Value::of_date(kFrom + int32_t(i % 70000))).ignore();
    t.field_put("Bemerkung", mv::Value::character("Termin " + std::to_string(i))).ignore();
  });
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

// A calendar of `total` appointments of which the same 1,000 fall in 2024: 500 one-off
// ones on its days and 500 yearly ones; all others are one-off ones of earlier years.
void appointments_with(int64_t total) {
  calendar_home("termine", total, [](mv::Table& t, int64_t i) {
    Date d = kFrom + int32_t(i % 45000);  // 1900 to early 2023
    const char* serie = " ";
    if (i < 500) d = Date::from_ymd(2024, 1, 1) + int32_t(i % 366);
    else if (i < 1000) serie = "J", d = Date::from_ymd(1990, 1, 1) + int32_t(i % 365);
    t.field_put("Datum", mv::Value::of_date(d)).ignore();
    t.field_put("Serie", mv::Value::character(serie)).ignore();
    t.field_put("Bemerkung", mv::Value::character("Termin " + std::to_string(i))).ignore();
  });
}

// Kind "M" through the twelve months of 2024, the tables opened shared as the program does.
void BM_MonthListsThroughAYear(benchmark::State& state) {
  mv::gui::RecordingMessageBoxes quiet;
  appointments_with(state.range(0));
  mv::kalender_prepare("/opt/kal/kalender", false);
  size_t rows = 0;
  for (auto _ : state) {
    rows = 0;
    for (int m = 1; m <= 12; ++m) {
      mv::AppointmentQuery q;
      q.kind = 'M';
      q.list_date = Date::from_ymd(2024, m, 15);
      auto hits = mv::collect_appointments(*mv::TERMINDB, q);
      if (!hits.is_ok()) std::abort();
      rows += hits->size();
    }
  }
  state.counters["rows"] = double(rows);
  mv::kalender_finish();
}
BENCHMARK(BM_MonthListsThroughAYear)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// The first appointment written after start-up: its keys go into six orders, whose key
// order is first settled over every stored key.
void BM_FirstAppointmentAfterStart(benchmark::State& state) {
  mv::gui::RecordingMessageBoxes quiet;
  appointments_with(state.range(0));
  for (auto _ : state) {
    mv::kalender_prepare("/opt/kal/kalender", false);
    const auto start = std::chrono::steady_clock::now();
    mv::DBSERVER& t = *mv::TERMINDB;
    if (!t.APPEND().is_ok() || !t.FIELDPUT("Datum", mv::Value::of_date(Date::from_ymd(2024, 5, 1))).is_ok() ||
        !t.FIELDPUT("Bemerkung", mv::Value::character("Neu")).is_ok() || !t.COMMIT().is_ok())
      std::abort();
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    mv::kalender_finish();
  }
}
BENCHMARK(BM_FirstAppointmentAfterStart)->Arg(10000)->Arg(1000000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// A refill's walk in shared mode (the year 2024: its one-off run and the yearly run)...
void BM_YearListWalkShared(benchmark::State& state) {
  mv::gui::RecordingMessageBoxes quiet;
  appointments_with(10000);
  mv::kalender_prepare("/opt/kal/kalender", false);
  for (auto _ : state) {
    mv::AppointmentQuery q;
    q.kind = 'J';
    q.year = 2024;
    auto hits = mv::collect_appointments(*mv::TERMINDB, q);
    if (!hits.is_ok() || hits->size() != 1000) std::abort();
    benchmark::DoNotOptimize(hits->data());
  }
  mv::kalender_finish();
}
BENCHMARK(BM_YearListWalkShared)->Unit(benchmark::kMicrosecond);

// ... against reading the same records with one pread each.
void BM_PlainPreadSameRecords(benchmark::State& state) {
  mv::gui::RecordingMessageBoxes quiet;
  appointments_with(10000);
  mv::kalender_prepare("/opt/kal/kalender", false);
  mv::AppointmentQuery q;
  q.kind = 'J';
  q.year = 2024;
  auto hits = mv::collect_appointments(*mv::TERMINDB, q);
  if (!hits.is_ok()) std::abort();
  const uint16_t header = mv::TERMINDB->table()->header_length();
  const uint16_t length = mv::TERMINDB->table()->record_length();
  mv::kalender_finish();
  const int fd = ::open((mv::DATENPFAD + "Termine.DBF").c_str(), O_RDONLY);
  std::vector<char> buf(length);
  for (auto _ : state) {
    for (const mv::AppointmentHit& h : *hits)
      if (::pread(fd, buf.data(), length, off_t(header) + off_t(h.recno - 1) * length) != length) std::abort();
    benchmark::DoNotOptimize(buf.data());
  }
  ::close(fd);
}
BENCHMARK(BM_PlainPreadSameRecords)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
