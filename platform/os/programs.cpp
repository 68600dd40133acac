#include "platform/os/programs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>

#include "platform/os/folders.h"

namespace mv {
namespace {

QStringList env_dirs(const char* var, const QString& fallback) {
  const QString value = qEnvironmentVariable(var);
  QStringList dirs = (value.isEmpty() ? fallback : value).split(':', Qt::SkipEmptyParts);
  return dirs;
}

QString config_home() {
  const QString v = qEnvironmentVariable("XDG_CONFIG_HOME");
  return v.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : v;
}

QString data_home() {
  const QString v = qEnvironmentVariable("XDG_DATA_HOME");
  return v.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : v;
}

QStringList application_dirs() {
  QStringList dirs{data_home() + QStringLiteral("/applications")};
  for (const QString& d : env_dirs("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share")))
    dirs << d + QStringLiteral("/applications");
  return dirs;
}

// The value of `key` in group `group` of a desktop-style key file; empty when missing.
QString key_file_value(const QString& path, const QString& group, const QString& key) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
  bool in_group = false;
  while (!f.atEnd()) {
    const QString line = QString::fromUtf8(f.readLine()).trimmed();
    if (line.startsWith('[')) {
      in_group = line == '[' + group + ']';
      continue;
    }
    if (!in_group || line.startsWith('#')) continue;
    const qsizetype eq = line.indexOf('=');
    if (eq > 0 && line.left(eq).trimmed() == key) return line.mid(eq + 1).trimmed();
  }
  return {};
}

QString find_desktop_file(const QString& id) {
  for (const QString& dir : application_dirs()) {
    const QString path = dir + '/' + id;
    if (QFileInfo::exists(path)) return path;
  }
  return {};
}

// Splits an Exec line into words; double quotes group, a backslash escapes inside them.
QStringList split_exec(const QString& exec) {
  QStringList words;
  QString cur;
  bool quoted = false, have = false;
  for (qsizetype i = 0; i < exec.size(); ++i) {
    const QChar c = exec[i];
    if (quoted) {
      if (c == '\\' && i + 1 < exec.size()) {
        cur += exec[++i];
      } else if (c == '"') {
        quoted = false;
      } else {
        cur += c;
      }
    } else if (c == '"') {
      quoted = have = true;
    } else if (c.isSpace()) {
      if (have) words << cur;
      cur.clear();
      have = false;
    } else {
      cur += c;
      have = true;
    }
  }
  if (have) words << cur;
  return words;
}

CommandLine command_from_desktop_file(const QString& desktop_path, const QString& file) {
  const QString exec = key_file_value(desktop_path, QStringLiteral("Desktop Entry"),
                                      QStringLiteral("Exec"));
  if (exec.isEmpty()) return {};
  QStringList out;
  bool placed = false;
  for (const QString& word : split_exec(exec)) {
    if (word == QLatin1String("%f") || word == QLatin1String("%F")) {
      out << file;
      placed = true;
    } else if (word == QLatin1String("%u") || word == QLatin1String("%U")) {
      out << QUrl::fromLocalFile(file).toString();
      placed = true;
    } else if (word.size() == 2 && word[0] == '%') {
      continue;  // %i, %c, %k and the deprecated codes carry nothing we need
    } else {
      QString w = word;
      w.replace(QLatin1String("%%"), QLatin1String("%"));
      out << w;
    }
  }
  if (out.isEmpty()) return {};
  if (!placed) out << file;
  CommandLine cmd;
  cmd.program = out.takeFirst();
  cmd.arguments = out;
  return cmd;
}

QStringList default_ids_for(const QString& mime) {
  QStringList lists{config_home() + QStringLiteral("/mimeapps.list")};
  for (const QString& d : env_dirs("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg")))
    lists << d + QStringLiteral("/mimeapps.list");
  for (const QString& d : application_dirs()) lists << d + QStringLiteral("/mimeapps.list");
  QStringList ids;
  for (const QString& list : lists) {
    const QString v = key_file_value(list, QStringLiteral("Default Applications"), mime);
    ids << v.split(';', Qt::SkipEmptyParts);
  }
  for (const QString& dir : application_dirs()) {
    const QString v = key_file_value(dir + QStringLiteral("/mimeinfo.cache"),
                                     QStringLiteral("MIME Cache"), mime);
    ids << v.split(';', Qt::SkipEmptyParts);
  }
  return ids;
}

}  // namespace

