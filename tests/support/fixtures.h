#pragma once
// Where the tests find their fixtures and where they may write.
#include <string>

namespace mv::testing {

// The fixture folder: $MOLVANE_FIXTURES when set, else tests/fixtures of this source tree.
std::string fixtures_root();

// The folder of one fixture case below the root ("peer/ntx-dbt"). When it is missing, `why`
// says so (for GTEST_SKIP) and the answer is empty.
std::string fixture_case(const std::string& relative, std::string* why = nullptr);

// The process's own folder below the system's temporary folder, made on first use and removed
// with everything in it when the process ends (a test that fails still ends its process
// normally, so nothing is left behind).
const std::string& scratch_root();

// A new, empty folder below scratch_root(); `name` only makes it readable.
std::string make_scratch_dir(const std::string& name);

// A folder of its own that goes when the object goes.
class TempDir {
 public:
  TempDir();
  explicit TempDir(const std::string& name);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace mv::testing
