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
// written a run of consecutive records at a time, instead of one write per record. The
// orders hear of each record once it is in the file, and take the key changes of many
// records in sorted batches. A write that fails is followed by a look at what each record
// of the run holds now: a torn record gets its old bytes back, and only the records that
// are new reach the orders, so file and orders agree. Should the orders fail to follow,
// they are built again from the records.
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
  // Records recnos[i..i+n) are consecutive; `encoded` holds the field's new bytes of every
  // planned record, one after another.
  static Status write_run(Table& t, const FieldInfo& f, const std::vector<uint32_t>& recnos,
                          const std::vector<uint8_t>& encoded, size_t i, size_t n, uint64_t& written,
                          std::vector<uint8_t>& olds, std::vector<uint8_t>& news) {
    const size_t rl = t.hdr_.record_length;
    const uint32_t r0 = recnos[i];
    olds.resize(n * rl);
    news.resize(n * rl);
    const uint64_t off0 = t.record_offset(r0);
    if (t.map_ && off0 + n * rl <= t.map_len_) memcpy(olds.data(), t.map_ + off0, n * rl);
    else MV_RETURN_IF_ERROR(t.file_->read_exact(off0, olds.data(), n * rl));
    memcpy(news.data(), olds.data(), n * rl);
    for (size_t k = 0; k < n; ++k)
      memcpy(news.data() + k * rl + f.offset, encoded.data() + (i + k) * f.length, f.length);
    Status st = t.file_->write_at(off0, news.data(), n * rl);
    t.loaded_ = false;  // the current record is read again from the file
    std::vector<char> is_new(n, 1);
    if (!st) {
      // What the file holds now decides, record by record.
      std::vector<uint8_t> now(rl);
      for (size_t k = 0; k < n; ++k) {
        const uint64_t off = t.record_offset(r0 + uint32_t(k));
        const uint8_t* old = olds.data() + k * rl;
        is_new[k] = t.file_->read_exact(off, now.data(), rl).is_ok() && memcmp(now.data(), news.data() + k * rl, rl) == 0;
        if (!is_new[k] && memcmp(now.data(), old, rl) != 0) t.file_->write_at(off, old, rl).ignore();
      }
    }
    OrderMaintainer* m = t.maintainer_;
    Status orders;
    for (size_t k = 0; k < n; ++k) {
      if (!is_new[k]) continue;
      ++written;
      if (m && orders.is_ok())
        orders = m->record_rewritten(r0 + uint32_t(k), std::span<const uint8_t>(olds.data() + k * rl, rl),
                                     std::span<const uint8_t>(news.data() + k * rl, rl));
    }
    if (!orders.is_ok()) {
      // The orders could not follow: built again from what the file holds.
      Status rebuilt = m->records_replaced();
      if (st.is_ok()) st = rebuilt.is_ok() ? orders : rebuilt;
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

  // Every record in scope first: nothing is written unless every value is sound. The
  // block writer needs only each record's number and the field's new bytes; the values
  // themselves are kept for the record-by-record writes.
  const bool blocks = BulkReplaceWriter::usable(t, f);
  std::vector<uint32_t> recnos;
  std::vector<std::pair<uint32_t, Value>> plan;
  std::vector<uint8_t> encoded;
  if (blocks) {
    recnos.reserve(t.lastrec());
    encoded.reserve(size_t(t.lastrec()) * f.length);
  } else {
    plan.reserve(t.lastrec());
  }
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
    if (blocks) {
      recnos.push_back(t.recno());
      encoded.insert(encoded.end(), scratch.begin() + f.offset, scratch.begin() + f.offset + f.length);
    } else {
      plan.emplace_back(t.recno(), std::move(*v));
    }
  }
  if (!st) {
    out.status = st;
    back();
    return out;
  }

  if (blocks && !recnos.empty()) {
    constexpr size_t kRun = 4096;
    std::vector<uint8_t> olds, news;
    Status w = BulkReplaceWriter::prepare(t);
    if (w && t.order_maintainer()) w = t.order_maintainer()->rewrites_coming(recnos.size());
    for (size_t i = 0; w.is_ok() && i < recnos.size();) {
      size_t n = 1;
      while (i + n < recnos.size() && n < kRun && recnos[i + n] == recnos[i + n - 1] + 1) ++n;
      // The progress may stop the run before any record of this run.
      size_t go = 0;
      while (go < n && (!run.progress || run.progress(i + go + 1, recnos.size()))) ++go;
      if (go > 0) w = BulkReplaceWriter::write_run(t, f, recnos, encoded, i, go, out.written, olds, news);
      if (!w) {
        out.status = record_fault(t, recnos[i], w);
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
