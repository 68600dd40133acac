// bench-deps: mv_components
// GETSTRING on a history file of 5,000 sections (one per table, about 20 keys each).
// The INI class keeps the parsed file and re-checks the file's identity per call, so a
// warm read costs a stat() and two hash look-ups; a changed file is parsed again whole.
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include "components/inifile.h"

namespace {

constexpr int kSections = 5000;

QString section_name(int i) { return QStringLiteral("/home/anwender/Daten/Kunden%1/KUNDEN%1.DBF").arg(i); }

struct HistoryFile {
  QTemporaryDir dir;
  QString path;
  HistoryFile() : path(dir.filePath("ZovuZUZ.INI")) {
    QByteArray text;
    for (int i = 0; i < kSections; ++i) {
      text += "[" + section_name(i).toUtf8() + "]\n";
      text += "Anzahl=" + QByteArray::number(i % 97) + "\nDatum=01.02.2024\nZeit=12:34:56\n";
      for (int c = 1; c <= 10; ++c)
        text += "Spalte" + QByteArray::number(c) + "=" + QByteArray::number(c) + ",1,Kopf " +
                QByteArray::number(c) + ",20\n";
      text += "ListeIntern=Ja\nListe=Nein\nZusatzText=\nQuerFormat=Nein\nSchrift=10\nGitter=Ja\n"
              "ZeileGrau=Nein\nSpalteGrau=Nein\n";
    }
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(text);
  }
};

HistoryFile& history() {
  static HistoryFile h;
  return h;
}

void BM_GetStringWarm(benchmark::State& state) {
  mv::INIFILESPEC ini(history().path);
  (void)ini.GETSTRING(section_name(0), "Anzahl");  // first read parses the file
  int i = 0;
  for (auto _ : state) {
    QString v = ini.GETSTRING(section_name((i * 7919) % kSections), "Spalte7");
    benchmark::DoNotOptimize(v.size());
    ++i;
  }
}
BENCHMARK(BM_GetStringWarm)->Unit(benchmark::kMicrosecond);

// The first read after another program changed the file: parsed whole again.
void BM_GetStringAfterChange(benchmark::State& state) {
  mv::INIFILESPEC ini(history().path);
  mv::INIFILESPEC other(history().path);
  int i = 0;
  for (auto _ : state) {
    state.PauseTiming();
    other.WRITESTRING(section_name(i % kSections), "Anzahl", QString::number(i));
    state.ResumeTiming();
    QString v = ini.GETSTRING(section_name(i % kSections), "Anzahl");
    benchmark::DoNotOptimize(v.size());
    ++i;
  }
}
BENCHMARK(BM_GetStringAfterChange)->Unit(benchmark::kMillisecond);

// Counting an opening writes one key: the file is rewritten whole through a temporary.
void BM_WriteString(benchmark::State& state) {
  mv::INIFILESPEC ini(history().path);
  int i = 0;
  for (auto _ : state) {
    ini.WRITESTRING(section_name(i % kSections), "Anzahl", QString::number(i));
    ++i;
  }
}
BENCHMARK(BM_WriteString)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
