#include "tablewindow/tab_dbfdaten.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QEvent>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>

#include "components/stdgridbrowser.h"
#include "printing/list_options.h"
#include "printing/rptdbfdaten.h"
#include "platform/gui/messagebox.h"
#include "platform/gui/palette.h"
#include "platform/table/dbf_format.h"
#include "tablewindow/environment.h"
#include "tablewindow/opening.h"
#include "tablewindow/tabdw_dbfdatei.h"
#include "ui_TAB_DBFDATEN_FORM.h"

namespace mv {
namespace {

const QString kAchtung = QStringLiteral("Achtung");
const QString kKeineDatei = QStringLiteral("Es ist keine Datei geöffnet!");

// The number as the caption shows it: in full, without blanks.
QString caption_number(uint64_t n) { return QString::number(n); }

}  // namespace

// ---------------------------------------------------------------- form

TAB_DBFDATEN_FORM::TAB_DBFDATEN_FORM(QWidget* owner) : gui::DATAWINDOW(owner), form_(new Ui::TAB_DBFDATEN_FORM) {
  form_->setupUi(this);
  // Page and group backgrounds orange, the grid's own background yellow.
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(255, 160, 0));
  setPalette(pal);
  QFont bold(QStringLiteral("Microsoft Sans Serif"));
  bold.setPointSize(8);
  bold.setBold(true);
  for (QWidget* g : {static_cast<QWidget*>(form_->GB_SUCHE), static_cast<QWidget*>(form_->GB_DRUCK),
                     static_cast<QWidget*>(form_->GB_ANZEIGE)}) {
    g->setFont(bold);
    // Only the caption is bold; the controls inside keep the normal weight.
    QFont plain = bold;
    plain.setBold(false);
    for (QWidget* child : g->findChildren<QWidget*>()) child->setFont(plain);
    gui::set_foreground(g, gui::predefined_color(gui::kColorBlue));
  }
  gui::set_foreground(form_->FT_TREFFER, gui::predefined_color(gui::kColorBlue));
  form_->PB_FIND->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
  form_->PB_DANACH->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
  form_->PB_DAVOR->setIcon(style()->standardIcon(QStyle::SP_ArrowLeft));

  STDGRIDBROWSER* g = form_->BDBFBROWSER;
  g->set_cursor_mode(grid::GRIDBROWSER::CursorMode::Row);
  g->set_selector(true);
  g->set_inactive_selection_colors(gui::predefined_brush(gui::kBrushMedium), gui::predefined_color(gui::kColorWhite));
  g->set_inactive_selection(true);
  g->set_background(QBrush(QColor(255, 220, 0)));
  g->AUTOREFRESHTIME(1000);
  bind_controls();
}

TAB_DBFDATEN_FORM::~TAB_DBFDATEN_FORM() { delete form_; }

// ---------------------------------------------------------------- page

TAB_DBFDATEN::TAB_DBFDATEN(QWidget* owner) : TAB_DBFDATEN_FORM(owner) {
  setObjectName(QStringLiteral("TAB_DBFDATEN"));
  build();
  TABDW_DBFDATEI* w = window_owner();
  if (w && !w->CEDBF.isEmpty()) {
    ZOVUZUZ();
    if (server()) {
      FILL_CBINDEX();
      server()->GOTOP();
    } else {
      failed_at_construction_ = true;
    }
  }
}

TAB_DBFDATEN::~TAB_DBFDATEN() {
  // The table is closed before the grid and its controls go.
  GRIDDBSERVERCLOSE();
}

