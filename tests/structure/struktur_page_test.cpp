// The structure page offscreen: its two modes, the field rules and questions, where
// inserted and deleted rows land, the file facts of each driver, new tables, backups,
// the printed field list and pictures of both modes.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMdiSubWindow>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QStandardPaths>
#include <filesystem>
#include <cstring>
#include <fstream>
#include <map>

#include "components/dlgprogress.h"
#include "components/slestandard.h"
#include "components/stdgridbrowser.h"
#include "platform/grid/gridserver.h"
#include "platform/gui/messagebox.h"
#include "platform/gui/windows.h"
#include "platform/report/printerdevice.h"
#include "platform/table/modes.h"
#include "platform/table/table.h"
#include "platform/table/transfer.h"
#include "structure/tab_struktur.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tablewindow/tableserver.h"
#include "tests/support/fixtures.h"
#include "tests/tablewindow/tablewindow_helpers.h"
#include "ui_TAB_STRUKTUR_FORM.h"

namespace mv {
namespace {

namespace fsys = std::filesystem;
using gui::MsgAnswer;

const QString kStruktur = QStringLiteral("TAB_STRUKTUR");

TAB_STRUKTUR* struktur_page(TABDW_DBFDATEI& w) {
  w.SELECTTAB(kStruktur);
  return qobject_cast<TAB_STRUKTUR*>(w.TABCONTROL()->GETPAGESYM(kStruktur));
}

std::string copy_case(const testing::TempDir& dir, const std::string& case_dir) {
  const fsys::path from = fsys::path(twtest::fixtures_root()) / case_dir;
  if (!fsys::exists(from)) return {};
  for (const auto& e : fsys::directory_iterator(from))
    if (e.is_regular_file() && e.path().extension() != ".json")
      fsys::copy_file(e.path(), fsys::path(dir.path()) / e.path().filename());
  return dir.path();
}

std::vector<uint8_t> file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The records of a table file read from its bytes: deletion flag and every field's text
// without trailing blanks, by field name.
struct RawRecord {
  bool deleted = false;
  std::map<std::string, std::string> values;
};
std::vector<RawRecord> raw_records(const std::string& path) {
  const auto b = file_bytes(path);
  std::vector<RawRecord> out;
  if (b.size() < 32) return out;
  const size_t hl = b[8] | b[9] << 8, rl = b[10] | b[11] << 8;
  const uint32_t n = b[4] | b[5] << 8 | b[6] << 16 | uint32_t(b[7]) << 24;
  struct F {
    std::string name;
    size_t offset, length;
  };
  std::vector<F> fields;
  size_t at = 1;
  for (size_t d = 32; d + 32 <= hl && b[d] != 0x0D; d += 32) {
    std::string name(reinterpret_cast<const char*>(&b[d]), strnlen(reinterpret_cast<const char*>(&b[d]), 11));
    const size_t len = b[d + 11] == 'C' ? b[d + 16] + 256 * b[d + 17] : b[d + 16];
    fields.push_back({name, at, len});
    at += len;
  }
  for (uint32_t r = 0; r < n && hl + (r + 1) * rl <= b.size(); ++r) {
    const uint8_t* rec = &b[hl + r * rl];
    RawRecord rr;
    rr.deleted = rec[0] == '*';
    for (const F& f : fields) {
      std::string v(reinterpret_cast<const char*>(rec + f.offset), f.length);
      while (!v.empty() && v.back() == ' ') v.pop_back();
      while (!v.empty() && v.front() == ' ') v.erase(v.begin());
      rr.values[f.name] = v;
    }
    out.push_back(rr);
  }
  return out;
}

void touch(const std::string& path, const std::string& text = "x") {
  std::ofstream(path, std::ios::binary) << text;
}

QString grouped(uint64_t n) {
  QString digits = QString::number(n);
  for (int i = int(digits.size()) - 3; i > 0; i -= 3) digits.insert(i, QLatin1Char('.'));
  return digits;
}

void set_edits(TAB_STRUKTUR* p, const QString& name, const QString& type, const QString& length,
               const QString& decimals) {
  Ui::TAB_STRUKTUR_FORM* f = p->form();
  f->SE_NAME->setText(name);
  f->CB_TYPE->setCurrentIndex(f->CB_TYPE->findData(type));
  f->SE_LANG->setText(length);
  f->SE_DEC->setText(decimals);
}

QStringList names_of(const TABDW_DBFDATEI& w) {
  QStringList out;
  for (const StructureRow& r : w.ASTRUCTUR) out << r.name;
  return out;
}

// Records the progress windows shown while it lives: caption and whether they can be
// cancelled.
struct ProgressWatch : QObject {
  QStringList captions;
  bool cancellable = false;
  ProgressWatch() { qApp->installEventFilter(this); }
  ~ProgressWatch() override { qApp->removeEventFilter(this); }
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Show)
      if (auto* p = qobject_cast<DLGPROGRESS*>(o)) {
        captions << p->windowTitle();
        cancellable = cancellable || p->cancel_allowed();
      }
    return false;
  }
};

struct StructurePage : ::testing::Test {
  MemoryHistoryStore history;
  twtest::EnvironmentScope env{&history};
  gui::RecordingMessageBoxes boxes;
  gui::SHELLWINDOW shell;
  testing::TempDir dir{"struktur"};

  void TearDown() override { TAB_STRUKTUR::set_save_chooser({}); }

  // A new-table window whose page has the fields `names` (type C, length 10).
  TABDW_DBFDATEI* designed(const QStringList& names) {
    auto* w = new TABDW_DBFDATEI(&shell);
    for (const QString& n : names) w->ASTRUCTUR.push_back({n, QStringLiteral("C"), 10, 0, {}});
    struktur_page(*w)->FILL_BBSTRUCTUR();
    return w;
  }
};

// ---------------------------------------------------------------- modes and caption

