#include "printing/listformat/dlg_spaltenwahl.h"

#include <algorithm>

#include "platform/gui/dispatch.h"
#include "platform/gui/messagebox.h"
#include "printing/rptdbfdaten.h"
#include "tablewindow/environment.h"
#include "tablewindow/history.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "tablewindow/tableserver.h"
#include "ui_DLG_SPALTENWAHL_FORM.h"

namespace mv {
namespace {

const QString kHinweis = QStringLiteral("Hinweis");
const QString kWaehlen = QStringLiteral("Bitte wählen Sie zuerst ein Feld.");
const QString kJa = QStringLiteral("Ja");
const QString kNein = QStringLiteral("Nein");

// Rows with equal keys keep their order, so "DEL" stays ahead of "SATZNR".
void sort_by_print_order(ColumnList& c) {
  std::stable_sort(c.begin(), c.end(),
                   [](const ColumnRow& a, const ColumnRow& b) { return a.print_order < b.print_order; });
}
void sort_by_position(ColumnList& c) {
  std::stable_sort(c.begin(), c.end(), [](const ColumnRow& a, const ColumnRow& b) {
    if (a.position != b.position) return a.position < b.position;
    // The layout reader expects the deleted-flag row first of the two pseudo rows.
    return a.position == 0 && a.name == QLatin1String("DEL") && b.name != QLatin1String("DEL");
  });
}

int current(const QListWidget* l) { return l->currentRow() + 1; }  // 0: none
int find_item(const QListWidget* l, const QString& text) {
  for (int i = 0; i < l->count(); ++i)
    if (l->item(i)->text() == text) return i + 1;
  return 0;
}

}  // namespace

DLG_SPALTENWAHL_FORM::DLG_SPALTENWAHL_FORM(QObject* owner)
    : gui::DIALOGWINDOW(owner, true), form_(new Ui::DLG_SPALTENWAHL_FORM) {
  form_->setupUi(this);
  setObjectName(QStringLiteral("DLG_SPALTENWAHL"));
  set_caption(QStringLiteral("Listenformat"));
  gui::connect_buttons_by_name(this, this);
}

DLG_SPALTENWAHL_FORM::~DLG_SPALTENWAHL_FORM() { delete form_; }

DLG_SPALTENWAHL::DLG_SPALTENWAHL(QObject* owner) : DLG_SPALTENWAHL_FORM(owner) {
  connect(form_->LB_SETFELDER, &QListWidget::itemSelectionChanged, this, &DLG_SPALTENWAHL::LISTBOXSELECT);
}

TABDW_DBFDATEI* DLG_SPALTENWAHL::window() const { return qobject_cast<TABDW_DBFDATEI*>(owner()); }

void DLG_SPALTENWAHL::hint(const QString& text) { gui::info_box(this, kHinweis, text); }

void DLG_SPALTENWAHL::SETUP(const QVariant& start, const QVariant&) {
  bool ok = false;
  const int n = start.toInt(&ok);
  NESTARTSATZ = ok && start.typeId() != QMetaType::QString ? n : 0;
  FILL_LISTBOX();
  TABDW_DBFDATEI* w = window();
  if (!w) return;
  const TableWindowEnvironment& env = table_window_environment();
  auto get = [&](const char* key) {
    return env.history ? env.history->GETSTRING(w->CEDBF, QString::fromLatin1(key)) : QString();
  };
  auto runtime = [&](const char* key) {
    return env.product ? env.product->GETSTRING(QStringLiteral("Runtime"), QString::fromLatin1(key)) : QString();
  };
  form_->CHB_LISTE->setChecked(get("ListeIntern").toUpper() == QLatin1String("JA"));
  const QString title = get("Liste");
  form_->SE_LISTENTEXT->setText(title.isEmpty() ? w->CEDBF : title);
  form_->SE_ZUSATZTEXT->setText(get("ZusatzText"));
  const QString quer = get("QuerFormat");
  if (quer.isEmpty()) {
    double sum = 0;
    for (const ColumnRow& r : w->AFELDER)
      if (r.print_order > 0) sum += r.print_width + 1;
    form_->CHB_QUER->setChecked(sum >= 70);
  } else {
    form_->CHB_QUER->setChecked(quer.toUpper() == QLatin1String("JA"));
  }
  const QString schrift = get("Schrift");
  (schrift == QLatin1String("8")    ? form_->RB_8
   : schrift == QLatin1String("12") ? form_->RB_12
                                    : form_->RB_10)
      ->setChecked(true);
  auto switch_value = [&](const char* key) {
    const QString v = get(key);
    return (v.isEmpty() ? runtime(key) : v).toUpper();
  };
  form_->CHB_GITTER->setChecked(switch_value("Gitter") == QLatin1String("JA"));
  form_->CHB_ZEILEGRAU->setChecked(switch_value("ZeileGrau") != QLatin1String("NEIN"));
  form_->CHB_SPALTEGRAU->setChecked(switch_value("SpalteGrau") == QLatin1String("JA"));
}

void DLG_SPALTENWAHL::FILL_LISTBOX() {
  TABDW_DBFDATEI* w = window();
  if (!w) return;
  sort_by_print_order(w->AFELDER);
  form_->LB_NOFELDER->clear();
  form_->LB_SETFELDER->clear();
  for (const ColumnRow& r : w->AFELDER) (r.print_order > 0 ? form_->LB_SETFELDER : form_->LB_NOFELDER)->addItem(r.name);
  if (form_->LB_NOFELDER->count() > 0) form_->LB_NOFELDER->setCurrentRow(0);
  if (form_->LB_SETFELDER->count() > 0) form_->LB_SETFELDER->setCurrentRow(0);
  SPALTENWERTE();
}

void DLG_SPALTENWAHL::FILL_AFELDER() {
  TABDW_DBFDATEI* w = window();
  if (!w) return;
  for (ColumnRow& r : w->AFELDER) r.print_order = find_item(form_->LB_SETFELDER, r.name);
}

void DLG_SPALTENWAHL::SPALTENWERTE() {
  TABDW_DBFDATEI* w = window();
  const int n = current(form_->LB_SETFELDER);
  if (!w || n == 0) return;
  const QString name = form_->LB_SETFELDER->item(n - 1)->text();
  for (const ColumnRow& r : w->AFELDER) {
    if (r.name != name) continue;
    form_->SE_SPALTENTEXT->setText(r.heading.isEmpty() ? r.name : r.heading);
    form_->SE_SPALTENBREITE->setText(QString::number(r.print_width));
    return;
  }
}

void DLG_SPALTENWAHL::LISTBOXSELECT() { SPALTENWERTE(); }

void DLG_SPALTENWAHL::PB_SETAUSWAHL() {
  const int n = current(form_->LB_NOFELDER);
  if (n == 0) return hint(kWaehlen);
  const QString text = form_->LB_NOFELDER->item(n - 1)->text();
  form_->LB_SETFELDER->addItem(text);
  delete form_->LB_NOFELDER->takeItem(n - 1);
  form_->LB_SETFELDER->setCurrentRow(form_->LB_SETFELDER->count() - 1);
  SPALTENWERTE();
}

void DLG_SPALTENWAHL::PB_NOAUSWAHL() {
  const int n = current(form_->LB_SETFELDER);
  if (n == 0) return hint(kWaehlen);
  const QString text = form_->LB_SETFELDER->item(n - 1)->text();
  form_->LB_NOFELDER->addItem(text);
  delete form_->LB_SETFELDER->takeItem(n - 1);
  form_->LB_NOFELDER->setCurrentRow(form_->LB_NOFELDER->count() - 1);
  SPALTENWERTE();
}

void DLG_SPALTENWAHL::PB_OBEN() {
  const int n = current(form_->LB_SETFELDER);
  if (n == 0) return hint(QStringLiteral("Bitte wählen Sie zuerst ein Feld!"));
  if (n == 1) return hint(QStringLiteral("Das Feld ist bereits oben!"));
  QListWidgetItem* item = form_->LB_SETFELDER->takeItem(n - 1);
  form_->LB_SETFELDER->insertItem(n - 2, item);
  form_->LB_SETFELDER->setCurrentRow(n - 2);
}

void DLG_SPALTENWAHL::PB_UNTEN() {
  const int n = current(form_->LB_SETFELDER);
  if (n == 0) return hint(QStringLiteral("Bitte wählen Sie zuerst ein Feld!"));
  if (n == form_->LB_SETFELDER->count()) return hint(QStringLiteral("Das Feld ist bereits unten!"));
  QListWidgetItem* item = form_->LB_SETFELDER->takeItem(n - 1);
  form_->LB_SETFELDER->insertItem(n, item);
  form_->LB_SETFELDER->setCurrentRow(n);
}

void DLG_SPALTENWAHL::PB_ANDERS() {
  TABDW_DBFDATEI* w = window();
  const int n = current(form_->LB_SETFELDER);
  if (n == 0) return hint(kWaehlen);
  if (!w) return;
  const QString name = form_->LB_SETFELDER->item(n - 1)->text();
  if (name == QLatin1String("DEL") && form_->SE_SPALTENTEXT->text().trimmed().toUpper() != QLatin1String("DEL")) {
    hint(QStringLiteral("Die Umbenennung dieses Feldes ist nich erlaubt!"));
    form_->SE_SPALTENTEXT->setText(QStringLiteral("Del"));
  }
  const QString heading = form_->SE_SPALTENTEXT->text().trimmed();
  // The stored layout separates its parts by commas: a comma in a heading would shift them.
  const bool comma = heading.contains(QLatin1Char(','));
  if (comma) hint(QStringLiteral("Der Spaltentext darf kein Komma enthalten!"));
  for (ColumnRow& r : w->AFELDER) {
    if (r.name != name) continue;
    if (!comma) r.heading = heading;
    r.print_width = val(form_->SE_SPALTENBREITE->text());
    break;
  }
  SPALTENWERTE();
}

void DLG_SPALTENWAHL::PB_ALLEAUSWAHL() {
  TABDW_DBFDATEI* w = window();
  if (!w) return;
  sort_by_position(w->AFELDER);
  int i = 0;
  for (ColumnRow& r : w->AFELDER) r.print_order = ++i;
  FILL_LISTBOX();
}

void DLG_SPALTENWAHL::PB_ALLEABWAHL() {
  TABDW_DBFDATEI* w = window();
  if (!w) return;
  sort_by_position(w->AFELDER);
  for (ColumnRow& r : w->AFELDER) r.print_order = 0;
  FILL_LISTBOX();
}

int DLG_SPALTENWAHL::font_size() const {
  if (form_->RB_8->isChecked()) return 8;
  if (form_->RB_12->isChecked()) return 12;
  return 10;
}

void DLG_SPALTENWAHL::PB_ANSICHT() {
  TABDW_DBFDATEI* w = window();
  if (!w) return;
  w->SUSPENDUPDATE();
  FILL_AFELDER();
  TableGridServer* s = w->server();
  if (!s) {
    gui::info_box(this, QStringLiteral("Achtung"), QStringLiteral("Es ist keine Datei geöffnet!"));
    w->RESTOREUPDATE();
    return;
  }
  RPTDBFDATEN::Arguments a;
  // The title as the print command takes it: the own one when asked for and given.
  const QString own = form_->SE_LISTENTEXT->text().trimmed();
  a.title = form_->CHB_LISTE->isChecked() && !own.isEmpty() ? own : QString::fromStdString(s->table()->path());
  a.extra = form_->SE_ZUSATZTEXT->text().trimmed();
  a.font = font_size();
  a.landscape = form_->CHB_QUER->isChecked();
  a.grid = form_->CHB_GITTER->isChecked();
  a.grey_rows = form_->CHB_ZEILEGRAU->isChecked();
  a.grey_columns = form_->CHB_SPALTEGRAU->isChecked();
  const int recno = w->LESESATZNR();
  if (NESTARTSATZ == 0)
    s->GOTOP();
  else
    s->GOTO(uint32_t(NESTARTSATZ));
  sort_by_print_order(w->AFELDER);
  std::vector<ReportColumn> columns;
  for (const ColumnRow& r : w->AFELDER)
    if (r.print_order > 0) columns.push_back({r.position, r.heading, r.print_width});
  a.columns = std::move(columns);
  RPTDBFDATEN::print(this, true, *s, std::move(a));
  if (recno > 0) s->GOTO(uint32_t(recno));
  w->RESTOREUPDATE();
}

void DLG_SPALTENWAHL::SAVEINIDAT() {
  TABDW_DBFDATEI* w = window();
  HistoryStore* h = table_window_environment().history;
  if (!w || !h) return;
  bool written = true;
  auto put = [&](const QString& key, const QString& value) {
    h->WRITESTRING(w->CEDBF, key, value);
    written = written && h->last_write_ok();
  };
  put(QStringLiteral("ListeIntern"), form_->CHB_LISTE->isChecked() ? kJa : kNein);
  put(QStringLiteral("Liste"), form_->SE_LISTENTEXT->text().trimmed());
  put(QStringLiteral("ZusatzText"), form_->SE_ZUSATZTEXT->text().trimmed());
  put(QStringLiteral("QuerFormat"), form_->CHB_QUER->isChecked() ? kJa : kNein);
  put(QStringLiteral("Gitter"), form_->CHB_GITTER->isChecked() ? kJa : kNein);
  put(QStringLiteral("ZeileGrau"), form_->CHB_ZEILEGRAU->isChecked() ? kJa : kNein);
  put(QStringLiteral("SpalteGrau"), form_->CHB_SPALTEGRAU->isChecked() ? kJa : kNein);
  put(QStringLiteral("Schrift"), QString::number(font_size()));
  sort_by_position(w->AFELDER);
  int i = 0;
  for (const ColumnRow& r : w->AFELDER) put(QStringLiteral("Spalte%1").arg(++i), layout_value(r));
  // Keys of a longer layout stored before would land on other fields later.
  for (int k = i + 1; !h->GETSTRING(w->CEDBF, QStringLiteral("Spalte%1").arg(k)).isEmpty(); ++k) {
    if (!h->DELETEENTRY(w->CEDBF, QStringLiteral("Spalte%1").arg(k))) break;
    written = written && h->last_write_ok();
  }
  if (!written)
    gui::warning_box(this, QStringLiteral("Achtung"),
                     QStringLiteral("Die Datei \r\n\r\n") + h->FULLPATH() +
                         QStringLiteral("\r\n\r\nkonnte nicht geschrieben werden!"));
}

void DLG_SPALTENWAHL::PB_SAVE() {
  FILL_AFELDER();
  SAVEINIDAT();
  ENDDIALOG(1);
}

void DLG_SPALTENWAHL::PB_ABBRUCH() { ENDDIALOG(2); }

void register_list_format_dialog() {
  gui::register_window_class("DLG_SPALTENWAHL", [](QWidget* owner) -> QWidget* { return new DLG_SPALTENWAHL(owner); });
}

}  // namespace mv
