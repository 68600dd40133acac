#pragma once
// A page form with the program's settings on one page (toolbar, placement, print
// defaults, grid font, table-opening defaults), a section "Fenster" and four record
// buttons. It has no behaviour of its own: nothing opens it, and its controls carry no
// handlers; it is registered by class name for a page that wants it.
#include <QPointer>
#include <QString>
#include <QVariant>

#include "components/std_windows.h"

namespace Ui {
class TAB_OPTION_FORM;
}

class QGroupBox;

namespace mv {

class TAB_OPTION_FORM : public STD_DATAWINDOW {
  Q_OBJECT
 public:
  TAB_OPTION_FORM(QObject* owner = nullptr, int id = 0, QObject* server = nullptr, const QVariant& extra = {});
  ~TAB_OPTION_FORM() override;
  Ui::TAB_OPTION_FORM* form() const { return form_; }
  int control_id() const { return id_; }
  // The table server attached at construction (nullptr without one).
  QObject* server() const { return server_.data(); }
  // The value of the pressed radio button of a radio-button group ("RB_Min" ... "RB_NTX"),
  // "" when none is pressed.
  static QString group_value(const QGroupBox* group);

 private:
  Ui::TAB_OPTION_FORM* form_;
  int id_ = 0;
  QPointer<QObject> server_;
};

}  // namespace mv
