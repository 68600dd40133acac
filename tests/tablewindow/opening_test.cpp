// Driver choice from companions and version byte, the try order, the row mode and the
// attempts of an opening.
#include <gtest/gtest.h>

#include <fstream>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/faulty_fs.h"
#include "platform/table/restructure.h"
#include "platform/table/table.h"
#include "platform/table/transfer.h"
#include "tablewindow/opening.h"
#include "tablewindow_helpers.h"

namespace mv {
namespace {

using twtest::scratch_dir;

// A file of 32 bytes whose first byte is `version`, plus empty companions.
std::string make_files(const std::string& dir, const std::string& table, uint8_t version,
                       const std::vector<std::string>& companions) {
  const std::string path = dir + "/" + table;
  std::ofstream f(path, std::ios::binary);
  std::string header(32, '\0');
  header[0] = char(version);
  f << header;
  for (const std::string& c : companions) std::ofstream(dir + "/" + c) << "";
  return path;
}

TEST(Opening, DriverFromCompanionsAndVersionByte) {
  struct Case {
    const char* name;
    const char* table;
    uint8_t version;
    std::vector<std::string> companions;
    const char* detected;  // DRIVERERKENNUNG
    const char* by_byte;   // GETRDD
    const char* first;     // with "DBFCDX" as default
  };
  const std::vector<Case> cases = {
      {"cdx and dbt", "KUNDEN.DBF", 0x83, {"KUNDEN.CDX", "KUNDEN.DBT"}, "_DBFCDX", "DBFNTX", "_DBFCDX"},
      {"cdx and fpt", "KUNDEN.DBF", 0xF5, {"KUNDEN.CDX", "KUNDEN.FPT"}, "DBFCDX", "DBFCDX", "DBFCDX"},
      {"mdx wins", "KUNDEN.DBF", 0x03, {"KUNDEN.MDX", "KUNDEN.CDX", "KUNDEN.NTX"}, "DBFMDX", "DBFCDX", "DBFMDX"},
      {"ntx only", "KUNDEN.DBF", 0x03, {"KUNDEN.NTX"}, "DBFNTX", "DBFCDX", "DBFNTX"},
      {"fpt only", "KUNDEN.DBF", 0x30, {"KUNDEN.FPT"}, "DBFCDX", "", "DBFCDX"},
      {"dbt with 0x87", "KUNDEN.DBF", 0x87, {"KUNDEN.DBT"}, "_DBFCDX", "", "_DBFCDX"},
      {"dbt with 0x83", "KUNDEN.DBF", 0x83, {"KUNDEN.DBT"}, "DBFNTX", "DBFNTX", "DBFNTX"},
      {"dbt with 0x8B", "KUNDEN.DBF", 0x8B, {"KUNDEN.DBT"}, "DBFMDX", "DBFMDX", "DBFMDX"},
      {"dbt with 0x30", "KUNDEN.DBF", 0x30, {"KUNDEN.DBT"}, "", "", "DBFCDX"},
      {"nothing, 0x87", "KUNDEN.DBF", 0x87, {}, "", "", "DBFCDX"},
      {"nothing, 0x07", "KUNDEN.DBF", 0x07, {}, "", "DBFNTX", "DBFNTX"},
      {"nothing, 0x30", "KUNDEN.DBF", 0x30, {}, "", "", "DBFCDX"},
      {"companions in lower case", "KUNDEN.DBF", 0x83, {"kunden.cdx", "kunden.dbt"}, "_DBFCDX", "DBFNTX", "_DBFCDX"},
      {"lower-case table", "kunden.dbf", 0xF5, {"kunden.fpt"}, "DBFCDX", "DBFCDX", "DBFCDX"},
      {"not .DBF: no companion test", "KUNDEN.DAT", 0x83, {"KUNDEN.CDX"}, "", "DBFNTX", "DBFNTX"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = scratch_dir("detect");
    const QString path = QString::fromStdString(make_files(dir, c.table, c.version, c.companions));
    EXPECT_EQ(DRIVERERKENNUNG(path).toStdString(), c.detected);
    EXPECT_EQ(GETRDD(path).toStdString(), c.by_byte);
    EXPECT_EQ(first_driver(path, QStringLiteral("DBFCDX")).toStdString(), c.first);
  }
  EXPECT_EQ(GETRDD(QString()), QString());
  EXPECT_EQ(GETRDD(QStringLiteral("/nicht/da/X.DBF")), QString());
  EXPECT_EQ(DRIVERERKENNUNG(QStringLiteral("/nicht/da/X.DBF")), QString());
}

TEST(Opening, TryOrder) {
  using A = std::array<QString, 4>;
  EXPECT_EQ(FILLARRAYDRIVER("DBFCDX"), (A{"DBFCDX", "_DBFCDX", "DBFMDX", "DBFNTX"}));
  EXPECT_EQ(FILLARRAYDRIVER("_DBFCDX"), (A{"_DBFCDX", "DBFCDX", "DBFMDX", "DBFNTX"}));
  EXPECT_EQ(FILLARRAYDRIVER("DBFMDX"), (A{"DBFMDX", "DBFCDX", "_DBFCDX", "DBFNTX"}));
  EXPECT_EQ(FILLARRAYDRIVER("DBFNTX"), (A{"DBFNTX", "DBFCDX", "_DBFCDX", "DBFMDX"}));
  EXPECT_EQ(FILLARRAYDRIVER("FOO"), (A{"FOO", "", "", ""}));
  EXPECT_EQ(FILLARRAYDRIVER("dbfcdx"), (A{"dbfcdx", "", "", ""}));  // names compare exactly
}

TEST(Opening, RowMode) {
  using M = grid::GRIDBROWSER::RowMode;
  struct Case {
    const char* rdd;
    int ord;
    uint64_t keys;
    M mode;
  };
  for (const Case& c : std::vector<Case>{{"DBFCDX", 1, 40000, M::RELATIVE},
                                         {"DBFCDX", 1, 40001, M::ABSOLUTE},
                                         {"DBFNTX", 2, 10000, M::RELATIVE},
                                         {"DBFNTX", 2, 10001, M::ABSOLUTE},
                                         {"DBFCDX", 1, 10001, M::RELATIVE},
                                         {"_DBFCDX", 1, 900000, M::RELATIVE},
                                         {"DBFMDX", 1, 900000, M::RELATIVE},
                                         {"DBFNTX", 0, 900000, M::RELATIVE}}) {
    SCOPED_TRACE(std::string(c.rdd) + " " + std::to_string(c.keys));
    EXPECT_EQ(row_mode_for(c.rdd, c.ord, c.keys), c.mode);
  }
}

TEST(Opening, MissingFileTriesAllFourDriversSilently) {
  const QString path = QString::fromStdString(scratch_dir("missing") + "/WEG.DBF");
  OpenOutcome o = open_with_fallback(path, true, false, false, "DBFCDX");
  EXPECT_FALSE(o.table);
  EXPECT_FALSE(o.sharing);
  EXPECT_EQ(o.attempts, (QStringList{"DBFCDX", "_DBFCDX", "DBFMDX", "DBFNTX"}));
  EXPECT_EQ(o.driver, "DBFNTX");
}

TEST(Opening, UnknownDefaultDriverIsTriedAloneByNameThenWithEmptyNames) {
  const QString path = QString::fromStdString(twtest::make_table(scratch_dir("foo"), "T.DBF", 3, {}, "DBFNTX"));
  // No companions, version 0x03: "DBFCDX" by the byte. A 0x30 table without companion
  // would go to the default driver; here the default only matters when detection fails.
  OpenOutcome o = open_with_fallback(QString::fromStdString(scratch_dir("none") + "/X.DBF"), true, false, false, "FOO");
  EXPECT_EQ(o.attempts, (QStringList{"FOO", "", "", ""}));
  OpenOutcome ok = open_with_fallback(path, true, false, false, "FOO");
  ASSERT_TRUE(ok.table);
  ASSERT_EQ(ok.attempts.size(), 1);  // the version byte decided before the default
  EXPECT_NE(ok.attempts[0], "FOO");
}

TEST(Opening, SharingConflictStopsAtTheFirstAttemptWithItsText) {
  const std::string path = twtest::make_table(scratch_dir("sharing"), "T.DBF", 3);
  OpenOptions o;
  o.shared = false;
  auto holder = Table::open(path, o);
  ASSERT_TRUE(holder);
  OpenOutcome out = open_with_fallback(QString::fromStdString(path), true, false, false, "DBFCDX");
  EXPECT_FALSE(out.table);
  EXPECT_TRUE(out.sharing);
  EXPECT_EQ(out.attempts.size(), 1);
  EXPECT_TRUE(out.error_text.startsWith("SHARING"));
  (*holder)->close().ignore();
  OpenOutcome again = open_with_fallback(QString::fromStdString(path), true, false, false, "DBFCDX");
  EXPECT_TRUE(again.table);
  EXPECT_FALSE(again.sharing);
}

TEST(Opening, MissingMemoFileFailsEveryDriver) {
  const std::string dir = twtest::copy_fixture("peer/ntx-dbt");
  std::remove((dir + "/KUNDEN.DBT").c_str());
  OpenOutcome o = open_with_fallback(QString::fromStdString(dir + "/KUNDEN.DBF"), true, false, false, "DBFCDX");
  EXPECT_FALSE(o.table);
  EXPECT_EQ(o.attempts.size(), 4);
}

TEST(Opening, ProductionBagTheDriverCannotMaintainMeansReadOnly) {
  const std::string dir = twtest::copy_fixture("peer/cdx-nomemo");
  const QString path = QString::fromStdString(dir + "/ADRESSEN.DBF");
  // Maintained: the CDX driver keeps its own bag up to date.
  {
    OpenOutcome o = open_with_fallback(path, true, false, false, "DBFCDX");
    ASSERT_TRUE(o.table);
    EXPECT_TRUE(o.unmaintained_bag.isEmpty());
    EXPECT_FALSE(o.table->read_only());
    EXPECT_EQ(o.orders->count(), 7);
  }
  // A stray MDX makes the MDX driver open the table; it cannot keep the CDX bag.
  std::ofstream(dir + "/ADRESSEN.MDX") << "";
  OpenOutcome o = open_with_fallback(path, true, false, false, "DBFCDX");
  ASSERT_TRUE(o.table);
  EXPECT_EQ(o.driver, "DBFMDX");
  EXPECT_TRUE(o.table->read_only());
  EXPECT_TRUE(o.unmaintained_bag.endsWith("ADRESSEN.CDX"));
  EXPECT_FALSE(o.table->append_blank().is_ok());
  // Asked for read-only anyway: no message is due.
  OpenOutcome ro = open_with_fallback(path, true, true, false, "DBFCDX");
  ASSERT_TRUE(ro.table);
  EXPECT_TRUE(ro.unmaintained_bag.isEmpty());
}

// A file that refuses every write open (an immutable file answers EPERM) still opens for
// reading when reading is all that is asked for, shared or exclusive.
TEST(Opening, ReadOnlyOpenReadsAFileThatRefusesWriting) {
  const std::string path = twtest::make_table(scratch_dir("eperm"), "T.DBF", 3);
  FaultyFileSystem fs(FileSystem::posix());
  fs.fail_open = [](const std::string&, OpenMode m) { return m != OpenMode::Read; };
  for (bool share : {true, false}) {
    SCOPED_TRACE(share);
    OpenOutcome o = open_with_fallback(QString::fromStdString(path), share, true, false, "DBFCDX", &fs);
    ASSERT_TRUE(o.table) << o.error_text.toStdString();
    EXPECT_TRUE(o.table->read_only());
    EXPECT_EQ(o.table->lastrec(), 3u);
  }
  // Asked for writing, the refusal is the answer.
  OpenOutcome w = open_with_fallback(QString::fromStdString(path), false, false, false, "DBFCDX", &fs);
  EXPECT_FALSE(w.table);
  EXPECT_FALSE(w.error_text.isEmpty());
}

TEST(Opening, CodePageMarks) {
  const std::vector<std::pair<uint8_t, std::optional<CodePage>>> cases = {
      {0x00, std::nullopt},         {0x01, CodePage::Cp437},       {0x02, CodePage::Cp850},
      {0x03, CodePage::Windows1252}, {0x10, CodePage::Cp850},      {0x57, CodePage::Windows1252},
      {0x58, CodePage::Windows1252}, {0x64, std::nullopt},         {0xC8, std::nullopt}};
  for (const auto& [mark, cp] : cases) EXPECT_EQ(code_page_of_mark(mark), cp) << int(mark);
}


// A rebuild killed in the middle of its swap leaves a journal; the opening settles it before
// it reads the header for the code page, so the table is read in the page its mark names
// (an ANSI table here, opened with the ANSI box off) at every point of the swap.
TEST(Opening, ATableLeftHalfSwappedIsReadInItsOwnCodePage) {
  const std::string base = scratch_dir("halfswap");
  const std::string table = base + "/KUNDEN.DBF";
  ASSERT_TRUE(db_create(table, {{"NAME", 'C', 10, 0}}, "DBFCDX", CodePage::Windows1252));
  std::vector<RestructureField> fields{{{"NAME", 'C', 10, 0}, "NAME"}, {{"NOTIZ", 'M', 10, 0}, ""}};
  RestructureOptions ro;
  ro.driver = "DBFCDX";
  std::string original;
  {
    std::ifstream in(table, std::ios::binary);
    original.assign(std::istreambuf_iterator<char>(in), {});
  }
  // A clean run tells how many steps the whole rebuild takes.
  int steps = 0;
  {
    const std::string dir = scratch_dir("halfswap_clean");
    std::ofstream(dir + "/KUNDEN.DBF", std::ios::binary) << original;
    FaultyFileSystem ffs(FileSystem::posix());
    ASSERT_TRUE(restructure_table(ffs, dir + "/KUNDEN.DBF", fields, ro).ok());
    steps = ffs.steps;
  }
  ASSERT_GT(steps, 0);
  for (int k = 0; k < steps; ++k) {
    SCOPED_TRACE("killed before step " + std::to_string(k));
    const std::string dir = scratch_dir("halfswap_" + std::to_string(k));
    std::ofstream(dir + "/KUNDEN.DBF", std::ios::binary) << original;
    const pid_t pid = fork();
    if (pid == 0) {
      FaultyFileSystem ffs(FileSystem::posix());
      ffs.before_step = [&](int step, const char*, const std::string&) {
        if (step == k) kill(getpid(), SIGKILL);
      };
      _exit(restructure_table(ffs, dir + "/KUNDEN.DBF", fields, ro).ok() ? 0 : 4);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    OpenOutcome o = open_with_fallback(QString::fromStdString(dir + "/KUNDEN.DBF"), true, false, false, "DBFCDX");
    ASSERT_TRUE(o.table) << o.error_text.toStdString();
    EXPECT_EQ(o.table->code_page(), CodePage::Windows1252);
  }
}

}  // namespace
}  // namespace mv
