#include "faulty_fs.h"

#include <algorithm>

namespace mv {

class FaultyFile : public File {
 public:
  FaultyFile(FaultyFileSystem& owner, std::unique_ptr<File> base) : owner_(owner), base_(std::move(base)) {}

  Result<size_t> read_at(uint64_t offset, void* buf, size_t n) override { return base_->read_at(offset, buf, n); }

  Status write_at(uint64_t offset, const void* buf, size_t n) override {
    if (owner_.before_write) owner_.before_write(owner_.writes, path());
    int nth = owner_.writes++;
    if (nth == owner_.fail_write_at)
      return Status::io_error(path() + ": Schreibfehler (eingespeist) bei Offset " + std::to_string(offset));
    if (nth == owner_.short_write_at) {
      (void)base_->write_at(offset, buf, n / 2);
      return Status::io_error(path() + ": unvollständig geschrieben (eingespeist)");
    }
    if (owner_.disk_full_after >= 0 && owner_.bytes_written + int64_t(n) > owner_.disk_full_after) {
      int64_t room = std::max<int64_t>(0, owner_.disk_full_after - owner_.bytes_written);
      if (room > 0) (void)base_->write_at(offset, buf, size_t(room));
      owner_.bytes_written += room;
      return Status::io_error(path() + ": Kein Platz mehr auf dem Datenträger (eingespeist)");
    }
    owner_.bytes_written += int64_t(n);
    return base_->write_at(offset, buf, n);
  }

  Result<uint64_t> size() override { return base_->size(); }

  Status truncate(uint64_t size) override {
    if (owner_.before_step) owner_.before_step(owner_.steps, "truncate", path());
    ++owner_.steps;
    if (owner_.truncates++ == owner_.fail_truncate_at)
      return Status::io_error(path() + ": Kürzen fehlgeschlagen (eingespeist)");
    return base_->truncate(size);
  }

  Status sync() override {
    if (owner_.syncs++ == owner_.fail_sync_at) return Status::io_error(path() + ": sync fehlgeschlagen (eingespeist)");
    return base_->sync();
  }

  Status lock(uint64_t offset, uint64_t length, LockType type) override {
    if (owner_.refuse_locks) return Status::locked("SHARING: " + path() + " gesperrt (eingespeist)");
    return base_->lock(offset, length, type);
  }

  Status unlock(uint64_t offset, uint64_t length) override { return base_->unlock(offset, length); }
  const std::string& path() const override { return base_->path(); }
  const uint8_t* map(uint64_t length) override { return base_->map(length); }
  void unmap() override { base_->unmap(); }

 private:
  FaultyFileSystem& owner_;
  std::unique_ptr<File> base_;
};

Result<std::unique_ptr<File>> FaultyFileSystem::open(const std::string& path, OpenMode mode) {
  if (fail_open && fail_open(path, mode)) return Status::io_error(path + ": Öffnen fehlgeschlagen (eingespeist)");
  MV_ASSIGN_OR_RETURN(auto f, base_.open(path, mode));
  return std::unique_ptr<File>(new FaultyFile(*this, std::move(f)));
}

Status FaultyFileSystem::sync_dir(const std::string& dir) {
  if (syncs++ == fail_sync_at) return Status::io_error(dir + ": sync fehlgeschlagen (eingespeist)");
  return base_.sync_dir(dir);
}

Status FaultyFileSystem::rename(const std::string& from, const std::string& to) {
  if (before_step) before_step(steps, "rename", from);
  ++steps;
  if (renames++ == fail_rename_at) return Status::io_error("Umbenennen von " + from + " fehlgeschlagen (eingespeist)");
  return base_.rename(from, to);
}

Status FaultyFileSystem::remove(const std::string& path) {
  if (before_step) before_step(steps, "remove", path);
  ++steps;
  if (removes++ == fail_remove_at) return Status::io_error(path + ": Löschen fehlgeschlagen (eingespeist)");
  return base_.remove(path);
}

}  // namespace mv
