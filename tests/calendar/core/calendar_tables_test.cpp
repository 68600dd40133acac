// The calendar's tables: created with their bags on first start, existing ones left alone,
// a stale bag next to a new table erased, and every failure (another structure, a table
// held exclusively by another process, a folder that cannot take files) reported with the
// file it concerns while nothing crashes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "calendar/core/appointment_list.h"
#include "calendar/core/calendar_tables.h"
#include "platform/table/index/order_list.h"
#include "platform/table/table.h"
#include "platform/table/transfer.h"
#include "tests/platform/table/other_process.h"
#include "tests/support/fixtures.h"
#include "tests/support/forwarding_fs.h"

namespace mv {
namespace {

class CalendarTablesTest : public ::testing::Test {
 protected:
  void SetUp() override { DATENPFAD = dir.path() + "/"; }
  void TearDown() override {
    close_calendar_tables();
    GRUPPENDB.reset();
    TERMINDB.reset();
  }
  bool exists(const std::string& name) { return FileSystem::posix().exists(DATENPFAD + name); }
  testing::TempDir dir;
};

std::vector<std::pair<std::string, std::string>> tags_of(DBSERVER& s) {
  std::vector<std::pair<std::string, std::string>> out;
  for (size_t n = 1; n <= s.orders()->count(); ++n)
    out.emplace_back(s.orders()->info(n).name, s.orders()->info(n).key_expr);
  return out;
}

TEST_F(CalendarTablesTest, FirstStartCreatesBothTablesWithTheirBags) {
  EXPECT_TRUE(open_calendar_tables().empty());
  for (const char* f : {"Gruppe.DBF", "Gruppe.CDX", "Termine.DBF", "Termine.CDX"}) EXPECT_TRUE(exists(f)) << f;
  ASSERT_TRUE(GRUPPENDB->used());
  ASSERT_TRUE(TERMINDB->used());
  EXPECT_TRUE(GRUPPENDB->table()->shared());
  EXPECT_EQ(GRUPPENDB->table()->record_length(), 30);
  EXPECT_EQ(TERMINDB->table()->record_length(), 86);
  EXPECT_EQ(GRUPPENDB->table()->driver(), "DBFCDX");
  const std::vector<StructRow> gruppe = {{"GA", 'C', 1, 0}, {"HG", 'C', 2, 0}, {"UG", 'C', 2, 0}, {"BENENNUNG", 'C', 24, 0}};
  EXPECT_EQ(GRUPPENDB->DBSTRUCT(), gruppe);
  const std::vector<StructRow> termine = {{"DATUM", 'D', 8, 0}, {"UHRZEIT", 'C', 8, 0}, {"SERIE", 'C', 1, 0},
                                          {"HG", 'C', 2, 0},    {"UG", 'C', 2, 0},      {"BEMERKUNG", 'C', 64, 0}};
  EXPECT_EQ(TERMINDB->DBSTRUCT(), termine);
  EXPECT_EQ(tags_of(*GRUPPENDB), (std::vector<std::pair<std::string, std::string>>{{"GAHGUG", "GA+HG+UG"}}));
  EXPECT_EQ(tags_of(*TERMINDB), (std::vector<std::pair<std::string, std::string>>{
                                    {"DATEZEIT", "DTos(Datum)+Uhrzeit"},
                                    {"HGDATE", "HG+DTos(Datum)+UhrZeit"},
                                    {"HGUGDATE", "HG+UG+DTos(Datum)+UhrZeit"},
                                    {"SERIE", "Serie+DTos(Datum)"},
                                    {"SERIEHGUG", "Serie+HG+UG+DTos(Datum)"},
                                    {"BEMERK", "Bemerkung+DTos(Datum)"}}));

  // The orders are kept: an appointment appended shows in date order.
  ASSERT_TRUE(TERMINDB->APPEND().is_ok());
  ASSERT_TRUE(TERMINDB->FIELDPUT("Datum", Value::of_date(Date::from_ymd(2024, 6, 3))).is_ok());
  ASSERT_TRUE(TERMINDB->FIELDPUT("Bemerkung", Value::character("Zahnarzt")).is_ok());
  ASSERT_TRUE(TERMINDB->COMMIT().is_ok());
  ASSERT_TRUE(TERMINDB->SETORDER("DateZeit").is_ok());
  auto found = TERMINDB->SEEK(Value::character("20240603"));
  ASSERT_TRUE(found.is_ok());
  EXPECT_TRUE(*found);
}

TEST_F(CalendarTablesTest, MissingBagIsRebuiltAndRecordsStay) {
  ASSERT_TRUE(open_calendar_tables().empty());
  ASSERT_TRUE(TERMINDB->APPEND().is_ok());
  ASSERT_TRUE(TERMINDB->FIELDPUT("Bemerkung", Value::character("bleibt")).is_ok());
  close_calendar_tables();
  ASSERT_TRUE(FileSystem::posix().remove(DATENPFAD + "Termine.CDX").is_ok());
  EXPECT_TRUE(open_calendar_tables().empty());
  EXPECT_EQ(TERMINDB->LASTREC(), 1u);
  EXPECT_EQ(TERMINDB->order_names().size(), 6u);
  ASSERT_TRUE(TERMINDB->SETORDER("Bemerk").is_ok());
  EXPECT_TRUE(*TERMINDB->SEEK(Value::character("bleibt")));
}

TEST_F(CalendarTablesTest, StaleBagBesideANewTableIsErased) {
  ASSERT_TRUE(open_calendar_tables().empty());
  ASSERT_TRUE(GRUPPENDB->APPEND().is_ok());
  ASSERT_TRUE(GRUPPENDB->FIELDPUT("GA", Value::character("H")).is_ok());
  close_calendar_tables();
  ASSERT_TRUE(FileSystem::posix().remove(DATENPFAD + "Gruppe.DBF").is_ok());
  EXPECT_TRUE(open_calendar_tables().empty());
  EXPECT_EQ(GRUPPENDB->LASTREC(), 0u);
  ASSERT_TRUE(GRUPPENDB->SETORDER("GAHGUG").is_ok());
  EXPECT_FALSE(*GRUPPENDB->SEEK(Value::character("H"))) << "no key of a record the new table does not have";
  EXPECT_TRUE(GRUPPENDB->eof());
}

TEST_F(CalendarTablesTest, TableOfAnotherStructureIsReportedAndLeftAlone) {
  ASSERT_TRUE(db_create(DATENPFAD + "Gruppe.DBF", {{"GA", 'C', 1, 0}, {"NAME", 'C', 30, 0}}, "DBFCDX").is_ok());
  const auto problems = open_calendar_tables();
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].path, DATENPFAD + "Gruppe.DBF");
  EXPECT_EQ(problems[0].status.kind(), StatusKind::Corrupt);
  EXPECT_NE(problems[0].status.message().find("Gruppe.DBF"), std::string::npos);
  EXPECT_FALSE(exists("Gruppe.CDX")) << "no bag of ours beside a table that is not ours";
  EXPECT_FALSE(GRUPPENDB->used());
  EXPECT_FALSE(GRUPPENDB->APPEND().is_ok()) << "a table that did not open refuses writes";
  EXPECT_TRUE(TERMINDB->used());
}

