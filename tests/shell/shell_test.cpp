// The shell window: its menus, toolbars and accelerators, command dispatch between the
// active table window and the shell, the program-wide commands, the painted backdrop.
#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPrinter>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "components/tabdw_standard.h"
#include "platform/gui/messagebox.h"
#include "platform/os/instance_lock.h"
#include "shell/aboutdialog.h"
#include "shell/backdrop.h"
#include "shell/menus.h"
#include "shell/settings.h"
#include "shell/shellwindow.h"
#include "shell/start.h"
#include "tablewindow/environment.h"
#include "tests/shell/shell_helpers.h"

namespace mv {
namespace {

// A table window as the shell sees one: a document window with a table menu, some of the
// table commands, and a close that may be refused.
class FakeTableWindow : public gui::DATAWINDOW {
  Q_OBJECT
 public:
  FakeTableWindow(gui::SHELLWINDOW* shell, const QString& file) : gui::DATAWINDOW(shell) {
    menu = new STDSHELLMENU(this);
    set_caption("Daten: " + file);
    resize(300, 200);
  }
  STDSHELLMENU* menu;
  QStringList calls;
  bool refuse_close = false;

 public slots:
  void GOTOP() { calls << "GOTOP"; }
  void FILECLOSE() { calls << "FILECLOSE"; }

 protected:
  void closeEvent(QCloseEvent* e) override {
    calls << "close asked";
    if (refuse_close) e->ignore(); else e->accept();
  }
};

class ShellTest : public test::HomeFixture {
 protected:
  void SetUp() override {
    HomeFixture::SetUp();
    QDir().mkpath(base_folder());
    write_file(base_folder() + "Molvane.INI", "[Setup]\nMaximized=Nein\n");
    StartOptions o;
    o.splash = false;
    o.table_window_factory = [this](STDSHELLWINDOW* shell, const TableOpenRequest& r) -> QWidget* {
      requests.push_back(r);
      auto* w = new FakeTableWindow(shell, r.file);
      windows.push_back(w);
      return w;
    };
    ASSERT_EQ(start.start(o), MolvaneStart::Outcome::Running);
    shell = start.shell();
    shell->activateWindow();
  }
  void TearDown() override {
    for (auto& w : windows)
      if (w) w->refuse_close = false;
    start.finish();
    set_table_window_factory({});
    HomeFixture::TearDown();
  }
  QMenuBar* bar() { return shell->menuBar(); }
  QToolBar* visible_toolbar() {
    for (QToolBar* t : shell->findChildren<QToolBar*>())
      if (t->isVisibleTo(shell)) return t;
    return nullptr;
  }

