#include "components/dlgprogress.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimerEvent>
#include <algorithm>
#include <ctime>

#include "platform/gui/application.h"
#include "ui_DLGPROGRESS_FORM.h"

namespace mv {

// Animation

ProgressAnimation::ProgressAnimation(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TranslucentBackground);
}

void ProgressAnimation::start() {
  if (!timer_id_) timer_id_ = startTimer(60);
}

void ProgressAnimation::stop() {
  if (timer_id_) killTimer(timer_id_);
  timer_id_ = 0;
}

void ProgressAnimation::timerEvent(QTimerEvent* e) {
  if (e->timerId() != timer_id_) return QWidget::timerEvent(e);
  frame_ = (frame_ + 1) % 24;
  update();
}

void ProgressAnimation::paintEvent(QPaintEvent*) {
  const int h = height();
  const int folder_w = std::min(56, width() / 5);
  const int folder_h = std::min(40, h - 8);
  const int y = (h - folder_h) / 2;
  const QRect left(8, y, folder_w, folder_h);
  const QRect right(width() - 8 - folder_w, y, folder_w, folder_h);
  // Each frame moves only the sheet: the folders come from a picture drawn once.
  const qreal ratio = devicePixelRatioF();
  if (folders_.isNull() || folders_.size() != size() * ratio || folders_.devicePixelRatio() != ratio) {
    folders_ = QPixmap(size() * ratio);
    folders_.setDevicePixelRatio(ratio);
    folders_.fill(Qt::transparent);
    QPainter f(&folders_);
    f.setRenderHint(QPainter::Antialiasing);
    const QColor folder(236, 196, 84);
    const QColor edge(150, 110, 30);
    for (const QRect& r : {left, right}) {
      f.setPen(edge);
      f.setBrush(folder);
      f.drawRect(r.adjusted(0, 6, 0, 0));
      f.drawRect(QRect(r.left(), r.top(), r.width() / 2, 8));
    }
  }
  QPainter p(this);
  p.drawPixmap(0, 0, folders_);
  p.setRenderHint(QPainter::Antialiasing);
  // One sheet on an arc from the left folder to the right one.
  const double t = frame_ / 23.0;
  const double x0 = left.center().x();
  const double x1 = right.center().x();
  const double x = x0 + (x1 - x0) * t;
  const double arc = 4.0 * t * (1.0 - t);  // 0 .. 1 .. 0
  const double sy = y + folder_h / 2.0 - arc * (folder_h / 2.0 + 2);
  p.setPen(QColor(90, 90, 90));
  p.setBrush(Qt::white);
  p.save();
  p.translate(x, sy);
  p.rotate(-20 + 40 * t);
  p.drawRect(QRectF(-8, -10, 16, 20));
  p.setPen(QColor(140, 140, 200));
  for (int i = 0; i < 3; ++i) p.drawLine(QPointF(-5, -5 + 5 * i), QPointF(5, -5 + 5 * i));
  p.restore();
}

// Bar

void ProgressBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette& pal = palette();
  const QRect r = rect().adjusted(0, 0, -1, -1);
  p.setPen(pal.color(QPalette::Mid));
  p.setBrush(pal.color(QPalette::Base));
  p.drawRect(r);
  const int span = maximum() - minimum() + 1;
  if (span <= 0 || value() < minimum()) return;
  // Range 1 .. 100: the value is the filled share in percent, as the text beside says.
  const QRect inner = r.adjusted(1, 1, 0, 0);
  const int w = int(int64_t(inner.width()) * (value() - minimum() + 1) / span);
  if (w > 0) p.fillRect(QRect(inner.left(), inner.top(), w, inner.height()), pal.color(QPalette::Highlight));
}

// Form

DLGPROGRESS_FORM::DLGPROGRESS_FORM(QObject* owner)
    : gui::DIALOGWINDOW(owner, false), form_(new Ui::DLGPROGRESS_FORM) {
  form_->setupUi(this);
  bind_controls();
}

DLGPROGRESS_FORM::~DLGPROGRESS_FORM() { delete form_; }

QLabel* DLGPROGRESS_FORM::TXTAVI() const { return form_->TXTAVI; }
QLabel* DLGPROGRESS_FORM::TXTFEEDBACK() const { return form_->TXTFEEDBACK; }
QLabel* DLGPROGRESS_FORM::TXTPERCENT() const { return form_->TXTPERCENT; }
QProgressBar* DLGPROGRESS_FORM::BARFEEDBACK() const { return form_->BARFEEDBACK; }
QPushButton* DLGPROGRESS_FORM::PSHCANCEL_BUTTON() const { return form_->PSHCANCEL; }

// Window

