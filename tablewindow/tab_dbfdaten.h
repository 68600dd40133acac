#pragma once
// The data page " Daten " of the table window: the grid of the open table with the
// control band above it (search, print range, display switches, order lists, frozen
// columns, cursor and edit modes, record buttons). The page holds the open table: its
// grid's server. Every other page and dialog of the window reaches the table through the
// window's forwarders to this page.
#include <QPointer>
#include <QStringList>
#include <vector>

#include "platform/gui/windows.h"
#include "tablewindow/tableserver.h"

namespace Ui {
class TAB_DBFDATEN_FORM;
}

class QComboBox;

namespace mv {

class STDGRIDBROWSER;
class TABDW_DBFDATEI;

class TAB_DBFDATEN_FORM : public gui::DATAWINDOW {
  Q_OBJECT
 public:
  explicit TAB_DBFDATEN_FORM(QWidget* owner);
  ~TAB_DBFDATEN_FORM() override;
  Ui::TAB_DBFDATEN_FORM* form() const { return form_; }

 protected:
  Ui::TAB_DBFDATEN_FORM* form_;
};

class TAB_DBFDATEN : public TAB_DBFDATEN_FORM {
  Q_OBJECT
 public:
  explicit TAB_DBFDATEN(QWidget* owner);
  ~TAB_DBFDATEN() override;

  TABDW_DBFDATEI* window_owner() const;
  STDGRIDBROWSER* grid() const;
  // The open table's server, nullptr without one.
  TableGridServer* server() const;

  // Hidden fields of the search (filled by the record search).
  QString CSUCHTEXT;
  unsigned NTREFFER = 0;
  std::vector<uint32_t> ASUCHE;

  void BUTTONCLICK(QAbstractButton* control) override;

 public slots:
  void SHOW() override;
  void FILLCAPTION();
  // Navigation.
  void GOTOP();
  void GOBOTTOM();
  void SKIPNEXT();
  void SKIPPREVIOUS();
  void GOTO(int record);
  int LESESATZNR();
  QVariant LESEDATEN(int field);
  // The current order's key of the current record as text ("" without an order, for a
  // key that is not text, or without a table).
  QString LESEORDERKEYVAL();
  // Print order and print widths of the owner's AFELDER from the grid's shown columns.
  void _ABGLEICH_AFELDER();
  // Access to the open table.
  QObject* LESE_GRIDDBSERVER();
  void GRIDDBSERVERCLOSE();
  void SUSPENDUPDATE();
  void RESTOREUPDATE();
  void FILL_CBINDEX();
  void SETORDERDBF(int order);
  // Display switches.
  void SETSATZNR();
  void SETDEL();
  void SET_SATZNR();
  void SET_DELETED();
  void SETFREEZE();
  bool LESE_CHBDEL();
  bool LESE_CHBSATZNR();
  bool LESE_RBALLE();
  void CELLSELECT();
  // Index files in the table's folder that are not open here go stale with every write:
  // the first write says so, once.
  void warn_unmaintained_indexes();
  // The deleted filter is one for the whole program: the page's box "gelöschte Daten"
  // is applied to it, and the rows taken again when that changed it.
  void apply_deleted_filter();
  // Opening.
  void ZOVUZUZ();
  void CHECKROWMODE();
  // Record and table commands.
  void PB_APPEND();
  void PB_DELETE();
  void PB_REPLACE();
  void PB_FELDER();
  void FILEPACK();
  void FILEZAP();
  void FILECOPY();
  void FILEAPPEND();
  // The records as a list with the table's stored columns and list options: previewed
  // (`preview`) or printed, all records or from the current one on.
  void FILEREPORT(bool preview);
  // Control events.
  void EDITCHANGE();
  void EDITFOCUSCHANGE();
  void VERTICALSPIN();
  void LISTBOXSELECT(QComboBox* control);
  // Record search.
  void PB_FIND();
  void INDEXSUCHE(const QString& text);
  void VOLLTEXTSUCHE(const QString& text);
  void SETTREFFERTEXT();
  void PB_DAVOR();
  void PB_DANACH();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build();
  bool need_table();  // the "Es ist keine Datei geöffnet!" test
  bool refuse_read_only();
  bool refuse_shared();
  void apply_edit_mode(const QString& mode);
  void apply_cursor_mode(const QString& mode);
  void after_records_replaced();
  void check_menu(int id, bool on);
  // "Exclusiv" or "Schreibgeschützt" changed: the table is opened with the new flags; when
  // that fails the window says why and opens it again with the flags it had.
  void reopen_with_flags(bool share, bool read_only);
  // The failed opening's reason, for a box that has not yet been shown.
  QString open_failure_text() const;
  // Stored record numbers lead elsewhere once the records were replaced or reopened.
  void clear_hits();

  QPointer<TableGridServer> server_;
  int previous_index_name_ = 0;
  int previous_index_key_ = 0;
  QString edit_mode_ = QStringLiteral("INACTIVE");
  // The last opening that failed: the table layer's reason, and whether a box has said it.
  QString open_error_;
  bool open_reported_ = false;
  // The constructor's opening failed and SHOW has not yet reported it.
  bool failed_at_construction_ = false;
  // NTX files beside a table whose orders are not open, and whether that has been said.
  QStringList stray_indexes_;
  bool indexes_warned_ = false;
};

}  // namespace mv
