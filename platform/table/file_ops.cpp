#include "platform/table/file_ops.h"

namespace mv {

std::string temp_name_for(const std::string& path) { return path + ".mvneu"; }

namespace {
std::string backup_name_for(const std::string& path) { return path + ".mvalt"; }
}  // namespace

Status replace_files(FileSystem& fs, const std::vector<std::pair<std::string, std::string>>& moves) {
  auto drop_new = [&](size_t from) {
    for (size_t k = from; k < moves.size(); ++k) fs.remove(moves[k].first).ignore();
  };
  if (moves.size() == 1) {
    Status st = fs.rename(moves[0].first, moves[0].second);
    if (!st) drop_new(0);
    return st;
  }
  std::vector<std::string> backups(moves.size());
  auto restore_backups = [&](size_t upto) {
    for (size_t j = 0; j < upto; ++j)
      if (!backups[j].empty()) fs.rename(backups[j], moves[j].second).ignore();
  };
  for (size_t i = 0; i < moves.size(); ++i) {
    const std::string& to = moves[i].second;
    if (!fs.exists(to)) continue;
    std::string b = backup_name_for(to);
    if (fs.exists(b)) fs.remove(b).ignore();
    Status st = fs.rename(to, b);
    if (!st) {
      restore_backups(i);
      drop_new(0);
      return st;
    }
    backups[i] = b;
  }
  for (size_t i = 0; i < moves.size(); ++i) {
    Status st = fs.rename(moves[i].first, moves[i].second);
    if (!st) {
      // Files already put in place go; the old ones come back.
      for (size_t j = 0; j < i; ++j)
        if (backups[j].empty()) fs.remove(moves[j].second).ignore();
      restore_backups(moves.size());
      drop_new(i);
      return st;
    }
  }
  for (const auto& b : backups)
    if (!b.empty()) fs.remove(b).ignore();
  return Status::ok();
}

}  // namespace mv
