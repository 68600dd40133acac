#pragma once
// The main program's MDI frame: table windows live in its canvas in front of the painted
// backdrop; it owns the program-wide commands of the menus and toolbars and keeps the list
// of its table windows. Commands are public slots named like the command, so the command
// router finds them by name when the active table window does not have them.
#include <QLabel>
#include <QPointer>
#include <QPrinter>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "components/app_paths.h"
#include "platform/gui/windows.h"

class QCloseEvent;

namespace mv {

class Backdrop;
class EMPTYSHELLMENU;
class ShellMenu;
class STDSHELLWINDOW;

// What a table window is opened with; a flag left out takes the table window's default
// (shared unless "Exclusive" is on, read-only as "ReadOnly", ANSI off).
struct TableOpenRequest {
  QString file;  // empty: a new table, the window starts on its structure page
  std::optional<bool> share;
  std::optional<bool> read_only;
  std::optional<bool> ansi;
};

// Creates a table window with the shell as owner for `request` (the table window of the
// table layer's subsystem installs it at start-up). The shell registers and shows what it
// answers; nullptr opens nothing.
using TableWindowFactory = std::function<QWidget*(STDSHELLWINDOW* shell, const TableOpenRequest& request)>;
void set_table_window_factory(TableWindowFactory factory);
const TableWindowFactory& table_window_factory();

// One row of the open-table history: {path, sort key, name}.
struct HistoryRow {
  QString path;      // the section name of "ZovuZUZ.INI"
  QString sort_key;  // "yyyyMMdd" of "Datum" (eight blanks when no date) + "Zeit"
  QString name;      // file name without folder and extension
};
// The history dialog: shows `rows` (and may sort them in place); answers 0 to cancel,
// 1..n to open row r, n + 1 to search with the open dialog. It sets the shell's LESHARE,
// LEREADONLY and LEANSI when it ends with "Öffnen" or "Suchen".
using HistoryDialog = std::function<int(STDSHELLWINDOW* shell, std::vector<HistoryRow>& rows)>;
void set_history_dialog(HistoryDialog dialog);
// The options dialog, created with the shell as owner and shown.
using OptionsDialog = std::function<void(STDSHELLWINDOW* shell)>;
void set_options_dialog(OptionsDialog dialog);

// The choice made in the open dialog.
struct OpenChoice {
  QString file;
  bool read_only = false;
};
// Shows the standard open dialog with its read-only box ticked as given; nothing when the
// user cancels.
using OpenDialog = std::function<std::optional<OpenChoice>(QWidget* owner, bool read_only)>;

class STDSHELLWINDOW : public gui::SHELLWINDOW {
  Q_OBJECT
 public:
  // The owner is the application object; the window is built but not shown.
  explicit STDSHELLWINDOW(QObject* owner = nullptr);
  ~STDSHELLWINDOW() override;

  // The open flags the history dialog chose last (it writes them).
  bool LESHARE = false;
  bool LEREADONLY = false;
  bool LEANSI = false;

  // The standard open dialog; tests put a scripted one here.
  OpenDialog open_dialog;
  // The open dialog of the CSV import (filter "*.csv" in any case); empty: cancelled.
  std::function<QString(QWidget* owner)> csv_open_dialog;

  STDSHELLWINDOW* DOOPENFILE(const QString& file, std::optional<bool> share = {},
                             std::optional<bool> read_only = {}, std::optional<bool> ansi = {});
  STDSHELLWINDOW* OPENTABDW_DATEN(const QString& file = {}, std::optional<bool> share = {},
                                  std::optional<bool> read_only = {},
                                  std::optional<bool> ansi = {});
  QPrinter* PRINTER() { return &printer_; }
  bool SETPRINTFORMAT(int orientation = 1);
  // Imports `file` when its name ends in ".CSV" (any case) and opens the new table, else
  // shows why not.
  void DOIMPORTCSVFILE(const QString& file);
  // Turns `file` into a new table under the progress window: "" on success, else the
  // message. `cancelled` tells a stop by the user (or a kept existing table); `table` gets
  // the new table's path.
  QString IMPORTCSVFILE(const QString& file, bool* cancelled = nullptr, QString* table = nullptr);
  STDSHELLWINDOW* SHELLWITHGRADIENT(const QString& text = QStringLiteral(" "));

  // The shell's own menu (shown while no table window is active) and the menu in use.
  ShellMenu* own_menu() const;
  ShellMenu* current_menu() const;
  Backdrop* backdrop() const { return backdrop_; }
  // Shows or hides the toolbar of the menu in use (GLTOOLBAR).
  void set_toolbar_visible(bool visible);
  bool toolbar_visible() const { return toolbar_visible_; }

  // The status bar's clock text and keyboard-state texts, updated every second.
  QLabel* clock_label() const { return clock_; }

  // Asks whether to end, then closes the table windows (each may refuse). True when the
  // shell may close (QUERYCLOSE).
  bool QUERYCLOSE();

 public slots:
  void FILENEW();
  void FILEOPEN();
  void FILEOPENDLG();
  void FILEPRINTERSETUP();
  void FILEEXIT();
  void FILEIMPORTCSV();
  void OPENOPTIONEN();
  void ZOVUZUZINI();
  void OPENWINRECHNER();
  void OPENKALENDER();
  void OPENHANDBUCH();
  void OPENABOUT();
  void WINDOWCASCADE();
  void WINDOWTILE();
  void WINDOWICON();
  // Closes every table window; each is asked as its own close asks, and one that refuses
  // stays open. Answers true when all are closed.
  bool CLOSEALLCHILDREN();
  void SETTOOLBAR();
  void PRINTSCREEN();
  // The window print of `window` (the shell itself, or a table window's own print):
  // landscape, the question, then the window's picture on the printing device.
  void print_window(QWidget* window);
  void HELPINDEX() {}
  void HELPUSINGHELP() {}
  void HELPCONTEXT() {}

  void REGISTERCHILD(QWidget* child) override;
  void REMOVECHILD(QWidget* child) override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void rebuild_own_menu();
  void child_gone();
  void install_menu_for_active();
  void tick();
  std::vector<HistoryRow> history_rows() const;

  QPrinter printer_;
  Backdrop* backdrop_ = nullptr;
  QPointer<EMPTYSHELLMENU> own_menu_;
  QPointer<ShellMenu> current_menu_;
  bool toolbar_visible_ = true;
  bool closing_ = false;
  int known_children_ = 0;
  QLabel* clock_ = nullptr;
  QLabel* caps_ = nullptr;
  QLabel* num_ = nullptr;
  QLabel* scroll_ = nullptr;
  QTimer* clock_timer_ = nullptr;
};

// The question before printing a window: caption `caption` ("Drucken" when empty), text
// `text` ("Drucken der Buchungsdaten" when empty) + "\r\n\r\nMöchten Sie jetzt drucken?".
bool JETZTDRUCKEN(const QString& caption = {}, const QString& text = {});

// The state of a keyboard lock light (caps, num, scroll) as the system shows it.
bool keyboard_lock_on(const char* which);

}  // namespace mv
