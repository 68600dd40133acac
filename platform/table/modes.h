#pragma once
// The process-wide modes of the table layer: set once by the programs (from their settings
// or a window's switches) and read by every table at each step.
#include <string>

#include "platform/base/codepage.h"

namespace mv {

// The filter that hides deleted records (SET DELETED ON / `SetDeleted`).
void set_deleted_filter(bool hide_deleted);
bool deleted_filter();
// The ANSI mode (`SetAnsi`): the code page new tables and opens take by default.
void set_ansi_mode(bool ansi);
bool ansi_mode();
// The default driver (`RDDSetDefault`), "DBFCDX" until set.
void set_default_driver(std::string driver);
std::string default_driver();
// The exclusive-open default: tables opened with the defaults are exclusive when set.
void set_exclusive_default(bool exclusive);
bool exclusive_default();

// Windows-1252 for ANSI, else CP850.
inline CodePage code_page_for(bool ansi) { return ansi ? CodePage::Windows1252 : CodePage::Cp850; }

}  // namespace mv
