// The options dialog: what its pages show from the product INI and the settings, what
// "Ok" and "Übernahme" write and change at once, and the way from the menu command to the
// settings found again after a restart.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFocusEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>

#include "components/slestandard.h"
#include "platform/gui/messagebox.h"
#include "platform/runtime/date.h"
#include "platform/table/modes.h"
#include "shell/dtadlg_option.h"
#include "shell/menus.h"
#include "shell/settings.h"
#include "shell/shellwindow.h"
#include "shell/start.h"
#include "tests/shell/shell_helpers.h"

namespace mv {
namespace {

class OptionsDialogTest : public test::HomeFixture {
 protected:
  void SetUp() override {
    HomeFixture::SetUp();
    QDir().mkpath(base_folder());
    write_file(base_folder() + "Molvane.INI",
               "[Setup]\nMaximized=Nein\nDriver=_DBFCDX\nSetEpoch=1950\nMaximizedWin=2\nFontBrowser=11\n");
    start_program();
  }
  void TearDown() override {
    start.finish();
    set_table_window_factory({});
    HomeFixture::TearDown();
  }
  void start_program() {
    StartOptions o;
    o.splash = false;
    o.table_window_factory = [this](STDSHELLWINDOW*, const TableOpenRequest& r) -> QWidget* {
      requests.push_back(r);
      return nullptr;
    };
    ASSERT_EQ(start.start(o), MolvaneStart::Outcome::Running);
    shell = start.shell();
  }
  QString ini(const QString& section, const QString& key) { return GOINI->GETSTRING(section, key); }
  template <class T>
  static T* control(QWidget* dlg, const char* name) {
    T* c = dlg->findChild<T*>(name);
    EXPECT_NE(c, nullptr) << name;
    return c;
  }
  static QCheckBox* box(QWidget* dlg, const char* name) { return control<QCheckBox>(dlg, name); }
  static QRadioButton* radio(QWidget* dlg, const char* name) { return control<QRadioButton>(dlg, name); }
  static QPushButton* button(QWidget* dlg, const char* name) { return control<QPushButton>(dlg, name); }
  static SLESTANDARD* edit(QWidget* dlg, const char* name) { return control<SLESTANDARD>(dlg, name); }

