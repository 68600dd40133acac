#pragma once
// The dialog "Öffnen einer DBF-Datenbank" of "Erneut Öffnen ...": the tables of the history
// file, ordered by the last opening or by name, what the history file says about the
// selected one, and the three open flags. It opens nothing: its result is 0 (cancel), the
// row number 1..n in the order it last gave the caller's rows, or n + 1 ("Suchen").
#include <QString>
#include <vector>

#include "components/std_windows.h"
#include "shell/shellwindow.h"

namespace Ui {
class DLG_ZOVUZUZ_FORM;
}

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace mv {

// A list-view column: {column name, width in characters, heading, alignment}.
struct ListColumn {
  QString name;
  int width = 0;
  QString heading;
  Qt::Alignment alignment = Qt::AlignLeft;
};

// Appends `columns` in order to `list`; a width of 0 hides the column. Widths count
// characters of the list's average width. The column name is kept as the heading's
// Qt::UserRole.
void FILL_LVCOLUMN(QTreeWidget* list, const std::vector<ListColumn>& columns);

// The index of the column named `name` in `list`, -1 when there is none.
int list_column(const QTreeWidget* list, const QString& name);

// The order of the list: by last opening (newest first, rows without a date last, equal
// keys in file order) or by name (ascending, letters without regard to case).
void sort_history_rows(std::vector<HistoryRow>& rows, bool by_name);

// The folder part of a history path: the path before its file name when that name is
// `name` + ".dbf" in any case; else empty.
QString history_folder(const QString& path, const QString& name);

class DLG_ZOVUZUZ_FORM : public STD_DLGWINDOW {
  Q_OBJECT
 public:
  explicit DLG_ZOVUZUZ_FORM(QObject* owner);
  ~DLG_ZOVUZUZ_FORM() override;

  QTreeWidget* LV_ZOVUZUZ() const;
  QRadioButton* RB_DATUM() const;
  QRadioButton* RB_NAME() const;
  QCheckBox* CHB_READONLY() const;
  QCheckBox* CHB_EXCLUSIVE() const;
  QCheckBox* CHB_ANSI() const;
  QPushButton* PB_OPEN_BUTTON() const;
  QPushButton* PB_SUCHEN_BUTTON() const;
  QPushButton* PB_ABBRUCH_BUTTON() const;
  QLabel* FT_DATUM() const;
  QLabel* FT_UHRZEIT() const;
  QLabel* FT_ANZAHL() const;

 protected:
  Ui::DLG_ZOVUZUZ_FORM* form_;
};

class DLG_ZOVUZUZ : public DLG_ZOVUZUZ_FORM {
  Q_OBJECT
 public:
  explicit DLG_ZOVUZUZ(STDSHELLWINDOW* shell);

  // The caller's rows; the dialog sorts them in place.
  std::vector<HistoryRow>* ADATEN = nullptr;
  int NSUCHEN = 1;

  void SETUP(std::vector<HistoryRow>& rows);
  void FILL_LVCZOVUZUZ();
  void FILL_LVIZOVUZUZ();
  void SETINFODATEN();
  void BUTTONCLICK(QAbstractButton* control) override;

 public slots:
  void PB_OPEN();
  void PB_SUCHEN();
  void PB_ABBRUCH();
  void LISTBOXSELECT();
  void LISTVIEWITEMCHANGED();
  // Closing by the window frame cancels.
  void reject() override;

 private:
  void write_flags();
  // The NR of the selected item, 0 when none is selected.
  int selected_number() const;
  STDSHELLWINDOW* shell_ = nullptr;
};

// The dialog as the shell's history hook: SETUP, shown modally, its result.
int run_history_dialog(STDSHELLWINDOW* shell, std::vector<HistoryRow>& rows);

}  // namespace mv
