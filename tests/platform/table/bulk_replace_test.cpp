// Setting a field of many records in one run.
#include <gtest/gtest.h>

#include "platform/table/bulk_replace.h"
#include "platform/table/index/order_list.h"
#include "table_helpers.h"
#include "tests/support/faulty_fs.h"

namespace mv {
namespace {

using testing::make_table;
using testing::open_ok;
using testing::TempDir;

std::vector<double> amounts(Table& t) {
  std::vector<double> out;
  for (uint32_t r = 1; r <= t.lastrec(); ++r) {
    EXPECT_TRUE(t.go_to(r).is_ok());
    out.push_back(t.field_get("BETRAG")->num);
  }
  return out;
}

Result<Value> doubled(Table& t) {
  MV_ASSIGN_OR_RETURN(Value v, t.field_get("BETRAG"));
  return Value::numeric(v.num * 2);
}

// Record i has BETRAG i * 1.5.
TEST(BulkReplace, ScopeConditionFailuresAndCancel) {
  TempDir dir;
  const std::string path = dir.path() + "/T.DBF";
  make_table(path, "DBFCDX", 10);
  auto t = open_ok(path);
  ASSERT_TRUE(t);
  const int betrag = t->field_pos("BETRAG");
  auto above = [](double limit) {
    return [limit](Table& t) -> Result<bool> { return t.field_get("BETRAG")->num > limit; };
  };
  struct Case {
    const char* what;
    bool rest;
    double limit;
    std::function<Result<Value>(Table&)> value;
    int cancel_at;  // 0: never
    uint64_t written;
    StatusKind kind;
    std::vector<double> after;
  };
  const std::vector<double> old{1.5, 3, 4.5, 6, 7.5, 9, 10.5, 12, 13.5, 15};
  const Case cases[] = {
      {"all above 9", false, 9, doubled, 0, 4, StatusKind::Ok, {1.5, 3, 4.5, 6, 7.5, 9, 21, 24, 27, 30}},
      {"rest from 4", true, 0, doubled, 0, 7, StatusKind::Ok, {1.5, 3, 4.5, 12, 15, 18, 21, 24, 27, 30}},
      {"cancel at 3", false, 0, doubled, 3, 2, StatusKind::Cancelled, {3, 6, 4.5, 6, 7.5, 9, 10.5, 12, 13.5, 15}},
      {"too wide", false, 0,
       [](Table& t) -> Result<Value> { return Value::numeric(t.recno() == 7 ? 1e12 : 1); }, 0, 0,
       StatusKind::InvalidArgument, old},
      {"failing value", false, 0,
       [](Table& t) -> Result<Value> {
         if (t.recno() == 5) return Status::invalid_argument("Division durch Null");
         return Value::numeric(1);
       },
       0, 0, StatusKind::InvalidArgument, old},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Every case starts from the same records.
    for (uint32_t r = 1; r <= 10; ++r) {
      MV_ASSERT_OK(t->go_to(r));
      MV_ASSERT_OK(t->field_put(betrag, Value::numeric(r * 1.5)));
    }
    MV_ASSERT_OK(t->go_to(4));
    BulkReplace run;
    run.field = betrag;
    run.rest = c.rest;
    if (c.limit > 0) run.condition = above(c.limit);
    run.value = c.value;
    if (c.cancel_at) run.progress = [&](uint64_t step, uint64_t) { return int(step) < c.cancel_at; };
    const BulkReplaceOutcome o = bulk_replace(*t, run);
    EXPECT_EQ(o.status.kind(), c.kind) << o.status.to_string();
    EXPECT_EQ(o.written, c.written);
    EXPECT_EQ(t->recno(), 4u);
    EXPECT_EQ(amounts(*t), c.after);
  }
  // The failing record is named.
  BulkReplace run;
  run.field = betrag;
  run.value = cases[4].value;
  EXPECT_NE(bulk_replace(*t, run).status.message().find("Datensatz 5: Division durch Null"), std::string::npos);

  // Text longer than the field is cut.
  run.field = t->field_pos("NAME");
  run.value = [](Table&) -> Result<Value> { return Value::character(std::string(30, 'x')); };
  EXPECT_TRUE(bulk_replace(*t, run).status.is_ok());
  MV_ASSERT_OK(t->go_to(1));
  EXPECT_EQ(std::string(t->field_raw(1)), std::string(20, 'x'));
}

// An order on the changed field follows every run, whichever way its keys go in: records
// appended just before (their keys not yet in the order), a part of the table (old keys
// out and new ones in as sorted batches), most of it (the order built anew from the
// records), a cancel part way; in the handle and after reopening.
TEST(BulkReplace, AnOrderOnTheChangedFieldFollowsEveryRun) {
  struct Case {
    const char* what;
    int records, appended;
    double limit;      // records with BETRAG above it (0: all)
    uint64_t stop_at;  // progress stops before this step (0: never)
    uint64_t written;
  } const cases[] = {
      {"appended just before", 20, 5, 0, 0, 25},
      {"a part", 6000, 0, 7500, 0, 1000},
      {"most of it", 6000, 0, 0, 0, 6000},
      {"most of it, cancelled", 6000, 0, 0, 4500, 4499},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = dir.path() + "/T.DBF";
    make_table(path, "DBFCDX", c.records);
    auto sound = [&](Table& t, OrderList& ol) {
      auto report = ol.check(1);
      ASSERT_TRUE(report.is_ok()) << report.status().to_string();
      EXPECT_EQ(report->keys, t.lastrec());
      MV_ASSERT_OK(ol.set_order(1));
      double last = -1;
      uint32_t seen = 0;
      for (Status st = t.go_top(); st.is_ok() && !t.eof(); st = t.skip(1), ++seen) {
        const double v = t.field_get("BETRAG")->num;
        ASSERT_LE(last, v) << "record " << t.recno();
        last = v;
      }
      EXPECT_EQ(seen, t.lastrec());
      MV_ASSERT_OK(ol.set_order(size_t(0)));
    };
    {
      auto t = open_ok(path);
      ASSERT_TRUE(t);
      auto ol = OrderList::attach(*t);
      ASSERT_TRUE(ol.is_ok());
      MV_ASSERT_OK((*ol)->create_order("BETRAG", "", "BETRAG"));
      for (int k = 1; k <= c.appended; ++k) {
        MV_ASSERT_OK(t->append_blank());
        MV_ASSERT_OK(t->field_put("BETRAG", Value::numeric((c.records + k) * 1.5)));
      }
      BulkReplace run;
      run.field = t->field_pos("BETRAG");
      run.value = doubled;
      if (c.limit > 0)
        run.condition = [&](Table& t) -> Result<bool> { return t.field_get("BETRAG")->num > c.limit; };
      if (c.stop_at) run.progress = [&](uint64_t step, uint64_t) { return step < c.stop_at; };
      const BulkReplaceOutcome o = bulk_replace(*t, run);
      EXPECT_EQ(o.written, c.written);
      sound(*t, **ol);
      ol->reset();
      MV_ASSERT_OK(t->close());
    }
    auto t = open_ok(path);
    ASSERT_TRUE(t);
    auto ol = OrderList::attach(*t);
    ASSERT_TRUE(ol.is_ok()) << ol.status().to_string();
    sound(*t, **ol);
  }
}

// Each write, short write and rename failing in turn, on a table whose production bag
// holds an order on the changed field: every record wholly old or new, the count right,
// the order sound at the next open. The large table's order is built anew after the run
// instead of taking its keys one by one.
TEST(BulkReplace, FailingWritesLeaveRecordsAndOrdersSound) {
  for (const auto& [records, faults] : {std::pair{30, 12}, std::pair{5000, 4}}) {
    for (int mode = 0; mode < 3; ++mode) {
      for (int nth = 0; nth < faults; ++nth) {
        SCOPED_TRACE(std::to_string(records) + ": " + std::to_string(mode) + "/" + std::to_string(nth));
        TempDir dir;
        const std::string path = dir.path() + "/T.DBF";
        make_table(path, "DBFCDX", records);
        {
          auto t = open_ok(path);
          ASSERT_TRUE(t);
          auto ol = OrderList::attach(*t);
          ASSERT_TRUE(ol.is_ok());
          MV_ASSERT_OK((*ol)->create_order("BETRAG", "", "BETRAG"));
          ol->reset();
          MV_ASSERT_OK(t->close());
        }
        FaultyFileSystem fs(FileSystem::posix());
        uint64_t written = 0;
        {
          auto t = open_ok(path, false, false, "DBFCDX", &fs);
          ASSERT_TRUE(t);
          auto ol = OrderList::attach(*t);
          ASSERT_TRUE(ol.is_ok());
          if (mode == 0) fs.fail_write_at = fs.writes + nth;
          if (mode == 1) fs.short_write_at = fs.writes + nth;
          if (mode == 2) fs.fail_rename_at = fs.renames + nth;
          BulkReplace run;
          run.field = t->field_pos("BETRAG");
          run.value = doubled;
          written = bulk_replace(*t, run).written;
          ol->reset();
          t->close().ignore();
        }
        auto t = open_ok(path);
        ASSERT_TRUE(t);
        auto ol = OrderList::attach(*t);
        ASSERT_TRUE(ol.is_ok()) << ol.status().to_string();
        const std::vector<double> now = amounts(*t);
        uint64_t changed = 0;
        for (size_t i = 0; i < now.size(); ++i) {
          const double old = (i + 1) * 1.5;
          EXPECT_TRUE(now[i] == old || now[i] == 2 * old) << i + 1 << ": " << now[i];
          changed += now[i] == 2 * old;
        }
        EXPECT_EQ(changed, written);
        auto report = (*ol)->check(1);
        EXPECT_TRUE(report.is_ok()) << report.status().to_string();
        if (report) {
          EXPECT_EQ(report->keys, uint64_t(records));
        }
      }
    }
  }
}

}  // namespace
}  // namespace mv