  gui::RecordingMessageBoxes boxes;
  MolvaneStart start;
  STDSHELLWINDOW* shell = nullptr;
  std::vector<TableOpenRequest> requests;
};

TEST_F(OptionsDialogTest, PagesShowTheStoredSettings) {
  struct Case {
    const char* key;
    const char* value;  // nullptr: no key at all
    const char* box;
    bool ticked;
  } cases[] = {
      {"ZeileGrau", nullptr, "CHB_ZEILEGRAU", true},   {"ZeileGrau", "", "CHB_ZEILEGRAU", true},
      {"ZeileGrau", "nein", "CHB_ZEILEGRAU", false},   {"ZeileGrau", "x", "CHB_ZEILEGRAU", true},
      {"Gitter", nullptr, "CHB_GITTER", false},        {"Gitter", "ja", "CHB_GITTER", true},
      {"SpalteGrau", nullptr, "CHB_SPALTEGRAU", false}, {"SpalteGrau", "JA", "CHB_SPALTEGRAU", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + "=" + (c.value ? c.value : "(none)"));
    if (c.value)
      GOINI->WRITESTRING("Runtime", c.key, c.value);
    else
      GOINI->DELETEENTRY("Runtime", c.key);
    DTADLG_OPTION dlg(shell);
    EXPECT_EQ(box(&dlg, c.box)->isChecked(), c.ticked);
  }

  GLEXCLUSIVE = false;
  GLREADONLY = true;
  GLSETANSI = false;
  DTADLG_OPTION dlg(shell);
  EXPECT_EQ(dlg.windowTitle(), "Optionen");
  EXPECT_EQ(dlg.TABOPTION()->tabText(0), " Einstellungen ");
  EXPECT_EQ(dlg.TABOPTION()->tabText(1), " DBF-Einstellungen ");
  EXPECT_EQ(dlg.TABOPTION()->currentIndex(), 0);
  EXPECT_FALSE(box(&dlg, "CHB_VOLLBILD")->isChecked());
  EXPECT_TRUE(box(&dlg, "CHB_TOOLBARICON")->isChecked()) << "start-up wrote the default";
  EXPECT_TRUE(radio(&dlg, "RB_MAXMIT")->isChecked());
  EXPECT_EQ(edit(&dlg, "SE_FONTBROWSER")->text(), "11");
  EXPECT_EQ(control<QScrollBar>(&dlg, "VS_FONTBROWSER")->value(), 11);
  EXPECT_FALSE(box(&dlg, "CHB_EXCLUSIVE")->isChecked());
  EXPECT_TRUE(box(&dlg, "CHB_READONLY")->isChecked());
  EXPECT_FALSE(box(&dlg, "CHB_SETANSI")->isChecked());
  EXPECT_EQ(edit(&dlg, "SE_EPOCH")->text(), "1950") << "the epoch in force";
  EXPECT_TRUE(radio(&dlg, "RB_CDX2")->isChecked());
  EXPECT_FALSE(button(&dlg, "PB_OK")->isEnabled());
  EXPECT_FALSE(button(&dlg, "PB_UEBERNAHME")->isEnabled());

  for (unsigned placement : {0u, 7u}) {
    GNMAXIMIZEDWIN = placement;
    DTADLG_OPTION other(shell);
    EXPECT_TRUE(radio(&other, "RB_MIN")->isChecked()) << placement;
  }
}

TEST_F(OptionsDialogTest, ChangesEnableSavingAndFontSizeStaysInRange) {
  DTADLG_OPTION dlg(shell);
  QPushButton* ok = button(&dlg, "PB_OK");
  QPushButton* apply = button(&dlg, "PB_UEBERNAHME");
  // Every kind of change enables both; "Übernahme" disables them again.
  const std::vector<std::function<void()>> changes = {
      [&] { box(&dlg, "CHB_GITTER")->click(); },
      [&] { radio(&dlg, "RB_NTX")->click(); },
      [&] { edit(&dlg, "SE_EPOCH")->setText("1960"); },
      [&] { control<QScrollBar>(&dlg, "VS_FONTBROWSER")->triggerAction(QAbstractSlider::SliderSingleStepAdd); },
      [&] { dlg.page1()->font_edit_left(); },
  };
  for (size_t i = 0; i < changes.size(); ++i) {
    SCOPED_TRACE(i);
    changes[i]();
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_TRUE(apply->isEnabled());
    apply->click();
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_FALSE(apply->isEnabled());
  }
  edit(&dlg, "SE_FONTBROWSER")->setText("13");
  EXPECT_FALSE(ok->isEnabled()) << "typing alone is no change yet";

  SLESTANDARD* font = edit(&dlg, "SE_FONTBROWSER");
  auto* spin = control<QScrollBar>(&dlg, "VS_FONTBROWSER");
  struct Case {
    const char* typed;
    const char* shown;
    int spinner;
  } cases[] = {{"20", "16", 14}, {"3", "7", 7}, {"", "7", 7}, {"12", "12", 12}, {"16", "16", 14}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    font->setText(c.typed);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(font, &out);
    EXPECT_EQ(font->text(), c.shown);
    EXPECT_EQ(spin->value(), c.spinner);
  }
  spin->setValue(7);
  for (int i = 0; i < 10; ++i) spin->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(spin->value(), 14);
  EXPECT_EQ(font->text(), "14");
  for (int i = 0; i < 10; ++i) spin->triggerAction(QAbstractSlider::SliderSingleStepSub);
  EXPECT_EQ(font->text(), "7");

  // Saved without leaving the edit: held to the range all the same.
  font->setText("30");
  apply->click();
  EXPECT_EQ(GNFONTBROWSER, 16u);
  EXPECT_EQ(ini("Setup", "FontBrowser"), "16");
}

TEST_F(OptionsDialogTest, ToolbarCombinations) {
  struct Case {
    bool icon, text;
    const char* icon_ini;
    const char* text_ini;
    bool shown;
    unsigned style;
    Qt::ToolButtonStyle qt_style;
  } cases[] = {
      {true, true, "Ja", "Ja", true, 2, Qt::ToolButtonTextUnderIcon},
      {true, false, "Ja", "Nein", true, 1, Qt::ToolButtonIconOnly},
      {false, true, "Nein", "Ja", true, 0, Qt::ToolButtonTextOnly},
      {false, false, "Nein", "Nein", false, 0, Qt::ToolButtonTextOnly},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.icon) + std::to_string(c.text));
    DTADLG_OPTION dlg(shell);
    box(&dlg, "CHB_TOOLBARICON")->setChecked(c.icon);
    box(&dlg, "CHB_TOOLBARTEXT")->setChecked(c.text);
    dlg.OK_EIN();
    button(&dlg, "PB_UEBERNAHME")->click();
    EXPECT_EQ(ini("Setup", "ToolbarIcon"), c.icon_ini);
    EXPECT_EQ(ini("Setup", "ToolbarText"), c.text_ini);
    EXPECT_EQ(GLTOOLBAR, c.shown);
    EXPECT_EQ(GNTOOLBARSTYLE, c.style);
    EXPECT_EQ(shell->own_menu()->TOOLBAR()->isVisibleTo(shell), c.shown);
    EXPECT_EQ(shell->own_menu()->TOOLBAR()->toolButtonStyle(), c.qt_style);
  }
}

