#pragma once
// Replacing files without ever leaving a half-written one: new files are written beside
// the old ones under a temporary name and then put in place by rename.
#include <string>
#include <utility>
#include <vector>

#include "platform/base/filesystem.h"
#include "platform/base/status.h"

namespace mv {

// The temporary name a new file is written under before it replaces `path`.
std::string temp_name_for(const std::string& path);

// Puts each `first` in place of its `second`. The new files and their folder are synced
// first, so a power loss never leaves a name pointing at an empty file. One pair is one
// atomic rename. With more, a journal beside the first target lists the steps before the
// old files are moved aside: a process killed half-way leaves what
// recover_interrupted_replace() completes or undoes. Either every file is replaced or
// none is; the new files are removed on failure.
//
// A move with an empty `first` takes its `second` away with the others (a companion file
// the new set no longer has): it is moved aside like a replaced file and removed at the
// end, or put back when the replace does not happen.
//
// When `failed` is given, a failure names the move it happened in (index into `moves`)
// and whether its old file was being moved aside (else the new one put in place, or the
// new files synced before anything moved, then `before_moves`).
struct ReplaceFailure {
  size_t index = 0;
  bool old_file = false;
  bool before_moves = false;
};
Status replace_files(FileSystem& fs, const std::vector<std::pair<std::string, std::string>>& moves,
                     ReplaceFailure* failed = nullptr);

// Finishes or takes back a replace of several files whose process died half-way, found by
// the journal beside `path` (the first file of that replace, normally a table). When every
// new file had been put in place the replace is completed, else the old files are put
// back. A journal still held by a living process is left alone. Nothing happens when there
// is no journal.
Status recover_interrupted_replace(FileSystem& fs, const std::string& path);

}  // namespace mv
