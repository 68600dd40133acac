// The copy and append dialogs driven through their controls, with scripted boxes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "platform/gui/messagebox.h"
#include "platform/gui/windows.h"
#include "platform/table/index/order_list.h"
#include "tablewindow/dlg_copy.h"
#include "tablewindow/tab_dbfdaten.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tablewindow_helpers.h"
#include "tests/support/faulty_fs.h"

namespace mv {
namespace {

// A control of a dialog by its name.
template <typename T = QWidget>
T* ctl(QWidget* d, const char* name) {
  T* c = d->findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(c, nullptr) << name;
  return c;
}
QComboBox* modes_of(QWidget* d) { return ctl<QComboBox>(d, "CB_FUNKTION"); }

QByteArray file_bytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int line_count(const QString& path) { return int(file_bytes(path).count('\n')); }

// Records and first names of a table read back by the table layer.
std::vector<std::string> names_of(const QString& path) {
  OpenOptions o;
  o.read_only = true;
  auto t = Table::open(path.toStdString(), o);
  EXPECT_TRUE(t.is_ok()) << path.toStdString() << ": " << t.status().to_string();
  std::vector<std::string> out;
  if (!t) return out;
  for (uint32_t r = 1; r <= (*t)->lastrec(); ++r) {
    (*t)->go_to(r).ignore();
    std::string s((*t)->field_raw(1));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    out.push_back(s);
  }
  return out;
}

class CopyAppend : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = QString::fromStdString(twtest::scratch_dir("copy"));
    path_ = QString::fromStdString(twtest::make_table(dir_.toStdString(), "KUNDEN.DBF", 20, {}));
    env_ = std::make_unique<twtest::EnvironmentScope>(&history_);
    w_ = std::make_unique<TABDW_DBFDATEI>(&shell_, path_, false, false, false);
    ASSERT_NE(w_->server(), nullptr);
  }
  void TearDown() override {
    set_copy_file_dialog_runner({});
    w_.reset();
    env_.reset();
  }
  TAB_DBFDATEN* page() { return w_->data_page(); }
  // A copy dialog set up as the command does; `all` as the print range.
  std::unique_ptr<DLG_COPY> copy_dialog(bool all = true) {
    auto d = std::make_unique<DLG_COPY>(page());
    d->SETUP(w_->server(), path_, all);
    return d;
  }
  void run(DLG_COPY_FORM& d, int mode, const QString& file, const QString& delimiter = {}) {
    modes_of(&d)->setCurrentIndex(mode);
    d.LISTBOXSELECT(modes_of(&d));
    ctl<QLineEdit>(&d, "SE_BEGRENZER")->setText(delimiter);
    ctl<QLineEdit>(&d, "SE_ZIELDATEI")->setText(file);
    ctl<QPushButton>(&d, "PB_OK")->click();
  }
  QString at(const QString& name) { return dir_ + "/" + name; }

  QString dir_, path_;
  MemoryHistoryStore history_;
  std::unique_ptr<twtest::EnvironmentScope> env_;
  gui::SHELLWINDOW shell_;
  gui::RecordingMessageBoxes boxes_;
  std::unique_ptr<TABDW_DBFDATEI> w_;
};

TEST_F(CopyAppend, FormModesAndProposedTarget) {
  auto d = copy_dialog();
  QWidget* f = d.get();
  EXPECT_EQ(d->windowTitle(), "Datei Kopieren");
  QStringList modes;
  for (int i = 0; i < modes_of(f)->count(); ++i)
    modes << modes_of(f)->itemText(i) + "=" + modes_of(f)->itemData(i).toString();
  EXPECT_EQ(modes, QStringList({"CopyDB=dbf1", "CopySDF=txt2", "CopyDelimited=txt3", "CopyStucture=dbf4"}));
  EXPECT_EQ(ctl<QLineEdit>(f, "SE_QUELLDATEI")->text(), path_);
  EXPECT_EQ(ctl<QLineEdit>(f, "SE_ZIELDATEI")->text(), dir_ + "/KUNDEN_Copy");
  EXPECT_TRUE(ctl(f, "SE_BEGRENZER")->isHidden());
  modes_of(f)->setCurrentIndex(2);
  d->LISTBOXSELECT(modes_of(f));
  EXPECT_FALSE(ctl(f, "SE_BEGRENZER")->isHidden());
  EXPECT_FALSE(ctl(f, "FT_BEGRENZER")->isHidden());
  modes_of(f)->setCurrentIndex(1);
  d->LISTBOXSELECT(modes_of(f));
  EXPECT_TRUE(ctl(f, "SE_BEGRENZER")->isHidden());

  DLG_APPEND a(page());
  a.SETUP(w_->server(), path_);
  EXPECT_EQ(a.windowTitle(), "Datei Anfügen");
  EXPECT_EQ(ctl<QLabel>(&a, "FT_QUELLDATEI")->text(), "Zieldatei");
  EXPECT_EQ(ctl<QLabel>(&a, "FT_ZIELDATEI")->text(), "Quelldatei");
  EXPECT_EQ(ctl<QLineEdit>(&a, "SE_ZIELDATEI")->text(), "");
  EXPECT_EQ(modes_of(&a)->count(), 3);
}

