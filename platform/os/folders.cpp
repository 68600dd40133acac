#include "platform/os/folders.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace mv {
namespace {

bool removable_flag_in(const QString& dir) {
  QFile f(dir + QStringLiteral("/removable"));
  if (!f.open(QIODevice::ReadOnly)) return false;
  return f.readAll().trimmed() == "1";
}

}  // namespace

QString program_file() {
  QString path = QCoreApplication::applicationFilePath();
  if (path.isEmpty()) path = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
  return path;
}

QString program_folder() { return QFileInfo(program_file()).absolutePath(); }

QString home_folder() { return QDir::homePath(); }

QString documents_folder() {
  const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (!docs.isEmpty() && QFileInfo(docs).isAbsolute() && QFileInfo(docs).isDir()) return docs;
  return home_folder();
}

bool is_removable_block_device(unsigned major, unsigned minor, const QString& sysfs_root) {
  const QString link =
      sysfs_root + QStringLiteral("/dev/block/%1:%2").arg(major).arg(minor);
  const QFileInfo info(link);
  if (!info.exists()) return false;
  const QString dev = info.canonicalFilePath();
  if (dev.isEmpty()) return false;
  // A partition carries no flag of its own; the disk above it does.
  if (removable_flag_in(dev)) return true;
  if (QFileInfo::exists(dev + QStringLiteral("/partition")))
    return removable_flag_in(QFileInfo(dev).absolutePath());
  return false;
}

bool is_on_removable_media(const QString& path, const QString& sysfs_root) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return false;
  return is_removable_block_device(::major(st.st_dev), ::minor(st.st_dev), sysfs_root);
}

}  // namespace mv