TEST_F(StructurePage, NewTableModeShowsTheDriverComboExtensionsAndTheCreateButton) {
  std::unique_ptr<TABDW_DBFDATEI> w(new TABDW_DBFDATEI(&shell));
  TAB_STRUKTUR* p = struktur_page(*w);
  ASSERT_NE(p, nullptr);
  Ui::TAB_STRUKTUR_FORM* f = p->form();
  EXPECT_EQ(w->TABCONTROL()->currentIndex(), 1);
  EXPECT_FALSE(f->CB_DRIVER->isHidden());
  EXPECT_TRUE(f->FT_DRIVER->isHidden());
  EXPECT_FALSE(f->PB_SAVE->isHidden());
  EXPECT_TRUE(f->PB_COPY->isHidden());
  EXPECT_EQ(f->FT_FILENAME->text(), "Extension");
  EXPECT_EQ(f->CB_DRIVER->currentText(), "DBFCDX");
  EXPECT_EQ(f->CB_TYPE->currentData().toString(), "C");
  EXPECT_EQ(f->SE_LANG->text(), "10");
  EXPECT_EQ(f->SE_DEC->text(), "0");
  EXPECT_TRUE(f->SE_DEC->isReadOnly());
  EXPECT_FALSE(f->SE_LANG->isReadOnly());
  EXPECT_EQ(w->caption(), "Struktur: ");
  // The file facts of a table not yet made: extensions alone, nothing found, the limits of
  // the driver in the combo.
  EXPECT_EQ(f->FT_DBFNAME->text(), ".DBF");
  EXPECT_EQ(f->FT_MEMONAME->text(), ".FPT");
  EXPECT_EQ(f->FT_OLENAME->text(), ".DFL");
  EXPECT_EQ(f->FT_INDEXNAME->text(), ".CDX");
  for (QLabel* l : {f->FT_DBFLANG, f->FT_MEMOLANG, f->FT_OLELANG, f->FT_INDEXLANG}) EXPECT_EQ(l->text(), "0");
  for (QLabel* l : {f->FT_DBFDATE, f->FT_MEMODATE, f->FT_OLEDATE, f->FT_INDEXDATE})
    EXPECT_EQ(l->text(), "nicht vorhanden");
  EXPECT_EQ(f->FT_ANZSATZMAX->text(), "1.000.000.000");
  EXPECT_EQ(f->FT_ANZFELDMAX->text(), "1.024");
  EXPECT_EQ(f->FT_SATZLANGMAX->text(), "65.535");

  struct Case {
    const char* driver;
    const char* memo;
    const char* index;
    const char* records;
    const char* fields;
    const char* length;
  };
  for (const Case& c : {Case{"DBFNTX", ".DBT", ".NTX", "500.000", "1.024", "65.535"},
                        Case{"DBFMDX", ".DBT", ".MDX", "1.000.000.000", "255", "4.000"},
                        Case{"_DBFCDX", ".DBT", ".CDX", "1.000.000.000", "1.024", "65.535"}}) {
    f->CB_DRIVER->setCurrentIndex(f->CB_DRIVER->findData(QString::fromLatin1(c.driver)));
    p->LISTBOXSELECT(f->CB_DRIVER);
    EXPECT_EQ(w->CEDRIVER, c.driver);
    EXPECT_EQ(f->FT_MEMONAME->text(), c.memo) << c.driver;
    EXPECT_EQ(f->FT_INDEXNAME->text(), c.index) << c.driver;
    EXPECT_EQ(f->FT_ANZSATZMAX->text(), c.records) << c.driver;
    EXPECT_EQ(f->FT_ANZFELDMAX->text(), c.fields) << c.driver;
    EXPECT_EQ(f->FT_SATZLANGMAX->text(), c.length) << c.driver;
  }
  // Names are typed in upper case, at most ten characters; length and decimals take digits.
  f->SE_NAME->clear();
  QTest::keyClicks(f->SE_NAME, QStringLiteral("kunde_nr12345"));
  EXPECT_EQ(f->SE_NAME->text(), "KUNDE_NR12");
  f->SE_LANG->clear();
  QTest::keyClicks(f->SE_LANG, QStringLiteral("1x2345"));
  EXPECT_EQ(f->SE_LANG->text(), "123");
  // Choosing a type gives its defaults and editability.
  f->CB_TYPE->setCurrentIndex(f->CB_TYPE->findData(QStringLiteral("N")));
  p->LISTBOXSELECT(f->CB_TYPE);
  EXPECT_EQ(f->SE_LANG->text(), "12");
  EXPECT_EQ(f->SE_DEC->text(), "2");
  EXPECT_FALSE(f->SE_DEC->isReadOnly());
  f->CB_TYPE->setCurrentIndex(f->CB_TYPE->findData(QStringLiteral("D")));
  p->LISTBOXSELECT(f->CB_TYPE);
  EXPECT_EQ(f->SE_LANG->text(), "8");
  EXPECT_TRUE(f->SE_LANG->isReadOnly());
  EXPECT_EQ(boxes.count(), 0);
}

TEST_F(StructurePage, ADefaultDriverOutsideTheFourShowsDbfcdx) {
  twtest::EnvironmentScope odd(&history, QStringLiteral("ADS"));
  std::unique_ptr<TABDW_DBFDATEI> w(new TABDW_DBFDATEI(&shell));
  TAB_STRUKTUR* p = struktur_page(*w);
  EXPECT_EQ(p->form()->CB_DRIVER->currentText(), "DBFCDX");
  EXPECT_EQ(w->CEDRIVER, "DBFCDX");
}

TEST_F(StructurePage, OpenTableModeCaptionFollowsTheCurrentRow) {
  const std::string path = twtest::make_table(dir.path(), "T.DBF", 3);
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  ASSERT_NE(w.server(), nullptr);
  TAB_STRUKTUR* p = struktur_page(w);
  Ui::TAB_STRUKTUR_FORM* f = p->form();
  EXPECT_TRUE(f->CB_DRIVER->isHidden());
  EXPECT_FALSE(f->FT_DRIVER->isHidden());
  EXPECT_EQ(f->FT_DRIVER->text(), w.CEDRIVER);
  EXPECT_TRUE(f->PB_SAVE->isHidden());
  EXPECT_FALSE(f->PB_COPY->isHidden());
  EXPECT_EQ(f->FT_FILENAME->text(), "Name");
  EXPECT_EQ(w.caption(), "Struktur: T.DBF < Feld 1 von: 4 >");
  EXPECT_EQ(f->SE_NAME->text(), "NAME");
  p->GOBOTTOM();
  EXPECT_EQ(w.caption(), "Struktur: T.DBF < Feld 4 von: 4 >");
  EXPECT_EQ(f->SE_NAME->text(), "OK");
  EXPECT_TRUE(f->SE_LANG->isReadOnly());
  p->SKIPPREVIOUS();
  EXPECT_EQ(w.caption(), "Struktur: T.DBF < Feld 3 von: 4 >");
  EXPECT_EQ(f->SE_NAME->text(), "DATUM");
  EXPECT_EQ(f->SE_LANG->text(), "8");
  p->GOTOP();
  p->SKIPNEXT();
  EXPECT_EQ(f->SE_NAME->text(), "NR");
  EXPECT_EQ(f->CB_TYPE->currentData().toString(), "N");
  // The window's navigation reaches the page on the current tab.
  w.GOBOTTOM();
  EXPECT_EQ(p->current_nr(), 4);
  // The grid rows: number, name, type name, letter, length, decimals.
  ASSERT_EQ(p->AFELDZEILEN.size(), 4);
  EXPECT_EQ(p->AFELDZEILEN[1], (QVariantList{2, "NR", "Numeric", "N", 5, 0}));
  grid::GRIDARRAYSERVER* s = p->grid_server();
  QStringList headings;
  for (int c = 0; c < s->columnCount(); ++c) headings << s->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
  EXPECT_EQ(headings, (QStringList{"Nr", "Feldname", "Feldtype", "Type", "Size", "Dec"}));
  EXPECT_EQ(boxes.count(), 0);
}

TEST_F(StructurePage, RefusesToShowWhileTheNamedTableIsNotOpen) {
  const std::string path = twtest::make_table(dir.path(), "T.DBF", 3);
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  w.GRIDDBSERVERCLOSE();
  boxes.clear();
  w.SELECTTAB(kStruktur);
  ASSERT_GE(boxes.count(), 1);
  EXPECT_EQ(boxes.shown()[0].caption, "Achtung");
  EXPECT_EQ(boxes.shown()[0].text, "Die DBF-Datei konnte nicht geöffnet werden!");
  EXPECT_EQ(w.TABCONTROL()->currentIndex(), 3);
}

// ---------------------------------------------------------------- field rules

