#include "components/german_qt.h"
#include "printing/listformat/dlg_spaltenwahl.h"
#include "shell/start.h"

namespace {
void german_qt_texts() { mv::load_german_qt_translations(); }
}  // namespace
// Runs as soon as the application object exists, before any window is built.
Q_COREAPP_STARTUP_FUNCTION(german_qt_texts)

int main(int argc, char** argv) {
  // The table windows create their list-format dialog by name.
  mv::register_list_format_dialog();
  return mv::molvane_main(argc, argv);
}