void TAB_DBFDATEN::build() {
  Ui::TAB_DBFDATEN_FORM* f = form_;
  f->RB_INDEX->setChecked(true);
  f->RB_ALLE->setChecked(true);
  f->VS_FREEZE->setValue(1);
  f->SE_FREEZE->setText(QStringLiteral("1"));
  f->SE_FREEZE->MASKE(QStringLiteral("0123456789"));

  f->CB_CURSOR->addItem(QStringLiteral("Line"), QStringLiteral("LINE"));
  f->CB_CURSOR->addItem(QStringLiteral("Cell"), QStringLiteral("CELL"));
  f->CB_CURSOR->addItem(QStringLiteral("FirstCell"), QStringLiteral("FIRSTCELL"));
  f->CB_CURSOR->addItem(QStringLiteral("None"), QStringLiteral("NONE"));
  f->CB_CURSOR->setCurrentIndex(0);
  f->CB_EDITMODE->addItem(QStringLiteral("Inactive"), QStringLiteral("INACTIVE"));
  f->CB_EDITMODE->addItem(QStringLiteral("Active"), QStringLiteral("ACTIVE"));
  f->CB_EDITMODE->addItem(QStringLiteral("Permanent"), QStringLiteral("PERMANENT"));
  f->CB_EDITMODE->addItem(QStringLiteral("Sensitive"), QStringLiteral("SENSITIVE"));
  f->CB_EDITMODE->addItem(QStringLiteral("Excel"), QStringLiteral("EXCEL"));
  f->CB_EDITMODE->setCurrentIndex(0);

  QFont gf(QStringLiteral("Microsoft Sans Serif"));
  gf.setPointSize(int(table_window_environment().font_or_default()));
  grid()->FONT(gf);
  SETFREEZE();  // the frozen part exists before the grid has rows

  connect(f->SE_FREEZE, &QLineEdit::textEdited, this, [this] { EDITCHANGE(); });
  f->SE_FREEZE->installEventFilter(this);
  connect(f->VS_FREEZE, &QScrollBar::valueChanged, this, [this] { VERTICALSPIN(); });
  for (QComboBox* cb : {f->CB_INDEXNAME, f->CB_INDEXSCHL, f->CB_CURSOR, f->CB_EDITMODE})
    connect(cb, qOverload<int>(&QComboBox::activated), this, [this, cb] { LISTBOXSELECT(cb); });
  connect(grid(), &grid::GRIDBROWSER::cell_selected, this, [this] { CELLSELECT(); });
}

TABDW_DBFDATEI* TAB_DBFDATEN::window_owner() const { return qobject_cast<TABDW_DBFDATEI*>(owner()); }
STDGRIDBROWSER* TAB_DBFDATEN::grid() const { return form_->BDBFBROWSER; }
TableGridServer* TAB_DBFDATEN::server() const { return server_ && server_->USED() ? server_.data() : nullptr; }

bool TAB_DBFDATEN::eventFilter(QObject* watched, QEvent* event) {
  if (watched == form_->SE_FREEZE && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
    EDITFOCUSCHANGE();
  return TAB_DBFDATEN_FORM::eventFilter(watched, event);
}

void TAB_DBFDATEN::check_menu(int id, bool on) {
  if (TABDW_DBFDATEI* w = window_owner()) {
    if (on) w->CHECKITEM(id);
    else w->UNCHECKITEM(id);
  }
}

// ---------------------------------------------------------------- showing

void TAB_DBFDATEN::SHOW() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  w->MENUDATEN();
  if (server()) {
    gui::DATAWINDOW::SHOW();
    FILLCAPTION();
    // The filter is program-wide: another window may have switched it.
    apply_deleted_filter();
    return;
  }
  if (w->CEDBF.isEmpty()) {
    gui::info_box(this, kAchtung, kKeineDatei);
    w->SET_TABSTRUKTUR();
    return;
  }
  // The first showing follows the constructor's attempt: one try, one box.
  if (!failed_at_construction_) ZOVUZUZ();
  failed_at_construction_ = false;
  if (!server()) {
    if (!open_reported_)
      gui::warning_box(this, kAchtung, QStringLiteral("Die DBF-Datei konnte nicht geöffnet werden!") + open_failure_text());
    open_reported_ = true;
    w->SET_TABHEADER();
    return;
  }
  gui::DATAWINDOW::SHOW();
  w->ASTRUCTUR = structure_of(server()->table()->dbstruct());
  w->FILL_AFELDER();
  if (HistoryStore* h = table_window_environment().history) count_opening(*h, w->CEDBF);
}

void TAB_DBFDATEN::apply_deleted_filter() {
  if (deleted_filter() != form_->CHB_DEL->isChecked()) return;
  set_deleted_filter(!form_->CHB_DEL->isChecked());
  if (server()) {
    server()->refresh();
    CELLSELECT();
  }
}

void TAB_DBFDATEN::FILLCAPTION() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  if (!server()) {
    w->set_caption(QStringLiteral("Daten"));
    return;
  }
  w->set_caption(QStringLiteral("Daten: ") + w->CEFILE + w->CEEXT + QStringLiteral(" < Datensatz: ") +
                 caption_number(server()->RECNO()) + QStringLiteral(" von: ") + caption_number(server()->LASTREC()) +
                 QStringLiteral(" >"));
}

void TAB_DBFDATEN::CELLSELECT() {
  FILLCAPTION();
  if (server())
    form_->PB_DELETE->setText(server()->DELETED() ? QStringLiteral("Löschung aufheben")
                                                  : QStringLiteral("Datensatz löschen"));
}

// ---------------------------------------------------------------- navigation

