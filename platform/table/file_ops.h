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

// Puts each `first` in place of its `second`. One pair is one atomic rename. With more,
// the old files are moved aside first and put back when a later step fails, so either
// every file is replaced or none is; the new files are removed on failure.
Status replace_files(FileSystem& fs, const std::vector<std::pair<std::string, std::string>>& moves);

}  // namespace mv