TEST_F(CopyAppend, NameTest) {
  auto d = copy_dialog();
  const QString ext = "Fehlerhafte Dateiendung!\r\nDie Dateiendung dbf wird automatisch gesetzt.";
  const QString nodir = "Das Verzeichnis\r\n" + dir_ + "/fehlt/\r\nexistiert nicht!";
  const struct {
    QString name, answer;
  } cases[] = {
      {"", "Es wurde kein Dateiname erfasst!"},
      {at("neu.DBF"), ext},
      {at("neu.txt"), ext},
      {at("fehlt/neu.dbf"), nodir},
      {at("fehlt/"), nodir},
      {at("fehlt/neu.DBF"), nodir},
      {at("neu.dbf"), ""},
      {at("neu"), ""},
      {at("kunden.dbf"), "FOUND"},  // whatever the case
      {"kunden", "FOUND"},          // no folder: the table's
  };
  for (const auto& c : cases) EXPECT_EQ(d->TESTDATEINAME(c.name), c.answer) << c.name.toStdString();
}

TEST_F(CopyAppend, EveryCopyModeAllAndRest) {
  for (bool all : {true, false}) {
    SCOPED_TRACE(all ? "all" : "rest");
    page()->findChild<QRadioButton*>(all ? "RB_ALLE" : "RB_REST")->click();
    w_->GOTO(8);
    const int n = all ? 20 : 13;
    const QString tag = all ? "a" : "r";
    for (int mode = 0; mode < 4; ++mode) {
      w_->GOTO(8);  // as the command puts it back
      auto d = copy_dialog(all);
      run(*d, mode, at(tag + QString::number(mode)), mode == 2 ? "'" : "");
      EXPECT_EQ(d->RESULT(), 1) << mode;
      ASSERT_GE(boxes_.count(), 1);
      EXPECT_EQ(boxes_.last().caption, "Info") << boxes_.last().text.toStdString();
    }
    const auto names = names_of(at(tag + "0.dbf"));
    ASSERT_EQ(names.size(), size_t(n));
    EXPECT_EQ(names.front(), all ? "Name 1" : "Name 8");
    EXPECT_EQ(line_count(at(tag + "1.txt")), n);
    EXPECT_EQ(line_count(at(tag + "2.txt")), n);
    EXPECT_TRUE(file_bytes(at(tag + "2.txt")).contains("'Name 20'"));
    EXPECT_TRUE(names_of(at(tag + "3.dbf")).empty());
  }
}

