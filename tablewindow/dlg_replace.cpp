#include "tablewindow/dlg_replace.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <cmath>

#include "components/dlgprogress.h"
#include "platform/gui/dispatch.h"
#include "platform/gui/messagebox.h"
#include "platform/gui/palette.h"
#include "platform/runtime/date.h"
#include "platform/runtime/expr.h"
#include "platform/runtime/strings.h"
#include "platform/table/bulk_replace.h"
#include "platform/table/field_input.h"
#include "platform/table/table.h"
#include "tablewindow/tab_dbfdaten.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tablewindow/tableserver.h"
#include "ui_DLG_REPLACE_FORM.h"

namespace mv {
namespace {

const QString kFehler = QStringLiteral("Fehler");
const QString kAchtung = QStringLiteral("Achtung");
const QString kKeine = QStringLiteral("keine");

Status refusal(const QString& text) { return Status::invalid_argument(CALCERROR(text).toStdString()); }

// The text form of a value, in the table's code page.
std::string text_form(const Value& v) {
  switch (v.type) {
    case ValueType::Character: return v.str;
    case ValueType::Numeric: return std::string(str_alltrim(str_str(v.num, v.len > 0 ? v.len : -1, v.dec)));
    case ValueType::Date: return dtoc(v.date);
    case ValueType::Logical: return v.logical ? ".T." : ".F.";
    default: return {};
  }
}

bool empty_value(const Value& v) {
  return v.is_nil() || (v.is_char() && str_rtrim(v.str).empty()) || (v.is_num() && v.num == 0) ||
         (v.is_date() && v.date.empty());
}

// Texts compare as the runtime does without exact comparison: a text equals another that
// it begins with.
Result<int> compare(const Value& a, const Value& b) {
  if (a.type != b.type) return Status::invalid_argument("Die Werte lassen sich nicht vergleichen (Typenfehler)");
  switch (a.type) {
    case ValueType::Character: {
      const std::string_view x(a.str), y(b.str);
      if (x.substr(0, y.size()) == y) return 0;
      return x < y ? -1 : 1;
    }
    case ValueType::Numeric: return a.num < b.num ? -1 : a.num > b.num ? 1 : 0;
    case ValueType::Date: return a.date < b.date ? -1 : a.date > b.date ? 1 : 0;
    case ValueType::Logical: return int(a.logical) - int(b.logical);
    default: return Status::invalid_argument("Die Werte lassen sich nicht vergleichen");
  }
}

Result<bool> holds(const QString& op, int c) {
  if (op == QLatin1String("=")) return c == 0;
  if (op == QLatin1String("<")) return c < 0;
  if (op == QLatin1String(">")) return c > 0;
  if (op == QLatin1String("<>")) return c != 0;
  return true;
}

Result<Value> combine(const Value& a, const Value& b, const QString& op) {
  const Status clash = Status::invalid_argument("Typenfehler bei \"" + op.toStdString() + "\"");
  if (op.trimmed().isEmpty()) return a;
  if (op == QLatin1String("=") || op == QLatin1String("<") || op == QLatin1String(">") || op == QLatin1String("<>")) {
    MV_ASSIGN_OR_RETURN(int c, compare(a, b));
    MV_ASSIGN_OR_RETURN(bool r, holds(op, c));
    return Value::boolean(r);
  }
  const char o = char(op[0].unicode());
  if (a.is_num() && b.is_num()) {
    double r = 0;
    if (o == '+') r = a.num + b.num;
    else if (o == '-') r = a.num - b.num;
    else if (o == '*') r = a.num * b.num;
    else if (b.num == 0) return Status::invalid_argument("Division durch Null");
    else r = a.num / b.num;
    if (!std::isfinite(r)) return Status::invalid_argument("Zahlenüberlauf");
    return Value::numeric(r);
  }
  if (a.is_char() && b.is_char() && (o == '+' || o == '-'))
    return Value::character(o == '+' ? a.str + b.str : std::string(str_rtrim(a.str)) + b.str);
  if (a.is_date() && b.is_num() && (o == '+' || o == '-'))
    return Value::of_date(o == '+' ? a.date + int32_t(b.num) : a.date - int32_t(b.num));
  if (a.is_num() && b.is_date() && o == '+') return Value::of_date(b.date + int32_t(a.num));
  if (a.is_date() && b.is_date() && o == '-') return Value::numeric(double(a.date - b.date));
  return clash;
}

// The functions a typed value may call: none that reaches files, fields or the program.
const std::vector<std::string>& allowed_functions() {
  static const std::vector<std::string> f{"DATE", "CTOD", "STOD", "VAL", "INT", "ROUND", "ABS"};
  return f;
}

}  // namespace

QString CALCERROR(const QString& text) {
  return QStringLiteral("Der Wert <") + text + QStringLiteral("> ist keine gültige Eingabe!");
}

Result<Value> BERECHNEWERT(const QString& text) {
  if (text.isEmpty()) return Value::nil();
  QString t = text;
  t.replace(QLatin1Char(','), QLatin1Char('.'));
  ExprOptions o;
  o.restricted = true;
  o.allowed_functions = allowed_functions();
  auto v = evaluate_text(t.toStdString(), o);
  if (!v) return refusal(t);
  return v;
}

// ---------------------------------------------------------------- form

DLG_REPLACE_FORM::DLG_REPLACE_FORM(QObject* owner, const QVariant&)
    : gui::DIALOGWINDOW(owner), form_(new Ui::DLG_REPLACE_FORM) {
  form_->setupUi(this);
  setObjectName(QStringLiteral("Dlg_Replace_form"));
  setWhatsThis(QStringLiteral("Feldwerte setzen"));
  gui::set_foreground(form_->FT_HINWEIS, gui::predefined_color(gui::kColorBlue));
  bind_controls();
}

DLG_REPLACE_FORM::~DLG_REPLACE_FORM() { delete form_; }

// ---------------------------------------------------------------- dialog

DLG_REPLACE::DLG_REPLACE(QWidget* owner) : DLG_REPLACE_FORM(owner) {
  for (QComboBox* cb : {form_->CB_FELDER1, form_->CB_FELDER2, form_->CB_FELDER3, form_->CB_ZEICHEN, form_->CB_VERGLEICH})
    connect(cb, qOverload<int>(&QComboBox::activated), this, [this, cb] { LISTBOXSELECT(cb); });
  form_->SE_FELDWERT->installEventFilter(this);
}

bool DLG_REPLACE::eventFilter(QObject* watched, QEvent* event) {
  if (watched == form_->SE_FELDWERT && event->type() == QEvent::FocusOut) EDITFOCUSCHANGE();
  return DLG_REPLACE_FORM::eventFilter(watched, event);
}

QString DLG_REPLACE::type_of(QComboBox* cb) const { return cb->currentData().toString().trimmed(); }
QString DLG_REPLACE::name_of(QComboBox* cb) const { return type_of(cb).isEmpty() ? QString() : cb->currentText(); }

Table* DLG_REPLACE::table() const { return server_ && server_->USED() ? server_->table() : nullptr; }

void DLG_REPLACE::SETUP(QObject* server) {
  server_ = qobject_cast<TableGridServer*>(server);
  FILL_LISTBOX();
  form_->RB_ALLE->setChecked(true);
  SETHINWEIS();
  set_value_label();
  form_->FT_VERGLEICHSWERT->setText(LESE_WERTART(type_of(form_->CB_FELDER2)));
  form_->PB_OK->setEnabled(form_->CB_FELDER1->count() > 0);
}

void DLG_REPLACE::FILL_LISTBOX() {
  Ui::DLG_REPLACE_FORM* f = form_;
  for (QComboBox* cb : {f->CB_FELDER1, f->CB_FELDER2, f->CB_FELDER3}) cb->clear();
  f->CB_FELDER2->addItem(kKeine, QStringLiteral(" "));
  f->CB_FELDER3->addItem(kKeine, QStringLiteral(" "));
  if (Table* t = table()) {
    for (const FieldInfo& fi : t->fields()) {
      if (!QStringLiteral("CNDLM").contains(QChar(fi.type))) continue;
      const QString name = QString::fromStdString(fi.name);
      const QString type(QChar(fi.type));
      for (QComboBox* cb : {f->CB_FELDER1, f->CB_FELDER2, f->CB_FELDER3}) cb->addItem(name, type);
    }
  }
  for (QComboBox* cb : {f->CB_FELDER1, f->CB_FELDER2, f->CB_FELDER3}) cb->setCurrentIndex(cb->count() ? 0 : -1);
  FILLCB_VERGLEICH();
  FILLCB_ZEICHEN();
}

void DLG_REPLACE::FILLCB_ZEICHEN() {
  QComboBox* cb = form_->CB_ZEICHEN;
  cb->clear();
  const QString t = type_of(form_->CB_FELDER1);
  QStringList ops{QStringLiteral(" ")};
  if (t == QLatin1String("C") || t == QLatin1String("M")) ops << "+";
  else if (t == QLatin1String("N")) ops << "+" << "-" << "*" << "/";
  else if (t == QLatin1String("D")) ops << "+" << "-";
  else if (t == QLatin1String("L")) ops << "=" << "<" << ">" << "<>";
  for (const QString& o : ops) cb->addItem(o, o);
  cb->setCurrentIndex(0);
}

void DLG_REPLACE::FILLCB_VERGLEICH() {
  QComboBox* cb = form_->CB_VERGLEICH;
  cb->clear();
  const QString t = type_of(form_->CB_FELDER2);
  QStringList ops;
  if (t.isEmpty()) ops << " ";
  else if (t == QLatin1String("L")) ops << "=";
  else ops << "=" << "<" << ">" << "<>";
  for (const QString& o : ops) cb->addItem(o, o);
  cb->setCurrentIndex(0);
}

QString DLG_REPLACE::LESE_WERTART(const QString& type) {
  if (type == QLatin1String("L")) return QStringLiteral("Logischer Wert");
  if (type == QLatin1String("D")) return QStringLiteral("Datumswert");
  if (type == QLatin1String("N")) return QStringLiteral("Numerischer Wert");
  if (type.trimmed().isEmpty()) return {};
  return QStringLiteral("Zeichenwert");
}

Result<Value> DLG_REPLACE::LESE_WERT(const QString& type, const QString& text) {
  Table* t = table();
  const CodePage cp = t ? t->code_page() : CodePage::Windows1252;
  if (type == QLatin1String("C") || type == QLatin1String("M")) {
    auto s = cp_from_utf8(cp, text.toStdString());
    if (!s) return refusal(text);
    return Value::character(std::move(s).value());
  }
  if (type != QLatin1String("N") && type != QLatin1String("D") && type != QLatin1String("L")) return Value::nil();
  if (text.trimmed().isEmpty()) {
    if (type == QLatin1String("N")) return Value::numeric(0);
    if (type == QLatin1String("D")) return Value::of_date(Date());
    return Value::boolean(false);
  }
  // The one reading of typed field texts first ("1,5", "24.12.2024", "J"), then a
  // number or date as an expression ("2*3", "DATE()+7").
  FieldInfo f;
  f.type = char(type[0].unicode());
  f.length = f.type == 'N' ? 20 : f.type == 'D' ? 8 : 1;
  f.decimals = f.type == 'N' ? 10 : 0;
  if (auto v = value_from_input(f, text.toStdString(), cp); v && !v->is_nil()) return v;
  if (f.type == 'L') return Value::boolean(false);  // a logical is true only when it says so
  MV_ASSIGN_OR_RETURN(Value v, BERECHNEWERT(text));
  if (f.type == 'N' && v.is_num()) return v;
  if (f.type == 'D' && v.is_date()) return v;
  // A number for a date target with a second field: the days to move by.
  if (f.type == 'D' && v.is_num() && !type_of(form_->CB_FELDER3).isEmpty()) return v;
  QString shown = text;
  shown.replace(QLatin1Char(','), QLatin1Char('.'));
  return refusal(shown);
}

namespace {

// Whether field `pos` of the current record stands in `op` to the comparison value `c`.
Result<bool> field_holds(Table& t, int pos, const QString& op, const Value& c) {
  MV_ASSIGN_OR_RETURN(Value f, t.field_get(pos));
  if (f.is_char()) f.str = std::string(str_rtrim(f.str));
  MV_ASSIGN_OR_RETURN(int cmp, compare(f, c));
  return holds(op, cmp);
}

}  // namespace

Result<bool> DLG_REPLACE::VERGLEICH(const QString& op, const QString& field, const QString& value) {
  Table* t = table();
  if (!t || op.trimmed().isEmpty() || field.isEmpty()) return true;
  const int pos = t->field_pos(field.toStdString());
  if (pos == 0) return true;
  MV_ASSIGN_OR_RETURN(Value c, LESE_WERT(QString(QChar(t->field(pos).type)), value.trimmed()));
  return field_holds(*t, pos, op, c);
}

Result<Value> DLG_REPLACE::WERTAKTUELL(const QString& second, const Value& v, const QString& type,
                                       const QString& second_type, const QString& op) {
  Table* t = table();
  if (second_type.isEmpty() || !t) return v;
  const int pos = t->field_pos(second.toStdString());
  if (pos == 0) return v;
  MV_ASSIGN_OR_RETURN(Value f2, t->field_get(pos));
  const QString txt = form_->SE_FELDWERT->text();
  const Value number_of_txt = Value::numeric(str_val(txt.toStdString()));
  const bool blank = op.trimmed().isEmpty();
  Value a, b = v;
  if (type == QLatin1String("L")) {
    if (blank) {
      if (second_type == QLatin1String("L")) a = f2;
      else return LESE_WERT(QStringLiteral("L"), QString::fromStdString(std::string(str_rtrim(text_form(f2)))));
    } else if (second_type == QLatin1String("N")) {
      a = f2;
      b = number_of_txt;
    } else {
      a = Value::character(std::string(str_rtrim(text_form(f2))));
      MV_ASSIGN_OR_RETURN(b, LESE_WERT(QStringLiteral("C"), txt));
    }
  } else if (type == QLatin1String("D")) {
    if (second_type == QLatin1String("D")) {
      a = f2;
      b = number_of_txt;
    } else if (second_type == QLatin1String("C") || second_type == QLatin1String("M")) {
      if (empty_value(v)) {
        a = Value::of_date(ctod(str_alltrim(f2.str)));
        b = number_of_txt;
      } else {
        a = Value::numeric(str_val(f2.str));
      }
    } else if (second_type == QLatin1String("N")) {
      a = f2;
    } else {
      a = Value::numeric(f2.logical ? 1 : 0);
    }
  } else if (type == second_type) {
    a = f2;
    if (type == QLatin1String("C")) a.str = std::string(str_rtrim(a.str));
  } else if (type == QLatin1String("C") || type == QLatin1String("M")) {
    a = Value::character(text_form(f2));
  } else {
    a = Value::numeric(str_val(text_form(f2)));
  }
  MV_ASSIGN_OR_RETURN(Value r, combine(a, b, op));
  if (type == QLatin1String("D") && !r.is_date()) {
    const Date d = ctod(text_form(r));
    if (d.empty() && !empty_value(r)) return Status::invalid_argument("Das Ergebnis ist kein Datum");
    return Value::of_date(d);
  }
  return r;
}

void DLG_REPLACE::set_value_label() {
  const QString t = type_of(form_->CB_FELDER1), s = type_of(form_->CB_FELDER3);
  QString label;
  if (s.isEmpty()) label = LESE_WERTART(t);
  else if (t == QLatin1String("L")) label = LESE_WERTART(s);
  else if (t == QLatin1String("D")) label = s == QLatin1String("D") ? QStringLiteral("Numerischer Wert") : QStringLiteral("Datumswert");
  else label = LESE_WERTART(t);
  form_->FT_WERT->setText(label);
}

void DLG_REPLACE::SETHINWEIS() {
  Table* t = table();
  const QString typed = QString::fromStdString(std::string(str_rtrim(form_->SE_FELDWERT->text().toStdString())));
  const QString shown = typed.isEmpty() ? QStringLiteral("NULL_WERT") : typed;
  const QString second = name_of(form_->CB_FELDER3);
  const QString op = form_->CB_ZEICHEN->currentText();
  QString middle;
  if (second.isEmpty()) middle = QStringLiteral("der Wert <") + shown + QStringLiteral("> gesetzt!");
  else if (op.trimmed().isEmpty()) middle = QStringLiteral("der Wert des Feldes ") + second + QStringLiteral(" gesetzt!");
  else
    middle = QStringLiteral("der Wert des Feldes ") + second + QStringLiteral("\r\n") + op + QStringLiteral(" <") + shown +
             QStringLiteral("> gesetzt!");
  QString current;
  const QString type = type_of(form_->CB_FELDER1);
  if (t && !t->eof()) {
    Result<Value> v = LESE_WERT(type, typed);
    if (v) v = WERTAKTUELL(second, *v, type, type_of(form_->CB_FELDER3), second.isEmpty() ? QString() : op);
    if (v) current = QString::fromStdString(cp_to_utf8(t->code_page(), text_form(*v)));
  }
  form_->FT_HINWEIS->setText(QStringLiteral("Beim Setzen wird in das Feld ") + form_->CB_FELDER1->currentText() +
                             QStringLiteral("\r\n") + middle + QStringLiteral("\r\nAktueller Wert = ") + current);
}

void DLG_REPLACE::LISTBOXSELECT(QComboBox* control) {
  Ui::DLG_REPLACE_FORM* f = form_;
  if (control == f->CB_FELDER1) {
    FILLCB_ZEICHEN();
    set_value_label();
  } else if (control == f->CB_FELDER2) {
    FILLCB_VERGLEICH();
    f->FT_VERGLEICHSWERT->setText(LESE_WERTART(type_of(f->CB_FELDER2)));
  } else if (control == f->CB_FELDER3) {
    set_value_label();
  }
  SETHINWEIS();
}

void DLG_REPLACE::EDITFOCUSCHANGE() { SETHINWEIS(); }

void DLG_REPLACE::PB_OK() {
  Table* t = table();
  if (!t || form_->CB_FELDER1->count() == 0) return;
  TAB_DBFDATEN* page = qobject_cast<TAB_DBFDATEN*>(server_->parent());
  if (t->read_only()) {
    gui::info_box(this, kAchtung, QStringLiteral("Die Datei wurde schreibgeshützt geöffnet"));
    return;
  }
  const QString type = type_of(form_->CB_FELDER1);
  const QString target = form_->CB_FELDER1->currentText();
  const QString typed = QString::fromStdString(std::string(str_rtrim(form_->SE_FELDWERT->text().toStdString())));
  const QString cond_field = name_of(form_->CB_FELDER2);
  const QString cond_value = form_->SE_WERT->text().trimmed();
  const QString cond_op = cond_field.isEmpty() ? QString() : form_->CB_VERGLEICH->currentText();
  const QString second = name_of(form_->CB_FELDER3);
  const QString second_type = type_of(form_->CB_FELDER3);
  const QString op = second.isEmpty() ? QString() : form_->CB_ZEICHEN->currentText();

  // Invalid typed or comparison values are told once, and nothing is written.
  const Result<Value> v = LESE_WERT(type, typed);
  if (!v) {
    gui::info_box(this, kFehler, QString::fromStdString(v.status().message()));
    return;
  }
  if (!cond_field.isEmpty()) {
    const Result<Value> c = LESE_WERT(type_of(form_->CB_FELDER2), cond_value);
    if (!c) {
      gui::info_box(this, kFehler, QString::fromStdString(c.status().message()));
      return;
    }
  }

  if (page) page->SUSPENDUPDATE();
  const uint32_t saved = server_->RECNO();
  Status st = server_->SETORDER(0);
  if (st) st = t->go_to(saved);
  BulkReplaceOutcome out;
  if (st) {
    DLGPROGRESS progress;
    progress.setWindowTitle(QStringLiteral("Ersetze Wert..."));
    progress.COUNT(1);
    progress.SHOW();
    progress.UPDATETEXT(QStringLiteral("Ersetze ") + target + QStringLiteral(" = ") + typed);
    BulkReplace run;
    run.field = t->field_pos(target.toStdString());
    run.rest = form_->RB_REST->isChecked();
    // The comparison value is read once, not at every record (it may be an expression).
    const int cond_pos = cond_field.isEmpty() ? 0 : t->field_pos(cond_field.toStdString());
    Result<Value> cond =
        cond_pos ? LESE_WERT(QString(QChar(t->field(cond_pos).type)), cond_value) : Result<Value>(Value::nil());
    if (!cond_op.trimmed().isEmpty() && cond_pos) {
      if (cond) run.condition = [&](Table& table) { return field_holds(table, cond_pos, cond_op, *cond); };
      else run.condition = [&](Table&) -> Result<bool> { return cond.status(); };
    }
    run.value = [&](Table&) { return WERTAKTUELL(second, *v, type, second_type, op); };
    run.progress = [&](uint64_t step, uint64_t total) {
      if (progress.COUNT() != total) progress.COUNT(uint32_t(std::min<uint64_t>(total, UINT32_MAX)));
      return progress.UPDATE(uint32_t(step));
    };
    out = bulk_replace(*t, run);
    progress.ENDDIALOG();
    st = out.status;
  }
  // The run leaves the table in record-number order, on the record current before.
  if (page) {
    page->FILL_CBINDEX();
    page->RESTOREUPDATE();
    page->GOTO(int(saved));
  }
  if (!st) {
    const QString reason = QString::fromStdString(st.message());
    if (out.written == 0 && st.kind() != StatusKind::Cancelled)
      gui::warning_box(this, kAchtung, QStringLiteral("Es wurde nichts geändert:\r\n") + reason);
    else
      gui::warning_box(this, kAchtung,
                       QStringLiteral("Es wurden ") + QString::number(out.written) +
                           QStringLiteral(" Datensätze geändert, dann wurde das Ersetzen beendet:\r\n") + reason);
    return;
  }
  ENDDIALOG(0);
}

void DLG_REPLACE::PB_ABBRUCH() { ENDDIALOG(0); }

void DLG_REPLACE::PB_HILFE() {
  if (gui::SHELLWINDOW* shell = gui::shell_of(this)) gui::call_operation(shell, "OPENHANDBUCH");
}

}  // namespace mv
