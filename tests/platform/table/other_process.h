#pragma once
// A second process that holds a table, for the tests that show what a program does while
// another one has the table open.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "platform/table/drivers.h"
#include "platform/table/table.h"

namespace mv::testing {

// Opens the table (shared or exclusively, with the driver given or the default one, and with
// one record locked when `lock_record` is not 0) in a process of its own and holds it until
// it goes out of scope.
class OtherProcess {
 public:
  OtherProcess(const std::string& path, const std::string& driver, bool shared, uint32_t lock_record = 0);
  ~OtherProcess();
  OtherProcess(const OtherProcess&) = delete;
  OtherProcess& operator=(const OtherProcess&) = delete;
  // Whether the process holds the table (and the record) as asked.
  bool ready() const { return ready_; }

 private:
  int to_child_[2] = {-1, -1}, to_parent_[2] = {-1, -1};
  pid_t pid_ = -1;
  bool ready_ = false;
};

inline OtherProcess::OtherProcess(const std::string& path, const std::string& driver, bool shared, uint32_t lock_record) {
  if (pipe(to_child_) != 0 || pipe(to_parent_) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    OpenOptions o;
    o.shared = shared;
    o.driver = driver;
    auto t = Table::open(path, o);
    char c = t.is_ok() ? 'o' : 'e';
    std::unique_ptr<File> raw;
    if (t.is_ok() && lock_record) {
      auto f = FileSystem::posix().open(path, OpenMode::ReadWrite);
      auto drv = find_driver(driver);
      if (!f || !drv || !(*f)->lock(drv->record_lock_offset(lock_record), 1, LockType::Exclusive)) c = 'e';
      if (f) raw = std::move(f).value();
    }
    if (write(to_parent_[1], &c, 1) != 1) _exit(2);
    if (read(to_child_[0], &c, 1) != 1) _exit(2);
    _exit(0);
  }
  char c = 0;
  ready_ = read(to_parent_[0], &c, 1) == 1 && c == 'o';
}

inline OtherProcess::~OtherProcess() {
  char q = 'q';
  if (pid_ > 0) {
    if (write(to_child_[1], &q, 1) != 1) kill(pid_, SIGKILL);
    int st;
    waitpid(pid_, &st, 0);
  }
  for (int fd : {to_child_[0], to_child_[1], to_parent_[0], to_parent_[1]}) close(fd);
}

}  // namespace mv::testing
