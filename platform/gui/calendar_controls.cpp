#include "platform/gui/calendar_controls.h"

#include <QCalendarWidget>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QLocale>
#include <QSignalBlocker>
#include <QTextCharFormat>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace mv::gui {

namespace {

QDate month_start(const QDate& d) { return QDate(d.year(), d.month(), 1); }

HYPERLINK::Opener& opener_slot() {
  static HYPERLINK::Opener o;
  return o;
}

STANDARDFOLDERDIALOG::Chooser& chooser_slot() {
  static STANDARDFOLDERDIALOG::Chooser c;
  return c;
}

}  // namespace

// ------------------------------------------------------------------ MONTHCALENDAR

MONTHCALENDAR::MONTHCALENDAR(QWidget* parent) : QWidget(parent) {
  grid_ = new QGridLayout(this);
  grid_->setContentsMargins(0, 0, 0, 0);
  grid_->setSpacing(4);
  selection_ = QDate::currentDate();
  first_ = month_start(selection_);
  build();
}

void MONTHCALENDAR::set_grid(int rows, int columns) {
  rows_ = std::max(1, rows);
  columns_ = std::max(1, columns);
  build();
}

void MONTHCALENDAR::build() {
  for (QCalendarWidget* w : sheets_) delete w;
  sheets_.clear();
  const QLocale german(QLocale::German, QLocale::Germany);
  for (int r = 0; r < rows_; ++r) {
    for (int c = 0; c < columns_; ++c) {
      auto* cal = new QCalendarWidget(this);
      const int index = int(sheets_.size());
      cal->setObjectName(QStringLiteral("sheet%1").arg(index));
      cal->setLocale(german);
      cal->setFirstDayOfWeek(Qt::Monday);
      cal->setVerticalHeaderFormat(QCalendarWidget::ISOWeekNumbers);
      cal->setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
      cal->setGridVisible(false);
      cal->setDateEditEnabled(false);
      // Only the first sheet pages; the others follow it.
      cal->setNavigationBarVisible(true);
      connect(cal, &QCalendarWidget::clicked, this, [this, index](const QDate& d) { user_clicked(index, d); });
      connect(cal, &QCalendarWidget::activated, this, [this, index](const QDate& d) { user_clicked(index, d); });
      connect(cal, &QCalendarWidget::currentPageChanged, this,
              [this, index](int y, int m) { user_paged(index, y, m); });
      grid_->addWidget(cal, r, c);
      sheets_.push_back(cal);
    }
  }
  show_from(first_);
}

void MONTHCALENDAR::show_from(QDate first_month) {
  first_ = month_start(first_month);
  quiet_ = true;
  for (size_t i = 0; i < sheets_.size(); ++i) {
    const QDate m = first_.addMonths(int(i));
    QCalendarWidget* cal = sheets_[i];
    const QSignalBlocker b(cal);
    // A sheet without the selection selects a day three months away, which its six weeks
    // never show, so it marks no day while its page stays on its own month.
    const bool here = selection_.isValid() && month_start(selection_) == m;
    cal->setSelectedDate(here ? selection_ : m.addMonths(3));
    cal->setCurrentPage(m.year(), m.month());
  }
  quiet_ = false;
}

void MONTHCALENDAR::SELECTION(const QDate& date) {
  if (!date.isValid()) return;
  selection_ = date;
  const QDate m = month_start(date);
  const QDate last = first_.addMonths(int(sheets_.size()) - 1);
  show_from(m < first_ || m > last ? m : first_);
}

void MONTHCALENDAR::user_clicked(int sheet, const QDate& date) {
  if (quiet_ || !date.isValid()) return;
  // A day of a neighbouring month shown greyed on a sheet pages there like the arrows.
  selection_ = date;
  const QDate m = month_start(date);
  const QDate own = first_.addMonths(sheet);
  const QDate last = first_.addMonths(int(sheets_.size()) - 1);
  QDate first = first_;
  if (m != own && (m < first_ || m > last)) first = m < first_ ? m : m.addMonths(1 - int(sheets_.size()));
  show_from(first);
  emit selection_changed(date);
}

void MONTHCALENDAR::user_paged(int sheet, int year, int month) {
  if (quiet_) return;
  show_from(QDate(year, month, 1).addMonths(-sheet));
}

