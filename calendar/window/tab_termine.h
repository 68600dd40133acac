#pragma once
// The " Termine/Ereignisse " page: one appointment edited above (one-off or yearly, date,
// time, groups, remark), below the list of a day, week, month, year, from a date on or of
// a group, with yearly appointments on every day they fall on in the period.
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QLabel>
#include <QPushButton>

#include "components/slestandard.h"
#include "components/std_windows.h"
#include "components/stdgridbrowser.h"
#include "platform/grid/gridserver.h"
#include "platform/gui/calendar_controls.h"

namespace Ui {
class TAB_TERMINE_FORM;
}

namespace mv {

class TAB_TERMINE_FORM : public STD_DATAWINDOW {
  Q_OBJECT
 public:
  explicit TAB_TERMINE_FORM(QWidget* owner);
  ~TAB_TERMINE_FORM() override;

  QComboBox* CB_SERIE;
  gui::DATETIMEPICKER* DP_ABDATUM;
  QCheckBox* CHB_UHRZEIT;
  gui::DATETIMEPICKER* DP_UHRZEIT;
  QComboBox* CB_HG;
  QComboBox* CB_UG;
  SLESTANDARD* SE_BEMERKUNG;
  QComboBox* CB_LISTE;
  gui::DATETIMEPICKER* DP_DATUMLISTE;
  QLabel* FT_GRUPPE;
  QLabel* FT_DATUM;
  QLabel* FT_BEMERKUNG;
  QLabel* FT_TERMIN;
  gui::VERTICALSPINNER* VS_JAHR;
  SLESTANDARD* SE_JAHR;
  STDGRIDBROWSER* BB_TERMINE;
  QLabel* FT_TERMIN1;
  QLabel* FT_AB;
  QCheckBox* CHB_QUER;

 // The push buttons, by name (each runs the page's operation of its name).
  QPushButton* button(const char* name) const;

 protected:
  Ui::TAB_TERMINE_FORM* form_;
};

inline constexpr int kFirstListYear = 1900;
inline constexpr int kLastListYear = 2100;
inline const QString kOhneZuordnung = QStringLiteral("- ohne Zuordnung -");

class TAB_TERMINE : public TAB_TERMINE_FORM {
  Q_OBJECT
 public:
  explicit TAB_TERMINE(QWidget* owner);

  grid::GRIDARRAYSERVER* server() const { return server_; }
  // The names of the list's columns in their order (DBSatz last, never shown).
  QStringList column_names() const;
  // The list kind ("A", "T", "W", "M", "J", "H", "U").
  QString kind() const;
  // The year field's number held to 1900..2100.
  int year() const;
  // The record the edit controls were loaded from or last saved into (0: none).
  uint32_t loaded_recno() const { return loaded_; }
  // "Today" of the kind "A" (tests fix it; invalid: the system's date).
  void set_today(const QDate& today) { today_ = today; }

 public slots:
  void SHOW() override;
  void FILLCB_HG();
  void FILLCB_UG();
  void SETVORGABEDAT();
  void FILLBB_TERMINE(uint32_t recno = 0);
  void FILL_TERMINDAT();
  // Writes the controls into record `recno` (0: a new one); false when it was refused.
  bool SAVETERMIN(uint32_t recno);
  void PB_HINZU();
  void PB_ANDERS();
  void PB_DRUCK();
  void FILEREPORT(bool preview);
  void CELLSELECT();
  void LISTBOXSELECT(QComboBox* combo);
  void BUTTONCLICK(QAbstractButton* control) override;
  void DATETIMESELECTIONCHANGED(QObject* picker);
  void EDITFOCUSCHANGE();
  void VERTICALSPIN();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void fill_group_combo(QComboBox* combo, bool main);

  grid::GRIDARRAYSERVER* server_ = nullptr;
  QStringList list_columns_;
  QDate today_;
  uint32_t loaded_ = 0;
  bool filling_ = false;
};

// Selects the item of `value` (the empty value for a blank group number); false when none.
bool choose_value(QComboBox* combo, const QString& value);

}  // namespace mv