  gui::RecordingMessageBoxes boxes;
  MolvaneStart start;
  STDSHELLWINDOW* shell = nullptr;
  std::vector<TableOpenRequest> requests;
  std::vector<QPointer<FakeTableWindow>> windows;
};

// Every item of the menu bar in order, as one line per entry:
// popup "caption", item "id|caption|command|status|key", separator "-".
QStringList describe(QMenuBar* bar) {
  QStringList out;
  for (QAction* top : bar->actions()) {
    QMenu* popup = top->menu();
    out << "popup " + top->data().toString() + "|" + top->text() + "|" + top->statusTip();
    for (QAction* a : popup->actions()) {
      if (a->isSeparator()) {
        out << "-";
        continue;
      }
      out << QStringList{a->data().toString(), a->text(), a->objectName(), a->statusTip(),
                         a->shortcut().toString()}
                 .join('|');
    }
  }
  return out;
}

const QStringList kEmptyMenu = {
    "popup 3309|&Datei|",
    "3310|&Neu...|FILENEW|Eine DBF-Datei neu erstellen|",
    "32001|&Öffnen...\tSTRG+O|FILEOPEN|Eine DBF-Datei öffnen|Ctrl+O",
    "3312|Erneut Öffnen ...|FILEOPENDLG|Eine DBF-Daztei erneut öffnen|",
    "-",
    "3314|Druckereinrichtung...|FILEPRINTERSETUP|Druckereinstellungen vornehmen|",
    "-",
    "3316|&Beenden\tALT+F4|FILEEXIT|Molvane beenden|Alt+F4",
    "popup 3317|Extras|",
    "3318|&Optionen|OPENOPTIONEN|Programmeinstellungen vornehmen|",
    "3319|ZovuZUZ INI-Datei|ZOVUZUZINI||",
    "-",
    "3321|&Rechner|OPENWINRECHNER|Windows Rechner öffnen|",
    "3322|&Kalender|OPENKALENDER||",
    "popup 3325|&Hilfe|",
    "3326|Handbuch\tF1|OPENHANDBUCH|PDF-Handbuch öffnen|F1",
    "-",
    "3328|&Info...|OPENABOUT|Info zu Molvane|",
};

const QStringList kTableMenu = {
    "popup 3307|&Datei|",
    "3308|&Neu...|FILENEW|Eine DBF-Datei neu erstellen|",
    "32001|&Öffnen...\tSTRG+O|FILEOPEN|Eine DBF-Datei öffnen|Ctrl+O",
    "3310|Erneut Öffnen ...|FILEOPENDLG|Eine DBF-Datei erneut öffnen|",
    "3311|&Schließen|FILECLOSE|Das aktuelle Fenster schließen|",
    "-",
    "3313|&Kopieren...|FILECOPY|Die aktuelle Datei kopieren|",
    "3314|&Anfügen...|FILEAPPEND|Anfügen einer Datei an die aktuelle Datei|",
    "3315|&Pack|FILEPACK|gelöschte Daten aus der aktuellen Datei endgültig entfernen|",
    "3316|&Zap|FILEZAP|alle Daten der Datei endgültig löschen|",
    "-",
    "3318|Seitenansicht|FILEANSICHT||",
    "3319|&Drucken|FILEPRINT|Daten der aktuellen Datei drucken|",
    "3320|Drucker&einrichtung...|FILEPRINTERSETUP|Druckereinstellungen vornehmen|",
    "-",
    "3322|&Beenden\tALT+F4|FILEEXIT|Molvane beenden|Alt+F4",
    "popup 3323|&Bearbeiten|Edit information",
    "3324|&Datensatz Neu|APPEND|Einen neuen Datensatz an die aktuelle Datei anfügen|",
    "3325|Datensatz &löschen|DELETE|Den markierten Datensatz löschen, bzw. wieder herstellen|",
    "3326|Feldwerte ersetzen|OPENDLGREPLACE|Feldwerte einer Datei ändern |",
    "-",
    "3328|&Erster Datensatz\tSTRG+POS1|GOTOP|Gehe zum ersten Datenstz|Ctrl+Home",
    "3329|&Voriger Datensatz|SKIPPREVIOUS|Gehe zum vorigen Datenstz|",
    "3330|&Nächster Datensatz|SKIPNEXT|Gehe zum nächsten Datenstz|",
    "3331|&Letzter Datensatz\tSTRG+ENDE|GOBOTTOM|Gehe zum letzten Datenstz|Ctrl+End",
    "popup 3332|&Ansicht|",
    "3333|gelöschte &Datensätze|SET_DELETED|Anzeige gelöschter Datensätze|",
    "3334|&Satznummer|SET_SATZNUMMER|Anzeige der Satznummer in der Tabellenansicht|",
    "3335|Auswahl &Felder|OPENDLGFELDER||",
    "popup 3336|&Fenster|Arrange child windows",
    "3337|&Überlappend|WINDOWCASCADE|Arrange child windows in a cascade|",
    "3338|&Nebeneinander|WINDOWTILE|Fenster nebeneinander|",
    "3339|&Alle Schließen|CLOSEALLCHILDREN|alle Fenster schließen|",
    "popup 3340|Extras|",
    "3341|&Optionen|OPENOPTIONEN|Programmeinstellungen vornehmen|",
    "3342|ZovuZUZ INI-Datei|ZOVUZUZINI||",
    "-",
    "3344|&Rechner|OPENWINRECHNER|Windows Rechner öffnen|",
    "3345|&Kalender|OPENKALENDER||",
    "popup 3348|&Hilfe|",
    "3349|Handbuch\tF1|OPENHANDBUCH|PDF-Handbuch öffnen|F1",
    "-",
    "3351|&Info...|OPENABOUT|Info zu Molvane|",
};

// Buttons of a toolbar: "caption|tip|command|picture present" or "-".
QStringList describe(QToolBar* bar) {
  QStringList out;
  for (QAction* a : bar->actions()) {
    if (a->isSeparator()) {
      out << "-";
      continue;
    }
    out << QStringList{a->text(), a->toolTip(), a->objectName(), a->icon().isNull() ? "no picture" : "picture"}
               .join('|');
  }
  return out;
}

TEST_F(ShellTest, MenusCarryTheirItemsWhereverTheyAreShown) {
  EXPECT_EQ(describe(bar()), kEmptyMenu);
  shell->router()->dispatch("FILENEW");
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(describe(bar()), kTableMenu.mid(0, kTableMenu.size())) << "the table window's menu is shown";

  // The "&Fenster" popup lists the open windows after its own items.
  QMenu* fenster = bar()->actions()[3]->menu();
  emit fenster->aboutToShow();
  const QList<QAction*> items = fenster->actions();
  ASSERT_GE(items.size(), 5);
  EXPECT_TRUE(items[3]->isSeparator());
  EXPECT_EQ(items[4]->text(), "&1 Daten: ");
  EXPECT_TRUE(items[4]->isChecked());
}

TEST_F(ShellTest, ToolbarsOfBothMenus) {
  QToolBar* empty = visible_toolbar();
  ASSERT_TRUE(empty);
  EXPECT_EQ(describe(empty), (QStringList{
                                 "Neu|Neue DBF-Datei erstellen|FILENEW|picture", "-",
                                 "Öffnen|DBF-Datei Öffnen|FILEOPEN|picture",
                                 "Öffnen |DBF-Datei erneut öffnen|FILEOPENDLG|picture", "-",
                                 "Option|Einstellungen|OPENOPTIONEN|picture", "-",
                                 "Rechner|Windows Rechner|OPENWINRECHNER|picture",
                                 "Kalender|Kalender|OPENKALENDER|picture", "-",
                                 "Handbuch|PDF-Handbuch|OPENHANDBUCH|picture",
                                 "Info|Programm Info|OPENABOUT|picture", "-"}));
  EXPECT_FALSE(empty->isMovable()) << "no bands";

  shell->router()->dispatch("FILENEW");
  QToolBar* table = visible_toolbar();
  ASSERT_TRUE(table);
  ASSERT_NE(table, empty);
  EXPECT_EQ(describe(table), (QStringList{
                                 "|Datei schließen|FILECLOSE|picture", "|Drucken|FILEPRINT|picture",
                                 "|Seitenansicht|FILEANSICHT|picture", "-",
                                 "|Erster Datensatz|GOTOP|picture",
                                 "|Vorhergehender Datensatz|SKIPPREVIOUS|picture",
                                 "|Nächster Datensatz|SKIPNEXT|picture",
                                 "|Letzter Datensatz|GOBOTTOM|picture", "-",
                                 "Handbuch|PDF-Handbuch|OPENHANDBUCH|picture", "-"}));
  EXPECT_TRUE(table->isMovable()) << "bands";
  // Picture 120 is one picture in both toolbars: info there, manual here.
  const QImage info = empty->actions()[11]->icon().pixmap(24).toImage();
  const QImage manual = table->actions()[9]->icon().pixmap(24).toImage();
  EXPECT_EQ(info, manual);
}

TEST_F(ShellTest, ToolbarStyleFollowsTheSettings) {
  shell->router()->dispatch("FILENEW");
  QToolBar* table = visible_toolbar();
  const Qt::ToolButtonStyle table_style = table->toolButtonStyle();
  windows[0]->outer()->close();
  ASSERT_TRUE(test::wait_until([&] { return shell->ANZAHLCHILD() == 0; }));

  struct Case {
    bool shown;
    unsigned style;
    Qt::ToolButtonStyle expected;
  } cases[] = {{true, 1, Qt::ToolButtonIconOnly},
               {true, 2, Qt::ToolButtonTextUnderIcon},
               {true, 0, Qt::ToolButtonTextOnly},
               {false, 0, Qt::ToolButtonTextOnly}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    GLTOOLBAR = c.shown;
    GNTOOLBARSTYLE = c.style;
    shell->SETTOOLBAR();
    QToolBar* own = shell->own_menu()->TOOLBAR();
    EXPECT_EQ(own->toolButtonStyle(), c.expected);
    EXPECT_EQ(own->isVisibleTo(shell), c.shown);
    EXPECT_EQ(shell->current_menu(), shell->own_menu());
    // The table window's toolbar looks the same whatever the settings.
    auto* w = new FakeTableWindow(shell, "x");
    EXPECT_EQ(w->menu->TOOLBAR()->toolButtonStyle(), table_style);
    delete w;
  }
}

TEST_F(ShellTest, CommandsReachTheActiveWindowElseTheShell) {
  EXPECT_EQ(shell->router()->target_for("GOTOP"), nullptr) << "no table window: nobody navigates";
  EXPECT_EQ(shell->router()->target_for("FILENEW"), shell);

  shell->router()->dispatch("FILENEW");
  ASSERT_EQ(windows.size(), 1u);
  FakeTableWindow* w = windows[0];
  EXPECT_EQ(shell->ANZAHLCHILD(), 1);
  EXPECT_TRUE(requests[0].file.isEmpty());
  EXPECT_EQ(shell->current_menu(), w->menu);

  // Menu item, toolbar button and accelerator all reach the table window's operation.
  w->menu->action(3328)->trigger();
  for (QAction* a : w->menu->TOOLBAR()->actions())
    if (a->objectName() == "GOTOP") a->trigger();
  QApplication::setActiveWindow(shell);
  QTest::keyClick(shell, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(w->calls, (QStringList{"GOTOP", "GOTOP", "GOTOP"}));
  // What the table window does not have goes to the shell.
  EXPECT_EQ(shell->router()->target_for("WINDOWCASCADE"), shell);
  EXPECT_EQ(shell->router()->target_for("FILECLOSE"), w);

  // A second window becomes the active one; closing both brings the empty menu back.
  shell->FILENEW();
  ASSERT_EQ(windows.size(), 2u);
  EXPECT_EQ(shell->current_menu(), windows[1]->menu);
  windows[1]->outer()->close();
  ASSERT_TRUE(test::wait_until([&] { return shell->ANZAHLCHILD() == 1; }));
  windows[0]->outer()->close();
  ASSERT_TRUE(test::wait_until([&] { return shell->ANZAHLCHILD() == 0; }));
  EXPECT_EQ(shell->current_menu(), shell->own_menu());
  EXPECT_EQ(describe(bar()), kEmptyMenu);
}

TEST_F(ShellTest, TabbedDocumentWindowsGetTheTableMenuAndPlacement) {
  set_table_window_factory([](STDSHELLWINDOW* s, const TableOpenRequest&) -> QWidget* {
    return new TABDW_STANDARD(s);
  });
  GNMAXIMIZEDWIN = 1;
  shell->resize(1400, 1000);
  QApplication::processEvents();
  shell->FILENEW();
  shell->FILENEW();
  ASSERT_EQ(shell->ANZAHLCHILD(), 2);
  auto* second = qobject_cast<TABDW_STANDARD*>(shell->canvas()->activeSubWindow()->widget());
  ASSERT_TRUE(second);
  EXPECT_EQ(shell->current_menu(), second->menu());
  EXPECT_TRUE(qobject_cast<STDSHELLMENU*>(second->menu()));
  EXPECT_EQ(shell->router()->target_for("GOTOP"), second);
  EXPECT_EQ(second->outer()->pos(), QPoint(30, 30)) << "cascaded by the setting";
  // The shell goes with its table windows open (TearDown): nothing may crash.
}

// "&Nebeneinander" arranges the windows inside the canvas, also when their frames ask for
// more than their share of it; the shell keeps its size.
TEST_F(ShellTest, TilingStaysInsideTheCanvas) {
  shell->resize(1280, 800);
  QApplication::processEvents();
  const QSize shell_size = shell->size();
  for (int i = 0; i < 3; ++i) {
    shell->DOOPENFILE(QStringLiteral("/daten/t%1.dbf").arg(i));
    windows.back()->SHOW();
    // A frame that carries a minimum of its own, as one held at its form's size does.
    windows.back()->outer()->setMinimumSize(700, 450);
  }
  QApplication::processEvents();
  ASSERT_EQ(shell->canvas()->subWindowList().size(), 3);
  shell->WINDOWTILE();
  QApplication::processEvents();
  EXPECT_EQ(shell->size(), shell_size);
  const QRect area = shell->canvas()->viewport()->rect();
  QRegion covered;
  for (QMdiSubWindow* sub : shell->canvas()->subWindowList()) {
    EXPECT_TRUE(area.contains(sub->geometry())) << sub->geometry().x() << "," << sub->geometry().y() << " "
                                                << sub->width() << "x" << sub->height();
    EXPECT_FALSE(covered.intersects(sub->geometry()));
    covered += sub->geometry();
  }
}

// The form's size is the limit only while the frame is dragged: a click on the frame of
// a window placed smaller leaves it alone; dragging an edge inward stops at the form's
// size with the other edge in place.
TEST_F(ShellTest, DesignSizeIsEnforcedOnlyWhileDragging) {
  set_table_window_factory([](STDSHELLWINDOW* s, const TableOpenRequest&) -> QWidget* { return new TABDW_STANDARD(s); });
  GNMAXIMIZEDWIN = 1;
  shell->resize(700, 500);
  QApplication::processEvents();
  shell->FILENEW();
  QApplication::processEvents();
  auto* w = qobject_cast<TABDW_STANDARD*>(shell->canvas()->activeSubWindow()->widget());
  ASSERT_TRUE(w);
  QMdiSubWindow* frame = w->mdi_frame();
  const QRect placed = frame->geometry();
  ASSERT_LT(placed.width(), w->minimum_size().width());
  // A click on the title bar.
  const QPoint title(placed.width() / 2, 8);
  QTest::mouseMove(frame, title);
  QTest::mousePress(frame, Qt::LeftButton, {}, title);
  QTest::mouseRelease(frame, Qt::LeftButton, {}, title);
  QApplication::processEvents();
  EXPECT_EQ(frame->geometry(), placed);
  // The right edge dragged inward.
  const QPoint edge(placed.width() - 2, placed.height() / 2);
  QTest::mouseMove(frame, edge);
  QTest::mousePress(frame, Qt::LeftButton, {}, edge);
  QTest::mouseMove(frame, edge - QPoint(40, 0));
  QTest::mouseRelease(frame, Qt::LeftButton, {}, edge - QPoint(40, 0));
  QApplication::processEvents();
  EXPECT_EQ(frame->geometry().left(), placed.left());
  EXPECT_EQ(frame->geometry().width(), w->minimum_size().width());
}

TEST_F(ShellTest, QuitAndCloseAllAskEveryTableWindow) {
  shell->FILENEW();
  shell->FILENEW();
  ASSERT_EQ(windows.size(), 2u);
  windows[0]->refuse_close = true;

  // "Nein": nothing closes, no window is asked.
  boxes.script(gui::MsgAnswer::No);
  shell->FILEEXIT();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Molvane beenden");
  EXPECT_EQ(boxes.last().text, "Möchten Sie die Anwendung wirklich beenden?");
  EXPECT_EQ(boxes.last().buttons, gui::MsgButtons::YesNo);
  EXPECT_EQ(boxes.last().icon, gui::MsgIcon::Question);
  EXPECT_TRUE(shell->isVisible());
  EXPECT_TRUE(windows[0]->calls.isEmpty());

  // "Ja", but a table window refuses: the program goes on with that window open.
  boxes.script(gui::MsgAnswer::Yes);
  shell->FILEEXIT();
  EXPECT_TRUE(shell->isVisible());
  EXPECT_TRUE(windows[0]->calls.contains("close asked"));
  EXPECT_TRUE(windows[0]);

  // "&Alle Schließen" asks too: the refusing window stays, the other goes.
  EXPECT_TRUE(shell->router()->dispatch("CLOSEALLCHILDREN"));
  test::wait_until([&] { return !windows[1]; }, 1000);
  EXPECT_TRUE(windows[0]);
  EXPECT_FALSE(windows[1]);
  EXPECT_EQ(shell->ANZAHLCHILD(), 1);
}

TEST_F(ShellTest, OpeningTables) {
  // Not a table: the text box, nothing opened.
  shell->DOOPENFILE(path("a.txt"));
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Achtung");
  EXPECT_EQ(boxes.last().text, "Die Datei: " + path("a.txt") + "\r\nkann nicht geöffnet werden, da keine DBF-Datei!");
  EXPECT_EQ(boxes.last().icon, gui::MsgIcon::None);
  EXPECT_TRUE(requests.empty());

  // "&Öffnen...": the program-wide settings.
  GLREADONLY = true;
  GLEXCLUSIVE = false;
  GLSETANSI = true;
  std::vector<bool> read_only_shown;
  shell->open_dialog = [&](QWidget*, bool ro) -> std::optional<OpenChoice> {
    read_only_shown.push_back(ro);
    return OpenChoice{"/t/Kunden.DbF", false};
  };
  shell->FILEOPEN();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(read_only_shown, std::vector<bool>{true});
  EXPECT_EQ(requests[0].file, "/t/Kunden.DbF");
  EXPECT_EQ(requests[0].share, std::optional<bool>(true));
  EXPECT_EQ(requests[0].read_only, std::optional<bool>(false));
  EXPECT_EQ(requests[0].ansi, std::optional<bool>(true));

  // "Erneut Öffnen ..." without history: the open dialog with the shell's own flags.
  shell->LEREADONLY = false;
  shell->FILEOPENDLG();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(read_only_shown.back(), false);
  EXPECT_EQ(requests[1].share, std::optional<bool>(false)) << "not shared before the dialog chose";
  EXPECT_EQ(requests[1].ansi, std::optional<bool>(shell->LEANSI));

  // With history and a dialog: its row, with the flags it chose.
  write_file(base_folder() + "ZovuZUZ.INI",
             "[/t/Alt.dbf]\nDatum=01.02.2020\nZeit=10:00:00\n[/t/Neu.DBF]\nDatum=03.04.2024\nZeit=09:00:00\n");
  std::vector<HistoryRow> seen;
  set_history_dialog([&](STDSHELLWINDOW* s, std::vector<HistoryRow>& rows) {
    seen = rows;
    s->LESHARE = true;
    s->LEREADONLY = true;
    s->LEANSI = false;
    return 2;
  });
  shell->FILEOPENDLG();
  set_history_dialog({});
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].path, "/t/Alt.dbf");
  EXPECT_EQ(seen[0].sort_key, "2020020110:00:00");
  EXPECT_EQ(seen[0].name, "Alt");
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[2].file, "/t/Neu.DBF");
  EXPECT_EQ(requests[2].share, std::optional<bool>(true));
  EXPECT_EQ(requests[2].read_only, std::optional<bool>(true));
  EXPECT_EQ(requests[2].ansi, std::optional<bool>(false));
}