TEST_F(CopyAppend, RefusedTargetsKeepTheirBytes) {
  {
    QFile f(at("alt.txt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("alt\r\n");
  }
  const QByteArray table_before = file_bytes(path_);
  auto d = copy_dialog();
  boxes_.script(gui::MsgAnswer::No);
  run(*d, 1, at("alt.txt"));
  EXPECT_EQ(boxes_.last().text, "Die Datei: " + at("alt.txt") + "\r\nexistiert bereits!\r\n\r\nSoll diese Datei überschrieben werden?");
  EXPECT_EQ(file_bytes(at("alt.txt")), QByteArray("alt\r\n"));
  EXPECT_EQ(d->RESULT(), 0);

  // Onto the open table under another case: refused, naming the file.
  boxes_.script(gui::MsgAnswer::Yes);
  run(*d, 0, at("kunden.dbf"));
  EXPECT_EQ(boxes_.last().caption, "Achtung");
  EXPECT_TRUE(boxes_.last().text.startsWith("Die Datei " + at("kunden.dbf") + "\r\nkonnte nicht erstellt werden!"));
  EXPECT_TRUE(boxes_.last().text.contains("KUNDEN.DBF")) << boxes_.last().text.toStdString();
  EXPECT_EQ(file_bytes(path_), table_before);
  EXPECT_EQ(d->RESULT(), 0);
}

// A table copied over another one: the old one's production bag goes with it.
TEST_F(CopyAppend, OverwritingATableRemovesItsOldBag) {
  {
    auto d = copy_dialog();
    run(*d, 0, at("alt"));
    ASSERT_EQ(d->RESULT(), 1);
    auto t = Table::open(at("alt.dbf").toStdString(), OpenOptions{false, false, "DBFCDX"});
    ASSERT_TRUE(t.is_ok());
    auto ol = OrderList::attach(**t);
    ASSERT_TRUE(ol.is_ok());
    ASSERT_TRUE((*ol)->create_order("NAME", "", "NAME").is_ok());
  }
  ASSERT_TRUE(QFile::exists(at("alt.cdx")));
  w_->GOTO(15);
  page()->findChild<QRadioButton*>("RB_REST")->click();
  auto d = copy_dialog(false);
  boxes_.script(gui::MsgAnswer::Yes);
  run(*d, 0, at("ALT.DBF").replace("ALT.DBF", "alt.dbf"));
  EXPECT_EQ(d->RESULT(), 1) << boxes_.last().text.toStdString();
  EXPECT_FALSE(QFile::exists(at("alt.cdx")));
  EXPECT_EQ(names_of(at("alt.dbf")).size(), 6u);
}

TEST_F(CopyAppend, EveryAppendModeAndAMissingSource) {
  for (int mode = 0; mode < 3; ++mode) {
    auto d = copy_dialog();
    run(*d, mode, at("q" + QString::number(mode)), mode == 2 ? "'" : "");
    ASSERT_EQ(d->RESULT(), 1) << boxes_.last().text.toStdString();
  }
  {
    DLG_APPEND a(page());
    a.SETUP(w_->server(), path_);
    run(a, 0, at("fehlt.dbf"));
    EXPECT_EQ(boxes_.last().text, "Die Datei: " + at("fehlt.dbf") + "\r\nexistiert nicht!");
    run(a, 0, path_);  // the open table itself
    EXPECT_EQ(boxes_.last().caption, "Achtung");
  }
  EXPECT_EQ(w_->server()->LASTREC(), 20u);

  const char* sources[] = {"q0.dbf", "q1.txt", "q2.txt"};
  for (int mode = 0; mode < 3; ++mode) {
    DLG_APPEND ap(page());
    ap.SETUP(w_->server(), path_);
    run(ap, mode, at(sources[mode]), mode == 2 ? "'" : "");
    EXPECT_EQ(ap.RESULT(), 1) << boxes_.last().text.toStdString();
    EXPECT_EQ(boxes_.last().text, "Die Datei " + at(sources[mode]) + "\r\nwurde erfolgreich angefügt!");
  }
  EXPECT_EQ(w_->server()->LASTREC(), 80u);
  w_.reset();
  const auto names = names_of(path_);
  ASSERT_EQ(names.size(), 80u);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(names[size_t(20 * k + 6)], "Name 7") << k;
}

// An append whose write fails: the box tells it, the dialog stays open, the table keeps
// its records and the grid its record.
TEST_F(CopyAppend, AFailingAppendIsToldAndTakenBack) {
  {
    auto d = copy_dialog();
    run(*d, 0, at("quelle"));
    ASSERT_EQ(d->RESULT(), 1);
  }
  w_.reset();
  FaultyFileSystem fs(FileSystem::posix());
  TableWindowEnvironment e = table_window_environment();
  e.file_system = &fs;
  set_table_window_environment(e);
  w_ = std::make_unique<TABDW_DBFDATEI>(&shell_, path_, false, false, false);
  ASSERT_NE(w_->server(), nullptr);
  w_->GOTO(9);
  const QByteArray before = file_bytes(path_);
  {
    DLG_APPEND a(page());
    a.SETUP(w_->server(), path_);
    fs.fail_write_at = fs.writes + 2;
    run(a, 0, at("quelle.dbf"));
    EXPECT_EQ(a.RESULT(), 0);
    EXPECT_TRUE(boxes_.last().text.startsWith("Die Datei " + at("quelle.dbf") + "\r\nkonnte nicht angefügt werden!"))
        << boxes_.last().text.toStdString();
  }
  EXPECT_EQ(w_->server()->LASTREC(), 20u);
  EXPECT_EQ(w_->server()->RECNO(), 9u);
  w_.reset();
  EXPECT_EQ(names_of(path_).size(), 20u);
}

// Through the page's command: the dialog runs modally, the file dialog is scripted, and
// the page stands on its record afterwards.
TEST_F(CopyAppend, TheCommandOpensTheDialogAndComesBackToTheRecord) {
  w_->GOTO(5);
  page()->findChild<QRadioButton*>("RB_ALLE")->click();
  set_copy_file_dialog_runner([this](QFileDialog& dlg) {
    EXPECT_EQ(dlg.acceptMode(), QFileDialog::AcceptSave);
    return at("gewaehlt.dbf");
  });
  QTimer::singleShot(0, [] {
    auto* d = qobject_cast<DLG_COPY*>(QApplication::activeModalWidget());
    ASSERT_NE(d, nullptr);
    ctl<QPushButton>(d, "PB_SUCHE")->click();
    ctl<QPushButton>(d, "PB_OK")->click();
  });
  w_->FILECOPY();
  EXPECT_EQ(names_of(at("gewaehlt.dbf")).size(), 20u);
  EXPECT_EQ(w_->server()->RECNO(), 5u);
}

}  // namespace
}  // namespace mv
