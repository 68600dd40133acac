#pragma once
// The table layer's record level: one open DBF table with its memo file.
//
// Navigation follows the xBase rules: after the last record stands the phantom record
// (RECNO = LASTREC + 1, EOF true, all fields blank); an empty table is at EOF and BOF at
// once; SKIP past the end stops on the phantom record, SKIP before the first record stops
// on the first one with BOF set; a record deleted while it is current stays current until
// the next move. The process-wide deleted filter is read at every navigation step.
//
// Writes: in exclusive mode appended records are collected and written in blocks, the
// header's record count always after the records it counts; in shared mode every write
// goes to the file at once under the record lock (appends under the header lock) of the
// driver's family. Every write is reported to an attached OrderMaintainer.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/filesystem.h"
#include "platform/base/status.h"
#include "platform/runtime/value.h"
#include "platform/table/dbf_header.h"
#include "platform/table/drivers.h"
#include "platform/table/field_codec.h"
#include "platform/table/memo.h"
#include "platform/table/modes.h"
#include "platform/table/order_hook.h"
#include "platform/table/transfer.h"

namespace mv {

struct OpenOptions {
  bool shared = true;
  bool read_only = false;
  std::string driver;                  // "" = the default driver
  CodePage code_page = CodePage::Cp850;
  FileSystem* fs = nullptr;            // nullptr = the real file system
  // The process-wide defaults: shared unless the exclusive default is set, the default
  // driver, the code page of the ANSI mode.
  static OpenOptions defaults();
};

class Table {
 public:
  // Opens `path` with the driver's rules. A driver that cannot handle the table's memo
  // file fails with NotSupported (so the caller can try the next driver); a table held
  // by another program fails with Locked ("SHARING ...").
  static Result<std::unique_ptr<Table>> open(const std::string& path, const OpenOptions& options = {});
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // Writes what is buffered, updates the header and releases the file (CLOSE).
  Status close();
  bool is_open() const { return file_ != nullptr; }

  // ---- facts
  const std::string& path() const { return path_; }
  const std::string& memo_path() const { return memo_path_; }
  const std::string& driver() const { return driver_; }   // RDDNAME
  bool shared() const { return shared_; }                  // SHARED
  bool read_only() const { return read_only_; }            // READONLY
  CodePage code_page() const { return code_page_; }
  FileSystem& fs() const { return *fs_; }
  uint8_t version() const { return hdr_.version; }
  const HeaderInfo& header_info() const { return hdr_; }
  uint16_t header_length() const { return hdr_.header_length; }  // HEADER
  uint16_t record_length() const { return hdr_.record_length; }  // RECSIZE
  // What was found readable but not as other programs write it (stale record count...).
  const std::vector<std::string>& warnings() const { return hdr_.warnings; }
  // Adds what the index layer found at opening (orders it only reads).
  void add_warning(std::string text) { hdr_.warnings.push_back(std::move(text)); }
  MemoFile* memo() { return memo_.get(); }

  // ---- structure
  size_t fcount() const { return hdr_.fields.size(); }            // FCOUNT
  const std::vector<FieldInfo>& fields() const { return hdr_.fields; }
  const FieldInfo& field(int pos) const { return hdr_.fields[size_t(pos - 1)]; }  // 1-based
  int field_pos(std::string_view name) const;                    // FIELDPOS, 0 when unknown
  std::vector<StructRow> dbstruct() const;                       // DBSTRUCT

  // ---- position
  uint32_t lastrec();             // LASTREC (re-read from the file in shared mode)
  uint32_t recno() const { return recno_; }   // RECNO
  bool eof() const { return eof_; }           // EOF
  bool bof() const { return bof_; }           // BOF
  bool deleted() const;                       // DELETED
  Status go_to(uint32_t recno);               // GOTO (ignores the filter)
  Status go_top();                            // GOTOP
  Status go_bottom();                         // GOBOTTOM
  Status skip(int64_t n = 1);                 // SKIP
  // COUNT over the rest: the visible records from the current one to the end in the
  // current order. The position is restored afterwards.
  Result<uint32_t> count_rest();

