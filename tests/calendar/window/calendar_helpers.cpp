#include "tests/calendar/window/calendar_helpers.h"

#include <QDir>
#include <QFile>

#include "calendar/core/calendar_state.h"
#include "calendar/window/kalender_globals.h"
#include "calendar/window/start.h"
#include "components/inifile.h"

namespace mv::test {

void CalendarHome::SetUp() {
  ASSERT_TRUE(dir_.isValid());
  QDir().mkpath(home());
  const QString run = dir_.filePath("run");
  QDir().mkpath(run);
  QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("HOME", home().toUtf8());
  qputenv("XDG_CONFIG_HOME", (home() + "/.config").toUtf8());
  qputenv("XDG_RUNTIME_DIR", run.toUtf8());
  LANDCODE.clear();
  REGIONCODE.clear();
  FEIERTAGLISTE.clear();
}

void CalendarHome::TearDown() {
  kalender_finish();
  GRUPPENDB.reset();
  TERMINDB.reset();
  delete KALENDERINI;
  KALENDERINI = nullptr;
  DATENPFAD.clear();
  set_calendar_file_system(nullptr);
}

void CalendarHome::prepare(const QString& program) { kalender_prepare(program, false); }

QString CalendarHome::ini(const QString& key) const {
  return INIFILESPEC(base() + "Kalender.INI").GETSTRING("Runtime", key);
}

void CalendarHome::set_ini(const QString& key, const QString& value) {
  QDir().mkpath(base());
  INIFILESPEC(base() + "Kalender.INI").WRITESTRING("Runtime", key, value);
}

QByteArray CalendarHome::read_file(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace mv::test
