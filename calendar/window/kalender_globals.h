#pragma once
// What the calendar window and its pages share besides the holiday codes: the INI file
// "Kalender.INI", the base folder, the conversions between the table layer's dates and
// Qt's, and the texts every page writes dates and months with.
#include <QDate>
#include <QIcon>
#include <QString>

#include "components/inifile.h"
#include "platform/base/filesystem.h"
#include "platform/runtime/date.h"

namespace mv {

// "Kalender.INI" in the base folder (start-up binds it; never released).
extern INIFILESPEC* KALENDERINI;
// The folder that holds "Kalender.INI", ending in "/".
extern QString KALENDERBASIS;

inline const QString kRuntimeSection = QStringLiteral("Runtime");
inline const QString kAchtungCaption = QStringLiteral("Achtung");

// The file system the info page copies the data folder with (tests install a failing one;
// nullptr: the real one).
FileSystem& calendar_file_system();
void set_calendar_file_system(FileSystem* fs);

Date to_date(const QDate& d);
QDate to_qdate(Date d);
// "dd.mm.yyyy", empty for an invalid date.
QString date_text(const QDate& d);
// The German name of the month ("März").
QString month_name(int month);
QString qstr(const std::string& s);

// The window's icon (a calendar sheet) and the folder button's (a magnifier over a folder).
QIcon ICONKALENDER();
QIcon ICONSUCHEN();

}  // namespace mv
