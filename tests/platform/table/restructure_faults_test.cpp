// A rebuild or rename that fails, is killed or finds the table held by another program
// leaves the table as it was (or, killed after the swap began, whole in its new shape).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include "platform/base/text.h"
#include "platform/table/index/order_list.h"
#include "platform/table/modes.h"
#include "platform/table/restructure.h"
#include "table_helpers.h"
#include "tests/support/faulty_fs.h"
#include "tests/support/mem_fs.h"

namespace mv::testing {
namespace {

using fuzzing::MemFileSystem;

const std::vector<StructRow> kOldRows{{"NAME", 'C', 12, 0}, {"BETRAG", 'N', 8, 2}, {"NOTIZ", 'M', 10, 0}};
// The name widened, a field inserted before the amount.
const std::vector<StructRow> kNewRows{{"NAME", 'C', 20, 0}, {"NR", 'N', 4, 0}, {"BETRAG", 'N', 8, 2},
                                      {"NOTIZ", 'M', 10, 0}};

std::vector<RestructureField> new_fields() {
  std::vector<RestructureField> f;
  for (const auto& r : kNewRows) f.push_back({r, r.name == "NR" ? "" : r.name});
  return f;
}

std::string name_of(uint32_t i) { return "Kunde " + std::to_string(i); }
std::string notiz_of(uint32_t i) { return i % 3 == 0 ? "" : "Notiz " + std::to_string(i) + std::string(i % 5 * 40, '+'); }

// The table with `n` records (every fourth deleted), its production bag or NTX file with
// the orders NAME (UPPER(NAME)) and BET (BETRAG), and an OLE file.
void make_source(FileSystem& fs, const std::string& dir, const std::string& driver, uint32_t n) {
  const std::string path = dir + "KUNDEN.DBF";
  ASSERT_TRUE(db_create(path, kOldRows, driver, CodePage::Cp850, &fs).is_ok());
  auto t = open_ok(path, false, false, driver, &fs);
  ASSERT_TRUE(t);
  for (uint32_t i = 1; i <= n; ++i) {
    MV_ASSERT_OK(t->append_blank());
    MV_ASSERT_OK(t->field_put(1, Value::character(name_of(i))));
    MV_ASSERT_OK(t->field_put(2, Value::numeric(i * 0.5)));
    if (!notiz_of(i).empty()) MV_ASSERT_OK(t->field_put(3, Value::character(notiz_of(i))));
    if (i % 4 == 0) MV_ASSERT_OK(t->delete_record());
  }
  auto ol = OrderList::attach(*t);
  ASSERT_TRUE(ol.is_ok()) << ol.status().to_string();
  if (driver == "DBFNTX") {
    MV_ASSERT_OK((*ol)->create_index(dir + "KNAME.NTX", "UPPER(NAME)"));
    MV_ASSERT_OK((*ol)->create_index(dir + "KBET.NTX", "BETRAG"));
  } else {
    MV_ASSERT_OK((*ol)->create_order("NAME", "", "UPPER(NAME)"));
    MV_ASSERT_OK((*ol)->create_order("BET", "", "BETRAG"));
  }
  ol->reset();
  MV_ASSERT_OK(t->close());
  auto dfl = fs.open(dir + "KUNDEN.DFL", OpenMode::Create);
  ASSERT_TRUE(dfl.is_ok());
  MV_ASSERT_OK((*dfl)->write_at(0, "OLE", 3));
}

RestructureOptions options(const std::string& dir, const std::string& driver) {
  RestructureOptions o;
  o.driver = driver;
  if (driver == "DBFNTX") o.ntx_files = {dir + "KNAME.NTX", dir + "KBET.NTX"};
  return o;
}

using Snapshot = std::map<std::string, std::vector<uint8_t>>;

Snapshot snapshot(FileSystem& fs, const std::string& dir);

// A file system in memory with copies of `from`'s files (its own bytes, not shared).
void copy_into(MemFileSystem& to, MemFileSystem& from, const std::string& dir);

Snapshot snapshot(FileSystem& fs, const std::string& dir) {
  Snapshot s;
  auto l = fs.list(dir);
  EXPECT_TRUE(l.is_ok());
  if (!l) return s;
  for (const auto& e : *l) {
    auto f = fs.open(dir + e.name, OpenMode::Read);
    if (!f) continue;
    std::vector<uint8_t> b(size_t((*f)->size().value()));
    EXPECT_TRUE((*f)->read_exact(0, b.data(), b.size()).is_ok());
    s[e.name] = std::move(b);
  }
  return s;
}

void copy_into(MemFileSystem& to, MemFileSystem& from, const std::string& dir) {
  for (const auto& [name, bytes] : snapshot(from, dir)) to.put(dir + name, bytes);
}

// Names a rebuild may leave only while it runs.
bool scratch_name(const std::string& name) {
  const std::string u = upper_ascii(name);
  return u.find("_NEU") != std::string::npos || u.find(".MVALT") != std::string::npos ||
         u.find(".MVJOB") != std::string::npos || u.find(".MVNEU") != std::string::npos ||
         u.find(".MVDIRTY") != std::string::npos;
}

bool known_message(const std::string& m) {
  for (const char* head : {"Die Datei kann nicht exklusiv geöffnet werden!", "Die DBF-Datei konnte nicht geöffnet werden!",
                           "Die Datei \r\n\r\n", "Die Übernahme der Daten in die Datei\r\n\r\n",
                           "Die Indexdatei konnte nicht erstellt werden!", "Die neue Datei\r\n\r\n",
                           "Die alte Datei\r\n\r\n", "Die neue Memo-Datei\r\n\r\n", "Die alte Memo-Datei\r\n\r\n",
                           "Die alte Ole-Datei\r\n\r\n"})
    if (m.rfind(head, 0) == 0) return true;
  return false;
}

// The table opens whole in the old or the new structure: every record with its values,
// flag and memo, every order with one key per record and a sound tree.
void check_whole(FileSystem& fs, const std::string& dir, const std::string& driver, uint32_t n,
                 bool* is_new = nullptr) {
  auto t = open_ok(dir + "KUNDEN.DBF", false, false, driver, &fs);
  ASSERT_TRUE(t);
  const auto rows = t->dbstruct();
  ASSERT_TRUE(rows == kOldRows || rows == kNewRows);
  if (is_new) *is_new = rows == kNewRows;
  ASSERT_EQ(t->lastrec(), n);
  for (uint32_t i = 1; i <= n; ++i) {
    MV_ASSERT_OK(t->go_to(i));
    ASSERT_EQ(str_field(*t, "NAME"), name_of(i)) << i;
    ASSERT_EQ(t->field_get("BETRAG")->num, i * 0.5) << i;
    ASSERT_EQ(str_field(*t, "NOTIZ"), notiz_of(i)) << i;
    ASSERT_EQ(t->deleted(), i % 4 == 0) << i;
  }
  auto ol = OrderList::attach(*t);
  ASSERT_TRUE(ol.is_ok()) << ol.status().to_string();
  if (driver == "DBFNTX") {
    MV_ASSERT_OK((*ol)->add_index_file(dir + "KNAME.NTX"));
    MV_ASSERT_OK((*ol)->add_index_file(dir + "KBET.NTX"));
  }
  ASSERT_EQ((*ol)->count(), 2u);
  for (size_t k = 1; k <= 2; ++k) {
    EXPECT_EQ((*ol)->problem(k), "");
    auto kc = (*ol)->key_count(k);
    ASSERT_TRUE(kc.is_ok());
    EXPECT_EQ(*kc, n);
    auto chk = (*ol)->check(k);
    EXPECT_TRUE(chk.is_ok()) << chk.status().to_string();
  }
}

// ---------------------------------------------------------------- failing steps

struct FaultKind {
  const char* name;
  int FaultyFileSystem::*at;
  int FaultyFileSystem::*count;
};

TEST(RestructureFaults, EveryFailingStepLeavesTheOriginalsAsTheyWere) {
  set_deleted_filter(false);
  const FaultKind kinds[] = {{"write", &FaultyFileSystem::fail_write_at, &FaultyFileSystem::writes},
                             {"short write", &FaultyFileSystem::short_write_at, &FaultyFileSystem::writes},
                             {"sync", &FaultyFileSystem::fail_sync_at, &FaultyFileSystem::syncs},
                             {"rename", &FaultyFileSystem::fail_rename_at, &FaultyFileSystem::renames},
                             {"remove", &FaultyFileSystem::fail_remove_at, &FaultyFileSystem::removes}};
  const std::string dir = "/d/";
  for (const char* driver : {"DBFCDX", "DBFNTX", "DBFMDX"}) {
    MemFileSystem source;
    make_source(source, dir, driver, 12);
    for (const FaultKind& kind : kinds) {
      // A clean run counts the steps of this kind; each of them then fails in turn.
      int total = 0;
      {
        MemFileSystem mem;
        copy_into(mem, source, dir);
        FaultyFileSystem ffs(mem);
        ASSERT_TRUE(restructure_table(ffs, dir + "KUNDEN.DBF", new_fields(), options(dir, driver)).ok());
        total = ffs.*kind.count;
      }
      int failures = 0;
      for (int n = 0; n < total; ++n) {
        SCOPED_TRACE(std::string(driver) + ", " + kind.name + " " + std::to_string(n) + " of " + std::to_string(total));
        MemFileSystem mem;
        copy_into(mem, source, dir);
        const Snapshot before = snapshot(mem, dir);
        FaultyFileSystem ffs(mem);
        ffs.*kind.at = n;
        RestructureOutcome out = restructure_table(ffs, dir + "KUNDEN.DBF", new_fields(), options(dir, driver));
        if (!out.ok()) {
          ++failures;
          EXPECT_TRUE(known_message(out.message)) << out.message;
          // Every original byte-identical, nothing new beside them.
          ASSERT_EQ(snapshot(mem, dir), before);
          continue;
        }
        // A step that may fail without harm (an old file that would not go): the new
        // table is whole, and its next opening clears what was left.
        bool is_new = false;
        check_whole(mem, dir, driver, 12, &is_new);
        EXPECT_TRUE(is_new);
        for (const auto& [name, bytes] : snapshot(mem, dir)) EXPECT_FALSE(scratch_name(name)) << name;
      }
      if (std::string(kind.name) != "remove") {
        EXPECT_GT(failures, 0);
      }
    }
  }
}

TEST(RestructureFaults, AStoppedTakeoverChangesNothing) {
  set_deleted_filter(false);
  MemFileSystem mem;
  make_source(mem, "/d/", "DBFCDX", 12);
  const Snapshot before = snapshot(mem, "/d/");
  RestructureOptions opt = options("/d/", "DBFCDX");
  opt.progress = [](uint64_t done, uint64_t total) {
    EXPECT_EQ(total, 12u);
    return done < 5;
  };
  RestructureOutcome out = restructure_table(mem, "/d/KUNDEN.DBF", new_fields(), opt);
  EXPECT_EQ(out.message, "Die Übernahme der Daten in die Datei\r\n\r\n/d/KUNDEN_Neu\r\n\r\n konnte nicht erfolgen!");
  EXPECT_EQ(snapshot(mem, "/d/"), before);
}

TEST(RestructureFaults, RefusedStructuresChangeNothing) {
  set_deleted_filter(false);
  MemFileSystem mem;
  make_source(mem, "/d/", "DBFCDX", 3);
  const Snapshot before = snapshot(mem, "/d/");
  const std::string creation = "Die Datei \r\n\r\n/d/KUNDEN_Neu\r\n\r\nkonnte nicht neu erstellt werden!";
  // No field left; an OLE field of a length other than ten.
  for (const auto& fields : {std::vector<RestructureField>{},
                             std::vector<RestructureField>{{{"NAME", 'C', 12, 0}, "NAME"}, {{"BILD", 'O', 8, 0}, ""}}}) {
    EXPECT_EQ(restructure_table(mem, "/d/KUNDEN.DBF", fields, options("/d/", "DBFCDX")).message, creation);
    EXPECT_EQ(snapshot(mem, "/d/"), before);
  }
}

TEST(RestructureFaults, AFailedRenameInPlacePutsTheOldNameBack) {
  MemFileSystem mem;
  ASSERT_TRUE(db_create("/d/T.DBF", kOldRows, "DBFCDX", CodePage::Cp850, &mem).is_ok());
  const Snapshot before = snapshot(mem, "/d/");
  const struct {
    const char* what;
    int FaultyFileSystem::*at;
  } rows[] = {{"write", &FaultyFileSystem::fail_write_at},
              {"short write", &FaultyFileSystem::short_write_at},
              {"sync", &FaultyFileSystem::fail_sync_at}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    FaultyFileSystem ffs(mem);
    ffs.*r.at = 0;
    const std::string msg = rename_field_in_place(ffs, "/d/T.DBF", "BETRAG", "SUMME");
    EXPECT_EQ(msg.rfind("FWrite Fehler: ", 0), 0u) << msg;
    EXPECT_EQ(snapshot(mem, "/d/"), before);
  }
  EXPECT_EQ(rename_field_in_place(mem, "/d/NICHTDA.DBF", "BETRAG", "SUMME").rfind("FOpen Fehler: ", 0), 0u);
}

// ---------------------------------------------------------------- other processes

TEST(RestructureProcesses, ATableHeldElsewhereIsLeftAlone) {
  set_deleted_filter(false);
  TempDir d;
  const std::string dir = d.path() + "/";
  make_source(FileSystem::posix(), dir, "DBFCDX", 5);
  // The other program may be rebuilding the table itself: its new files are not ours.
  write_bytes(dir + "KUNDEN_Neu.DBF", {1, 2, 3});
  const Snapshot before = snapshot(FileSystem::posix(), dir);
  {
    OtherProcess other(dir + "KUNDEN.DBF", "DBFCDX", true);
    ASSERT_TRUE(other.ready());
    RestructureOutcome out =
        restructure_table(FileSystem::posix(), dir + "KUNDEN.DBF", new_fields(), options(dir, "DBFCDX"));
    EXPECT_EQ(out.message, "Die Datei kann nicht exklusiv geöffnet werden!");
    EXPECT_EQ(rename_field_in_place(FileSystem::posix(), dir + "KUNDEN.DBF", "NAME", "KUNDE"),
              "Die Datei kann nicht exklusiv geöffnet werden!");
    EXPECT_EQ(snapshot(FileSystem::posix(), dir), before);
  }
  // Let go, the same rebuild goes through.
  EXPECT_TRUE(restructure_table(FileSystem::posix(), dir + "KUNDEN.DBF", new_fields(), options(dir, "DBFCDX")).ok());
}

// A child process rebuilds the table and is killed at a chosen point: during the takeover
// of the records, while the orders are built, or before any step of the swap. The table
// then opens whole, old or new, and a later rebuild goes through.
TEST(RestructureProcesses, AKilledRebuildLeavesTheTableWhole) {
  set_deleted_filter(false);
  constexpr uint32_t kRecords = 200;
  for (const char* driver : {"DBFCDX", "DBFMDX"}) {
    TempDir src;
    const std::string sdir = src.path() + "/";
    make_source(FileSystem::posix(), sdir, driver, kRecords);
    const Snapshot original = snapshot(FileSystem::posix(), sdir);
    auto fresh_copy = [&](const TempDir& d) {
      for (const auto& [name, bytes] : original) write_bytes(d.file(name), bytes);
    };

    // A clean run in a copy tells where the swap begins: the journal is put in place.
    int swap_begins = -1, steps = 0, bag_write = -1;
    {
      TempDir d;
      fresh_copy(d);
      FaultyFileSystem ffs(FileSystem::posix());
      ffs.before_step = [&](int step, const char* what, const std::string& path) {
        if (swap_begins < 0 && std::string(what) == "rename" && path.find(".mvjob.mvneu") != std::string::npos &&
            path.find("KUNDEN.DBF") != std::string::npos && path.find("_Neu") == std::string::npos)
          swap_begins = step;
      };
      ffs.before_write = [&](int nth, const std::string& path) {
        if (bag_write < 0 && upper_ascii(path).find("KUNDEN_NEU.") != std::string::npos &&
            (upper_ascii(path).find(".CDX") != std::string::npos || upper_ascii(path).find(".MDX") != std::string::npos))
          bag_write = nth;
      };
      ASSERT_TRUE(restructure_table(ffs, d.file("KUNDEN.DBF"), new_fields(), options(d.path() + "/", driver)).ok());
      steps = ffs.steps;
    }
    ASSERT_GE(swap_begins, 0);
    ASSERT_GE(bag_write, 0);

    struct Kill {
      std::string what;
      int step = -1, write = -1;
      uint32_t record = 0;
    };
    std::vector<Kill> kills{{"takeover", -1, -1, kRecords / 2}, {"order build", -1, bag_write + 3, 0}};
    // The swap does not depend on the index format: every step of it once, for the first
    // driver; the other one is killed in the middle of it and once all new files are in.
    const bool every_step = std::string(driver) == "DBFCDX";
    for (int s = swap_begins; s < steps; ++s)
      if (every_step || s == (swap_begins + steps) / 2 || s == steps - 2)
        kills.push_back({"swap step " + std::to_string(s), s, -1, 0});
    bool saw_old = false, saw_new = false;
    for (const Kill& k : kills) {
      SCOPED_TRACE(std::string(driver) + ": killed at " + k.what);
      TempDir d;
      fresh_copy(d);
      const std::string dir = d.path() + "/";
      pid_t pid = fork();
      if (pid == 0) {
        FaultyFileSystem ffs(FileSystem::posix());
        ffs.before_step = [&](int step, const char*, const std::string&) {
          if (step == k.step) kill(getpid(), SIGKILL);
        };
        ffs.before_write = [&](int nth, const std::string&) {
          if (nth == k.write) kill(getpid(), SIGKILL);
        };
        RestructureOptions o = options(dir, driver);
        o.progress = [&](uint64_t done, uint64_t) {
          if (done == k.record) kill(getpid(), SIGKILL);
          return true;
        };
        _exit(restructure_table(ffs, dir + "KUNDEN.DBF", new_fields(), o).ok() ? 0 : 4);
      }
      int status = 0;
      waitpid(pid, &status, 0);
      ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child was not killed";
      bool is_new = false;
      check_whole(FileSystem::posix(), dir, driver, kRecords, &is_new);
      (is_new ? saw_new : saw_old) = true;
      // The opening settled the swap: no old file is left aside, no journal.
      for (const auto& [name, bytes] : snapshot(FileSystem::posix(), dir))
        if (name.find(".mv") != std::string::npos) {
          EXPECT_NE(upper_ascii(name).find("_NEU"), std::string::npos) << name;
        }
      if (k.step < 0) {
        // Killed before the swap: the originals are untouched, and the next rebuild clears
        // what the killed one left.
        Snapshot now = snapshot(FileSystem::posix(), dir);
        for (const auto& [name, bytes] : original) EXPECT_EQ(now[name], bytes) << name;
        ASSERT_TRUE(restructure_table(FileSystem::posix(), dir + "KUNDEN.DBF", new_fields(), options(dir, driver)).ok());
        for (const auto& [name, bytes] : snapshot(FileSystem::posix(), dir)) EXPECT_FALSE(scratch_name(name)) << name;
        check_whole(FileSystem::posix(), dir, driver, kRecords, &is_new);
        EXPECT_TRUE(is_new);
      }
    }
    EXPECT_TRUE(saw_old);
    EXPECT_TRUE(saw_new);
  }
}

}  // namespace
}  // namespace mv::testing