TEST_F(ShellTest, OtherProgramsStartOnce) {
  // The calendar holds the lock of its caption while it runs.
  FileLock calendar;
  ASSERT_EQ(calendar.acquire(caption_lock_path(kKalenderCaption)), FileLock::Outcome::Taken);
  shell->OPENKALENDER();
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().text, "Der Kalender wurde bereits gestartet");
  EXPECT_EQ(boxes.last().caption, "Achtung");
  EXPECT_TRUE(boxes.last().owner.isNull());
  calendar.release();
  shell->OPENKALENDER();  // no calendar program anywhere: it says where it looked
  ASSERT_EQ(boxes.count(), 2);
  EXPECT_TRUE(boxes.last().text.startsWith("Das Programm \r\n"));
  EXPECT_TRUE(boxes.last().text.endsWith("/kalender\r\nwurde nicht gefunden"));

  // The calculator: the first one on PATH.
  const QString marker = path("calc-started");
  write_file(path("bin/xcalc"), "#!/bin/sh\n/usr/bin/touch '" + marker.toUtf8() + "'\n", true);
  shell->OPENWINRECHNER();
  EXPECT_TRUE(test::wait_until([&] { return QFile::exists(marker); }));

  // The history file in the desktop's text editor: exactly the file the program writes.
  const QString opened = path("editor-got");
  write_file(path("bin/fake-editor"), "#!/bin/sh\nprintf '%s' \"$1\" > '" + opened.toUtf8() + "'\n", true);
  write_file(home() + "/.local/share/applications/fake-editor.desktop",
             "[Desktop Entry]\nType=Application\nExec=" + path("bin/fake-editor").toUtf8() + " %f\n");
  write_file(home() + "/.config/mimeapps.list", "[Default Applications]\ntext/plain=fake-editor.desktop\n");
  shell->ZOVUZUZINI();
  ASSERT_TRUE(test::wait_until([&] { return !read_file(opened).isEmpty(); }));
  EXPECT_EQ(QString::fromUtf8(read_file(opened)), base_folder() + "ZovuZUZ.INI");
  EXPECT_EQ(boxes.count(), 2);

  // The manual is missing beside the program.
  shell->OPENHANDBUCH();
  ASSERT_EQ(boxes.count(), 3);
  EXPECT_EQ(boxes.last().text, "Das Dokument \r\n" + QCoreApplication::applicationDirPath() +
                                   "/Molvane.pdf\r\nwurde nicht gefunden");
  EXPECT_EQ(boxes.last().owner.data(), shell);
}

