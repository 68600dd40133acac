#include "platform/table/backup.h"

#include "platform/table/file_ops.h"

namespace mv {
namespace {

// Copies `from` to `to` through a file beside the target, so that a failed copy never
// leaves a partial target and an older file of that name is replaced in one step.
Status copy_over(FileSystem& fs, const std::string& from, const std::string& to) {
  const std::string temp = temp_name_for(to);
  Status st = copy_file(fs, from, temp);
  if (st) {
    auto f = fs.open(temp, OpenMode::ReadWrite);
    st = f ? f.value()->sync() : f.status();
  }
  if (st) st = fs.rename(temp, to);
  if (!st) {
    if (fs.exists(temp)) fs.remove(temp).ignore();
    return st;
  }
  return fs.sync_dir(path_dir(to));
}

}  // namespace

std::string next_backup_base(FileSystem& fs, const std::string& table_path) {
  const std::string dir = path_dir(table_path);
  const std::string stem = path_stem(table_path);
  for (unsigned long n = 1;; ++n) {
    const std::string name = stem + "_" + std::to_string(n);
    if (!find_file_nocase(fs, dir, name + ".DBF")) return dir + name;
  }
}

BackupOutcome make_numbered_backup(FileSystem& fs, const std::string& table_path,
                                   std::span<const std::string_view> extensions) {
  BackupOutcome out;
  out.new_base = next_backup_base(fs, table_path);
  const std::string dir = path_dir(table_path);
  const std::string stem = path_stem(table_path);
  const std::string new_stem = path_file(out.new_base);
  bool first = true;
  for (std::string_view ext_view : extensions) {
    const std::string ext(ext_view);
    const bool own = first;
    first = false;
    auto source = find_file_nocase(fs, dir, stem + ext);
    if (!source) {
      if (own) out.failed_ext = ext;
      continue;
    }
    // A leftover companion under the new name in another spelling is the one replaced.
    std::string target = find_file_nocase(fs, dir, new_stem + ext).value_or(out.new_base + ext);
    if (!copy_over(fs, *source, target)) out.failed_ext = ext;
  }
  return out;
}

}  // namespace mv
