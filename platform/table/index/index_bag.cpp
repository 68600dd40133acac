#include "platform/table/index/index_bag.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>

#include "platform/table/index/index_formats.h"

namespace mv::index {

std::string trim_name(const uint8_t* p, size_t n) {
  size_t len = 0;
  while (len < n && p[len]) ++len;
  while (len > 0 && p[len - 1] == ' ') --len;
  return std::string(reinterpret_cast<const char*>(p), len);
}

Result<std::unique_ptr<IndexBag>> IndexBag::open(FileSystem& fs, const std::string& path, IndexFormat format,
                                                 const BagOptions& opt) {
  switch (format) {
    case IndexFormat::Ntx: return open_ntx(fs, path, opt);
    case IndexFormat::Cdx: return open_cdx(fs, path, opt);
    case IndexFormat::Mdx: return open_mdx(fs, path, opt);
  }
  return Status::invalid_argument("unbekanntes Indexformat");
}

Result<std::unique_ptr<IndexBag>> IndexBag::create_bag(FileSystem& fs, const std::string& path, IndexFormat format,
                                                       const BagOptions& opt) {
  if (opt.read_only) return Status::read_only(path + ": schreibgeschützt");
  switch (format) {
    case IndexFormat::Cdx: return create_cdx(fs, path, opt);
    case IndexFormat::Mdx: return create_mdx(fs, path, opt);
    case IndexFormat::Ntx: break;
  }
  return Status::invalid_argument(path + ": eine NTX-Datei enthält genau einen Index");
}

Result<std::unique_ptr<IndexBag>> IndexBag::create_ntx(FileSystem& fs, const std::string& path,
                                                       const OrderInfo& info, const BagOptions& opt) {
  if (opt.read_only) return Status::read_only(path + ": schreibgeschützt");
  return create_ntx_file(fs, path, info, opt);
}

TreeOrder* IndexBag::find(const std::string& name) {
  const std::string want = upper_ascii(name);
  for (auto& o : orders_)
    if (upper_ascii(o->info().name) == want) return o.get();
  return nullptr;
}

Result<TreeOrder*> IndexBag::add_tag(const OrderInfo&) {
  return Status::not_supported(path_ + ": eine NTX-Datei enthält genau einen Index");
}

Status IndexBag::drop_tag(const std::string&) {
  return Status::not_supported(path_ + ": eine NTX-Datei enthält genau einen Index");
}

std::string change_mark_path(const std::string& index_path) { return index_path + ".mvdirty"; }

namespace {

bool same_entry(const DirEntry& a, const DirEntry& b) {
  // A file system without inodes has one file per name.
  if (a.inode == 0 || b.inode == 0) return true;
  return a.device == b.device && a.inode == b.inode;
}

}  // namespace

Status IndexBag::begin_changes() {
  if (mark_ || opt_.read_only) return Status::ok();
  const std::string mp = change_mark_path(path_);
  Status last;
  // Another writer may be taking the mark away right now: its write lock makes us wait,
  // and a name that no longer leads to the file we locked is opened again.
  for (int attempt = 0; attempt < 2000; ++attempt) {
    auto before = fs_.stat(mp);
    const bool create = !before.is_ok();
    auto f = fs_.open(mp, create ? OpenMode::CreateNew : OpenMode::ReadWrite);
    if (!f.is_ok()) {
      last = f.status();
      // Made or taken away by another writer meanwhile (perhaps both, so its presence now
      // proves nothing): asked again. A refused folder is no race.
      if (last.kind() != StatusKind::ReadOnly) continue;
      break;
    }
    last = (*f)->lock(0, 1, LockType::Shared);
    if (!last.is_ok()) {
      if (last.kind() != StatusKind::Locked) break;
      f->reset();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    auto after = fs_.stat(mp);
    if (!after.is_ok() || (!create && !same_entry(*before, *after))) continue;
    if (create) {
      // The mark must be on disk before the change it announces.
      last = (*f)->sync();
      if (last.is_ok()) last = fs_.sync_dir(path_dir(mp));
      if (!last.is_ok()) break;
    }
    mark_ = std::move(*f);
    mark_device_ = after->device;
    mark_inode_ = after->inode;
    return Status::ok();
  }
  const std::string why = path_ + ": die Indexdatei kann nicht als in Änderung markiert werden (" + mp + ")";
  if (last.is_ok() || last.kind() == StatusKind::Locked) return Status::locked("SHARING: " + why);
  return Status(last.kind(), why + ": " + last.message());
}

Status IndexBag::end_changes() {
  if (!mark_) return Status::ok();
  {
    // What the mark covered must be on disk before the mark goes.
    MV_ASSIGN_OR_RETURN(auto f, fs_.open(path_, OpenMode::Read));
    MV_RETURN_IF_ERROR(f->sync());
  }
  const std::string mp = change_mark_path(path_);
  if (mark_->lock(0, 1, LockType::Exclusive).is_ok()) {
    // No other writer holds it. The name may lead to a newer mark of someone else by now.
    DirEntry mine;
    mine.device = mark_device_;
    mine.inode = mark_inode_;
    auto now = fs_.stat(mp);
    if (now.is_ok() && same_entry(*now, mine)) {
      MV_RETURN_IF_ERROR(fs_.remove(mp));
      MV_RETURN_IF_ERROR(fs_.sync_dir(path_dir(mp)));
    }
  }
  mark_.reset();
  return Status::ok();
}

void IndexBag::start_writeback() {
  if (!mark_) return;
  if (auto f = fs_.open(path_, OpenMode::Read); f.is_ok()) (*f)->start_writeback();
}

bool IndexBag::left_unfinished() {
  if (mark_) return false;
  return change_left_unfinished(fs_, path_, opt_.shared);
}

bool change_left_unfinished(FileSystem& fs, const std::string& index_path, bool patient) {
  const std::string mp = change_mark_path(index_path);
  // A writer of ours between making the mark and locking it: it is asked once more.
  for (int attempt = 0; attempt < (patient ? 3 : 1); ++attempt) {
    if (attempt) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!fs.exists(mp)) return false;
    auto f = fs.open(mp, OpenMode::ReadWrite);
    if (!f.is_ok()) {
      if (!fs.exists(mp)) return false;
      return true;  // it cannot be tested (a read-only folder): no writer of ours is at work there
    }
    // A living writer holds its read lock.
    if ((*f)->lock(0, 1, LockType::Exclusive).kind() == StatusKind::Locked) return false;
  }
  return true;
}

Status check_order_limits(IndexFormat f, const OrderInfo& info, size_t existing_tags) {
  const size_t kl = info.keydef.length;
  const char* fmt = format_name(f);
  auto too = [&](const std::string& what) {
    return Status::invalid_argument(std::string(fmt) + ": " + what);
  };
  if (kl == 0) return too("Schlüssellänge 0");
  size_t max_key = f == IndexFormat::Ntx ? kNtxMaxKeyLength : f == IndexFormat::Cdx ? kCdxMaxKeyLength : kMdxMaxKeyLength;
  if (kl > max_key)
    return too("Schlüssel ist " + std::to_string(kl) + " Bytes lang, erlaubt sind höchstens " + std::to_string(max_key));
  if (info.key_expr.empty()) return too("Indexausdruck fehlt");
  if (info.key_expr.size() > kMaxExpressionLength || info.for_expr.size() > kMaxExpressionLength)
    return too("Ausdruck ist länger als " + std::to_string(kMaxExpressionLength) + " Zeichen");
  if (f != IndexFormat::Ntx) {
    size_t max_name = f == IndexFormat::Cdx ? kCdxMaxTagName : kMdxMaxTagName;
    if (info.name.empty()) return too("Name des Tags fehlt");
    if (info.name.size() > max_name)
      return too("Name des Tags " + info.name + " ist länger als " + std::to_string(max_name) + " Zeichen");
    for (char c : info.name)
      if (!(std::isalnum(uint8_t(c)) || c == '_')) return too("Name des Tags " + info.name + " enthält unerlaubte Zeichen");
  }
  if (f == IndexFormat::Mdx && existing_tags >= kMdxMaxTags)
    return too("höchstens " + std::to_string(kMdxMaxTags) + " Tags in einer MDX-Datei");
  return Status::ok();
}

}  // namespace mv::index
