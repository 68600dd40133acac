#pragma once
// Registers the pages of this folder under the class names the table window creates its
// " Struktur " and " Index " tabs by. A page not registered here stays the empty page.
namespace mv {

void register_structure_pages();

}  // namespace mv