TEST_F(StructurePage, FieldRulesInTheirOrder) {
  std::unique_ptr<TABDW_DBFDATEI> w(designed({"NAME", "NR"}));
  TAB_STRUKTUR* p = struktur_page(*w);
  p->GOTOP();
  struct Case {
    const char* name;
    const char* length;
    const char* decimals;
    const char* action;
    bool changed;
    const char* message;  // "" passes
  };
  const Case cases[] = {
      {"", "10", "0", "angefügt", true, "Der Name des Datenfeldes fehlt!"},
      {"   ", "10", "0", "angefügt", true, "Der Name des Datenfeldes fehlt!"},
      {"1ABC", "10", "0", "angefügt", true, "Das erste Zeichen muß ein Buchstabe sein!"},
      {"1 A", "10", "0", "angefügt", true, "Das erste Zeichen muß ein Buchstabe sein!"},
      {"KUNDE NR", "10", "0", "angefügt", true, "Der Name des Datenfeldes darf kein Leerzeichen enthalten!"},
      {"A B", "", "0", "angefügt", true, "Der Name des Datenfeldes darf kein Leerzeichen enthalten!"},
      {"A-B", "10", "0", "angefügt", true, "Der Name darf nur Buchstaben, Ziffern oder den Unterstrich enthalten!"},
      {"ÄRGER", "10", "0", "angefügt", true, "Der Name sollte keine Umlaute enthalten!"},
      {"GRÖßE", "10", "0", "angefügt", true, "Der Name sollte keine Umlaute enthalten!"},
      {"AB", "", "0", "angefügt", true, "Die Feldlänge muß größer Null sein!"},
      {"AB", "0", "0", "angefügt", true, "Die Feldlänge muß größer Null sein!"},
      {"AB", "4", "5", "angefügt", true, "Die Feldlänge darf nicht kleiner wie die Decimalläne sein!"},
      {"AB", "5", "5", "angefügt", true, ""},
      {"NAME", "10", "0", "angefügt", true, "Der Name des Datenfeldes wurde schon vergeben!"},
      {"NAME", "10", "0", "eingefügt", true, "Der Name des Datenfeldes wurde schon vergeben!"},
      // Duplicates before the character scan.
      {"NR", "0", "0", "angefügt", true, "Die Feldlänge muß größer Null sein!"},
      // The current row (1, NAME) keeps its own name; another row's name is taken.
      {"NAME", "10", "0", "geändert", true, ""},
      {"NR", "10", "0", "geändert", true, "Der Name des Datenfeldes wurde schon vergeben!"},
      {"NR", "10", "0", "gelöscht", false, ""},
      {"A_1", "10", "0", "angefügt", true, ""},
      {"NAME_2", "3", "", "angefügt", true, ""},
  };
  for (const Case& c : cases) {
    boxes.clear();
    set_edits(p, QString::fromUtf8(c.name), QStringLiteral("C"), QString::fromUtf8(c.length),
              QString::fromUtf8(c.decimals));
    const bool ok = p->STRUKTUR_SAVETEST(QString::fromUtf8(c.action), c.changed);
    const QString expected = QString::fromUtf8(c.message);
    EXPECT_EQ(ok, expected.isEmpty()) << c.name;
    if (expected.isEmpty()) {
      EXPECT_EQ(boxes.count(), 0) << c.name;  // a table not yet made asks nothing
    } else {
      ASSERT_EQ(boxes.count(), 1) << c.name;
      EXPECT_EQ(boxes.last().caption, "Achtung");
      EXPECT_EQ(boxes.last().text, expected) << c.name;
    }
  }
}

TEST_F(StructurePage, AnOpenTableAsksBeforeEveryChange) {
  const std::string path = twtest::make_table(dir.path(), "T.DBF", 2);
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  TAB_STRUKTUR* p = struktur_page(w);
  p->GOBOTTOM();
  p->SKIPPREVIOUS();  // row 3, DATUM
  const auto before = file_bytes(path);

  boxes.clear();
  set_edits(p, QStringLiteral("TAG"), QStringLiteral("D"), QStringLiteral("8"), QStringLiteral("0"));
  boxes.script(MsgAnswer::No);
  EXPECT_FALSE(p->STRUKTUR_SAVETEST(QStringLiteral("geändert"), true));
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Struktur");
  EXPECT_EQ(boxes.last().buttons, gui::MsgButtons::YesNo);
  EXPECT_EQ(boxes.last().icon, gui::MsgIcon::Question);
  EXPECT_EQ(boxes.last().text, "Soll das Datenfeld DATUM\r\nin TAG umbenannt werden?");

  for (const char* action : {"angefügt", "eingefügt", "gelöscht"}) {
    boxes.clear();
    boxes.script(MsgAnswer::Yes);
    EXPECT_TRUE(p->STRUKTUR_SAVETEST(QString::fromUtf8(action), true));
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().text, QStringLiteral("Soll das Datenfeld TAG\r\n\r\n") + QString::fromUtf8(action) +
                                     QStringLiteral(" werden?"));
  }

  // Changing row 3 without touching a value asks the change question and, after "Ja",
  // writes nothing.
  p->CELLSELECT(3);
  boxes.clear();
  boxes.script(MsgAnswer::Yes);
  p->PB_ANDERS();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().text, "Soll das Datenfeld DATUM\r\n\r\ngeändert werden?");
  EXPECT_EQ(file_bytes(path), before);
  EXPECT_NE(w.server(), nullptr);
  EXPECT_EQ(p->current_nr(), 3);

  // Answered "Nein": nothing changes either.
  set_edits(p, QStringLiteral("NEU"), QStringLiteral("C"), QStringLiteral("4"), QStringLiteral("0"));
  boxes.clear();
  boxes.script(MsgAnswer::No);
  p->PB_APPEND();
  EXPECT_EQ(boxes.count(), 1);
  EXPECT_EQ(w.ASTRUCTUR.size(), 4u);
  EXPECT_EQ(file_bytes(path), before);
}

// ---------------------------------------------------------------- rows in a designed table

TEST_F(StructurePage, InsertAndDeletePositions) {
  std::unique_ptr<TABDW_DBFDATEI> w(designed({"A", "B", "C", "D", "E"}));
  TAB_STRUKTUR* p = struktur_page(*w);
  Ui::TAB_STRUKTUR_FORM* f = p->form();

  p->CELLSELECT(1);
  p->grid_server()->set_current_row(2);
  set_edits(p, QStringLiteral("X"), QStringLiteral("N"), QStringLiteral("6"), QStringLiteral("2"));
  p->PB_INSERT();
  EXPECT_EQ(names_of(*w), (QStringList{"A", "B", "X", "C", "D", "E"}));
  EXPECT_EQ(p->current_nr(), 3);
  EXPECT_EQ(w->ASTRUCTUR[2].type, "N");
  EXPECT_EQ(w->ASTRUCTUR[2].length, 6);
  EXPECT_EQ(w->ASTRUCTUR[2].decimals, 2);
  EXPECT_EQ(w->caption(), "Struktur:  < Feld 3 von: 6 >");

  p->GOTOP();
  set_edits(p, QStringLiteral("FIRST"), QStringLiteral("L"), QStringLiteral("1"), QStringLiteral("0"));
  p->PB_INSERT();
  EXPECT_EQ(names_of(*w).first(), "FIRST");
  EXPECT_EQ(p->current_nr(), 1);

  // Appending goes to the end and makes the new row current.
  set_edits(p, QStringLiteral("LAST"), QStringLiteral("C"), QStringLiteral("3"), QStringLiteral("0"));
  p->PB_APPEND();
  EXPECT_EQ(names_of(*w).last(), "LAST");
  EXPECT_EQ(p->current_nr(), 8);

  // Deleting after the name was edited is refused.
  p->GOTOP();
  f->SE_NAME->setText(QStringLiteral("OTHER"));
  boxes.clear();
  p->PB_DELETE();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().text, "Der Name des Feldes darf vor dem Löschen nicht geändert werden!");
  EXPECT_EQ(w->ASTRUCTUR.size(), 8u);

  // Deleting the first row leaves row 1 current; deleting row 5 makes row 4 current.
  p->GOTOP();
  p->CELLSELECT(1);
  p->PB_DELETE();
  EXPECT_EQ(names_of(*w), (QStringList{"A", "B", "X", "C", "D", "E", "LAST"}));
  EXPECT_EQ(p->current_nr(), 1);
  p->grid_server()->set_current_row(4);
  ASSERT_EQ(f->SE_NAME->text(), "D");
  p->PB_DELETE();
  EXPECT_EQ(names_of(*w), (QStringList{"A", "B", "X", "C", "E", "LAST"}));
  EXPECT_EQ(p->current_nr(), 4);

  // A change in a designed table only rewrites the row.
  p->CELLSELECT(4);
  p->grid_server()->set_current_row(3);
  set_edits(p, QStringLiteral("CC"), QStringLiteral("N"), QStringLiteral("9"), QStringLiteral("3"));
  p->PB_ANDERS();
  EXPECT_EQ(w->ASTRUCTUR[3], (StructureRow{"CC", "N", 9, 3, {}}));
  EXPECT_EQ(p->current_nr(), 4);

  // A type letter outside the six has no type name.
  w->ASTRUCTUR.push_back({"ZAHL", "I", 4, 0, {}});
  p->FILL_BBSTRUCTUR();
  EXPECT_EQ(p->AFELDZEILEN.last(), (QVariantList{7, "ZAHL", "", "I", 4, 0}));
}

