// The list-format dialog offscreen through its buttons: its messages, its set-up from the
// stored options, saving the layout that the table window reads back, cancelling, and its
// preview of the record list.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "platform/gui/messagebox.h"
#include "platform/report/preview.h"
#include "platform/table/table.h"
#include "platform/table/transfer.h"
#include "printing/listformat/dlg_spaltenwahl.h"
#include "printing/rptdbfdaten.h"
#include "printing_helpers.h"
#include "tablewindow/environment.h"
#include "tablewindow/tab_dbfdaten.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tests/support/fixtures.h"

namespace mv {
namespace {

// A history file that cannot be written (a read-only file).
class ReadOnlyHistory : public MemoryHistoryStore {
 public:
  void WRITESTRING(const QString&, const QString&, const QString&) override {}
  bool DELETEENTRY(const QString&, const QString&) override { return false; }
  bool last_write_ok() const override { return false; }
  QString FULLPATH() const override { return QStringLiteral("/nur/lesen/ZovuZUZ.INI"); }
};

class ListFormat : public ::testing::Test {
 public:
  void SetUp() override { register_list_format_dialog(); }
  void TearDown() override {
    dlg_.reset();
    delete w_;
    set_record_list_hook({});
    set_table_window_environment({});
    report::set_preview_hook({});
  }
  // A table of `n` records with the given fields, and its window with the dialog.
  void open(std::vector<StructRow> fields = {{"NAME", 'C', 10, 0}, {"ORT", 'C', 8, 0}, {"BETRAG", 'N', 8, 2}},
            int n = 20, HistoryStore* history = nullptr) {
    path_ = QString::fromStdString(dir_.file("KUNDEN.DBF"));
    if (!QFile::exists(path_)) {
      ASSERT_TRUE(db_create(path_.toStdString(), fields, "DBFCDX").is_ok());
      auto t = Table::open(path_.toStdString(), OpenOptions{});
      ASSERT_TRUE(t.is_ok());
      for (int i = 1; i <= n; ++i) {
        ASSERT_TRUE((*t)->append_blank().is_ok());
        ASSERT_TRUE((*t)->field_put(1, Value::character("N" + std::to_string(i))).is_ok());
      }
      ASSERT_TRUE((*t)->close().is_ok());
    }
    TableWindowEnvironment env;
    env.history = history ? history : &history_;
    env.product = &product_;
    set_table_window_environment(env);
    w_ = new TABDW_DBFDATEI(&shell_, path_, true, false, false);
    ASSERT_NE(w_->server(), nullptr);
    dlg_ = std::make_unique<DLG_SPALTENWAHL>(w_);
    dlg_->SETUP(0);
  }
  template <typename T>
  T* ctl(const char* name) {
    T* c = dlg_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
  }
  void click(const char* name) { ctl<QPushButton>(name)->click(); }
  QStringList items(const char* list) {
    QStringList out;
    auto* l = ctl<QListWidget>(list);
    for (int i = 0; i < l->count(); ++i) out << l->item(i)->text();
    return out;
  }
  const ColumnRow& row(const QString& name) {
    for (const ColumnRow& r : w_->AFELDER)
      if (r.name == name) return r;
    static ColumnRow none;
    return none;
  }
  testing::TempDir dir_;
  QString path_;
  MemoryHistoryStore history_, product_;
  gui::SHELLWINDOW shell_;
  TABDW_DBFDATEI* w_ = nullptr;
  std::unique_ptr<DLG_SPALTENWAHL> dlg_;
};

TEST_F(ListFormat, FormHasEveryControlAndStartsWithThePrintedFields) {
  open();
  EXPECT_EQ(dlg_->windowTitle(), "Listenformat");
  const std::pair<const char*, const char*> captions[] = {{"PB_NOAUSWAHL", "<------"},
                                                          {"PB_SETAUSWAHL", "------>"},
                                                          {"PB_SAVE", "Speichern"},
                                                          {"PB_OBEN", "nach oben"},
                                                          {"PB_UNTEN", "nach unten"},
                                                          {"PB_ABBRUCH", "Abbruch"},
                                                          {"PB_ANDERS", "Ändern"},
                                                          {"PB_ANSICHT", "Ansicht"},
                                                          {"PB_ALLEABWAHL", "Alle abwählen"},
                                                          {"PB_ALLEAUSWAHL", "Alle auswählen"},
                                                          {"PB_STDLISTE", "Standardliste"}};
  for (const auto& [name, caption] : captions) EXPECT_EQ(ctl<QPushButton>(name)->text(), QString::fromUtf8(caption));
  for (const char* name : {"CHB_QUER", "CHB_GITTER", "CHB_ZEILEGRAU", "CHB_SPALTEGRAU", "CHB_LISTE"})
    ctl<QCheckBox>(name);
  for (const char* name : {"SE_SPALTENTEXT", "SE_SPALTENBREITE", "SE_LISTENTEXT", "SE_ZUSATZTEXT"})
    ctl<QLineEdit>(name);
  EXPECT_EQ(items("LB_SETFELDER"), (QStringList{"NAME", "ORT", "BETRAG"}));
  EXPECT_EQ(items("LB_NOFELDER"), (QStringList{"DEL", "SATZNR"}));
  EXPECT_EQ(ctl<QLineEdit>("SE_SPALTENTEXT")->text(), "NAME");
  EXPECT_EQ(ctl<QLineEdit>("SE_SPALTENBREITE")->text(), "10");
  dlg_->resize(660, 540);
  dlg_->show();
  QApplication::processEvents();
  dlg_->grab().save(QStringLiteral(MOLVANE_BINARY_DIR "/listformat.png"));
}

TEST_F(ListFormat, EveryHint) {
  struct Case {
    const char* name;
    std::function<void(ListFormat&)> act;
    const char* text;
  };
  const Case cases[] = {
      {"in without selection",
       [](ListFormat& t) {
         t.ctl<QListWidget>("LB_NOFELDER")->setCurrentRow(-1);
         t.click("PB_SETAUSWAHL");
       },
       "Bitte wählen Sie zuerst ein Feld."},
      {"out without selection",
       [](ListFormat& t) {
         t.ctl<QListWidget>("LB_SETFELDER")->setCurrentRow(-1);
         t.click("PB_NOAUSWAHL");
       },
       "Bitte wählen Sie zuerst ein Feld."},
      {"change without selection",
       [](ListFormat& t) {
         t.ctl<QListWidget>("LB_SETFELDER")->setCurrentRow(-1);
         t.click("PB_ANDERS");
       },
       "Bitte wählen Sie zuerst ein Feld."},
      {"up without selection",
       [](ListFormat& t) {
         t.ctl<QListWidget>("LB_SETFELDER")->setCurrentRow(-1);
         t.click("PB_OBEN");
       },
       "Bitte wählen Sie zuerst ein Feld!"},
      {"down without selection",
       [](ListFormat& t) {
         t.ctl<QListWidget>("LB_SETFELDER")->setCurrentRow(-1);
         t.click("PB_UNTEN");
       },
       "Bitte wählen Sie zuerst ein Feld!"},
      {"up at the top", [](ListFormat& t) { t.click("PB_OBEN"); }, "Das Feld ist bereits oben!"},
      {"down at the bottom",
       [](ListFormat& t) {
         t.ctl<QListWidget>("LB_SETFELDER")->setCurrentRow(2);
         t.click("PB_UNTEN");
       },
       "Das Feld ist bereits unten!"},
      {"renaming DEL",
       [](ListFormat& t) {
         t.ctl<QListWidget>("LB_NOFELDER")->setCurrentRow(0);
         t.click("PB_SETAUSWAHL");
         t.ctl<QLineEdit>("SE_SPALTENTEXT")->setText("Gelöscht");
         t.click("PB_ANDERS");
       },
       "Die Umbenennung dieses Feldes ist nich erlaubt!"},
      {"a comma",
       [](ListFormat& t) {
         t.ctl<QLineEdit>("SE_SPALTENTEXT")->setText("Name, Vorname");
         t.click("PB_ANDERS");
       },
       "Der Spaltentext darf kein Komma enthalten!"},
  };
  for (const Case& c : cases) {
    open();
    gui::RecordingMessageBoxes boxes;
    c.act(*this);
    ASSERT_EQ(boxes.count(), 1) << c.name;
    EXPECT_EQ(boxes.last().caption, "Hinweis") << c.name;
    EXPECT_EQ(boxes.last().text, QString::fromUtf8(c.text)) << c.name;
    dlg_.reset();
    delete w_;
    w_ = nullptr;
  }
}

TEST_F(ListFormat, ListsAndHeadings) {
  open();
  gui::RecordingMessageBoxes boxes;
  // Down, up, out, in.
  click("PB_UNTEN");
  EXPECT_EQ(items("LB_SETFELDER"), (QStringList{"ORT", "NAME", "BETRAG"}));
  click("PB_OBEN");
  EXPECT_EQ(items("LB_SETFELDER"), (QStringList{"NAME", "ORT", "BETRAG"}));
  click("PB_NOAUSWAHL");
  EXPECT_EQ(items("LB_NOFELDER"), (QStringList{"DEL", "SATZNR", "NAME"}));
  ctl<QListWidget>("LB_NOFELDER")->setCurrentRow(1);
  click("PB_SETAUSWAHL");
  EXPECT_EQ(items("LB_SETFELDER"), (QStringList{"ORT", "BETRAG", "SATZNR"}));
  EXPECT_EQ(ctl<QLineEdit>("SE_SPALTENTEXT")->text(), "SATZNR");  // the new last item is shown
  dlg_->FILL_AFELDER();
  EXPECT_EQ(row("ORT").print_order, 1);
  EXPECT_EQ(row("SATZNR").print_order, 3);
  EXPECT_EQ(row("NAME").print_order, 0);
  // Heading and width; DEL takes "del" silently and any other text as "Del".
  ctl<QListWidget>("LB_SETFELDER")->setCurrentRow(0);
  ctl<QLineEdit>("SE_SPALTENTEXT")->setText("  Wohnort ");
  ctl<QLineEdit>("SE_SPALTENBREITE")->setText("15");
  click("PB_ANDERS");
  EXPECT_EQ(row("ORT").heading, "Wohnort");
  EXPECT_EQ(row("ORT").print_width, 15);
  ctl<QLineEdit>("SE_SPALTENTEXT")->setText("Ort, Stadt");
  ctl<QLineEdit>("SE_SPALTENBREITE")->setText("abc");
  click("PB_ANDERS");
  EXPECT_EQ(row("ORT").heading, "Wohnort");  // refused
  EXPECT_EQ(row("ORT").print_width, 0);      // the width is taken
  ctl<QListWidget>("LB_NOFELDER")->setCurrentRow(0);
  click("PB_SETAUSWAHL");
  ctl<QLineEdit>("SE_SPALTENTEXT")->setText("del");
  ctl<QLineEdit>("SE_SPALTENBREITE")->setText("4");
  click("PB_ANDERS");
  EXPECT_EQ(row("DEL").heading, "del");
  EXPECT_EQ(row("DEL").print_width, 4);
  ctl<QLineEdit>("SE_SPALTENTEXT")->setText("X");
  click("PB_ANDERS");
  EXPECT_EQ(row("DEL").heading, "Del");
  EXPECT_EQ(boxes.count(), 2);
  click("PB_STDLISTE");  // does nothing
  EXPECT_EQ(boxes.count(), 2);
  click("PB_ALLEABWAHL");
  EXPECT_TRUE(items("LB_SETFELDER").isEmpty());
  click("PB_ALLEAUSWAHL");
  EXPECT_EQ(items("LB_SETFELDER"), (QStringList{"DEL", "SATZNR", "NAME", "ORT", "BETRAG"}));
}

TEST_F(ListFormat, SetUpFromTheStoredOptions) {
  std::vector<StructRow> narrow;
  for (int i = 1; i <= 18; ++i) narrow.push_back({"F" + std::to_string(i), 'C', 3, 0});
  struct Case {
    const char* name;
    std::map<QString, QString> table, runtime;
    int unprinted;  // fields taken out of the print before set-up
    bool own, quer, gitter, zeile, spalte;
    const char* font;
    QString title;  // "" : the table's path
  };
  const Case cases[] = {
      {"nothing stored, 18 columns of 3", {}, {}, 0, false, true, false, true, false, "RB_10", ""},
      {"17 columns of 3", {}, {}, 1, false, false, false, true, false, "RB_10", ""},
      {"own title",
       {{"ListeIntern", "Ja"}, {"Liste", "Meine"}},
       {},
       0,
       true,
       true,
       false,
       true,
       false,
       "RB_10",
       "Meine"},
      {"own title without text", {{"ListeIntern", "ja"}}, {}, 0, true, true, false, true, false, "RB_10", ""},
      {"Runtime Gitter",
       {{"QuerFormat", "nein"}},
       {{"Gitter", "Ja"}, {"ZeileGrau", "Nein"}, {"SpalteGrau", "ja"}},
       0,
       false,
       false,
       true,
       false,
       true,
       "RB_10",
       ""},
      {"table before Runtime",
       {{"Gitter", "Nein"}, {"ZeileGrau", "x"}},
       {{"Gitter", "Ja"}, {"ZeileGrau", "Nein"}},
       0,
       false,
       true,
       false,
       true,
       false,
       "RB_10",
       ""},
      {"Schrift 8", {{"Schrift", "8"}}, {}, 0, false, true, false, true, false, "RB_8", ""},
      {"Schrift 12", {{"Schrift", "12"}}, {}, 0, false, true, false, true, false, "RB_12", ""},
      {"Schrift 9", {{"Schrift", "9"}}, {}, 0, false, true, false, true, false, "RB_10", ""},
  };
  for (const Case& c : cases) {
    history_.sections.clear();
    product_.sections.clear();
    path_ = QString::fromStdString(dir_.file("KUNDEN.DBF"));
    for (const auto& [k, v] : c.table) history_.WRITESTRING(path_, k, v);
    for (const auto& [k, v] : c.runtime) product_.WRITESTRING("Runtime", k, v);
    open(narrow, 3);
    for (int i = 0; i < c.unprinted; ++i) w_->AFELDER[2 + size_t(i)].print_order = 0;
    dlg_->SETUP(QString("keine Zahl"));
    EXPECT_EQ(dlg_->NESTARTSATZ, 0) << c.name;
    EXPECT_EQ(ctl<QCheckBox>("CHB_LISTE")->isChecked(), c.own) << c.name;
    EXPECT_EQ(ctl<QCheckBox>("CHB_QUER")->isChecked(), c.quer) << c.name;
    EXPECT_EQ(ctl<QCheckBox>("CHB_GITTER")->isChecked(), c.gitter) << c.name;
    EXPECT_EQ(ctl<QCheckBox>("CHB_ZEILEGRAU")->isChecked(), c.zeile) << c.name;
    EXPECT_EQ(ctl<QCheckBox>("CHB_SPALTEGRAU")->isChecked(), c.spalte) << c.name;
    EXPECT_TRUE(ctl<QRadioButton>(c.font)->isChecked()) << c.name;
    EXPECT_EQ(ctl<QLineEdit>("SE_LISTENTEXT")->text(), c.title.isEmpty() ? w_->CEDBF : c.title) << c.name;
    dlg_.reset();
    delete w_;
    w_ = nullptr;
  }
}

TEST_F(ListFormat, SaveAllWritesTheKeysInOrderAndTheWindowReadsThemBack) {
  // A longer layout stored before: its keys beyond the new rows go.
  for (int i = 1; i <= 9; ++i)
    history_.WRITESTRING(QString::fromStdString(dir_.file("KUNDEN.DBF")), QStringLiteral("Spalte%1").arg(i),
                         "9,9,ALT,9");
  open();
  click("PB_ALLEAUSWAHL");
  ctl<QListWidget>("LB_SETFELDER")->setCurrentRow(3);
  ctl<QLineEdit>("SE_SPALTENTEXT")->setText("Wohnort");
  ctl<QLineEdit>("SE_SPALTENBREITE")->setText("12");
  click("PB_ANDERS");
  ctl<QCheckBox>("CHB_QUER")->setChecked(true);
  ctl<QCheckBox>("CHB_LISTE")->setChecked(true);
  ctl<QLineEdit>("SE_LISTENTEXT")->setText("  Kunden  ");
  ctl<QRadioButton>("RB_12")->setChecked(true);
  click("PB_SAVE");
  EXPECT_EQ(dlg_->RESULT(), 1);
  const std::map<QString, QString> expected{
      {"LISTEINTERN", "Ja"},       {"LISTE", "Kunden"},        {"ZUSATZTEXT", ""},
      {"QUERFORMAT", "Ja"},        {"GITTER", "Nein"},         {"ZEILEGRAU", "Ja"},
      {"SPALTEGRAU", "Nein"},      {"SCHRIFT", "12"},          {"SPALTE1", "0,1,DEL,3"},
      {"SPALTE2", "0,2,SATZNR,7"}, {"SPALTE3", "1,3,NAME,10"}, {"SPALTE4", "2,4,Wohnort,12"},
      {"SPALTE5", "3,5,BETRAG,8"}};
  for (const auto& [k, v] : history_.sections[path_.toUpper()]) {
    if (k == "ANZAHL" || k == "DATUM" || k == "ZEIT") continue;
    EXPECT_EQ(expected.count(k), 1u) << k.toStdString();
    if (expected.count(k)) {
      EXPECT_EQ(v, expected.at(k)) << k.toStdString();
    }
  }
  for (const auto& [k, v] : expected) EXPECT_TRUE(history_.sections[path_.toUpper()].count(k)) << k.toStdString();
  // Reopened, the window reads the layout back.
  dlg_.reset();
  delete w_;
  w_ = new TABDW_DBFDATEI(&shell_, path_, true, false, false);
  EXPECT_EQ(row("ORT").heading, "Wohnort");
  EXPECT_EQ(row("ORT").print_order, 4);
  EXPECT_EQ(row("ORT").print_width, 12);
  EXPECT_EQ(row("DEL").print_order, 1);
}

TEST_F(ListFormat, AFieldTakenOutIsStoredWithItsName) {
  open();
  ctl<QLineEdit>("SE_SPALTENTEXT")->setText("Kunde");
  click("PB_ANDERS");
  click("PB_NOAUSWAHL");  // NAME out
  click("PB_SAVE");
  EXPECT_EQ(history_.GETSTRING(path_, "Spalte3"), "1,0,NAME,10");
}

TEST_F(ListFormat, CancelAndTheCloseBoxUndoTheChanges) {
  for (const char* how : {"PB_ABBRUCH", "close", "escape"}) {
    open();
    dlg_.reset();
    const std::string way = how;
    QTimer::singleShot(0, [way] {
      auto* d = qobject_cast<DLG_SPALTENWAHL*>(QApplication::activeModalWidget());
      ASSERT_NE(d, nullptr);
      d->findChild<QPushButton*>("PB_ALLEABWAHL")->click();
      if (way == "PB_ABBRUCH")
        d->findChild<QPushButton*>("PB_ABBRUCH")->click();
      else if (way == "close")
        d->close();
      else
        d->reject();
    });
    w_->OPENDLGFELDER();
    EXPECT_EQ(row("NAME").print_order, 1) << how;  // the stored (default) layout again
    delete w_;
    w_ = nullptr;
  }
}

TEST_F(ListFormat, AHistoryFileThatCannotBeWrittenIsReported) {
  ReadOnlyHistory ro;
  open({{"NAME", 'C', 10, 0}}, 3, &ro);
  gui::RecordingMessageBoxes boxes;
  click("PB_SAVE");
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Achtung");
  EXPECT_EQ(boxes.last().text, "Die Datei \r\n\r\n/nur/lesen/ZovuZUZ.INI\r\n\r\nkonnte nicht geschrieben werden!");
  EXPECT_EQ(dlg_->RESULT(), 1);
}

TEST_F(ListFormat, PreviewFromThePartialRangeLeavesTheGridOnItsRecord) {
  open();
  std::vector<RecordListRun> runs;
  set_record_list_hook([&](const RecordListRun& r) {
    runs.push_back(r);
    return true;
  });
  QImage page;
  report::set_preview_hook([&](report::PreviewWindow& p) {
    page = p.page_image(1, 1240);
    p.grab().save(QStringLiteral(MOLVANE_BINARY_DIR "/listformat_preview.png"));
  });
  w_->GOTO(12);
  dlg_->SETUP(5);
  ctl<QLineEdit>("SE_LISTENTEXT")->setText("Eigene");
  ctl<QLineEdit>("SE_ZUSATZTEXT")->setText(" Zusatz ");
  click("PB_ANSICHT");
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_TRUE(runs[0].preview);
  EXPECT_EQ(runs[0].start, 5u);
  EXPECT_EQ(*runs[0].args.title, QString::fromStdString(w_->server()->table()->path()));  // not ticked
  EXPECT_EQ(runs[0].args.extra, "Zusatz");
  EXPECT_FALSE(page.isNull());
  EXPECT_EQ(w_->LESESATZNR(), 12);
  dlg_->SETUP(0);
  ctl<QCheckBox>("CHB_LISTE")->setChecked(true);
  ctl<QLineEdit>("SE_LISTENTEXT")->setText("Eigene");
  click("PB_ANSICHT");
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[1].start, 1u);
  EXPECT_EQ(*runs[1].args.title, "Eigene");
  EXPECT_EQ(w_->LESESATZNR(), 12);
  // Without an open table no list is made.
  gui::RecordingMessageBoxes boxes;
  w_->data_page()->GRIDDBSERVERCLOSE();
  click("PB_ANSICHT");
  EXPECT_EQ(runs.size(), 2u);
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().text, QStringLiteral("Es ist keine Datei geöffnet!"));
}

}  // namespace
}  // namespace mv
