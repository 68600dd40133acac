#include "platform/table/bulk_replace.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/table/dbf_format.h"
#include "platform/table/field_codec.h"
#include "platform/table/order_hook.h"
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
  scratch.resize(t.record_length());
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

// Exclusive runs on a field outside the memo file: the new records are built in memory and
// written a run of consecutive records at a time, instead of one write per record. Every
// order hears of each record before the write; a write that fails is followed by a look at
// what each record of the run holds now: a torn record gets its old bytes back, and every
// record left old is reported back to the orders, so file and orders agree.
class BulkReplaceWriter {
 public:
  static bool usable(const Table& t, const FieldInfo& f) {
    return t.file_ && !t.shared_ && !dbf::is_memo_type(f.type, f.length, t.version()) && f.null_bit < 0;
  }
  static Status prepare(Table& t) {
    MV_RETURN_IF_ERROR(t.check_writable());
    MV_RETURN_IF_ERROR(t.flush());
    return t.touch_date();
  }
  // Records plan[i..i+n) hold consecutive record numbers.
  // `encoded`: the field's new bytes of every planned record, one after another.
  static Status write_run(Table& t, const FieldInfo& f, const std::vector<std::pair<uint32_t, Value>>& plan,
                          const std::vector<uint8_t>& encoded, size_t i, size_t n, uint64_t& written,
                          std::vector<uint8_t>& olds, std::vector<uint8_t>& news) {
    const size_t rl = t.hdr_.record_length;
    const uint32_t r0 = plan[i].first;
    olds.resize(n * rl);
    news.resize(n * rl);
    for (size_t k = 0; k < n; ++k) {
      uint8_t* old = olds.data() + k * rl;
      const uint64_t off = t.record_offset(r0 + uint32_t(k));
      if (t.map_ && off + rl <= t.map_len_) memcpy(old, t.map_ + off, rl);
      else MV_RETURN_IF_ERROR(t.file_->read_exact(off, old, rl));
      memcpy(news.data() + k * rl, old, rl);
      memcpy(news.data() + k * rl + f.offset, encoded.data() + (i + k) * f.length, f.length);
    }
    OrderMaintainer* m = t.maintainer_;
    size_t told = 0;
    Status st;
    for (; m && told < n && st.is_ok(); ++told) {
      const uint32_t r = r0 + uint32_t(told);
      st = m->record_changing(r, std::span<const uint8_t>(olds.data() + told * rl, rl));
      if (st) st = m->record_changed(r, std::span<const uint8_t>(news.data() + told * rl, rl));
    }
    if (st) st = t.file_->write_at(t.record_offset(r0), news.data(), n * rl);
    t.loaded_ = false;  // the current record is read again from the file
    if (st) {
      written += n;
      return st;
    }
    // What the file holds now decides, record by record.
    std::vector<uint8_t> now(rl);
    for (size_t k = 0; k < n; ++k) {
      const uint32_t r = r0 + uint32_t(k);
      const uint8_t* old = olds.data() + k * rl;
      const uint8_t* neu = news.data() + k * rl;
      bool is_new = t.file_->read_exact(t.record_offset(r), now.data(), rl).is_ok() && memcmp(now.data(), neu, rl) == 0;
      if (!is_new && memcmp(now.data(), old, rl) != 0) t.file_->write_at(t.record_offset(r), old, rl).ignore();
      if (is_new) {
        ++written;
        if (m && k >= told) {
          m->record_changing(r, std::span<const uint8_t>(old, rl)).ignore();
          m->record_changed(r, std::span<const uint8_t>(neu, rl)).ignore();
        }
      } else if (m && k < told) {
        m->record_changing(r, std::span<const uint8_t>(neu, rl)).ignore();
        m->record_changed(r, std::span<const uint8_t>(old, rl)).ignore();
      }
    }
    return st;
  }
};

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
  plan.reserve(t.lastrec());
  std::vector<uint8_t> encoded;
  if (!dbf::is_memo_type(f.type, f.length, t.version())) encoded.reserve(size_t(t.lastrec()) * f.length);
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
    if (!dbf::is_memo_type(f.type, f.length, t.version()))
      encoded.insert(encoded.end(), scratch.begin() + f.offset, scratch.begin() + f.offset + f.length);
  }
  if (!st) {
    out.status = st;
    back();
    return out;
  }

  if (BulkReplaceWriter::usable(t, f) && !plan.empty()) {
    constexpr size_t kRun = 4096;
    std::vector<uint8_t> olds, news;
    Status w = BulkReplaceWriter::prepare(t);
    for (size_t i = 0; w.is_ok() && i < plan.size();) {
      size_t n = 1;
      while (i + n < plan.size() && n < kRun && plan[i + n].first == plan[i + n - 1].first + 1) ++n;
      // The progress may stop the run before any record of this run.
      size_t go = 0;
      while (go < n && (!run.progress || run.progress(i + go + 1, plan.size()))) ++go;
      if (go > 0) w = BulkReplaceWriter::write_run(t, f, plan, encoded, i, go, out.written, olds, news);
      if (!w) {
        out.status = record_fault(t, plan[i].first, w);
        break;
      }
      if (go < n) {
        out.status = Status::cancelled("Das Ersetzen wurde abgebrochen");
        break;
      }
      i += n;
    }
    if (!w && out.status.is_ok()) out.status = w;
  } else {
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
  }
  Status c = t.commit();
  if (out.status.is_ok() && !c) out.status = c;
  back();
  return out;
}

}  // namespace mv