TEST_F(StructurePage, AnEmptyListTakesItsFirstRowAndIgnoresChangeAndDelete) {
  std::unique_ptr<TABDW_DBFDATEI> w(designed({}));
  TAB_STRUKTUR* p = struktur_page(*w);
  EXPECT_EQ(p->current_nr(), 0);
  boxes.clear();
  p->PB_DELETE();
  p->PB_ANDERS();
  EXPECT_EQ(boxes.count(), 0);
  EXPECT_TRUE(w->ASTRUCTUR.empty());
  set_edits(p, QStringLiteral("ONLY"), QStringLiteral("C"), QStringLiteral("5"), QStringLiteral("0"));
  p->PB_INSERT();
  EXPECT_EQ(names_of(*w), QStringList{"ONLY"});
  EXPECT_EQ(p->current_nr(), 1);
  EXPECT_EQ(w->caption(), "Struktur:  < Feld 1 von: 1 >");
  // The only field of a designed table may go.
  p->PB_DELETE();
  EXPECT_TRUE(w->ASTRUCTUR.empty());
  EXPECT_EQ(w->caption(), "Struktur: ");
}

// ---------------------------------------------------------------- file facts of each driver

TEST_F(StructurePage, FileFactsOfFixturesOfEachDriver) {
  struct Case {
    const char* dir;
    const char* file;
    const char* driver;
    const char* memo;   // "" when the table has none
    const char* index;  // the index row's name; "" when not found
  };
  const Case cases[] = {
      {"peer/ntx-dbt", "KUNDEN", "DBFNTX", ".DBT", ".NTX"},
      {"peer/cdx-fpt", "KUNDEN", "DBFCDX", ".FPT", ".CDX"},
      {"peer/cdx-dbt", "KUNDEN", "_DBFCDX", ".DBT", ".CDX"},
      {"peer-mdx/mdx-dbt4", "KUNDEN", "DBFMDX", ".dbt", ".mdx"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dir);
    testing::TempDir d("facts");
    if (copy_case(d, c.dir).empty()) GTEST_SKIP() << "fixture missing";
    const std::string path = d.file(std::string(c.file) + ".DBF");
    TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
    ASSERT_NE(w.server(), nullptr);
    TAB_STRUKTUR* p = struktur_page(w);
    Ui::TAB_STRUKTUR_FORM* f = p->form();
    EXPECT_EQ(w.CEDRIVER, c.driver);
    EXPECT_EQ(f->FT_DRIVER->text(), c.driver);
    const Table& t = *w.server()->table();
    EXPECT_EQ(f->FT_ANZSATZIST->text(), grouped(w.server()->LASTREC()));
    EXPECT_EQ(f->FT_ANZFELDIST->text(), grouped(t.fcount()));
    EXPECT_EQ(f->FT_SATZLANGIST->text(), grouped(t.record_length()));
    EXPECT_EQ(f->FT_DBFNAME->text(), QString::fromLatin1(c.file) + ".DBF");
    EXPECT_EQ(f->FT_DBFLANG->text(), grouped(fsys::file_size(path)));
    EXPECT_TRUE(f->FT_DBFDATE->text().contains(" @ ")) << f->FT_DBFDATE->text().toStdString();
    if (*c.memo) {
      EXPECT_EQ(f->FT_MEMOLANG->text(), grouped(fsys::file_size(d.file(std::string(c.file) + c.memo))));
    } else {
      EXPECT_EQ(f->FT_MEMOLANG->text(), "0");
      EXPECT_EQ(f->FT_MEMODATE->text(), "nicht vorhanden");
    }
    EXPECT_EQ(f->FT_OLEDATE->text(), "nicht vorhanden");
    if (QString::fromLatin1(c.driver) == "DBFNTX") {
      EXPECT_EQ(f->FT_INDEXNAME->text(), ".NTX");
    } else {
      EXPECT_EQ(f->FT_INDEXLANG->text(), grouped(fsys::file_size(d.file(std::string(c.file) + c.index))));
    }
    EXPECT_EQ(f->FT_VERZNAME->text(), QString::fromStdString(d.path()) + "/");
    EXPECT_FALSE(f->CHB_EXCLUSIVE->isChecked());
    EXPECT_FALSE(f->CHB_ANSI->isChecked());
  }
}

TEST_F(StructurePage, CheckBoxesSetTheOpenFlags) {
  const std::string path = twtest::make_table(dir.path(), "T.DBF", 2);
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  TAB_STRUKTUR* p = struktur_page(w);
  Ui::TAB_STRUKTUR_FORM* f = p->form();
  f->CHB_EXCLUSIVE->click();
  EXPECT_FALSE(w.LESHARE);
  ASSERT_NE(w.server(), nullptr);
  EXPECT_FALSE(w.server()->SHARED());
  f->CHB_READONLY->click();
  EXPECT_TRUE(w.LEREADONLY);
  ASSERT_NE(w.server(), nullptr);
  EXPECT_TRUE(w.server()->READONLY());
  EXPECT_TRUE(f->CHB_EXCLUSIVE->isChecked());
  f->CHB_ANSI->click();
  EXPECT_TRUE(w.LEANSI);
  EXPECT_TRUE(p->LESE_CHBANSI());
  EXPECT_TRUE(ansi_mode());
  f->CHB_ANSI->click();
  EXPECT_FALSE(ansi_mode());
  EXPECT_EQ(boxes.count(), 0);

  // In a window for a new table the boxes only set the flags.
  std::unique_ptr<TABDW_DBFDATEI> fresh(new TABDW_DBFDATEI(&shell));
  TAB_STRUKTUR* q = struktur_page(*fresh);
  q->form()->CHB_EXCLUSIVE->click();
  q->form()->CHB_READONLY->click();
  EXPECT_FALSE(fresh->LESHARE);
  EXPECT_TRUE(fresh->LEREADONLY);
  EXPECT_EQ(boxes.count(), 0);
}

// ---------------------------------------------------------------- new tables