QStringList calculator_candidates() {
  return {QStringLiteral("gnome-calculator"), QStringLiteral("kcalc"), QStringLiteral("mate-calc"),
          QStringLiteral("galculator"), QStringLiteral("xcalc")};
}

QString find_calculator() {
  for (const QString& name : calculator_candidates()) {
    const QString path = QStandardPaths::findExecutable(name);
    if (!path.isEmpty()) return path;
  }
  return {};
}

CommandLine default_text_editor_command(const QString& file) {
  for (const QString& id : default_ids_for(QStringLiteral("text/plain"))) {
    const QString desktop = find_desktop_file(id.trimmed());
    if (desktop.isEmpty()) continue;
    CommandLine cmd = command_from_desktop_file(desktop, file);
    if (!cmd.empty()) return cmd;
  }
  return {};
}

CommandLine text_editor_command(const QString& file) {
  CommandLine cmd = default_text_editor_command(file);
  if (!cmd.empty()) return cmd;
  for (const char* name : {"gnome-text-editor", "gedit", "kate", "kwrite", "mousepad", "xed",
                           "pluma", "featherpad"}) {
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
    if (!path.isEmpty()) return {path, {file}};
  }
  return {QStringLiteral("xdg-open"), {file}};
}

bool start_program(const CommandLine& cmd) {
  if (cmd.empty()) return false;
  return QProcess::startDetached(cmd.program, cmd.arguments);
}

bool open_in_text_editor(const QString& file) { return start_program(text_editor_command(file)); }

QString find_calendar_program() {
  const QString beside = QDir(program_folder()).filePath(QStringLiteral("kalender"));
  const QFileInfo info(beside);
  if (info.isFile() && info.isExecutable()) return beside;
  return QStandardPaths::findExecutable(QStringLiteral("kalender"));
}

bool open_document(const QString& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool any_process(const std::function<bool(const ProcessInfo&)>& pred, const QString& proc_root) {
  const uid_t me = ::getuid();
  const pid_t self = ::getpid();
  const QStringList entries = QDir(proc_root).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  for (const QString& entry : entries) {
    bool ok = false;
    const pid_t pid = entry.toInt(&ok);
    if (!ok || pid == self) continue;
    const QString dir = proc_root + '/' + entry;
    struct stat st {};
    if (::stat(QFile::encodeName(dir).constData(), &st) != 0 || st.st_uid != me) continue;
    ProcessInfo info;
    info.pid = pid;
    QFile comm(dir + QStringLiteral("/comm"));
    if (comm.open(QIODevice::ReadOnly)) info.name = QString::fromUtf8(comm.readAll()).trimmed();
    QFile cmdline(dir + QStringLiteral("/cmdline"));
    if (cmdline.open(QIODevice::ReadOnly)) {
      const QByteArray raw = cmdline.readAll();
      for (const QByteArray& a : raw.split('\0'))
        if (!a.isEmpty()) info.arguments << QString::fromLocal8Bit(a);
    }
    if (pred(info)) return true;
  }
  return false;
}

bool calculator_running() {
  const QStringList names = calculator_candidates();
  return any_process([&](const ProcessInfo& p) {
    if (names.contains(p.name)) return true;
    return !p.arguments.isEmpty() && names.contains(QFileInfo(p.arguments.first()).fileName());
  });
}

bool editor_running_on(const QString& file) {
  const QString full = QFileInfo(file).absoluteFilePath();
  const QString url = QUrl::fromLocalFile(full).toString();
  return any_process([&](const ProcessInfo& p) {
    for (qsizetype i = 1; i < p.arguments.size(); ++i)
      if (p.arguments[i] == full || p.arguments[i] == url) return true;
    return false;
  });
}

QSize primary_screen_size() {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return {};
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->geometry().size() : QSize();
}

}  // namespace mv
