#include "calendar/window/tab_gruppen.h"

#include "calendar/core/calendar_tables.h"
#include "calendar/window/kalender_globals.h"
#include "platform/gui/messagebox.h"
#include "platform/gui/palette.h"
#include "ui_TAB_GRUPPEN_FORM.h"

namespace mv {

namespace {

constexpr int kHighestNumber = 99;

grid::GRIDARRAYSERVER* list_server(QObject* parent, const QString& number_column) {
  auto* s = new grid::GRIDARRAYSERVER(parent);
  s->set_structure({{number_column, 'C', 3, 0}, {QStringLiteral("Benennung"), 'C', 20, 0}, {QStringLiteral("DBSatz"), 'N', 6, 0}});
  s->add_column(grid::GridColumn::on_field(1, number_column.toUpper(), number_column, 'C', 3 * 8 + 16));
  s->add_column(grid::GridColumn::on_field(2, QStringLiteral("BENENNUNG"), QStringLiteral("Benennung"), 'C', 20 * 8 + 8));
  return s;
}

}  // namespace

TAB_GRUPPEN_FORM::TAB_GRUPPEN_FORM(QWidget* owner) : STD_DATAWINDOW(owner), form_(new Ui::TAB_GRUPPEN_FORM) {
  form_->setupUi(this);
  setObjectName(QStringLiteral("TAB_GRUPPEN"));
  gui::set_page_colour(this, QColor(218, 165, 32));

  BB_HG = form_->BB_HG;
  FT_HG = form_->FT_HG;
  SE_HG = form_->SE_HG;
  SE_UG = form_->SE_UG;
  FT_UG = form_->FT_UG;
  BB_UG = form_->BB_UG;
  dress_list_grid(BB_HG, QColor(255, 215, 0));
  dress_list_grid(BB_UG, QColor(255, 215, 0));
  bind_controls();
}

TAB_GRUPPEN_FORM::~TAB_GRUPPEN_FORM() { delete form_; }

QPushButton* TAB_GRUPPEN_FORM::button(const char* name) const { return findChild<QPushButton*>(QString::fromLatin1(name)); }

TAB_GRUPPEN::TAB_GRUPPEN(QWidget* owner) : TAB_GRUPPEN_FORM(owner) {
  hg_server_ = list_server(this, QStringLiteral("HG"));
  ug_server_ = list_server(this, QStringLiteral("UG"));
  BB_HG->set_server(hg_server_);
  BB_UG->set_server(ug_server_);
  connect(BB_HG, &grid::GRIDBROWSER::cell_selected, this, [this] { CELLSELECT(BB_HG); });
  connect(BB_UG, &grid::GRIDBROWSER::cell_selected, this, [this] { CELLSELECT(BB_UG); });
  fill(true, 0, false);
}

uint32_t TAB_GRUPPEN::selected_recno(const grid::GRIDARRAYSERVER* server) {
  const int row = server->current_row();
  if (server->rowCount() == 0 || row < 0 || row >= server->rowCount()) return 0;
  return uint32_t(server->value(row, 3).toUInt());
}

void TAB_GRUPPEN::SHOW() {
  STD_DATAWINDOW::SHOW();
  // Another Kalender may have added groups meanwhile; the user's choice stays.
  const uint32_t main = selected_recno(hg_server_);
  const uint32_t sub = selected_recno(ug_server_);
  fill(true, main, false);
  fill(false, sub, false);
}

void TAB_GRUPPEN::FILLBB_HG(uint32_t recno) { fill(true, recno, recno > 0); }
void TAB_GRUPPEN::FILLBB_UG(uint32_t recno) { fill(false, recno, recno > 0); }

void TAB_GRUPPEN::fill(bool main, uint32_t recno, bool focus) {
  grid::GRIDARRAYSERVER* server = main ? hg_server_ : ug_server_;
  QVector<QVariantList> rows;
  int select = 0;
  QString group;
  if (!main && hg_server_->rowCount() > 0 && hg_server_->current_row() >= 0)
    group = hg_server_->value(hg_server_->current_row(), 1).toString();
  DBGRUPPE* db = GRUPPENDB.get();
  if (db && db->used() && (main || !group.isEmpty())) {
    Status st = db->SETORDER("GAHGUG");
    const std::string kind = main ? "H" : "U";
    const std::string number = group.toStdString();
    if (st.is_ok()) st = db->SEEK(Value::character(kind + (main ? std::string() : number))).status();
    while (st.is_ok() && !db->eof() && field_text(*db, "GA") == qstr(kind) &&
           (main || field_text(*db, "HG") == group)) {
      if (recno > 0 && db->RECNO() == recno) select = int(rows.size());
      rows.push_back({field_text(*db, main ? "HG" : "UG"), field_text(*db, "Benennung"), db->RECNO()});
      st = db->SKIP();
    }
    if (!st.is_ok()) gui::status_box(this, st);
  }
  filling_ = true;
  server->set_rows(std::move(rows));
  if (server->rowCount() > 0) server->set_current_row(select);
  filling_ = false;
  if (main) {
    FILL_HGDAT();
    fill(false, 0, false);
  } else {
    FILL_UGDAT();
  }
  if (focus) (main ? BB_HG : BB_UG)->setFocus();
}

void TAB_GRUPPEN::CELLSELECT(QObject* grid) {
  if (filling_) return;
  if (grid == BB_HG) {
    FILL_HGDAT();
    fill(false, 0, false);
  } else if (grid == BB_UG) {
    FILL_UGDAT();
  }
}

void TAB_GRUPPEN::FILL_HGDAT() {
  const uint32_t r = selected_recno(hg_server_);
  if (r == 0 || !GRUPPENDB) return;
  if (GRUPPENDB->GOTO(r).is_ok()) SE_HG->setText(right_trimmed(field_text(*GRUPPENDB, "Benennung")));
}

void TAB_GRUPPEN::FILL_UGDAT() {
  const uint32_t r = selected_recno(ug_server_);
  if (r == 0 || !GRUPPENDB) return;
  if (GRUPPENDB->GOTO(r).is_ok()) SE_UG->setText(right_trimmed(field_text(*GRUPPENDB, "Benennung")));
}

QString TAB_GRUPPEN::PB_HINZUHG() { return add_group(true); }
QString TAB_GRUPPEN::PB_HINZUUG() { return add_group(false); }
void TAB_GRUPPEN::PB_ANDERSHG() { rename(true); }
void TAB_GRUPPEN::PB_ANDERSUG() { rename(false); }

QString TAB_GRUPPEN::add_group(bool main) {
  QString group;
  if (!main) {
    if (selected_recno(hg_server_) == 0) return QString();
    group = hg_server_->value(hg_server_->current_row(), 1).toString();
  }
  const QString name = left_trimmed((main ? SE_HG : SE_UG)->text());
  if (name.isEmpty()) return QString();
  DBGRUPPE* db = GRUPPENDB.get();
  const QString failed = QStringLiteral("Die Gruppe konnte nicht hinzugefügt werden!");
  if (!db || !db->used()) {
    if (db) write_failed_box(this, failed, db->path(), db->open_status());
    return QString();
  }
  auto stored_name = table_text(*db, name);
  if (!stored_name.is_ok()) {
    write_failed_box(this, failed, db->path(), stored_name.status());
    return QString();
  }
  uint32_t recno = 0;
  QString number;
  {
    // The last number is read and the next one appended while no other program can.
    auto lock = db->lock_numbering();
    if (!lock.is_ok()) {
      write_failed_box(this, failed, db->path(), lock.status());
      return QString();
    }
    const std::string prefix = main ? std::string("H") : "U" + group.toStdString();
    int last = 0;
    Status st = db->SETORDER("GAHGUG");
    Result<bool> full = false;
    if (st.is_ok()) {
      full = db->SEEK(Value::character(prefix + "99"), true);
      st = full.status();
    }
    if (st.is_ok() && !*full) st = db->SKIP(-1);
    if (st.is_ok()) {
      const bool in_run = field_text(*db, "GA") == (main ? QStringLiteral("H") : QStringLiteral("U")) &&
                          (main || field_text(*db, "HG") == group);
      if (in_run) last = field_text(*db, main ? "HG" : "UG").trimmed().toInt();
      if (*full) last = kHighestNumber;
    }
    if (!st.is_ok()) {
      write_failed_box(this, failed, db->path(), st);
      return QString();
    }
    if (last >= kHighestNumber) {
      gui::warning_box(this, kAchtungCaption,
                       main ? QStringLiteral("Es sind bereits 99 Hauptgruppen vorhanden!")
                            : QStringLiteral("Es sind bereits 99 Untergruppen vorhanden!"));
      return QString();
    }
    number = QString::number(last + 1).rightJustified(2, QLatin1Char('0'));
    st = db->APPEND();
    if (st.is_ok()) st = db->FIELDPUT("GA", Value::character(main ? "H" : "U"));
    if (st.is_ok()) st = db->FIELDPUT("HG", Value::character((main ? number : group).toStdString()));
    if (st.is_ok() && !main) st = db->FIELDPUT("UG", Value::character(number.toStdString()));
    if (st.is_ok()) st = db->FIELDPUT("Benennung", Value::character(*stored_name));
    if (st.is_ok()) st = db->COMMIT();
    if (!st.is_ok()) {
      db->discard();
      write_failed_box(this, failed, db->path(), st);
      return QString();
    }
    recno = db->RECNO();
  }
  fill(main, recno, true);
  return number;
}

void TAB_GRUPPEN::rename(bool main) {
  const uint32_t recno = selected_recno(main ? hg_server_ : ug_server_);
  DBGRUPPE* db = GRUPPENDB.get();
  if (recno == 0 || !db) return;
  const QString failed = QStringLiteral("Die Gruppe konnte nicht umbenannt werden!");
  auto stored_name = table_text(*db, left_trimmed((main ? SE_HG : SE_UG)->text()));
  Status st = stored_name.status();
  if (st.is_ok()) st = db->GOTO(recno);
  if (st.is_ok()) st = db->FIELDPUT("Benennung", Value::character(*stored_name));
  if (st.is_ok()) st = db->COMMIT();
  if (!st.is_ok()) {
    db->discard();
    write_failed_box(this, failed, db->path(), st);
    return;
  }
  fill(main, recno, true);
}

}  // namespace mv
