#pragma once
// A narrow file-system interface. The table layer does all its I/O through it, so a
// test file system can fail any step on demand (the Nth write, a short write, a full
// disk, a refused lock, a failing rename) and show that no user's file is lost.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/status.h"

namespace mv {

enum class OpenMode {
  Read,        // existing file, read only
  ReadWrite,   // existing file, read and write
  Create,      // create or truncate, read and write
  CreateNew,   // create, fail when it exists
};

enum class LockType { Shared, Exclusive };

class File {
 public:
  virtual ~File() = default;
  // Reads up to n bytes; fewer only at the end of the file.
  virtual Result<size_t> read_at(uint64_t offset, void* buf, size_t n) = 0;
  // Writes all n bytes or fails (a short write is reported as an error).
  virtual Status write_at(uint64_t offset, const void* buf, size_t n) = 0;
  virtual Result<uint64_t> size() = 0;
  virtual Status truncate(uint64_t size) = 0;
  virtual Status sync() = 0;
  // Lets the disk start on the pages written so far without waiting for it: a sync()
  // that follows while other work runs finds less to wait for. Nothing where the file
  // system has no such notion.
  virtual void start_writeback() {}
  // Byte-range locks between processes and between two opens in one process
  // (open-file-description locks). Never blocks: a conflict is Status::locked.
  virtual Status lock(uint64_t offset, uint64_t length, LockType type) = 0;
  virtual Status unlock(uint64_t offset, uint64_t length) = 0;
  virtual const std::string& path() const = 0;
  // A read-only view of the file's first `length` bytes for fast record access, or
  // nullptr when this file cannot be mapped (then read with read_at). Writes through
  // write_at show in the view. It stays valid until the next map() or unmap() call
  // (unless pinned) or until the File is destroyed; never read past `length`.
  virtual const uint8_t* map(uint64_t length) { (void)length; return nullptr; }
  virtual void unmap() {}

  // The current view, kept valid by a pin: a later map() or unmap() retires it instead
  // of releasing it, and it goes when its last pin does (or with the File). Lets a scan
  // on another thread read a view while this file is mapped anew; pin and unpin may be
  // called from any thread. Empty (no pin taken) when nothing is mapped.
  struct MapPin {
    const uint8_t* bytes = nullptr;
    uint64_t length = 0;
  };
  virtual MapPin pin_map() { return {}; }
  virtual void unpin_map(const uint8_t* bytes) { (void)bytes; }

  // Reads exactly n bytes or fails with Corrupt naming the offset.
  Status read_exact(uint64_t offset, void* buf, size_t n);
};

struct DirEntry {
  std::string name;
  bool is_dir = false;
  uint64_t size = 0;
  int64_t mtime = 0;  // seconds since the epoch
  // Which file this is, whatever name reaches it (links, "./", other spellings): two
  // entries with the same device and a non-zero inode are one file.
  uint64_t device = 0;
  uint64_t inode = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual Result<std::unique_ptr<File>> open(const std::string& path, OpenMode mode) = 0;
  // Replaces `to` when it exists (atomic on one file system).
  virtual Status rename(const std::string& from, const std::string& to) = 0;
  virtual Status remove(const std::string& path) = 0;
  virtual Result<std::vector<DirEntry>> list(const std::string& dir) = 0;
  virtual bool exists(const std::string& path) = 0;
  virtual Status make_dir(const std::string& path) = 0;
  virtual Result<DirEntry> stat(const std::string& path) = 0;
  // Makes the folder's entries (new names, renames, removals) durable. A file system
  // without such a notion has nothing to do.
  virtual Status sync_dir(const std::string& dir) {
    (void)dir;
    return Status::ok();
  }

  // The real file system of this process.
  static FileSystem& posix();
};

// Path helpers; both "/" and "\\" separate folders.
std::string path_dir(const std::string& path);        // "" or the folder with a trailing separator
std::string path_file(const std::string& path);       // name with extension
std::string path_stem(const std::string& path);       // name without extension
std::string path_ext(const std::string& path);        // ".dbf" as written, or ""
std::string path_replace_ext(const std::string& path, const std::string& ext);
std::string path_join(const std::string& dir, const std::string& name);

// Finds `name` in `dir` without regard to case ("KUNDEN.DBF" with "kunden.cdx").
// The exact spelling wins when both exist. Answers the full path as it is on disk.
std::optional<std::string> find_file_nocase(FileSystem& fs, const std::string& dir,
                                            const std::string& name);
// The companion of `table_path` with another extension, found without regard to case;
// nothing when no such file exists.
std::optional<std::string> find_companion(FileSystem& fs, const std::string& table_path,
                                          const std::string& ext);

// Whether two paths name one existing file (same device and inode). Paths that do not
// both exist are compared as written, after "./" and doubled separators are dropped.
bool same_file(FileSystem& fs, const std::string& a, const std::string& b);

// Copies a file whole (used for backups and tests).
Status copy_file(FileSystem& fs, const std::string& from, const std::string& to);

}  // namespace mv
