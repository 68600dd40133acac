#pragma once
// The " Feiertage " page: a year's statutory holidays for a country and state, with a
// summary line, and for a selected holiday the states in which it applies.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "components/slestandard.h"
#include "components/std_windows.h"
#include "components/stdgridbrowser.h"
#include "platform/grid/gridserver.h"
#include "platform/gui/calendar_controls.h"

namespace Ui {
class TAB_FEIERTAGE_FORM;
}

namespace mv {

class TAB_FEIERTAGE_FORM : public STD_DATAWINDOW {
  Q_OBJECT
 public:
  explicit TAB_FEIERTAGE_FORM(QWidget* owner);
  ~TAB_FEIERTAGE_FORM() override;

  STDGRIDBROWSER* BB_FEIERTAG;
  CMBSTANDARD* CB_LAND2;
  CMBSTANDARD* CB_LAND1;
  QLabel* FT_FEIERTAG;
  gui::VERTICALSPINNER* VS_JAHR;
  SLESTANDARD* SE_JAHR;
  QLabel* FT_LAND;
  QLabel* FT_BEMERKUNG;
  QPushButton* PB_DRUCK;
  CMBSTANDARD* CB_FTLAND;

 protected:
  Ui::TAB_FEIERTAGE_FORM* form_;
};

inline constexpr int kFirstYear = 1752;
inline constexpr int kLastYear = 2199;

class TAB_FEIERTAGE : public TAB_FEIERTAGE_FORM {
  Q_OBJECT
 public:
  explicit TAB_FEIERTAGE(QWidget* owner);

  grid::GRIDARRAYSERVER* server() const { return server_; }
  // The year the page shows (the field held to 1752..2199).
  int year() const;

 public slots:
  void SHOW() override;
  void FILLBB_FEIERTAG();
  void FILLCB_FTLAND();
  void LISTBOXSELECT(QComboBox* combo);
  // The year field lost the focus.
  void EDITFOCUSCHANGE();
  void VERTICALSPIN();
  void CELLSELECT();
  // Previews (true) or prints the list as it stands ("Drucken" previews).
  void FILEREPORT(bool preview);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  grid::GRIDARRAYSERVER* server_ = nullptr;
};

}  // namespace mv
