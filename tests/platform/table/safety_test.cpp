// Damaged files, failing writes and renames, sharing between processes, a killed writer
// and read-only opens: the table layer reports or reads correctly and never loses data.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <numeric>

#include "platform/base/bytes.h"
#include "platform/table/index/index_bag.h"
#include "platform/table/index/order_list.h"
#include "table_helpers.h"
#include "tests/support/faulty_fs.h"
#include "tests/support/forwarding_fs.h"

namespace mv::testing {
namespace {

class SafetyTest : public ::testing::Test {
 protected:
  void SetUp() override { set_deleted_filter(false); }
  TempDir dir;
};

// ---------------------------------------------------------------- damaged files

TEST_F(SafetyTest, DamagedFilesGiveAStatusOrReadCorrectly) {
  using Bytes = std::vector<uint8_t>;
  struct Case {
    const char* name;
    std::function<void(Bytes& dbf, Bytes& memo)> damage;
    StatusKind open_fails;  // Ok: opens, then `check` runs
    std::function<void(Table&)> check;
  };
  auto name1 = [](Table& t) {
    ASSERT_TRUE(t.go_to(1).is_ok());
    EXPECT_EQ(str_field(t, "NAME"), "Name 1");
  };
  const uint16_t hl = 32 + 5 * 32 + 1;
  const uint16_t rl = 1 + 20 + 10 + 8 + 1 + 10;
  auto notiz_of = [](Table& t, uint32_t r) {
    EXPECT_TRUE(t.go_to(r).is_ok());
    return t.field_get("NOTIZ");
  };
  std::vector<Case> cases = {
      {"truncated header", [](Bytes& d, Bytes&) { d.resize(20); }, StatusKind::Corrupt, nullptr},
      {"file ends in the descriptors", [](Bytes& d, Bytes&) { d.resize(100); }, StatusKind::Corrupt, nullptr},
      {"header length 0", [](Bytes& d, Bytes&) { put_le16(&d[8], 0); }, StatusKind::Corrupt, nullptr},
      {"record length 0", [](Bytes& d, Bytes&) { put_le16(&d[10], 0); }, StatusKind::Corrupt, nullptr},
      {"record length shorter than the fields", [](Bytes& d, Bytes&) { put_le16(&d[10], 20); }, StatusKind::Corrupt,
       nullptr},
      {"no descriptors", [](Bytes& d, Bytes&) { d[32] = 0x0D; }, StatusKind::Corrupt, nullptr},
      {"record count larger than the file", [](Bytes& d, Bytes&) { put_le32(&d[4], 1000); }, StatusKind::Ok,
       [&](Table& t) {
         EXPECT_EQ(t.lastrec(), 3u);
         EXPECT_FALSE(t.warnings().empty());
         name1(t);
         ASSERT_TRUE(t.go_bottom().is_ok());
         EXPECT_EQ(t.recno(), 3u);
       }},
      {"record count smaller than the file", [](Bytes& d, Bytes&) { put_le32(&d[4], 1); }, StatusKind::Ok,
       [&](Table& t) {
         EXPECT_EQ(t.lastrec(), 1u);
         name1(t);
       }},
      {"last record cut short", [&](Bytes& d, Bytes&) { d.resize(hl + 2 * rl + 5); }, StatusKind::Ok,
       [&](Table& t) { EXPECT_EQ(t.lastrec(), 2u); }},
      {"missing terminator", [&](Bytes& d, Bytes&) { d[hl - 1] = 0x00; }, StatusKind::Ok,
       [&](Table& t) {
         EXPECT_EQ(t.fcount(), 5u);
         name1(t);
       }},
      {"garbage in descriptor bytes 12-15",
       [](Bytes& d, Bytes&) {
         for (int f = 1; f <= 5; ++f) put_le32(&d[32 * f + 12], 0xDEADBEEF);
       },
       StatusKind::Ok,
       [&](Table& t) {
         name1(t);
         EXPECT_EQ(t.field_raw(2), "      1.50");
       }},
      {"year byte 126", [](Bytes& d, Bytes&) { d[1] = 126, d[2] = 12, d[3] = 10; }, StatusKind::Ok,
       [](Table& t) {
         const auto& h = t.header_info();
         EXPECT_EQ(dbf_header_date(h.year_byte, h.month, h.day), Date::from_ymd(2026, 12, 10));
       }},
      {"unknown version byte", [](Bytes& d, Bytes&) { d[0] = 0x42; }, StatusKind::Ok,
       [&](Table& t) {
         EXPECT_TRUE(t.read_only());
         name1(t);
       }},
      {"memo pointer past the end",
       [&](Bytes& d, Bytes&) {
         memcpy(&d[hl + 1 + 20 + 10 + 8 + 1], "    999999", 10);
       },
       StatusKind::Ok,
       [&](Table& t) {
         auto v = notiz_of(t, 1);
         ASSERT_FALSE(v.is_ok());
         EXPECT_EQ(v.status().kind(), StatusKind::Corrupt);
         EXPECT_EQ(notiz_of(t, 2)->str, "Notiz 2");
       }},
      {"memo pointer that is no number",
       [&](Bytes& d, Bytes&) { memcpy(&d[hl + 1 + 20 + 10 + 8 + 1], "12ab\xff     ", 10); }, StatusKind::Ok,
       [&](Table& t) { EXPECT_EQ(notiz_of(t, 1)->str, ""); }},
      // A text without its terminator is damaged: it is reported, not read to the end of the file.
      {"memo without 0x1A", [](Bytes&, Bytes& m) { m.resize(3 * 512 + 7); }, StatusKind::Ok,
       [&](Table& t) {
         EXPECT_EQ(notiz_of(t, 3).status().kind(), StatusKind::Corrupt);
         EXPECT_EQ(notiz_of(t, 2)->str, "Notiz 2");
       }},
      {"memo cut inside its text", [](Bytes&, Bytes& m) { m.resize(3 * 512 + 3); }, StatusKind::Ok,
       [&](Table& t) { EXPECT_EQ(notiz_of(t, 3).status().kind(), StatusKind::Corrupt); }},
      {"memo file cut to its header and grown with zeros",
       [](Bytes&, Bytes& m) {
         m.resize(512);
         m.resize(512 + 300000, 0);
       },
       StatusKind::Ok,
       [&](Table& t) {
         for (uint32_t r = 1; r <= 3; ++r) EXPECT_EQ(notiz_of(t, r).status().kind(), StatusKind::Corrupt);
       }},
      {"memo with a single 0x1A", [](Bytes&, Bytes& m) { m[512 + 8] = 0x00; }, StatusKind::Ok,
       [&](Table& t) { EXPECT_EQ(notiz_of(t, 1)->str, "Notiz 1"); }},
      {"memo file shorter than its header", [](Bytes&, Bytes& m) { m.resize(2); }, StatusKind::Corrupt, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir d;
    std::string path = d.file("KAPUTT.DBF");
    make_table(path, "DBFNTX", 3, true);
    auto dbf = read_bytes(path);
    auto memo = read_bytes(d.file("KAPUTT.DBT"));
    c.damage(dbf, memo);
    write_bytes(path, dbf);
    write_bytes(d.file("KAPUTT.DBT"), memo);
    OpenOptions o;
    o.driver = "DBFNTX";
    auto t = Table::open(path, o);
    if (c.open_fails != StatusKind::Ok) {
      ASSERT_FALSE(t.is_ok());
      EXPECT_EQ(t.status().kind(), c.open_fails) << t.status().to_string();
      EXPECT_NE(t.status().message().find("KAPUTT"), std::string::npos) << t.status().message();
      continue;
    }
    ASSERT_TRUE(t.is_ok()) << t.status().to_string();
    c.check(**t);
  }
}

TEST_F(SafetyTest, DamagedDbase4AndFptBlocksAreReported) {
  for (const char* driver : {"DBFMDX", "DBFCDX"}) {
    SCOPED_TRACE(driver);
    std::string path = dir.file(std::string(driver) + ".DBF");
    make_table(path, driver, 2, true);
    std::string memo_path = dir.file(std::string(driver) + (std::string(driver) == "DBFCDX" ? ".FPT" : ".DBT"));
    auto m = read_bytes(memo_path);
    uint32_t bs = std::string(driver) == "DBFCDX" ? 64 : 512;
    uint32_t first = std::string(driver) == "DBFCDX" ? 8 : 1;
    if (bs == 512) {
      m[first * bs] = 0x00;  // the block signature
    } else {
      put_be32(&m[first * bs + 4], 0x7FFFFFF0);  // a length beyond the file
    }
    write_bytes(memo_path, m);
    auto t = open_ok(path, false, false, driver);
    ASSERT_TRUE(t);
    MV_ASSERT_OK(t->go_to(1));
    auto v = t->field_get("NOTIZ");
    ASSERT_FALSE(v.is_ok());
    EXPECT_EQ(v.status().kind(), StatusKind::Corrupt);
    MV_ASSERT_OK(t->go_to(2));
    EXPECT_EQ(str_field(*t, "NOTIZ"), "Notiz 2");
  }
}

// A next-free word beyond the end of the memo file is damage: the new memo goes to the end of
// the file, which stays small, and the memos already there are kept.
TEST_F(SafetyTest, AMemoNextFreeBeyondTheFileAppendsAtItsEnd) {
  struct Case {
    const char* driver;
    const char* ext;
    bool big_endian;
  };
  for (const Case& c : {Case{"DBFNTX", ".DBT", false}, Case{"DBFMDX", ".DBT", false}, Case{"DBFCDX", ".FPT", true}}) {
    for (uint32_t next_free : {0x00100000u, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
      SCOPED_TRACE(std::string(c.driver) + " next free " + std::to_string(next_free));
      TempDir d;
      std::string path = d.file("MEMO.DBF");
      make_table(path, c.driver, 3, true);
      std::string memo_path = d.file(std::string("MEMO") + c.ext);
      auto m = read_bytes(memo_path);
      const size_t before = m.size();
      if (c.big_endian)
        put_be32(&m[0], next_free);
      else
        put_le32(&m[0], next_free);
      write_bytes(memo_path, m);
      {
        auto t = open_ok(path, false, false, c.driver);
        ASSERT_TRUE(t);
        MV_ASSERT_OK(t->go_to(2));
        const std::string text(700, 'x');
        MV_ASSERT_OK(t->field_put("NOTIZ", Value::character(text)));
        MV_ASSERT_OK(t->append_blank());
        MV_ASSERT_OK(t->field_put("NOTIZ", Value::character("Neu")));
        MV_ASSERT_OK(t->close());
      }
      EXPECT_LT(std::filesystem::file_size(memo_path), before + 4096);
      auto t = open_ok(path, false, false, c.driver);
      ASSERT_TRUE(t);
      for (uint32_t r : {1u, 3u}) {
        MV_ASSERT_OK(t->go_to(r));
        EXPECT_EQ(str_field(*t, "NOTIZ"), "Notiz " + std::to_string(r));
      }
      MV_ASSERT_OK(t->go_to(2));
      EXPECT_EQ(str_field(*t, "NOTIZ"), std::string(700, 'x'));
      MV_ASSERT_OK(t->go_to(4));
      EXPECT_EQ(str_field(*t, "NOTIZ"), "Neu");
    }
  }
}

// ---------------------------------------------------------------- failing writes and renames

// Runs `op` on a fresh table with the Nth write (or rename) failing, for N = 0, 1, ...
// until the operation gets through untouched; every failure must be reported and leave
// the files in `watched` byte for byte as they were.
void run_with_faults(const std::string& what, const std::function<void(const std::string& folder)>& prepare,
                     const std::vector<std::string>& watched,
                     const std::function<Status(Table&, FileSystem&, const std::string& folder)>& op) {
  static const char* const kKinds[] = {": write ", ": short write ", ": rename ", ": sync "};
  for (int kind = 0; kind < 4; ++kind) {
    int failures = 0;
    for (int n = 0;; ++n) {
      SCOPED_TRACE(what + kKinds[kind] + std::to_string(n));
      TempDir d;
      prepare(d.path());
      std::vector<std::vector<uint8_t>> before;
      for (const auto& f : watched) before.push_back(read_bytes(d.file(f)));
      FaultyFileSystem ffs(FileSystem::posix());
      if (kind == 0) ffs.fail_write_at = n;
      if (kind == 1) ffs.short_write_at = n;
      if (kind == 2) ffs.fail_rename_at = n;
      if (kind == 3) ffs.fail_sync_at = n;
      Status st;
      {
        auto t = open_ok(d.file("DATEN.DBF"), false, false, "DBFCDX", &ffs);
        ASSERT_TRUE(t);
        st = op(*t, ffs, d.path());
        t->close().ignore();
      }
      bool hit = kind == 2 ? ffs.renames > n : kind == 3 ? ffs.syncs > n : ffs.writes > n;
      // The folder's sync after the new names are in place is only tried: the operation has
      // happened by then and reports success.
      if (kind == 3 && hit && st.is_ok()) continue;
      if (!hit) {
        EXPECT_TRUE(st.is_ok()) << st.to_string();
        break;
      }
      ++failures;
      EXPECT_FALSE(st.is_ok()) << "a failed step was reported as success";
      for (size_t i = 0; i < watched.size(); ++i)
        EXPECT_EQ(read_bytes(d.file(watched[i])), before[i]) << watched[i] << " changed";
      ASSERT_LT(n, 200);
    }
    // Appends replace no file, so they have nothing to sync.
    if (kind == 0 || (kind == 3 && what.rfind("append", 0) != 0)) {
      EXPECT_GT(failures, 0) << what << kKinds[kind] << ": no step failed";
    }
  }
}

TEST_F(SafetyTest, PackZapAndTransfersLeaveTheOriginalWhenAStepFails) {
  auto table = [](const std::string& folder) { make_table(folder + "/DATEN.DBF", "DBFCDX", 40, true, {3, 7, 20}); };
  auto with_target = [&](const std::string& folder) {
    table(folder);
    make_table(folder + "/ZIEL.dbf", "DBFCDX", 5, true);
    std::string text = "alt\r\n";
    write_bytes(folder + "/ZIEL.txt", std::vector<uint8_t>(text.begin(), text.end()));
  };
  auto with_sources = [&](const std::string& folder) {
    table(folder);
    make_table(folder + "/QUELLE.DBF", "DBFCDX", 30, true);
    std::string text = "\"Neu 1\",1.5,20240101,T\r\n\"Neu 2\",2.5,,F\r\n";
    write_bytes(folder + "/QUELLE.txt", std::vector<uint8_t>(text.begin(), text.end()));
  };
  std::vector<std::string> own{"DATEN.DBF", "DATEN.FPT"};
  run_with_faults("pack", table, own, [](Table& t, FileSystem&, const std::string&) { return t.pack(); });
  run_with_faults("zap", table, own, [](Table& t, FileSystem&, const std::string&) { return t.zap(); });
  std::vector<std::string> target{"ZIEL.dbf", "ZIEL.FPT", "ZIEL.txt"};
  run_with_faults("copy db", with_target, target,
                  [](Table& t, FileSystem&, const std::string& f) { return t.copy_db(f + "/ZIEL"); });
  run_with_faults("copy structure", with_target, target,
                  [](Table& t, FileSystem&, const std::string& f) { return t.copy_structure(f + "/ZIEL"); });
  run_with_faults("copy sdf", with_target, target,
                  [](Table& t, FileSystem&, const std::string& f) { return t.copy_sdf(f + "/ZIEL"); });
  run_with_faults("copy delimited", with_target, target,
                  [](Table& t, FileSystem&, const std::string& f) { return t.copy_delimited(f + "/ZIEL"); });
  run_with_faults("create", with_target, target, [](Table&, FileSystem& fs, const std::string& f) {
    return db_create(f + "/ZIEL", sample_fields(true), "DBFCDX", std::nullopt, &fs);
  });
  run_with_faults("append db", with_sources, own,
                  [](Table& t, FileSystem&, const std::string& f) { return t.append_db(f + "/QUELLE.DBF"); });
  run_with_faults("append delimited", with_sources, own,
                  [](Table& t, FileSystem&, const std::string& f) { return t.append_delimited(f + "/QUELLE.txt"); });
}

// The open table written over under another name: every way of naming its own files is
// refused, and the table keeps every record, also those appended afterwards.
TEST_F(SafetyTest, CopiesOntoTheOpenTableOrItsFilesAreRefused) {
  namespace fsys = std::filesystem;
  struct Case {
    const char* name;
    std::function<std::string(const std::string& folder)> target;  // made by the case
    std::function<Status(Table&, const std::string& target)> op;
  };
  auto copy_db = [](Table& t, const std::string& p) { return t.copy_db(p); };
  auto copy_structure = [](Table& t, const std::string& p) { return t.copy_structure(p); };
  auto copy_sdf = [](Table& t, const std::string& p) { return t.copy_sdf(p); };
  auto copy_delimited = [](Table& t, const std::string& p) { return t.copy_delimited(p); };
  auto append_db = [](Table& t, const std::string& p) { return t.append_db(p); };
  auto append_sdf = [](Table& t, const std::string& p) { return t.append_sdf(p); };
  const std::vector<Case> cases = {
      {"same path through ./", [](const std::string& f) { return f + "/./DATEN.DBF"; }, copy_db},
      {"doubled separator", [](const std::string& f) { return f + "//DATEN.DBF"; }, copy_structure},
      {"other case: its memo is found without regard to case",
       [](const std::string& f) { return f + "/daten.dbf"; }, copy_db},
      {"symbolic link",
       [](const std::string& f) {
         fsys::create_symlink(f + "/DATEN.DBF", f + "/LINK.DBF");
         return f + "/LINK.DBF";
       },
       copy_db},
      {"hard link",
       [](const std::string& f) {
         fsys::create_hard_link(f + "/DATEN.DBF", f + "/HART.DBF");
         return f + "/HART.DBF";
       },
       copy_structure},
      {"a table whose memo is a link to ours",
       [](const std::string& f) {
         fsys::create_symlink(f + "/DATEN.FPT", f + "/ANDERS.FPT");
         return f + "/ANDERS.DBF";
       },
       copy_db},
      {"text copy onto the memo file", [](const std::string& f) { return f + "/DATEN.FPT"; }, copy_sdf},
      {"text copy onto the index bag", [](const std::string& f) { return f + "/DATEN.CDX"; }, copy_delimited},
      {"append from itself through a link",
       [](const std::string& f) {
         fsys::create_symlink(f + "/DATEN.DBF", f + "/SELBST.DBF");
         return f + "/SELBST.DBF";
       },
       append_db},
      {"append text from its own table file", [](const std::string& f) { return f + "/DATEN.DBF"; }, append_sdf},
  };
  for (const Case& c : cases) {
    for (bool shared : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (shared ? " (shared)" : " (exclusive)"));
      TempDir d;
      const std::string path = d.file("DATEN.DBF");
      make_table(path, "DBFCDX", 5, true);
      // The bag's contents do not matter here, only that it belongs to the table.
      write_bytes(d.file("DATEN.CDX"), std::vector<uint8_t>(1024, 0x42));
      const auto dbf = read_bytes(path), memo = read_bytes(d.file("DATEN.FPT")), bag = read_bytes(d.file("DATEN.CDX"));
      const std::string target = c.target(d.path());
      {
        auto t = open_ok(path, shared, false, "DBFCDX");
        ASSERT_TRUE(t);
        Status st = c.op(*t, target);
        EXPECT_EQ(st.kind(), StatusKind::InvalidArgument) << st.to_string();
        EXPECT_EQ(read_bytes(d.file("DATEN.FPT")), memo);
        EXPECT_EQ(read_bytes(d.file("DATEN.CDX")), bag);
        EXPECT_EQ(read_bytes(path), dbf);
        MV_ASSERT_OK(t->append_blank());
        MV_ASSERT_OK(t->field_put("NAME", Value::character("Danach")));
        MV_ASSERT_OK(t->field_put("NOTIZ", Value::character("Notiz danach")));
        MV_ASSERT_OK(t->close());
      }
      auto t = open_ok(path, false, true, "DBFCDX");
      ASSERT_TRUE(t);
      ASSERT_EQ(t->lastrec(), 6u);
      MV_ASSERT_OK(t->go_to(6));
      EXPECT_EQ(str_field(*t, "NOTIZ"), "Notiz danach");
      MV_ASSERT_OK(t->go_to(2));
      EXPECT_EQ(str_field(*t, "NOTIZ"), "Notiz 2");
    }
  }
}

// ---------------------------------------------------------------- sharing between processes

TEST_F(SafetyTest, SharedAndExclusiveOpensAreEnforcedBetweenProcesses) {
  std::string path = dir.file("GETEILT.DBF");
  make_table(path, "DBFCDX", 3);
  OpenOptions shared, exclusive;
  shared.driver = exclusive.driver = "DBFCDX";
  exclusive.shared = false;
  {
    OtherProcess other(path, "DBFCDX", true);
    ASSERT_TRUE(other.ready());
    auto t = Table::open(path, exclusive);
    ASSERT_FALSE(t.is_ok());
    EXPECT_EQ(t.status().kind(), StatusKind::Locked);
    EXPECT_EQ(t.status().message().rfind("SHARING", 0), 0u) << t.status().message();
    EXPECT_TRUE(Table::open(path, shared).is_ok());
  }
  {
    OtherProcess other(path, "DBFCDX", false);
    ASSERT_TRUE(other.ready());
    auto t = Table::open(path, shared);
    ASSERT_FALSE(t.is_ok());
    EXPECT_EQ(t.status().message().rfind("SHARING", 0), 0u);
  }
  // A record locked by the other process cannot be written here; another one can.
  OtherProcess other(path, "DBFCDX", true, 2);
  ASSERT_TRUE(other.ready());
  auto t = Table::open(path, shared);
  ASSERT_TRUE(t.is_ok());
  MV_ASSERT_OK((*t)->go_to(2));
  Status st = (*t)->field_put("NAME", Value::character("Gesperrt"));
  EXPECT_EQ(st.kind(), StatusKind::Locked);
  EXPECT_EQ(str_field(**t, "NAME"), "Name 2");
  MV_ASSERT_OK((*t)->go_to(1));
  MV_EXPECT_OK((*t)->field_put("NAME", Value::character("Frei")));
  MV_EXPECT_OK((*t)->append_blank());
  EXPECT_EQ((*t)->lastrec(), 4u);
}

// ---------------------------------------------------------------- a writer killed midway

TEST_F(SafetyTest, TheRecordCountIsRightWhenTheWriterIsKilled) {
  for (bool shared : {false, true}) {
    SCOPED_TRACE(shared ? "shared" : "exclusive");
    std::string path = dir.file(shared ? "KILL_S.DBF" : "KILL_E.DBF");
    make_table(path, "DBFCDX", 0, true);
    pid_t pid = fork();
    if (pid == 0) {
      OpenOptions o;
      o.shared = shared;
      o.driver = "DBFCDX";
      auto t = Table::open(path, o);
      if (!t) _exit(3);
      for (int i = 1; i <= 7000; ++i) {
        if (!(*t)->append_blank() || !(*t)->field_put(1, Value::character("Satz " + std::to_string(i))) ||
            !(*t)->field_put(5, Value::character("Memo " + std::to_string(i))))
          _exit(4);
        if (i == 3000 && !(*t)->commit()) _exit(5);
        if (shared && i == 40) break;
      }
      kill(getpid(), SIGKILL);
      _exit(6);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child exit " << WEXITSTATUS(status);
    auto b = read_bytes(path);
    uint32_t count = get_le32(&b[4]);
    if (shared) EXPECT_EQ(count, 40u);
    else EXPECT_GE(count, 3000u);
    uint16_t hl = get_le16(&b[8]), rl = get_le16(&b[10]);
    EXPECT_EQ(b.size(), hl + size_t(count) * rl + 1);
    auto t = open_ok(path, false, true, "DBFCDX");
    ASSERT_TRUE(t);
    EXPECT_TRUE(t->warnings().empty());
    MV_ASSERT_OK(t->go_to(count));
    EXPECT_EQ(str_field(*t, "NAME"), "Satz " + std::to_string(count));
    EXPECT_EQ(str_field(*t, "NOTIZ"), "Memo " + std::to_string(count));
  }
}

// ZAP and COPY TO replace a table and its memo together. A writer killed at any rename,
// remove or truncate of theirs leaves a table that opens with all its data, the old or the
// new, never a table beside the other side's memo, and no copy of old data once it was
// opened.
TEST_F(SafetyTest, AReplaceKilledAtAnyStepLeavesOneWholeTable) {
  struct Case {
    const char* name;
    const char* table;  // the table looked at afterwards
    std::function<Status(Table&, const std::string& folder)> op;
    std::vector<uint32_t> counts;  // the record counts it may have: before, after
  };
  const std::vector<Case> cases = {
      {"zap", "DATEN.DBF", [](Table& t, const std::string&) { return t.zap(); }, {40, 0}},
      {"copy to", "ZIEL.DBF", [](Table& t, const std::string& f) { return t.copy_db(f + "/ZIEL.DBF"); }, {5, 40}},
  };
  for (const Case& c : cases) {
    bool finished = false;
    for (int k = 0; !finished; ++k) {
      SCOPED_TRACE(std::string(c.name) + ": killed before step " + std::to_string(k));
      ASSERT_LT(k, 100);
      TempDir d;
      make_table(d.file("DATEN.DBF"), "DBFCDX", 40, true);
      make_table(d.file("ZIEL.DBF"), "DBFCDX", 5, true);
      pid_t pid = fork();
      if (pid == 0) {
        FaultyFileSystem ffs(FileSystem::posix());
        OpenOptions o;
        o.shared = false;
        o.driver = "DBFCDX";
        o.fs = &ffs;
        auto t = Table::open(d.file("DATEN.DBF"), o);
        if (!t) _exit(3);
        ffs.before_step = [k](int step, const char*, const std::string&) {
          if (step == k) kill(getpid(), SIGKILL);
        };
        _exit(c.op(**t, d.path()).is_ok() ? 0 : 4);
      }
      int status = 0;
      waitpid(pid, &status, 0);
      finished = WIFEXITED(status);
      if (finished) {
        ASSERT_EQ(WEXITSTATUS(status), 0);
      }
      {
        auto t = open_ok(d.file(c.table), false, true, "DBFCDX");
        ASSERT_TRUE(t);
        const uint32_t n = t->lastrec();
        EXPECT_TRUE(n == c.counts[0] || n == c.counts[1]) << n << " records";
        for (uint32_t r = 1; r <= n; ++r) {
          MV_ASSERT_OK(t->go_to(r));
          ASSERT_EQ(str_field(*t, "NOTIZ"), "Notiz " + std::to_string(r)) << "record " << r;
        }
      }
      std::vector<std::string> names;
      for (const auto& e : std::filesystem::directory_iterator(d.path())) {
        // New files the killed writer had not yet put in place are its own scratch.
        if (e.path().extension() != ".mvneu") names.push_back(e.path().filename());
      }
      std::sort(names.begin(), names.end());
      const std::vector<std::string> want{"DATEN.DBF", "DATEN.FPT", "ZIEL.DBF", "ZIEL.FPT"};
      if (std::string(c.table) == "ZIEL.DBF") {
        // Only the table looked at was opened, so only its own leftovers are settled.
        std::vector<std::string> ziel;
        for (const auto& n : names)
          if (n.rfind("ZIEL", 0) == 0) ziel.push_back(n);
        EXPECT_EQ(ziel, (std::vector<std::string>{"ZIEL.DBF", "ZIEL.FPT"}));
      } else {
        EXPECT_EQ(names, want);
      }
    }
  }
}

// A failed APPEND FROM on a shared table gives its records back without shortening the
// file: another program that looked at them through its map must not die of a bus error.
TEST_F(SafetyTest, AFailedSharedAppendNeverShortensTheFile) {
  const std::string path = dir.file("GETEILT.DBF");
  make_table(path, "DBFCDX", 10, true);
  make_table(dir.file("QUELLE.DBF"), "DBFCDX", 300, true);
  auto other = open_ok(path, true, false, "DBFCDX");
  ASSERT_TRUE(other);
  const auto size_before = std::filesystem::file_size(path);
  FaultyFileSystem ffs(FileSystem::posix());
  bool truncated = false;
  ffs.before_step = [&](int, const char* what, const std::string& p) {
    if (std::string(what) == "truncate" && p == path) truncated = true;
  };
  auto t = open_ok(path, true, false, "DBFCDX", &ffs);
  ASSERT_TRUE(t);
  ffs.fail_write_at = ffs.writes + 200;  // well into the appended records
  Status st = t->append_db(dir.file("QUELLE.DBF"));
  ASSERT_FALSE(st.is_ok());
  EXPECT_FALSE(truncated);
  EXPECT_GE(std::filesystem::file_size(path), size_before);
  EXPECT_EQ(t->lastrec(), 10u);
  EXPECT_EQ(other->lastrec(), 10u);
  MV_ASSERT_OK(other->go_bottom());
  EXPECT_EQ(other->recno(), 10u);
  EXPECT_EQ(str_field(*other, "NOTIZ"), "Notiz 10");
  // The next append writes over the given-back bytes.
  MV_ASSERT_OK(other->append_blank());
  MV_ASSERT_OK(other->field_put("NAME", Value::character("Neu")));
  MV_ASSERT_OK(other->close());
  MV_ASSERT_OK(t->close());
  auto again = open_ok(path, false, true, "DBFCDX");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->lastrec(), 11u);
  MV_ASSERT_OK(again->go_to(11));
  EXPECT_EQ(str_field(*again, "NAME"), "Neu");
}

// Two programs on one shared record: each keeps the field it changed. The second writer
// read the record before the first wrote; writing its whole old copy would put the first
// one's field back.
TEST_F(SafetyTest, TwoWritersOnOneRecordKeepBothChanges) {
  for (const char* driver : {"DBFNTX", "DBFCDX", "DBFMDX"}) {
    SCOPED_TRACE(driver);
    const std::string path = dir.file(std::string(driver) + ".DBF");
    make_table(path, driver, 3, true);
    auto a = open_ok(path, true, false, driver);
    auto b = open_ok(path, true, false, driver);
    ASSERT_TRUE(a && b);
    MV_ASSERT_OK(a->go_to(2));
    EXPECT_EQ(str_field(*a, "NAME"), "Name 2");  // as the grid does: a copy of the record
    MV_ASSERT_OK(b->go_to(2));
    MV_ASSERT_OK(b->field_put("BETRAG", Value::numeric(99.5)));
    MV_ASSERT_OK(b->field_put("NOTIZ", Value::character("von B")));
    MV_ASSERT_OK(b->commit());
    MV_ASSERT_OK(a->field_put("NAME", Value::character("von A")));
    MV_ASSERT_OK(a->delete_record());
    MV_ASSERT_OK(a->commit());
    MV_ASSERT_OK(a->close());
    MV_ASSERT_OK(b->close());
    auto t = open_ok(path, false, true, driver);
    ASSERT_TRUE(t);
    MV_ASSERT_OK(t->go_to(2));
    EXPECT_EQ(str_field(*t, "NAME"), "von A");
    EXPECT_EQ(t->field_raw(2), "     99.50");
    EXPECT_EQ(str_field(*t, "NOTIZ"), "von B");
    EXPECT_TRUE(t->deleted());
  }
}

TEST_F(SafetyTest, ALeftoverBackupOfAnotherRunIsNeverDeleted) {
  const std::string path = dir.file("DATEN.DBF");
  make_table(path, "DBFCDX", 3, true);
  const std::vector<uint8_t> foreign{'f', 'r', 'e', 'm', 'd'};
  write_bytes(path + ".mvalt", foreign);
  write_bytes(dir.file("DATEN.FPT.mvalt"), foreign);
  auto t = open_ok(path, false, false, "DBFCDX");
  ASSERT_TRUE(t);
  MV_ASSERT_OK(t->zap());
  MV_ASSERT_OK(t->close());
  EXPECT_EQ(read_bytes(path + ".mvalt"), foreign);
  EXPECT_EQ(read_bytes(dir.file("DATEN.FPT.mvalt")), foreign);
}

// ---------------------------------------------------------------- orders of a killed writer

constexpr uint32_t kOrderedRecords = 1000;

std::vector<std::string> files_ending(const std::string& folder, const std::string& ext) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    std::string x = e.path().extension().string();
    for (char& c : x) c = char(std::tolower(uint8_t(c)));
    if (x == ext) out.push_back(e.path().string());
  }
  return out;
}

// The orders of the table: its production bag and every NTX file beside it.
std::unique_ptr<OrderList> attach_all(Table& t) {
  auto ol = OrderList::attach(t);
  EXPECT_TRUE(ol.is_ok()) << ol.status().to_string();
  if (!ol) return nullptr;
  if (t.driver() == "DBFNTX") {
    for (const auto& f : files_ending(path_dir(t.path()), ".ntx")) EXPECT_TRUE(ok((*ol)->add_index_file(f)));
  }
  return std::move(ol).value();
}

// DATEN.DBF: NAME "K00001" ... in record order, BETRAG falling, the last five records
// deleted; an order on NAME.
void make_ordered_table(const std::string& folder, const std::string& driver) {
  const std::string path = path_join(folder, "DATEN.DBF");
  ASSERT_TRUE(db_create(path, sample_fields(false), driver).is_ok());
  auto t = open_ok(path, false, false, driver);
  ASSERT_TRUE(t);
  for (uint32_t i = 1; i <= kOrderedRecords; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "K%05u", i);
    MV_ASSERT_OK(t->append_blank());
    MV_ASSERT_OK(t->field_put("NAME", Value::character(name)));
    MV_ASSERT_OK(t->field_put("BETRAG", Value::numeric(kOrderedRecords - i + 0.5)));
    if (i + 5 > kOrderedRecords) MV_ASSERT_OK(t->delete_record());
  }
  auto ol = attach_all(*t);
  ASSERT_TRUE(ol);
  if (driver == "DBFNTX") MV_ASSERT_OK(ol->create_index("NAME", "NAME"));
  else MV_ASSERT_OK(ol->create_order("NAME", "", "NAME"));
  ol.reset();
  MV_ASSERT_OK(t->close());
}

