#pragma once
// Starting other programs and opening documents through the desktop.
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <sys/types.h>

namespace mv {

// The desktop calculators, in the order they are looked for on PATH.
QStringList calculator_candidates();
// Full path of the first calculator found on PATH; empty when there is none.
QString find_calculator();

// A program and its arguments, ready to start.
struct CommandLine {
  QString program;
  QStringList arguments;
  bool empty() const { return program.isEmpty(); }
};

// The desktop's default application for text files (text/plain in mimeapps.list, else the
// first application that says it handles text/plain), with `file` put in its Exec line.
// Empty when the desktop names none.
CommandLine default_text_editor_command(const QString& file);
// What `open_in_text_editor` runs: the default above, else a known editor on PATH, else
// xdg-open on the file.
CommandLine text_editor_command(const QString& file);

// Starts `cmd` as a separate process and does not wait for it. False when it cannot start.
bool start_program(const CommandLine& cmd);
bool open_in_text_editor(const QString& file);

// The calendar program: "kalender" beside the running program, else on PATH; empty when
// there is none.
QString find_calendar_program();

// Opens a document with the application the desktop associates with its type.
bool open_document(const QString& path);

// Processes of this user (other than this process), as /proc shows them.
struct ProcessInfo {
  pid_t pid = 0;
  QString name;           // the kernel's short name of the process
  QStringList arguments;  // argv, argv[0] first
};
// True when some process of this user matches `pred`. `proc_root` is "/proc" outside tests.
bool any_process(const std::function<bool(const ProcessInfo&)>& pred,
                 const QString& proc_root = QStringLiteral("/proc"));
// A calculator of `calculator_candidates` runs.
bool calculator_running();
// Some process was started with `file` (its absolute path) as one of its arguments: an
// editor showing that file.
bool editor_running_on(const QString& file);

// Size of the primary screen in pixels; 0 x 0 without a screen.
QSize primary_screen_size();

}  // namespace mv