void TAB_DBFDATEN::GOTOP() {
  if (server()) server()->GOTOP();
}
void TAB_DBFDATEN::GOBOTTOM() {
  if (server()) server()->GOBOTTOM();
}
void TAB_DBFDATEN::SKIPNEXT() {
  if (server()) server()->SKIP(1);
}
void TAB_DBFDATEN::SKIPPREVIOUS() {
  if (server()) server()->SKIP(-1);
}
void TAB_DBFDATEN::GOTO(int record) {
  if (server() && record > 0) server()->GOTO(uint32_t(record));
}
int TAB_DBFDATEN::LESESATZNR() { return server() ? int(server()->RECNO()) : 0; }

QString TAB_DBFDATEN::LESEORDERKEYVAL() {
  TableGridServer* s = server();
  if (!s || !s->orders() || s->INDEXORD() == 0) return {};
  const auto v = s->orders()->key_value();
  if (!gui::status_box(this, v.status(), kAchtung) || v->type != ValueType::Character) return {};
  return QString::fromStdString(cp_to_utf8(s->table()->code_page(), v->str));
}

void TAB_DBFDATEN::_ABGLEICH_AFELDER() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  for (ColumnRow& r : w->AFELDER) r.print_order = 0;
  STDGRIDBROWSER* g = grid();
  int j = 0;
  for (grid::GridColumn* c : g->COLUMNLIST()) {
    if (!c->visible) continue;
    ++j;
    for (ColumnRow& r : w->AFELDER) {
      if (r.name != c->caption) continue;
      r.print_order = j;
      r.print_width = double(c->width) / 10.0;
      break;
    }
  }
  std::stable_sort(w->AFELDER.begin(), w->AFELDER.end(),
                   [](const ColumnRow& a, const ColumnRow& b) { return a.print_order < b.print_order; });
}

QVariant TAB_DBFDATEN::LESEDATEN(int field) {
  if (!server() || field < 1 || field > server()->field_count()) return {};
  auto v = server()->table()->field_get(field);
  if (!v) return {};
  const Value& x = *v;
  switch (x.type) {
    case ValueType::Character: return QString::fromStdString(cp_to_utf8(server()->table()->code_page(), x.str));
    case ValueType::Numeric: return x.num;
    case ValueType::Date: return x.date.empty() ? QVariant() : QVariant(QDate(x.date.year(), x.date.month(), x.date.day()));
    case ValueType::Logical: return x.logical;
    default: return {};
  }
}

// ---------------------------------------------------------------- the open table

QObject* TAB_DBFDATEN::LESE_GRIDDBSERVER() { return server(); }

void TAB_DBFDATEN::GRIDDBSERVERCLOSE() {
  if (!server_) return;
  TableGridServer* s = server_.data();
  grid()->set_server(nullptr);
  s->CLOSE().ignore();
  delete s;
  server_.clear();
}

void TAB_DBFDATEN::SUSPENDUPDATE() {
  grid()->setUpdatesEnabled(false);
  if (server()) server()->suspend_notifications(true);
}

void TAB_DBFDATEN::RESTOREUPDATE() {
  if (server()) {
    server()->suspend_notifications(false);
    server()->refresh();
  }
  grid()->setUpdatesEnabled(true);
  CELLSELECT();
}

void TAB_DBFDATEN::FILL_CBINDEX() {
  TABDW_DBFDATEI* w = window_owner();
  QComboBox* names = form_->CB_INDEXNAME;
  QComboBox* keys = form_->CB_INDEXSCHL;
  names->clear();
  keys->clear();
  if (w) w->AINDEX.clear();
  TableGridServer* s = server();
  const int n = s && s->orders() ? s->orders()->count() : 0;
  for (int i = 1; i <= n; ++i) {
    const OrderFacts o = s->orders()->info(i);
    names->addItem(o.name, i);
    keys->addItem(o.key, i);
    if (w) w->AINDEX.push_back({double(i), o.name, o.key, o.bag, o.for_expr, o.unique, o.descending});
  }
  names->insertItem(0, QStringLiteral("ohne Index (SatzNr)"), 0);
  keys->insertItem(0, QStringLiteral("ohne Index (SatzNr)"), 0);
  names->setCurrentIndex(0);
  keys->setCurrentIndex(0);
  previous_index_name_ = previous_index_key_ = 0;
  if (s && s->INDEXORD() != 0) gui::status_box(this, s->SETORDER(0), kAchtung);
}

void TAB_DBFDATEN::SETORDERDBF(int order) {
  if (server()) gui::status_box(this, server()->SETORDER(order), kAchtung);
}

// ---------------------------------------------------------------- display switches

void TAB_DBFDATEN::SETSATZNR() {
  if (!server_) return;
  if (form_->CHB_SATZNR->isChecked()) {
    server_->open_column(QStringLiteral("RECNO"), 0);
    check_menu(kItemRecno, true);
  } else {
    server_->close_column(QStringLiteral("RECNO"));
    check_menu(kItemRecno, false);
  }
  SETFREEZE();
  grid()->RECALCULATE();
}

