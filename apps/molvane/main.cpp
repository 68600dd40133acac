#include "components/german_qt.h"
#include "shell/start.h"

namespace {
void german_qt_texts() { mv::load_german_qt_translations(); }
}  // namespace
// Runs as soon as the application object exists, before any window is built.
Q_COREAPP_STARTUP_FUNCTION(german_qt_texts)

int main(int argc, char** argv) { return mv::molvane_main(argc, argv); }
