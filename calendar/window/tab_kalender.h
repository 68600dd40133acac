#pragma once
// The " Monatskalender " page: two month calendars, the distance between their dates as
// calendar, working or interest days, the inverse ("Set Datum"), and each month's holidays.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <memory>

#include "calendar/core/day_counts.h"
#include "components/slestandard.h"
#include "components/std_windows.h"
#include "platform/gui/calendar_controls.h"

class QGridLayout;

namespace Ui {
class TAB_KALENDER_FORM;
}

namespace mv {

class TAB_KALENDER_FORM : public STD_DATAWINDOW {
  Q_OBJECT
 public:
  explicit TAB_KALENDER_FORM(QWidget* owner);
  ~TAB_KALENDER_FORM() override;

  gui::MONTHCALENDAR* MONTHCALENDAR1;
  gui::MONTHCALENDAR* MONTHCALENDAR2;
  QLineEdit* SE_DIFFERENZ1;
  QComboBox* CB_WERT1;
  gui::DATETIMEPICKER* DATEPICKER1;
  gui::DATETIMEPICKER* DATEPICKER2;
  QLabel* FT_TAG2;
  QLabel* FT_TAG1;
  QLabel* FT_DIFF1;
  QPushButton* PB_SETDATUM;
  CMBSTANDARD* CB_LAND2;
  CMBSTANDARD* CB_LAND1;
  QLabel* FT_FEIERTAG;
  QComboBox* CB_FTMONAT2;
  QComboBox* CB_FTMONAT1;

 protected:
  Ui::TAB_KALENDER_FORM* form_;
  QGridLayout* grid_ = nullptr;
};

class TAB_KALENDER : public TAB_KALENDER_FORM {
  Q_OBJECT
 public:
  explicit TAB_KALENDER(QWidget* owner);

  // Months shown by the first calendar for a window of w x h pixels.
  static int rows_for(int height);
  static int columns_for(int width, int rows);

 public slots:
  void SHOW() override;
  // Headings, period, difference, pickers and holiday combos from the two calendars.
  void SETDATEDIFF();
  void FILLCB_FTMONAT(QComboBox* combo, const QDate& date);
  void PB_SETDATUM_CLICKED();
  void LISTBOXSELECT(QComboBox* combo);
  void MONTHCALSELECTIONCHANGED();
  void DATETIMESELECTIONCHANGED();

 private:
  void refresh(bool keep_difference);
  HolidayYears& holidays();
  void select_codes();

  std::unique_ptr<HolidayYears> holidays_;
};

}  // namespace mv
