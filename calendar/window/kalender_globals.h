#pragma once
// What the calendar window and its pages share besides the holiday codes: the INI file
// "Kalender.INI", the base folder, the conversions between the table layer's dates and
// Qt's, the texts every page writes dates and months with, and how the pages' lists look.
#include <QColor>
#include <QDate>
#include <QIcon>
#include <QString>

#include "components/inifile.h"
#include "platform/base/filesystem.h"
#include "platform/runtime/date.h"
#include "platform/table/dbserver.h"

class QWidget;

namespace mv {

class STDGRIDBROWSER;

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
// Without the blanks in front, or behind; other white space stays, as the tables store it.
QString left_trimmed(const QString& s);
QString right_trimmed(const QString& s);

// A character field of the current record as Unicode, trailing blanks kept ("" when it
// cannot be read).
QString field_text(DBSERVER& db, std::string_view name);
// `text` in the table's code page; fails naming the table when a character has no place there.
Result<std::string> table_text(const DBSERVER& db, const QString& text);
// "Achtung": `what` failed, the file and the reason.
void write_failed_box(QWidget* owner, const QString& what, const std::string& path, const Status& why);

// A page's list: `background` behind the rows, whole rows selected with the selector column,
// the selection still shown (medium grey, white text) when the list has not the focus.
void dress_list_grid(STDGRIDBROWSER* grid, const QColor& background);

// The window's icon (a calendar sheet) and the folder button's (a magnifier over a folder).
QIcon ICONKALENDER();
QIcon ICONSUCHEN();

}  // namespace mv