// The window print: landscape, the question, then the window's picture on the printing
// device; "Nein" prints nothing. A table window prints through the same road.
TEST_F(ShellTest, WindowPrintAsksThenPrintsTheWindow) {
  shell->FILENEW();
  ASSERT_EQ(windows.size(), 1u);
  const QString pdf = path("fenster.pdf");
  shell->PRINTER()->setOutputFormat(QPrinter::PdfFormat);
  shell->PRINTER()->setOutputFileName(pdf);
  const auto& print = table_window_environment().print_window;
  ASSERT_TRUE(bool(print));

  boxes.script(gui::MsgAnswer::No);
  print(windows[0]);
  ASSERT_EQ(boxes.count(), 1);
  EXPECT_EQ(boxes.last().caption, "Fensterdruck");
  EXPECT_EQ(boxes.last().text, "Drucken des aktiven Fensters\r\n\r\nMöchten Sie jetzt drucken?");
  EXPECT_EQ(boxes.last().buttons, gui::MsgButtons::YesNo);
  EXPECT_FALSE(QFile::exists(pdf));

  boxes.script(gui::MsgAnswer::Yes);
  windows[0]->resize(300, 200);
  print(windows[0]);
  EXPECT_EQ(shell->PRINTER()->pageLayout().orientation(), QPageLayout::Landscape);
  const QByteArray out = read_file(pdf);
  EXPECT_TRUE(out.startsWith("%PDF"));
  EXPECT_EQ(out.count("/Type /Page\n") + out.count("/Type /Page\r") + out.count("/Type /Page "), 1);
  EXPECT_TRUE(out.contains("/Subtype /Image"));
}