TEST_F(OptionsDialogTest, SecondPageWritesDriverEpochAndModes) {
  struct Case {
    const char* stored;
    const char* pressed;  // nullptr: none shown pressed, none pressed
    const char* press;
    const char* epoch;
    const char* written;
    const char* epoch_written;
    int epoch_in_force;
  } cases[] = {
      {"_DBFCDX", "RB_CDX2", nullptr, "1980", "_DBFCDX", "1980", 1980},
      {"FOO", nullptr, nullptr, "", "FOO", "0", 1920},
      {"FOO", nullptr, "RB_NTX", "50", "DBFNTX", "50", 1920},
      {"DBFMDX", "RB_MDX", "RB_CDX", "9999", "DBFCDX", "9999", 9999},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    GCDRIVER = c.stored;
    DTADLG_OPTION dlg(shell);
    for (const char* rb : {"RB_CDX", "RB_CDX2", "RB_MDX", "RB_NTX"})
      EXPECT_EQ(radio(&dlg, rb)->isChecked(), c.pressed && QString(rb) == c.pressed) << rb;
    if (c.press) radio(&dlg, c.press)->click();
    edit(&dlg, "SE_EPOCH")->setText(c.epoch);
    box(&dlg, "CHB_EXCLUSIVE")->setChecked(true);
    box(&dlg, "CHB_READONLY")->setChecked(false);
    box(&dlg, "CHB_SETANSI")->setChecked(false);
    button(&dlg, "PB_UEBERNAHME")->click();
    EXPECT_EQ(GCDRIVER, c.written);
    EXPECT_EQ(ini("Setup", "Driver"), c.written);
    EXPECT_EQ(ini("Setup", "SetEpoch"), c.epoch_written);
    EXPECT_EQ(date_epoch(), c.epoch_in_force);
    EXPECT_TRUE(GLEXCLUSIVE);
    EXPECT_TRUE(exclusive_default());
    EXPECT_FALSE(GLREADONLY);
    EXPECT_FALSE(GLSETANSI);
    EXPECT_FALSE(ansi_mode());
    EXPECT_EQ(ini("Setup", "Exclusive"), "Ja");
    EXPECT_EQ(ini("Setup", "ReadOnly"), "Nein");
    EXPECT_EQ(ini("Setup", "SetAnsi"), "Nein");
  }
}

