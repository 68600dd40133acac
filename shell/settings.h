#pragma once
// Program-wide settings of the main program: the base folder with the product INI
// "Molvane.INI" and the history file "ZovuZUZ.INI", the values start-up reads from the
// product INI (writing back every missing key with its default), and the small functions
// start-up is built from. The settings exist from SETGLOBALWERTE until the process ends;
// only start-up and the options dialog change them.
#include <QString>
#include <QStringList>
#include <memory>

#include "components/inifile.h"

namespace mv {

// The base folder, always ending in "/".
extern QString GCDATADIR;
// The product INI (GCDATADIR + "Molvane.INI") and the history file (GCDATADIR + "ZovuZUZ.INI").
extern INIFILESPEC* GOINI;
extern INIFILESPEC* GOINIHISTORY;
extern QString GCRUNTIMEVERSION;  // "2.8-3.2"
extern QString GCDRIVER;          // default table driver, as stored ("DBFCDX" ...)
extern bool GLEXCLUSIVE;          // open tables exclusively by default
extern bool GLREADONLY;           // open tables read-only by default
extern bool GLSETANSI;            // ANSI character set for tables
extern bool GLTOOLBAR;            // the shell's toolbar is shown
extern unsigned GNTOOLBARSTYLE;   // 0 text only, 1 icons only, 2 icons and text
extern unsigned GNMAXIMIZEDWIN;   // placement of new table windows: 0 form size, 1 cascaded, 2 filling, 3 maximised
extern unsigned GNFONTBROWSER;    // font size in points of the table grids

inline constexpr const char* kRuntimeVersion = "2.8-3.2";
inline constexpr int kDefaultEpoch = 1920;
inline constexpr unsigned kDefaultFontBrowser = 9;

// Full path of the program file.
QString GETAPPNAME();
// Takes the single-instance lock named after `name` (the program file) and keeps it until
// the process ends; true when a running instance already holds it.
bool ISALREADYRUNNING(const QString& name);
// Computes the base folder, binds GOINI and GOINIHISTORY, reads the product INI and sets
// the settings above, writing every empty key back with its default.
void SETGLOBALWERTE();
// Releases GOINI and GOINIHISTORY and empties the texts (end of the run).
void release_global_values();

// The shell folder of number `folder`: 5 is the user's documents folder (the home folder
// when there is none). Without trailing separator; empty for numbers it does not know.
// With `create` the folder is made when missing.
QString GETSHELLFOLDERPATH(int folder, bool create = false, int token = 0, int flags = 0);
// `path` without surrounding blanks and with exactly one "/" at its end; blank gives "".
QString ADDBACKSLASH(const QString& path);
// True when `path` names an existing folder.
bool ISDIR(const QString& path);

// The base folder rule: the program's own folder when the program file lies on removable
// media or its path contains ".DBG" (in any case); else documents folder + "Norlek/".
QString base_folder_for(const QString& program_file, bool on_removable_media);

// The table named on the command line: the arguments after the program, joined into one
// path as given; empty unless it is longer than 3 characters and ends in ".dbf" in any case.
QString table_from_arguments(const QStringList& arguments_after_program);

// The number at the start of `text` after blanks (leading digits), 0 when there is none.
unsigned leading_number(const QString& text);

}  // namespace mv