TEST_F(ShellTest, AboutDialog) {
  ABOUTDIALOG dlg(shell);
  EXPECT_EQ(dlg.windowTitle(), "Programminfo");
  EXPECT_EQ(dlg.FT_Z1->text(), "Molvane");
  EXPECT_EQ(dlg.OKBUTTON->text(), "O&K");
  EXPECT_FALSE(dlg.FIXEDICON1->pixmap().isNull());
  dlg.show();
  QList<QLabel*> labels = dlg.findChildren<QLabel*>();
  QLabel* internet = nullptr;
  QLabel* mail = nullptr;
  for (QLabel* l : labels) {
    if (l->text() == "Internet:") internet = l;
    if (l->text() == "E-Mail:") mail = l;
  }
  ASSERT_TRUE(internet && mail);
  EXPECT_LT(internet->geometry().top(), mail->geometry().top());
  EXPECT_TRUE(dlg.internet_link()->openExternalLinks());
  EXPECT_TRUE(dlg.mail_link()->text().contains("mailto:"));

  QTimer::singleShot(0, [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<ABOUTDIALOG*>(w); d && d->isVisible()) d->OKBUTTON->click();
  });
  dlg.hide();
  dlg.SHOW();  // returns once "O&K" ends it
  EXPECT_FALSE(dlg.isVisible());
}

