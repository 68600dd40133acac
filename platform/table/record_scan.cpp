#include "platform/table/record_scan.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/table/dbf_format.h"
#include "platform/table/table.h"

namespace mv {

Status RecordScan::scan(Table& t, const std::function<bool(const RecordBlock&)>& visit, uint32_t block_records) {
  if (!t.file_) return Status::ok();
  MV_RETURN_IF_ERROR(t.flush());
  const uint64_t rl = t.hdr_.record_length;
  const uint64_t hl = t.hdr_.header_length;
  if (rl == 0) return Status::ok();
  MV_ASSIGN_OR_RETURN(uint64_t size, t.file_->size());
  if (size <= hl) return Status::ok();
  const uint64_t whole = std::min<uint64_t>((size - hl) / rl, UINT32_MAX);
  block_records = std::max<uint32_t>(block_records, 1);
  std::vector<uint8_t> buf;
  for (uint64_t done = 0; done < whole;) {
    const uint64_t n = std::min<uint64_t>(block_records, whole - done);
    const uint64_t off = hl + done * rl;
    RecordBlock b{uint32_t(done + 1), uint32_t(n), nullptr};
    if (t.map_ && off + n * rl <= t.map_len_) {
      b.bytes = t.map_ + off;
    } else {
      // Beyond the mapped view (records another program appended) the file is read.
      buf.resize(size_t(n * rl));
      MV_ASSIGN_OR_RETURN(size_t got, t.file_->read_at(off, buf.data(), buf.size()));
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

Result<std::vector<uint32_t>> find_in_records(Table& t, std::string_view needle, const unsigned char* fold,
                                              const std::function<bool(uint32_t recno, size_t hits)>& step) {
  std::vector<uint32_t> hits;
  if (needle.empty()) return hits;
  hits.reserve(t.lastrec());
  std::string key(needle);
  for (char& c : key) c = char(fold[uint8_t(c)]);
  const size_t rl = t.record_length();
  std::vector<uint8_t> image;
  bool go_on = true;
  const Status st = RecordScan::scan(t, [&](const RecordBlock& b) {
    // The block through the map once, then one substring search over all of it: a match
    // belongs to the record it starts in and counts only when it ends there too.
    const size_t len = size_t(b.count) * rl;
    image.resize(len);
    for (size_t i = 0; i < len; ++i) image[i] = fold[b.bytes[i]];
    const uint8_t* base = image.data();
    size_t r = 0;  // next record of the block to decide
    while (r < b.count) {
      const size_t from = r * rl;
      const void* m = memmem(base + from, len - from, key.data(), key.size());
      const size_t hit_rec = m ? size_t(static_cast<const uint8_t*>(m) - base) / rl : b.count;
      // Records before the match hold none.
      for (; r < hit_rec && r < b.count; ++r)
        if (step && !step(b.first + uint32_t(r), hits.size())) return go_on = false;
      if (r >= b.count) break;
      if (step && !step(b.first + uint32_t(r), hits.size())) return go_on = false;
      const size_t at = size_t(static_cast<const uint8_t*>(m) - base);
      if (at + key.size() <= (r + 1) * rl && b.bytes[r * rl] != dbf::kDeletedFlag) hits.push_back(b.first + uint32_t(r));
      ++r;
    }
    return true;
  });
  (void)go_on;
  MV_RETURN_IF_ERROR(st);
  return hits;
}

}  // namespace mv