// Opened exclusively, the table's orders hold every record once in key order (rebuilt
// when a writer left them unfinished) or say why they are only read; no mark stays.
void expect_orders_sound(const std::string& folder, const std::string& driver) {
  {
    auto t = open_ok(path_join(folder, "DATEN.DBF"), false, false, driver);
    ASSERT_TRUE(t);
    auto ol = attach_all(*t);
    ASSERT_TRUE(ol);
    const uint32_t n = t->lastrec();
    std::vector<std::string> names(n + 1);
    std::vector<double> sums(n + 1);
    for (uint32_t r = 1; r <= n; ++r) {
      MV_ASSERT_OK(t->go_to(r));
      names[r] = str_field(*t, "NAME");
      sums[r] = t->field_get("BETRAG")->num;
    }
    for (size_t o = 1; o <= ol->count(); ++o) {
      SCOPED_TRACE("order " + ol->info(o).name);
      if (!ol->problem(o).empty()) continue;  // told, and the table is not written through it
      std::vector<uint32_t> want(n);
      std::iota(want.begin(), want.end(), 1u);
      const bool by_name = ol->info(o).key_expr == "NAME";
      std::stable_sort(want.begin(), want.end(),
                       [&](uint32_t a, uint32_t b) { return by_name ? names[a] < names[b] : sums[a] < sums[b]; });
      std::vector<uint32_t> got;
      MV_ASSERT_OK(ol->set_order(o));
      MV_ASSERT_OK(t->go_top());
      while (!t->eof() && got.size() <= n) {
        got.push_back(t->recno());
        MV_ASSERT_OK(t->skip(1));
      }
      EXPECT_EQ(got.size(), size_t(n)) << "records reached through the order";
      // Entries of records past the end stay out of the walk.
      auto keys = ol->key_count(o);
      ASSERT_TRUE(keys.is_ok()) << keys.status().to_string();
      EXPECT_EQ(*keys, uint64_t(n)) << "keys in the order";
      EXPECT_TRUE(got == want) << "the order is not the table sorted by its key";
    }
  }
  EXPECT_TRUE(files_ending(folder, ".mvdirty").empty());
}