TEST(Backdrop, GradientRows) {
  EXPECT_EQ(gradient_row_color(1, 600), QColor(0, 254, 254));
  EXPECT_EQ(gradient_row_color(300, 600), QColor(0, 128, 128));
  EXPECT_EQ(gradient_row_color(600, 600), QColor(0, 0, 0));
  EXPECT_EQ(gradient_row_color(1, 1), QColor(0, 0, 0));
  QImage img(10, 10, QImage::Format_RGB32);
  img.fill(Qt::red);
  QPainter p(&img);
  GRADIENTFILL(p, QRect(0, 0, 10, 0), QRect());
  PEDRAWTEXT(p, QRect(0, 0, 0, 0), "");
  p.end();
  EXPECT_EQ(img.pixelColor(5, 5), QColor(Qt::red)) << "a height of 0 draws nothing";
}

TEST_F(ShellTest, ScreenshotOfTheShell) {
  shell->resize(800, 600);
  QApplication::processEvents();
  const QImage shot = shell->grab().toImage();
  const QString file = QString(MOLVANE_BINARY_DIR) + "/shell_screenshot.png";
  ASSERT_TRUE(shot.save(file)) << file.toStdString();

  QWidget* viewport = shell->canvas()->viewport();
  const QImage back = viewport->grab().toImage();
  const int h = back.height();
  ASSERT_GT(h, 100);
  for (int row : {1, h / 4, h / 2, h}) {
    SCOPED_TRACE(row);
    EXPECT_EQ(back.pixelColor(2, row - 1), gradient_row_color(row, h));
  }
  // The name in the middle: white letters, their black shadow beside them.
  int white = 0, black = 0;
  for (int y = h / 2 - 40; y < h / 2 + 40; ++y)
    for (int x = back.width() / 2 - 150; x < back.width() / 2 + 150; ++x) {
      const QColor c = back.pixelColor(x, y);
      if (c.red() > 240 && c.green() > 240 && c.blue() > 240) ++white;
      if (c.red() < 15 && c.green() < 15 && c.blue() < 15) ++black;
    }
  EXPECT_GT(white, 300);
  EXPECT_GT(black, 100);
  // Outside the middle no white at all.
  const QColor corner = back.pixelColor(back.width() - 3, 3);
  EXPECT_EQ(corner.red(), 0);

  // With a table window the table menu and its toolbar are shown in front of the backdrop.
  shell->FILENEW();
  QApplication::processEvents();
  ASSERT_TRUE(shell->grab().toImage().save(QString(MOLVANE_BINARY_DIR) + "/shell_table_screenshot.png"));
  ABOUTDIALOG about(shell);
  about.show();
  QApplication::processEvents();
  ASSERT_TRUE(about.grab().toImage().save(QString(MOLVANE_BINARY_DIR) + "/shell_about_screenshot.png"));
  about.hide();
  windows[0]->outer()->close();
  ASSERT_TRUE(test::wait_until([&] { return shell->ANZAHLCHILD() == 0; }));

  // After a resize the gradient spans the new height.
  shell->resize(640, 900);
  QApplication::processEvents();
  const QImage taller = viewport->grab().toImage();
  EXPECT_GT(taller.height(), h);
  EXPECT_EQ(taller.pixelColor(2, taller.height() - 1), QColor(0, 0, 0));
  EXPECT_EQ(taller.pixelColor(2, 0), gradient_row_color(1, taller.height()));
}

}  // namespace
}  // namespace mv

#include "shell_test.moc"
