// Index files we write, read by other programs: the Perl module XBase's index reader
// (NTX, CDX, MDX) and Free Pascal's TDbf (MDX). Their walk of every order must equal
// ours, after a bulk build and after long runs of appends, edits and deletes. A missing
// tool skips with a message.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/table/index/order_list.h"
#include "platform/table/table.h"
#include "tests/platform/table/index/index_test_helpers.h"
#include "tests/platform/table/run_command.h"

namespace mv {
namespace {

using index::IndexFormat;

std::string run(const std::string& cmd, int* rc = nullptr) { return test_tools::run_command(cmd, rc); }

std::vector<uint32_t> numbers(const std::string& text) {
  std::vector<uint32_t> out;
  std::istringstream in(text);
  std::string w;
  while (in >> w)
    if (!w.empty() && std::isdigit(uint8_t(w[0]))) out.push_back(uint32_t(std::stoul(w)));
  return out;
}

bool have_perl_xbase() {
  int rc = -1;
  run("perl -MXBase::Index -e 1 2>/dev/null", &rc);
  return rc == 0;
}

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

struct TagSpec {
  const char* name;
  const char* key;
  char type;  // C or N as the readers want it
  bool descending;
  bool unique;
};

const TagSpec kTags[] = {
    {"NAME", "UPPER(NAME)", 'C', false, false},
    {"BETRAG", "BETRAG", 'N', false, false},
    {"NAMED", "NAME", 'C', true, false},
    {"NAMEU", "NAME", 'C', false, true},
    {"KOMBI", "UPPER(NAME)+DTOS(DATUM)", 'C', false, false},
};

std::string name_for(std::mt19937& rng) {
  static const char* parts[] = {"Abel", "MUELLER", "Baecker", "Zorn", "Otto", "Ebert", "Ulm", "Abt", "Kranz"};
  std::string s = parts[rng() % 9];
  s += ", ";
  s += parts[rng() % 9];
  s += std::to_string(rng() % 50);
  return s;
}

class ExternalReaders : public ::testing::TestWithParam<std::tuple<std::string, bool>> {
 protected:
  IndexFormat format() const {
    return *index_format_of_driver(std::get<0>(GetParam()));
  }

  // A table of `n` records with every tag, built in one pass or maintained record by
  // record; answers the table path.
  std::string make(const std::string& dir, int n, bool maintained) {
    const std::string& driver = std::get<0>(GetParam());
    std::string path = dir + "/KUNDEN.DBF";
    EXPECT_TRUE(db_create(path, {{"NAME", 'C', 24, 0}, {"BETRAG", 'N', 10, 2}, {"DATUM", 'D', 8, 0}, {"NOTIZ", 'M', 10, 0}}, driver).is_ok());
    OpenOptions o;
    o.shared = false;
    o.driver = driver;
    auto t = Table::open(path, o);
    EXPECT_TRUE(t.is_ok());
    auto ol = OrderList::attach(**t);
    EXPECT_TRUE(ol.is_ok());
    std::mt19937 rng(17);
    auto add = [&] {
      EXPECT_TRUE((*t)->append_blank().is_ok());
      EXPECT_TRUE((*t)->field_put("NAME", Value::character(name_for(rng))).is_ok());
      EXPECT_TRUE((*t)->field_put("BETRAG", Value::numeric(double(int(rng() % 400000) - 200000) / 4, 10, 2)).is_ok());
      EXPECT_TRUE((*t)->field_put("DATUM", Value::of_date(Date::from_julian(2440000 + int(rng() % 20000)))).is_ok());
    };
    auto create = [&] {
      for (const TagSpec& s : kTags) {
        CreateOrderOptions co;
        co.descending = s.descending;
        co.unique = s.unique;
        Status st = format() == IndexFormat::Ntx ? (*ol)->create_index(s.name, s.key, co)
                                                 : (*ol)->create_order(s.name, "", s.key, co);
        EXPECT_TRUE(st.is_ok()) << st.to_string();
      }
    };
    if (!maintained) {
      for (int i = 0; i < n; ++i) add();
      create();
    } else {
      create();
      for (int i = 0; i < n; ++i) {
        add();
        if (i > 10 && rng() % 3 == 0) {
          EXPECT_TRUE((*t)->go_to(uint32_t(rng() % (*t)->lastrec()) + 1).is_ok());
          EXPECT_TRUE((*t)->field_put("NAME", Value::character(name_for(rng))).is_ok());
          if (rng() % 2) {
            EXPECT_TRUE((*t)->delete_record().is_ok());
          }
        }
      }
    }
    ol->reset();
    EXPECT_TRUE((*t)->close().is_ok());
    return path;
  }

