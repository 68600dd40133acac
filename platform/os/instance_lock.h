#pragma once
// Locks that tell running programs apart: one lock file per program file (only one instance
// of a program file runs) and one per window caption (the calendar holds the lock of its
// caption while it runs, so the main program can ask whether it is running).
//
// The locks are open-file-description locks on files in the user's runtime folder: the
// system drops them when the process ends, however it ends, so a crashed program never
// leaves a stale lock behind.
#include <QString>

namespace mv {

// The user's runtime folder (XDG_RUNTIME_DIR), else the temporary folder.
QString runtime_folder();

// The lock file of a program file: runtime folder + "<name>-<hash of the full path>.lock".
// The same for every start of the same file, different for another file of the same name.
QString program_lock_path(const QString& program_file);

// The lock file of a window caption: runtime folder + "<caption as a file name>.lock".
QString caption_lock_path(const QString& caption);

// Takes the lock of `program_file` and keeps it until the process ends. True when another
// running instance (another process, or an earlier call in this one) already holds it;
// false when this call took it, and also when no lock file can be made (a start is never
// refused because the runtime folder is unusable).
bool hold_program_lock(const QString& program_file);

// Takes the lock of `caption` and keeps it until the process ends. True when it was taken.
bool hold_caption_lock(const QString& caption);

// True when some process holds the lock of `caption`. Takes nothing.
bool caption_lock_held(const QString& caption);

// Lower level, for tests and for locks that end before the process does.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;

  enum class Outcome { Taken, HeldElsewhere, Failed };
  // Creates the file when it is missing and takes an exclusive lock on it without waiting.
  Outcome acquire(const QString& path);
  bool held() const { return fd_ >= 0; }
  void release();

  // True when a process holds an exclusive or shared lock on `path`. Takes nothing.
  static bool is_held(const QString& path);

 private:
  int fd_ = -1;
};

}  // namespace mv
