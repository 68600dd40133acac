#include "platform/base/filesystem.h"
#include "platform/base/text.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <mutex>

namespace mv {
namespace {

std::string errno_text(int err) { return std::string(strerror(err)); }

class PosixFile : public File {
 public:
  PosixFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixFile() override {
    // Pins cannot outlive the file: every view goes with it.
    for (const View& v : retired_) ::munmap(v.bytes, v.length);
    if (view_.bytes) ::munmap(view_.bytes, view_.length);
    if (fd_ >= 0) ::close(fd_);
  }

  const uint8_t* map(uint64_t length) override {
    std::lock_guard lock(m_);
    release_view();
    if (length == 0) return nullptr;
    void* p = ::mmap(nullptr, static_cast<size_t>(length), PROT_READ, MAP_SHARED, fd_, 0);
    if (p == MAP_FAILED) return nullptr;
    view_ = {p, static_cast<size_t>(length), 0};
    return static_cast<const uint8_t*>(p);
  }

  void unmap() override {
    std::lock_guard lock(m_);
    release_view();
  }

  MapPin pin_map() override {
    std::lock_guard lock(m_);
    if (!view_.bytes) return {};
    ++view_.pins;
    return {static_cast<const uint8_t*>(view_.bytes), view_.length};
  }

  void unpin_map(const uint8_t* bytes) override {
    if (!bytes) return;
    std::lock_guard lock(m_);
    if (bytes == view_.bytes) {
      if (view_.pins > 0) --view_.pins;
      return;
    }
    for (size_t i = 0; i < retired_.size(); ++i) {
      if (retired_[i].bytes != bytes) continue;
      if (--retired_[i].pins == 0) {
        ::munmap(retired_[i].bytes, retired_[i].length);
        retired_.erase(retired_.begin() + static_cast<ptrdiff_t>(i));
      }
      return;
    }
  }

  Result<size_t> read_at(uint64_t offset, void* buf, size_t n) override {
    size_t done = 0;
    auto* p = static_cast<char*>(buf);
    while (done < n) {
      ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        return Status::io_error(path_ + ": Lesefehler bei Offset " + std::to_string(offset) + ": " +
                                errno_text(errno));
      }
      if (r == 0) break;
      done += static_cast<size_t>(r);
    }
    return done;
  }

  Status write_at(uint64_t offset, const void* buf, size_t n) override {
    size_t done = 0;
    auto* p = static_cast<const char*>(buf);
    while (done < n) {
      ssize_t r = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        return Status::io_error(path_ + ": Schreibfehler bei Offset " + std::to_string(offset) + ": " +
                                errno_text(errno));
      }
      done += static_cast<size_t>(r);
    }
    return Status::ok();
  }

  Result<uint64_t> size() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return Status::io_error(path_ + ": " + errno_text(errno));
    return static_cast<uint64_t>(st.st_size);
  }

  Status truncate(uint64_t size) override {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
      return Status::io_error(path_ + ": Kürzen fehlgeschlagen: " + errno_text(errno));
    return Status::ok();
  }

  Status sync() override {
    if (::fdatasync(fd_) != 0) return Status::io_error(path_ + ": " + errno_text(errno));
    return Status::ok();
  }

  void start_writeback() override {
#ifdef __linux__
    // Only a hint: a failure here shows in the sync that must follow anyway.
    (void)::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
  }

  Status lock(uint64_t offset, uint64_t length, LockType type) override {
    struct flock fl;
    memset(&fl, 0, sizeof fl);
    fl.l_type = type == LockType::Shared ? F_RDLCK : F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    if (::fcntl(fd_, F_OFD_SETLK, &fl) != 0) {
      if (errno == EAGAIN || errno == EACCES)
        return Status::locked("SHARING: " + path_ + " wird von einem anderen Programm benutzt");
      // A read-only descriptor cannot take a write lock; say so instead of a sharing error.
      return Status::io_error(path_ + ": Sperre nicht möglich: " + errno_text(errno));
    }
    return Status::ok();
  }

  Status unlock(uint64_t offset, uint64_t length) override {
    struct flock fl;
    memset(&fl, 0, sizeof fl);
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    if (::fcntl(fd_, F_OFD_SETLK, &fl) != 0) return Status::io_error(path_ + ": " + errno_text(errno));
    return Status::ok();
  }

  const std::string& path() const override { return path_; }

 private:
  struct View {
    void* bytes = nullptr;
    size_t length = 0;
    size_t pins = 0;
  };
  // The current view goes, or waits among the retired ones while a scan reads it (m_ held).
  void release_view() {
    if (view_.bytes && view_.pins > 0) retired_.push_back(view_);
    else if (view_.bytes) ::munmap(view_.bytes, view_.length);
    view_ = {};
  }

  int fd_;
  std::string path_;
  // The views and their pins. Mapping happens on the thread that owns the table, pins may
  // be taken and given back by a scan on another; both are rare, so one lock costs nothing.
  std::mutex m_;
  View view_;
  std::vector<View> retired_;
};

