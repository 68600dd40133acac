#pragma once
// Program-wide settings of the main program: the base folder with the product INI
// "Molvane.INI" and the history file "ZovuZUZ.INI", the values start-up reads from the
// product INI (writing back every missing key with its default), and the small functions
// start-up is built from. The settings exist from SETGLOBALWERTE until the process ends;
// only start-up and the options dialog change them.
#include <QString>
#include <QStringList>
#include <memory>

#include "components/app_paths.h"
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

// Takes the single-instance lock named after `name` (the program file) and keeps it until
// the process ends; true when a running instance already holds it.
bool ISALREADYRUNNING(const QString& name);
// Computes the base folder, binds GOINI and GOINIHISTORY, reads the product INI and sets
// the settings above, writing every empty key back with its default.
void SETGLOBALWERTE();
// Releases GOINI and GOINIHISTORY and empties the texts (end of the run).
void release_global_values();

// The table named on the command line: the arguments after the program, joined into one
// path as given; empty unless it is longer than 3 characters and ends in ".dbf" in any case.
QString table_from_arguments(const QStringList& arguments_after_program);

// The number at the start of `text` after blanks (leading digits), 0 when there is none.
unsigned leading_number(const QString& text);

}  // namespace mv
