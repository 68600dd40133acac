// The info page: the folder chooser, every message of the data-folder move, and a move
// whose copy, sync or rename fails at each step leaving the targets as they were and the
// old folder in use.
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "calendar/core/calendar_tables.h"
#include "calendar/window/kalender_globals.h"
#include "calendar/window/start.h"
#include "calendar/window/tab_info.h"
#include "calendar/window/tabdw_kalender.h"
#include "platform/gui/calendar_controls.h"
#include "tests/calendar/window/calendar_helpers.h"
#include "tests/platform/gui/qt_env.h"
#include "tests/support/faulty_fs.h"

namespace mv {
namespace {

const char* const kFiles[] = {"Gruppe.DBF", "Gruppe.CDX", "Termine.DBF", "Termine.CDX"};

class InfoPage : public test::CalendarHome {
 protected:
  void SetUp() override {
    CalendarHome::SetUp();
    prepare();
    // One appointment, so a copy is told apart from a new empty table.
    ASSERT_TRUE(TERMINDB->APPEND().is_ok());
    ASSERT_TRUE(TERMINDB->FIELDPUT("Bemerkung", Value::character("Umzug")).is_ok());
    ASSERT_TRUE(TERMINDB->COMMIT().is_ok());
    window = std::make_unique<TABDW_KALENDER>();
    window->TABCONTROL()->SELECTTAB("TAB_INFO");
    page = qobject_cast<TAB_INFO*>(window->TABCONTROL()->current_page());
    ASSERT_NE(page, nullptr);
    boxes.clear();
  }
  void TearDown() override {
    gui::STANDARDFOLDERDIALOG::set_chooser({});
    gui::HYPERLINK::set_opener({});
    window.reset();
    CalendarHome::TearDown();
  }
  void move_to(const QString& folder) {
    page->SE_ORDNER->setText(folder);
    page->PB_ANDERS_CLICKED();
  }
  QStringList texts() const {
    QStringList out;
    for (const auto& b : boxes.shown()) out << b.text;
    return out;
  }
  std::unique_ptr<TABDW_KALENDER> window;
  TAB_INFO* page = nullptr;
};

TEST_F(InfoPage, ShowsTheDataFolderAndChoosesAnother) {
  EXPECT_EQ(page->SE_ORDNER->text(), data());
  EXPECT_EQ(page->FT_Z1->text(), "Kalender");
  EXPECT_EQ(page->FT_Z3->text(), "Version 2.8-3.6");
  QString asked_caption, asked_start;
  QString answer = path("anders");
  gui::STANDARDFOLDERDIALOG::set_chooser([&](QWidget*, const QString& caption, const QString& start) {
    asked_caption = caption;
    asked_start = start;
    return answer;
  });
  page->PB_ORDNER_CLICKED();
  EXPECT_EQ(asked_caption, "Ordner für die Daten festlegen");
  EXPECT_EQ(asked_start, data());
  EXPECT_EQ(page->SE_ORDNER->text(), path("anders"));
  answer.clear();  // cancelled
  page->PB_ORDNER_CLICKED();
  EXPECT_EQ(page->SE_ORDNER->text(), path("anders"));

  QStringList opened;
  gui::HYPERLINK::set_opener([&](const QString& t) {
    opened << t;
    return true;
  });
  page->web_link()->OPENLINK();
  page->mail_link()->OPENLINK();
  EXPECT_EQ(opened, (QStringList{kInfoWebAddress, kInfoMailAddress}));
}

TEST_F(InfoPage, MovesThatChangeNothing) {
  const struct {
    QString typed;
    QString message;  // empty: no box at all
  } cases[] = {
      {"   ", "Es wurde kein Datenverzeichnis ausgewählt!"},
      {path("gibtsnicht"), "Der erfasste Ordner existiert nicht, er muß erst angelegt werden!"},
      {data(), "Es erfolgte keine Änderung des Datenverzeichnisses!"},
      {data().chopped(1), ""},  // the same folder without its trailing separator
      {data() + "../Kalender", ""},
  };
  for (const auto& c : cases) {
    boxes.clear();
    move_to(c.typed);
    if (c.message.isEmpty()) {
      EXPECT_EQ(boxes.count(), 0) << c.typed.toStdString();
    } else {
      ASSERT_EQ(boxes.count(), 1) << c.typed.toStdString();
      EXPECT_EQ(boxes.last().caption, "Achtung");
      EXPECT_EQ(boxes.last().icon, gui::MsgIcon::Warning);
      EXPECT_EQ(boxes.last().text, c.message);
    }
    EXPECT_EQ(QString::fromStdString(DATENPFAD), data());
    EXPECT_TRUE(TERMINDB->used()) << "the tables stay open";
  }
  // Saying No to the question changes nothing either.
  QDir().mkpath(path("neu"));
  boxes.clear();
  boxes.script(gui::MsgAnswer::No);
  move_to(path("neu"));
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().text, "Soll der Ordner : \r\n" + path("neu") + "/\r\nfür die Datenablage genutzt werden ?");
  EXPECT_EQ(boxes.last().icon, gui::MsgIcon::Question);
  EXPECT_TRUE(TERMINDB->used());
  EXPECT_FALSE(QFileInfo::exists(path("neu/Termine.DBF")));
}

TEST_F(InfoPage, MoveToAnEmptyFolderCopiesTheData) {
  QDir().mkpath(path("neu"));
  move_to(path("neu"));
  ASSERT_EQ(boxes.count(), 2) << texts().join(" | ").toStdString();
  EXPECT_EQ(boxes.last().text, "Die Daten befinden sich jetzt im Ordner:\r\n" + path("neu") + "/");
  EXPECT_EQ(ini("Daten"), path("neu") + "/");
  EXPECT_EQ(QString::fromStdString(DATENPFAD), path("neu") + "/");
  for (const char* f : kFiles) {
    EXPECT_TRUE(QFileInfo::exists(path("neu/") + f)) << f;
    EXPECT_TRUE(QFileInfo::exists(data() + f)) << "the old files stay: " << f;
  }
  ASSERT_TRUE(TERMINDB->used());
  EXPECT_EQ(TERMINDB->path(), (path("neu") + "/Termine.DBF").toStdString());
  EXPECT_EQ(TERMINDB->LASTREC(), 1u);
  EXPECT_TRUE(GRUPPENDB->used());
}

TEST_F(InfoPage, MoveToAFolderWithDataAskedNotToOverwrite) {
  QDir().mkpath(path("da"));
  DATENPFAD = (path("da") + "/").toStdString();
  ASSERT_TRUE(DBGRUPPE_NEU().is_ok());
  ASSERT_TRUE(DBTERMINE_NEU().is_ok());
  DATENPFAD = data().toStdString();

  boxes.script(gui::MsgAnswer::Yes);
  boxes.script(gui::MsgAnswer::No);
  move_to(path("da"));
  ASSERT_EQ(boxes.count(), 3) << texts().join(" | ").toStdString();
  EXPECT_EQ(boxes.shown()[1].text,
            "Sollen die bereits vorhandenen Kalenderdaten im Ordner : \r\n" + path("da") + "/\r\nübeschrieben werden?");
  EXPECT_EQ(boxes.last().text, "Die Daten befinden sich bereits im Ordner:\r\n" + path("da") + "/");
  ASSERT_TRUE(TERMINDB->used());
  EXPECT_EQ(TERMINDB->LASTREC(), 0u) << "the tables of that folder";
  EXPECT_TRUE(QFileInfo::exists(path("da/Termine.CDX"))) << "its missing bag built";
}

TEST_F(InfoPage, QuestionComesWhenOnlyABagIsThere) {
  QDir().mkpath(path("halb"));
  QFile bag(path("halb/Gruppe.CDX"));
  ASSERT_TRUE(bag.open(QIODevice::WriteOnly));
  bag.write("alt");
  bag.close();
  boxes.script(gui::MsgAnswer::Yes);
  boxes.script(gui::MsgAnswer::Yes);
  move_to(path("halb"));
  ASSERT_EQ(boxes.count(), 3) << texts().join(" | ").toStdString();
  EXPECT_TRUE(boxes.shown()[1].text.startsWith("Sollen die bereits vorhandenen Kalenderdaten"));
  EXPECT_EQ(read_file(path("halb/Gruppe.CDX")), read_file(data() + "Gruppe.CDX"));
}

// Every copy write, sync and rename of the move failing in turn: the targets keep their
// bytes, no temporary file is left, and the old folder, its INI value and its tables stay.
TEST_F(InfoPage, FailingMoveLeavesEverythingAsItWas) {
  QDir().mkpath(path("ziel"));
  // Targets that exist, so "byte-identical" means something for each of them.
  auto reset = [&] {
    close_calendar_tables();
    for (const char* f : kFiles) {
      QFile t(path("ziel/") + f);
      ASSERT_TRUE(t.open(QIODevice::WriteOnly | QIODevice::Truncate));
      t.write(QByteArray("vorher ") + f);
    }
    DATENPFAD = data().toStdString();
    set_ini("Daten", data());
    ASSERT_TRUE(open_calendar_tables().empty());
  };
  reset();
  auto snapshot = [&] {
    QStringList out;
    for (const QString& f : QDir(path("ziel")).entryList(QDir::Files, QDir::Name))
      out << f + "=" + QString::fromLatin1(read_file(path("ziel/") + f).toHex());
    return out;
  };
  const QStringList before = snapshot();

  // A clean run counts the steps of each kind.
  int writes = 0, syncs = 0, renames = 0;
  {
    FaultyFileSystem probe(FileSystem::posix());
    const std::string scratch = dir_.filePath("probe/").toStdString();
    QDir().mkpath(QString::fromStdString(scratch));
    for (const char* f : kFiles) {
      QFile t(QString::fromStdString(scratch) + f);
      ASSERT_TRUE(t.open(QIODevice::WriteOnly));
      t.write("vorher");
    }
    const CalendarMoveResult r = move_calendar_files(probe, DATENPFAD, scratch);
    ASSERT_TRUE(r.status.is_ok()) << r.status.message();
    writes = probe.writes;
    syncs = probe.syncs;
    renames = probe.renames;
  }
  ASSERT_GT(writes, 0);
  ASSERT_GT(syncs, 0);
  ASSERT_GT(renames, 0);

  struct Fault {
    const char* what;
    int count;
  };
  for (const Fault& f : {Fault{"write", writes}, Fault{"sync", syncs}, Fault{"rename", renames}}) {
    for (int n = 0; n < f.count; ++n) {
      SCOPED_TRACE(std::string(f.what) + " " + std::to_string(n));
      FaultyFileSystem faulty(FileSystem::posix());
      if (std::string(f.what) == "write") faulty.fail_write_at = n;
      if (std::string(f.what) == "sync") faulty.fail_sync_at = n;
      if (std::string(f.what) == "rename") faulty.fail_rename_at = n;
      set_calendar_file_system(&faulty);
      boxes.clear();
      boxes.script(gui::MsgAnswer::Yes);
      boxes.script(gui::MsgAnswer::Yes);
      move_to(path("ziel"));
      ASSERT_EQ(boxes.count(), 3) << texts().join(" | ").toStdString();
      EXPECT_EQ(boxes.last().caption, "Achtung");
      ASSERT_TRUE(TERMINDB->used());
      EXPECT_EQ(TERMINDB->LASTREC(), 1u);
      if (boxes.last().icon == gui::MsgIcon::Information) {
        // The fault came once every file was in place: the move happened, whole.
        EXPECT_TRUE(boxes.last().text.startsWith("Die Daten befinden sich jetzt im Ordner:"));
        for (const char* name : kFiles) EXPECT_EQ(read_file(path("ziel/") + name), read_file(data() + name)) << name;
        EXPECT_EQ(QString::fromStdString(DATENPFAD), path("ziel") + "/");
        reset();
        continue;
      }
      EXPECT_EQ(boxes.last().icon, gui::MsgIcon::Warning);
      EXPECT_TRUE(boxes.last().text.contains(path("ziel"))) << boxes.last().text.toStdString();
      EXPECT_EQ(snapshot(), before);
      EXPECT_EQ(QString::fromStdString(DATENPFAD), data());
      EXPECT_EQ(ini("Daten"), data());
      EXPECT_EQ(TERMINDB->path(), (data() + "Termine.DBF").toStdString());
      EXPECT_EQ(TERMINDB->LASTREC(), 1u);
    }
  }
}

}  // namespace
}  // namespace mv
