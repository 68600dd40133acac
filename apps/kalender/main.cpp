#include <QApplication>
#include <QMainWindow>

#ifdef KALENDER_HAVE_WINDOW
#include "calendar/window/start.h"
#endif

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
