#include "platform/os/instance_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <utility>
#include <vector>

namespace mv {
namespace {

flock whole_file(short type) {
  flock fl{};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 0;
  return fl;
}

// Locks a process keeps until it ends.
std::vector<FileLock>& process_locks() {
  static auto* locks = new std::vector<FileLock>();
  return *locks;
}

QString file_name_of(const QString& text) {
  QString out;
  for (QChar c : text) {
    if (c.isLetterOrNumber() || c == '.' || c == '-' || c == '_')
      out += c;
    else
      out += '_';
  }
  return out.isEmpty() ? QStringLiteral("_") : out;
}

}  // namespace

FileLock::~FileLock() { release(); }

FileLock::FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

FileLock::Outcome FileLock::acquire(const QString& path) {
  release();
  const QByteArray native = QFile::encodeName(path);
  int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return Outcome::Failed;
  flock fl = whole_file(F_WRLCK);
  if (::fcntl(fd, F_OFD_SETLK, &fl) != 0) {
    const bool conflict = errno == EAGAIN || errno == EACCES;
    ::close(fd);
    return conflict ? Outcome::HeldElsewhere : Outcome::Failed;
  }
  fd_ = fd;
  return Outcome::Taken;
}

void FileLock::release() {
  if (fd_ >= 0) {
    ::close(fd_);  // closing the description drops its lock
    fd_ = -1;
  }
}

bool FileLock::is_held(const QString& path) {
  const QByteArray native = QFile::encodeName(path);
  int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;  // no file, nobody holds it
  flock fl = whole_file(F_WRLCK);
  bool held = false;
  if (::fcntl(fd, F_OFD_GETLK, &fl) == 0) held = fl.l_type != F_UNLCK;
  ::close(fd);
  return held;
}

QString runtime_folder() {
  // Only a runtime folder the session names; Qt would otherwise invent one (with a warning).
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return QDir::tempPath();
  QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (dir.isEmpty() || !QFileInfo(dir).isDir()) dir = QDir::tempPath();
  return dir;
}

QString program_lock_path(const QString& program_file) {
  const QString full = QFileInfo(program_file).absoluteFilePath();
  const QByteArray hash =
      QCryptographicHash::hash(QFile::encodeName(full), QCryptographicHash::Sha1).toHex().left(16);
  return QDir(runtime_folder())
      .filePath(file_name_of(QFileInfo(full).fileName()) + '-' + QString::fromLatin1(hash) +
                QStringLiteral(".lock"));
}

QString caption_lock_path(const QString& caption) {
  return QDir(runtime_folder()).filePath(file_name_of(caption) + QStringLiteral(".lock"));
}

bool hold_program_lock(const QString& program_file) {
  FileLock lock;
  switch (lock.acquire(program_lock_path(program_file))) {
    case FileLock::Outcome::Taken:
      process_locks().push_back(std::move(lock));
      return false;
    case FileLock::Outcome::HeldElsewhere:
      return true;
    case FileLock::Outcome::Failed:
      return false;
  }
  return false;
}

bool hold_caption_lock(const QString& caption) {
  FileLock lock;
  if (lock.acquire(caption_lock_path(caption)) != FileLock::Outcome::Taken) return false;
  process_locks().push_back(std::move(lock));
  return true;
}

bool caption_lock_held(const QString& caption) {
  return FileLock::is_held(caption_lock_path(caption));
}

}  // namespace mv
