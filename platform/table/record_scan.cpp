#include "platform/table/record_scan.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/table/dbf_format.h"
#include "platform/table/table.h"

namespace mv {

Result<RecordScan::Source> RecordScan::source(Table& t, bool flush) {
  Source src;
  if (!t.file_) return src;
  if (flush) MV_RETURN_IF_ERROR(t.flush());
  src.file = t.file_.get();
  src.view = t.map_;
  src.view_length = t.map_ ? t.map_len_ : 0;
  src.header_length = t.hdr_.header_length;
  src.record_length = t.hdr_.record_length;
  MV_ASSIGN_OR_RETURN(src.size, t.file_->size());
  return src;
}

Status RecordScan::scan(Table& t, const std::function<bool(const RecordBlock&)>& visit, uint32_t block_records,
                        uint32_t first) {
  MV_ASSIGN_OR_RETURN(Source src, source(t, true));
  return scan(src, visit, block_records, first);
}

Status RecordScan::scan(const Source& src, const std::function<bool(const RecordBlock&)>& visit,
                        uint32_t block_records, uint32_t first) {
  const uint64_t rl = src.record_length;
  const uint64_t hl = src.header_length;
  if (!src.file || rl == 0 || src.size <= hl) return Status::ok();
  const uint64_t whole = std::min<uint64_t>((src.size - hl) / rl, UINT32_MAX);
  block_records = std::max<uint32_t>(block_records, 1);
  std::vector<uint8_t> buf;
  for (uint64_t done = std::max<uint32_t>(first, 1) - 1; done < whole;) {
    const uint64_t n = std::min<uint64_t>(block_records, whole - done);
    const uint64_t off = hl + done * rl;
    RecordBlock b{uint32_t(done + 1), uint32_t(n), nullptr};
    if (src.view && off + n * rl <= src.view_length) {
      b.bytes = src.view + off;
    } else {
      // Beyond the mapped view (records another program appended) the file is read.
      buf.resize(size_t(n * rl));
      MV_ASSIGN_OR_RETURN(size_t got, src.file->read_at(off, buf.data(), buf.size()));
      b.count = uint32_t(got / rl);
      if (b.count == 0) break;
      b.bytes = buf.data();
    }
    if (!visit(b)) break;
    done += b.count;
    if (b.count < n) break;
  }
  return Status::ok();
}

RecordScan::View RecordScan::view(const Table& t) { return {t.map_, t.map_ ? t.map_len_ : 0}; }

namespace {

// The next place at or after `from` where one of the bytes in `variants` stands, found with
// one memchr per byte (each remembered until passed), or nullptr.
class FirstByteFinder {
 public:
  FirstByteFinder(const std::vector<uint8_t>& variants, const uint8_t* begin, const uint8_t* end)
      : variants_(variants), end_(end), next_(variants.size(), nullptr), done_(variants.size(), false) {
    (void)begin;
  }
  const uint8_t* find(const uint8_t* from) {
    const uint8_t* best = nullptr;
    for (size_t i = 0; i < variants_.size(); ++i) {
      if (done_[i]) continue;
      if (next_[i] < from) {
        next_[i] = from < end_ ? static_cast<const uint8_t*>(memchr(from, variants_[i], size_t(end_ - from))) : nullptr;
        if (!next_[i]) {
          done_[i] = true;
          continue;
        }
      }
      if (!best || next_[i] < best) best = next_[i];
    }
    return best;
  }

