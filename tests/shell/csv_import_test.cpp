// CSV files become tables: values as a real CSV reader splits them, the encoding of the
// file, the field types and widths, the messages of a failed import, and that a failed or
// cancelled import leaves nothing behind (also when a write or rename fails). Then the
// shell's command: the name check, the overwrite question and the new table window.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTimer>
#include <QMenuBar>
#include <algorithm>
#include <fstream>
#include <map>

#include "components/dlgprogress.h"
#include "platform/gui/messagebox.h"
#include "platform/table/table.h"
#include "shell/csv_import.h"
#include "shell/settings.h"
#include "shell/shellwindow.h"
#include "shell/start.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tests/shell/shell_helpers.h"
#include "tests/support/faulty_fs.h"
#include "tests/support/fixtures.h"
#include "tests/support/forwarding_fs.h"

namespace mv {
namespace {

void put(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << bytes;
}

std::string get(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// Every file of a folder with its bytes.
std::map<std::string, std::string> folder(const std::string& dir) {
  std::map<std::string, std::string> out;
  for (const QString& n : QDir(QString::fromStdString(dir)).entryList(QDir::Files))
    out[n.toStdString()] = get(dir + "/" + n.toStdString());
  return out;
}

struct TableText {
  std::vector<StructRow> fields;
  std::vector<std::string> records;  // stored bytes without the deletion flag
};

TableText read_table(const std::string& path) {
  OpenOptions o;
  o.shared = false;
  o.read_only = true;
  auto t = Table::open(path, o);
  EXPECT_TRUE(t.is_ok()) << t.status().to_string();
  TableText out;
  if (!t) return out;
  out.fields = (*t)->dbstruct();
  std::vector<uint8_t> rec;
  for (uint32_t i = 1; i <= (*t)->lastrec(); ++i) {
    EXPECT_TRUE((*t)->read_record(i, rec).is_ok());
    out.records.emplace_back(rec.begin() + 1, rec.end());
  }
  EXPECT_TRUE((*t)->close().is_ok());
  return out;
}

TEST(CsvValues, NumberAndDateTests) {
  const struct {
    const char* v;
    bool number;
    uint32_t decimals;
    bool date;
  } cases[] = {
      {"12", true, 0, false},      {"12.50", true, 2, false},   {"12,5", true, 1, false},
      {"-3", true, 0, false},      {"0", true, 0, false},       {"0.25", true, 2, false},
      {"0012", false, 0, false},   {"", false, 0, false},       {"-0", false, 0, false},
      {"12.", false, 0, false},    {".5", false, 0, false},     {"+5", false, 0, false},
      {"1 2", false, 0, false},    {"01.02.2020", false, 0, true}, {"01.02.20", false, 0, true},
      {"31.02.2020", false, 0, false}, {"1.2.20", false, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.v);
    uint32_t d = 99;
    EXPECT_EQ(csv_number(c.v, &d), c.number);
    if (c.number) {
      EXPECT_EQ(d, c.decimals);
    }
    EXPECT_EQ(csv_date(c.v), c.date);
  }
}

TEST(CsvImport, TablesFromFiles) {
  using F = std::vector<StructRow>;
  const struct Case {
    const char* what;
    std::string csv;
    CodePage target;
    F fields;
    std::vector<std::string> records;
  } cases[] = {
      {"a word, a number with decimals, a date",
       "NAME;BETRAG;DATUM\nHallo;12.50;01.02.2020\n", CodePage::Cp850,
       F{{"NAME", 'C', 5, 0}, {"BETRAG", 'N', 5, 2}, {"DATUM", 'D', 8, 0}},
       {"Hallo12.5020200201"}},
      {"leading zeros, empty values, mixed dates and numbers, decimal comma, long names",
       "LANGERNAME12;B;C;D;E\n0012;;7;12,50;01.02.2020\n1;x;-15;3.1;5\n", CodePage::Cp850,
       F{{"LANGERNAME", 'C', 4, 0}, {"B", 'C', 1, 0}, {"C", 'N', 3, 0}, {"D", 'N', 5, 2}, {"E", 'C', 10, 0}},
       {"0012   712.5001.02.2020", "1   x-15 3.105         "}},
      {"only the header", "A;B\n", CodePage::Cp850, F{{"A", 'C', 1, 0}, {"B", 'C', 1, 0}}, {}},
      {"quotes keep ; and line breaks, \"\" is one quote",
       "A;B\n\"x;y\";\"line1\nline2\"\n\"say \"\"hi\"\"\";z\n", CodePage::Cp850,
       F{{"A", 'C', 8, 0}, {"B", 'C', 11, 0}},
       {"x;y     line1\nline2", "say \"hi\"z          "}},
      {"CR LF, no final line break, extra values", "A;B\r\n1;x;extra\r\n22;yy", CodePage::Cp850,
       F{{"A", 'N', 2, 0}, {"B", 'C', 2, 0}}, {" 1x ", "22yy"}},
      {"UTF-8 with BOM into CP850", "\xEF\xBB\xBFNAME;X\n\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F;1\n",
       CodePage::Cp850, F{{"NAME", 'C', 4, 0}, {"X", 'N', 1, 0}}, {"\x84\x94\x81\xE1" "1"}},
      {"UTF-8 into CP1252", "A\n\xE2\x82\xAC\xC3\xA4\n", CodePage::Windows1252, F{{"A", 'C', 2, 0}}, {"\x80\xE4"}},
      {"CP1252 into CP850", "A\n\xE4\xF6\xFC\xDF\n", CodePage::Cp850, F{{"A", 'C', 4, 0}}, {"\x84\x94\x81\xE1"}},
      {"CP850 into CP1252", "A\n\x84\x94\x81\n", CodePage::Windows1252, F{{"A", 'C', 3, 0}}, {"\xE4\xF6\xFC"}},
      {"CP1252 into CP1252", "A\n\xE4\xF6\xFC\xDF\n", CodePage::Windows1252, F{{"A", 'C', 4, 0}}, {"\xE4\xF6\xFC\xDF"}},
      {"CP850 into CP850", "A\n\x84\x94\x81\n", CodePage::Cp850, F{{"A", 'C', 3, 0}}, {"\x84\x94\x81"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempDir dir;
    put(dir.file("daten.csv"), c.csv);
    const CsvImportResult r = import_csv(FileSystem::posix(), dir.file("daten.csv"), c.target);
    EXPECT_EQ(r.message, "");
    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(r.table, dir.file("daten.DBF"));
    const TableText t = read_table(r.table);
    EXPECT_EQ(t.fields, c.fields);
    EXPECT_EQ(t.records, c.records);
    EXPECT_EQ(folder(dir.path()).size(), 2u) << "the CSV file and the table, nothing else";
  }
}

TEST(CsvImport, FailuresLeaveNothing) {
  const struct {
    const char* what;
    std::string csv;
    std::string message_start;
  } cases[] = {
      {"a character CP850 cannot hold", "A;B\nx;ok\n\"y\";a\xE2\x82\xAC\n",
       "Das Zeichen \"\xE2\x82\xAC\" in Zeile 3, Spalte 2 kann in der Tabelle (CP850) nicht gespeichert werden!"},
      {"a short line", "A;B\n1;2\n3\n4;5\n",
       "Es wurden nicht alle Datenfelder importiert!\r\nZeile 3 enthält 1 von 2 Feldern."},
      {"an empty line", "A;B\n1;2\n\n4;5\n", "Es wurden nicht alle Datenfelder importiert!\r\nZeile 3 "},
      {"the same name after the cut", "ABCDEFGHIJ1;ABCDEFGHIJ2\n1;2\n",
       "Die DBF-Datei konnte nicht erstellt werden!\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempDir dir;
    put(dir.file("d.csv"), c.csv);
    const CsvImportResult r = import_csv(FileSystem::posix(), dir.file("d.csv"), CodePage::Cp850);
    EXPECT_EQ(r.message.substr(0, c.message_start.size()), c.message_start) << r.message;
    EXPECT_GT(r.message.size(), c.message_start.size() - 1);
    EXPECT_EQ(folder(dir.path()).size(), 1u);
  }

  testing::TempDir dir;
  const CsvImportResult missing = import_csv(FileSystem::posix(), dir.file("fehlt.csv"), CodePage::Cp850);
  EXPECT_EQ(missing.message.rfind("FOpen Fehler: ", 0), 0u) << missing.message;
  EXPECT_GT(missing.message.size(), 16u) << "a reason follows";

  // Cancelled in either pass: nothing left.
  put(dir.file("d.csv"), "A;B\n1;2\n");
  for (int stop_at : {0, 1}) {
    int calls = 0;
    CsvImportHooks hooks;
    hooks.progress = [&](uint64_t, uint64_t) { return calls++ < stop_at; };
    const CsvImportResult r = import_csv(FileSystem::posix(), dir.file("d.csv"), CodePage::Cp850, hooks);
    EXPECT_TRUE(r.cancelled) << stop_at;
    EXPECT_EQ(r.message, "");
    EXPECT_EQ(folder(dir.path()).size(), 1u) << stop_at;
  }
}

// A file system whose files cannot be read past their first bytes.
class UnreadableFileSystem : public mv::testing::ForwardingFileSystem {
 public:
  class BrokenFile : public mv::testing::ForwardingFile {
   public:
    using ForwardingFile::ForwardingFile;
    Result<size_t> read_at(uint64_t off, void* b, size_t n) override {
      if (off > 0) return Status::io_error(path() + ": Eingabe-/Ausgabefehler beim Lesen");
      return ForwardingFile::read_at(off, b, std::min<size_t>(n, 4));
    }
  };
  Result<std::unique_ptr<File>> open(const std::string& p, OpenMode m) override {
    auto f = base().open(p, m);
    if (!f) return f.status();
    if (p.size() < 4 || p.substr(p.size() - 4) != ".csv") return f;
    return std::unique_ptr<File>(new BrokenFile(std::move(f).value()));
  }
};

TEST(CsvImport, ReadErrorStopsTheImport) {
  testing::TempDir dir;
  put(dir.file("d.csv"), "A;B\n1;2\n");
  UnreadableFileSystem fs;
  const CsvImportResult r = import_csv(fs, dir.file("d.csv"), CodePage::Cp850);
  EXPECT_EQ(r.message, "FRead Fehler: " + dir.file("d.csv") + ": Eingabe-/Ausgabefehler beim Lesen");
  EXPECT_EQ(folder(dir.path()).size(), 1u);
}

TEST(CsvImport, ExistingTableReplacedOnlyWhenConfirmed) {
  testing::TempDir dir;
  put(dir.file("kunden.csv"), "A\nneu\n");
  put(dir.file("Kunden.dbf"), "old table");
  put(dir.file("KUNDEN.CDX"), "old bag");
  put(dir.file("kunden.fpt"), "old memo");
  const auto before = folder(dir.path());
  std::vector<std::string> asked;
  CsvImportHooks hooks;
  hooks.confirm_overwrite = [&](const std::string& p) {
    asked.push_back(p);
    return false;
  };
  CsvImportResult r = import_csv(FileSystem::posix(), dir.file("kunden.csv"), CodePage::Cp850, hooks);
  EXPECT_TRUE(r.cancelled);
  EXPECT_EQ(asked, std::vector<std::string>{dir.file("Kunden.dbf")});
  EXPECT_EQ(folder(dir.path()), before);

  hooks.confirm_overwrite = [](const std::string&) { return true; };
  r = import_csv(FileSystem::posix(), dir.file("kunden.csv"), CodePage::Cp850, hooks);
  EXPECT_EQ(r.message, "");
  EXPECT_EQ(r.table, dir.file("Kunden.dbf"));
  const auto after = folder(dir.path());
  EXPECT_EQ(after.size(), 2u) << "the old memo and bag went with the old table";
  EXPECT_EQ(read_table(r.table).records, std::vector<std::string>{"neu"});

  // Each failing write and rename: the old table byte for byte, no temporary file.
  put(dir.file("kunden.csv"), "A;B\nneu;1\nmehr;2\n");
  const auto old = folder(dir.path());
  FaultyFileSystem counting(FileSystem::posix());
  {
    testing::TempDir other;
    put(other.file("x.csv"), get(dir.file("kunden.csv")));
    ASSERT_EQ(import_csv(counting, other.file("x.csv"), CodePage::Cp850).message, "");
  }
  ASSERT_GT(counting.writes, 0);
  ASSERT_GT(counting.renames, 0);
  for (int i = 0; i < counting.writes + counting.renames; ++i) {
    SCOPED_TRACE(i);
    FaultyFileSystem faulty(FileSystem::posix());
    if (i < counting.writes)
      faulty.fail_write_at = i;
    else
      faulty.fail_rename_at = i - counting.writes;
    r = import_csv(faulty, dir.file("kunden.csv"), CodePage::Cp850, hooks);
    EXPECT_NE(r.message, "");
    EXPECT_EQ(folder(dir.path()), old);
    // A new table fails alike and leaves nothing.
    testing::TempDir fresh;
    put(fresh.file("x.csv"), get(dir.file("kunden.csv")));
    FaultyFileSystem faulty2(FileSystem::posix());
    faulty2.fail_write_at = faulty.fail_write_at;
    faulty2.fail_rename_at = faulty.fail_rename_at;
    EXPECT_NE(import_csv(faulty2, fresh.file("x.csv"), CodePage::Cp850).message, "");
    EXPECT_EQ(folder(fresh.path()).size(), 1u);
  }
}

class CsvCommandTest : public test::HomeFixture {
 protected:
  void SetUp() override {
    HomeFixture::SetUp();
    QDir().mkpath(base_folder());
    write_file(base_folder() + "Molvane.INI", "[Setup]\nMaximized=Nein\nSetAnsi=Nein\n");
    StartOptions o;
    o.splash = false;
    o.table_window_factory = [this](STDSHELLWINDOW* shell, const TableOpenRequest& r) -> QWidget* {
      requests.push_back(r);
      return create_table_window(shell, r.file, r.share, r.read_only, r.ansi);
    };
    ASSERT_EQ(start.start(o), MolvaneStart::Outcome::Running);
    shell = start.shell();
  }
  void TearDown() override {
    start.finish();
    set_table_window_factory({});
    HomeFixture::TearDown();
  }
  gui::RecordingMessageBoxes boxes;
  MolvaneStart start;
  STDSHELLWINDOW* shell = nullptr;
  std::vector<TableOpenRequest> requests;
};

TEST_F(CsvCommandTest, ByNameToATableWindow) {
  // Not on the shipped menus.
  for (QAction* top : shell->menuBar()->actions())
    for (QAction* a : top->menu()->actions()) EXPECT_NE(a->objectName(), "FILEIMPORTCSV");

  const QString csv = path("Liste.CSV");
  write_file(csv, "NAME;ORT;BETRAG\n\"M\xC3\xBCller; Sohn\";\"Stra\xC3\x9F" "e 1\nBerlin\";12,5\nMaier;Bonn;3\n");
  QStringList asked;
  shell->csv_open_dialog = [&](QWidget*) {
    asked << "asked";
    return csv;
  };
  shell->router()->dispatch("FILEIMPORTCSV");
  EXPECT_EQ(asked.size(), 1);
  EXPECT_EQ(boxes.count(), 0);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].file, path("Liste.DBF"));
  EXPECT_FALSE(requests[0].share.has_value()) << "the table window's defaults";
  ASSERT_EQ(shell->ANZAHLCHILD(), 1);
  auto* w = qobject_cast<TABDW_DBFDATEI*>(shell->children_windows().value(0));
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->CEDBF, path("Liste.DBF"));
  w->outer()->close();
  ASSERT_TRUE(test::wait_until([&] { return shell->ANZAHLCHILD() == 0; }));
  const TableText t = read_table(path("Liste.DBF").toStdString());
  EXPECT_EQ(t.fields, (std::vector<StructRow>{{"NAME", 'C', 12, 0}, {"ORT", 'C', 15, 0}, {"BETRAG", 'N', 4, 1}}));
  EXPECT_EQ(t.records, (std::vector<std::string>{"M\x81ller; SohnStra\xE1" "e 1\nBerlin12.5",
                                                 "Maier       Bonn            3.0"}));
}

TEST_F(CsvCommandTest, MessagesAndTheOverwriteQuestion) {
  shell->DOIMPORTCSVFILE(path("daten.txt"));
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Achtung");
  EXPECT_EQ(boxes.last().text, "Die Datei: " + path("daten.txt") + "\r\nkann nicht geöffnet werden, da keine CSV-Datei!");
  shell->DOIMPORTCSVFILE(".csv");
  EXPECT_EQ(boxes.count(), 2) << "\".csv\" alone names a file; it does not exist";
  EXPECT_TRUE(boxes.last().text.startsWith("FOpen Fehler: "));
  shell->DOIMPORTCSVFILE("csv");
  EXPECT_TRUE(boxes.last().text.endsWith("da keine CSV-Datei!"));

  shell->DOIMPORTCSVFILE(path("fehlt.csv"));
  EXPECT_TRUE(boxes.last().text.startsWith("FOpen Fehler: "));

  write_file(path("alt.csv"), "A\nx\n");
  write_file(path("ALT.DBF"), "keep me");
  boxes.clear();
  boxes.script(gui::MsgAnswer::No);
  shell->DOIMPORTCSVFILE(path("alt.csv"));
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().text, "Die Datei: " + path("ALT.DBF") +
                                   "\r\nexistiert bereits!\r\n\r\nSoll diese Datei überschrieben werden?");
  EXPECT_EQ(read_file(path("ALT.DBF")), "keep me");
  EXPECT_TRUE(requests.empty());

  // A table open in a window is not replaced under it.
  write_file(path("offen.csv"), "A\nneu\n");
  ASSERT_TRUE(import_csv(FileSystem::posix(), path("offen.csv").toStdString(), CodePage::Cp850).message.empty());
  const QByteArray open_bytes = read_file(path("offen.DBF"));
  shell->DOOPENFILE(path("offen.DBF"), false);
  ASSERT_EQ(shell->ANZAHLCHILD(), 1);
  requests.clear();
  boxes.clear();
  boxes.script(gui::MsgAnswer::Yes);
  shell->DOIMPORTCSVFILE(path("offen.csv"));
  ASSERT_EQ(boxes.count(), 2);
  EXPECT_EQ(boxes.last().text, "Die Datei: " + path("offen.DBF") +
                                   "\r\nwird gerade benutzt und kann nicht überschrieben werden!");
  EXPECT_EQ(read_file(path("offen.DBF")), open_bytes);
  EXPECT_TRUE(requests.empty());

  boxes.clear();
  boxes.script(gui::MsgAnswer::Yes);
  shell->DOIMPORTCSVFILE(path("alt.csv"));
  EXPECT_EQ(boxes.count(), 1);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].file, path("ALT.DBF"));
  EXPECT_NE(read_file(path("ALT.DBF")), "keep me");
}