TEST_F(CalendarTablesTest, TableHeldExclusivelyByAnotherProcessIsReported) {
  ASSERT_TRUE(open_calendar_tables().empty());
  close_calendar_tables();
  std::vector<CalendarTableProblem> problems;
  {
    mv::testing::OtherProcess other(DATENPFAD + "Termine.DBF", "", false);
    ASSERT_TRUE(other.ready());
    problems = open_calendar_tables();
  }
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].path, DATENPFAD + "Termine.DBF");
  EXPECT_EQ(problems[0].status.kind(), StatusKind::Locked);
  EXPECT_TRUE(GRUPPENDB->used());
  EXPECT_FALSE(TERMINDB->used());
}

TEST_F(CalendarTablesTest, FolderThatCannotBeWrittenGivesOneProblemPerTable) {
  DATENPFAD = dir.path() + "/fehlt/";
  const auto problems = open_calendar_tables();
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0].path, DATENPFAD + "Gruppe.DBF");
  EXPECT_EQ(problems[1].path, DATENPFAD + "Termine.DBF");
  EXPECT_FALSE(GRUPPENDB->used());
  EXPECT_FALSE(TERMINDB->used());
}

// The records of the table file a reader touched (its record area by record number),
// reads only: the table cannot map the file, so every record comes through read_at.
class RecordReadCounter : public mv::testing::ForwardingFileSystem {
 public:
  explicit RecordReadCounter(std::string table) : table_(std::move(table)) {}
  struct Log {
    uint64_t first_record = 0;  // offset of record 1
    uint32_t length = 1;
    std::set<uint32_t> records;
    uint64_t bytes = 0;
  } log;