void TAB_DBFDATEN::SETDEL() {
  if (!server_) return;
  if (form_->CHB_DEL->isChecked()) {
    set_deleted_filter(false);
    server_->open_column(QStringLiteral("DEL"), form_->CHB_SATZNR->isChecked() ? 1 : 0);
    check_menu(kItemDeleted, true);
  } else {
    set_deleted_filter(true);
    server_->close_column(QStringLiteral("DEL"));
    check_menu(kItemDeleted, false);
  }
  SETFREEZE();
  // The rows are the visible records: they are taken again.
  if (server()) server()->refresh();
  grid()->RECALCULATE();
}

void TAB_DBFDATEN::SET_SATZNR() {
  form_->CHB_SATZNR->setChecked(!form_->CHB_SATZNR->isChecked());
  SETSATZNR();
}

void TAB_DBFDATEN::SET_DELETED() {
  form_->CHB_DEL->setChecked(!form_->CHB_DEL->isChecked());
  SETDEL();
}

void TAB_DBFDATEN::SETFREEZE() {
  int n = int(val(form_->SE_FREEZE->text()));
  if (form_->CHB_SATZNR->isChecked()) ++n;
  if (form_->CHB_DEL->isChecked()) ++n;
  grid()->set_frozen_columns(std::max(0, n));
}

bool TAB_DBFDATEN::LESE_CHBDEL() { return form_->CHB_DEL->isChecked(); }
bool TAB_DBFDATEN::LESE_CHBSATZNR() { return form_->CHB_SATZNR->isChecked(); }
bool TAB_DBFDATEN::LESE_RBALLE() { return form_->RB_ALLE->isChecked(); }

// ---------------------------------------------------------------- events

void TAB_DBFDATEN::BUTTONCLICK(QAbstractButton* control) {
  TAB_DBFDATEN_FORM::BUTTONCLICK(control);
  if (!control) return;
  TABDW_DBFDATEI* w = window_owner();
  const QString name = control->objectName();
  if (name == QLatin1String("CHB_SATZNR")) {
    SETSATZNR();
  } else if (name == QLatin1String("CHB_DEL")) {
    SETDEL();
  } else if (name == QLatin1String("CHB_EXCLUSIVE")) {
    if (w) reopen_with_flags(!form_->CHB_EXCLUSIVE->isChecked(), w->LEREADONLY);
  } else if (name == QLatin1String("CHB_READONLY")) {
    if (w) reopen_with_flags(w->LESHARE, form_->CHB_READONLY->isChecked());
  } else if (name == QLatin1String("CHB_VARZEILE")) {
    grid()->set_variable_row_height(form_->CHB_VARZEILE->isChecked(), 60);
    grid()->RECALCULATE();
    grid()->viewport()->update();
  } else if (name == QLatin1String("RB_SATZNR") || name == QLatin1String("RB_INDEX") ||
             name == QLatin1String("RB_VOLLTEXT")) {
    if (form_->RB_VOLLTEXT->isChecked()) {
      form_->SE_SUCHE->setText(CSUCHTEXT);
      form_->FT_TREFFER->show();
    } else {
      form_->FT_TREFFER->hide();
    }
    if (gui::has_operation(this, "SETTREFFERTEXT", 0)) gui::call_operation(this, "SETTREFFERTEXT");
  }
}

QString TAB_DBFDATEN::open_failure_text() const {
  return open_error_.isEmpty() ? QString() : QStringLiteral("\r\n\r\n") + open_error_;
}

void TAB_DBFDATEN::warn_unmaintained_indexes() {
  if (indexes_warned_ || stray_indexes_.isEmpty() || !server() || server()->READONLY()) return;
  indexes_warned_ = true;
  gui::info_box(this, kAchtung,
                QStringLiteral("Im Ordner der Datei liegen Indexdateien, die hier nicht geöffnet sind:\r\n") +
                    stray_indexes_.join(QStringLiteral(", ")) +
                    QStringLiteral("\r\n\r\nSie werden bei Änderungen nicht aktualisiert und müssen danach neu "
                                   "aufgebaut werden."));
}

