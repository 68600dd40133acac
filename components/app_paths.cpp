#include "components/app_paths.h"

#include <QDir>
#include <QFileInfo>

#include "platform/os/folders.h"

namespace mv {

QString GETAPPNAME() { return program_file(); }

QString GETSHELLFOLDERPATH(int folder, bool create, int /*token*/, int /*flags*/) {
  if (folder != 5) return {};
  const QString docs = documents_folder();
  if (create) QDir().mkpath(docs);
  return docs;
}

QString ADDBACKSLASH(const QString& path) {
  QString c = path.trimmed();
  if (c.isEmpty()) return {};
  if (!c.endsWith('/')) c += '/';
  while (c.size() >= 2 && c.endsWith(QLatin1String("//"))) c.chop(1);
  return c;
}

bool ISDIR(const QString& path) { return !path.isEmpty() && QFileInfo(path).isDir(); }

QString base_folder_for(const QString& program, bool on_removable_media) {
  const QString own = ADDBACKSLASH(QFileInfo(program).absolutePath());
  if (on_removable_media || program.toUpper().contains(QLatin1String(".DBG"))) return own;
  // documents_folder() is never empty: without one the home folder takes its place, so the
  // base folder never depends on the folder the program was started from.
  return ADDBACKSLASH(GETSHELLFOLDERPATH(5, false, 0, 0)) + QStringLiteral("Norlek/");
}

}  // namespace mv
