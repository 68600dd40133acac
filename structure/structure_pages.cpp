#include "structure/structure_pages.h"

#include "platform/gui/windows.h"
#include "structure/tab_index.h"
#include "structure/tab_struktur.h"

namespace mv {

void register_structure_pages() {
  register_structure_page();
  register_index_page();
}

}  // namespace mv