// The child runs `op` on DATEN.DBF (exclusive or shared, its orders attached) and is
// killed before its k-th write, rename, remove or truncate; then k + 1, until it finishes.
// Kill points grow by half beyond `dense` to keep long operations short.
void kill_at_every_step(const std::string& driver, bool shared, int dense,
                        const std::function<Status(Table&, OrderList&)>& op) {
  TempDir tmpl;
  make_ordered_table(tmpl.path(), driver);
  bool finished = false;
  for (int k = 0; !finished; k = k < dense ? k + 1 : k * 3 / 2) {
    SCOPED_TRACE(driver + ": killed before step " + std::to_string(k));
    ASSERT_LT(k, 100000);
    TempDir d;
    for (const auto& e : std::filesystem::directory_iterator(tmpl.path()))
      std::filesystem::copy_file(e.path(), std::filesystem::path(d.path()) / e.path().filename());
    pid_t pid = fork();
    if (pid == 0) {
      FaultyFileSystem ffs(FileSystem::posix());
      OpenOptions o;
      o.shared = shared;
      o.driver = driver;
      o.fs = &ffs;
      auto t = Table::open(path_join(d.path(), "DATEN.DBF"), o);
      if (!t) _exit(3);
      auto ol = OrderList::attach(**t);
      if (!ol) _exit(3);
      if (driver == "DBFNTX" && !(*ol)->add_index_file("NAME.NTX")) _exit(3);
      int events = 0;
      auto step = [&events, k] {
        if (events++ == k) kill(getpid(), SIGKILL);
      };
      ffs.before_write = [&](int, const std::string&) { step(); };
      ffs.before_step = [&](int, const char*, const std::string&) { step(); };
      Status st = op(**t, **ol);
      if (st) st = (*t)->close();
      _exit(st ? 0 : 4);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    finished = WIFEXITED(status);
    if (finished) {
      ASSERT_EQ(WEXITSTATUS(status), 0);
    } else {
      ASSERT_TRUE(WIFSIGNALED(status));
    }
    expect_orders_sound(d.path(), driver);
    if (::testing::Test::HasFailure()) return;  // one broken kill point tells enough
  }
}

class KilledOrderTest : public SafetyTest, public ::testing::WithParamInterface<const char*> {};

// Appended records reach the table in blocks while their keys wait in memory; a
// record changed in shared mode is in the table before its keys are in the orders.
TEST_P(KilledOrderTest, WritesKilledMidwayLeaveNoSilentlyStaleOrder) {
  const std::string driver = GetParam();
  SCOPED_TRACE("appending");
  kill_at_every_step(driver, false, 6, [](Table& t, OrderList&) {
    for (uint32_t i = 1; i <= 20000; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "N%05u", i);
      MV_RETURN_IF_ERROR(t.append_blank());
      MV_RETURN_IF_ERROR(t.field_put("NAME", Value::character(name)));
    }
    return t.commit();
  });
  SCOPED_TRACE("shared changes");
  kill_at_every_step(driver, true, 1000, [](Table& t, OrderList&) {
    for (uint32_t r : {kOrderedRecords - 6, kOrderedRecords - 7}) {
      MV_RETURN_IF_ERROR(t.go_to(r));
      MV_RETURN_IF_ERROR(t.field_put("NAME", Value::character("A" + std::to_string(r))));
    }
    return Status::ok();
  });
}

