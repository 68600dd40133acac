#pragma once
// The seam between the record layer (Table) and the index layer (orders in NTX, CDX
// and MDX files). The record layer knows nothing about index formats; it calls these
// hooks on every write and routes navigation through the current order when one is set.
#include <cstdint>
#include <span>
#include <string>

#include "platform/base/status.h"

namespace mv {

// Everything the index layer must hear about to keep every open order right.
class OrderMaintainer {
 public:
  virtual ~OrderMaintainer() = default;
  // Asked before any write of the table: an order that cannot be kept right (its key
  // cannot be evaluated, its collation is unknown) refuses every change of the table.
  virtual Status check_writable() { return Status::ok(); }
  // Called with the record's bytes (deleted flag included) before and after a change of
  // an existing record: FIELDPUT, DELETE, RECALL. Keys are computed from these bytes.
  virtual Status record_changing(uint32_t recno, std::span<const uint8_t> old_record) = 0;
  virtual Status record_changed(uint32_t recno, std::span<const uint8_t> new_record) = 0;
  // A writer that stores many records itself (a bulk replace, exclusive): record `recno`
  // went from `old_record` to `new_record` in the file. The orders may collect the change
  // and apply it with others in key order before the table next moves, writes or
  // commits; each record at most once until then.
  // Told before such a writer rewrites `records` records: an order that would see most of
  // its keys change may build itself anew from the records instead.
  // Whatever the orders still take from the records as they are (takes_keys_later) they
  // take now: the writer changes them before it tells.
  virtual Status rewrites_coming(uint64_t records) {
    (void)records;
    return Status::ok();
  }
  virtual Status record_rewritten(uint32_t recno, std::span<const uint8_t> old_record,
                                  std::span<const uint8_t> new_record) {
    MV_RETURN_IF_ERROR(record_changing(recno, old_record));
    return record_changed(recno, new_record);
  }
  // After a record was appended (its final bytes).
  virtual Status record_appended(uint32_t recno, std::span<const uint8_t> new_record) = 0;
  // Whether the keys of appended record `recno` are taken later, from its bytes as they
  // are then: until then its fields change without record_changing/record_changed.
  virtual bool takes_keys_later(uint32_t recno) const {
    (void)recno;
    return false;
  }
  // After PACK or ZAP replaced the record area: every order is rebuilt (or emptied).
  virtual Status records_replaced() = 0;
  // COMMIT / close: write what is buffered.
  virtual Status flush() = 0;
};

// Navigation in the current order. Record numbers are 1-based; 0 means "none" (EOF/BOF).
// Filtering (deleted records, FOR conditions) is applied by the caller (Table) on top,
// except for the FOR condition of a filtered order, which is part of the order itself.
class OrderNavigator {
 public:
  virtual ~OrderNavigator() = default;
  virtual Result<uint32_t> first() = 0;
  virtual Result<uint32_t> last() = 0;
  // The record after / before `recno` in key order (its key is computed from its current
  // bytes, so the caller passes them).
  virtual Result<uint32_t> next(uint32_t recno, std::span<const uint8_t> record) = 0;
  virtual Result<uint32_t> prev(uint32_t recno, std::span<const uint8_t> record) = 0;
  // True while the navigator's own position is still on `recno` as its last answer left
  // it (the order unchanged since): next() and prev() from there go on without the
  // record, and the caller may pass no bytes.
  virtual bool standing_on(uint32_t recno) {
    (void)recno;
    return false;
  }
  // Whether next() and prev() find a record the navigator does not stand on by its key;
  // an order whose keys cannot be computed looks for it entry by entry from the start.
  virtual bool finds_by_key() { return true; }
  // Seek a key given as stored bytes of the order's key type; `found` tells an exact
  // (for character keys: prefix) match. Soft: positions on the next greater key.
  struct SeekResult {
    uint32_t recno = 0;  // 0: past the end
    bool found = false;
  };
  virtual Result<SeekResult> seek(std::span<const uint8_t> key, bool soft) = 0;
  // Where record `recno` (its current bytes given) stands in the order: 0 for the first
  // entry, rising towards 1 for the last, 1 past the end; a record the order leaves out
  // answers the place of the entry after its key. An estimate from the order's pages
  // that grows along the order, for a scroll bar, without counting keys.
  virtual Result<double> position_of(uint32_t recno, std::span<const uint8_t> record) {
    (void)recno, (void)record;
    return 0.0;
  }
  // The record at `pos` (0 to 1) by the same estimate; 0 when the order is empty.
  virtual Result<uint32_t> at_position(double pos) {
    (void)pos;
    return first();
  }
};

}  // namespace mv
