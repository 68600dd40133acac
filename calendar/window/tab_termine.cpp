#include "calendar/window/tab_termine.h"

#include <QEvent>
#include <QIntValidator>
#include <map>

#include "calendar/core/appointment_list.h"
#include "calendar/core/calendar_tables.h"
#include "calendar/core/report/rptgridarrayserver.h"
#include "calendar/window/kalender_globals.h"
#include "platform/gui/messagebox.h"
#include "platform/gui/palette.h"
#include "ui_TAB_TERMINE_FORM.h"

namespace mv {

namespace {

struct ListColumn {
  const char* name;
  char type;
  int length;
};
constexpr ListColumn kColumns[] = {{"Serie", 'C', 6},        {"Datum", 'D', 10},       {"Uhrzeit", 'C', 8},
                                   {"HauptGruppe", 'C', 24}, {"UnterGruppe", 'C', 24}, {"Bemerkung", 'C', 64},
                                   {"DBSatz", 'N', 6}};

bool column_in(const ListColumn& c, const QString& kind) {
  const QString name = QLatin1String(c.name);
  if (name == QLatin1String("HauptGruppe")) return kind != QLatin1String("H") && kind != QLatin1String("U");
  if (name == QLatin1String("UnterGruppe")) return kind != QLatin1String("U");
  return true;
}

// The names of a group table's run, by seek, once per list.
class GroupNames {
 public:
  QString main(const std::string& hg) { return look("H" + hg); }
  QString sub(const std::string& hg, const std::string& ug) { return look("U" + hg + ug); }

