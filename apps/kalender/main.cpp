#include <QApplication>
#include <QMainWindow>

#include "components/german_qt.h"

#ifdef KALENDER_HAVE_WINDOW
#include "calendar/window/start.h"
#endif

namespace {
void german_qt_texts() { mv::load_german_qt_translations(); }
}  // namespace
// Runs as soon as the application object exists, before any window is built.
Q_COREAPP_STARTUP_FUNCTION(german_qt_texts)

int main(int argc, char** argv) {
#ifdef KALENDER_HAVE_WINDOW
  return mv::kalender_main(argc, argv);
#else
  QApplication app(argc, argv);
  QMainWindow w;
  w.setWindowTitle("Kalender");
  w.show();
  return app.exec();
#endif
}