void TAB_DBFDATEN::reopen_with_flags(bool share, bool read_only) {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  const bool old_share = w->LESHARE;
  const bool old_read_only = w->LEREADONLY;
  const bool had_table = server() != nullptr;
  const uint32_t keep = had_table ? server()->RECNO() : 0;
  w->LESHARE = share;
  w->LEREADONLY = read_only;
  ZOVUZUZ();
  if (!server() && had_table) {
    if (!open_reported_) {
      QString how = share == old_share ? QStringLiteral("beschreibbar ") : QString();
      if (!share) how = QStringLiteral("exclusiv ");
      gui::warning_box(this, kAchtung,
                       QStringLiteral("Die Datei:\r\n") + w->CEDBF + QStringLiteral("\r\nkonnte nicht ") + how +
                           QStringLiteral("geöffnet werden!") + open_failure_text() +
                           QStringLiteral("\r\n\r\nSie bleibt geöffnet wie bisher."));
    }
    w->LESHARE = old_share;
    w->LEREADONLY = old_read_only;
    ZOVUZUZ();
    if (server() && keep > 0) server()->GOTO(keep);
  }
  if (!server()) {
    // Not even the old way: the boxes show the flags the window keeps.
    QSignalBlocker b1(form_->CHB_EXCLUSIVE), b2(form_->CHB_READONLY);
    form_->CHB_EXCLUSIVE->setChecked(!w->LESHARE);
    form_->CHB_READONLY->setChecked(w->LEREADONLY);
  }
  if (server()) w->ASTRUCTUR = structure_of(server()->table()->dbstruct());
  CELLSELECT();
}

void TAB_DBFDATEN::EDITCHANGE() {
  const int v = int(val(form_->SE_FREEZE->text()));
  QSignalBlocker block(form_->VS_FREEZE);
  form_->VS_FREEZE->setValue(v);
  SETFREEZE();
}

void TAB_DBFDATEN::EDITFOCUSCHANGE() { EDITCHANGE(); }

void TAB_DBFDATEN::VERTICALSPIN() {
  // The new text arrives as a change of the edit, which applies it.
  form_->SE_FREEZE->setText(QString::number(form_->VS_FREEZE->value()));
  EDITCHANGE();
}

void TAB_DBFDATEN::LISTBOXSELECT(QComboBox* control) {
  Ui::TAB_DBFDATEN_FORM* f = form_;
  if (control == f->CB_INDEXNAME || control == f->CB_INDEXSCHL) {
    int& previous = control == f->CB_INDEXNAME ? previous_index_name_ : previous_index_key_;
    const int value = control->currentData().toInt();
    if (value == previous) return;
    QComboBox* other = control == f->CB_INDEXNAME ? f->CB_INDEXSCHL : f->CB_INDEXNAME;
    other->setCurrentIndex(other->findData(value));
    previous_index_name_ = previous_index_key_ = value;
    if (server()) {
      gui::status_box(this, server()->SETORDER(value), kAchtung);
    }
    CELLSELECT();
  } else if (control == f->CB_CURSOR) {
    apply_cursor_mode(control->currentIndex() < 0 ? QStringLiteral("LINE") : control->currentData().toString());
  } else if (control == f->CB_EDITMODE) {
    QString mode = QStringLiteral("INACTIVE");
    if (control->currentIndex() >= 0) {
      TABDW_DBFDATEI* w = window_owner();
      if ((w && w->LEREADONLY) || (server() && server()->READONLY())) {
        control->setCurrentIndex(control->findData(QStringLiteral("INACTIVE")));
        gui::info_box(this, kAchtung,
                      QStringLiteral("Die Datei wurde schreibgeschützt geöffnet,\r\ndas Editieren ist deshalb nicht möglich!"));
        return;
      }
      mode = control->currentData().toString();
    }
    apply_edit_mode(mode);
  }
}

void TAB_DBFDATEN::apply_cursor_mode(const QString& mode) {
  STDGRIDBROWSER* g = grid();
  g->setSelectionMode(mode == QLatin1String("NONE") ? QAbstractItemView::NoSelection
                                                    : QAbstractItemView::SingleSelection);
  g->set_cursor_mode(mode == QLatin1String("CELL") ? grid::GRIDBROWSER::CursorMode::Cell
                                                   : grid::GRIDBROWSER::CursorMode::Row);
  if (mode == QLatin1String("FIRSTCELL") && g->currentIndex().isValid())
    g->setCurrentIndex(g->model()->index(g->currentIndex().row(), 0));
}

void TAB_DBFDATEN::apply_edit_mode(const QString& mode) {
  edit_mode_ = mode;
  STDGRIDBROWSER* g = grid();
  if (mode == QLatin1String("INACTIVE")) {
    g->set_edit_mode(false);
    return;
  }
  g->set_edit_mode(true);
  if (mode == QLatin1String("ACTIVE"))
    g->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
  else if (mode == QLatin1String("SENSITIVE"))
    g->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed |
                       QAbstractItemView::AnyKeyPressed);
  else if (mode == QLatin1String("EXCEL"))
    g->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked);
  else
    g->setEditTriggers(QAbstractItemView::AllEditTriggers);
}

// ---------------------------------------------------------------- opening

