#include "platform/table/file_ops.h"

#include <sstream>

namespace mv {

std::string temp_name_for(const std::string& path) { return path + ".mvneu"; }

namespace {

std::string journal_name_for(const std::string& path) { return path + ".mvjob"; }

// A name for the old file that nobody else uses: a leftover ".mvalt" of another run may be
// the only copy of somebody's data, so it is never taken over.
std::string free_backup_name(FileSystem& fs, const std::string& path) {
  std::string b = path + ".mvalt";
  for (int n = 1; fs.exists(b); ++n) b = path + ".mvalt" + std::to_string(n);
  return b;
}

struct Step {
  std::string from, to, backup;  // backup empty: `to` did not exist before
};

constexpr const char* kJournalTag = "mvjob 1";

std::string journal_text(const std::vector<Step>& steps) {
  std::string t = std::string(kJournalTag) + "\n";
  for (const auto& s : steps) t += s.from + "\t" + s.to + "\t" + s.backup + "\n";
  return t;
}

bool parse_journal(const std::string& text, std::vector<Step>& steps) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != kJournalTag) return false;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    size_t a = line.find('\t');
    size_t b = a == std::string::npos ? a : line.find('\t', a + 1);
    if (b == std::string::npos) return false;
    steps.push_back({line.substr(0, a), line.substr(a + 1, b - a - 1), line.substr(b + 1)});
  }
  return !steps.empty();
}

Status sync_file(FileSystem& fs, const std::string& path) {
  MV_ASSIGN_OR_RETURN(auto f, fs.open(path, OpenMode::Read));
  return f->sync();
}

// Takes the journal's lock; answers nothing when a living process holds it.
Result<std::unique_ptr<File>> lock_journal(FileSystem& fs, const std::string& journal) {
  MV_ASSIGN_OR_RETURN(auto f, fs.open(journal, OpenMode::ReadWrite));
  Status st = f->lock(0, 1, LockType::Exclusive);
  if (!st) return st;
  return f;
}

Status write_journal(FileSystem& fs, const std::string& journal, const std::vector<Step>& steps,
                     std::unique_ptr<File>& held) {
  const std::string tmp = temp_name_for(journal);
  {
    MV_ASSIGN_OR_RETURN(auto f, fs.open(tmp, OpenMode::Create));
    const std::string text = journal_text(steps);
    Status st = f->write_at(0, text.data(), text.size());
    if (st) st = f->sync();
    if (!st) {
      f.reset();
      fs.remove(tmp).ignore();
      return st;
    }
  }
  Status st = fs.rename(tmp, journal);
  if (!st) {
    fs.remove(tmp).ignore();
    return st;
  }
  // Held for the whole replace: recovery in another process leaves a held journal alone.
  auto h = lock_journal(fs, journal);
  if (h) held = std::move(h).value();
  st = fs.sync_dir(path_dir(journal));
  if (!st) {
    // Nothing was moved yet: a journal left behind would only describe a replace that
    // never happened.
    held.reset();
    fs.remove(journal).ignore();
  }
  return st;
}

}  // namespace

Status recover_interrupted_replace(FileSystem& fs, const std::string& path) {
  const std::string journal = journal_name_for(path);
  if (!fs.exists(journal)) {
    // A journal that never got its name was written before anything was moved.
    if (fs.exists(temp_name_for(journal))) fs.remove(temp_name_for(journal)).ignore();
    return Status::ok();
  }
  auto held = lock_journal(fs, journal);
  if (!held) return held.status().kind() == StatusKind::Locked ? Status::ok() : held.status();
  auto size = held.value()->size();
  if (!size) return size.status();
  std::string text(size_t(size.value()), '\0');
  MV_RETURN_IF_ERROR(held.value()->read_exact(0, text.data(), text.size()));
  std::vector<Step> steps;
  if (!parse_journal(text, steps))
    return Status::corrupt(journal + ": unvollständiger Ersetzungsvermerk; die Dateien daneben bitte prüfen");
  // The new files were complete before the journal was written, so a new file that is gone
  // has been put in place.
  bool all_in = true;
  for (const auto& s : steps)
    if (!s.from.empty() && fs.exists(s.from)) all_in = false;
  if (all_in) {
    for (const auto& s : steps)
      if (!s.backup.empty() && fs.exists(s.backup)) MV_RETURN_IF_ERROR(fs.remove(s.backup));
  } else {
    for (const auto& s : steps) {
      const bool moved_aside = !s.backup.empty() && fs.exists(s.backup);
      // A step without a new file only took its old file away.
      const bool new_in_place = !s.from.empty() && !fs.exists(s.from) && fs.exists(s.to);
      if (new_in_place && (moved_aside || s.backup.empty())) MV_RETURN_IF_ERROR(fs.remove(s.to));
      if (moved_aside) MV_RETURN_IF_ERROR(fs.rename(s.backup, s.to));
      if (!s.from.empty() && fs.exists(s.from)) fs.remove(s.from).ignore();
    }
  }
  MV_RETURN_IF_ERROR(fs.sync_dir(path_dir(journal)));
  held.value().reset();
  MV_RETURN_IF_ERROR(fs.remove(journal));
  return fs.sync_dir(path_dir(journal));
}

