// The shell's CSV import command: the file dialog, the name check, the import under the
// progress window, and the new table in a table window.
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>

#include "components/dlgprogress.h"
#include "platform/gui/messagebox.h"
#include "platform/table/modes.h"
#include "shell/csv_import.h"
#include "shell/shellwindow.h"

namespace mv {
namespace {

QString standard_csv_dialog(QWidget* owner) {
  QFileDialog dlg(owner, QStringLiteral("Öffnen"));
  dlg.setOption(QFileDialog::DontUseNativeDialog, true);
  dlg.setFileMode(QFileDialog::ExistingFile);
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  // Names compare without regard to case, so "*.csv" also shows "KUNDEN.CSV".
  dlg.setFilter(dlg.filter() & ~QDir::CaseSensitive);
  dlg.setNameFilter(QStringLiteral("*.csv"));
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
  return dlg.selectedFiles().first();
}

}  // namespace

void STDSHELLWINDOW::FILEIMPORTCSV() {
  const QString file = csv_open_dialog ? csv_open_dialog(this) : standard_csv_dialog(this);
  if (!file.isEmpty()) DOIMPORTCSVFILE(file);
}

void STDSHELLWINDOW::DOIMPORTCSVFILE(const QString& file) {
  QString error;
  bool cancelled = false;
  QString table;
  if (file.size() > 3 && file.right(4).toUpper() == QLatin1String(".CSV")) {
    error = IMPORTCSVFILE(file, &cancelled, &table);
  } else {
    error = QStringLiteral("Die Datei: ") + file + QStringLiteral("\r\n") +
            QStringLiteral("kann nicht geöffnet werden, da keine CSV-Datei!");
  }
  if (cancelled) return;
  if (error.isEmpty()) {
    OPENTABDW_DATEN(table);
    return;
  }
  gui::warning_box(this, QStringLiteral("Achtung"), error);
}

QString STDSHELLWINDOW::IMPORTCSVFILE(const QString& file, bool* cancelled, QString* table) {
  DLGPROGRESS progress(this);
  progress.setWindowTitle(QStringLiteral("Bitte warten..."));
  progress.CANCEL(true);
  constexpr uint32_t kSteps = 1000;
  progress.COUNT(kSteps);
  bool shown = false;
  CsvImportHooks hooks;
  hooks.progress = [&](uint64_t done, uint64_t total) {
    if (!shown) {
      shown = true;
      progress.TXTFEEDBACK()->setText(QFileInfo(file).fileName());
      progress.SHOW();
    }
    return progress.UPDATE(total ? uint32_t(done * kSteps / total) : kSteps);
  };
  hooks.confirm_overwrite = [this](const std::string& existing) {
    return gui::yes_no_box(this, QStringLiteral("Achtung"),
                           QStringLiteral("Die Datei: ") + QString::fromStdString(existing) + QStringLiteral("\r\n") +
                               QStringLiteral("existiert bereits!") + QStringLiteral("\r\n") + QStringLiteral("\r\n") +
                               QStringLiteral("Soll diese Datei überschrieben werden?"),
                           gui::MsgAnswer::No);
  };
  const CsvImportResult r = import_csv(FileSystem::posix(), file.toStdString(), code_page_for(ansi_mode()), hooks);
  if (shown) progress.ENDDIALOG();
  if (cancelled) *cancelled = r.cancelled;
  if (table) *table = QString::fromStdString(r.table);
  return QString::fromStdString(r.message);
}

}  // namespace mv