DLGPROGRESS::DLGPROGRESS(QObject* owner) : DLGPROGRESS_FORM(owner) {
  setWindowModality(Qt::ApplicationModal);
  form_->BARFEEDBACK->setRange(1, 100);
  // The animation takes the place of the placeholder text.
  animation_ = new ProgressAnimation(this);
  animation_->setObjectName(QStringLiteral("ANIMATION"));
  animation_->setMinimumSize(form_->TXTAVI->minimumSize());
  // The layout hands back the placeholder's item, which is ours to delete.
  delete form_->layout->replaceWidget(form_->TXTAVI, animation_);
  form_->TXTAVI->hide();
  animation_->show();
  animation_->start();
}

DLGPROGRESS::~DLGPROGRESS() = default;

void DLGPROGRESS::CANCEL(bool allowed) {
  cancel_allowed_ = allowed;
  if (!allowed) form_->PSHCANCEL->setEnabled(false);
}

void DLGPROGRESS::restart(const QString& text) {
  cancelled_ = false;
  ended_ = false;
  cancel_allowed_ = true;
  result_ = 0;
  count_ = 0;
  last_percent_ = 0;
  events_at_ = -1;
  form_->PSHCANCEL->setEnabled(true);
  form_->BARFEEDBACK->setValue(form_->BARFEEDBACK->minimum());
  form_->TXTFEEDBACK->setText(text);
  form_->TXTPERCENT->setText(QStringLiteral("1 %"));
  animation_->start();
}

void DLGPROGRESS::SHOW() {
  // The first showing lays the window out; later ones keep that size (a layout pass
  // costs as much as the rest of the showing).
  if (!sized_) adjustSize();
  sized_ = true;
  if (QWidget* o = qobject_cast<QWidget*>(owner()); o && o->isVisible()) {
    const QRect r = o->window()->frameGeometry();
    move(r.center() - QPoint(width() / 2, height() / 2));
  } else if (QScreen* s = QGuiApplication::primaryScreen()) {
    const QRect r = s->availableGeometry();
    move(r.center() - QPoint(width() / 2, height() / 2));
  }
  show();
  // The offscreen platform has no stacking order and writes a warning for every raise.
  static const bool stacking = QGuiApplication::platformName() != QLatin1String("offscreen");
  if (stacking) raise();
}

bool DLGPROGRESS::step_to(uint32_t step, const QString* text) {
  // A step count of 0 means there is nothing to do: the operation is complete.
  uint64_t pos = count_ == 0 ? 100 : uint64_t(step) * 100 / count_;
  pos = std::clamp<uint64_t>(pos, 1, 100);
  const bool new_percent = pos != last_percent_;
  form_->BARFEEDBACK->setValue(int(pos));
  const uint32_t shown = uint32_t(form_->BARFEEDBACK->value());
  if (shown != last_percent_) {
    last_percent_ = std::min<uint32_t>(shown, 100);
    if (text) form_->TXTFEEDBACK->setText(*text);
    if (percent_shown_) form_->TXTPERCENT->setText(QString::number(last_percent_) + QStringLiteral(" %"));
  }
  // Waiting messages are handled on a new percentage, else at most every 20 ms: a step
  // per record must not cost the operation more than the record itself. They come after
  // the texts are set, so what is drawn is the step now.
  if (new_percent) process_events();
  else throttled_events();
  return !cancelled_;
}

namespace {

int64_t coarse_ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

void DLGPROGRESS::process_events() {
  events_at_ = coarse_ms();
  gui::process_pending_events();
}

void DLGPROGRESS::throttled_events() {
  if (events_at_ < 0 || coarse_ms() - events_at_ >= 20) process_events();
}

bool DLGPROGRESS::UPDATE(uint32_t step, const QString& text) { return step_to(step, &text); }

bool DLGPROGRESS::UPDATETEXT(const QString& text) {
  throttled_events();
  form_->TXTFEEDBACK->setText(text);
  return !cancelled_;
}

void DLGPROGRESS::PSHCANCEL() {
  if (form_->PSHCANCEL->isEnabled()) cancelled_ = true;
}

// Esc: only an operation that may be cancelled stops; the window stays until ENDDIALOG.
void DLGPROGRESS::reject() {
  if (form_->PSHCANCEL->isEnabled()) cancelled_ = true;
}

void DLGPROGRESS::closeEvent(QCloseEvent* e) {
  if (ended_) {
    e->accept();
    return;
  }
  e->ignore();
  reject();
}

void DLGPROGRESS::ENDDIALOG(int result) {
  if (ended_) return;
  ended_ = true;
  animation_->stop();
  result_ = result;
  // Hidden, not closed: closing would also destroy the native window, which a window
  // shown again would have to build anew.
  setResult(result);
  hide();
  emit finished(result);
}

}  // namespace mv