TEST_F(CsvCommandTest, ProgressWindowAndCancel) {
  write_file(path("gross.csv"), "A;B\n1;2\n3;4\n");
  QString caption, text;
  bool cancel_enabled = false;
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* p = qobject_cast<DLGPROGRESS*>(w);
      if (!p || !p->isVisible()) continue;
      caption = p->windowTitle();
      text = p->TXTFEEDBACK()->text();
      cancel_enabled = p->PSHCANCEL_BUTTON()->isEnabled();
      p->PSHCANCEL();
    }
  });
  shell->DOIMPORTCSVFILE(path("gross.csv"));
  EXPECT_EQ(caption, "Bitte warten...");
  EXPECT_EQ(text, "gross.csv");
  EXPECT_TRUE(cancel_enabled);
  EXPECT_EQ(boxes.count(), 0) << "a stop by the user needs no box";
  EXPECT_TRUE(requests.empty());
  EXPECT_FALSE(QFile::exists(path("gross.DBF")));
  EXPECT_EQ(QDir(path("")).entryList({"gross*"}, QDir::Files), QStringList{"gross.csv"});
}

TEST_F(CsvCommandTest, FileDialogShowsCsvFilesInAnyCase) {
  for (const char* f : {"files/A.CSV", "files/b.csv", "files/c.Csv", "files/d.txt"}) write_file(path(f), "x");
  QStringList shown;
  QTimer::singleShot(0, [&] {
    auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dlg, nullptr);
    // What the dialog's list holds is what its model's name filters and case rule let
    // through; they are applied here to the folder as the model's reader would, without
    // waiting for that reader's thread.
    auto* model = dlg->findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    const QDir::Filters rule = QDir::Files | (model->filter() & QDir::CaseSensitive);
    shown = QDir(path("files")).entryList(model->nameFilters(), rule, QDir::Name | QDir::IgnoreCase);
    dlg->reject();
  });
  shell->FILEIMPORTCSV();
  EXPECT_EQ(shown, QStringList({"A.CSV", "b.csv", "c.Csv"}));
  EXPECT_EQ(boxes.count(), 0);
  EXPECT_TRUE(requests.empty());
}

}  // namespace
}  // namespace mv
