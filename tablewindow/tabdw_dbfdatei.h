#pragma once
// The table window: one MDI document window per table, with the tabs " Daten ",
// " Struktur ", " Index ", " Header " and " Beenden ". Its public fields are the table's
// state, read and changed directly by its pages, dialogs and reports; its slots are the
// table menu's commands and the operations the pages call on their owner by name.
#include <QMap>
#include <QString>
#include <QVariant>
#include <optional>

#include "components/tabdw_standard.h"
#include "tablewindow/history.h"

namespace mv {

class TAB_DBFDATEN;
class TableGridServer;

// Menu item ids of the table menu the window switches.
enum TableMenuItem : int {
  kItemAppend = 3324,
  kItemDelete = 3325,
  kItemReplace = 3326,
  kItemTop = 3328,
  kItemPrevious = 3329,
  kItemNext = 3330,
  kItemBottom = 3331,
  kItemDeleted = 3333,
  kItemRecno = 3334,
  kItemColumns = 3335,
};

class TABDW_DBFDATEI : public TABDW_STANDARD {
  Q_OBJECT
 public:
  // `file` empty or missing: a window for a new table (it starts on " Struktur ").
  // Missing flags take their defaults: shared unless "Exclusive" is on, read-only as
  // "ReadOnly", ANSI off.
  explicit TABDW_DBFDATEI(gui::SHELLWINDOW* owner, const std::optional<QString>& file = std::nullopt,
                          std::optional<bool> share = std::nullopt, std::optional<bool> read_only = std::nullopt,
                          std::optional<bool> ansi = std::nullopt);
  ~TABDW_DBFDATEI() override;

  // The table's state.
  QString CEDRIVER;
  QString CEDBF;
  QString CEDRIVE, CEDIR, CEFILE, CEEXT;
  StructureList ASTRUCTUR;
  IndexList AINDEX;
  ColumnList AFELDER;
  bool LEREADONLY = false;
  bool LESHARE = true;
  bool LEANSI = false;
  // The driver the structure page created or rebuilt the table with: reopenings try it
  // before the version byte, which cannot tell the drivers' tables without memo apart.
  QString made_with_driver;

  // The data page once created (nullptr before).
  TAB_DBFDATEN* data_page() const;
  // The open table's server (nullptr without one).
  TableGridServer* server() const;

  // The state the window gave its menu items (also without a menu object).
  bool item_enabled(int id) const { return enabled_.value(id, true); }
  bool item_checked(int id) const { return checked_.value(id, false); }
  void CHECKITEM(int id) { set_item_checked(id, true); }
  void UNCHECKITEM(int id) { set_item_checked(id, false); }

 public slots:
  // Table menu commands.
  void FILECLOSE() override;
  void FILECOPY();
  void FILEAPPEND();
  void FILEPACK();
  void FILEZAP();
  void FILEANSICHT();
  void FILEPRINT();
  void APPEND();
  void DELETE();
  void OPENDLGREPLACE();
  void SET_DELETED();
  void SET_SATZNUMMER();
  void OPENDLGFELDER(const QVariant& start = QVariant(), const QVariant& unused = QVariant());

  // Operations the pages call on their owner.
  QObject* LESE_GRIDDBSERVER();
  QObject* GRIDDBSERVERCLOSE();
  void ZOVUZUZNEU();
  void OPENDBFNEU() { ZOVUZUZNEU(); }  // the same reopen under the pages' name
  void SETTAB_DBFDATEI();
  void SET_SPLITPATH();
  void FILL_CBINDEX();
  void SET_TABSTRUKTUR();
  void SET_TABHEADER();
  void MENUDATEN();
  void MENUSTRUKTUR();
  QString GETCAPTION() const { return caption(); }
  void SUSPENDUPDATE();
  void RESTOREUPDATE();
  int LESESATZNR();
  QString LESEORDERKEYVAL();
  void INDEXWAHL(int order);
  void FILEAUSGABE(bool preview);
  void FILL_AFELDER();
  void LESE_INIDAT();
  void _SAVE_INIDAT();
  // Becoming the active document window.
  void ACTIVATE();
  // The window print: the shell prints this window's picture after its question.
  void PRINTSCREEN();
  // The help topics ask the program's help display for the current tab's topic; the
  // program has no help display, so they show nothing.
  void HELPCONTEXT() {}
  void HELPINDEX() {}

 public:
  // The help topic of the current tab: "Daten"; "Neu" without a file, else "Struktur";
  // "Index Datei"; none on the other tabs.
  QString help_topic() const;

 protected:
  // Every close path (the window's close box, "&Alle Schließen", quitting) asks the
  // same question FILECLOSE asks, so entered structure data is never lost unasked.
  void closeEvent(QCloseEvent* event) override;

 private:
  bool confirm_close();

  void set_item_enabled(int id, bool on);
  void set_item_checked(int id, bool on);
  void take_structure();
  bool call_data_page(const char* name);

  QMap<int, bool> enabled_;
  QMap<int, bool> checked_;
  bool closing_ = false;
  bool close_confirmed_ = false;
};

// Registers the page classes of the table window ("TAB_DBFDATEN"; empty pages for
// " Struktur ", " Index " and " Header " until their own classes are registered).
void register_table_window_pages();

// Creates a table window with the shell as owner (the shell registers and shows it).
TABDW_DBFDATEI* create_table_window(gui::SHELLWINDOW* shell, const QString& file, std::optional<bool> share,
                                    std::optional<bool> read_only, std::optional<bool> ansi);

}  // namespace mv