Status replace_files(FileSystem& fs, const std::vector<std::pair<std::string, std::string>>& moves,
                     ReplaceFailure* failed) {
  auto fail_at = [&](size_t index, bool old_file, bool before_moves) {
    if (failed) *failed = ReplaceFailure{index, old_file, before_moves};
  };
  auto drop_new = [&](size_t from) {
    for (size_t k = from; k < moves.size(); ++k)
      if (!moves[k].first.empty()) fs.remove(moves[k].first).ignore();
  };
  if (moves.empty()) return Status::ok();
  // The new files reach the disk before any name points at them.
  for (size_t i = 0; i < moves.size(); ++i) {
    if (moves[i].first.empty()) continue;
    Status st = sync_file(fs, moves[i].first);
    if (!st) {
      fail_at(i, false, true);
      drop_new(0);
      return st;
    }
  }
  {
    Status st = fs.sync_dir(path_dir(moves[0].second));
    if (!st) {
      fail_at(0, false, true);
      drop_new(0);
      return st;
    }
  }
  // Once the new names are in place the operation has happened; a folder that then fails
  // to sync cannot take it back, so that last sync is only tried.
  if (moves.size() == 1 && !moves[0].first.empty()) {
    Status st = fs.rename(moves[0].first, moves[0].second);
    if (!st) {
      fail_at(0, false, false);
      drop_new(0);
    } else {
      fs.sync_dir(path_dir(moves[0].second)).ignore();
    }
    return st;
  }

  const std::string journal = journal_name_for(moves[0].second);
  {
    // An earlier replace of these files that died half-way is settled first.
    Status st = recover_interrupted_replace(fs, moves[0].second);
    if (!st) {
      fail_at(0, false, true);
      drop_new(0);
      return st;
    }
  }
  std::vector<Step> steps;
  std::vector<size_t> index_of;  // the move each step comes from
  for (size_t i = 0; i < moves.size(); ++i) {
    const auto& m = moves[i];
    const bool old_there = fs.exists(m.second);
    if (m.first.empty() && !old_there) continue;  // nothing to take away
    steps.push_back({m.first, m.second, old_there ? free_backup_name(fs, m.second) : std::string()});
    index_of.push_back(i);
  }
  if (steps.empty()) return Status::ok();
  std::unique_ptr<File> held;
  {
    Status st = write_journal(fs, journal, steps, held);
    if (!st) {
      fail_at(0, false, true);
      drop_new(0);
      return st;
    }
  }
  auto forget_journal = [&]() {
    held.reset();
    fs.remove(journal).ignore();
  };

  std::vector<bool> aside(steps.size(), false);
  auto restore_backups = [&](size_t upto) {
    for (size_t j = 0; j < upto; ++j)
      if (aside[j]) fs.rename(steps[j].backup, steps[j].to).ignore();
  };
  for (size_t i = 0; i < steps.size(); ++i) {
    if (steps[i].backup.empty()) continue;
    Status st = fs.rename(steps[i].to, steps[i].backup);
    if (!st) {
      fail_at(index_of[i], true, false);
      restore_backups(i);
      drop_new(0);
      forget_journal();
      return st;
    }
    aside[i] = true;
  }
  for (size_t i = 0; i < steps.size(); ++i) {
    if (steps[i].from.empty()) continue;
    Status st = fs.rename(steps[i].from, steps[i].to);
    if (!st) {
      fail_at(index_of[i], false, false);
      // Files already put in place go; the old ones come back.
      for (size_t j = 0; j < i; ++j)
        if (!steps[j].from.empty()) fs.remove(steps[j].to).ignore();
      restore_backups(steps.size());
      drop_new(0);
      forget_journal();
      return st;
    }
  }
  fs.sync_dir(path_dir(moves[0].second)).ignore();
  // Every new file is in place. The old files go while the journal still names them, so a
  // kill in between leaves nothing that recovery would not remove; an old file that will
  // not go keeps the journal, and the next opening removes it.
  bool all_gone = true;
  for (size_t i = 0; i < steps.size(); ++i)
    if (aside[i] && !fs.remove(steps[i].backup)) all_gone = false;
  if (all_gone) {
    forget_journal();
  } else {
    held.reset();
  }
  fs.sync_dir(path_dir(moves[0].second)).ignore();
  return Status::ok();
}

}  // namespace mv
