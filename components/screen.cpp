#include "components/screen.h"

#include <QGuiApplication>
#include <QScreen>

namespace mv {

namespace {
QSize primary_size() {
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->size() : QSize(0, 0);
}
}  // namespace

int GETSCREENX() { return primary_size().width(); }
int GETSCREENY() { return primary_size().height(); }

}  // namespace mv
