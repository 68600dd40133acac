#pragma once
// The application object. A program derives from APP and puts its start-up into START,
// which runs the message loop (exec_loop) itself and returns the process's exit code.
#include <QApplication>

namespace mv::gui {

class APP : public QApplication {
  Q_OBJECT
 public:
  APP(int& argc, char** argv);
  // The program's start routine; called once by run(). The default just runs the loop.
  virtual int START();
  int run() { return START(); }
  // The message loop; returns when the last window has closed or quit() was called.
  int exec_loop() { return QApplication::exec(); }
};

// Lets the message loop handle every event that is waiting, then returns; it never waits
// for new events (the step of a long operation on the GUI thread).
void process_pending_events();

}  // namespace mv::gui
