#include "table_helpers.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/table/drivers.h"

namespace mv::testing {

std::vector<uint8_t> read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<StructRow> sample_fields(bool memo) {
  std::vector<StructRow> f{{"NAME", 'C', 20, 0}, {"BETRAG", 'N', 10, 2}, {"DATUM", 'D', 8, 0}, {"AKTIV", 'L', 1, 0}};
  if (memo) f.push_back({"NOTIZ", 'M', 10, 0});
  return f;
}

void make_table(const std::string& path, const std::string& driver, int n, bool memo,
                const std::vector<uint32_t>& deleted) {
  ASSERT_TRUE(db_create(path, sample_fields(memo), driver).is_ok());
  auto t = open_ok(path, false, false, driver);
  ASSERT_TRUE(t);
  for (int i = 1; i <= n; ++i) {
    MV_ASSERT_OK(t->append_blank());
    MV_ASSERT_OK(t->field_put("NAME", Value::character("Name " + std::to_string(i))));
    MV_ASSERT_OK(t->field_put("BETRAG", Value::numeric(i * 1.5)));
    MV_ASSERT_OK(t->field_put("DATUM", Value::of_date(Date::from_ymd(2020, 1, 1) + (i - 1))));
    MV_ASSERT_OK(t->field_put("AKTIV", Value::boolean(i % 2 == 1)));
    if (memo) MV_ASSERT_OK(t->field_put("NOTIZ", Value::character("Notiz " + std::to_string(i))));
  }
  for (uint32_t r : deleted) {
    MV_ASSERT_OK(t->go_to(r));
    MV_ASSERT_OK(t->delete_record());
  }
  MV_ASSERT_OK(t->close());
}

std::unique_ptr<Table> open_ok(const std::string& path, bool shared, bool read_only, const std::string& driver,
                               FileSystem* fs) {
  OpenOptions o;
  o.shared = shared;
  o.read_only = read_only;
  o.driver = driver;
  o.fs = fs;
  auto t = Table::open(path, o);
  EXPECT_TRUE(t.is_ok()) << t.status().to_string();
  if (!t) return nullptr;
  return std::move(t).value();
}

std::string str_field(Table& t, const std::string& name) {
  auto v = t.field_get(name);
  if (!v) return "<" + v.status().to_string() + ">";
  std::string s = v->str;
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

OtherProcess::OtherProcess(const std::string& path, const std::string& driver, bool shared, uint32_t lock_record) {
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

OtherProcess::~OtherProcess() {
  char q = 'q';
  if (pid_ > 0) {
    if (write(to_child_[1], &q, 1) != 1) kill(pid_, SIGKILL);
    int st;
    waitpid(pid_, &st, 0);
  }
  for (int fd : {to_child_[0], to_child_[1], to_parent_[0], to_parent_[1]}) close(fd);
}

}  // namespace mv::testing
