#pragma once
// Where both programs keep their files: the program file, the documents folder, the base
// folder rule that puts "Molvane.INI" and "Kalender.INI" side by side, and the small path
// helpers start-up is built from.
#include <QString>

namespace mv {

// The calendar program's window caption; the running calendar holds the lock of this caption.
inline constexpr const char* kKalenderCaption = "Kalender Vers. 2.8-3.6";

// Full path of the program file.
QString GETAPPNAME();

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

}  // namespace mv