TEST_F(OptionsDialogTest, CancelKeepsWhatWasAppliedAndNewOpensTakeTheDefaults) {
  {
    DTADLG_OPTION dlg(shell);
    box(&dlg, "CHB_EXCLUSIVE")->setChecked(true);
    box(&dlg, "CHB_READONLY")->setChecked(true);
    box(&dlg, "CHB_SETANSI")->setChecked(true);
    radio(&dlg, "RB_MITTEL")->click();
    button(&dlg, "PB_UEBERNAHME")->click();
    box(&dlg, "CHB_READONLY")->click();
    radio(&dlg, "RB_MAXOHNE")->click();
    button(&dlg, "PB_ABBRUCH")->click();
    EXPECT_EQ(dlg.result(), 0);
  }
  EXPECT_TRUE(GLREADONLY);
  EXPECT_EQ(GNMAXIMIZEDWIN, 1u);
  EXPECT_EQ(ini("Setup", "ReadOnly"), "Ja");
  EXPECT_EQ(ini("Setup", "MaximizedWin"), "1");

  std::vector<bool> read_only_shown;
  shell->open_dialog = [&](QWidget*, bool ro) -> std::optional<OpenChoice> {
    read_only_shown.push_back(ro);
    return OpenChoice{"/t/Kunden.dbf", ro};
  };
  shell->FILEOPEN();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(read_only_shown, std::vector<bool>{true});
  EXPECT_EQ(requests[0].share, std::optional<bool>(false));
  EXPECT_EQ(requests[0].read_only, std::optional<bool>(true));
  EXPECT_EQ(requests[0].ansi, std::optional<bool>(true));
}

TEST_F(OptionsDialogTest, HelpOnTheFirstTabOnly) {
  DTADLG_OPTION dlg(shell);
  dlg.TABOPTION()->setCurrentIndex(1);
  button(&dlg, "PB_HILFE")->click();
  EXPECT_EQ(boxes.count(), 0);
  dlg.TABOPTION()->setCurrentIndex(0);
  button(&dlg, "PB_HILFE")->click();
  ASSERT_EQ(boxes.count(), 1) << "the manual, as \"Handbuch\" opens it (here: not found)";
  EXPECT_TRUE(boxes.last().text.startsWith("Das Dokument \r\n"));
}

TEST_F(OptionsDialogTest, FromTheMenuToTheNextStart) {
  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto* dlg = qobject_cast<DTADLG_OPTION*>(QApplication::activeModalWidget());
    ASSERT_NE(dlg, nullptr);
    seen = true;
    box(dlg, "CHB_TOOLBARICON")->click();
    if (!box(dlg, "CHB_TOOLBARTEXT")->isChecked()) box(dlg, "CHB_TOOLBARTEXT")->click();
    dlg->TABOPTION()->setCurrentIndex(1);
    radio(dlg, "RB_NTX")->click();
    button(dlg, "PB_UEBERNAHME")->click();
    EXPECT_EQ(shell->own_menu()->TOOLBAR()->toolButtonStyle(), Qt::ToolButtonTextOnly);
    EXPECT_TRUE(shell->own_menu()->TOOLBAR()->isVisibleTo(shell));
    dlg->TABOPTION()->setCurrentIndex(0);
    QApplication::processEvents();
    EXPECT_TRUE(dlg->grab().save(QString(MOLVANE_BINARY_DIR) + "/options_dialog_screenshot.png"));
    dlg->TABOPTION()->setCurrentIndex(1);
    QApplication::processEvents();
    EXPECT_TRUE(dlg->grab().save(QString(MOLVANE_BINARY_DIR) + "/options_dialog_page2_screenshot.png"));
    button(dlg, "PB_ABBRUCH")->click();
  });
  shell->router()->dispatch("OPENOPTIONEN");
  ASSERT_TRUE(seen);

  // The next start reads them again (the running process keeps its single-instance lock,
  // so the start-up reading stands for the new process).
  GCDRIVER = "x";
  GLTOOLBAR = false;
  GNTOOLBARSTYLE = 2;
  SETGLOBALWERTE();
  EXPECT_EQ(GCDRIVER, "DBFNTX");
  EXPECT_TRUE(GLTOOLBAR);
  EXPECT_EQ(GNTOOLBARSTYLE, 0u);
}

}  // namespace
}  // namespace mv
