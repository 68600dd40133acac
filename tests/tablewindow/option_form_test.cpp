// The options page form: its controls, captions, groups, ranges and colours.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>

#include "platform/gui/windows.h"
#include "tablewindow/tab_option_form.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tablewindow_helpers.h"

namespace mv {
namespace {

QString caption_of(QWidget* w) {
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  return {};
}

TEST(OptionForm, ControlsCaptionsAndSettings) {
  QWidget owner;
  TAB_OPTION_FORM page(&owner, 7);
  EXPECT_EQ(page.caption(), "DataWindow Caption");
  EXPECT_EQ(page.control_id(), 7);
  EXPECT_EQ(page.server(), nullptr);
  const std::pair<const char*, const char*> captions[] = {
      {"PB_APPEND", "Anfügen"}, {"PB_INSERT", "Einfügen"}, {"PB_ANDERS", "Ändern"}, {"PB_DELETE", "Löschen"},
      {"CHB_TOOLBARICON", "Toolbar Icon anzeigen "}, {"CHB_TOOLBARTEXT", "Toolbar Text anzeigen"},
      {"CHB_GITTER", "mit Gitterlinien drucken"}, {"CHB_ZEILEGRAU", "Zeilen grau hinterlegt"},
      {"CHB_SPALTEGRAU", "Spalten grau hinrlegt"}, {"RBG_FENSTER", "Fenstergröße"}, {"RB_MIN", "Minimal"},
      {"RB_MITTEL", "Mittelgroß"}, {"RB_MAXMIT", "Maximal mit Titelzeile"}, {"RB_MAXOHNE", "Maximal ohne Titelzeile"},
      {"CHB_VOLLBILD", "Vollbild beim Programmstart"}, {"FT_FONTBROWSER", "Srchriftgröße im Datenbrowser"},
      {"CHB_EXCLUSIVE", "Exklusive"}, {"CHB_READONLY", "Read Only"}, {"RBG_RDD", "Default RDD"},
      {"RB_CDX", "DBFCDX"}, {"RB_CDX2", "_DBFCDX"}, {"RB_MDX", "DBFMDX"}, {"RB_NTX", "DBFNTX"},
      {"FT_EPOCH", "SetEpoch"}, {"CHB_SETANSI", "SetAnsi"}, {"CHB_TOOLBARICON1", "Toolbar Icon Shellfenster"},
      {"CHB_TOOLBARTEXT1", "Toolbar Text ShellFenster"}, {"CHB_TBFENSTERICON", "Toolbar Icon je Fenster"},
      {"CHB_TBFENSTERTEXT", "Toolbar Text je Fenster"}, {"PB_SAVEFENSTER", "Speichern"},
      {"CHB_VOLLBILD1", "Fenster als Vollbild öffnen"}, {"GB_FENSTER", "Fenster"}, {"FT_WINWIDTH", "1234"},
      {"FT_WINHEIGHT", "1234"}, {"FT_WIDTH", "Width"}, {"FT_HEIGHT", "Height"}, {"FT_FENSTER", "Größe"},
  };
  for (const auto& [name, text] : captions) {
    auto* w = page.findChild<QWidget*>(name);
    ASSERT_NE(w, nullptr) << name;
    EXPECT_EQ(caption_of(w), QString(text)) << name;
  }
  auto* vs = page.findChild<QScrollBar*>("VS_FONTBROWSER");
  EXPECT_EQ(vs->minimum(), 7);
  EXPECT_EQ(vs->maximum(), 14);
  EXPECT_EQ(page.findChild<QLineEdit*>("SE_FONTBROWSER")->maxLength(), 2);
  EXPECT_EQ(page.findChild<QLineEdit*>("SE_EPOCH")->maxLength(), 4);

  // The groups answer the values of their buttons, not driver names or placements.
  auto* rdd = page.findChild<QGroupBox*>("RBG_RDD");
  auto* fenster = page.findChild<QGroupBox*>("RBG_FENSTER");
  EXPECT_EQ(TAB_OPTION_FORM::group_value(rdd), "");
  const std::pair<const char*, const char*> values[] = {{"RB_MIN", "RB_Min"}, {"RB_MITTEL", "RB_Mittel"},
                                                        {"RB_MAXMIT", "RB_MaxMit"}, {"RB_MAXOHNE", "RB_MaxOhne"},
                                                        {"RB_CDX", "RB_CDX"}, {"RB_CDX2", "RB_CDX2"},
                                                        {"RB_MDX", "RB_MDX"}, {"RB_NTX", "RB_NTX"}};
  for (const auto& [name, value] : values) {
    page.findChild<QRadioButton*>(name)->setChecked(true);
    const bool in_rdd = QString(name).startsWith("RB_CDX") || QString(name) == "RB_MDX" || QString(name) == "RB_NTX";
    EXPECT_EQ(TAB_OPTION_FORM::group_value(in_rdd ? rdd : fenster), QString(value));
  }

  const QColor steel(176, 196, 222);
  EXPECT_EQ(page.palette().color(QPalette::Window), steel);
  EXPECT_EQ(page.findChild<QWidget*>("CHB_VOLLBILD1")->palette().color(QPalette::Window), steel);
  EXPECT_TRUE(page.findChild<QGroupBox*>("GB_FENSTER")->font().bold());
}

TEST(OptionForm, WithAServerAndByClassName) {
  QObject server;
  QWidget owner;
  TAB_OPTION_FORM page(&owner, 1, &server, QVariant());
  EXPECT_EQ(page.server(), &server);
  register_table_window_pages();
  QWidget* made = gui::create_window("TAB_OPTION_FORM", &owner);
  ASSERT_NE(made, nullptr);
  EXPECT_NE(qobject_cast<TAB_OPTION_FORM*>(made), nullptr);
  delete made;
}

}  // namespace
}  // namespace mv
