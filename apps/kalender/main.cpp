#include "calendar/window/start.h"
#include "components/german_qt.h"

namespace {
void german_qt_texts() { mv::load_german_qt_translations(); }
}  // namespace
// Runs as soon as the application object exists, before any window is built.
Q_COREAPP_STARTUP_FUNCTION(german_qt_texts)

int main(int argc, char** argv) { return mv::kalender_main(argc, argv); }
