#include <QApplication>
#include <QMainWindow>

#ifdef MOLVANE_HAVE_SHELL
#include "shell/start.h"
#endif

int main(int argc, char** argv) {
#ifdef MOLVANE_HAVE_SHELL
  return mv::molvane_main(argc, argv);
#else
  QApplication app(argc, argv);
  QMainWindow w;
  w.setWindowTitle("Molvane");
  w.show();
  return app.exec();
#endif
}
