#pragma once
// The progress window "Bitte warten..." of long operations on the GUI thread. A step call
// lets the message loop handle what is waiting (repaint, the cancel button) on a new
// percentage and otherwise at most every 20 ms, then answers whether the operation may
// go on. The window is application-modal while
// shown, so no other command can run underneath and pull the data from under the
// operation.
//
//   DLGPROGRESS p;                      // owner optional
//   p.setWindowTitle("Kopie...");       // the caption
//   p.CANCEL(false);                    // when the operation cannot be stopped
//   p.COUNT(records);
//   p.SHOW();
//   for (...) if (!p.UPDATE(i)) break;  // false: the user stopped it
//   p.ENDDIALOG();
//
// An operation that runs often keeps its window and calls restart() before showing it
// again: building the window costs more than a short operation itself.
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QWidget>
#include <cstdint>

#include "platform/gui/windows.h"

namespace Ui {
class DLGPROGRESS_FORM;
}

class QLabel;
class QPushButton;

namespace mv {

// A small looping animation of our own: sheets flying from one folder to another.
class ProgressAnimation : public QWidget {
  Q_OBJECT
 public:
  explicit ProgressAnimation(QWidget* parent = nullptr);
  void start();
  void stop();
  bool running() const { return timer_id_ != 0; }
  int frame() const { return frame_; }
  QSize sizeHint() const override { return QSize(272, 56); }

 protected:
  void paintEvent(QPaintEvent* e) override;
  void timerEvent(QTimerEvent* e) override;

 private:
  int timer_id_ = 0;
  int frame_ = 0;
  // The two folders, which stay put, drawn once for the widget's size and device ratio.
  QPixmap folders_;
};

// The bar of the progress window, drawn as a plain frame and a filled part. The styles'
// own bars draw gradients and stripes whose painting costs more than a short search.
class ProgressBar : public QProgressBar {
  Q_OBJECT
 public:
  using QProgressBar::QProgressBar;

 protected:
  void paintEvent(QPaintEvent* e) override;
};

class DLGPROGRESS_FORM : public gui::DIALOGWINDOW {
  Q_OBJECT
 public:
  explicit DLGPROGRESS_FORM(QObject* owner = nullptr);
  ~DLGPROGRESS_FORM() override;

  QLabel* TXTAVI() const;
  QLabel* TXTFEEDBACK() const;
  QLabel* TXTPERCENT() const;
  QProgressBar* BARFEEDBACK() const;
  QPushButton* PSHCANCEL_BUTTON() const;

 protected:
  Ui::DLGPROGRESS_FORM* form_;
};

class DLGPROGRESS : public DLGPROGRESS_FORM {
  Q_OBJECT
 public:
  static constexpr int kEndResult = 99;

  explicit DLGPROGRESS(QObject* owner = nullptr);
  ~DLGPROGRESS() override;

  // false greys the cancel button (and Esc no longer cancels); a later true only stores
  // the value.
  void CANCEL(bool allowed);
  bool cancel_allowed() const { return cancel_allowed_; }
  uint32_t COUNT(uint32_t steps) { count_ = steps; return count_; }
  uint32_t COUNT() const { return count_; }
  void PERCENT(bool on) { percent_shown_ = on; }
  bool PERCENT() const { return percent_shown_; }

  bool UPDATE(uint32_t step, const QString& text);
  bool UPDATE(uint32_t step) { return step_to(step, nullptr); }
  bool UPDATEBAR(uint32_t step) { return step_to(step, nullptr); }
  bool UPDATETEXT(const QString& text);

  bool cancelled() const { return cancelled_; }
  bool ended() const { return ended_; }
  // Makes an ended window ready for the next operation as a new one is: not cancelled,
  // the cancel button allowed, the bar and the percentage at their start, the feedback
  // text `text`, the animation running. Caption and step count are the caller's to set
  // again. (A text that stays the same lets the window keep its layout.)
  void restart(const QString& text = QStringLiteral("..."));
  ProgressAnimation* animation() const { return animation_; }

 public slots:
  // Shows the window centred and application-modal; it does not wait.
  void SHOW() override;
  // The cancel button.
  void PSHCANCEL();
  void ENDDIALOG(int result = kEndResult) override;
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  bool step_to(uint32_t step, const QString* text);
  void process_events();
  void throttled_events();

  uint32_t count_ = 0;
  uint32_t last_percent_ = 0;
  bool cancelled_ = false;
  bool percent_shown_ = true;
  bool cancel_allowed_ = true;
  bool ended_ = false;
  bool sized_ = false;  // laid out once: a shown window keeps its size
  ProgressAnimation* animation_ = nullptr;
  // When messages were last handled (ms of the coarse monotonic clock; -1: never). Steps
  // come once per record: the coarse clock is read in a few nanoseconds where the precise
  // one costs more than many a record, and 20 ms need no finer grain.
  int64_t events_at_ = -1;
};

}  // namespace mv
