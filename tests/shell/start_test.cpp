// Start-up: base folder, "Molvane.INI" completed on first start, the settings read from
// it, the single-instance refusal and the table named on the command line.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QToolBar>

#include "components/tabdw_standard.h"
#include "platform/gui/messagebox.h"
#include "shell/menus.h"
#include "shell/settings.h"
#include "shell/shellwindow.h"
#include "shell/start.h"
#include "platform/runtime/date.h"
#include "platform/table/table.h"
#include "tests/shell/shell_helpers.h"

namespace mv {
namespace {

class StartTest : public test::HomeFixture {
 protected:
  void TearDown() override {
    set_table_window_factory({});
    release_global_values();
    HomeFixture::TearDown();
  }
  QString ini_path() const { return base_folder() + "Molvane.INI"; }
  StartOptions quiet(QStringList args = {}) {
    StartOptions o;
    o.arguments = std::move(args);
    o.splash_ms = 10;
    o.splash_sleep_ms = 0;
    return o;
  }
};

TEST_F(StartTest, FirstStartWritesEveryKeyWithItsDefault) {
  ASSERT_FALSE(QFileInfo::exists(base_folder()));
  gui::RecordingMessageBoxes boxes;
  MolvaneStart start;
  ASSERT_EQ(start.start(quiet()), MolvaneStart::Outcome::Running);
  EXPECT_EQ(boxes.count(), 0);

  EXPECT_EQ(GCDATADIR, base_folder()) << "no Documents folder: the base folder is in the home folder";
  INIFILESPEC ini(ini_path());
  const struct {
    const char* section;
    const char* key;
    const char* value;
  } keys[] = {
      {"Runtime", "Version", "2.8-3.2"}, {"Runtime", "Gitter", "Nein"},
      {"Runtime", "ZeileGrau", "Ja"},    {"Runtime", "SpalteGrau", "Nein"},
      {"Setup", "Driver", "DBFCDX"},     {"Setup", "Exclusive", "Ja"},
      {"Setup", "ReadOnly", "Nein"},     {"Setup", "SetAnsi", "Ja"},
      {"Setup", "SetEpoch", "1920"},     {"Setup", "ToolbarIcon", "Ja"},
      {"Setup", "ToolbarText", "Ja"},    {"Setup", "Maximized", "Ja"},
      {"Setup", "MaximizedWin", "1"},    {"Setup", "FontBrowser", "9"},
  };
  for (const auto& k : keys) {
    SCOPED_TRACE(k.key);
    EXPECT_EQ(ini.GETSTRING(k.section, k.key), QString::fromUtf8(k.value));
  }
  EXPECT_FALSE(QFileInfo::exists(base_folder() + "ZovuZUZ.INI")) << "bound, not created";

  EXPECT_EQ(GCDRIVER, "DBFCDX");
  EXPECT_TRUE(GLEXCLUSIVE);
  EXPECT_TRUE(exclusive_default());
  EXPECT_FALSE(GLREADONLY);
  EXPECT_TRUE(GLSETANSI);
  EXPECT_TRUE(ansi_mode());
  EXPECT_EQ(date_epoch(), 1920);
  EXPECT_TRUE(GLTOOLBAR);
  EXPECT_EQ(GNTOOLBARSTYLE, 2u);
  EXPECT_EQ(GNMAXIMIZEDWIN, 1u);
  EXPECT_EQ(GNFONTBROWSER, 9u);

  STDSHELLWINDOW* shell = start.shell();
  ASSERT_TRUE(shell);
  EXPECT_TRUE(shell->isVisible());
  EXPECT_TRUE(shell->isMaximized());
  EXPECT_EQ(shell->windowTitle(), "Molvane");
  EXPECT_TRUE(shell->LEANSI) << "the ANSI mode of the start";
  ASSERT_TRUE(shell->own_menu()->TOOLBAR());
  EXPECT_TRUE(shell->own_menu()->TOOLBAR()->isVisible());
  EXPECT_EQ(shell->own_menu()->TOOLBAR()->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
  start.finish();
  EXPECT_TRUE(GCDATADIR.isEmpty());
  EXPECT_EQ(GOINI, nullptr);
}

TEST_F(StartTest, StoredValuesAndTheirEffect) {
  struct Case {
    const char* name;
    QList<std::pair<QString, QString>> setup;  // stored "Setup" keys
    std::function<void()> check;
  };
  const Case cases[] = {
      {"exclusive compares as stored", {{"Exclusive", "JA"}, {"ReadOnly", "ja"}, {"SetAnsi", "Nein"}},
       [] {
         EXPECT_FALSE(GLEXCLUSIVE);
         EXPECT_FALSE(exclusive_default());
         EXPECT_FALSE(GLREADONLY);
         EXPECT_FALSE(GLSETANSI);
         EXPECT_FALSE(ansi_mode());
       }},
      {"text-only toolbar", {{"ToolbarIcon", "Nein"}, {"ToolbarText", "Ja"}},
       [] { EXPECT_TRUE(GLTOOLBAR); EXPECT_EQ(GNTOOLBARSTYLE, 0u); }},
      {"icons only", {{"ToolbarIcon", "Ja"}, {"ToolbarText", "Nein"}},
       [] { EXPECT_TRUE(GLTOOLBAR); EXPECT_EQ(GNTOOLBARSTYLE, 1u); }},
      {"no toolbar", {{"ToolbarIcon", "Nein"}, {"ToolbarText", "nein"}},
       [] { EXPECT_FALSE(GLTOOLBAR); EXPECT_EQ(GNTOOLBARSTYLE, 0u); }},
      {"numbers with trailing text", {{"MaximizedWin", "3x"}, {"FontBrowser", "12pt"}},
       [] { EXPECT_EQ(GNMAXIMIZEDWIN, 3u); EXPECT_EQ(GNFONTBROWSER, 12u); }},
      {"placement that is no number", {{"MaximizedWin", "abc"}}, [] { EXPECT_EQ(GNMAXIMIZEDWIN, 0u); }},
      {"grid font 0 takes the default", {{"FontBrowser", "0"}}, [] { EXPECT_EQ(GNFONTBROWSER, 9u); }},
      {"grid font too large takes the default", {{"FontBrowser", "40"}}, [] { EXPECT_EQ(GNFONTBROWSER, 9u); }},
      {"grid font at the edges", {{"FontBrowser", "16"}}, [] { EXPECT_EQ(GNFONTBROWSER, 16u); }},
      {"epoch 1950", {{"SetEpoch", "1950"}}, [] { EXPECT_EQ(date_epoch(), 1950); }},
      {"epoch no number", {{"SetEpoch", "abc"}}, [] { EXPECT_EQ(date_epoch(), 1920); }},
      {"epoch 0 as the options dialog writes an empty edit", {{"SetEpoch", "0"}},
       [] { EXPECT_EQ(date_epoch(), 1920); }},
      {"driver as stored", {{"Driver", "_DBFCDX"}}, [] { EXPECT_EQ(GCDRIVER, "_DBFCDX"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(ini_path());
    QDir().mkpath(base_folder());
    {
      INIFILESPEC ini(ini_path());
      for (const auto& [key, value] : c.setup) ini.WRITESTRING("Setup", key, value);
    }
    set_date_epoch(1920);
    SETGLOBALWERTE();
    c.check();
    // The stored text stays as written, whatever value took effect.
    INIFILESPEC ini(ini_path());
    for (const auto& [key, value] : c.setup) EXPECT_EQ(ini.GETSTRING("Setup", key), value) << key.toStdString();
  }
}

TEST_F(StartTest, OldVersionIsRewrittenAndNothingElse) {
  QDir().mkpath(base_folder());
  write_file(ini_path(),
             "[Runtime]\r\nVersion=1.0\r\nGitter=Ja\r\nZeileGrau=Nein\r\nSpalteGrau=Ja\r\n"
             "[Setup]\r\nDriver=DBFNTX\r\nExclusive=Nein\r\nReadOnly=Ja\r\nSetAnsi=Nein\r\n"
             "SetEpoch=1950\r\nToolbarIcon=Nein\r\nToolbarText=Nein\r\nMaximized=Nein\r\n"
             "MaximizedWin=2\r\nFontBrowser=11\r\n");
  set_date_epoch(1920);
  SETGLOBALWERTE();
  const QString text = QString::fromUtf8(read_file(ini_path()));
  EXPECT_TRUE(text.contains("Version=2.8-3.2"));
  EXPECT_FALSE(text.contains("1.0"));
  for (const char* kept : {"Gitter=Ja", "ZeileGrau=Nein", "Driver=DBFNTX", "SetEpoch=1950",
                           "ToolbarIcon=Nein", "Maximized=Nein", "MaximizedWin=2", "FontBrowser=11"})
    EXPECT_TRUE(text.contains(kept)) << kept;
  EXPECT_EQ(GNMAXIMIZEDWIN, 2u);
  EXPECT_FALSE(GLTOOLBAR);
}

TEST_F(StartTest, BlankSetEpochIsWrittenBackWithTheEpochInForce) {
  QDir().mkpath(base_folder());
  write_file(ini_path(), "[Setup]\nSetEpoch=   \n");
  set_date_epoch(1920);
  SETGLOBALWERTE();
  EXPECT_EQ(INIFILESPEC(ini_path()).GETSTRING("Setup", "SetEpoch"), "1920");
}

TEST_F(StartTest, SecondInstanceIsRefusedAndTouchesNothing) {
  gui::RecordingMessageBoxes boxes;
  MolvaneStart first;
  ASSERT_EQ(first.start(quiet()), MolvaneStart::Outcome::Running);
  const QByteArray ini_before = read_file(ini_path());

  MolvaneStart second;
  EXPECT_EQ(second.start(quiet()), MolvaneStart::Outcome::AlreadyRunning);
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Achtung");
  EXPECT_EQ(boxes.last().text, "Programm ist bereits gestartet");
  EXPECT_EQ(boxes.last().icon, gui::MsgIcon::Information);
  EXPECT_TRUE(boxes.last().owner.isNull()) << "no owner window";
  EXPECT_EQ(second.shell(), nullptr);
  EXPECT_EQ(read_file(ini_path()), ini_before);
  EXPECT_TRUE(first.shell()->isVisible()) << "the running instance is not touched";
  first.finish();
}

TEST_F(StartTest, NormalStartShowsTheShellAtItsOwnSizeWithoutToolbar) {
  QDir().mkpath(base_folder());
  write_file(ini_path(), "[Setup]\nMaximized=nein\nToolbarIcon=Nein\nToolbarText=Nein\n");
  MolvaneStart start;
  ASSERT_EQ(start.start(quiet()), MolvaneStart::Outcome::Running);
  EXPECT_FALSE(start.shell()->isMaximized());
  EXPECT_EQ(start.shell()->size(), QSize(800, 600));
  EXPECT_FALSE(start.shell()->own_menu()->TOOLBAR()->isVisible());
  start.finish();

  write_file(ini_path(), "[Setup]\nMaximized=ja\n");
  // Private, as a session's runtime folder is: Qt refuses any other and makes its own in
  // the temporary folder, which would outlive the test.
  QDir().mkpath(path("run2"));
  QFile::setPermissions(path("run2"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("XDG_RUNTIME_DIR", path("run2").toUtf8());
  MolvaneStart again;
  ASSERT_EQ(again.start(quiet()), MolvaneStart::Outcome::Running);
  EXPECT_TRUE(again.shell()->isMaximized()) << "compared upper-cased";
  again.finish();
}

TEST(CommandLine, TheRestOfTheLineIsOneTableName) {
  struct Case {
    QStringList args;
    QString table;
  } cases[] = {
      {{"/data/Kunden.DBF"}, "/data/Kunden.DBF"},
      {{"/data/kunden.dbf"}, "/data/kunden.dbf"},
      {{"/data/mit blank/Kunden.Dbf"}, "/data/mit blank/Kunden.Dbf"},
      {{"/data/a", "b.dbf"}, "/data/a b.dbf"},
      {{"  /data/x.dbf  "}, "/data/x.dbf"},
      {{"/data/x.txt"}, ""},
      {{"/data/x.dbf.txt"}, ""},
      {{"x.db"}, ""},
      {{".dbf"}, ".dbf"},
      {{}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join('|').toStdString());
    EXPECT_EQ(table_from_arguments(c.args), c.table);
  }
}

TEST_F(StartTest, TableOnTheCommandLineOpensSharedWithDefaultsLeftOut) {
  std::vector<TableOpenRequest> opened;
  StartOptions options = quiet({"/Daten/Mein Ordner/kunden.dbf"});
  options.table_window_factory = [&](STDSHELLWINDOW*, const TableOpenRequest& r) -> QWidget* {
    opened.push_back(r);
    return nullptr;
  };
  MolvaneStart start;
  ASSERT_EQ(start.start(options), MolvaneStart::Outcome::Running);
  ASSERT_TRUE(test::wait_until([&] { return !opened.empty(); }));
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].file, "/Daten/Mein Ordner/kunden.dbf") << "the spelling as given";
  EXPECT_EQ(opened[0].share, std::optional<bool>(true));
  EXPECT_FALSE(opened[0].read_only.has_value());
  EXPECT_FALSE(opened[0].ansi.has_value());
  start.finish();
}

// The window of a table named on the command line is placed once the shell has its
// final size (the window system sizes a maximised shell only after showing it).
TEST_F(StartTest, CommandLineTableIsPlacedInTheShellsFinalCanvas) {
  QDir().mkpath(base_folder());
  write_file(ini_path(), "[Setup]\nMaximized=Nein\nMaximizedWin=1\n");
  QSize canvas_at_open;
  QRect placed;
  StartOptions options = quiet({"/Daten/kunden.dbf"});
  options.table_window_factory = [&](STDSHELLWINDOW* s, const TableOpenRequest&) -> QWidget* {
    auto* w = new TABDW_STANDARD(s);
    canvas_at_open = s->canvas_size();
    placed = w->outer()->geometry();
    return w;
  };
  MolvaneStart start;
  ASSERT_EQ(start.start(options), MolvaneStart::Outcome::Running);
  // The window system's answer to the shell's showing comes after start() has returned.
  start.shell()->resize(1300, 900);
  ASSERT_TRUE(test::wait_until([&] { return placed.isValid(); }));
  const QSize canvas = start.shell()->canvas_size();
  EXPECT_EQ(canvas_at_open, canvas);
  EXPECT_EQ(placed, QRect(0, 0, std::min(1012, canvas.width()), std::min(620, canvas.height())));
  start.finish();
}

TEST(Helpers, AddBackslash) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {{"", ""}, {"   ", ""}, {"a", "a/"}, {" /home/x ", "/home/x/"}, {"a///", "a/"}, {"//", "/"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(ADDBACKSLASH(c.in), c.out);
  }
}

TEST_F(StartTest, DebugBuildPathKeepsTheIniFilesBesideTheProgram) {
  EXPECT_EQ(base_folder_for("/opt/x/Molvane.dbg/molvane", false), "/opt/x/Molvane.dbg/");
  EXPECT_EQ(base_folder_for("/opt/x/molvane.DBG", false), "/opt/x/");
  EXPECT_EQ(base_folder_for("/media/stick/molvane", true), "/media/stick/");
  EXPECT_EQ(base_folder_for("/opt/x/molvane", false), base_folder());
  QDir().mkpath(home() + "/Dokumente");
  write_file(home() + "/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
  EXPECT_EQ(base_folder_for("/opt/x/molvane", false), home() + "/Dokumente/Norlek/");
}

}  // namespace
}  // namespace mv
