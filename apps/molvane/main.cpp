#include "printing/listformat/dlg_spaltenwahl.h"
#include "shell/start.h"

int main(int argc, char** argv) {
  // The table windows create their list-format dialog by name.
  mv::register_list_format_dialog();
  return mv::molvane_main(argc, argv);
}
