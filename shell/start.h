#pragma once
// Start and end of the main program. The start routine builds everything up to the
// message loop (single-instance test, splash, process modes, settings, shell window,
// toolbar, a table named on the command line); the loop runs separately, so tests can
// start the program, look at it and end it without a loop.
#include <QPointer>
#include <QStringList>

#include "platform/gui/application.h"
#include "shell/shellwindow.h"
#include "shell/splash.h"

namespace mv {

class STDSHELLWINDOW;
class SPLASHSCREEN;

struct StartOptions {
  QStringList arguments;   // the program's arguments after the program itself
  int splash_ms = 3000;    // how long the splash stays once the loop runs
  int splash_sleep_ms = 1000;  // how long start-up waits with the splash shown
  bool splash = true;
  // Creates the table windows instead of the table window's own factory (tests).
  TableWindowFactory table_window_factory;
};

class MolvaneStart {
 public:
  enum class Outcome { Running, AlreadyRunning };

  // Steps 1 to 10 of the start: answers AlreadyRunning after the message for a second
  // instance; then nothing else has happened.
  Outcome start(const StartOptions& options);
  STDSHELLWINDOW* shell() const { return shell_.data(); }
  // The end of the run: the settings and INI objects are released.
  void finish();

 private:
  QPointer<STDSHELLWINDOW> shell_;
  QPointer<SPLASHSCREEN> splash_;
};

class MolvaneApp : public gui::APP {
  Q_OBJECT
 public:
  MolvaneApp(int& argc, char** argv);
  int START() override;
};

// The program: builds the application object and runs it.
int molvane_main(int argc, char** argv);

}  // namespace mv
