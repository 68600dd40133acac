// Start-up of the calendar: base folder, "Kalender.INI" and its "Daten", both tables with
// their bags, the boxes for tables it cannot use; the real program started as a child in
// an empty home; Molvane's "&Kalender" refusing while it runs.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include "calendar/window/kalender_globals.h"
#include "calendar/window/start.h"
#include "components/app_paths.h"
#include "platform/os/instance_lock.h"
#include "platform/table/table.h"
#include "platform/table/transfer.h"
#include "shell/shellwindow.h"
#include "tests/calendar/window/calendar_helpers.h"
#include "tests/platform/gui/qt_env.h"

namespace mv {
namespace {

using test::CalendarHome;
using StartUp = CalendarHome;

TEST_F(StartUp, FirstStartMakesFoldersIniAndTables) {
  ASSERT_FALSE(QFileInfo::exists(base()));
  prepare();
  EXPECT_EQ(boxes.count(), 0);
  EXPECT_EQ(KALENDERBASIS, base());
  EXPECT_EQ(ini("Daten"), data());
  EXPECT_EQ(QString::fromStdString(DATENPFAD), data());
  for (const char* f : {"Gruppe.DBF", "Gruppe.CDX", "Termine.DBF", "Termine.CDX"})
    EXPECT_TRUE(QFileInfo::exists(data() + f)) << f;
  EXPECT_TRUE(GRUPPENDB->used());
  EXPECT_TRUE(TERMINDB->used());
  EXPECT_EQ(TERMINDB->order_names().size(), 6u);
}

TEST_F(StartUp, DataFolderFromIni) {
  // A folder that does not exist: back to the default, written back even though the
  // default folder exists already.
  QDir().mkpath(data());
  set_ini("Daten", path("weg"));
  prepare();
  EXPECT_EQ(ini("Daten"), data());
  kalender_finish();

  // An existing folder without its trailing separator: used with one, the INI unchanged.
  QDir().mkpath(path("eigen"));
  set_ini("Daten", path("eigen"));
  prepare();
  EXPECT_EQ(QString::fromStdString(DATENPFAD), path("eigen") + "/");
  EXPECT_EQ(ini("Daten"), path("eigen"));
  EXPECT_TRUE(QFileInfo::exists(path("eigen/Termine.DBF")));
  kalender_finish();

  // A file instead of a folder: back to the default.
  set_ini("Daten", path("eigen/Termine.DBF"));
  prepare();
  EXPECT_EQ(ini("Daten"), data());
  EXPECT_EQ(QString::fromStdString(DATENPFAD), data());
}

TEST_F(StartUp, ProgramFromADbgFolderKeepsEverythingBesideIt) {
  prepare(path("prog.DBG/kalender"));
  EXPECT_EQ(KALENDERBASIS, path("prog.DBG") + "/");
  EXPECT_TRUE(QFileInfo::exists(path("prog.DBG/Kalender.INI")));
  EXPECT_TRUE(QFileInfo::exists(path("prog.DBG/Kalender/Gruppe.DBF")));
  EXPECT_FALSE(QFileInfo::exists(base())) << "nothing under the documents folder";
  kalender_finish();

  kalender_prepare(path("stick/kalender"), true);  // on removable media
  EXPECT_EQ(KALENDERBASIS, path("stick") + "/");
  EXPECT_TRUE(QFileInfo::exists(path("stick/Kalender/Termine.CDX")));
  EXPECT_FALSE(QFileInfo::exists(base()));
}

TEST_F(StartUp, TableOfAnotherStructureGivesABoxAndTheRestWorks) {
  QDir().mkpath(data());
  ASSERT_TRUE(db_create((data() + "Termine.DBF").toStdString(), {{"DATUM", 'D', 8, 0}}, "DBFCDX").is_ok());
  prepare();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Achtung");
  EXPECT_TRUE(boxes.last().text.startsWith("Die DBF-Datei konnte nicht geöffnet werden!\r\n" + data() +
                                           "Termine.DBF\r\n"))
      << boxes.last().text.toStdString();
  EXPECT_TRUE(GRUPPENDB->used());
  EXPECT_FALSE(TERMINDB->used());
}

TEST_F(StartUp, DataFolderThatCannotBeMadeGivesABoxPerTable) {
  // A file where the base folder should be: nothing can be made below it.
  QFile blocker(base().chopped(1));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  prepare();
  EXPECT_EQ(boxes.count(), 2);
  EXPECT_FALSE(GRUPPENDB->used());
  EXPECT_FALSE(TERMINDB->used());
}

// The real program in an empty home: it makes its files, holds the caption lock, and
// Molvane's "&Kalender" then says it is running instead of starting another.
TEST_F(StartUp, ProgramStartsInAnEmptyHomeAndMolvaneSeesIt) {
  const QString program = QStringLiteral(MOLVANE_BINARY_DIR "/bin/kalender");
  ASSERT_TRUE(QFileInfo(program).isExecutable());
  EXPECT_FALSE(caption_lock_held(QString::fromLatin1(kKalenderCaption)));
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  child.setProcessEnvironment(env);
  child.start(program, {});
  ASSERT_TRUE(child.waitForStarted());
  bool up = false;
  for (int i = 0; i < 500 && !up; ++i) {
    up = caption_lock_held(QString::fromLatin1(kKalenderCaption));
    if (!up) QThread::msleep(10);
  }
  ASSERT_TRUE(up);
  for (const char* f : {"Gruppe.DBF", "Gruppe.CDX", "Termine.DBF", "Termine.CDX"})
    EXPECT_TRUE(QFileInfo::exists(data() + f)) << f;
  EXPECT_EQ(ini("Daten"), data());
  EXPECT_EQ(ini("Land1"), "D");
  EXPECT_EQ(ini("Land2"), "00000000C");

  {
    STDSHELLWINDOW shell;
    shell.OPENKALENDER();
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().text, "Der Kalender wurde bereits gestartet");
  }
  child.terminate();
  child.waitForFinished(5000);
  if (child.state() != QProcess::NotRunning) child.kill();
  child.waitForFinished(5000);
}

TEST_F(StartUp, MolvaneSaysWhenThereIsNoKalender) {
  const QByteArray old_path = qgetenv("PATH");
  qputenv("PATH", path("leer").toUtf8());
  {
    STDSHELLWINDOW shell;
    shell.OPENKALENDER();
  }
  qputenv("PATH", old_path);
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Achtung");
  EXPECT_EQ(boxes.last().text, "Das Programm \r\n" + ADDBACKSLASH(QCoreApplication::applicationDirPath()) +
                                   "kalender\r\nwurde nicht gefunden");
}

}  // namespace
}  // namespace mv
