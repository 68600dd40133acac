#include "calendar/window/start.h"

#include <QDir>

#include "calendar/window/kalender_globals.h"
#include "calendar/window/tabdw_kalender.h"
#include "components/app_paths.h"
#include "components/slestandard.h"
#include "platform/gui/messagebox.h"
#include "platform/gui/palette.h"
#include "platform/os/folders.h"
#include "platform/os/instance_lock.h"

namespace mv {

void report_table_problems(QWidget* owner, const std::vector<CalendarTableProblem>& problems) {
  for (const CalendarTableProblem& p : problems) {
    gui::warning_box(owner, kAchtungCaption,
                     QStringLiteral("Die DBF-Datei konnte nicht geöffnet werden!\r\n") + qstr(p.path) +
                         QStringLiteral("\r\n") + qstr(p.status.message()));
  }
}

void kalender_prepare(const QString& program_file, bool on_removable_media) {
  for (auto b : {gui::ProgramBrush::FOKUSBRUSH, gui::ProgramBrush::NORMALBRUSH, gui::ProgramBrush::GRIDBRUSH1,
                 gui::ProgramBrush::GRIDBRUSH2})
    (void)gui::program_brush(b);
  SLESTANDARD::set_calendar_variant(true);

  KALENDERBASIS = base_folder_for(program_file, on_removable_media);
  if (!ISDIR(KALENDERBASIS)) QDir().mkpath(KALENDERBASIS);

  delete KALENDERINI;
  KALENDERINI = new INIFILESPEC(KALENDERBASIS + QStringLiteral("Kalender.INI"));

  const QString stored = KALENDERINI->GETSTRING(kRuntimeSection, QStringLiteral("Daten"));
  QString data;
  if (stored.isEmpty() || !ISDIR(stored)) {
    data = KALENDERBASIS + QStringLiteral("Kalender/");
    if (!ISDIR(data)) QDir().mkpath(data);
    KALENDERINI->WRITESTRING(kRuntimeSection, QStringLiteral("Daten"), data);
  } else {
    data = ADDBACKSLASH(stored);
  }
  DATENPFAD = data.toStdString();
  report_table_problems(nullptr, open_calendar_tables());
}

void kalender_finish() { close_calendar_tables(); }

KalenderApp::KalenderApp(int& argc, char** argv) : gui::APP(argc, argv) {}

int KalenderApp::START() {
  const QString program = GETAPPNAME();
  kalender_prepare(program, is_on_removable_media(program));
  int rc = 0;
  {
    TABDW_KALENDER window;
    // Molvane's "&Kalender" sees a running calendar by this lock; a second calendar may
    // still run, it just does not get the lock.
    hold_caption_lock(QString::fromLatin1(kKalenderCaption));
    setQuitOnLastWindowClosed(true);
    window.show();
    rc = exec_loop();
  }
  kalender_finish();
  return rc;
}

int kalender_main(int argc, char** argv) {
  KalenderApp app(argc, argv);
  return app.run();
}

}  // namespace mv