  // Our walk of every tag, stored order (what a reader that ignores the descending flag
  // of a CDX tag sees) and logical order.
  std::map<std::string, std::vector<uint32_t>> ours(const std::string& path, bool stored_order) {
    std::map<std::string, std::vector<uint32_t>> out;
    OpenOptions o;
    o.driver = std::get<0>(GetParam());
    o.read_only = true;
    auto t = Table::open(path, o);
    EXPECT_TRUE(t.is_ok());
    auto ol = OrderList::attach(**t);
    EXPECT_TRUE(ol.is_ok());
    if (format() == IndexFormat::Ntx) {
      for (const TagSpec& s : kTags) EXPECT_TRUE((*ol)->add_index_file(s.name).is_ok());
    }
    for (size_t n = 1; n <= (*ol)->count(); ++n) {
      index::TreeOrder* o2 = (*ol)->tree(n);
      std::vector<uint32_t> w;
      index::Cursor c;
      EXPECT_TRUE(o2->first(c).is_ok());
      while (c.valid()) {
        w.push_back(o2->recno_at(c));
        EXPECT_TRUE(o2->next(c).is_ok());
      }
      if (stored_order && format() == IndexFormat::Cdx && o2->info().descending) std::reverse(w.begin(), w.end());
      out[o2->info().name] = w;
    }
    return out;
  }
};

TEST_P(ExternalReaders, PerlXBaseWalksEveryOrderAsWeDo) {
  if (!have_perl_xbase()) GTEST_SKIP() << "Perl module XBase (libdbd-xbase-perl) is not installed";
  const bool maintained = std::get<1>(GetParam());
  std::string dir = index_test::scratch_dir(std::string("perl_") + std::get<0>(GetParam()) + (maintained ? "_m" : "_b"));
  std::string path = make(dir, maintained ? 3000 : 5000, maintained);
  std::ofstream(dir + "/walk.pl") << kPerlWalk;
  auto want = ours(path, true);
  ASSERT_EQ(want.size(), std::size(kTags));
  for (const TagSpec& s : kTags) {
    SCOPED_TRACE(s.name);
    std::string file, tag = s.name;
    if (format() == IndexFormat::Ntx) {
      file = dir + "/" + s.name + ".NTX";
      tag = "-";
    } else {
      file = dir + (format() == IndexFormat::Cdx ? "/KUNDEN.CDX" : "/KUNDEN.mdx");
    }
    int rc = 0;
    std::string out = run("perl " + dir + "/walk.pl " + file + " " + tag + " " + s.type + " 2>&1", &rc);
    ASSERT_EQ(rc, 0) << out;
    std::vector<uint32_t> got = numbers(out);
    if (format() == IndexFormat::Ntx) {
      // That reader visits some interior items of NTX pages twice; the first visit is
      // in key order.
      std::vector<uint32_t> once;
      std::vector<bool> seen;
      for (uint32_t r : got) {
        if (r >= seen.size()) seen.resize(r + 1);
        if (!seen[r]) once.push_back(r), seen[r] = true;
      }
      got = once;
    }
    EXPECT_EQ(got, want[s.name]);
  }
}

// TDbf reads the dBASE family's MDX bags only.
class MdxExternalReaders : public ExternalReaders {};

TEST_P(MdxExternalReaders, FreePascalTDbfWalksEveryMdxTagAsWeDo) {
  int rc = -1;
  run("which fpc >/dev/null 2>&1", &rc);
  if (rc != 0) GTEST_SKIP() << "Free Pascal (fpc) is not installed";
  const bool maintained = std::get<1>(GetParam());
  std::string dir = index_test::scratch_dir(std::string("tdbf_") + (maintained ? "m" : "b"));
  std::string path = make(dir, maintained ? 3000 : 5000, maintained);
  std::string tool = index_test::scratch_dir("tdbf_tool");
  std::ofstream(tool + "/walk.pas") << kPascalWalk;
  std::string log = run("cd " + tool + " && fpc -O2 walk.pas 2>&1", &rc);
  if (rc != 0) GTEST_SKIP() << "TDbf (fp-units-db) cannot be compiled here: " << log.substr(0, 300);
  std::string cmd = tool + "/walk " + path;
  for (const TagSpec& s : kTags) cmd += std::string(" ") + s.name;
  std::string out = run(cmd + " 2>&1", &rc);
  ASSERT_EQ(rc, 0) << out;
  auto want = ours(path, false);
  std::istringstream in(out);
  std::vector<std::vector<uint32_t>> parts(1);
  std::string line;
  while (std::getline(in, line)) {
    if (line == "--") {
      parts.emplace_back();
    } else if (!line.empty() && std::isdigit(uint8_t(line[0]))) {
      parts.back().push_back(uint32_t(std::stoul(line)));
    }
  }
  ASSERT_GE(parts.size(), std::size(kTags));
  for (size_t i = 0; i < std::size(kTags); ++i) {
    SCOPED_TRACE(kTags[i].name);
    EXPECT_EQ(parts[i], want[kTags[i].name]);
  }
}

auto param_name = [](const auto& info) {
  return std::string(std::get<0>(info.param)) + (std::get<1>(info.param) ? "_maintained" : "_bulk");
};
INSTANTIATE_TEST_SUITE_P(Files, ExternalReaders,
                         ::testing::Combine(::testing::Values(std::string("DBFNTX"), std::string("DBFCDX"), std::string("DBFMDX")), ::testing::Bool()),
                         param_name);
INSTANTIATE_TEST_SUITE_P(Files, MdxExternalReaders, ::testing::Combine(::testing::Values(std::string("DBFMDX")), ::testing::Bool()),
                         param_name);

}  // namespace
}  // namespace mv
