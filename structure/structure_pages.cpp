#include "structure/structure_pages.h"

#include "platform/gui/windows.h"

namespace mv {

void register_structure_pages() {}

}  // namespace mv
