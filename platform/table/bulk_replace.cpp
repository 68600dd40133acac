#include "platform/table/bulk_replace.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/table/dbf_format.h"
#include "platform/table/field_codec.h"
#include "platform/table/table.h"

namespace mv {
namespace {

Status record_fault(const Table& t, uint32_t recno, const Status& why) {
  return Status(why.kind(), t.path() + ": Datensatz " + std::to_string(recno) + ": " + why.message());
}

// The value as the field will take it: text cut to the field, and refused when it cannot
// be stored at all.
Status fit(const Table& t, const FieldInfo& f, Value& v, std::vector<uint8_t>& scratch) {
  if (dbf::is_memo_type(f.type, f.length, t.version())) {
    if (!v.is_char() && !v.is_nil()) return Status::invalid_argument("Feld " + f.name + ": ein Memofeld nimmt nur Text auf");
    return Status::ok();
  }
  if (f.type == 'C' && v.is_char() && v.str.size() > f.length) v.str.resize(f.length);
  scratch.assign(t.record_length(), ' ');
  return encode_field(f, v, scratch.data());
}

// True when record `recno` as stored holds `v` in field `f` (never for memo fields, whose
// stored pointer says nothing about the text).
bool stored_as(Table& t, const FieldInfo& f, uint32_t recno, const Value& v, std::vector<uint8_t>& scratch) {
  if (dbf::is_memo_type(f.type, f.length, t.version())) return false;
  std::vector<uint8_t> now;
  if (!t.read_record(recno, now).is_ok()) return false;
  scratch.assign(t.record_length(), ' ');
  if (!encode_field(f, v, scratch.data()).is_ok()) return false;
  return std::equal(now.begin() + f.offset, now.begin() + f.offset + f.length, scratch.begin() + f.offset);
}

}  // namespace

BulkReplaceOutcome bulk_replace(Table& t, const BulkReplace& run) {
  BulkReplaceOutcome out;
  if (run.field < 1 || size_t(run.field) > t.fcount()) {
    out.status = Status::invalid_argument(t.path() + ": Feldnummer " + std::to_string(run.field) + " ist ungültig");
    return out;
  }
  const FieldInfo& f = t.field(run.field);
  const uint32_t saved = t.recno();
  auto back = [&] { t.go_to(saved).ignore(); };

  // Every record in scope first: nothing is written unless every value is sound.
  std::vector<std::pair<uint32_t, Value>> plan;
  std::vector<uint8_t> scratch;
  Status st = run.rest ? Status::ok() : t.go_top();
  for (; st.is_ok() && !t.eof(); st = t.skip(1)) {
    if (run.condition) {
      Result<bool> in = run.condition(t);
      if (!in) {
        out.status = record_fault(t, t.recno(), in.status());
        back();
        return out;
      }
      if (!*in) continue;
    }
    Result<Value> v = run.value ? run.value(t) : Result<Value>(Value::nil());
    Status fits = v ? fit(t, f, *v, scratch) : v.status();
    if (!fits) {
      out.status = record_fault(t, t.recno(), fits);
      back();
      return out;
    }
    plan.emplace_back(t.recno(), std::move(v).value());
  }
  if (!st) {
    out.status = st;
    back();
    return out;
  }

  for (size_t i = 0; i < plan.size(); ++i) {
    if (run.progress && !run.progress(i + 1, plan.size())) {
      out.status = Status::cancelled("Das Ersetzen wurde abgebrochen");
      break;
    }
    Status w = t.go_to(plan[i].first);
    if (w) w = t.field_put(run.field, plan[i].second);
    if (!w) {
      out.status = record_fault(t, plan[i].first, w);
      // A write that failed after the record itself was stored (the header's date, say)
      // still changed the record: the count says what the file holds.
      if (stored_as(t, f, plan[i].first, plan[i].second, scratch)) ++out.written;
      break;
    }
    ++out.written;
  }
  Status c = t.commit();
  if (out.status.is_ok() && !c) out.status = c;
  back();
  return out;
}

}  // namespace mv