  // ---- fields of the current record (positions are 1-based)
  Result<Value> field_get(int pos);           // FIELDGET
  Result<Value> field_get(std::string_view name);
  // FIELDGET into a value the caller keeps: its text buffer is reused, so a scan (or an
  // expression reading fields) gets character fields without allocating.
  Status field_get_into(int pos, Value& out);
  // The stored bytes of a field of the current record (no memo lookup).
  std::string_view field_raw(int pos) const;
  bool field_blank(int pos) const;
  // FIELDPUT. Filling a freshly appended record (exclusive, no order open or the orders
  // take its keys later) is done here in place; everything else, refusals included,
  // takes the full way.
  Status field_put(int pos, const Value& value) {
    if (date_written_ && put_in_place(pos, value)) return Status::ok();
    return field_put_fully(pos, value);
  }
  Status field_put(std::string_view name, const Value& value);
  // The current record's bytes, deletion flag first.
  std::span<const uint8_t> record() const { return cur(); }

  // ---- record and table changes
  Status append_blank();       // APPEND (a blank record, which becomes current)
  Status delete_record();      // DELETE
  Status recall();             // RECALL
  Status commit();             // COMMIT
  Status pack();               // PACK (exclusive only)
  Status zap();                // ZAP (exclusive only)

  // ---- transfer (see transfer.cpp). Targets without extension get ".dbf" or ".txt".
  Status copy_db(const std::string& target, const TransferOptions& opt = {});           // COPYDB
  Status copy_sdf(const std::string& target, const TransferOptions& opt = {});          // COPYSDF
  // `delimiter` encloses character values ('"' when not given); `blank_separated`
  // separates fields by one blank without enclosing (DELIMITED WITH BLANK).
  Status copy_delimited(const std::string& target, std::optional<char> delimiter = std::nullopt,
                        const TransferOptions& opt = {}, bool blank_separated = false);  // COPYDELIMITED
  Status copy_structure(const std::string& target, const std::vector<std::string>& fields = {});  // COPYSTRUCTURE
  Status append_db(const std::string& source, const TransferOptions& opt = {});         // APPENDDB
  Status append_sdf(const std::string& source, const TransferOptions& opt = {});        // APPENDSDF
  Status append_delimited(const std::string& source, std::optional<char> delimiter = std::nullopt,
                          const TransferOptions& opt = {}, bool blank_separated = false);  // APPENDDELIMITED

  // ---- index layer seam
  // The table does not own its maintainer and calls it up to its own close (the final
  // flush). A maintainer that goes before the table must detach itself first
  // (set_order_maintainer(nullptr)), as the order list does in its destructor.
  void set_order_maintainer(OrderMaintainer* maintainer) { maintainer_ = maintainer; }
  OrderMaintainer* order_maintainer() const { return maintainer_; }
  // Navigation through the current order; nullptr = natural (record number) order.
  void set_navigator(OrderNavigator* navigator) { navigator_ = navigator; }
  OrderNavigator* navigator() const { return navigator_; }

  // ---- used by the transfer code and the index layer
  // The stored bytes of record `recno` (1..lastrec) without moving; fails past the end.
  Status read_record(uint32_t recno, std::vector<uint8_t>& out);
  // The text of the memo field `pos` of the current record ("" when none).
  Result<std::string> memo_text(int pos);
  // Appends a record given as complete bytes (deletion flag first), with its memo texts
  // already stored; it becomes current. Used by transfers.
  Status append_record(std::span<const uint8_t> bytes);
  // Writes what is buffered (appended records, header count).
  Status flush();
  // The same, then waits until the table file is on disk.
  Status sync();
  // Lets the disk start on what is written so far, so that a sync soon after waits for less.
  void start_writeback();
  // Replaces the current record's bytes (deletion flag first) in one write with one
  // report to the order maintainer; used by callers that collect a record's field changes.
  Status put_record(std::span<const uint8_t> bytes);
  // The bytes of a blank record as APPEND adds it.
  std::span<const uint8_t> blank_record() const { return blank_; }

