#pragma once
// The stored records of an open table as raw bytes, block by block, in record-number
// order. The full-text search compares whole record images this way instead of reading
// field by field. The scan neither moves the table nor touches its file position; records
// the table still holds back are written first, so the scan sees every write.
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/base/status.h"

namespace mv {

class Table;

struct RecordBlock {
  uint32_t first = 0;          // record number of the first record in `bytes`
  uint32_t count = 0;          // whole records in `bytes`
  const uint8_t* bytes = nullptr;  // count * record length bytes, valid during the call
};

class RecordScan {
 public:
  // Visits every whole record the file holds (also records beyond the header's count;
  // a trailing incomplete record is left out) from record `first` on, in blocks of at
  // most `block_records`. `visit` answers false to stop. A read that fails ends the scan
  // with its Status.
  static Status scan(Table& table, const std::function<bool(const RecordBlock&)>& visit, uint32_t block_records = 4096,
                     uint32_t first = 1);

  // The table's mapped view of its file (empty without one). A block that lies in it is
  // valid while the view stays the same.
  struct View {
    const uint8_t* bytes = nullptr;
    uint64_t length = 0;
    bool operator==(const View&) const = default;
    bool holds(const uint8_t* p) const { return bytes && p >= bytes && p < bytes + length; }
  };
  static View view(const Table& table);
};

// The full-text search over record images: the numbers of the records not flagged
// deleted whose image (deletion flag included, fields not separated) contains `needle`
// when both are read through the byte map `fold` (256 entries, e.g. an upper-case map of
// the table's code page). `step(recno, hits)` runs before record `recno` is examined and
// answers false to stop there (that record is not examined); it may be empty. It runs
// before the first record, then about every 64 KiB of record images and before the
// record after each hit, not before every record. `step` may let other code use the
// table: when the table's view of its file moved meanwhile (a shared table whose file
// grew is mapped anew), the scan goes on in the new view. An empty needle finds nothing.
Result<std::vector<uint32_t>> find_in_records(Table& table, std::string_view needle, const unsigned char* fold,
                                              const std::function<bool(uint32_t recno, size_t hits)>& step);

}  // namespace mv
