// The history dialog of "Erneut Öffnen ...": its two orders, the folder column, the
// detail panel, the three buttons and the flags they hand the shell, and the way from the
// menu command to an open table window.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>

#include "platform/gui/messagebox.h"
#include "platform/table/transfer.h"
#include "shell/dlg_zovuzuz.h"
#include "shell/settings.h"
#include "shell/shellwindow.h"
#include "shell/start.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tests/shell/shell_helpers.h"

namespace mv {
namespace {

TEST(HistoryOrder, DateNewestFirstUndatedLastNameWithoutCase) {
  auto row = [](const char* key, const char* name) { return HistoryRow{QString(name) + ".dbf", key, name}; };
  std::vector<HistoryRow> rows = {row("        ", "u1"), row("2020010110:00:00", "b"),
                                  row("2024010109:00:00", "A"), row("        12:00:00", "u2"),
                                  row("2020010110:00:00", "c")};
  auto names = [&] {
    QStringList out;
    for (const HistoryRow& r : rows) out << r.name;
    return out;
  };
  sort_history_rows(rows, false);
  EXPECT_EQ(names(), QStringList({"A", "b", "c", "u2", "u1"})) << "equal keys keep their order";
  sort_history_rows(rows, true);
  EXPECT_EQ(names(), QStringList({"A", "b", "c", "u1", "u2"}));

  const struct {
    const char* path;
    const char* name;
    const char* folder;
  } cases[] = {
      {"/d/Kunden.dbf", "Kunden", "/d/"},
      {"/d/kunden/KUNDEN.DBF", "KUNDEN", "/d/kunden/"},
      {"/d/Notiz.txt", "Notiz", ""},
      {"/d/Kunden.dbfx", "Kunden", ""},
      {"Kunden.Dbf", "Kunden", ""},
      {"/straße/Maß.DBF", "Maß", "/straße/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(history_folder(c.path, c.name), c.folder);
  }
}

class HistoryDialogTest : public test::HomeFixture {
 protected:
  void SetUp() override {
    HomeFixture::SetUp();
    QDir().mkpath(base_folder());
    write_file(base_folder() + "Molvane.INI", "[Setup]\nMaximized=Nein\n");
    tables = path("t/");
    QDir().mkpath(tables + "a");
    QDir().mkpath(tables + "b");
    const std::vector<StructRow> fields = {{"NAME", 'C', 10, 0}};
    for (const char* f : {"a/Kunden.dbf", "b/KUNDEN.DBF", "Artikel.dbf"})
      ASSERT_TRUE(db_create((tables + f).toStdString(), fields, "DBFCDX").ok());
    write_file(tables + "Notiz.txt", "x");
    write_file(base_folder() + "ZovuZUZ.INI",
               ("[" + tables + "a/Kunden.dbf]\nAnzahl=3\nDatum=01.02.2020\nZeit=10:00:00\n"
                "[" + tables + "b/KUNDEN.DBF]\nAnzahl=1\nDatum=03.04.2024\nZeit=09:00:00\n"
                "[" + tables + "Artikel.dbf]\nSpalte1=1,1,NAME,10\n"
                "[" + tables + "Notiz.txt]\nAnzahl=2\nDatum=05.05.2021\nZeit=08:00:00\n"
                "[" + tables + "Weg.dbf]\nAnzahl=7\nDatum=06.06.2023\nZeit=23:59:59\n")
                   .toUtf8());
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
  // The rows as the shell builds them from the history file.
  std::vector<HistoryRow> rows_of_file() {
    std::vector<HistoryRow> rows;
    for (const QStringList& s : GETALLSECTION(base_folder() + "ZovuZUZ.INI")) {
      const QString p = s.value(0);
      const QString datum = GOINIHISTORY->GETSTRING(p, "Datum");
      const QString key = datum.isEmpty() ? QString(8, ' ') : datum.mid(6, 4) + datum.mid(3, 2) + datum.left(2);
      QString name = p.mid(p.lastIndexOf('/') + 1);
      name = name.left(name.lastIndexOf('.'));
      rows.push_back({p, key + GOINIHISTORY->GETSTRING(p, "Zeit"), name});
    }
    return rows;
  }
  // Each item as "name|folder|NR" (the folder relative to the tables' folder).
  static QStringList items(DLG_ZOVUZUZ& dlg) {
    QStringList out;
    QTreeWidget* list = dlg.LV_ZOVUZUZ();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      QTreeWidgetItem* it = list->topLevelItem(i);
      out << it->text(0) + "|" + it->text(1) + "|" + it->text(2);
    }
    return out;
  }
  void select(DLG_ZOVUZUZ& dlg, const QString& name_and_folder) {
    QTreeWidget* list = dlg.LV_ZOVUZUZ();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      QTreeWidgetItem* it = list->topLevelItem(i);
      if (it->text(0) + "|" + it->text(1) == name_and_folder) {
        list->setCurrentItem(it);
        return;
      }
    }
    ADD_FAILURE() << "no item " << name_and_folder.toStdString();
  }

  gui::RecordingMessageBoxes boxes;
  MolvaneStart start;
  STDSHELLWINDOW* shell = nullptr;
  QString tables;
  std::vector<TableOpenRequest> requests;
};

TEST_F(HistoryDialogTest, OrdersPanelAndButtons) {
  GLEXCLUSIVE = true;
  GLREADONLY = false;
  GLSETANSI = true;
  std::vector<HistoryRow> rows = rows_of_file();
  ASSERT_EQ(rows.size(), 5u);
  DLG_ZOVUZUZ dlg(shell);
  dlg.SETUP(rows);
  EXPECT_EQ(dlg.windowTitle(), "Öffnen einer DBF-Datenbank");
  EXPECT_TRUE(dlg.CHB_EXCLUSIVE()->isChecked());
  EXPECT_FALSE(dlg.CHB_READONLY()->isChecked());
  EXPECT_TRUE(dlg.CHB_ANSI()->isChecked());
  EXPECT_TRUE(dlg.RB_DATUM()->isChecked());
  EXPECT_EQ(dlg.NSUCHEN, 6);
  QTreeWidget* list = dlg.LV_ZOVUZUZ();
  EXPECT_EQ(list->headerItem()->text(0), "Dateiname");
  EXPECT_EQ(list->headerItem()->text(1), "Verzeichnis");
  EXPECT_EQ(list->columnWidth(0), 15 * list->fontMetrics().averageCharWidth());
  EXPECT_EQ(list->columnWidth(1), 38 * list->fontMetrics().averageCharWidth());
  EXPECT_TRUE(list->isColumnHidden(2));
  const QString t = tables;
  EXPECT_EQ(items(dlg), QStringList({"KUNDEN|" + t + "b/|1", "Weg|" + t + "|2", "Notiz||3",
                                     "Kunden|" + t + "a/|4", "Artikel|" + t + "|5"}));
  // The first row is selected and shown in the panel.
  EXPECT_EQ(dlg.FT_DATUM()->text(), "am: 03.04.2024");
  EXPECT_EQ(dlg.FT_UHRZEIT()->text(), "um: 09:00:00");
  EXPECT_EQ(dlg.FT_ANZAHL()->text(), "1x geöffnet");
  select(dlg, "Artikel|" + t);
  EXPECT_EQ(dlg.FT_DATUM()->text(), "am: ");
  EXPECT_EQ(dlg.FT_UHRZEIT()->text(), "um: ");
  EXPECT_EQ(dlg.FT_ANZAHL()->text(), "x geöffnet");

  // By name: the caller's rows follow; equal names keep their last order.
  dlg.RB_NAME()->click();
  EXPECT_EQ(items(dlg), QStringList({"Artikel|" + t + "|1", "KUNDEN|" + t + "b/|2",
                                     "Kunden|" + t + "a/|3", "Notiz||4", "Weg|" + t + "|5"}));
  EXPECT_EQ(rows[2].path, t + "a/Kunden.dbf");
  EXPECT_EQ(dlg.FT_DATUM()->text(), "am: ") << "the first row again";

  // "Öffnen" on the deleted table: the message, the flags written, the dialog stays.
  shell->LESHARE = true;
  shell->LEREADONLY = false;
  shell->LEANSI = false;
  select(dlg, "Weg|" + t);
  dlg.CHB_READONLY()->setChecked(true);
  dlg.PB_OPEN_BUTTON()->click();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Achtung");
  EXPECT_EQ(boxes.last().text, "Die Datei " + t + "Weg.dbf\r\nwurde nicht mehr am Speicherort gefunden!");
  EXPECT_EQ(dlg.RESULT(), 0);
  EXPECT_FALSE(shell->LESHARE);
  EXPECT_TRUE(shell->LEREADONLY);
  EXPECT_TRUE(shell->LEANSI);

  // Without a selection only the flags are written.
  list->clearSelection();
  dlg.CHB_ANSI()->setChecked(false);
  dlg.PB_OPEN_BUTTON()->click();
  EXPECT_EQ(dlg.RESULT(), 0);
  EXPECT_FALSE(shell->LEANSI);
  EXPECT_EQ(boxes.count(), 1);

  // An existing table: its number in the new order.
  select(dlg, "Kunden|" + t + "a/");
  dlg.PB_OPEN_BUTTON()->click();
  EXPECT_EQ(dlg.RESULT(), 3);
  EXPECT_EQ(rows[size_t(dlg.RESULT() - 1)].path, t + "a/Kunden.dbf");
}

TEST_F(HistoryDialogTest, SearchCancelAndFrame) {
  GLEXCLUSIVE = false;
  GLREADONLY = true;
  GLSETANSI = false;
  std::vector<HistoryRow> rows = rows_of_file();
  {
    DLG_ZOVUZUZ dlg(shell);
    dlg.SETUP(rows);
    dlg.PB_SUCHEN_BUTTON()->click();
    EXPECT_EQ(dlg.RESULT(), 6);
    EXPECT_TRUE(shell->LESHARE);
    EXPECT_TRUE(shell->LEREADONLY);
    EXPECT_FALSE(shell->LEANSI);
  }
  for (bool by_frame : {false, true}) {
    SCOPED_TRACE(by_frame);
    shell->LESHARE = false;
    shell->LEREADONLY = false;
    shell->LEANSI = true;
    DLG_ZOVUZUZ dlg(shell);
    dlg.SETUP(rows);
    dlg.CHB_EXCLUSIVE()->setChecked(false);
    dlg.CHB_READONLY()->setChecked(true);
    QTimer::singleShot(0, &dlg, [&] {
      if (by_frame) dlg.close(); else dlg.PB_ABBRUCH_BUTTON()->click();
    });
    dlg.SHOW();
    EXPECT_EQ(dlg.RESULT(), 0);
    EXPECT_FALSE(shell->LESHARE);
    EXPECT_FALSE(shell->LEREADONLY);
    EXPECT_TRUE(shell->LEANSI);
  }
}

TEST_F(HistoryDialogTest, ReopenByNameExclusiveReadOnlyAnsi) {
  GLEXCLUSIVE = false;
  GLREADONLY = false;
  GLSETANSI = false;
  // Three tables opened and closed: each opening is counted in the history file.
  for (const char* f : {"a/Kunden.dbf", "b/KUNDEN.DBF", "Artikel.dbf"}) shell->DOOPENFILE(tables + f);
  ASSERT_EQ(shell->ANZAHLCHILD(), 3);
  ASSERT_TRUE(shell->CLOSEALLCHILDREN());
  ASSERT_TRUE(test::wait_until([&] { return shell->ANZAHLCHILD() == 0; }));
  EXPECT_EQ(GOINIHISTORY->GETSTRING(tables + "a/Kunden.dbf", "Anzahl"), "4");
  EXPECT_EQ(GOINIHISTORY->GETSTRING(tables + "Artikel.dbf", "Anzahl"), "1");
  requests.clear();
  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto* dlg = qobject_cast<DLG_ZOVUZUZ*>(QApplication::activeModalWidget());
    ASSERT_NE(dlg, nullptr);
    seen = true;
    dlg->RB_NAME()->click();
    select(*dlg, "Kunden|" + tables + "a/");
    dlg->CHB_EXCLUSIVE()->setChecked(true);
    dlg->CHB_READONLY()->setChecked(true);
    dlg->CHB_ANSI()->setChecked(true);
    QApplication::processEvents();
    ASSERT_TRUE(dlg->grab().save(QString(MOLVANE_BINARY_DIR) + "/history_dialog_screenshot.png"));
    dlg->PB_OPEN_BUTTON()->click();
  });
  shell->router()->dispatch("FILEOPENDLG");
  ASSERT_TRUE(seen);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].file, tables + "a/Kunden.dbf");
  EXPECT_EQ(requests[0].share, std::optional<bool>(false));
  EXPECT_EQ(requests[0].read_only, std::optional<bool>(true));
  EXPECT_EQ(requests[0].ansi, std::optional<bool>(true));
  ASSERT_EQ(shell->ANZAHLCHILD(), 1);
  auto* w = qobject_cast<TABDW_DBFDATEI*>(shell->children_windows().value(0));
  ASSERT_NE(w, nullptr);
  EXPECT_FALSE(w->LESHARE);
  EXPECT_TRUE(w->LEREADONLY);
  EXPECT_TRUE(w->LEANSI);
}

}  // namespace
}  // namespace mv
