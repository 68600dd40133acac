#pragma once
// The " Gruppen " page: main groups on the left, the subgroups of the selected main group
// on the right, each with its name field above; groups are added and renamed here and
// never deleted. Numbers are given under the table's numbering lock, so two programs
// adding at once never give one number twice.
#include <QLabel>
#include <QPushButton>

#include "components/slestandard.h"
#include "components/std_windows.h"
#include "components/stdgridbrowser.h"
#include "platform/grid/gridserver.h"

namespace Ui {
class TAB_GRUPPEN_FORM;
}

namespace mv {

class TAB_GRUPPEN_FORM : public STD_DATAWINDOW {
  Q_OBJECT
 public:
  explicit TAB_GRUPPEN_FORM(QWidget* owner);
  ~TAB_GRUPPEN_FORM() override;

  STDGRIDBROWSER* BB_HG;
  QLabel* FT_HG;
  SLESTANDARD* SE_HG;
  SLESTANDARD* SE_UG;
  QLabel* FT_UG;
  STDGRIDBROWSER* BB_UG;

 // The push buttons, by name (each runs the page's operation of its name).
  QPushButton* button(const char* name) const;

 protected:
  Ui::TAB_GRUPPEN_FORM* form_;
};

class TAB_GRUPPEN : public TAB_GRUPPEN_FORM {
  Q_OBJECT
 public:
  explicit TAB_GRUPPEN(QWidget* owner);

  grid::GRIDARRAYSERVER* hg_server() const { return hg_server_; }
  grid::GRIDARRAYSERVER* ug_server() const { return ug_server_; }

 public slots:
  // Shown again: both lists read anew, the selected groups kept.
  void SHOW() override;
  // Rebuild a list; `recno` > 0 selects that group and gives the list the focus.
  void FILLBB_HG(uint32_t recno = 0);
  void FILLBB_UG(uint32_t recno = 0);
  void CELLSELECT(QObject* grid);
  void FILL_HGDAT();
  void FILL_UGDAT();
  // The new number ("" when nothing was added).
  QString PB_HINZUHG();
  QString PB_HINZUUG();
  void PB_ANDERSHG();
  void PB_ANDERSUG();

 private:
  void fill(bool main, uint32_t recno, bool focus);
  QString add_group(bool main);
  void rename(bool main);
  // The record of the selected row (0 when the list is empty).
  static uint32_t selected_recno(const grid::GRIDARRAYSERVER* server);

  grid::GRIDARRAYSERVER* hg_server_;
  grid::GRIDARRAYSERVER* ug_server_;
  bool filling_ = false;
};

}  // namespace mv
