#include "fixtures.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace mv::testing {

namespace fsys = std::filesystem;

std::string fixtures_root() {
  if (const char* env = std::getenv("MOLVANE_FIXTURES"); env && *env) return env;
  return std::string(MOLVANE_SOURCE_DIR) + "/tests/fixtures";
}

std::string fixture_case(const std::string& relative, std::string* why) {
  const fsys::path p = fsys::path(fixtures_root()) / relative;
  std::error_code ec;
  if (fsys::is_directory(p, ec)) return p.string();
  if (why) *why = "fixture case missing: " + p.string();
  return {};
}

namespace {

class ScratchRoot {
 public:
  const std::string& get() {
    std::call_once(once_, [this] {
      std::string tmpl = (fsys::temp_directory_path() / "mv_test_XXXXXX").string();
      if (char* p = ::mkdtemp(tmpl.data())) path_ = p;
      owner_ = ::getpid();
    });
    return path_;
  }
  ~ScratchRoot() {
    // A forked child that ends through exit() must not take the parent's folder with it.
    if (path_.empty() || owner_ != ::getpid()) return;
    std::error_code ec;
    fsys::remove_all(path_, ec);
  }

 private:
  std::once_flag once_;
  std::string path_;
  pid_t owner_ = 0;
};

ScratchRoot& root() {
  static ScratchRoot r;
  return r;
}

std::string safe_name(std::string name) {
  for (char& c : name)
    if (c == '/' || c == '\\') c = '_';
  return name;
}

}  // namespace

const std::string& scratch_root() { return root().get(); }

std::string make_scratch_dir(const std::string& name) {
  static std::atomic<int> counter{0};
  const fsys::path p = fsys::path(scratch_root()) / (std::to_string(counter++) + "_" + safe_name(name));
  std::error_code ec;
  fsys::remove_all(p, ec);
  fsys::create_directories(p, ec);
  return p.string();
}

TempDir::TempDir() : TempDir("tmp") {}
TempDir::TempDir(const std::string& name) : path_(make_scratch_dir(name)) {}
TempDir::~TempDir() {
  std::error_code ec;
  if (!path_.empty()) fsys::remove_all(path_, ec);
}

}  // namespace mv::testing
