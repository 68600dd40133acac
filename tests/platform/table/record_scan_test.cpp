// The raw record scan and the full-text search over record images.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/base/bytes.h"
#include "platform/runtime/strings.h"
#include "platform/table/record_scan.h"
#include "table_helpers.h"

namespace mv {
namespace {

using testing::make_table;
using testing::open_ok;
using testing::TempDir;

std::vector<uint32_t> find(Table& t, std::string_view needle,
                           const std::function<bool(uint32_t, size_t)>& step = {}) {
  auto r = find_in_records(t, needle, upper_map(CaseFlavour::Full, t.code_page()), step);
  EXPECT_TRUE(r.is_ok()) << r.status().to_string();
  return r ? *r : std::vector<uint32_t>{};
}

// Record i holds " Name i" (NAME C 20), i * 1.5 (BETRAG N 10,2), 2020-01-i, T for odd i.
TEST(RecordImageSearch, MatchesWithinOneLiveRecordOnly) {
  TempDir dir;
  const std::string path = dir.path() + "/T.DBF";
  make_table(path, "DBFCDX", 12, false, {3});
  auto t = open_ok(path);
  ASSERT_TRUE(t);
  MV_ASSERT_OK(t->go_to(5));
  MV_ASSERT_OK(t->field_put("NAME", Value::character("ABCDEFGHIJKLMNOPQRST")));
  MV_ASSERT_OK(t->go_to(6));
  MV_ASSERT_OK(t->field_put("NAME", Value::character("Gr\x81\xe1meier")));  // cp850 ü, ß
  MV_ASSERT_OK(t->go_to(1));
  struct Case {
    std::string needle;
    std::vector<uint32_t> hits;
  } cases[] = {
      {"name 1", {1, 10, 11, 12}},   // case ignored; 3 is deleted
      {"NAME 3", {}},                // only in the deleted record
      {"ST      7.50", {5}},         // across the boundary of two fields
      {"0101T NAME 2", {}},          // never across two records
      {"0101T", {1}},                // dates in their stored digits
      {"20200102F", {2}},            // a logical in its stored letter
      {"GR\x9a\xe1", {6}},           // umlauts fold too (cp850 Ü), ß stays
      {"gr\x81", {6}},
      {"xyz", {}},
      {"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.needle);
    EXPECT_EQ(find(*t, c.needle), c.hits);
  }
  EXPECT_EQ(t->recno(), 1u);  // the scan does not move the table
}

TEST(RecordImageSearch, SeesBufferedAppendsAndStopsWhenAsked) {
  TempDir dir;
  const std::string path = dir.path() + "/T.DBF";
  make_table(path, "DBFCDX", 5);
  auto t = open_ok(path);
  ASSERT_TRUE(t);
  MV_ASSERT_OK(t->append_blank());
  MV_ASSERT_OK(t->field_put("NAME", Value::character("Neu")));
  EXPECT_EQ(find(*t, "NEU"), std::vector<uint32_t>{6});

  // Stopped before record 3: records 1 and 2 were examined, 3 not.
  std::vector<uint32_t> steps;
  const auto hits = find(*t, "NAME", [&](uint32_t r, size_t) {
    steps.push_back(r);
    return r < 3;
  });
  EXPECT_EQ(hits, (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(steps, (std::vector<uint32_t>{1, 2, 3}));

  // Asked at the first record and after each hit, not at every record: a small table
  // holds far less than the stretch between two ordinary steps.
  for (const auto& [needle, expected] : std::vector<std::pair<std::string, std::vector<uint32_t>>>{
           {"QXZ", {1}}, {"NAME 3", {1, 4}}, {"NEU", {1}}}) {
    SCOPED_TRACE(needle);
    steps.clear();
    find(*t, needle, [&](uint32_t r, size_t) {
      steps.push_back(r);
      return true;
    });
    EXPECT_EQ(steps, expected);
  }
}

TEST(RecordScan, ReadsEveryWholeRecordInBlocksAlsoBeyondTheView) {
  TempDir dir;
  const std::string path = dir.path() + "/T.DBF";
  make_table(path, "DBFCDX", 5);
  auto a = open_ok(path, true);
  ASSERT_TRUE(a);
  {
    // Another user appends after `a` mapped the file.
    auto b = open_ok(path, true);
    ASSERT_TRUE(b);
    for (int i = 0; i < 3; ++i) {
      MV_ASSERT_OK(b->append_blank());
      MV_ASSERT_OK(b->field_put("NAME", Value::character("Fremd")));
    }
    MV_ASSERT_OK(b->close());
  }
  std::vector<std::pair<uint32_t, uint32_t>> blocks;
  MV_ASSERT_OK(RecordScan::scan(*a, [&](const RecordBlock& b) {
    blocks.push_back({b.first, b.count});
    return true;
  }, 3));
  EXPECT_EQ(blocks, (std::vector<std::pair<uint32_t, uint32_t>>{{1, 3}, {4, 3}, {7, 2}}));
  EXPECT_EQ(find(*a, "FREMD"), (std::vector<uint32_t>{6, 7, 8}));
}

// Another user appends `n` records named `name` to the shared table at `path`.
void append_elsewhere(const std::string& path, int n, const char* name = "Fremd") {
  auto b = open_ok(path, true);
  ASSERT_TRUE(b);
  for (int i = 0; i < n; ++i) {
    MV_ASSERT_OK(b->append_blank());
    MV_ASSERT_OK(b->field_put("NAME", Value::character(name)));
  }
  MV_ASSERT_OK(b->close());
}

// A step may let other code read a shared table while the scan waits; a record another
// user appended meanwhile makes the table map its file anew. The scan goes on in the new
// view (it would read the old, released one) and sees the new records too. A scan through
// a snapshot reads its pinned view and the records of the start until it is told that it
// may follow the table again, then does the same.
TEST(RecordImageSearch, GoesOnWhenAStepMapsTheTableAnew) {
  enum Mode { Table, Snapshot, SnapshotFreed };
  for (Mode mode : {Table, Snapshot, SnapshotFreed}) {
    SCOPED_TRACE(mode);
    TempDir dir;
    const std::string path = dir.path() + "/T.DBF";
    make_table(path, "DBFCDX", 300);
    auto a = open_ok(path, true);
    ASSERT_TRUE(a);
    const unsigned char* fold = upper_map(CaseFlavour::Full, a->code_page());
    auto snap = RecordScan::snapshot(*a, "FREMD", fold);
    ASSERT_TRUE(snap.is_ok());
    std::vector<uint32_t> asked;
    auto step = [&](uint32_t r, size_t) {
      asked.push_back(r);
      if (r != 1) return true;
      append_elsewhere(path, 600);
      EXPECT_TRUE(a->go_to(900).is_ok());  // read beyond the view: mapped anew
      if (mode == SnapshotFreed) (*snap)->table_free();
      return true;
    };
    auto hits = mode == Table ? find_in_records(*a, "FREMD", fold, step) : find_in_records(**snap, step);
    ASSERT_TRUE(hits.is_ok()) << hits.status().to_string();
    std::vector<uint32_t> want;
    if (mode != Snapshot)
      for (uint32_t i = 0; i < 600; ++i) want.push_back(301 + i);
    EXPECT_EQ(*hits, want);
    EXPECT_EQ(asked.front(), 1u);
    EXPECT_EQ(std::count(asked.begin(), asked.end(), 1u), 1);  // no step asked twice
  }
}

// The search beside the table's thread: while it runs, another user appends and the table
// maps its grown file anew, again and again. The scan reads the view it pinned, never a
// released one, and finds the hits among the records the file held when it started.
TEST(RecordImageSearch, SnapshotScanOnAnotherThreadWhileTheTableMapsAnew) {
  TempDir dir;
  const std::string path = dir.path() + "/T.DBF";
  make_table(path, "DBFCDX", 2000);
  auto a = open_ok(path, true);
  ASSERT_TRUE(a);
  auto snap = RecordScan::snapshot(*a, "me 1", upper_map(CaseFlavour::Full, a->code_page()));
  ASSERT_TRUE(snap.is_ok());
  std::mutex m;
  std::condition_variable cv;
  bool mapped_anew = false;
  Result<std::vector<uint32_t>> hits = std::vector<uint32_t>{};
  std::thread worker([&] {
    hits = find_in_records(**snap, [&](uint32_t r, size_t) {
      // The first record waits until the view the snapshot holds has been let go.
      std::unique_lock l(m);
      if (r == 1) cv.wait(l, [&] { return mapped_anew; });
      return true;
    });
  });
  for (int round = 0; round < 4; ++round) {
    append_elsewhere(path, 100, "Name 1x");  // would be hits: not among the records of the start
    const uint32_t last = a->lastrec();
    EXPECT_EQ(last, 2000u + 100u * (round + 1));
    EXPECT_TRUE(a->go_to(last).is_ok());  // beyond the view: mapped anew
    if (round == 0) {
      std::lock_guard l(m);
      mapped_anew = true;
      cv.notify_all();
    }
  }
  worker.join();
  ASSERT_TRUE(hits.is_ok()) << hits.status().to_string();
  std::vector<uint32_t> want;
  for (uint32_t i = 1; i <= 2000; ++i)
    if (std::to_string(i)[0] == '1') want.push_back(i);
  EXPECT_EQ(*hits, want);
}

TEST(RecordScan, CountsWhatTheFileHoldsNotTheHeader) {
  TempDir dir;
  const std::string path = dir.path() + "/T.DBF";
  make_table(path, "DBFCDX", 4);
  std::vector<uint8_t> bytes = testing::read_bytes(path);
  put_le32(bytes.data() + 4, 2);  // the header counts two of four records
  bytes.pop_back();               // no end mark
  bytes.insert(bytes.end(), 5, 'x');  // and half a record after the last whole one
  testing::write_bytes(path, bytes);
  auto t = open_ok(path, true, true);
  ASSERT_TRUE(t);
  EXPECT_EQ(find(*t, "NAME"), (std::vector<uint32_t>{1, 2, 3, 4}));
}

}  // namespace
}  // namespace mv