 private:
  const std::vector<uint8_t>& variants_;
  const uint8_t* end_;
  std::vector<const uint8_t*> next_;
  std::vector<bool> done_;
};

}  // namespace

Result<std::vector<uint32_t>> find_in_records(Table& t, std::string_view needle, const unsigned char* fold,
                                              const std::function<bool(uint32_t recno, size_t hits)>& step) {
  if (needle.empty()) return std::vector<uint32_t>{};
  MV_ASSIGN_OR_RETURN(RecordScan::Source src, RecordScan::source(t, true));
  return RecordScan::find(t, src, nullptr, needle, fold, step);
}

Result<std::vector<uint32_t>> find_in_records(RecordSnapshot& snap,
                                              const std::function<bool(uint32_t recno, size_t hits)>& step) {
  if (snap.needle_.empty() || !snap.table_) return std::vector<uint32_t>{};
  return RecordScan::find(*snap.table_, snap.src_, &snap, snap.needle_, snap.fold_, step);
}

Result<std::unique_ptr<RecordSnapshot>> RecordScan::snapshot(Table& t, std::string_view needle,
                                                             const unsigned char* fold) {
  std::unique_ptr<RecordSnapshot> snap(new RecordSnapshot);
  snap->needle_.assign(needle);
  snap->fold_ = fold;
  if (!t.file_) return snap;
  MV_ASSIGN_OR_RETURN(snap->src_, source(t, true));
  // The file's own view, pinned (the table's pointer to it is the same one): it stays
  // readable however often the table maps its file anew until the snapshot goes.
  const File::MapPin pin = t.file_->pin_map();
  snap->src_.view = pin.bytes;
  snap->src_.view_length = pin.length;
  snap->table_ = &t;
  return snap;
}

RecordSnapshot::~RecordSnapshot() {
  if (src_.file) src_.file->unpin_map(src_.view);
}

// Without a snapshot this runs on the table's thread and follows the table throughout.
// With one it may run on another thread: until the snapshot is told the table is free,
// it reads only the snapshot (pinned view, sizes, the file's read_at), so whatever the
// table's thread does meanwhile (a grid reading rows, a grown shared file mapped anew)
// neither moves nor releases what the scan reads. Afterwards it follows the table as
// without a snapshot, which is safe because the table's thread then only runs while the
// scan waits in `step`.
Result<std::vector<uint32_t>> RecordScan::find(Table& t, Source src, RecordSnapshot* snap, std::string_view needle,
                                               const unsigned char* fold,
                                               const std::function<bool(uint32_t recno, size_t hits)>& step) {
  std::vector<uint32_t> hits;
  if (needle.empty()) return hits;
  if (src.record_length > 0 && src.size > src.header_length)
    hits.reserve(size_t(std::min<uint64_t>((src.size - src.header_length) / src.record_length, UINT32_MAX)));
  std::string key(needle);
  for (char& c : key) c = char(fold[uint8_t(c)]);
  // The stored bytes that read as the needle's first character: the scan jumps from one
  // to the next and compares only there.
  std::vector<uint8_t> variants;
  for (int b = 0; b < 256; ++b)
    if (fold[b] == uint8_t(key[0])) variants.push_back(uint8_t(b));
  const size_t rl = size_t(src.record_length);
  const size_t klen = key.size();
  // `step` is asked before the first record, then about every 64 KiB of records and before
  // the record after each hit: often enough for a cancel to be seen at once, rarely enough
  // that asking costs nothing beside the comparison.
  const uint64_t stride = std::max<uint64_t>(1, (uint64_t(1) << 16) / std::max<size_t>(rl, 1));
  uint64_t due = 1;  // the next record number at which `step` is asked
  uint32_t resume = 0;  // where the scan goes on after the view moved (0: it need not)
  auto visit = [&](const RecordBlock& b) {
    const uint8_t* raw = b.bytes;
    const size_t len = size_t(b.count) * rl;
    // A block in the table's view is valid only as long as that view: `step` may let
    // other code read the table, which maps a grown shared file anew and lets the old
    // view go. A block the scan read itself stays, and so does a pinned view; the table's
    // view is looked at only while the scan may read the table.
    const RecordScan::View view{src.view, src.view ? src.view_length : 0};
    const bool in_view = view.holds(raw);
    auto view_moved = [&] { return in_view && (!snap || snap->free_) && !(RecordScan::view(t) == view); };
    if (view_moved()) {
      resume = b.first;  // moved by a step at the end of the last block
      return false;
    }
    FirstByteFinder finder(variants, raw, raw + len);
    // Asks `step` at every due record up to and including record `upto` (a record number);
    // false when it says stop. Records before a candidate hold no match, so the hit count
    // told is the one at each of them.
    auto ask_until = [&](uint64_t upto) {
      for (; due <= upto; due += stride - (due - 1) % stride)
        if (!step(uint32_t(due), hits.size())) return false;
      return true;
    };
    size_t pos = 0;  // where the search goes on
    for (;;) {
      const uint8_t* cand = pos < len ? finder.find(raw + pos) : nullptr;
      const size_t rec = cand ? size_t(cand - raw) / rl : b.count - 1;
      // The candidate's record is examined now (without a candidate: the block's last one).
      if (step && !ask_until(uint64_t(b.first) + rec)) return false;
      if (!cand) break;
      if (view_moved()) {
        resume = b.first + uint32_t(rec);  // that record in the new view
        return false;
      }
      const size_t at = size_t(cand - raw);
      bool match = at + klen <= (rec + 1) * rl && raw[rec * rl] != dbf::kDeletedFlag;
      for (size_t i = 1; match && i < klen; ++i) match = fold[raw[at + i]] == uint8_t(key[i]);
      if (match) {
        hits.push_back(b.first + uint32_t(rec));
        due = std::min<uint64_t>(due, uint64_t(b.first) + rec + 1);
        pos = (rec + 1) * rl;  // one hit per record
      } else {
        pos = at + 1;
      }
    }
    return true;
  };
  Status st = RecordScan::scan(src, visit, 4096, 1);
  while (st && resume != 0) {
    const uint32_t from = resume;
    resume = 0;
    // The table as it stands now; on its own thread records held back are written first
    // (another thread never writes the table).
    auto now = RecordScan::source(t, !snap);
    if (!now) {
      st = now.status();
      break;
    }
    src = *now;
    if (src.record_length != rl) break;  // another table altogether: nothing more to compare
    st = RecordScan::scan(src, visit, 4096, from);
  }
  MV_RETURN_IF_ERROR(st);
  return hits;
}

}  // namespace mv
