#pragma once
// The stored records of an open table as raw bytes, block by block, in record-number
// order. The full-text search compares whole record images this way instead of reading
// field by field. The scan neither moves the table nor touches its file position; records
// the table still holds back are written first, so the scan sees every write.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/filesystem.h"
#include "platform/base/status.h"

namespace mv {

class Table;
class RecordSnapshot;

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

  // What a full-text search on another thread needs of the table, taken on the table's
  // own thread (see RecordSnapshot). Writes the records the table holds back first.
  static Result<std::unique_ptr<RecordSnapshot>> snapshot(Table& table, std::string_view needle,
                                                          const unsigned char* fold);

 private:
  friend class RecordSnapshot;
  friend Result<std::vector<uint32_t>> find_in_records(Table&, std::string_view, const unsigned char*,
                                                       const std::function<bool(uint32_t, size_t)>&);
  friend Result<std::vector<uint32_t>> find_in_records(RecordSnapshot&,
                                                       const std::function<bool(uint32_t, size_t)>&);
  // Where a scan reads: a view of the file's first bytes (possibly none) and the file
  // for what lies beyond it, up to `size` bytes.
  struct Source {
    File* file = nullptr;
    const uint8_t* view = nullptr;
    uint64_t view_length = 0;
    uint64_t header_length = 0;
    uint64_t record_length = 0;
    uint64_t size = 0;
  };
  // The table as it stands; `flush`: after the records it holds back are written.
  static Result<Source> source(Table& table, bool flush);
  static Status scan(const Source& src, const std::function<bool(const RecordBlock&)>& visit,
                     uint32_t block_records, uint32_t first);
  static Result<std::vector<uint32_t>> find(Table& table, Source src, RecordSnapshot* snap, std::string_view needle,
                                            const unsigned char* fold,
                                            const std::function<bool(uint32_t recno, size_t hits)>& step);
};

// A full-text search's own copy of what it reads of a table, so that it can run on
// another thread while the table's thread goes on (shows a progress window, lets the
// grid read rows, maps a grown shared file anew). It holds the table's view of its file
// pinned (valid until the snapshot goes, whatever the table maps meanwhile), header and
// record length, the file size at the start, the needle and the byte map. The scan
// reads records through the pinned view and, beyond it, through the file's read_at,
// which any thread may call; it touches nothing else of the table until told that it
// may (`table_free`).
class RecordSnapshot {
 public:
  ~RecordSnapshot();
  RecordSnapshot(const RecordSnapshot&) = delete;
  RecordSnapshot& operator=(const RecordSnapshot&) = delete;

  // Tells the scan, on its own thread, that the table's thread now waits whenever the
  // scan runs and that all it did to the table is seen here (e.g. after the two threads
  // met under a mutex). From then on the scan follows the table as find_in_records on
  // the table's thread does: records appended meanwhile, a view mapped anew.
  void table_free() { free_ = true; }

 private:
  friend class RecordScan;
  friend Result<std::vector<uint32_t>> find_in_records(RecordSnapshot&,
                                                       const std::function<bool(uint32_t, size_t)>&);
  RecordSnapshot() = default;
  Table* table_ = nullptr;
  RecordScan::Source src_;
  std::string needle_;
  const unsigned char* fold_ = nullptr;
  bool free_ = false;  // read and written on the scan's thread only
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

// The same search through a snapshot, on any thread: `step` runs on the scan's thread and
// may call `snapshot.table_free()`.
Result<std::vector<uint32_t>> find_in_records(RecordSnapshot& snapshot,
                                              const std::function<bool(uint32_t recno, size_t hits)>& step);

}  // namespace mv
