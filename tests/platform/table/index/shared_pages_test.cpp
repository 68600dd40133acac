// Shared index files keep the pages they read while no one changes the file: a second
// process writing the table is seen at the reader's next move, a reader standing in an
// order finds its place again after the change, and an unchanged file is read once.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <set>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/base/bytes.h"
#include "platform/base/text.h"
#include "platform/table/index/order_list.h"
#include "platform/table/modes.h"
#include "platform/table/table.h"
#include "tests/platform/table/index/index_test_helpers.h"
#include "tests/support/forwarding_fs.h"

namespace mv {
namespace {

using index::IndexFormat;

struct DriverCase {
  const char* driver;
  IndexFormat format;
  uint32_t counter_at;  // where our writers count their changes in the index file
  friend void PrintTo(const DriverCase& c, std::ostream* os) { *os << c.driver; }
};

std::string key_of(uint32_t n) {
  char b[16];
  std::snprintf(b, sizeof b, "K%06u", n % 1000000);
  return b;
}

// A table of `n` records with distinct keys in NAME and an order on it, left closed.
void make_table(const std::string& path, const DriverCase& d, uint32_t n, std::mt19937& rng,
                std::map<uint32_t, std::string>& model, std::set<std::string>& used, FileSystem* fs = nullptr) {
  ASSERT_OK(db_create(path, {{"NAME", 'C', 10, 0}, {"NUM", 'N', 6, 0}}, d.driver));
  OpenOptions o;
  o.shared = false;
  o.driver = d.driver;
  o.fs = fs;
  auto t = Table::open(path, o);
  ASSERT_TRUE(t.is_ok()) << t.status().to_string();
  auto ol = OrderList::attach(**t);
  ASSERT_TRUE(ol.is_ok());
  for (uint32_t r = 1; r <= n; ++r) {
    std::string k;
    do k = key_of(rng()); while (!used.insert(k).second);
    model[r] = k;
    ASSERT_OK((*t)->append_blank());
    ASSERT_OK((*t)->field_put("NAME", Value::character(k)));
  }
  if (d.format == IndexFormat::Ntx) ASSERT_OK((*ol)->create_index("NAME", "NAME"));
  else ASSERT_OK((*ol)->create_order("NAME", "", "NAME"));
  ol->reset();
  ASSERT_OK((*t)->close());
}

struct Handle {
  std::unique_ptr<Table> table;
  std::unique_ptr<OrderList> orders;
};

Result<Handle> open_shared(const std::string& path, const DriverCase& d, FileSystem* fs = nullptr) {
  OpenOptions o;
  o.shared = true;
  o.driver = d.driver;
  o.fs = fs;
  MV_ASSIGN_OR_RETURN(auto t, Table::open(path, o));
  MV_ASSIGN_OR_RETURN(auto ol, OrderList::attach(*t));
  if (d.format == IndexFormat::Ntx) MV_RETURN_IF_ERROR(ol->add_index_file("NAME"));
  MV_RETURN_IF_ERROR(ol->set_order(1));
  return Handle{std::move(t), std::move(ol)};
}

std::string name_of(Table& t) {
  auto v = t.field_get("NAME");
  if (!v.is_ok()) return "?";
  std::string s = v->str;
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// What the writer did: 0 appended, 1 changed a key, 2 deleted, 3 recalled.
struct Done {
  int op = -1;
  uint32_t recno = 0;
  char key[12] = {};
};

class SharedPages : public ::testing::TestWithParam<DriverCase> {
 protected:
  void SetUp() override { set_deleted_filter(false); }
};

// One process walks and seeks the order while another appends, changes keys, deletes and
// recalls, one write between two moves: each move lands exactly where the table as
// written so far says (the next key after the one the walk stood on), each walk is in
// key order, a second handle's SEEK finds every new key at once, and the final walk is
// the whole table in key order.
TEST_P(SharedPages, ReaderSeesEveryFinishedWriteAtItsNextMove) {
  const DriverCase& d = GetParam();
  const std::string path = index_test::scratch_dir("walk") + "/T.DBF";
  std::mt19937 rng(7);
  std::map<uint32_t, std::string> model;  // record -> key, as the writer left the table
  std::set<std::string> used;
  make_table(path, d, 300, rng, model, used);
  if (HasFatalFailure()) return;

  int ask[2], tell[2];
  ASSERT_EQ(pipe(ask), 0);
  ASSERT_EQ(pipe(tell), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(ask[1]);
    close(tell[0]);
    auto h = open_shared(path, d);
    if (!h.is_ok()) _exit(2);
    Table& t = *h->table;
    std::mt19937 wr(99);
    std::set<std::string> keys = used;
    char c;
    for (int i = 0; read(ask[0], &c, 1) == 1; ++i) {
      Done m;
      m.op = i % 4;
      std::string k;
      if (m.op <= 1)
        do k = key_of(wr()); while (!keys.insert(k).second);
      Status st;
      if (m.op == 0) {
        st = t.append_blank();
        if (st.is_ok()) st = t.field_put("NAME", Value::character(k));
      } else {
        st = t.go_to(uint32_t(wr() % t.lastrec()) + 1);
        if (st.is_ok() && m.op == 1) st = t.field_put("NAME", Value::character(k));
        if (st.is_ok() && m.op == 2) st = t.delete_record();
        if (st.is_ok() && m.op == 3) st = t.recall();
      }
      if (st.is_ok()) st = t.commit();
      if (!st.is_ok()) {
        std::fprintf(stderr, "writer: %s\n", st.to_string().c_str());
        _exit(3);
      }
      m.recno = t.recno();
      std::snprintf(m.key, sizeof m.key, "%s", k.c_str());
      if (write(tell[1], &m, sizeof m) != ssize_t(sizeof m)) _exit(4);
    }
    _exit(0);
  }
  close(ask[0]);
  close(tell[1]);
  auto finish = [&] {
    close(ask[1]);
    int status = 0;
    waitpid(child, &status, 0);
    return status;
  };

  auto walker = open_shared(path, d);
  auto seeker = open_shared(path, d);
  ASSERT_TRUE(walker.is_ok() && seeker.is_ok());
  Table& w = *walker->table;
  Table& s = *seeker->table;

  // The entry after key k in the order as the model has it (keys are distinct).
  auto after = [&](const std::string& k) -> std::pair<uint32_t, std::string> {
    std::pair<uint32_t, std::string> best{0, ""};
    for (auto& [r, key] : model)
      if (key > k && (best.first == 0 || key < best.second)) best = {r, key};
    return best;
  };
  auto check_at = [&](std::pair<uint32_t, std::string> want, const char* what, int i) {
    if (want.first == 0) {
      EXPECT_TRUE(w.eof()) << what << " at write " << i << ": expected the end, got record " << w.recno();
    } else {
      EXPECT_FALSE(w.eof()) << what << " at write " << i;
      EXPECT_EQ(w.recno(), want.first) << what << " at write " << i;
      EXPECT_EQ(name_of(w), want.second) << what << " at write " << i;
    }
  };

  ASSERT_OK(w.go_top());
  check_at(after(""), "go_top", -1);
  std::string here = name_of(w);
  std::vector<std::string> walk{here};
  int walks = 0;
  for (int i = 0; i < 240 && !HasFailure(); ++i) {
    ASSERT_EQ(write(ask[1], "x", 1), 1);
    Done m;
    ASSERT_EQ(read(tell[0], &m, sizeof m), ssize_t(sizeof m)) << "writer ended early";
    if (m.op <= 1) model[m.recno] = m.key;
    // The other handle's first move after the write finds it.
    if (m.op <= 1) {
      auto f = seeker->orders->seek(Value::character(m.key), false);
      ASSERT_TRUE(f.is_ok()) << f.status().to_string();
      EXPECT_TRUE(*f) << m.key;
      EXPECT_EQ(s.recno(), m.recno) << m.key;
    }
    if (i % 25 == 24) {
      // SEEK on the walking handle, then walk on from there.
      auto it = model.begin();
      std::advance(it, rng() % model.size());
      auto f = walker->orders->seek(Value::character(it->second), false);
      ASSERT_TRUE(f.is_ok()) << f.status().to_string();
      EXPECT_TRUE(*f);
      EXPECT_EQ(w.recno(), it->first);
      here = it->second;
      walk = {here};
      continue;
    }
    if (w.eof()) {
      EXPECT_TRUE(std::is_sorted(walk.begin(), walk.end()));
      ++walks;
      ASSERT_OK(w.go_top());
      check_at(after(""), "go_top", i);
    } else {
      ASSERT_OK(w.skip(1));
      check_at(after(here), "skip", i);
    }
    if (!w.eof()) {
      here = name_of(w);
      if (walk.size() && walk.back() >= here) walk.clear();  // a new walk began at the top
      walk.push_back(here);
    }
  }
  const int status = finish();
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  // The final walk: every record once, in key order.
  std::vector<std::pair<std::string, uint32_t>> want, got;
  for (auto& [r, k] : model) want.push_back({k, r});
  std::sort(want.begin(), want.end());
  ASSERT_OK(w.go_top());
  while (!w.eof() && got.size() <= want.size()) {
    got.push_back({name_of(w), w.recno()});
    ASSERT_OK(w.skip(1));
  }
  EXPECT_EQ(got, want);
  EXPECT_EQ(uint32_t(want.size()), w.lastrec());
  (void)walks;
}

// Two processes without a beat: one appends and edits as fast as it can, the other
// walks the whole order over and over. No walk fails, none shows a key out of order, and
// in the end the order is the table sorted by key.
TEST_P(SharedPages, WalksStayInOrderWhileAnotherProcessWrites) {
  const DriverCase& d = GetParam();
  const std::string path = index_test::scratch_dir("race") + "/T.DBF";
  std::mt19937 rng(11);
  std::map<uint32_t, std::string> model;
  std::set<std::string> used;
  make_table(path, d, 200, rng, model, used);
  if (HasFatalFailure()) return;
  const pid_t child = fork();
  if (child == 0) {
    auto h = open_shared(path, d);
    if (!h.is_ok()) _exit(2);
    Table& t = *h->table;
    std::mt19937 wr(5);
    for (int i = 0; i < 1000; ++i) {
      Status st;
      // Keys are appended, never changed (a changed key read after the walk's step would
      // look out of order through no fault of the walk); other fields change, records
      // are deleted and recalled.
      std::string k = "N" + key_of(uint32_t(100000 + i)).substr(1);
      for (int attempt = 0; attempt < 2000; ++attempt) {
        if (i % 2) {
          // Whole records: a blank record's empty key would stand first in the order
          // until the name is filled in.
          std::string rec = " " + k + std::string(10 - k.size(), ' ') + "     0";
          st = t.append_record(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(rec.data()), rec.size()));
        } else {
          st = t.go_to(uint32_t(wr() % t.lastrec()) + 1);
          if (st.is_ok()) st = t.field_put("NUM", Value::numeric(double(i), 6, 0));
          if (st.is_ok()) st = i % 4 ? t.delete_record() : t.recall();
        }
        if (st.is_ok()) st = t.commit();
        if (st.kind() != StatusKind::Locked) break;
        usleep(200);
      }
      if (!st.is_ok()) {
        std::fprintf(stderr, "writer: %s\n", st.to_string().c_str());
        _exit(3);
      }
    }
    _exit(0);
  }
  auto h = open_shared(path, d);
  ASSERT_TRUE(h.is_ok()) << h.status().to_string();
  Table& t = *h->table;
  int status = 0;
  bool done = false;
  int walks = 0;
  for (; !done && !HasFailure(); ++walks) {
    done = waitpid(child, &status, WNOHANG) == child;  // one more walk after the writer ended
    std::set<uint32_t> seen;
    std::string prev;
    Status st = t.go_top();
    while (st.is_ok() && !t.eof()) {
      const std::string k = name_of(t);
      EXPECT_TRUE(seen.insert(t.recno()).second) << "record " << t.recno() << " twice in walk " << walks;
      EXPECT_LE(prev, k) << "walk " << walks;
      prev = k;
      st = t.skip(1);
    }
    ASSERT_TRUE(st.is_ok() || st.kind() == StatusKind::Locked) << st.to_string();
  }
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_GT(walks, 1);
  std::vector<std::pair<std::string, uint32_t>> want, got;
  for (uint32_t r = 1; r <= t.lastrec(); ++r) {
    ASSERT_OK(t.go_to(r));
    want.push_back({name_of(t), r});
  }
  std::sort(want.begin(), want.end());
  ASSERT_OK(t.go_top());
  while (!t.eof() && got.size() <= want.size()) {
    got.push_back({name_of(t), t.recno()});
    ASSERT_OK(t.skip(1));
  }
  EXPECT_EQ(got, want);
}

// A file system that counts the reads of each index page.
class CountingFs : public mv::testing::ForwardingFileSystem {
 public:
  std::map<uint64_t, int> reads;  // offset in the index file -> reads
  std::string index_ext;