TEST_F(StructurePage, CreatingANewTable) {
  struct Case {
    const char* chosen;
    const char* created;  // "" creates nothing
    const char* message;  // "" none
  };
  const Case cases[] = {
      {"KUNDEN", "KUNDEN.dbf", ""},
      {"kunden.Dbf", "kunden.Dbf", ""},
      {"LIEFER.DBF", "LIEFER.DBF", ""},
      {"KUNDEN.TXT", "", "Fehlerhafte Dateiendung!\r\nDie Dateiendung <DBF> wird automatisch gesetzt."},
      {"", "", "Es wurde kein Dateiname erfasst!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chosen);
    testing::TempDir d("neu");
    std::unique_ptr<TABDW_DBFDATEI> w(designed({"NAME"}));
    w->ASTRUCTUR.push_back({"TEXT", "M", 10, 0, {}});
    const QString chosen = QString::fromStdString(d.path()) + "/" + QString::fromUtf8(c.chosen);
    TAB_STRUKTUR::set_save_chooser([chosen](QWidget*) { return chosen; });
    boxes.clear();
    struktur_page(*w)->PB_SAVE();
    if (*c.message) {
      ASSERT_EQ(boxes.count(), 1);
      EXPECT_EQ(boxes.last().text, QString::fromUtf8(c.message));
      EXPECT_TRUE(w->CEDBF.isEmpty());
      EXPECT_TRUE(fsys::is_empty(d.path()));
      continue;
    }
    EXPECT_EQ(boxes.count(), 0);
    const std::string created = d.file(c.created);
    EXPECT_TRUE(fsys::exists(created));
    EXPECT_EQ(w->CEDBF, QString::fromStdString(created));
    EXPECT_EQ(w->CEFILE + w->CEEXT, QString::fromStdString(fsys::path(created).filename().string()));
    EXPECT_EQ(w->TABCONTROL()->currentIndex(), 0);
    ASSERT_NE(w->server(), nullptr);
    EXPECT_EQ(w->CEDRIVER, "DBFCDX");
    EXPECT_EQ(names_of(*w), (QStringList{"NAME", "TEXT"}));
    EXPECT_EQ(history.GETSTRING(w->CEDBF, "Anzahl"), "1");
    EXPECT_EQ(history.GETSTRING(w->CEDBF, "Datum"), QDate::currentDate().toString("dd.MM.yyyy"));
    EXPECT_FALSE(history.GETSTRING(w->CEDBF, "Zeit").isEmpty());
    // From now on the page is in open-table mode.
    Ui::TAB_STRUKTUR_FORM* f = struktur_page(*w)->form();
    EXPECT_TRUE(f->PB_SAVE->isHidden());
    EXPECT_FALSE(f->PB_COPY->isHidden());
    EXPECT_EQ(f->FT_FILENAME->text(), "Name");
    EXPECT_EQ(f->FT_DRIVER->text(), "DBFCDX");
    EXPECT_EQ(w->caption(), "Struktur: " + w->CEFILE + w->CEEXT + " < Feld 1 von: 2 >");
    // The button now does nothing.
    boxes.clear();
    struktur_page(*w)->PB_SAVE();
    EXPECT_EQ(boxes.count(), 0);
  }
}

TEST_F(StructurePage, NoFieldsNoChoiceAndTheOverwriteQuestion) {
  {
    std::unique_ptr<TABDW_DBFDATEI> w(designed({}));
    bool asked = false;
    TAB_STRUKTUR::set_save_chooser([&asked](QWidget*) {
      asked = true;
      return QString();
    });
    struktur_page(*w)->PB_SAVE();
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().text, "Es wurden keine Strukturdaten erfaßt!");
    EXPECT_FALSE(asked);
    w->ASTRUCTUR.push_back({"A", "C", 1, 0, {}});
    boxes.clear();
    struktur_page(*w)->PB_SAVE();  // the dialog closed without a file
    EXPECT_TRUE(asked);
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_TRUE(w->CEDBF.isEmpty());
  }
  // An existing file: the question; "Nein" changes nothing and says nothing more.
  const std::string old = twtest::make_table(dir.path(), "ALT.DBF", 3, {}, "DBFCDX");
  touch(dir.file("ALT.FPT"), "old memo");
  touch(dir.file("ALT.DFL"), "old ole");
  const auto before = file_bytes(old);
  std::unique_ptr<TABDW_DBFDATEI> w(designed({"NEU"}));
  TAB_STRUKTUR::set_save_chooser([&](QWidget*) { return QString::fromStdString(old); });
  boxes.clear();
  boxes.script(MsgAnswer::No);
  struktur_page(*w)->PB_SAVE();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Datei speichern");
  EXPECT_EQ(boxes.last().text, "Die Datei: " + QString::fromStdString(old) +
                                   "\r\nexistiert bereits!\r\n\r\nSoll die vorhandene Datei überschrieben werden?");
  EXPECT_EQ(file_bytes(old), before);
  EXPECT_TRUE(w->CEDBF.isEmpty());

  // A wrong extension is refused after the question for a file that exists.
  touch(dir.file("ALT.TXT"));
  TAB_STRUKTUR::set_save_chooser([&](QWidget*) { return QString::fromStdString(dir.file("ALT.TXT")); });
  boxes.clear();
  boxes.script(MsgAnswer::Yes);
  struktur_page(*w)->PB_SAVE();
  ASSERT_EQ(boxes.count(), 2);
  EXPECT_EQ(boxes.shown()[0].caption, "Datei speichern");
  EXPECT_EQ(boxes.shown()[1].text, "Fehlerhafte Dateiendung!\r\nDie Dateiendung <DBF> wird automatisch gesetzt.");

  // While the table is open in another window it is not replaced.
  {
    TABDW_DBFDATEI holder(&shell, QString::fromStdString(old), true, false, false);
    ASSERT_NE(holder.server(), nullptr);
    TAB_STRUKTUR::set_save_chooser([&](QWidget*) { return QString::fromStdString(old); });
    boxes.clear();
    boxes.script(MsgAnswer::Yes);
    struktur_page(*w)->PB_SAVE();
    ASSERT_EQ(boxes.count(), 2);
    EXPECT_EQ(boxes.last().text,
              "Die Datei \r\n\r\n" + QString::fromStdString(old) + "\r\n\r\nkonnte nicht erstellt werden!");
    EXPECT_EQ(file_bytes(old), before);
    // The window stays a new table with its driver, ready for another try.
    EXPECT_TRUE(w->CEDBF.isEmpty());
    EXPECT_TRUE(w->CEFILE.isEmpty());
    EXPECT_EQ(w->CEDRIVER, "DBFCDX");
  }
  // "Ja": the old table goes with its memo, OLE file and production bag.
  ASSERT_TRUE(fsys::exists(dir.file("ALT.CDX")) || true);
  touch(dir.file("ALT.CDX"), "old bag");
  boxes.clear();
  boxes.script(MsgAnswer::Yes);
  struktur_page(*w)->PB_SAVE();
  EXPECT_EQ(boxes.count(), 1);
  EXPECT_EQ(w->CEDBF, QString::fromStdString(old));
  ASSERT_NE(w->server(), nullptr);
  EXPECT_EQ(names_of(*w), QStringList{"NEU"});
  EXPECT_EQ(w->server()->LASTREC(), 0u);
  for (const char* gone : {"ALT.FPT", "ALT.DFL", "ALT.CDX"}) EXPECT_FALSE(fsys::exists(dir.file(gone))) << gone;
  EXPECT_TRUE(fsys::exists(dir.file("ALT.TXT")));
}

TEST_F(StructurePage, ACreationThatFailsCanBeTriedAgain) {
  std::unique_ptr<TABDW_DBFDATEI> w(designed({"NAME"}));
  const QString missing = QString::fromStdString(dir.file("fehlt/NEU.DBF"));
  TAB_STRUKTUR::set_save_chooser([&](QWidget*) { return missing; });
  struktur_page(*w)->PB_SAVE();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().text, "Die Datei \r\n\r\n" + missing + "\r\n\r\nkonnte nicht erstellt werden!");
  EXPECT_TRUE(w->CEDBF.isEmpty());
  EXPECT_FALSE(struktur_page(*w)->form()->PB_SAVE->isHidden());
  const QString good = QString::fromStdString(dir.file("NEU.DBF"));
  TAB_STRUKTUR::set_save_chooser([&](QWidget*) { return good; });
  boxes.clear();
  struktur_page(*w)->PB_SAVE();
  EXPECT_EQ(boxes.count(), 0);
  EXPECT_EQ(w->CEDBF, good);
  EXPECT_NE(w->server(), nullptr);
}

