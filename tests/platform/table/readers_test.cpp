// What the table layer writes is read back by independent readers: the Perl XBase
// module's dbf_dump (DBF with DBT and FPT memos) and Free Pascal's TDbf (dBASE IV table
// with its DBT memo). Each test skips with a message when its tool is missing.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "table_helpers.h"
#include "tests/platform/table/run_command.h"

namespace mv::testing {
namespace {

std::string run(const std::string& cmd, int* status = nullptr) { return test_tools::run_command(cmd, status); }

bool have(const std::string& tool) { return !run("command -v " + tool + " 2>/dev/null").empty(); }

// Three records, the second deleted; memos of 600, 1200 and 1800 bytes around block edges.
void write_sample(const std::string& path, const std::string& driver) {
  ASSERT_TRUE(db_create(path, {{"NAME", 'C', 12, 0}, {"BETRAG", 'N', 9, 2}, {"DATUM", 'D', 8, 0},
                               {"AKTIV", 'L', 1, 0}, {"NOTIZ", 'M', 10, 0}},
                        driver, CodePage::Cp850)
                  .is_ok());
  auto t = open_ok(path, false, false, driver);
  ASSERT_TRUE(t);
  for (int i = 1; i <= 3; ++i) {
    MV_ASSERT_OK(t->append_blank());
    MV_ASSERT_OK(t->field_put(1, Value::character("Name" + std::to_string(i))));
    MV_ASSERT_OK(t->field_put(2, Value::numeric(i * -1.25)));
    MV_ASSERT_OK(t->field_put(3, Value::of_date(Date::from_ymd(2024, 1, i))));
    MV_ASSERT_OK(t->field_put(4, Value::boolean(i == 3)));
    MV_ASSERT_OK(t->field_put(5, Value::character(std::string(600 * size_t(i), char('a' + i)) + "ende")));
  }
  // A rewritten memo and a deleted record.
  MV_ASSERT_OK(t->go_to(1));
  MV_ASSERT_OK(t->field_put(5, Value::character(std::string(2000, 'z') + "neu")));
  MV_ASSERT_OK(t->go_to(2));
  MV_ASSERT_OK(t->delete_record());
  MV_ASSERT_OK(t->close());
}

TEST(IndependentReaders, PerlXBaseReadsOurTablesAndMemos) {
  if (!have("dbf_dump")) GTEST_SKIP() << "dbf_dump (libdbd-xbase-perl) is not installed";
  TempDir dir;
  for (const char* driver : {"DBFNTX", "_DBFCDX", "DBFCDX", "DBFMDX"}) {
    SCOPED_TRACE(driver);
    std::string path = dir.file(std::string("T") + (driver[0] == '_' ? "U" : "") + driver + ".DBF");
    write_sample(path, driver);
    int st = 0;
    std::string out = run("dbf_dump --fs '|' '" + path + "' 2>&1", &st);
    std::string want = "Name1|-1.25|20240101|0|" + std::string(2000, 'z') + "neu\n" + "Name3|-3.75|20240103|1|" +
                       std::string(1800, 'd') + "ende\n";
    EXPECT_EQ(st, 0);
    EXPECT_EQ(out, want);
  }
}

const char* kPascalReader = R"(program rdbf;
{$mode objfpc}{$H+}
uses SysUtils, db, dbf;
var
  T: TDbf;
  i: Integer;
  line: string;
begin
  DefaultFormatSettings.DecimalSeparator := '.';
  T := TDbf.Create(nil);
  T.FilePathFull := ExtractFilePath(ParamStr(1));
  T.TableName := ExtractFileName(ParamStr(1));
  T.ReadOnly := True;
  T.Open;
  WriteLn('level ', T.TableLevel);
  while not T.EOF do
  begin
    line := '';
    for i := 0 to T.FieldCount - 1 do
    begin
      if i > 0 then line := line + '|';
      if T.Fields[i].DataType = ftDate then
        line := line + FormatDateTime('yyyymmdd', T.Fields[i].AsDateTime)
      else
        line := line + T.Fields[i].AsString;
    end;
    WriteLn(line);
    T.Next;
  end;
  T.Close;
  T.Free;
end.
)";

TEST(IndependentReaders, FreePascalTDbfReadsOurDbase4Table) {
  if (!have("fpc")) GTEST_SKIP() << "fpc (with fp-units-db) is not installed";
  TempDir dir;
  {
    std::ofstream src(dir.file("rdbf.pas"));
    src << kPascalReader;
  }
  int st = 0;
  std::string log = run("cd '" + dir.path() + "' && fpc -v0 rdbf.pas 2>&1", &st);
  if (st != 0) GTEST_SKIP() << "the TDbf reader does not compile here (fp-units-db missing?): " << log;
  // TDbf looks for the memo file with a lower-case extension, so the table gets one too.
  std::string path = dir.file("kunden.dbf");
  write_sample(path, "DBFMDX");
  ASSERT_TRUE(FileSystem::posix().exists(dir.file("kunden.dbt")));
  std::string out = run("'" + dir.file("rdbf") + "' '" + path + "' 2>&1", &st);
  EXPECT_EQ(st, 0) << out;
  std::string want = "level 4\nName1|-1.25|20240101|False|" + std::string(2000, 'z') + "neu\n" +
                     "Name3|-3.75|20240103|True|" + std::string(1800, 'd') + "ende\n";
  EXPECT_EQ(out, want);
}

}  // namespace
}  // namespace mv::testing