 private:
  QString look(const std::string& key) {
    auto it = names_.find(key);
    if (it != names_.end()) return it->second;
    QString name;
    DBGRUPPE* db = GRUPPENDB.get();
    if (db && db->used() && key.find_first_not_of(' ', 1) != std::string::npos) {
      auto found = db->SEEK(Value::character(key));
      if (found.is_ok() && *found) name = field_text(*db, "Benennung");
    }
    return names_[key] = name;
  }
  std::map<std::string, QString> names_;
};

}  // namespace

bool choose_value(QComboBox* combo, const QString& value) {
  const int i = combo->findData(value.trimmed());
  if (i < 0) return false;
  combo->setCurrentIndex(i);
  return true;
}

TAB_TERMINE_FORM::TAB_TERMINE_FORM(QWidget* owner) : STD_DATAWINDOW(owner), form_(new Ui::TAB_TERMINE_FORM) {
  form_->setupUi(this);
  setObjectName(QStringLiteral("TAB_TERMINE"));
  gui::set_page_colour(this, QColor(160, 240, 128));

  CB_SERIE = form_->CB_SERIE;
  DP_ABDATUM = form_->DP_ABDATUM;
  CHB_UHRZEIT = form_->CHB_UHRZEIT;
  // The time picker is a picker of its own kind, placed after "um:".
  DP_UHRZEIT = new gui::DATETIMEPICKER(gui::DATETIMEPICKER::Kind::Time, this);
  DP_UHRZEIT->setObjectName(QStringLiteral("DP_UHRZEIT"));
  form_->termin_row->insertWidget(form_->termin_row->indexOf(CHB_UHRZEIT) + 1, DP_UHRZEIT);
  CB_HG = form_->CB_HG;
  CB_UG = form_->CB_UG;
  SE_BEMERKUNG = form_->SE_BEMERKUNG;
  CB_LISTE = form_->CB_LISTE;
  DP_DATUMLISTE = form_->DP_DATUMLISTE;
  FT_GRUPPE = form_->FT_GRUPPE;
  FT_DATUM = form_->FT_DATUM;
  FT_BEMERKUNG = form_->FT_BEMERKUNG;
  FT_TERMIN = form_->FT_TERMIN;
  VS_JAHR = form_->VS_JAHR;
  SE_JAHR = form_->SE_JAHR;
  BB_TERMINE = form_->BB_TERMINE;
  FT_TERMIN1 = form_->FT_TERMIN1;
  FT_AB = form_->FT_AB;
  CHB_QUER = form_->CHB_QUER;

  // Short dates: the edit row keeps its pickers whole at the window's design width.
  for (gui::DATETIMEPICKER* d : {DP_ABDATUM, DP_DATUMLISTE}) {
    d->setDisplayFormat(QStringLiteral("ddd, dd.MM.yyyy"));
    d->setMinimumWidth(d->sizeHint().width());
  }
  DP_UHRZEIT->setMinimumWidth(DP_UHRZEIT->sizeHint().width());
  DP_ABDATUM->SELECTEDDATE(QDate::currentDate());
  DP_DATUMLISTE->SELECTEDDATE(QDate::currentDate());
  DP_UHRZEIT->SELECTEDTIME(QTime(12, 0, 0));
  DP_UHRZEIT->setEnabled(false);
  VS_JAHR->RANGE(kFirstListYear, kLastListYear);
  VS_JAHR->hide();
  SE_JAHR->hide();
  SE_JAHR->setValidator(new QIntValidator(0, 9999, SE_JAHR));
  SE_JAHR->setFixedWidth(SE_JAHR->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);

  dress_list_grid(BB_TERMINE, QColor(196, 255, 155));
  bind_controls();
}

TAB_TERMINE_FORM::~TAB_TERMINE_FORM() { delete form_; }

QPushButton* TAB_TERMINE_FORM::button(const char* name) const { return findChild<QPushButton*>(QString::fromLatin1(name)); }

TAB_TERMINE::TAB_TERMINE(QWidget* owner) : TAB_TERMINE_FORM(owner) {
  CB_SERIE->addItem(QStringLiteral("einmalig:"), QStringLiteral(" "));
  CB_SERIE->addItem(QStringLiteral("je Jahr:"), QStringLiteral("J"));
  CB_SERIE->setCurrentIndex(0);
  const std::pair<const char*, const char*> kinds[] = {
      {"alle Termine", "A"},           {"Termine für einen Tag", "T"},  {"Termine für eine Woche", "W"},
      {"Termine für einen Monat", "M"}, {"Termine für ein Jahr", "J"},   {"Termine je Hauptgruppe", "H"},
      {"Termine je Untergruppe", "U"}};
  for (const auto& k : kinds) CB_LISTE->addItem(QString::fromUtf8(k.first), QString::fromLatin1(k.second));
  CB_LISTE->setCurrentIndex(0);
  const int this_year = std::clamp(QDate::currentDate().year(), kFirstListYear, kLastListYear);
  SE_JAHR->setText(QString::number(this_year));
  VS_JAHR->POSITION(this_year);

  server_ = new grid::GRIDARRAYSERVER(this);
  BB_TERMINE->set_server(server_);

  for (QComboBox* c : {CB_SERIE, CB_HG, CB_UG, CB_LISTE})
    connect(c, &QComboBox::activated, this, [this, c] { LISTBOXSELECT(c); });
  connect(DP_DATUMLISTE, &gui::DATETIMEPICKER::selection_changed, this,
          [this] { DATETIMESELECTIONCHANGED(DP_DATUMLISTE); });
  connect(DP_ABDATUM, &gui::DATETIMEPICKER::selection_changed, this, [this] { DATETIMESELECTIONCHANGED(DP_ABDATUM); });
  connect(VS_JAHR, &gui::VERTICALSPINNER::spun, this, &TAB_TERMINE::VERTICALSPIN);
  connect(BB_TERMINE, &grid::GRIDBROWSER::cell_selected, this, &TAB_TERMINE::CELLSELECT);
  SE_JAHR->installEventFilter(this);
  connect(SE_JAHR, &QLineEdit::returnPressed, this, &TAB_TERMINE::EDITFOCUSCHANGE);
}

bool TAB_TERMINE::eventFilter(QObject* watched, QEvent* event) {
  if (watched == SE_JAHR && event->type() == QEvent::FocusOut) EDITFOCUSCHANGE();
  return TAB_TERMINE_FORM::eventFilter(watched, event);
}

QString TAB_TERMINE::kind() const { return CB_LISTE->currentData().toString(); }

int TAB_TERMINE::year() const {
  bool ok = false;
  const int y = SE_JAHR->text().trimmed().toInt(&ok);
  return std::clamp(ok ? y : QDate::currentDate().year(), kFirstListYear, kLastListYear);
}

QStringList TAB_TERMINE::column_names() const {
  QStringList out;
  for (const ListColumn& c : kColumns)
    if (column_in(c, kind())) out << QLatin1String(c.name);
  return out;
}

void TAB_TERMINE::SHOW() {
  STD_DATAWINDOW::SHOW();
  FILLCB_HG();
  FILLCB_UG();
  FILLBB_TERMINE();
}

void TAB_TERMINE::fill_group_combo(QComboBox* combo, bool main) {
  const QSignalBlocker quiet(combo);
  combo->clear();
  // The groups sorted by name; the item without group always first.
  std::vector<std::pair<QString, QString>> items;
  const QString group = CB_HG->currentData().toString();
  DBGRUPPE* db = GRUPPENDB.get();
  if (db && db->used() && (main || !group.isEmpty())) {
    Status st = db->SETORDER("GAHGUG");
    const std::string key = main ? std::string("H") : "U" + group.toStdString();
    if (st.is_ok()) st = db->SEEK(Value::character(key)).status();
    while (st.is_ok() && !db->eof() && field_text(*db, "GA") == (main ? QStringLiteral("H") : QStringLiteral("U")) &&
           (main || field_text(*db, "HG") == group)) {
      items.push_back({right_trimmed(field_text(*db, "Benennung")), field_text(*db, main ? "HG" : "UG")});
      st = db->SKIP();
    }
    if (!st.is_ok()) gui::status_box(this, st);
  }
  std::stable_sort(items.begin(), items.end(),
                   [](const auto& a, const auto& b) { return QString::localeAwareCompare(a.first, b.first) < 0; });
  combo->addItem(kOhneZuordnung, QString());
  for (const auto& [text, value] : items) combo->addItem(text, value);
  combo->setCurrentIndex(0);
}

void TAB_TERMINE::FILLCB_HG() {
  {
    const QSignalBlocker quiet(CB_HG);
    CB_HG->clear();
    CB_HG->addItem(kOhneZuordnung, QString());
    CB_HG->setCurrentIndex(0);
  }
  fill_group_combo(CB_HG, true);
}

void TAB_TERMINE::FILLCB_UG() { fill_group_combo(CB_UG, false); }

void TAB_TERMINE::SETVORGABEDAT() {
  const QString k = kind();
  FT_AB->setText(k == QLatin1String("T") ? QStringLiteral("am:") : QStringLiteral("ab:"));
  const bool by_year = k == QLatin1String("J") || k == QLatin1String("H") || k == QLatin1String("U");
  DP_DATUMLISTE->setVisible(!by_year);
  SE_JAHR->setVisible(by_year);
  VS_JAHR->setVisible(by_year);
}

void TAB_TERMINE::FILLBB_TERMINE(uint32_t recno) {
  const QString k = kind();
  AppointmentQuery q;
  q.kind = k.isEmpty() ? 'A' : k[0].toLatin1();
  q.list_date = to_date(DP_DATUMLISTE->SELECTEDDATE());
  q.year = year();
  q.main_group = CB_HG->currentData().toString().toStdString();
  q.sub_group = CB_UG->currentData().toString().toStdString();
  q.today = to_date(today_.isValid() ? today_ : QDate::currentDate());

  QVector<QVariantList> rows;
  int select = -1;
  DBTERMIN* db = TERMINDB.get();
  if (db && db->used()) {
    auto hits = collect_appointments(*db, q);
    Status st = hits.status();
    if (st.is_ok()) {
      GroupNames names;
      if (GRUPPENDB && GRUPPENDB->used()) st = GRUPPENDB->SETORDER("GAHGUG");
      rows.reserve(qsizetype(hits->size()));
      for (const AppointmentHit& h : *hits) {
        if (!st.is_ok()) break;
        st = db->GOTO(h.recno);
        if (!st.is_ok()) break;
        const std::string hg = field_text(*db, "HG").toStdString();
        const std::string ug = field_text(*db, "UG").toStdString();
        const QString serie = field_text(*db, "Serie");
        auto datum = db->FIELDGET("Datum");
        QVariantList row;
        row << (serie == QLatin1String("J") ? QStringLiteral("ab") : serie)
            << (datum.is_ok() ? to_qdate(datum->date) : QDate()) << field_text(*db, "UhrZeit");
        if (q.kind != 'H' && q.kind != 'U') row << names.main(hg);
        if (q.kind != 'U') row << names.sub(hg, ug);
        row << field_text(*db, "Bemerkung") << h.recno;
        if (recno > 0 && h.recno == recno && select < 0) select = int(rows.size());
        rows.push_back(std::move(row));
      }
    }
    if (!st.is_ok()) {
      gui::status_box(this, st);
      rows.clear();
    }
  }

  filling_ = true;
  const QStringList names = column_names();
  if (names != list_columns_) {
    // The columns of the kind; the old rows go first, they have the old layout.
    server_->set_rows({});
    while (!server_->columns().empty()) server_->remove_column(0);
    std::vector<grid::ArrayField> structure;
    for (const QString& n : names) {
      const ListColumn& c = *std::find_if(std::begin(kColumns), std::end(kColumns),
                                          [&](const ListColumn& x) { return QLatin1String(x.name) == n; });
      structure.push_back({n, c.type, c.length, 0});
    }
    server_->set_structure(std::move(structure));
    for (int element = 1; element <= names.size(); ++element) {
      const ListColumn& c = *std::find_if(std::begin(kColumns), std::end(kColumns), [&](const ListColumn& x) {
        return QLatin1String(x.name) == names[element - 1];
      });
      if (QLatin1String(c.name) == QLatin1String("DBSatz")) continue;  // never shown
      server_->add_column(grid::GridColumn::on_field(element, QString::fromLatin1(c.name).toUpper(),
                                                     QLatin1String(c.name), c.type, c.length * 7 + 8));
    }
    list_columns_ = names;
  }
  server_->set_rows(std::move(rows));
  if (server_->rowCount() > 0) server_->set_current_row(std::max(select, 0));
  filling_ = false;
  if (recno > 0) BB_TERMINE->setFocus();
}

void TAB_TERMINE::FILL_TERMINDAT() {
  const int row = server_->current_row();
  DBTERMIN* db = TERMINDB.get();
  if (server_->rowCount() == 0 || row < 0 || !db) {
    SE_BEMERKUNG->clear();
    loaded_ = 0;
    return;
  }
  const uint32_t recno = server_->rows()[row].last().toUInt();  // DBSatz, the last element
  Status st = db->GOTO(recno);
  if (!st.is_ok()) {
    gui::status_box(this, st);
    return;
  }
  const QString serie = field_text(*db, "Serie");
  FT_DATUM->setText(serie == QLatin1String("J") ? QStringLiteral("ab:") : QStringLiteral("am:"));
  CB_SERIE->setCurrentIndex(serie == QLatin1String("J") ? 1 : 0);
  auto datum = db->FIELDGET("Datum");
  if (datum.is_ok() && !datum->date.empty()) DP_ABDATUM->SELECTEDDATE(to_qdate(datum->date));
  const QString zeit = field_text(*db, "UhrZeit").trimmed();
  if (zeit.isEmpty()) {
    CHB_UHRZEIT->setChecked(false);
    DP_UHRZEIT->setEnabled(false);
    DP_UHRZEIT->SELECTEDTIME(QTime(12, 0, 0));
  } else {
    CHB_UHRZEIT->setChecked(true);
    DP_UHRZEIT->setEnabled(true);
    DP_UHRZEIT->SELECTEDTIME(QTime::fromString(zeit, QStringLiteral("HH:mm:ss")));
  }
  const QString ug = field_text(*db, "UG").trimmed();
  if (!choose_value(CB_HG, field_text(*db, "HG"))) CB_HG->setCurrentIndex(0);
  FILLCB_UG();
  if (!choose_value(CB_UG, ug)) CB_UG->setCurrentIndex(0);
  SE_BEMERKUNG->setText(right_trimmed(field_text(*db, "Bemerkung")));
  loaded_ = recno;
}

bool TAB_TERMINE::SAVETERMIN(uint32_t recno) {
  DBTERMIN* db = TERMINDB.get();
  const QString failed = QStringLiteral("Der Termin konnte nicht gespeichert werden!");
  if (!db || !db->used()) {
    if (db) write_failed_box(this, failed, db->path(), db->open_status());
    return false;
  }
  // Everything is converted first: a refused value stores nothing.
  auto remark = table_text(*db, left_trimmed(SE_BEMERKUNG->text()));
  if (!remark.is_ok()) {
    write_failed_box(this, failed, db->path(), remark.status());
    return false;
  }
  const QDate date = DP_ABDATUM->SELECTEDDATE();
  const QString serie = CB_SERIE->currentData().toString();
  const QString zeit = CHB_UHRZEIT->isChecked() ? DP_UHRZEIT->SELECTEDTIME() : QString();
  Status st = recno == 0 ? db->APPEND() : db->GOTO(recno);
  if (st.is_ok() && recno > 0 && (db->eof() || db->RECNO() != recno))
    st = Status::not_found(db->path() + ": den Satz " + std::to_string(recno) + " gibt es nicht");
  if (st.is_ok()) st = db->FIELDPUT("Datum", Value::of_date(to_date(date)));
  if (st.is_ok()) st = db->FIELDPUT("Serie", Value::character(serie.isEmpty() ? " " : serie.toStdString()));
  if (st.is_ok()) st = db->FIELDPUT("UhrZeit", Value::character(zeit.toStdString()));
  if (st.is_ok()) st = db->FIELDPUT("HG", Value::character(CB_HG->currentData().toString().toStdString()));
  if (st.is_ok()) st = db->FIELDPUT("UG", Value::character(CB_UG->currentData().toString().toStdString()));
  if (st.is_ok()) st = db->FIELDPUT("Bemerkung", Value::character(*remark));
  if (st.is_ok()) st = db->COMMIT();
  if (!st.is_ok()) {
    db->discard();
    write_failed_box(this, failed, db->path(), st);
    return false;
  }
  loaded_ = db->RECNO();
  FILLBB_TERMINE(loaded_);
  return true;
}

void TAB_TERMINE::PB_HINZU() { SAVETERMIN(0); }

void TAB_TERMINE::PB_ANDERS() {
  // Only the record the controls came from: a row chosen since, or the last save.
  if (loaded_ > 0) SAVETERMIN(loaded_);
}

void TAB_TERMINE::PB_DRUCK() { FILEREPORT(true); }

void TAB_TERMINE::FILEREPORT(bool preview) {
  const QString k = kind();
  const bool by_year = k == QLatin1String("J") || k == QLatin1String("H") || k == QLatin1String("U");
  const QString period = by_year ? SE_JAHR->text() : date_text(DP_DATUMLISTE->SELECTEDDATE());
  const QString title = CB_LISTE->currentText() + QStringLiteral(" ") + FT_AB->text() + QStringLiteral(" ") + period;
  QString subtitle;
  if (k == QLatin1String("H") || k == QLatin1String("U")) {
    subtitle = QStringLiteral("Gruppe: ") + right_trimmed(CB_HG->currentText());
    if (k == QLatin1String("U")) subtitle += QStringLiteral(" / ") + right_trimmed(CB_UG->currentText());
  }
  // Creating the list runs the whole job: the list with the page's columns.
  const kalender::RPTGRIDARRAYSERVER list(this, preview, BB_TERMINE, title, subtitle, 9, CHB_QUER->isChecked(), false,
                                         true, false);
}

void TAB_TERMINE::CELLSELECT() {
  if (filling_) return;
  FILL_TERMINDAT();
}

void TAB_TERMINE::LISTBOXSELECT(QComboBox* combo) {
  const QString k = kind();
  if (combo == CB_SERIE) {
    FT_DATUM->setText(CB_SERIE->currentData().toString() == QLatin1String("J") ? QStringLiteral("ab:")
                                                                              : QStringLiteral("am:"));
  } else if (combo == CB_HG) {
    FILLCB_UG();
    if (k == QLatin1String("H") || k == QLatin1String("U")) FILLBB_TERMINE();
  } else if (combo == CB_UG) {
    if (k == QLatin1String("U")) FILLBB_TERMINE();
  } else if (combo == CB_LISTE) {
    SETVORGABEDAT();
    FILLBB_TERMINE();
  }
}

void TAB_TERMINE::BUTTONCLICK(QAbstractButton* control) {
  TAB_TERMINE_FORM::BUTTONCLICK(control);
  if (control == CHB_UHRZEIT) DP_UHRZEIT->setEnabled(CHB_UHRZEIT->isChecked());
}

void TAB_TERMINE::DATETIMESELECTIONCHANGED(QObject* picker) {
  if (picker == DP_DATUMLISTE) FILLBB_TERMINE();
}

void TAB_TERMINE::EDITFOCUSCHANGE() {
  // The year is held to the spinner's range and shown as it is used.
  const int y = year();
  SE_JAHR->setText(QString::number(y));
  VS_JAHR->POSITION(y);
  FILLBB_TERMINE();
}

void TAB_TERMINE::VERTICALSPIN() {
  SE_JAHR->setText(QString::number(VS_JAHR->VALUE()));
  FILLBB_TERMINE();
}

}  // namespace mv