TEST_F(StructurePage, HeaderBytesOfANewTablePerDriverAndTheOpeningsCounted) {
  struct Case {
    const char* driver;
    bool memo;
    uint8_t version;
    const char* memo_ext;
  };
  const Case cases[] = {
      {"DBFCDX", false, 0x03, ""},     {"DBFCDX", true, 0xF5, ".FPT"}, {"_DBFCDX", true, 0x83, ".DBT"},
      {"DBFMDX", true, 0x8B, ".DBT"},  {"DBFNTX", true, 0x83, ".DBT"}, {"DBFNTX", false, 0x03, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.driver) + (c.memo ? " memo" : ""));
    testing::TempDir d("kopf");
    std::unique_ptr<TABDW_DBFDATEI> w(designed({}));
    w->ASTRUCTUR = {{"NAME", "C", 20, 0, {}}, {"BETRAG", "N", 12, 2, {}}};
    if (c.memo) w->ASTRUCTUR.push_back({"NOTIZ", "M", 10, 0, {}});
    TAB_STRUKTUR* p = struktur_page(*w);
    p->form()->CB_DRIVER->setCurrentIndex(p->form()->CB_DRIVER->findData(QString::fromLatin1(c.driver)));
    p->LISTBOXSELECT(p->form()->CB_DRIVER);
    const std::string path = d.file("NEU.DBF");
    TAB_STRUKTUR::set_save_chooser([&](QWidget*) { return QString::fromStdString(path); });
    boxes.clear();
    p->PB_SAVE();
    EXPECT_EQ(boxes.count(), 0);
    const auto bytes = file_bytes(path);
    ASSERT_GE(bytes.size(), 32u);
    const size_t fields = c.memo ? 3 : 2;
    EXPECT_EQ(bytes[0], c.version);
    EXPECT_EQ(bytes[4] | bytes[5] << 8 | bytes[6] << 16 | bytes[7] << 24, 0);
    EXPECT_EQ(size_t(bytes[8] | bytes[9] << 8), 32 * (fields + 1) + 1);
    EXPECT_EQ(size_t(bytes[10] | bytes[11] << 8), 1 + 20 + 12 + (c.memo ? 10 : 0));
    EXPECT_EQ(std::string(bytes.begin() + 32, bytes.begin() + 36), "NAME");
    EXPECT_EQ(bytes[32 + 11], 'C');
    EXPECT_EQ(bytes[64 + 11], 'N');
    EXPECT_EQ(bytes[64 + 16], 12);
    EXPECT_EQ(bytes[64 + 17], 2);
    if (c.memo) {
      EXPECT_TRUE(fsys::exists(d.file(std::string("NEU") + c.memo_ext)));
    }
    // The table comes back with the driver it was made with.
    EXPECT_EQ(w->CEDRIVER, c.driver);
    EXPECT_EQ(p->form()->FT_DRIVER->text(), c.driver);
  }
  // Created again over an old one: the opening is counted on.
  std::unique_ptr<TABDW_DBFDATEI> w(designed({"A"}));
  const QString path = QString::fromStdString(dir.file("ZAEHL.DBF"));
  TAB_STRUKTUR::set_save_chooser([&](QWidget*) { return path; });
  struktur_page(*w)->PB_SAVE();
  EXPECT_EQ(history.GETSTRING(path, "Anzahl"), "1");
  w.reset(designed({"B"}));
  boxes.script(MsgAnswer::Yes);
  struktur_page(*w)->PB_SAVE();
  EXPECT_EQ(history.GETSTRING(path, "Anzahl"), "2");
}

// ---------------------------------------------------------------- changes on disk

TEST_F(StructurePage, ChangesOfAnOpenTableGoToDiskAtOnce) {
  const std::string path = twtest::make_table(dir.path(), "T.DBF", 5, {2}, "DBFCDX");
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  ASSERT_NE(w.server(), nullptr);
  TAB_STRUKTUR* p = struktur_page(w);
  auto records = [&] { return raw_records(path); };
  ASSERT_EQ(records().size(), 5u);

  // Append: the new field is empty in every record, the deleted record stays deleted.
  set_edits(p, QStringLiteral("ORT"), QStringLiteral("C"), QStringLiteral("12"), QStringLiteral("0"));
  boxes.clear();
  boxes.script(MsgAnswer::Yes);
  {
    ProgressWatch progress;
    p->PB_APPEND();
    EXPECT_EQ(progress.captions, QStringList{"Daten übernehmen..."});
    EXPECT_FALSE(progress.cancellable);
  }
  EXPECT_EQ(boxes.count(), 1);  // the question alone
  ASSERT_NE(w.server(), nullptr);
  EXPECT_EQ(names_of(w), (QStringList{"NAME", "NR", "DATUM", "OK", "ORT"}));
  EXPECT_EQ(p->current_nr(), 5);
  auto r = records();
  ASSERT_EQ(r.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(r[i].deleted, i == 1) << i;
    EXPECT_EQ(r[i].values["NAME"], "Name " + std::to_string(i + 1));
    EXPECT_EQ(r[i].values["NR"], std::to_string(i + 1));
    EXPECT_EQ(r[i].values["ORT"], "");
  }
  EXPECT_EQ(w.CEDRIVER, "DBFCDX");
  EXPECT_FALSE(fsys::exists(dir.file("T_Neu.dbf")));

  // A pure rename changes the ten name bytes of that descriptor alone.
  auto before = file_bytes(path);
  p->CELLSELECT(2);
  p->grid_server()->set_current_row(1);
  p->form()->SE_NAME->setText(QStringLiteral("NUMMER"));
  boxes.clear();
  boxes.script(MsgAnswer::Yes);
  p->PB_ANDERS();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().text, "Soll das Datenfeld NR\r\nin NUMMER umbenannt werden?");
  auto after = file_bytes(path);
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i)
    if (i < 64 || i >= 74) {
      EXPECT_EQ(after[i], before[i]) << i;
    }
  EXPECT_EQ(std::string(after.begin() + 64, after.begin() + 74), std::string("NUMMER\0\0\0\0", 10));
  EXPECT_EQ(names_of(w)[1], "NUMMER");
  EXPECT_EQ(p->current_nr(), 2);

  // Name and length together: the rename first, then the rebuild under the new name.
  p->GOTOP();
  p->CELLSELECT(1);
  set_edits(p, QStringLiteral("KUNDE"), QStringLiteral("C"), QStringLiteral("20"), QStringLiteral("0"));
  boxes.clear();
  boxes.script(MsgAnswer::Yes);
  p->PB_ANDERS();
  EXPECT_EQ(boxes.count(), 1);
  EXPECT_EQ(w.ASTRUCTUR[0], (StructureRow{"KUNDE", "C", 20, 0, {}}));
  r = records();
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(r[2].values["KUNDE"], "Name 3");
  EXPECT_TRUE(r[1].deleted);

  // A type change passes the records through the text file, which stays.
  p->CELLSELECT(2);
  p->grid_server()->set_current_row(1);
  set_edits(p, QStringLiteral("NUMMER"), QStringLiteral("C"), QStringLiteral("5"), QStringLiteral("0"));
  boxes.clear();
  boxes.script(MsgAnswer::Yes);
  p->PB_ANDERS();
  EXPECT_EQ(boxes.count(), 1);
  EXPECT_EQ(w.ASTRUCTUR[1], (StructureRow{"NUMMER", "C", 5, 0, {}}));
  r = records();
  EXPECT_EQ(r[3].values["NUMMER"], "4");
  EXPECT_TRUE(fsys::exists(dir.file("T.txt")));

  // Insert before row 3, then delete rows 1 and 5 (the old "OK" is then row 5).
  p->CELLSELECT(3);
  p->grid_server()->set_current_row(2);
  set_edits(p, QStringLiteral("NEU"), QStringLiteral("N"), QStringLiteral("4"), QStringLiteral("1"));
  boxes.script(MsgAnswer::Yes);
  p->PB_INSERT();
  EXPECT_EQ(names_of(w), (QStringList{"KUNDE", "NUMMER", "NEU", "DATUM", "OK", "ORT"}));
  EXPECT_EQ(p->current_nr(), 3);
  p->GOTOP();
  p->CELLSELECT(1);
  boxes.script(MsgAnswer::Yes);
  p->PB_DELETE();
  EXPECT_EQ(names_of(w), (QStringList{"NUMMER", "NEU", "DATUM", "OK", "ORT"}));
  EXPECT_EQ(p->current_nr(), 1);
  p->grid_server()->set_current_row(4);
  boxes.clear();
  boxes.script(MsgAnswer::Yes);
  p->PB_DELETE();
  EXPECT_EQ(boxes.count(), 1);
  EXPECT_EQ(names_of(w), (QStringList{"NUMMER", "NEU", "DATUM", "OK"}));
  EXPECT_EQ(p->current_nr(), 4);
  r = records();
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(r[4].values["NUMMER"], "5");
  EXPECT_EQ(r[4].values.count("KUNDE"), 0u);
  EXPECT_TRUE(r[1].deleted);
  EXPECT_EQ(w.caption(), "Struktur: T.DBF < Feld 4 von: 4 >");
}