// INDEX ON builds the new order where nobody uses it until it is complete (on a shared
// table in the bag, which stays marked until then); PACK puts the new table in place
// before its orders are rebuilt.
TEST_P(KilledOrderTest, IndexOnAndPackKilledMidwayLeaveNoSilentlyStaleOrder) {
  const std::string driver = GetParam();
  for (bool shared : {false, true}) {
    SCOPED_TRACE(shared ? "index on, shared" : "index on");
    kill_at_every_step(driver, shared, 1000, [&](Table&, OrderList& ol) {
      return driver == "DBFNTX" ? ol.create_index("BETRAG", "BETRAG") : ol.create_order("BETRAG", "", "BETRAG");
    });
  }
  SCOPED_TRACE("pack");
  kill_at_every_step(driver, false, 1000, [](Table& t, OrderList&) { return t.pack(); });
}

INSTANTIATE_TEST_SUITE_P(Drivers, KilledOrderTest, ::testing::Values("DBFNTX", "DBFCDX", "DBFMDX"),
                         [](const auto& info) { return std::string(info.param); });

// Orders a killed writer left unfinished are only read while the table is shared (the
// reason is among the table's warnings); the first exclusive open rebuilds them.
TEST_F(SafetyTest, UnfinishedOrdersAreRefusedWhenSharedAndRebuiltWhenExclusive) {
  for (const char* driver : {"DBFNTX", "DBFCDX", "DBFMDX"}) {
    SCOPED_TRACE(driver);
    TempDir d;
    make_ordered_table(d.path(), driver);
    const std::string path = d.file("DATEN.DBF");
    pid_t pid = fork();
    if (pid == 0) {
      auto t = open_ok(path, false, false, driver);
      if (!t) _exit(3);
      auto ol = attach_all(*t);
      if (!ol) _exit(3);
      for (int i = 0; i < 20000; ++i)
        if (!t->append_blank() || !t->field_put("NAME", Value::character("N" + std::to_string(i)))) _exit(4);
      kill(getpid(), SIGKILL);
      _exit(5);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(files_ending(d.path(), ".mvdirty").size(), 1u);
    for (bool read_only : {false, true}) {
      auto t = open_ok(path, true, read_only, driver);
      ASSERT_TRUE(t);
      auto ol = attach_all(*t);
      ASSERT_TRUE(ol);
      ASSERT_EQ(ol->count(), 1u);
      EXPECT_NE(ol->problem(1).find("nicht fertig geschrieben"), std::string::npos) << ol->problem(1);
      ASSERT_EQ(t->warnings().size(), 1u);
      EXPECT_NE(t->warnings()[0].find("nicht fertig geschrieben"), std::string::npos) << t->warnings()[0];
      Status st = t->append_blank();
      EXPECT_EQ(st.kind(), StatusKind::ReadOnly) << st.to_string();
    }
    EXPECT_EQ(files_ending(d.path(), ".mvdirty").size(), 1u);
    {
      auto t = open_ok(path, false, false, driver);
      ASSERT_TRUE(t);
      auto ol = attach_all(*t);
      ASSERT_TRUE(ol);
      EXPECT_TRUE(ol->problem(1).empty()) << ol->problem(1);
      ASSERT_FALSE(ol->messages().empty());
      EXPECT_NE(ol->messages()[0].find("neu aufgebaut"), std::string::npos) << ol->messages()[0];
      EXPECT_GT(t->lastrec(), kOrderedRecords);
      EXPECT_EQ(*ol->key_count(1), t->lastrec());
    }
    expect_orders_sound(d.path(), driver);
    auto t = open_ok(path, true, false, driver);
    ASSERT_TRUE(t);
    auto ol = attach_all(*t);
    ASSERT_TRUE(ol);
    EXPECT_TRUE(t->warnings().empty());
    MV_EXPECT_OK(t->append_blank());
  }
}

// Two writers of ours on one shared table: the mark stays while either has changes that
// are not written, and the first one's close does not take it from the other.
TEST_F(SafetyTest, TheChangeMarkStaysUntilTheLastSharedWriterIsDone) {
  for (const char* driver : {"DBFNTX", "DBFCDX", "DBFMDX"}) {
    SCOPED_TRACE(driver);
    TempDir d;
    make_ordered_table(d.path(), driver);
    const std::string path = d.file("DATEN.DBF");
    auto a = open_ok(path, true, false, driver);
    auto b = open_ok(path, true, false, driver);
    ASSERT_TRUE(a && b);
    auto oa = attach_all(*a);
    auto ob = attach_all(*b);
    ASSERT_TRUE(oa && ob);
    EXPECT_TRUE(files_ending(d.path(), ".mvdirty").empty());
    MV_ASSERT_OK(a->go_to(1));
    MV_ASSERT_OK(a->field_put("NAME", Value::character("A1")));
    EXPECT_EQ(files_ending(d.path(), ".mvdirty").size(), 1u);
    {
      // A living writer's mark is no sign of a killed one.
      auto c = open_ok(path, true, false, driver);
      ASSERT_TRUE(c);
      auto oc = attach_all(*c);
      ASSERT_TRUE(oc);
      EXPECT_TRUE(oc->problem(1).empty()) << oc->problem(1);
      EXPECT_TRUE(c->warnings().empty());
    }
    MV_ASSERT_OK(b->go_to(2));
    MV_ASSERT_OK(b->field_put("NAME", Value::character("A2")));
    MV_ASSERT_OK(a->commit());
    EXPECT_EQ(files_ending(d.path(), ".mvdirty").size(), 1u);
    MV_ASSERT_OK(b->commit());
    EXPECT_TRUE(files_ending(d.path(), ".mvdirty").empty());
    oa.reset();
    ob.reset();
    MV_ASSERT_OK(a->close());
    MV_ASSERT_OK(b->close());
    expect_orders_sound(d.path(), driver);
  }
}

// The order of the calls that decide what a power failure leaves: file syncs and the
// removal of marks, each with the file's name.
class SyncLog : public ForwardingFileSystem {
 public:
  std::vector<std::string> events;

  Result<std::unique_ptr<File>> open(const std::string& path, OpenMode mode) override {
    MV_ASSIGN_OR_RETURN(auto f, base().open(path, mode));
    return std::unique_ptr<File>(new Logged(std::move(f), events));
  }
  Status remove(const std::string& path) override {
    events.push_back("remove " + path_file(path));
    return base().remove(path);
  }
  // Where `what` first happens; npos when never.
  size_t find(const std::string& what) const {
    for (size_t i = 0; i < events.size(); ++i)
      if (events[i] == what) return i;
    return std::string::npos;
  }
  // Where a mark is first taken away; npos when never.
  size_t first_mark_gone() const {
    for (size_t i = 0; i < events.size(); ++i)
      if (events[i].starts_with("remove ") && events[i].ends_with(".mvdirty")) return i;
    return std::string::npos;
  }

 private:
  class Logged : public ForwardingFile {
   public:
    Logged(std::unique_ptr<File> f, std::vector<std::string>& events) : ForwardingFile(std::move(f)), events_(events) {}
    Status sync() override {
      events_.push_back("sync " + path_file(path()));
      return ForwardingFile::sync();
    }
    const uint8_t* map(uint64_t l) override { return base().map(l); }
    void unmap() override { base().unmap(); }

   private:
    std::vector<std::string>& events_;
  };
};

// A mark gone says the orders may be trusted, after a power failure too: by then the
// records their new keys stand for are on disk as well as the keys. Appends in exclusive
// mode, shared ones and a new tag each end that way.
TEST_F(SafetyTest, TheTableIsOnDiskBeforeTheChangeMarkGoes) {
  for (const char* driver : {"DBFNTX", "DBFCDX", "DBFMDX"}) {
    SCOPED_TRACE(driver);
    TempDir d;
    make_ordered_table(d.path(), driver);
    for (bool shared : {false, true}) {
      SCOPED_TRACE(shared ? "shared" : "exclusive");
      SyncLog log;
      auto t = open_ok(d.file("DATEN.DBF"), shared, false, driver, &log);
      ASSERT_TRUE(t);
      auto ol = attach_all(*t);
      ASSERT_TRUE(ol);
      for (int i = 0; i < 50; ++i) {
        MV_ASSERT_OK(t->append_blank());
        MV_ASSERT_OK(t->field_put("NAME", Value::character("N" + std::to_string(i))));
      }
      log.events.clear();
      MV_ASSERT_OK(t->commit());
      ASSERT_NE(log.first_mark_gone(), std::string::npos);
      EXPECT_LT(log.find("sync DATEN.DBF"), log.first_mark_gone());
      // A new tag in the bag after another append: the bag's mark goes once both are in.
      if (shared || std::string(driver) == "DBFNTX") continue;
      MV_ASSERT_OK(t->append_blank());
      MV_ASSERT_OK(t->field_put("NAME", Value::character("NEU")));
      log.events.clear();
      MV_ASSERT_OK(ol->create_order("BETRAG", "", "BETRAG"));
      ASSERT_NE(log.first_mark_gone(), std::string::npos);
      EXPECT_LT(log.find("sync DATEN.DBF"), log.first_mark_gone());
      ol.reset();
      MV_ASSERT_OK(t->close());
    }
    expect_orders_sound(d.path(), driver);
  }
}

// ---------------------------------------------------------------- read-only

TEST_F(SafetyTest, ReadOnlyOpensRefuseEveryWrite) {
  std::string path = dir.file("NURLESEN.DBF");
  make_table(path, "DBFCDX", 3, true, {2});
  make_table(dir.file("Q.DBF"), "DBFCDX", 1);
  std::string text = "\"x\"\r\n";
  write_bytes(dir.file("Q.txt"), std::vector<uint8_t>(text.begin(), text.end()));
  auto before = read_bytes(path);
  auto memo_before = read_bytes(dir.file("NURLESEN.FPT"));
  for (bool shared : {true, false}) {
    auto t = open_ok(path, shared, true);
    ASSERT_TRUE(t);
    std::vector<std::pair<const char*, Status>> writes;
    writes.emplace_back("field_put", t->field_put(1, Value::character("x")));
    writes.emplace_back("memo", t->field_put(5, Value::character("x")));
    writes.emplace_back("append", t->append_blank());
    writes.emplace_back("delete", t->delete_record());
    writes.emplace_back("recall", t->recall());
    writes.emplace_back("pack", t->pack());
    writes.emplace_back("zap", t->zap());
    writes.emplace_back("append_db", t->append_db(dir.file("Q.DBF")));
    writes.emplace_back("append_sdf", t->append_sdf(dir.file("Q.txt")));
    writes.emplace_back("append_delimited", t->append_delimited(dir.file("Q.txt")));
    for (auto& [what, st] : writes) EXPECT_EQ(st.kind(), StatusKind::ReadOnly) << what << ": " << st.to_string();
    // Reading and copying still work.
    MV_EXPECT_OK(t->copy_db(dir.file("KOPIE")));
  }
  EXPECT_EQ(read_bytes(path), before);
  EXPECT_EQ(read_bytes(dir.file("NURLESEN.FPT")), memo_before);
}

}  // namespace
}  // namespace mv::testing
