#pragma once
// The dialog "Daten Replace" ("Feldwerte ersetzen"): one field of many records set in one
// run, to a typed value or one computed from a second field of the record, under an
// optional condition, for all records or the rest from the current one.
#include <QPointer>
#include <QString>

#include "platform/base/status.h"
#include "platform/gui/windows.h"
#include "platform/runtime/value.h"

namespace Ui {
class DLG_REPLACE_FORM;
}

class QComboBox;

namespace mv {

class Table;
class TableGridServer;

// A typed number or date as an expression: literals, + - * /, parentheses, .T./.F. and
// DATE, CTOD, STOD, VAL, INT, ROUND, ABS; a comma counts as the decimal point. Anything
// else is refused with "Der Wert <text> ist keine gültige Eingabe!".
Result<Value> BERECHNEWERT(const QString& text);
// The message of a typed text that is no valid input.
QString CALCERROR(const QString& text);

class DLG_REPLACE_FORM : public gui::DIALOGWINDOW {
  Q_OBJECT
 public:
  explicit DLG_REPLACE_FORM(QObject* owner = nullptr, const QVariant& extra = {});
  ~DLG_REPLACE_FORM() override;
  Ui::DLG_REPLACE_FORM* form() const { return form_; }

 protected:
  Ui::DLG_REPLACE_FORM* form_;
};

class DLG_REPLACE : public DLG_REPLACE_FORM {
  Q_OBJECT
 public:
  explicit DLG_REPLACE(QWidget* owner = nullptr);

 public slots:
  void SETUP(QObject* server);
  void FILL_LISTBOX();
  void FILLCB_ZEICHEN();
  void FILLCB_VERGLEICH();
  // The text as a value of the field type `type` ("C", "N", "D", "L", "M"); a refusal
  // carries the "Fehler" box's text.
  Result<Value> LESE_WERT(const QString& type, const QString& text);
  // Whether the current record meets the condition.
  Result<bool> VERGLEICH(const QString& op, const QString& field, const QString& value);
  // The new value for the current record.
  Result<Value> WERTAKTUELL(const QString& second, const Value& v, const QString& type, const QString& second_type,
                            const QString& op);
  QString LESE_WERTART(const QString& type);
  void SETHINWEIS();
  void LISTBOXSELECT(QComboBox* control);
  void EDITFOCUSCHANGE();
  void PB_OK();
  void PB_ABBRUCH();
  void PB_HILFE();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Table* table() const;
  // The chosen field's type letter ("" for "keine") and name ("" for "keine").
  QString type_of(QComboBox* cb) const;
  QString name_of(QComboBox* cb) const;
  void set_value_label();
  QPointer<TableGridServer> server_;
};

}  // namespace mv