TEST_F(StructurePage, ARebuildKeepsTheDriverAndRefusesWhileAnotherHoldsTheTable) {
  const std::string path = twtest::make_table(dir.path(), "N.DBF", 3, {}, "DBFNTX");
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  ASSERT_NE(w.server(), nullptr);
  // The window was told the driver (a table without memo does not say it itself).
  w.made_with_driver = QStringLiteral("DBFNTX");
  w.OPENDBFNEU();
  ASSERT_EQ(w.CEDRIVER, "DBFNTX");
  TAB_STRUKTUR* p = struktur_page(w);
  set_edits(p, QStringLiteral("X"), QStringLiteral("L"), QStringLiteral("1"), QStringLiteral("0"));
  boxes.script(MsgAnswer::Yes);
  p->PB_APPEND();
  EXPECT_EQ(w.CEDRIVER, "DBFNTX");
  EXPECT_EQ(w.ASTRUCTUR.size(), 5u);

  // Another program holds the table: the lock message, every file as it was, the table
  // open again.
  OpenOptions o;
  o.driver = "DBFNTX";
  auto other = Table::open(path, o);
  ASSERT_TRUE(other);
  const auto before = file_bytes(path);
  set_edits(p, QStringLiteral("Y"), QStringLiteral("L"), QStringLiteral("1"), QStringLiteral("0"));
  boxes.clear();
  boxes.script(MsgAnswer::Yes);
  p->PB_APPEND();
  ASSERT_EQ(boxes.count(), 2);
  EXPECT_EQ(boxes.last().text, "Die Datei kann nicht exklusiv geöffnet werden!");
  EXPECT_EQ(file_bytes(path), before);
  EXPECT_NE(w.server(), nullptr);
  EXPECT_EQ(w.ASTRUCTUR.size(), 5u);
  EXPECT_FALSE(fsys::exists(dir.file("N_Neu.dbf")));
  // The rename as well.
  p->CELLSELECT(1);
  p->GOTOP();
  p->form()->SE_NAME->setText(QStringLiteral("VORNAME"));
  boxes.clear();
  boxes.script(MsgAnswer::Yes);
  p->PB_ANDERS();
  ASSERT_EQ(boxes.count(), 2);
  EXPECT_EQ(boxes.last().text, "Die Datei kann nicht exklusiv geöffnet werden!");
  EXPECT_EQ(file_bytes(path), before);
  EXPECT_EQ(names_of(w)[0], "NAME");
  (*other)->close().ignore();

  // The only field of a table cannot go.
  const std::string one = dir.file("EINS.DBF");
  ASSERT_TRUE(db_create(one, {{"A", 'C', 3, 0}}, "DBFCDX"));
  TABDW_DBFDATEI w1(&shell, QString::fromStdString(one), true, false, false);
  TAB_STRUKTUR* p1 = struktur_page(w1);
  const auto one_before = file_bytes(one);
  boxes.clear();
  boxes.script(MsgAnswer::Yes);
  p1->PB_DELETE();
  ASSERT_EQ(boxes.count(), 2);
  EXPECT_EQ(boxes.last().text, "Die Datei \r\n\r\n" + QString::fromStdString(dir.file("EINS_Neu")) +
                                   "\r\n\r\nkonnte nicht neu erstellt werden!");
  EXPECT_EQ(file_bytes(one), one_before);
  EXPECT_EQ(w1.ASTRUCTUR.size(), 1u);
}

TEST_F(StructurePage, OrdersWhoseKeyNoLongerCompilesAreLeftOutWithOneMessage) {
  if (copy_case(dir, "peer/cdx-fpt").empty()) GTEST_SKIP() << "fixture missing";
  const std::string path = dir.file("KUNDEN.DBF");
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  ASSERT_NE(w.server(), nullptr);
  ASSERT_EQ(w.server()->orders()->count(), 10);
  auto memo_of = [&](uint32_t recno) {
    Table* t = w.server()->table();
    EXPECT_TRUE(t->go_to(recno));
    auto m = t->memo_text(t->field_pos("NOTIZ"));
    return m ? m.value() : std::string("?");
  };
  const std::string memo = memo_of(7);
  EXPECT_NE(memo, "?");
  TAB_STRUKTUR* p = struktur_page(w);
  p->GOTOP();
  p->CELLSELECT(1);
  boxes.clear();
  boxes.script(MsgAnswer::Yes);
  p->PB_DELETE();
  ASSERT_EQ(boxes.count(), 2);
  EXPECT_EQ(boxes.last().text, "Die Indexdatei konnte nicht erstellt werden!");
  ASSERT_NE(w.server(), nullptr);
  EXPECT_EQ(w.CEDRIVER, "DBFCDX");
  EXPECT_EQ(w.server()->LASTREC(), 1200u);
  // NAME, AKTIVF and MENGNAME named the field.
  QStringList tags;
  for (int i = 1; i <= w.server()->orders()->count(); ++i) tags << w.server()->orders()->info(i).name;
  EXPECT_EQ(tags, (QStringList{"BETRAG", "DATUM", "KOMBI", "ORTU", "MENGED", "DATUMD", "AKTIVL"}));
  EXPECT_EQ(memo_of(7), memo);
}