  class CountingFile : public mv::testing::ForwardingFile {
   public:
    CountingFile(std::unique_ptr<File> base, Log* log) : ForwardingFile(std::move(base)), log_(log) {}
    Result<size_t> read_at(uint64_t o, void* b, size_t n) override {
      if (log_ && log_->first_record && o >= log_->first_record) {
        log_->bytes += n;
        for (uint64_t at = o; at < o + n; at += log_->length)
          log_->records.insert(uint32_t((at - log_->first_record) / log_->length + 1));
      }
      return ForwardingFile::read_at(o, b, n);
    }

   private:
    Log* log_;
  };

  Result<std::unique_ptr<File>> open(const std::string& path, OpenMode mode) override {
    MV_ASSIGN_OR_RETURN(auto f, base().open(path, mode));
    return std::unique_ptr<File>(new CountingFile(std::move(f), path == table_ ? &log : nullptr));
  }

 private:
  std::string table_;
};

// A month's list reads the month's run of the date order and the run of yearly
// appointments, never the rest of the table.
TEST_F(CalendarTablesTest, MonthListReadsItsPeriodAndTheYearlyRunOnly) {
  ASSERT_TRUE(open_calendar_tables().empty());
  close_calendar_tables();
  {
    OpenOptions o;
    o.shared = false;
    auto t = Table::open(DATENPFAD + "Termine.DBF", o);
    ASSERT_TRUE(t.is_ok());
    for (int i = 0; i < 5000; ++i) {
      Date d = Date::from_ymd(1950, 1, 1) + i;  // 1950 to 1963
      const char* serie = " ";
      if (i < 20) d = Date::from_ymd(2024, 3, 1) + i;                      // March 2024
      else if (i < 30) serie = "J", d = Date::from_ymd(1990, 1, 1) + 30 * i;  // yearly
      ASSERT_TRUE((*t)->append_blank().is_ok());
      ASSERT_TRUE((*t)->field_put("Datum", Value::of_date(d)).is_ok());
      ASSERT_TRUE((*t)->field_put("Serie", Value::character(serie)).is_ok());
    }
    ASSERT_TRUE((*t)->close().is_ok());
  }
  ASSERT_TRUE(DBINDEX_NEU(true).is_ok());
  RecordReadCounter counter(DATENPFAD + "Termine.DBF");
  DBTERMIN termine(&counter);
  ASSERT_TRUE(termine.used());
  counter.log.first_record = termine.table()->header_length();
  counter.log.length = termine.table()->record_length();
  counter.log.records.clear();
  AppointmentQuery q;
  q.kind = 'M';
  q.list_date = Date::from_ymd(2024, 3, 10);
  auto hits = collect_appointments(termine, q);
  ASSERT_TRUE(hits.is_ok());
  // The 20 of March and the yearly ones falling in it.
  size_t yearly_in_march = 0;
  for (const AppointmentHit& h : *hits) yearly_in_march += h.recno > 20;
  EXPECT_EQ(hits->size(), 20 + yearly_in_march);
  // Read: the month's records, the yearly run, and at most the one record ending each run.
  EXPECT_GE(counter.log.records.size(), 20u + 10u) << "the records come through the counter";
  EXPECT_LE(counter.log.records.size(), 20u + 10u + 2u);
  EXPECT_LT(counter.log.bytes, 5000u * counter.log.length / 50);
}

}  // namespace
}  // namespace mv
