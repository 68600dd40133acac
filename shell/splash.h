#pragma once
// The splash window: a popup without caption or border, centred on the screen and kept on
// top, showing the splash picture; its one-shot timer removes it three seconds after it
// was shown (once the message loop runs).
#include <QLabel>

#include "platform/gui/windows.h"

namespace mv {

class SPLASHSCREEN : public gui::DIALOGWINDOW {
  Q_OBJECT
 public:
  explicit SPLASHSCREEN(QObject* owner = nullptr);

  // Shows the window on top, starts its timer of `timer_ms`, lets the window system paint
  // it and then waits `sleep_ms` (start-up keeps it visible for a moment before going on).
  void SHOW() override { show_for(3000, 1000); }
  void show_for(int timer_ms, int sleep_ms);

  QLabel* picture() const { return picture_; }

 public slots:
  // The timer event: the window goes.
  void TIMER();

 private:
  QLabel* picture_ = nullptr;
};

}  // namespace mv
