#include "calendar/window/tab_kalender.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "calendar/core/calendar_state.h"
#include "calendar/core/gui/fillcb_land2.h"
#include "calendar/core/month_arithmetic.h"
#include "calendar/core/regions.h"
#include "calendar/window/kalender_globals.h"
#include "platform/gui/palette.h"
#include "ui_TAB_KALENDER_FORM.h"

namespace mv {

namespace {

void select_value(QComboBox* combo, const QVariant& value) {
  const int i = combo->findData(value);
  if (i >= 0) combo->setCurrentIndex(i);
}

}  // namespace

TAB_KALENDER_FORM::TAB_KALENDER_FORM(QWidget* owner) : STD_DATAWINDOW(owner), form_(new Ui::TAB_KALENDER_FORM) {
  form_->setupUi(this);
  setObjectName(QStringLiteral("TAB_KALENDER"));
  gui::set_page_colour(this, QColor(176, 196, 222));

  MONTHCALENDAR1 = form_->MONTHCALENDAR1;
  MONTHCALENDAR2 = form_->MONTHCALENDAR2;
  SE_DIFFERENZ1 = form_->SE_DIFFERENZ1;
  CB_WERT1 = form_->CB_WERT1;
  DATEPICKER1 = form_->DATEPICKER1;
  DATEPICKER2 = form_->DATEPICKER2;
  FT_TAG2 = form_->FT_TAG2;
  FT_TAG1 = form_->FT_TAG1;
  FT_DIFF1 = form_->FT_DIFF1;
  PB_SETDATUM = form_->PB_SETDATUM;
  CB_LAND2 = form_->CB_LAND2;
  CB_LAND1 = form_->CB_LAND1;
  FT_FEIERTAG = form_->FT_FEIERTAG;
  CB_FTMONAT2 = form_->CB_FTMONAT2;
  CB_FTMONAT1 = form_->CB_FTMONAT1;
  grid_ = form_->calendars;
  for (QLabel* l : {FT_FEIERTAG, FT_TAG1, FT_TAG2}) {
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, gui::predefined_color(gui::kColorBlue));
    l->setPalette(p);
  }
  // The difference: a count of up to six digits, negative with a leading "-".
  SE_DIFFERENZ1->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?[0-9]{0,6}")), SE_DIFFERENZ1));
}

TAB_KALENDER_FORM::~TAB_KALENDER_FORM() { delete form_; }

int TAB_KALENDER::rows_for(int h) { return h < 495 ? 1 : h < 640 ? 2 : h < 765 ? 3 : 4; }

int TAB_KALENDER::columns_for(int w, int rows) {
  if (w < 634) return 1;
  if (w < 827) return 2;
  if (w < 1020) return 3;
  return rows < 4 ? 4 : 3;
}

