#include "platform/gui/application.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>

namespace mv::gui {

APP::APP(int& argc, char** argv) : QApplication(argc, argv) {}

int APP::START() { return exec_loop(); }

void process_pending_events() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace mv::gui