 private:
  Table() = default;
  Status load(uint32_t recno);
  // FIELDPUT into a record still among the appended ones in memory, with nobody to tell
  // (no orders, or orders that take its keys later):
  // the value goes straight into the record's place there, which the current record is
  // copied from again when next looked at. False (and nothing written) for whatever this
  // way does not take: memo fields, NULL flags, values that do not fit or have the wrong
  // type.
  bool put_in_place(int pos, const Value& v) {
    if (eof_ || recno_ <= disk_count_ || read_only_ || !file_ || pos < 1 || size_t(pos) > hdr_.fields.size() ||
        (maintainer_ && !maintainer_->takes_keys_later(recno_)))
      return false;
    const FieldInfo& f = hdr_.fields[size_t(pos - 1)];
    const size_t rl = hdr_.record_length;
    const size_t slot = size_t(recno_ - disk_count_ - 1) * rl;
    if (f.null_bit >= 0 || slot + rl > pending_.size() || !encode_field_fast(f, v, pending_.data() + slot))
      return false;
    loaded_ = false;
    modified_ = true;
    return true;
  }
  Status field_put_fully(int pos, const Value& v);
  // The current record's bytes: positioning only notes the record number (a record in
  // the mapped file is copied on first use), so navigation touches no record it does
  // not look at.
  const std::vector<uint8_t>& cur() const {
    if (!loaded_) materialize();
    return rec_;
  }
  void materialize() const;
  // The current record's bytes where they stand in the mapped file (else the copy),
  // for reading it once right away (valid until the next move or write).
  const uint8_t* record_bytes() const {
    if (!loaded_ && recno_ <= disk_count_ && map_ && record_offset(recno_) + hdr_.record_length <= map_len_)
      return map_ + record_offset(recno_);
    return cur().data();
  }
  void set_phantom();
  Status settle_at_end(uint32_t r, bool forward);
  bool is_hidden(uint32_t recno);
  uint8_t flag_of(uint32_t recno) const;
  Status write_current(std::vector<uint8_t>& newrec);
  Status write_record_bytes(uint32_t recno, const uint8_t* bytes);
  Status flush_appends();
  Status write_header_count(uint32_t count);
  Status touch_date();
  Status check_writable() const;
  Status check_exclusive(const char* what) const;
  void remap();
  uint64_t record_offset(uint32_t recno) const { return hdr_.header_length + uint64_t(recno - 1) * hdr_.record_length; }
  Result<uint32_t> next_visible(uint32_t from, bool forward);
  Status swap_in(std::unique_ptr<File> file, std::unique_ptr<MemoFile> memo);
  Status merge_others_changes(uint32_t recno, std::vector<uint8_t>& newrec);
  // The files of this open table (table, memo, production bags) and the refusal to write
  // over any of them under another name.
  std::vector<std::string> own_files() const;
  Status refuse_own_files(const std::string& target, bool as_table) const;
  friend class TableTransfer;
  friend class RecordScan;
  friend class BulkReplaceWriter;

  FileSystem* fs_ = nullptr;
  std::unique_ptr<File> file_;
  std::unique_ptr<MemoFile> memo_;
  std::string path_, memo_path_, driver_;
  DriverInfo drv_;
  bool shared_ = true, read_only_ = false;
  CodePage code_page_ = CodePage::Cp850;
  HeaderInfo hdr_;

  uint32_t lastrec_ = 0;     // records including those not yet written
  uint32_t disk_count_ = 0;  // records whose bytes are in the file
  std::vector<uint8_t> pending_;  // appended records disk_count_+1 .. lastrec_
  const uint8_t* map_ = nullptr;
  uint64_t map_len_ = 0;

  uint32_t recno_ = 1;
  bool eof_ = true, bof_ = true;
  mutable std::vector<uint8_t> rec_;  // valid while loaded_
  mutable bool loaded_ = true;
  std::vector<uint8_t> fresh_;  // a shared record read again under its lock
  std::vector<uint8_t> blank_;
  std::vector<uint8_t> scratch_;  // the next state of the current record while it is written
  bool modified_ = false;
  bool date_written_ = false;
  bool batch_shared_ = false;  // a shared-mode append run holds the header lock itself

  OrderMaintainer* maintainer_ = nullptr;
  OrderNavigator* navigator_ = nullptr;
};

}  // namespace mv