TAB_KALENDER::TAB_KALENDER(QWidget* owner) : TAB_KALENDER_FORM(owner) {
  const QSize window = owner ? owner->size() : QSize();
  const int rows = rows_for(window.height());
  const int columns = columns_for(window.width(), rows);
  MONTHCALENDAR1->set_grid(rows, columns);
  grid_->setColumnStretch(0, columns);
  grid_->setColumnStretch(1, 1);

  const QDate today = QDate::currentDate();
  MONTHCALENDAR1->SELECTION(today);
  MONTHCALENDAR2->SELECTION(to_qdate(MONATBOF(ADDMONTH(to_date(today), rows * columns))));

  for (const RegionEntry& c : country_list()) CB_LAND1->addItem(qstr(std::string(c.text)), qstr(std::string(c.code)));
  CB_WERT1->addItem(QStringLiteral("Kalendertage"), QStringLiteral("KT"));
  CB_WERT1->addItem(QStringLiteral("Arbeitstage"), QStringLiteral("AT"));
  CB_WERT1->addItem(QStringLiteral("Zinstage (360)"), QStringLiteral("ZT"));
  CB_WERT1->setCurrentIndex(0);
  select_codes();
  FEIERTAGLISTE = FEIERTAGGESETZ(uint32_t(today.year()), LANDCODE, REGIONCODE);

  connect(MONTHCALENDAR1, &gui::MONTHCALENDAR::selection_changed, this, &TAB_KALENDER::MONTHCALSELECTIONCHANGED);
  connect(MONTHCALENDAR2, &gui::MONTHCALENDAR::selection_changed, this, &TAB_KALENDER::MONTHCALSELECTIONCHANGED);
  connect(DATEPICKER1, &gui::DATETIMEPICKER::selection_changed, this, &TAB_KALENDER::DATETIMESELECTIONCHANGED);
  connect(DATEPICKER2, &gui::DATETIMEPICKER::selection_changed, this, &TAB_KALENDER::DATETIMESELECTIONCHANGED);
  for (QComboBox* c : {static_cast<QComboBox*>(CB_LAND1), static_cast<QComboBox*>(CB_LAND2), CB_WERT1,
                       CB_FTMONAT1, CB_FTMONAT2})
    connect(c, &QComboBox::activated, this, [this, c] { LISTBOXSELECT(c); });
  connect(PB_SETDATUM, &QPushButton::clicked, this, &TAB_KALENDER::PB_SETDATUM_CLICKED);
  SETDATEDIFF();
}

void TAB_KALENDER::select_codes() {
  const QSignalBlocker b1(CB_LAND1), b2(CB_LAND2);
  select_value(CB_LAND1, qstr(LANDCODE));
  FILLCB_LAND2(*CB_LAND2);
  select_value(CB_LAND2, qstr(REGIONCODE));
  // A stored region the country does not offer gives way to the entry the combo shows.
  if (CB_LAND2->currentIndex() >= 0) REGIONCODE = CB_LAND2->currentData().toString().toStdString();
}

HolidayYears& TAB_KALENDER::holidays() {
  if (!holidays_ || holidays_->land() != LANDCODE || holidays_->region() != REGIONCODE)
    holidays_ = std::make_unique<HolidayYears>(LANDCODE, REGIONCODE);
  return *holidays_;
}

void TAB_KALENDER::SHOW() {
  STD_DATAWINDOW::SHOW();
  // The holiday page may have chosen other codes: the combos show them, so the counts
  // below are those of what the page shows.
  select_codes();
  SETDATEDIFF();
}

void TAB_KALENDER::SETDATEDIFF() { refresh(false); }

void TAB_KALENDER::refresh(bool keep_difference) {
  const QDate d1 = MONTHCALENDAR1->SELECTION();
  const QDate d2 = MONTHCALENDAR2->SELECTION();
  auto tag = [](const QDate& d) {
    return QStringLiteral("Feiertage im ") + month_name(d.month()) + QStringLiteral(" ") + QString::number(d.year());
  };
  FT_TAG1->setText(tag(d1));
  FT_TAG2->setText(tag(d2));
  FT_DIFF1->setText(QStringLiteral("vom ") + date_text(d1) + QStringLiteral(" bis ") + date_text(d2));
  if (!keep_difference) {
    const QString kind = CB_WERT1->currentData().toString();
    QString diff = QStringLiteral("  ?");
    if (kind == QLatin1String("KT")) diff = QString::number(d1.daysTo(d2));
    else if (kind == QLatin1String("AT")) diff = QString::number(ARBTAGDIFF(to_date(d2), to_date(d1), holidays()));
    else if (kind == QLatin1String("ZT")) diff = QString::number(ZINSTAGE(to_date(d2), to_date(d1)));
    SE_DIFFERENZ1->setText(diff);
  }
  DATEPICKER1->SELECTEDDATE(d1);
  DATEPICKER2->SELECTEDDATE(d2);
  FILLCB_FTMONAT(CB_FTMONAT1, d1);
  FILLCB_FTMONAT(CB_FTMONAT2, d2);
}