// ------------------------------------------------------------------ DATETIMEPICKER

DATETIMEPICKER::DATETIMEPICKER(Kind kind, QWidget* parent) : QDateTimeEdit(parent), kind_(kind) {
  setLocale(QLocale(QLocale::German, QLocale::Germany));
  setCalendarPopup(false);  // spin buttons
  if (kind == Kind::Date) {
    setDisplayFormat(QStringLiteral("dddd, d. MMMM yyyy"));
    setDate(QDate::currentDate());
    setMinimumDate(QDate(1752, 1, 1));
    setMaximumDate(QDate(9999, 12, 31));
  } else {
    setDisplayFormat(QStringLiteral("HH:mm:ss"));
    setTime(QTime(12, 0, 0));
  }
  connect(this, &QDateTimeEdit::dateTimeChanged, this, [this] {
    if (!quiet_) emit selection_changed();
  });
}

void DATETIMEPICKER::SELECTEDDATE(const QDate& d) {
  if (!d.isValid()) return;
  quiet_ = true;
  setDate(d);
  quiet_ = false;
}

void DATETIMEPICKER::SELECTEDTIME(const QTime& t) {
  if (!t.isValid()) return;
  quiet_ = true;
  setTime(t);
  quiet_ = false;
}

// ------------------------------------------------------------------ VERTICALSPINNER

VERTICALSPINNER::VERTICALSPINNER(QWidget* parent) : QWidget(parent) {
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->setSpacing(0);
  up_ = new QToolButton(this);
  up_->setArrowType(Qt::UpArrow);
  up_->setAutoRepeat(true);
  down_ = new QToolButton(this);
  down_->setArrowType(Qt::DownArrow);
  down_->setAutoRepeat(true);
  for (QToolButton* b : {up_, down_}) {
    b->setFocusPolicy(Qt::NoFocus);
    b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    b->setFixedWidth(18);
    lay->addWidget(b);
  }
  connect(up_, &QToolButton::clicked, this, [this] { step(+1); });
  connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
}

void VERTICALSPINNER::RANGE(int low, int high) {
  low_ = std::min(low, high);
  high_ = std::max(low, high);
  position_ = std::clamp(position_, low_, high_);
}

void VERTICALSPINNER::POSITION(int position) { position_ = std::clamp(position, low_, high_); }

void VERTICALSPINNER::step(int direction) {
  position_ = std::clamp(position_ + (direction > 0 ? 1 : -1), low_, high_);
  emit spun(position_);
}

// ------------------------------------------------------------------ HYPERLINK

HYPERLINK::HYPERLINK(const QString& text, const QString& target, QWidget* parent)
    : QLabel(parent), target_(target) {
  setTextFormat(Qt::RichText);
  setText(QStringLiteral("<a href=\"link\">%1</a>").arg(text.toHtmlEscaped()));
  setOpenExternalLinks(false);
  setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  setCursor(Qt::PointingHandCursor);
  connect(this, &QLabel::linkActivated, this, [this] { OPENLINK(); });
}

bool HYPERLINK::OPENLINK() {
  if (opener_slot()) return opener_slot()(target_);
  const QUrl url = target_.contains(QLatin1String("://")) || target_.startsWith(QLatin1String("mailto:"))
                       ? QUrl(target_)
                       : QUrl::fromLocalFile(target_);
  return QDesktopServices::openUrl(url);
}

void HYPERLINK::set_opener(Opener opener) { opener_slot() = std::move(opener); }

// ------------------------------------------------------------------ STANDARDFOLDERDIALOG

STANDARDFOLDERDIALOG::STANDARDFOLDERDIALOG(QWidget* owner, const QString& caption, const QString& start)
    : owner_(owner), caption_(caption), start_(start) {}

void STANDARDFOLDERDIALOG::SHOW() {
  if (chooser_slot()) {
    folder_ = chooser_slot()(owner_, caption_, start_);
    return;
  }
  folder_ = QFileDialog::getExistingDirectory(owner_, caption_, start_,
                                              QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
}

void STANDARDFOLDERDIALOG::set_chooser(Chooser chooser) { chooser_slot() = std::move(chooser); }

}  // namespace mv::gui
