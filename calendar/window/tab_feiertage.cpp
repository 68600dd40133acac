#include "calendar/window/tab_feiertage.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QVBoxLayout>

#include "calendar/core/calendar_state.h"
#include "calendar/core/gui/fillcb_land2.h"
#include "calendar/core/holidays.h"
#include "calendar/core/report/rptgridarrayserver.h"
#include "calendar/core/regions.h"
#include "calendar/window/kalender_globals.h"
#include "platform/gui/palette.h"
#include "ui_TAB_FEIERTAGE_FORM.h"

namespace mv {

namespace {

void paint_blue(QLabel* l) {
  QPalette p = l->palette();
  p.setColor(QPalette::WindowText, gui::predefined_color(gui::kColorBlue));
  l->setPalette(p);
}

void select_value(QComboBox* combo, const QVariant& value) {
  const int i = combo->findData(value);
  if (i >= 0) combo->setCurrentIndex(i);
}

}  // namespace

TAB_FEIERTAGE_FORM::TAB_FEIERTAGE_FORM(QWidget* owner) : STD_DATAWINDOW(owner), form_(new Ui::TAB_FEIERTAGE_FORM) {
  form_->setupUi(this);
  setObjectName(QStringLiteral("TAB_FEIERTAGE"));
  gui::set_page_colour(this, QColor(255, 150, 128));

  BB_FEIERTAG = form_->BB_FEIERTAG;
  CB_LAND2 = form_->CB_LAND2;
  CB_LAND1 = form_->CB_LAND1;
  FT_FEIERTAG = form_->FT_FEIERTAG;
  VS_JAHR = form_->VS_JAHR;
  SE_JAHR = form_->SE_JAHR;
  FT_LAND = form_->FT_LAND;
  FT_BEMERKUNG = form_->FT_BEMERKUNG;
  PB_DRUCK = form_->PB_DRUCK;
  CB_FTLAND = form_->CB_FTLAND;
  for (QLabel* l : {FT_FEIERTAG, FT_LAND, FT_BEMERKUNG}) paint_blue(l);
  VS_JAHR->RANGE(kFirstYear, kLastYear);
  SE_JAHR->setValidator(new QIntValidator(0, 9999, SE_JAHR));
  SE_JAHR->setFixedWidth(SE_JAHR->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);

  dress_list_grid(BB_FEIERTAG, QColor(255, 180, 150));
}

TAB_FEIERTAGE_FORM::~TAB_FEIERTAGE_FORM() { delete form_; }

TAB_FEIERTAGE::TAB_FEIERTAGE(QWidget* owner) : TAB_FEIERTAGE_FORM(owner) {
  const int this_year = QDate::currentDate().year();
  SE_JAHR->setText(QString::number(this_year).rightJustified(4, QLatin1Char(' ')));
  VS_JAHR->POSITION(this_year);
  for (const RegionEntry& c : country_list()) CB_LAND1->addItem(qstr(std::string(c.text)), qstr(std::string(c.code)));
  select_value(CB_LAND1, qstr(LANDCODE));
  FILLCB_LAND2(*CB_LAND2);
  select_value(CB_LAND2, qstr(REGIONCODE));

  server_ = new grid::GRIDARRAYSERVER(this);
  server_->set_structure({{QStringLiteral("Feiertag"), 'C', 20, 0},
                          {QStringLiteral("Datum"), 'D', 10, 0},
                          {QStringLiteral("Bemerkung"), 'C', 28, 0}});
  server_->add_column(grid::GridColumn::on_field(1, QStringLiteral("FEIERTAG"), QStringLiteral("Feiertag"), 'C', 20 * 8 + 8));
  server_->add_column(grid::GridColumn::on_field(2, QStringLiteral("DATUM"), QStringLiteral("Datum"), 'D', 10 * 8 + 8));
  server_->add_column(grid::GridColumn::on_field(3, QStringLiteral("BEMERKUNG"), QStringLiteral("Bemerkung"), 'C', 28 * 8 + 8));
  BB_FEIERTAG->set_server(server_);

  for (QComboBox* c : {static_cast<QComboBox*>(CB_LAND1), static_cast<QComboBox*>(CB_LAND2),
                       static_cast<QComboBox*>(CB_FTLAND)})
    connect(c, &QComboBox::activated, this, [this, c] { LISTBOXSELECT(c); });
  connect(VS_JAHR, &gui::VERTICALSPINNER::spun, this, &TAB_FEIERTAGE::VERTICALSPIN);
  connect(BB_FEIERTAG, &grid::GRIDBROWSER::cell_selected, this, &TAB_FEIERTAGE::CELLSELECT);
  SE_JAHR->installEventFilter(this);
  PB_DRUCK->setEnabled(true);
  connect(PB_DRUCK, &QPushButton::clicked, this, [this] { FILEREPORT(true); });
  connect(SE_JAHR, &QLineEdit::returnPressed, this, &TAB_FEIERTAGE::EDITFOCUSCHANGE);
  FILLBB_FEIERTAG();
}

bool TAB_FEIERTAGE::eventFilter(QObject* watched, QEvent* event) {
  if (watched == SE_JAHR && event->type() == QEvent::FocusOut) EDITFOCUSCHANGE();
  return TAB_FEIERTAGE_FORM::eventFilter(watched, event);
}

int TAB_FEIERTAGE::year() const {
  bool ok = false;
  const int y = SE_JAHR->text().trimmed().toInt(&ok);
  return std::clamp(ok ? y : kFirstYear, kFirstYear, kLastYear);
}

void TAB_FEIERTAGE::FILLBB_FEIERTAG() {
  LANDCODE = CB_LAND1->currentData().toString().toStdString();
  REGIONCODE = CB_LAND2->currentData().toString().toStdString();
  FEIERTAGLISTE = FEIERTAGGESETZ(uint32_t(year()), LANDCODE, REGIONCODE);
  QVector<QVariantList> rows;
  rows.reserve(qsizetype(FEIERTAGLISTE.size()));
  int regional = 0;
  for (const HolidayRow& r : FEIERTAGLISTE) {
    rows.push_back({qstr(r.name), to_qdate(r.date), qstr(r.kind)});
    if (r.region_index > 0) ++regional;
  }
  server_->set_rows(std::move(rows));
  const QString place = CB_LAND2->currentText().left(4) == QLatin1String("alle") ? CB_LAND1->currentText()
                                                                                : CB_LAND2->currentText();
  FT_BEMERKUNG->setText(QStringLiteral("in ") + place + QStringLiteral(" gibt es ") +
                        QString::number(FEIERTAGLISTE.size()) + QStringLiteral(" gesetzliche Feiertage") +
                        QStringLiteral(", davon ") + QString::number(regional) + QStringLiteral(" regionale"));
}

void TAB_FEIERTAGE::FILLCB_FTLAND() {
  const int row = server_->current_row();
  const QSignalBlocker quiet(CB_FTLAND);
  CB_FTLAND->clear();
  if (row < 0 || row >= int(FEIERTAGLISTE.size())) return;
  const QString remark = server_->value(row, 3).toString().trimmed();
  if (!remark.startsWith(QLatin1String("reg"))) {
    CB_FTLAND->addItem(LANDCODE == "D" ? QStringLiteral("alle Bundesländer") : QStringLiteral("alle Länder"));
  } else {
    const int k = FEIERTAGLISTE[size_t(row)].region_index;
    for (int i = 1; i < CB_LAND2->count(); ++i) {
      const QString code = CB_LAND2->itemData(i).toString();
      if (k >= 1 && k <= code.size() && code[k - 1] >= QLatin1Char('1')) CB_FTLAND->addItem(CB_LAND2->itemText(i));
    }
  }
  if (CB_FTLAND->count() > 0) CB_FTLAND->setCurrentIndex(0);
}

void TAB_FEIERTAGE::SHOW() {
  STD_DATAWINDOW::SHOW();
  LANDCODE = CB_LAND1->currentData().toString().toStdString();
  REGIONCODE = CB_LAND2->currentData().toString().toStdString();
  FEIERTAGLISTE = FEIERTAGGESETZ(uint32_t(year()), LANDCODE, REGIONCODE);
}

void TAB_FEIERTAGE::LISTBOXSELECT(QComboBox* combo) {
  if (combo == CB_LAND1) {
    LANDCODE = CB_LAND1->currentData().toString().toStdString();
    FILLCB_LAND2(*CB_LAND2);
    CB_LAND2->setCurrentIndex(0);
    REGIONCODE = CB_LAND2->currentData().toString().toStdString();
    FILLBB_FEIERTAG();
  } else if (combo == CB_LAND2) {
    REGIONCODE = CB_LAND2->currentData().toString().toStdString();
    FILLBB_FEIERTAG();
  }
}

void TAB_FEIERTAGE::EDITFOCUSCHANGE() {
  // A typed year is held to the spinner's range and shown as it is used.
  const int y = year();
  SE_JAHR->setText(QString::number(y));
  VS_JAHR->POSITION(y);
  FILLBB_FEIERTAG();
}

void TAB_FEIERTAGE::VERTICALSPIN() {
  SE_JAHR->setText(QString::number(VS_JAHR->VALUE()).rightJustified(4, QLatin1Char(' ')));
  FILLBB_FEIERTAG();
}

void TAB_FEIERTAGE::FILEREPORT(bool preview) {
  const QString title = QStringLiteral("Feiertage für ") + SE_JAHR->text() + QStringLiteral(" ") +
                        CB_LAND1->currentText() + QStringLiteral(" / ") + CB_LAND2->currentText();
  // Creating the list runs the whole job.
  const kalender::RPTGRIDARRAYSERVER list(this, preview, BB_FEIERTAG, title, QString(), 9, false, false, true, false);
}

void TAB_FEIERTAGE::CELLSELECT() {
  const int row = server_->current_row();
  if (server_->rowCount() > 0 && row >= 0)
    FT_LAND->setText(server_->value(row, 1).toString().trimmed() + QStringLiteral(" gilt für:"));
  FILLCB_FTLAND();
}

}  // namespace mv
