#pragma once
// The calendar program's start: brushes, the base folder with "Kalender.INI", the data
// folder, both tables with their bags, then the window until it is closed.
#include <QString>
#include <vector>

#include "calendar/core/calendar_tables.h"
#include "platform/gui/application.h"

class QWidget;

namespace mv {

class TABDW_KALENDER;

// Steps before the window, each tested: the base folder for `program_file` (made when
// missing), "Kalender.INI" bound to KALENDERINI, DATENPFAD from "Runtime"/"Daten" (reset
// to base folder + "Kalender/" and written back when empty or no folder), both tables
// created and opened. Every table problem is shown as an "Achtung" box.
void kalender_prepare(const QString& program_file, bool on_removable_media);

// "Die DBF-Datei konnte nicht geöffnet werden!", the path and the reason, one box each.
void report_table_problems(QWidget* owner, const std::vector<CalendarTableProblem>& problems);

// The end of the run: both tables closed.
void kalender_finish();

class KalenderApp : public gui::APP {
  Q_OBJECT
 public:
  KalenderApp(int& argc, char** argv);
  int START() override;
};

// main() of the calendar program.
int kalender_main(int argc, char** argv);

}  // namespace mv
