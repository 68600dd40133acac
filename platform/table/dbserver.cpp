#include "platform/table/dbserver.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/table/dbf_format.h"
#include "platform/table/drivers.h"
#include "platform/table/field_codec.h"

#include "platform/table/index/index_bag.h"
#include "platform/table/index/order_list.h"
#include "platform/table/table.h"
#include "platform/table/transfer.h"

namespace mv {

namespace {

// The byte of the numbering lock: beyond the open-mode byte, far from every xBase offset.
constexpr uint64_t kNumberingLockOffset = kOpenModeLockOffset + 1;
// How long a write waits for another program's record or append lock.
constexpr int kWriteWaitMs = 5000;

}  // namespace

DBSERVER::NumberingLock::~NumberingLock() {
  if (file_) file_->unlock(kNumberingLockOffset, 1).ignore();
}

DBSERVER::DBSERVER() : open_status_(Status::not_found("Die Tabelle ist nicht geöffnet")) {}

DBSERVER::~DBSERVER() { CLOSE().ignore(); }

bool DBSERVER::used() const { return table_ && table_->is_open(); }

Status DBSERVER::not_open() const {
  if (!open_status_.is_ok()) return open_status_;
  return Status::not_found("Die Tabelle " + path_ + " ist nicht geöffnet");
}

Status DBSERVER::open(const std::string& path, bool shared, bool read_only, const std::string& driver,
                      FileSystem* fs) {
  CLOSE().ignore();
  FileSystem& files = fs ? *fs : FileSystem::posix();
  path_ = with_default_extension(path, ".dbf");
  // A name given without extension finds "T.DBF" as well as "T.dbf".
  if (path_ext(path).empty() && !files.exists(path_)) {
    if (auto found = find_file_nocase(files, path_dir(path), path_file(path) + ".dbf")) path_ = *found;
  }
  OpenOptions opt = OpenOptions::defaults();
  opt.shared = shared;
  opt.read_only = read_only;
  if (!driver.empty()) opt.driver = driver;
  opt.fs = &files;
  fs_ = &files;
  auto t = Table::open(path_, opt);
  if (!t) return open_status_ = t.status();
  OrderListOptions lo;
  lo.require_production = false;  // a missing bag is built by the caller afterwards
  auto list = OrderList::attach(**t, lo);
  if (!list) {
    (*t)->close().ignore();
    return open_status_ = list.status();
  }
  table_ = std::move(t).value();
  orders_ = std::move(list).value();
  open_status_ = Status::ok();
  return Status::ok();
}

Status DBSERVER::CREATEORDER(const std::string& tag, const std::string& bag, const std::string& key_expr) {
  if (!used()) return not_open();
  MV_RETURN_IF_ERROR(write_pending());
  return orders_->create_order(tag, bag, key_expr);
}

Status DBSERVER::SETORDER(std::string_view tag) {
  if (!used()) return not_open();
  MV_RETURN_IF_ERROR(write_pending());
  if (tag.empty()) return SETORDER(size_t{0});
  MV_RETURN_IF_ERROR(orders_->set_order(tag));
  return table_->go_top();
}

Status DBSERVER::SETORDER(size_t number) {
  if (!used()) return not_open();
  MV_RETURN_IF_ERROR(write_pending());
  MV_RETURN_IF_ERROR(orders_->set_order(number));
  return table_->go_top();
}

std::vector<std::string> DBSERVER::order_names() const {
  std::vector<std::string> out;
  if (!used()) return out;
  for (size_t n = 1; n <= orders_->count(); ++n) out.push_back(orders_->info(n).name);
  return out;
}

Result<bool> DBSERVER::SEEK(const Value& key, bool soft) {
  if (!used()) return not_open();
  MV_RETURN_IF_ERROR(write_pending());
  return orders_->seek(key, soft);
}

Status DBSERVER::GOTOP() {
  if (!used()) return not_open();
  MV_RETURN_IF_ERROR(write_pending());
  return table_->go_top();
}
Status DBSERVER::GOBOTTOM() {
  if (!used()) return not_open();
  MV_RETURN_IF_ERROR(write_pending());
  return table_->go_bottom();
}
Status DBSERVER::SKIP(int64_t n) {
  if (!used()) return not_open();
  MV_RETURN_IF_ERROR(write_pending());
  return table_->skip(n);
}
Status DBSERVER::GOTO(uint32_t recno) {
  if (!used()) return not_open();
  MV_RETURN_IF_ERROR(write_pending());
  return table_->go_to(recno);
}
uint32_t DBSERVER::RECNO() const {
  if (!used()) return 0;
  return appending_ ? expected_recno_ : table_->recno();
}
bool DBSERVER::eof() const { return used() ? !appending_ && table_->eof() : true; }
bool DBSERVER::bof() const { return used() ? !appending_ && table_->bof() : true; }
uint32_t DBSERVER::LASTREC() { return used() ? table_->lastrec() : 0; }

Result<Value> DBSERVER::FIELDGET(std::string_view name) {
  if (!used()) return not_open();
  const int pos = table_->field_pos(name);
  if (pos == 0) return Status::invalid_argument("Das Feld " + std::string(name) + " fehlt in " + path_);
  if (pending_) {
    const FieldInfo& f = table_->field(pos);
    const HeaderInfo& h = table_->header_info();
    if (f.null_bit >= 0 && h.null_flags_field >= 0 &&
        (record_[h.fields[size_t(h.null_flags_field)].offset + uint32_t(f.null_bit) / 8] >> (f.null_bit % 8)) & 1)
      return Value();
    return decode_field(f, record_.data(), h.version);
  }
  return table_->field_get(pos);
}

Status DBSERVER::FIELDPUT(std::string_view name, const Value& value) {
  if (!used()) return not_open();
  const int pos = table_->field_pos(name);
  if (pos == 0) return Status::invalid_argument("Das Feld " + std::string(name) + " fehlt in " + path_);
  if (table_->read_only()) return Status::read_only(path_ + ": die Tabelle ist schreibgeschützt geöffnet");
  const FieldInfo& f = table_->field(pos);
  const HeaderInfo& h = table_->header_info();
  if (dbf::is_memo_type(f.type, f.length, h.version)) {
    // A memo text goes to the memo file at once; its pointer is the record's own write.
    MV_RETURN_IF_ERROR(write_pending());
    return table_->field_put(pos, value);
  }
  if (!pending_) {
    if (table_->eof()) return Status::invalid_argument(path_ + ": kein Datensatz ausgewählt (Dateiende)");
    const auto cur = table_->record();
    record_.assign(cur.begin(), cur.end());
  }
  std::vector<uint8_t> changed = record_;
  MV_RETURN_IF_ERROR(encode_field(f, value, changed.data()));
  if (f.null_bit >= 0 && h.null_flags_field >= 0) {
    uint8_t& b = changed[h.fields[size_t(h.null_flags_field)].offset + uint32_t(f.null_bit) / 8];
    const uint8_t bit = uint8_t(1u << (f.null_bit % 8));
    b = value.is_nil() ? uint8_t(b | bit) : uint8_t(b & ~bit);
  }
  record_.swap(changed);
  pending_ = true;
  return Status::ok();
}

Status DBSERVER::APPEND() {
  if (!used()) return not_open();
  MV_RETURN_IF_ERROR(write_pending());
  if (table_->read_only()) return Status::read_only(path_ + ": die Tabelle ist schreibgeschützt geöffnet");
  const auto blank = table_->blank_record();
  record_.assign(blank.begin(), blank.end());
  pending_ = appending_ = true;
  expected_recno_ = table_->lastrec() + 1;
  return Status::ok();
}

void DBSERVER::drop_pending() {
  pending_ = appending_ = false;
  expected_recno_ = 0;
}

Status DBSERVER::write_pending() {
  if (!pending_ || !used()) return Status::ok();
  Status st = write_pending_once();
  if (!st.is_ok() && st.kind() != StatusKind::Locked) write_failed_ = true;
  return st;
}

Status DBSERVER::write_pending_once() {
  const std::vector<uint8_t> bytes = std::move(record_);
  const bool append = appending_;
  drop_pending();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWriteWaitMs);
  for (;;) {
    const uint32_t recno = table_->recno();
    const bool at_end = table_->eof();
    const auto before = table_->record();
    const std::vector<uint8_t> old(before.begin(), before.end());
    Status st = append ? table_->append_record(bytes) : table_->put_record(bytes);
    if (st.is_ok() || st.kind() != StatusKind::Locked) return st;
    // Another program holds the append or record lock for a moment. Tried again only
    // while nothing of this write reached the file.
    const auto now = table_->record();
    const bool untouched = append ? (table_->recno() == recno && table_->eof() == at_end)
                                  : std::equal(now.begin(), now.end(), old.begin(), old.end());
    if (!untouched || std::chrono::steady_clock::now() >= deadline) return st;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

Status DBSERVER::COMMIT() {
  if (!used()) return not_open();
  MV_RETURN_IF_ERROR(write_pending());
  Status st = table_->commit();
  if (!st.is_ok()) write_failed_ = true;
  return st;
}

Result<DBSERVER::NumberingLock> DBSERVER::lock_numbering(int wait_ms) {
  if (!used()) return not_open();
  MV_ASSIGN_OR_RETURN(auto file, fs_->open(table_->path(), OpenMode::ReadWrite));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  for (;;) {
    Status st = file->lock(kNumberingLockOffset, 1, LockType::Exclusive);
    if (st.is_ok()) return NumberingLock(std::move(file));
    if (st.kind() != StatusKind::Locked || std::chrono::steady_clock::now() >= deadline)
      return Status(st.kind(), "SHARING: " + path_ + ": die Tabelle wird gerade von einem anderen Programm ergänzt");
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

Status DBSERVER::CLOSE() {
  if (!table_) return Status::ok();
  Status pending_write = table_->is_open() ? write_pending() : Status::ok();
  drop_pending();
  // After a refused write a bag may lack keys of records the table holds; its change mark
  // stays behind, so the next open rebuilds it (exclusive) or only reads it (shared).
  std::vector<std::string> bags;
  if (write_failed_ && orders_)
    for (size_t n = 1; n <= orders_->count(); ++n) {
      const std::string& b = orders_->info(n).bag_path;
      if (std::find(bags.begin(), bags.end(), b) == bags.end()) bags.push_back(b);
    }
  write_failed_ = false;
  // The table flushes through its maintainer while it closes, so the orders go after it.
  Status st = table_->is_open() ? table_->close() : Status::ok();
  orders_.reset();
  table_.reset();
  open_status_ = Status::not_found("Die Tabelle " + path_ + " ist geschlossen");
  for (const std::string& b : bags) {
    const std::string mark = index::change_mark_path(b);
    if (!fs_->exists(mark)) fs_->open(mark, OpenMode::CreateNew).status().ignore();
  }
  return pending_write.is_ok() ? st : pending_write;
}

void DBSERVER::close_with(Status why) {
  CLOSE().ignore();
  open_status_ = std::move(why);
}

std::vector<StructRow> DBSERVER::DBSTRUCT() const { return used() ? table_->dbstruct() : std::vector<StructRow>{}; }

}  // namespace mv