void TAB_DBFDATEN::ZOVUZUZ() {
  TABDW_DBFDATEI* w = window_owner();
  if (!w) return;
  uint32_t keep = 0;
  if (server()) keep = server()->RECNO();
  GRIDDBSERVERCLOSE();
  clear_hits();
  const QString exclusiv = w->LESHARE ? QString() : QStringLiteral("exclusiv ");

  // Every opening converts the table's texts by the window's own ANSI flag.
  OpenOutcome o = open_with_fallback(w->CEDBF, w->LESHARE, w->LEREADONLY, w->LEANSI,
                                     table_window_environment().driver_or_default(),
                                     table_window_environment().file_system, w->made_with_driver);
  w->CEDRIVER = o.driver;
  open_error_ = o.error_text;
  open_reported_ = false;
  if (o.sharing) {
    gui::warning_box(nullptr, QStringLiteral("FOpen Fehler"),
                     w->CEDBF + QStringLiteral("\r\n") + QStringLiteral("konnte nicht ") + exclusiv +
                         QStringLiteral("geöffnet werden!") + QStringLiteral("\r\n") + o.error_text);
    open_reported_ = true;
  }
  if (!o.table) return;
  if (!o.warnings.isEmpty()) {
    // The table opens, but the user must know what was found wrong in it.
    gui::warning_box(this, kAchtung,
                     QStringLiteral("Die Datei:\r\n") + w->CEDBF + QStringLiteral("\r\nist beschädigt:\r\n") +
                         o.warnings.join(QStringLiteral("\r\n")) +
                         (o.count_disagrees ? QStringLiteral("\r\n\r\nSie wird deshalb schreibgeschützt geöffnet; die "
                                                             "Satzanzahl lässt sich auf der Seite \"Header\" berichtigen.")
                                            : QString()));
  }
  if (!o.unmaintained_bag.isEmpty()) {
    gui::info_box(this, kAchtung,
                  QStringLiteral("Die Indexdatei:\r\n") + o.unmaintained_bag +
                      QStringLiteral("\r\nkann mit dem Treiber ") + o.driver +
                      QStringLiteral(" nicht aktualisiert werden,\r\ndie Datei wird deshalb schreibgeschützt geöffnet!") +
                      (o.unmaintained_reason.isEmpty() ? QString() : QStringLiteral("\r\n\r\n") + o.unmaintained_reason));
  }

  auto* s = new TableGridServer(std::move(o.table), std::move(o.orders), this);
  server_ = s;
  s->add_all_field_columns();
  {
    // Wide enough for the field's values and its name (dates in "dd.MM.yyyy").
    const QFontMetrics fm(grid()->font());
    const int ch = fm.horizontalAdvance(QLatin1Char('0'));
    const ColumnList widths = default_columns(structure_of(s->table()->dbstruct()));
    for (int i = 0; i < s->columnCount() && size_t(i) + 2 < widths.size(); ++i)
      s->column(i).width = std::clamp(widths[size_t(i) + 2].display_width, 3, 40) * ch + 12;
  }
  // Memo texts are not edited in a cell: their columns open no editor.
  for (int i = 0; i < s->columnCount(); ++i) {
    grid::GridColumn& c = s->column(i);
    if (c.kind == grid::GridColumn::Kind::Field && c.field >= 1 && c.field <= int(s->table()->fcount()) &&
        dbf::is_memo_type(s->table()->field(c.field).type, s->table()->field(c.field).length, s->table()->version()))
      c.read_only = true;
  }
  grid::GridColumn del = grid::GridColumn::on_expression(
      QStringLiteral("DEL"), QStringLiteral("DEL"), 'C', 30,
      [](const grid::GRIDSERVER& srv, int row) -> QVariant {
        return srv.is_deleted(row) ? QStringLiteral(" X") : QStringLiteral(" ");
      });
  del.visible = false;
  s->add_column(del);
  check_menu(kItemDeleted, false);
  set_deleted_filter(true);
  grid::GridColumn rec = grid::GridColumn::on_recno(QStringLiteral("RECNO"), QStringLiteral("RECNO"), 50);
  rec.visible = false;
  s->add_column(rec);
  check_menu(kItemRecno, false);
  connect(s, &TableGridServer::record_moved, this, [this] { CELLSELECT(); });
  // Said once the editor has closed.
  connect(s, &TableGridServer::written, this, [this] { warn_unmaintained_indexes(); }, Qt::QueuedConnection);
  stray_indexes_.clear();
  if (s->RDDNAME() == QLatin1String("DBFNTX") && (!s->orders() || s->orders()->count() == 0)) {
    const QFileInfo table(w->CEDBF);
    // Name filters match without regard to case.
    stray_indexes_ = table.dir().entryList({QStringLiteral("*.ntx")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
  }
  // Shown once the editor has closed, never from inside the grid's commit.
  connect(
      s, &TableGridServer::write_failed, this,
      [this](const QString& reason) { gui::warning_box(this, kAchtung, reason); }, Qt::QueuedConnection);
  grid()->set_server(s);

  {
    QSignalBlocker b1(form_->CHB_EXCLUSIVE), b2(form_->CHB_READONLY);
    form_->CHB_EXCLUSIVE->setChecked(!s->SHARED());
    form_->CHB_READONLY->setChecked(s->READONLY());
  }
  {
    QSignalBlocker b(form_->VS_FREEZE);
    form_->VS_FREEZE->setRange(0, s->field_count());
  }
  SETFREEZE();
  CHECKROWMODE();
  if (keep > 0) s->GOTO(keep);
  else s->GOTOP();
  if (w->LEREADONLY || s->READONLY()) {
    form_->CB_EDITMODE->setCurrentIndex(form_->CB_EDITMODE->findData(QStringLiteral("INACTIVE")));
    apply_edit_mode(QStringLiteral("INACTIVE"));
  } else {
    apply_edit_mode(edit_mode_);
  }
  // The switches of the page decide again what the grid shows, so box and view agree.
  SETSATZNR();
  SETDEL();
  FILL_CBINDEX();
  CELLSELECT();
}

void TAB_DBFDATEN::CHECKROWMODE() {
  TableGridServer* s = server();
  if (!s) return;
  const int ord = s->INDEXORD();
  uint64_t keys = 0;
  if (ord > 0 && s->orders()) {
    auto k = s->orders()->key_count();
    // An order whose count cannot be read is still shown, by rows of a fixed height.
    if (gui::status_box(this, k.status(), kAchtung)) keys = *k;
  }
  grid()->set_row_mode(row_mode_for(s->RDDNAME(), ord, keys));
}

// ---------------------------------------------------------------- record and table commands

bool TAB_DBFDATEN::need_table() {
  if (server()) return true;
  gui::info_box(this, kAchtung, kKeineDatei);
  return false;
}

bool TAB_DBFDATEN::refuse_read_only() {
  if (!server()->READONLY()) return false;
  gui::info_box(this, kAchtung, QStringLiteral("Die Datei wurde schreibgeshützt geöffnet"));
  return true;
}

bool TAB_DBFDATEN::refuse_shared() {
  if (!server()->SHARED()) return false;
  const QString path = window_owner() ? window_owner()->CEDBF : QString();
  gui::info_box(this, QStringLiteral("Info"),
                QStringLiteral("Zum Ausführen dieser Funktion muss die Datei:\r\n") + path +
                    QStringLiteral("\r\nexklusiv geöffnet werden!"));
  return true;
}

void TAB_DBFDATEN::PB_APPEND() {
  if (!need_table() || refuse_read_only()) return;
  warn_unmaintained_indexes();
  TableGridServer* s = server();
  Status st = s->table()->append_blank();
  if (st) st = s->table()->commit();
  s->refresh();
  CELLSELECT();
  gui::status_box(this, st, kAchtung);
}

void TAB_DBFDATEN::PB_DELETE() {
  if (!need_table() || refuse_read_only()) return;
  warn_unmaintained_indexes();
  TableGridServer* s = server();
  Table* t = s->table();
  Status st;
  uint32_t changed = t->recno();
  if (t->deleted()) {
    st = t->recall();
  } else if (form_->CHB_DEL->isChecked()) {
    st = t->delete_record();
  } else {
    const uint32_t n1 = t->recno();
    st = t->skip(-1);
    const uint32_t n2 = t->recno();
    const bool moved = st.is_ok() && n2 != n1;
    if (moved) st = t->go_to(n1);
    changed = t->recno();
    if (st) st = t->delete_record();
    if (st && moved) st = t->go_to(n2);
  }
  if (st) st = t->commit();
  s->record_changed(changed);
  s->GOTO(t->recno());
  CELLSELECT();
  gui::status_box(this, st, kAchtung);
}

void TAB_DBFDATEN::PB_REPLACE() {
  if (!need_table() || refuse_read_only()) return;
  warn_unmaintained_indexes();
  if (TABDW_DBFDATEI* w = window_owner()) w->OPENDLGREPLACE();
}

void TAB_DBFDATEN::FILEREPORT(bool preview) {
  if (!need_table()) return;
  TABDW_DBFDATEI* w = window_owner();
  TableGridServer* s = server();
  if (!w) return;
  const TableWindowEnvironment& env = table_window_environment();
  auto history = [&](const char* key) {
    return env.history ? env.history->GETSTRING(w->CEDBF, QString::fromLatin1(key)) : QString();
  };
  const uint32_t recno = s->RECNO();
  RPTDBFDATEN::Arguments a;
  // Title: the own one when asked for and given, else the table's full path.
  QString title;
  if (history("ListeIntern").toUpper() == QLatin1String("JA")) title = history("Liste");
  if (title.isEmpty()) title = QString::fromStdString(s->table()->path());
  a.title = title;
  a.extra = history("ZusatzText");
  const QString quer = history("QuerFormat");
  if (quer.isEmpty()) {
    double sum = 0;
    for (const ColumnRow& r : w->AFELDER)
      if (r.print_order > 0) sum += r.print_width + 1;
    a.landscape = sum >= 70;
  } else {
    a.landscape = quer.toUpper() == QLatin1String("JA");
  }
  // Font size and switches by the list options' reader, as the list-format dialog stores
  // them ("Ja" or "Nein" decides both ways), so a saved list prints as it was previewed.
  ListSettings ini;
  if (HistoryStore* h = env.history)
    ini.history = [h](const QString& sec, const QString& k) { return h->GETSTRING(sec, k); };
  if (HistoryStore* p = env.product)
    ini.product = [p](const QString& sec, const QString& k) { return p->GETSTRING(sec, k); };
  ListOptions defaults;
  defaults.grid = true;
  const ListOptions o = read_list_options(ini, w->CEDBF, defaults);
  a.font = o.font;
  a.grid = o.grid;
  a.grey_rows = o.grey_rows;
  a.grey_columns = o.grey_columns;
  // "DEL" stays ahead of "SATZNR": rows with equal print order keep their order.
  std::stable_sort(w->AFELDER.begin(), w->AFELDER.end(),
                   [](const ColumnRow& x, const ColumnRow& y) { return x.print_order < y.print_order; });
  std::vector<ReportColumn> columns;
  for (const ColumnRow& r : w->AFELDER)
    if (r.print_order > 0) columns.push_back({r.position, r.heading, r.print_width});
  a.columns = std::move(columns);
  if (form_->RB_ALLE->isChecked()) s->GOTOP();
  RPTDBFDATEN::print(this, preview, *s, std::move(a));
  if (recno > 0) s->GOTO(recno);
}

void TAB_DBFDATEN::PB_FELDER() {
  if (!need_table()) return;
  if (TABDW_DBFDATEI* w = window_owner()) w->OPENDLGFELDER(form_->RB_ALLE->isChecked() ? 0 : LESESATZNR());
}

// After pack and zap the rows and the caption are taken from the table again.
void TAB_DBFDATEN::after_records_replaced() {
  clear_hits();
  if (!server()) return;
  server()->refresh();
  server()->GOTOP();
  CELLSELECT();
}

void TAB_DBFDATEN::FILEPACK() {
  if (!need_table() || refuse_shared()) return;
  TABDW_DBFDATEI* w = window_owner();
  const QString name = w ? w->CEFILE : QString();
  if (!gui::yes_no_box(this, QStringLiteral("Datei Packen"),
                       QStringLiteral("Es werden alle gelöschten Datensätze endgültig\r\naus der Datei: ") + name +
                           QStringLiteral(" entfernt!\r\n\r\nSoll das Packen jetzt erfolgen?")))
    return;
  warn_unmaintained_indexes();
  Table* t = server()->table();
  const uint32_t before = t->lastrec();
  Status st = t->pack();
  after_records_replaced();
  if (st) {
    const uint32_t after = server() ? server()->LASTREC() : 0;
    gui::info_box(this, QStringLiteral("Pack"),
                  QStringLiteral("Es wurden endgültig ") + QString::number(qint64(before) - qint64(after)) +
                      QStringLiteral(" Datensätze gelöscht!"));
  } else {
    gui::warning_box(this, kAchtung, QStringLiteral("Es konnten keine Daten gelöscht werden!"));
  }
}

void TAB_DBFDATEN::FILEZAP() {
  if (!need_table() || refuse_shared()) return;
  TABDW_DBFDATEI* w = window_owner();
  const QString path = w ? w->CEDBF : QString();
  if (!gui::yes_no_box(this, QStringLiteral("Datei Zappen"),
                       QStringLiteral("Es werden alle Datensätze endgültig aus der Datei:\r\n") + path +
                           QStringLiteral("\r\n entfernt!\r\n\r\nSoll das Zappen jetzt erfolgen?")))
    return;
  warn_unmaintained_indexes();
  Status st = server()->table()->zap();
  after_records_replaced();
  if (st)
    gui::info_box(this, QStringLiteral("Info"),
                  QStringLiteral("Das Zappen der Datei:\r\n") + path + QStringLiteral("\r\nwurde erfolgreich durchgeführt!"));
  else
    gui::warning_box(this, kAchtung,
                     QStringLiteral("Das Zappen der Datei:\r\n") + path + QStringLiteral("\r\nwurde nicht durchgeführt!"));
}

}  // namespace mv
