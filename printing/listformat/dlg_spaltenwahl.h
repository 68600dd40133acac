#pragma once
// The list-format dialog "Listenformat": which columns the record list of a table prints,
// in which order, with which heading and width, and the list's options (own title, extra
// text, landscape, font size, grid lines, grey rows and columns). It edits its table
// window's column list AFELDER in place, stores the layout and the options in the table's
// section of "ZovuZUZ.INI" and previews the record list with the settings shown.
#include <QVariant>

#include "platform/gui/windows.h"

namespace Ui {
class DLG_SPALTENWAHL_FORM;
}

namespace mv {

class TABDW_DBFDATEI;

class DLG_SPALTENWAHL_FORM : public gui::DIALOGWINDOW {
  Q_OBJECT
 public:
  explicit DLG_SPALTENWAHL_FORM(QObject* owner);
  ~DLG_SPALTENWAHL_FORM() override;
  Ui::DLG_SPALTENWAHL_FORM* form() const { return form_; }

 protected:
  Ui::DLG_SPALTENWAHL_FORM* form_;
};

class DLG_SPALTENWAHL : public DLG_SPALTENWAHL_FORM {
  Q_OBJECT
 public:
  explicit DLG_SPALTENWAHL(QObject* owner);

  // The record the preview starts from; 0: all records from the top.
  int NESTARTSATZ = 0;

 public slots:
  void SETUP(const QVariant& start = QVariant(), const QVariant& unused = QVariant());
  void FILL_LISTBOX();
  void FILL_AFELDER();
  void SPALTENWERTE();
  void LISTBOXSELECT();
  void SAVEINIDAT();
  void PB_SETAUSWAHL();
  void PB_NOAUSWAHL();
  void PB_OBEN();
  void PB_UNTEN();
  void PB_ANDERS();
  void PB_ALLEAUSWAHL();
  void PB_ALLEABWAHL();
  void PB_ANSICHT();
  void PB_SAVE();
  void PB_ABBRUCH();
  void PB_STDLISTE() {}
  // The close box and Esc cancel: the window then reads its stored layout again.
  void reject() override { ENDDIALOG(2); }

 private:
  TABDW_DBFDATEI* window() const;
  void hint(const QString& text);
  int font_size() const;
};

// Makes the dialog known by its name "DLG_SPALTENWAHL" (the table window creates it so).
void register_list_format_dialog();

}  // namespace mv