void TAB_KALENDER::FILLCB_FTMONAT(QComboBox* combo, const QDate& date) {
  if (!date.isValid()) return;
  if (FEIERTAGLISTE.empty() || FEIERTAGLISTE.front().date.year() != date.year())
    FEIERTAGLISTE = FEIERTAGGESETZ(uint32_t(date.year()), LANDCODE, REGIONCODE);
  const QSignalBlocker quiet(combo);
  combo->clear();
  bool holiday = false;
  for (const HolidayRow& r : FEIERTAGLISTE) {
    const QDate d = to_qdate(r.date);
    if (d.year() != date.year() || d.month() != date.month()) continue;
    combo->addItem(date_text(d) + QStringLiteral(" ") + qstr(r.name), d);
    if (d == date) holiday = true;
  }
  if (combo->count() == 0) {
    combo->addItem(QStringLiteral("keine Feiertage"), QDate());
  } else if (!holiday) {
    combo->addItem(date_text(date) + QStringLiteral(" ist kein Feiertag"), date);
  }
  if (combo->count() == 1) combo->setCurrentIndex(0);
  else select_value(combo, date);
}

void TAB_KALENDER::PB_SETDATUM_CLICKED() {
  bool ok = false;
  const qlonglong n = SE_DIFFERENZ1->text().trimmed().toLongLong(&ok);
  const int64_t count = ok ? n : 0;
  const QDate d1 = MONTHCALENDAR1->SELECTION();
  const QString kind = CB_WERT1->currentData().toString();
  QDate result = d1;
  if (kind == QLatin1String("KT")) result = d1.addDays(count);
  else if (kind == QLatin1String("AT")) result = to_qdate(step_working_days(to_date(d1), count, holidays()));
  else if (kind == QLatin1String("ZT")) result = to_qdate(step_interest_days(to_date(d1), count));
  if (!result.isValid() || result.year() < 1752 || result.year() > 9999) return;
  MONTHCALENDAR2->SELECTION(result);
  MONTHCALENDAR2->setFocus();
  // The typed count stays; everything else follows the new date.
  refresh(true);
}

void TAB_KALENDER::LISTBOXSELECT(QComboBox* combo) {
  if (combo == CB_LAND1) {
    LANDCODE = CB_LAND1->currentData().toString().toStdString();
    FILLCB_LAND2(*CB_LAND2);
    CB_LAND2->setCurrentIndex(0);
    REGIONCODE = CB_LAND2->currentData().toString().toStdString();
    FEIERTAGLISTE = FEIERTAGGESETZ(uint32_t(MONTHCALENDAR2->SELECTION().year()), LANDCODE, REGIONCODE);
  } else if (combo == CB_LAND2) {
    REGIONCODE = CB_LAND2->currentData().toString().toStdString();
    FEIERTAGLISTE = FEIERTAGGESETZ(uint32_t(MONTHCALENDAR2->SELECTION().year()), LANDCODE, REGIONCODE);
  } else if (combo == CB_FTMONAT1 || combo == CB_FTMONAT2) {
    const QDate d = combo->currentData().toDate();
    // "keine Feiertage" carries no date and moves no calendar.
    if (d.isValid()) {
      gui::MONTHCALENDAR* cal = combo == CB_FTMONAT1 ? MONTHCALENDAR1 : MONTHCALENDAR2;
      cal->SELECTION(d);
      cal->setFocus();
    }
  }
  SETDATEDIFF();
}

void TAB_KALENDER::MONTHCALSELECTIONCHANGED() { SETDATEDIFF(); }

void TAB_KALENDER::DATETIMESELECTIONCHANGED() {
  MONTHCALENDAR1->SELECTION(DATEPICKER1->SELECTEDDATE());
  MONTHCALENDAR2->SELECTION(DATEPICKER2->SELECTEDDATE());
  SETDATEDIFF();
}

}  // namespace mv