class PosixFileSystem : public FileSystem {
 public:
  Result<std::unique_ptr<File>> open(const std::string& path, OpenMode mode) override {
    int flags = O_CLOEXEC;
    switch (mode) {
      case OpenMode::Read: flags |= O_RDONLY; break;
      case OpenMode::ReadWrite: flags |= O_RDWR; break;
      case OpenMode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
      case OpenMode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
    }
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
      int err = errno;
      if (err == ENOENT) return Status::not_found(path + ": Datei nicht gefunden");
      if (err == EACCES || err == EROFS)
        return Status::read_only(path + ": Zugriff verweigert: " + errno_text(err));
      return Status::io_error(path + ": " + errno_text(err));
    }
    return std::unique_ptr<File>(new PosixFile(fd, path));
  }

  Status rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0)
      return Status::io_error("Umbenennen von " + from + " nach " + to + " fehlgeschlagen: " +
                              errno_text(errno));
    return Status::ok();
  }

  Status remove(const std::string& path) override {
    if (::unlink(path.c_str()) != 0) {
      if (errno == ENOENT) return Status::not_found(path + ": Datei nicht gefunden");
      return Status::io_error(path + ": Löschen fehlgeschlagen: " + errno_text(errno));
    }
    return Status::ok();
  }

  Result<std::vector<DirEntry>> list(const std::string& dir) override {
    std::string d = dir.empty() ? "." : dir;
    DIR* h = ::opendir(d.c_str());
    if (!h) {
      if (errno == ENOENT) return Status::not_found(d + ": Verzeichnis nicht gefunden");
      return Status::io_error(d + ": " + errno_text(errno));
    }
    std::vector<DirEntry> out;
    while (dirent* e = ::readdir(h)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      DirEntry entry;
      entry.name = name;
      struct stat st;
      if (::stat(path_join(d, name).c_str(), &st) == 0) {
        entry.is_dir = S_ISDIR(st.st_mode);
        entry.size = static_cast<uint64_t>(st.st_size);
        entry.mtime = st.st_mtime;
      }
      out.push_back(std::move(entry));
    }
    ::closedir(h);
    std::sort(out.begin(), out.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return out;
  }

  bool exists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
  }

  Status make_dir(const std::string& path) override {
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST)
      return Status::io_error(path + ": Verzeichnis kann nicht angelegt werden: " + errno_text(errno));
    return Status::ok();
  }

  Result<DirEntry> stat(const std::string& path) override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
      if (errno == ENOENT) return Status::not_found(path + ": Datei nicht gefunden");
      return Status::io_error(path + ": " + errno_text(errno));
    }
    DirEntry e;
    e.name = path_file(path);
    e.is_dir = S_ISDIR(st.st_mode);
    e.size = static_cast<uint64_t>(st.st_size);
    e.mtime = st.st_mtime;
    e.device = static_cast<uint64_t>(st.st_dev);
    e.inode = static_cast<uint64_t>(st.st_ino);
    return e;
  }

  Status sync_dir(const std::string& dir) override {
    const std::string d = dir.empty() ? std::string(".") : dir;
    int fd = ::open(d.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Status::io_error(d + ": " + errno_text(errno));
    int rc = ::fsync(fd);
    int err = errno;
    ::close(fd);
    // Some file systems cannot sync a folder; that is no reason to fail the operation.
    if (rc != 0 && err != EINVAL && err != ENOTSUP) return Status::io_error(d + ": " + errno_text(err));
    return Status::ok();
  }
};

