#include "platform/report/wait_cursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace mv::report {
namespace {
bool g_shown = false;
}

void begin_wait_cursor() {
  if (g_shown) return;
  QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  g_shown = true;
}

void end_wait_cursor() {
  if (!g_shown) return;
  QGuiApplication::restoreOverrideCursor();
  g_shown = false;
}

bool wait_cursor_shown() { return g_shown; }

}  // namespace mv::report