TEST_F(StructurePage, ANewTableWithMemoKeepsItsTextsThroughEveryChange) {
  std::unique_ptr<TABDW_DBFDATEI> w(designed({}));
  w->ASTRUCTUR = {{"NAME", "C", 10, 0, {}}, {"NOTIZ", "M", 10, 0, {}}};
  TAB_STRUKTUR* p = struktur_page(*w);
  p->FILL_BBSTRUCTUR();
  const QString path = QString::fromStdString(dir.file("KUNDEN"));
  TAB_STRUKTUR::set_save_chooser([&](QWidget*) { return path; });
  p->PB_SAVE();
  ASSERT_EQ(boxes.count(), 0);
  ASSERT_NE(w->server(), nullptr);
  {
    Table* t = w->server()->table();
    for (int i = 1; i <= 3; ++i) {
      ASSERT_TRUE(t->append_blank());
      ASSERT_TRUE(t->field_put("NAME", Value::character("Kunde " + std::to_string(i))));
      ASSERT_TRUE(t->field_put("NOTIZ", Value::character("Notiz " + std::to_string(i) + " mit Text")));
      if (i == 2) {
        ASSERT_TRUE(t->delete_record());
      }
    }
    ASSERT_TRUE(t->commit());
  }
  auto check = [&](const char* step, const char* name_field) {
    SCOPED_TRACE(step);
    ASSERT_NE(w->server(), nullptr);
    EXPECT_EQ(w->CEDRIVER, "DBFCDX");
    Table* t = w->server()->table();
    ASSERT_EQ(t->lastrec(), 3u);
    for (uint32_t i = 1; i <= 3; ++i) {
      ASSERT_TRUE(t->go_to(i));
      EXPECT_EQ(t->deleted(), i == 2);
      auto memo = t->memo_text(t->field_pos("NOTIZ"));
      ASSERT_TRUE(memo);
      EXPECT_EQ(memo.value(), "Notiz " + std::to_string(i) + " mit Text");
      auto name = t->field_get(name_field);
      ASSERT_TRUE(name);
      EXPECT_EQ(QString::fromStdString(name.value().str).trimmed().toStdString(), "Kunde " + std::to_string(i));
    }
  };
  p = struktur_page(*w);
  auto answer_yes = [&] { boxes.script(MsgAnswer::Yes); };
  // Insert NR before NOTIZ.
  p->CELLSELECT(2);
  p->grid_server()->set_current_row(1);
  set_edits(p, QStringLiteral("NR"), QStringLiteral("N"), QStringLiteral("5"), QStringLiteral("0"));
  answer_yes();
  p->PB_INSERT();
  EXPECT_EQ(names_of(*w), (QStringList{"NAME", "NR", "NOTIZ"}));
  check("insert", "NAME");
  // Widen NAME.
  p->GOTOP();
  p->CELLSELECT(1);
  set_edits(p, QStringLiteral("NAME"), QStringLiteral("C"), QStringLiteral("25"), QStringLiteral("0"));
  answer_yes();
  p->PB_ANDERS();
  EXPECT_EQ(w->ASTRUCTUR[0].length, 25);
  check("widen", "NAME");
  // Retype NR to a character field.
  p->CELLSELECT(2);
  p->grid_server()->set_current_row(1);
  set_edits(p, QStringLiteral("NR"), QStringLiteral("C"), QStringLiteral("5"), QStringLiteral("0"));
  answer_yes();
  p->PB_ANDERS();
  EXPECT_EQ(w->ASTRUCTUR[1].type, "C");
  check("retype", "NAME");
  // Rename NAME.
  p->GOTOP();
  p->CELLSELECT(1);
  p->form()->SE_NAME->setText(QStringLiteral("KUNDE"));
  answer_yes();
  p->PB_ANDERS();
  EXPECT_EQ(names_of(*w), (QStringList{"KUNDE", "NR", "NOTIZ"}));
  check("rename", "KUNDE");
  // Delete NR.
  p->CELLSELECT(2);
  p->grid_server()->set_current_row(1);
  answer_yes();
  p->PB_DELETE();
  EXPECT_EQ(names_of(*w), (QStringList{"KUNDE", "NOTIZ"}));
  check("delete", "KUNDE");
  EXPECT_EQ(boxes.count(), 5);  // the five questions, nothing else
  for (const char* left : {"KUNDEN_Neu.dbf", "KUNDEN_Neu.FPT"}) EXPECT_FALSE(fsys::exists(dir.file(left))) << left;
}

// ---------------------------------------------------------------- backups

TEST_F(StructurePage, NumberedBackups) {
  struct Case {
    std::vector<const char*> present;
    const char* made;
  };
  const Case cases[] = {{{"T_1.DBF", "T_2.DBF"}, "T_3"}, {{"T_2.DBF"}, "T_1"}, {{}, "T_1"}};
  for (const Case& c : cases) {
    testing::TempDir d("copy");
    const std::string path = twtest::make_table(d.path(), "T.DBF", 3, {}, "DBFCDX");
    for (const char* n : c.present) touch(d.file(n));
    TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
    ASSERT_NE(w.server(), nullptr);
    TAB_STRUKTUR* p = struktur_page(w);
    boxes.clear();
    p->PB_COPY();
    ASSERT_EQ(boxes.count(), 1) << c.made;
    EXPECT_EQ(boxes.last().caption, "Copy");
    const std::string made = d.file(c.made);
    EXPECT_EQ(boxes.last().text, "Es wurde die Sicherungskopie \r\n" + QString::fromStdString(made) + ".DBF\r\n erstellt");
    EXPECT_EQ(file_bytes(made + ".DBF"), file_bytes(path));
    EXPECT_NE(w.server(), nullptr);  // open again
  }
  // The table file has vanished: the failure text, nothing copied.
  testing::TempDir d("vanished");
  const std::string path = twtest::make_table(d.path(), "T.DBF", 3, {}, "DBFCDX");
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  TAB_STRUKTUR* p = struktur_page(w);
  fsys::remove(path);
  boxes.clear();
  p->SICHERUNGSCOPY();
  ASSERT_GE(boxes.count(), 1);
  EXPECT_EQ(boxes.last().text, "Die alte Datei\r\n\r\n" + QString::fromStdString(d.file("T")) +
                                   ".DBF\r\n\r\nkonnte nicht kopiert werden!");
  EXPECT_FALSE(fsys::exists(d.file("T_1.DBF")));
}

TEST_F(StructurePage, ABackupWaitsForNoOtherProgram) {
  const std::string path = twtest::make_table(dir.path(), "T.DBF", 3, {}, "DBFCDX");
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  TAB_STRUKTUR* p = struktur_page(w);
  // Another holder of the table's exclusive open lock.
  OpenOptions o;
  o.shared = false;
  o.driver = "DBFCDX";
  w.GRIDDBSERVERCLOSE();
  auto other = Table::open(path, o);
  ASSERT_TRUE(other);
  boxes.clear();
  p->SICHERUNGSCOPY();
  ASSERT_GE(boxes.count(), 1);
  EXPECT_EQ(boxes.last().text, "Die Datei kann nicht exklusiv geöffnet werden!");
  EXPECT_FALSE(fsys::exists(dir.file("T_1.DBF")));
}

// ---------------------------------------------------------------- printed list

TEST_F(StructurePage, FieldListToPdf) {
  if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) GTEST_SKIP() << "no pdftotext";
  const std::string path = twtest::make_table(dir.path(), "T.DBF", 3);
  TABDW_DBFDATEI w(&shell, QString::fromStdString(path), true, false, false);
  TAB_STRUKTUR* p = struktur_page(w);
  const QString pdf = QString::fromStdString(dir.file("liste.pdf"));
  report::set_pdf_route(pdf);
  w.FILEAUSGABE(false);
  report::set_pdf_route(QString());
  QProcess run;
  run.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
  ASSERT_TRUE(run.waitForFinished(20000));
  const QString text = QString::fromUtf8(run.readAllStandardOutput());
  EXPECT_TRUE(text.contains("Struktur: " + QString::fromStdString(path))) << text.toStdString();
  for (const char* s : {"C => Character", "N => Numeric", "D => Date", "L => Logic", "Feldname", "DATUM"})
    EXPECT_TRUE(text.contains(QString::fromUtf8(s))) << s;
  (void)p;
}

// ---------------------------------------------------------------- pictures

TEST_F(StructurePage, PicturesOfBothModes) {
  shell.resize(1100, 720);
  shell.show();
  testing::TempDir d("bild");
  if (copy_case(d, "peer/cdx-fpt").empty()) GTEST_SKIP() << "fixture missing";
  for (bool fresh : {true, false}) {
    auto* w = fresh ? new TABDW_DBFDATEI(&shell)
                    : new TABDW_DBFDATEI(&shell, QString::fromStdString(d.file("KUNDEN.DBF")), true, false, false);
    w->SHOW();
    if (fresh) {
      w->ASTRUCTUR = {{"NAME", "C", 30, 0, {}}, {"BETRAG", "N", 12, 2, {}}, {"NOTIZ", "M", 10, 0, {}}};
    }
    TAB_STRUKTUR* p = struktur_page(*w);
    p->FILL_BBSTRUCTUR();
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    twtest::expect_whole_texts(p);
    const QImage image = shell.grab().toImage();
    ASSERT_FALSE(image.isNull());
    const QString out = QStringLiteral(MOLVANE_BINARY_DIR) +
                        (fresh ? QStringLiteral("/struktur_neu.png") : QStringLiteral("/struktur_tabelle.png"));
    EXPECT_TRUE(image.save(out)) << out.toStdString();
    if (!fresh) {
      EXPECT_EQ(w->caption(), "Struktur: KUNDEN.DBF < Feld 1 von: " + QString::number(w->ASTRUCTUR.size()) + " >");
    }
    w->ASTRUCTUR.clear();  // no question on closing
    delete w;
  }
}

}  // namespace
}  // namespace mv