  Result<std::unique_ptr<File>> open(const std::string& path, OpenMode mode) override {
    MV_ASSIGN_OR_RETURN(auto f, base().open(path, mode));
    const bool counted = upper_ascii(path_ext(path)) == index_ext;
    return std::unique_ptr<File>(new Counted(std::move(f), counted ? this : nullptr));
  }
  int total() const {
    int n = 0;
    for (auto& [o, c] : reads) n += c;
    return n;
  }

 private:
  class Counted : public mv::testing::ForwardingFile {
   public:
    Counted(std::unique_ptr<File> f, CountingFs* owner) : ForwardingFile(std::move(f)), owner_(owner) {}
    Result<size_t> read_at(uint64_t off, void* buf, size_t n) override {
      if (owner_) ++owner_->reads[off];
      return ForwardingFile::read_at(off, buf, n);
    }
    const uint8_t* map(uint64_t l) override { return base().map(l); }
    void unmap() override { base().unmap(); }

   private:
    CountingFs* owner_;
  };
};

// A walk through an unchanged shared file reads each page once and a second walk reads
// nothing; a change counter written into the header makes the next move read again, and
// the walk goes on from where it stood.
TEST_P(SharedPages, UnchangedFileIsReadOnceAndAChangedCounterReadsAgain) {
  const DriverCase& d = GetParam();
  const std::string dir = index_test::scratch_dir("count");
  const std::string path = dir + "/T.DBF";
  std::mt19937 rng(3);
  std::map<uint32_t, std::string> model;
  std::set<std::string> used;
  make_table(path, d, 3000, rng, model, used);
  if (HasFatalFailure()) return;
  std::vector<std::string> sorted;
  for (auto& [r, k] : model) sorted.push_back(k);
  std::sort(sorted.begin(), sorted.end());

  CountingFs fs;
  fs.index_ext = d.format == IndexFormat::Ntx ? ".NTX" : d.format == IndexFormat::Cdx ? ".CDX" : ".MDX";
  auto h = open_shared(path, d, &fs);
  ASSERT_TRUE(h.is_ok()) << h.status().to_string();
  Table& t = *h->table;
  // Another program's change, as far as the header tells it: the counter moves on.
  auto other_program_writes = [&] {
    auto f = FileSystem::posix().open(h->orders->info(1).bag_path, OpenMode::ReadWrite);
    ASSERT_TRUE(f.is_ok());
    uint8_t b[4];
    ASSERT_OK((*f)->read_exact(d.counter_at, b, 4));
    put_le32(b, get_le32(b) + 1);
    ASSERT_OK((*f)->write_at(d.counter_at, b, d.format == IndexFormat::Ntx ? 2 : 4));
  };

  // Opening read the whole order (its collation); after a change nothing of it is kept.
  ASSERT_OK(t.go_top());
  other_program_writes();
  fs.reads.clear();
  std::vector<std::string> walk;
  ASSERT_OK(t.go_top());
  while (!t.eof()) {
    walk.push_back(name_of(t));
    ASSERT_OK(t.skip(1));
  }
  EXPECT_EQ(walk, sorted);
  EXPECT_GT(fs.total(), 10);
  for (auto& [off, n] : fs.reads) EXPECT_EQ(n, 1) << "offset " << off << " read " << n << " times";

  fs.reads.clear();
  ASSERT_OK(t.go_top());
  for (size_t i = 0; i < 1500; ++i) ASSERT_OK(t.skip(1));
  EXPECT_EQ(name_of(t), sorted[1500]);
  auto f = h->orders->seek(Value::character(sorted[2999]), false);
  ASSERT_TRUE(f.is_ok() && *f);
  f = h->orders->seek(Value::character(sorted[1500]), false);
  ASSERT_TRUE(f.is_ok() && *f);
  EXPECT_EQ(fs.total(), 0) << "an unchanged file is read again";

  other_program_writes();
  ASSERT_OK(t.skip(1));
  EXPECT_GT(fs.total(), 0) << "a changed counter is not noticed";
  EXPECT_EQ(name_of(t), sorted[1501]);
  ASSERT_OK(t.skip(1));
  EXPECT_EQ(name_of(t), sorted[1502]);
}

// Another program cuts the index file short under our mapping of its header: the next
// move reports the damage instead of ending the process, and once the file is whole
// again the order is read from the file as before.
TEST_P(SharedPages, IndexFileCutShortUnderTheMappingGivesAStatus) {
  const DriverCase& d = GetParam();
  const std::string path = index_test::scratch_dir("cut") + "/T.DBF";
  std::mt19937 rng(5);
  std::map<uint32_t, std::string> model;
  std::set<std::string> used;
  make_table(path, d, 50, rng, model, used);
  if (HasFatalFailure()) return;
  auto h = open_shared(path, d);
  ASSERT_TRUE(h.is_ok()) << h.status().to_string();
  Table& t = *h->table;
  ASSERT_OK(t.go_top());
  const std::string index_path = h->orders->info(1).bag_path;
  auto f = FileSystem::posix().open(index_path, OpenMode::ReadWrite);
  ASSERT_TRUE(f.is_ok());
  auto size = (*f)->size();
  ASSERT_TRUE(size.is_ok());
  std::vector<uint8_t> whole(*size);
  ASSERT_OK((*f)->read_exact(0, whole.data(), whole.size()));
  ASSERT_OK((*f)->truncate(0));
  Status st = t.skip(1);
  EXPECT_FALSE(st.is_ok());
  ASSERT_OK((*f)->write_at(0, whole.data(), whole.size()));
  std::vector<std::string> walk, sorted;
  for (auto& [r, k] : model) sorted.push_back(k);
  std::sort(sorted.begin(), sorted.end());
  ASSERT_OK(t.go_top());
  while (!t.eof() && walk.size() <= sorted.size()) {
    walk.push_back(name_of(t));
    ASSERT_OK(t.skip(1));
  }
  EXPECT_EQ(walk, sorted);
}

// Not every program counts its changes in the index header. A change of ours starts from the
// file as it is, so another program's change that left the header as it was is kept.
TEST_P(SharedPages, AWriteKeepsAChangeTheHeaderDoesNotShow) {
  const DriverCase& d = GetParam();
  const std::string path = index_test::scratch_dir("uncounted") + "/T.DBF";
  std::mt19937 rng(11);
  std::map<uint32_t, std::string> model;
  std::set<std::string> used;
  make_table(path, d, 20, rng, model, used);  // one page: no change below splits it
  if (HasFatalFailure()) return;
  auto a = open_shared(path, d);
  ASSERT_TRUE(a.is_ok()) << a.status().to_string();
  Table& t = *a->table;
  ASSERT_OK(t.go_top());
  while (!t.eof()) ASSERT_OK(t.skip(1));  // every page of the order is kept now
  const std::string index_path = a->orders->info(1).bag_path;
  const size_t width = d.format == IndexFormat::Ntx ? 2 : 4;
  auto counter = [&] {
    auto f = FileSystem::posix().open(index_path, OpenMode::Read);
    std::vector<uint8_t> b(width);
    if (f.is_ok()) (*f)->read_exact(d.counter_at, b.data(), width).ignore();
    return b;
  };
  const std::vector<uint8_t> before = counter();
  {
    // The other program: changes record 1's key and leaves the counter as it found it.
    auto b = open_shared(path, d);
    ASSERT_TRUE(b.is_ok()) << b.status().to_string();
    ASSERT_OK(b->table->go_to(1));
    ASSERT_OK(b->table->field_put("NAME", Value::character("A_ANDERS")));
    model[1] = "A_ANDERS";
    ASSERT_OK(b->table->commit());
    b->orders.reset();
    ASSERT_OK(b->table->close());
    auto f = FileSystem::posix().open(index_path, OpenMode::ReadWrite);
    ASSERT_TRUE(f.is_ok());
    ASSERT_OK((*f)->write_at(d.counter_at, before.data(), width));
  }
  ASSERT_OK(t.go_to(2));
  ASSERT_OK(t.field_put("NAME", Value::character("Z_UNSERES")));
  model[2] = "Z_UNSERES";
  ASSERT_OK(t.commit());
  a->orders.reset();
  ASSERT_OK(t.close());

  std::vector<std::string> sorted;
  for (auto& [r, k] : model) sorted.push_back(k);
  std::sort(sorted.begin(), sorted.end());
  auto h = open_shared(path, d);
  ASSERT_TRUE(h.is_ok()) << h.status().to_string();
  std::vector<std::string> walk;
  ASSERT_OK(h->table->go_top());
  while (!h->table->eof() && walk.size() <= sorted.size()) {
    walk.push_back(name_of(*h->table));
    ASSERT_OK(h->table->skip(1));
  }
  EXPECT_EQ(walk, sorted);
  auto rep = h->orders->check(1);
  EXPECT_TRUE(rep.is_ok()) << rep.status().to_string();
}

INSTANTIATE_TEST_SUITE_P(Drivers, SharedPages,
                         ::testing::Values(DriverCase{"DBFNTX", IndexFormat::Ntx, 2},
                                           DriverCase{"DBFCDX", IndexFormat::Cdx, 8},
                                           DriverCase{"DBFMDX", IndexFormat::Mdx, 48}),
                         [](const auto& info) { return std::string(info.param.driver); });

}  // namespace
}  // namespace mv