size_t last_sep(const std::string& p) {
  size_t a = p.find_last_of("/\\");
  return a;
}

}  // namespace

Status File::read_exact(uint64_t offset, void* buf, size_t n) {
  auto r = read_at(offset, buf, n);
  if (!r) return r.status();
  if (*r != n)
    return Status::corrupt(path() + ": Datei endet vor Offset " + std::to_string(offset + n));
  return Status::ok();
}

FileSystem& FileSystem::posix() {
  static PosixFileSystem fs;
  return fs;
}

std::string path_dir(const std::string& path) {
  size_t s = last_sep(path);
  return s == std::string::npos ? std::string() : path.substr(0, s + 1);
}

std::string path_file(const std::string& path) {
  size_t s = last_sep(path);
  return s == std::string::npos ? path : path.substr(s + 1);
}

std::string path_stem(const std::string& path) {
  std::string f = path_file(path);
  size_t dot = f.rfind('.');
  return dot == std::string::npos || dot == 0 ? f : f.substr(0, dot);
}

std::string path_ext(const std::string& path) {
  std::string f = path_file(path);
  size_t dot = f.rfind('.');
  return dot == std::string::npos || dot == 0 ? std::string() : f.substr(dot);
}

std::string path_replace_ext(const std::string& path, const std::string& ext) {
  return path_dir(path) + path_stem(path) + ext;
}

std::string path_join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  char last = dir.back();
  if (last == '/' || last == '\\') return dir + name;
  return dir + "/" + name;
}

std::optional<std::string> find_file_nocase(FileSystem& fs, const std::string& dir,
                                            const std::string& name) {
  std::string exact = path_join(dir, name);
  if (fs.exists(exact)) return exact;
  auto entries = fs.list(dir.empty() ? "." : dir);
  if (!entries) return std::nullopt;
  for (const auto& e : *entries)
    if (!e.is_dir && iequals(e.name, name)) return path_join(dir, e.name);
  return std::nullopt;
}

std::optional<std::string> find_companion(FileSystem& fs, const std::string& table_path,
                                          const std::string& ext) {
  return find_file_nocase(fs, path_dir(table_path), path_stem(table_path) + ext);
}

namespace {
std::string plain_path(const std::string& p) {
  std::string out;
  size_t i = 0;
  while (p.compare(i, 2, "./") == 0) i += 2;
  for (; i < p.size(); ++i) {
    char c = p[i] == '\\' ? '/' : p[i];
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    if (c == '.' && !out.empty() && out.back() == '/' && i + 1 < p.size() && (p[i + 1] == '/' || p[i + 1] == '\\')) {
      ++i;  // "/./"
      continue;
    }
    out.push_back(c);
  }
  return out;
}
}  // namespace

bool same_file(FileSystem& fs, const std::string& a, const std::string& b) {
  auto sa = fs.stat(a);
  auto sb = fs.stat(b);
  if (sa && sb && sa.value().inode != 0 && sb.value().inode != 0)
    return sa.value().device == sb.value().device && sa.value().inode == sb.value().inode;
  return plain_path(a) == plain_path(b);
}

Status copy_file(FileSystem& fs, const std::string& from, const std::string& to) {
  MV_ASSIGN_OR_RETURN(auto in, fs.open(from, OpenMode::Read));
  MV_ASSIGN_OR_RETURN(auto out, fs.open(to, OpenMode::Create));
  std::vector<char> buf(1 << 16);
  uint64_t off = 0;
  for (;;) {
    MV_ASSIGN_OR_RETURN(size_t n, in->read_at(off, buf.data(), buf.size()));
    if (n == 0) break;
    MV_RETURN_IF_ERROR(out->write_at(off, buf.data(), n));
    off += n;
  }
  return Status::ok();
}

}  // namespace mv
