#include "tests/support/fixtures.h"
#include "tests/platform/table/index/index_test_helpers.h"
#include "tests/platform/table/run_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace mv::index_test {

std::string fixture_root() { return mv::testing::fixtures_root(); }

std::vector<std::string> fixture_cases() {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(fixture_root(), ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file() && it->path().filename() == "expected.json")
      out.push_back(it->path().parent_path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

CodePage code_page_of(const std::string& name) {
  if (name == "cp850") return CodePage::Cp850;
  if (name == "cp437") return CodePage::Cp437;
  return CodePage::Windows1252;
}

std::string from_hex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out += char(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::string scratch_dir(const std::string& name) {
  // One folder per test, so that tests run in parallel never share files.
  std::string test;
  if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
    test = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : test)
    if (!std::isalnum(uint8_t(c)) && c != '.' && c != '_') c = '_';
  return mv::testing::make_scratch_dir(test + "_" + name);
}

index::IndexFormat format_of_case(const Json& e) {
  std::string t = e["indexType"].text;
  if (t == "NTX") return index::IndexFormat::Ntx;
  if (t == "CDX") return index::IndexFormat::Cdx;
  if (e["driver"].text == "DBFMDX") return index::IndexFormat::Mdx;
  if (e["driver"].text == "DBFNTX") return index::IndexFormat::Ntx;
  return index::IndexFormat::Cdx;
}

namespace {

const char* kPerlWalk = R"(use strict; use XBase::Index;
my ($file, $tag, $type) = @ARGV;
my %o = (type => $type); $o{tag} = $tag if $tag ne '-';
my $i = XBase::Index->new($file, %o) or die XBase::Index->errstr;
$i->prepare_select or die $i->errstr;
while (my @d = $i->fetch) { print "$d[1]\n"; }
)";

const char* kPascalWalk = R"(program walk;
{$mode objfpc}{$H+}
uses SysUtils, db, dbf;
var T: TDbf; i: Integer;
begin
  T := TDbf.Create(nil);
  try
    T.FilePathFull := ExtractFilePath(ExpandFileName(ParamStr(1)));
    T.TableName := ExtractFileName(ParamStr(1));
    T.ShowDeleted := True;
    T.ReadOnly := True;
    T.Open;
    for i := 2 to ParamCount do begin
      T.IndexName := ParamStr(i);
      T.First;
      while not T.EOF do begin
        WriteLn(T.PhysicalRecNo);
        T.Next;
      end;
      WriteLn('--');
    end;
    T.Close;
  except
    on E: Exception do begin WriteLn(StdErr, 'error: ', E.Message); Halt(2); end;
  end;
  T.Free;
end.
)";

std::vector<uint32_t> numbers(const std::string& text) {
  std::vector<uint32_t> out;
  std::istringstream in(text);
  std::string w;
  while (in >> w)
    if (!w.empty() && std::isdigit(uint8_t(w[0]))) out.push_back(uint32_t(std::stoul(w)));
  return out;
}

}  // namespace

bool have_perl_xbase() {
  int rc = -1;
  test_tools::run_command("perl -MXBase::Index -e 1 2>/dev/null", &rc);
  return rc == 0;
}

ReaderWalk perl_xbase_walk(const std::string& dir, const std::string& file, const std::string& tag, char type) {
  std::ofstream(dir + "/walk.pl") << kPerlWalk;
  ReaderWalk w;
  w.output = test_tools::run_command("perl " + dir + "/walk.pl " + file + " " + tag + " " + type + " 2>&1", &w.status);
  std::vector<uint32_t> got = numbers(w.output);
  if (tag == "-") {
    std::vector<uint32_t> once;
    std::vector<bool> seen;
    for (uint32_t r : got) {
      if (r >= seen.size()) seen.resize(r + 1);
      if (!seen[r]) once.push_back(r), seen[r] = true;
    }
    got = std::move(once);
  }
  w.orders.push_back(std::move(got));
  return w;
}

std::string tdbf_walker(std::string* why) {
  int rc = -1;
  test_tools::run_command("which fpc >/dev/null 2>&1", &rc);
  if (rc != 0) {
    *why = "Free Pascal (fpc) is not installed";
    return {};
  }
  const std::string tool = scratch_dir("tdbf_tool");
  std::ofstream(tool + "/walk.pas") << kPascalWalk;
  const std::string log = test_tools::run_command("cd " + tool + " && fpc -O2 walk.pas 2>&1", &rc);
  if (rc != 0) {
    *why = "TDbf (fp-units-db) cannot be compiled here: " + log.substr(0, 300);
    return {};
  }
  return tool + "/walk";
}

ReaderWalk tdbf_walk(const std::string& walker, const std::string& dbf, const std::vector<std::string>& tags) {
  std::string cmd = walker + " " + dbf;
  for (const std::string& t : tags) cmd += " " + t;
  ReaderWalk w;
  w.output = test_tools::run_command(cmd + " 2>&1", &w.status);
  // The walker ends each tag's record numbers with a line "--".
  w.orders.resize(1);
  std::istringstream in(w.output);
  std::string line;
  while (std::getline(in, line)) {
    if (line == "--")
      w.orders.emplace_back();
    else if (!line.empty() && std::isdigit(uint8_t(line[0])))
      w.orders.back().push_back(uint32_t(std::stoul(line)));
  }
  return w;
}

}  // namespace mv::index_test
