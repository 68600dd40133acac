// bench-deps: mv_shell mv_components mv_gui Qt6::Widgets
// The history dialog over a history file of 10,000 sections: reading the rows as the shell
// does (every section's "Datum" and "Zeit") against reading them and filling the dialog
// (sorting by date, one list item per row, the detail panel).
#include <QApplication>
#include <QTemporaryDir>
#include <QFile>
#include <benchmark/benchmark.h>

#include "components/inifile.h"
#include "components/strings.h"
#include "platform/runtime/date.h"
#include "shell/dlg_zovuzuz.h"
#include "shell/settings.h"

namespace {

constexpr int kSections = 10000;

struct Fixture {
  QTemporaryDir dir;
  QString ini;
  Fixture() {
    ini = dir.filePath("ZovuZUZ.INI");
    QFile f(ini);
    if (!f.open(QIODevice::WriteOnly)) std::abort();
    for (int i = 0; i < kSections; ++i) {
      const QString text = QStringLiteral("[/daten/ordner%1/Tabelle%2.dbf]\nAnzahl=%3\nDatum=%4.%5.%6\nZeit=%7:%8:00\n")
                               .arg(i % 37)
                               .arg(i)
                               .arg(i % 50)
                               .arg(1 + i % 28, 2, 10, QChar('0'))
                               .arg(1 + i % 12, 2, 10, QChar('0'))
                               .arg(1990 + i % 35)
                               .arg(i % 24, 2, 10, QChar('0'))
                               .arg(i % 60, 2, 10, QChar('0'));
      f.write(text.toUtf8());
    }
    f.close();
    mv::GOINIHISTORY = new mv::INIFILESPEC(ini);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

std::vector<mv::HistoryRow> read_rows() {
  std::vector<mv::HistoryRow> rows;
  for (const QStringList& section : mv::GETALLSECTION(fixture().ini)) {
    mv::HistoryRow row;
    row.path = section.value(0);
    const QString datum = mv::GOINIHISTORY->GETSTRING(row.path, QStringLiteral("Datum"));
    const QString zeit = mv::GOINIHISTORY->GETSTRING(row.path, QStringLiteral("Zeit"));
    row.sort_key = QString::fromStdString(mv::dtos(mv::ctod(datum.toStdString()))) + zeit;
    QString drive, folder, ext;
    mv::MYSPLITPATH(row.path, drive, folder, row.name, ext);
    rows.push_back(row);
  }
  return rows;
}

void BM_ReadRows(benchmark::State& state) {
  fixture();
  for (auto _ : state) benchmark::DoNotOptimize(read_rows());
}
BENCHMARK(BM_ReadRows)->Unit(benchmark::kMillisecond);

void BM_ReadRowsAndFillDialog(benchmark::State& state) {
  fixture();
  for (auto _ : state) {
    std::vector<mv::HistoryRow> rows = read_rows();
    mv::DLG_ZOVUZUZ dlg(nullptr);
    dlg.SETUP(rows);
    benchmark::DoNotOptimize(dlg.NSUCHEN);
  }
}
BENCHMARK(BM_ReadRowsAndFillDialog)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
